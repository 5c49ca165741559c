#pragma once
// The words and control numbers of the 'Search Options' dialog, kept in one
// place for the model and the window that shows it.

#include <string>
#include <string_view>

namespace talmoor::search::options_text {

inline constexpr std::string_view kTitle = "Search Options";

inline constexpr std::string_view kIncludeFrame = "Include in Search";
inline constexpr std::string_view kKeys = "Key(s)";
inline constexpr std::string_view kValues = "Value(s)";
inline constexpr std::string_view kData = "     Data";
inline constexpr std::string_view kAlwaysMatch = "Always match on value name";
inline constexpr std::string_view kSearchAllTypes = "Search all registry data types";
inline constexpr std::string_view kMiscFrame = "Miscilanious";
inline constexpr std::string_view kConfirmFrame = "Confirmation(s)";
inline constexpr std::string_view kDisplayConfirmations = "Display the following confirmation dialogs";
inline constexpr std::string_view kNamingRules = "&Modify/View Naming Rules";
inline constexpr std::string_view kAllCustomTypes = "All Custom Types";

// Miscellaneous tree: groups, their items and the items' tooltips.
inline constexpr std::string_view kRecommended = "Recommended";
inline constexpr std::string_view kPauseOnError = "Pause on Error";
inline constexpr std::string_view kPauseOnErrorTip = "Displays Errors Immidiately.";
inline constexpr std::string_view kAntiVirus = "Anti-Virus Methods";
inline constexpr std::string_view kEnable = "Enable";
inline constexpr std::string_view kAntiVirusTip = "When each value is accessed it checks for data tampering.";
inline constexpr std::string_view kConversion = "Inteligent Conversion";
inline constexpr std::string_view kConversionTip =
    "When value data is read from the registry the RAW data is presented for editing in a logical format which "
    "is re-converted to RAW on write. This can have side effects if value data in a string type is binary data. "
    "This can result in the incorrect conversion of data.";

// String table tooltips.
inline constexpr std::string_view kAlwaysMatchTip =  // 291
    "Always match the Key or Value name if it contains the requested string even if the\n"
    "data type option does not specify searching that item data type.";
inline constexpr std::string_view kTypesTip =  // 292
    "Place a tick next to the types of registry entry you wish to include in the search process.\n"
    "The default settings include only those items which are relatively safe to change.";
inline constexpr std::string_view kNamingRulesTip =  // 290
    "Click to view/modify the name translation rules which control how registry name translations occur.";
// 299, filled in with "Key" or "Value".
inline std::string confirmationTreeTip(std::string_view kind) {
  return "Place a tick next to the registry " + std::string(kind) +
         " write operations which are to be confirmed before they are carried out.";
}

inline constexpr std::string_view kCommandLineTitle = "Command Line";

}  // namespace talmoor::search::options_text

namespace talmoor::search {

// Control numbers of the dialog's resource.
inline constexpr int kIdIncludeFrame = 406;
inline constexpr int kIdKeys = 410;
inline constexpr int kIdValues = 408;
inline constexpr int kIdData = 419;
inline constexpr int kIdAlwaysMatch = 416;
inline constexpr int kIdSearchAllTypes = 423;
inline constexpr int kIdMiscFrame = 409;
inline constexpr int kIdConfirmFrame = 411;
inline constexpr int kIdDisplayConfirmations = 421;
inline constexpr int kIdNamingRules = 462;

// The dialog's four check-box trees, numbered as their controls.
enum class OptionsTree : int { Types = 200, Miscellaneous = 418, KeyConfirmations = 420, ValueConfirmations = 422 };

}  // namespace talmoor::search

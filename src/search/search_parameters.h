#pragma once
// The Search window's controls as plain values, the layout each mode gives
// them, reading them into a search context, and the Find and Replace
// histories.

#include <optional>
#include <string>
#include <vector>

#include "search/search_context.h"

namespace talmoor::search {

inline constexpr std::size_t kMaxSearchTextLength = 260;
inline constexpr std::size_t kMaxSizeTextLength = 32;
inline constexpr const char* kMaskPrefix = "/m:";

// What the user has set in the window.
struct SearchParameters {
  int mode = kModeFind;  // the Mode list's selection; -1 for none
  std::string findText;
  std::string replaceText;
  bool unicode = false;       // "&Uni-Code"
  bool rangeFirst = false;    // Range shows "First" (else "All")
  std::string countText = "1";
  std::string minimumText;    // "Minimise :"
  std::string maximumText;    // "Maximise :"
};

// Which controls a mode enables.
struct ControlLayout {
  bool sizeBoxes = false;
  bool rangeList = false;
  bool countBox = false;
  bool findBox = false;
  bool replaceBox = false;
  bool verificationRules = false;  // shown only in Verify mode
};
ControlLayout layoutForMode(int mode, bool rangeFirst);

// The entries of a combo box's history, oldest first, at most nine.
class TextHistory {
 public:
  static constexpr std::size_t kKeptBeforeAdding = 8;
  explicit TextHistory(std::string settingName) : settingName_(std::move(settingName)) {}
  void add(const std::string& text);
  const std::vector<std::string>& entries() const { return entries_; }
  // From and to the settings key; the value is a multi-string.
  void load();
  bool save() const;
  const std::string& settingName() const { return settingName_; }

 private:
  std::string settingName_;
  std::vector<std::string> entries_;
};

struct SearchHistories {
  TextHistory find{"Combo_Find"};
  TextHistory replace{"Combo_Replace"};
};

// Copies the window's parameters into the context of a search (the contexts
// of other jobs are left alone), asking about "/m:" texts.
void readParameters(const SearchParameters& parameters, SearchContext& context, SearchHistories* histories);

// The Mode list's help text.
extern const char* const kModeHelpText;

}  // namespace talmoor::search

#include "browse/naming_rules.h"

#include <array>
#include <cctype>
#include <utility>

#include "base/workspace.h"

namespace talmoor::browse {

namespace {

constexpr std::array<std::string_view, kOverlayCount> kOverlayTexts = {
    "None/No Icon",   "Error (Exclaimation Mark)", "No Access/Access Denied", "Crossed", "Checked",
    "Plus Symbol",    "Skipped (Small S)",         "Unknown (Question Mark)", "Unknown Error", "On",
    "Off",            "Disabled Service",          "Enabled Service",
};

constexpr std::pair<NamingAction, std::string_view> kActionNames[] = {
    {NamingAction::FriendlyName, "Friendly Name"},
    {NamingAction::AppendTypeName, "Append Type Name"},
    {NamingAction::LoadServiceIcon, "Load Service Icon"},
    {NamingAction::LoadClassIcon, "Load Class Icon"},
    {NamingAction::EnumNaming, "Enum Naming (Special)"},
    {NamingAction::NameGroup, "Name Group"},
    {NamingAction::LoadDefaultIcon, "Load Default Icon"},
    {NamingAction::LoadClassName, "Load Class Name"},
};

std::vector<NameEntry> entries(std::initializer_list<std::string_view> names, Overlay icon) {
  std::vector<NameEntry> out;
  for (auto name : names) out.push_back({std::string(name), {}, icon});
  return out;
}

// The GUID part of a text: after "CLSID:" or inside braces, or the text itself.
std::string_view guidPart(std::string_view text) {
  if (text.size() >= 6 && text.substr(0, 6) == "CLSID:") text.remove_prefix(6);
  if (!text.empty() && text.front() == '{') {
    text.remove_prefix(1);
    if (!text.empty() && text.back() == '}') text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::string overlayText(Overlay overlay) {
  auto number = static_cast<int>(overlay);
  if (number >= 0 && number < kOverlayCount) return std::string(kOverlayTexts[static_cast<std::size_t>(number)]);
  return std::to_string(number);
}

std::string_view actionName(NamingAction action) {
  for (const auto& [known, name] : kActionNames)
    if (known == action) return name;
  return action == NamingAction::NoAction ? kNoActionName : kUnnamedActionName;
}

NamingAction actionNamed(std::string_view name) {
  for (const auto& [action, known] : kActionNames)
    if (known == name) return action;
  return NamingAction::NoAction;
}

const std::vector<NamingAction>& editableActions() {
  static const std::vector<NamingAction> actions = {
      NamingAction::FriendlyName,    NamingAction::AppendTypeName, NamingAction::LoadServiceIcon,
      NamingAction::LoadClassIcon,   NamingAction::EnumNaming,     NamingAction::NameGroup,
      NamingAction::LoadDefaultIcon, NamingAction::LoadClassName,  NamingAction::NoAction,
  };
  return actions;
}

std::vector<NamingRule> builtInNamingRules() {
  constexpr Overlay plus = Overlay::Plus;
  std::vector<NamingRule> rules;
  rules.push_back({0, false, false, NamingAction::LoadServiceIcon, entries({"Start"}, Overlay::DisabledService)});

  NamingRule friendly{0, false, false, NamingAction::FriendlyName,
                      entries({"InfoTip", "ProductName", "OEMName", "MenuText", "ButtonText", "Layout Text",
                               "Friendly Name", "FriendlyName", "DisplayName", "Display String", "Display",
                               "DriverDesc", "Driver Desc", "Device Desc", "DeviceDesc", "NameString",
                               "NameStringIndirect", "Identifier", "Name", "Text", "Problem", "", "LocalizedString"},
                              plus)};
  friendly.names.push_back({"001e3001", "Windows Messaging", plus});
  for (auto name : {"Account Name", "Display Name"}) friendly.names.push_back({name, {}, plus});
  friendly.names.push_back({"Username", "Outlook Identities", plus});
  rules.push_back(std::move(friendly));

  rules.push_back({1, false, false, NamingAction::FriendlyName,
                   entries({"DriverDesc", "Driver Desc", "Device Desc", "DeviceDesc"}, plus)});

  NamingRule typeName{0, false, false, NamingAction::AppendTypeName,
                      entries({"FamilyDisplayName", "ActiveService", "Service", "Class", "Group", "Provider",
                               "ProviderName", "VendorIdentifier", "Type"},
                              plus)};
  typeName.names.push_back({"001e3006", "Windows Messaging", plus});
  rules.push_back(std::move(typeName));

  rules.push_back({-1, false, false, NamingAction::LoadClassIcon, entries({"ClassGUID", "Link"}, plus)});
  rules.push_back({0, true, true, NamingAction::LoadClassName, entries({"RTFClassName"}, plus)});
  rules.push_back({0, true, false, NamingAction::LoadClassName,
                   entries({"Clsid", "VersionIndependentProgID", "ProgID", "InProcServer32", "LocalServer32",
                            "Persist Moniker"},
                           plus)});
  rules.push_back({0, true, true, NamingAction::LoadDefaultIcon,
                   entries({"DefaultIcon", "ToolboxBitmap32", "IconResource"}, Overlay::NoIcon)});
  rules.push_back({0, false, false, NamingAction::LoadDefaultIcon,
                   entries({"Icon", "ProductIcon", "DefaultIcon"}, Overlay::NoIcon)});
  return rules;
}

NamingRuleStore::NamingRuleStore()
    : rules_(std::make_shared<const std::vector<NamingRule>>(builtInNamingRules())) {}

std::shared_ptr<const std::vector<NamingRule>> NamingRuleStore::snapshot() const {
  std::lock_guard lock(mutex_);
  return rules_;
}

void NamingRuleStore::replace(std::vector<NamingRule> rules) {
  auto fresh = std::make_shared<const std::vector<NamingRule>>(std::move(rules));
  std::lock_guard lock(mutex_);
  rules_ = std::move(fresh);
}

NamingRuleStore& namingRules() { return Workspace::current().service<NamingRuleStore>(); }

bool isGuidText(std::string_view text) {
  if (text.size() < 36) return false;
  std::string_view guid = guidPart(text);
  if (guid.size() != 36) return false;
  for (std::size_t i = 0; i < guid.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? guid[i] != '-' : !std::isxdigit(static_cast<unsigned char>(guid[i]))) return false;
  }
  // A brace opened must be closed, and only braces may surround it.
  std::string_view rest = text.substr(text.substr(0, 6) == "CLSID:" ? 6 : 0);
  if (rest.size() == 38) return rest.front() == '{' && rest.back() == '}';
  return rest.size() == 36;
}

std::optional<std::string> bracedGuid(std::string_view text) {
  if (!isGuidText(text)) return std::nullopt;
  return "{" + std::string(guidPart(text)) + "}";
}

const std::vector<GuidLocation>& guidLocations() {
  static const std::vector<GuidLocation> locations = {
      {"HKEY_CLASSES_ROOT", ""},
      {"HKEY_CLASSES_ROOT", "CLSID"},
      {"HKEY_CLASSES_ROOT", "AppID"},
      {"HKEY_CLASSES_ROOT", "TypeLib"},
      {"HKEY_CLASSES_ROOT", "Interface"},
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\Class"},
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\swenum\\Devices"},
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Enum\\SW"},
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers"},
      {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\MediaInterfaces"},
      {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Classes\\CLSID\\{da4e3da0-d07d-11d0-bd50-00a0c911ce86}\\Instance"},
      {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions"},
      {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"},
      {"HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components"},
  };
  return locations;
}

}  // namespace talmoor::browse

#include "browse/key_naming.h"

#include <algorithm>
#include <cctype>

#include "base/workspace.h"
#include "browse/class_icons.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/format_data.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

// Friendly names are short: a value of 100 bytes or more is a description,
// not a name.
constexpr std::size_t kMinFriendlySize = 2;
constexpr std::size_t kMaxFriendlySize = 99;
constexpr std::size_t kMinPhraseLength = 10;
constexpr std::size_t kMinClassNameSize = 3;
constexpr std::size_t kMaxClassNameSize = 199;
// GUID naming looks below the key it found for a name, but not through a
// whole tree: a GUID key's names are near it.
constexpr std::size_t kMaxGuidSearchDepth = 4;
constexpr std::size_t kMaxGuidSearchKeys = 64;
// "Enum Naming (Special)" repeats these names of these rules.
constexpr std::size_t kEnumRules[] = {0, 3};
constexpr std::size_t kEnumFirstName = 5;
constexpr std::size_t kEnumLastName = 8;
constexpr std::size_t kGuidNamingRule = 1;
constexpr std::string_view kClassKeyPath = "\\Control\\Class\\";
constexpr std::string_view kCurrentClassKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\";

// Naming reads quietly: most keys lack most of the values looked for.
ReportTo quiet() {
  return ReportTo([](const ErrorReport&) { return false; });
}

struct Value {
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::optional<Value> readValue(HKEY key, std::string_view name) {
  Value value;
  if (registry::queryValue(key, name, value.type, value.data, quiet()) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string upToTerminator(const std::vector<BYTE>& data) {
  return std::string(data.begin(), std::find(data.begin(), data.end(), BYTE{0}));
}

bool isPrintable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 32 && byte != 127;
  });
}

// Binary data that holds UTF-16 text: an even size, a terminator or none, and
// every unit a printable character.
std::optional<std::string> utf16Text(const std::vector<BYTE>& data) {
  if (data.size() < 4 || data.size() % 2 != 0) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) break;
    if (unit < 32) return std::nullopt;
    text.push_back(unit);
  }
  return platform::wideToAnsi(text);
}

// The text a value gives for a name: string data as text, binary data when
// it holds UTF-16 or printable ANSI text. Nothing for anything else.
std::optional<std::string> measuredText(const Value& value) {
  if (isStringType(value.type)) {
    std::string text = upToTerminator(value.data);
    if (!isPrintable(text)) return std::nullopt;
    return text;
  }
  if (auto wide = utf16Text(value.data)) return wide;
  std::string text = upToTerminator(value.data);
  if (!isPrintable(text)) return std::nullopt;
  return text;
}

// Device descriptions are often "@file.inf,%key%;Text", which Windows takes
// from the driver's INF file, falling back to the text after the ";". We
// have no INF files: the fallback is the name.
std::string withoutInfReference(std::string text) {
  if (text.size() > 1 && text.front() == '@') {
    auto semicolon = text.rfind(';');
    auto inf = text.find(".inf,");
    if (semicolon != std::string::npos && inf != std::string::npos && inf < semicolon)
      return text.substr(semicolon + 1);
  }
  return text;
}

// "@C:\windows\system32\cryptsvc.dll,-1001" left as it is: the module or its
// language file is not there to say the name. The key's own name is then
// more use than the reference.
bool isUnresolvedReference(std::string_view name) { return registry::parseIndirectString(name).has_value(); }

std::string formatted(const Value& value) {
  registry::DisplayContext display;
  return withoutInfReference(registry::formatData(value.type, value.data, display));
}

std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
  return out;
}

// "...\ControlSet001" or "...\CurrentControlSet" when `path` lies inside a
// control set: its class key is the one that describes its devices, which
// matters for a SYSTEM hive mounted somewhere other than HKLM\SYSTEM.
std::optional<std::string> controlSetOf(std::string_view path) {
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = path.find('\\', at);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(at, end - at);
    if (platform::startsWithIgnoringAsciiCase(component, "ControlSet") ||
        platform::equalsIgnoringAsciiCase(component, "CurrentControlSet"))
      return std::string(path.substr(0, end));
    at = end + 1;
  }
  return std::nullopt;
}

// The actions that give the key its name, which a named key does not run again.
bool namesTheKey(NamingAction action) {
  return action == NamingAction::FriendlyName || action == NamingAction::LoadClassName ||
         action == NamingAction::EnumNaming;
}

}  // namespace

bool readsLikePhrase(std::string_view text) {
  if (text.size() < kMinPhraseLength) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 32 && c <= 126; })) return false;
  if (text.find(' ') == std::string_view::npos) return false;
  if (text.find_first_of("\\~#") != std::string_view::npos) return false;
  auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ') continue;
    if (at(i + 1) == ' ') return false;                       // a double space
    if (at(i + 2) == ' ' && at(i + 4) == ' ') return false;   // s p a c e d out letters
    if (at(i + 1) == '-' && at(i + 2) != ' ') return false;   // a command-line switch
  }
  return true;
}

KeyName NamingContext::result() const {
  KeyName name;
  name.named = !displayName.empty();
  if (!displayName.empty() || !appended.empty()) {
    name.displayName = displayName.empty() ? keyName : displayName;
    for (const auto& text : appended) name.displayName += " (" + text + ")";
  }
  name.image = image;
  name.overlay = overlay;
  name.icon = icon;
  return name;
}

struct KeyNamer::ActionCall {
  bool isSubkey = false;
  HKEY key = 0;       // the key the action is given (the rule's Comparison chooses)
  HKEY namedKey = 0;  // the key being named
  bool givenSubkey = false;
  std::string_view itemName;
  const NameEntry& entry;
  NamingContext& context;

  // The value an action reads: the entry's name in the key being named, the
  // default value of a matched subkey it was given ("DefaultIcon").
  std::string_view valueName() const { return givenSubkey ? std::string_view() : std::string_view(entry.name); }
};

KeyNamer::KeyNamer() : KeyNamer(namingRules().snapshot()) {}

KeyNamer::KeyNamer(std::shared_ptr<const std::vector<NamingRule>> rules) : rules_(std::move(rules)) {
  for (const auto& rule : *rules_)
    if (rule.recurse)
      for (const auto& entry : rule.names)
        if (!entry.name.empty()) subkeyNames_[upper(entry.name)] = true;
}

bool KeyNamer::runAction(NamingAction action, ActionCall& call) {
  switch (action) {
    case NamingAction::FriendlyName: return friendlyName(call);
    case NamingAction::AppendTypeName: return appendTypeName(call);
    case NamingAction::LoadServiceIcon: return loadServiceIcon(call);
    case NamingAction::LoadClassIcon: return loadClassIcon(call);
    case NamingAction::EnumNaming: return enumNaming(call);
    case NamingAction::NameGroup: return false;
    case NamingAction::LoadDefaultIcon: return loadDefaultIcon(call);
    case NamingAction::LoadClassName: return loadClassName(call);
    case NamingAction::NoAction: return true;  // a rule without an action names nothing; the next entry may
  }
  return true;
}

bool KeyNamer::friendlyName(ActionCall& call) {
  auto value = readValue(call.key, call.valueName());
  if (!value || value->data.size() < kMinFriendlySize || value->data.size() > kMaxFriendlySize) return false;
  auto text = measuredText(*value);
  if (!text || text->size() < 2) return false;
  NamingContext& context = call.context;
  // The default value names a key only when it reads like a phrase and the
  // key's own name does not: otherwise it is a path, a command or a code.
  if ((call.entry.name.empty() || context.displayName == "*") && !isGuidText(call.entry.name) &&
      (!readsLikePhrase(*text) || readsLikePhrase(context.keyName)))
    return false;
  std::string name = isStringType(value->type) ? formatted(*value) : *text;
  if (name.empty() || isUnresolvedReference(name)) return false;
  context.displayName = std::move(name);
  context.setOverlayIfUnset(call.entry.icon);
  context.named = true;
  return true;
}

bool KeyNamer::appendTypeName(ActionCall& call) {
  auto value = readValue(call.key, call.valueName());
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return false;
  std::string text = upToTerminator(value->data);
  if (text.empty()) return false;
  call.context.appended.push_back(std::move(text));
  call.context.setOverlayIfUnset(call.entry.icon);
  return false;
}

bool KeyNamer::loadServiceIcon(ActionCall& call) {
  auto value = readValue(call.key, call.valueName());
  if (!value) return false;
  NamingContext& context = call.context;
  const Overlay disabled = call.entry.icon;
  const Overlay enabled = static_cast<Overlay>(static_cast<std::int32_t>(call.entry.icon) + 1);
  if (value->data.empty()) {
    context.overlay = enabled;
    context.image = TreeImage::ServiceBoot;
    return false;
  }
  if (value->data.size() != 4) return false;
  // The whole number: a start type of 0x100 is no boot driver.
  std::uint32_t start = value->data[0] | value->data[1] << 8 | value->data[2] << 16 |
                        static_cast<std::uint32_t>(value->data[3]) << 24;
  switch (start) {
    case 0: context.overlay = enabled, context.image = TreeImage::ServiceBoot; break;
    case 1: context.overlay = enabled, context.image = TreeImage::ServiceSystem; break;
    case 2: context.overlay = enabled, context.image = TreeImage::ServiceAutomatic; break;
    case 3: context.overlay = disabled, context.image = TreeImage::ServiceManual; break;
    case 4: context.overlay = disabled, context.image = TreeImage::ServiceDisabled; break;
    default: break;
  }
  return false;
}

std::optional<std::string> KeyNamer::className(std::string_view guid, std::string_view path) {
  std::vector<std::string> candidates;
  if (auto controlSet = controlSetOf(path)) candidates.push_back(*controlSet + std::string(kClassKeyPath) + std::string(guid));
  candidates.push_back(std::string(kCurrentClassKey) + std::string(guid));
  const std::string cacheKey = upper(candidates.front());
  if (auto known = classNames_.find(cacheKey); known != classNames_.end()) return known->second;
  std::optional<std::string> name;
  for (const auto& candidate : candidates) {
    ScopedKey key(registry::openKeyByPath(candidate, registry::kReadKeyAccess, quiet()));
    if (!key.get()) continue;
    auto value = readValue(key.get(), "Class");
    if (value && isStringType(value->type) && !upToTerminator(value->data).empty()) {
      name = upToTerminator(value->data);
      break;
    }
  }
  classNames_.emplace(cacheKey, name);
  return name;
}

bool KeyNamer::loadClassIcon(ActionCall& call) {
  auto value = readValue(call.key, call.valueName());
  if (!value || !isStringType(value->type)) return false;
  std::string text = upToTerminator(value->data);
  auto guid = bracedGuid(text);
  if (!isPrintable(text) || !guid) return false;
  NamingContext& context = call.context;
  context.image = browse::loadClassIcon(*guid);
  if (auto name = className(*guid, context.path)) {
    context.setOverlayIfUnset(call.entry.icon);
    context.appended.push_back(*name);
  }
  return false;
}

bool KeyNamer::enumNaming(ActionCall& call) {
  const auto& rules = *rules_;
  for (std::size_t ruleIndex : kEnumRules) {
    if (ruleIndex >= rules.size()) continue;
    const NamingRule& rule = rules[ruleIndex];
    // A rule that is itself "Enum Naming" would call this again for ever.
    if (rule.action == NamingAction::EnumNaming) continue;
    for (std::size_t i = kEnumFirstName; i <= kEnumLastName && i < rule.names.size(); ++i)
      if (!applyEntry(rule, rule.names[i], call.itemName, call.isSubkey, call.namedKey, call.namedKey, call.context))
        break;
  }
  return false;
}

bool KeyNamer::loadDefaultIcon(ActionCall& call) {
  auto value = readValue(call.key, call.valueName());
  if (!value || !isStringType(value->type)) return false;
  // The file is found through the profile's environment and drives.
  auto location = parseIconLocation(upToTerminator(value->data));
  if (!location) return false;
  auto icon = icons_.load(*location);
  if (!icon) return false;
  call.context.icon = std::move(*icon);
  call.context.image = TreeImage::LoadedIcon;
  call.context.setOverlayIfUnset(call.entry.icon);
  return false;
}

bool KeyNamer::loadClassName(ActionCall& call) {
  auto value = readValue(call.key, "");
  if (!value || !isStringType(value->type)) return false;
  if (value->data.size() < kMinClassNameSize || value->data.size() > kMaxClassNameSize) return false;
  std::string text = upToTerminator(value->data);
  NamingContext& context = call.context;
  if (text.empty() || !isPrintable(text) || text == context.displayName) return false;
  context.displayName = std::move(text);
  context.setOverlayIfUnset(call.entry.icon);
  context.named = true;
  return false;
}

bool KeyNamer::applyEntry(const NamingRule& rule, const NameEntry& entry, std::string_view itemName, bool isSubkey,
                          HKEY namedKey, HKEY subkey, NamingContext& context) {
  context.entry = &entry;
  if (rule.recurse != isSubkey) return false;
  if (!platform::equalsIgnoringAsciiCase(itemName, entry.name)) return true;
  const bool givenSubkey = rule.comparison && isSubkey;
  HKEY key = givenSubkey ? subkey : namedKey;
  if (!key) return true;
  context.rule = &rule;
  ActionCall call{isSubkey, key, namedKey, givenSubkey, itemName, entry, context};
  return runAction(rule.action, call);
}

MatchResult KeyNamer::applyNamingRules(std::string_view itemName, bool isSubkey, HKEY key, NamingContext& context,
                                       const ReportTo& report) {
  const bool wasNamed = context.named;
  ScopedKey subkey;
  // A subkey is opened only when a rule looks for its name: most are not.
  if (isSubkey) {
    if (subkeyNames_.find(upper(itemName)) == subkeyNames_.end())
      return wasNamed ? MatchResult::AlreadyNamed : MatchResult::Continue;
    REGSAM access = registry::kReadKeyAccess;
    LONG rc = registry::openKey("", key, itemName, *subkey.out(), access);
    if (rc != ERROR_SUCCESS) {
      const std::string path = context.path + "\\" + std::string(itemName);
      if (reportError(report.handler, rc, path, "", "Opening Key (ENUM)", report.caller, kVerbositySilent,
                      report.owner))
        return MatchResult::Stopped;
      return wasNamed ? MatchResult::AlreadyNamed : MatchResult::Continue;
    }
  }
  for (const auto& rule : *rules_) {
    if ((rule.level != context.level && rule.level != -1) ||
        (context.level != -1 && context.level > context.levelLimit))
      continue;
    // A named key keeps its name, but the rules that give images and types
    // still apply: a service's "Start" often follows its "DisplayName".
    if (wasNamed && namesTheKey(rule.action)) continue;
    for (const auto& entry : rule.names)
      if (!applyEntry(rule, entry, itemName, isSubkey, key, subkey.get(), context)) break;
  }
  return wasNamed ? MatchResult::AlreadyNamed : MatchResult::Continue;
}

bool KeyNamer::nameFromKey(HKEY key, NamingContext& context, std::size_t depth, std::size_t& visited) {
  if (++visited > kMaxGuidSearchKeys) return false;
  if (rules_->size() > kGuidNamingRule) {
    for (const auto& entry : (*rules_)[kGuidNamingRule].names) {
      auto value = readValue(key, entry.name);
      if (!value || value->data.size() < kMinFriendlySize || value->data.size() > kMaxFriendlySize) continue;
      std::string name = formatted(*value);
      if (name.empty() || isGuidText(name) || !isPrintable(name) || isUnresolvedReference(name)) continue;
      context.displayName = std::move(name);
      return true;
    }
  }
  if (depth >= kMaxGuidSearchDepth) return false;
  for (const auto& child : registry::subkeyNames(key, quiet())) {
    ScopedKey handle;
    REGSAM access = registry::kReadKeyAccess;
    if (registry::openKey("", key, child, *handle.out(), access) != ERROR_SUCCESS) continue;
    if (nameFromKey(handle.get(), context, depth + 1, visited)) return true;
    if (visited > kMaxGuidSearchKeys) return false;
  }
  return false;
}

bool KeyNamer::nameFromGuid(std::string_view guidText, NamingContext& context) {
  auto guid = bracedGuid(guidText);
  if (!guid) return false;
  for (const auto& location : guidLocations()) {
    std::string path(location.root);
    if (!location.path.empty()) path += "\\" + std::string(location.path);
    path += "\\" + *guid;
    ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, quiet()));
    if (!key.get()) continue;
    std::size_t visited = 0;
    if (!nameFromKey(key.get(), context, 0, visited)) return false;
    context.named = true;
    context.setOverlayIfUnset(Overlay::Plus);
    return true;
  }
  return false;
}

const AccountNames& KeyNamer::accounts() {
  if (!accounts_) accounts_ = AccountNames::fromRegistry();
  return *accounts_;
}

KeyName KeyNamer::nameKey(HKEY parent, std::string_view parentPath, std::string_view name, bool parentIsRoot,
                          const ReportTo& report) {
  NamingContext context;
  context.keyName = std::string(name);
  context.path = parentPath.empty() ? std::string(name) : std::string(parentPath) + "\\" + std::string(name);
  context.levelLimit = parentIsRoot ? 0 : 3;
  std::string machine;
  if (auto split = registry::splitMachine(parentPath)) machine = split->machine;

  ScopedKey key;
  REGSAM access = registry::kReadKeyAccess;
  if (LONG rc = registry::openKey(machine, parent, name, *key.out(), access); rc != ERROR_SUCCESS) {
    if (rc == ERROR_ACCESS_DENIED) context.overlay = Overlay::NoAccess;
    return context.result();
  }

  // A key named by a GUID: its class image, and its default value as its name.
  auto defaultValue = readValue(key.get(), "");
  std::string defaultText = defaultValue && isStringType(defaultValue->type) ? formatted(*defaultValue) : std::string();
  if (isGuidText(name)) {
    context.image = browse::loadClassIcon(name);
    if (!defaultText.empty() && !isGuidText(defaultText) && isPrintable(defaultText)) context.displayName = defaultText;
  } else if (isGuidText(defaultText)) {
    context.image = browse::loadClassIcon(defaultText);
  }
  if (auto keyClassText = registry::keyClass(key.get()); keyClassText && !keyClassText->empty())
    context.image = TreeImage::ClassKey;

  bool stopped = false;
  registry::EnumerationRequest values(key.get(), 0, 0, quiet());
  registry::enumerateValues(machine, values, [&](const registry::ValueVisit& visit) {
    stopped = applyNamingRules(visit.name, false, key.get(), context, report) == MatchResult::Stopped;
    return stopped ? 1 : 0;
  });
  // A root key's subkeys are whole hives: not looked through.
  if (!stopped && !parentPath.empty()) {
    for (const auto& child : registry::subkeyNames(key.get(), quiet())) {
      if (applyNamingRules(child, true, key.get(), context, report) == MatchResult::Stopped) break;
    }
  }
  if (context.displayName.empty() && isGuidText(name)) nameFromGuid(name, context);
  if (isSidText(name)) {
    context.displayName = accounts().displayName(name, context.displayName);
    context.named = true;
    context.setOverlayIfUnset(Overlay::Plus);
  }
  return context.result();
}

std::vector<KeyName> KeyNamer::nameSubkeys(std::string_view parentPath, std::span<const std::string> names,
                                           const ReportTo& report) {
  std::vector<KeyName> results;
  results.reserve(names.size());
  if (parentPath.empty()) {
    for (const auto& name : names) results.push_back(nameKey(0, {}, name, false, report));
    return results;
  }
  ScopedKey parent(registry::openKeyByPath(parentPath, registry::kReadKeyAccess, quiet()));
  std::string_view rest = parentPath;
  if (auto split = registry::splitMachine(parentPath)) rest = parentPath.substr(parentPath.size() - split->rest.size());
  const bool parentIsRoot = rest.find('\\') == std::string_view::npos && registry::rootFromText(rest) != 0;
  for (const auto& name : names) {
    if (!parent.get()) {
      results.emplace_back();
      continue;
    }
    results.push_back(nameKey(parent.get(), parentPath, name, parentIsRoot, report));
  }
  return results;
}

std::vector<KeyName> nameSubkeys(Workspace& workspace, std::string_view parentPath,
                                 std::span<const std::string> names) {
  std::optional<WorkspaceScope> scope;
  if (&Workspace::current() != &workspace) scope.emplace(workspace.shared_from_this());
  KeyNamer namer(workspace.service<NamingRuleStore>().snapshot());
  return namer.nameSubkeys(parentPath, names);
}

}  // namespace talmoor::browse

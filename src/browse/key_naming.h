#pragma once
// Naming keys: the friendly text, image and overlay the key browser shows for
// a key, from the naming rules (naming_rules.h), the GUID locations, the
// device classes and the accounts of the profile.
//
// The key browser's entry point is nameSubkeys(): given the path of a
// parent key and the names of (some of) its subkeys, it returns one KeyName
// per name, in the same order. Call it from a worker, never from the GUI
// thread: it reads every value of each key.
//
//   auto names = browse::nameSubkeys(workspace, "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services",
//                                     {"Beep", "Tcpip"});
//   names[0].shownName("Beep")   // "Beep Driver" or the like
//   names[0].image, names[0].overlay, names[0].icon (an .ico when image is LoadedIcon)
//
// Cost per key: one open, one enumeration of its values and one of its
// subkeys' names; a subkey is opened only when a rule that looks at subkeys
// has an entry of its name. Class names, icons and accounts are read once per
// KeyNamer, so give a whole branch to one call (or keep one KeyNamer).
// Nothing here shows a box: naming meets missing keys and odd data all the
// time, and a box per key would stop the browser.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "browse/account_names.h"
#include "browse/icon_location.h"
#include "browse/naming_rules.h"
#include "platform/win32_types.h"
#include "registry/access/registry_access.h"

namespace talmoor {
class Workspace;
}

namespace talmoor::browse {

// What a key is shown as.
struct KeyName {
  std::string displayName;  // empty: the key is shown by its raw name
  TreeImage image = TreeImage::NotSet;  // NotSet: the browser's image for the key's kind
  Overlay overlay = Overlay::NoIcon;
  std::vector<std::uint8_t> icon;  // an .ico image, when image is LoadedIcon
  bool named = false;              // a friendly name was found (not only an appended type)

  const std::string& shownName(const std::string& rawName) const {
    return displayName.empty() ? rawName : displayName;
  }
};

// The state of one naming run of one key. It belongs to the thread that
// names the key; the result is copied out (result()) when the run ends.
struct NamingContext {
  std::string keyName;  // the raw name of the key being named
  std::string path;     // its full path
  std::string displayName;
  // Texts appended to the name ("Append Type Name", the class of "Load Class
  // Icon"): kept apart so that a friendly name found later does not lose
  // them, and shown after the name (or the raw key name) in parentheses.
  std::vector<std::string> appended;
  TreeImage image = TreeImage::NotSet;
  Overlay overlay = Overlay::NoIcon;
  std::vector<std::uint8_t> icon;
  int level = 0;
  int levelLimit = 3;  // 0 for a key directly below a root
  bool named = false;  // once set, no further rule is tried for this key
  const NamingRule* rule = nullptr;
  const NameEntry* entry = nullptr;

  void setOverlayIfUnset(Overlay value) {
    if (!overlayIsSet(overlay)) overlay = value;
  }
  KeyName result() const;
};

// What applyNamingRules answers.
enum class MatchResult { Continue = 0, AlreadyNamed = 1, Stopped = 2 };

class KeyNamer {
 public:
  // Works on a snapshot of the calling thread's workspace's rule list.
  KeyNamer();
  explicit KeyNamer(std::shared_ptr<const std::vector<NamingRule>> rules);

  // Applies the rules to one value (isSubkey false) or subkey of `key`, the
  // key being named. A subkey whose open fails is reported to `report` with
  // "Opening Key (ENUM)"; Stopped when the handler asks to stop. A key that
  // is already named gives AlreadyNamed and keeps its name, but the rules
  // that set images, overlays and types still run for the item, so that the
  // result does not depend on the order of the key's values.
  MatchResult applyNamingRules(std::string_view itemName, bool isSubkey, HKEY key, NamingContext& context,
                               const registry::ReportTo& report = {});

  // Names an item whose name is a GUID text from the first GUID location
  // that holds it; whether it was named.
  bool nameFromGuid(std::string_view guidText, NamingContext& context);

  // Names the subkey `name` of `parent` (whose path is `parentPath`).
  KeyName nameKey(HKEY parent, std::string_view parentPath, std::string_view name, bool parentIsRoot,
                  const registry::ReportTo& report = {});

  // The batch form; `parentPath` empty names root keys ("HKEY_USERS").
  std::vector<KeyName> nameSubkeys(std::string_view parentPath, std::span<const std::string> names,
                                   const registry::ReportTo& report = {});

 private:
  struct ActionCall;
  bool runAction(NamingAction action, ActionCall& call);
  bool friendlyName(ActionCall& call);
  bool appendTypeName(ActionCall& call);
  bool loadServiceIcon(ActionCall& call);
  bool loadClassIcon(ActionCall& call);
  bool enumNaming(ActionCall& call);
  bool loadDefaultIcon(ActionCall& call);
  bool loadClassName(ActionCall& call);
  // One entry of one rule against an item: steps b to e of the matcher.
  bool applyEntry(const NamingRule& rule, const NameEntry& entry, std::string_view itemName, bool isSubkey,
                  HKEY namedKey, HKEY subkey, NamingContext& context);
  bool nameFromKey(HKEY key, NamingContext& context, std::size_t depth, std::size_t& visited);
  std::optional<std::string> className(std::string_view guid, std::string_view path);
  const AccountNames& accounts();

  std::shared_ptr<const std::vector<NamingRule>> rules_;
  // Whether any rule looks at subkeys by this (upper-case) name.
  std::map<std::string, bool, std::less<>> subkeyNames_;
  std::map<std::string, std::optional<std::string>, std::less<>> classNames_;
  IconCache icons_;
  std::optional<AccountNames> accounts_;
};

// nameSubkeys in `workspace`, bound to the calling thread for the call.
std::vector<KeyName> nameSubkeys(Workspace& workspace, std::string_view parentPath,
                                 std::span<const std::string> names);

// "Reads like a phrase": printable (32..126), 10 characters or more, a space
// but no double space, no "\", "~" or "#", no letters spaced out one by one,
// and a " -" only as a dash between words.
bool readsLikePhrase(std::string_view text);

}  // namespace talmoor::browse

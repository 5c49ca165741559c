#pragma once
// The naming rules: which friendly text, image and overlay a key of the key
// browser gets. An ordered list of rules, each with a list of value or
// subkey names to look for beneath the key and an action that turns what it
// finds into a name or an image. The list starts as the nine built-in rules;
// the user edits it and keeps it in ".naming rules" and ".name list" files
// (naming_files.h). Each workspace keeps its own list (NamingRuleStore).

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor::browse {

// The overlay images of the tree, numbered as the tree's image list registers
// them (overlay n is image 36 + n). A name entry's icon is one of these.
enum class Overlay : std::int32_t {
  NoIcon = 0,
  Error = 1,
  NoAccess = 2,
  Crossed = 3,
  Checked = 4,
  Plus = 5,
  Skipped = 6,
  Unknown = 7,
  UnknownError = 8,
  On = 9,
  Off = 10,
  DisabledService = 11,
  EnabledService = 12,
};
inline constexpr int kOverlayCount = 13;
// "Error (Exclaimation Mark)", ...; a number outside the table as its decimal text.
std::string overlayText(Overlay overlay);
inline bool overlayIsSet(Overlay overlay) { return overlay != Overlay::NoIcon && static_cast<int>(overlay) != -1; }

// Images of the tree's image list that naming chooses. The fixed slots keep
// the numbers the tree has always given them; the device class images (55
// and up) are our own, appended after the fixed 55 as class icons would be.
enum class TreeImage : std::int32_t {
  NotSet = -1,
  ServiceDisabled = 0,
  Unknown = 12,  // also the image of a class nobody knows
  RootKey = 13,  // HKEY_LOCAL_MACHINE and HKEY_USERS
  Key = 17,
  ClassKey = 21,  // a key with a class text
  ClassKeySelected = 23,
  RootChild = 25,  // directly below a root key; a hive mount point
  ServiceBoot = 29,
  ServiceSystem = 30,
  ServiceAutomatic = 31,
  ServiceManual = 32,
  MyComputer = 35,
  MachineConnecting = 36,
  // Device setup classes (class_icons.h).
  ClassComputer = 55,
  ClassDisplay,
  ClassNetwork,
  ClassDiskDrive,
  ClassHardDiskController,
  ClassCdrom,
  ClassFloppy,
  ClassKeyboard,
  ClassMouse,
  ClassMonitor,
  ClassMedia,
  ClassPorts,
  ClassPrinter,
  ClassUsb,
  ClassHidClass,
  ClassSystem,
  ClassProcessor,
  ClassVolume,
  ClassBattery,
  ClassImage,
  ClassBluetooth,
  ClassSmartCardReader,
  ClassSecurityDevices,
  ClassSoftwareDevice,
  ClassStorageVolumeSnapshot,
  ClassNetService,
  ClassNetClient,
  ClassNetTrans,
  ClassScsiAdapter,
  ClassLegacyDriver,
  ClassTapeDrive,
  Class1394,
  ClassModem,
  ClassInfrared,
  ClassMultiFunction,
  ClassPcmcia,
  ClassSdHost,
  ClassSensor,
  ClassCamera,
  ClassAudioEndpoint,
  ClassWpd,
  ClassFirmware,
  // Past the last fixed image: the item's icon is the one its key names
  // (KeyName::icon holds it).
  LoadedIcon = 1000,
};
inline bool imageIsSet(TreeImage image) { return static_cast<int>(image) > 0; }

enum class NamingAction : std::int32_t {
  NoAction = 0,
  FriendlyName,
  AppendTypeName,
  LoadServiceIcon,
  LoadClassIcon,
  EnumNaming,
  NameGroup,
  LoadDefaultIcon,
  LoadClassName,
};
// The names the rule list shows and files hold: "Friendly Name", ...;
// "Invalid / None" for none.
std::string_view actionName(NamingAction action);
// The action of a name, compared exactly; NoAction for any other text.
NamingAction actionNamed(std::string_view name);
// The actions in the order the rule editor offers them ("None" last).
const std::vector<NamingAction>& editableActions();
inline constexpr std::string_view kNoActionName = "Invalid / None";
inline constexpr std::string_view kUnnamedActionName = "Specilised Function (Cannot Change)";
inline constexpr std::string_view kNoneChoice = "None";
// The comparison every rule uses, shown and written by this name.
inline constexpr std::string_view kDefaultCompareName = "<Default>";

struct NameEntry {
  std::string name;  // empty: the key's default value
  std::string comment;
  Overlay icon = Overlay::NoIcon;  // given to the key when the action succeeds and it has no overlay

  bool operator==(const NameEntry&) const = default;
};

struct NamingRule {
  std::int32_t level = 0;  // -1: any level
  bool recurse = false;    // false: the names are value names; true: subkey names
  bool comparison = false; // false: the action gets the key being named; true: the matched subkey
  NamingAction action = NamingAction::NoAction;
  std::vector<NameEntry> names;

  bool operator==(const NamingRule&) const = default;
};

// The nine rules every list starts with, in matching order.
std::vector<NamingRule> builtInNamingRules();

// A workspace's rule list. Naming runs work on a snapshot, so the editor can
// replace the list while a branch is being named.
class NamingRuleStore {
 public:
  NamingRuleStore();
  std::shared_ptr<const std::vector<NamingRule>> snapshot() const;
  void replace(std::vector<NamingRule> rules);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const std::vector<NamingRule>> rules_;
};

// The rule list of the calling thread's workspace.
NamingRuleStore& namingRules();

// A GUID text: at least 36 characters, optionally in braces or behind
// "CLSID:", hexadecimal digits with "-" at the 9th, 14th, 19th and 24th
// character of the GUID part.
bool isGuidText(std::string_view text);
// "{...}" of a GUID text; nothing for another text.
std::optional<std::string> bracedGuid(std::string_view text);

// Where a GUID names something, in search order: a root and a key path below
// it (empty: the root itself).
struct GuidLocation {
  std::string_view root;
  std::string_view path;
};
const std::vector<GuidLocation>& guidLocations();

}  // namespace talmoor::browse

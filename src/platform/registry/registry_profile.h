#pragma once
// Registry profiles: which registry the program works on, chosen at start.
//   --prefix DIR      a Wine prefix or a Talmoor store
//   --windows DIR     an offline Windows installation (see offline_windows.h)
//   --hive FILE=KEY   one more hive file mounted at a key (repeatable; on top
//                     of any of the others)
//   (none)            $WINEPREFIX, else ~/.wine when it holds system.reg, else
//                     the store in $XDG_DATA_HOME/talmoor/registry, made on first use
// Talmoor's own settings live in a hive of their own in
// $XDG_CONFIG_HOME/talmoor/settings.reg, mounted at the settings key.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/files/module_strings.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/profile_hives.h"
#include "platform/registry/registry_host.h"

namespace talmoor::platform {

inline constexpr std::u16string_view kSettingsKeyNativePath = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Brenhollow\\Sarnwick";

// A hive file and the key it is mounted at: HKLM\Name or HKU\Name (the long
// root names too), or a native path such as \REGISTRY\MACHINE\Name.
struct HiveMount {
  std::filesystem::path file;
  std::string key;
};

// Splits a "FILE=KEY" argument at its last '='; nothing when a side is empty.
std::optional<HiveMount> parseHiveMount(std::string_view argument);

struct ProfileOptions {
  std::optional<std::filesystem::path> prefix;
  std::optional<std::filesystem::path> windowsDir;
  std::vector<HiveMount> hives;
  // Overrides of the environment, for tests; empty means "from the environment".
  std::optional<std::filesystem::path> settingsFile;
};

enum class ProfileKind { WinePrefix, TalmoorStore, WindowsInstallation };
// "Wine prefix", "Talmoor store", "Windows installation".
std::string_view profileKindName(ProfileKind kind);

// An opened profile: its registry, drives and what was said while opening it.
class RegistryProfile : public std::enable_shared_from_this<RegistryProfile> {
 public:
  std::shared_ptr<RegistryHost> host;
  std::filesystem::path prefix;
  ProfileKind kind = ProfileKind::TalmoorStore;
  bool readOnly = false;
  // The store was made by this run (none was there).
  bool created = false;
  std::vector<std::string> warnings;

  // The drive letters of the profile. A Wine prefix's are read from its
  // dosdevices folder when first asked for (most commands never need them).
  const DriveMap& drives() const;
  void readDrivesWhenAsked(std::filesystem::path dosDevices);
  // Replaces them (an offline installation knows its C: at once; a test
  // gives its own).
  void setDrives(DriveMap drives);

  // The Wine prefix programs of this profile run in, when it is one.
  std::optional<std::filesystem::path> winePrefix() const {
    if (kind == ProfileKind::WinePrefix) return prefix;
    return std::nullopt;
  }
  // The Windows environment the profile's registry defines; read from the
  // registry when first asked for (most commands never need it).
  const WindowsEnvironment& environment() const;
  // Replaces it (the registry changed, or a test gives its own).
  void setEnvironment(WindowsEnvironment environment);

  // The strings of the modules indirect strings name, looked up in the
  // profile's UI languages (read from its registry when first asked for)
  // and kept once read. Shared, so that a thread still looking up keeps it
  // while the environment is replaced.
  std::shared_ptr<ModuleStringCache> moduleStrings() const;

 private:
  template <typename Read>
  auto readFromOwnRegistry(Read read) const;

  mutable std::mutex environmentMutex_;
  mutable std::shared_ptr<const WindowsEnvironment> environment_;
  mutable std::mutex moduleStringsMutex_;
  mutable std::shared_ptr<ModuleStringCache> moduleStrings_;
  mutable std::mutex drivesMutex_;
  std::filesystem::path dosDevices_;
  mutable std::shared_ptr<const DriveMap> drives_;
};

// Assembles the registry of a profile. Returns a Win32 code: on failure
// (a hive that cannot be read, options that contradict each other such as a
// prefix and a Windows folder both, a key no hive can be mounted at) the
// error detail names the file and the problem, and nothing was written.
// Damaged and uncleanly closed regf hives are mounted with warnings.
LONG openRegistryProfile(const ProfileOptions& options, std::shared_ptr<RegistryProfile>& out);

// The prefix the default resolution chooses, and whether it is the store.
std::filesystem::path defaultPrefix(bool& isStore);
std::filesystem::path defaultSettingsFile();

}  // namespace talmoor::platform

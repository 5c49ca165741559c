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
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/drive_map.h"
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

struct RegistryProfile {
  std::shared_ptr<RegistryHost> host;
  std::filesystem::path prefix;
  std::string kind;  // "Wine prefix", "Talmoor store" or "Windows installation"
  bool readOnly = false;
  DriveMap drives;
  std::vector<std::string> warnings;
};

// Assembles the registry of a profile. Throws ProfileError with a message
// naming the file and the problem when a hive cannot be read, or when the
// options contradict each other (a prefix and a Windows folder both, a key no
// hive can be mounted at); nothing is written in that case. Damaged and
// uncleanly closed regf hives are mounted with warnings.
RegistryProfile openRegistryProfile(const ProfileOptions& options);

// The prefix the default resolution chooses, and whether it is the store.
std::filesystem::path defaultPrefix(bool& isStore);
std::filesystem::path defaultSettingsFile();

}  // namespace talmoor::platform

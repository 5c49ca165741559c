#pragma once
// Registry profiles: which registry the program works on, chosen at start.
//   --prefix DIR   a Wine prefix or a Talmoor store
//   (none)         $WINEPREFIX, else ~/.wine when it holds system.reg, else
//                  the store in $XDG_DATA_HOME/talmoor/registry, made on first use
// Talmoor's own settings live in a hive of their own in
// $XDG_CONFIG_HOME/talmoor/settings.reg, mounted at the settings key.

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/registry/registry_host.h"

namespace talmoor::platform {

inline constexpr std::u16string_view kSettingsKeyNativePath = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Brenhollow\\Sarnwick";

struct ProfileOptions {
  std::optional<std::filesystem::path> prefix;
  // Overrides of the environment, for tests; empty means "from the environment".
  std::optional<std::filesystem::path> settingsFile;
};

struct RegistryProfile {
  std::shared_ptr<RegistryHost> host;
  std::filesystem::path prefix;
  std::string kind;  // "Wine prefix" or "Talmoor store"
  bool readOnly = false;
  DriveMap drives;
  std::vector<std::string> warnings;
};

class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Assembles the registry of a profile. Throws ProfileError with a message
// naming the file and the problem when a hive cannot be read; nothing is
// written in that case.
RegistryProfile openRegistryProfile(const ProfileOptions& options);

// The prefix the default resolution chooses, and whether it is the store.
std::filesystem::path defaultPrefix(bool& isStore);
std::filesystem::path defaultSettingsFile();

}  // namespace talmoor::platform

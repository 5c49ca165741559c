#pragma once
// An offline Windows installation as a registry: the hives of
// Windows\System32\config and each user's NTUSER.DAT (and UsrClass.dat),
// found without regard to the case of file names, with the links Windows
// makes at boot (CurrentControlSet and Hardware Profiles\Current).

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/registry/hive.h"

namespace talmoor::platform {

struct OfflineWindows {
  struct Mount {
    std::shared_ptr<Hive> hive;
    std::u16string nativePath;  // \REGISTRY\MACHINE\SYSTEM, \REGISTRY\USER\<sid>, ...
  };
  std::vector<Mount> mounts;
  // The SID HKEY_CURRENT_USER names: the first ordinary user whose hive was
  // found, else .DEFAULT.
  std::u16string currentUserSid;
  DriveMap drives;  // C: is the installation's folder
  std::vector<std::string> warnings;
};

// Reads every hive of the installation at `dir` before anything is mounted.
// Throws ProfileError when `dir` holds no Windows\System32\config\SYSTEM or
// when a machine hive cannot be read; a user hive that cannot be read or
// found only gives a warning.
OfflineWindows readOfflineWindows(const std::filesystem::path& dir);

}  // namespace talmoor::platform

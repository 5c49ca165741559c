#pragma once
// Windows drive letters mapped onto host folders, and Windows paths turned
// into host paths with each component matched case-insensitively, as Windows
// and Wine see files.

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace talmoor::platform {

class DriveMap {
 public:
  // Reads a Wine prefix's dosdevices folder ("c:" -> ../drive_c, ...).
  static DriveMap fromDosDevices(const std::filesystem::path& dosdevices);

  void setDrive(char letter, std::filesystem::path folder);
  std::optional<std::filesystem::path> drive(char letter) const;

  // "C:\Windows\System32\x.dll" to a host path. Components that exist are
  // matched without regard to case; the rest are kept as written. Nothing
  // for a path without a mapped drive letter.
  std::optional<std::filesystem::path> toHost(std::string_view windowsPath) const;

 private:
  std::array<std::optional<std::filesystem::path>, 26> drives_;
};

// Finds `name` in `folder` without regard to ASCII case; the exact name first.
std::optional<std::filesystem::path> findEntryIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view name);


}  // namespace talmoor::platform

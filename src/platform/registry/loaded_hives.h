#pragma once
// Hives a user loads (talmoor-cli load, the Load Hive command) stay loaded
// until they are unloaded, across runs of either program, as a system keeps
// them. Each load is recorded in Talmoor's settings hive, under its
// "Loaded Hives" key, as a value named by the mount point's native path
// ("\REGISTRY\USER\Offline") whose data is the hive file's host path; every
// later run mounts them again when it opens the profile.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

class RegistryHost;

inline constexpr std::u16string_view kLoadedHivesKeyName = u"Loaded Hives";

// Where the records of `host` are kept: the key below HKEY_LOCAL_MACHINE
// (without a leading backslash) that holds them.
class LoadedHiveRecords {
 public:
  LoadedHiveRecords(RegistryHost& host, std::u16string keyBelowMachine)
      : host_(host), key_(std::move(keyBelowMachine)) {}

  // Records a hive loaded at `mountPath`.
  LONG record(std::u16string_view mountPath, const std::filesystem::path& file);
  // Drops the record of the hive loaded at `mountPath`, if there is one.
  LONG forget(std::u16string_view mountPath);
  // Mounts the recorded hives again. What cannot be mounted is told in
  // `warnings`; the record of a file that is gone is dropped, the others
  // stay for a run that can mount them.
  void remount(std::vector<std::string>& warnings);

 private:
  RegistryHost& host_;
  std::u16string key_;
};

}  // namespace talmoor::platform

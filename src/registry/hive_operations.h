#pragma once
// Hive files: telling a hive file from other files, loading one under a key
// (its mount point), unloading it again, saving a key with everything below
// it as a new hive file, and finding the file behind a mounted key. The key
// browser drives these from its "&Hive" menu and its properties; talmoor-cli
// from its load, unload and save verbs.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "registry/access/registry_access.h"

namespace talmoor::registry {

// Platform identifiers of the system version.
inline constexpr DWORD kPlatformWindows9x = 1;
inline constexpr DWORD kPlatformNT = 2;
// The platform this system is of: the NT family.
DWORD currentPlatform();

// The file dialogs of the hive commands.
inline constexpr const char* kLoadHiveDialogTitle = "Select Registry Hive";
inline constexpr const char* kSaveHiveDialogTitle = "Save Key Tree as Hive";
inline constexpr const char* kHiveFilterName = "Registry Hive";
inline constexpr const char* kHiveFilterPatterns = "*.hiv;*.;*.sav";
inline constexpr const char* kAllFilesFilterName = "All Files";
inline constexpr const char* kAllFilesFilterPatterns = "*.*";
inline constexpr const char* kHiveDefaultExtension = ".sav";

// Where the mounted hives are listed: one value per hive, named by the
// native path of its mount point and holding its file's path.
inline constexpr const char* kHiveListPath = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\hivelist";

// Whether `file` may be loaded as a hive on `platform`. A file of the
// platform's own hive format (and a hive in Wine's text format, which this
// system keeps its registries in) is accepted silently; any other is
// refused, or, with `ask`, accepted when the user says Yes to the warning.
bool testHiveFile(std::string_view file, bool ask, WindowRef owner = 0, DWORD platform = currentPlatform());

// Names a new mount point below `parentPath` for `file`, starting from the
// proposed name; nothing abandons the load. The key browser shows a new
// item with the proposed name and lets the user edit its label; talmoor-cli
// gives the name it was told.
using MountPointNamer = std::function<std::optional<std::string>(std::string_view parentPath, std::string_view file,
                                                                 std::string_view proposed)>;
inline constexpr const char* kNewMountPointName = "Untitled";

// Tests the file (asking), has the mount point named and mounts the hive
// there. ERROR_CANCELLED when the user refused the file or the name. A
// failed load is reported silently (the handler hears of it; no box).
LONG loadHive(std::string_view parentPath, std::string_view file, const MountPointNamer& nameMountPoint,
              const ReportTo& report = {});
// The mount itself: `file` loaded as `parentPath`\`name`. The problems of a
// damaged or uncleanly closed hive file go to the handler too.
LONG mountHive(std::string_view parentPath, std::string_view name, std::string_view file, const ReportTo& report = {});
// Whether a hive file dropped on `targetPath` is loaded: tested without
// asking, and only below HKEY_LOCAL_MACHINE or HKEY_USERS.
bool acceptsDroppedHive(std::string_view targetPath, std::string_view file);

// Saves the key with everything below it as the hive file `file`. An
// existing file is replaced only once the new one is completely written.
LONG saveKeyAsHive(std::string_view keyPath, std::string_view file, const ReportTo& report = {});

// Unloads the hive mounted at `keyPath`; a failure is reported (without a
// handler, as an error log row).
LONG unloadHive(std::string_view keyPath, const ReportTo& report = {});

// The file of the hive mounted at `keyPath`, from the hive list; nothing for
// a key that is not a mount point (and, after its box, for a key under a
// root without a native path).
std::optional<std::string> hiveMountPoint(std::string_view keyPath, const ReportTo& report = {});
// Shows that file in the "Hive Mount Point" box; false when there is none.
bool showMountPoint(std::string_view keyPath, const ReportTo& report = {});

}  // namespace talmoor::registry

#pragma once
// Files the Windows way, over the drives of the profile: whether a path
// exists, the search along the system search path with the default
// extensions, and the short (8.3) form of a path. Network and device paths
// are refused: they name nothing on the drives.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// "\\server\share\...", "\\.\device", "\\?\..." and the like.
bool isNetworkOrDevicePath(std::string_view path);

// The host path of a Windows path with a drive letter; nothing for any other.
std::optional<std::filesystem::path> hostPathOf(std::string_view windowsPath, const DriveMap& drives);
// The Windows path of a host path below one of the drives: the drive whose
// folder holds it most closely (C before Z: when Z: is the host's root); among
// drives of the same folder the first from C, A and B last.
std::optional<std::string> windowsPathOf(const std::filesystem::path& hostPath, const DriveMap& drives);

// Whether the file or folder exists. A leading double quote is dropped with
// the last character; a trailing backslash asks for a folder. `error` gets
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_PATHNAME or
// ERROR_BAD_NETPATH when it does not.
bool fileExists(std::string_view path, const DriveMap& drives, DWORD* attributes = nullptr, LONG* error = nullptr);

// The folders searched for a bare name: %Path%, then
// %SystemRoot%\system32\Drivers, then %SystemRoot%\Fonts (the current folder,
// which a search run has none of, is left out). Joined with ";".
std::string systemSearchPath(const WindowsEnvironment& environment);

// The default extensions tried when a name is not found as written.
inline constexpr const char* kDefaultExtensions[] = {".exe", ".com", ".dll"};

struct Resolved {
  std::string name;      // the name with the extension that was found
  std::string fullPath;  // the Windows path of the file found
};
// Finds a file as the loader would: a name with a drive is looked at where
// it says, a bare name along the system search path; as written first, then
// with each default extension.
std::optional<Resolved> resolveFile(std::string_view name, const WindowsEnvironment& environment,
                                    const DriveMap& drives);

// The short form of an existing path: each long component as Windows names
// it in 8.3 form (the first six usable characters, "~" and a number unique in
// its folder, the first three of the extension, upper case); components that
// already are 8.3 names stay as they are. Nothing when the path does not exist.
std::optional<std::string> shortPathName(std::string_view windowsPath, const DriveMap& drives);
// The 8.3 name of `longName` in a folder whose other entries are `siblings`
// (in the order the folder lists them).
std::string shortNameIn(std::string_view longName, const std::vector<std::string>& siblings);

}  // namespace talmoor::platform

#pragma once
// Finding the file of a module that registry data names ("shell32.dll",
// "%SystemRoot%\system32\tzres.dll", "C:\Program Files\App\res"), as
// LoadLibraryEx(..., LOAD_LIBRARY_AS_DATAFILE) finds it, and the strings such
// data points into ("@tzres.dll,-110" names string 110 of tzres.dll).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"

namespace talmoor::platform {

// The host file of `module`, or nothing when there is none:
//  - surrounding blanks and one pair of quotes are dropped, %NAME%
//    references expanded, "/" taken as "\", a "\\?\" prefix dropped;
//  - a last component without an extension gets ".dll"; a trailing "." stops
//    that and is dropped;
//  - a path with a drive letter is looked up through the drives, a path from
//    the root ("\dir\x.dll") on the system drive; a network path is never
//    reached;
//  - any other name is looked for in the search directories, in order.
// Every component is matched without regard to case, and only a regular
// file (or a link to one) is taken.
std::optional<std::filesystem::path> findModuleFile(std::string_view module, const WindowsEnvironment& environment,
                                                    const DriveMap& drives);
// The same with the current environment and drives.
std::optional<std::filesystem::path> findModuleFile(std::string_view module);

// Where a module named without a drive is looked for, as Windows paths:
// %SystemRoot%\system32, %SystemRoot%\system, %SystemRoot%, then each folder
// of %Path% (from the root ones on the system drive; relative ones, which
// would depend on a current folder, are left out). Each folder once.
std::vector<std::string> moduleSearchDirectories(const WindowsEnvironment& environment);

// String `id` of `module`, read as LoadString reads it, in the ANSI code page
// (UTF-8): from the module's language resource file for the first of
// `languages` that has one holding the string, else from the module itself
// (see ModuleStringCache). Nothing when the module or the string is missing
// or empty. Each call reads the files afresh.
std::optional<std::string> loadIndirectString(std::string_view module, unsigned id,
                                              const WindowsEnvironment& environment, const DriveMap& drives,
                                              std::vector<std::string> languages = {"en-US"});
// The same with the current profile's environment, drives and UI languages,
// through the profile's cache of module strings.
std::optional<std::string> loadIndirectString(std::string_view module, unsigned id);

}  // namespace talmoor::platform

#pragma once
// What the user can do with the files a value refers to: open, select,
// explore or show the properties of each (handed to the desktop's opener),
// schedule a move at the next start of Windows, or run the value's data.

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "base/interaction.h"
#include "platform/win32_types.h"
#include "verify/file_references.h"

namespace talmoor::verify {

// The verbs of the 'Files' popup.
inline constexpr std::string_view kVerbOpen = "open";
inline constexpr std::string_view kVerbSelect = "select";
inline constexpr std::string_view kVerbExplore = "explore";
inline constexpr std::string_view kVerbRebootMove = "reboot move";
inline constexpr std::string_view kVerbProperties = "properties";

// Shows a host file or folder for a verb ("open", "explore", "properties",
// "select"): the desktop opens it (xdg-open or the portal), the command line
// prints it. False when it could not be shown.
using ShellOpener = std::function<bool(std::string_view verb, const std::filesystem::path& hostPath)>;
// Installs the calling thread's workspace's opener.
void setShellOpener(ShellOpener opener);

// One file action on one path; 0 done or skipped, 1 failed.
int fileAction(WindowRef owner, const std::string& path, std::string_view verb, const FileSystemView& files);

// The actions on every reference in a value's data, then in its name.
bool fileActionsOnValue(std::string_view name, DWORD type, std::span<const BYTE> data, std::string_view verb,
                        WindowRef owner, const FileSystemView& files);

// Registers `source` to be moved to `destination` when Windows next starts,
// as Windows registers it: two strings added to PendingFileRenameOperations
// of the Session Manager key (written through the write gate).
bool scheduleRebootMove(const std::string& source, const std::string& destination, WindowRef owner = 0);

// Runs the value's data as a command line in the profile's Wine prefix; a
// box says why when there is no Wine or no prefix.
bool executeCommandLine(std::string_view commandLine, WindowRef owner = 0);

// Starts a program found along the search path with its arguments.
bool runExecutable(std::string_view name, std::string_view arguments, const FileSystemView& files);

}  // namespace talmoor::verify

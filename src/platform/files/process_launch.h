#pragma once
// Running Windows programs of the profile: a Windows command line is split
// as Windows splits it and handed to Wine in the profile's prefix, never to
// a shell.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

// The words of a command line, with the quoting and backslash rules Windows
// programs use for their arguments.
std::vector<std::string> splitWindowsCommandLine(std::string_view commandLine);


// The Wine loader, if installed.
std::optional<std::filesystem::path> findWineLoader();

// Starts the command line under Wine in `prefix` without waiting for it.
// ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND when Wine is missing, or the
// system's code for a failed start.
LONG launchInWine(std::string_view commandLine, const std::filesystem::path& prefix);

}  // namespace talmoor::platform

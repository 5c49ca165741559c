#pragma once
// Replacing a file so that a reader sees either the old or the new contents,
// never a mixture, and a failure leaves the old file as it was.

#include <filesystem>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::platform {

// Writes the bytes to a new file beside `target`, flushes it, gives it the
// permissions of the file it replaces (or 0644 less the umask), and renames
// it over `target`. Returns a Win32 code; on failure `target` is untouched and
// the detail text names the file and the reason.
LONG replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Reads a whole file. Returns a Win32 code and leaves a detail on failure.
LONG readWholeFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace talmoor::platform

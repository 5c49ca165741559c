#pragma once
// Replacing a file so that a reader sees either the old or the new contents,
// never a mixture, and a failure leaves the old file as it was.

#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::platform {

// Writes the bytes to a new file beside `target`, flushes it, gives it the
// permissions of the file it replaces (or 0644 less the umask), and renames
// it over `target`. Returns a Win32 code; on failure `target` is untouched and
// the detail text names the file and the reason.
LONG replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Makes `target` anew through `write`, which is given a path with the same
// file name in a new folder beside `target` and must create the file there.
// Only once it has is that file renamed over `target`, with the permissions
// of the file it replaces; a failure at any point leaves `target` as it was,
// and the folder is removed either way. An existing `target` that is not a
// plain file or is read-only (no write permission for its owner) is refused
// with ERROR_ACCESS_DENIED, as Windows refuses to delete it.
LONG replaceFileThrough(const std::filesystem::path& target,
                        const std::function<LONG(const std::filesystem::path& staged)>& write);

// Reads a whole file. Returns a Win32 code and leaves a detail on failure.
LONG readWholeFile(const std::filesystem::path& file, std::string& bytes);

}  // namespace talmoor::platform

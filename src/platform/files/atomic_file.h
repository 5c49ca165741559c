#pragma once
// Replacing a file so that a reader sees either the old or the new contents,
// never a mixture, and a failure leaves the old file as it was.

#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/files/file_lock.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

// Writes the bytes to a new file beside `target`, flushes it, gives it the
// permissions of the file it replaces (or 0644 less the umask), and renames
// it over `target`. Returns a Win32 code; on failure `target` is untouched and
// the detail text names the file and the reason. The writer's lock on
// `target` is held meanwhile; a symbolic link is written through (the file it
// points to is replaced); an existing target that is not a plain file, or is
// read-only, is refused with ERROR_ACCESS_DENIED.
LONG replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same for a caller that holds the writer's lock on `target` (taken on
// the path writeTargetOf gives) and has checked the file meanwhile. Files
// that interrupted saves of `target` left beside it, older than the lock,
// are removed first.
LONG replaceFileLocked(const std::filesystem::path& target, std::string_view bytes, const FileLock& lock);

// The same with the content made piece by piece: `produce` hands each piece
// to the sink it is given (which answers false once a write failed) and
// returns a Win32 code; a failure of either leaves `target` as it was.
using ByteSink = std::function<bool(std::string_view)>;
using ContentWriter = std::function<LONG(const ByteSink& sink)>;
LONG replaceFileLocked(const std::filesystem::path& target, const ContentWriter& produce, const FileLock& lock);
LONG replaceFileAtomically(const std::filesystem::path& target, const ContentWriter& produce);

// Makes `target` anew through `write`, which is given a path with the same
// file name in a new folder beside `target` and must create the file there.
// Only once it has is that file renamed over `target`, with the permissions
// of the file it replaces; a failure at any point leaves `target` as it was,
// and the folder is removed either way. An existing `target` that is not a
// plain file or is read-only (no write permission for its owner) is refused
// with ERROR_ACCESS_DENIED, as Windows refuses to delete it. The writer's lock
// is held and links are written through, as for replaceFileAtomically.
LONG replaceFileThrough(const std::filesystem::path& target,
                        const std::function<LONG(const std::filesystem::path& staged)>& write);

// Reads a whole file. Returns a Win32 code and leaves a detail on failure.
// `identity`, when given, receives the identity of the very file read.
LONG readWholeFile(const std::filesystem::path& file, std::string& bytes, FileIdentity* identity = nullptr);

// Whether the file may be replaced by a save: it has write permission for
// someone (a file made read-only is left alone even where the program could
// write it, as root can).
bool isWritableFile(const std::filesystem::path& file);

}  // namespace talmoor::platform

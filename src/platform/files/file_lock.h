#pragma once
// Writers of one file take turns: before a program replaces a hive or any
// other file it saves, it holds an exclusive lock on a lock file beside it
// (".NAME.talmoor.lock", there only while a save runs), so that two writers
// never interleave their read-check-rename steps. Readers take no lock.

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/win32_types.h"

namespace talmoor::platform {

// How long a writer waits for another one to finish its save.
inline constexpr std::chrono::milliseconds kDefaultLockWait{20000};

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock for writing `target`, waiting up to `wait` for a holder
  // to let go. Returns a Win32 code: ERROR_SHARING_VIOLATION when the wait
  // ran out (the detail names the file and the holder's process), or the
  // reason the lock file could not be made.
  static LONG acquire(const std::filesystem::path& target, FileLock& out,
                      std::chrono::milliseconds wait = kDefaultLockWait);

  bool held() const { return fd_ >= 0; }
  // When the lock was taken: files of an interrupted save older than this
  // belong to a writer that is gone.
  std::filesystem::file_time_type since() const { return since_; }
  void release();

 private:
  int fd_ = -1;
  std::filesystem::path path_;
  std::filesystem::file_time_type since_{};
};

// The name of a file kept beside `target` for its saves: "." + the target's
// name + `suffix`, shortened (with a hash of the whole name, so it stays
// unique) where it would pass the file system's limit on name length.
std::string sidecarName(const std::filesystem::path& target, std::string_view suffix);

// What tells one version of a file from another: a save renames a new file
// over the old one, so the inode changes with every save; size and time
// catch a file rewritten in place.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  long long modifiedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` (following links); false when it
// cannot be looked at (a missing file among them).
bool identityOf(const std::filesystem::path& path, FileIdentity& out);
// The same for a file this process has open.
bool identityOfOpenFile(int fd, FileIdentity& out);

// The file a write to `path` must replace: `path` itself, or, for a symbolic
// link, the file it points to (through a chain of links; relative targets
// are taken from each link's folder). The link stays a link, as it does when
// Wine writes through it. A dangling link gives the path of the file to make.
std::filesystem::path writeTargetOf(const std::filesystem::path& path);

}  // namespace talmoor::platform

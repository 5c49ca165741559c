#include "platform/files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

LONG fail(const std::filesystem::path& file, const char* what, int err) {
  setErrorDetail(fmt::format("{} {}: {}", what, file.string(), std::strerror(err)));
  return static_cast<LONG>(win32ErrorFromErrno(err));
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

constexpr std::string_view kStagingSuffix = ".talmoor-XXXXXX";
constexpr std::size_t kUniqueLength = 6;  // the Xs mkstemp and mkdtemp fill in

// What an existing target allows: nothing at all, or being replaced.
LONG checkReplaceable(const std::filesystem::path& target, struct stat& existing, bool& exists) {
  exists = ::stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return fail(target, "cannot look at", errno);
  if (exists && !S_ISREG(existing.st_mode)) {
    setErrorDetail(fmt::format("{} is not a file", target.string()));
    return ERROR_ACCESS_DENIED;
  }
  if (exists && !(existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) {
    setErrorDetail(fmt::format("{} is read-only", target.string()));
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

// The new file's name pattern beside `target`, for mkstemp and mkdtemp.
std::vector<char> stagingPattern(const std::filesystem::path& dir, const std::filesystem::path& target) {
  std::string pattern = (dir / sidecarName(target, kStagingSuffix)).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return name;
}

// Removes what saves of `target` that were interrupted (a kill, a crash)
// left beside it: files and folders of the staging pattern made before the
// lock was taken. Nothing else is touched.
void removeStaleStaging(const std::filesystem::path& dir, const std::filesystem::path& target, const FileLock& lock) {
  std::string pattern = sidecarName(target, kStagingSuffix);
  std::string prefix = pattern.substr(0, pattern.size() - kUniqueLength);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() != pattern.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code timeError;
    auto written = std::filesystem::last_write_time(entry.path(), timeError);
    if (timeError || written >= lock.since()) continue;
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

void syncFolder(const std::filesystem::path& dir) {
  FileDescriptor dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
  std::filesystem::path dir = target.parent_path();
  return dir.empty() ? std::filesystem::path(".") : dir;
}

}  // namespace

LONG replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  return replaceFileAtomically(
      target, [bytes](const ByteSink& sink) { return sink(bytes) ? ERROR_SUCCESS : ERROR_WRITE_FAULT; });
}

LONG replaceFileAtomically(const std::filesystem::path& target, const ContentWriter& produce) {
  const std::filesystem::path file = writeTargetOf(target);
  FileLock lock;
  if (LONG rc = FileLock::acquire(file, lock); rc != ERROR_SUCCESS) return rc;
  return replaceFileLocked(file, produce, lock);
}

LONG replaceFileLocked(const std::filesystem::path& target, std::string_view bytes, const FileLock& lock) {
  return replaceFileLocked(
      target, [bytes](const ByteSink& sink) { return sink(bytes) ? ERROR_SUCCESS : ERROR_WRITE_FAULT; }, lock);
}

LONG replaceFileLocked(const std::filesystem::path& target, const ContentWriter& produce, const FileLock& lock) {
  const std::filesystem::path dir = folderOf(target);
  struct stat existing {};
  bool exists = false;
  if (LONG rc = checkReplaceable(target, existing, exists); rc != ERROR_SUCCESS) return rc;
  removeStaleStaging(dir, target, lock);

  std::vector<char> name = stagingPattern(dir, target);
  FileDescriptor fd(::mkstemp(name.data()));
  if (fd.get() < 0) return fail(target, "cannot create a new file beside", errno);
  std::filesystem::path temp(name.data());
  auto discard = [&](const char* what, int err) {
    LONG code = fail(target, what, err);
    ::unlink(temp.c_str());
    return code;
  };

  mode_t mode = 0644;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  if (::fchmod(fd.get(), mode) != 0) return discard("cannot set permissions for", errno);
  int writeError = 0;
  LONG produced = produce([&](std::string_view piece) {
    if (writeError == 0 && !writeAll(fd.get(), piece)) writeError = errno;
    return writeError == 0;
  });
  if (writeError != 0) return discard("cannot write", writeError);
  if (produced != ERROR_SUCCESS) {
    ::unlink(temp.c_str());
    return produced;
  }
  if (::fsync(fd.get()) != 0) return discard("cannot flush", errno);
  if (::close(fd.release()) != 0) return discard("cannot close", errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return discard("cannot replace", errno);
  // Make the rename itself durable.
  syncFolder(dir);
  return ERROR_SUCCESS;
}

LONG replaceFileThrough(const std::filesystem::path& requested,
                        const std::function<LONG(const std::filesystem::path& staged)>& write) {
  const std::filesystem::path target = writeTargetOf(requested);
  const std::filesystem::path dir = folderOf(target);
  FileLock lock;
  if (LONG rc = FileLock::acquire(target, lock); rc != ERROR_SUCCESS) return rc;
  struct stat existing {};
  bool exists = false;
  if (LONG rc = checkReplaceable(target, existing, exists); rc != ERROR_SUCCESS) return rc;
  removeStaleStaging(dir, target, lock);

  std::vector<char> name = stagingPattern(dir, target);
  if (!::mkdtemp(name.data())) return fail(target, "cannot create a folder beside", errno);
  const std::filesystem::path folder(name.data());
  const std::filesystem::path staged = folder / target.filename();

  LONG rc = write(staged);
  // On the disk before it takes the old file's place, so that a power loss
  // cannot leave an empty file where a whole one was.
  if (rc == ERROR_SUCCESS) {
    FileDescriptor written(::open(staged.c_str(), O_RDONLY | O_CLOEXEC));
    if (written.get() < 0 || ::fsync(written.get()) != 0) rc = fail(target, "cannot flush", errno);
  }
  if (rc == ERROR_SUCCESS && exists && ::chmod(staged.c_str(), existing.st_mode & 07777) != 0)
    rc = fail(target, "cannot set permissions for", errno);
  if (rc == ERROR_SUCCESS && ::rename(staged.c_str(), target.c_str()) != 0) rc = fail(target, "cannot replace", errno);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  if (rc == ERROR_SUCCESS) syncFolder(dir);
  return rc;
}

LONG readWholeFile(const std::filesystem::path& file, std::string& bytes, FileIdentity* identity) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return fail(file, "cannot open", errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return fail(file, "cannot read", errno);
  if (S_ISDIR(info.st_mode)) return fail(file, "cannot read", EISDIR);
  if (identity) identityOfOpenFile(fd.get(), *identity);
  // Read straight into the text, in one call for a file that keeps the size
  // it had; what a file gains meanwhile is read on to its end.
  bytes.assign(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0, '\0');
  std::size_t filled = 0;
  char more[65536];
  for (;;) {
    const bool full = filled == bytes.size();
    ssize_t n =
        full ? ::read(fd.get(), more, sizeof more) : ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(file, "cannot read", errno);
    }
    if (n == 0) break;
    if (full) bytes.append(more, static_cast<std::size_t>(n));
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return ERROR_SUCCESS;
}

bool isWritableFile(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return true;  // a file still to be made
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(file.c_str(), W_OK) == 0;
}

}  // namespace talmoor::platform

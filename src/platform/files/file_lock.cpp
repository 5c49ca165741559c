#include "platform/files/file_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr std::string_view kLockSuffix = ".talmoor.lock";
constexpr auto kRetryEvery = std::chrono::milliseconds(25);
constexpr int kMaxLinkHops = 40;  // as the kernel allows when it follows links
constexpr std::size_t kMaxNameLength = NAME_MAX;

// The process that holds a lock file, as its holder wrote it there.
std::string holderOf(int fd) {
  char buffer[32] = {};
  ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
  std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? std::string("another process") : "process " + text;
}

}  // namespace

FileLock::~FileLock() { release(); }

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), since_(other.since_) {
  other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    since_ = other.since_;
    other.fd_ = -1;
  }
  return *this;
}

void FileLock::release() {
  if (fd_ < 0) return;
  // Removed while still held, so that no folder keeps lock files; a writer
  // that opened it meanwhile finds it gone and tries again.
  ::unlink(path_.c_str());
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

namespace {

// Whether the lock file at `path` is still the one open as `fd`: a holder
// removes its lock file before it lets go, so a lock won on a file that is
// gone from its folder is worth nothing and the race starts again.
bool stillInPlace(int fd, const std::filesystem::path& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace

LONG FileLock::acquire(const std::filesystem::path& target, FileLock& out, std::chrono::milliseconds wait) {
  out.release();
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  const std::filesystem::path lockFile = dir / sidecarName(target, kLockSuffix);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      int err = errno;
      setErrorDetail(fmt::format("cannot make the lock file {} for saving {}: {}", lockFile.string(),
                                 target.string(), std::strerror(err)));
      return static_cast<LONG>(win32ErrorFromErrno(err));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (stillInPlace(fd, lockFile)) {
        // Who holds it, for the message another writer gives while it waits.
        std::string pid = fmt::format("{}\n", ::getpid());
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
          // Only that message needs it; the lock is held all the same.
        }
        out.fd_ = fd;
        out.path_ = lockFile;
        out.since_ = std::filesystem::file_time_type::clock::now();
        return ERROR_SUCCESS;
      }
      ::close(fd);
      continue;
    }
    int err = errno;
    if (err == EINTR) {
      ::close(fd);
      continue;
    }
    if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      std::string holder = holderOf(fd);
      ::close(fd);
      if (err == EWOULDBLOCK) {
        setErrorDetail(fmt::format("{} is being saved by {} (lock file {}); gave up after waiting {} s",
                                   target.string(), holder, lockFile.string(), wait.count() / 1000.0));
        return ERROR_SHARING_VIOLATION;
      }
      setErrorDetail(fmt::format("cannot lock {} for saving {}: {}", lockFile.string(), target.string(),
                                 std::strerror(err)));
      return static_cast<LONG>(win32ErrorFromErrno(err));
    }
    ::close(fd);
    std::this_thread::sleep_for(kRetryEvery);
  }
}

std::string sidecarName(const std::filesystem::path& target, std::string_view suffix) {
  std::string name = target.filename().string();
  std::string whole = "." + name + std::string(suffix);
  if (whole.size() <= kMaxNameLength) return whole;
  std::string hash = fmt::format("-{:016x}", std::hash<std::string>{}(name));
  std::size_t keep = kMaxNameLength - 1 - hash.size() - suffix.size();
  return "." + name.substr(0, keep) + hash + std::string(suffix);
}

namespace {
FileIdentity identityFrom(const struct stat& info) {
  return FileIdentity{static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
                      static_cast<long long>(info.st_size),
                      static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec};
}
}  // namespace

bool identityOf(const std::filesystem::path& path, FileIdentity& out) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  out = identityFrom(info);
  return true;
}

bool identityOfOpenFile(int fd, FileIdentity& out) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  out = identityFrom(info);
  return true;
}

std::filesystem::path writeTargetOf(const std::filesystem::path& path) {
  std::filesystem::path current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) return current;
    std::filesystem::path next = std::filesystem::read_symlink(current, ec);
    if (ec) return current;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return current;  // a loop: the write fails on it with the system's reason
}

}  // namespace talmoor::platform

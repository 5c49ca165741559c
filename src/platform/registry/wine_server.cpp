#include "platform/registry/wine_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace talmoor::platform {

namespace {

enum class LockState { Held, Free, Unknown };

// The server takes a write lock on "lock" in its folder for as long as it
// runs, and leaves the file behind when it ends: a lock file that nobody
// holds means that no server runs there. Without the file (no server ran
// there since the folder was made) or a way to look at it, the lock cannot
// tell.
LockState lockState(const std::filesystem::path& lockFile) {
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LockState::Unknown;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  LockState state = LockState::Unknown;
  if (::fcntl(fd, F_GETLK, &probe) == 0) state = probe.l_type != F_UNLCK ? LockState::Held : LockState::Free;
  ::close(fd);
  return state;
}

bool isProcessId(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The folders a server for this prefix may use: /tmp/.wine-<uid>/server-<dev>-<ino>,
// or under the folder that the prefix's "wineserver" file names.
std::vector<std::filesystem::path> serverFolders(const std::filesystem::path& prefix, const struct stat& info) {
  std::string leaf = fmt::format("server-{:x}-{:x}", static_cast<unsigned long long>(info.st_dev),
                                 static_cast<unsigned long long>(info.st_ino));
  std::vector<std::filesystem::path> folders;
  std::filesystem::path tmp = "/tmp";
  if (const char* env = std::getenv("TMPDIR"); env && *env) folders.push_back(std::filesystem::path(env) /
                                                                               fmt::format(".wine-{}", ::getuid()) / leaf);
  folders.push_back(tmp / fmt::format(".wine-{}", ::getuid()) / leaf);
  std::ifstream named(prefix / "wineserver");
  std::string dir;
  if (named && std::getline(named, dir) && !dir.empty() && dir.find('/') == std::string::npos)
    folders.push_back(tmp / dir / leaf);
  return folders;
}

// Any running wineserver process that has the prefix folder open.
bool serverProcessHolds(const struct stat& info) {
  std::error_code ec;
  for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
    if (!isProcessId(proc.path().filename().string())) continue;
    std::ifstream commFile(proc.path() / "comm");
    std::string comm;
    if (!commFile || !std::getline(commFile, comm) || comm.rfind("wineserver", 0) != 0) continue;
    std::error_code fdError;
    for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", fdError)) {
      struct stat target {};
      if (::stat(fd.path().c_str(), &target) == 0 && S_ISDIR(target.st_mode) && target.st_dev == info.st_dev &&
          target.st_ino == info.st_ino)
        return true;
    }
  }
  return false;
}

}  // namespace

bool isWineServerRunning(const std::filesystem::path& prefix) {
  struct stat info {};
  if (::stat(prefix.c_str(), &info) != 0) return false;
  // The lock files answer when there are any; the process list, which costs
  // a look at every process, only when there are none (a server that keeps
  // its files where this program cannot see them).
  bool lockFound = false;
  for (const auto& folder : serverFolders(prefix, info)) {
    LockState state = lockState(folder / "lock");
    if (state == LockState::Held) return true;
    if (state == LockState::Free) lockFound = true;
  }
  if (lockFound) return false;
  return serverProcessHolds(info);
}

}  // namespace talmoor::platform

#include "platform/registry/wine_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace talmoor::platform {

namespace {

// The server takes a write lock on "lock" in its folder for as long as it runs.
bool lockIsHeld(const std::filesystem::path& lockFile) {
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
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
  for (const auto& folder : serverFolders(prefix, info))
    if (lockIsHeld(folder / "lock")) return true;
  return serverProcessHolds(info);
}

}  // namespace talmoor::platform

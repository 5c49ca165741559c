#include "platform/files/directory_walker.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace fs = std::filesystem;

bool DirectoryWalker::enter(const fs::path& directory) {
  std::error_code ec;
  DirectoryState state;
  state.directory = fs::absolute(directory, ec);
  state.pattern = pattern;
  fs::directory_iterator it(state.directory, ec);
  if (ec) {
    lastError = static_cast<LONG>(platform::win32ErrorFromErrno(ec.value()));
    return false;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    DirectoryEntry entry;
    entry.name = it->path().filename().string();
    std::error_code statError;
    if (it->is_directory(statError)) entry.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else entry.size = it->is_regular_file(statError) ? it->file_size(statError) : 0;
    state.entries.push_back(std::move(entry));
  }
  std::sort(state.entries.begin(), state.entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  state.index = 0;
  current_ = std::move(state);
  return true;
}

bool DirectoryWalker::Open(const fs::path& directory, LONG& error) {
  stack_.clear();
  bool opened = enter(directory);
  error = opened ? ERROR_SUCCESS : lastError;
  return opened;
}

fs::path DirectoryWalker::entryPath() const {
  const DirectoryEntry* e = entry();
  return e ? current_.directory / e->name : current_.directory;
}

// True when the folder is already open somewhere above: entering it again
// would go round a loop of links for ever.
bool DirectoryWalker::onPath(const fs::path& directory) const {
  struct stat target {};
  if (::stat(directory.c_str(), &target) != 0) return false;
  auto same = [&](const fs::path& other) {
    struct stat info {};
    return ::stat(other.c_str(), &info) == 0 && info.st_dev == target.st_dev && info.st_ino == target.st_ino;
  };
  if (same(current_.directory)) return true;
  return std::any_of(stack_.begin(), stack_.end(), [&](const DirectoryState& s) { return same(s.directory); });
}

bool DirectoryWalker::Descend() {
  const DirectoryEntry* e = entry();
  if (!e || !e->isDirectory()) return false;
  fs::path child = entryPath();
  if (onPath(child)) return false;
  stack_.push_back(current_);
  if (enter(child)) return true;
  current_ = std::move(stack_.back());
  stack_.pop_back();
  return false;
}

bool DirectoryWalker::Ascend() {
  if (stack_.empty()) return false;
  current_ = std::move(stack_.back());
  stack_.pop_back();
  return true;
}

void DirectoryWalker::Walk(const Visitor& itemVisitor, std::atomic<bool>& stop, Counters& counters,
                           const Visitor& directoryVisitor, bool includeDirectories, bool includeFiles) {
  // Depth first without recursion: the walker's own stack holds the way back.
  const std::size_t base = stack_.size();
  for (;;) {
    if (stop) return;
    const DirectoryEntry* e = entry();
    if (!e) {
      if (stack_.size() <= base) return;
      Ascend();
      if (directoryVisitor && directoryVisitor(kAfterDescend, *this) == -1) stop = true;
      ++current_.index;
      continue;
    }
    if (directoryVisitor && directoryVisitor(kEveryEntry, *this) == -1) stop = true;
    if ((e->isDirectory() && includeDirectories) || (!e->isDirectory() && includeFiles)) {
      ++counters.items;
      if (itemVisitor && itemVisitor(kItem, *this) == -1) stop = true;
    }
    if (stop) return;
    if (e->isDirectory() && !noDescend) {
      if (directoryVisitor && directoryVisitor(kBeforeDescend, *this) == -1) {
        stop = true;
        return;
      }
      if (Descend()) {
        ++counters.directories;
        continue;
      }
    }
    ++current_.index;
  }
}

}  // namespace talmoor::platform

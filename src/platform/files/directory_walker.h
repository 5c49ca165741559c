#pragma once
// A depth-first walk over host folders with a stack of open directories,
// as the search for moved files uses it. Folders reached again through
// symbolic links (a loop) are not entered twice on one path.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/windows_files.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

struct DirectoryEntry {
  std::string name;
  DWORD attributes = 0;
  std::uint64_t size = 0;
  bool isDirectory() const { return attributes & FILE_ATTRIBUTE_DIRECTORY; }
};

struct DirectoryState {
  std::filesystem::path directory;
  std::string pattern;
  std::vector<DirectoryEntry> entries;  // without "." and ".."
  int index = -1;                       // -1 while nothing is open
  bool moreEntries() const { return index >= 0 && static_cast<std::size_t>(index) < entries.size(); }
  const DirectoryEntry* current() const { return moreEntries() ? &entries[static_cast<std::size_t>(index)] : nullptr; }
};

// Directory visitor kinds.
inline constexpr int kBeforeDescend = 0;
inline constexpr int kAfterDescend = 1;
inline constexpr int kEveryEntry = 2;
inline constexpr int kItem = 3;

class DirectoryWalker {
 public:
  // visitor(kind, walker) -> -1 stops the walk.
  using Visitor = std::function<int(int kind, DirectoryWalker& walker)>;

  struct Counters {
    std::uint64_t items = 0;
    std::uint64_t directories = 0;
  };

  // Makes `directory` current; on failure keeps the Win32 code in `error`.
  bool Open(const std::filesystem::path& directory, LONG& error);
  // Enters the current entry as a subfolder; stays put when that fails.
  bool Descend();
  // Back to the folder above.
  bool Ascend();
  // Walks everything below the current folder.
  void Walk(const Visitor& itemVisitor, std::atomic<bool>& stop, Counters& counters,
            const Visitor& directoryVisitor = {}, bool includeDirectories = false, bool includeFiles = true);

  const DirectoryState& state() const { return current_; }
  const DirectoryEntry* entry() const { return current_.current(); }
  std::filesystem::path entryPath() const;
  std::size_t depth() const { return stack_.size(); }

  std::string pattern = "*.*";
  bool noDescend = false;
  LONG lastError = 0;

 private:
  bool enter(const std::filesystem::path& directory);
  bool onPath(const std::filesystem::path& directory) const;

  DirectoryState current_;
  std::vector<DirectoryState> stack_;
};

}  // namespace talmoor::platform

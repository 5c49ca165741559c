#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/win32_errors.h"
#include "platform/files/directory_walker.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;
using talmoor::platform::DirectoryWalker;

TEST(DirectoryWalker, WalksDepthFirstAndNeverRoundALoop) {
  talmoor::test::TempDir dir;
  fs::create_directories(dir / "a" / "b");
  fs::create_directories(dir / "c");
  talmoor::test::writeFile(dir / "a" / "one.dll", "x");
  talmoor::test::writeFile(dir / "a" / "b" / "two.dll", "xy");
  talmoor::test::writeFile(dir / "top.txt", "");
  fs::create_directory_symlink(dir.path(), dir / "a" / "b" / "loop");  // points back up

  DirectoryWalker walker;
  LONG error = 0;
  ASSERT_TRUE(walker.Open(dir.path(), error));
  std::vector<std::string> files;
  std::atomic<bool> stop{false};
  DirectoryWalker::Counters counters;
  walker.Walk(
      [&](int, DirectoryWalker& w) {
        files.push_back(fs::relative(w.entryPath(), dir.path()).string());
        return 0;
      },
      stop, counters);
  EXPECT_EQ(files, (std::vector<std::string>{"a/b/two.dll", "a/one.dll", "top.txt"}));
  EXPECT_EQ(counters.items, 3u);
  EXPECT_EQ(counters.directories, 3u);  // a, a/b, c; never the loop
  EXPECT_EQ(walker.depth(), 0u);

  // A visitor's -1 stops the walk.
  ASSERT_TRUE(walker.Open(dir.path(), error));
  files.clear();
  walker.Walk(
      [&](int, DirectoryWalker& w) {
        files.push_back(w.entry()->name);
        return -1;
      },
      stop, counters);
  EXPECT_TRUE(stop);
  EXPECT_EQ(files.size(), 1u);

  EXPECT_FALSE(walker.Open(dir / "missing", error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

}  // namespace

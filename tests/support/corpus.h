#pragma once
// Access to the shared registry data from tests: tests that need it skip
// themselves when it is absent.

#include <filesystem>
#include <string>

namespace talmoor::test {

// The corpus folder, or an empty path when it is not on this machine.
std::filesystem::path corpusDir();

// Writable copies of the corpus prefix's three hives in `prefix` (created).
void copyCorpusHives(const std::filesystem::path& prefix);

// Reads a whole file as bytes.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A fresh temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace talmoor::test

#define TALMOOR_REQUIRE_CORPUS()                                          \
  do {                                                                    \
    if (::talmoor::test::corpusDir().empty()) GTEST_SKIP() << "no corpus"; \
  } while (0)

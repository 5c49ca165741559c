#pragma once
// Real Wine as the judge of what Talmoor writes: tests that need it skip
// themselves where it is not installed.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/process.h"

namespace talmoor::test {

// The 64-bit Wine loader, if installed.
std::optional<std::filesystem::path> wineLoader();

// A prefix holding copies of the corpus hives that Wine will run in without
// updating it: its drive_c comes from one scratch prefix booted once per
// build tree (shared between test processes), its update stamp from there too.
std::filesystem::path makeWinePrefix(const std::filesystem::path& dir);

// Runs a Wine program in the prefix, then stops its Wine server so that the
// prefix's files are settled. Output lines lose their carriage returns.
ProcessResult runWine(const std::filesystem::path& prefix, const std::vector<std::string>& args);

}  // namespace talmoor::test

#define TALMOOR_REQUIRE_WINE()                                           \
  do {                                                                   \
    if (!::talmoor::test::wineLoader()) GTEST_SKIP() << "Wine is not installed"; \
  } while (0)

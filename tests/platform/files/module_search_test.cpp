// Finding the modules that registry data names, in a prefix whose drive_c is
// laid out as the corpus prefix's (empty files, and the real tzres.dll), and
// reading the strings such data points to.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <fmt/format.h>

#include "platform/files/module_search.h"
#include "platform/registry/registry_profile.h"
#include "platform/thread_context.h"
#include "support/test_registry.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusDir;
using talmoor::test::TempDir;
using talmoor::test::writeFile;

class ModuleSearchTest : public ::testing::Test {
 protected:
  // The prefix is laid out once for the suite (materializing takes seconds);
  // tests only add files of their own names to it.
  static void SetUpTestSuite() {
    if (corpusDir().empty()) return;
    suiteDir_ = std::make_unique<TempDir>();
    fs::path prefix = *suiteDir_ / "prefix";
    fs::path wine = corpusDir() / "wine-8.0";
    fs::create_directories(prefix / "dosdevices");
    for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
      fs::copy_file(wine / name, prefix / name);
      fs::permissions(prefix / name, fs::perms::owner_write, fs::perm_options::add);
    }
    std::string command = fmt::format("sh '{}' '{}'", (wine / "materialize-drive-c.sh").string(),
                                      (prefix / "drive_c").string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    fs::copy_file(wine / "drive_c-files" / "windows" / "system32" / "tzres.dll",
                  prefix / "drive_c" / "windows" / "system32" / "tzres.dll", fs::copy_options::overwrite_existing);
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  }
  static void TearDownTestSuite() { suiteDir_.reset(); }

  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    ASSERT_TRUE(suiteDir_);
    tp::ProfileOptions options;
    options.prefix = *suiteDir_ / "prefix";
    options.settingsFile = dir_ / "settings.reg";
    profile_ = talmoor::test::openTestProfile(options);
    tp::ThreadContextScope reading({profile_, nullptr});
    env_ = tp::WindowsEnvironment::fromRegistry();
  }

  std::optional<fs::path> find(std::string_view module) { return tp::findModuleFile(module, env_, profile_->drives()); }
  fs::path driveC() const { return *suiteDir_ / "prefix" / "drive_c"; }

  static std::unique_ptr<TempDir> suiteDir_;
  TempDir dir_;
  std::shared_ptr<tp::RegistryProfile> profile_;
  tp::WindowsEnvironment env_;
};

std::unique_ptr<TempDir> ModuleSearchTest::suiteDir_;

::testing::AssertionResult isFile(const std::optional<fs::path>& found, const fs::path& expected) {
  if (!found) return ::testing::AssertionFailure() << "nothing found";
  std::error_code ec;
  if (!fs::equivalent(*found, expected, ec)) return ::testing::AssertionFailure() << "found " << *found;
  return ::testing::AssertionSuccess();
}

TEST_F(ModuleSearchTest, NamesAndPathsOfTheSameModuleFindTheSameFile) {
  fs::path tzres = driveC() / "windows" / "system32" / "tzres.dll";
  for (const char* module : {"tzres.dll", "%SystemRoot%\\System32\\TZRES.DLL", "TzRes", "  \"tzres.dll\" ",
                             "C:/Windows/System32/tzres.dll", "\\WINDOWS\\system32\\tzres.dll",
                             "%windir%\\system32\\..\\system32\\tzres", "\\\\?\\C:\\windows\\system32\\tzres.dll",
                             "system32\\tzres.dll", "tzres.dll."}) {
    SCOPED_TRACE(module);
    EXPECT_TRUE(isFile(find(module), tzres));
  }
  // Modules of the prefix that are not in system32's own folder.
  auto msado = find("%CommonProgramFiles%\\System\\ADO\\msado15.dll");
  ASSERT_TRUE(msado.has_value());
  EXPECT_EQ(msado->filename(), "msado15.dll");
  auto wbem = find("WBEMPROX");  // %Path% names system32\wbem
  ASSERT_TRUE(wbem.has_value());
  EXPECT_EQ(wbem->parent_path().filename(), "wbem");
}

TEST_F(ModuleSearchTest, WhatFindsNothing) {
  for (const char* module : {"nosuch.dll", "", "  ", "\"\"", "tzres.", "C:\\windows\\system32.",
                             "C:\\windows\\system32\\", "D:\\tzres.dll", "\\\\server\\share\\tzres.dll",
                             "%NoSuchFolder%\\tzres.dll"}) {
    SCOPED_TRACE(module);
    EXPECT_EQ(find(module), std::nullopt);
  }
}

TEST_F(ModuleSearchTest, SearchOrder) {
  EXPECT_EQ(tp::moduleSearchDirectories(env_),
            (std::vector<std::string>{"C:\\windows\\system32", "C:\\windows\\system", "C:\\windows",
                                      "C:\\windows\\system32\\wbem", "C:\\windows\\system32\\WindowsPowershell\\v1.0"}));

  writeFile(driveC() / "windows" / "twice.dll", "");
  writeFile(driveC() / "windows" / "system32" / "TWICE.DLL", "");
  EXPECT_TRUE(isFile(find("twice.dll"), driveC() / "windows" / "system32" / "TWICE.DLL"));

  fs::create_directories(driveC() / "Program Files" / "Tool" / "lang");
  writeFile(driveC() / "Program Files" / "Tool" / "tool.dll", "");
  writeFile(driveC() / "Program Files" / "Tool" / "lang" / "en.res", "");
  EXPECT_EQ(find("tool"), std::nullopt);
  // Path folders: quoted, from the root, relative (left out), empty.
  env_.set("Path", *env_.get("Path") + ";relative;;\"\\Program Files\\Tool\\\"");
  EXPECT_EQ(tp::moduleSearchDirectories(env_).back(), "C:\\Program Files\\Tool");
  EXPECT_TRUE(isFile(find("tool"), driveC() / "Program Files" / "Tool" / "tool.dll"));
  EXPECT_TRUE(isFile(find("lang\\EN.RES"), driveC() / "Program Files" / "Tool" / "lang" / "en.res"));
}

TEST_F(ModuleSearchTest, IndirectStringsThroughTheCurrentProfile) {
  EXPECT_EQ(tp::loadIndirectString("tzres.dll", 27696), std::nullopt);  // no profile on this thread yet
  tp::ThreadContextScope working({profile_, nullptr});
  EXPECT_EQ(tp::loadIndirectString("tzres.dll", 27696), "W. Europe Standard Time");
  EXPECT_EQ(tp::loadIndirectString("%SystemRoot%\\system32\\tzres.dll", 39618), "(UTC+04:30) Kabul");
  EXPECT_EQ(tp::loadIndirectString("tzres.dll", 110), std::nullopt);
  // shell32.dll of the layout is an empty file: no strings, no failure.
  EXPECT_TRUE(tp::findModuleFile("shell32.dll").has_value());
  EXPECT_EQ(tp::loadIndirectString("shell32.dll", 21787), std::nullopt);
}

}  // namespace

// Hive files: the file test with its boxes, loading under a named mount point,
// saving keys as hives, unloading with its log row, and the mount point lookup.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/error_log.h"
#include "support/scripted_interaction.h"
#include "platform/registry/win32_registry.h"
#include "registry/hive_operations.h"
#include "support/corpus.h"
#include "support/regf_support.h"
#include "support/test_registry.h"
#include "base/workspace.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor;
using namespace talmoor::registry;
using test::readFile;
using test::writeFile;

class HiveOperationsTest : public ::testing::Test {
 protected:
  HiveOperationsTest() : installed_(scripted_) {
    setErrorBoxesSuppressed(false);
    errorLog().clear();
  }
  ~HiveOperationsTest() override {
    errorLog().clear();
    errorLog().setWindowOpen(false);
  }

  // Reports as "context | primary | secondary | code | verbosity".
  ReportTo recording() {
    return ReportTo([this](const ErrorReport& r) {
      reports_.push_back(std::string(r.context) + " | " + std::string(r.primaryName) + " | " +
                         std::string(r.secondaryName) + " | " + std::to_string(r.code) + " | " +
                         std::to_string(r.verbosity));
      return false;
    });
  }
  MountPointNamer naming(std::string name) {
    return [this, name](std::string_view parent, std::string_view file, std::string_view proposed) {
      namings_.push_back(std::string(parent) + " | " + std::string(file) + " | " + std::string(proposed));
      return std::optional<std::string>(name);
    };
  }

  // A writable copy of a corpus hive, or an empty path without the corpus.
  fs::path corpusCopy(const std::string& name) {
    if (test::corpusHive(name).empty()) return {};
    test::copyWritable(test::corpusHive(name), dir() / name);
    return dir() / name;
  }
  std::string dumpOf(const fs::path& file) {
    auto& machine = registry_.host().local();
    auto hive = machine.hiveOfFile(file);
    std::shared_lock lock(machine.treeMutex());
    return hive ? test::dumpKeyTree(*hive->root()) : "(not mounted)";
  }
  const fs::path& dir() const { return registry_.dir().path(); }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
  std::vector<std::string> reports_;
  std::vector<std::string> namings_;
};

TEST_F(HiveOperationsTest, FileTestAcceptsTheOwnFormatsAndAsksAboutTheRest) {
  const fs::path small = dir() / "small", nt = dir() / "nt.sav", win9x = dir() / "win9x.dat", wine = dir() / "wine.reg",
                 other = dir() / "notes.txt";
  writeFile(small, "regf");
  writeFile(nt, std::string("regf") + std::string(60, '\0'));
  writeFile(win9x, std::string("CREG") + std::string(60, '\0'));
  writeFile(wine, "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n");
  writeFile(other, "Hello, this is not a hive");

  // Silently: the platform's own format and Wine's text hives; never: what is no file.
  EXPECT_TRUE(testHiveFile(nt.string(), true));
  EXPECT_TRUE(testHiveFile(wine.string(), true));
  EXPECT_TRUE(testHiveFile(win9x.string(), true, 0, kPlatformWindows9x));
  EXPECT_FALSE(testHiveFile((dir() / "missing").string(), true));
  EXPECT_FALSE(testHiveFile(dir().string(), true));
  EXPECT_TRUE(scripted_->boxes().empty());

  EXPECT_FALSE(testHiveFile(small.string(), true));
  EXPECT_FALSE(testHiveFile(small.string(), false));
  scripted_->answer({IDYES, IDNO, IDYES});
  EXPECT_TRUE(testHiveFile(win9x.string(), true));
  EXPECT_FALSE(testHiveFile(nt.string(), true, 0, kPlatformWindows9x));
  EXPECT_TRUE(testHiveFile(other.string(), true));
  EXPECT_FALSE(testHiveFile(win9x.string(), false));  // would need a question
  EXPECT_EQ(scripted_->boxLines(),
            (std::vector<std::string>{
                "Cannot Load Hive: The file you selected is too small it cannot possibly be a valid Registry Hive",
                "WARNING: The file selected appears to be a Windows 95/98/ME Registry Hive.\nFuthur more it appears "
                "you are not presently running a security\nenabled system, it is likely you will not be able to "
                "successfully\nLoad this Hive.\n\nContinue Loading Hive?",
                "WARNING: The file you selected appears to be a Windows NT/2000 Registry Hive.\nFurthur more it "
                "appears you are not presently running on a security enabled system, \nit is likely you will not be "
                "able to\nLoad this Hive\n\nContinue Loading Hive?",
                "WARNING: The file you selected has not been recognised as a Registry Hive?",
            }));
  EXPECT_EQ(scripted_->boxes()[1].buttons, BoxButtons::YesNo);

  // Dropped files are tested without asking and land only below the roots that hold hives.
  EXPECT_TRUE(acceptsDroppedHive("HKEY_USERS", nt.string()));
  EXPECT_FALSE(acceptsDroppedHive("HKEY_CURRENT_USER", nt.string()));
  EXPECT_FALSE(acceptsDroppedHive("HKEY_USERS", other.string()));
}

TEST_F(HiveOperationsTest, LoadChangeSaveAndReloadGivesTheSameTreeWithTheChange) {
  fs::path file = corpusCopy("NTUSER.DAT");
  if (file.empty()) GTEST_SKIP() << "no corpus hive";
  ASSERT_EQ(loadHive("HKEY_USERS", file.string(), naming("Loaded"), recording()), ERROR_SUCCESS);
  EXPECT_EQ(namings_, std::vector<std::string>{"HKEY_USERS | " + file.string() + " | Untitled"});
  const std::string loaded = dumpOf(file);

  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_USERS, "Loaded\\Software\\Talmoor Test", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Changed", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string changed = dumpOf(file);
  EXPECT_NE(changed, loaded);

  const fs::path saved = dir() / "saved.sav";
  ASSERT_EQ(saveKeyAsHive("HKEY_USERS\\Loaded", saved.string(), recording()), ERROR_SUCCESS);
  ASSERT_EQ(mountHive("HKEY_USERS", "Reloaded", saved.string(), recording()), ERROR_SUCCESS);
  EXPECT_EQ(dumpOf(saved), changed);

  EXPECT_EQ(hiveMountPoint("HKEY_USERS\\Loaded"), file.string());
  EXPECT_TRUE(showMountPoint("HKEY_USERS\\RELOADED"));  // names compare as the registry compares them
  EXPECT_FALSE(showMountPoint("HKEY_USERS\\Loaded\\Software"));
  EXPECT_FALSE(showMountPoint("HKEY_CURRENT_USER\\Software"));
  EXPECT_EQ(scripted_->boxLines(),
            (std::vector<std::string>{"Hive Mount Point: " + saved.string(),
                                      "Sorry: Cannot Convert none static mapped root Key to a System Key"}));

  // Unloading removes the key and saves the change into the hive's own file.
  ASSERT_EQ(unloadHive("HKEY_USERS\\Loaded", recording()), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Loaded", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(hiveMountPoint("HKEY_USERS\\Loaded"));
  ASSERT_EQ(mountHive("HKEY_USERS", "Again", file.string(), recording()), ERROR_SUCCESS);
  EXPECT_EQ(dumpOf(file), changed);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(HiveOperationsTest, LoadsRefusedFailedOrDamaged) {
  const fs::path win9x = dir() / "win9x.dat", nt = dir() / "nt.sav";
  writeFile(win9x, std::string("CREG") + std::string(60, '\0'));
  writeFile(nt, "regf and then nothing a hive would need");
  scripted_->answer({IDNO});
  EXPECT_EQ(loadHive("HKEY_USERS", win9x.string(), naming("Old"), recording()), ERROR_CANCELLED);
  EXPECT_TRUE(namings_.empty());
  // A failed load is told to the handler only, never in a box.
  scripted_->clear();
  EXPECT_EQ(loadHive("HKEY_USERS", nt.string(), naming("Broken"), recording()), ERROR_BADDB);
  EXPECT_EQ(loadHive("HKEY_USERS", nt.string(), naming("Broken"), {}), ERROR_BADDB);
  EXPECT_EQ(reports_, std::vector<std::string>{"Loading Hive | HKEY_USERS | Broken | 1009 | 0"});
  EXPECT_TRUE(scripted_->boxes().empty());

  fs::path damaged = corpusCopy("corrupted_system_hive");
  if (damaged.empty()) GTEST_SKIP() << "no corpus hive";
  // Hives hang directly below HKEY_LOCAL_MACHINE or HKEY_USERS.
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(mountHive("HKEY_LOCAL_MACHINE\\Software", "Deep", damaged.string()), ERROR_INVALID_PARAMETER);

  // A damaged hive loads read-only; a summary (with a box) and a few of its problems are reported.
  const std::string before = readFile(damaged);
  reports_.clear();
  ASSERT_EQ(mountHive("HKEY_LOCAL_MACHINE", "Broken", damaged.string(), recording()), ERROR_SUCCESS);
  ASSERT_GE(reports_.size(), 2u);
  EXPECT_LE(reports_.size(), 8u);
  EXPECT_EQ(reports_[0].rfind(damaged.string() + ": the hive is damaged", 0), 0u) << reports_[0];
  EXPECT_NE(reports_[0].find(" | HKEY_LOCAL_MACHINE\\Broken |  | 1015 | 1"), std::string::npos) << reports_[0];
  EXPECT_NE(reports_[1].find("| 1015 | 0"), std::string::npos) << reports_[1];
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Broken\\Select", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "Current", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(unloadHive("HKEY_LOCAL_MACHINE\\Broken"), ERROR_SUCCESS);
  EXPECT_EQ(readFile(damaged), before);
}

TEST_F(HiveOperationsTest, UnloadFailuresBecomeErrorLogRows) {
  fs::path file = corpusCopy("BCD");
  if (file.empty()) GTEST_SKIP() << "no corpus hive";
  errorLog().setWindowOpen(true);
  ASSERT_EQ(mountHive("HKEY_LOCAL_MACHINE", "BCD00000000", file.string()), ERROR_SUCCESS);
  HKEY inside = 0;  // an open key of the hive keeps it loaded
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "BCD00000000\\Description", 0, KEY_READ, &inside), ERROR_SUCCESS);
  EXPECT_EQ(unloadHive("HKEY_LOCAL_MACHINE\\BCD00000000"), ERROR_ACCESS_DENIED);
  RegCloseKey(inside);
  ASSERT_EQ(unloadHive("HKEY_LOCAL_MACHINE\\BCD00000000"), ERROR_SUCCESS);
  EXPECT_EQ(unloadHive("HKEY_LOCAL_MACHINE\\BCD00000000"), ERROR_FILE_NOT_FOUND);

  auto rows = errorLog().rows();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows)
    EXPECT_EQ(row.keyPath + " | " + row.valueName + " | " + row.context,
              "HKEY_LOCAL_MACHINE | BCD00000000 | Un-Loading Hive from Mount Point.");
  EXPECT_EQ(rows[0].code, ERROR_ACCESS_DENIED);
  EXPECT_EQ(rows[1].code, ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(scripted_->boxes().size(), 1u);  // verbosity 1, but never a box for access denied

  scripted_->clear();
  EXPECT_EQ(unloadHive("HKEY_LOCAL_MACHINE"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(scripted_->boxLines(),
            std::vector<std::string>{"Sorry: An Error Occured Retreiving the Key Path.. please quit and Reload"});
}

// Files cannot grow beyond the limit while it holds.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

TEST_F(HiveOperationsTest, SavingOverAFileReplacesItOnlyOnceTheNewOneIsWritten) {
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Saved\\Below", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  // The key's hive is in Wine's text format, and so is the file, which keeps the old one's permissions.
  const fs::path target = dir() / "target.sav";
  writeFile(target, "the old contents");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(saveKeyAsHive("HKEY_LOCAL_MACHINE\\Software\\Saved", target.string(), recording()), ERROR_SUCCESS);
  EXPECT_EQ(readFile(target).rfind("WINE REGISTRY Version 2", 0), 0u);
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(mountHive("HKEY_USERS", "Saved", target.string(), recording()), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Saved\\Below", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);

  // A save that fails half way leaves the old file and nothing else.
  fs::path big = corpusCopy("NTUSER.DAT");
  if (!big.empty()) {
    ASSERT_EQ(mountHive("HKEY_USERS", "Big", big.string()), ERROR_SUCCESS);
    const fs::path kept = dir() / "kept.sav";
    writeFile(kept, "must survive");
    const auto entries = std::distance(fs::directory_iterator(dir()), fs::directory_iterator());
    LONG rc;
    {
      FileSizeLimit limit(64 * 1024);
      rc = saveKeyAsHive("HKEY_USERS\\Big", kept.string(), recording());
    }
    EXPECT_NE(rc, ERROR_SUCCESS);
    EXPECT_EQ(readFile(kept), "must survive");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), entries);
    EXPECT_EQ(reports_,
              std::vector<std::string>{"Saving Key as Hive | HKEY_USERS\\Big |  | " + std::to_string(rc) + " | 1"});
  }

  // A read-only file is not deleted, so nothing is saved; neither is a key that cannot be opened.
  const fs::path locked = dir() / "locked.sav";
  writeFile(locked, "read-only");
  fs::permissions(locked, fs::perms::owner_read);
  EXPECT_EQ(saveKeyAsHive("HKEY_LOCAL_MACHINE\\Software\\Saved", locked.string()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readFile(locked), "read-only");
  scripted_->clear();
  EXPECT_EQ(saveKeyAsHive("HKEY_LOCAL_MACHINE\\Software\\Missing", (dir() / "new.sav").string(), recording()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(scripted_->boxLines(),
            std::vector<std::string>{"Cannot Save Key: Cannot open the Selected Key for Saving"});
  EXPECT_FALSE(fs::exists(dir() / "new.sav"));
}

}  // namespace

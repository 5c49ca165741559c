// Saving hives when the file is not only ours: another program saved it
// meanwhile, a Wine server started, the file is read-only, a link, cut short
// or has leftovers of an interrupted save beside it. Each program here is a
// registry profile of its own over one copy of the corpus prefix.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/registry_profile.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/test_registry.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::readFile;
using talmoor::test::TempDir;
using talmoor::test::writeFile;

constexpr const char16_t* kRace = u"Software\\Race";

class HiveSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    prefix_ = dir_ / "prefix";
    talmoor::test::copyCorpusHives(prefix_);
  }

  std::shared_ptr<tp::RegistryProfile> open() {
    tp::ProfileOptions options;
    options.prefix = prefix_;
    options.settingsFile = dir_ / "config" / "settings.reg";
    return talmoor::test::openTestProfile(options);
  }

  static LONG setString(tp::RegistryHost& host, std::u16string_view key, std::u16string_view name,
                        std::u16string_view text) {
    HKEY handle = 0;
    if (LONG rc = host.createKey(HKEY_CURRENT_USER, key, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle, nullptr);
        rc != ERROR_SUCCESS)
      return rc;
    LONG rc = host.setValue(handle, name, REG_SZ, tp::bytesFromUtf16(text, true));
    host.closeKey(handle);
    return rc;
  }

  static std::u16string getString(tp::RegistryHost& host, std::u16string_view key, std::u16string_view name) {
    HKEY handle = 0;
    if (host.openKey(HKEY_CURRENT_USER, key, 0, KEY_READ, handle) != ERROR_SUCCESS) return u"<no key>";
    tp::ValueEntry value;
    LONG rc = host.queryValue(handle, name, value);
    host.closeKey(handle);
    if (rc != ERROR_SUCCESS) return u"<no value>";
    std::u16string text = tp::utf16FromBytes(value.data);
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
  }

  static std::shared_ptr<tp::Hive> userHive(const std::shared_ptr<tp::RegistryProfile>& profile) {
    for (const auto& hive : profile->host->local().hives())
      if (hive->file().filename() == "user.reg") return hive;
    return nullptr;
  }

  TempDir dir_;
  fs::path prefix_;
};

TEST_F(HiveSaveTest, TwoProgramsSavingOneHiveKeepEachOthersChanges) {
  auto first = open();
  auto second = open();
  ASSERT_EQ(setString(*first->host, kRace, u"first", u"1"), ERROR_SUCCESS);
  ASSERT_EQ(setString(*second->host, kRace, u"second", u"2"), ERROR_SUCCESS);
  ASSERT_EQ(setString(*second->host, u"Software\\Race\\Made", u"made", u"by second"), ERROR_SUCCESS);
  // The second also deletes a value of the corpus; the first never saw that.
  HKEY audio = 0;
  ASSERT_EQ(second->host->openKey(HKEY_CURRENT_USER, u"Control Panel\\Accessibility\\AudioDescription", 0,
                                 KEY_ALL_ACCESS, audio),
            ERROR_SUCCESS);
  ASSERT_EQ(second->host->deleteValue(audio, u"Locale"), ERROR_SUCCESS);
  second->host->closeKey(audio);

  ASSERT_EQ(first->host->flushAll(), ERROR_SUCCESS);
  ASSERT_EQ(second->host->flushAll(), ERROR_SUCCESS) << tp::takeErrorDetail();
  {
    auto reader = open();
    EXPECT_EQ(getString(*reader->host, kRace, u"first"), u"1");
    EXPECT_EQ(getString(*reader->host, kRace, u"second"), u"2");
    EXPECT_EQ(getString(*reader->host, u"Software\\Race\\Made", u"made"), u"by second");
    EXPECT_EQ(getString(*reader->host, u"Control Panel\\Accessibility\\AudioDescription", u"Locale"), u"<no value>");
  }

  // The second's tree lacks the first's value, but its next save must not
  // drop it, and its changes after the merge are saved too.
  ASSERT_EQ(setString(*second->host, kRace, u"later", u"3"), ERROR_SUCCESS);
  ASSERT_EQ(second->host->flushAll(), ERROR_SUCCESS);
  // The first deletes what it made; the second, saving again, keeps it deleted.
  HKEY race = 0;
  ASSERT_EQ(first->host->openKey(HKEY_CURRENT_USER, kRace, 0, KEY_ALL_ACCESS, race), ERROR_SUCCESS);
  ASSERT_EQ(first->host->deleteValue(race, u"first"), ERROR_SUCCESS);
  first->host->closeKey(race);
  ASSERT_EQ(first->host->flushAll(), ERROR_SUCCESS);
  ASSERT_EQ(setString(*second->host, kRace, u"last", u"4"), ERROR_SUCCESS);
  ASSERT_EQ(second->host->flushAll(), ERROR_SUCCESS);

  auto reader = open();
  EXPECT_EQ(getString(*reader->host, kRace, u"first"), u"<no value>");
  EXPECT_EQ(getString(*reader->host, kRace, u"second"), u"2");
  EXPECT_EQ(getString(*reader->host, kRace, u"later"), u"3");
  EXPECT_EQ(getString(*reader->host, kRace, u"last"), u"4");
}

TEST_F(HiveSaveTest, ReloadTakesTheFileInPlaceAndKeepsUnsavedChanges) {
  auto watcher = open();
  auto hive = userHive(watcher);
  ASSERT_TRUE(hive);
  HKEY held = 0;
  ASSERT_EQ(setString(*watcher->host, kRace, u"mine", u"unsaved"), ERROR_SUCCESS);
  ASSERT_EQ(watcher->host->openKey(HKEY_CURRENT_USER, kRace, 0, KEY_READ, held), ERROR_SUCCESS);
  EXPECT_FALSE(hive->changedOnDisk());
  {
    auto other = open();
    ASSERT_EQ(setString(*other->host, kRace, u"theirs", u"saved"), ERROR_SUCCESS);
    ASSERT_EQ(setString(*other->host, u"Software\\Elsewhere", u"x", u"y"), ERROR_SUCCESS);
  }  // saved as it ends
  EXPECT_TRUE(hive->changedOnDisk());

  ASSERT_EQ(watcher->host->local().reloadHive(hive), ERROR_SUCCESS) << tp::takeErrorDetail();
  EXPECT_FALSE(hive->changedOnDisk());
  // The handle opened before the reload sees the key as it is now.
  tp::ValueEntry value;
  EXPECT_EQ(watcher->host->queryValue(held, u"theirs", value), ERROR_SUCCESS);
  EXPECT_EQ(watcher->host->queryValue(held, u"mine", value), ERROR_SUCCESS);
  EXPECT_EQ(getString(*watcher->host, u"Software\\Elsewhere", u"x"), u"y");
  watcher->host->closeKey(held);
  ASSERT_EQ(watcher->host->flushAll(), ERROR_SUCCESS);

  auto reader = open();
  EXPECT_EQ(getString(*reader->host, kRace, u"mine"), u"unsaved");
  EXPECT_EQ(getString(*reader->host, kRace, u"theirs"), u"saved");
}

TEST_F(HiveSaveTest, AFileThatCanNoLongerBeReadIsLeftAsItIs) {
  auto profile = open();
  ASSERT_EQ(setString(*profile->host, kRace, u"v", u"1"), ERROR_SUCCESS);
  writeFile(prefix_ / "user.reg", "not a hive any more\n");
  EXPECT_NE(profile->host->flushAll(), ERROR_SUCCESS);
  EXPECT_NE(tp::takeErrorDetail().find("changed by another program"), std::string::npos);
  EXPECT_EQ(readFile(prefix_ / "user.reg"), "not a hive any more\n");
}

TEST_F(HiveSaveTest, AServerThatStartsBeforeTheSaveKeepsTheFileAndTheChangesGoBeside) {
  auto profile = open();
  auto hive = userHive(profile);
  ASSERT_TRUE(hive);
  const std::string before = readFile(prefix_ / "user.reg");
  hive->setCommitCheck([] { return std::string("a Wine server started"); });
  ASSERT_EQ(setString(*profile->host, kRace, u"kept", u"beside"), ERROR_SUCCESS);
  EXPECT_EQ(profile->host->flushAll(), ERROR_SHARING_VIOLATION);
  std::string detail = tp::takeErrorDetail();
  EXPECT_EQ(readFile(prefix_ / "user.reg"), before);
  EXPECT_TRUE(hive->readOnly());

  fs::path side;
  for (const auto& entry : fs::directory_iterator(prefix_))
    if (entry.path().filename().string().rfind("user.reg.talmoor-unsaved-", 0) == 0) side = entry.path();
  ASSERT_FALSE(side.empty());
  EXPECT_NE(detail.find(side.string()), std::string::npos) << detail;
  EXPECT_NE(readFile(side).find("\"kept\"=\"beside\""), std::string::npos);
}

TEST_F(HiveSaveTest, ReadOnlyLinkedAndCutFilesAreHandledAsTheyAre) {
  // A read-only hive opens read-only, with a warning, and stays as it is.
  fs::permissions(prefix_ / "userdef.reg", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  // A linked one is written through the link.
  fs::create_directories(dir_ / "elsewhere");
  fs::rename(prefix_ / "user.reg", dir_ / "elsewhere" / "user.reg");
  fs::create_symlink("../elsewhere/user.reg", prefix_ / "user.reg");
  // A cut one (the last line lost its end) opens read-only.
  std::string system = readFile(prefix_ / "system.reg");
  system.pop_back();
  writeFile(prefix_ / "system.reg", system);

  const std::string userDefault = readFile(prefix_ / "userdef.reg");
  {
    auto profile = open();
    std::string warnings;
    for (const auto& warning : profile->warnings) warnings += warning + "\n";
    EXPECT_NE(warnings.find("userdef.reg is read-only"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("system.reg ends in the middle of a line"), std::string::npos) << warnings;

    HKEY key = 0;
    ASSERT_EQ(profile->host->openKey(HKEY_USERS, u".Default\\Software", 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    EXPECT_EQ(profile->host->setValue(key, u"x", REG_DWORD, {1, 0, 0, 0}), ERROR_ACCESS_DENIED);
    profile->host->closeKey(key);
    ASSERT_EQ(profile->host->openKey(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    EXPECT_EQ(profile->host->setValue(key, u"x", REG_DWORD, {1, 0, 0, 0}), ERROR_ACCESS_DENIED);
    profile->host->closeKey(key);
    ASSERT_EQ(setString(*profile->host, kRace, u"through", u"the link"), ERROR_SUCCESS);
  }
  EXPECT_EQ(readFile(prefix_ / "userdef.reg"), userDefault);
  EXPECT_EQ(readFile(prefix_ / "system.reg"), system);
  EXPECT_TRUE(fs::is_symlink(prefix_ / "user.reg"));
  EXPECT_NE(readFile(dir_ / "elsewhere" / "user.reg").find("\"through\"=\"the link\""), std::string::npos);
}

TEST_F(HiveSaveTest, LeftoversOfInterruptedSavesGoAtTheNextSaveAndNothingElse) {
  const fs::path stale = prefix_ / ".user.reg.talmoor-Ab12Cd";
  const fs::path staleFolder = prefix_ / ".user.reg.talmoor-Ef34Gh";
  const fs::path unrelated = prefix_ / ".user.reg.talmoor-notours";
  writeFile(stale, "half a hive");
  fs::create_directory(staleFolder);
  writeFile(unrelated, "keep");
  auto past = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  fs::last_write_time(stale, past);
  fs::last_write_time(staleFolder, past);
  fs::last_write_time(unrelated, past);
  {
    auto profile = open();
    ASSERT_EQ(setString(*profile->host, kRace, u"v", u"1"), ERROR_SUCCESS);
  }
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(staleFolder));
  EXPECT_TRUE(fs::exists(unrelated));
  // No lock file stays behind either.
  for (const auto& entry : fs::directory_iterator(prefix_))
    EXPECT_EQ(entry.path().filename().string().find(".lock"), std::string::npos) << entry.path();
}

TEST(AtomicFileTest, NamesUpToTheLimitCanBeSaved) {
  TempDir dir;
  const fs::path longest = dir / std::string(255, 'n');
  ASSERT_EQ(tp::replaceFileAtomically(longest, "first"), ERROR_SUCCESS) << tp::takeErrorDetail();
  ASSERT_EQ(tp::replaceFileAtomically(longest, "second"), ERROR_SUCCESS) << tp::takeErrorDetail();
  EXPECT_EQ(readFile(longest), "second");
  // And through a staging folder, as hive files are saved.
  ASSERT_EQ(tp::replaceFileThrough(longest,
                                   [](const fs::path& staged) {
                                     writeFile(staged, "third");
                                     return ERROR_SUCCESS;
                                   }),
            ERROR_SUCCESS)
      << tp::takeErrorDetail();
  EXPECT_EQ(readFile(longest), "third");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace

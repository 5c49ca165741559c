// talmoor-cli load, unload and save on copies of corpus hives, with hivex
// reading what Talmoor saved.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/corpus.h"
#include "support/process.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

constexpr const char* kDone = "The operation completed successfully.\n";

class HiveCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    if (corpusHive("NTUSER.DAT").empty()) GTEST_SKIP() << "no corpus hive";
    prefix_ = dir_ / "prefix";
    copyCorpusHives(prefix_);
    user_ = dir_ / "NTUSER.DAT";
    fs::copy_file(corpusHive("NTUSER.DAT"), user_);
    fs::permissions(user_, fs::perms::owner_write, fs::perm_options::add);
  }

  // talmoor-cli on the prefix, with the user hive mounted at HKU\Mounted.
  ProcessResult cli(std::vector<std::string> args) {
    args.insert(args.begin(),
                {TALMOOR_CLI_PATH, "--prefix", prefix_.string(), "--hive", user_.string() + "=HKU\\Mounted"});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  TempDir dir_;
  fs::path prefix_;
  fs::path user_;
};

TEST_F(HiveCliTest, SaveAChangedHiveLoadItAndReadItBack) {
  ASSERT_EQ(cli({"add", "HKU\\Mounted\\Software\\Talmoor Test", "-v", "Changed", "-d", "saved", "-f"}).exitCode, 0);
  const fs::path saved = dir_ / "saved.sav";
  auto save = cli({"save", "HKU\\Mounted", saved.string()});
  ASSERT_EQ(save.exitCode, 0) << save.err;
  EXPECT_EQ(save.out, kDone);

  auto query = cli({"--hive", saved.string() + "=HKU\\Reloaded", "query", "HKU\\Reloaded\\Software\\Talmoor Test"});
  ASSERT_EQ(query.exitCode, 0) << query.err;
  EXPECT_NE(query.out.find("Changed    REG_SZ    saved"), std::string::npos) << query.out;
  if (programOnPath("hivexregedit")) {
    auto exported = runProcess({"hivexregedit", "--export", saved.string(), "\\Software\\Talmoor Test"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.out.find("\"Changed\""), std::string::npos) << exported.out;
  }

  auto load = cli({"load", "HKU\\Loaded", saved.string()});
  EXPECT_EQ(load.exitCode, 0) << load.err;
  EXPECT_EQ(load.out, kDone);
  auto unload = cli({"unload", "HKU\\Mounted"});
  EXPECT_EQ(unload.exitCode, 0) << unload.err;
  EXPECT_EQ(unload.out, kDone);
}

TEST_F(HiveCliTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
  const fs::path target = dir_ / "target.sav";
  writeFile(target, "old contents");
  // Nobody at a terminal answers the question: No.
  auto refused = cli({"save", "HKU\\Mounted", target.string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("not replaced"), std::string::npos) << refused.err;
  EXPECT_EQ(readFile(target), "old contents");
  auto forced = cli({"save", "HKU\\Mounted", target.string(), "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(readFile(target).substr(0, 4), "regf");
}

TEST_F(HiveCliTest, FailuresAreReportedInTheVerbsWords) {
  auto missing = cli({"unload", "HKU\\Nothing Here"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Un-Loading Hive from Mount Point."), std::string::npos) << missing.err;
  auto deep = cli({"load", "HKLM\\Software\\Deep", user_.string()});
  EXPECT_EQ(deep.exitCode, 1);
  EXPECT_NE(deep.err.find("Loading Hive"), std::string::npos) << deep.err;

  const fs::path notes = dir_ / "notes.txt";
  writeFile(notes, "just some words");
  auto notHive = cli({"load", "HKU\\Notes", notes.string()});
  EXPECT_EQ(notHive.exitCode, 1);
  EXPECT_NE(notHive.err.find("has not been recognised as a Registry Hive?"), std::string::npos) << notHive.err;
  auto absent = cli({"load", "HKU\\Absent", (dir_ / "absent.sav").string()});
  EXPECT_EQ(absent.exitCode, 1);
  EXPECT_NE(absent.err.find("cannot find the file"), std::string::npos) << absent.err;
}

}  // namespace

namespace {

TEST_F(HiveCliTest, RecoverWritesTheHiveWithItsLogsAppliedAndLeavesTheFilesAlone) {
  const fs::path usrClass = corpusHive("UsrClass.dat");
  if (usrClass.empty() || !fs::exists(usrClass.string() + ".LOG1")) GTEST_SKIP() << "no corpus hive with logs";
  const fs::path out = dir_ / "recovered.dat";
  auto recover = cli({"recover", usrClass.string(), out.string()});
  ASSERT_EQ(recover.exitCode, 0) << recover.err;
  EXPECT_NE(recover.out.find("158 pages from 14 log entries (UsrClass.dat.LOG1, UsrClass.dat.LOG2)"),
            std::string::npos)
      << recover.out;
  // The new file is a clean hive: mounted, nothing about logs is said.
  auto mounted = cli({"--hive", out.string() + "=HKU\\Recovered", "query", "HKU\\Recovered\\.3gp"});
  EXPECT_EQ(mounted.exitCode, 0) << mounted.err;
  EXPECT_EQ(mounted.err.find("not closed cleanly"), std::string::npos) << mounted.err;
  // An existing file is replaced only when the user says so.
  auto again = cli({"recover", usrClass.string(), out.string()});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("not replaced"), std::string::npos) << again.err;
}

}  // namespace

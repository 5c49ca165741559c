// talmoor-cli load, unload and save on copies of corpus hives, with hivex
// reading what Talmoor saved.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "support/corpus.h"
#include "support/process.h"
#include "support/regf_support.h"
#include "support/wine.h"

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

// A `query -s` listing in reg's layout, as key -> value lines; keys without
// values are left out, and a REG_QWORD's data too where the lister shows
// none (Wine's reg prints "(null)" for every REG_QWORD).
std::map<std::string, std::vector<std::string>> valueLines(const std::string& listing, const std::string& under) {
  std::map<std::string, std::vector<std::string>> keys;
  std::istringstream lines(listing);
  std::string line, key;
  while (std::getline(lines, line)) {
    if (line.rfind(under, 0) == 0) key = line.substr(under.size());
    else if (line.rfind("    ", 0) == 0) {
      const auto qword = line.find("    REG_QWORD    ");
      keys[key].push_back(qword == std::string::npos ? line : line.substr(0, qword));
    }
  }
  return keys;
}

TEST_F(HiveCliTest, KeysCopiedFromAWindowsHiveIntoTheWinePrefixReadBackValueForValue) {
  const std::string source = "HKEY_USERS\\Mounted\\Control Panel";
  const std::string target = "HKEY_CURRENT_USER\\Software\\Carried Over";
  auto copy = cli({"copy", source, target, "--recursive", "--force"});
  ASSERT_EQ(copy.exitCode, 0) << copy.err;
  EXPECT_EQ(copy.out, kDone);
  const auto from = valueLines(cli({"query", source, "-s"}).out, source);
  const auto to = valueLines(cli({"query", target, "-s"}).out, target);
  EXPECT_GT(from.size(), 20u);
  EXPECT_EQ(to, from);

  // Into its own branch it is refused; a move takes the branch away.
  auto inside = cli({"copy", target, target + "\\Inner", "--recursive", "--force"});
  EXPECT_EQ(inside.exitCode, 1);
  EXPECT_FALSE(cli({"query", target + "\\Inner"}).exitCode == 0);
  auto move = cli({"move", target + "\\Desktop", "HKEY_CURRENT_USER\\Software\\Moved Desktop", "--force"});
  ASSERT_EQ(move.exitCode, 0) << move.err;
  EXPECT_NE(cli({"query", target + "\\Desktop"}).exitCode, 0);

  if (!wineLoader()) return;
  // Wine's own reg reads what was written.
  fs::path winePrefix = makeWinePrefix(dir_ / "wine");
  for (const char* hive : {"system.reg", "user.reg", "userdef.reg"})
    fs::copy_file(prefix_ / hive, winePrefix / hive, fs::copy_options::overwrite_existing);
  auto reg = runWine(winePrefix, {"reg", "query", target, "/s"});
  auto expected = from;
  expected.erase("\\Desktop");
  for (auto it = expected.begin(); it != expected.end();)
    it = it->first.rfind("\\Desktop\\", 0) == 0 ? expected.erase(it) : std::next(it);
  const auto seen = valueLines(reg.out, target);
  for (auto& [key, lines] : expected) {
    auto found = seen.find(key);
    ASSERT_NE(found, seen.end()) << key << "\n" << reg.out;
    EXPECT_EQ(found->second.size(), lines.size()) << key;
  }
  // Wine keeps a key's values in name order.
  auto strip = [](std::map<std::string, std::vector<std::string>> keys) {
    for (auto& [key, lines] : keys) {
      for (auto& line : lines)
        if (auto cut = line.find("    REG_QWORD"); cut != std::string::npos) line = line.substr(0, cut);
      std::sort(lines.begin(), lines.end());
    }
    return keys;
  };
  EXPECT_EQ(strip(seen), strip(expected));
}

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

// talmoor-cli against registries and requests made to break it: deletions
// that would empty a hive, key names holding a NUL or longer than any buffer,
// trees deeper than Windows allows. Nothing may be lost, nothing may crash or
// run without end.

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "support/process.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

constexpr int kTimeoutSeconds = 60;

class HostileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    prefix_ = dir_ / "prefix";
    copyCorpusHives(prefix_);
  }

  ProcessResult cli(std::vector<std::string> args, const std::vector<std::string>& before = {}) {
    args.insert(args.begin(), before.begin(), before.end());
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", prefix_.string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}}, kTimeoutSeconds);
  }

  // Appends key lines (in the Wine text format) to the prefix's system.reg.
  void appendToSystem(const std::string& lines) {
    writeFile(prefix_ / "system.reg", readFile(prefix_ / "system.reg") + lines);
  }

  TempDir dir_;
  fs::path prefix_;
};

TEST_F(HostileRegistryTest, DeletingTheRootOfAHiveIsRefusedBeforeAnythingIsDeleted) {
  const std::string user = readFile(prefix_ / "user.reg");
  const std::string userDefault = readFile(prefix_ / "userdef.reg");
  for (const char* root : {"HKU\\S-1-5-21-0-0-0-1000", "HKU\\.Default", "HKCU"}) {
    auto result = cli({"delete", root, "--force"});
    EXPECT_EQ(result.exitCode, 1) << root;
    EXPECT_NE(result.err.find("cannot be deleted"), std::string::npos) << result.err;
  }
  // A key holding a mounted hive (the settings hive below HKLM\SOFTWARE).
  auto holder = cli({"delete", "HKLM\\Software\\Brenhollow", "--force"});
  EXPECT_EQ(holder.exitCode, 1);
  EXPECT_EQ(cli({"query", "HKLM\\Software\\Wine"}).exitCode, 0) << "a key beside it was deleted";

  // A search whose rows include a hive's root, deleting them.
  auto search = cli({"--yes", "search", "--start", "HKU", "--find", "S-1-5-21-0-0-0-1000", "--keys", "--then",
                     "delete"});
  EXPECT_NE(search.out.find("S-1-5-21-0-0-0-1000"), std::string::npos) << search.out;
  EXPECT_EQ(readFile(prefix_ / "user.reg"), user);
  EXPECT_EQ(readFile(prefix_ / "userdef.reg"), userDefault);

  // The same for a hive mounted with --hive.
  if (corpusHive("SAM").empty()) return;
  const fs::path sam = dir_ / "SAM";
  fs::copy_file(corpusHive("SAM"), sam);
  fs::permissions(sam, fs::perms::owner_write, fs::perm_options::add);
  const std::string samBytes = readFile(sam);
  auto mounted = cli({"delete", "HKLM\\SamCopy", "--force"}, {"--hive", sam.string() + "=HKLM\\SamCopy"});
  EXPECT_EQ(mounted.exitCode, 1) << mounted.out;
  EXPECT_EQ(readFile(sam), samBytes);
  EXPECT_EQ(cli({"query", "HKLM\\SamCopy\\SAM\\Domains"}, {"--hive", sam.string() + "=HKLM\\SamCopy"}).exitCode, 0);
}

TEST_F(HostileRegistryTest, KeyNamesHoldingANulAreWalkedAsTheKeysTheyAre) {
  // One key whose name has a NUL inside, one whose name starts with it: cut
  // at the NUL, the first names another key and the second the key itself.
  appendToSystem(
      "\n[Software\\\\Hostile\\\\Nul\\0Inside] 1700000000\n\"Marker\"=\"inside-nul\"\n"
      "\n[Software\\\\Hostile\\\\\\0Leading] 1700000000\n\"Marker\"=\"leading-nul\"\n"
      "\n[Software\\\\Hostile\\\\\\0Leading\\\\Below] 1700000000\n\"Marker\"=\"below-nul\"\n");

  auto query = cli({"query", "HKLM\\Software\\Hostile", "--recursive"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  for (const char* marker : {"inside-nul", "leading-nul", "below-nul"})
    EXPECT_NE(query.out.find(marker), std::string::npos) << marker << "\n" << query.out;

  auto search = cli({"search", "--start", "HKLM\\Software\\Hostile", "--find", "-nul"});
  EXPECT_EQ(search.exitCode, 0) << search.err;
  for (const char* marker : {"inside-nul", "leading-nul", "below-nul"})
    EXPECT_NE(search.out.find(marker), std::string::npos) << marker << "\n" << search.out;

  // Deleting the tree deletes every key of it, the NUL-named ones included.
  auto removed = cli({"delete", "HKLM\\Software\\Hostile", "--force"});
  EXPECT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_EQ(cli({"query", "HKLM\\Software\\Hostile"}).exitCode, 1);
}

TEST_F(HostileRegistryTest, OverlongKeyNamesGiveErrorsNotCrashes) {
  const std::string longName(300, 'L');
  const std::string longKey = "HKLM\\Software\\" + longName;
  for (auto args : std::vector<std::vector<std::string>>{{"query", longKey},
                                                         {"delete", longKey, "--force"},
                                                         {"query", longKey + "\\Below\\" + longName},
                                                         {"add", longKey, "-f"}}) {
    auto result = cli(args);
    EXPECT_EQ(result.exitCode, 1) << args.front() << ": " << result.err;
  }
  auto search = cli({"search", "--start", longKey, "--find", "x"});
  EXPECT_TRUE(search.exitCode == 0 || search.exitCode == 1) << search.err;

  // A prefix that holds such a key (Wine writes what it is given) is walked.
  appendToSystem("\n[Software\\\\" + longName + "] 1700000000\n\"Marker\"=\"long-name\"\n");
  auto found = cli({"search", "--find", "long-name"});
  EXPECT_EQ(found.exitCode, 0) << found.err;
  EXPECT_NE(found.out.find("long-name"), std::string::npos);
}

TEST_F(HostileRegistryTest, AMultiStringWithAnEmptyStringInsideIsRefused) {
  // Stored, the empty string would end the list and hide what follows it.
  for (const char* data : {"a\\0\\0b", "\\0b"}) {
    auto result = cli({"add", "HKCU\\Software\\Multi", "-v", "m", "-t", "REG_MULTI_SZ", "-d", data, "-f"});
    EXPECT_EQ(result.exitCode, 1) << data;
    EXPECT_NE(result.err.find("empty string"), std::string::npos) << result.err;
  }
  ASSERT_EQ(cli({"add", "HKCU\\Software\\Multi", "-v", "m", "-t", "REG_MULTI_SZ", "-d", "a\\0b", "-f"}).exitCode, 0);
  EXPECT_NE(cli({"query", "HKCU\\Software\\Multi"}).out.find("REG_MULTI_SZ    a\\0b"), std::string::npos);
}

TEST_F(HostileRegistryTest, NoKeyIsWrittenDeeperThanAReaderTakes) {
  std::string deepest = "HKCU";
  for (int level = 0; level < 512; ++level) deepest += "\\d";
  const std::string user = readFile(prefix_ / "user.reg");
  auto tooDeep = cli({"add", deepest + "\\d", "-v", "x", "-d", "y", "-f"});
  EXPECT_EQ(tooDeep.exitCode, 1);
  EXPECT_EQ(readFile(prefix_ / "user.reg"), user) << "a refused path left keys behind";

  auto deepEnough = cli({"add", deepest, "-v", "x", "-d", "y", "-f"});
  ASSERT_EQ(deepEnough.exitCode, 0) << deepEnough.err;
  auto readBack = cli({"query", deepest, "-v", "x"});
  EXPECT_EQ(readBack.exitCode, 0) << readBack.err;
  EXPECT_NE(readBack.out.find("REG_SZ    y"), std::string::npos);
}

}  // namespace

namespace {

// Runs the commands at once, each in a process of its own.
std::vector<ProcessResult> runTogether(const std::vector<std::vector<std::string>>& commands,
                                       const std::map<std::string, std::string>& env) {
  std::vector<std::future<ProcessResult>> running;
  for (const auto& command : commands)
    running.push_back(std::async(std::launch::async, [&command, &env] { return runProcess(command, env); }));
  std::vector<ProcessResult> results;
  for (auto& result : running) results.push_back(result.get());
  return results;
}

TEST_F(HostileRegistryTest, WritersRunningAtOnceLoseNothing) {
  const std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", (dir_ / "config").string()}};
  constexpr int kRounds = 4, kWriters = 5;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::vector<std::string>> commands;
    for (int writer = 0; writer < kWriters; ++writer)
      commands.push_back({TALMOOR_CLI_PATH, "--prefix", prefix_.string(), "add", "HKCU\\Software\\Race", "-v",
                          "w" + std::to_string(round) + "-" + std::to_string(writer), "-d", "x", "-f"});
    for (const auto& result : runTogether(commands, env)) EXPECT_EQ(result.exitCode, 0) << result.err;
  }
  auto query = cli({"query", "HKCU\\Software\\Race"});
  for (int round = 0; round < kRounds; ++round)
    for (int writer = 0; writer < kWriters; ++writer) {
      std::string name = "w" + std::to_string(round) + "-" + std::to_string(writer);
      EXPECT_NE(query.out.find("    " + name + "    REG_SZ    x"), std::string::npos) << name;
    }

  // Two writers of one Windows hive file mounted with --hive.
  if (corpusHive("SAM").empty()) return;
  const fs::path sam = dir_ / "SAM";
  fs::copy_file(corpusHive("SAM"), sam);
  fs::permissions(sam, fs::perms::owner_write, fs::perm_options::add);
  std::vector<std::vector<std::string>> commands;
  for (int writer = 0; writer < kWriters; ++writer)
    commands.push_back({TALMOOR_CLI_PATH, "--prefix", prefix_.string(), "--hive", sam.string() + "=HKLM\\Sam",
                        "add", "HKLM\\Sam\\Race", "-v", "s" + std::to_string(writer), "-d", "x", "-f"});
  for (const auto& result : runTogether(commands, env)) EXPECT_EQ(result.exitCode, 0) << result.err;
  auto mounted = cli({"query", "HKLM\\Sam\\Race"}, {"--hive", sam.string() + "=HKLM\\Sam"});
  for (int writer = 0; writer < kWriters; ++writer)
    EXPECT_NE(mounted.out.find("    s" + std::to_string(writer) + "    REG_SZ    x"), std::string::npos) << writer;
}

}  // namespace

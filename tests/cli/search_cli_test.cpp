// talmoor-cli search on copies of a real prefix: a Modify run and its
// reversal, judged by Talmoor's own reading and by Wine's reg.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "support/corpus.h"
#include "support/process.h"
#include "support/tsv.h"
#include "support/wine.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

class SearchCliTest : public ::testing::Test {
 protected:
  void SetUp() override { TALMOOR_REQUIRE_CORPUS(); }

  ProcessResult cli(const fs::path& prefix, std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", prefix.string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  // Every key with its values, as a set of lines: values renamed by a
  // Modify run come back at the end of their key, so order is not compared.
  std::set<std::string> snapshot(const fs::path& prefix, const std::string& key) {
    auto result = cli(prefix, {"query", key, "-s"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::set<std::string> lines;
    std::istringstream in(result.out);
    std::string line, current;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      if (line.rfind("    ", 0) == 0) lines.insert(current + "|" + line);
      else lines.insert(current = line);
    }
    return lines;
  }

  TempDir dir_;
};

constexpr const char* kChargeValueKey = "HKLM\\Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}";
constexpr const char* kEncodingKey = "HKLM\\Software\\Classes\\MIME\\Database\\Charset\\_autodetect";

TEST_F(SearchCliTest, ModifyReplacesInNamesAndDataAndTheReverseRunRestoresEverything) {
  const bool withWine = wineLoader().has_value();
  fs::path prefix = dir_ / "prefix";
  copyCorpusHives(prefix);
  // (Software\Wow6432Node holds a link to a key Wine never made, which a
  // recursive query cannot pass.)
  const std::vector<std::string> trees = {"HKLM\\Software\\Classes", "HKLM\\Software\\Microsoft", "HKLM\\System",
                                          "HKCU"};
  std::vector<std::set<std::string>> before;
  for (const auto& tree : trees) before.push_back(snapshot(prefix, tree));

  auto run = cli(prefix, {"search", "--mode", "modify", "--find", "Internet", "--replace", "Qvzx9Lt", "--no-confirm"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("done"), std::string::npos);

  // Data and value names changed, seen by Talmoor...
  auto query = cli(prefix, {"query", kChargeValueKey, "--default"});
  EXPECT_NE(query.out.find("Qvzx9Lt Explorer(Ver 1.0)"), std::string::npos) << query.out;
  query = cli(prefix, {"query", kEncodingKey});
  EXPECT_NE(query.out.find("Qvzx9LtEncoding    REG_DWORD"), std::string::npos) << query.out;
  EXPECT_EQ(query.out.find("InternetEncoding"), std::string::npos) << query.out;
  // ...and by Wine, in a prefix of its own (Wine rewrites a prefix it ran in).
  if (withWine) {
    fs::path winePrefix = makeWinePrefix(dir_ / "wine");
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"})
      fs::copy_file(prefix / hive, winePrefix / hive, fs::copy_options::overwrite_existing);
    auto reg = runWine(winePrefix, {"reg", "query", kEncodingKey});
    EXPECT_NE(reg.out.find("Qvzx9LtEncoding"), std::string::npos) << reg.out << reg.err;
    reg = runWine(winePrefix, {"reg", "query", kChargeValueKey, "/ve"});
    EXPECT_NE(reg.out.find("Qvzx9Lt Explorer(Ver 1.0)"), std::string::npos) << reg.out << reg.err;
  }

  // The reverse run, confirmed by answering yes to every change.
  run = cli(prefix, {"--yes", "search", "--mode", "modify", "--find", "Qvzx9Lt", "--replace", "Internet"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (std::size_t i = 0; i < trees.size(); ++i) EXPECT_EQ(snapshot(prefix, trees[i]), before[i]) << trees[i];
}

TEST_F(SearchCliTest, FindPrintsRowsAndRowModesWorkOnThem) {
  fs::path prefix = dir_ / "prefix";
  copyCorpusHives(prefix);
  auto run = cli(prefix, {"search", "--find", "InternetEncoding", "--start", "HKLM\\Software\\Classes\\MIME"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int count = 0;
  for (const TsvRecord& row : readTsv(run.out)) {
    ++count;
    EXPECT_EQ(row.at("Key").rfind("HKEY_LOCAL_MACHINE\\Software\\Classes\\MIME\\Database\\Charset\\", 0), 0u)
        << row.at("Key");
    EXPECT_EQ(row.at("Value"), "InternetEncoding");
    EXPECT_EQ(row.at("Type"), "REG_DWORD");
    EXPECT_EQ(row.at("Data").rfind("0x", 0), 0u) << row.at("Data");
  }
  EXPECT_GT(count, 10);

  // Reduce to two charsets, then delete their values from the registry.
  run = cli(prefix, {"--yes", "search", "--find", "InternetEncoding", "--start", "HKLM\\Software\\Classes\\MIME",
                     "--then", "reduce:_autodetect", "--then", "delete"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // A deleted value keeps its type; its data is gone with it.
  EXPECT_EQ(run.out,
            "Status\tKey\tValue\tType\tData\n"
            "done\tHKEY_LOCAL_MACHINE\\\\Software\\\\Classes\\\\MIME\\\\Database\\\\Charset\\\\_autodetect\t"
            "InternetEncoding\tREG_DWORD\t\n"
            "done\tHKEY_LOCAL_MACHINE\\\\Software\\\\Classes\\\\MIME\\\\Database\\\\Charset\\\\_autodetect_kr\t"
            "InternetEncoding\tREG_DWORD\t\n");
  EXPECT_NE(run.err.find("talmoor-cli: 2 of 2 changes written\n"), std::string::npos) << run.err;
  auto query = cli(prefix, {"query", kEncodingKey});
  EXPECT_EQ(query.out.find("InternetEncoding"), std::string::npos) << query.out;

  // A row mode needs rows; a bad mode is refused.
  EXPECT_EQ(cli(prefix, {"search", "--mode", "reduce", "--find", "x"}).exitCode, 1);
  EXPECT_EQ(cli(prefix, {"search", "--mode", "frobnicate"}).exitCode, 1);
  // A Modify answered No writes nothing, shows the rows as the registry
  // still has them, says so, and fails: the work was not done.
  run = cli(prefix, {"--no", "search", "--mode", "modify", "--find", "_autodetect", "--replace", "x",
                     "--start", "HKLM\\Software\\Classes\\MIME\\Database\\Codepage"});
  EXPECT_EQ(run.exitCode, 1);
  std::size_t rejected = 0;
  for (const TsvRecord& row : readTsv(run.out)) {
    EXPECT_EQ(row.at("Status"), "rejected");
    EXPECT_EQ(row.at("Data").rfind("_autodetect", 0), 0u) << row.at("Data");
    ++rejected;
  }
  EXPECT_EQ(rejected, 4u) << run.out;
  EXPECT_NE(run.err.find("talmoor-cli: 0 of 4 changes written (4 rejected)\n"), std::string::npos) << run.err;
}

}  // namespace

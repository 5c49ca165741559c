// talmoor-cli query --names on a copy of the corpus Wine prefix: the
// subkeys with what the naming rules make of them, in each record format.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/corpus.h"
#include "support/process.h"

namespace {

using namespace talmoor::test;

class NamesCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    copyCorpusHives(dir_ / "prefix");
  }
  ProcessResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", (dir_ / "prefix").string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }
  TempDir dir_;
};

TEST_F(NamesCliTest, SubkeysAreListedWithTheirNamesImagesAndOverlays) {
  auto tsv = cli({"query", "HKU", "--names", "--format", "tsv"});
  ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
  EXPECT_TRUE(tsv.out.starts_with("Key\tDisplayName\tImage\tOverlay\tOverlayText\n")) << tsv.out;
  EXPECT_NE(tsv.out.find("HKEY_USERS\\\\S-1-5-21-0-0-0-1000\troot (VM)\t-1\t5\tPlus Symbol\n"), std::string::npos)
      << tsv.out;

  auto json = cli({"query", "HKLM\\Software\\Classes\\CLSID", "--names", "--format", "json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  std::istringstream lines(json.out);
  std::string line;
  std::size_t rows = 0, named = 0;
  while (std::getline(lines, line)) {
    auto row = nlohmann::json::parse(line);
    ++rows;
    named += !row["displayName"].get<std::string>().empty();
    if (row["key"] == "Software\\Classes\\CLSID\\{00000300-0000-0000-C000-000000000046}") {
      EXPECT_EQ(row["displayName"], "StdOleLink");
      EXPECT_EQ(row["image"], 12);  // a GUID that is no device class
    }
  }
  EXPECT_GT(rows, 500u);
  EXPECT_GT(named * 2, rows);

  auto wrong = cli({"query", "HKU", "--names", "-v", "x"});
  EXPECT_NE(wrong.exitCode, 0);
}

}  // namespace

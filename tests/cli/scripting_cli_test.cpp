// talmoor-cli as a script runs it: no terminal, output read back by a
// program, the exit status deciding what happens next. Each case is one a
// setup script or a pipeline depends on.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/corpus.h"
#include "support/process.h"
#include "support/tsv.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

constexpr int kDone = 0;
constexpr int kNotDone = 1;
constexpr int kBadUsage = 2;

class ScriptingCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    prefix_ = dir_ / "prefix";
    copyCorpusHives(prefix_);
  }

  ProcessResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", prefix_.string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  fs::path writeScript(const std::string& name, const std::string& text) {
    fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  static std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempDir dir_;
  fs::path prefix_;
};

TEST_F(ScriptingCliTest, ExitStatusIsZeroOneOrTwoAndNeverAParserNumber) {
  EXPECT_EQ(cli({"-h"}).exitCode, kDone);
  EXPECT_EQ(cli({"--help"}).exitCode, kDone);
  auto version = cli({"-v"});
  EXPECT_EQ(version.exitCode, kDone);
  EXPECT_NE(version.out, "");
  auto help = cli({"-h"});
  EXPECT_NE(help.out.find("Exit status"), std::string::npos) << help.out;

  for (std::vector<std::string> bad : {std::vector<std::string>{"--no-such-option"},
                                       {"query"},
                                       {"frobnicate"},
                                       {"query", "HKLM\\Software", "--format", "xml"},
                                       {"--yes", "--no", "query", "HKLM\\Software"},
                                       {"export", "HKLM\\Software\\Wine", "x.reg", "--force", "--append"}}) {
    auto run = cli(bad);
    EXPECT_EQ(run.exitCode, kBadUsage) << bad[0] << " " << run.err;
    EXPECT_NE(run.err, "") << bad[0];
  }
  EXPECT_EQ(cli({"query", "HKLM\\Software\\Wine"}).exitCode, kDone);
  EXPECT_EQ(cli({"query", "HKLM\\Software\\No Such Key"}).exitCode, kNotDone);
  auto range = cli({"add", "HKCU\\Software\\T", "--value", "n", "--type", "dword", "--data", "4294967296", "-f"});
  EXPECT_EQ(range.exitCode, kNotDone);
  EXPECT_NE(range.err.find("out of range for REG_DWORD"), std::string::npos) << range.err;
}

TEST_F(ScriptingCliTest, GlobalOptionsAndTypeNamesAreTakenWhereverAndHoweverGiven) {
  // After the verb as well as before it; a type in any case.
  auto added = runProcess({TALMOOR_CLI_PATH, "add", "HKCU\\Software\\Anywhere", "--value", "n", "--type", "dword",
                           "--data", "7", "--prefix", prefix_.string(), "-f"},
                          {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  ASSERT_EQ(added.exitCode, kDone) << added.err;
  auto rows = readTsv(cli({"query", "HKCU\\Software\\Anywhere", "--format", "TSV"}).out);
  ASSERT_EQ(rows.size(), 2u);  // the key's own line, then its value
  EXPECT_EQ(rows[1].at("Type"), "REG_DWORD");
  EXPECT_EQ(rows[1].at("Data"), "0x7");
}

TEST_F(ScriptingCliTest, TabSeparatedAndCommaSeparatedFieldsReadBackExactly) {
  const std::string key = "HKCU\\Software\\Awkward\tKey";
  ASSERT_EQ(cli({"add", key, "--value", "tab\there", "--data", "line one\nline\\two", "-f"}).exitCode, kDone);
  ASSERT_EQ(cli({"add", key, "--value", "list", "--type", "reg_multi_sz", "--data", "a\\0b", "-f"}).exitCode, kDone);
  ASSERT_EQ(cli({"add", key, "--default", "--data", "unnamed", "-f"}).exitCode, kDone);

  auto tsv = cli({"query", key, "--format", "tsv"});
  ASSERT_EQ(tsv.exitCode, kDone) << tsv.err;
  std::map<std::string, TsvRecord> byName;
  for (TsvRecord& row : readTsv(tsv.out)) byName[row.at("Value")] = row;
  ASSERT_TRUE(byName.count("tab\there")) << tsv.out;
  EXPECT_EQ(byName["tab\there"].at("Key"), "HKEY_CURRENT_USER\\Software\\Awkward\tKey");
  EXPECT_EQ(byName["tab\there"].at("Data"), "line one\nline\\two");
  EXPECT_EQ(byName["list"].at("Data"), "a\\0b");
  EXPECT_EQ(byName["(Default)"].at("Data"), "unnamed");

  auto csv = cli({"query", key, "--format", "csv"});
  ASSERT_EQ(csv.exitCode, kDone);
  EXPECT_EQ(csv.out.rfind("Key,Value,Type,Data\r\n", 0), 0u) << csv.out;
  EXPECT_NE(csv.out.find("\"line one\nline\\two\""), std::string::npos) << csv.out;
}

TEST_F(ScriptingCliTest, JsonLinesCarryTheWholeTreeWithTimesAndBytes) {
  auto run = cli({"query", "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion", "--recursive",
                  "--format", "json"});
  // A dangling link (its volatile target is never saved) is listed as a link
  // and does not fail the walk.
  ASSERT_EQ(run.exitCode, kDone) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  std::size_t keys = 0, links = 0;
  while (std::getline(lines, line)) {
    nlohmann::json object = nlohmann::json::parse(line);  // throws (fails the test) on bad JSON
    EXPECT_EQ(object.at("root"), "HKEY_LOCAL_MACHINE");
    if (!object.contains("value")) {
      ++keys;
      EXPECT_TRUE(object.contains("lastWrite")) << line;
      continue;
    }
    EXPECT_TRUE(object.contains("bytes")) << line;
    if (object.at("type") == "REG_LINK" &&
        object.at("key").get<std::string>().ends_with("\\NetworkCards")) {
      ++links;
      EXPECT_EQ(object.at("data"), "\\Registry\\Machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards");
    }
  }
  EXPECT_GT(keys, 3u);
  EXPECT_EQ(links, 1u) << run.out;
}

TEST_F(ScriptingCliTest, TheEditorsLineDoesNothingUnconfirmedAndSaysSo) {
  fs::path script = writeScript("tweak.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tweak]\r\n\"a\"=\"b\"\r\n");
  auto run = cli({"/S", script.string()});
  EXPECT_EQ(run.exitCode, kNotDone);
  EXPECT_NE(run.err.find("the import was not done"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("give --yes"), std::string::npos) << run.err;
  // A key the test import looks for and does not find is the check's answer,
  // not an error to print.
  EXPECT_EQ(run.err.find("cannot find"), std::string::npos) << run.err;
  EXPECT_EQ(cli({"query", "HKCU\\Software\\Tweak"}).exitCode, kNotDone);
  // The bare file form is the same import.
  EXPECT_EQ(cli({script.string()}).exitCode, kNotDone);
  run = cli({"--yes", "/S", script.string()});
  EXPECT_EQ(run.exitCode, kDone) << run.err;
  EXPECT_EQ(cli({"query", "HKCU\\Software\\Tweak"}).exitCode, kDone);

  fs::path out = dir_ / "out.reg";
  run = cli({"/E", out.string(), "HKCU\\Software\\Tweak"});
  EXPECT_EQ(run.exitCode, kNotDone);
  EXPECT_NE(run.err.find("the export was not done"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(cli({"--yes", "/E", out.string(), "HKCU\\Software\\Tweak"}).exitCode, kDone);
  EXPECT_NE(readFile(out).find("\"a\"=\"b\""), std::string::npos);

  // import refuses at once, before a single entry is asked about.
  run = cli({"import", script.string()});
  EXPECT_EQ(run.exitCode, kNotDone);
  EXPECT_NE(run.err.find("--no-confirm"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST_F(ScriptingCliTest, ALoadedHiveStaysLoadedUntilUnloadedOrGone) {
  fs::path hive = dir_ / "user.dat";
  fs::copy_file(corpusDir() / "hives" / "NTUSER.DAT", hive);
  fs::permissions(hive, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_EQ(cli({"load", "HKU\\Loaded", hive.string()}).exitCode, kDone);
  // The next run, another process, still has it.
  auto run = cli({"query", "HKU\\Loaded\\Software"});
  EXPECT_EQ(run.exitCode, kDone) << run.err;
  // Loading a second hive at the same key says so in words.
  run = cli({"load", "HKU\\Loaded", hive.string()});
  EXPECT_EQ(run.exitCode, kNotDone);
  EXPECT_EQ(run.err.find("183"), std::string::npos) << run.err;

  ASSERT_EQ(cli({"unload", "HKU\\Loaded"}).exitCode, kDone);
  EXPECT_EQ(cli({"query", "HKU\\Loaded"}).exitCode, kNotDone);

  // A file that has gone away is reported once and its record dropped.
  ASSERT_EQ(cli({"load", "HKU\\Loaded", hive.string()}).exitCode, kDone);
  fs::remove(hive);
  run = cli({"query", "HKU"});
  EXPECT_NE(run.err.find("is gone"), std::string::npos) << run.err;
  run = cli({"query", "HKU"});
  EXPECT_EQ(run.err.find("is gone"), std::string::npos) << run.err;

  // A hive mounted at a key that exists: words, not a number.
  run = cli({"--hive", (corpusDir() / "hives" / "SAM").string() + "=HKLM\\Software", "query", "HKLM"});
  EXPECT_EQ(run.exitCode, kNotDone);
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
}

TEST_F(ScriptingCliTest, TalmoorsOwnSettingsStayOutOfTheUsersRegistry) {
  // A load leaves a record in the settings hive: there is something to hide.
  fs::path hive = dir_ / "sam";
  fs::copy_file(corpusDir() / "hives" / "SAM", hive);
  fs::permissions(hive, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_EQ(cli({"load", "HKU\\Sam", hive.string()}).exitCode, kDone);

  fs::path out = dir_ / "software.reg";
  ASSERT_EQ(cli({"export", "HKLM\\Software", out.string()}).exitCode, kDone);
  const std::string exported = readFile(out);
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\Software\\Wine]"), std::string::npos);
  EXPECT_EQ(exported.find("Brenhollow"), std::string::npos);
  EXPECT_EQ(cli({"query", "HKLM\\Software"}).out.find("Brenhollow"), std::string::npos);
  auto found = cli({"search", "--find", "Loaded Hives", "--start", "HKLM"});
  EXPECT_EQ(found.out.find("Loaded Hives"), std::string::npos) << found.out;

  // Deleting everything the user has there works, and Talmoor keeps its own.
  auto run = cli({"delete", "HKLM\\Software", "--force"});
  EXPECT_EQ(run.exitCode, kDone) << run.err;
  EXPECT_EQ(cli({"query", "HKLM\\Software\\Wine"}).exitCode, kNotDone);
  EXPECT_EQ(cli({"query", "HKU\\Sam\\SAM"}).exitCode, kDone);
}

}  // namespace

namespace {

TEST_F(ScriptingCliTest, FavouritesAreKeptForBothProgramsAndTravelAsFiles) {
  ASSERT_EQ(cli({"favourites", "add", "Wine", "HKLM\\Software\\Wine"}).exitCode, kDone);
  ASSERT_EQ(cli({"favourites", "add", "Tab\tName", "HKCU"}).exitCode, kDone);
  EXPECT_EQ(cli({"favourites", "add", "Gone", "HKLM\\Software\\No Such Key"}).exitCode, kNotDone);
  auto rows = readTsv(cli({"favourites"}).out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("Name"), "Wine");
  EXPECT_EQ(rows[0].at("Key"), "HKEY_LOCAL_MACHINE\\Software\\Wine");
  EXPECT_EQ(rows[1].at("Name"), "Tab\tName");

  fs::path file = dir_ / "mine.regfav";
  ASSERT_EQ(cli({"favourites", "export", file.string()}).exitCode, kDone);
  EXPECT_NE(readFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Wine] ; Wine\r\n"), std::string::npos);
  ASSERT_EQ(cli({"favourites", "remove", "wine"}).exitCode, kDone);  // names in any case, as value names
  EXPECT_EQ(cli({"favourites", "remove", "wine"}).exitCode, kNotDone);
  EXPECT_EQ(readTsv(cli({"favourites", "list"}).out).size(), 1u);
  auto imported = cli({"favourites", "import", file.string()});
  EXPECT_EQ(imported.exitCode, kDone);
  EXPECT_NE(imported.err.find("1 favourite added"), std::string::npos) << imported.err;
  EXPECT_EQ(readTsv(cli({"favourites", "list"}).out).size(), 2u);
  EXPECT_EQ(cli({"favourites", "frobnicate"}).exitCode, kBadUsage);
}

}  // namespace

// talmoor-cli's registry scripts on copies of a real prefix: the export and
// import round trip, Wine's regedit reading what Talmoor writes, Wine's own
// export read back, and the registry editor's command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "support/corpus.h"
#include "support/process.h"
#include "support/wine.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

class ScriptCliTest : public ::testing::Test {
 protected:
  void SetUp() override { TALMOOR_REQUIRE_CORPUS(); }

  ProcessResult cli(const std::optional<fs::path>& prefix, std::vector<std::string> args) {
    if (prefix) args.insert(args.begin(), {"--prefix", prefix->string()});
    args.insert(args.begin(), TALMOOR_CLI_PATH);
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()},
                             {"XDG_DATA_HOME", (dir_ / "data").string()},
                             {"HOME", (dir_ / "home").string()},
                             {"WINEPREFIX", ""}});
  }

  fs::path corpusPrefix(const std::string& name) {
    fs::path prefix = dir_ / name;
    copyCorpusHives(prefix);
    return prefix;
  }

  // Key lines and value lines of `query -s`, as a set.
  std::set<std::string> snapshot(const std::optional<fs::path>& prefix, const std::string& key) {
    auto result = cli(prefix, {"query", key, "-s"});
    EXPECT_EQ(result.exitCode, 0) << key << ": " << result.err;
    std::set<std::string> lines;
    std::istringstream in(result.out);
    std::string line, current;
    std::string value;  // a value line with the lines its data runs on over
    auto flush = [&] {
      if (!value.empty()) lines.insert(current + "|" + value);
      value.clear();
    };
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      if (line.rfind("    ", 0) == 0) {
        flush();
        value = line;
      } else if (line.rfind("HKEY_", 0) == 0) {
        flush();
        lines.insert(current = line);
      } else {
        value += "\n" + line;
      }
    }
    flush();
    return lines;
  }

  // Values that test the script format's corners, under one key.
  void addAwkwardValues(const fs::path& prefix, const std::string& key) {
    std::string longBinary;
    for (int i = 0; i < 300; ++i) longBinary += "0123456789abcdef"[i % 16], longBinary += "fedcba9876543210"[i % 16];
    const std::vector<std::vector<std::string>> values = {
        {"Long binary", "REG_BINARY", longBinary},
        {"Ends in a backslash", "REG_SZ", "C:\\Program Files\\"},
        {"Two lines", "REG_SZ", "first line\r\nsecond \"line\""},
        {"Empty", "REG_SZ", ""},
        {"Quote\"and\\backslash", "REG_EXPAND_SZ", "%SystemRoot%\\system32"},
        {"List", "REG_MULTI_SZ", "one\\0two\\0"},
        {"Number", "REG_DWORD", "255"},
        {"Big number", "REG_QWORD", "0x1122334455667788"},
        {"Nothing", "REG_NONE", ""},
    };
    for (const auto& v : values)
      ASSERT_EQ(cli(prefix, {"add", key, "--value", v[0], "--type", v[1], "--data", v[2], "--force"}).exitCode, 0) << v[0];
  }

  TempDir dir_;
};

// The lines only one side holds, for a readable failure.
std::string difference(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::string out;
  for (const auto& line : a)
    if (!b.count(line)) out += "- " + line + "\n";
  for (const auto& line : b)
    if (!a.count(line)) out += "+ " + line + "\n";
  return out;
}

TEST_F(ScriptCliTest, ExportImportExportRoundTripsTheWholePrefix) {
  fs::path prefix = corpusPrefix("original");
  addAwkwardValues(prefix, "HKCU\\Software\\Talmoor Awkward");
  const fs::path first = dir_ / "first.reg", second = dir_ / "second.reg";
  ASSERT_EQ(cli(prefix, {"export", "HKLM", first.string(), "--fresh"}).exitCode, 0);
  ASSERT_EQ(cli(prefix, {"export", "HKU", first.string()}).exitCode, 0);  // appended, no second header

  // Into an empty store (made on first use), without confirmations.
  auto imported = cli(std::nullopt, {"--yes", "import", first.string()});
  // Only the hive list, which the running registry keeps for itself, is refused.
  EXPECT_EQ(imported.exitCode, 1);
  std::istringstream rows(imported.out);
  std::string row;
  int refused = 0;
  while (std::getline(rows, row))
    if (row.rfind("not done", 0) == 0) {
      ++refused;
      EXPECT_NE(row.find("\thivelist\t"), std::string::npos) << row;
    }
  EXPECT_EQ(refused, 3);

  ASSERT_EQ(cli(std::nullopt, {"export", "HKLM", second.string(), "--fresh"}).exitCode, 0);
  ASSERT_EQ(cli(std::nullopt, {"export", "HKU", second.string()}).exitCode, 0);
  // The two files are the same but for the hive list's file names.
  auto withoutHiveList = [](const fs::path& file) {
    std::string text = readFile(file), out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
      if (line.find("\"\\\\REGISTRY\\\\") != 0) out += line + "\n";
    return out;
  };
  EXPECT_EQ(withoutHiveList(first), withoutHiveList(second));
  EXPECT_EQ(readFile(first).rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]", 0), 0u);

  // Every value is as it was, byte for byte (as query shows them).
  // (Link keys come back as keys holding their link value, as the format has
  // no mark for links; the hive list names the files of each registry.)
  for (const char* tree : {"HKLM\\Software\\Classes\\CLSID", "HKLM\\Software\\Microsoft\\Windows NT",
                           "HKLM\\System\\CurrentControlSet\\Services", "HKU\\S-1-5-21-0-0-0-1000\\Software\\Talmoor Awkward"})
    EXPECT_EQ(difference(snapshot(prefix, tree), snapshot(std::nullopt, tree)), "") << tree;
}

TEST_F(ScriptCliTest, WinesRegeditImportsWhatTalmoorExports) {
  TALMOOR_REQUIRE_WINE();
  fs::path source = corpusPrefix("source");
  const std::string key = "HKCU\\Software\\Talmoor Awkward";
  addAwkwardValues(source, key);
  const fs::path script = dir_ / "awkward.reg";
  ASSERT_EQ(cli(source, {"export", key, script.string(), "--fresh"}).exitCode, 0);
  ASSERT_EQ(cli(source, {"export", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", script.string()}).exitCode, 0);

  fs::path target = makeWinePrefix(dir_ / "wine");
  auto regedit = runWine(target, {"regedit", "/S", script.string()});
  ASSERT_EQ(regedit.exitCode, 0) << regedit.err;
  EXPECT_EQ(difference(snapshot(source, key), snapshot(target, key)), "");
  const std::string zones = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
  EXPECT_EQ(difference(snapshot(source, zones), snapshot(target, zones)), "");
}

TEST_F(ScriptCliTest, WinesOwnExportReadsBackEqualToTheRegistry) {
  fs::path prefix = corpusPrefix("prefix");
  const fs::path wineExport = corpusDir() / "wine-8.0" / "regedit-export-ntcurrentversion.reg";
  auto test = cli(prefix, {"import", "--test", wineExport.string()});
  EXPECT_EQ(test.exitCode, 0) << test.err;
  std::istringstream rows(test.out);
  std::string row;
  int count = 0;
  while (std::getline(rows, row)) {
    ++count;
    // Every value of the file is marked as already held, as it is; the
    // network cards' keys are volatile, made by Wine as it runs, so the
    // prefix's files do not hold them.
    if (row.find("\\NetworkCards\t") != std::string::npos) continue;
    EXPECT_EQ(row.rfind("done\tHKEY_LOCAL_MACHINE\tSoftware\\Microsoft\\Windows NT", 0), 0u) << row;
  }
  EXPECT_GT(count, 1000);
}

TEST_F(ScriptCliTest, TheRegistryEditorsCommandLineAsksFirst) {
  fs::path prefix = corpusPrefix("prefix");
  const fs::path out = dir_ / "out.reg";
  // Yes: the key is exported.
  auto run = cli(prefix, {"--yes", "/E", out.string(), "HKLM\\Software\\Wine"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Export Registry Key?"), std::string::npos) << run.err;
  EXPECT_EQ(readFile(out).rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine]\r\n", 0), 0u);
  // No: the key is shown instead, and nothing is written.
  fs::remove(out);
  run = cli(prefix, {"--no", "/e", out.string(), "HKLM\\Software\\Wine"});
  EXPECT_NE(run.out.find("HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(out));

  // A bare file and /S import; No makes it a test import that writes nothing.
  writeFile(dir_ / "new.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\From Script]\r\n\"v\"=\"1\"\r\n");
  run = cli(prefix, {"--no", (dir_ / "new.reg").string()});
  EXPECT_NE(run.err.find("Import Registry File?"), std::string::npos);
  EXPECT_EQ(cli(prefix, {"query", "HKCU\\Software\\From Script"}).exitCode, 1);
  run = cli(prefix, {"--yes", "/s", (dir_ / "new.reg").string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(cli(prefix, {"query", "HKCU\\Software\\From Script"}).out.find("v    REG_SZ    1"), std::string::npos);

  // A file that is not there is said so, and not made.
  run = cli(prefix, {"--yes", "import", (dir_ / "missing.reg").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(fs::exists(dir_ / "missing.reg"));
}

}  // namespace

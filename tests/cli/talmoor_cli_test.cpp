// talmoor-cli as a user runs it: the reg command's output and exit codes, on
// copies of a real prefix, with Wine reading what it writes.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/corpus.h"
#include "support/process.h"
#include "support/wine.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { TALMOOR_REQUIRE_CORPUS(); }

  ProcessResult cli(const fs::path& prefix, std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", prefix.string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  fs::path plainPrefix() {
    fs::path prefix = dir_ / "prefix";
    copyCorpusHives(prefix);
    return prefix;
  }

  TempDir dir_;
};

TEST_F(CliTest, QueryPrintsAsTheRegCommandDoes) {
  fs::path prefix = plainPrefix();
  auto result = cli(prefix, {"query", "HKCU\\Control Panel\\Accessibility\\AudioDescription"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "\nHKEY_CURRENT_USER\\Control Panel\\Accessibility\\AudioDescription\n"
            "    Locale    REG_DWORD    0x0\n"
            "    On    REG_SZ    0\n\n");

  result = cli(prefix, {"query", "HKLM\\Software\\Classes\\.chm", "--default"});
  EXPECT_EQ(result.out, "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\.chm\n    (Default)    REG_SZ    chm.file\n\n");

  result = cli(prefix, {"query", "HKLM\\Software\\Microsoft\\Cryptography\\OID\\EncodingType 1\\"
                                 "CertDllVerifyRevocation\\DEFAULT"});
  EXPECT_NE(result.out.find("    Dll    REG_MULTI_SZ    cryptnet.dll\n"), std::string::npos) << result.out;

  // Failures: exit 1 and one line saying what is missing, then the system's text.
  result = cli(prefix, {"query", "HKLM\\Software\\NoSuchKey"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "talmoor-cli: registry key not found: HKEY_LOCAL_MACHINE\\Software\\NoSuchKey (Opening Key: The system "
            "cannot find the file specified.)\n");
  result = cli(prefix, {"query", "HKLM\\Software\\Wine", "--value", "NoSuchValue"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("talmoor-cli: registry value not found: NoSuchValue in HKEY_LOCAL_MACHINE\\Software\\Wine"),
            std::string::npos)
      << result.err;
  result = cli(prefix, {"query", "HKXX\\Software"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("HKXX\\Software"), std::string::npos);
}

TEST_F(CliTest, DisplayFormResolvesIndirectStringsAndEnvironment) {
  fs::path prefix = plainPrefix();
  fs::create_directories(prefix / "drive_c" / "windows" / "system32");
  fs::create_directories(prefix / "dosdevices");
  fs::copy_file(corpusDir() / "wine-8.0" / "drive_c-files" / "windows" / "system32" / "tzres.dll",
                prefix / "drive_c" / "windows" / "system32" / "tzres.dll");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");

  const std::string zone = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\Pacific Standard Time";
  auto raw = cli(prefix, {"query", zone, "--value", "MUI_Std"});
  EXPECT_NE(raw.out.find("MUI_Std    REG_SZ    @tzres.dll,-11232"), std::string::npos) << raw.out;
  auto shown = cli(prefix, {"query", zone, "--value", "MUI_Std", "--display"});
  EXPECT_NE(shown.out.find("MUI_Std    REG_SZ    Pacific Standard Time\n"), std::string::npos) << shown.out;

  auto expanded = cli(prefix, {"query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", "--value",
                               "ProgramFilesPath", "--display"});
  EXPECT_NE(expanded.out.find("ProgramFilesPath    REG_EXPAND_SZ    C:\\Program Files\n"), std::string::npos)
      << expanded.out;
}

TEST_F(CliTest, AddAndDeleteWriteOnlyWhatChanged) {
  fs::path prefix = plainPrefix();
  std::string system = readFile(prefix / "system.reg");
  auto result = cli(prefix, {"add", "HKCU\\Software\\Talmoor", "--value", "Count", "--type", "REG_DWORD",
                             "--data", "0x2a"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "The operation completed successfully.\n");
  EXPECT_EQ(readFile(prefix / "system.reg"), system);  // only user.reg changed
  EXPECT_NE(readFile(prefix / "user.reg").find("\"Count\"=dword:0000002a"), std::string::npos);

  // Overwriting asks first; without a terminal the answer is no.
  result = cli(prefix, {"add", "HKCU\\Software\\Talmoor", "--value", "Count", "--type", "REG_DWORD", "--data", "1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(readFile(prefix / "user.reg").find("\"Count\"=dword:0000002a"), std::string::npos);
  result = cli(prefix, {"add", "HKCU\\Software\\Talmoor", "--value", "Count", "--type", "REG_DWORD", "--data", "1",
                        "--force"});
  EXPECT_EQ(result.exitCode, 0) << result.err;

  result = cli(prefix, {"add", "HKCU\\Software\\Talmoor", "--value", "Bad", "--type", "REG_DWORD", "--data", "ten"});
  EXPECT_EQ(result.exitCode, 1);

  result = cli(prefix, {"delete", "HKCU\\Software\\Talmoor", "--force"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(prefix / "user.reg").find("Talmoor"), std::string::npos);
  result = cli(prefix, {"delete", "HKCU\\Software\\Talmoor", "--force"});
  EXPECT_EQ(result.exitCode, 1);
}

TEST_F(CliTest, ADamagedHiveIsRefusedWithItsPlace) {
  fs::path prefix = plainPrefix();
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                     "[Software] 1\n\"broken\"=hex:zz\n";
  writeFile(prefix / "user.reg", text);
  auto result = cli(prefix, {"add", "HKCU\\Software\\X", "--force"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("user.reg:5"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(prefix / "user.reg"), text);
}

// The same queries through Wine's own reg command and through Talmoor.
TEST_F(CliTest, QueryMatchesWinesRegCommand) {
  TALMOOR_REQUIRE_WINE();
  fs::path prefix = makeWinePrefix(dir_.path());
  const std::vector<std::vector<std::string>> queries = {
      {"HKCU\\Control Panel\\Colors"},
      {"HKCU\\Control Panel\\Accessibility", "/s"},
      {"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", "/v", "ProductName"},
      {"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"},
      {"HKLM\\Software\\Classes\\.chm", "/ve"},
      {"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
      {"HKLM\\Software\\Wine\\LicenseInformation"},
  };
  for (const auto& query : queries) {
    std::vector<std::string> wineArgs{"reg", "query"};
    std::vector<std::string> ours{"query", query[0]};
    wineArgs.insert(wineArgs.end(), query.begin(), query.end());
    for (std::size_t i = 1; i < query.size(); ++i) {
      if (query[i] == "/s") ours.push_back("--recursive");
      if (query[i] == "/ve") ours.push_back("--default");
      if (query[i] == "/v") ours.insert(ours.end(), {"--value", query[++i]});
    }
    auto expected = runWine(prefix, wineArgs);
    ASSERT_EQ(expected.exitCode, 0) << query[0] << ": " << expected.err;
    auto actual = cli(prefix, ours);
    EXPECT_EQ(actual.exitCode, 0) << actual.err;
    EXPECT_EQ(actual.out, expected.out) << query[0];
  }
}

// What Talmoor writes, Wine reads back.
TEST_F(CliTest, WineSeesWhatTalmoorAdds) {
  TALMOOR_REQUIRE_WINE();
  fs::path prefix = makeWinePrefix(dir_.path());
  struct Value {
    const char* name;
    const char* type;
    const char* data;
    const char* shown;
  };
  const Value values[] = {
      {"Text", "REG_SZ", "hello world", "REG_SZ    hello world"},
      {"Path", "REG_EXPAND_SZ", "%SystemRoot%\\system32", "REG_EXPAND_SZ    %SystemRoot%\\system32"},
      {"List", "REG_MULTI_SZ", "one\\0two", "REG_MULTI_SZ    one\\0two"},
      {"Number", "REG_DWORD", "0x12345678", "REG_DWORD    0x12345678"},
      {"Blob", "REG_BINARY", "00FF10", "REG_BINARY    00FF10"},
      // Wine 8's reg prints no data for this type; the type shows it arrived.
      {"Big", "REG_QWORD", "0x123456789a", "REG_QWORD    "},
  };
  for (const auto& v : values) {
    auto added = cli(prefix, {"add", "HKCU\\Software\\Talmoor Test\\Sub Key", "--value", v.name, "--type", v.type,
                              "--data", v.data, "--force"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
  }
  ASSERT_EQ(cli(prefix, {"add", "HKLM\\Software\\Talmoor Machine", "--force"}).exitCode, 0);
  for (const auto& v : values) {
    auto seen = runWine(prefix, {"reg", "query", "HKCU\\Software\\Talmoor Test\\Sub Key", "/v", v.name});
    EXPECT_EQ(seen.exitCode, 0) << v.name << ": " << seen.err;
    EXPECT_NE(seen.out.find(std::string("    ") + v.name + "    " + v.shown), std::string::npos)
        << seen.out;
  }
  auto machineKey = runWine(prefix, {"reg", "query", "HKLM\\Software\\Talmoor Machine"});
  EXPECT_EQ(machineKey.exitCode, 0) << machineKey.err;

  // And after Wine has rewritten the prefix, Talmoor still reads it.
  auto back = cli(prefix, {"query", "HKCU\\Software\\Talmoor Test\\Sub Key", "--value", "List"});
  EXPECT_NE(back.out.find("REG_MULTI_SZ    one\\0two"), std::string::npos) << back.out << back.err;
}

}  // namespace

// talmoor-cli --windows on an installation laid out as Windows lays it out:
// the corpus SYSTEM hive in Windows\System32\config, and the module its
// Event Log service names, with its texts only in language resource files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "support/pe_builder.h"
#include "support/process.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

constexpr const char* kEventLog = "HKLM\\SYSTEM\\ControlSet001\\Services\\EventLog";

void writeModule(const fs::path& file, std::vector<PeResource> resources) {
  fs::create_directories(file.parent_path());
  auto bytes = buildPeModule(std::move(resources));
  writeFile(file, std::string(bytes.begin(), bytes.end()));
}

std::vector<PeResource> languageFile(std::uint16_t language, std::u16string name,
                                     std::map<unsigned, std::u16string> strings) {
  auto resources = stringResources(strings, language);
  resources.push_back(muiResource(0x42, kLanguageResourceFile, std::move(name)));
  return resources;
}

class WindowsStringsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    if (corpusHive("SYSTEM").empty()) GTEST_SKIP() << "no corpus SYSTEM hive";
    const fs::path windows = dir_ / "install" / "Windows";
    fs::create_directories(windows / "System32" / "config");
    fs::copy_file(corpusHive("SYSTEM"), windows / "System32" / "config" / "SYSTEM");
    fs::permissions(windows / "System32" / "config" / "SYSTEM", fs::perms::owner_write, fs::perm_options::add);

    const fs::path system32 = windows / "System32";
    writeModule(system32 / "wevtsvc.dll", {muiResource(0x42, kMainModuleFile, u"")});
    writeModule(system32 / "en-US" / "wevtsvc.dll.mui",
                languageFile(0x409, u"en-US", {{200, u"Windows Event Log"}, {201, u"This service manages events."}}));
    writeModule(system32 / "de-DE" / "wevtsvc.dll.mui", languageFile(0x407, u"de-DE", {{200, u"Windows-Ereignisprotokoll"}}));
  }

  ProcessResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--windows", (dir_ / "install").string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  TempDir dir_;
};

TEST_F(WindowsStringsCliTest, ServiceNamesShowInTheInstallationsLanguage) {
  auto raw = cli({"query", kEventLog, "--value", "DisplayName"});
  ASSERT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_NE(raw.out.find("DisplayName    REG_SZ    @%SystemRoot%\\system32\\wevtsvc.dll,-200\n"), std::string::npos)
      << raw.out;

  // The corpus installation is English (Nls\Language "Default" 0409).
  auto shown = cli({"query", kEventLog, "--display"});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_NE(shown.out.find("DisplayName    REG_SZ    Windows Event Log\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Description    REG_SZ    This service manages events.\n"), std::string::npos) << shown.out;

  // Made a German installation, the German file wins over en-US; a text it
  // lacks still comes from the English one.
  auto changed = cli({"--yes", "add", "HKLM\\SYSTEM\\ControlSet001\\Control\\Nls\\Language", "--value", "Default",
                      "--data", "0407"});
  ASSERT_EQ(changed.exitCode, 0) << changed.err;
  shown = cli({"query", kEventLog, "--display"});
  EXPECT_NE(shown.out.find("DisplayName    REG_SZ    Windows-Ereignisprotokoll\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Description    REG_SZ    This service manages events.\n"), std::string::npos) << shown.out;
}

}  // namespace

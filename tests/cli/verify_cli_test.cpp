// talmoor-cli verify on copies of a real prefix whose drive C is recreated
// (with empty files) in a temporary folder: what it reports as missing,
// which other copies it finds, what it writes with --yes, and the rules it
// keeps for a later run.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "support/process.h"
#include "support/tsv.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;
using Lines = std::set<std::string>;

constexpr const char* kClsid = "HKLM\\Software\\Classes\\CLSID";

// Modules that one InprocServer32 value each names, moved away in the test.
struct Module {
  const char* name;
  const char* clsid;
};
constexpr Module kMoved[] = {
    {"atl.dll", "{44EC053A-400F-11D0-9DCD-00A0C90391D3}"},
    {"dispex.dll", "{10E2414A-EC59-49D2-BC51-5ADD2C36FEBC}"},
    {"mp3dmod.dll", "{BBEEA841-0A63-4F52-A7AB-A9B3A84ED38A}"},
    {"packager.dll", "{F20DA720-C02F-11CE-927B-0800095AE340}"},
};

// "Key\tValue\tData" (the key below HKEY_LOCAL_MACHINE) of the rows of the
// drive references that the fresh prefix itself leaves without a file.
const Lines kMissingInThePrefix = {
    "Software\\Microsoft\\DirectMusic\tGMFilePath\tC:\\windows\\system32\\drivers\\gm.dls",
    "System\\CurrentControlSet\\Control\\Session Manager\\Memory Management\tPagingFiles\tC:\\pagefile.sys 27 77",
    "System\\CurrentControlSet\\Services\\FontCache3.0.0.0\tImagePath\t"
    "C:\\windows\\Microsoft.Net\\Framework\\v3.0\\wpf\\presentationfontcache.exe",
    "System\\CurrentControlSet\\Services\\LanmanServer\\Parameters\tServiceDll\tC:\\windows\\system32\\srvsvc.dll",
};

std::string movedRow(const Module& module, const std::string& data) {
  return std::string("Software\\Classes\\CLSID\\") + module.clsid + "\\InprocServer32\t(Default)\t" + data;
}

class VerifyCliTest : public ::testing::Test {
 protected:
  void SetUp() override { TALMOOR_REQUIRE_CORPUS(); }

  // A prefix with the corpus hives, drive C recreated and the usual drives.
  fs::path makePrefix(const std::string& name) {
    fs::path prefix = dir_ / name;
    copyCorpusHives(prefix);
    auto made = runProcess({"sh", (corpusDir() / "wine-8.0" / "materialize-drive-c.sh").string(),
                            (prefix / "drive_c").string()});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    fs::create_directory_symlink(makeDriveZ(prefix), prefix / "dosdevices" / "z:");
    return prefix;
  }
  // Drive Z: as a folder of the test's own holding every file the hives name
  // on it (the fonts Wine found on the machine that made the prefix), so that
  // what this machine has installed cannot change what is missing.
  static fs::path makeDriveZ(const fs::path& prefix) {
    fs::path root = prefix / "z-root";
    const std::regex reference(R"(Z:((\\\\[^"\\]+)+))");
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
      std::string text = readFile(prefix / hive);
      for (std::sregex_iterator it(text.begin(), text.end(), reference), end; it != end; ++it) {
        std::string path = (*it)[1].str();
        std::string relative;
        for (std::size_t i = 0; i < path.size(); ++i) {
          if (path[i] == '\\') {
            ++i;  // the file doubles each backslash
            if (!relative.empty()) relative += '/';
          } else {
            relative += path[i];
          }
        }
        fs::create_directories((root / relative).parent_path());
        writeFile(root / relative, "");
      }
    }
    return root;
  }
  // The modules moved to C:\Backup.
  static void moveModules(const fs::path& prefix) {
    fs::create_directories(prefix / "drive_c" / "Backup");
    for (const Module& module : kMoved)
      fs::rename(prefix / "drive_c" / "windows" / "system32" / module.name,
                 prefix / "drive_c" / "Backup" / module.name);
  }

  ProcessResult cli(const fs::path& prefix, std::vector<std::string> args) {
    args.insert(args.begin(), {TALMOOR_CLI_PATH, "--prefix", prefix.string()});
    return runProcess(args, {{"XDG_CONFIG_HOME", (dir_ / "config").string()}});
  }

  // The rows printed as "Key\tValue\tData", the key below
  // HKEY_LOCAL_MACHINE; `status` gets the status of each.
  static Lines rows(const std::string& out, std::set<std::string>* status = nullptr) {
    Lines lines;
    const std::string hive = "HKEY_LOCAL_MACHINE\\";
    for (const TsvRecord& record : readTsv(out)) {
      if (status) status->insert(record.at("Status"));
      const std::string& key = record.at("Key");
      EXPECT_EQ(key.rfind(hive, 0), 0u) << key;
      lines.insert(key.substr(hive.size()) + "\t" + record.at("Value") + "\t" + record.at("Data"));
    }
    return lines;
  }

  std::string defaultValueOf(const fs::path& prefix, const Module& module) {
    auto query = cli(prefix, {"query", std::string(kClsid) + "\\" + module.clsid + "\\InprocServer32", "--default"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    return query.out;
  }

  TempDir dir_;
};

TEST_F(VerifyCliTest, ReportsWhatIsMissingListsOtherCopiesRepairsWithYesAndKeepsTheRules) {
  fs::path prefix = makePrefix("prefix");
  // The references the fresh prefix leaves without a file: the tree has none
  // of them (the pagefile and the General MIDI set are made at run time, the
  // others belong to components Wine does not ship).
  auto run = cli(prefix, {"verify", "--no"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(rows(run.out), kMissingInThePrefix) << run.out;
  for (const char* absent : {"windows/system32/drivers/gm.dls", "pagefile.sys",
                             "windows/Microsoft.NET/Framework/v3.0/wpf/presentationfontcache.exe",
                             "windows/system32/srvsvc.dll"})
    EXPECT_FALSE(fs::exists(prefix / "drive_c" / absent)) << absent;

  // Modules moved elsewhere on drive C: their values join the list, with
  // the copies found; nothing is written.
  moveModules(prefix);
  run = cli(prefix, {"verify", "--no"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Lines expected = kMissingInThePrefix;
  for (const Module& module : kMoved)
    expected.insert(movedRow(module, std::string("C:\\windows\\system32\\") + module.name));
  EXPECT_EQ(rows(run.out), expected) << run.out;
  for (const Module& module : kMoved) {
    const std::string question = std::string("Missing File Reference: HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\") +
                                 module.clsid + "\\InprocServer32 [] C:\\windows\\system32\\" + module.name +
                                 " rejected\n  other copy: C:\\Backup\\" + module.name + "\n";
    EXPECT_NE(run.err.find(question), std::string::npos) << question << "\n" << run.err;
    EXPECT_NE(defaultValueOf(prefix, module).find(std::string("C:\\windows\\system32\\") + module.name),
              std::string::npos);
  }

  // --yes takes the copy found, through the write gate, and the answers
  // are kept as rules.
  const fs::path rules = dir_ / "moved.rules";
  run = cli(prefix, {"--yes", "verify", "--start", kClsid, "--save-rules", rules.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::set<std::string> status;
  expected.clear();
  for (const Module& module : kMoved) expected.insert(movedRow(module, std::string("C:\\Backup\\") + module.name));
  EXPECT_EQ(rows(run.out, &status), expected) << run.out;
  EXPECT_EQ(status, std::set<std::string>{"done"});
  for (const Module& module : kMoved)
    EXPECT_NE(defaultValueOf(prefix, module).find(std::string("REG_SZ    C:\\Backup\\") + module.name),
              std::string::npos)
        << module.name;
  EXPECT_NE(run.err.find("Overwrite Value and Data"), std::string::npos) << run.err;
  ASSERT_TRUE(fs::exists(rules));
  EXPECT_GT(fs::file_size(rules), 28u);
  // Nothing is left to repair there.
  run = cli(prefix, {"verify", "--no", "--start", kClsid});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");

  // A later run on another copy applies the rules without asking.
  fs::path other = makePrefix("other");
  moveModules(other);
  run = cli(other, {"--yes", "verify", "--start", kClsid, "--rules", rules.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(rows(run.out), expected) << run.out;
  EXPECT_EQ(run.err.find("Missing File Reference"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Pattern Detected"), std::string::npos) << run.err;
  for (const Module& module : kMoved)
    EXPECT_NE(defaultValueOf(other, module).find(std::string("REG_SZ    C:\\Backup\\") + module.name),
              std::string::npos)
        << module.name;

  // A rules file that cannot be read is refused.
  run = cli(other, {"verify", "--no", "--rules", (dir_ / "absent.rules").string()});
  EXPECT_NE(run.exitCode, 0);
}

}  // namespace

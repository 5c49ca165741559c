// talmoor-cli's registry scripts on copies of a real prefix: the export and
// import round trip, the REGEDIT4 and the UTF-16 form read back alike by
// Talmoor and by Wine's regedit, Wine's own export read back, replacing and
// appending to a file, the registry editor's command line; files from other
// systems and files cut short, imports that stop or are interrupted, exports
// that must not lose the file they write or write names as others; and the
// start key of a search.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "support/corpus.h"
#include "support/process.h"
#include "support/tsv.h"
#include "support/wine.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::test;

class ScriptCliTest : public ::testing::Test {
 protected:
  void SetUp() override { TALMOOR_REQUIRE_CORPUS(); }

  std::map<std::string, std::string> environment() {
    return {{"XDG_CONFIG_HOME", (dir_ / "config").string()},
            {"XDG_DATA_HOME", (dir_ / "data").string()},
            {"HOME", (dir_ / "home").string()},
            {"WINEPREFIX", ""}};
  }
  static std::vector<std::string> command(const std::optional<fs::path>& prefix, std::vector<std::string> args) {
    if (prefix) args.insert(args.begin(), {"--prefix", prefix->string()});
    args.insert(args.begin(), TALMOOR_CLI_PATH);
    return args;
  }
  ProcessResult cli(const std::optional<fs::path>& prefix, std::vector<std::string> args) {
    return runProcess(command(prefix, std::move(args)), environment());
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
  // Names and strings beyond ASCII, and beyond the first plane, under one key.
  void addWideValues(const fs::path& prefix, const std::string& key) {
    const std::vector<std::vector<std::string>> values = {
        {"caf\xC3\xA9", "REG_SZ", "\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xE6\x97\xA5\xE6\x9C\xAC", "REG_EXPAND_SZ", "%SystemRoot%\\\xE6\x97\xA5\xE6\x9C\xAC"},
        {"\xC3\xBC list", "REG_MULTI_SZ", "\xC3\xA9\\0\xC3\xBC\\0"},
        {"\xC3\xBF\xC3\xBE", "REG_SZ", "\xC3\xBF\xC3\xBE"},
    };
    for (const auto& v : values)
      ASSERT_EQ(cli(prefix, {"add", key, "--value", v[0], "--type", v[1], "--data", v[2], "--force"}).exitCode, 0) << v[0];
    ASSERT_EQ(cli(prefix, {"add", key + "\\Sub \xC3\xA9", "--value", "x", "--data", "y", "--force"}).exitCode, 0);
  }

  TempDir dir_;
};

// How a UTF-16 script begins: the byte-order mark and the header line.
const std::string kVersion5Start = [] {
  std::string text = "\xFF\xFE";
  for (char c : std::string_view("Windows Registry Editor Version 5.00\r\n")) text += {c, '\0'};
  return text;
}();

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
  ASSERT_EQ(cli(prefix, {"export", "HKU", first.string(), "--append"}).exitCode, 0);  // no second header

  // Into an empty store (made on first use), without confirmations.
  auto imported = cli(std::nullopt, {"--yes", "import", first.string()});
  // Only the hive list, which the running registry keeps for itself, is refused.
  EXPECT_EQ(imported.exitCode, 1);
  int refused = 0;
  for (const TsvRecord& row : readTsv(imported.out))
    if (row.at("Status") == "not done") {
      ++refused;
      EXPECT_EQ(row.at("Key"), "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\hivelist");
    }
  EXPECT_EQ(refused, 3);
  EXPECT_NE(imported.err.find("changes written (3 not done)"), std::string::npos) << imported.err;

  ASSERT_EQ(cli(std::nullopt, {"export", "HKLM", second.string(), "--fresh"}).exitCode, 0);
  ASSERT_EQ(cli(std::nullopt, {"export", "HKU", second.string(), "--append"}).exitCode, 0);
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

// Each form, imported by Wine's regedit into a prefix of its own, gives the
// registry it was exported from, and so the two give the same registry.
// Beyond ASCII only the UTF-16 form can say what it means: Wine reads a
// REGEDIT4 file in its ANSI code page (1252 in the C and English locales),
// not in the UTF-8 that Talmoor's ANSI is.
TEST_F(ScriptCliTest, WinesRegeditImportsEitherFormAsTheSameRegistry) {
  TALMOOR_REQUIRE_WINE();
  fs::path source = corpusPrefix("source");
  const std::string key = "HKCU\\Software\\Talmoor Awkward";
  const std::string wide = "HKCU\\Software\\Talmoor Cl\xC3\xA9 \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87";
  const std::string zones = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
  addAwkwardValues(source, key);
  addWideValues(source, wide);
  std::map<std::string, fs::path> imported;
  for (const std::string format : {"regedit4", "regedit5"}) {
    SCOPED_TRACE(format);
    const fs::path script = dir_ / (format + ".reg");
    ASSERT_EQ(cli(source, {"export", key, script.string(), "--format", format}).exitCode, 0);
    ASSERT_EQ(cli(source, {"export", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", script.string(),
                           "--format", format, "--append"})
                  .exitCode,
              0);
    if (format == "regedit5") {
      ASSERT_EQ(cli(source, {"export", wide, script.string(), "--format", format, "--append"}).exitCode, 0);
    }

    fs::path target = imported[format] = makeWinePrefix(dir_ / ("wine-" + format));
    auto regedit = runWine(target, {"regedit", "/S", script.string()});
    ASSERT_EQ(regedit.exitCode, 0) << regedit.err;
    EXPECT_EQ(difference(snapshot(source, key), snapshot(target, key)), "");
    EXPECT_EQ(difference(snapshot(source, zones), snapshot(target, zones)), "");
    if (format == "regedit5") {
      EXPECT_EQ(difference(snapshot(source, wide), snapshot(target, wide)), "");
    }
  }
  for (const std::string& tree : {key, zones})
    EXPECT_EQ(difference(snapshot(imported["regedit4"], tree), snapshot(imported["regedit5"], tree)), "") << tree;
}

// Talmoor reads both forms back to the values they were exported from, into
// registries of their own; the UTF-16 one is UTF-16 from its first byte.
TEST_F(ScriptCliTest, EitherFormReadsBackToTheSameRegistry) {
  fs::path source = corpusPrefix("source");
  const std::string key = "HKCU\\Software\\Talmoor Awkward";
  const std::string wide = "HKCU\\Software\\Talmoor Cl\xC3\xA9 \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87";
  addAwkwardValues(source, key);
  addWideValues(source, wide);
  for (const std::string format : {"regedit4", "regedit5"}) {
    SCOPED_TRACE(format);
    const fs::path script = dir_ / (format + ".reg");
    ASSERT_EQ(cli(source, {"export", key, script.string(), "--format", format}).exitCode, 0);
    ASSERT_EQ(cli(source, {"export", wide, script.string(), "--format", format, "--append"}).exitCode, 0);
    const std::string text = readFile(script);
    if (format == "regedit5") {
      EXPECT_EQ(text.rfind(kVersion5Start, 0), 0u);
      EXPECT_EQ(text.size() % 2, 0u);
    } else {
      EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
    }

    // Every entry is marked as held by the registry it came from, as it is.
    auto test = cli(source, {"import", "--test", script.string()});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    std::istringstream rows(test.out);
    std::string row;
    int count = 0;
    while (std::getline(rows, row)) {
      if (row.find("\tHKEY_") == std::string::npos) continue;  // a line of data that runs over lines
      ++count;
      EXPECT_EQ(row.rfind("done\t", 0), 0u) << row;
    }
    EXPECT_EQ(count, 9 + 4 + 1);

    // Into a store of its own, made on first use.
    auto env = environment();
    env["XDG_DATA_HOME"] = (dir_ / ("data-" + format)).string();
    auto imported = runProcess(command(std::nullopt, {"--yes", "import", script.string()}), env);
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    const fs::path store = dir_ / ("data-" + format) / "talmoor" / "registry";
    for (const std::string& tree : {key, wide})
      EXPECT_EQ(difference(snapshot(source, tree), snapshot(store, tree)), "") << tree;
  }
}

// An export replaces a file only when told to, after asking as reg does;
// without anyone to ask the answer is No, and the export fails saying how to
// replace it. --append adds to the file, in its own encoding only.
TEST_F(ScriptCliTest, AnExportReplacesAFileOnlyWhenToldAndAppendsWhenAsked) {
  fs::path prefix = corpusPrefix("prefix");
  const std::string key = "HKLM\\Software\\Wine";
  const fs::path out = dir_ / "out.reg";
  auto run = cli(prefix, {"export", key, out.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");  // a new file: nothing to ask
  const std::string once = readFile(out);
  const std::string section = once.substr(std::string("REGEDIT4\r\n").size());

  run = cli(prefix, {"export", key, out.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(out.string() + " already exists. Replace it? [Yes/No] No"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("talmoor-cli: " + out.string() + ": not replaced; --force replaces it without asking, "
                         "--append adds to its end"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(out), once);
  run = cli(prefix, {"--no", "export", key, out.string(), "--format", "regedit5"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(readFile(out), once);

  // Appended: one header, the key twice.
  ASSERT_EQ(cli(prefix, {"export", key, out.string(), "--append"}).exitCode, 0);
  EXPECT_EQ(readFile(out), once + section);
  // Replaced: by --yes, --force or the older --fresh, in either form.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--yes", "export", key, out.string()},
                                               std::vector<std::string>{"export", key, out.string(), "--force"},
                                               std::vector<std::string>{"export", key, out.string(), "--fresh"},
                                               std::vector<std::string>{"export", key, out.string(), "-f"}}) {
    writeFile(out, once + section);
    run = cli(prefix, args);
    EXPECT_EQ(run.exitCode, 0) << args[1] << ": " << run.err;
    EXPECT_EQ(readFile(out), once) << args[1];
  }
  ASSERT_EQ(cli(prefix, {"export", key, out.string(), "--force", "--format", "REGEDIT5"}).exitCode, 0);
  const std::string wide = readFile(out);
  EXPECT_EQ(wide.rfind("\xFF\xFE", 0), 0u);
  // Told to replace and to append at once, or an unknown form: nothing is written.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"export", key, out.string(), "--append", "--force"},
        std::vector<std::string>{"export", key, out.string(), "--append", "--fresh"},
        std::vector<std::string>{"export", key, out.string(), "--force", "--format", "regedit6"}}) {
    EXPECT_NE(cli(prefix, args).exitCode, 0) << args.back();
    EXPECT_EQ(readFile(out), wide) << args.back();
  }

  // The UTF-16 form appended to a UTF-16 file stays one UTF-16 file (read
  // back whole, the key twice); the other form is refused, and the file kept.
  ASSERT_EQ(cli(prefix, {"export", key, out.string(), "--append", "--format", "regedit5"}).exitCode, 0);
  const std::string twice = readFile(out);
  EXPECT_EQ(twice.substr(wide.size()), wide.substr(kVersion5Start.size()));
  run = cli(prefix, {"export", key, out.string(), "--append"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("File not written: Cannot append to the file '" + out.string() +
                         "': it is UTF-16 text and this export is ANSI (REGEDIT4)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(out), twice);
  auto test = cli(prefix, {"import", "--test", out.string()});
  EXPECT_EQ(test.exitCode, 0) << test.err;
  writeFile(dir_ / "once.reg", once);
  const std::string rowsOnce = cli(prefix, {"import", "--test", (dir_ / "once.reg").string()}).out;
  EXPECT_NE(rowsOnce, "");
  const std::string header = rowsOnce.substr(0, rowsOnce.find('\n') + 1);
  EXPECT_EQ(test.out, rowsOnce + rowsOnce.substr(header.size()));
  run = cli(prefix, {"export", key, (dir_ / "once.reg").string(), "--append", "--format", "regedit5"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("it is ANSI text and this export is UTF-16 (Version 5.00)"), std::string::npos) << run.err;
  EXPECT_EQ(readFile(dir_ / "once.reg"), once);

  // What is not a file is written through, without a question.
  run = cli(prefix, {"export", key, "/dev/stdout", "--format", "regedit5"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, wide);
}

TEST_F(ScriptCliTest, WinesOwnExportReadsBackEqualToTheRegistry) {
  fs::path prefix = corpusPrefix("prefix");
  const fs::path wineExport = corpusDir() / "wine-8.0" / "regedit-export-ntcurrentversion.reg";
  auto test = cli(prefix, {"import", "--test", wineExport.string()});
  EXPECT_EQ(test.exitCode, 0) << test.err;
  int count = 0;
  for (const TsvRecord& row : readTsv(test.out)) {
    ++count;
    // Every value of the file is marked as already held, as it is; the
    // network cards' keys are volatile, made by Wine as it runs, so the
    // prefix's files do not hold them.
    if (row.at("Key").find("\\NetworkCards\\") != std::string::npos) continue;
    EXPECT_EQ(row.at("Status"), "done") << row.at("Key");
    EXPECT_EQ(row.at("Key").rfind("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT", 0), 0u) << row.at("Key");
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
  const std::string once = readFile(out);
  EXPECT_EQ(once.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine]\r\n", 0), 0u);
  // As the registry editor's export job, a second export is appended, without
  // a question about the file.
  run = cli(prefix, {"--yes", "/E", out.string(), "HKLM\\Software\\Wine"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_EQ(readFile(out), once + once.substr(std::string("REGEDIT4\r\n").size()));
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

// A talmoor-cli run that goes on while the test signals it; what it prints
// goes to files.
class Background {
 public:
  Background(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, const fs::path& dir)
      : err_(dir / "background.err") {
    std::string errPath = err_.string();
    pid_ = ::fork();
    if (pid_ == 0) {
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open("/dev/null", O_WRONLY);
      int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~Background() {
    if (!ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void signal(int number) { ::kill(pid_, number); }
  bool running() {
    if (ended_) return false;
    ended_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
    return !ended_;
  }
  // The exit status; -1 for a process a signal ended, or one that would not end.
  int wait() {
    for (int i = 0; i < 6000 && running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!ended_) return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  std::string err() const { return readFile(err_); }

 private:
  fs::path err_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

// Wine's regedit reads scripts with LF or CR line ends, and so does every
// verb that reads one; and an entry the end of the file cuts short is never
// written, while the verb says on which line the file ends.
TEST_F(ScriptCliTest, ScriptsWithOtherLineEndsAndScriptsCutShort) {
  fs::path prefix = corpusPrefix("prefix");
  const std::vector<std::string> lines = {"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Line Ends]",
                                          "\"one\"=\"1\"", "\"two\"=dword:00000002"};
  for (std::string end : {"\n", "\r"}) {
    std::string text;
    for (const auto& line : lines) text += line + end;
    writeFile(dir_ / "ends.reg", text);
    SCOPED_TRACE(end == "\n" ? "LF" : "CR");
    auto test = cli(prefix, {"import", "--test", (dir_ / "ends.reg").string()});
    EXPECT_EQ(test.exitCode, 0) << test.err;
    EXPECT_NE(test.out.find("\\\\Line Ends\tone\tREG_SZ\t1\n"), std::string::npos) << test.out;
    auto results = cli(prefix, {"results", (dir_ / "ends.reg").string(), "--mode", "select", "--find", "two"});
    EXPECT_EQ(results.exitCode, 0) << results.err;
    EXPECT_NE(results.out.find("selected\tHKEY_CURRENT_USER"), std::string::npos) << results.out;
    auto imported = cli(prefix, {"--yes", "import", (dir_ / "ends.reg").string()});
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(cli(prefix, {"query", "HKCU\\Software\\Line Ends"}).out.find("two    REG_DWORD    0x2"), std::string::npos);
    ASSERT_EQ(cli(prefix, {"--yes", "delete", "HKCU\\Software\\Line Ends", "--force"}).exitCode, 0);
  }

  // The last line lacks its end: a string without its closing quote.
  writeFile(dir_ / "cut.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Cut]\r\n\"whole\"=\"1\"\r\n\"cut\"=\"abc");
  auto imported = cli(prefix, {"--yes", "import", (dir_ / "cut.reg").string()});
  EXPECT_EQ(imported.exitCode, 1);
  EXPECT_NE(imported.err.find("imported 1 of 1 keys; the file ends in the middle of line 5"), std::string::npos)
      << imported.err;
  auto query = cli(prefix, {"query", "HKCU\\Software\\Cut"});
  EXPECT_NE(query.out.find("whole    REG_SZ    1"), std::string::npos) << query.out;
  EXPECT_EQ(query.out.find("cut"), std::string::npos) << query.out;
  EXPECT_EQ(cli(prefix, {"import", "--test", (dir_ / "cut.reg").string()}).exitCode, 1);
}

// A line that stops an import (a comment) leaves the keys before it written,
// and the import says how many and where it stopped, and fails.
TEST_F(ScriptCliTest, AnImportStoppedByALineSaysWhereAndFails) {
  fs::path prefix = corpusPrefix("prefix");
  writeFile(dir_ / "stop.reg",
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\S1]\r\n\"v\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\S2]\r\n"
            "\"v\"=\"2\"\r\n; a comment\r\n\r\n[HKEY_CURRENT_USER\\Software\\S3]\r\n\"v\"=\"3\"\r\n");
  auto imported = cli(prefix, {"--yes", "import", (dir_ / "stop.reg").string()});
  EXPECT_EQ(imported.exitCode, 1);
  EXPECT_NE(imported.err.find("stop.reg: imported 2 of 3 keys; stopped at line 8"), std::string::npos) << imported.err;
  EXPECT_EQ(cli(prefix, {"query", "HKCU\\Software\\S2"}).exitCode, 0);
  EXPECT_EQ(cli(prefix, {"query", "HKCU\\Software\\S3"}).exitCode, 1);
  auto results = cli(prefix, {"results", (dir_ / "stop.reg").string(), "--mode", "select"});
  EXPECT_EQ(results.exitCode, 1);
  EXPECT_NE(results.err.find("loaded 2 of 3 keys; stopped at line 8"), std::string::npos) << results.err;
}

// Names with a NUL (which regf and Wine hives can hold) are never exported
// as other names, above all not "\0x" as the unnamed value: they are left
// out, named in comments, and the export fails.
TEST_F(ScriptCliTest, NamesHoldingANulAreNotExportedAsOtherNames) {
  fs::path prefix = corpusPrefix("prefix");
  {
    std::ofstream user(prefix / "user.reg", std::ios::app | std::ios::binary);
    user << "\n[Software\\\\Nul Names] 1700000000\n\"plain\"=\"kept\"\n\"\\0lead\"=\"hidden\"\n\"a\\0b\"=\"one\"\n"
         << "\n[Software\\\\Nul Names\\\\k] 1700000000\n\"v\"=\"in k\"\n"
         << "\n[Software\\\\Nul Names\\\\k\\0ey] 1700000000\n\"v\"=\"in k with a NUL\"\n";
  }
  const fs::path out = dir_ / "nul.reg";
  auto exported = cli(prefix, {"export", "HKCU\\Software\\Nul Names", out.string(), "--fresh"});
  EXPECT_EQ(exported.exitCode, 1);
  EXPECT_NE(exported.err.find("3 entries not written"), std::string::npos) << exported.err;
  std::string text = readFile(out);
  EXPECT_EQ(text.find("@="), std::string::npos) << text;
  EXPECT_EQ(text.find("\"\"="), std::string::npos) << text;
  EXPECT_EQ(text.find("\"a\"="), std::string::npos) << text;
  EXPECT_EQ(text.find("in k with a NUL"), std::string::npos) << text;
  EXPECT_NE(text.find("; Not exported: the value \"\\0lead\""), std::string::npos) << text;
  EXPECT_NE(text.find("; Not exported: the key [HKEY_CURRENT_USER\\Software\\Nul Names\\k\\0ey]"), std::string::npos)
      << text;

  // Read back into an empty store: the other values come back, no unnamed
  // value appears, and the comments make the import say it stopped.
  auto imported = cli(std::nullopt, {"--yes", "import", out.string()});
  EXPECT_EQ(imported.exitCode, 1);
  EXPECT_NE(imported.err.find("imported 2 of 2 keys; stopped at line"), std::string::npos) << imported.err;
  auto query = cli(std::nullopt, {"query", "HKCU\\Software\\Nul Names", "-s"});
  EXPECT_NE(query.out.find("plain    REG_SZ    kept"), std::string::npos) << query.out;
  EXPECT_NE(query.out.find("v    REG_SZ    in k\n"), std::string::npos) << query.out;
  EXPECT_EQ(query.out.find("(Default)"), std::string::npos) << query.out;
}

// An export replaces its file only with a whole script: a key that is not
// there, a read-only file or a kill leaves the file as it was; what is not a
// file (standard output) is written to, never replaced.
TEST_F(ScriptCliTest, AnExportNeverLosesTheFileItWrites) {
  fs::path prefix = corpusPrefix("prefix");
  const fs::path out = dir_ / "out" / "out.reg";
  fs::create_directories(out.parent_path());
  ASSERT_EQ(cli(prefix, {"export", "HKLM\\Software\\Wine", out.string()}).exitCode, 0);
  const std::string before = readFile(out);

  auto missing = cli(prefix, {"export", "HKLM\\Software\\No Such Key", out.string(), "--fresh"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("No Such Key"), std::string::npos) << missing.err;
  EXPECT_EQ(readFile(out), before);

  fs::permissions(out, fs::perms::owner_read | fs::perms::group_read);
  auto readOnly = cli(prefix, {"export", "HKLM\\Software\\Wine", out.string(), "--fresh"});
  EXPECT_EQ(readOnly.exitCode, 1);
  EXPECT_NE(readOnly.err.find("read-only"), std::string::npos) << readOnly.err;
  EXPECT_EQ(readFile(out), before);
  fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);

  auto toStdout = cli(prefix, {"export", "HKLM\\Software\\Wine", "/dev/stdout"});
  EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
  EXPECT_EQ(toStdout.out, before);
  // Standard output that the shell sends to a file is written through too,
  // not replaced: what the shell appended to before stays, and the export
  // follows it whole.
  const fs::path log = dir_ / "log.txt";
  writeFile(log, "earlier\n");
  auto appended = runProcess({"/bin/sh", "-c",
                              fmt::format("'{}' --prefix '{}' export 'HKLM\\Software\\Wine' /dev/stdout --force >> '{}'",
                                          TALMOOR_CLI_PATH, prefix.string(), log.string())},
                             environment());
  EXPECT_EQ(appended.exitCode, 0) << appended.err;
  EXPECT_EQ(readFile(log), "earlier\n" + before);

  // A device that takes nothing (as a full disk): one error, not one a line.
  if (fs::exists("/dev/full")) {
    auto full = cli(prefix, {"export", "HKLM\\Software", "/dev/full"});
    EXPECT_EQ(full.exitCode, 1);
    std::size_t errors = 0;
    for (auto at = full.err.find("Aborting: "); at != std::string::npos; at = full.err.find("Aborting: ", at + 1))
      ++errors;
    EXPECT_EQ(errors, 1u) << full.err.substr(0, 500);
  }

  // Killed while it writes (once something new is beside the file): the file
  // is as it was.
  Background exporting(command(prefix, {"export", "HKLM", out.string(), "--fresh"}), environment(), dir_.path());
  bool caught = false;
  for (int i = 0; i < 20000 && !caught && exporting.running(); ++i) {
    caught = std::distance(fs::directory_iterator(out.parent_path()), {}) > 1;
    if (!caught) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ASSERT_TRUE(caught) << "the export ended before it could be killed";
  exporting.signal(SIGKILL);
  exporting.wait();
  EXPECT_EQ(readFile(out), before);
}

// Ctrl-C, a plain kill or a closed terminal during an import: what was
// imported is saved, the import says how far it got, and fails. The script
// comes through a pipe, so the import waits in the middle of it (for the
// rest of a piece it reads) until the test has sent the signal.
TEST_F(ScriptCliTest, AnInterruptedImportKeepsWhatItImportedAndSaysSo) {
  constexpr int kKeys = 6000;
  constexpr std::size_t kFirstPart = 100 * 1024;  // more than one piece, less than two
  auto keyName = [](int i) { return fmt::format("K{:05}", i); };
  std::string first = "REGEDIT4\r\n", second;
  for (int i = 1; i <= kKeys; ++i)
    (first.size() < kFirstPart ? first : second) +=
        fmt::format("\r\n[HKEY_CURRENT_USER\\Software\\Interrupted\\{}]\r\n\"v\"=\"{}\"\r\n", keyName(i), i);
  // The import stops reading the pipe before the test has written all of it.
  auto previousPipeHandler = std::signal(SIGPIPE, SIG_IGN);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    fs::path prefix = corpusPrefix(fmt::format("prefix{}", signal));
    const fs::path pipe = dir_ / fmt::format("pipe{}", signal);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Background importing(command(prefix, {"--yes", "import", pipe.string()}), environment(), dir_.path());
    {
      std::ofstream feed(pipe, std::ios::binary);  // waits for the import to open it
      feed << first << std::flush;
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      importing.signal(signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      feed << second;
    }
    EXPECT_EQ(importing.wait(), 1);
    std::smatch found;
    std::string err = importing.err();
    ASSERT_TRUE(std::regex_search(err, found, std::regex("imported ([0-9,]+) keys; interrupted"))) << err;
    int imported = std::stoi(std::regex_replace(found[1].str(), std::regex(","), ""));
    EXPECT_GT(imported, 0);
    EXPECT_LT(imported, kKeys);
    // Saved: the keys up to the last one imported, none after it.
    const std::string base = "HKCU\\Software\\Interrupted\\";
    EXPECT_EQ(cli(prefix, {"query", base + keyName(imported)}).exitCode, 0);
    EXPECT_EQ(cli(prefix, {"query", base + keyName(imported + 1)}).exitCode, 1);
  }
  std::signal(SIGPIPE, previousPipeHandler);
}

// A search from a key that is not there fails and names the key, rather than
// report that nothing matched.
TEST_F(ScriptCliTest, ASearchFromAMissingKeyFails) {
  fs::path prefix = corpusPrefix("prefix");
  auto search = cli(prefix, {"search", "--find", "Wine", "--start", "HKLM\\Software\\No Such Key"});
  EXPECT_EQ(search.exitCode, 1);
  EXPECT_NE(search.err.find("HKEY_LOCAL_MACHINE\\Software\\No Such Key"), std::string::npos) << search.err;
  EXPECT_EQ(cli(prefix, {"search", "--find", "Wine", "--start", "HKLM\\Software\\Wine"}).exitCode, 0);
}

}  // namespace

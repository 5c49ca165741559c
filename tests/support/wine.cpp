#include "support/wine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>

#include "support/corpus.h"

namespace talmoor::test {

namespace fs = std::filesystem;

namespace {

std::string withoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::map<std::string, std::string> wineEnvironment(const fs::path& prefix) {
  return {{"WINEPREFIX", prefix.string()}, {"WINEDEBUG", "-all"}, {"DISPLAY", ""}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
}

// One booted prefix per build tree; a lock keeps parallel tests from booting twice.
fs::path scratchPrefix() {
  fs::path scratch = fs::path(TALMOOR_WINE_SCRATCH);
  fs::create_directories(scratch.parent_path());
  int lock = ::open((scratch.string() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
  if (lock < 0 || ::flock(lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock the Wine scratch prefix");
  if (!fs::exists(scratch / ".update-timestamp") || !fs::exists(scratch / "drive_c" / "windows" / "system32")) {
    fs::remove_all(scratch);
    auto env = wineEnvironment(scratch);
    ProcessResult boot = runProcess({wineLoader()->string(), "wineboot", "--init"}, env, 600);
    runProcess({"wineserver", "-w"}, env, 120);
    if (!fs::exists(scratch / ".update-timestamp")) {
      ::close(lock);
      throw std::runtime_error("wineboot did not prepare " + scratch.string() + ": " + boot.err);
    }
  }
  ::close(lock);
  return scratch;
}

}  // namespace

std::optional<fs::path> wineLoader() {
  for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/lib/x86_64-linux-gnu/wine/wine64"})
    if (fs::exists(candidate)) return fs::path(candidate);
  return std::nullopt;
}

fs::path makeWinePrefix(const fs::path& dir) {
  fs::path scratch = scratchPrefix();
  fs::path prefix = dir / "wineprefix";
  copyCorpusHives(prefix);
  fs::copy_file(scratch / ".update-timestamp", prefix / ".update-timestamp");
  fs::create_directory_symlink(scratch / "drive_c", prefix / "drive_c");
  return prefix;
}

ProcessResult runWine(const fs::path& prefix, const std::vector<std::string>& args) {
  std::vector<std::string> argv{wineLoader()->string()};
  argv.insert(argv.end(), args.begin(), args.end());
  auto env = wineEnvironment(prefix);
  ProcessResult result = runProcess(argv, env, 300);
  runProcess({"wineserver", "-w"}, env, 120);
  result.out = withoutCarriageReturns(result.out);
  return result;
}

}  // namespace talmoor::test

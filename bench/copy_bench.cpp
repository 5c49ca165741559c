// Copying a branch the size of a real one: the whole HKLM\Software of the
// corpus prefix (mounted from its system.reg) into an empty store, every key
// and value through the write gate with the confirmations off, as a user runs
// a large copy after ticking "do not show again". Counts keys/s and values/s.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_workspace.h"
#include "browse/entry_copy.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "search/search_options.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor;

const std::string kSource = "HKEY_USERS\\Corpus\\Software";

bool prepare() {
  static bool ready = [] {
    const fs::path dir = fs::temp_directory_path() / "talmoor-copy-bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0" / "system.reg", dir / "system.reg");
    fs::permissions(dir / "system.reg", fs::perms::owner_write, fs::perm_options::add);
    // The store is made empty where the benchmark says.
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    platform::ProfileOptions options;
    options.hives.push_back({dir / "system.reg", "HKU\\Corpus"});
    options.settingsFile = dir / "settings.reg";
    static bench::BenchWorkspace workspace;
    if (!workspace.open(options)) {
      std::fprintf(stderr, "%s\n", workspace.problem().c_str());
      return false;
    }
    search::setConfirmationsOff(true);
    return true;
  }();
  return ready;
}

void BM_CopyHklmSoftwareIntoAnEmptyStore(benchmark::State& state) {
  if (!prepare()) {
    state.SkipWithError("the corpus prefix cannot be opened");
    return;
  }
  std::size_t keys = 0, values = 0;
  for (auto _ : state) {
    browse::CopyRun run;
    search::ChangeClass change;
    browse::copyKeyBranch(kSource, "HKEY_LOCAL_MACHINE\\Software\\Copied", run, change);
    if (!run.complete()) state.SkipWithError("the copy was not complete");
    keys += run.keysCopied;
    values += run.valuesCopied;
    state.PauseTiming();
    registry::deleteKeyTree("", HKEY_LOCAL_MACHINE, "Software\\Copied", registry::ReportTo{});
    state.ResumeTiming();
  }
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsRate);
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(values), benchmark::Counter::kIsRate);
  state.counters["keys"] = static_cast<double>(keys) / static_cast<double>(state.iterations());
  state.counters["values"] = static_cast<double>(values) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_CopyHklmSoftwareIntoAnEmptyStore)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

// The script jobs on a whole registry: Export of the corpus prefix (walk,
// read every value, write the script) and Import of that script into an
// empty registry through the write gate (confirmations off); and Import of
// many values under one key and of many keys under one parent, whose time
// must grow with the count, not with its square (4,000, 20,000 and 100,000
// each; 100,000 should take under 2 s). Reports entries/s and MB/s of script
// text.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <fmt/format.h>

#include "platform/registry/registry_host.h"
#include "platform/registry/registry_profile.h"
#include "scripts/results_file_jobs.h"
#include "search/search_options.h"
#include "bench_workspace.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using namespace talmoor;

fs::path scratch() {
  static fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("talmoor-script-jobs-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

bool mount(const fs::path& prefix) {
  tp::ProfileOptions options;
  options.prefix = prefix;
  options.settingsFile = scratch() / "settings.reg";
  static talmoor::bench::BenchWorkspace workspace;
  return workspace.open(options);
}

scripts::FileJobOutcome run(scripts::FileCommand command, const fs::path& file, std::optional<std::string> key,
                            bool fresh = false) {
  search::SearchContext context(command == scripts::FileCommand::Export ? search::JobKind::Export
                                                                        : search::JobKind::ResultsFile);
  context.results = std::make_shared<search::ResultList>();
  search::ProfileTranspositions transpositions;
  scripts::FileJob job;
  job.command = command;
  job.file = file;
  job.fresh = fresh;
  job.startKey = std::move(key);
  return scripts::runFileJob(job, context, transpositions);
}

void BM_ExportWholePrefix(benchmark::State& state) {
  if (!mount(fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0")) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  const fs::path file = scratch() / "export.reg";
  std::size_t entries = 0;
  for (auto _ : state) {
    entries = run(scripts::FileCommand::Export, file, "HKEY_LOCAL_MACHINE", true).entries;
    entries += run(scripts::FileCommand::Export, file, "HKEY_USERS").entries;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries) * state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(file)) * state.iterations());
}
BENCHMARK(BM_ExportWholePrefix)->Unit(benchmark::kMillisecond);

// Mounts an empty store of its own, laid out as talmoor-cli makes one (each
// hive saying where it belongs, the keys below which the others are mounted
// made); false when it cannot be made.
bool mountEmptyStore() {
  static int round = 0;
  fs::path store = scratch() / ("store" + std::to_string(round++));
  fs::create_directories(store);
  struct Hive {
    const char* file;
    const char* where;
    std::vector<const char*> keys;
  };
  const Hive hives[] = {
      {"system.reg", "Machine", {"Software\\\\Classes", "System\\\\CurrentControlSet\\\\Control"}},
      {"user.reg", "User\\\\S-1-5-21-0-0-0-1000", {"Software", "Environment"}},
      {"userdef.reg", "User\\\\.Default", {"Software"}},
  };
  for (const auto& hive : hives) {
    std::ofstream out(store / hive.file);
    out << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\" << hive.where << "\n\n#arch=win64\n";
    for (const char* key : hive.keys) out << "\n[" << key << "] 1700000000\n";
  }
  return mount(store);
}

void confirmationsOff() {
  search::SearchOptions options = search::currentSearchOptions();
  options.confirmationsOff = 1;
  search::storeSearchOptions(options);
}

// A script of `count` values under one key, or of `count` keys (one value
// each) under one parent.
fs::path wideScript(bool keys, std::int64_t count) {
  fs::path file = scratch() / fmt::format("{}-{}.reg", keys ? "keys" : "values", count);
  if (fs::exists(file)) return file;
  std::ofstream out(file, std::ios::binary);
  out << "REGEDIT4\r\n";
  if (!keys) out << "\r\n[HKEY_LOCAL_MACHINE\\Software\\Wide]\r\n";
  for (std::int64_t i = 0; i < count; ++i) {
    if (keys) out << fmt::format("\r\n[HKEY_LOCAL_MACHINE\\Software\\Wide\\Key {:06}]\r\n", i);
    out << fmt::format("\"Value {:06}\"=\"data {}\"\r\n", i, i);
  }
  return file;
}

void importWide(benchmark::State& state, bool keys) {
  const fs::path file = wideScript(keys, state.range(0));
  std::size_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bool mounted = mountEmptyStore();
    // The options belong to the workspace the store was opened in.
    if (mounted) confirmationsOff();
    state.ResumeTiming();
    if (!mounted) {
      state.SkipWithError("an empty store could not be mounted");
      return;
    }
    scripts::FileJobOutcome outcome = run(scripts::FileCommand::Import, file, std::nullopt);
    if (!outcome.ok || outcome.failures > 0) {
      state.SkipWithError("the import failed");
      return;
    }
    entries = outcome.entries;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries) * state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(file)) * state.iterations());
}

void BM_ImportValuesUnderOneKey(benchmark::State& state) { importWide(state, false); }
BENCHMARK(BM_ImportValuesUnderOneKey)->Arg(4000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ImportKeysUnderOneParent(benchmark::State& state) { importWide(state, true); }
BENCHMARK(BM_ImportKeysUnderOneParent)->Arg(4000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The values of the hive list, which the registry keeps for itself.
constexpr std::size_t kHiveListValues = 3;

void BM_ImportIntoEmptyStore(benchmark::State& state) {
  const fs::path file = scratch() / "export.reg";
  if (!fs::exists(file)) {
    state.SkipWithError("the export benchmark runs first");
    return;
  }
  std::size_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bool mounted = mountEmptyStore();
    // The options belong to the workspace the store was opened in.
    if (mounted) confirmationsOff();
    state.ResumeTiming();
    if (!mounted) {
      state.SkipWithError("an empty store could not be mounted");
      return;
    }
    scripts::FileJobOutcome outcome = run(scripts::FileCommand::Import, file, std::nullopt);
    // The hive list is the running registry's own: only its values may fail.
    if (!outcome.ok || outcome.failures > kHiveListValues) {
      state.SkipWithError("the import failed");
      return;
    }
    entries = outcome.entries;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries) * state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(file)) * state.iterations());
}
BENCHMARK(BM_ImportIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

// The script jobs on a whole registry: Export of the corpus prefix (walk,
// read every value, write the script) and Import of that script into an
// empty registry through the write gate (confirmations off). Reports values/s
// and MB/s of script text.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "platform/registry/registry_host.h"
#include "platform/registry/registry_profile.h"
#include "scripts/results_file_jobs.h"
#include "search/search_options.h"

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
  try {
    tp::setCurrentRegistryHost(tp::openRegistryProfile(options).host);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

scripts::FileJobOutcome run(scripts::FileCommand command, const fs::path& file, std::optional<std::string> key,
                            bool fresh = false) {
  search::SearchContext context(command == scripts::FileCommand::Export ? search::kJobExport : search::kJobResultsFile);
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

void BM_ImportIntoEmptyStore(benchmark::State& state) {
  const fs::path file = scratch() / "export.reg";
  if (!fs::exists(file)) {
    state.SkipWithError("the export benchmark runs first");
    return;
  }
  search::SearchOptions options = search::currentSearchOptions();
  options.confirmationsOff = 1;
  search::storeSearchOptions(options);
  std::size_t entries = 0;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::path store = scratch() / ("store" + std::to_string(round++));
    fs::create_directories(store);
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"})
      std::ofstream(store / hive) << "WINE REGISTRY Version 2\n";
    bool mounted = mount(store);
    state.ResumeTiming();
    if (!mounted) {
      state.SkipWithError("an empty store could not be mounted");
      return;
    }
    entries = run(scripts::FileCommand::Import, file, std::nullopt).entries;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(entries) * state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(file)) * state.iterations());
}
BENCHMARK(BM_ImportIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

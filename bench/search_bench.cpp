// The search walk over the whole corpus prefix (and over the corpus SYSTEM
// hive alone): a Find that examines every
// key name, value name and datum (all types), the same walk with a matcher
// that never matches (the cost of walking alone), and a plain byte scan of
// the same names and data held in memory, for comparison.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry/registry_host.h"
#include "platform/registry/registry_profile.h"
#include "search/replace/search_actions.h"
#include "search/replace/text_match.h"
#include "search/search_context.h"
#include "search/search_walk.h"
#include "bench_workspace.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::search;

// The corpus prefix, or the corpus SYSTEM hive alone at HKLM\BENCH: one
// workspace at a time, opened again when a benchmark wants the other.
enum class Mounted { None, Prefix, SystemHive };

bool mount(Mounted which) {
  static Mounted current = Mounted::None;
  static talmoor::bench::BenchWorkspace workspace;
  if (current == which) return true;
  talmoor::platform::ProfileOptions options;
  if (which == Mounted::Prefix)
    options.prefix = fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0";
  else
    options.hives.push_back({fs::path(TALMOOR_CORPUS_DIR) / "hives" / "SYSTEM", "HKLM\\BENCH"});
  options.settingsFile = fs::temp_directory_path() / "talmoor-search-bench-settings.reg";
  current = workspace.open(options) ? which : Mounted::None;
  return current == which;
}

bool mountCorpus() { return mount(Mounted::Prefix); }

struct WalkTotals {
  std::int64_t items = 0;
  std::int64_t bytes = 0;
};

// A Find with every type searched; `matcher` decides.
WalkTotals runWalk(benchmark::State& state, SearchMatcher matcher, std::int64_t& recorded,
                   const std::optional<std::string>& start = std::nullopt) {
  WalkTotals totals;
  SearchContext context(JobKind::Search);
  context.criteria.mode = kModeFind;
  context.action = nullptr;
  context.criteria.typeMask = kTypeBitAll;
  context.criteria.findText = "qqzx-never-there";
  context.matcher = [&totals, inner = std::move(matcher)](const SearchItem& item, SearchContext& c) {
    ++totals.items;
    totals.bytes += static_cast<std::int64_t>(item.name.size() + item.data.size());
    return inner(item, c);
  };
  context.results = std::make_shared<ResultList>();
  walkRegistry(context, start);
  recorded = static_cast<std::int64_t>(context.results->size());
  (void)state;
  return totals;
}

void BM_FindWalkExaminesEverything(benchmark::State& state) {
  if (!mountCorpus()) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  WalkTotals totals;
  std::int64_t recorded = 0;
  for (auto _ : state) totals = runWalk(state, searchMatcher, recorded);
  state.SetItemsProcessed(totals.items * state.iterations());
  state.SetBytesProcessed(totals.bytes * state.iterations());
  state.counters["items_per_walk"] = static_cast<double>(totals.items);
  state.counters["rows"] = static_cast<double>(recorded);
}
BENCHMARK(BM_FindWalkExaminesEverything)->Unit(benchmark::kMillisecond);

void BM_WalkAlone(benchmark::State& state) {
  if (!mountCorpus()) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  WalkTotals totals;
  std::int64_t recorded = 0;
  for (auto _ : state) totals = runWalk(state, [](const SearchItem&, SearchContext&) { return false; }, recorded);
  state.SetItemsProcessed(totals.items * state.iterations());
  state.SetBytesProcessed(totals.bytes * state.iterations());
}
BENCHMARK(BM_WalkAlone)->Unit(benchmark::kMillisecond);

// The same Find over the corpus SYSTEM hive, read on demand from its file.
void BM_FindWalkSystemHive(benchmark::State& state) {
  if (!mount(Mounted::SystemHive)) {
    state.SkipWithError("corpus SYSTEM hive not available");
    return;
  }
  WalkTotals totals;
  std::int64_t recorded = 0;
  for (auto _ : state) totals = runWalk(state, searchMatcher, recorded, "HKEY_LOCAL_MACHINE\\BENCH");
  state.SetItemsProcessed(totals.items * state.iterations());
  state.SetBytesProcessed(totals.bytes * state.iterations());
  state.counters["items_per_walk"] = static_cast<double>(totals.items);
}
BENCHMARK(BM_FindWalkSystemHive)->Unit(benchmark::kMillisecond);

// The same names and data, collected once, scanned with the same test.
void BM_PlainByteScan(benchmark::State& state) {
  if (!mountCorpus()) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  std::vector<std::vector<BYTE>> pieces;
  std::int64_t recorded = 0;
  runWalk(state,
          [&pieces](const SearchItem& item, SearchContext&) {
            pieces.emplace_back(item.name.begin(), item.name.end());
            if (!item.isKey) pieces.emplace_back(item.data.begin(), item.data.end());
            return false;
          },
          recorded);
  std::int64_t bytes = 0;
  for (const auto& piece : pieces) bytes += static_cast<std::int64_t>(piece.size());
  const std::string find = "qqzx-never-there";
  for (auto _ : state) {
    std::size_t hits = 0;
    for (const auto& piece : pieces) hits += containsIgnoringCase(piece, bytesOf(find)) ? 1 : 0;
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(pieces.size()) * state.iterations());
  state.SetBytesProcessed(bytes * state.iterations());
}
BENCHMARK(BM_PlainByteScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

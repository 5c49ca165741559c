// The browsers' work without windows, on a copy of the corpus prefix: a key
// with 10,000 subkeys listed into the tree (what the window shows at once on
// expansion) and named by the rules (what follows in the background), the
// services of the prefix named, and a key with 5,000 values read into rows
// (what selecting it costs before the list fills).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_workspace.h"
#include "browse/key_naming.h"
#include "browse/key_tree.h"
#include "browse/value_list.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor;

constexpr int kSubkeys = 10'000;
constexpr int kValues = 5'000;
const std::string kWide = "HKEY_LOCAL_MACHINE\\Software\\BrowseBench\\Wide";
const std::string kMany = "HKEY_LOCAL_MACHINE\\Software\\BrowseBench\\Many";
const std::string kServices = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services";

// A copy of the corpus prefix with the wide key and the key of many values
// made in memory (never saved).
bool prepare() {
  static bool ready = [] {
    const fs::path dir = fs::temp_directory_path() / "talmoor-browse-bench";
    fs::remove_all(dir);
    fs::create_directories(dir / "prefix");
    for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
      fs::copy_file(fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0" / name, dir / "prefix" / name);
      fs::permissions(dir / "prefix" / name, fs::perms::owner_write, fs::perm_options::add);
    }
    platform::ProfileOptions options;
    options.prefix = dir / "prefix";
    options.settingsFile = dir / "settings.reg";
    static bench::BenchWorkspace workspace;
    if (!workspace.open(options)) {
      std::fprintf(stderr, "%s\n", workspace.problem().c_str());
      return false;
    }
    HKEY wide = 0, many = 0;
    for (auto [path, key] : {std::pair{"Software\\BrowseBench\\Wide", &wide}, {"Software\\BrowseBench\\Many", &many}}) {
      if (LONG rc = registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, path, *key, registry::kAllKeyAccess);
          rc != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot make %s: %ld\n", path, static_cast<long>(rc));
        return false;
      }
    }
    for (int i = 0; i < kSubkeys; ++i) {
      HKEY child = 0;
      registry::createKeyPrimitive("", wide, "Key " + std::to_string(i), child, registry::kAllKeyAccess);
      registry::closeKey(child);
    }
    for (int i = 0; i < kValues; ++i) {
      std::string name = "Value " + std::to_string(i);
      std::vector<BYTE> data(name.begin(), name.end());
      data.push_back(0);
      registry::setValue("", many, std::nullopt, name, data, REG_SZ, {}, nullptr);
    }
    registry::closeKey(wide);
    registry::closeKey(many);
    return true;
  }();
  return ready;
}

void BM_ExpandKeyOfTenThousandSubkeys(benchmark::State& state) {
  if (!prepare()) return state.SkipWithError("the corpus prefix could not be opened");
  for (auto _ : state) {
    browse::KeyTree tree;
    // The listing goes under the nearest item there is: what it costs is
    // listing the key and making its 10,000 items.
    tree.insertListing(tree.reach(kWide).reached, browse::listSubkeys(kWide));
    benchmark::DoNotOptimize(tree.size());
  }
  state.SetItemsProcessed(state.iterations() * kSubkeys);
}

void BM_ListOnlyTenThousandSubkeys(benchmark::State& state) {
  if (!prepare()) return state.SkipWithError("the corpus prefix could not be opened");
  for (auto _ : state) {
    auto listing = browse::listSubkeys(kWide);
    benchmark::DoNotOptimize(listing.keys.size());
  }
  state.SetItemsProcessed(state.iterations() * kSubkeys);
}

void BM_NameTenThousandSubkeys(benchmark::State& state) {
  if (!prepare()) return state.SkipWithError("the corpus prefix could not be opened");
  std::vector<std::string> names;
  for (const auto& key : browse::listSubkeys(kWide).keys) names.push_back(key.name);
  for (auto _ : state) {
    browse::KeyNamer namer;
    auto named = browse::nameChildren(namer, kWide, names, 17);
    benchmark::DoNotOptimize(named.size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
}

void BM_NameTheServices(benchmark::State& state) {
  if (!prepare()) return state.SkipWithError("the corpus prefix could not be opened");
  std::vector<std::string> names;
  for (const auto& key : browse::listSubkeys(kServices).keys) names.push_back(key.name);
  std::int64_t friendly = 0;
  for (auto _ : state) {
    browse::KeyNamer namer;
    auto named = browse::nameChildren(namer, kServices, names, 17);
    friendly = 0;
    for (const auto& n : named) friendly += n.displayName.has_value();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
  state.counters["keys"] = static_cast<double>(names.size());
  state.counters["named"] = static_cast<double>(friendly);
}

void BM_ReadKeyOfFiveThousandValues(benchmark::State& state) {
  if (!prepare()) return state.SkipWithError("the corpus prefix could not be opened");
  std::int64_t bytes = 0;
  for (auto _ : state) {
    auto listing = browse::readValues(kMany);
    browse::ValueList list;
    list.reset(kMany, std::move(listing.rows));
    bytes = 0;
    for (const auto& row : list.rows()) bytes += static_cast<std::int64_t>(row.data.size());
    benchmark::DoNotOptimize(list.size());
  }
  state.SetItemsProcessed(state.iterations() * kValues);
  state.SetBytesProcessed(state.iterations() * bytes);
}

}  // namespace

BENCHMARK(BM_ExpandKeyOfTenThousandSubkeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListOnlyTenThousandSubkeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameTenThousandSubkeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameTheServices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadKeyOfFiveThousandValues)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

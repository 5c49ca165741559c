// The registry service on the corpus system.reg: the parse alone (from text
// in memory), load, walk every key and value through the ANSI calls, save.
// Reports keys/s, values/s, items/s (keys and values) and MB/s.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/files/atomic_file.h"
#include "platform/registry/hive.h"
#include "platform/registry/registry_host.h"
#include "platform/registry/win32_registry.h"
#include "platform/registry/wine_text_format.h"
#include "bench_workspace.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;

fs::path corpusSystemReg() { return fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0" / "system.reg"; }

std::shared_ptr<tp::Hive> loadSystem() {
  std::shared_ptr<tp::Hive> hive;
  if (tp::Hive::load(corpusSystemReg(), hive) != ERROR_SUCCESS) return nullptr;
  return hive;
}

struct WalkCounts {
  std::int64_t keys = 0;
  std::int64_t values = 0;
};

void walk(HKEY key, WalkCounts& counts, std::vector<char>& name, std::vector<BYTE>& data) {
  ++counts.keys;
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG rc = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      data.resize(data.size() * 2);
      name.resize(name.size() * 2);
      --i;
      continue;
    }
    ++counts.values;
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExA(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child = 0;
    if (RegOpenKeyExA(key, name.data(), REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) continue;
    walk(child, counts, name, data);
    RegCloseKey(child);
  }
}

std::string systemRegText() {
  std::ifstream in(corpusSystemReg(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every key below `key`, itself included, and their values.
void countTree(const tp::KeyNode& key, WalkCounts& counts) {
  ++counts.keys;
  counts.values += static_cast<std::int64_t>(key.values().size());
  for (const auto& child : key.subkeys()) countTree(*child, counts);
}

void BM_ParseSystemReg(benchmark::State& state) {
  std::string text = systemRegText();
  if (text.empty()) return state.SkipWithError("no corpus system.reg");
  WalkCounts counts;
  countTree(*tp::parseWineRegistry(text, "system.reg").root, counts);
  for (auto _ : state) {
    auto parsed = tp::parseWineRegistry(text, "system.reg");
    benchmark::DoNotOptimize(parsed.root);
  }
  state.SetItemsProcessed((counts.keys + counts.values) * state.iterations());
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(text.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LoadSystemReg(benchmark::State& state) {
  auto bytes = fs::file_size(corpusSystemReg());
  for (auto _ : state) benchmark::DoNotOptimize(loadSystem());
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WalkEveryKeyAndValue(benchmark::State& state) {
  auto machine = std::make_shared<tp::MachineRegistry>();
  machine->mount(loadSystem(), u"\\REGISTRY\\MACHINE");
  auto profile = std::make_shared<tp::RegistryProfile>();
  profile->host = std::make_shared<tp::RegistryHost>(machine);
  talmoor::bench::BenchWorkspace workspace;
  workspace.over(profile);
  WalkCounts counts;
  std::vector<char> name(256);
  std::vector<BYTE> data(4096);
  for (auto _ : state) {
    counts = {};
    walk(HKEY_LOCAL_MACHINE, counts, name, data);
  }
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(counts.keys), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["values/s"] = benchmark::Counter(static_cast<double>(counts.values), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["keys"] = static_cast<double>(counts.keys);
  state.counters["values"] = static_cast<double>(counts.values);
}

void BM_SaveSystemReg(benchmark::State& state) {
  auto hive = loadSystem();
  fs::path target = fs::temp_directory_path() / "talmoor-bench-system.reg";
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = tp::Hive::serializeSubtree(hive->root(), hive->relativeTo(), hive->arch());
    bytes = text.size();
    tp::replaceFileAtomically(target, text);
  }
  fs::remove(target);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ParseSystemReg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSystemReg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkEveryKeyAndValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSystemReg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

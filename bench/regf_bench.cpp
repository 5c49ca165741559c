// The regf format on the corpus SYSTEM hive (11.8 MB, 30,756 keys, 73,456
// values): reading it from memory and from its file, writing it to memory
// and saving it to a file. Reports items/s (keys and values) and MB/s.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/files/atomic_file.h"
#include "platform/registry/hive.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/regf_writer.h"
#include "platform/security/security_descriptor.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;

fs::path corpusSystemHive() { return fs::path(TALMOOR_CORPUS_DIR) / "hives" / "SYSTEM"; }

std::string systemBytes() {
  std::ifstream in(corpusSystemHive(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::span<const std::uint8_t> asBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

void setRates(benchmark::State& state, const tp::RegfStatistics& statistics, std::size_t bytes) {
  double items = static_cast<double>(statistics.keys + statistics.values);
  state.SetItemsProcessed(static_cast<std::int64_t>(items) * state.iterations());
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadSystemHive(benchmark::State& state) {
  std::string bytes = systemBytes();
  if (bytes.empty()) return state.SkipWithError("no corpus SYSTEM hive");
  tp::RegfStatistics statistics;
  for (auto _ : state) {
    auto hive = tp::readRegfHive(asBytes(bytes), "SYSTEM");
    statistics = hive.statistics;
    benchmark::DoNotOptimize(hive.root);
  }
  setRates(state, statistics, bytes.size());
}

// The bytes of security descriptors the tree holds, each shared copy once.
std::size_t descriptorBytesHeld(const tp::KeyNode& root) {
  std::set<const BYTE*> seen;
  std::size_t total = 0;
  std::vector<const tp::KeyNode*> pending{&root};
  while (!pending.empty()) {
    const tp::KeyNode* key = pending.back();
    pending.pop_back();
    if (!key->security.empty() && seen.insert(key->security.bytes().data()).second) total += key->security.size();
    for (const auto& child : key->subkeys()) pending.push_back(child.get());
  }
  return total;
}

void BM_LoadSystemHiveFile(benchmark::State& state) {
  std::string bytes = systemBytes();
  if (bytes.empty()) return state.SkipWithError("no corpus SYSTEM hive");
  auto statistics = tp::readRegfHive(asBytes(bytes), "SYSTEM").statistics;
  std::size_t descriptorBytes = 0;
  for (auto _ : state) {
    std::shared_ptr<tp::Hive> hive;
    tp::Hive::load(corpusSystemHive(), hive);
    benchmark::DoNotOptimize(hive);
    state.PauseTiming();
    descriptorBytes = descriptorBytesHeld(*hive->root());
    state.ResumeTiming();
  }
  setRates(state, statistics, bytes.size());
  // What the keys' descriptors cost in memory (one copy per key would be
  // megabytes for this hive).
  state.counters["descriptor KB"] = static_cast<double>(descriptorBytes) / 1024.0;
}

void BM_WriteSystemHive(benchmark::State& state) {
  std::string bytes = systemBytes();
  if (bytes.empty()) return state.SkipWithError("no corpus SYSTEM hive");
  auto hive = tp::readRegfHive(asBytes(bytes), "SYSTEM");
  tp::RegfWriteOptions options;
  options.defaultSecurity = tp::defaultKeySecurity();
  std::size_t written = 0;
  for (auto _ : state) {
    std::string out = tp::writeRegfHive(*hive.root, options);
    written = out.size();
    benchmark::DoNotOptimize(out);
  }
  setRates(state, hive.statistics, written);
}

void BM_SaveSystemHiveFile(benchmark::State& state) {
  std::string bytes = systemBytes();
  if (bytes.empty()) return state.SkipWithError("no corpus SYSTEM hive");
  auto statistics = tp::readRegfHive(asBytes(bytes), "SYSTEM").statistics;
  fs::path target = fs::temp_directory_path() / "talmoor-bench-SYSTEM";
  tp::replaceFileAtomically(target, bytes);
  std::shared_ptr<tp::Hive> hive;
  tp::Hive::load(target, hive);
  std::size_t written = 0;
  for (auto _ : state) {
    hive->save();
    written = fs::file_size(target);
  }
  fs::remove(target);
  setRates(state, statistics, written);
}

BENCHMARK(BM_ReadSystemHive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSystemHiveFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteSystemHive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSystemHiveFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

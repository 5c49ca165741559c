// The mask engine on the string data of the corpus system.reg: the file-path
// mask the verifier runs over every value, and a plain literal mask against
// std::string_view::find on the same values. Reports MB/s.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/interaction.h"
#include "base/masks/builtin_masks.h"
#include "base/masks/mask_engine.h"

namespace {

using namespace talmoor::masks;

namespace fs = std::filesystem;
namespace ts = talmoor::masks;

// The quoted value data of every line of a Wine text hive, unescaped.
std::vector<std::string> loadValues() {
  std::ifstream in(fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0" / "system.reg", std::ios::binary);
  std::vector<std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t at = line.find("=\"");
    if (at == std::string::npos) at = line.find("=str(2):\"");
    if (at == std::string::npos || (line[0] != '"' && line[0] != '@')) continue;
    at = line.find('"', at) + 1;
    std::string value;
    for (; at < line.size() && line[at] != '"'; ++at) {
      if (line[at] == '\\' && at + 1 < line.size()) ++at;
      value.push_back(line[at]);
    }
    values.push_back(std::move(value));
  }
  return values;
}

const std::vector<std::string>& values() {
  static const std::vector<std::string> loaded = loadValues();
  return loaded;
}

double bytesOf(const std::vector<std::string>& all) {
  double bytes = 0;
  for (const auto& v : all) bytes += static_cast<double>(v.size() + 1);
  return bytes;
}

// Boxes would go to the console; none are expected.
struct Silent : talmoor::Interaction {
  int messageBox(const talmoor::MessageBoxRequest&) override { return talmoor::IDOK; }
};

void BM_FilePathMask(benchmark::State& state) {
  talmoor::ScopedInteraction silent(std::make_shared<Silent>());
  const auto& all = values();
  std::int64_t found = 0;
  const ts::MaskCallback count = [&found](const ts::MaskOccurrence&, ts::MaskReply& reply) {
    ++found;
    reply.giveBack = 1;
    return ts::MaskVerdict::Accept;
  };
  for (auto _ : state) {
    found = 0;
    for (const auto& v : all) benchmark::DoNotOptimize(ts::MaskSearch(ts::terminated(v), ts::filePathMask(), count));
  }
  state.counters["MB/s"] = benchmark::Counter(bytesOf(all) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["values"] = static_cast<double>(all.size());
  state.counters["references"] = static_cast<double>(found);
}

constexpr char kLiteral[] = "system32";

void BM_LiteralMaskSearch(benchmark::State& state) {
  talmoor::ScopedInteraction silent(std::make_shared<Silent>());
  const auto& all = values();
  std::int64_t found = 0;
  const ts::MaskCallback count = [&found](const ts::MaskOccurrence&, ts::MaskReply&) {
    ++found;
    return ts::MaskVerdict::Accept;
  };
  const std::string_view mask(kLiteral, sizeof kLiteral);  // with its NUL
  for (auto _ : state) {
    found = 0;
    for (const auto& v : all) benchmark::DoNotOptimize(ts::MaskSearch(ts::terminated(v), mask, count));
  }
  state.counters["MB/s"] = benchmark::Counter(bytesOf(all) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["found"] = static_cast<double>(found);
}

void BM_LiteralStringViewFind(benchmark::State& state) {
  const auto& all = values();
  std::int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (const auto& v : all) {
      std::string_view text(v);
      for (auto at = text.find(kLiteral); at != std::string_view::npos; at = text.find(kLiteral, at + sizeof kLiteral - 1))
        ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["MB/s"] = benchmark::Counter(bytesOf(all) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["found"] = static_cast<double>(found);
}

// The same literal over all the values as one text (NUL-separated, as a
// multi-string holds them): the engine's own speed without the per-call cost.
const std::string& allInOne() {
  static const std::string joined = [] {
    std::string text;
    for (const auto& v : values()) {
      text += v;
      text.push_back('\0');
    }
    return text;
  }();
  return joined;
}

void BM_LiteralMaskSearchOneText(benchmark::State& state) {
  const std::string& text = allInOne();
  std::int64_t found = 0;
  const ts::MaskCallback count = [&found](const ts::MaskOccurrence&, ts::MaskReply&) {
    ++found;
    return ts::MaskVerdict::Accept;
  };
  for (auto _ : state) {
    found = 0;
    benchmark::DoNotOptimize(ts::MaskSearch(ts::terminated(text), std::string_view(kLiteral, sizeof kLiteral), count));
  }
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(text.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["found"] = static_cast<double>(found);
}

void BM_LiteralStringViewFindOneText(benchmark::State& state) {
  const std::string_view text = allInOne();
  std::int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (auto at = text.find(kLiteral); at != std::string_view::npos; at = text.find(kLiteral, at + sizeof kLiteral - 1))
      ++found;
    benchmark::DoNotOptimize(found);
  }
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(text.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["found"] = static_cast<double>(found);
}

BENCHMARK(BM_FilePathMask)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralMaskSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralStringViewFind)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralMaskSearchOneText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralStringViewFindOneText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

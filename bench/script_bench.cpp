// Registry scripts on the corpus system.reg: every key and value written to a
// script in a temporary folder, then read back (from the file and from
// memory), and Wine's UTF-16 regedit export read. Reports items/s (values
// written, entries read) and MB/s of script text.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "scripts/script_reader.h"
#include "scripts/script_writer.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using namespace talmoor::scripts;

fs::path corpusFile(const char* name) { return fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0" / name; }

struct Entry {
  std::string keyPath;
  std::string name;
  DWORD type;
  std::vector<BYTE> data;  // as the ANSI calls give it
};

void collect(const tp::KeyNode& key, const std::string& path, std::vector<Entry>& out) {
  if (key.values().empty()) out.push_back({path, {}, 0, {}});  // a key line of its own
  for (const auto& value : key.values()) {
    std::vector<BYTE> data = value.data.toVector();
    if (isStringType(value.type)) {
      std::string text = tp::wideToAnsi(tp::utf16FromBytes(value.data));
      data.assign(text.begin(), text.end());
    }
    out.push_back({path, tp::wideToAnsi(value.name), value.type, std::move(data)});
  }
  for (const auto& sub : key.subkeys()) collect(*sub, path + "\\" + tp::wideToAnsi(sub->name()), out);
}

const std::vector<Entry>* systemEntries() {
  static std::unique_ptr<std::vector<Entry>> entries = [] {
    std::shared_ptr<tp::Hive> hive;
    if (tp::Hive::load(corpusFile("system.reg"), hive) != ERROR_SUCCESS) return std::unique_ptr<std::vector<Entry>>();
    auto out = std::make_unique<std::vector<Entry>>();
    for (const auto& sub : hive->root()->subkeys())
      collect(*sub, "HKEY_LOCAL_MACHINE\\" + tp::wideToAnsi(sub->name()), *out);
    return out;
  }();
  return entries.get();
}

struct TempFolder {
  TempFolder() : path(fs::temp_directory_path() / ("talmoor-script-bench-" + std::to_string(::getpid()))) {
    fs::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

std::int64_t writeScript(const std::vector<Entry>& entries, const fs::path& file) {
  std::int64_t values = 0;
  bool written = writeScriptFile(file, true, [&](ScriptWriter& writer) {
                   for (const auto& e : entries) {
                     writer.writeKeyLine(e.keyPath);
                     if (e.type == 0 && e.name.empty() && e.data.empty()) continue;
                     writer.writeValueLine(e.name, e.type, e.data);
                     ++values;
                   }
                   return true;
                 }).written;
  return written ? values : -1;
}

struct Counter : ScriptVisitor {
  bool onKey(const ScriptKey& key) override {
    bytes += key.path.size();
    return true;
  }
  bool onValue(ScriptValue& value) override {
    bytes += value.data.size();
    return true;
  }
  std::size_t bytes = 0;
};

void BM_WriteSystemRegScript(benchmark::State& state) {
  const auto* entries = systemEntries();
  if (!entries) return state.SkipWithError("no corpus");
  TempFolder dir;
  std::int64_t values = 0;
  for (auto _ : state) values = writeScript(*entries, dir.path / "system-export.reg");
  if (values < 0) return state.SkipWithError("write failed");
  state.SetItemsProcessed(state.iterations() * values);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(dir.path / "system-export.reg")));
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_WriteSystemRegScript)->Unit(benchmark::kMillisecond);

// Reads the script once per iteration and reports entries and bytes.
ReadResult timeReading(benchmark::State& state, const fs::path& file) {
  ReadResult result;
  for (auto _ : state) {
    Counter counter;
    result = readScriptFile(file, counter);
    benchmark::DoNotOptimize(counter.bytes);
  }
  if (!result.completed()) {
    state.SkipWithError("read failed");
    return result;
  }
  state.SetItemsProcessed(state.iterations() * result.counts.entries);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(file)));
  return result;
}

void BM_ReadSystemRegScriptFile(benchmark::State& state) {
  const auto* entries = systemEntries();
  if (!entries) return state.SkipWithError("no corpus");
  TempFolder dir;
  fs::path file = dir.path / "system-export.reg";
  if (writeScript(*entries, file) < 0) return state.SkipWithError("write failed");
  if (ReadResult result = timeReading(state, file); result.completed()) state.counters["entries"] = result.counts.entries;
}
BENCHMARK(BM_ReadSystemRegScriptFile)->Unit(benchmark::kMillisecond);

void BM_ReadWineExportUtf16(benchmark::State& state) {
  fs::path file = corpusFile("regedit-export-ntcurrentversion.reg");
  if (!fs::exists(file)) return state.SkipWithError("no corpus");
  timeReading(state, file);
}
BENCHMARK(BM_ReadWineExportUtf16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

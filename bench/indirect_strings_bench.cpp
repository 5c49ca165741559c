// Indirect strings ("@%SystemRoot%\system32\x.dll,-200") resolved as the
// display form resolves them on a Windows installation: 64 modules, each with
// its texts in system32\en-US\<module>.mui (copies of the corpus' tzres.dll,
// a real module of 475 KB holding 417 strings), looked up round-robin over
// modules and ids. Through a profile's cache (as the key browser, the value
// list and `query --display` do), and, for comparison, one string read from
// the module for every lookup (as the display form did before the cache).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "platform/files/drive_map.h"
#include "platform/files/module_search.h"
#include "platform/files/module_strings.h"
#include "platform/files/pe_resources.h"
#include "platform/files/windows_environment.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;

constexpr int kModules = 64;

struct Installation {
  fs::path root;
  tp::DriveMap drives;
  tp::WindowsEnvironment environment;
  std::vector<unsigned> ids;  // ids the module holds
  bool ready = false;

  Installation() {
    const fs::path tzres = fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0/drive_c-files/windows/system32/tzres.dll";
    auto texts = tp::readModuleTexts(tzres);
    if (!texts) return;
    for (const auto& entry : texts->strings) ids.push_back(entry.first);
    root = fs::temp_directory_path() / fmt::format("talmoor-indirect-bench-{}", ::getpid());
    const fs::path system32 = root / "Windows" / "System32";
    fs::create_directories(system32 / "en-US");
    for (int i = 0; i < kModules; ++i) {
      fs::copy_file(tzres, system32 / fmt::format("module{}.dll", i));
      fs::copy_file(tzres, system32 / "en-US" / fmt::format("module{}.dll.mui", i));
    }
    drives.setDrive('C', root);
    environment.set("SystemRoot", "C:\\Windows");
    ready = true;
  }
  ~Installation() {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }

  std::string module(std::size_t n) const {
    return fmt::format("%SystemRoot%\\system32\\module{}.dll", n % kModules);
  }
};

const Installation& installation() {
  static const Installation made;
  return made;
}

void BM_IndirectStringsThroughTheCache(benchmark::State& state) {
  const auto& setup = installation();
  if (!setup.ready) return state.SkipWithError("no corpus tzres.dll");
  tp::ModuleStringCache cache({"de-DE", "en-US"});
  std::size_t n = 0;
  for (auto _ : state) {
    auto text = cache.find(setup.module(n), setup.ids[n % setup.ids.size()], setup.environment, setup.drives);
    if (!text) return state.SkipWithError("a string was not found");
    benchmark::DoNotOptimize(text);
    ++n;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_IndirectStringsThroughTheCache);

// The way before the cache: the module found and one string block read from
// it for every string (the module itself, as a Wine prefix's modules hold
// their strings).
void BM_OneStringReadFromTheModuleEachTime(benchmark::State& state) {
  const auto& setup = installation();
  if (!setup.ready) return state.SkipWithError("no corpus tzres.dll");
  std::size_t n = 0;
  for (auto _ : state) {
    auto file = tp::findModuleFile(setup.module(n), setup.environment, setup.drives);
    auto text = file ? tp::loadStringResource(*file, setup.ids[n % setup.ids.size()]) : std::nullopt;
    if (!text) return state.SkipWithError("a string was not found");
    benchmark::DoNotOptimize(text);
    ++n;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_OneStringReadFromTheModuleEachTime);

}  // namespace

BENCHMARK_MAIN();

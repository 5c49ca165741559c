// A Find that lists 100,000 rows, run three ways on the same registry (a
// Talmoor store of 1,000 keys holding 100 matching values each):
//   - the plain driver, as talmoor-cli runs it (rows into a ResultList, no window);
//   - the Search window offscreen (rows flushed in batches into its model and
//     its table view; the GUI thread waits in its event loop);
//   - the result model alone over the driver (no view).
// Each iteration times the search from Go until every row is in the model
// and Go reads "Go" again; the window is made and destroyed outside the
// timing. The window's longest GUI stall (the longest gap between ticks of a
// 5 ms timer) is reported too. At the end the mean times and the ratio
// window / plain driver are printed (the target is at most 1.5).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "search/search_driver.h"
#include "search/ui/result_item_model.h"
#include "search/ui/search_window.h"
#include "bench_workspace.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor;
using Clock = std::chrono::steady_clock;

constexpr int kKeys = 1000;
constexpr int kValuesPerKey = 100;
constexpr int kRows = kKeys * kValuesPerKey;
constexpr const char* kStart = "HKEY_LOCAL_MACHINE\\Software\\Bench";
constexpr const char* kFind = "match";

fs::path scratch() {
  static fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("talmoor-search-window-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// A store whose system.reg holds the keys and values, in the Wine text format.
void writeStore(const fs::path& prefix) {
  fs::create_directories(prefix);
  {
    std::ofstream out(prefix / "system.reg", std::ios::binary);
    out << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    for (int k = 0; k < kKeys; ++k) {
      out << fmt::format("\n[Software\\\\Bench\\\\K{:04}] 1796573524\n", k);
      for (int v = 0; v < kValuesPerKey; ++v) out << fmt::format("\"v{:03}\"=\"{} {}\"\n", v, kFind, k * kValuesPerKey + v);
    }
  }
  std::ofstream(prefix / "user.reg", std::ios::binary)
      << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
  std::ofstream(prefix / "userdef.reg", std::ios::binary)
      << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n#arch=win64\n";
}

// Opened by main and closed by it, before the application object goes.
std::unique_ptr<bench::BenchWorkspace> g_workspace;

bool mount() {
  if (g_workspace) return true;
  writeStore(scratch() / "store");
  platform::ProfileOptions options;
  options.prefix = scratch() / "store";
  options.settingsFile = scratch() / "settings.reg";
  auto workspace = std::make_unique<bench::BenchWorkspace>();
  if (!workspace->open(options)) {
    std::fprintf(stderr, "cannot open the store: %s\n", workspace->problem().c_str());
    return false;
  }
  g_workspace = std::move(workspace);
  return true;
}

search::SearchParameters findParameters() {
  search::SearchParameters parameters;
  parameters.mode = search::kModeFind;
  parameters.findText = kFind;
  return parameters;
}

struct Means {
  double plain = 0, window = 0, model = 0;
} g_means;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The search as talmoor-cli runs it: parameters, the start message, and a
// wait for the driver to be idle.
double runPlain(std::size_t& rows) {
  auto results = std::make_shared<search::ResultList>();
  search::SearchDriver driver(results);
  driver.setStartPath(std::string(kStart));
  const auto start = Clock::now();
  driver.setParameters(findParameters());
  driver.post(search::kStartSearchMessage);
  driver.waitUntilIdle();
  const double elapsed = seconds(Clock::now() - start);
  rows = results->size();
  return elapsed;
}

void BM_FindPlainDriver(benchmark::State& state) {
  if (!mount()) {
    state.SkipWithError("store not available");
    return;
  }
  double total = 0;
  std::size_t rows = 0;
  for (auto _ : state) {
    const double elapsed = runPlain(rows);
    state.SetIterationTime(elapsed);
    total += elapsed;
  }
  if (rows != static_cast<std::size_t>(kRows)) state.SkipWithError("the search did not list every row");
  g_means.plain = total / static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(rows);
  state.SetItemsProcessed(static_cast<std::int64_t>(rows) * state.iterations());
}
BENCHMARK(BM_FindPlainDriver)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Waits in the event loop (the GUI thread sleeps between events) until
// `done` says so, looking each time the window or model tells of something.
template <class Sender, class Signal>
void waitInEventLoop(Sender* sender, Signal signal, const std::function<bool()>& done) {
  QEventLoop loop;
  auto check = [&] {
    if (done()) loop.quit();
  };
  auto connection = QObject::connect(sender, signal, &loop, check, Qt::QueuedConnection);
  QTimer poll;  // a safety net: a last notice may come before the loop runs
  QObject::connect(&poll, &QTimer::timeout, &loop, check);
  poll.start(50);
  if (!done()) loop.exec();
  QObject::disconnect(connection);
}

void BM_FindSearchWindow(benchmark::State& state) {
  if (!mount()) {
    state.SkipWithError("store not available");
    return;
  }
  double total = 0;
  qint64 longestStall = 0;
  int rows = 0;
  for (auto _ : state) {
    auto window = std::make_unique<search::ui::SearchWindow>();
    window->setStartPathSource([] { return std::optional<std::string>(kStart); });
    window->resize(1000, 600);
    window->show();
    window->findBox()->setEditText(QString::fromLatin1(kFind));
    QCoreApplication::processEvents();

    // The GUI thread's responsiveness: the longest gap between ticks.
    QElapsedTimer sinceTick;
    qint64 stall = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      stall = std::max(stall, sinceTick.restart());
    });
    const QString found = QStringLiteral("Found %1 items.").arg(kRows);
    const auto start = Clock::now();
    sinceTick.start();
    tick.start(5);
    window->pressGo();
    waitInEventLoop(window.get(), &search::ui::SearchWindow::statusShown, [&] {
      return window->model()->rowCount() == kRows && window->goButton()->text() == QStringLiteral("Go") &&
             window->statusText() == found;
    });
    const double elapsed = seconds(Clock::now() - start);
    tick.stop();
    state.SetIterationTime(elapsed);
    total += elapsed;
    longestStall = std::max(longestStall, stall);
    rows = window->model()->rowCount();
    window.reset();
  }
  if (rows != kRows) state.SkipWithError("the window did not list every row");
  g_means.window = total / static_cast<double>(state.iterations());
  state.counters["rows"] = rows;
  state.counters["longest_gui_stall_ms"] = static_cast<double>(longestStall);
  state.SetItemsProcessed(static_cast<std::int64_t>(rows) * state.iterations());
}
BENCHMARK(BM_FindSearchWindow)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FindResultModelOnly(benchmark::State& state) {
  if (!mount()) {
    state.SkipWithError("store not available");
    return;
  }
  double total = 0;
  int rows = 0;
  for (auto _ : state) {
    auto results = std::make_shared<search::ResultList>();
    auto model = std::make_unique<search::ui::ResultItemModel>(results);
    auto driver = std::make_unique<search::SearchDriver>(results);
    driver->setStartPath(std::string(kStart));
    const auto start = Clock::now();
    driver->setParameters(findParameters());
    driver->post(search::kStartSearchMessage);
    waitInEventLoop(model.get(), &QAbstractItemModel::rowsInserted, [&] {
      return model->rowCount() == kRows && !driver->searchRunning();
    });
    const double elapsed = seconds(Clock::now() - start);
    state.SetIterationTime(elapsed);
    total += elapsed;
    rows = model->rowCount();
    driver->waitUntilIdle();
    driver.reset();
    model.reset();
  }
  if (rows != kRows) state.SkipWithError("the model did not list every row");
  g_means.model = total / static_cast<double>(state.iterations());
  state.counters["rows"] = rows;
}
BENCHMARK(BM_FindResultModelOnly)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // One search first, so that no way pays for a cold start.
  if (mount()) {
    std::size_t rows = 0;
    runPlain(rows);
  }
  benchmark::RunSpecifiedBenchmarks();
  if (g_means.plain > 0 && g_means.window > 0) {
    std::printf("\nFind listing %d rows, mean of the iterations:\n", kRows);
    std::printf("  plain driver (talmoor-cli): %8.1f ms\n", g_means.plain * 1000);
    std::printf("  Search window (offscreen):  %8.1f ms   ratio %.2fx (target <= 1.5x)\n", g_means.window * 1000,
                g_means.window / g_means.plain);
    if (g_means.model > 0)
      std::printf("  result model alone:         %8.1f ms   ratio %.2fx\n", g_means.model * 1000,
                  g_means.model / g_means.plain);
  }
  std::fflush(stdout);
  benchmark::Shutdown();
  g_workspace.reset();
  std::error_code ec;
  fs::remove_all(scratch(), ec);
  return 0;
}

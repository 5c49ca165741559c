// The Verify walk over the whole corpus prefix, its drive C recreated (with
// empty files) in a temporary folder once per process, every missing
// reference answered Reject; and, for comparison, the same walk only counting
// the drive references and how many of them resolve.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "base/interaction.h"
#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/registry_host.h"
#include "platform/registry/registry_profile.h"
#include "base/masks/builtin_masks.h"
#include "base/masks/mask_engine.h"
#include "search/search_context.h"
#include "search/search_parameters.h"
#include "search/search_walk.h"
#include "verify/file_references.h"
#include "verify/verification.h"
#include "bench_workspace.h"

namespace {

using namespace talmoor::masks;

namespace fs = std::filesystem;
using namespace talmoor;
using namespace talmoor::search;

// Says no to everything, and never writes.
class Rejecting : public Interaction {
 public:
  int messageBox(const MessageBoxRequest&) override { return IDNO; }
  ConfirmationReply confirmChange(const ConfirmationRequest& request) override {
    return {7, request.modifiedName, request.originalData, request.modifiedData};
  }
  MissingReferenceReply missingFileReference(const MissingReferenceRequest&) override {
    return {7, false, std::nullopt};
  }
  PatternReply patternDetected(const PatternRequest& request) override {
    return {IDCANCEL, request.findSelected, request.replaceSelected};
  }
};

// The prefix copy, made once and removed when the process ends.
class BenchPrefix {
 public:
  BenchPrefix() {
    const fs::path corpus = fs::path(TALMOOR_CORPUS_DIR) / "wine-8.0";
    if (!fs::exists(corpus / "system.reg")) return;
    dir_ = fs::temp_directory_path() / ("talmoor-verify-bench-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_ / "dosdevices");
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
      fs::copy_file(corpus / hive, dir_ / hive);
      fs::permissions(dir_ / hive, fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string command =
        "sh '" + (corpus / "materialize-drive-c.sh").string() + "' '" + (dir_ / "drive_c").string() + "'";
    if (std::system(command.c_str()) != 0) return;
    fs::create_directory_symlink("../drive_c", dir_ / "dosdevices" / "c:");
    fs::create_directory_symlink("/", dir_ / "dosdevices" / "z:");
    platform::ProfileOptions options;
    options.prefix = dir_;
    options.settingsFile = dir_ / "settings.reg";
    if (!workspace_.open(options, std::make_shared<Rejecting>())) return;
    verify::installVerification();
    ready_ = true;
  }
  ~BenchPrefix() {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  bool ready() const { return ready_; }

 private:
  fs::path dir_;
  bench::BenchWorkspace workspace_;
  bool ready_ = false;
};

bool preparePrefix() {
  static BenchPrefix prefix;
  return prefix.ready();
}

struct VerifyTotals {
  std::int64_t values = 0;
  std::int64_t bytes = 0;
  std::int64_t rows = 0;
};

VerifyTotals runVerify() {
  VerifyTotals totals;
  verify::ruleBase().clear();
  SearchContext context(JobKind::Search);
  context.results = std::make_shared<ResultList>();
  SearchParameters parameters;
  parameters.mode = kModeVerify;
  readParameters(parameters, context, nullptr);
  context.action = [&totals, inner = context.action](const SearchItem& item, SearchContext& c) {
    if (!item.isKey) {
      ++totals.values;
      totals.bytes += static_cast<std::int64_t>(item.name.size() + item.data.size());
    }
    return inner(item, c);
  };
  walkRegistry(context, std::nullopt);
  totals.rows = static_cast<std::int64_t>(context.results->size());
  return totals;
}

// The drive references in names and string data as verification meets them
// (each reference of a quoted command line on its own), and how many name a
// file or folder.
struct ReferenceCount {
  std::int64_t references = 0;
  std::int64_t resolved = 0;
};

void countIn(const std::string& text, ReferenceCount& count, const verify::FileSystemView& files) {
  MaskSearch(terminated(text), filePathMask(), [&](const MaskOccurrence& match, MaskReply& reply) {
    verify::ReferenceCandidate candidate = verify::prepareCandidate(match, files);
    if (!verify::acceptCandidate(match, candidate, files)) return MaskVerdict::Reject;
    reply.giveBack = verify::separatorGivenBack(match);
    std::string_view matched = match.text();
    if (!matched.empty() && std::string_view(" ,;|:").find(matched.front()) != std::string_view::npos)
      matched.remove_prefix(1);
    auto close = matched.rfind('"');
    if (!matched.empty() && matched.front() == '"' && close != 0 && close != std::string_view::npos) {
      countIn(std::string(matched.substr(1, close - 1)), count, files);
    } else {
      ++count.references;
      if (candidate.found) ++count.resolved;
    }
    return MaskVerdict::Accept;
  });
}

ReferenceCount countReferences() {
  ReferenceCount count;
  verify::CurrentFiles current;
  const verify::FileSystemView files = current.view();
  SearchContext context(JobKind::Search);
  context.criteria.mode = kModeFind;
  context.action = nullptr;
  context.matcher = [&](const SearchItem& item, SearchContext&) {
    countIn(std::string(item.name), count, files);
    if (!item.isKey && (item.type == REG_SZ || item.type == REG_EXPAND_SZ || item.type == REG_MULTI_SZ)) {
      std::string data(reinterpret_cast<const char*>(item.data.data()), item.data.size());
      while (!data.empty() && data.back() == '\0') data.pop_back();
      for (std::size_t start = 0;;) {
        const std::size_t end = data.find('\0', start);
        countIn(data.substr(start, end == std::string::npos ? std::string::npos : end - start), count, files);
        if (end == std::string::npos) break;
        start = end + 1;
      }
    }
    return false;
  };
  walkRegistry(context, std::nullopt);
  return count;
}

void BM_VerifyWalkRejectingEverything(benchmark::State& state) {
  if (!preparePrefix()) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  VerifyTotals totals;
  for (auto _ : state) totals = runVerify();
  state.SetItemsProcessed(totals.values * state.iterations());
  state.SetBytesProcessed(totals.bytes * state.iterations());
  state.counters["values_per_walk"] = static_cast<double>(totals.values);
  state.counters["rows"] = static_cast<double>(totals.rows);
}
BENCHMARK(BM_VerifyWalkRejectingEverything)->Unit(benchmark::kMillisecond);

void BM_CountDriveReferences(benchmark::State& state) {
  if (!preparePrefix()) {
    state.SkipWithError("corpus prefix not available");
    return;
  }
  ReferenceCount count;
  for (auto _ : state) count = countReferences();
  state.counters["references"] = static_cast<double>(count.references);
  state.counters["resolved"] = static_cast<double>(count.resolved);
  state.counters["missing"] = static_cast<double>(count.references - count.resolved);
}
BENCHMARK(BM_CountDriveReferences)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

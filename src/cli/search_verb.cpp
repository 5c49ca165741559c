#include "cli/search_verb.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

#include <fmt/format.h>

#include "base/console_interaction.h"
#include "cli/cli_support.h"
#include "platform/text/code_page.h"
#include "cli/key_argument.h"
#include "cli/row_output.h"
#include "registry/value_text.h"
#include "search/search_driver.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::search;
using registry::typeFromName;
using registry::regTypeName;

std::atomic<int> g_interrupts{0};

extern "C" void onInterrupt(int) { g_interrupts.fetch_add(1); }

// The signals that ask a program to end without being an error of its own.
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

// "REG_SZ,REG_DWORD" or numbers, to type mask bits.
std::optional<DWORD> typeMaskFrom(std::string_view list, std::string& problem) {
  DWORD mask = 0;
  while (!list.empty()) {
    auto cut = list.find(',');
    std::string_view item = list.substr(0, cut);
    list = cut == std::string_view::npos ? std::string_view() : list.substr(cut + 1);
    if (item.empty()) continue;
    std::optional<DWORD> type = typeFromName(item);
    if (!type && std::all_of(item.begin(), item.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      type = static_cast<DWORD>(std::stoul(std::string(item)));
    if (!type) {
      problem = fmt::format("{}: not a value type", item);
      return std::nullopt;
    }
    mask |= typeBit(*type);
  }
  return mask;
}

// The mask question is answered by --mask; everything else goes to the console.
class SearchConsole : public ConsoleInteraction {
 public:
  SearchConsole(ConsolePolicy policy, bool mask) : ConsoleInteraction(policy), mask_(mask) {}
  int messageBox(const MessageBoxRequest& request) override {
    if (request.title == "Interperate as mask?") return mask_ ? IDYES : IDNO;
    return ConsoleInteraction::messageBox(request);
  }

 private:
  bool mask_;
};

}  // namespace

std::optional<int> modeFromName(std::string_view name) {
  for (int mode = 0; mode < kModeCount; ++mode) {
    if (platform::lowercaseAscii(kModeNames[mode]) == name) return mode;
  }
  return std::nullopt;
}

InterruptCatcher::InterruptCatcher() : seen_(g_interrupts.load()) {
  for (int signal : kCaughtSignals) previous_.push_back(std::signal(signal, onInterrupt));
}

InterruptCatcher::~InterruptCatcher() {
  for (std::size_t i = 0; i < previous_.size(); ++i) std::signal(kCaughtSignals[i], previous_[i]);
}

bool InterruptCatcher::interrupted() const { return g_interrupts.load() != seen_; }

bool driveToEnd(SearchDriver& driver, const std::function<void()>& start) {
  InterruptCatcher catcher;
  int seen = g_interrupts.load();
  bool interrupted = false;
  start();
  // Wait for the job to start, then for it to end; a signal asks it to stop.
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (int now = g_interrupts.load(); now != seen) {
      seen = now;
      interrupted = true;
      if (driver.searchRunning()) driver.post(kStopSearchMessage);
    }
    if (!driver.searchRunning()) {
      driver.waitUntilIdle();
      if (!driver.searchRunning()) break;
    }
  }
  return interrupted;
}

void showProgress(SearchDriver& driver) {
  if (!::isatty(STDERR_FILENO)) return;
  auto lastShown = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  driver.controls().setStatusSink([lastShown](int part, std::string_view text) {
    if (part != 1) return;
    auto now = std::chrono::steady_clock::now();
    if (now - *lastShown < std::chrono::milliseconds(100)) return;
    *lastShown = now;
    std::cerr << "\r\033[K" << text.substr(0, 100) << std::flush;
  });
}

bool runSearchToEnd(SearchDriver& driver, const SearchParameters& parameters) {
  return driveToEnd(driver, [&] {
    driver.setParameters(parameters);
    driver.post(kStartSearchMessage);
  });
}

std::optional<std::optional<std::string>> startKeyPath(const std::optional<std::string>& argument) {
  if (!argument) return std::optional<std::string>();
  auto key = parseKeyArgument(*argument);
  if (!key) {
    reportProblem(*argument, "not a registry key");
    return std::nullopt;
  }
  return std::optional<std::string>(key->display());
}

CLI::App* addSearchVerb(CLI::App& app, SearchRequest& r) {
  auto* verb = app.add_subcommand("search", "search the registry, change what is found, or work on the rows found");
  verb->add_option("--mode,-m", r.mode, "find, modify, verify, select, change, remove, reduce or delete");
  verb->add_option("--find", r.find, "the text to find (\"/m:MASK\" with --mask: a search mask)");
  verb->add_option("--replace,-r", r.replace, "the replacement (modify, change)");
  verb->add_option("--start", r.start, "the key to start at; none walks the whole registry");
  verb->add_flag("--unicode", r.unicode, "search for the text encoded as UTF-16");
  verb->add_option("--first", r.first, "stop after this many items");
  verb->add_option("--min", r.minimum, "the smallest size of a name or datum");
  verb->add_option("--max", r.maximum, "the largest size of a name or datum");
  verb->add_flag("--keys", r.keys, "search key names");
  verb->add_flag("--values", r.values, "search value names");
  verb->add_flag("--data", r.data, "search value data");
  auto* types = verb->add_option("--types", r.types, "data types to search, e.g. REG_SZ,REG_BINARY (default: the string types)");
  verb->add_flag("--all-types", r.allTypes, "search data of every type")->excludes(types);
  auto* always = verb->add_flag("--always-match", r.alwaysMatchOn, "match names whatever the type of the value's data");
  verb->add_flag("--no-always-match", r.alwaysMatchOff, "match a value's name only when its type is searched")
      ->excludes(always);
  verb->add_flag("--mask", r.mask, "take a find text beginning with /m: as a search mask");
  verb->add_flag("--no-confirm", r.noConfirm, "write every change without confirming it");
  verb->add_option("--then", r.then, "a row mode over the rows found: MODE[:FIND[:REPLACE]], e.g. reduce:Wine");
  addFormatOption(*verb, r.format, "a table on a terminal, tab-separated lines otherwise");
  return verb;
}

int runSearch(const SearchRequest& request) {
  auto mode = modeFromName(request.mode);
  if (!mode) return reportProblem(request.mode, "not a search mode");
  std::vector<SearchParameters> steps;
  SearchParameters first;
  first.mode = *mode;
  first.findText = request.find;
  first.replaceText = request.replace;
  first.unicode = request.unicode;
  if (request.first) {
    first.rangeFirst = true;
    first.countText = std::to_string(*request.first);
  }
  if (request.minimum) first.minimumText = std::to_string(*request.minimum);
  if (request.maximum) first.maximumText = std::to_string(*request.maximum);
  steps.push_back(first);
  for (const auto& then : request.then) {
    std::string_view text = then;
    auto cut = text.find(':');
    auto thenMode = modeFromName(text.substr(0, cut));
    if (!thenMode || *thenMode < kModeSelect) return reportProblem(then, "not a row mode (select, change, remove, reduce, delete)");
    SearchParameters step = first;
    step.mode = *thenMode;
    step.findText.clear();
    step.replaceText.clear();
    if (cut != std::string_view::npos) {
      std::string_view rest = text.substr(cut + 1);
      auto second = rest.find(':');
      step.findText = std::string(rest.substr(0, second));
      if (second != std::string_view::npos) step.replaceText = std::string(rest.substr(second + 1));
    }
    steps.push_back(step);
  }
  if (*mode >= kModeSelect && steps.size() == 1)
    return reportProblem(request.mode, "a row mode needs rows: run it with --then after a find, modify or verify");

  SearchOptions options = currentSearchOptions();
  if (request.keys || request.values || request.data)
    options.searchFlags = (request.keys ? kSearchKeyNames : 0) | (request.values ? kSearchValueNames : 0) |
                          (request.data ? kSearchValueData : 0);
  if (request.types) {
    std::string problem;
    auto mask = typeMaskFrom(*request.types, problem);
    if (!mask) return reportProblem("--types", problem);
    options.typeMask = *mask;
  }
  if (request.allTypes) options.typeMask |= kTypeBitAll;
  if (request.alwaysMatchOn || request.alwaysMatchOff) options.alwaysMatchOnName = request.alwaysMatchOn ? 1 : 0;
  if (request.noConfirm) options.confirmationsOff = 1;
  storeSearchOptions(options);

  auto start = startKeyPath(request.start);
  if (!start) return kExitFailure;
  if (*start) {
    // A walk from a key that is not there finds nothing and would say so as
    // if the registry held no match.
    FailureReporter failures;
    registry::ScopedKey probe(registry::openKeyByPath(**start, registry::kReadKeyAccess,
                                                      registry::ReportTo(failures.handler(), **start)));
    if (!probe.get()) return kExitFailure;
  }

  // The console's policy stays as the global --yes/--no set it; --mask answers its own question.
  auto previous = setInteraction(nullptr);
  auto console = std::dynamic_pointer_cast<ConsoleInteraction>(previous);
  ConsolePolicy policy = console ? console->policy() : ConsolePolicy::Ask;
  setInteraction(std::make_shared<SearchConsole>(policy, request.mask));

  const bool progress = ::isatty(STDERR_FILENO);
  auto results = std::make_shared<ResultList>();
  // Caught between the steps too: a step after a Ctrl-C (a delete of the
  // rows found so far, say) is not what was asked for.
  InterruptCatcher catcher;
  bool interrupted = false;
  {
    SearchDriver driver(results);
    driver.setStartPath(*start);
    showProgress(driver);
    for (const auto& step : steps) {
      interrupted = runSearchToEnd(driver, step) || catcher.interrupted();
      if (interrupted) break;
    }
    if (progress) std::cerr << "\r\033[K" << std::flush;
  }
  const ChangeCounts changes = printRows(*results, chosenFormat(request.format));
  setInteraction(previous);
  if (interrupted) {
    std::cout.flush();
    return reportProblem(request.mode, "interrupted");
  }
  const bool writes = std::any_of(steps.begin(), steps.end(), [](const SearchParameters& step) {
    return step.mode == kModeModify || step.mode == kModeVerify || step.mode == kModeDelete;
  });
  if (!writes && changes.proposed == 0) return kExitSuccess;
  return reportChanges(changes) ? kExitSuccess : kExitFailure;
}

}  // namespace talmoor::cli

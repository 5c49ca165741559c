#include "search/search_driver.h"

#include <fmt/format.h>

#include "base/interaction.h"
#include "search/job_failures.h"
#include "search/search_walk.h"

namespace talmoor::search {

namespace {

const char* runningStateText(JobKind kind) {
  switch (kind) {
    case JobKind::Search: return "Searching...";
    case JobKind::ResultsFile: return "Loading...";
    case JobKind::Export: return "Exporting..";
    default: return "Unknown..";
  }
}

}  // namespace

SearchDriver::SearchDriver(std::shared_ptr<ResultList> results)
    : results_(results ? std::move(results) : std::make_shared<ResultList>()) {
  commandThread_ = std::make_unique<platform::MessageLoopThread>([this](const platform::Message& m) { handle(m); });
}

SearchDriver::~SearchDriver() {
  abortCurrent();
  // The command thread handles what was posted before it ends; a search one
  // of those messages started is stopped too.
  commandThread_.reset();
  abortCurrent();
  // With the command thread gone nobody would open the gate again.
  gate_.open();
  if (clearing_) waitForThread(clearing_);
  ThreadHandle thread;
  {
    std::lock_guard job(jobMutex_);
    thread = thread_;
  }
  if (thread) waitForThread(thread);
}

void SearchDriver::abortCurrent() {
  std::lock_guard job(jobMutex_);
  if (current_) current_->abort = true;
}

void SearchDriver::setParameters(const SearchParameters& parameters) {
  std::lock_guard lock(stateMutex_);
  parameters_ = parameters;
}

SearchParameters SearchDriver::parameters() const {
  std::lock_guard lock(stateMutex_);
  return parameters_;
}

void SearchDriver::setStartPath(std::optional<std::string> path) {
  std::lock_guard lock(stateMutex_);
  startPath_ = std::move(path);
}

void SearchDriver::setNavigator(Navigator navigator) {
  std::lock_guard lock(stateMutex_);
  navigator_ = std::move(navigator);
}

void SearchDriver::setContextPreparer(std::function<void(SearchContext&)> preparer) {
  std::lock_guard lock(stateMutex_);
  preparer_ = std::move(preparer);
}

void SearchDriver::setJobEndedHook(std::function<void()> hook) {
  std::lock_guard lock(stateMutex_);
  jobEnded_ = std::move(hook);
}

SearchHistories SearchDriver::historiesSnapshot() const {
  std::lock_guard lock(stateMutex_);
  return histories_;
}

void SearchDriver::loadHistories() {
  SearchHistories loaded;
  loaded.find.load();
  loaded.replace.load();
  std::lock_guard lock(stateMutex_);
  histories_ = std::move(loaded);
}

void SearchDriver::readWindowParameters(SearchContext& context) {
  // Read into a copy: reading may ask about a mask, and the lock is not held
  // while a box is up.
  SearchHistories histories = historiesSnapshot();
  readParameters(parameters(), context, &histories);
  std::lock_guard lock(stateMutex_);
  histories_ = std::move(histories);
}

void SearchDriver::clearResults() {
  if (searchRunning()) return;
  controls_.clearing();
  controls_.showStatus(0, "Clearing..");
  clearing_ = startThread([this] {
                runContained([this] {
                  results_->clear([this](std::size_t remaining) {
                    controls_.showStatus(1, fmt::format("{} Items Remaining.", remaining));
                  });
                });
                controls_.cleared();
                controls_.showStatus(0, "Ready");
                controls_.showStatus(1, "Cleared.");
                return DWORD{1};
              }).handle;
}

void SearchDriver::removeSelectedRows() {
  results_->removeSelected();
  controls_.showStatus(1, results_->countStatus());
}

void SearchDriver::sortByColumn(int column) {
  if (!results_->sortByColumn(column)) messageBox("Unable to perform a sort on this view", "Sorry");
}

bool SearchDriver::searchRunning() const {
  std::lock_guard job(jobMutex_);
  return current_ != nullptr;
}

void SearchDriver::post(UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(stateMutex_);
    ++pendingCommands_;
  }
  commandThread_->post(message, wParam, lParam);
}

void SearchDriver::pressGo() { post(searchRunning() ? kStopSearchMessage : kStartSearchMessage); }

void SearchDriver::pressPause() {
  if (controls_.isPaused()) {
    controls_.pauseLifted();
    post(kResumeSearchMessage);
    controls_.showStatus(0, "Searching...");
  } else {
    post(kPauseSearchMessage);
  }
}

void SearchDriver::runRowCommand(RowCommand command) {
  if (results_->size() == 0) return;
  post(kRowCommandMessage, static_cast<WPARAM>(command));
}

bool SearchDriver::queryClose() {
  if (!searchRunning()) {
    const SearchHistories histories = historiesSnapshot();
    histories.find.save();
    histories.replace.save();
    return true;
  }
  post(kStopSearchMessage);
  return false;
}

void SearchDriver::waitUntilIdle() {
  if (clearing_) waitForThread(clearing_);
  for (;;) {
    ThreadHandle thread;
    {
      std::lock_guard job(jobMutex_);
      thread = thread_;
    }
    if (thread) waitForThread(thread);
    std::unique_lock lock(stateMutex_);
    idle_.wait(lock, [this] { return pendingCommands_ == 0; });
    lock.unlock();
    std::lock_guard job(jobMutex_);
    if (!current_ && (!thread_ || thread_->finished())) return;
  }
}

void SearchDriver::handle(const platform::Message& message) {
  // The command thread goes on to the next message whatever this one met.
  runContained([&] { dispatch(message); }, owner_);
  std::lock_guard lock(stateMutex_);
  --pendingCommands_;
  idle_.notify_all();
}

void SearchDriver::dispatch(const platform::Message& message) {
  switch (message.message) {
    case kStartSearchMessage: startSearch(); break;
    case kResultsFileJobMessage: startPendingFileJob(); break;
    case kStopSearchMessage: stop(); break;
    case kPauseSearchMessage: pause(); break;
    case kResumeSearchMessage: resume(); break;
    case kRowCommandMessage: {
      Navigator navigator;
      {
        std::lock_guard lock(stateMutex_);
        navigator = navigator_;
      }
      search::runRowCommand(*results_, static_cast<RowCommand>(message.wParam), navigator, owner_);
      break;
    }
    default: break;
  }
}

std::shared_ptr<SearchContext> SearchDriver::makeContext(JobKind kind) {
  auto context = std::make_shared<SearchContext>(kind);
  context->status = [this](int part, std::string_view text) { controls_.showStatus(part, text); };
  context->results = results_;
  context->owner = owner_;
  context->pausePoint = [this] { gate_.pass(); };
  return context;
}

bool SearchDriver::claimJob(const std::shared_ptr<SearchContext>& context) {
  std::lock_guard job(jobMutex_);
  if (current_) return false;
  current_ = context;
  // A pause taken as the last job was ending is not carried into this one.
  gate_.open();
  gate_.walkStarted();
  return true;
}

void SearchDriver::startSearch() {
  if (starting_) return;
  starting_ = true;
  auto context = makeContext(JobKind::Search);
  if (!claimJob(context)) {  // one search at a time
    starting_ = false;
    return;
  }
  readWindowParameters(*context);
  {
    std::lock_guard lock(stateMutex_);
    if (preparer_) preparer_(*context);
  }
  runThread(context, nullptr);
  starting_ = false;
}

void SearchDriver::startFileJob(JobKind kind, FileJob job) {
  {
    std::lock_guard lock(stateMutex_);
    pendingFileJobs_.emplace_back(kind, std::move(job));
  }
  post(kResultsFileJobMessage);
}

void SearchDriver::startPendingFileJob() {
  std::pair<JobKind, FileJob> pending;
  {
    std::lock_guard lock(stateMutex_);
    if (pendingFileJobs_.empty()) return;
    pending = std::move(pendingFileJobs_.front());
    pendingFileJobs_.erase(pendingFileJobs_.begin());
  }
  auto context = makeContext(pending.first);
  if (!claimJob(context)) {
    messageBox("Cannot correctly work on registry data files whilst search is in progress.", "Sorry");
    return;
  }
  runThread(context, std::move(pending.second));
}

void SearchDriver::runThread(const std::shared_ptr<SearchContext>& context, FileJob job) {
  std::lock_guard lock(jobMutex_);
  thread_ = startThread([this, context, job = std::move(job)] { return searchThread(context, job); }).handle;
}

void SearchDriver::runRowModes(SearchContext& context) {
  for (std::size_t index = 0; index < results_->size();) {
    context.passPausePoint();
    bool removed = false;
    if (rowOperation(*results_, index, removed, context) != kRowGoOn) break;
    // The row that followed a removed one has taken its place.
    if (!removed) ++index;
  }
}

DWORD SearchDriver::searchThread(const std::shared_ptr<SearchContext>& context, const FileJob& fileJob) {
  controls_.running();
  controls_.showStatus(0, runningStateText(context->kind));
  std::optional<std::string> start;
  {
    std::lock_guard lock(stateMutex_);
    start = startPath_;
  }
  // Whatever the work meets, the window comes back to its idle state.
  runContained(
      [&] {
        if (fileJob) {
          fileJob(*context);  // shows its own state texts
          return;
        }
        switch (context->criteria.mode) {
          case kModeFind:
          case kModeModify:
          case kModeVerify: walkRegistry(*context, start); break;
          case kModeSelect:
          case kModeChange:
          case kModeRemove:
          case kModeReduce:
          case kModeDelete: runRowModes(*context); break;
          default: messageBox("Search Mode Not Implemented", "Sorry"); break;
        }
      },
      context->owner);
  gate_.walkEnded();
  std::function<void()> ended;
  {
    std::lock_guard lock(stateMutex_);
    ended = jobEnded_;
  }
  if (ended) runContained(ended, context->owner);
  controls_.idle();
  if (!fileJob) controls_.showStatus(0, "Ready");
  controls_.showStatus(1, results_->countStatus());
  std::lock_guard job(jobMutex_);
  current_.reset();
  return 1;
}

void SearchDriver::pause() {
  std::lock_guard job(jobMutex_);
  // A search past its last pause point is not paused any more.
  if (!current_ || !gate_.walking()) return;
  controls_.paused();
  gate_.close();
  controls_.showStatus(0, "Paused");
  controls_.showStatus(1, results_->countStatus());
}

void SearchDriver::resume() {
  std::lock_guard job(jobMutex_);
  if (current_ && gate_.closed()) {
    // The walker must be halted before its parameters change under it: wait
    // for it to reach the gate (or to end).
    gate_.waitUntilHalted();
    readWindowParameters(*current_);
  }
  controls_.resumed();
  gate_.open();
}

void SearchDriver::stop() {
  std::lock_guard job(jobMutex_);
  if (controls_.isPaused()) {
    // The walk is halted already.
    controls_.pauseLifted();
  } else {
    gate_.close();
    controls_.showStatus(0, "Stopping..");
  }
  confirmStop();
  controls_.stopAnswered(current_ != nullptr, current_ && current_->aborted());
  // The walk goes on to its next pause point, where it sees whether it was stopped.
  gate_.open();
}

void SearchDriver::confirmStop() {
  std::lock_guard job(jobMutex_);
  if (!current_) {
    messageBox("I am unable to premiturely stop this activity", "Sorry");
    return;
  }
  // Asked before the abort byte is set: the walker may still be between two
  // pause points while the box is up, and would unwind on a byte the user
  // then takes back.
  if (current_->kind == JobKind::Search && current_->criteria.hasReplaceText &&
      messageBox("Aborting a Search and Replace operation is probably unwise!\n\nMay I suggest letting the operaion "
                 "complete, then performing the oposite Search & Replace action to restore changes (Even this may not "
                 "have the desired results if the replacement item appears allready elsewhere).",
                 "Abort Search & Replace?", BoxButtons::OkCancel, BoxIcon::Exclamation) == IDCANCEL)
    return;
  current_->abort = true;
}

}  // namespace talmoor::search

#pragma once
// The search driver: one search at a time on a worker thread, started,
// paused, resumed and stopped by messages to the command thread. The state
// of the Search window's buttons and status bar is kept in a controls model
// that any window (or the command line) binds to; the walk halts at a pause
// gate.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/thread_starter.h"
#include "platform/messages/message_loop_thread.h"
#include "search/pause_gate.h"
#include "search/results/row_operations.h"
#include "search/search_controls.h"
#include "search/search_context.h"
#include "search/search_parameters.h"

namespace talmoor::search {

// The Search window's messages to the command thread.
inline constexpr UINT kStartSearchMessage = 0x800E;
inline constexpr UINT kStopSearchMessage = 0x800F;
inline constexpr UINT kPauseSearchMessage = 0x8010;
inline constexpr UINT kResumeSearchMessage = 0x8011;
inline constexpr UINT kResultsFileJobMessage = 0x801B;
inline constexpr UINT kRowCommandMessage = 0x8023;

class SearchDriver {
 public:
  explicit SearchDriver(std::shared_ptr<ResultList> results);
  // Stops a running search (without asking) and ends the command thread.
  ~SearchDriver();
  SearchDriver(const SearchDriver&) = delete;
  SearchDriver& operator=(const SearchDriver&) = delete;

  // The window's side: its buttons and status bar, and what it has set.
  SearchControlsModel& controls() { return controls_; }
  void setParameters(const SearchParameters& parameters);
  SearchParameters parameters() const;
  void setStartPath(std::optional<std::string> path);  // the location bar
  void setNavigator(Navigator navigator);
  void setOwner(WindowRef owner) { owner_ = owner; }
  // Called on the search thread for the context before it runs (the command
  // line uses it to change what a search records).
  void setContextPreparer(std::function<void(SearchContext&)> preparer);
  // Called on the search thread when a job's work is over, before the
  // window hears that it is idle (the desktop saves what the job changed,
  // so that other programs see it at once).
  void setJobEndedHook(std::function<void()> hook);
  // The histories themselves, for a caller that knows no search can start
  // meanwhile; a window showing them takes a copy instead (a search adds to
  // them on the command thread).
  SearchHistories& histories() { return histories_; }
  SearchHistories historiesSnapshot() const;
  // Reads both histories from the settings key ("Combo_Find", "Combo_Replace").
  void loadHistories();
  const std::shared_ptr<ResultList>& results() const { return results_; }

  // The buttons: Go starts or stops; Pause pauses or resumes.
  void pressGo();
  void pressPause();
  void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void runRowCommand(RowCommand command);
  // The window asks whether it may close: yes when no search runs (the
  // histories are saved); otherwise the search is asked to stop, and the
  // window asks again once the controls come back to idle.
  bool queryClose();

  // A results-file or export job: run on a thread of its own with a context
  // of that kind, so that Stop and the status work as for a search; refused
  // while a search runs.
  using FileJob = std::function<void(SearchContext& context)>;
  void startFileJob(JobKind kind, FileJob job);

  // Empties the result list on a thread of its own, with the status texts
  // ("%d Items Remaining." every ten rows, then "Cleared.").
  void clearResults();
  // The Remove command: the selected rows go, then the count is shown.
  void removeSelectedRows();
  // A click on a column header.
  void sortByColumn(int column);

  bool searchRunning() const;
  // Waits until no search thread runs and the command thread is idle.
  void waitUntilIdle();

 private:
  // The command thread's side.
  void handle(const platform::Message& message);
  void dispatch(const platform::Message& message);
  void startSearch();
  void startPendingFileJob();
  void pause();
  void resume();
  void stop();
  void confirmStop();
  // Reads what the window has set into the context, adding to the histories.
  void readWindowParameters(SearchContext& context);

  // The jobs.
  std::shared_ptr<SearchContext> makeContext(JobKind kind);
  // Makes the context the running job's, unless one runs.
  bool claimJob(const std::shared_ptr<SearchContext>& context);
  void runThread(const std::shared_ptr<SearchContext>& context, FileJob job);
  DWORD searchThread(const std::shared_ptr<SearchContext>& context, const FileJob& job);
  void runRowModes(SearchContext& context);
  void abortCurrent();

  std::shared_ptr<ResultList> results_;
  SearchControlsModel controls_;
  PauseGate gate_;  // closed by the command thread while paused or stopping

  mutable std::mutex stateMutex_;  // what the window has set, and the pending commands
  SearchParameters parameters_;
  std::optional<std::string> startPath_;
  Navigator navigator_;
  std::function<void(SearchContext&)> preparer_;
  std::function<void()> jobEnded_;
  SearchHistories histories_;  // changed under stateMutex_, and read there by copies
  WindowRef owner_ = 0;
  std::condition_variable_any idle_;
  int pendingCommands_ = 0;
  std::vector<std::pair<JobKind, FileJob>> pendingFileJobs_;

  // The running job; taken before the gate's lock.
  mutable std::recursive_mutex jobMutex_;
  bool starting_ = false;  // a start already under way ignores another
  std::shared_ptr<SearchContext> current_;
  ThreadHandle thread_;
  ThreadHandle clearing_;

  std::unique_ptr<platform::MessageLoopThread> commandThread_;
};

}  // namespace talmoor::search

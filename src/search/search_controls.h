#pragma once
// The Search window's buttons and status bar without the window: the search
// driver moves them through the states of a job (running, paused, stopping,
// idle, clearing), and the window, or the command line, binds to them and
// shows what they say. Listeners hear of each change outside the model's
// lock, so they may read the model back or press a button.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace talmoor::search {

// What the window's buttons show.
struct SearchControls {
  std::string goText = "Go";
  std::string pauseText = "Pause";
  bool goEnabled = true;
  bool pauseEnabled = false;
  bool parametersEnabled = true;
};

// Part 0 takes the state, part 1 the current key path or a count.
using StatusSink = std::function<void(int part, std::string_view text)>;

class SearchControlsModel {
 public:
  using Listener = std::function<void(const SearchControls&)>;
  void setListener(Listener listener);
  void setStatusSink(StatusSink sink);

  SearchControls state() const;
  // Pause reads "Resume": the job is halted.
  bool isPaused() const;
  void showStatus(int part, std::string_view text) const;

  // A job runs: Go reads "Stop", Go and Pause work, the parameters are locked.
  void running();
  // No job runs: Go and Pause read as they started; only Go works.
  void idle();
  // The job halts: Pause reads "Resume" and the parameters may be edited.
  void paused();
  // The job goes on with what the parameters say now.
  void resumed();
  // Pause reads "Pause" again before the job is told to go on (the button
  // was pressed while it read "Resume", or Stop came while paused).
  void pauseLifted();
  // Stop's question was answered: while the job is being stopped neither Go
  // nor Pause works until it ends; with no job, Go works.
  void stopAnswered(bool jobRuns, bool stopping);
  // The result list is being emptied: Go and the parameters wait for it.
  void clearing();
  void cleared();

 private:
  void change(const std::function<void(SearchControls&)>& step);

  mutable std::mutex mutex_;
  SearchControls controls_;
  Listener listener_;
  StatusSink status_;
};

}  // namespace talmoor::search

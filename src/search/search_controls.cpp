#include "search/search_controls.h"

#include <utility>

namespace talmoor::search {

void SearchControlsModel::setListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void SearchControlsModel::setStatusSink(StatusSink sink) {
  std::lock_guard lock(mutex_);
  status_ = std::move(sink);
}

SearchControls SearchControlsModel::state() const {
  std::lock_guard lock(mutex_);
  return controls_;
}

bool SearchControlsModel::isPaused() const {
  std::lock_guard lock(mutex_);
  return controls_.pauseText == "Resume";
}

void SearchControlsModel::showStatus(int part, std::string_view text) const {
  StatusSink sink;
  {
    std::lock_guard lock(mutex_);
    sink = status_;
  }
  if (sink) sink(part, text);
}

void SearchControlsModel::change(const std::function<void(SearchControls&)>& step) {
  Listener listener;
  SearchControls now;
  {
    std::lock_guard lock(mutex_);
    step(controls_);
    now = controls_;
    listener = listener_;
  }
  if (listener) listener(now);
}

void SearchControlsModel::running() {
  change([](SearchControls& c) {
    c.goText = "Stop";
    c.goEnabled = c.pauseEnabled = true;
    c.parametersEnabled = false;
  });
}

void SearchControlsModel::idle() {
  change([](SearchControls& c) {
    c.goText = "Go";
    c.pauseText = "Pause";
    c.goEnabled = true;
    c.pauseEnabled = false;
    c.parametersEnabled = true;
  });
}

void SearchControlsModel::paused() {
  change([](SearchControls& c) {
    c.pauseText = "Resume";
    c.parametersEnabled = true;
  });
}

void SearchControlsModel::resumed() {
  change([](SearchControls& c) {
    c.pauseText = "Pause";
    c.parametersEnabled = false;
  });
}

void SearchControlsModel::pauseLifted() {
  change([](SearchControls& c) { c.pauseText = "Pause"; });
}

void SearchControlsModel::stopAnswered(bool jobRuns, bool stopping) {
  change([=](SearchControls& c) {
    c.parametersEnabled = false;
    c.goEnabled = c.pauseEnabled = jobRuns && !stopping;
    if (!jobRuns) c.goEnabled = true;
  });
}

void SearchControlsModel::clearing() {
  change([](SearchControls& c) {
    c.goEnabled = false;
    c.parametersEnabled = false;
  });
}

void SearchControlsModel::cleared() {
  change([](SearchControls& c) {
    c.goEnabled = true;
    c.parametersEnabled = true;
  });
}

}  // namespace talmoor::search

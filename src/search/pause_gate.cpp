#include "search/pause_gate.h"

namespace talmoor::search {

void PauseGate::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

void PauseGate::open() {
  {
    std::lock_guard lock(mutex_);
    closed_ = false;
  }
  changed_.notify_all();
}

bool PauseGate::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void PauseGate::walkStarted() {
  std::lock_guard lock(mutex_);
  walking_ = true;
}

void PauseGate::walkEnded() {
  {
    std::lock_guard lock(mutex_);
    walking_ = false;
  }
  changed_.notify_all();
}

bool PauseGate::walking() const {
  std::lock_guard lock(mutex_);
  return walking_;
}

void PauseGate::pass() {
  std::unique_lock lock(mutex_);
  if (!closed_) return;
  ++halted_;
  // Whoever waits for the walker to halt hears of it.
  changed_.notify_all();
  changed_.wait(lock, [this] { return !closed_; });
  --halted_;
}

void PauseGate::waitUntilHalted() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !walking_ || halted_ > 0 || !closed_; });
}

}  // namespace talmoor::search

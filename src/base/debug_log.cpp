#include "base/debug_log.h"

#include "base/workspace.h"

namespace talmoor {

void DebugLog::add(std::string line) {
  std::function<void(const std::string&)> listener;
  {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    if (lines_.size() > kKeptLines) lines_.pop_front();
    listener = listener_;
  }
  if (listener) listener(line);
}

std::vector<std::string> DebugLog::lines() const {
  std::lock_guard lock(mutex_);
  return {lines_.begin(), lines_.end()};
}

void DebugLog::setListener(std::function<void(const std::string&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void debugOutput(std::string_view line) { Workspace::current().service<DebugLog>().add(std::string(line)); }

}  // namespace talmoor

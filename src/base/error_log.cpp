#include "base/error_log.h"

#include "platform/win32_errors.h"

namespace talmoor {

void ErrorLog::add(ErrorLogRow row) {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    rows_.push_back(std::move(row));
    listener = listener_;
  }
  if (listener) listener();
}

std::vector<ErrorLogRow> ErrorLog::rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void ErrorLog::remove(std::size_t index) {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) return;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    listener = listener_;
  }
  if (listener) listener();
}

void ErrorLog::clear() {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    rows_.clear();
    listener = listener_;
  }
  if (listener) listener();
}

bool ErrorLog::windowOpen() const {
  std::lock_guard lock(mutex_);
  return windowOpen_;
}

void ErrorLog::setWindowOpen(bool open) {
  std::lock_guard lock(mutex_);
  windowOpen_ = open;
}

void ErrorLog::setListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

int errorLogImage(LONG code, bool& otherState) {
  otherState = false;
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return 3;
    case ERROR_PATH_NOT_FOUND: return 1;
    case ERROR_ACCESS_DENIED: return 2;
    case ERROR_NOT_READY: return 0;
    default: otherState = true; return 1;
  }
}

}  // namespace talmoor

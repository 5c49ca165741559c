#pragma once
// The rows of the error log, as a model the Error Log window shows. Reports
// made while no window shows the log fall back to message boxes. Each
// workspace keeps its own (see workspace.h: errorLog()).

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor {

struct ErrorLogRow {
  std::string keyPath;    // or "Unspecified"
  std::string valueName;
  std::string context;
  std::string message;
  LONG code = 0;
  int image = 1;
  bool otherState = false;  // the state image of codes without an image of their own
};

class ErrorLog {
 public:
  void add(ErrorLogRow row);
  std::vector<ErrorLogRow> rows() const;
  void remove(std::size_t index);
  void clear();

  // Whether the log window exists; set by the desktop.
  bool windowOpen() const;
  void setWindowOpen(bool open);

  // Called (on the reporting thread) after each change.
  void setListener(std::function<void()> listener);

 private:
  mutable std::mutex mutex_;
  std::vector<ErrorLogRow> rows_;
  bool windowOpen_ = false;
  std::function<void()> listener_;
};

// The image of a row by its code.
int errorLogImage(LONG code, bool& otherState);

}  // namespace talmoor

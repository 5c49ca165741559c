#pragma once
// The small child windows of the frame: the Debug output, About, and the
// placeholder a window not built yet shows in its place.

#include <QWidget>

#include "base/debug_log.h"
#include "frame/window_table.h"

class QPlainTextEdit;

namespace talmoor {
class Workspace;
}

namespace talmoor::frame::ui {

// The program's own report of its work, read-only, newest at the bottom.
class DebugWindow : public QWidget {
  Q_OBJECT

 public:
  explicit DebugWindow(DebugLog& log, QWidget* parent = nullptr);
  ~DebugWindow() override;
  QPlainTextEdit* text() const { return text_; }

 private:
  DebugLog& log_;
  QPlainTextEdit* text_ = nullptr;
};

// Which program this is and which registry it works on.
class AboutWindow : public QWidget {
  Q_OBJECT

 public:
  explicit AboutWindow(const Workspace& workspace, QWidget* parent = nullptr);
  // The lines shown, for tests and screen readers.
  QString summary() const { return summary_; }

 private:
  QString summary_;
};

// What a window that is not built yet will hold.
class PlaceholderWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PlaceholderWindow(const ChildWindow& row, QWidget* parent = nullptr);
};

}  // namespace talmoor::frame::ui

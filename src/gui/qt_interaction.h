#pragma once
// The Interaction of the desktop: boxes are Qt message boxes, the status goes
// to the frame's status bar. A worker that asks waits on a queued call into
// the GUI thread; the GUI thread asking itself is answered at once.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "base/interaction.h"

namespace talmoor::gui {

class QtInteraction : public Interaction {
 public:
  // `context` lives on the GUI thread (the application object will do).
  explicit QtInteraction(QObject* context);

  // The window boxes are shown over; none: the active window.
  void setParentWidget(QWidget* parent) { parent_ = parent; }
  // Receives status texts on the GUI thread.
  void setStatusSink(std::function<void(const QString&)> sink);

  int messageBox(const MessageBoxRequest& request) override;
  void showStatus(std::string_view text) override;
  std::optional<std::string> chooseFolder(std::string_view title, std::string_view start) override;

 private:
  // Runs `work` on the GUI thread and hands its result back.
  template <class Result>
  Result onGuiThread(const std::function<Result()>& work);

  QPointer<QObject> context_;
  QPointer<QWidget> parent_;
  std::function<void(const QString&)> statusSink_;
};

// The Qt message box a request stands for, not yet shown (for tests and for
// the interaction itself).
int showMessageBox(QWidget* parent, const MessageBoxRequest& request);

}  // namespace talmoor::gui

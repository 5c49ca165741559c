#pragma once
// The Interaction of the desktop: boxes are Qt message boxes, the status goes
// to the frame's status bar. A worker that asks waits on a queued call into
// the GUI thread; the GUI thread asking itself is answered at once.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <mutex>

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
  // The write confirmation, the missing file reference and the pattern
  // question in their dialogs, modal over the parent window. A worker waits
  // for the answer; when the owner window goes meanwhile it gets Cancel.
  ConfirmationReply confirmChange(const ConfirmationRequest& request) override;
  MissingReferenceReply missingFileReference(const MissingReferenceRequest& request) override;
  PatternReply patternDetected(const PatternRequest& request) override;

 private:
  // Runs `work` on the GUI thread and hands its result back.
  template <class Result>
  Result onGuiThread(const std::function<Result()>& work);
  // Asks with a dialog on the GUI thread for the question's owner: at once
  // on the GUI thread, else queued while the worker waits. `show` must hold
  // copies of what it shows: a worker answered Cancel stops waiting for it.
  template <class Reply>
  Reply askOnGuiThread(WindowRef owner, Reply cancelled, std::function<Reply()> show);
  QWidget* dialogParent() const;

  QPointer<QObject> context_;
  QPointer<QWidget> parent_;
  std::function<void(const QString&)> statusSink_;
  // One confirmation at a time: workers queue here, and the GUI thread,
  // which cannot wait, is told a second one cannot be shown.
  std::mutex confirmationTurn_;
  bool confirmationShown_ = false;  // GUI thread only
};

// The Qt message box a request stands for, not yet shown (for tests and for
// the interaction itself).
int showMessageBox(QWidget* parent, const MessageBoxRequest& request);

}  // namespace talmoor::gui

#include "gui/qt_interaction.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include "base/workspace.h"
#include "platform/files/windows_files.h"
#include "search/replace/ui/confirmation_dialog.h"
#include "search/search_options.h"
#include "verify/ui/missing_reference_dialog.h"
#include "verify/ui/pattern_dialog.h"

namespace talmoor::gui {

namespace {

QMessageBox::Icon iconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::NoIcon: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons buttonsOf(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case BoxButtons::Ok: break;
  }
  return QMessageBox::Ok;
}

int answerOf(int button) {
  switch (button) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return IDOK;
  }
}

// Hands a question's answer to the worker that waits for it exactly once:
// the answer given, or Cancel when the queued call is dropped unrun (the
// GUI thread's context went away first) and the worker would wait forever.
template <class Reply>
class AnswerOnce {
 public:
  AnswerOnce(std::function<void(Reply)> deliver, Reply cancelled)
      : deliver_(std::move(deliver)), cancelled_(std::move(cancelled)) {}
  ~AnswerOnce() {
    if (!given_) deliver_(std::move(cancelled_));
  }
  AnswerOnce(const AnswerOnce&) = delete;
  AnswerOnce& operator=(const AnswerOnce&) = delete;
  void give(Reply reply) {
    given_ = true;
    deliver_(std::move(reply));
  }

 private:
  std::function<void(Reply)> deliver_;
  Reply cancelled_;
  bool given_ = false;
};

}  // namespace

int showMessageBox(QWidget* parent, const MessageBoxRequest& request) {
  QMessageBox box(iconOf(request.icon), QString::fromStdString(request.title), QString::fromStdString(request.text),
                  buttonsOf(request.buttons), parent ? parent : QApplication::activeWindow());
  box.setAccessibleName(QString::fromStdString(request.title));
  // Closing the box (Escape, the title bar) is the safe answer of each kind.
  if (request.buttons == BoxButtons::YesNo) box.setEscapeButton(QMessageBox::No);
  return answerOf(box.exec());
}

QtInteraction::QtInteraction(QObject* context) : context_(context) {}

void QtInteraction::setStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }

template <class Result>
Result QtInteraction::onGuiThread(const std::function<Result()>& work) {
  if (!context_ || QThread::currentThread() == context_->thread()) return work();
  Result result{};
  QMetaObject::invokeMethod(context_, [&] { result = work(); }, Qt::BlockingQueuedConnection);
  return result;
}

int QtInteraction::messageBox(const MessageBoxRequest& request) {
  if (windowIsGone(request.owner)) return IDCANCEL;
  return onGuiThread<int>([&] { return showMessageBox(parent_, request); });
}

void QtInteraction::showStatus(std::string_view text) {
  if (!context_ || !statusSink_) return;
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  // Status is news, not a question: nobody waits for it.
  QMetaObject::invokeMethod(context_, [sink = statusSink_, shown] { sink(shown); }, Qt::QueuedConnection);
}

std::optional<std::string> QtInteraction::chooseFolder(std::string_view title, std::string_view start) {
  // The core speaks Windows paths; the dialog shows the host's folders.
  const auto profile = Workspace::current().profile();
  const platform::DriveMap drives = profile ? profile->drives() : platform::DriveMap{};
  const std::string startText(start);
  return onGuiThread<std::optional<std::string>>([&]() -> std::optional<std::string> {
    auto hostStart = platform::hostPathOf(startText, drives);
    QString chosen = QFileDialog::getExistingDirectory(
        parent_, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
        hostStart ? QString::fromStdString(hostStart->parent_path().string()) : QString());
    if (chosen.isEmpty()) return std::nullopt;
    return platform::windowsPathOf(chosen.toStdString(), drives);
  });
}

}  // namespace talmoor::gui

namespace talmoor::gui {

QWidget* QtInteraction::dialogParent() const { return parent_ ? parent_.data() : QApplication::activeWindow(); }

template <class Reply>
Reply QtInteraction::askOnGuiThread(WindowRef owner, Reply cancelled, std::function<Reply()> show) {
  if (windowIsGone(owner)) return cancelled;
  if (!context_ || QThread::currentThread() == context_->thread()) return show();
  return pending().ask<Reply>(owner, cancelled, [&](std::function<void(Reply)> deliver) {
    auto answer = std::make_shared<AnswerOnce<Reply>>(std::move(deliver), cancelled);
    QMetaObject::invokeMethod(
        context_.data(),
        [this, answer, owner, cancelled, show] { answer->give(windowIsGone(owner) ? cancelled : show()); },
        Qt::QueuedConnection);
  });
}

ConfirmationReply QtInteraction::confirmChange(const ConfirmationRequest& request) {
  ConfirmationReply cancelled{static_cast<int>(search::ConfirmationAnswer::Cancel), request.modifiedName,
                              request.originalData, request.modifiedData};
  ConfirmationReply notShown = cancelled;
  notShown.answer = static_cast<int>(search::ConfirmationAnswer::NotShown);
  auto show = [this, request, notShown]() -> ConfirmationReply {
    if (confirmationShown_) return notShown;
    confirmationShown_ = true;
    struct Shown {
      bool& flag;
      ~Shown() { flag = false; }
    } shown{confirmationShown_};
    return search::ui::runConfirmationDialog(dialogParent(), request);
  };
  std::unique_lock<std::mutex> turn;
  if (context_ && QThread::currentThread() != context_->thread()) turn = std::unique_lock(confirmationTurn_);
  return askOnGuiThread<ConfirmationReply>(request.owner, cancelled, show);
}

MissingReferenceReply QtInteraction::missingFileReference(const MissingReferenceRequest& request) {
  MissingReferenceReply cancelled{static_cast<int>(search::ConfirmationAnswer::Cancel), false, std::nullopt};
  // A question that is never shown still stops the search for other copies.
  if (windowIsGone(request.owner)) {
    if (request.suggestions) request.suggestions->stop = true;
    return cancelled;
  }
  MissingReferenceReply reply = askOnGuiThread<MissingReferenceReply>(
      request.owner, cancelled, [this, request] { return verify::ui::runMissingReferenceDialog(dialogParent(), request); });
  if (request.suggestions) request.suggestions->stop = true;
  return reply;
}

PatternReply QtInteraction::patternDetected(const PatternRequest& request) {
  PatternReply cancelled{IDCANCEL, request.findSelected, request.replaceSelected};
  return askOnGuiThread<PatternReply>(request.owner, cancelled,
                                      [this, request] { return verify::ui::runPatternDialog(dialogParent(), request); });
}

}  // namespace talmoor::gui

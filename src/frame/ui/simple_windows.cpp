#include "frame/ui/simple_windows.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>
#include <QtGlobal>

#include "base/version.h"
#include "base/workspace.h"
#include "gui/gui_thread.h"
#include "gui/icons.h"

namespace talmoor::frame::ui {

DebugWindow::DebugWindow(DebugLog& log, QWidget* parent) : QWidget(parent), log_(log) {
  setWindowTitle(tr("Debug"));
  setAccessibleName(tr("Debug"));
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setAccessibleName(tr("Debug Output"));
  text_->setMaximumBlockCount(static_cast<int>(DebugLog::kKeptLines));
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const auto& line : log_.lines()) text_->appendPlainText(QString::fromStdString(line));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);
  QPointer<QPlainTextEdit> shown(text_);
  log_.setListener([shown](const std::string& line) {
    QString text = QString::fromStdString(line);
    gui::postToGui(shown, [shown, text] {
      if (shown) shown->appendPlainText(text);
    });
  });
}

DebugWindow::~DebugWindow() { log_.setListener(nullptr); }

AboutWindow::AboutWindow(const Workspace& workspace, QWidget* parent) : QWidget(parent) {
  setWindowTitle(tr("About"));
  setAccessibleName(tr("About"));
  QString registry = tr("no registry");
  if (const auto& profile = workspace.profile()) {
    registry = QStringLiteral("%1 %2").arg(QString::fromUtf8(platform::profileKindName(profile->kind).data()),
                                           QString::fromStdString(profile->prefix.string()));
    if (profile->readOnly) registry += tr(" (read-only)");
  }
  summary_ = tr("Talmoor %1\nA registry workbench: search, update and verify Windows registries.\n\n"
                "Registry: %2\nQt %3")
                 .arg(QString::fromLatin1(versionText()), registry, QString::fromLatin1(qVersion()));
  auto* icon = new QLabel(this);
  icon->setPixmap(gui::applicationIcon().pixmap(48, 48));
  icon->setAccessibleName(tr("Talmoor"));
  auto* text = new QLabel(summary_, this);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text->setAccessibleName(tr("About Talmoor"));
  text->setAccessibleDescription(summary_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(icon);
  layout->addWidget(text);
  layout->addStretch();
}

PlaceholderWindow::PlaceholderWindow(const ChildWindow& row, QWidget* parent) : QWidget(parent) {
  const QString title = QString::fromUtf8(row.title.data(), static_cast<qsizetype>(row.title.size()));
  setWindowTitle(title);
  setAccessibleName(title);
  auto* text = new QLabel(QString::fromUtf8(row.purpose.data(), static_cast<qsizetype>(row.purpose.size())), this);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  text->setEnabled(false);
  text->setAccessibleName(title + tr(" (not built yet)"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
}

}  // namespace talmoor::frame::ui

#include "frame/ui/search_host_window.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "frame/window_table.h"
#include "gui/gui_thread.h"

namespace talmoor::frame::ui {

SearchHostWindow::SearchHostWindow(QWidget* parent)
    : QWidget(parent),
      results_(std::make_shared<search::ResultList>()),
      driver_(std::make_unique<search::SearchDriver>(results_)) {
  setWindowTitle(tr("Search"));
  setAccessibleName(tr("Search"));
  const ChildWindow* row = findChildWindow(static_cast<int>(WindowCommand::Search));
  auto* purpose = new QLabel(QString::fromUtf8(row->purpose.data(), static_cast<qsizetype>(row->purpose.size())), this);
  purpose->setWordWrap(true);
  purpose->setEnabled(false);
  purpose->setAlignment(Qt::AlignCenter);
  status_ = new QLabel(this);
  status_->setAccessibleName(tr("Search Results Count"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(purpose);
  layout->addWidget(status_);
  QPointer<SearchHostWindow> self(this);
  results_->setListener([self](const search::ResultListChange&) {
    gui::postToGui(self, [self] {
      if (self) self->showCount();
    });
  });
  showCount();
}

SearchHostWindow::~SearchHostWindow() {
  results_->setListener(nullptr);
  driver_->waitUntilIdle();
}

bool SearchHostWindow::queryClose() { return driver_->queryClose(); }

QString SearchHostWindow::statusText() const { return status_->text(); }

void SearchHostWindow::showCount() { status_->setText(QString::fromStdString(results_->countStatus())); }

}  // namespace talmoor::frame::ui

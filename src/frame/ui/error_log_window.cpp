#include "frame/ui/error_log_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "frame/ui/error_log_model.h"

namespace talmoor::frame::ui {

ErrorLogWindow::ErrorLogWindow(ErrorLog& log, QWidget* parent) : QWidget(parent), log_(log) {
  setWindowTitle(tr("Error Log"));
  setAccessibleName(tr("Error Log"));
  model_ = new ErrorLogModel(log, this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setAccessibleName(tr("Registry Values"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setShowGrid(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(table_, &QTableView::customContextMenuRequested, this, &ErrorLogWindow::showPopup);
  auto* status = new QLabel(tr("Ready"), this);
  status->setAccessibleName(tr("Error Log Status"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(table_);
  layout->addWidget(status);
  // While this window exists the reports go to it, not to boxes.
  log_.setWindowOpen(true);
}

ErrorLogWindow::~ErrorLogWindow() { log_.setWindowOpen(false); }

void ErrorLogWindow::showPopup(const QPoint& at) {
  QMenu popup(this);
  popup.setAccessibleName(tr("Error Popup"));
  const QModelIndex index = table_->indexAt(at);
  QAction* remove = popup.addAction(tr("&Remove"));
  remove->setEnabled(index.isValid());
  QAction* clear = popup.addAction(tr("&Clear"));
  QAction* chosen = popup.exec(table_->viewport()->mapToGlobal(at));
  if (chosen == remove) model_->removeRow(index.row());
  if (chosen == clear) model_->clear();
}

}  // namespace talmoor::frame::ui

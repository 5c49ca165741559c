#include "frame/ui/error_log_model.h"

#include <QPointer>

#include "gui/gui_thread.h"
#include "gui/icons.h"

namespace talmoor::frame::ui {

ErrorLogModel::ErrorLogModel(ErrorLog& log, QObject* parent) : QAbstractTableModel(parent), log_(log) {
  QPointer<ErrorLogModel> self(this);
  log_.setListener([self] {
    if (self) gui::postToGui(self, [self] {
      if (self) self->refresh();
    });
  });
  rows_ = log_.rows();
}

ErrorLogModel::~ErrorLogModel() { log_.setListener(nullptr); }

void ErrorLogModel::refresh() {
  beginResetModel();
  rows_ = log_.rows();
  endResetModel();
}

int ErrorLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ErrorLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ErrorLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const ErrorLogRow& row = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DecorationRole && index.column() == KeyColumn) return gui::errorImageIcon(row.image);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole) return {};
  switch (index.column()) {
    case KeyColumn: return QString::fromStdString(row.keyPath);
    case ValueColumn: return QString::fromStdString(row.valueName);
    case ContextColumn: return QString::fromStdString(row.context);
    case MessageColumn: return QString::fromStdString(row.message).trimmed();
    default: return {};
  }
}

QVariant ErrorLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case KeyColumn: return tr("Key");
    case ValueColumn: return tr("Value");
    case ContextColumn: return tr("Operation");
    case MessageColumn: return tr("Error");
    default: return {};
  }
}

void ErrorLogModel::removeRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  log_.remove(static_cast<std::size_t>(row));
}

void ErrorLogModel::clear() { log_.clear(); }

}  // namespace talmoor::frame::ui

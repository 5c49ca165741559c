#pragma once
// The error log's rows as a table for the Error Log window. Reports arrive
// on any thread; the model hears of them through a queued call and takes a
// fresh copy of the rows on the GUI thread.

#include <QAbstractTableModel>
#include <vector>

#include "base/error_log.h"

namespace talmoor::frame::ui {

class ErrorLogModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { KeyColumn, ValueColumn, ContextColumn, MessageColumn, ColumnCount };

  explicit ErrorLogModel(ErrorLog& log, QObject* parent = nullptr);
  ~ErrorLogModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The popup menu's "&Remove" and "&Clear".
  void removeRow(int row);
  void clear();

  // Takes the log's rows again (called, queued, after each report).
  void refresh();

 private:
  ErrorLog& log_;
  std::vector<ErrorLogRow> rows_;
};

}  // namespace talmoor::frame::ui

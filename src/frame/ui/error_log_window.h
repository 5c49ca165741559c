#pragma once
// The Error Log window: every failure a registry or file operation reported,
// with its popup menu ("&Remove", "&Clear").

#include <QWidget>

#include "base/error_log.h"

class QTableView;

namespace talmoor::frame::ui {

class ErrorLogModel;

class ErrorLogWindow : public QWidget {
  Q_OBJECT

 public:
  ErrorLogWindow(ErrorLog& log, QWidget* parent = nullptr);
  ~ErrorLogWindow() override;

  QTableView* table() const { return table_; }
  ErrorLogModel* model() const { return model_; }

 private:
  void showPopup(const QPoint& at);

  ErrorLog& log_;
  ErrorLogModel* model_ = nullptr;  // owned by this window
  QTableView* table_ = nullptr;
};

}  // namespace talmoor::frame::ui

#pragma once

#include <QMainWindow>

namespace talmoor::ui {

// The desktop's frame window. The MDI children arrive with the desktop work.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
};

}  // namespace talmoor::ui

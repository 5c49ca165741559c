#include "app/ui/main_window.h"

#include <QMdiArea>

namespace talmoor::ui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Talmoor"));
  setCentralWidget(new QMdiArea(this));  // owned by the window
  resize(1024, 720);
}

}  // namespace talmoor::ui

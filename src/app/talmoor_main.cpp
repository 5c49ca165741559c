// The desktop program.

#include <QApplication>

#include "app/ui/main_window.h"
#include "base/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Talmoor"));
  QApplication::setApplicationVersion(QString::fromLatin1(talmoor::versionText()));
  talmoor::ui::MainWindow window;
  window.show();
  return QApplication::exec();
}

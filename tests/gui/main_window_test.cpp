#include <QtTest>

#include "app/ui/main_window.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensAndClosesWithItsTitle() {
    talmoor::ui::MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Talmoor"));
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

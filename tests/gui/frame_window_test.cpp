// The frame as a user meets it, offscreen: its windows and menus, the keys
// that reach them, the last location and the Path box, the favourites menu,
// the registry editor's command line, the error log, and closing while a job
// runs.

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTableView>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "base/error_reporting.h"
#include "frame/location.h"
#include "frame/ui/error_log_model.h"
#include "frame/ui/error_log_window.h"
#include "frame/ui/main_frame.h"
#include "search/ui/search_window.h"
#include "frame/window_table.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/settings_key.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

using namespace talmoor;
using frame::ui::FrameStart;
using frame::ui::MainFrame;

namespace {

// A registry with a few keys, a workspace bound to this thread, and boxes
// answered from a script.
struct Fixture {
  Fixture() {
    for (const char* path : {"HKEY_LOCAL_MACHINE\\Software\\Example", "HKEY_CURRENT_USER\\Software\\Example"}) {
      std::string name = "Version";
      std::vector<BYTE> data{'1', 0};
      registry::setValue("", 0, path, name, data, REG_SZ, registry::ReportTo(), nullptr);
    }
  }
  FrameStart start(std::string commandLine = {}) {
    FrameStart start;
    start.workspace = Workspace::currentShared();
    start.commandLine = std::move(commandLine);
    start.splash = false;
    return start;
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes->boxes()) texts.push_back(box.text);
    return texts;
  }

  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
};

QStringList actionTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return texts;
}

}  // namespace

class FrameWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void everyWindowOfTheTableHasItsPlaceAndItsMenuEntry() {
    Fixture fixture;
    MainFrame frame(fixture.start());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Talmoor"));
    for (const auto& row : frame::windowTable()) {
      const int command = static_cast<int>(row.command);
      QMdiSubWindow* child = frame.subWindow(command);
      QVERIFY(child);
      QCOMPARE(child->accessibleName().toStdString(), std::string(row.title));
      QAction* entry = frame.commandAction(command);
      QVERIFY(entry);
      QCOMPARE(entry->data().toInt(), command);
      QCOMPARE(entry->text().toStdString(), std::string(row.menuText));
    }
    // The first run opens the browsers; the others wait in the Window menu.
    QVERIFY(frame.subWindow(202)->isVisible());
    QVERIFY(!frame.subWindow(205)->isVisible());
    // Closing a subwindow hides it; the menu brings it back.
    frame.subWindow(202)->close();
    QVERIFY(!frame.subWindow(202)->isVisible());
    frame.commandAction(202)->trigger();
    QVERIFY(frame.subWindow(202)->isVisible());
    // A command nobody put in the table says so.
    frame.runCommand(4242);
    QCOMPARE(fixture.boxes->boxes().back().title, std::string("CORWENT"));
  }

  void theAcceleratorsReachTheirWindowsAndThePathBox() {
    Fixture fixture;
    MainFrame frame(fixture.start());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTest::keyClick(&frame, Qt::Key_E, Qt::ControlModifier);
    QVERIFY(frame.subWindow(205)->isVisible());
    for (auto [key, modifiers] : {std::pair{Qt::Key_S, Qt::ControlModifier}, std::pair{Qt::Key_S, Qt::AltModifier},
                                  std::pair{Qt::Key_F3, Qt::NoModifier}}) {
      frame.subWindow(206)->hide();
      QTest::keyClick(&frame, key, modifiers);
      QVERIFY2(frame.subWindow(206)->isVisible(), "each of Ctrl+S, Alt+S and F3 shows the Search window");
    }
    frame.pathBox()->setEditText(QStringLiteral("HKEY_USERS"));
    QTest::keyClick(&frame, Qt::Key_L, Qt::ControlModifier);
    QTRY_VERIFY(frame.pathBox()->lineEdit()->hasFocus());
    QCOMPARE(frame.pathBox()->lineEdit()->selectedText(), QStringLiteral("HKEY_USERS"));
    // Typing a path and Enter goes there; the history keeps it.
    QTest::keyClicks(frame.pathBox()->lineEdit(), QStringLiteral("hklm\\Software\\Example"));
    QTest::keyClick(frame.pathBox()->lineEdit(), Qt::Key_Return);
    QTRY_COMPARE(frame.currentPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example"));
    QCOMPARE(frame.hiveBox()->currentText(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    // A path typed past one in the history is taken as typed, not as completed.
    QTest::keyClick(&frame, Qt::Key_L, Qt::ControlModifier);
    QTest::keyClicks(frame.pathBox()->lineEdit(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Ex\\Deeper"));
    QCOMPARE(frame.pathBox()->lineEdit()->text(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Ex\\Deeper"));
    QCOMPARE(frame.pathBox()->itemText(0), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example"));
    // A path that is not there says so, and the location stays.
    frame.pathBox()->setEditText(QStringLiteral("Software\\Nowhere"));
    QTest::keyClick(frame.pathBox()->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!fixture.boxes->boxes().empty());
    QCOMPARE(fixture.boxes->boxes().back().title, std::string("Invalid Path"));
    QCOMPARE(frame.currentPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example"));
  }

  void theLastLocationComesBackAndAnUnreadableOneIsToldOnce() {
    Fixture fixture;
    frame::rememberLocation("HKEY_CURRENT_USER\\Software\\Example", "Version");
    {
      MainFrame frame(fixture.start());
      frame.show();
      frame.startSession();
      QTRY_COMPARE(frame.currentPath(), QStringLiteral("HKEY_CURRENT_USER\\Software\\Example"));
      QTRY_COMPARE(frame.currentValue(), QStringLiteral("Version"));
      QVERIFY(fixture.boxes->boxes().empty());
      frame.close();
    }
    registry::writeSetting("LastKey", REG_BINARY, {1, 2, 3});
    MainFrame frame(fixture.start());
    frame.show();
    frame.startSession();
    QCOMPARE(fixture.boxTexts(), std::vector<std::string>{"Invalid Format for Starting Path Setting"});
    QCOMPARE(frame.currentPath(), QString());
  }

  void aHiveSavedByAnotherProgramIsOfferedForReloading() {
    Fixture fixture;
    QCOMPARE(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);  // the file exists as this program read it
    HKEY unsaved = 0;
    QCOMPARE(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Unsaved", unsaved,
                                          registry::kAllKeyAccess),
             ERROR_SUCCESS);
    registry::closeKey(unsaved);
    MainFrame frame(fixture.start());
    frame.show();
    const auto file = fixture.registry.machineHive()->file();
    {
      std::ofstream out(file, std::ios::trunc);
      out << "WINE REGISTRY Version 2\n;; All keys relative to \\\\REGISTRY\\\\Machine\n\n"
             "[Software\\\\Outside] 1700000000\n\"Made\"=\"elsewhere\"\n";
    }
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    fixture.boxes->answer({IDYES});
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.boxes->boxes().empty(), 10000);
    QCOMPARE(fixture.boxes->boxes().front().title, std::string("Hive Changed"));
    HKEY key = registry::openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\Outside", registry::kReadKeyAccess, {});
    QVERIFY(key != 0);
    QVERIFY(registry::valueExists(key, "Made"));
    registry::closeKey(key);
    // What this program changed and had not saved is kept over the file's new contents.
    key = registry::openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\Unsaved", registry::kReadKeyAccess, {});
    QVERIFY(key != 0);
    registry::closeKey(key);
    QTest::qWait(3500);
    QCOMPARE(fixture.boxes->boxes().size(), std::size_t(1));  // asked once
  }

  void favouritesAppearInTheMenuAndLeadToTheirKeys() {
    Fixture fixture;
    MainFrame frame(fixture.start());
    frame.show();
    QStringList texts = actionTexts(frame.favouritesMenu());
    QCOMPARE(texts, (QStringList{"&Add            Ctrl-A", "&Organise    Ctrl-O", "-", "<Empty>"}));
    QVERIFY(!frame.favouritesMenu()->actions().back()->isEnabled());

    const auto command = frame.favourites().add("Example", "HKEY_LOCAL_MACHINE\\Software\\Example");
    QVERIFY(command);
    QTRY_COMPARE(actionTexts(frame.favouritesMenu()).size(), 4);
    QTRY_COMPARE(actionTexts(frame.favouritesMenu()).back(), QStringLiteral("Example"));
    // Its key has a value: a submenu with the key, then the value.
    QMenu* values = frame.favouritesMenu()->actions().back()->menu();
    QVERIFY(values);
    QCOMPARE(actionTexts(values), (QStringList{"Example", "-", "Version"}));
    values->actions().back()->trigger();
    QTRY_COMPARE(frame.currentPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example"));
    QTRY_COMPARE(frame.currentValue(), QStringLiteral("Version"));

    // The unnamed value of the favourites key is shown as "(Default Value)".
    registry::writeStringSetting("", "HKEY_USERS", "Favourites");
    frame.favourites().load();
    QTRY_VERIFY(actionTexts(frame.favouritesMenu()).contains(QStringLiteral("(Default Value)")));
    frame.favourites().clear();
    QTRY_COMPARE(actionTexts(frame.favouritesMenu()).back(), QStringLiteral("<Empty>"));
  }

  void theRegistryEditorsLineAsksAndDoesWhatTheAnswerSays() {
    Fixture fixture;
    const auto file = fixture.registry.dir().path() / "out.reg";
    const std::string line = "/E \"" + file.string() + "\" HKEY_LOCAL_MACHINE\\Software\\Example";
    {
      fixture.boxes->answer({IDNO});
      MainFrame frame(fixture.start(line));
      frame.show();
      frame.startSession();
      QCOMPARE(fixture.boxes->boxes().size(), std::size_t{1});
      QCOMPARE(fixture.boxes->boxes()[0].title, std::string("Export Registry Key?"));
      // No: the key is opened instead, and nothing is written.
      QTRY_COMPARE(frame.currentPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example"));
      frame.searchWindow()->driver().waitUntilIdle();
      QVERIFY(!std::filesystem::exists(file));
      frame.close();
    }
    fixture.boxes->answer({IDYES});
    MainFrame frame(fixture.start(line));
    frame.show();
    frame.startSession();
    QTRY_VERIFY(std::filesystem::exists(file));
    frame.searchWindow()->driver().waitUntilIdle();
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(text.find("[HKEY_LOCAL_MACHINE\\Software\\Example]\r\n\"Version\"=\"1\"") != std::string::npos);
  }

  void failuresGoToTheErrorLogWhileItsWindowIsThere() {
    Fixture fixture;
    MainFrame frame(fixture.start());
    frame.show();
    auto* log = qobject_cast<frame::ui::ErrorLogWindow*>(frame.subWindow(205)->widget());
    QVERIFY(log);
    QAbstractItemModelTester tester(log->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    addErrorLogRow(ERROR_FILE_NOT_FOUND, "HKEY_LOCAL_MACHINE\\Software\\Gone", "Opening Key", "", 0);
    addErrorLogRow(ERROR_ACCESS_DENIED, "HKEY_LOCAL_MACHINE\\SAM", "Opening Key", "", 0);
    QTRY_COMPARE(log->model()->rowCount(), 2);
    QVERIFY(fixture.boxes->boxes().empty());  // the log, not boxes
    QCOMPARE(log->model()->index(0, 0).data().toString(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software"));
    QCOMPARE(log->model()->index(0, 1).data().toString(), QStringLiteral("Gone"));
    QCOMPARE(log->model()->index(0, 2).data().toString(), QStringLiteral("Opening Key"));
    QVERIFY(!log->model()->index(0, 3).data().toString().isEmpty());
    log->model()->removeRow(0);
    QTRY_COMPARE(log->model()->rowCount(), 1);
    log->model()->clear();
    QTRY_COMPARE(log->model()->rowCount(), 0);
    QCOMPARE(log->table()->accessibleName(), QStringLiteral("Registry Values"));
  }

  void closingWaitsForTheSearchWindowsJobAndKeepsTheWindows() {
    Fixture fixture;
    std::atomic<bool> release = false;
    {
      MainFrame frame(fixture.start());
      frame.show();
      frame.subWindow(205)->show();
      frame.subWindow(204)->hide();
      frame.searchWindow()->driver().startFileJob(search::JobKind::ResultsFile, [&](search::SearchContext& context) {
        while (!release && !context.aborted()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      });
      QTRY_VERIFY(frame.searchWindow()->driver().searchRunning());
      // Refused while the job runs; the job is asked to stop.
      QVERIFY(!frame.close());
      QVERIFY(frame.isVisible());
      QVERIFY(frame.statusText().contains(QStringLiteral("search is running")));
      frame.searchWindow()->driver().waitUntilIdle();
      QVERIFY(frame.close());
    }
    // The windows open at the end are the ones opened next time.
    MainFrame next(fixture.start());
    next.show();
    QVERIFY(next.subWindow(205)->isVisible());
    QVERIFY(!next.subWindow(204)->isVisible());
  }
};

QTEST_MAIN(FrameWindowTest)
#include "frame_window_test.moc"

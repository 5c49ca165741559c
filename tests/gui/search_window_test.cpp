// The Search window as a user meets it, offscreen: the controls of dialog
// 'Search' and their layout in each mode and state, the 'Search Popup' menu's
// enabling, Clear with its count-down, sorting, a real Find typed into a
// copy of the corpus Wine prefix, the Delete key, the row shown in the data
// viewer and Goto, the histories kept across windows, Save and Load through
// the file dialog, the frame's F3, and the model checked by Qt's tester while
// rows arrive from another thread.

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>
#include <QMimeData>
#include <QUrl>
#include <atomic>
#include <fstream>
#include <filesystem>
#include <thread>

#include "base/workspace.h"
#include "browse/entry_records.h"
#include "browse/value_list.h"
#include "hexedit/ui/data_editor_widget.h"
#include "hexedit/ui/hex_editor_widget.h"
#include "frame/ui/data_viewer_window.h"
#include "frame/ui/main_frame.h"
#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "search/search_parameters.h"
#include "search/ui/result_item_model.h"
#include "search/ui/search_window.h"
#include "support/corpus.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

using namespace talmoor;
using search::ui::PopupCommand;
using search::ui::ResultItemModel;
using search::ui::SearchWindow;

Q_DECLARE_METATYPE(std::optional<talmoor::search::DataRecord>)

namespace {

constexpr const char* kBase = "HKEY_LOCAL_MACHINE\\Software\\Found";

// A copy of the corpus prefix opened as the thread's workspace.
struct CorpusPrefix {
  CorpusPrefix() {
    test::copyCorpusHives(dir.path());
    platform::ProfileOptions options;
    options.prefix = dir.path();
    options.settingsFile = dir / "settings.reg";
    workspace = Workspace::over(test::openTestProfile(options), boxes);
    scope = std::make_unique<WorkspaceScope>(workspace);
  }
  test::TempDir dir;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  std::shared_ptr<Workspace> workspace;
  std::unique_ptr<WorkspaceScope> scope;
};

struct Fixture {
  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
};

void putSz(const std::string& key, std::string name, const std::string& text) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  QVERIFY(registry::setValue("", 0, key, name, data, REG_SZ, registry::ReportTo(), nullptr));
}

// Rows as a search adds them: values under kBase named by `values`.
void addRows(search::ResultList& list, const std::vector<std::string>& values) {
  for (const auto& value : values) {
    std::vector<BYTE> data(value.begin(), value.end());
    data.push_back(0);
    list.addRow(false, kBase, value, data, REG_SZ, search::DataRecord{REG_SZ, data}, search::kMarkNone);
  }
}

QAction* findAction(QMenu* menu, PopupCommand command) {
  for (QAction* action : menu->actions()) {
    if (action->menu()) {
      if (QAction* found = findAction(action->menu(), command)) return found;
    } else if (action->data().isValid() && action->data().toInt() == static_cast<int>(command)) {
      return action;
    }
  }
  return nullptr;
}

QPoint rowCentre(QTableView* view, int row, int column = 0) {
  return view->visualRect(view->model()->index(row, column)).center();
}

// Right click on the list: the 'Search Popup' comes up at the pointer.
QMenu* rightClickPopup(SearchWindow& window, QPoint at = QPoint(20, 20)) {
  QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, window.view()->viewport()->mapTo(&window, at));
  QMenu* menu = nullptr;
  for (int i = 0; i < 100 && !menu; ++i) {
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) QTest::qWait(10);
  }
  return menu;
}

void closePopups() {
  while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

QStringList columnTexts(QAbstractItemModel* model, int column) {
  QStringList texts;
  for (int row = 0; row < model->rowCount(); ++row) texts << model->index(row, column).data().toString();
  return texts;
}

// Waits until the window's job has ended and everything it told has arrived.
void waitForTheJob(SearchWindow& window) {
  window.driver().waitUntilIdle();
  QTRY_VERIFY(!window.model()->pending());
  QCoreApplication::processEvents();
  window.flushNow();
}

}  // namespace

class SearchWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qRegisterMetaType<std::optional<search::DataRecord>>(); }

  void theControlsOfDialogSearchAndTheirNames() {
    Fixture fixture;
    SearchWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.findLabel()->text(), QStringLiteral("Find:"));
    QCOMPARE(window.replaceLabel()->text(), QStringLiteral("Replace:"));
    QVERIFY(window.findBox()->isEditable());
    QVERIFY(window.replaceBox()->isEditable());
    QCOMPARE(window.modeList()->count(), 8);
    QStringList modes;
    for (int i = 0; i < 8; ++i) modes << window.modeList()->itemText(i);
    QCOMPARE(modes, QStringList({"Find", "Modify", "Verify", "Select", "Change", "Remove", "Reduce", "Delete"}));
    QCOMPARE(window.modeList()->currentText(), QStringLiteral("Find"));
    QCOMPARE(window.rangeList()->count(), 2);
    QCOMPARE(window.rangeList()->itemText(0), QStringLiteral("First"));
    QCOMPARE(window.rangeList()->currentText(), QStringLiteral("All"));
    QCOMPARE(window.countEdit()->text(), QStringLiteral("1"));
    QVERIFY(!window.countEdit()->isEnabled());
    QCOMPARE(window.unicodeBox()->text(), QStringLiteral("&Uni-Code"));
    QCOMPARE(window.goButton()->text(), QStringLiteral("Go"));
    QCOMPARE(window.pauseButton()->text(), QStringLiteral("Pause"));
    QVERIFY(window.goButton()->isEnabled());
    QVERIFY(!window.pauseButton()->isEnabled());
    QVERIFY(window.rulesButton()->isHidden());
    QCOMPARE(window.modeList()->toolTip(), QString::fromLatin1(search::kModeHelpText));
    QCOMPARE(window.unicodeBox()->toolTip(),
             QStringLiteral("Tick this box to search for your string in as an English Unicode encoded string."));
    QCOMPARE(window.minimumEdit()->toolTip(),
             QStringLiteral("Enter the Minimum size the found registry items must equal or exceed."));
    QCOMPARE(window.maximumEdit()->toolTip(),
             QStringLiteral("Enter the Maximum size the found registry items must not exceed."));
    QVERIFY(window.rangeList()->toolTip().startsWith(QStringLiteral("Select range to search")));
    QCOMPARE(window.view()->toolTip(), QStringLiteral("Right click to access additional commands."));
    QCOMPARE(window.view()->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(window.view()->horizontalHeader()->sectionsMovable());
    QCOMPARE(window.model()->columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < 5; ++c) headers << window.model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Hive", "Key", "SubKey", "Value", "Data"}));
    QCOMPARE(window.stateText(), QStringLiteral("Ready"));
    QCOMPARE(window.statusText(), QStringLiteral("No items found."));

    // What an end-to-end test finds through the accessibility bus.
    const std::vector<std::pair<QWidget*, const char*>> named{
        {window.findBox(), "Find"},          {window.findBox()->lineEdit(), "Find"},
        {window.replaceBox(), "Replace"},    {window.replaceBox()->lineEdit(), "Replace"},
        {window.minimumEdit(), "Minimise"},  {window.maximumEdit(), "Maximise"},
        {window.modeList(), "Mode"},         {window.rangeList(), "Range"},
        {window.countEdit(), "Count"},       {window.unicodeBox(), "Uni-Code"},
        {window.goButton(), "Go"},           {window.pauseButton(), "Pause"},
        {window.rulesButton(), "Verification Rules"}, {window.view(), "Registry Values"},
        {window.statusBar(), "Search Status"}};
    for (const auto& [widget, name] : named) QCOMPARE(widget->accessibleName(), QString::fromLatin1(name));
  }

  void eachModeLaysOutItsControls() {
    Fixture fixture;
    SearchWindow window;
    bool rulesOpened = false;
    window.setVerificationRulesOpener([&] { rulesOpened = true; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    struct Expected {
      bool find, replace, size, range, hidden, rules;
    };
    const Expected expected[8] = {
        {true, false, true, true, false, false},    // Find
        {true, true, true, true, false, false},     // Modify
        {false, false, true, true, true, true},     // Verify
        {true, false, false, true, false, false},   // Select
        {true, true, true, true, false, false},     // Change
        {true, false, false, false, false, false},  // Remove
        {true, false, false, false, false, false},  // Reduce
        {false, false, false, false, false, false}, // Delete
    };
    window.modeList()->setFocus();
    for (int mode = 0; mode < 8; ++mode) {
      if (mode > 0) QTest::keyClick(window.modeList(), Qt::Key_Down);
      QCOMPARE(window.modeList()->currentIndex(), mode);
      const Expected& e = expected[mode];
      const QByteArray where = QByteArray("mode ") + search::kModeNames[mode];
      QVERIFY2(window.findBox()->isEnabled() == e.find, where);
      QVERIFY2(window.findLabel()->isEnabled() == e.find, where);
      QVERIFY2(window.replaceBox()->isEnabled() == e.replace, where);
      QVERIFY2(window.minimumEdit()->isEnabled() == e.size, where);
      QVERIFY2(window.maximumEdit()->isEnabled() == e.size, where);
      QVERIFY2(window.rangeList()->isEnabled() == e.range, where);
      QVERIFY2(!window.countEdit()->isEnabled(), where);  // "All" is selected
      QVERIFY2(window.findBox()->isHidden() == e.hidden, where);
      QVERIFY2(window.replaceBox()->isHidden() == e.hidden, where);
      QVERIFY2(window.rulesButton()->isVisible() == e.rules, where);
    }
    // "First" enables the count, for the modes with a range.
    QTest::keyClick(window.modeList(), Qt::Key_Home);
    QCOMPARE(window.modeList()->currentIndex(), 0);
    window.rangeList()->setFocus();
    QTest::keyClick(window.rangeList(), Qt::Key_Home);
    QCOMPARE(window.rangeList()->currentText(), QStringLiteral("First"));
    QVERIFY(window.countEdit()->isEnabled());
    QCOMPARE(window.parameters().rangeFirst, true);

    // Verification Rules opens its dialog through the frame's hook.
    window.modeList()->setCurrentIndex(search::kModeVerify);
    QTest::mouseClick(window.rulesButton(), Qt::LeftButton);
    QVERIFY(rulesOpened);
    window.modeList()->setCurrentIndex(search::kModeFind);

    // Running: only Go ("Stop") and Pause work; paused: the parameters may be
    // edited but not the mode; idle again: as before.
    window.driver().controls().running();
    window.flushNow();
    QCOMPARE(window.goButton()->text(), QStringLiteral("Stop"));
    QVERIFY(window.goButton()->isEnabled());
    QVERIFY(window.pauseButton()->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(window.findBox()), static_cast<QWidget*>(window.minimumEdit()),
                       static_cast<QWidget*>(window.rangeList()), static_cast<QWidget*>(window.countEdit()),
                       static_cast<QWidget*>(window.modeList()), static_cast<QWidget*>(window.unicodeBox())})
      QVERIFY(!w->isEnabled());
    window.driver().controls().paused();
    window.flushNow();
    QCOMPARE(window.pauseButton()->text(), QStringLiteral("Resume"));
    QVERIFY(window.findBox()->isEnabled());
    QVERIFY(window.countEdit()->isEnabled());
    QVERIFY(!window.modeList()->isEnabled());
    window.driver().controls().idle();
    window.flushNow();
    QCOMPARE(window.goButton()->text(), QStringLiteral("Go"));
    QCOMPARE(window.pauseButton()->text(), QStringLiteral("Pause"));
    QVERIFY(window.modeList()->isEnabled());
    QVERIFY(!window.pauseButton()->isEnabled());
  }

  void thePopupWithNoRowsAndWithSome() {
    Fixture fixture;
    SearchWindow window;
    std::optional<search::RowLocation> current;
    window.setCurrentItemSource([&] { return current; });
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMenu* menu = rightClickPopup(window);
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("Search Popup"));
    QCOMPARE(menu->actions().front()->text(), QStringLiteral("&Results"));
    for (auto command : {PopupCommand::Clear, PopupCommand::Save, PopupCommand::Refresh, PopupCommand::Add,
                         PopupCommand::Remove, PopupCommand::Apply, PopupCommand::Update, PopupCommand::Goto})
      QVERIFY2(!findAction(menu, command)->isEnabled(), qPrintable(findAction(menu, command)->text()));
    for (auto command : {PopupCommand::Load, PopupCommand::Verify, PopupCommand::Reduce, PopupCommand::Import})
      QVERIFY2(findAction(menu, command)->isEnabled(), qPrintable(findAction(menu, command)->text()));
    closePopups();

    // Rows, one of them selected, and an item in the browsers.
    addRows(*window.results(), {"one", "two"});
    window.flushNow();
    current = search::RowLocation{kBase, std::string("one")};
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, {}, rowCentre(window.view(), 1));
    QCOMPARE(window.results()->selectedRows(), std::vector<std::size_t>{1});
    // The menu key: the platform turns it into a context menu event from the keyboard.
    window.view()->setFocus();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, rowCentre(window.view(), 1),
                              window.view()->viewport()->mapToGlobal(rowCentre(window.view(), 1)));
    QApplication::sendEvent(window.view()->viewport(), &menuKey);
    menu = nullptr;
    QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())));
    for (auto command : {PopupCommand::Clear, PopupCommand::Save, PopupCommand::Refresh, PopupCommand::Add,
                         PopupCommand::Remove, PopupCommand::Apply, PopupCommand::Update, PopupCommand::Goto})
      QVERIFY2(findAction(menu, command)->isEnabled(), qPrintable(findAction(menu, command)->text()));
    closePopups();
  }

  void clearingTwentyFiveRowsCountsDownByTens() {
    Fixture fixture;
    SearchWindow window;
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    std::vector<std::string> values;
    for (int i = 0; i < 25; ++i) values.push_back("v" + std::to_string(i));
    addRows(*window.results(), values);
    QTRY_COMPARE(window.model()->rowCount(), 25);
    QSignalSpy statuses(&window, &SearchWindow::statusShown);
    QSignalSpy shown(&window, &SearchWindow::rowShown);

    QMenu* menu = rightClickPopup(window);
    QVERIFY(menu);
    QAction* clear = findAction(menu, PopupCommand::Clear);
    QVERIFY(clear->isEnabled());
    clear->trigger();
    closePopups();
    QTRY_COMPARE(window.statusText(), QStringLiteral("Cleared."));
    QTRY_COMPARE(window.stateText(), QStringLiteral("Ready"));
    QTest::qWait(100);  // nothing follows "Cleared."
    QCOMPARE(window.statusText(), QStringLiteral("Cleared."));
    QStringList part1, part0;
    for (const auto& args : statuses) (args.at(0).toInt() == 1 ? part1 : part0) << args.at(1).toString();
    part1.removeAll(QStringLiteral("Selected 1 out of 25 items."));  // the right click selected a row
    QCOMPARE(part1, QStringList({"20 Items Remaining.", "10 Items Remaining.", "Cleared."}));
    QCOMPARE(part0, QStringList({"Clearing..", "Ready"}));
    QCOMPARE(window.model()->rowCount(), 0);
    QVERIFY(window.goButton()->isEnabled());
    QVERIFY(window.findBox()->isEnabled());
    // The data viewer is cleared.
    QVERIFY(!shown.isEmpty());
    QVERIFY(!shown.back().at(0).value<std::optional<search::DataRecord>>().has_value());
  }

  void sortingAColumnTwiceKeepsItAscending() {
    Fixture fixture;
    SearchWindow window;
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    addRows(*window.results(), {"beta", "Alpha", "gamma", "alpha2"});
    window.flushNow();
    QHeaderView* header = window.view()->horizontalHeader();
    const int x = header->sectionViewportPosition(search::kColumnValue) + header->sectionSize(search::kColumnValue) / 2;
    const QStringList ascending({"Alpha", "alpha2", "beta", "gamma"});
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    QCOMPARE(columnTexts(window.model(), search::kColumnValue), ascending);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    QCOMPARE(columnTexts(window.model(), search::kColumnValue), ascending);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // The selection follows its rows.
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, {}, rowCentre(window.view(), 2));
    window.model()->sort(search::kColumnData);
    QCOMPARE(window.results()->selectedRows(), std::vector<std::size_t>{2});
    QVERIFY(window.view()->selectionModel()->isRowSelected(2, {}));
  }

  void aFindTypedIntoTheWindowListsItsRows() {
    if (test::corpusDir().empty()) QSKIP("no corpus");
    CorpusPrefix prefix;
    auto& boxes = prefix.boxes;

    SearchWindow window;
    window.resize(900, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy statuses(&window, &SearchWindow::statusShown);
    window.findBox()->lineEdit()->setFocus();
    QTest::keyClicks(window.findBox()->lineEdit(), QStringLiteral("The Wine Project"));
    QTest::mouseClick(window.goButton(), Qt::LeftButton);
    waitForTheJob(window);
    QTRY_COMPARE(window.goButton()->text(), QStringLiteral("Go"));
    const int found = static_cast<int>(window.results()->size());
    QVERIFY(found > 10);
    QCOMPARE(window.model()->rowCount(), found);
    QTRY_COMPARE(window.statusText(), QStringLiteral("Found %1 items.").arg(found));
    QCOMPARE(window.stateText(), QStringLiteral("Ready"));
    bool searching = false;
    for (const auto& args : statuses)
      searching = searching || (args.at(0).toInt() == 0 && args.at(1).toString() == QStringLiteral("Searching..."));
    QVERIFY(searching);
    for (int row = 0; row < found; ++row) {
      const QString data = window.model()->index(row, search::kColumnData).data().toString();
      const QString value = window.model()->index(row, search::kColumnValue).data().toString();
      const QString key = window.model()->index(row, search::kColumnSubKey).data().toString();
      QVERIFY2((data + value + key).contains(QStringLiteral("the wine project"), Qt::CaseInsensitive),
               qPrintable(data));
    }
    QCOMPARE(window.model()->index(0, search::kColumnHive).data().toString(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    // The text joined the Find box's history.
    QCOMPARE(window.findBox()->count(), 1);
    QCOMPARE(window.findBox()->itemText(0), QStringLiteral("The Wine Project"));
    // A click counts the selection.
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, {}, rowCentre(window.view(), 0));
    QCOMPARE(window.statusText(), QStringLiteral("Selected 1 out of %1 items.").arg(found));
    QVERIFY(boxes->boxes().empty());
  }

  // As the end-to-end test drives it: Find text, Modify chosen from the
  // keyboard, a replacement, Go; every change is confirmed.
  void aModifyTypedIntoTheWindowWritesTheReplacement() {
    if (test::corpusDir().empty()) QSKIP("no corpus");
    CorpusPrefix prefix;
    auto& boxes = prefix.boxes;

    SearchWindow window;
    window.resize(900, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findBox()->lineEdit()->setFocus();
    QTest::keyClicks(window.findBox()->lineEdit(), QStringLiteral("The Wine Project"));
    window.modeList()->setFocus();
    QTest::keyClick(window.modeList(), Qt::Key_Down);
    QCOMPARE(window.modeList()->currentText(), QStringLiteral("Modify"));
    QVERIFY(window.replaceBox()->isEnabled());
    window.replaceBox()->lineEdit()->setFocus();
    QTest::keyClicks(window.replaceBox()->lineEdit(), QStringLiteral("The Talmoor Project"));
    QTest::mouseClick(window.goButton(), Qt::LeftButton);
    waitForTheJob(window);
    const int changed = static_cast<int>(window.results()->size());
    QVERIFY(changed > 10);
    QTRY_COMPARE(window.statusText(), QStringLiteral("Found %1 items.").arg(changed));
    QVERIFY(!boxes->confirmations().empty());
    // The rows show the new data, and the registry holds it.
    QCOMPARE(window.model()->index(0, search::kColumnData).data().toString(), QStringLiteral("The Talmoor Project"));
    auto row = window.model()->rowAt(0);
    registry::ScopedKey key(registry::openKeyByPath(row->keyPathText(), registry::kReadKeyAccess, {}));
    QVERIFY(key.get());
    DWORD type = 0;
    std::vector<BYTE> data;
    QCOMPARE(registry::queryValue(key.get(), row->valueName(), type, data, {}), LONG(ERROR_SUCCESS));
    QCOMPARE(std::string(data.begin(), data.end() - 1), std::string("The Talmoor Project"));
  }

  void theDeleteKeyRemovesTheSelectedRows() {
    Fixture fixture;
    SearchWindow window;
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    addRows(*window.results(), {"a", "b", "c", "d", "e"});
    window.flushNow();
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, {}, rowCentre(window.view(), 1));
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(window.view(), 2));
    QCOMPARE(window.results()->selectedRows(), (std::vector<std::size_t>{1, 2}));
    QCOMPARE(window.statusText(), QStringLiteral("Selected 2 out of 5 items."));
    QTest::keyClick(window.view(), Qt::Key_Delete);
    QTRY_COMPARE(window.model()->rowCount(), 3);
    QCOMPARE(columnTexts(window.model(), search::kColumnValue), QStringList({"a", "d", "e"}));
    QTRY_COMPARE(window.statusText(), QStringLiteral("Found 3 items."));
    QCOMPARE(window.view()->selectionModel()->selectedRows().size(), 0);
  }

  void selectModeSelectsTheMatchingRowsInTheView() {
    Fixture fixture;
    SearchWindow window;
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    addRows(*window.results(), {"apple", "banana", "cherry", "bramble"});
    window.flushNow();
    window.modeList()->setCurrentIndex(search::kModeSelect);
    window.findBox()->setEditText(QStringLiteral("B"));
    QTest::mouseClick(window.goButton(), Qt::LeftButton);
    waitForTheJob(window);
    QTRY_COMPARE(window.view()->selectionModel()->selectedRows().size(), 2);
    QVERIFY(window.view()->selectionModel()->isRowSelected(1, {}));
    QVERIFY(window.view()->selectionModel()->isRowSelected(3, {}));
    QCOMPARE(window.statusText(), QStringLiteral("Selected 2 out of 4 items."));
  }

  void theFocusedSelectedRowGoesToTheDataViewerAndDoubleClickGoesToIt() {
    Fixture fixture;
    SearchWindow window;
    std::vector<search::RowLocation> opened;
    window.setPathOpener([&](const search::RowLocation& location) { opened.push_back(location); });
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    addRows(*window.results(), {"first", "second"});
    window.flushNow();
    QSignalSpy shown(&window, &SearchWindow::rowShown);
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, {}, rowCentre(window.view(), 1, 3));
    QVERIFY(!shown.isEmpty());
    auto record = shown.back().at(0).value<std::optional<search::DataRecord>>();
    QVERIFY(record.has_value());
    QCOMPARE(std::string(record->bytes.begin(), record->bytes.end() - 1), std::string("second"));
    QCOMPARE(shown.back().at(1).toString(), QStringLiteral("Data Editor - Search Result"));
    // Ctrl+click takes the selection from the shown row: the viewer is cleared.
    QTest::mouseClick(window.view()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(window.view(), 1, 3));
    QVERIFY(!shown.back().at(0).value<std::optional<search::DataRecord>>().has_value());

    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {},
                       window.view()->viewport()->mapTo(&window, rowCentre(window.view(), 0, 3)));
    QTRY_COMPARE(opened.size(), std::size_t{1});
    QCOMPARE(opened[0].keyPath, std::string(kBase));
    QCOMPARE(opened[0].valueName, std::optional<std::string>("first"));

    // Hidden, the window gives the viewer back.
    QSignalSpy released(&window, &SearchWindow::viewerReleased);
    window.hide();
    QCOMPARE(released.size(), 1);
  }

  void theHistoriesAreLoadedAtOpenAndSavedOnClose() {
    Fixture fixture;
    putSz(kBase, "alpha", "x");
    {
      SearchWindow window;
      window.setStartPathSource([] { return std::optional<std::string>(kBase); });
      window.show();
      window.modeList()->setCurrentIndex(search::kModeModify);
      window.findBox()->lineEdit()->setFocus();
      QTest::keyClicks(window.findBox()->lineEdit(), QStringLiteral("nowhere"));
      window.replaceBox()->lineEdit()->setFocus();
      QTest::keyClicks(window.replaceBox()->lineEdit(), QStringLiteral("elsewhere"));
      // Enter in the Find box is Go.
      window.findBox()->lineEdit()->setFocus();
      QTest::keyClick(window.findBox()->lineEdit(), Qt::Key_Return);
      waitForTheJob(window);
      QTRY_COMPARE(window.findBox()->count(), 1);
      QCOMPARE(window.replaceBox()->itemText(0), QStringLiteral("elsewhere"));
      QCOMPARE(window.statusText(), QStringLiteral("No items found."));
      QVERIFY(window.queryClose());
    }
    SearchWindow next;
    QCOMPARE(next.findBox()->count(), 1);
    QCOMPARE(next.findBox()->itemText(0), QStringLiteral("nowhere"));
    QCOMPARE(next.replaceBox()->itemText(0), QStringLiteral("elsewhere"));
  }

  void closingWhileASearchRunsAsksItToStop() {
    Fixture fixture;
    SearchWindow window;
    std::atomic<bool> release{false};
    window.driver().startFileJob(search::JobKind::ResultsFile, [&](search::SearchContext& context) {
      while (!release && !context.aborted()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    QTRY_VERIFY(window.driver().searchRunning());
    QVERIFY(!window.queryClose());
    waitForTheJob(window);
    QVERIFY(window.queryClose());
  }

  void droppedEntriesAreAddedOnceAndDroppedScriptsLoaded() {
    Fixture fixture;
    putSz(kBase, "one", "first");
    putSz(kBase, "two", "second");
    SearchWindow window;
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto value = [](const char* name) {
      browse::EntryRecord record;
      record.keyPath = kBase;
      record.valueName = name;
      return record;
    };
    // The same value twice in one drop, and again in another: one row.
    const auto list = browse::encodeEntryList(std::vector{value("one"), value("two"), value("one")});
    QMimeData entries;
    entries.setData(browse::kEntryListMimeType, QByteArray(reinterpret_cast<const char*>(list.data()),
                                                           static_cast<qsizetype>(list.size())));
    auto drop = [&](const QMimeData& mime) {
      const QPoint at = window.view()->viewport()->rect().center();
      QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(window.view()->viewport(), &enter);
      QDropEvent event(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(window.view()->viewport(), &event);
    };
    drop(entries);
    QTRY_COMPARE(window.results()->size(), 2u);
    drop(entries);
    QTest::qWait(200);
    window.flushNow();
    QTRY_COMPARE(window.model()->rowCount(), 2);
    QCOMPARE(columnTexts(window.model(), search::kColumnValue), QStringList({"one", "two"}));

    // A script dropped from a file manager is loaded as rows.
    test::TempDir dir;
    const auto script = dir / "rows.reg";
    std::ofstream(script) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"three\"=\"third\"\n";
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(script.string()))});
    drop(files);
    waitForTheJob(window);
    QTRY_COMPARE(window.model()->rowCount(), 3);
    QVERIFY(fixture.boxes->boxLines().empty());
  }

  void saveAndLoadThroughTheRegistrySettingsDialog() {
    Fixture fixture;
    putSz(kBase, "kept", "value one");
    putSz(kBase + std::string("\\Sub"), "other", "value two");
    SearchWindow window;
    window.setStartPathSource([] { return std::optional<std::string>(kBase); });
    window.resize(700, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findBox()->setEditText(QStringLiteral("value"));
    QTest::mouseClick(window.goButton(), Qt::LeftButton);
    waitForTheJob(window);
    QCOMPARE(window.model()->rowCount(), 2);

    test::TempDir dir;
    const QString typed = QString::fromStdString((dir / "saved").string());
    QString title;
    QStringList filters;
    // The dialog is answered as a user would: a name typed, then Enter.
    auto answer = [&](const QString& file) {
      QTimer::singleShot(0, [&, file] {
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(file);
        QTest::keyClick(name, Qt::Key_Return);
      });
    };
    answer(typed);
    window.runCommand(PopupCommand::Save);
    QCOMPARE(title, QStringLiteral("Registry Settings"));
    QCOMPARE(filters, QStringList({"Registry File (*.reg)", "All Files (*.*)"}));
    waitForTheJob(window);
    QTRY_COMPARE(window.stateText(), QStringLiteral("Saved."));
    const auto saved = dir / "saved.reg";  // ".reg" added to a name without a dot
    QVERIFY(std::filesystem::exists(saved));
    const std::string text = test::readFile(saved);
    QVERIFY(text.rfind("REGEDIT4", 0) == 0);
    QVERIFY(text.find("\"kept\"=\"value one\"") != std::string::npos);

    window.runCommand(PopupCommand::Clear);
    QTRY_COMPARE(window.statusText(), QStringLiteral("Cleared."));
    answer(QString::fromStdString(saved.string()));
    window.runCommand(PopupCommand::Load);
    waitForTheJob(window);
    QTRY_COMPARE(window.model()->rowCount(), 2);
    QCOMPARE(columnTexts(window.model(), search::kColumnValue), QStringList({"kept", "other"}));
    QTRY_COMPARE(window.stateText(), QStringLiteral("Loaded."));
  }

  void theModelStaysSoundWhileRowsArriveFromAnotherThread() {
    Fixture fixture;
    auto list = std::make_shared<search::ResultList>();
    ResultItemModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QTableView view;
    view.setModel(&model);
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    std::atomic<bool> done{false};
    std::thread worker([&] {
      for (int i = 0; i < 3000; ++i) {
        const std::string name = "value" + std::to_string(i);
        list->addRow(false, kBase, name, {}, REG_DWORD, std::nullopt, i % 7 == 0 ? search::kMarkDone : 0);
        if (i % 500 == 499) {
          list->remove(3);
          list->remove(3);
          list->update(1, [](search::ResultRow& row) { row.statusMark = search::kMarkNotDone; });
        }
        if (i == 1500) list->addReplacementColumn();
      }
      done = true;
    });
    while (!done) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      view.viewport()->repaint();
    }
    worker.join();
    QTRY_COMPARE(model.rowCount(), static_cast<int>(list->size()));
    QCOMPARE(list->size(), std::size_t{3000 - 12});
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("Replacement"));
    QCOMPARE(model.index(1, 0).data(ResultItemModel::StatusMarkRole).toInt(), search::kMarkNotDone);
    QVERIFY(!model.index(0, search::kColumnValue).data(Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(model.index(0, search::kColumnValue).data(ResultItemModel::TypeImageRole).toInt(), int(REG_DWORD));
    model.sort(search::kColumnValue);
    QCOMPARE(model.index(0, search::kColumnValue).data().toString(), QStringLiteral("value0"));
    list->clear();
    QTRY_COMPARE(model.rowCount(), 0);
  }

  void theFrameOpensItWithF3AndItsRowsReachTheDataViewer() {
    Fixture fixture;
    putSz(kBase, "shown", "in the viewer");
    frame::ui::FrameStart start;
    start.workspace = Workspace::currentShared();
    start.splash = false;
    frame::ui::MainFrame frame(start);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTest::keyClick(&frame, Qt::Key_F3);
    QVERIFY(frame.subWindow(206)->isVisible());
    SearchWindow* window = frame.searchWindow();
    QCOMPARE(frame.subWindow(206)->widget(), window);
    window->findBox()->setEditText(QStringLiteral("in the viewer"));
    QTest::mouseClick(window->goButton(), Qt::LeftButton);
    waitForTheJob(*window);
    QTRY_COMPARE(window->model()->rowCount(), 1);
    frame.subWindow(204)->show();
    QTest::mouseClick(window->view()->viewport(), Qt::LeftButton, {}, rowCentre(window->view(), 0));
    QCOMPARE(frame.dataViewer()->caption(), QStringLiteral("Data Editor - Search Result"));
    QVERIFY(frame.dataViewer()->showingSearchResult());
    // Its bytes are edited in the hex pane and applied: the row takes them,
    // and the registry keeps what it held until the row is applied.
    auto* hex = frame.dataViewer()->editor()->hexEditor();
    hex->setFocus();
    QTest::keyClick(hex, Qt::Key_Home);
    QTest::keyClick(hex, Qt::Key_Insert);  // overwrite
    QTest::keyClicks(hex, "49");           // "I"
    QTest::keyClick(hex, Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(window->model()->rowAt(0)->data, std::string("In the viewer"));
    QCOMPARE(window->model()->rowAt(0)->record->bytes.front(), BYTE{'I'});
    QCOMPARE(browse::readValue(kBase, "shown")->data.front(), BYTE{'i'});
    frame.subWindow(206)->hide();
    QVERIFY(!frame.dataViewer()->showingSearchResult());
    frame.searchWindow()->driver().waitUntilIdle();
    QVERIFY(frame.close());
  }
};

QTEST_MAIN(SearchWindowTest)
#include "search_window_test.moc"

// The key browser and the value list as a user meets them, offscreen: the
// tree filled on expansion (checked by Qt's model tester), fast browsing
// that reports only the last key, quick search by friendly name, a new key
// abandoned with Escape, the popup menus' enabling, and values created,
// renamed, retyped, sorted and deleted from the list.

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QPushButton>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

#include "base/workspace.h"
#include "browse/ui/key_browser_window.h"
#include "browse/ui/key_tree_item_model.h"
#include "browse/ui/value_item_model.h"
#include "browse/ui/value_list_window.h"
#include "browse/value_list.h"
#include "frame/ui/data_viewer_window.h"
#include "hexedit/ui/data_editor_widget.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

using namespace talmoor;
using browse::NodeId;
using browse::ui::KeyBrowserWindow;
using browse::ui::KeyCommand;
using browse::ui::KeyTreeItemModel;
using browse::ui::ValueListWindow;

namespace {

constexpr const char* kBase = "HKEY_LOCAL_MACHINE\\Software\\Browse";

struct Fixture {
  Fixture() {
    for (int i = 0; i < 120; ++i) makeKey(QStringLiteral("Software\\Browse\\Key%1").arg(i, 3, 10, QChar('0')));
    makeKey(QStringLiteral("Software\\Browse\\Key000\\Child"));
  }
  static void makeKey(const QString& path) {
    HKEY key = 0;
    QCOMPARE(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, path.toStdString(), key, registry::kAllKeyAccess),
             ERROR_SUCCESS);
    registry::closeKey(key);
  }
  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
};

QAction* findAction(QMenu* menu, int command) {
  for (QAction* action : menu->actions()) {
    if (action->menu()) {
      if (QAction* found = findAction(action->menu(), command)) return found;
    } else if (action->data().isValid() && action->data().toInt() == command) {
      return action;
    }
  }
  return nullptr;
}

// Asked quietly (reading a value for display says so in a box when it is missing).
bool exists(const char* value) {
  registry::ScopedKey key(registry::openKeyByPath(kBase, registry::kReadKeyAccess, {}));
  return key.get() && registry::valueExists(key.get(), value);
}

bool enabled(QMenu* menu, KeyCommand command) { return findAction(menu, static_cast<int>(command))->isEnabled(); }

}  // namespace

class BrowsersWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void theTreeFillsOnExpansionAndFastBrowsingReportsTheLastKeyOnly() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    QAbstractItemModelTester tester(window.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.goTo(kBase));
    QVERIFY(window.model()->waitIdle());
    QCOMPARE(window.selectedPath(), std::string(kBase));
    QTRY_COMPARE(window.keysStatus(), QStringLiteral("120 Sub Keys(s)"));
    QCOMPARE(window.valuesStatus(), QStringLiteral("0 Value(s)"));

    const QModelIndex base = window.view()->currentIndex();
    window.view()->expand(base);
    QTRY_COMPARE(window.model()->rowCount(base), 120);
    QVERIFY(window.model()->waitIdle());
    const QModelIndex first = window.model()->index(0, 0, base);
    QVERIFY(window.model()->hasChildren(first));  // Key000 has a child of its own
    QVERIFY(!window.model()->hasChildren(window.model()->index(1, 0, base)));

    // A hundred arrow presses in quick succession: one report, for the last key.
    window.view()->setCurrentIndex(first);
    QTest::qWait(50);
    QSignalSpy selected(&window, &KeyBrowserWindow::keySelected);
    window.view()->setFocus();
    for (int i = 0; i < 100; ++i) QTest::keyClick(window.view(), Qt::Key_Down);
    QTRY_VERIFY(!selected.isEmpty());
    QTest::qWait(100);
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.front().front().toString(), QStringLiteral("%1\\Key100").arg(kBase));

    // Refresh lists the key again; sorting by type keeps the model sound.
    window.view()->setCurrentIndex(base);
    window.runCommand(KeyCommand::SortByType);
    window.runCommand(KeyCommand::Refresh);
    QVERIFY(window.model()->waitIdle());
    QTRY_COMPARE(window.model()->rowCount(window.model()->indexOf(window.model()->tree().reach(kBase).reached)), 120);
  }

  void quickSearchFindsByFriendlyNameUnlessActualIsTicked() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    window.show();
    QVERIFY(window.goTo(kBase));
    const NodeId base = window.model()->tree().reach(kBase).reached;
    window.model()->listNow(base);
    QVERIFY(window.model()->waitIdle());
    browse::ItemName friendly;
    friendly.displayName = "Zebra Service";
    window.model()->tree().applyName(window.model()->tree().findChild(base, "Key007"), friendly);

    window.actualBox()->setChecked(false);
    window.quickSearchEdit()->setFocus();
    QTest::keyClicks(window.quickSearchEdit(), QStringLiteral("zeb"));
    QCOMPARE(window.selectedPath(), std::string(kBase) + "\\Key007");
    QCOMPARE(window.quickSearchEdit()->text(), QStringLiteral("Zebra Service"));
    QCOMPARE(window.quickSearchEdit()->selectedText(), QStringLiteral("ra Service"));

    // Ticked, the raw names count: "zeb" finds nothing and the base is selected again.
    window.view()->setFocus();
    window.view()->setCurrentIndex(window.model()->indexOf(base));
    window.actualBox()->setChecked(true);
    window.quickSearchEdit()->clear();
    window.quickSearchEdit()->setFocus();
    QTest::keyClicks(window.quickSearchEdit(), QStringLiteral("zeb"));
    QCOMPARE(window.selectedPath(), std::string(kBase));
    QTest::keyClick(window.quickSearchEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(window.quickSearchEdit(), QStringLiteral("key11"));
    QCOMPARE(window.selectedPath(), std::string(kBase) + "\\Key110");
  }

  void aNewKeyAbandonedWithEscapeLeavesNothingAndATypedOneIsMade() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.goTo(std::string(kBase) + "\\Key001"));
    const NodeId parent = window.model()->tree().reach(std::string(kBase) + "\\Key001").reached;

    window.runCommand(KeyCommand::CreateChild);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QWidget* editor = QApplication::focusWidget();
    QCOMPARE(qobject_cast<QLineEdit*>(editor)->text(), QStringLiteral("Untitled"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(window.model()->tree().node(parent)->children.empty());
    QVERIFY(browse::listSubkeys(std::string(kBase) + "\\Key001").keys.empty());

    window.view()->setCurrentIndex(window.model()->indexOf(parent));
    window.runCommand(KeyCommand::CreateChild);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    editor = QApplication::focusWidget();
    qobject_cast<QLineEdit*>(editor)->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Made"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(window.selectedPath(), std::string(kBase) + "\\Key001\\Made");
    QCOMPARE(browse::listSubkeys(std::string(kBase) + "\\Key001").keys.size(), 1u);
    QVERIFY(!fixture.boxes->confirmations().empty());
    QVERIFY(fixture.boxes->confirmations().back().caption.find("Confirm Create") != std::string::npos);
  }

  void theKeyPopupIsEnabledForWhatTheItemIs() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    window.show();
    QMenu* menu = window.popupMenu();
    QVERIFY(window.goTo("HKEY_LOCAL_MACHINE"));
    window.updateMenu();
    QVERIFY(enabled(menu, KeyCommand::HiveLoad));
    QVERIFY(!enabled(menu, KeyCommand::CreateSibling));
    QVERIFY(!enabled(menu, KeyCommand::HiveRemove));
    QVERIFY(!enabled(menu, KeyCommand::Connect));  // other machines are not reached yet
    // Deleting a root is refused, with the box.
    window.runCommand(KeyCommand::Delete);
    QTRY_VERIFY(!fixture.boxes->boxLines().empty());
    QCOMPARE(fixture.boxes->boxLines().back(), std::string("Delete: Cannot delete Root Keys my friend"));

    QVERIFY(window.goTo(kBase));
    window.updateMenu();
    QVERIFY(!enabled(menu, KeyCommand::HiveLoad));
    QVERIFY(enabled(menu, KeyCommand::CreateSibling));
    QVERIFY(enabled(menu, KeyCommand::Delete));
    QVERIFY(!window.goTo(std::string(kBase) + "\\Nowhere"));
  }

  void valuesAreCreatedRenamedRetypedSortedAndDeletedFromTheList() {
    Fixture fixture;
    std::string name = "Nine";
    std::vector<BYTE> nine{'1', '2', '3', '4', '5', '6', '7', '8', 0};
    QVERIFY(registry::setValue("", 0, kBase, name, nine, REG_SZ, {}, nullptr));
    ValueListWindow window;
    QSignalSpy shown(&window, &ValueListWindow::valueSelected);
    QAbstractItemModelTester tester(window.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.showKey(kBase);
    QVERIFY(window.model()->waitIdle());
    QCOMPARE(window.model()->rowCount(), 1);

    // A new binary value: Escape leaves nothing; a typed name writes one zero byte.
    window.runCommand(REG_BINARY + 1);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QWidget* editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(window.model()->rowCount(), 1);
    window.runCommand(REG_BINARY + 1);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    editor = QApplication::focusWidget();
    QTest::keyClicks(editor, QStringLiteral("Fresh"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(exists("Fresh"));
    QCOMPARE(browse::readValue(kBase, "Fresh")->data, std::vector<BYTE>{0});
    QTRY_COMPARE(window.selectedNames(), std::vector<std::string>{"Fresh"});
    QCOMPARE(window.statusText(), QStringLiteral("Selected 1 of 2 Value(s)"));
    QVERIFY(!shown.isEmpty());  // the new value goes to the data viewer
    QCOMPARE(shown.back().back().toString(), QStringLiteral("Fresh"));
    QVERIFY(fixture.boxes->confirmations().back().caption.find("Confirm Overwrite") != std::string::npos);

    // Retyped through the Type cell; sorted by Size as text ("1" before "9").
    const int fresh = static_cast<int>(*window.model()->list().findByName("Fresh"));
    window.model()->setData(window.model()->index(fresh, 2), static_cast<uint>(REG_NONE));
    QTRY_COMPARE(browse::readValue(kBase, "Fresh")->type, static_cast<DWORD>(REG_NONE));
    window.model()->sort(3);
    QCOMPARE(window.model()->list().row(0)->rawName, std::string("Fresh"));
    QCOMPARE(window.selectedNames(), std::vector<std::string>{"Fresh"});  // the selection follows its value

    // Renamed in place with F2, then both deleted with the Delete key.
    window.view()->setFocus();
    QTest::keyClick(window.view(), Qt::Key_F2);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    editor = QApplication::focusWidget();
    qobject_cast<QLineEdit*>(editor)->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Renamed"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(exists("Renamed"));
    QVERIFY(!exists("Fresh"));
    QTRY_COMPARE(window.model()->list().row(0)->rawName, std::string("Renamed"));
    window.view()->selectAll();
    QCOMPARE(window.statusText(), QStringLiteral("Selected 2 of 2 Value(s)"));
    window.view()->setFocus();
    QTest::keyClick(window.view(), Qt::Key_Delete);
    QTRY_COMPARE(window.model()->rowCount(), 0);
    QVERIFY(browse::readValues(kBase).rows.empty());
    QVERIFY(fixture.boxes->boxLines().empty());
  }

  void editedDataIsWrittenOnApplyAndWhenAnotherValueIsChosen() {
    Fixture fixture;
    std::string name = "Count";
    std::vector<BYTE> count{1, 0, 0, 0};
    QVERIFY(registry::setValue("", 0, kBase, name, count, REG_DWORD, {}, nullptr));
    name = "Other";
    QVERIFY(registry::setValue("", 0, kBase, name, count, REG_DWORD, {}, nullptr));
    frame::ui::DataViewerWindow viewer;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    auto* editor = viewer.editor();
    viewer.showRegistryValue(kBase, "Count");
    QTRY_COMPARE(editor->decimalEdit()->text(), QStringLiteral("1"));

    // Typing changes nothing in the registry until Apply.
    editor->decimalEdit()->selectAll();
    QTest::keyClicks(editor->decimalEdit(), QStringLiteral("258"));
    QTest::qWait(50);
    QCOMPARE(browse::readValue(kBase, "Count")->data, count);
    QSignalSpy written(&viewer, &frame::ui::DataViewerWindow::written);
    QTest::mouseClick(editor->applyButton(), Qt::LeftButton);
    QTRY_COMPARE(written.size(), 1);
    QCOMPARE(browse::readValue(kBase, "Count")->data, (std::vector<BYTE>{2, 1, 0, 0}));
    QVERIFY(fixture.boxes->confirmations().back().caption.find("Data Changed") != std::string::npos);

    // Unsaved edits go to the registry when another value is chosen.
    editor->decimalEdit()->selectAll();
    QTest::keyClicks(editor->decimalEdit(), QStringLiteral("3"));
    viewer.showRegistryValue(kBase, "Other");
    QTRY_COMPARE(written.size(), 2);
    QCOMPARE(browse::readValue(kBase, "Count")->data, (std::vector<BYTE>{3, 0, 0, 0}));
    QTRY_COMPARE(editor->decimalEdit()->text(), QStringLiteral("1"));
  }
};

QTEST_MAIN(BrowsersWindowTest)
#include "browsers_test.moc"

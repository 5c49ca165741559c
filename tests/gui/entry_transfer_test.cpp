// Copy, cut and paste of keys and values with the keyboard, and drops on the
// key tree and the value list, offscreen: what arrives where, what is asked,
// and what is refused.

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QTableView>
#include <QTreeView>
#include <QUrl>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/workspace.h"
#include "browse/entry_transfer.h"
#include "browse/key_tree.h"
#include "browse/ui/entry_transfer_controller.h"
#include "browse/ui/key_browser_window.h"
#include "browse/ui/key_tree_item_model.h"
#include "browse/ui/value_item_model.h"
#include "browse/ui/value_list_window.h"
#include "browse/value_list.h"
#include "frame/frame_commands.h"
#include "frame/ui/main_frame.h"
#include "gui/drag_source_view.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

using namespace talmoor;
using browse::ui::EntryTransferController;
using browse::ui::KeyBrowserWindow;
using browse::ui::ValueListWindow;

namespace {

const std::string kBase = "HKEY_LOCAL_MACHINE\\Software\\Transfer";

struct Fixture {
  Fixture() {
    for (const char* name : {"One", "Two", "Three", "Four"}) {
      QVERIFY(registry::setStringValue("", 0, kBase + "\\" + name, "name", name));
    }
    QVERIFY(registry::setStringValue("", 0, kBase + "\\One\\Below", "deep", "x"));
  }
  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
};

// Asked quietly: a failed open must not show (and answer) a box of its own.
bool keyExists(const std::string& path) {
  registry::ReportTo quiet([](const ErrorReport&) { return true; });
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, quiet));
  return key.get() != 0;
}

// A drag entering the view at a point and dropped there.
bool valueExists(const std::string& path, const char* name) {
  registry::ReportTo quiet([](const ErrorReport&) { return true; });
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, quiet));
  return key.get() && registry::valueExists(key.get(), name);
}

void dropOn(QAbstractItemView* view, const QPoint& at, const QMimeData& mime, Qt::DropAction action) {
  QDragEnterEvent enter(at, action, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &enter);
  QDragMoveEvent move(at, action, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &move);
  QDropEvent event(QPointF(at), action, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &event);
}

}  // namespace

class EntryTransferWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void keysAreCopiedAndMovedThroughTheClipboardWithTheKeyboard() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(window.goTo(kBase + "\\One"));
    window.view()->setFocus();
    QTest::keyClick(window.view(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(kBase + "\\One"));
    QVERIFY(window.goTo(kBase + "\\Two"));
    fixture.boxes->answer({IDYES});
    QTest::keyClick(window.view(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(keyExists(kBase + "\\Two\\One\\Below"));
    QCOMPARE(fixture.boxes->boxes().front().title, std::string("Confirm Action"));
    // The key that took the copy shows that it has children now.
    const auto two = window.model()->indexOf(window.model()->tree().reach(kBase + "\\Two").reached);
    QTRY_VERIFY(window.model()->hasChildren(two));
    QVERIFY(keyExists(kBase + "\\One"));
    // The tree shows what arrived.
    QTRY_VERIFY(window.goTo(kBase + "\\Two\\One\\Below"));

    // Cut and paste moves: the source goes, and the clipboard is emptied.
    QVERIFY(window.goTo(kBase + "\\Three"));
    window.view()->setFocus();
    QTest::keyClick(window.view(), Qt::Key_X, Qt::ControlModifier);
    QVERIFY(window.goTo(kBase + "\\Four"));
    fixture.boxes->answer({IDYES});
    QTest::keyClick(window.view(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(keyExists(kBase + "\\Four\\Three"));
    QTRY_VERIFY(!keyExists(kBase + "\\Three"));
    QTRY_VERIFY(!QApplication::clipboard()->mimeData() ||
                !QApplication::clipboard()->mimeData()->hasFormat(browse::kEntryListMimeType));

    // Into its own branch is refused before anything is written.
    QVERIFY(window.goTo(kBase + "\\Two"));
    window.runCommand(browse::ui::KeyCommand::Copy);
    QVERIFY(window.goTo(kBase + "\\Two\\One"));
    fixture.boxes->clear();
    window.runCommand(browse::ui::KeyCommand::Paste);
    QTRY_VERIFY(!fixture.boxes->boxes().empty());
    QCOMPARE(fixture.boxes->boxes().front().title, std::string("Sorry"));
    QVERIFY(!keyExists(kBase + "\\Two\\One\\Two"));

    window.runCommand(browse::ui::KeyCommand::CopyKeyName);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(kBase + "\\Two\\One"));
  }

  void theEditMenuCopiesWhatTheActiveBrowserHasSelected() {
    Fixture fixture;
    frame::ui::FrameStart start;
    start.workspace = Workspace::currentShared();
    start.splash = false;
    frame::ui::MainFrame frame(start);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QVERIFY(frame.keyBrowser()->goTo(kBase + "\\Three"));
    QApplication::clipboard()->clear();
    frame.runCommand(static_cast<int>(frame::FrameCommand::CopyKeyName));
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(kBase + "\\Three"));
    frame.runCommand(static_cast<int>(frame::FrameCommand::Copy));
    std::string problem;
    auto records = EntryTransferController::recordsIn(*QApplication::clipboard()->mimeData(), problem);
    QVERIFY(records);
    QCOMPARE(records->size(), 1u);
    QCOMPARE(records->front().keyPath, kBase + "\\Three");
    QVERIFY(frame.close());
  }

  void aKeyDraggedToAFileManagerIsARegistryScriptWrittenWhenAsked() {
    Fixture fixture;
    KeyBrowserWindow window(Workspace::currentShared());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.goTo(kBase + "\\One"));
    auto* view = dynamic_cast<gui::DragSourceView<QTreeView>*>(window.view());
    QVERIFY(view);
    std::unique_ptr<QMimeData> data = view->dragData();
    QVERIFY(data->hasUrls());
    // Inside the program the entries are taken, and no file is written.
    QVERIFY(data->hasFormat(browse::kEntryMimeType));
    const QList<QUrl> urls = data->urls();
    QCOMPARE(urls.size(), 1);
    const std::string file = urls.front().toLocalFile().toStdString();
    QCOMPARE(std::filesystem::path(file).filename().string(), std::string("One.reg"));
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(text.rfind("REGEDIT4", 0) == 0);
    QVERIFY(text.find("[" + kBase + "\\One\\Below]") != std::string::npos);
    QVERIFY(text.find("\"deep\"=\"x\"") != std::string::npos);
    std::filesystem::remove(file);
    view->dragFinished(Qt::IgnoreAction, false);
  }

  void dropsOnTheTreeAndTheValueListApplyWhatTheyMayTake() {
    Fixture fixture;
    KeyBrowserWindow tree(Workspace::currentShared());
    ValueListWindow values;
    tree.show();
    values.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    values.showKey(kBase + "\\Four");
    QVERIFY(values.model()->waitIdle());

    // A key dropped on a key of the tree is copied below it.
    QVERIFY(tree.goTo(kBase + "\\Two"));
    const QPoint onTwo = tree.view()->visualRect(tree.view()->currentIndex()).center();
    auto key = EntryTransferController::mimeFor({browse::keyRecord(kBase + "\\One")}, false);
    fixture.boxes->answer({IDYES});
    dropOn(tree.view(), onTwo, *key, Qt::CopyAction);
    QTRY_VERIFY(keyExists(kBase + "\\Two\\One\\Below"));

    // The value list refuses keys, and takes values into the key it shows.
    fixture.boxes->clear();
    dropOn(values.view(), QPoint(5, 5), *key, Qt::CopyAction);
    QTRY_VERIFY(!fixture.boxes->boxes().empty());
    QCOMPARE(fixture.boxes->boxes().front().title, std::string("Key to Value conversion unsupported"));
    auto record = browse::valueRecord(kBase + "\\One", "name");
    QVERIFY(record);
    auto value = EntryTransferController::mimeFor({*record}, false);
    // Dropped as a move, the value leaves its key.
    dropOn(values.view(), QPoint(5, 5), *value, Qt::MoveAction);
    QTRY_COMPARE(browse::readValue(kBase + "\\Four", "name")->data, (std::vector<BYTE>{'O', 'n', 'e', 0}));
    QTRY_VERIFY(!valueExists(kBase + "\\One", "name"));

    // A desktop entry dropped on the tree becomes a string value of that key.
    test::TempDir dir;
    const auto file = dir.path() / "Editor.desktop";
    std::ofstream(file) << "[Desktop Entry]\nExec=gedit %U\n";
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    dropOn(tree.view(), onTwo, files, Qt::CopyAction);
    QTRY_VERIFY(browse::readValue(kBase + "\\Two", "Editor").has_value());
    QCOMPARE(browse::readValue(kBase + "\\Two", "Editor")->data, (std::vector<BYTE>{'g', 'e', 'd', 'i', 't', 0}));

    // A block that lies about its lengths is refused, not read.
    QMimeData damaged;
    damaged.setData(browse::kEntryListMimeType, QByteArray("\x05\x00\x00\x00garbage", 11));
    fixture.boxes->clear();
    dropOn(tree.view(), onTwo, damaged, Qt::CopyAction);
    QTRY_VERIFY(!fixture.boxes->boxes().empty());
    QCOMPARE(fixture.boxes->boxes().front().title, std::string("Sorry"));
  }
};

QTEST_MAIN(EntryTransferWindowTest)
#include "entry_transfer_test.moc"

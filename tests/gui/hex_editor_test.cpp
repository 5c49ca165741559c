// The hex editor and the data editor as a user meets them, offscreen, with
// real key events: typing without data, the questions answered No, radixes,
// goto and find through their dialog, the clipboard with NUL bytes, and the
// typed views writing the same bytes as the hex pane.

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "hexedit/ui/data_editor_widget.h"
#include "hexedit/ui/hex_editor_widget.h"
#include "platform/registry/registry_constants.h"
#include "support/scripted_interaction.h"

using namespace talmoor;
using namespace talmoor::hexedit;
using talmoor::hexedit::ui::DataEditorWidget;
using talmoor::hexedit::ui::HexEditorWidget;

namespace {

std::vector<BYTE> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// A shown, focused editor over a vector of its own it may resize, with boxes
// answered from a script.
struct Fixture {
  explicit Fixture(std::optional<std::vector<BYTE>> data) {
    widget.resize(640, 300);
    if (data) {
      bytes = std::make_shared<std::vector<BYTE>>(std::move(*data));
      widget.editor().editShared(bytes);
      widget.editor().setMemoryKind(MemoryKind::OwnAllocator);
    }
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.activateWindow();
    widget.setFocus();
    QTRY_VERIFY(widget.hasFocus());
  }
  // Dialog text for Ctrl+F or Ctrl+G, then Enter.
  void useDialog(Qt::Key key, const QString& text, bool unicode = false) {
    QTest::keyClick(&widget, key, Qt::ControlModifier);
    QDialog* dialog = widget.searchDialog();
    QVERIFY(dialog && dialog->isVisible());
    auto* edit = dialog->findChild<QLineEdit*>();
    if (auto* box = dialog->findChild<QCheckBox*>()) box->setChecked(unicode);
    edit->clear();
    for (QChar character : text) {
      // QTest's keyClicks takes ASCII only; other characters come as typed text.
      if (character.unicode() < 0x80) QTest::keyClick(edit, character.toLatin1());
      else QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!dialog->isVisible());
  }
  std::string text() const { return std::string(bytes->begin(), bytes->end()); }

  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
  HexEditorWidget widget;
  std::shared_ptr<std::vector<BYTE>> bytes;
};

void selectFromStart(QWidget* widget, int count) {
  QTest::keyClick(widget, Qt::Key_Home);
  for (int i = 0; i < count; ++i) QTest::keyClick(widget, Qt::Key_Right, Qt::ShiftModifier);
}

}  // namespace

class HexEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void typingWithNoDataDoesNothingAndTheMenuIsOff() {
    Fixture fixture(std::nullopt);
    QTest::keyClicks(&fixture.widget, "41ab");
    QTest::keyClick(&fixture.widget, Qt::Key_Insert, Qt::ShiftModifier);
    QVERIFY(!fixture.widget.editor().hasData());
    QCOMPARE(fixture.boxes->boxLines(), std::vector<std::string>{"Cannot Insert: There is no data set to this Control"});
    QApplication::clipboard()->setText(QStringLiteral("x"));
    QMenu* menu = fixture.widget.popupMenu();
    QCOMPARE(menu->accessibleName(), QStringLiteral("Hex Editor Menu"));
    for (Command command : {Command::Undo, Command::Cut, Command::Copy, Command::Paste, Command::Compare,
                            Command::Delete, Command::Browse, Command::SelectAll, Command::Binary, Command::Colour}) {
      QVERIFY2(!fixture.widget.commandAction(command)->isEnabled(), "with no data every item is off");
    }
    // With data, the items follow the selection; Undo stays off.
    fixture.widget.editor().copyIn(bytesOf("abcd"));
    fixture.widget.editor().focusIn(false);
    selectFromStart(&fixture.widget, 2);
    fixture.widget.popupMenu();
    QVERIFY(fixture.widget.commandAction(Command::Cut)->isEnabled());
    QVERIFY(fixture.widget.commandAction(Command::Paste)->isEnabled());
    QVERIFY(fixture.widget.commandAction(Command::Hexadecimal)->isChecked());
    QVERIFY(!fixture.widget.commandAction(Command::Undo)->isEnabled());
    QCOMPARE(fixture.widget.commandAction(Command::Hexadecimal)->text(), QStringLiteral("Hexidecimal"));
  }

  void overwritingPastTheEndAsksAndNoKeepsTheLength() {
    Fixture fixture(std::vector<BYTE>{0x10, 0x20});
    QTest::keyClick(&fixture.widget, Qt::Key_Insert);  // overwrite
    QVERIFY(!fixture.widget.editor().insertMode());
    QTest::keyClicks(&fixture.widget, "ab");
    QCOMPARE(*fixture.bytes, (std::vector<BYTE>{0xAB, 0x20}));
    QTest::keyClick(&fixture.widget, Qt::Key_End);
    fixture.boxes->answer({IDNO});
    QTest::keyClicks(&fixture.widget, "c");
    QCOMPARE(fixture.bytes->size(), std::size_t{2});
    QCOMPARE(fixture.boxes->boxLines(),
             std::vector<std::string>{"Expand File/Memory-block Size: Expand Edited Hex Memory/File Size?"});
  }

  void pastingSixBytesOverFourAnsweredNoWritesFour() {
    Fixture fixture(bytesOf("0123456789"));
    QApplication::clipboard()->setText(QStringLiteral("ABCDEF"));
    QTest::keyClick(&fixture.widget, Qt::Key_Right);
    QTest::keyClick(&fixture.widget, Qt::Key_Right);  // two digits: the next byte
    for (int i = 0; i < 4; ++i) QTest::keyClick(&fixture.widget, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(fixture.widget.editor().selection(), (std::pair<std::size_t, std::size_t>{1, 5}));
    fixture.boxes->answer({IDNO});
    QTest::keyClick(&fixture.widget, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(fixture.text(), std::string("0ABCD56789"));
    QCOMPARE(fixture.boxes->boxes().at(0).title, std::string("Alter Selection to Match?"));
  }

  void theRadixChangesTheCellsAndTheBytesPerRow() {
    Fixture fixture(std::vector<BYTE>(600, 0x5A));
    const int hexPerRow = fixture.widget.editor().layout().bytesPerRow;
    QVERIFY(hexPerRow > 4);
    fixture.widget.popupMenu();
    fixture.widget.commandAction(Command::Binary)->trigger();
    QCOMPARE(fixture.widget.editor().radix(), Radix::Binary);
    QVERIFY(fixture.widget.editor().layout().bytesPerRow < hexPerRow);
    // Digits of the radix only: '2' is not binary.
    QTest::keyClick(&fixture.widget, Qt::Key_Insert);
    QTest::keyClicks(&fixture.widget, "11112");
    QCOMPARE((*fixture.bytes)[0], BYTE{0xFA});
    const int binaryPerRow = fixture.widget.editor().layout().bytesPerRow;
    fixture.widget.commandAction(Command::Decimal)->trigger();
    const int decimalPerRow = fixture.widget.editor().layout().bytesPerRow;
    QVERIFY(decimalPerRow > binaryPerRow && decimalPerRow < hexPerRow);
  }

  void gotoReadsHexadecimalAndTheTipNamesTheOffset() {
    Fixture fixture(std::vector<BYTE>(4096, 0));
    fixture.useDialog(Qt::Key_G, QStringLiteral("1f"));
    QCOMPARE(fixture.widget.searchDialog()->windowTitle(), QStringLiteral("Goto Hex Offset"));
    QCOMPARE(fixture.widget.editor().firstOffset(), std::size_t{0x1F});
    auto cell = fixture.widget.editor().cellRect(Pane::Number, 0x1F);
    QVERIFY(cell);
    QCOMPARE(fixture.widget.indexTipAt(QPoint(cell->x + 1, cell->y + 1)), QStringLiteral("0x1f"));
  }

  void findSearchesInsideASelectionAndAsUnicode() {
    Fixture fixture(bytesOf("abcXYabcXYabc"));
    QTest::keyClick(&fixture.widget, Qt::Key_Tab);  // the text pane: one step a byte
    QCOMPARE(fixture.widget.editor().caret().pane, Pane::Text);
    for (int i = 0; i < 3; ++i) QTest::keyClick(&fixture.widget, Qt::Key_Right);
    for (int i = 0; i < 7; ++i) QTest::keyClick(&fixture.widget, Qt::Key_Right, Qt::ShiftModifier);
    fixture.useDialog(Qt::Key_F, QStringLiteral("abc"));
    QCOMPARE(fixture.widget.searchDialog()->windowTitle(), QStringLiteral("Search Value Data"));
    QCOMPARE(fixture.widget.editor().selection(), (std::pair<std::size_t, std::size_t>{5, 8}));
    QTest::keyClick(&fixture.widget, Qt::Key_F3);
    QCOMPARE(fixture.widget.editor().selection(), (std::pair<std::size_t, std::size_t>{10, 13}));
    QTest::keyClick(&fixture.widget, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(fixture.boxes->boxLines().back(), std::string("Sorry: Searching Backwards Not Implemented"));

    // "hé" as UTF-16LE, not as the UTF-8 bytes.
    *fixture.bytes = {'-', 0, 'h', 0, 0xE9, 0, '-', 0};
    fixture.widget.editor().redraw();
    QTest::keyClick(&fixture.widget, Qt::Key_Home);
    fixture.useDialog(Qt::Key_F, QStringLiteral("hé"), true);
    QCOMPARE(fixture.widget.editor().selection(), (std::pair<std::size_t, std::size_t>{2, 6}));
  }

  void cutAndPasteKeepNulBytes() {
    Fixture fixture(std::vector<BYTE>{'a', 0, 'b', 0, 0, 'z'});
    selectFromStart(&fixture.widget, 5);
    QTest::keyClick(&fixture.widget, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(*fixture.bytes, (std::vector<BYTE>{'z'}));
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    QCOMPARE(mime->text(), QStringLiteral("a"));  // other programs read text up to the NUL
    QCOMPARE(mime->data(QStringLiteral("application/octet-stream")), QByteArray("a\0b\0\0", 5));
    QTest::keyClick(&fixture.widget, Qt::Key_End);
    QTest::keyClick(&fixture.widget, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(*fixture.bytes, (std::vector<BYTE>{'z', 'a', 0, 'b', 0, 0}));
  }

  void dropsInsertAtThePointAndTheWheelScrolls() {
    Fixture fixture(std::vector<BYTE>(2000, '.'));
    auto cell = fixture.widget.editor().cellRect(Pane::Text, 3);
    QVERIFY(cell);
    QMimeData mime;
    mime.setText(QStringLiteral("hi"));
    const QPointF at(cell->x + 1, cell->y + 1);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(fixture.widget.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(fixture.widget.viewport(), &drop);
    QCOMPARE(fixture.bytes->size(), std::size_t{2002});
    QCOMPARE(std::string(fixture.bytes->begin(), fixture.bytes->begin() + 7), std::string("...hi.."));
    QVERIFY(fixture.boxes->boxes().empty());
    // The wheel scrolls by rows; the data stays.
    QWheelEvent wheel(QPointF(5, 5), fixture.widget.viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(fixture.widget.viewport(), &wheel);
    QVERIFY(fixture.widget.editor().firstOffset() > 0);
    QCOMPARE(fixture.widget.editor().firstOffset() % fixture.widget.editor().layout().bytesPerRow, std::size_t{0});
  }

  void theNumberEditorWritesTheDwordsBytesAndWaitsForApply() {
    std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
    ScopedInteraction installed{boxes};
    DataEditorWidget editor;
    editor.resize(640, 420);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QSignalSpy commits(&editor, &DataEditorWidget::commitRequested);
    editor.showValue(QStringLiteral("Count"), REG_DWORD, {1, 0, 0, 0}, true);
    QCOMPARE(editor.decimalEdit()->text(), QStringLiteral("1"));
    QCOMPARE(editor.hexadecimalEdit()->text(), QStringLiteral("0x00000001"));
    QVERIFY(!editor.isModified());
    QVERIFY(!editor.applyButton()->isEnabled());
    editor.hexadecimalEdit()->setFocus();
    editor.hexadecimalEdit()->selectAll();
    QTest::keyClicks(editor.hexadecimalEdit(), "0x12345678");
    QCOMPARE(editor.data(), (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));
    QCOMPARE(editor.decimalEdit()->text(), QStringLiteral("305419896"));
    QVERIFY(editor.isModified());
    QCOMPARE(commits.count(), 0);  // typing writes nothing
    // The hex pane edits the same bytes and the number follows.
    editor.hexEditor()->setFocus();
    QTest::keyClick(editor.hexEditor(), Qt::Key_Home);
    QTest::keyClick(editor.hexEditor(), Qt::Key_Insert);
    QTest::keyClicks(editor.hexEditor(), "ff");
    QCOMPARE(editor.decimalEdit()->text(), QStringLiteral("305420031"));
    QTest::keyClick(editor.hexEditor(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(commits.count(), 1);
    editor.markSaved();
    QVERIFY(!editor.isModified());
    QTest::mouseClick(editor.applyButton(), Qt::LeftButton);
    QCOMPARE(commits.count(), 1);  // nothing new to write

    // Big-endian: the same number, the other byte order.
    editor.showValue(QStringLiteral("Order"), REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, true);
    editor.decimalEdit()->selectAll();
    QTest::keyClicks(editor.decimalEdit(), "258");
    QCOMPARE(editor.data(), (std::vector<BYTE>{0, 0, 1, 2}));
    QVERIFY(boxes->boxes().empty());
  }

  void theTextAndListEditorsKeepTheTerminators() {
    std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
    ScopedInteraction installed{boxes};
    DataEditorWidget editor;
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.showValue(QStringLiteral("Path"), REG_SZ, {'a', 'b', 0}, true);
    editor.textEdit()->setFocus();
    editor.textEdit()->end(false);
    QTest::keyClicks(editor.textEdit(), "c");
    QCOMPARE(editor.data(), (std::vector<BYTE>{'a', 'b', 'c', 0}));

    editor.showValue(QStringLiteral("List"), REG_MULTI_SZ, {'x', 0, 0}, true);
    QCOMPARE(editor.listEdit()->toPlainText(), QStringLiteral("x"));
    editor.listEdit()->setFocus();
    editor.listEdit()->moveCursor(QTextCursor::End);
    QTest::keyClick(editor.listEdit(), Qt::Key_Return);
    QTest::keyClicks(editor.listEdit(), "yz");
    QCOMPARE(editor.data(), (std::vector<BYTE>{'x', 0, 'y', 'z', 0, 0}));

    // Read-only data stays as it is in both views.
    editor.showValue(QStringLiteral("Fixed"), REG_SZ, {'q', 0}, false);
    QVERIFY(editor.textEdit()->isReadOnly());
    editor.hexEditor()->setFocus();
    QTest::keyClicks(editor.hexEditor(), "41");
    QCOMPARE(editor.data(), (std::vector<BYTE>{'q', 0}));
    QVERIFY(!editor.isModified());

    // Bytes that are not UTF-8 are not offered for typing.
    editor.showValue(QStringLiteral("Odd"), REG_SZ, {0xFF, 0xFE, 0}, true);
    QVERIFY(editor.textEdit()->isReadOnly());
  }

  // Not a check: pictures of the four radixes for a person to look at, when
  // TALMOOR_HEX_SCREENSHOTS names a folder.
  void screenshots() {
    const QByteArray folder = qgetenv("TALMOOR_HEX_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("TALMOOR_HEX_SCREENSHOTS not set");
    std::vector<BYTE> data;
    for (int i = 0; i < 300; ++i) data.push_back(static_cast<BYTE>(i * 37 + (i % 3 ? 'A' : 0)));
    std::string text = "C:\\windows\\system32\\drivers\\etc\\hosts";
    std::copy(text.begin(), text.end(), data.begin() + 16);
    Fixture fixture(data);
    fixture.widget.resize(720, 300);
    selectFromStart(&fixture.widget, 20);
    for (Command command : {Command::Binary, Command::Octal, Command::Decimal, Command::Hexadecimal}) {
      fixture.widget.editor().runCommand(command);
      fixture.widget.grab().save(QString::fromUtf8(folder) + QStringLiteral("/hex_radix_%1.png").arg(static_cast<int>(command)));
    }
    DataEditorWidget editor;
    editor.resize(640, 420);
    editor.showValue(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Example  Count"), REG_DWORD, {0x2A, 0, 0, 0}, true);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.grab().save(QString::fromUtf8(folder) + QStringLiteral("/data_editor_dword.png"));
    editor.showValue(QStringLiteral("Path"), REG_EXPAND_SZ, bytesOf(std::string("%SystemRoot%\\system32", 22)), true);
    editor.grab().save(QString::fromUtf8(folder) + QStringLiteral("/data_editor_expand_sz.png"));
  }
};

QTEST_MAIN(HexEditorTest)
#include "hex_editor_test.moc"

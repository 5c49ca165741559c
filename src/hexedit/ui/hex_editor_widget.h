#pragma once
// The hex editor's window: paints the rows on screen (and only those) of the
// headless editor, turns keys, the mouse, the wheel, drops and the pop-up
// menu into its commands, and holds the clipboard in two forms: text for
// other programs, and the exact bytes (application/octet-stream) so that a
// copy and paste inside Talmoor keeps NUL bytes.

#include <QAbstractScrollArea>
#include <QFont>

#include "hexedit/hex_editor.h"

class QAction;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace talmoor::hexedit::ui {

class HexEditorWidget : public QAbstractScrollArea, private HexEditorHost {
  Q_OBJECT

 public:
  explicit HexEditorWidget(QWidget* parent = nullptr);
  ~HexEditorWidget() override;

  // The editor itself: its host interface sets and reads the data.
  HexEditor& editor() { return editor_; }
  const HexEditor& editor() const { return editor_; }

  QFont editorFont() const { return font_; }
  void setEditorFont(const QFont& font);

  // The pop-up menu with its items enabled for the present state.
  QMenu* popupMenu();
  QAction* commandAction(Command command) const;
  // The find and goto dialog, made on first use.
  QDialog* searchDialog() const { return dialog_; }
  void showFind();
  void showGoto();
  // The "Index" tip's text for a point of the viewport ("0x1f"), empty off the data.
  QString indexTipAt(QPoint point) const;

 signals:
  // The bytes changed (typing, paste, drop, ...).
  void dataEdited();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  std::optional<ClipboardData> readClipboard() override;
  void writeClipboard(const ClipboardData& data) override;
  void beep() override;

  void buildMenu();
  void updateMenu();
  void runMenuCommand(Command command);
  void browse();
  void chooseFont(Command command);
  void openSearchDialog(bool gotoMode);
  void searchDialogAccepted();
  void remeasure();
  void syncScrollBar();

  HexEditor editor_;
  QFont font_;
  int digitWidth_ = 8;
  QMenu* menu_ = nullptr;
  QMenu* fontMenu_ = nullptr;
  QDialog* dialog_ = nullptr;
  QLabel* dialogLabel_ = nullptr;
  QLineEdit* dialogText_ = nullptr;
  QCheckBox* unicode_ = nullptr;
  QPushButton* dialogGo_ = nullptr;
  bool gotoMode_ = false;
  bool syncing_ = false;
};

}  // namespace talmoor::hexedit::ui

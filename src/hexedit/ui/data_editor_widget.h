#pragma once
// What the Data Viewer shows: the hex editor and, for the common types, the
// data as what it means (a text, a list of strings, a number in hexadecimal
// and decimal). Both views edit one copy of the bytes. Nothing leaves the
// widget while the user types: "Apply" or Ctrl+S asks the host to write.

#include <QWidget>
#include <memory>
#include <vector>

#include "platform/win32_types.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace talmoor::hexedit::ui {

class HexEditorWidget;

class DataEditorWidget : public QWidget {
  Q_OBJECT

 public:
  explicit DataEditorWidget(QWidget* parent = nullptr);

  // String data (types 1, 2, 7) comes as ANSI bytes with their terminators.
  void showValue(const QString& caption, DWORD type, std::vector<BYTE> data, bool editable);
  void clearValue();
  // The line above the panes: what is shown ("Data Editor - Registry Value").
  QString caption() const;
  void setCaption(const QString& caption);
  std::vector<BYTE> data() const;
  DWORD type() const { return type_; }
  bool isModified() const { return modified_; }
  // The host wrote the data: what is shown is the saved state now.
  void markSaved();

  HexEditorWidget* hexEditor() const { return hex_; }
  // The typed view's controls (null where the type has none), for tests and
  // screen readers.
  QLineEdit* textEdit() const { return text_; }
  QLineEdit* expandedEdit() const { return expanded_; }
  QPlainTextEdit* listEdit() const { return list_; }
  QLineEdit* hexadecimalEdit() const { return hexadecimal_; }
  QLineEdit* decimalEdit() const { return decimal_; }
  QPushButton* applyButton() const { return apply_; }

 signals:
  // The user asked to write the edited data (Apply, Ctrl+S).
  void commitRequested();
  // The bytes changed in either view.
  void dataEdited();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void requestCommit();
  // The bytes changed in the hex pane: the typed view follows.
  void hexEdited();
  // The typed view changed: its bytes replace the data.
  void replaceFromTypedView(std::vector<BYTE> bytes);
  void refreshTypedView();
  void refreshState();
  void numberEdited(bool hexadecimal);

  std::shared_ptr<std::vector<BYTE>> bytes_;
  DWORD type_ = 0;
  bool editable_ = false;
  bool modified_ = false;
  bool updating_ = false;
  bool loading_ = false;

  QLabel* caption_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QWidget* nonePage_ = nullptr;
  QWidget* textPage_ = nullptr;
  QWidget* listPage_ = nullptr;
  QWidget* numberPage_ = nullptr;
  QLineEdit* text_ = nullptr;
  QLabel* expandedLabel_ = nullptr;
  QLineEdit* expanded_ = nullptr;
  QPlainTextEdit* list_ = nullptr;
  QLineEdit* hexadecimal_ = nullptr;
  QLineEdit* decimal_ = nullptr;
  QLabel* note_ = nullptr;
  HexEditorWidget* hex_ = nullptr;
  QLabel* state_ = nullptr;
  QPushButton* apply_ = nullptr;
};

}  // namespace talmoor::hexedit::ui

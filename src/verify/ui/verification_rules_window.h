#pragma once
// 'Verification Rules': the rule base of verification in a table edited in
// place, with the two fields a new rule is made from and "&Add",
// "&Remove", "&Clear Rules", "&Load" and "&Save". Rules that a running
// Verify search adds appear while the window is open.

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "gui/file_chooser.h"
#include "verify/rule_editor.h"

class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace talmoor::verify::ui {

class RuleTableModel;

class VerificationRulesWindow : public QDialog {
  Q_OBJECT

 public:
  using FileRequest = gui::FileRequest;
  using FileChooser = gui::FileChooser;

  explicit VerificationRulesWindow(RuleBase& rules, QWidget* parent = nullptr);
  ~VerificationRulesWindow() override;

  QTableView* view() const { return view_; }
  RuleTableModel* model() const { return model_; }
  QLineEdit* findEdit() const { return find_; }
  QLineEdit* replaceEdit() const { return replace_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* clearButton() const { return clear_; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }
  void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

 protected:
  bool event(QEvent* event) override;

 private:
  void selectionChanged();
  void findEdited(const QString& text);
  void updateButtons();
  void addRule();
  void removeRule();
  void clearRules();
  void loadRules();
  void saveRules();
  // Rules a search added meanwhile.
  void takeUpNewRules();

  std::unique_ptr<RuleEditorModel> editor_;
  RuleTableModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QLineEdit* find_ = nullptr;
  QLineEdit* replace_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
  QTimer* watch_ = nullptr;
  FileChooser chooseFile_;
};

// Opens the window over `parent` on the workspace's rule base, or brings
// forward the one already open there. What the Search window's
// "Verification Rules" button does.
VerificationRulesWindow* showVerificationRulesWindow(QWidget* parent);

}  // namespace talmoor::verify::ui

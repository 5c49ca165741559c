#pragma once
// "Naming Rules": the workspace's naming rules as two lists edited in place,
// the rules and the names of the selected rule, each with its row of
// buttons, and the rule and name list files.
//
// The window edits a copy. Naming runs under way keep the list they started
// with, and a half-edited rule (a new rule before its action is chosen) would
// otherwise name keys at once; "&Apply" hands the copy over and says so
// (rulesApplied), so the key browser can name what it shows again.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;
class QTableView;

#include "gui/file_chooser.h"

namespace talmoor {
class Workspace;
}

namespace talmoor::browse {
class NamingRulesModel;
}

namespace talmoor::browse::ui {

class NameTableModel;
class RuleTableModel;

class NamingRulesWindow : public QWidget {
  Q_OBJECT

 public:
  using FileRequest = gui::FileRequest;
  using FileChooser = gui::FileChooser;

  explicit NamingRulesWindow(std::shared_ptr<Workspace> workspace, QWidget* parent = nullptr);
  ~NamingRulesWindow() override;

  QTableView* ruleView() const { return ruleView_; }
  QTableView* nameView() const { return nameView_; }
  RuleTableModel* ruleModel() const { return ruleModel_; }
  NameTableModel* nameModel() const { return nameModel_; }
  const NamingRulesModel& rules() const { return *rules_; }
  // Replaces the file dialog (tests answer it themselves).
  void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
  bool hasUnappliedChanges() const { return unapplied_; }

  void apply();

 signals:
  // The workspace's rule list was replaced by this window's.
  void rulesApplied();

 private:
  void buildButtons();
  void updateButtons();
  void edited();
  void addRule();
  void removeRule();
  void addName();
  void removeName();
  void loadRules();
  void saveRules();
  void loadNames();
  void saveNames();
  QString ask(const FileRequest& request);

  std::shared_ptr<Workspace> workspace_;
  std::unique_ptr<NamingRulesModel> rules_;
  NameTableModel* nameModel_ = nullptr;
  RuleTableModel* ruleModel_ = nullptr;
  QTableView* ruleView_ = nullptr;
  QTableView* nameView_ = nullptr;
  QLineEdit* newRule_ = nullptr;
  QLineEdit* newName_ = nullptr;
  QPushButton* addRule_ = nullptr;
  QPushButton* removeRule_ = nullptr;
  QPushButton* clearRules_ = nullptr;
  QPushButton* loadRules_ = nullptr;
  QPushButton* saveRules_ = nullptr;
  QPushButton* addName_ = nullptr;
  QPushButton* removeName_ = nullptr;
  QPushButton* loadNames_ = nullptr;
  QPushButton* saveNames_ = nullptr;
  QPushButton* apply_ = nullptr;
  FileChooser chooseFile_;
  bool unapplied_ = false;
};

}  // namespace talmoor::browse::ui

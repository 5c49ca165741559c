#pragma once
// 'Search Options': the window over SearchOptionsModel. The check boxes and
// the four check-box trees show the model's working copy and hand every
// click to it; the model decides what a click changes (a disabled tree, the
// "all types" box re-ticking the types), and the window shows the result.
// Closing the window in any way is the dialog's close command: the options
// are stored.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "search/options/options_model.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace talmoor::search::ui {

class SearchOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // `commandLine` is what Alt+Shift+C shows.
  explicit SearchOptionsDialog(std::string commandLine, QWidget* parent = nullptr);
  ~SearchOptionsDialog() override;

  // What '&Modify/View Naming Rules' does: opens the 'Naming Rules' window or
  // brings it forward. The button stays hidden, as the dialog has always had it.
  void setNamingRulesOpener(std::function<void()> opener) { openNamingRules_ = std::move(opener); }

  const SearchOptionsModel& model() const { return *model_; }
  QTreeWidget* treeWidget(OptionsTree which) const;
  QCheckBox* keysBox() const { return keys_; }
  QCheckBox* valuesBox() const { return values_; }
  QCheckBox* dataBox() const { return data_; }
  QCheckBox* alwaysMatchBox() const { return alwaysMatch_; }
  QCheckBox* searchAllTypesBox() const { return searchAllTypes_; }
  QCheckBox* displayConfirmationsBox() const { return displayConfirmations_; }
  QPushButton* namingRulesButton() const { return namingRules_; }

  void done(int result) override;

 private:
  QTreeWidget* makeTree(OptionsTree which, const QString& name);
  void fillTree(OptionsTree which);
  // Every tree and box shown as the model has them now.
  void refreshFromModel();
  void itemChanged(OptionsTree which, QTreeWidgetItem* item);

  std::unique_ptr<SearchOptionsModel> model_;
  QCheckBox* keys_ = nullptr;
  QCheckBox* values_ = nullptr;
  QCheckBox* data_ = nullptr;
  QCheckBox* alwaysMatch_ = nullptr;
  QCheckBox* searchAllTypes_ = nullptr;
  QCheckBox* displayConfirmations_ = nullptr;
  QPushButton* namingRules_ = nullptr;
  QTreeWidget* types_ = nullptr;
  QTreeWidget* miscellaneous_ = nullptr;
  QTreeWidget* keyConfirmations_ = nullptr;
  QTreeWidget* valueConfirmations_ = nullptr;
  std::function<void()> openNamingRules_;
  bool refreshing_ = false;
};

// Shows the dialog modal over `parent` and stores the options when it closes.
void runSearchOptionsDialog(QWidget* parent, std::string commandLine, std::function<void()> openNamingRules);

}  // namespace talmoor::search::ui

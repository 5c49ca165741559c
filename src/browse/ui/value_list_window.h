#pragma once
// "Value Browser": the values of the key the key browser selected
// ("Registry Values": Name, Data, Type, Size), the quick search bar, the
// reading progress, the value popup menu, and in-place naming and retyping.

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32_types.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;

namespace talmoor::browse::ui {

class EntryTransferController;
class ValueItemModel;

// The value popup menu's commands (Create's are the type + 1).
enum class ValueCommand : int {
  Refresh = 231,
  Delete = 230,
  FilesOpen = 300,
  FilesSelect = 311,
  FilesExplore = 301,
  FilesMoveOnReboot = 313,
  FilesProperties = 303,
  DataExecute = 304,
  DataDecrypt = 308,
  Goto = 267,
  // Copy and move of values, numbered clear of the popup's own commands.
  Copy = 1201,
  Cut = 1202,
  Paste = 1203,
  CopyKeyName = 1204,
};

class ValueListWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ValueListWindow(QWidget* parent = nullptr);

  QTableView* view() const { return view_; }
  ValueItemModel* model() const { return model_; }
  QMenu* popupMenu() const { return menu_; }
  QLineEdit* quickSearchEdit() const { return quickSearch_; }
  QString statusText() const;

  // Shows the values of the key (empty: none; roots and "My Computer" show
  // an empty, disabled list).
  void showKey(const std::string& keyPath, bool quiet = false);
  const std::string& keyPath() const { return keyPath_; }
  // Selects the value of the key by its raw name once the list shows that
  // key; a value that is gone says so in a box.
  void selectValue(const std::string& keyPath, const std::string& rawName);
  void runCommand(int command);
  // The value's row again as the registry holds it (its data was written).
  void reloadValue(const std::string& keyPath, const std::string& rawName);
  void updateMenu();
  // The selected values' raw names, in list order.
  std::vector<std::string> selectedNames() const;

 signals:
  // A value became the current one ("" raw name is the unnamed value).
  void valueSelected(const QString& keyPath, const QString& rawName);
  // The list was emptied or refilled: no value is shown.
  void valueCleared();
  // The key browser should show this key ("&Goto" from data).
  void gotoRequested(const QString& keyPath);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu();
  void setUpTransfer();
  void refreshed(const QString& keyPath, bool opened);
  void currentChanged();
  void nameEdited(int row, const QString& text);
  void typeChosen(int row, DWORD type);
  void beginCreate(DWORD type);
  void deleteSelected();
  void fileAction(int command);
  void executeData();
  void decryptData();
  void gotoFromData();
  void quickSearchChanged(const QString& text);
  std::optional<int> currentRow() const;

  ValueItemModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* caching_ = nullptr;
  QLineEdit* quickSearch_ = nullptr;
  QCheckBox* actual_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QLabel* status_ = nullptr;
  QMenu* menu_ = nullptr;
  EntryTransferController* transfer_ = nullptr;
  std::string keyPath_;
  std::optional<std::pair<std::string, std::string>> pendingSelection_;  // key, value
  int pendingRow_ = -1;  // a new row being named
  bool searching_ = false;
  int lastFound_ = -1;
};

}  // namespace talmoor::browse::ui

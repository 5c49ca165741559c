#pragma once
// "Key Browser": the registry as a tree ("Registry Keys") with the quick
// search bar and the status texts, the key popup menu, and in-place naming
// of new keys, renamed keys and hive mount points.
//
// A selection is taken up 3 ms after it settles, on a worker, and only the
// newest is reported: browsing with the arrow keys through a hundred keys
// refreshes the status and the value list once, for the last key.

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "browse/key_tree.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QTreeView;

namespace talmoor {
class Workspace;
}

namespace talmoor::browse::ui {

class EntryTransferController;
class KeyTreeItemModel;

// The key popup menu's commands.
enum class KeyCommand : int {
  ScanNetwork = 274,
  Connect = 270,
  Disconnect = 297,
  Manage = 314,
  Logon = 271,
  Refresh = 231,
  SortByName = 298,
  SortByType = 299,
  CreateChild = 234,
  CreateSibling = 233,
  Delete = 230,
  Goto = 267,
  HiveLoad = 256,
  HiveSave = 257,
  HiveRemove = 258,
  Import = 253,
  Export = 254,
  Properties = 235,
  // Copy and move of keys, numbered clear of the popup's own commands.
  Copy = 1201,
  Cut = 1202,
  Paste = 1203,
  CopyKeyName = 1204,
};

class KeyBrowserWindow : public QWidget {
  Q_OBJECT

 public:
  explicit KeyBrowserWindow(std::shared_ptr<Workspace> workspace, QWidget* parent = nullptr);
  ~KeyBrowserWindow() override;

  QTreeView* view() const { return view_; }
  KeyTreeItemModel* model() const { return model_; }
  QMenu* popupMenu() const { return menu_; }
  QLineEdit* quickSearchEdit() const { return quickSearch_; }
  QCheckBox* actualBox() const { return actual_; }
  QString keysStatus() const;
  QString valuesStatus() const;

  // The selected key's full path; empty for "My Computer" or none.
  std::string selectedPath() const;
  // Expands down to the key and selects it; false when it cannot be reached.
  bool goTo(const std::string& path);
  void runCommand(KeyCommand command);
  // Enables the menu's items for the selected item (as the menu shows).
  void updateMenu();

 signals:
  // A selection settled (once, for the newest): its path ("" for "My Computer").
  void keySelected(const QString& path);
  // The value list shows a key that is being refreshed or deleted.
  void keyRefreshed(const QString& path);
  // Work for the frame: import into or export the selected key.
  void importRequested();
  // A registry script dropped on the tree, to import.
  void importFileRequested(const QString& file);
  void exportRequested();
  void gotoRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu();
  void selectionSettled();
  void showPopup(const QPoint& globalPosition);
  void refreshItem(NodeId id);
  void deleteSelected();
  void beginCreate(bool sibling);
  void beginLoadHive();
  void beginLoadHiveFile(NodeId parent, const std::string& file);
  void setUpTransfer();
  // The key at `path` was changed from outside the tree: its children are read again.
  void keyChangedAt(const std::string& path);
  void beginEdit(NodeId id);
  void nameEdited(NodeId id, const QString& text);
  void editorClosed(bool cancelled);
  void saveHive();
  void removeHive();
  void showProperties();
  void quickSearchChanged(const QString& text);
  NodeId selectedNode() const;
  void select(NodeId id);

  std::shared_ptr<Workspace> workspace_;
  KeyTreeItemModel* model_ = nullptr;
  QTreeView* view_ = nullptr;
  QLineEdit* quickSearch_ = nullptr;
  QCheckBox* actual_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QLabel* keysLabel_ = nullptr;
  QLabel* valuesLabel_ = nullptr;
  QMenu* menu_ = nullptr;
  QTimer* settle_ = nullptr;
  EntryTransferController* transfer_ = nullptr;
  // Shared with the workers, which may outlive the window.
  std::shared_ptr<LatestRequest> latest_ = std::make_shared<LatestRequest>();

  // The item being named in place and what the name is for.
  NodeId pendingNode_ = kNoNode;
  PendingEdit pendingMode_ = PendingEdit::Rename;
  std::string pendingHiveFile_;
  bool editCommitted_ = false;
  // Quick search: the key whose children are searched, and the last find.
  NodeId searchBase_ = kNoNode;
  NodeId lastFound_ = kNoNode;
  bool searching_ = false;
};

}  // namespace talmoor::browse::ui

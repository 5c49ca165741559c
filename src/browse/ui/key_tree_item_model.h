#pragma once
// The key tree as a Qt item model. Expanding an item lists its subkeys on a
// worker (raw names shown at once) and then names them on a second worker;
// both hand their results back to the GUI thread, where the tree changes.
// Editing an item's text does not touch the registry here: the window
// decides what the edit means (rename, create, load a hive).

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <memory>
#include <string>

#include "browse/key_tree.h"

namespace talmoor {
class Workspace;
}

namespace talmoor::browse::ui {

class KeyTreeItemModel : public QAbstractItemModel, private KeyTreeListener {
  Q_OBJECT

 public:
  // Item data roles beyond Qt's.
  enum Role { RawNameRole = Qt::UserRole + 1, PathRole, ImageRole, OverlayRole, NodeRole };

  explicit KeyTreeItemModel(std::shared_ptr<Workspace> workspace, QObject* parent = nullptr);
  ~KeyTreeItemModel() override;

  KeyTree& tree() { return tree_; }
  const KeyTree& tree() const { return tree_; }
  QModelIndex indexOf(NodeId id) const;
  NodeId nodeOf(const QModelIndex& index) const;

  // Lists the item's children now, on the calling (GUI) thread, then names
  // them in the background: for Goto, which must reach a path step by step.
  void listNow(NodeId id);
  // Starts listing the item's children in the background (once).
  void listInBackground(NodeId id);
  // Names the item again in the background (after a refresh or rename).
  void renameByRules(NodeId id);
  // Waits, processing events, until no listing or naming runs (tests, closing).
  bool waitIdle(int timeoutMs = 30000);
  bool busy() const { return running_ > 0; }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // Whether an item may be edited in place now (the window sets this while
  // a create or load waits for its name; roots and "My Computer" otherwise not).
  void setEditableNode(NodeId id) { editable_ = id; }

 signals:
  // The user typed a name into an item.
  void nameEdited(talmoor::browse::NodeId id, const QString& text);
  // A listing or naming run ended.
  void idle();
  void listed(talmoor::browse::NodeId id);

 private:
  void beginInsert(NodeId parent, int first, int last) override;
  void endInsert() override;
  void beginRemove(NodeId parent, int first, int last) override;
  void endRemove() override;
  void beginReorder(NodeId parent) override;
  void endReorder(NodeId parent) override;
  void changed(NodeId node) override;

  void nameChildren(NodeId parent, std::vector<NodeId> ids);
  void finishJob();

  std::shared_ptr<Workspace> workspace_;
  KeyTree tree_;
  NodeId editable_ = kNoNode;
  QHash<NodeId, bool> listing_;  // items whose listing runs
  int running_ = 0;
  // Persistent indexes kept over a reorder.
  QModelIndexList reorderFrom_;
  std::vector<NodeId> reorderNodes_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace talmoor::browse::ui

#include "browse/ui/key_tree_item_model.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include "base/thread_starter.h"
#include "base/workspace.h"
#include "browse/key_naming.h"
#include "gui/gui_thread.h"
#include "gui/icons.h"

namespace talmoor::browse::ui {

namespace {

// Names are handed back in batches, so that a key with thousands of subkeys
// fills in while the window stays responsive.
constexpr std::size_t kNamingBatch = 256;

}  // namespace

KeyTreeItemModel::KeyTreeItemModel(std::shared_ptr<Workspace> workspace, QObject* parent)
    : QAbstractItemModel(parent), workspace_(std::move(workspace)) {
  tree_.setListener(this);
}

KeyTreeItemModel::~KeyTreeItemModel() {
  *alive_ = false;
  tree_.setListener(nullptr);
}

QModelIndex KeyTreeItemModel::indexOf(NodeId id) const {
  const TreeNode* n = tree_.node(id);
  if (!n) return {};
  return createIndex(n->row, 0, static_cast<quintptr>(id));
}

NodeId KeyTreeItemModel::nodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<NodeId>(index.internalId()) : kNoNode;
}

QModelIndex KeyTreeItemModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0) return {};
  if (!parent.isValid()) return row == 0 ? indexOf(tree_.computer()) : QModelIndex();
  const TreeNode* c = tree_.child(nodeOf(parent), row);
  return c ? createIndex(row, 0, static_cast<quintptr>(c->id)) : QModelIndex();
}

QModelIndex KeyTreeItemModel::parent(const QModelIndex& child) const {
  const TreeNode* n = tree_.node(nodeOf(child));
  if (!n || n->parent == kNoNode) return {};
  return indexOf(n->parent);
}

int KeyTreeItemModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  const TreeNode* n = tree_.node(nodeOf(parent));
  return n ? static_cast<int>(n->children.size()) : 0;
}

int KeyTreeItemModel::columnCount(const QModelIndex&) const { return 1; }

QVariant KeyTreeItemModel::data(const QModelIndex& index, int role) const {
  const TreeNode* n = tree_.node(nodeOf(index));
  if (!n) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return QString::fromStdString(n->text());
    case Qt::EditRole:
    case RawNameRole: return QString::fromStdString(n->rawName);
    case Qt::ToolTipRole:
      return n->displayName ? QString::fromStdString(n->rawName) : QVariant();
    case Qt::DecorationRole: return gui::treeItemIcon(n->image, n->overlay, n->icon);
    case PathRole: return QString::fromStdString(tree_.path(n->id));
    case ImageRole: return n->image;
    case OverlayRole: return n->overlay;
    case NodeRole: return QVariant::fromValue<qulonglong>(n->id);
    default: return {};
  }
}

bool KeyTreeItemModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  emit nameEdited(nodeOf(index), value.toString());
  return true;
}

Qt::ItemFlags KeyTreeItemModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const NodeId id = nodeOf(index);
  // "My Computer" and the roots keep their names unless an edit is pending on them.
  if (id == editable_ || (id != tree_.computer() && !tree_.isRoot(id))) f |= Qt::ItemIsEditable;
  // Every key can be dragged (a root is copied, never moved) and dropped on.
  if (id != tree_.computer()) f |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
  return f;
}

Qt::DropActions KeyTreeItemModel::supportedDragActions() const {
  return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions KeyTreeItemModel::supportedDropActions() const {
  return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

bool KeyTreeItemModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return true;
  const TreeNode* n = tree_.node(nodeOf(parent));
  return n && (n->hasChildren || !n->children.empty());
}

bool KeyTreeItemModel::canFetchMore(const QModelIndex& parent) const {
  const TreeNode* n = tree_.node(nodeOf(parent));
  return n && !n->expandedOnce && n->hasChildren && !listing_.contains(n->id);
}

void KeyTreeItemModel::fetchMore(const QModelIndex& parent) { listInBackground(nodeOf(parent)); }

void KeyTreeItemModel::listInBackground(NodeId id) {
  const TreeNode* n = tree_.node(id);
  if (!n || n->expandedOnce || listing_.contains(id)) return;
  listing_.insert(id, true);
  ++running_;
  const std::string path = tree_.path(id);
  QPointer<KeyTreeItemModel> self(this);
  startThread([self, id, path]() -> DWORD {
    KeyListing listing = listSubkeys(path);
    gui::postToGui(qApp, [self, id, listing = std::move(listing)] {
      if (!self) return;
      self->listing_.remove(id);
      const TreeNode* before = self->tree_.node(id);
      const std::size_t had = before ? before->children.size() : 0;
      self->tree_.insertListing(id, listing);
      std::vector<NodeId> fresh;
      if (const TreeNode* after = self->tree_.node(id))
        fresh.assign(after->children.begin() + static_cast<std::ptrdiff_t>(had), after->children.end());
      emit self->listed(id);
      if (!fresh.empty()) self->nameChildren(id, std::move(fresh));
      self->finishJob();
    });
    return 0;
  });
}

void KeyTreeItemModel::listNow(NodeId id) {
  const TreeNode* n = tree_.node(id);
  if (!n || n->expandedOnce) return;
  const std::size_t had = n->children.size();
  tree_.insertListing(id, listSubkeys(tree_.path(id)));
  std::vector<NodeId> fresh;
  if (const TreeNode* after = tree_.node(id))
    fresh.assign(after->children.begin() + static_cast<std::ptrdiff_t>(had), after->children.end());
  emit listed(id);
  if (!fresh.empty()) nameChildren(id, std::move(fresh));
}

void KeyTreeItemModel::renameByRules(NodeId id) {
  const TreeNode* n = tree_.node(id);
  if (!n || n->parent == kNoNode || tree_.isRoot(id)) return;
  nameChildren(n->parent, {id});
}

void KeyTreeItemModel::nameChildren(NodeId parent, std::vector<NodeId> ids) {
  const TreeNode* p = tree_.node(parent);
  if (!p || ids.empty()) return;
  // The roots are named by their own texts.
  if (parent == tree_.computer()) return;
  std::vector<std::string> names;
  names.reserve(ids.size());
  int defaultImage = static_cast<int>(TreeImage::Key);
  for (NodeId id : ids)
    if (const TreeNode* c = tree_.node(id)) {
      names.push_back(c->rawName);
      defaultImage = c->image;
    }
  if (names.size() != ids.size()) return;
  ++running_;
  const std::string parentPath = tree_.path(parent);
  QPointer<KeyTreeItemModel> self(this);
  startThread([self, parentPath, ids = std::move(ids), names = std::move(names), defaultImage]() -> DWORD {
    KeyNamer namer;
    for (std::size_t start = 0; start < names.size(); start += kNamingBatch) {
      const std::size_t end = std::min(names.size(), start + kNamingBatch);
      std::vector<std::string> batch(names.begin() + static_cast<std::ptrdiff_t>(start),
                                     names.begin() + static_cast<std::ptrdiff_t>(end));
      auto named = browse::nameChildren(namer, parentPath, batch, defaultImage);
      std::vector<NodeId> batchIds(ids.begin() + static_cast<std::ptrdiff_t>(start),
                                   ids.begin() + static_cast<std::ptrdiff_t>(end));
      gui::postToGui(qApp, [self, batchIds = std::move(batchIds), named = std::move(named)] {
        if (self) self->tree_.applyNames(batchIds, named);
      });
    }
    gui::postToGui(qApp, [self] {
      if (self) self->finishJob();
    });
    return 0;
  });
}

void KeyTreeItemModel::finishJob() {
  if (--running_ == 0) emit idle();
}

bool KeyTreeItemModel::waitIdle(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (running_ > 0 && timer.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return running_ == 0;
}

void KeyTreeItemModel::beginInsert(NodeId parent, int first, int last) {
  beginInsertRows(indexOf(parent), first, last);
}
void KeyTreeItemModel::endInsert() { endInsertRows(); }
void KeyTreeItemModel::beginRemove(NodeId parent, int first, int last) {
  beginRemoveRows(indexOf(parent), first, last);
}
void KeyTreeItemModel::endRemove() { endRemoveRows(); }

void KeyTreeItemModel::beginReorder(NodeId parent) {
  const QModelIndex p = indexOf(parent);
  emit layoutAboutToBeChanged({QPersistentModelIndex(p)});
  reorderFrom_ = persistentIndexList();
  reorderNodes_.clear();
  for (const auto& i : reorderFrom_) reorderNodes_.push_back(nodeOf(i));
}

void KeyTreeItemModel::endReorder(NodeId parent) {
  QModelIndexList to;
  for (std::size_t i = 0; i < reorderNodes_.size(); ++i) {
    const QModelIndex& from = reorderFrom_[static_cast<qsizetype>(i)];
    to.push_back(from.column() == 0 ? indexOf(reorderNodes_[i]) : from);
  }
  changePersistentIndexList(reorderFrom_, to);
  reorderFrom_.clear();
  reorderNodes_.clear();
  emit layoutChanged({QPersistentModelIndex(indexOf(parent))});
}

void KeyTreeItemModel::changed(NodeId node) {
  const QModelIndex i = indexOf(node);
  if (i.isValid()) emit dataChanged(i, i);
}

}  // namespace talmoor::browse::ui

#include "browse/ui/key_browser_window.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "base/interaction.h"
#include "platform/win32_errors.h"
#include "base/thread_starter.h"
#include "browse/key_actions.h"
#include "browse/ui/entry_transfer_controller.h"
#include "browse/ui/key_tree_item_model.h"
#include "frame/location.h"
#include "gui/background.h"
#include "gui/drag_source_view.h"
#include "gui/gui_thread.h"
#include "gui/menu_commands.h"
#include "gui/quick_search_bar.h"
#include "registry/hive_operations.h"

namespace talmoor::browse::ui {

using gui::inBackground;

namespace {

// The selection settles this long before it is taken up.
constexpr int kSettleMs = 3;

// Runs `work` on a worker and `done` with its answer on the GUI thread, if
// `context` is still there.

}  // namespace

KeyBrowserWindow::KeyBrowserWindow(std::shared_ptr<Workspace> workspace, QWidget* parent)
    : QWidget(parent), workspace_(std::move(workspace)) {
  setObjectName(QStringLiteral("KeyBrowser"));
  setAccessibleName(tr("Key Browser"));
  model_ = new KeyTreeItemModel(workspace_, this);

  auto* dragView = new gui::DragSourceView<QTreeView>(this);
  view_ = dragView;
  view_->setObjectName(QStringLiteral("RegistryKeys"));
  view_->setAccessibleName(tr("Registry Keys"));
  view_->setToolTip(tr("Right click to access additional commands."));
  view_->setModel(model_);
  view_->setHeaderHidden(true);
  view_->setUniformRowHeights(true);
  view_->setEditTriggers(QAbstractItemView::EditKeyPressed);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->installEventFilter(this);
  view_->expand(model_->indexOf(model_->tree().computer()));

  auto* searchBar = new gui::QuickSearchBar(
      {tr("Key(s)"), tr("Quick Search Text"), tr("Actual"), tr("Quick Search"),
       tr("First click on and expand the Key whos children you wish to search then\ntype the beginning of the Key "
          "Name you wish to find.")},
      this);
  quickSearch_ = searchBar->edit();
  quickSearch_->setObjectName(QStringLiteral("QuickSearch"));
  quickSearch_->installEventFilter(this);
  actual_ = searchBar->actual();
  searchButton_ = searchBar->button();
  keysLabel_ = new QLabel(this);
  keysLabel_->setAccessibleName(tr("Key Count"));
  valuesLabel_ = new QLabel(this);
  valuesLabel_->setAccessibleName(tr("Value Count"));

  auto* statusBar = new QHBoxLayout();
  statusBar->addWidget(keysLabel_, 1);
  statusBar->addWidget(valuesLabel_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(searchBar);
  layout->addWidget(view_, 1);
  layout->addLayout(statusBar);

  settle_ = new QTimer(this);
  settle_->setSingleShot(true);
  settle_->setInterval(kSettleMs);
  connect(settle_, &QTimer::timeout, this, &KeyBrowserWindow::selectionSettled);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { settle_->start(); });
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { showPopup(view_->viewport()->mapToGlobal(at)); });
  connect(model_, &KeyTreeItemModel::nameEdited, this, &KeyBrowserWindow::nameEdited);
  connect(view_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            editorClosed(hint == QAbstractItemDelegate::RevertModelCache);
          });
  connect(quickSearch_, &QLineEdit::textEdited, this, &KeyBrowserWindow::quickSearchChanged);
  connect(searchButton_, &QPushButton::clicked, this, [this] { quickSearchChanged(quickSearch_->text()); });
  buildMenu();
  setUpTransfer();
  dragView->dragData = [this] { return transfer_->dragData(); };
  dragView->dragFinished = [this](Qt::DropAction action, bool inside) { transfer_->dragEnded(action, inside); };
}

KeyBrowserWindow::~KeyBrowserWindow() = default;

void KeyBrowserWindow::setUpTransfer() {
  EntryTransferController::Hooks hooks;
  hooks.kind = EntryTarget::KeyTree;
  auto keyPathOf = [this](NodeId id) -> std::optional<std::string> {
    if (id == kNoNode || id == model_->tree().computer()) return std::nullopt;
    std::string path = model_->tree().path(id);
    if (path.empty()) return std::nullopt;
    return path;
  };
  hooks.selection = [this, keyPathOf]() -> std::vector<EntryRecord> {
    auto path = keyPathOf(selectedNode());
    if (!path) return {};
    return {keyRecord(*path)};
  };
  hooks.dropTarget = [this, keyPathOf](const QPoint& at) { return keyPathOf(model_->nodeOf(view_->indexAt(at))); };
  hooks.pasteTarget = [this, keyPathOf] { return keyPathOf(selectedNode()); };
  hooks.loadHive = [this](const std::string& file, const std::string& target) {
    if (goTo(target)) beginLoadHiveFile(selectedNode(), file);
  };
  hooks.importScript = [this](const std::string& file) {
    if (messageBox("Import the registry script '" + file + "' into the registry?", "Import Registry File",
                   BoxButtons::YesNo, BoxIcon::Question) == IDYES)
      emit importFileRequested(QString::fromStdString(file));
  };
  transfer_ = new EntryTransferController(view_, std::move(hooks), this);
  connect(transfer_, &EntryTransferController::keyChanged, this,
          [this](const QString& path) { keyChangedAt(path.toStdString()); });
}

void KeyBrowserWindow::keyChangedAt(const std::string& path) {
  auto reach = model_->tree().reach(path);
  if (reach.remaining.empty()) refreshItem(reach.reached);
}

QString KeyBrowserWindow::keysStatus() const { return keysLabel_->text(); }
QString KeyBrowserWindow::valuesStatus() const { return valuesLabel_->text(); }

NodeId KeyBrowserWindow::selectedNode() const { return model_->nodeOf(view_->currentIndex()); }

std::string KeyBrowserWindow::selectedPath() const { return model_->tree().path(selectedNode()); }

void KeyBrowserWindow::select(NodeId id) {
  const QModelIndex index = model_->indexOf(id);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) view_->expand(up);
  view_->setCurrentIndex(index);
  view_->scrollTo(index);
}

bool KeyBrowserWindow::goTo(const std::string& path) {
  KeyTree& tree = model_->tree();
  for (;;) {
    auto reach = tree.reach(path);
    if (reach.remaining.empty()) {
      select(reach.reached);
      return true;
    }
    const TreeNode* n = tree.node(reach.reached);
    if (!n || n->expandedOnce) return false;
    model_->listNow(reach.reached);
  }
}

void KeyBrowserWindow::selectionSettled() {
  const NodeId id = selectedNode();
  // A new item being named is not in the registry yet: nothing to show.
  if (const TreeNode* n = model_->tree().node(id); n && n->isNew) return;
  const std::uint64_t ticket = latest_->next();
  const std::string path = model_->tree().path(id);
  const bool root = model_->tree().isRoot(id);
  QPointer<KeyBrowserWindow> self(this);
  startThread([self, latest = latest_, ticket, path, root]() -> DWORD {
    if (!latest->isLatest(ticket)) return 0;
    KeyStatus status;
    if (!path.empty()) {
      frame::rememberLocation(path, std::nullopt);
      status = readKeyStatus(path, root);
    }
    gui::postToGui(qApp, [self, ticket, path, status] {
      if (!self || !self->latest_->isLatest(ticket)) return;  // a newer selection wins
      self->keysLabel_->setText(QString::fromStdString(status.keys));
      self->valuesLabel_->setText(QString::fromStdString(status.values));
      emit self->keySelected(QString::fromStdString(path));
    });
    return 0;
  });
}

void KeyBrowserWindow::buildMenu() {
  menu_ = new QMenu(tr("Key Popup"), this);
  menu_->setAccessibleName(tr("Key Popup"));
  auto add = [this](QMenu* menu, const QString& label, KeyCommand command) {
    QAction* action = menu->addAction(label);
    action->setData(static_cast<int>(command));
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    return action;
  };
  QMenu* remote = menu_->addMenu(tr("&Remote"));
  for (auto [label, command] : {std::pair{tr("&Scan Network"), KeyCommand::ScanNetwork},
                                std::pair{tr("&Connect"), KeyCommand::Connect},
                                std::pair{tr("&Disconnect"), KeyCommand::Disconnect},
                                std::pair{tr("&Manage"), KeyCommand::Manage},
                                std::pair{tr("&Logon"), KeyCommand::Logon}})
    add(remote, label, command)->setEnabled(false);  // other machines come with remote access
  remote->setEnabled(false);
  QMenu* view = menu_->addMenu(tr("&View"));
  add(view, tr("&Refresh"), KeyCommand::Refresh)->setShortcut(QKeySequence(Qt::Key_F5));
  QMenu* sort = view->addMenu(tr("&Sort"));
  add(sort, tr("&Name"), KeyCommand::SortByName);
  add(sort, tr("&Type"), KeyCommand::SortByType);
  QMenu* create = menu_->addMenu(tr("&Create"));
  add(create, tr("&Child"), KeyCommand::CreateChild);
  add(create, tr("&Sibbling"), KeyCommand::CreateSibling);
  add(menu_, tr("&Delete"), KeyCommand::Delete)->setShortcut(QKeySequence(Qt::Key_Delete));
  add(menu_, tr("C&opy"), KeyCommand::Copy)->setShortcut(QKeySequence::Copy);
  add(menu_, tr("Cu&t"), KeyCommand::Cut)->setShortcut(QKeySequence::Cut);
  add(menu_, tr("&Paste"), KeyCommand::Paste)->setShortcut(QKeySequence::Paste);
  add(menu_, tr("Copy &Key Name"), KeyCommand::CopyKeyName);
  add(menu_, tr("&Goto"), KeyCommand::Goto);
  QMenu* hive = menu_->addMenu(tr("&Hive"));
  add(hive, tr("&Load"), KeyCommand::HiveLoad);
  add(hive, tr("&Save"), KeyCommand::HiveSave);
  add(hive, tr("&Remove"), KeyCommand::HiveRemove);
  add(menu_, tr("&Import"), KeyCommand::Import);
  add(menu_, tr("&Export"), KeyCommand::Export);
  add(menu_, tr("&Properties"), KeyCommand::Properties);
  connect(menu_, &QMenu::aboutToShow, this, &KeyBrowserWindow::updateMenu);
}

void KeyBrowserWindow::updateMenu() {
  const NodeId id = selectedNode();
  const KeyTree& tree = model_->tree();
  const bool computer = id == tree.computer() || id == kNoNode;
  const bool root = tree.isRoot(id);
  const std::string path = tree.path(id);
  const bool mountable = root && (path == "HKEY_LOCAL_MACHINE" || path == "HKEY_USERS");
  const bool mountPoint = !computer && !root && tree.depth(id) == 2 &&
                          registry::hiveMountPoint(path, registry::ReportTo([](const ErrorReport&) { return true; }));
  gui::forEachCommand(menu_, [&](QAction* action, int command) {
    switch (static_cast<KeyCommand>(command)) {
      case KeyCommand::Refresh:
      case KeyCommand::SortByName:
      case KeyCommand::SortByType: action->setEnabled(id != kNoNode); break;
      case KeyCommand::CreateChild: action->setEnabled(!computer); break;
      case KeyCommand::CreateSibling: action->setEnabled(!computer && !root); break;
      case KeyCommand::Delete:
      case KeyCommand::Goto:
      case KeyCommand::Import:
      case KeyCommand::Export:
      case KeyCommand::HiveSave:
      case KeyCommand::Properties: action->setEnabled(!computer); break;
      case KeyCommand::HiveLoad: action->setEnabled(mountable); break;
      case KeyCommand::Copy:
      case KeyCommand::Cut:
      case KeyCommand::CopyKeyName: action->setEnabled(!computer); break;
      case KeyCommand::Paste: action->setEnabled(transfer_->canPaste()); break;
      case KeyCommand::HiveRemove: action->setEnabled(mountPoint); break;
      default: break;  // the remote items stay as built
    }
  });
}

void KeyBrowserWindow::showPopup(const QPoint& globalPosition) { menu_->popup(globalPosition); }

void KeyBrowserWindow::runCommand(KeyCommand command) {
  const NodeId id = selectedNode();
  switch (command) {
    case KeyCommand::Refresh: refreshItem(id); return;
    case KeyCommand::SortByName: model_->tree().sortByName(id); return;
    case KeyCommand::SortByType: model_->tree().sortByType(id); return;
    case KeyCommand::CreateChild: beginCreate(false); return;
    case KeyCommand::CreateSibling: beginCreate(true); return;
    case KeyCommand::Delete: deleteSelected(); return;
    case KeyCommand::Goto: emit gotoRequested(); return;
    case KeyCommand::HiveLoad: beginLoadHive(); return;
    case KeyCommand::HiveSave: saveHive(); return;
    case KeyCommand::HiveRemove: removeHive(); return;
    case KeyCommand::Import: emit importRequested(); return;
    case KeyCommand::Export: emit exportRequested(); return;
    case KeyCommand::Properties: showProperties(); return;
    case KeyCommand::Copy: transfer_->copy(); return;
    case KeyCommand::Cut: transfer_->cut(); return;
    case KeyCommand::Paste: transfer_->paste(); return;
    case KeyCommand::CopyKeyName: transfer_->copyKeyName(); return;
    default: return;
  }
}

void KeyBrowserWindow::refreshItem(NodeId id) {
  KeyTree& tree = model_->tree();
  const TreeNode* n = tree.node(id);
  if (!n) return;
  const std::string path = tree.path(id);
  const bool wasSelected = id == selectedNode();
  emit keyRefreshed(QString::fromStdString(path));
  const QModelIndex index = model_->indexOf(id);
  const bool wasExpanded = view_->isExpanded(index);
  if (id == tree.computer()) return;
  const bool hadChildren = model_->hasChildren(index);
  view_->collapse(index);
  tree.forgetChildren(id, keyHasSubkeys(path));
  model_->renameByRules(id);
  // A key that gained (or lost) its first subkey elsewhere: the view keeps
  // its expander from the last layout unless it lays the items out again.
  if (model_->hasChildren(model_->indexOf(id)) != hadChildren) view_->doItemsLayout();
  if (wasExpanded) view_->expand(model_->indexOf(id));
  if (wasSelected) selectionSettled();
}

void KeyBrowserWindow::deleteSelected() {
  const NodeId id = selectedNode();
  const std::string path = model_->tree().path(id);
  const NodeId parent = model_->tree().node(id) ? model_->tree().node(id)->parent : kNoNode;
  inBackground(
      this, [path] { return deleteKeyAt(path); },
      [this, id, parent](bool deleted) {
        if (!deleted) return;
        select(parent);
        model_->tree().remove(id);
        if (const TreeNode* p = model_->tree().node(parent); p && p->children.empty())
          model_->tree().setHasChildren(parent, false);
      });
}

void KeyBrowserWindow::beginEdit(NodeId id) {
  pendingNode_ = id;
  editCommitted_ = false;
  model_->setEditableNode(id);
  select(id);
  // After the menu that asked for it has closed: its closing moves the focus,
  // which would end an edit begun now.
  QTimer::singleShot(0, this, [this, id] {
    if (pendingNode_ == id) view_->edit(model_->indexOf(id));
  });
}

void KeyBrowserWindow::beginCreate(bool sibling) {
  NodeId parent = selectedNode();
  if (sibling) parent = model_->tree().node(parent) ? model_->tree().node(parent)->parent : kNoNode;
  if (parent == kNoNode || parent == model_->tree().computer()) return;
  // The parent's own children are listed first, so the new one joins them.
  model_->listNow(parent);
  view_->expand(model_->indexOf(parent));
  pendingMode_ = PendingEdit::Create;
  beginEdit(model_->tree().addNewChild(parent, PendingEdit::Create));
}

void KeyBrowserWindow::beginLoadHive() {
  const NodeId parent = selectedNode();
  const QString file = QFileDialog::getOpenFileName(this, tr("Select Registry Hive"), QString(),
                                                    tr("Registry Hive (*.sav);;All Files (*)"));
  if (file.isEmpty()) return;
  beginLoadHiveFile(parent, file.toStdString());
}

void KeyBrowserWindow::beginLoadHiveFile(NodeId parent, const std::string& file) {
  pendingHiveFile_ = file;
  model_->listNow(parent);
  view_->expand(model_->indexOf(parent));
  pendingMode_ = PendingEdit::LoadHive;
  beginEdit(model_->tree().addNewChild(parent, PendingEdit::LoadHive));
}

void KeyBrowserWindow::editorClosed(bool cancelled) {
  const NodeId id = pendingNode_;
  const TreeNode* n = model_->tree().node(id);
  if ((cancelled || !editCommitted_) && n && n->isNew) {
    // Escape (or no name) on a new item: it goes, and nothing is made.
    model_->tree().remove(id);
    pendingNode_ = kNoNode;
    pendingMode_ = PendingEdit::Rename;
    model_->setEditableNode(kNoNode);
  }
}

void KeyBrowserWindow::nameEdited(NodeId id, const QString& text) {
  editCommitted_ = true;
  KeyTree& tree = model_->tree();
  const TreeNode* n = tree.node(id);
  if (!n) {
    messageBox("Fatal Error, Missing Memory Block", "", BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  const PendingEdit mode = n->isNew ? pendingMode_ : PendingEdit::Rename;
  pendingNode_ = kNoNode;
  pendingMode_ = PendingEdit::Rename;
  model_->setEditableNode(kNoNode);
  const std::string name = text.toStdString();
  if (name.empty()) {
    if (n->isNew) tree.remove(id);
    return;
  }
  const std::string parentPath = tree.path(n->parent);
  auto finalName = std::make_shared<std::string>(name);
  auto finish = [this, id, finalName](bool ok) {
    KeyTree& t = model_->tree();
    const TreeNode* item = t.node(id);
    if (!item) return;
    if (!ok) {
      if (item->isNew) t.remove(id);
      return;
    }
    t.markMade(id);
    t.rename(id, *finalName);
    model_->renameByRules(id);
    select(id);
    selectionSettled();
  };
  switch (mode) {
    case PendingEdit::Rename: {
      if (name == n->rawName) return;
      const std::string path = tree.path(id);
      inBackground(this, [path, finalName] { return renameKeyAt(path, *finalName); }, finish);
      return;
    }
    case PendingEdit::Create:
      inBackground(this, [parentPath, finalName] { return createKeyAt(parentPath, *finalName); }, finish);
      return;
    case PendingEdit::LoadHive: {
      const std::string file = pendingHiveFile_;
      pendingHiveFile_.clear();
      inBackground(
          this,
          [parentPath, file, finalName] {
            return registry::loadHive(parentPath, file,
                                      [finalName](std::string_view, std::string_view, std::string_view) {
                                        return std::optional<std::string>(*finalName);
                                      }) == ERROR_SUCCESS;
          },
          finish);
      return;
    }
    case PendingEdit::Connect: return;
  }
}

void KeyBrowserWindow::saveHive() {
  const std::string path = selectedPath();
  if (path.empty()) return;
  const QString file = QFileDialog::getSaveFileName(this, tr("Save Key Tree as Hive"), QString(),
                                                    tr("Registry Hive (*.sav);;All Files (*)"));
  if (file.isEmpty()) return;
  const std::string target = file.toStdString();
  inBackground(
      this, [path, target] { return registry::saveKeyAsHive(path, target) == ERROR_SUCCESS; }, [](bool) {});
}

void KeyBrowserWindow::removeHive() {
  const NodeId id = selectedNode();
  const std::string path = selectedPath();
  const NodeId parent = model_->tree().node(id) ? model_->tree().node(id)->parent : kNoNode;
  inBackground(
      this, [path] { return registry::unloadHive(path) == ERROR_SUCCESS; },
      [this, id, parent](bool unloaded) {
        if (!unloaded) return;
        select(parent);
        model_->tree().remove(id);
      });
}

void KeyBrowserWindow::showProperties() {
  const std::string path = selectedPath();
  if (path.empty()) return;
  inBackground(
      this,
      [path] {
        if (registry::showMountPoint(path, registry::ReportTo([](const ErrorReport&) { return true; }))) return true;
        if (auto text = keyPropertiesText(path)) messageBox(*text, "Key Properties");
        return true;
      },
      [](bool) {});
}

void KeyBrowserWindow::quickSearchChanged(const QString& typed) {
  if (searching_) return;
  searching_ = true;
  if (searchBase_ == kNoNode) searchBase_ = selectedNode();
  const NodeId found = model_->tree().findChildByPrefix(searchBase_, typed.toStdString(), actual_->isChecked());
  if (found == kNoNode) {
    select(searchBase_);
  } else {
    const TreeNode* n = model_->tree().node(found);
    const QString name = QString::fromStdString(actual_->isChecked() ? n->rawName : n->text());
    // The found name completes what was typed; the completed part is
    // selected, so the next letter typed replaces it.
    quickSearch_->setText(name);
    quickSearch_->setSelection(static_cast<int>(typed.size()), static_cast<int>(name.size() - typed.size()));
    if (found != lastFound_) {
      view_->scrollTo(model_->indexOf(found), QAbstractItemView::PositionAtTop);
      select(found);
    }
  }
  lastFound_ = found;
  searching_ = false;
}

bool KeyBrowserWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == quickSearch_) {
    if (event->type() == QEvent::FocusIn) {
      // The children of the key selected now are what the search looks through.
      searchBase_ = selectedNode();
      lastFound_ = kNoNode;
      model_->listNow(searchBase_);
    } else if (event->type() == QEvent::FocusOut) {
      searchBase_ = kNoNode;
    }
    return false;
  }
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Delete: runCommand(KeyCommand::Delete); return true;
      case Qt::Key_F5: runCommand(KeyCommand::Refresh); return true;
      case Qt::Key_C:
      case Qt::Key_X:
      case Qt::Key_V:
        if (key->modifiers() != Qt::ControlModifier) break;
        runCommand(key->key() == Qt::Key_C ? KeyCommand::Copy
                   : key->key() == Qt::Key_X ? KeyCommand::Cut
                                             : KeyCommand::Paste);
        return true;
      case Qt::Key_Backspace: {
        const TreeNode* n = model_->tree().node(selectedNode());
        if (n && n->parent != kNoNode) select(n->parent);
        return true;
      }
      case Qt::Key_Menu: {
        const QRect rect = view_->visualRect(view_->currentIndex());
        showPopup(view_->viewport()->mapToGlobal(rect.center()));
        return true;
      }
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace talmoor::browse::ui

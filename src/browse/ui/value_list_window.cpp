#include "browse/ui/value_list_window.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "base/interaction.h"
#include "platform/win32_errors.h"
#include "base/thread_starter.h"
#include "browse/ui/entry_transfer_controller.h"
#include "browse/ui/value_item_model.h"
#include "browse/value_goto.h"
#include "browse/value_list.h"
#include "frame/location.h"
#include "gui/background.h"
#include "gui/drag_source_view.h"
#include "gui/gui_thread.h"
#include "gui/icons.h"
#include "gui/menu_commands.h"
#include "gui/quick_search_bar.h"
#include "registry/format_data.h"
#include "verify/file_actions.h"

namespace talmoor::browse::ui {

using gui::inBackground;

namespace {

// The Type cell is edited with a drop-down of the value types.
class TypeDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.column() != static_cast<int>(ValueColumn::Type))
      return QStyledItemDelegate::createEditor(parent, option, index);
    auto* box = new QComboBox(parent);
    box->setAccessibleName(QStringLiteral("Value Type"));
    for (const auto& type : retypableTypes())
      box->addItem(gui::valueTypeIcon(type.type), QString::fromStdString(type.name), static_cast<uint>(type.type));
    return box;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      box->setCurrentIndex(std::max(0, box->findData(index.data(ValueItemModel::TypeRole))));
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
      if (box->currentData() != index.data(ValueItemModel::TypeRole)) model->setData(index, box->currentData());
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }
};


}  // namespace

ValueListWindow::ValueListWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ValueBrowser"));
  setAccessibleName(tr("Value Browser"));
  model_ = new ValueItemModel(this);
  auto* dragView = new gui::DragSourceView<QTableView>(this);
  view_ = dragView;
  view_->setObjectName(QStringLiteral("RegistryValues"));
  view_->setAccessibleName(tr("Registry Values"));
  view_->setModel(model_);
  view_->setItemDelegate(new TypeDelegate(view_));
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
  view_->setSortingEnabled(false);
  view_->horizontalHeader()->setSectionsClickable(true);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->verticalHeader()->hide();
  view_->setShowGrid(false);
  view_->setWordWrap(false);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->installEventFilter(this);
  view_->setColumnWidth(0, 180);
  view_->setColumnWidth(1, 260);
  view_->setColumnWidth(2, 110);

  auto* searchBar = new gui::QuickSearchBar({tr("Value(s)"), tr("Quick Search Value"), tr("Actual Value Names"),
                                              tr("Quick Search Values"),
                                              tr("Type the beginning of the Value Name you wish to find.")},
                                             this);
  quickSearch_ = searchBar->edit();
  quickSearch_->setObjectName(QStringLiteral("ValueQuickSearch"));
  actual_ = searchBar->actual();
  searchButton_ = searchBar->button();
  progress_ = new QProgressBar(this);
  progress_->setAccessibleName(tr("Reading Values"));
  progress_->setRange(0, 0);
  progress_->setMaximumHeight(12);
  progress_->hide();
  caching_ = new QLabel(tr("Caching Registry Values"), this);
  caching_->hide();
  status_ = new QLabel(this);
  status_->setAccessibleName(tr("Value Status"));

  auto* statusBar = new QHBoxLayout();
  statusBar->addWidget(status_, 1);
  statusBar->addWidget(caching_);
  statusBar->addWidget(progress_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(searchBar);
  layout->addWidget(view_, 1);
  layout->addLayout(statusBar);

  connect(model_, &ValueItemModel::refreshed, this, &ValueListWindow::refreshed);
  connect(model_, &ValueItemModel::nameEdited, this, &ValueListWindow::nameEdited);
  connect(model_, &ValueItemModel::typeChosen, this, &ValueListWindow::typeChosen);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &ValueListWindow::currentChanged);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    status_->setText(QString::fromStdString(selectionStatus(selectedNames().size(), model_->list().size())));
  });
  connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { model_->sort(column, Qt::AscendingOrder); });
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(view_->viewport()->mapToGlobal(at)); });
  connect(view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.column() == static_cast<int>(ValueColumn::Data)) gotoFromData();
  });
  connect(view_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            if (pendingRow_ >= 0 && hint == QAbstractItemDelegate::RevertModelCache) {
              // Escape on a new value: it goes, and nothing is written.
              model_->removeRow(pendingRow_);
              pendingRow_ = -1;
            }
          });
  connect(quickSearch_, &QLineEdit::textEdited, this, &ValueListWindow::quickSearchChanged);
  connect(searchButton_, &QPushButton::clicked, this, [this] { quickSearchChanged(quickSearch_->text()); });
  buildMenu();
  setUpTransfer();
  dragView->dragData = [this] { return transfer_->dragData(); };
  dragView->dragFinished = [this](Qt::DropAction action, bool inside) { transfer_->dragEnded(action, inside); };
}

QString ValueListWindow::statusText() const { return status_->text(); }

void ValueListWindow::setUpTransfer() {
  EntryTransferController::Hooks hooks;
  hooks.kind = EntryTarget::ValueList;
  hooks.selection = [this] {
    std::vector<EntryRecord> records;
    for (const std::string& name : selectedNames())
      if (auto record = valueRecord(keyPath_, name)) records.push_back(std::move(*record));
    return records;
  };
  auto shownKey = [this]() -> std::optional<std::string> {
    if (keyPath_.empty() || !view_->isEnabled()) return std::nullopt;
    return keyPath_;
  };
  hooks.dropTarget = [shownKey](const QPoint&) { return shownKey(); };
  hooks.pasteTarget = shownKey;
  transfer_ = new EntryTransferController(view_, std::move(hooks), this);
  connect(transfer_, &EntryTransferController::keyChanged, this, [this](const QString& path) {
    if (path.toStdString() == keyPath_) showKey(keyPath_, true);
  });
}

void ValueListWindow::buildMenu() {
  menu_ = new QMenu(tr("Value Popup"), this);
  menu_->setAccessibleName(tr("Value Popup"));
  auto add = [this](QMenu* menu, const QString& label, int command) {
    QAction* action = menu->addAction(label);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    return action;
  };
  add(menu_, tr("&Refresh"), static_cast<int>(ValueCommand::Refresh))->setShortcut(QKeySequence(Qt::Key_F5));
  QMenu* create = menu_->addMenu(tr("&Create"));
  bool first = true;
  for (const auto& type : creatableTypes()) {
    QAction* action = add(create, QString::fromStdString(type.name), static_cast<int>(type.type) + 1);
    action->setIcon(gui::valueTypeIcon(type.type));
    if (first) create->addSeparator();
    first = false;
  }
  add(menu_, tr("&Delete"), static_cast<int>(ValueCommand::Delete))->setShortcut(QKeySequence(Qt::Key_Delete));
  QMenu* files = menu_->addMenu(tr("&Files"));
  add(files, tr("&Open"), static_cast<int>(ValueCommand::FilesOpen));
  add(files, tr("&Select"), static_cast<int>(ValueCommand::FilesSelect));
  add(files, tr("&Explore"), static_cast<int>(ValueCommand::FilesExplore));
  add(files, tr("&Move on Reboot"), static_cast<int>(ValueCommand::FilesMoveOnReboot));
  add(files, tr("&Properties"), static_cast<int>(ValueCommand::FilesProperties));
  QMenu* data = menu_->addMenu(tr("&Data"));
  add(data, tr("&Execute"), static_cast<int>(ValueCommand::DataExecute));
  add(data, tr("&Decrypt"), static_cast<int>(ValueCommand::DataDecrypt));
  add(menu_, tr("&Goto"), static_cast<int>(ValueCommand::Goto));
  add(menu_, tr("C&opy"), static_cast<int>(ValueCommand::Copy))->setShortcut(QKeySequence::Copy);
  add(menu_, tr("Cu&t"), static_cast<int>(ValueCommand::Cut))->setShortcut(QKeySequence::Cut);
  add(menu_, tr("&Paste"), static_cast<int>(ValueCommand::Paste))->setShortcut(QKeySequence::Paste);
  add(menu_, tr("Copy &Key Name"), static_cast<int>(ValueCommand::CopyKeyName));
  connect(menu_, &QMenu::aboutToShow, this, &ValueListWindow::updateMenu);
}

void ValueListWindow::updateMenu() {
  const bool haveKey = !keyPath_.empty() && view_->isEnabled();
  const auto row = currentRow();
  const bool haveValue = row.has_value() && !model_->list().row(static_cast<std::size_t>(*row))->isNew;
  gui::forEachCommand(menu_, [&](QAction* action, int command) {
    // Refresh and the Create entries (type + 1) need a key; the rest a value.
    const bool create = command <= 13;
    if (command == static_cast<int>(ValueCommand::Paste)) action->setEnabled(haveKey && transfer_->canPaste());
    else action->setEnabled(command == static_cast<int>(ValueCommand::Refresh) || create ? haveKey : haveValue);
  });
}

std::optional<int> ValueListWindow::currentRow() const {
  const QModelIndex current = view_->currentIndex();
  if (!current.isValid() || !model_->list().row(static_cast<std::size_t>(current.row()))) return std::nullopt;
  return current.row();
}

std::vector<std::string> ValueListWindow::selectedNames() const {
  std::vector<int> rows;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  std::vector<std::string> names;
  for (int row : rows)
    if (const ValueRow* r = model_->list().row(static_cast<std::size_t>(row)); r && !r->isNew)
      names.push_back(r->rawName);
  return names;
}

void ValueListWindow::showKey(const std::string& keyPath, bool quiet) {
  keyPath_ = keyPath;
  pendingRow_ = -1;
  emit valueCleared();
  if (keyPath.empty()) {
    model_->clear();
    view_->setEnabled(false);
    status_->clear();
    return;
  }
  progress_->show();
  caching_->show();
  model_->refresh(keyPath, quiet);
}

void ValueListWindow::refreshed(const QString& keyPath, bool opened) {
  if (keyPath.toStdString() != keyPath_) return;
  progress_->hide();
  caching_->hide();
  view_->setEnabled(opened);
  status_->setText(QString::fromStdString(selectionStatus(0, model_->list().size())));
  if (pendingSelection_ && pendingSelection_->first == keyPath_) {
    const auto [key, name] = *pendingSelection_;
    pendingSelection_.reset();
    selectValue(key, name);
  }
}

void ValueListWindow::selectValue(const std::string& keyPath, const std::string& rawName) {
  if (keyPath != keyPath_ || model_->reading()) {
    // Taken up once the list of that key is read.
    pendingSelection_ = {keyPath, rawName};
    return;
  }
  const auto found = model_->list().findByName(rawName);
  if (!found) {
    messageBox("Value has been Deleted or the Security has changed since the Search was carried out",
               "Cannot Show Item", BoxButtons::Ok, BoxIcon::Information);
    return;
  }
  const QModelIndex index = model_->index(static_cast<int>(*found), 0);
  const bool alreadyCurrent = view_->currentIndex().row() == index.row();
  view_->setCurrentIndex(index);
  view_->selectRow(index.row());
  view_->scrollTo(index);
  // A row that was current already (a value just named in place) changes no
  // selection: the status and the data viewer are told all the same.
  if (alreadyCurrent) {
    status_->setText(QString::fromStdString(selectionStatus(selectedNames().size(), model_->list().size())));
    currentChanged();
  }
}

void ValueListWindow::reloadValue(const std::string& keyPath, const std::string& rawName) {
  if (keyPath != keyPath_ || model_->reading()) return;
  if (const auto row = model_->list().findByName(rawName)) model_->reloadRow(static_cast<int>(*row), rawName);
}

void ValueListWindow::currentChanged() {
  const auto row = currentRow();
  if (!row) return;
  const ValueRow* r = model_->list().row(static_cast<std::size_t>(*row));
  if (r->isNew) return;
  frame::rememberLocation(keyPath_, r->rawName);
  emit valueSelected(QString::fromStdString(keyPath_), QString::fromStdString(r->rawName));
}

void ValueListWindow::runCommand(int command) {
  if (command >= 1 && command <= 13) {
    beginCreate(static_cast<DWORD>(command - 1));
    return;
  }
  switch (static_cast<ValueCommand>(command)) {
    case ValueCommand::Refresh: showKey(keyPath_); return;
    case ValueCommand::Delete: deleteSelected(); return;
    case ValueCommand::FilesOpen:
    case ValueCommand::FilesSelect:
    case ValueCommand::FilesExplore:
    case ValueCommand::FilesMoveOnReboot:
    case ValueCommand::FilesProperties: fileAction(command); return;
    case ValueCommand::DataExecute: executeData(); return;
    case ValueCommand::DataDecrypt: decryptData(); return;
    case ValueCommand::Goto: gotoFromData(); return;
    case ValueCommand::Copy: transfer_->copy(); return;
    case ValueCommand::Cut: transfer_->cut(); return;
    case ValueCommand::Paste: transfer_->paste(); return;
    case ValueCommand::CopyKeyName: transfer_->copyKeyName(); return;
  }
}

void ValueListWindow::beginCreate(DWORD type) {
  if (keyPath_.empty()) return;
  view_->setEnabled(true);
  pendingRow_ = model_->addNewRow(type);
  const QModelIndex index = model_->index(pendingRow_, 0);
  view_->setCurrentIndex(index);
  view_->scrollTo(index);
  // After the menu that asked for it has closed (see the key browser).
  QTimer::singleShot(0, this, [this, row = pendingRow_] {
    if (pendingRow_ == row) view_->edit(model_->index(row, 0));
  });
}

void ValueListWindow::nameEdited(int row, const QString& text) {
  const ValueRow* r = model_->list().row(static_cast<std::size_t>(row));
  if (!r) return;
  const bool creating = r->isNew;
  if (creating) pendingRow_ = -1;
  std::string name = text.toStdString();
  if (creating && name.empty()) {
    model_->removeRow(row);
    return;
  }
  if (!creating && name == r->rawName) return;
  const std::string key = keyPath_;
  const std::string oldName = r->rawName;
  const DWORD type = r->type;
  auto finalName = std::make_shared<std::string>(std::move(name));
  QPointer<ValueListWindow> self(this);
  inBackground(
      this,
      [key, oldName, type, creating, finalName] {
        return creating ? createValueAt(key, *finalName, type) : renameValueAt(key, oldName, *finalName);
      },
      [this, row, key, finalName](bool ok) {
        if (key != keyPath_) return;  // the list moved on to another key
        if (!ok) {
          // What the registry holds now decides: a refresh shows it.
          showKey(keyPath_);
          return;
        }
        model_->reloadRow(row, *finalName);
        frame::rememberLocation(keyPath_, *finalName);
        selectValue(keyPath_, *finalName);
      });
}

void ValueListWindow::typeChosen(int row, DWORD type) {
  const ValueRow* r = model_->list().row(static_cast<std::size_t>(row));
  if (!r || r->isNew) return;
  const std::string key = keyPath_;
  const std::string name = r->rawName;
  inBackground(
      this, [key, name, type] { return changeValueType(key, name, type); },
      [this, row, key, name](bool ok) {
        if (key != keyPath_) return;
        if (ok) model_->reloadRow(row, name);
      });
}

void ValueListWindow::deleteSelected() {
  const std::vector<std::string> names = selectedNames();
  if (names.empty() || keyPath_.empty()) {
    messageBox("The item you have selected is either does not exist, is missing/protected or is Invalid. Try "
               "Refreshing the view.",
               "Cannot Delete Item", BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  const std::string key = keyPath_;
  inBackground(
      this, [key, names] { return deleteValuesAt(key, names) > 0; },
      [this, key](bool deleted) {
        if (!deleted || key != keyPath_) return;
        frame::rememberLocation(keyPath_, std::nullopt);
        showKey(keyPath_);
      });
}

void ValueListWindow::fileAction(int command) {
  const auto row = currentRow();
  if (!row) return;
  const ValueRow r = *model_->list().row(static_cast<std::size_t>(*row));
  std::string_view verb = verify::kVerbOpen;
  switch (static_cast<ValueCommand>(command)) {
    case ValueCommand::FilesSelect: verb = verify::kVerbSelect; break;
    case ValueCommand::FilesExplore: verb = verify::kVerbExplore; break;
    case ValueCommand::FilesMoveOnReboot: verb = verify::kVerbRebootMove; break;
    case ValueCommand::FilesProperties: verb = verify::kVerbProperties; break;
    default: break;
  }
  const std::string verbText(verb);
  inBackground(
      this,
      [r, verbText] {
        verify::CurrentFiles files;
        return verify::fileActionsOnValue(r.rawName, r.type, r.data, verbText, 0, files.view());
      },
      [](bool) {});
}

void ValueListWindow::executeData() {
  const auto row = currentRow();
  if (!row) return;
  const std::string command = model_->list().row(static_cast<std::size_t>(*row))->dataText;
  inBackground(this, [command] { return verify::executeCommandLine(command); }, [](bool) {});
}

void ValueListWindow::decryptData() {
  const auto row = currentRow();
  if (!row) return;
  const ValueRow* r = model_->list().row(static_cast<std::size_t>(*row));
  // Values kept by the shell's usage records are stored with their letters
  // rotated by 13; turning them back is its own inverse.
  messageBox("Name: " + registry::rotate13(r->rawName) + "\nData: " + registry::rotate13(r->dataText), "Decrypt",
             BoxButtons::Ok, BoxIcon::Information);
}

void ValueListWindow::gotoFromData() {
  const auto row = currentRow();
  if (!row) return;
  const ValueRow r = *model_->list().row(static_cast<std::size_t>(*row));
  auto target = std::make_shared<std::optional<std::string>>();
  inBackground(
      this,
      [r, target] {
        *target = gotoTarget(r.rawName, r.type, r.data);
        return target->has_value();
      },
      [this, target](bool found) {
        if (found) emit gotoRequested(QString::fromStdString(**target));
      });
}

void ValueListWindow::quickSearchChanged(const QString& typed) {
  if (searching_) return;
  searching_ = true;
  const auto found = model_->list().findByPrefix(typed.toStdString(), actual_->isChecked());
  if (found) {
    const ValueRow* r = model_->list().row(*found);
    const QString name = QString::fromStdString(actual_->isChecked() ? r->rawName : r->shownName());
    quickSearch_->setText(name);
    quickSearch_->setSelection(static_cast<int>(typed.size()), static_cast<int>(name.size() - typed.size()));
  }
  if (found && static_cast<int>(*found) != lastFound_) {
    const QModelIndex index = model_->index(static_cast<int>(*found), 0);
    view_->setCurrentIndex(index);
    view_->selectRow(index.row());
    view_->scrollTo(index);
  }
  lastFound_ = found ? static_cast<int>(*found) : -1;
  searching_ = false;
}

bool ValueListWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Delete: runCommand(static_cast<int>(ValueCommand::Delete)); return true;
      case Qt::Key_F5: runCommand(static_cast<int>(ValueCommand::Refresh)); return true;
      case Qt::Key_C:
      case Qt::Key_X:
      case Qt::Key_V:
        if (key->modifiers() != Qt::ControlModifier) break;
        runCommand(static_cast<int>(key->key() == Qt::Key_C   ? ValueCommand::Copy
                                    : key->key() == Qt::Key_X ? ValueCommand::Cut
                                                              : ValueCommand::Paste));
        return true;
      case Qt::Key_Menu: {
        const QRect rect = view_->visualRect(view_->currentIndex());
        updateMenu();
        menu_->popup(view_->viewport()->mapToGlobal(rect.center()));
        return true;
      }
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace talmoor::browse::ui

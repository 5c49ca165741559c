#include "browse/ui/value_item_model.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include "base/thread_starter.h"
#include "gui/gui_thread.h"
#include "gui/icons.h"

namespace talmoor::browse::ui {

namespace {

const char* const kHeaders[kValueColumnCount] = {"Name", "Data", "Type", "Size"};
// Long data is cut for the cell; the Data Viewer shows all of it.
constexpr int kShownDataLength = 2600;

}  // namespace

ValueItemModel::ValueItemModel(QObject* parent) : QAbstractTableModel(parent) {}

ValueItemModel::~ValueItemModel() {
  if (cancel_) *cancel_ = true;
}

void ValueItemModel::refresh(const std::string& keyPath, bool quiet) {
  if (cancel_) *cancel_ = true;
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  const std::uint64_t generation = ++generation_;
  ++reading_;
  QPointer<ValueItemModel> self(this);
  startThread([self, keyPath, quiet, cancel = cancel_, generation]() -> DWORD {
    ValueListing listing = readValues(keyPath, cancel.get(), quiet);
    gui::postToGui(qApp, [self, keyPath, generation, listing = std::move(listing)]() mutable {
      if (!self) return;
      --self->reading_;
      if (generation != self->generation_ || listing.cancelled) return;  // a newer refresh wins
      self->beginResetModel();
      self->list_.reset(keyPath, std::move(listing.rows));
      self->endResetModel();
      emit self->refreshed(QString::fromStdString(keyPath), listing.opened);
    });
    return 0;
  });
}

void ValueItemModel::clear() {
  if (cancel_) *cancel_ = true;
  ++generation_;
  beginResetModel();
  list_.clear();
  endResetModel();
}

bool ValueItemModel::waitIdle(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (reading_ > 0 && timer.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return reading_ == 0;
}

int ValueItemModel::addNewRow(DWORD type) {
  const int row = static_cast<int>(list_.size());
  beginInsertRows({}, row, row);
  list_.addNewRow(type);
  endInsertRows();
  return row;
}

void ValueItemModel::removeRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= list_.size()) return;
  beginRemoveRows({}, row, row);
  list_.removeRow(static_cast<std::size_t>(row));
  endRemoveRows();
}

void ValueItemModel::reloadRow(int row, const std::string& rawName) {
  auto fresh = readValue(list_.keyPath(), rawName);
  if (!fresh) {
    removeRow(row);
    return;
  }
  list_.replaceRow(static_cast<std::size_t>(row), std::move(*fresh));
  emit dataChanged(index(row, 0), index(row, kValueColumnCount - 1));
}

int ValueItemModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

int ValueItemModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kValueColumnCount; }

QVariant ValueItemModel::data(const QModelIndex& index, int role) const {
  const ValueRow* r = list_.row(static_cast<std::size_t>(index.row()));
  if (!r || !index.isValid()) return {};
  const auto column = static_cast<ValueColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
      QString text = QString::fromStdString(r->text(column));
      if (column == ValueColumn::Data && text.size() > kShownDataLength) text.truncate(kShownDataLength);
      return text;
    }
    case Qt::EditRole:
      if (column == ValueColumn::Name) return QString::fromStdString(r->isNew ? std::string() : r->rawName);
      if (column == ValueColumn::Type) return static_cast<uint>(r->type);
      return QString::fromStdString(r->text(column));
    case Qt::DecorationRole:
      return column == ValueColumn::Name ? QVariant(gui::valueTypeIcon(static_cast<DWORD>(valueImage(r->type))))
                                         : QVariant();
    case Qt::TextAlignmentRole:
      return column == ValueColumn::Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
      return column == ValueColumn::Name && r->translatedName ? QString::fromStdString(r->rawName) : QVariant();
    case RawNameRole: return QString::fromStdString(r->rawName);
    case TypeRole: return static_cast<uint>(r->type);
    case IsNewRole: return r->isNew;
    default: return {};
  }
}

QVariant ValueItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kValueColumnCount)
    return QAbstractTableModel::headerData(section, orientation, role);
  return QString::fromLatin1(kHeaders[section]);
}

bool ValueItemModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  if (index.column() == static_cast<int>(ValueColumn::Name)) {
    emit nameEdited(index.row(), value.toString());
    return true;
  }
  if (index.column() == static_cast<int>(ValueColumn::Type)) {
    emit typeChosen(index.row(), static_cast<DWORD>(value.toUInt()));
    return true;
  }
  return false;
}

Qt::ItemFlags ValueItemModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const ValueRow* r = list_.row(static_cast<std::size_t>(index.row()));
  const auto column = static_cast<ValueColumn>(index.column());
  if (column == ValueColumn::Name && r && (r->isNew || !r->rawName.empty())) f |= Qt::ItemIsEditable;
  if (column == ValueColumn::Type && r && !r->isNew) f |= Qt::ItemIsEditable;
  if (r && !r->isNew) f |= Qt::ItemIsDragEnabled;
  return f;
}

Qt::DropActions ValueItemModel::supportedDragActions() const {
  return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions ValueItemModel::supportedDropActions() const {
  return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

void ValueItemModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kValueColumnCount) return;
  emit layoutAboutToBeChanged();
  // The selection follows its values: remember each persistent index's name.
  const QModelIndexList before = persistentIndexList();
  std::vector<std::pair<std::string, bool>> names;
  for (const auto& i : before) {
    const ValueRow* r = list_.row(static_cast<std::size_t>(i.row()));
    names.emplace_back(r ? r->rawName : std::string(), r && r->isNew);
  }
  list_.sortBy(static_cast<ValueColumn>(column));
  // Descending is the same order turned round.
  if (order == Qt::DescendingOrder) {
    std::vector<ValueRow> rows(list_.rows().rbegin(), list_.rows().rend());
    list_.reset(list_.keyPath(), std::move(rows));
  }
  QModelIndexList after;
  for (qsizetype i = 0; i < before.size(); ++i) {
    int row = -1;
    for (std::size_t r = 0; r < list_.size(); ++r)
      if (list_.rows()[r].rawName == names[static_cast<std::size_t>(i)].first &&
          list_.rows()[r].isNew == names[static_cast<std::size_t>(i)].second) {
        row = static_cast<int>(r);
        break;
      }
    after.push_back(row < 0 ? QModelIndex() : index(row, before[i].column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

}  // namespace talmoor::browse::ui

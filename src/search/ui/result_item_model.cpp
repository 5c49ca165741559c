#include "search/ui/result_item_model.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "frame/window_table.h"
#include "gui/icons.h"

namespace talmoor::search::ui {

namespace {

// Long data is cut for the cell; the Data Viewer shows all of it.
constexpr int kShownTextLength = 2600;
constexpr int kBaseColumns = 5;

// The images a cell may start from; a value's type adds its number to the last.
enum Base { kBaseNone = 0, kBaseResult, kBaseKey, kBaseType };

QIcon withMark(const QIcon& base, int mark) {
  const QIcon sign = gui::markIcon(mark);
  if (sign.isNull()) return base;
  if (base.isNull()) return sign;
  QIcon out;
  for (int size : {16, 24, 32}) {
    QPixmap pixmap = base.pixmap(size, size);
    QPainter painter(&pixmap);
    const int half = size / 2 + 1;
    painter.drawPixmap(0, size - half, sign.pixmap(half, half));
    out.addPixmap(pixmap);
  }
  return out;
}

}  // namespace

ResultItemModel::ResultItemModel(std::shared_ptr<ResultList> list, QObject* parent)
    : QAbstractTableModel(parent), list_(std::move(list)) {
  inbox_ = gui::BatchedInbox<ResultListChange>::create([this](std::vector<ResultListChange>& changes) {
    apply(changes);
  });
  // The inbox, not the model, is what the list's threads hold on to.
  list_->setListener([inbox = inbox_](const ResultListChange& change) { inbox->put(change); });
  rows_ = static_cast<int>(list_->size());
  replacement_ = list_->hasReplacementColumn();
}

ResultItemModel::~ResultItemModel() {
  list_->setListener(nullptr);
  inbox_->detach();
}

std::shared_ptr<const ResultRow> ResultItemModel::rowAt(int row) const {
  if (row < 0 || row >= rows_) return nullptr;
  return list_->rowAt(static_cast<std::size_t>(row));
}

void ResultItemModel::flushNow() { inbox_->flush(); }

void ResultItemModel::apply(std::vector<ResultListChange>& changes) {
  // Runs of the same change are told as one: rows added one after another
  // at the end, rows taken from the same place (Clear takes the top row
  // again and again), and rows changed near each other.
  int insertFirst = -1, insertLast = -1;
  int removeAt = -1, removeCount = 0;
  int changedLow = -1, changedHigh = -1;

  auto closeInsert = [&] {
    if (insertFirst < 0) return;
    beginInsertRows({}, insertFirst, insertLast);
    rows_ = insertLast + 1;
    endInsertRows();
    insertFirst = insertLast = -1;
  };
  auto closeRemove = [&] {
    if (removeAt < 0) return;
    const int last = std::min(removeAt + removeCount, rows_) - 1;
    if (removeAt <= last) {
      beginRemoveRows({}, removeAt, last);
      rows_ -= last - removeAt + 1;
      endRemoveRows();
    }
    removeAt = -1;
    removeCount = 0;
  };
  auto closeChanged = [&] {
    if (changedLow < 0) return;
    const int last = std::min(changedHigh, rows_ - 1);
    if (changedLow <= last) emit dataChanged(index(changedLow, 0), index(last, columnCount() - 1));
    changedLow = changedHigh = -1;
  };
  auto closeAll = [&] {
    closeChanged();
    closeRemove();
    closeInsert();
  };

  for (const ResultListChange& change : changes) {
    switch (change.kind) {
      case ResultListChange::Added: {
        closeRemove();
        // A row is added at the end; one the model counted when it was made
        // is not told again.
        const int end = insertFirst < 0 ? rows_ : insertLast + 1;
        if (change.row < end) break;
        if (insertFirst < 0) insertFirst = end;
        insertLast = change.row;
        break;
      }
      case ResultListChange::Removed:
        if (removeAt >= 0 && change.row == removeAt) {
          ++removeCount;
          break;
        }
        closeAll();
        if (change.row >= 0 && change.row < rows_) {
          removeAt = change.row;
          removeCount = 1;
        }
        break;
      case ResultListChange::Changed:
        // A row not told of yet shows its newest state when it is.
        if (insertFirst >= 0 && change.row >= insertFirst) break;
        closeRemove();
        if (change.row < 0 || change.row >= rows_) break;
        changedLow = changedLow < 0 ? change.row : std::min(changedLow, change.row);
        changedHigh = std::max(changedHigh, change.row);
        break;
      case ResultListChange::Sorted:
        closeAll();
        beginResetModel();
        endResetModel();
        emit listSorted();
        break;
      case ResultListChange::Cleared:
        closeAll();
        emit listCleared();
        break;
      case ResultListChange::ColumnAdded:
        closeAll();
        if (!replacement_) {
          beginInsertColumns({}, kColumnReplacement, kColumnReplacement);
          replacement_ = true;
          endInsertColumns();
        }
        break;
    }
  }
  closeAll();
}

int ResultItemModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int ResultItemModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return replacement_ ? kColumnCount : kBaseColumns;
}

QIcon ResultItemModel::icon(int base, int mark) const {
  const int key = base * 16 + (mark & 15);
  if (auto found = icons_.constFind(key); found != icons_.constEnd()) return *found;
  QIcon start;
  if (base == kBaseResult)
    start = gui::windowIcon(static_cast<int>(frame::WindowCommand::Search));
  else if (base == kBaseKey)
    start = gui::keyIcon(gui::KeyKind::Closed);
  else if (base >= kBaseType)
    start = gui::valueTypeIcon(static_cast<DWORD>(base - kBaseType));
  return *icons_.insert(key, withMark(start, mark));
}

QVariant ResultItemModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() < 0 || index.column() >= columnCount()) return {};
  std::shared_ptr<const ResultRow> row = rowAt(index.row());
  if (!row) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
      const std::string& text = row->column(column);
      const auto length = static_cast<qsizetype>(std::min<std::size_t>(text.size(), kShownTextLength));
      return QString::fromUtf8(text.data(), length);
    }
    case Qt::DecorationRole: {
      const int mark = row->columnMarks[static_cast<std::size_t>(column)];
      switch (column) {
        case kColumnHive: return icon(kBaseResult, mark ? mark : row->statusMark);
        case kColumnKey: return icon(kBaseKey, mark);
        case kColumnValue:
          if (row->typeImage >= 0) return icon(kBaseType + row->typeImage, mark);
          [[fallthrough]];
        default: {
          const QIcon sign = mark ? icon(kBaseNone, mark) : QIcon();
          return sign.isNull() ? QVariant() : QVariant(sign);
        }
      }
    }
    case StatusMarkRole: return row->statusMark;
    case ColumnMarkRole: return row->columnMarks[static_cast<std::size_t>(column)];
    case TypeImageRole: return row->typeImage;
    case SelectedRole: return row->selected;
    default: return {};
  }
}

QVariant ResultItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
    return QAbstractTableModel::headerData(section, orientation, role);
  return QString::fromLatin1(kColumnTitles[section]);
}

Qt::ItemFlags ResultItemModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void ResultItemModel::sort(int column, Qt::SortOrder) {
  if (column < 0 || column >= columnCount()) return;
  flushNow();
  list_->sortByColumn(column);
  flushNow();
}

}  // namespace talmoor::search::ui

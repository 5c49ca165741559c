#include "verify/ui/rule_table_model.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <QStyle>

namespace talmoor::verify::ui {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

constexpr int kColumnCount = static_cast<int>(std::size(kRuleColumns));
// What an empty text cell shows; editing it starts from nothing.
const QString kBlank = QStringLiteral("<Blank>");

}  // namespace

RuleTableModel::RuleTableModel(RuleEditorModel& editor, QObject* parent)
    : QAbstractTableModel(parent), editor_(editor), rows_(static_cast<int>(editor.rowCount())) {}

int RuleTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RuleTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant RuleTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return qs(editor_.cellText(row, column));
    case Qt::EditRole: {
      const QString text = qs(editor_.cellText(row, column));
      return text == kBlank ? QString() : text;
    }
    case Qt::DecorationRole:
      if (column != kRuleFind) return {};
      // Rules that leave references alone look apart from those that replace them.
      return QApplication::style()->standardIcon(editor_.image(row) ? QStyle::SP_DialogCancelButton
                                                                    : QStyle::SP_FileIcon);
    case kRuleChoicesRole: {
      const std::vector<std::string> choices = RuleEditorModel::choices(column);
      if (choices.empty()) return {};
      QStringList list;
      for (const std::string& choice : choices) list << qs(choice);
      return list;
    }
    default: return {};
  }
}

QVariant RuleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kRuleColumns[section].title);
  return {};
}

Qt::ItemFlags RuleTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool RuleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole ||
      !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return false;
  if (!editor_.editCell(static_cast<std::size_t>(index.row()), index.column(), value.toString().toStdString()))
    return false;
  // A new type, Reject or find text moves the rule to its place in the
  // order: any row may show another rule now.
  emit dataChanged(this->index(0, 0), this->index(rows_ - 1, kColumnCount - 1));
  return true;
}

bool RuleTableModel::refresh(bool evenWhenCountIsSame) {
  const int now = static_cast<int>(editor_.rowCount());
  if (now == rows_ && !evenWhenCountIsSame) return false;
  beginResetModel();
  rows_ = now;
  endResetModel();
  return true;
}

bool RuleTableModel::add() {
  const bool added = editor_.add();
  if (added) refresh(true);
  return added;
}

bool RuleTableModel::removeSelected() {
  const std::optional<std::size_t> row = editor_.selected();
  if (!row || static_cast<int>(*row) >= rows_) return false;
  const int at = static_cast<int>(*row);
  beginRemoveRows({}, at, at);
  // The view moves its current row off the rows about to go, and the
  // window's selection follows it: the rule to remove is chosen again.
  editor_.select(row);
  const bool removed = editor_.removeSelected();
  if (removed) --rows_;
  endRemoveRows();
  // A search may have added rules meanwhile.
  refresh();
  return removed;
}

void RuleTableModel::clearRules() {
  beginResetModel();
  editor_.clearRules();
  rows_ = static_cast<int>(editor_.rowCount());
  endResetModel();
}

bool RuleTableModel::load(const std::filesystem::path& file) {
  editor_.select(std::nullopt);
  // A refused file says so in a box: the rows are taken up after it, not
  // while the view waits in the middle of a reset. Until then the rows the
  // view knows read safely (a row past the rules reads as a missing entry).
  const bool loaded = editor_.load(file);
  refresh(true);
  return loaded;
}

}  // namespace talmoor::verify::ui

#include "browse/ui/naming_rules_item_models.h"

#include "gui/icons.h"

namespace talmoor::browse::ui {

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QStringList actionChoiceTexts() {
  QStringList choices;
  for (const std::string& choice : NamingRulesModel::actionChoices()) choices << qs(choice);
  return choices;
}

QStringList overlayChoiceTexts() {
  QStringList choices;
  for (int i = 0; i < kOverlayCount; ++i) choices << qs(overlayText(static_cast<Overlay>(i)));
  return choices;
}

// The choice the "Icon" cell's drop-down starts on: the action's own name, or
// "None" for a rule without one.
QString actionChoiceOf(NamingAction action) {
  return action == NamingAction::NoAction ? qs(kNoneChoice) : qs(actionName(action));
}

QVariant heading(const std::vector<ColumnHeading>& columns, int section, Qt::Orientation orientation, int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns.size())) return {};
  const ColumnHeading& column = columns[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return qs(column.title);
  return {};
}

}  // namespace

RuleTableModel::RuleTableModel(NamingRulesModel& rules, NameTableModel& names, QObject* parent)
    : QAbstractTableModel(parent), rules_(rules), names_(names) {}

int RuleTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rules_.ruleCount());
}

int RuleTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ruleColumns().size());
}

QVariant RuleTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const auto column = static_cast<RuleColumn>(index.column());
  const NamingRule& rule = rules_.rule(row);
  switch (column) {
    case RuleColumn::Level:
      if (role == Qt::DisplayRole) return qs(rules_.ruleCell(row, column));
      if (role == Qt::EditRole) return rule.level;
      break;
    case RuleColumn::Recurse:
    case RuleColumn::Comparison: {
      const bool on = column == RuleColumn::Recurse ? rule.recurse : rule.comparison;
      // The flag is the check box; its text is for screen readers.
      if (role == Qt::CheckStateRole) return on ? Qt::Checked : Qt::Unchecked;
      if (role == Qt::AccessibleTextRole) return qs(rules_.ruleCell(row, column));
      break;
    }
    case RuleColumn::Action:
      if (role == Qt::DisplayRole || role == Qt::EditRole) return qs(rules_.ruleCell(row, column));
      if (role == kChoicesRole) return QStringList{qs(kDefaultCompareName)};
      break;
    case RuleColumn::Icon:
      if (role == Qt::DisplayRole) return qs(rules_.ruleCell(row, column));
      if (role == Qt::EditRole) return actionChoiceOf(rule.action);
      if (role == kChoicesRole) return actionChoiceTexts();
      break;
  }
  return {};
}

QVariant RuleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return heading(ruleColumns(), section, orientation, role);
}

Qt::ItemFlags RuleTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  const auto column = static_cast<RuleColumn>(index.column());
  const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (column == RuleColumn::Recurse || column == RuleColumn::Comparison) return base | Qt::ItemIsUserCheckable;
  return base | Qt::ItemIsEditable;
}

bool RuleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return false;
  const auto row = static_cast<std::size_t>(index.row());
  const auto column = static_cast<RuleColumn>(index.column());
  switch (column) {
    case RuleColumn::Level: {
      if (role != Qt::EditRole) return false;
      bool ok = false;
      const int level = value.toInt(&ok);
      // -1 is "any level"; a lower one would never apply.
      if (!ok || level < -1) return false;
      rules_.setLevel(row, level);
      break;
    }
    case RuleColumn::Recurse:
    case RuleColumn::Comparison: {
      if (role != Qt::CheckStateRole) return false;
      const bool on = value.toInt() == Qt::Checked;
      if (column == RuleColumn::Recurse) rules_.setRecurse(row, on);
      else rules_.setComparison(row, on);
      break;
    }
    case RuleColumn::Action:
      // Every rule compares names the one way there is.
      return role == Qt::EditRole && value.toString() == qs(kDefaultCompareName);
    case RuleColumn::Icon: {
      if (role != Qt::EditRole) return false;
      const QString choice = value.toString();
      if (!actionChoiceTexts().contains(choice)) return false;
      rules_.setAction(row, choice.toStdString());
      break;
    }
  }
  emit dataChanged(index, index);
  emit edited();
  return true;
}

void RuleTableModel::selectRule(std::optional<int> row) {
  std::optional<std::size_t> wanted;
  if (row && *row >= 0) wanted = static_cast<std::size_t>(*row);
  if (wanted == rules_.selectedRule()) return;
  names_.beginRuleChange();
  rules_.selectRule(wanted);
  names_.endRuleChange();
}

std::optional<int> RuleTableModel::addRule(const QString& firstName) {
  const std::string text = firstName.toStdString();
  if (!NamingRulesModel::canAdd(text)) return std::nullopt;
  const int row = rowCount();
  beginInsertRows({}, row, row);
  rules_.addRule(text);
  endInsertRows();
  emit edited();
  return row;
}

void RuleTableModel::removeRule(int row) {
  if (row < 0 || row >= rowCount()) return;
  // The shown rule's names go first, in a change of their own: the view
  // picks its next current row while the rows are being removed, and the
  // name list must not be in the middle of a change then. A rule removed
  // above the shown one leaves the shown names as they are.
  if (rules_.selectedRule() == static_cast<std::size_t>(row)) selectRule(std::nullopt);
  beginRemoveRows({}, row, row);
  rules_.removeRule(static_cast<std::size_t>(row));
  endRemoveRows();
  emit edited();
}

void RuleTableModel::clearRules() {
  if (rowCount() == 0) return;
  setRules({});
}

void RuleTableModel::setRules(std::vector<NamingRule> rules) {
  selectRule(std::nullopt);  // as in removeRule: the names change on their own first
  beginResetModel();
  rules_.setRules(std::move(rules));
  endResetModel();
  emit edited();
}

NameTableModel::NameTableModel(NamingRulesModel& rules, QObject* parent) : QAbstractTableModel(parent), rules_(rules) {}

int NameTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rules_.nameCount());
}

int NameTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(nameColumns().size());
}

QVariant NameTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const auto column = static_cast<NameColumn>(index.column());
  if (role == Qt::DisplayRole || role == Qt::EditRole) return qs(rules_.nameCell(row, column));
  if (column != NameColumn::Icon) return {};
  if (role == kChoicesRole) return overlayChoiceTexts();
  if (role == Qt::DecorationRole) {
    const Overlay icon = rules_.rule(*rules_.selectedRule()).names.at(row).icon;
    return gui::treeItemIcon(static_cast<int>(TreeImage::Key), static_cast<int>(icon));
  }
  return {};
}

QVariant NameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  return heading(nameColumns(), section, orientation, role);
}

Qt::ItemFlags NameTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool NameTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return false;
  const auto row = static_cast<std::size_t>(index.row());
  const auto column = static_cast<NameColumn>(index.column());
  if (column == NameColumn::Icon) {
    const auto overlay = overlayChoiceTexts().indexOf(value.toString());
    if (overlay < 0) return false;
    rules_.setNameIcon(row, static_cast<Overlay>(overlay));
  } else {
    rules_.setNameText(row, column, value.toString().toStdString());
  }
  emit dataChanged(index, index);
  emit edited();
  return true;
}

std::optional<int> NameTableModel::addName(const QString& name) {
  const std::string text = name.toStdString();
  if (!hasRule() || !NamingRulesModel::canAdd(text)) return std::nullopt;
  const int row = rowCount();
  beginInsertRows({}, row, row);
  rules_.addName(text);
  endInsertRows();
  emit edited();
  return row;
}

void NameTableModel::removeName(int row) {
  if (row < 0 || row >= rowCount()) return;
  beginRemoveRows({}, row, row);
  rules_.removeName(static_cast<std::size_t>(row));
  endRemoveRows();
  emit edited();
}

bool NameTableModel::setNames(std::vector<NameEntry> names) {
  if (!hasRule()) return false;
  beginResetModel();
  rules_.setNames(std::move(names));
  endResetModel();
  emit edited();
  return true;
}

}  // namespace talmoor::browse::ui

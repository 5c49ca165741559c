#include "browse/naming_rules_model.h"

#include "browse/naming_files.h"

namespace talmoor::browse {

const std::vector<ColumnHeading>& ruleColumns() {
  static const std::vector<ColumnHeading> columns = {
      {"Level", 40}, {"Recurse", 36}, {"Comparison", 36}, {"Action", 80}, {"Icon", 120}};
  return columns;
}

const std::vector<ColumnHeading>& nameColumns() {
  static const std::vector<ColumnHeading> columns = {{"Icon", 120}, {"Name", 120}, {"Comment", 120}};
  return columns;
}

NamingRulesModel::NamingRulesModel(NamingRuleStore& store) : store_(store), rules_(*store.snapshot()) {}

std::string NamingRulesModel::ruleCell(std::size_t row, RuleColumn column) const {
  const NamingRule& rule = rules_.at(row);
  switch (column) {
    case RuleColumn::Level: return std::to_string(rule.level);
    case RuleColumn::Recurse: return rule.recurse ? "1" : "0";
    case RuleColumn::Comparison: return rule.comparison ? "1" : "0";
    case RuleColumn::Action: return std::string(kDefaultCompareName);
    case RuleColumn::Icon: return std::string(actionName(rule.action));
  }
  return {};
}

std::vector<std::string> NamingRulesModel::actionChoices() {
  std::vector<std::string> choices;
  for (NamingAction action : editableActions())
    choices.emplace_back(action == NamingAction::NoAction ? kNoneChoice : actionName(action));
  return choices;
}

void NamingRulesModel::setLevel(std::size_t row, std::int32_t level) { rules_.at(row).level = level; }
void NamingRulesModel::setRecurse(std::size_t row, bool recurse) { rules_.at(row).recurse = recurse; }
void NamingRulesModel::setComparison(std::size_t row, bool comparison) { rules_.at(row).comparison = comparison; }
void NamingRulesModel::setAction(std::size_t row, std::string_view choice) { rules_.at(row).action = actionNamed(choice); }

void NamingRulesModel::selectRule(std::optional<std::size_t> row) {
  selected_ = row && *row < rules_.size() ? row : std::nullopt;
}

NamingRule* NamingRulesModel::selected() { return selected_ ? &rules_.at(*selected_) : nullptr; }
const NamingRule* NamingRulesModel::selected() const { return selected_ ? &rules_.at(*selected_) : nullptr; }

std::size_t NamingRulesModel::nameCount() const { return selected() ? selected()->names.size() : 0; }

std::string NamingRulesModel::nameCell(std::size_t row, NameColumn column) const {
  const NameEntry& entry = selected()->names.at(row);
  switch (column) {
    case NameColumn::Icon: return overlayText(entry.icon);
    case NameColumn::Name: return entry.name;
    case NameColumn::Comment: return entry.comment;
  }
  return {};
}

void NamingRulesModel::setNameIcon(std::size_t row, Overlay icon) { selected()->names.at(row).icon = icon; }

void NamingRulesModel::setNameText(std::size_t row, NameColumn column, std::string text) {
  NameEntry& entry = selected()->names.at(row);
  if (column == NameColumn::Name) entry.name = std::move(text);
  if (column == NameColumn::Comment) entry.comment = std::move(text);
}

void NamingRulesModel::addRule(std::string_view text) {
  if (!canAdd(text)) return;
  NamingRule rule;
  rule.names.push_back({std::string(text), {}, Overlay::Plus});
  rules_.push_back(std::move(rule));
}

void NamingRulesModel::removeRule(std::size_t row) {
  if (row >= rules_.size()) return;
  rules_.erase(rules_.begin() + static_cast<std::ptrdiff_t>(row));
  if (selected_ == row) selected_.reset();
  else if (selected_ && *selected_ > row) --*selected_;
}

void NamingRulesModel::clearRules() {
  rules_.clear();
  selected_.reset();
}

bool NamingRulesModel::addName(std::string_view text) {
  if (!selected() || !canAdd(text)) return false;
  selected()->names.push_back({std::string(text), {}, Overlay::Plus});
  return true;
}

void NamingRulesModel::removeName(std::size_t row) {
  if (!selected() || row >= selected()->names.size()) return;
  selected()->names.erase(selected()->names.begin() + static_cast<std::ptrdiff_t>(row));
}

void NamingRulesModel::setRules(std::vector<NamingRule> rules) {
  rules_ = std::move(rules);
  selected_.reset();
}

bool NamingRulesModel::setNames(std::vector<NameEntry> names) {
  if (!selected()) return false;
  selected()->names = std::move(names);
  return true;
}

bool NamingRulesModel::loadRules(const std::filesystem::path& file, std::string& problem) {
  auto rules = loadRuleListFile(file, problem);
  if (!rules) return false;
  setRules(std::move(*rules));
  return true;
}

bool NamingRulesModel::saveRules(const std::filesystem::path& file, std::string& problem) const {
  return saveRuleListFile(file, rules_, problem);
}

bool NamingRulesModel::loadNames(const std::filesystem::path& file, std::string& problem) {
  if (!selected()) {
    problem = "no rule is selected";
    return false;
  }
  auto names = loadNameListFile(file, problem);
  return names && setNames(std::move(*names));
}

bool NamingRulesModel::saveNames(const std::filesystem::path& file, std::string& problem) const {
  if (!selected()) {
    problem = "no rule is selected";
    return false;
  }
  return saveNameListFile(file, selected()->names, problem);
}

void NamingRulesModel::apply() { store_.replace(rules_); }

}  // namespace talmoor::browse

#include "verify/rule_editor.h"

#include <charconv>

#include <fmt/format.h>

#include "base/interaction.h"

namespace talmoor::verify {

namespace {

constexpr const char* kBlank = "<Blank>";
constexpr const char* kMissingRule = "Missing or Invalid Replacement Entry";

const char* yesNo(bool value) { return value ? "Yes" : "No"; }

std::optional<bool> parseYesNo(const std::string& text) {
  if (text == "Yes") return true;
  if (text == "No") return false;
  return std::nullopt;
}

}  // namespace

RulePtr RuleEditorModel::ruleAt(std::size_t row) const {
  auto rules = rules_.rules();
  return row < rules.size() ? rules[row] : nullptr;
}

std::string RuleEditorModel::cellText(std::size_t row, int column) const {
  RulePtr rule = ruleAt(row);
  if (!rule) return kMissingRule;
  std::string text;
  switch (column) {
    case kRuleFind: text = rule->find; break;
    case kRuleReplace: text = rule->replace; break;
    case kRuleType: text = ruleTypeName(rule->type); break;
    case kRuleAuto: text = yesNo(rule->autoApply); break;
    case kRuleReject: text = yesNo(rule->reject); break;
    case kRulePrompt: text = yesNo(rule->prompted); break;
    case kRuleMinMatch: text = fmt::format("{}", rule->minMatch); break;
    default: return kMissingRule;
  }
  return text.empty() ? kBlank : text;
}

int RuleEditorModel::image(std::size_t row) const {
  RulePtr rule = ruleAt(row);
  return rule && rule->reject ? 1 : 0;
}

std::vector<std::string> RuleEditorModel::choices(int column) {
  if (column == kRuleType) return {std::begin(kTypeChoices), std::end(kTypeChoices)};
  if (column == kRuleAuto || column == kRuleReject || column == kRulePrompt)
    return {std::begin(kYesNoChoices), std::end(kYesNoChoices)};
  return {};
}

bool RuleEditorModel::editCell(std::size_t row, int column, const std::string& text) {
  RulePtr rule = ruleAt(row);
  if (!rule) return false;
  switch (column) {
    case kRuleFind: rule->find = text; break;
    case kRuleReplace: rule->replace = text; break;
    case kRuleMinMatch: {
      std::int32_t value = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (error != std::errc() || end != text.data() + text.size()) return false;
      rule->minMatch = value;
      break;
    }
    case kRuleType:
      if (text == "Exact Match") rule->type = RuleType::ExactMatch;
      else if (text == "Partial Match") rule->type = RuleType::PartialMatch;
      else if (text == "Full Match") rule->type = RuleType::FullMatch;
      else return false;
      break;
    case kRuleAuto:
    case kRuleReject:
    case kRulePrompt: {
      auto value = parseYesNo(text);
      if (!value) return false;
      (column == kRuleAuto ? rule->autoApply : column == kRuleReject ? rule->reject : rule->prompted) = *value;
      break;
    }
    default: return false;
  }
  // The order key may have changed.
  rules_.sort();
  return true;
}

void RuleEditorModel::select(std::optional<std::size_t> row) {
  selected_.reset();
  if (!row) return;
  RulePtr rule = ruleAt(*row);
  if (!rule) return;
  selected_ = row;
  findField = rule->find;
  replaceField = rule->replace;
}

bool RuleEditorModel::add() {
  if (findField.empty()) return false;
  auto rule = std::make_shared<Rule>();
  rule->find = findField;
  rule->replace = replaceField;
  if (rules_.contains(*rule)) {
    messageBox("The specified rule already exists in the rule base, please ammend the existing rule.",
               "Rule Already Exists");
    return false;
  }
  rules_.insert(std::move(rule));
  return true;
}

bool RuleEditorModel::removeSelected() {
  if (!selected_) return false;
  RulePtr rule = ruleAt(*selected_);
  selected_.reset();
  return rule && rules_.remove(rule);
}

void RuleEditorModel::clearRules() {
  selected_.reset();
  rules_.clear();
}

bool RuleEditorModel::load(const std::filesystem::path& file) {
  if (rules_.load(file)) return true;
  messageBox("Failed to Load Settings", "Sorry");
  return false;
}

bool RuleEditorModel::save(const std::filesystem::path& file) const {
  if (rules_.save(file)) return true;
  messageBox("Failed to Save Settings", "Sorry");
  return false;
}

}  // namespace talmoor::verify

#pragma once
// The rule base editor as a model the "Verification Rules" window shows: the
// columns and their cell texts, in-place edits, the two fields, and Add,
// Remove, Clear, Load and Save with the rules they follow.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "verify/rules.h"

namespace talmoor::verify {

enum RuleColumn { kRuleFind = 0, kRuleReplace, kRuleType, kRuleAuto, kRuleReject, kRulePrompt, kRuleMinMatch };
struct RuleColumnInfo {
  const char* title;
  int width;  // pixels
};
inline constexpr RuleColumnInfo kRuleColumns[] = {{"Find", 250},  {"Replace", 250}, {"Type", 74},     {"Auto", 35},
                                                  {"Reject", 45}, {"Prompt", 45},   {"Min.Match", 65}};
inline constexpr const char* kTypeChoices[] = {"Exact Match", "Partial Match", "Full Match"};
inline constexpr const char* kYesNoChoices[] = {"Yes", "No"};

class RuleEditorModel {
 public:
  explicit RuleEditorModel(RuleBase& rules = ruleBase()) : rules_(rules) {}

  std::size_t rowCount() const { return rules_.size(); }
  std::string cellText(std::size_t row, int column) const;
  // 1 for a rejecting rule's image, 0 for the others.
  int image(std::size_t row) const;
  // The choices an in-place edit offers; none for a text cell.
  static std::vector<std::string> choices(int column);
  // An in-place edit; false when the text does not fit the column.
  bool editCell(std::size_t row, int column, const std::string& text);

  // Selecting a rule shows it in the fields.
  void select(std::optional<std::size_t> row);
  std::optional<std::size_t> selected() const { return selected_; }
  std::string findField;
  std::string replaceField;

  bool addEnabled() const { return !findField.empty() && !selected_; }
  bool removeEnabled() const { return selected_.has_value() && rowCount() > 0; }
  bool saveEnabled() const { return rowCount() > 0; }
  bool clearEnabled() const { return rowCount() > 0; }

  // A rule from the fields; refused with a box when an equal one exists.
  bool add();
  bool removeSelected();
  void clearRules();
  // Failures show "Failed to Load Settings" / "Failed to Save Settings".
  bool load(const std::filesystem::path& file);
  bool save(const std::filesystem::path& file) const;

 private:
  RulePtr ruleAt(std::size_t row) const;
  RuleBase& rules_;
  std::optional<std::size_t> selected_;
};

}  // namespace talmoor::verify

#pragma once
// The "Naming Rules" window without its widgets: the rule list and the name
// list of the selected rule as rows and cells, the edits the cells allow, and
// loading and saving both lists. It edits a copy; apply() hands the copy to
// the workspace's rule list, which naming runs pick up from their next run.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/naming_rules.h"

namespace talmoor::browse {

// The rule list's columns as the window titles them. "Action" shows the
// comparison ("<Default>") and "Icon" the action's name, as they always have.
enum class RuleColumn { Level, Recurse, Comparison, Action, Icon };
enum class NameColumn { Icon, Name, Comment };

struct ColumnHeading {
  std::string_view title;
  int width;  // pixels
};
const std::vector<ColumnHeading>& ruleColumns();
const std::vector<ColumnHeading>& nameColumns();

class NamingRulesModel {
 public:
  explicit NamingRulesModel(NamingRuleStore& store);

  std::size_t ruleCount() const { return rules_.size(); }
  std::string ruleCell(std::size_t row, RuleColumn column) const;
  const NamingRule& rule(std::size_t row) const { return rules_.at(row); }
  // The choices of the "Icon" cell's drop-down, in order.
  static std::vector<std::string> actionChoices();

  void setLevel(std::size_t row, std::int32_t level);
  void setRecurse(std::size_t row, bool recurse);
  void setComparison(std::size_t row, bool comparison);
  // A choice of actionChoices(); "None" clears the action.
  void setAction(std::size_t row, std::string_view choice);

  // The rule whose names the name list shows; none at first and after its
  // rule is removed.
  void selectRule(std::optional<std::size_t> row);
  std::optional<std::size_t> selectedRule() const { return selected_; }
  std::size_t nameCount() const;
  std::string nameCell(std::size_t row, NameColumn column) const;
  void setNameIcon(std::size_t row, Overlay icon);
  void setNameText(std::size_t row, NameColumn column, std::string text);

  // "&Add" is enabled while the new row's text is not empty.
  static bool canAdd(std::string_view text) { return !text.empty(); }
  // A rule (level 0, no action) whose first name is the text.
  void addRule(std::string_view text);
  void removeRule(std::size_t row);
  void clearRules();
  // A name for the selected rule; false when no rule is selected.
  bool addName(std::string_view text);
  void removeName(std::size_t row);

  // A whole list read elsewhere (a file) in place of the current one; names
  // only when a rule is selected.
  void setRules(std::vector<NamingRule> rules);
  bool setNames(std::vector<NameEntry> names);

  // Whole files or nothing; `problem` says why not.
  bool loadRules(const std::filesystem::path& file, std::string& problem);
  bool saveRules(const std::filesystem::path& file, std::string& problem) const;
  bool loadNames(const std::filesystem::path& file, std::string& problem);
  bool saveNames(const std::filesystem::path& file, std::string& problem) const;

  void apply();

 private:
  NamingRule* selected();
  const NamingRule* selected() const;

  NamingRuleStore& store_;
  std::vector<NamingRule> rules_;
  std::optional<std::size_t> selected_;
};

}  // namespace talmoor::browse

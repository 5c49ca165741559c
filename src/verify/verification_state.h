#pragma once
// What a Verify run remembers from one reference to the next: the question's
// remembered answer, the rule the current reference came under, and what the
// user proposed. A search context of a Verify run owns one for the whole run.

#include <optional>
#include <string>

#include "search/search_options.h"
#include "verify/rules.h"

namespace talmoor::verify {

struct VerificationState {
  bool anyMissing = false;  // some reference of the item names no file
  bool shortName = false;   // the missing reference was written unquoted and without blanks
  bool remember = true;     // "for above file reference"
  // Remembers a Reject or Cancel given "for this type of query" for the rest of the run.
  search::ConfirmationSlot dialogSlot{0, search::ConfirmationAnswer::Accept};
  std::string itemName;
  std::string dataText;
  bool newRule = false;  // the current rule was made for this reference
  RulePtr currentRule;
  std::optional<std::string> proposal;
  std::string reference;
  RuleBase* rules = &ruleBase();  // not owned: the workspace's, or a test's
};

}  // namespace talmoor::verify

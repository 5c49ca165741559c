#pragma once
// Verification of file references: the Verify mode's action, which finds the
// references in names and string data, asks about each one that names no
// file (with other copies of it suggested as they are found), remembers the
// answers as rules, and hands the repaired text to the write gate.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "base/interaction.h"
#include "base/masks/mask_engine.h"
#include "search/search_context.h"
#include "verify/file_references.h"
#include "verify/rules.h"
#include "verify/verification_state.h"

namespace talmoor::verify {

// Makes Verify mode use this action (the fronts call it once at start). The
// action keeps its state in the search context, made on the first item.
void installVerification();

// The action for one item; true when it holds a reference that names no file.
bool verifyAction(const search::SearchItem& item, search::SearchContext& context, VerificationState& state,
                  const FileSystemView& files);

// Runs the file-path mask over `text` (with its terminator) and repairs the
// missing references; the rewritten text when anything changed.
std::optional<std::string> repairReferences(std::string_view text, search::SearchContext& context,
                                            VerificationState& state, const FileSystemView& files);

// Whether the rule covers the reference; may ask the pattern question and
// change the rule.
bool ruleApplies(Rule& rule, std::string_view reference, WindowRef owner);
// What the rule proposes for the reference (nothing for a partial rule, after its box).
std::optional<std::string> proposalOf(const Rule& rule, std::string_view reference);
// The folder prefixes of a path, each ending in "\".
std::vector<std::string> folderPrefixes(std::string_view path);

// Other places where the missing file is: the same path on the other drives,
// then files of the same name anywhere on the drives (the reference's own
// first). Stops when the feed's stop flag is set.
void findAlternateLocations(const std::string& reference, SuggestionFeed& feed, const FileSystemView& files);

}  // namespace talmoor::verify

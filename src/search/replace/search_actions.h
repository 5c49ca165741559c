#pragma once
// The search side of the write gate: the matcher of Find and Modify, the
// Modify replacement, the mask action, and the handler the search walk calls
// for every item, which writes the change and records the result row.

#include "search/search_context.h"

namespace talmoor::search {

// Where verification and other jobs install their own action for an item
// whose change record has been set up.
bool searchMatcher(const SearchItem& item, SearchContext& context);
bool modifyAction(const SearchItem& item, SearchContext& context);
bool maskAction(const SearchItem& item, SearchContext& context);
// Verify's matcher until the file-reference checks install their action:
// string data in which the file-path mask finds a reference.
bool fileReferenceMatcher(const SearchItem& item, SearchContext& context);
int foundItemHandler(const SearchItem& item, SearchContext& context);

// Verify mode's action comes from the file-reference checks, which install
// a factory for it; without one, Verify only walks.
using VerificationActionFactory = std::function<SearchAction(SearchContext& context)>;
void setVerificationActionFactory(VerificationActionFactory factory);
const VerificationActionFactory& verificationActionFactory();

// The mask search of a mask find text over one source: the source as the
// engine wants it (terminated). What is wrong with the mask is told to the
// user once per search (the context remembers what was told).
bool maskFinds(std::string_view source, std::string_view mask, SearchContext& context);

}  // namespace talmoor::search

#pragma once
// The registry walk of Find, Modify and Verify (and of export jobs): every
// key and value under a start point is handed to the context's found-item
// handler, with the pause point before each key's values and subkeys.

#include <optional>
#include <string>

#include "search/search_context.h"

namespace talmoor::search {

// Walks from `start` (a path text; none or empty: the top of the registry).
void walkRegistry(SearchContext& context, const std::optional<std::string>& start);

}  // namespace talmoor::search

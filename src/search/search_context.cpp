#include "search/search_context.h"

#include "search/replace/search_actions.h"
#include "verify/verification_state.h"

namespace talmoor::search {

SearchContext::SearchContext(JobKind jobKind) : kind(jobKind) {
  SearchOptions options = currentSearchOptions();
  criteria.searchFlags = options.searchFlags;
  criteria.typeMask = options.typeMask;
  criteria.alwaysMatchOnName = options.alwaysMatchOnName;
  recordResults = jobKind == JobKind::Search ? 1 : 0;
  matcher = searchMatcher;
  action = modifyAction;
  foundItem = foundItemHandler;
}

SearchContext::~SearchContext() = default;

}  // namespace talmoor::search

#include "search/search_options.h"

#include <mutex>

#include "base/workspace.h"
#include "registry/access/registry_access.h"
#include "registry/integrity_check.h"

namespace talmoor::search {

namespace {

// The options of one workspace. Jobs copy them when they start; the write
// check reads and changes the confirmations switch from the job's thread.
struct StoredOptions {
  std::mutex mutex;
  SearchOptions options;
};

StoredOptions& stored() { return Workspace::current().service<StoredOptions>(); }

}  // namespace

SearchOptions currentSearchOptions() {
  StoredOptions& state = stored();
  std::lock_guard lock(state.mutex);
  return state.options;
}

void storeSearchOptions(const SearchOptions& updated) {
  StoredOptions& state = stored();
  std::lock_guard lock(state.mutex);
  state.options = updated;
  registry::accessOptions().intelligentConversion = updated.intelligentConversion != 0;
  registry::setIntegrityCheckEnabled(updated.tamperCheck != 0);
}

void setConfirmationsOff(bool off) {
  StoredOptions& state = stored();
  std::lock_guard lock(state.mutex);
  state.options.confirmationsOff = off ? 1 : 0;
}

void resetSearchOptions() { storeSearchOptions(SearchOptions{}); }

}  // namespace talmoor::search

#include "search/search_options.h"

#include "registry/access/registry_access.h"
#include "registry/integrity_check.h"

namespace talmoor::search {

namespace {

std::mutex& optionsMutex() {
  static std::mutex mutex;
  return mutex;
}

SearchOptions& options() {
  static SearchOptions current;
  return current;
}

}  // namespace

SearchOptions currentSearchOptions() {
  std::lock_guard lock(optionsMutex());
  return options();
}

void storeSearchOptions(const SearchOptions& updated) {
  std::lock_guard lock(optionsMutex());
  options() = updated;
  registry::accessOptions().intelligentConversion = updated.intelligentConversion != 0;
  registry::setIntegrityCheckEnabled(updated.tamperCheck != 0);
}

void setConfirmationsOff(bool off) {
  std::lock_guard lock(optionsMutex());
  options().confirmationsOff = off ? 1 : 0;
}

void resetSearchOptions() { storeSearchOptions(SearchOptions{}); }

}  // namespace talmoor::search

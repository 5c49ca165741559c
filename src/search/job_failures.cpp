#include "search/job_failures.h"

#include <new>

#include "base/error_reporting.h"
#include "platform/win32_errors.h"
#include "search/search_stack.h"

namespace talmoor::search {

namespace {

// Reported as the list's operation would be, with the code that says what
// went wrong in words the error box knows.
void reportStackFailure(const searchstack::Failure& failure, WindowRef owner) {
  const bool popped = failure.code == searchstack::Failure::kPopEmpty;
  reportError(defaultErrorHandler, popped ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_PARAMETER, "", "",
              popped ? "SearchStack::Pop()" : "SearchStack::InsertSorted()", nullptr, kVerbosityBox, owner);
}

}  // namespace

bool runContained(const std::function<void()>& work, WindowRef owner) {
  try {
    work();
    return true;
  } catch (const searchstack::Failure& failure) {
    reportStackFailure(failure, owner);
    return false;
  } catch (const std::bad_alloc&) {
    fatalOutOfMemory(owner);
  }
}

}  // namespace talmoor::search

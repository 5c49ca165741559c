#pragma once
// What the verbs share: the failure line, the confirmation gate, and the
// path text of a key argument.

#include <string>
#include <string_view>

#include "base/error_reporting.h"
#include "registry/access/registry_access.h"
#include "search/replace/change_class.h"

namespace talmoor::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

// Prints the first failure as "talmoor-cli: <key>: <operation>: <system text>"
// on stderr and stops the operation.
class FailureReporter {
 public:
  ErrorHandler handler();
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

int reportProblem(std::string_view what, std::string_view problem);

// The write gate for talmoor-cli's own writes, described in `change`: it
// confirms (through the Interaction) overwriting and deleting, as reg does,
// and nothing when forced. The change record must outlive the gate.
registry::WriteCheck confirmingGate(search::ChangeClass& change, bool force);

}  // namespace talmoor::cli

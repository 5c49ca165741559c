#pragma once
// What the verbs share: the failure line, the confirmation gate, and the
// path text of a key argument.

#include <string>
#include <string_view>

#include "app/error_reporting.h"
#include "registry/access/registry_access.h"

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

// The gate for talmoor-cli's own writes: asks (through the Interaction)
// before overwriting or deleting, unless forced.
registry::WriteCheck confirmingGate(bool force);

}  // namespace talmoor::cli

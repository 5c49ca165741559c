#pragma once
// What the verbs share: the failure line, the confirmation gate, and the
// path text of a key argument.

#include <string>
#include <string_view>

#include "base/error_reporting.h"
#include "registry/access/registry_access.h"
#include "search/replace/change_class.h"

namespace talmoor::platform {
class RegistryProfile;
}

namespace talmoor::cli {

// Exit status, as GNU programs have it.
inline constexpr int kExitSuccess = 0;  // the work was done
inline constexpr int kExitFailure = 1;  // it failed, or was not done
inline constexpr int kExitUsage = 2;    // the command line could not be understood

// Prints the first failure as "talmoor-cli: <key>: <operation>: <system text>"
// on stderr and stops the operation. A key or value that is not there, the
// commonest failure, is said so first: "registry key not found: <key>".
class FailureReporter {
 public:
  ErrorHandler handler();
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

int reportProblem(std::string_view what, std::string_view problem);

// Whether a question would be answered No only because nobody can be asked
// (no terminal, and neither --yes nor --no).
bool nobodyToAsk();

// On a terminal, says on stderr which registry is open ("Wine prefix
// ~/.wine", "offline Windows /mnt/win", "new empty store ... created"); and,
// wherever stderr goes, the warnings of opening it.
void tellWhichRegistry(const platform::RegistryProfile& profile);

// The write gate for talmoor-cli's own writes, described in `change`: it
// confirms (through the Interaction) overwriting and deleting, as reg does,
// and nothing when forced. The change record must outlive the gate.
registry::WriteCheck confirmingGate(search::ChangeClass& change, bool force);
// The confirmations of that gate, set in a change record whose writer makes
// its own gate: overwriting asks unless forced; deleting asks too unless
// `deletesAsked` says the user has already agreed to it (a move).
void confirmAsRegDoes(search::ChangeClass& change, bool force, bool deletesAsked = false);

}  // namespace talmoor::cli

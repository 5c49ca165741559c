#pragma once
// What became of the change a result row stands for. The row's status mark
// is the image the window shows (done, not done, binary in a string); the
// outcome says why, so that a report never shows a change that was refused
// or failed as if it had been written.

#include <string_view>

#include "registry/access/write_check.h"

namespace talmoor::search {

enum class RowOutcome {
  Found,           // only found: nothing was to be written
  Written,         // written (or, for a deletion, deleted)
  AlreadySo,       // the registry held what would have been written
  Rejected,        // the confirmation (or the gate) refused it
  Cancelled,       // the user cancelled the run at it
  Failed,          // the write was let through and failed
  BinaryInString,  // not written: binary data is stored in a string type
  KeyNotRenamed,   // a key name that matched: key names are only proposed
};

// The words the command line shows for it ("" for Found).
std::string_view outcomeText(RowOutcome outcome);
// Whether the outcome stands for a change that was to be written.
bool wasProposed(RowOutcome outcome);

// What the gate answered, noted by a gate put around another.
struct GateRecord {
  bool asked = false;
  registry::WriteVerdict verdict = registry::WriteVerdict::Proceed;
};
registry::WriteCheck recordingGate(registry::WriteCheck gate, GateRecord& record);

// The outcome of a write or deletion from whether it was done, what the gate
// answered and whether the run was cancelled at it.
RowOutcome outcomeOf(bool done, const GateRecord& gate, bool cancelled);

}  // namespace talmoor::search

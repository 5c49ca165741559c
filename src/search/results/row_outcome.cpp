#include "search/results/row_outcome.h"

namespace talmoor::search {

std::string_view outcomeText(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::Found: return "";
    case RowOutcome::Written: return "done";
    case RowOutcome::AlreadySo: return "already so";
    case RowOutcome::Rejected: return "rejected";
    case RowOutcome::Cancelled: return "cancelled";
    case RowOutcome::Failed: return "not done";
    case RowOutcome::BinaryInString: return "binary data in a string type";
    case RowOutcome::KeyNotRenamed: return "key not renamed";
  }
  return "";
}

bool wasProposed(RowOutcome outcome) {
  return outcome != RowOutcome::Found && outcome != RowOutcome::KeyNotRenamed;
}

registry::WriteCheck recordingGate(registry::WriteCheck gate, GateRecord& record) {
  return [gate = std::move(gate), &record](registry::WriteRequest& request) {
    record.asked = true;
    record.verdict = gate ? gate(request) : registry::WriteVerdict::Proceed;
    return record.verdict;
  };
}

RowOutcome outcomeOf(bool done, const GateRecord& gate, bool cancelled) {
  if (gate.asked && gate.verdict == registry::WriteVerdict::SkipSucceeded) return RowOutcome::AlreadySo;
  if (gate.asked && gate.verdict == registry::WriteVerdict::SkipFailed)
    return cancelled ? RowOutcome::Cancelled : RowOutcome::Rejected;
  return done ? RowOutcome::Written : RowOutcome::Failed;
}

}  // namespace talmoor::search

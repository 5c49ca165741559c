#pragma once
// The change record: what stood in the registry, what is to stand there, the
// kind of item and the operation it amounts to, and the confirmation answers
// remembered for this writer. Every write of the registry is described in one.

#include <string>

#include "registry/access/write_check.h"
#include "registry/registry_entry.h"
#include "search/search_options.h"

namespace talmoor::search {

struct ChangeClass {
  // A record with no operation yet, copying the confirmation template.
  ChangeClass();

  int kind = kChangeValue;
  DWORD operation = kOpDefault;
  bool abort = false;
  registry::RegistryBuffer original;
  registry::RegistryBuffer modified;
  std::string caption;
  ConfirmationTable confirmations{};

  // Both entries cleared, for the next item of a batch.
  void resetEntries();
  bool has(DWORD bits) const { return (operation & bits) == bits; }
};

// The full path of an entry's key, when it has one.
bool hasFullPath(const registry::RegistryEntry& entry);

// The access layer's gate for writes described by `change`; the change
// record must outlive the returned function.
registry::WriteCheck writeGate(ChangeClass& change, WindowRef owner = 0);

// The gate itself: whether to write (or to skip because the item already
// holds what would be written). Without a change record the write is refused
// with a box.
registry::WriteVerdict writeCheck(registry::WriteRequest& request, ChangeClass* change, WindowRef owner = 0);

// Completes the record and derives the operation; false refuses the change.
bool prepareChange(ChangeClass& change, bool isKey, int action, std::string& name, std::string& path,
                   const std::vector<BYTE>* data);

// Shows the confirmation for a slot unless it is suppressed; an answer with
// the do-not-show flag suppresses the slot from then on.
void showConfirmation(ConfirmationSlot& slot, WindowRef owner, ChangeClass& change);

// The caption word of an operation: "Rename", "Move", ... or "".
std::string operationWord(DWORD operation);

}  // namespace talmoor::search

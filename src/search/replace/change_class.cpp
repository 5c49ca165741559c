#include "search/replace/change_class.h"

namespace talmoor::search {

ChangeClass::ChangeClass() : confirmations(currentSearchOptions().confirmationTemplate) {}

void ChangeClass::resetEntries() {
  original.reset();
  modified.reset();
}

bool hasFullPath(const registry::RegistryEntry& entry) { return entry.root() != 0; }

std::string operationWord(DWORD operation) {
  auto all = [&](DWORD bits) { return (operation & bits) == bits; };
  if (all(kOpRename)) return "Rename";
  if (all(kOpMove)) return "Move";
  if (all(kOpCopy)) return "Copy";
  if (operation & kOpDelete) return "Delete";
  if (all(kOpOverwrite)) return "Overwrite";
  if (operation & kOpCreate) return "Create";
  return {};
}

}  // namespace talmoor::search

#pragma once
// The process's registry handles: 32-bit values, each recording its machine,
// its key and the access it was granted.

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/registry/key_tree.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

class MachineRegistry;

struct HandleEntry {
  std::shared_ptr<MachineRegistry> machine;
  std::shared_ptr<KeyNode> key;
  REGSAM access = 0;
};

class HandleTable {
 public:
  HKEY insert(HandleEntry entry);
  bool remove(HKEY handle);
  // Removes the handle and gives back what it recorded.
  std::optional<HandleEntry> take(HKEY handle);
  std::optional<HandleEntry> find(HKEY handle) const;
  // True when an open handle names a key of `hive`.
  bool anyInHive(const Hive& hive) const;
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<HKEY, HandleEntry> entries_;
  HKEY next_ = 0x100;
};

}  // namespace talmoor::platform

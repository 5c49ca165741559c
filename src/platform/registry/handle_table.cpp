#include "platform/registry/handle_table.h"

#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"

namespace talmoor::platform {

namespace {
// Handles are multiples of four below the predefined roots, as on Windows.
constexpr HKEY kFirstHandle = 0x100;
constexpr HKEY kHandleStep = 4;
}  // namespace

HKEY HandleTable::insert(HandleEntry entry) {
  std::lock_guard lock(mutex_);
  for (;;) {
    HKEY candidate = next_;
    next_ += kHandleStep;
    if (next_ >= HKEY_CLASSES_ROOT) next_ = kFirstHandle;
    if (entries_.find(candidate) == entries_.end()) {
      entries_.emplace(candidate, std::move(entry));
      return candidate;
    }
  }
}

bool HandleTable::remove(HKEY handle) {
  std::lock_guard lock(mutex_);
  return entries_.erase(handle) > 0;
}

std::optional<HandleEntry> HandleTable::take(HKEY handle) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(handle);
  if (it == entries_.end()) return std::nullopt;
  HandleEntry entry = std::move(it->second);
  entries_.erase(it);
  return entry;
}

std::optional<HandleEntry> HandleTable::find(HKEY handle) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(handle);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

bool HandleTable::anyInHive(const Hive& hive) const {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, entry] : entries_) {
    auto keyHive = entry.key->hive();
    if (keyHive.get() == &hive && !entry.key->deleted) return true;
  }
  return false;
}

std::size_t HandleTable::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace talmoor::platform

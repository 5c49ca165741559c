#pragma once
// Times as the registry keeps them (FILETIME: 100 ns steps since 1601) shown
// as people read them.

#include <cstdint>
#include <string>

#include "platform/win32_types.h"

namespace talmoor::registry {

// "2026-12-07T14:00:00Z" (UTC, ISO 8601); empty for a time before 1970.
std::string filetimeText(std::uint64_t filetime);
std::string filetimeText(const FILETIME& filetime);

}  // namespace talmoor::registry

#pragma once
// Following a value to the key it names: a key named by the value's name
// ("Enum", "ProgID", ...), a device or service the data names, a native or
// relative path in the data, or a GUID found in one of the GUID locations.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::browse {

// The full path of the first existing key the value leads to; none when it
// leads nowhere. Reads the registry (to check each candidate).
std::optional<std::string> gotoTarget(std::string_view valueName, DWORD type, std::span<const BYTE> data);

}  // namespace talmoor::browse

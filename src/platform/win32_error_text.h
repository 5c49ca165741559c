#pragma once
// The system's message texts for Win32 error codes, in Windows' wording.

#include <optional>
#include <string>

#include "platform/win32_types.h"

namespace talmoor::platform {

// The text for a code, or nothing when the system has none for it.
std::optional<std::string> systemErrorText(LONG code);

}  // namespace talmoor::platform

#pragma once
// Why a script file could not be opened, read or written, in the terms the
// rest of the program speaks: a Win32 code and the system's text for it.

#include <filesystem>
#include <string>

#include "platform/win32_types.h"

namespace talmoor::scripts {

struct FileFailure {
  LONG code = 0;
  std::string reason;
};

// From an errno value; `fallback` stands in when errno says nothing (0) or
// names a cause Windows has no code for, and the host's own text is used.
// With the file named, a missing folder on its way is told from a missing
// file, as Windows tells them apart.
FileFailure fileFailureFromErrno(int err, LONG fallback, const std::filesystem::path& file = {});

}  // namespace talmoor::scripts

#pragma once
// Why a script file could not be opened, read or written, in the terms the
// rest of the program speaks: a Win32 code and the system's text for it.

#include "platform/files/file_io.h"

namespace talmoor::scripts {

using FileFailure = platform::FileError;

}  // namespace talmoor::scripts

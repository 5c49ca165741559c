#pragma once
// A failing platform call returns a Win32 code; where the code alone would not
// tell the user why (which file, which line, which running program), the call
// leaves a detail text for the calling thread to pick up.

#include <string>

namespace talmoor::platform {

void setErrorDetail(std::string detail);
// Returns the detail left by the last failing call on this thread and clears it.
std::string takeErrorDetail();
void clearErrorDetail();

// Maps a host errno value to the Win32 code Windows gives for the same cause.
long win32ErrorFromErrno(int err);

}  // namespace talmoor::platform

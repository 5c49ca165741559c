#pragma once
// The calling thread's last-error value, as GetLastError and SetLastError keep it.

#include "platform/win32_types.h"

DWORD GetLastError();
void SetLastError(DWORD code);

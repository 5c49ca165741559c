#pragma once
// The Windows base types that the layers above the platform speak in.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using REGSAM = DWORD;
using NTSTATUS = std::int32_t;
using WCHAR = char16_t;
using SECURITY_INFORMATION = DWORD;

// Windows and message parameters. A window is a number the message layer
// hands out; 0 is no window.
using HWND = std::uintptr_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// Registry handles are 32-bit values, as on 32-bit Windows.
using HKEY = std::uint32_t;
using PHKEY = HKEY*;

struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

inline constexpr std::uint64_t filetimeToU64(FILETIME ft) {
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}
inline constexpr FILETIME u64ToFiletime(std::uint64_t v) {
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

struct SECURITY_ATTRIBUTES {
  DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
  const void* lpSecurityDescriptor = nullptr;  // self-relative descriptor
  BOOL bInheritHandle = 0;
};

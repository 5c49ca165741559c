#pragma once
// A key's values and subkey names in one call, converted as the ANSI calls
// convert them: a walk that reads every value and subkey of each key it
// passes pays for one handle lookup and one lock per key instead of one per
// item, and for no copy of data that needs no conversion.

#include <span>
#include <string_view>

#include "platform/win32_types.h"

// Given each value (in RegEnumValueA's index order), then each subkey's name
// (RegEnumKeyExA's order). The views are good only until the call returns;
// the visitor runs under the registry's lock and must not call the registry.
class KeyContentsVisitorA {
 public:
  virtual ~KeyContentsVisitorA() = default;
  virtual void value(std::string_view name, DWORD type, std::span<const BYTE> data) = 0;
  virtual void subkey(std::string_view name) = 0;
};

// ERROR_NOT_SUPPORTED when a registry filter is installed (the values it
// shows can only be had one at a time), ERROR_ACCESS_DENIED when the handle
// lacks KEY_QUERY_VALUE or KEY_ENUMERATE_SUB_KEYS; otherwise as RegEnumValueA.
LONG RegReadKeyContentsA(HKEY hKey, KeyContentsVisitorA& visitor);

#pragma once
// Reading the registry the platform itself consults (the environment, the
// user's languages) through the Win32 calls of the calling thread's
// registry: a key opened for reading, and one value's type and bytes.

#include <optional>
#include <string>
#include <vector>

#include "platform/registry/scoped_key.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

// `path` below `root` opened for reading, or an empty key.
ScopedKey openForReading(HKEY root, const char* path);

struct ValueBytes {
  DWORD type = 0;
  std::vector<BYTE> data;  // as the ANSI calls deliver it
};
// The value `name` of an open key, whatever its size; nothing when it is
// missing or cannot be read.
std::optional<ValueBytes> queryValueBytes(HKEY key, const std::string& name);

// The strings of a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value (one for
// the first two), each ending at its terminator, up to the list's empty
// string; nothing for a missing value or another type.
std::optional<std::vector<std::string>> queryStrings(HKEY key, const std::string& name);

// A REG_DWORD value.
std::optional<DWORD> queryDword(HKEY key, const std::string& name);

}  // namespace talmoor::platform

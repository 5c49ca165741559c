#pragma once
// A key named on the command line: "HKLM\Software\Wine",
// "HKEY_CURRENT_USER\Control Panel", "\\machine\HKLM\...".

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::cli {

struct KeyArgument {
  std::string machine;  // empty for the local machine
  HKEY root = 0;
  std::string rootName;  // the long form, "HKEY_LOCAL_MACHINE"
  std::string subkey;    // without leading or trailing backslashes
  // The path as the reg command shows it: long root name, then the subkey.
  std::string display() const;
};

std::optional<KeyArgument> parseKeyArgument(std::string_view text);

}  // namespace talmoor::cli

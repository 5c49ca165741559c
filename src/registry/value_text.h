#pragma once
// Value types and data as the reg command shows and takes them: the value
// semantics the command line, the value list and the data editors share.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::registry {

// "REG_SZ" and so on; a type without a name shows as its number in hex.
std::string regTypeName(DWORD type);
// Any case, with or without the "REG_" prefix.
std::optional<DWORD> typeFromName(std::string_view name);

// Data as `query` prints it; `data` is what RegQueryValueExA delivered.
std::string regFormatData(DWORD type, const std::vector<BYTE>& data);

// Data typed on the command line, in the form RegSetValueExA takes. Nothing
// when the text does not fit the type; `problem` then says why.
std::optional<std::vector<BYTE>> parseData(DWORD type, std::string_view text, std::string& problem);

}  // namespace talmoor::registry

#pragma once
// Software that hooks the documented registry calls can hide values or change
// what they deliver. The registry service passes every value that a documented
// call delivers through the installed filters; the native read goes around
// them. In normal use no filter is installed.

#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

class RegistryFilter {
 public:
  virtual ~RegistryFilter() = default;
  // Called with the native path of the key, the value's name and a copy of
  // its type and data, which the filter may change. Returning false hides
  // the value from the documented calls.
  virtual bool filterValue(std::u16string_view keyPath, std::u16string_view valueName, DWORD& type,
                           std::vector<BYTE>& data) = 0;
};

}  // namespace talmoor::platform

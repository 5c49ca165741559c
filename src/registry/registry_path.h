#pragma once
// Registry path texts: [\\machine\]root[\key...]. The value travels beside
// the path, never in it.

#include <optional>
#include <string>
#include <string_view>

namespace talmoor::registry {

struct MachineSplit {
  std::string machine;  // the name alone, without backslashes
  std::string rest;     // the text after the backslash that ends the name
};

// "\\SERVER\HKLM\Software" gives SERVER and "HKLM\Software"; texts that do
// not begin with two backslashes and a name have no machine.
std::optional<MachineSplit> splitMachine(std::string_view text);

// The text after the last backslash (the whole text when there is none).
std::string_view lastComponent(std::string_view text);
// The text before the last backslash (empty when there is none).
std::string_view withoutLastComponent(std::string_view text);

// "\REGISTRY\MACHINE\..." for a path under the roots that have a fixed
// place in the native namespace; for the others the box "Cannot Convert none
// static mapped root Key to a System Key" is shown and nothing is returned.
std::optional<std::string> nativePath(std::string_view pathText);

}  // namespace talmoor::registry

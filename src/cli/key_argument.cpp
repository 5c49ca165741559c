#include "cli/key_argument.h"

#include <string>

#include "platform/text/code_page.h"
#include "registry/root_keys.h"

namespace talmoor::cli {

namespace {

// The reg command takes the root in its full or short form, in any case.
const registry::RootKeyRow* findRoot(std::string_view text) {
  for (std::size_t i = 1; i < std::size(registry::kRootKeys); ++i) {
    const auto& row = registry::kRootKeys[i];
    if (platform::equalsIgnoringAsciiCase(text, std::string("HKEY_") + row.longName) ||
        platform::equalsIgnoringAsciiCase(text, std::string("HK") + row.shortName))
      return &row;
  }
  return nullptr;
}

}  // namespace

std::string KeyArgument::display() const {
  std::string out;
  if (!machine.empty()) out = "\\\\" + machine + "\\";
  out += rootName;
  if (!subkey.empty()) out += "\\" + subkey;
  return out;
}

std::optional<KeyArgument> parseKeyArgument(std::string_view text) {
  KeyArgument key;
  if (text.substr(0, 2) == "\\\\") {
    text.remove_prefix(2);
    auto cut = text.find('\\');
    if (cut == 0 || cut == std::string_view::npos) return std::nullopt;
    key.machine = std::string(text.substr(0, cut));
    text.remove_prefix(cut + 1);
  }
  auto cut = text.find('\\');
  std::string_view root = text.substr(0, cut);
  std::string_view rest = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
  const registry::RootKeyRow* found = findRoot(root);
  if (!found) return std::nullopt;
  key.root = found->handle;
  key.rootName = std::string("HKEY_") + found->longName;
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (!rest.empty() && rest.front() == '\\') return std::nullopt;
  key.subkey = std::string(rest);
  return key;
}

}  // namespace talmoor::cli

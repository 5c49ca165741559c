#include "cli/key_argument.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/registry/registry_constants.h"

namespace talmoor::cli {

namespace {

struct RootName {
  const char* longName;
  const char* shortName;
  HKEY handle;
};

constexpr std::array<RootName, 5> kRoots = {{
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
}};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
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
  auto found = std::find_if(kRoots.begin(), kRoots.end(), [&](const RootName& r) {
    return equalIgnoringCase(root, r.longName) || equalIgnoringCase(root, r.shortName);
  });
  if (found == kRoots.end()) return std::nullopt;
  key.root = found->handle;
  key.rootName = found->longName;
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (!rest.empty() && rest.front() == '\\') return std::nullopt;
  key.subkey = std::string(rest);
  return key;
}

}  // namespace talmoor::cli

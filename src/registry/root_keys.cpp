#include "registry/root_keys.h"

#include <cstring>

#include <fmt/format.h>

#include "platform/win32_errors.h"

namespace talmoor::registry {

namespace {

bool startsWithName(std::string_view text, std::string_view name) {
  return text.size() >= name.size() && text.substr(0, name.size()) == name &&
         (text.size() == name.size() || text[name.size()] == '\\');
}

}  // namespace

HKEY rootFromText(std::string_view text, bool requirePrefix) {
  // The length test counts the whole text: "HKLM" alone keeps its "HK".
  bool prefixed = false;
  if (text.size() > 5 && text.substr(0, 5) == "HKEY_") {
    text.remove_prefix(5);
    prefixed = true;
  } else if (text.size() > 5 && text.substr(0, 2) == "HK") {
    text.remove_prefix(2);
    prefixed = true;
  }
  if (requirePrefix && !prefixed) return 0;
  for (const auto& row : kRootKeys) {
    if (startsWithName(text, row.longName) || startsWithName(text, row.shortName)) return row.handle;
  }
  return 0;
}

std::optional<std::string> rootName(HKEY handle) {
  if (!isRootHandle(handle)) return std::nullopt;
  for (const auto& row : kRootKeys)
    if (row.handle == handle) return std::string(row.longName);
  return std::nullopt;
}

bool isRootHandle(HKEY handle) {
  for (std::size_t i = 1; i < std::size(kRootKeys); ++i)
    if (kRootKeys[i].handle == handle) return true;
  return false;
}

bool isRootPath(std::string_view text) { return rootFromText(text) != 0; }

std::string fullRootName(HKEY handle) {
  auto name = rootName(handle);
  return name ? "HKEY_" + *name : std::string();
}

LONG enumerateRoots(DWORD index, std::string& name, DWORD bufferSize) {
  if (index + 1 >= std::size(kRootKeys)) return ERROR_NO_MORE_ITEMS;
  std::string full = std::string("HKEY_") + kRootKeys[index + 1].longName;
  if (bufferSize <= full.size() + 1) return ERROR_MORE_DATA;
  name = std::move(full);
  return ERROR_SUCCESS;
}

std::string typeName(int type) {
  for (const auto& row : kValueTypes)
    if (row.type == type) return row.name;
  return fmt::format("<Type {}>", type);
}

}  // namespace talmoor::registry

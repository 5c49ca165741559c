#include "platform/registry/value_reading.h"

#include <algorithm>
#include <cstring>

#include "platform/registry/win32_registry.h"

namespace talmoor::platform {

namespace {
// A value that grows between the size query and the read is asked again, a
// few times: the registry may be changed by another thread meanwhile.
constexpr int kReadAttempts = 8;
}  // namespace

ScopedKey openForReading(HKEY root, const char* path) {
  ScopedKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS) key.release();
  return key;
}

std::optional<ValueBytes> queryValueBytes(HKEY key, const std::string& name) {
  ValueBytes value;
  value.data.resize(256);
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD size = static_cast<DWORD>(value.data.size());
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      value.data.resize(std::max<std::size_t>(size, value.data.size() * 2));
      continue;
    }
    if (rc != ERROR_SUCCESS) return std::nullopt;
    value.data.resize(std::min<std::size_t>(size, value.data.size()));
    return value;
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> queryStrings(HKEY key, const std::string& name) {
  auto value = queryValueBytes(key, name);
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ && value->type != REG_MULTI_SZ))
    return std::nullopt;
  std::vector<std::string> strings;
  std::string_view rest(reinterpret_cast<const char*>(value->data.data()), value->data.size());
  do {
    std::size_t end = std::min(rest.find('\0'), rest.size());
    if (end == 0 && !strings.empty()) break;  // the list ends at its empty string
    strings.emplace_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  } while (value->type == REG_MULTI_SZ && !rest.empty());
  return strings;
}

std::optional<DWORD> queryDword(HKEY key, const std::string& name) {
  auto value = queryValueBytes(key, name);
  if (!value || value->type != REG_DWORD || value->data.size() < sizeof(DWORD)) return std::nullopt;
  DWORD number = 0;
  std::memcpy(&number, value->data.data(), sizeof number);  // little-endian, as the host
  return number;
}

}  // namespace talmoor::platform

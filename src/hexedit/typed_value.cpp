#include "hexedit/typed_value.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::hexedit {

TypedView typedViewFor(DWORD type) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return TypedView::Text;
    case REG_MULTI_SZ: return TypedView::List;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: return TypedView::Number;
    default: return TypedView::HexOnly;
  }
}

std::string stringOf(std::span<const BYTE> data) {
  auto nul = std::find(data.begin(), data.end(), BYTE{0});
  return std::string(data.begin(), nul);
}

std::vector<BYTE> withString(std::span<const BYTE> data, std::string_view text) {
  auto nul = std::find(data.begin(), data.end(), BYTE{0});
  std::vector<BYTE> result(text.begin(), text.end());
  if (nul == data.end()) result.push_back(0);
  else result.insert(result.end(), nul, data.end());
  return result;
}

namespace {

// Where the list ends: the offset after the empty string that closes it, or
// the end of the data when it is not closed.
std::size_t listEnd(std::span<const BYTE> data, std::vector<std::string>* strings) {
  std::size_t at = 0;
  while (at < data.size()) {
    auto start = data.begin() + static_cast<std::ptrdiff_t>(at);
    auto nul = std::find(start, data.end(), BYTE{0});
    if (nul == start) return at + 1;  // the empty string
    if (strings) strings->emplace_back(start, nul);
    at = static_cast<std::size_t>(nul - data.begin()) + (nul == data.end() ? 0 : 1);
  }
  return data.size();
}

}  // namespace

std::vector<std::string> stringsOf(std::span<const BYTE> data) {
  std::vector<std::string> strings;
  listEnd(data, &strings);
  return strings;
}

std::vector<BYTE> withStrings(std::span<const BYTE> data, const std::vector<std::string>& strings) {
  std::vector<BYTE> result;
  for (const auto& string : strings) {
    if (string.empty()) continue;
    result.insert(result.end(), string.begin(), string.end());
    result.push_back(0);
  }
  result.push_back(0);
  std::size_t end = listEnd(data, nullptr);
  result.insert(result.end(), data.begin() + static_cast<std::ptrdiff_t>(end), data.end());
  return result;
}

bool textRoundTrips(std::string_view text) { return platform::isValidAnsi(text); }

std::size_t numberWidth(DWORD type) {
  switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: return 4;
    case REG_QWORD: return 8;
    default: return 0;
  }
}

std::optional<std::uint64_t> numberOf(DWORD type, std::span<const BYTE> data) {
  const std::size_t width = numberWidth(type);
  if (width == 0 || data.size() < width) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::size_t at = type == REG_DWORD_BIG_ENDIAN ? i : width - 1 - i;
    value = (value << 8) | data[at];
  }
  return value;
}

std::vector<BYTE> withNumber(DWORD type, std::span<const BYTE> data, std::uint64_t value) {
  const std::size_t width = numberWidth(type);
  std::vector<BYTE> result(data.begin(), data.end());
  if (width == 0) return result;
  if (result.size() < width) result.assign(width, 0);
  for (std::size_t i = 0; i < width; ++i) {
    const std::size_t at = type == REG_DWORD_BIG_ENDIAN ? width - 1 - i : i;
    result[at] = static_cast<BYTE>(value >> (8 * i));
  }
  return result;
}

std::optional<std::uint64_t> parseNumber(std::string_view text, bool hexadecimal, DWORD type) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (hexadecimal && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, hexadecimal ? 16 : 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (numberWidth(type) == 4 && value > 0xFFFFFFFFull) return std::nullopt;
  return value;
}

std::string formatNumber(std::uint64_t value, bool hexadecimal, DWORD type) {
  char text[32];
  if (!hexadecimal) std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  else if (numberWidth(type) == 8) std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  else std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace talmoor::hexedit

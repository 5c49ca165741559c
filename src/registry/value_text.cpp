#include "registry/value_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

#include <fmt/format.h>

#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::registry {

namespace {

constexpr std::array<std::pair<DWORD, const char*>, 12> kTypeNames = {{
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR"},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, "REG_QWORD"},
}};

std::string upperHex(const std::vector<BYTE>& data) {
  std::string out;
  out.reserve(data.size() * 2);
  for (BYTE b : data) out += fmt::format("{:02X}", b);
  return out;
}

std::uint64_t littleEndian(const std::vector<BYTE>& data, std::size_t bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < bytes && i < data.size(); ++i) v |= std::uint64_t{data[i]} << (8 * i);
  return v;
}

// The text up to the first terminator.
std::string firstString(const std::vector<BYTE>& data) {
  auto end = std::find(data.begin(), data.end(), BYTE{0});
  return std::string(data.begin(), end);
}

// A decimal or 0x-prefixed number up to `limit`; `outOfRange` tells a number
// too large from text that is no number.
std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t limit, bool& outOfRange) {
  outOfRange = false;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (text.empty() || ptr != text.data() + text.size()) return std::nullopt;
  outOfRange = ec == std::errc::result_out_of_range || (ec == std::errc() && v > limit);
  if (ec != std::errc() || outOfRange) return std::nullopt;
  return v;
}

}  // namespace

std::string regTypeName(DWORD type) {
  for (const auto& [value, name] : kTypeNames)
    if (value == type) return name;
  return fmt::format("0x{:X}", type);
}

std::optional<DWORD> typeFromName(std::string_view name) {
  auto sameLetters = [](std::string_view given, std::string_view typeText) {
    return given.size() == typeText.size() &&
           std::equal(given.begin(), given.end(), typeText.begin(),
                      [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
  };
  constexpr std::string_view kPrefix = "REG_";
  for (const auto& [value, typeText] : kTypeNames) {
    // "REG_DWORD", "reg_dword" and the short "dword" all name it.
    const std::string_view full(typeText);
    if (sameLetters(name, full) || sameLetters(name, full.substr(kPrefix.size()))) return value;
  }
  return std::nullopt;
}

std::string regFormatData(DWORD type, const std::vector<BYTE>& data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return firstString(data);
    case REG_LINK: {
      // Stored as UTF-16 and not converted by the ANSI calls.
      return platform::wideToAnsi(platform::utf16FromBytes(data));
    }
    case REG_MULTI_SZ: {
      // Strings joined by a visible "\0", as reg shows them.
      std::string out;
      std::size_t pos = 0;
      while (pos < data.size() && data[pos] != 0) {
        auto end = std::find(data.begin() + static_cast<std::ptrdiff_t>(pos), data.end(), BYTE{0});
        if (!out.empty()) out += "\\0";
        out.append(data.begin() + static_cast<std::ptrdiff_t>(pos), end);
        pos = static_cast<std::size_t>(end - data.begin()) + 1;
      }
      return out;
    }
    case REG_DWORD:
      if (data.size() == 4) return fmt::format("0x{:x}", littleEndian(data, 4));
      break;
    case REG_DWORD_BIG_ENDIAN:
      if (data.size() == 4)
        return fmt::format("0x{:x}", std::uint32_t(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3]);
      break;
    case REG_QWORD:
      if (data.size() == 8) return fmt::format("0x{:x}", littleEndian(data, 8));
      break;
    default: break;
  }
  return upperHex(data);
}

std::optional<std::vector<BYTE>> parseData(DWORD type, std::string_view text, std::string& problem) {
  std::vector<BYTE> data;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data.assign(text.begin(), text.end());
      data.push_back(0);
      return data;
    case REG_MULTI_SZ: {
      // "\0" separates the strings, as reg takes them. An empty string
      // inside would end the list there when it is read, hiding the rest, so
      // it is refused as reg refuses it.
      std::string_view rest = text;
      while (!rest.empty()) {
        auto cut = rest.find("\\0");
        auto piece = rest.substr(0, cut);
        if (piece.empty()) {
          problem = fmt::format("\"{}\" holds an empty string, which would end the REG_MULTI_SZ list there", text);
          return std::nullopt;
        }
        data.insert(data.end(), piece.begin(), piece.end());
        data.push_back(0);
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 2);
      }
      data.push_back(0);
      return data;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
      bool wide = type == REG_QWORD;
      const std::uint64_t limit = wide ? ~std::uint64_t{0} : 0xFFFFFFFFull;
      bool outOfRange = false;
      auto v = parseNumber(text, limit, outOfRange);
      if (!v) {
        problem = outOfRange ? fmt::format("\"{}\" is out of range for {} (0 to {})", text, regTypeName(type), limit)
                             : fmt::format("\"{}\" is not a number for {}", text, regTypeName(type));
        return std::nullopt;
      }
      std::size_t bytes = wide ? 8 : 4;
      for (std::size_t i = 0; i < bytes; ++i) data.push_back(static_cast<BYTE>(*v >> (8 * i)));
      if (type == REG_DWORD_BIG_ENDIAN) std::reverse(data.begin(), data.end());
      return data;
    }
    default: {
      if (text.size() % 2 != 0) {
        problem = fmt::format("\"{}\" is not a list of hexadecimal bytes", text);
        return std::nullopt;
      }
      for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned v = 0;
        auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + i + 2, v, 16);
        if (ec != std::errc() || ptr != text.data() + i + 2) {
          problem = fmt::format("\"{}\" is not a list of hexadecimal bytes", text);
          return std::nullopt;
        }
        data.push_back(static_cast<BYTE>(v));
      }
      return data;
    }
  }
}

}  // namespace talmoor::registry

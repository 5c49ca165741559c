#include "search/replace/text_match.h"

#include <array>
#include <cstring>

namespace talmoor::search {

namespace {

constexpr std::array<BYTE, 256> makeFoldTable() {
  std::array<BYTE, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<BYTE>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return table;
}
constexpr std::array<BYTE, 256> kFold = makeFoldTable();

}  // namespace

std::size_t findIgnoringCase(std::span<const BYTE> haystack, std::span<const BYTE> needle, std::size_t from) {
  if (needle.empty()) return from <= haystack.size() ? from : kNotFound;
  if (haystack.size() < needle.size() || from > haystack.size() - needle.size()) return kNotFound;
  const BYTE first = kFold[needle[0]];
  const BYTE firstOther = first >= 'a' && first <= 'z' ? static_cast<BYTE>(first - ('a' - 'A')) : first;
  const std::size_t lastStart = haystack.size() - needle.size();
  const BYTE* base = haystack.data();
  std::size_t pos = from;
  while (pos <= lastStart) {
    // Jump to the next byte that can begin an occurrence.
    const BYTE* a = static_cast<const BYTE*>(std::memchr(base + pos, first, lastStart - pos + 1));
    const BYTE* b = first == firstOther ? nullptr
                                        : static_cast<const BYTE*>(std::memchr(base + pos, firstOther, lastStart - pos + 1));
    const BYTE* hit = !a ? b : !b ? a : std::min(a, b);
    if (!hit) return kNotFound;
    pos = static_cast<std::size_t>(hit - base);
    std::size_t i = 1;
    while (i < needle.size() && kFold[base[pos + i]] == kFold[needle[i]]) ++i;
    if (i == needle.size()) return pos;
    ++pos;
  }
  return kNotFound;
}

bool containsIgnoringCase(std::span<const BYTE> haystack, std::span<const BYTE> needle) {
  return findIgnoringCase(haystack, needle) != kNotFound;
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
  return containsIgnoringCase(bytesOf(haystack), bytesOf(needle));
}

std::optional<std::vector<BYTE>> replaceAll(std::span<const BYTE> source, std::span<const BYTE> find,
                                            std::span<const BYTE> replacement) {
  if (find.empty()) return std::nullopt;
  std::size_t hit = findIgnoringCase(source, find);
  if (hit == kNotFound) return std::nullopt;
  std::vector<BYTE> out;
  out.reserve(source.size() + 3 * (replacement.size() + 10));
  std::size_t pos = 0;
  while (hit != kNotFound) {
    out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(pos), source.begin() + static_cast<std::ptrdiff_t>(hit));
    out.insert(out.end(), replacement.begin(), replacement.end());
    pos = hit + find.size();
    hit = findIgnoringCase(source, find, pos);
  }
  out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(pos), source.end());
  return out;
}

std::optional<std::string> replaceAll(std::string_view source, std::string_view find, std::string_view replacement) {
  auto bytes = replaceAll(bytesOf(source), bytesOf(find), bytesOf(replacement));
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

std::string foldedAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(kFold[static_cast<BYTE>(c)]);
  return out;
}

}  // namespace talmoor::search

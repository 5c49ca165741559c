#include "platform/text/code_page.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <utf8.h>

namespace talmoor::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Walks UTF-16 text as code points, pairing surrogates where they pair.
template <typename Visit>
void forEachCodePoint(std::u16string_view wide, Visit visit) {
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (isHighSurrogate(c) && i + 1 < wide.size() && isLowSurrogate(wide[i + 1])) {
      visit(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(wide[i + 1]) - 0xDC00));
      ++i;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      visit(kReplacement);
    } else {
      visit(char32_t(c));
    }
  }
}

std::size_t utf8Length(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return 4;
}

struct CaseTables {
  std::array<char16_t, 0x10000> upper{};
  std::array<char16_t, 0x10000> lower{};
  CaseTables() {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    for (std::size_t c = 0; c < 0x10000; ++c) {
      upper[c] = lower[c] = static_cast<char16_t>(c);
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (c < 0x80 || !loc) {
        if (c >= 'a' && c <= 'z') upper[c] = static_cast<char16_t>(c - 32);
        if (c >= 'A' && c <= 'Z') lower[c] = static_cast<char16_t>(c + 32);
        continue;
      }
      auto up = towupper_l(static_cast<wint_t>(c), loc);
      auto low = towlower_l(static_cast<wint_t>(c), loc);
      if (up < 0x10000 && !(up >= 0xD800 && up <= 0xDFFF)) upper[c] = static_cast<char16_t>(up);
      if (low < 0x10000 && !(low >= 0xD800 && low <= 0xDFFF)) lower[c] = static_cast<char16_t>(low);
    }
    if (loc) freelocale(loc);
  }
};

const CaseTables& caseTables() {
  static const CaseTables tables;
  return tables;
}

template <typename Map>
int compareMapped(std::u16string_view a, std::u16string_view b, Map map) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = map(a[i]);
    char16_t y = map(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::u16string ansiToWide(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  auto it = ansi.begin();
  while (it != ansi.end()) {
    char32_t cp = kReplacement;
    auto start = it;
    try {
      cp = utf8::next(it, ansi.end());
    } catch (const utf8::exception&) {
      // Skip one malformed byte, as Windows' decoder does.
      it = start + 1;
      cp = kReplacement;
    }
    appendUtf16(out, cp);
  }
  return out;
}

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

std::u16string utf16FromBytes(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return text;
}

std::vector<std::uint8_t> bytesFromUtf16(std::u16string_view text, bool terminate) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (terminate) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string wideToAnsi(std::u16string_view wide) {
  std::string out;
  out.reserve(wide.size());
  auto sink = std::back_inserter(out);
  forEachCodePoint(wide, [&](char32_t cp) { sink = utf8::append(cp, sink); });
  return out;
}

std::size_t ansiLengthOf(std::u16string_view wide) {
  // Most names are ASCII: one byte per unit.
  if (std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x80; })) return wide.size();
  std::size_t n = 0;
  forEachCodePoint(wide, [&](char32_t cp) { n += utf8Length(cp); });
  return n;
}

std::string lowercaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool isValidAnsi(std::string_view ansi) { return utf8::is_valid(ansi.begin(), ansi.end()); }

char16_t upcaseUnit(char16_t c) { return caseTables().upper[c]; }
char16_t downcaseUnit(char16_t c) { return caseTables().lower[c]; }

std::u16string upcase(std::u16string_view text) {
  const auto& t = caseTables().upper;
  std::u16string out(text);
  for (auto& c : out) c = t[c];
  return out;
}

int compareNamesUpcased(std::u16string_view a, std::u16string_view b) {
  const auto& t = caseTables().upper;
  return compareMapped(a, b, [&](char16_t c) { return t[c]; });
}

int compareNamesDowncased(std::u16string_view a, std::u16string_view b) {
  const auto& t = caseTables().lower;
  return compareMapped(a, b, [&](char16_t c) { return t[c]; });
}

bool namesEqual(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && compareNamesUpcased(a, b) == 0;
}

}  // namespace talmoor::platform

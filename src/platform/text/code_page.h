#pragma once
// The ANSI code page of this platform is UTF-8. These conversions follow what
// Windows does for CP_UTF8: malformed input becomes U+FFFD, never an error.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor::platform {

// UTF-8 (the ANSI code page) to UTF-16. Invalid bytes become U+FFFD.
std::u16string ansiToWide(std::string_view ansi);

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string wideToAnsi(std::u16string_view wide);

// Number of bytes wideToAnsi would produce, without building the text.
std::size_t ansiLengthOf(std::u16string_view wide);

// UTF-16LE bytes as stored in the registry to code units (an odd last byte
// is dropped) and back (with a terminating 0 unit when asked).
std::u16string utf16FromBytes(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> bytesFromUtf16(std::u16string_view text, bool terminate = false);

// Appends a code point as UTF-16 (a surrogate pair above the BMP).
void appendUtf16(std::u16string& out, char32_t codePoint);

// Comparisons of ASCII texts (file, machine and root names) without regard to case.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// The text with its ASCII letters in lower case, for keys and comparisons.
std::string lowercaseAscii(std::string_view text);

// True when the text is well-formed UTF-8.
bool isValidAnsi(std::string_view ansi);

// Per-code-unit case mapping, as the registry compares names (surrogates and
// characters without a single-unit mapping are left alone).
char16_t upcaseUnit(char16_t c);
char16_t downcaseUnit(char16_t c);
std::u16string upcase(std::u16string_view text);

// Case-insensitive ordering of names as the registry sorts subkeys:
// code unit by code unit, upper-cased, shorter first on a common prefix.
int compareNamesUpcased(std::u16string_view a, std::u16string_view b);
// The same with lower-cased units (the order Wine keeps).
int compareNamesDowncased(std::u16string_view a, std::u16string_view b);
bool namesEqual(std::u16string_view a, std::u16string_view b);

}  // namespace talmoor::platform

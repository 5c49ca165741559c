#pragma once
// The common value types read and written as what they mean: a string, a
// list of strings, a number. String data comes as ANSI bytes with their NUL
// terminators (as the access layer's ANSI reads deliver it); whatever follows
// the terminator is kept through an edit, so that editing the visible text
// never drops bytes the user cannot see.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::hexedit {

enum class TypedView { HexOnly, Text, List, Number };
TypedView typedViewFor(DWORD type);

// REG_SZ and REG_EXPAND_SZ: the text before the first NUL.
std::string stringOf(std::span<const BYTE> data);
// The data with its text replaced: the new text, a NUL, and what followed the
// old text's NUL (a missing terminator is added).
std::vector<BYTE> withString(std::span<const BYTE> data, std::string_view text);

// REG_MULTI_SZ: the strings up to the empty one that ends the list.
std::vector<std::string> stringsOf(std::span<const BYTE> data);
// The data with its strings replaced. Empty strings are left out: in the
// stored form an empty string ends the list, and the strings after it would
// be lost on the next read. What followed the old list's end is kept.
std::vector<BYTE> withStrings(std::span<const BYTE> data, const std::vector<std::string>& strings);

// True when the text can be shown and typed back byte for byte: valid UTF-8
// (the ANSI code page here). Other bytes are for the hex pane only.
bool textRoundTrips(std::string_view text);

// REG_DWORD (little-endian), REG_DWORD_BIG_ENDIAN and REG_QWORD: 4, 4, 8; 0 for others.
std::size_t numberWidth(DWORD type);
// The number in the first bytes; nothing when the data is too short.
std::optional<std::uint64_t> numberOf(DWORD type, std::span<const BYTE> data);
// The data with its number replaced; shorter data is made full width, bytes
// after the number are kept.
std::vector<BYTE> withNumber(DWORD type, std::span<const BYTE> data, std::uint64_t value);
// Text to a number of the type's width: hexadecimal digits (an optional
// "0x") or decimal; nothing when it is not one or does not fit.
std::optional<std::uint64_t> parseNumber(std::string_view text, bool hexadecimal, DWORD type);
std::string formatNumber(std::uint64_t value, bool hexadecimal, DWORD type);

}  // namespace talmoor::hexedit

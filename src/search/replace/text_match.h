#pragma once
// The contains test and replace-all of the search: case-insensitive, byte by
// byte over the given lengths (ASCII letters fold; other bytes compare as
// they are), the replacement inserted as typed.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::search {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first occurrence of `needle` in `haystack` at or after `from`.
std::size_t findIgnoringCase(std::span<const BYTE> haystack, std::span<const BYTE> needle, std::size_t from = 0);
// An empty needle is in everything.
bool containsIgnoringCase(std::span<const BYTE> haystack, std::span<const BYTE> needle);
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// Every non-overlapping occurrence, found left to right, replaced; nothing
// when there was none.
std::optional<std::vector<BYTE>> replaceAll(std::span<const BYTE> source, std::span<const BYTE> find,
                                            std::span<const BYTE> replacement);
std::optional<std::string> replaceAll(std::string_view source, std::string_view find, std::string_view replacement);

std::string foldedAscii(std::string_view text);

inline std::span<const BYTE> bytesOf(std::string_view text) {
  return {reinterpret_cast<const BYTE*>(text.data()), text.size()};
}

}  // namespace talmoor::search

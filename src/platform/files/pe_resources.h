#pragma once
// String resources of PE modules, read as LoadString reads them from a module
// loaded with LOAD_LIBRARY_AS_DATAFILE: the headers and the resource tree are
// parsed from the file without running or mapping anything. A module file is
// untrusted input: every offset is checked against the file, and a damaged
// file simply has no strings.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace talmoor::platform {

// The language that stands for "the user's UI language" when a caller asks
// for LANG_NEUTRAL: English (United States), the language of Talmoor's texts.
inline constexpr unsigned short kUiLanguage = 0x0409;

// The text of string `id` of `module`, or nothing when the module cannot be
// read, is not a PE image, or has no such string. An empty string counts as
// absent, as LoadString returns 0 for it. Ids above 0xFFFF name no string.
//
// Languages are tried in this order: `language` itself, its primary language
// with SUBLANG_NEUTRAL, the UI language (kUiLanguage, then its primary
// language), the neutral languages (0x0000, 0x0400, 0x0800), then whichever
// language the block lists first. `language` 0 means the UI language.
std::optional<std::u16string> loadStringResource(const std::filesystem::path& module, unsigned id,
                                                 unsigned short language = 0);

// The same over the bytes of a whole module file.
std::optional<std::u16string> loadStringResource(std::span<const std::uint8_t> image, unsigned id,
                                                 unsigned short language = 0);

}  // namespace talmoor::platform

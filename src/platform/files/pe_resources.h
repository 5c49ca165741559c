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
#include <vector>

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

// An icon of `module` as ExtractIconEx numbers them, as the bytes of an .ico
// file made of every image of the icon group (RT_GROUP_ICON and the RT_ICON
// images it names): `index` 0 or more is the index-th group in the order the
// resource directory lists them, a negative `index` names the group whose id
// is -index. Nothing when the module or the group is missing or damaged; an
// image the group names but the module lacks is left out, and a group left
// with no image is no icon. Languages are chosen as for strings.
//
// A file that already is an .ico (its first bytes are an icon directory)
// gives its own bytes for index 0, after the same checks.
std::optional<std::vector<std::uint8_t>> loadIconResource(const std::filesystem::path& module, int index);
std::optional<std::vector<std::uint8_t>> loadIconResource(std::span<const std::uint8_t> image, int index);

// The most bytes an icon is read from: far more than any real icon holds, a
// bound on what a damaged module can make us read.
inline constexpr std::size_t kMaxIconBytes = 4u << 20;

}  // namespace talmoor::platform

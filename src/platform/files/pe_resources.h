#pragma once
// String resources of PE modules, read as LoadString reads them from a module
// loaded with LOAD_LIBRARY_AS_DATAFILE: the headers and the resource tree are
// parsed from the file without running or mapping anything. A module file is
// untrusted input: every offset is checked against the file, and a damaged
// file simply has no strings.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
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

// The resource configuration of a module built for language resource files
// (its "MUI" resource): the main module and each of its `.mui` files carry
// one, with the same checksum when they belong together.
struct MuiConfiguration {
  std::uint32_t fileType = 0;
  std::array<std::uint8_t, 16> serviceChecksum{};
  std::array<std::uint8_t, 16> checksum{};
  std::u16string language;  // the language a resource file holds ("de-DE"); often empty in a main module
};

// What a module file offers to indirect strings, read in one go: every string
// of its string table, in the language chosen for `language` block by block
// (as loadStringResource chooses), and its resource configuration. Nothing
// when the file cannot be read or is no PE image with resources. A module
// whose table claims more than kMaxStringTableBytes keeps what came before.
struct ModuleTexts {
  std::map<unsigned, std::u16string> strings;
  std::optional<MuiConfiguration> configuration;
};
std::optional<ModuleTexts> readModuleTexts(const std::filesystem::path& module, unsigned short language = 0);
std::optional<ModuleTexts> readModuleTexts(std::span<const std::uint8_t> image, unsigned short language = 0);

// Far more than the string table of any real module (shell32's is below
// 1 MB); a bound on what a damaged module can make us read.
inline constexpr std::uint64_t kMaxStringTableBytes = 16u << 20;

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

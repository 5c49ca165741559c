#pragma once
// Small PE module files made in tests: a PE32+ image with one resource
// section holding the resources given, by type, id and language.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace talmoor::test {

struct PeResource {
  std::uint16_t type;
  std::uint16_t id;
  std::uint16_t language;
  std::vector<std::uint8_t> bytes;
  std::u16string typeName = {};  // a named type ("MUI") instead of `type`
};

std::vector<std::uint8_t> buildPeModule(std::vector<PeResource> resources);

// A PE32+ image whose one section, at kPeSectionRva, holds `section` as its
// resource tree: for trees no resource compiler would write.
std::vector<std::uint8_t> buildPeImage(const std::vector<std::uint8_t>& section);
inline constexpr std::uint32_t kPeSectionRva = 0x1000;

// An icon group (RT_GROUP_ICON data) naming the RT_ICON ids, each image
// stated as `statedSize` bytes.
std::vector<std::uint8_t> iconGroup(const std::vector<std::uint16_t>& iconIds, std::uint32_t statedSize = 8);

// An RT_STRING block: the strings at their index in the block (0..15).
std::vector<std::uint8_t> stringBlock(const std::map<unsigned, std::u16string>& strings);

// The string resources holding `strings` (by id) in `language`, a block each.
std::vector<PeResource> stringResources(const std::map<unsigned, std::u16string>& strings, std::uint16_t language);

// The data of a "MUI" resource configuration: the signature, `fileType`,
// both checksums filled with `checksum`, and `language` as its language name.
std::vector<std::uint8_t> muiConfiguration(std::uint8_t checksum, std::uint32_t fileType, std::u16string language);
PeResource muiResource(std::uint8_t checksum, std::uint32_t fileType, std::u16string language);
inline constexpr std::uint32_t kMainModuleFile = 0x11;    // a language-neutral main module
inline constexpr std::uint32_t kLanguageResourceFile = 0x12;  // its .mui

}  // namespace talmoor::test

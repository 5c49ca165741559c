#include "support/pe_builder.h"

#include <algorithm>
#include <map>

namespace talmoor::test {

namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  put16(out, at, value & 0xFFFF);
  put16(out, at + 2, value >> 16);
}

constexpr std::uint32_t kSectionRva = kPeSectionRva;
constexpr std::uint32_t kSectionFile = 0x200;

}  // namespace

std::vector<std::uint8_t> iconGroup(const std::vector<std::uint16_t>& iconIds, std::uint32_t statedSize) {
  std::vector<std::uint8_t> out(6 + 14 * iconIds.size());
  put16(out, 2, 1);
  put16(out, 4, static_cast<std::uint32_t>(iconIds.size()));
  for (std::size_t i = 0; i < iconIds.size(); ++i) {
    std::size_t at = 6 + 14 * i;
    out[at] = out[at + 1] = static_cast<std::uint8_t>(16 * (i + 1));
    put16(out, at + 4, 1);
    put16(out, at + 6, 32);
    put32(out, at + 8, statedSize);
    put16(out, at + 12, iconIds[i]);
  }
  return out;
}

std::vector<std::uint8_t> stringBlock(const std::map<unsigned, std::u16string>& strings) {
  std::vector<std::uint8_t> out;
  for (unsigned index = 0; index < 16; ++index) {
    auto found = strings.find(index);
    std::u16string text = found == strings.end() ? u"" : found->second;
    out.push_back(static_cast<std::uint8_t>(text.size()));
    out.push_back(static_cast<std::uint8_t>(text.size() >> 8));
    for (char16_t unit : text) {
      out.push_back(static_cast<std::uint8_t>(unit));
      out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  return out;
}

std::vector<PeResource> stringResources(const std::map<unsigned, std::u16string>& strings, std::uint16_t language) {
  std::map<unsigned, std::map<unsigned, std::u16string>> blocks;
  for (const auto& [id, text] : strings) blocks[id / 16 + 1][id % 16] = text;
  std::vector<PeResource> resources;
  for (const auto& [block, texts] : blocks)
    resources.push_back({6, static_cast<std::uint16_t>(block), language, stringBlock(texts)});
  return resources;
}

std::vector<std::uint8_t> muiConfiguration(std::uint8_t checksum, std::uint32_t fileType, std::u16string language) {
  constexpr std::size_t kFixedPart = 132;
  std::vector<std::uint8_t> out(kFixedPart + 2 * (language.size() + 1));
  put32(out, 0, 0xFECDFECDu);
  put32(out, 4, static_cast<std::uint32_t>(out.size()));
  put32(out, 8, 0x10000);
  put32(out, 16, fileType);
  std::fill_n(out.begin() + 28, 32, checksum);  // service checksum, then checksum
  put32(out, 116, kFixedPart);
  put32(out, 120, static_cast<std::uint32_t>(2 * (language.size() + 1)));
  for (std::size_t i = 0; i < language.size(); ++i) put16(out, kFixedPart + 2 * i, language[i]);
  return out;
}

PeResource muiResource(std::uint8_t checksum, std::uint32_t fileType, std::u16string language) {
  return {0, 1, 0x409, muiConfiguration(checksum, fileType, std::move(language)), u"MUI"};
}

std::vector<std::uint8_t> buildPeModule(std::vector<PeResource> resources) {
  // A named type sorts before the numbered ones, as in a real resource tree.
  using TypeKey = std::pair<std::u16string, std::uint16_t>;
  auto before = [](const TypeKey& a, const TypeKey& b) {
    if (a.first.empty() != b.first.empty()) return !a.first.empty();
    return a < b;
  };
  // type -> id -> language -> index into resources
  std::map<TypeKey, std::map<std::uint16_t, std::map<std::uint16_t, std::size_t>>, decltype(before)> tree(before);
  for (std::size_t i = 0; i < resources.size(); ++i)
    tree[{resources[i].typeName, resources[i].typeName.empty() ? resources[i].type : std::uint16_t{0}}][resources[i].id]
        [resources[i].language] = i;

  std::vector<std::uint8_t> section;
  auto grow = [&](std::size_t bytes) {
    std::size_t at = section.size();
    section.resize(at + bytes);
    return at;
  };
  auto directory = [&](std::size_t named, std::size_t numbered) {
    std::size_t at = grow(16 + 8 * (named + numbered));
    put16(section, at + 12, static_cast<std::uint32_t>(named));
    put16(section, at + 14, static_cast<std::uint32_t>(numbered));
    return at;
  };
  std::vector<std::pair<std::size_t, std::size_t>> dataEntries;  // where, resource
  std::vector<std::pair<std::size_t, std::u16string>> names;      // where the entry's name goes, the name
  std::size_t namedTypes = 0;
  for (const auto& entry : tree) namedTypes += entry.first.first.empty() ? 0 : 1;
  std::size_t root = directory(namedTypes, tree.size() - namedTypes);
  std::size_t t = 0;
  for (const auto& [type, ids] : tree) {
    std::size_t typeDir = directory(0, ids.size());
    if (type.first.empty()) {
      put32(section, root + 16 + 8 * t, type.second);
    } else {
      names.emplace_back(root + 16 + 8 * t, type.first);
    }
    put32(section, root + 16 + 8 * t + 4, 0x80000000u | static_cast<std::uint32_t>(typeDir));
    std::size_t n = 0;
    for (const auto& [id, languages] : ids) {
      std::size_t nameDir = directory(0, languages.size());
      put32(section, typeDir + 16 + 8 * n, id);
      put32(section, typeDir + 16 + 8 * n + 4, 0x80000000u | static_cast<std::uint32_t>(nameDir));
      std::size_t l = 0;
      for (const auto& [language, index] : languages) {
        std::size_t entry = grow(16);
        put32(section, nameDir + 16 + 8 * l, language);
        put32(section, nameDir + 16 + 8 * l + 4, static_cast<std::uint32_t>(entry));
        dataEntries.emplace_back(entry, index);
        ++l;
      }
      ++n;
    }
    ++t;
  }
  for (const auto& [where, name] : names) {
    std::size_t at = grow((2 + 2 * name.size() + 3) / 4 * 4);
    put16(section, at, static_cast<std::uint32_t>(name.size()));
    for (std::size_t i = 0; i < name.size(); ++i) put16(section, at + 2 + 2 * i, name[i]);
    put32(section, where, 0x80000000u | static_cast<std::uint32_t>(at));
  }
  for (const auto& [entry, index] : dataEntries) {
    std::size_t at = grow((resources[index].bytes.size() + 3) / 4 * 4);
    std::copy(resources[index].bytes.begin(), resources[index].bytes.end(), section.begin() + static_cast<std::ptrdiff_t>(at));
    put32(section, entry, kSectionRva + static_cast<std::uint32_t>(at));
    put32(section, entry + 4, static_cast<std::uint32_t>(resources[index].bytes.size()));
  }

  return buildPeImage(section);
}

std::vector<std::uint8_t> buildPeImage(const std::vector<std::uint8_t>& section) {
  std::vector<std::uint8_t> image(kSectionFile + section.size());
  image[0] = 'M', image[1] = 'Z';
  put32(image, 0x3C, 0x40);
  image[0x40] = 'P', image[0x41] = 'E';
  put16(image, 0x44, 0x8664);
  put16(image, 0x46, 1);       // one section
  put16(image, 0x54, 240);     // optional header size
  const std::size_t optional = 0x58;
  put16(image, optional, 0x20b);
  put32(image, optional + 60, kSectionFile);  // size of headers
  put32(image, optional + 108, 16);           // data directories
  put32(image, optional + 112 + 16, kSectionRva);
  put32(image, optional + 112 + 20, static_cast<std::uint32_t>(section.size()));
  const std::size_t table = optional + 240;
  std::copy_n(".rsrc", 5, image.begin() + static_cast<std::ptrdiff_t>(table));
  put32(image, table + 8, static_cast<std::uint32_t>(section.size()));
  put32(image, table + 12, kSectionRva);
  put32(image, table + 16, static_cast<std::uint32_t>(section.size()));
  put32(image, table + 20, kSectionFile);
  std::copy(section.begin(), section.end(), image.begin() + kSectionFile);
  return image;
}

}  // namespace talmoor::test

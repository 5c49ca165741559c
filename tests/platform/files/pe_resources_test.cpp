// String resources of PE modules: the real tzres.dll (and a 32-bit rewrite of
// its headers) against the time zone texts of the corpus registry, the choice
// among languages, and damaged copies, which must give nothing or the right
// text, never a crash or a read outside the file.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/files/pe_resources.h"
#include "platform/text/code_page.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusDir;
using talmoor::test::readFile;
using talmoor::test::TempDir;
using talmoor::test::writeFile;

using Bytes = std::vector<std::uint8_t>;

fs::path tzresPath() { return corpusDir() / "wine-8.0" / "drive_c-files" / "windows" / "system32" / "tzres.dll"; }

Bytes tzresBytes() {
  std::string text = readFile(tzresPath());
  return {text.begin(), text.end()};
}

std::optional<std::string> utf8(const std::optional<std::u16string>& text) {
  if (!text) return std::nullopt;
  return tp::wideToAnsi(*text);
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, &b[at], 4);
  return value;
}

// The same module made 32-bit: the machine and the magic change, the count and
// the data directories move up, the optional header shrinks by 16 bytes and
// the section table follows it.
Bytes asPe32(Bytes image) {
  std::size_t pe = get32(image, 0x3C), optional = pe + 24;
  std::uint16_t sections = static_cast<std::uint16_t>(image[pe + 6] | image[pe + 7] << 8);
  image[pe + 4] = 0x4C, image[pe + 5] = 0x01;  // i386
  image[optional] = 0x0B, image[optional + 1] = 0x01;
  std::memmove(&image[optional + 92], &image[optional + 108], 4 + 16 * 8);
  std::memmove(&image[optional + 224], &image[optional + 240], sections * 40u);
  image[pe + 20] = 224, image[pe + 21] = 0;
  return image;
}

struct Reference {
  std::string key;
  std::string value;  // "MUI_Std"
  unsigned id = 0;
  std::string plain;  // the key's "Std": Wine writes the same text there
};

// Every "@tzres.dll,-N" value of the corpus system.reg, read from the text.
std::vector<Reference> tzresReferences() {
  std::ifstream in(corpusDir() / "wine-8.0" / "system.reg");
  std::regex valueLine(R"re(^"([^"]*)"="((?:[^"\\]|\\.)*)"$)re");
  std::regex reference(R"(^@tzres\.dll,-(\d+)$)");
  std::vector<Reference> found;
  std::map<std::string, std::string> values;
  std::string key, line;
  auto finishKey = [&] {
    for (auto& ref : found)
      if (ref.key == key) ref.plain = values[ref.value.substr(4)];
  };
  while (std::getline(in, line)) {
    if (line.starts_with("[")) {
      finishKey();
      key = line.substr(0, line.find(']'));
      values.clear();
      continue;
    }
    std::smatch match;
    if (!std::regex_match(line, match, valueLine)) continue;
    std::string text = std::regex_replace(match[2].str(), std::regex(R"(\\(.))"), "$1");
    values[match[1]] = text;
    if (std::smatch id; std::regex_match(text, id, reference))
      found.push_back({key, match[1], static_cast<unsigned>(std::stoul(id[1])), ""});
  }
  finishKey();
  return found;
}

TEST(PeResourcesTzres, EveryTimeZoneReferenceOfTheRegistryResolves) {
  TALMOOR_REQUIRE_CORPUS();
  auto references = tzresReferences();
  ASSERT_EQ(references.size(), 417u);
  Bytes pe32 = asPe32(tzresBytes());
  for (const auto& ref : references) {
    SCOPED_TRACE(ref.key + " " + ref.value);
    ASSERT_TRUE(ref.value.starts_with("MUI_"));
    auto text = utf8(tp::loadStringResource(tzresPath(), ref.id));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, ref.plain);
    EXPECT_EQ(utf8(tp::loadStringResource(pe32, ref.id)), text);
  }
}

TEST(PeResourcesTzres, LanguagesAndMissingStrings) {
  TALMOOR_REQUIRE_CORPUS();
  auto text = [](unsigned id, unsigned short language = 0) {
    return utf8(tp::loadStringResource(tzresPath(), id, language));
  };
  EXPECT_EQ(text(27698), "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
  EXPECT_EQ(text(39618, 0x0409), "(UTC+04:30) Kabul");
  // The module keeps German and Japanese under the primary languages alone
  // (0x0007, 0x0011), and lists Catalan (0x0003) first of all.
  EXPECT_EQ(text(27697, 0x0407), "Mitteleuropäische Sommerzeit");
  EXPECT_EQ(text(16240, 0x0411), "東京 (標準時)");
  EXPECT_EQ(text(16242, 0x0003), "(UTC+09:00) Osaka, Sapporo, Tòquio");
  // A language the module lacks gives English, not the first one listed.
  EXPECT_EQ(text(16240, 0x0405), "Tokyo Standard Time");
  // 27699 shares the block of 27696..27698 but is empty; 110 has no block;
  // ids past 0xFFFF name none.
  EXPECT_EQ(text(27699), std::nullopt);
  EXPECT_EQ(text(110), std::nullopt);
  EXPECT_EQ(text(0x10000 + 27696), std::nullopt);
}

TEST(PeResourcesTzres, AStoredTerminatorEndsTheText) {
  TALMOOR_REQUIRE_CORPUS();
  Bytes bytes = tzresBytes();
  std::u16string wanted = u"W. Europe Standard Time";
  std::string needle(reinterpret_cast<const char*>(wanted.data()), wanted.size() * 2);
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  int patched = 0;
  for (auto at = view.find(needle); at != std::string_view::npos; at = view.find(needle, at + 1), ++patched)
    bytes[at + 2 * 9] = 0;  // the space before "Standard"
  ASSERT_GT(patched, 0);
  EXPECT_EQ(utf8(tp::loadStringResource(bytes, 27696)), "W. Europe");
}

TEST(PeResourcesTzres, FilesThatAreNotModules) {
  TempDir dir;
  writeFile(dir / "empty.dll", "");
  writeFile(dir / "text.dll", "MZ but nothing more");
  EXPECT_EQ(tp::loadStringResource(dir / "empty.dll", 1), std::nullopt);
  EXPECT_EQ(tp::loadStringResource(dir / "text.dll", 1), std::nullopt);
  EXPECT_EQ(tp::loadStringResource(dir / "missing.dll", 1), std::nullopt);
  EXPECT_EQ(tp::loadStringResource(dir.path(), 1), std::nullopt);
  EXPECT_EQ(tp::loadStringResource("/dev/zero", 1), std::nullopt);
}

// A cut-off copy has nothing that the whole file lacks: each lookup gives
// nothing or the whole file's text.
TEST(PeResourcesTzres, TruncatedCopiesGiveNothingOrTheSameText) {
  TALMOOR_REQUIRE_CORPUS();
  for (const Bytes& bytes : {tzresBytes(), asPe32(tzresBytes())}) {
    const std::vector<unsigned> ids = {27696, 27698, 39616, 16240, 27699};
    std::vector<std::optional<std::u16string>> whole;
    for (unsigned id : ids) whole.push_back(tp::loadStringResource(bytes, id));

    std::vector<std::size_t> cuts;
    for (std::size_t cut = 0; cut < 0x1200; cut += 3) cuts.push_back(cut);               // headers, tree start
    for (std::size_t cut = 0x1200; cut < bytes.size(); cut += 1021) cuts.push_back(cut);  // the rest
    cuts.push_back(bytes.size() - 1);
    std::size_t found = 0;
    for (std::size_t cut : cuts) {
      for (std::size_t i = 0; i < ids.size(); ++i) {
        auto text = tp::loadStringResource(std::span(bytes.data(), cut), ids[i]);
        found += text.has_value();
        EXPECT_TRUE(!text || text == whole[i]) << "cut at " << cut << ", id " << ids[i];
      }
    }
    EXPECT_GT(found, 0u);  // late cuts keep the early blocks
  }

  // The same through the file reader.
  Bytes bytes = tzresBytes();
  TempDir dir;
  for (std::size_t cut : {std::size_t{0x3C}, std::size_t{0x180}, std::size_t{0x1010}, bytes.size() / 2}) {
    writeFile(dir / "cut.dll", std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
    auto text = tp::loadStringResource(dir / "cut.dll", 27696);
    EXPECT_TRUE(!text || text == u"W. Europe Standard Time") << "cut at " << cut;
  }
}

// Random damage to the headers and the resource tree: every lookup ends, and
// runs clean under the address sanitizer.
TEST(PeResourcesTzres, RandomlyDamagedCopiesAreHandled) {
  TALMOOR_REQUIRE_CORPUS();
  Bytes bytes = tzresBytes();
  // The tree's directories lie at the start of .rsrc (file offset 0x1000).
  const std::size_t treeEnd = std::min<std::size_t>(bytes.size(), 0x1000 + 0x6000);
  std::mt19937 random(20240613);
  std::size_t found = 0;
  for (int round = 0; round < 400; ++round) {
    Bytes copy = bytes;
    for (int changes = 1 + static_cast<int>(random() % 8); changes > 0; --changes) {
      std::size_t at = random() % 3 == 0 ? random() % 0x200 : 0x1000 + random() % (treeEnd - 0x1000);
      copy[at] = static_cast<std::uint8_t>(random());
    }
    for (unsigned id : {27696u, 39618u, 16240u})
      found += tp::loadStringResource(copy, id, static_cast<unsigned short>(random() % 0x500)).has_value();
  }
  EXPECT_GT(found, 0u);
}

}  // namespace

// Icons of PE modules as ExtractIconEx numbers them, assembled into .ico
// files: modules made here, and damaged copies, which must give an icon that
// lies within its own bytes or nothing.

#include <gtest/gtest.h>

#include <random>

#include "platform/files/pe_resources.h"
#include "support/corpus.h"
#include "support/pe_builder.h"

namespace {

namespace tp = talmoor::platform;
using talmoor::test::buildPeModule;
using talmoor::test::iconGroup;
using talmoor::test::PeResource;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kIcon = 3, kGroupIcon = 14;

Bytes picture(char tag, std::size_t size) {
  Bytes bytes(size, static_cast<std::uint8_t>(tag));
  return bytes;
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Two groups: 7 with images 1 and 2, 9 with image 3; a group 11 that names
// only an image the module lacks.
Bytes module() {
  return buildPeModule({
      {kIcon, 1, 0x409, picture('a', 40)},
      {kIcon, 2, 0x409, picture('b', 72)},
      {kIcon, 3, 0x409, picture('c', 24)},
      {kGroupIcon, 7, 0x409, iconGroup({1, 2}, 1000)},  // the stated sizes are wrong
      {kGroupIcon, 9, 0x409, iconGroup({3})},
      {kGroupIcon, 11, 0x409, iconGroup({42})},
  });
}

TEST(PeIcons, GroupsAreFoundByIndexOrByIdAndBecomeIcoFiles) {
  Bytes image = module();
  auto first = tp::loadIconResource(image, 0);
  ASSERT_TRUE(first);
  // Directory: two images, each entry giving its real size and offset.
  ASSERT_GE(first->size(), 6u + 2 * 16 + 40 + 72);
  EXPECT_EQ((*first)[2], 1);
  EXPECT_EQ((*first)[4], 2);
  EXPECT_EQ(get32(*first, 6 + 8), 40u);
  EXPECT_EQ(get32(*first, 6 + 12), 6u + 2 * 16);
  EXPECT_EQ(get32(*first, 22 + 8), 72u);
  EXPECT_EQ(get32(*first, 22 + 12), 6u + 2 * 16 + 40);
  EXPECT_EQ((*first)[6 + 32], 'a');
  EXPECT_EQ(first->back(), 'b');
  EXPECT_EQ(first->size(), 6u + 2 * 16 + 40 + 72);

  auto byId = tp::loadIconResource(image, -9);
  ASSERT_TRUE(byId);
  EXPECT_EQ(byId, tp::loadIconResource(image, 1));
  EXPECT_EQ(byId->back(), 'c');

  EXPECT_FALSE(tp::loadIconResource(image, -11));  // a group whose image is missing
  EXPECT_FALSE(tp::loadIconResource(image, 3));    // past the last group
  EXPECT_FALSE(tp::loadIconResource(image, -8));
  EXPECT_FALSE(tp::loadIconResource(image, std::numeric_limits<int>::min()));
}

TEST(PeIcons, AnIcoFileIsItsOwnIconAndModulesWithoutIconsHaveNone) {
  Bytes ico = *tp::loadIconResource(module(), 0);
  EXPECT_EQ(tp::loadIconResource(ico, 0), ico);
  EXPECT_FALSE(tp::loadIconResource(ico, 1));
  Bytes cut(ico.begin(), ico.end() - 1);  // the last image runs past the end
  EXPECT_FALSE(tp::loadIconResource(cut, 0));

  if (!talmoor::test::corpusDir().empty()) {
    auto tzres = talmoor::test::corpusDir() / "wine-8.0" / "drive_c-files" / "windows" / "system32" / "tzres.dll";
    EXPECT_FALSE(tp::loadIconResource(tzres, 0));  // strings only
  }
  EXPECT_FALSE(tp::loadIconResource(std::filesystem::path("/nonexistent/x.dll"), 0));
}

TEST(PeIcons, DamagedModulesGiveAWholeIconOrNothing) {
  const Bytes good = module();
  std::mt19937 random(17);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = good;
    int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
    if (round % 5 == 0) damaged.resize(random() % damaged.size());
    for (int index : {0, 1, -7, -9}) {
      auto icon = tp::loadIconResource(damaged, index);
      if (!icon) continue;
      ASSERT_GE(icon->size(), 6u);
      std::size_t count = (*icon)[4] | (*icon)[5] << 8;
      ASSERT_GE(icon->size(), 6 + 16 * count);
      for (std::size_t e = 0; e < count; ++e) {
        std::uint64_t size = get32(*icon, 6 + 16 * e + 8), offset = get32(*icon, 6 + 16 * e + 12);
        ASSERT_LE(offset + size, icon->size());
      }
    }
  }
}

}  // namespace

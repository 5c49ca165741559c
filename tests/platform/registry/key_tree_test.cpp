// The key tree's subkey list and value index under the loads an import puts
// on them: many siblings in any order, lookups in any case, deletions in the
// middle.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/registry/key_tree.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace {

using namespace talmoor::platform;

std::u16string nameOf(int n) { return ansiToWide("Key" + std::to_string(n)); }

TEST(SubkeyListTest, ManySiblingsInAnyOrderEnumerateSortedAndAreFoundAndRemoved) {
  auto parent = std::make_shared<KeyNode>(u"parent");
  constexpr int kCount = 5000;  // several blocks
  std::vector<int> order(kCount);
  for (int i = 0; i < kCount; ++i) order[i] = i;
  std::mt19937 random(7);
  std::shuffle(order.begin(), order.end(), random);
  for (int n : order) parent->addSubkey(std::make_shared<KeyNode>(nameOf(n)));

  const SubkeyList& list = parent->subkeys();
  ASSERT_EQ(list.size(), static_cast<std::size_t>(kCount));
  std::vector<std::u16string> seen;
  for (const auto& child : list) seen.push_back(child->upperName());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  for (std::size_t i = 0; i < list.size(); i += 397) EXPECT_EQ(list[i]->upperName(), seen[i]);

  ASSERT_TRUE(parent->findSubkey(u"key1234"));
  EXPECT_EQ(parent->findSubkey(u"KEY1234")->name(), u"Key1234");
  EXPECT_FALSE(parent->findSubkey(u"Key99999"));
  EXPECT_EQ(parent->findSubkey(u"Key1234")->parent(), parent);

  // Every other key removed: the rest stay found and in order.
  for (int n = 0; n < kCount; n += 2) {
    auto child = parent->findSubkey(nameOf(n));
    ASSERT_TRUE(child) << n;
    EXPECT_TRUE(parent->removeSubkey(*child));
    EXPECT_FALSE(parent->removeSubkey(*child));
  }
  EXPECT_EQ(list.size(), static_cast<std::size_t>(kCount / 2));
  for (int n = 1; n < kCount; n += 2) EXPECT_TRUE(parent->findSubkey(nameOf(n))) << n;
  seen.clear();
  for (const auto& child : list) seen.push_back(child->upperName());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(ValueIndexTest, LookupsStayRightAcrossTheIndexThresholdAndDeletions) {
  KeyNode key(u"k");
  auto data = [](int n) { return std::vector<BYTE>{static_cast<BYTE>(n)}; };
  for (int n = 0; n < 200; ++n) key.setValue(ansiToWide("Value" + std::to_string(n)), REG_BINARY, data(n));
  // A name given again in another case replaces the data in place.
  key.setValue(u"VALUE7", REG_DWORD, data(77));
  ASSERT_EQ(key.values().size(), 200u);
  EXPECT_EQ(key.values()[7].name, u"Value7");
  EXPECT_EQ(key.findValue(u"value7")->data, data(77));

  for (int n = 0; n < 200; n += 3) ASSERT_TRUE(key.deleteValue(ansiToWide("value" + std::to_string(n))));
  EXPECT_FALSE(key.deleteValue(u"Value0"));
  for (int n = 0; n < 200; ++n) {
    const RegValue* found = key.findValue(ansiToWide("Value" + std::to_string(n)));
    if (n % 3 == 0) {
      EXPECT_FALSE(found) << n;
    } else {
      ASSERT_TRUE(found) << n;
      EXPECT_EQ(found->data, n == 7 ? data(77) : data(n));
    }
  }
  // Insertion order is kept.
  EXPECT_EQ(key.values().front().name, u"Value1");
  EXPECT_EQ(key.values().back().name, u"Value199");
}

}  // namespace

// The key tree and the value list without windows, over a throwaway
// registry: listing and naming children, refresh, sorting, quick search,
// finding a path, and the changes both browsers make through the write gate.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/key_actions.h"
#include "browse/key_tree.h"
#include "browse/value_list.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "search/search_options.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

namespace {

using namespace talmoor;
using namespace talmoor::browse;

class BrowsersTest : public ::testing::Test {
 protected:
  BrowsersTest() : installed_(scripted_) {
    for (const char* path : {"Software\\Tree\\b", "Software\\Tree\\A\\deep", "Software\\Tree\\c"}) {
      HKEY key = 0;
      EXPECT_EQ(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, path, key, registry::kAllKeyAccess),
                ERROR_SUCCESS);
      registry::closeKey(key);
    }
  }

  NodeId expand(KeyTree& tree, NodeId id) {
    tree.insertListing(id, listSubkeys(tree.path(id)));
    return id;
  }

  // Walks the tree down a path, listing each step as an expansion would.
  NodeId open(KeyTree& tree, const std::string& path) {
    for (;;) {
      auto reach = tree.reach(path);
      if (reach.remaining.empty()) return reach.reached;
      const TreeNode* n = tree.node(reach.reached);
      if (n->expandedOnce) return kNoNode;
      expand(tree, reach.reached);
    }
  }

  std::vector<std::string> childNames(const KeyTree& tree, NodeId id) {
    std::vector<std::string> names;
    for (NodeId c : tree.node(id)->children) names.push_back(tree.node(c)->text());
    return names;
  }

  void setString(const std::string& path, const std::string& name, const std::string& text) {
    ASSERT_TRUE(registry::setStringValue("", 0, path, name, text));
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

TEST_F(BrowsersTest, TheTreeListsEachKeyOnceAndForgetsOnRefresh) {
  KeyTree tree;
  EXPECT_EQ(childNames(tree, tree.computer()),
            (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                      "HKEY_CURRENT_CONFIG"}));
  const NodeId treeKey = open(tree, "HKLM\\Software\\Tree");
  ASSERT_NE(treeKey, kNoNode);
  EXPECT_EQ(tree.path(treeKey), "HKEY_LOCAL_MACHINE\\Software\\Tree");
  expand(tree, treeKey);
  EXPECT_EQ(childNames(tree, treeKey), (std::vector<std::string>{"A", "b", "c"}));
  // Only A has children of its own; keys below a machine root show as keys.
  const TreeNode* a = tree.node(tree.findChild(treeKey, "a"));
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->hasChildren);
  EXPECT_FALSE(tree.node(tree.findChild(treeKey, "B"))->hasChildren);
  EXPECT_EQ(a->image, static_cast<int>(TreeImage::Key));
  EXPECT_EQ(tree.node(tree.reach("HKEY_LOCAL_MACHINE\\Software").reached)->image,
            static_cast<int>(TreeImage::RootChild));

  // A second listing applied over the shown children adds only what is new.
  HKEY key = 0;
  ASSERT_EQ(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Tree\\d", key, registry::kAllKeyAccess),
            ERROR_SUCCESS);
  registry::closeKey(key);
  expand(tree, treeKey);
  EXPECT_EQ(childNames(tree, treeKey), (std::vector<std::string>{"A", "b", "c", "d"}));

  const std::size_t before = tree.size();
  tree.forgetChildren(treeKey, true);
  EXPECT_EQ(tree.size(), before - 4);
  EXPECT_FALSE(tree.node(treeKey)->expandedOnce);
  EXPECT_TRUE(tree.node(treeKey)->children.empty());
}

TEST_F(BrowsersTest, SortingQuickSearchAndReachingPaths) {
  KeyTree tree;
  const NodeId treeKey = open(tree, "HKEY_LOCAL_MACHINE\\Software\\Tree");
  expand(tree, treeKey);
  const auto ids = tree.node(treeKey)->children;  // A, b, c
  ItemName named;
  named.displayName = "zeta";
  named.image = 30;
  tree.applyName(ids[1], named);  // b shows as "zeta"
  EXPECT_EQ(tree.node(ids[1])->selectedImage, 30);  // the rules' own images show the same when selected

  tree.sortByName(treeKey);
  EXPECT_EQ(childNames(tree, treeKey), (std::vector<std::string>{"A", "c", "zeta"}));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(tree.child(treeKey, row)->row, row);

  ItemName higher;
  higher.image = 17;
  higher.overlay = 5;
  tree.applyName(ids[2], higher);
  tree.sortByType(treeKey);  // image, higher first; then overlay; then name
  EXPECT_EQ(childNames(tree, treeKey), (std::vector<std::string>{"zeta", "c", "A"}));

  EXPECT_EQ(tree.findChildByPrefix(treeKey, "ZE", false), ids[1]);
  EXPECT_EQ(tree.findChildByPrefix(treeKey, "ze", true), kNoNode);  // its raw name is "b"
  EXPECT_EQ(tree.findChildByPrefix(treeKey, "B", true), ids[1]);

  auto reach = tree.reach("HKEY_LOCAL_MACHINE\\Software\\Tree\\A\\deep\\missing");
  EXPECT_EQ(reach.reached, ids[0]);
  EXPECT_EQ(reach.remaining, (std::vector<std::string>{"deep", "missing"}));
}

TEST_F(BrowsersTest, KeyChangesGoThroughTheGateAndRootsAreRefused) {
  EXPECT_FALSE(deleteKeyAt("HKEY_LOCAL_MACHINE"));
  EXPECT_EQ(scripted_->boxLines(), std::vector<std::string>{"Delete: Cannot delete Root Keys my friend"});

  std::string name = "Made";
  EXPECT_TRUE(createKeyAt("HKEY_LOCAL_MACHINE\\Software\\Tree", name));
  std::string newName = "Renamed";
  ASSERT_TRUE(renameKeyAt("HKEY_LOCAL_MACHINE\\Software\\Tree\\Made", newName));
  const auto confirmations = scripted_->confirmations();
  ASSERT_EQ(confirmations.size(), 2u);
  EXPECT_NE(confirmations[0].caption.find("Confirm Create"), std::string::npos);
  EXPECT_NE(confirmations[1].caption.find("Confirm Rename"), std::string::npos);

  // A refused confirmation leaves the key where it is.
  scripted_->answerConfirmations({search::dialogResult(search::ConfirmationAnswer::Reject)});
  EXPECT_FALSE(deleteKeyAt("HKEY_LOCAL_MACHINE\\Software\\Tree\\Renamed"));
  KeyListing listing = listSubkeys("HKEY_LOCAL_MACHINE\\Software\\Tree");
  ASSERT_EQ(listing.keys.size(), 4u);
  EXPECT_TRUE(deleteKeyAt("HKEY_LOCAL_MACHINE\\Software\\Tree\\Renamed"));
  EXPECT_EQ(listSubkeys("HKEY_LOCAL_MACHINE\\Software\\Tree").keys.size(), 3u);

  KeyStatus status = readKeyStatus("HKEY_LOCAL_MACHINE\\Software\\Tree", false);
  EXPECT_EQ(status.keys, "3 Sub Keys(s)");
  EXPECT_EQ(status.values, "0 Value(s)");
  EXPECT_EQ(readKeyStatus("HKEY_LOCAL_MACHINE\\Nowhere", false).keys, "Unknown No. Sub Key(s)");
}

TEST_F(BrowsersTest, ValueRowsReadSortAndSearchAsShown) {
  const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Tree";
  setString(path, "", "default");
  setString(path, "Nine", "123456789");
  setString(path, "Ten", "1234567890");
  setString(path, "HRZR_EHAPZQ", "rotated");  // a rotated name reads as text
  DWORD big = 20;
  HKEY key = registry::openKeyByPath(path, registry::kAllKeyAccess, {});
  ASSERT_EQ(RegSetValueExA(key, "Odd", 0, 20, reinterpret_cast<const BYTE*>(&big), sizeof big), ERROR_SUCCESS);
  registry::closeKey(key);

  ValueListing listing = readValues(path);
  ASSERT_TRUE(listing.opened);
  ValueList list;
  list.reset(path, std::move(listing.rows));
  ASSERT_EQ(list.size(), 5u);
  const ValueRow* unnamed = list.row(*list.findByName(""));
  EXPECT_EQ(unnamed->text(ValueColumn::Name), "(Default Value)");
  EXPECT_EQ(unnamed->text(ValueColumn::Type), "String");
  const ValueRow* odd = list.row(*list.findByName("Odd"));
  EXPECT_EQ(valueImage(odd->type), kUnknownTypeImage);
  EXPECT_EQ(odd->text(ValueColumn::Size), "4");
  const ValueRow* rotated = list.row(*list.findByName("HRZR_EHAPZQ"));
  ASSERT_TRUE(rotated->translatedName.has_value());
  EXPECT_NE(*rotated->translatedName, "HRZR_EHAPZQ");

  // Sizes compare as text: "11" (Ten) before "4" (Odd) before "8" (default).
  list.sortBy(ValueColumn::Size);
  std::vector<std::string> sizes;
  for (const auto& r : list.rows()) sizes.push_back(r.text(ValueColumn::Size));
  EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
  EXPECT_EQ(sizes.front(), "10");

  EXPECT_EQ(list.row(*list.findByPrefix("ni", true))->rawName, "Nine");
  EXPECT_FALSE(list.findByPrefix("hrzr_x", false).has_value());

  EXPECT_FALSE(readValues("HKEY_LOCAL_MACHINE\\Nowhere").opened);
  EXPECT_EQ(scripted_->boxLines().back(), "Failure: Cannot View Values in this Path, Unable to Open Key");
  const std::size_t boxes = scripted_->boxLines().size();
  EXPECT_FALSE(readValues("HKEY_LOCAL_MACHINE\\Nowhere", nullptr, true).opened);
  EXPECT_EQ(scripted_->boxLines().size(), boxes);

  std::atomic<bool> cancel{true};
  EXPECT_TRUE(readValues(path, &cancel).cancelled);
}

TEST_F(BrowsersTest, ValueChangesCreateRenameRetypeWriteBackAndDelete) {
  const std::string path = "HKEY_LOCAL_MACHINE\\Software\\Tree";
  std::string name = "Fresh";
  ASSERT_TRUE(createValueAt(path, name, REG_BINARY));
  auto fresh = readValue(path, "Fresh");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(fresh->data, std::vector<BYTE>{0});

  ASSERT_TRUE(writeValueData(path, "Fresh", REG_BINARY, {1, 2, 3}));
  EXPECT_EQ(readValue(path, "Fresh")->data, (std::vector<BYTE>{1, 2, 3}));
  ASSERT_TRUE(changeValueType(path, "Fresh", REG_NONE));
  EXPECT_EQ(readValue(path, "Fresh")->type, static_cast<DWORD>(REG_NONE));

  // A change of case only keeps the value (and its data) under the new case.
  std::string newName = "FRESH";
  ASSERT_TRUE(renameValueAt(path, "Fresh", newName));
  auto renamed = readValue(path, "FRESH");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->data, (std::vector<BYTE>{1, 2, 3}));
  ValueListing listing = readValues(path);
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_EQ(listing.rows[0].rawName, "FRESH");

  newName = "Other";
  ASSERT_TRUE(renameValueAt(path, "FRESH", newName));
  setString(path, "Second", "x");
  // One batch: each value through the gate, a missing one skipped.
  const std::vector<std::string> doomed{"Other", "Missing", "Second"};
  EXPECT_EQ(deleteValuesAt(path, doomed), 2u);
  EXPECT_TRUE(readValues(path).rows.empty());

  std::vector<std::string> creatable;
  for (const auto& t : creatableTypes()) creatable.push_back(t.name);
  EXPECT_EQ(creatable.size(), 11u);
  EXPECT_EQ(std::count(creatable.begin(), creatable.end(), "Double Word (Intel)"), 0);
  EXPECT_EQ(retypableTypes().size(), 12u);
  EXPECT_EQ(selectionStatus(2, 7), "Selected 2 of 7 Value(s)");
}

}  // namespace

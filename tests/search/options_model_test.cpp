#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/error_reporting.h"
#include "app/scripted_interaction.h"
#include "registry/access/registry_access.h"
#include "search/options/options_model.h"

namespace {

using namespace talmoor::search;
using talmoor::errorBoxesSuppressed;
using talmoor::setErrorBoxesSuppressed;

// Indexes of the items in the trees.
constexpr std::size_t kBinary = 3, kString = 1, kNone = 0, kCustom = 11;
const ItemPath kPauseOnError{0, 0}, kAntiVirus{1, 0}, kConversion{2, 0};
const ItemPath kCreate{0}, kDelete{1}, kOverwrite{4}, kMove{7};

class SearchOptionsModelTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    resetSearchOptions();
    setErrorBoxesSuppressed(false);
  }
  static void store(void (*change)(SearchOptions&)) {
    SearchOptions options = currentSearchOptions();
    change(options);
    storeSearchOptions(options);
  }
};

std::vector<std::string> texts(const std::vector<OptionTreeItem>& items) {
  std::vector<std::string> result;
  for (const auto& item : items) result.push_back(item.text);
  return result;
}

std::vector<bool> ticks(const OptionTree& tree) {
  std::vector<bool> result;
  for (const auto& item : tree.items) result.push_back(item.ticked);
  return result;
}

void expectSameOptions(const SearchOptions& actual, const SearchOptions& expected) {
  EXPECT_EQ(actual.searchFlags, expected.searchFlags);
  EXPECT_EQ(actual.typeMask, expected.typeMask);
  EXPECT_EQ(actual.alwaysMatchOnName, expected.alwaysMatchOnName);
  EXPECT_EQ(actual.tamperCheck, expected.tamperCheck);
  EXPECT_EQ(actual.intelligentConversion, expected.intelligentConversion);
  EXPECT_EQ(actual.confirmationsOff, expected.confirmationsOff);
  for (int kind = 0; kind < 3; ++kind)
    for (DWORD op = 0; op <= kOpHighest; ++op) {
      EXPECT_EQ(actual.confirmationTemplate[kind][op].suppressed, expected.confirmationTemplate[kind][op].suppressed)
          << kind << "/" << op;
      EXPECT_EQ(actual.confirmationTemplate[kind][op].answer, expected.confirmationTemplate[kind][op].answer);
    }
}

TEST_F(SearchOptionsModelTest, ShowsTheDefaultsInTheDialogsWordsAndClosesWithoutChangingThem) {
  SearchOptionsModel model;
  EXPECT_TRUE(model.keys() && model.values() && model.data() && model.alwaysMatch());
  EXPECT_FALSE(model.searchAllTypes());
  EXPECT_TRUE(model.displayConfirmations());
  EXPECT_FALSE(model.namingRulesButtonVisible());

  const OptionTree& types = model.tree(OptionsTree::Types);
  EXPECT_EQ(texts(types.items),
            (std::vector<std::string>{"None", "String", "Expanded String", "Binary", "Double Word",
                                      "Double Word (Motorola)", "Link", "Multi-String", "Resource List",
                                      "Resource Descriptor", "Resource Requirements", "All Custom Types"}));
  EXPECT_EQ(ticks(types), (std::vector<bool>{0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_TRUE(types.enabled);
  EXPECT_EQ(types.tooltip.substr(0, 30), "Place a tick next to the types");

  const OptionTree& misc = model.tree(OptionsTree::Miscellaneous);
  EXPECT_EQ(texts(misc.items),
            (std::vector<std::string>{"Recommended", "Anti-Virus Methods", "Inteligent Conversion"}));
  EXPECT_EQ(misc.find(kPauseOnError)->text, "Pause on Error");
  EXPECT_EQ(misc.find(kPauseOnError)->tooltip, "Displays Errors Immidiately.");
  EXPECT_EQ(misc.find(kAntiVirus)->text, "Enable");
  EXPECT_EQ(misc.find(kConversion)->text, "Enable");
  for (const auto& path : {kPauseOnError, kAntiVirus, kConversion}) EXPECT_TRUE(misc.find(path)->ticked);

  for (auto which : {OptionsTree::KeyConfirmations, OptionsTree::ValueConfirmations}) {
    const OptionTree& tree = model.tree(which);
    EXPECT_EQ(texts(tree.items), (std::vector<std::string>{"Create", "Delete", "Change Path", "Rename Value",
                                                           "Overwrite", "Copy", "Rename", "Move"}));
    EXPECT_EQ(ticks(tree), std::vector<bool>(8, true));
    EXPECT_TRUE(tree.enabled);
  }
  EXPECT_NE(model.tree(OptionsTree::KeyConfirmations).tooltip.find(" Key "), std::string::npos);
  EXPECT_NE(model.tree(OptionsTree::ValueConfirmations).tooltip.find(" Value "), std::string::npos);

  model.close();
  expectSameOptions(currentSearchOptions(), SearchOptions{});
  EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);
  EXPECT_FALSE(errorBoxesSuppressed());
}

TEST_F(SearchOptionsModelTest, EveryOtherStateAlsoSurvivesOpeningAndClosing) {
  store([](SearchOptions& o) {
    o.searchFlags = kSearchKeyNames | kSearchValueData;
    o.typeMask = 0x1000 | 0x88;
    o.alwaysMatchOnName = 0;
    o.tamperCheck = 0;
    o.intelligentConversion = 0;
    o.confirmationsOff = 1;
    o.confirmationTemplate[kChangeKey][kOpCreate].suppressed = 1;
    o.confirmationTemplate[kChangeValue][kOpMove].suppressed = 1;
    o.confirmationTemplate[kChangeValue][kOpRead] = {1, kAnswerReject};  // a slot no item shows
  });
  setErrorBoxesSuppressed(true);
  const SearchOptions before = currentSearchOptions();

  SearchOptionsModel model;
  EXPECT_TRUE(model.keys() && !model.values() && model.data() && !model.alwaysMatch());
  EXPECT_TRUE(model.searchAllTypes());
  EXPECT_FALSE(model.tree(OptionsTree::Types).enabled);
  EXPECT_EQ(ticks(model.tree(OptionsTree::Types)), std::vector<bool>(12, true));
  EXPECT_FALSE(model.displayConfirmations());
  EXPECT_FALSE(model.tree(OptionsTree::KeyConfirmations).enabled);
  EXPECT_FALSE(model.tree(OptionsTree::KeyConfirmations).find(kCreate)->ticked);
  EXPECT_FALSE(model.tree(OptionsTree::ValueConfirmations).find(kMove)->ticked);
  for (const auto& path : {kPauseOnError, kAntiVirus, kConversion})
    EXPECT_FALSE(model.tree(OptionsTree::Miscellaneous).find(path)->ticked);

  model.close();
  expectSameOptions(currentSearchOptions(), before);
  EXPECT_TRUE(errorBoxesSuppressed());
}

TEST_F(SearchOptionsModelTest, SearchAllTypesKeepsTheIndividualTicksBehindIt) {
  {
    SearchOptionsModel model;
    model.setSearchAllTypes(true);
    EXPECT_FALSE(model.tree(OptionsTree::Types).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::Types)), std::vector<bool>(12, true));
    EXPECT_FALSE(model.setItemTicked(OptionsTree::Types, {kBinary}, false));  // disabled tree
    model.close();
    EXPECT_EQ(currentSearchOptions().typeMask, 0x1086u);
  }
  {
    SearchOptionsModel model;
    model.setSearchAllTypes(false);
    EXPECT_TRUE(model.tree(OptionsTree::Types).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::Types)), (std::vector<bool>{0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
    model.close();
    EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);
  }
  {
    // A tick made before the box is ticked is among those it brings back.
    SearchOptionsModel model;
    EXPECT_TRUE(model.toggleItem(OptionsTree::Types, {kBinary}));
    model.setSearchAllTypes(true);
    model.setSearchAllTypes(false);
    EXPECT_TRUE(model.tree(OptionsTree::Types).find({kBinary})->ticked);
    model.setSearchAllTypes(true);
    model.close();
    EXPECT_EQ(currentSearchOptions().typeMask, 0x108Eu);
  }
}

TEST_F(SearchOptionsModelTest, TypeTicksRebuildTheMaskOnClosing) {
  SearchOptionsModel model;
  EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kString}, false));
  EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kNone}, true));
  EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kCustom}, true));
  EXPECT_FALSE(model.setItemTicked(OptionsTree::Types, {12}, true));
  EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);  // nothing is stored before closing
  model.close();
  EXPECT_EQ(currentSearchOptions().typeMask, 0x885u);
}

TEST_F(SearchOptionsModelTest, SwitchingConfirmationsOffKeepsTheTemplateAndDisablesBothTrees) {
  {
    SearchOptionsModel model;
    model.setDisplayConfirmations(false);
    for (auto which : {OptionsTree::KeyConfirmations, OptionsTree::ValueConfirmations}) {
      EXPECT_FALSE(model.tree(which).enabled);
      EXPECT_EQ(ticks(model.tree(which)), std::vector<bool>(8, false));
      EXPECT_FALSE(model.setItemTicked(which, kCreate, true));
    }
    model.close();
    EXPECT_EQ(currentSearchOptions().confirmationsOff, 1);
    SearchOptions expected;
    expected.confirmationsOff = 1;
    expectSameOptions(currentSearchOptions(), expected);
  }
  {
    // Switching them back on shows the template again.
    SearchOptionsModel model;
    model.setDisplayConfirmations(true);
    EXPECT_TRUE(model.tree(OptionsTree::ValueConfirmations).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::ValueConfirmations)), std::vector<bool>(8, true));
    model.close();
    EXPECT_EQ(currentSearchOptions().confirmationsOff, 0);
  }
  {
    // An edit made while they were on is kept when they go off.
    SearchOptionsModel model;
    model.setItemTicked(OptionsTree::ValueConfirmations, kDelete, false);
    model.setDisplayConfirmations(false);
    model.setDisplayConfirmations(true);
    EXPECT_FALSE(model.tree(OptionsTree::ValueConfirmations).find(kDelete)->ticked);
    model.setDisplayConfirmations(false);
    model.close();
    EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeValue][kOpDelete].suppressed, 1u);
  }
}

TEST_F(SearchOptionsModelTest, AnUntickedConfirmationSuppressesOnlyItsKindsSlot) {
  {
    SearchOptionsModel model;
    model.setItemTicked(OptionsTree::KeyConfirmations, kOverwrite, false);
    model.setItemTicked(OptionsTree::ValueConfirmations, kMove, false);
    model.close();
  }
  SearchOptions expected;
  expected.confirmationTemplate[kChangeKey][kOpOverwrite].suppressed = 1;
  expected.confirmationTemplate[kChangeValue][kOpMove].suppressed = 1;
  expectSameOptions(currentSearchOptions(), expected);

  SearchOptionsModel model;
  EXPECT_FALSE(model.tree(OptionsTree::KeyConfirmations).find(kOverwrite)->ticked);
  EXPECT_TRUE(model.tree(OptionsTree::ValueConfirmations).find(kOverwrite)->ticked);
  model.toggleItem(OptionsTree::KeyConfirmations, kOverwrite);
  model.close();
  EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeKey][kOpOverwrite].suppressed, 0u);
  EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeValue][kOpMove].suppressed, 1u);
}

TEST_F(SearchOptionsModelTest, MiscellaneousItemsWriteTheirSwitches) {
  {
    SearchOptionsModel model;
    EXPECT_FALSE(model.setItemTicked(OptionsTree::Miscellaneous, {0}, false));  // a group node
    model.setItemTicked(OptionsTree::Miscellaneous, kPauseOnError, false);
    EXPECT_FALSE(errorBoxesSuppressed());
    model.close();
  }
  EXPECT_TRUE(errorBoxesSuppressed());
  {
    SearchOptionsModel model;
    EXPECT_FALSE(model.tree(OptionsTree::Miscellaneous).find(kPauseOnError)->ticked);
    model.setItemTicked(OptionsTree::Miscellaneous, kPauseOnError, true);
    model.setItemTicked(OptionsTree::Miscellaneous, kAntiVirus, false);
    model.setItemTicked(OptionsTree::Miscellaneous, kConversion, false);
    model.close();
  }
  EXPECT_FALSE(errorBoxesSuppressed());
  EXPECT_EQ(currentSearchOptions().tamperCheck, 0);
  EXPECT_EQ(currentSearchOptions().intelligentConversion, 0);
  EXPECT_FALSE(talmoor::registry::accessOptions().intelligentConversion);
}

TEST_F(SearchOptionsModelTest, IncludeBoxesMakeTheSearchFlags) {
  {
    SearchOptionsModel model;
    model.setKeys(false);
    model.setValues(false);
    model.setData(false);
    model.setAlwaysMatch(false);
    model.close();
  }
  EXPECT_EQ(currentSearchOptions().searchFlags, 0u);
  EXPECT_EQ(currentSearchOptions().alwaysMatchOnName, 0);
  {
    SearchOptionsModel model;
    model.setValues(true);
    model.close();
  }
  EXPECT_EQ(currentSearchOptions().searchFlags, kSearchValueNames);
}

TEST_F(SearchOptionsModelTest, ClosingLeavesConfirmationsAsARunningSearchSetThemUnlessClicked) {
  setConfirmationsOff(true);
  {
    SearchOptionsModel model;
    setConfirmationsOff(false);  // a write check turns them back on meanwhile
    model.close();
  }
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 0);
  setConfirmationsOff(true);
  {
    SearchOptionsModel model;
    model.setDisplayConfirmations(true);
    model.setDisplayConfirmations(false);
    setConfirmationsOff(false);
    model.close();
  }
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 1);
}

// Presses the hot key again while its box is up.
class ReenteringInteraction : public talmoor::ScriptedInteraction {
 public:
  SearchOptionsModel* model = nullptr;
  bool nestedShown = true;
  int messageBox(const talmoor::MessageBoxRequest& request) override {
    if (model) nestedShown = model->showCommandLine();
    return ScriptedInteraction::messageBox(request);
  }
};

TEST_F(SearchOptionsModelTest, CommandLineBoxOnlyOnceAndOnlyWhileOpen) {
  auto boxes = std::make_shared<ReenteringInteraction>();
  talmoor::ScopedInteraction scoped(boxes);
  SearchOptionsModel model("talmoor --prefix /home/ann/.wine");
  boxes->model = &model;
  EXPECT_TRUE(model.showCommandLine());
  EXPECT_FALSE(boxes->nestedShown);
  EXPECT_TRUE(model.showCommandLine());  // the first box has gone
  EXPECT_EQ(boxes->boxLines(), (std::vector<std::string>(2, "Command Line: talmoor --prefix /home/ann/.wine")));
  model.close();
  EXPECT_FALSE(model.showCommandLine());
  EXPECT_EQ(boxes->boxes().size(), 2u);
}

TEST(SearchOptionsBinding, ByteSwitchesAreYesOrNo) {
  BYTE flag = 0;
  OptionBinding plain(flag, 1), inverted(flag, 1, true);
  EXPECT_EQ(plain.width(), 1);
  EXPECT_FALSE(plain.ticked());
  EXPECT_TRUE(inverted.ticked());
  flag = 2;  // any non-zero byte is on
  EXPECT_TRUE(plain.ticked());
  EXPECT_FALSE(inverted.ticked());
  plain.apply(false);
  EXPECT_EQ(flag, 0);  // off for good, not just without the mask bit
  inverted.apply(false);
  EXPECT_EQ(flag, 1);
  inverted.apply(true);
  EXPECT_EQ(flag, 0);
}

TEST(SearchOptionsBinding, WideVariablesShowAndWriteOnlyTheirMask) {
  DWORD word = 0x3;
  OptionBinding plain(word, 1), inverted(word, 1, true);
  EXPECT_EQ(plain.width(), 4);
  EXPECT_TRUE(plain.ticked());  // the other bit does not matter
  EXPECT_FALSE(inverted.ticked());
  plain.apply(false);
  EXPECT_EQ(word, 0x2u);
  EXPECT_FALSE(plain.ticked());
  inverted.apply(false);
  EXPECT_EQ(word, 0x3u);
  DWORD pair = 0x1;
  EXPECT_FALSE(OptionBinding(pair, 0x5).ticked());  // every mask bit is needed
  WORD half = 0;
  OptionBinding(half, 0x8000).apply(true);
  EXPECT_EQ(half, 0x8000);
  EXPECT_EQ(OptionBinding(half, 0x8000).width(), 2);
}

TEST(SearchOptionsBinding, ApplyingWhatIsShownNeverChangesAVariable) {
  for (bool invert : {false, true})
    for (DWORD start : {0u, 1u, 2u, 3u, 0xFFu}) {
      BYTE byte = static_cast<BYTE>(start);
      DWORD word = start;
      for (const OptionBinding& binding : {OptionBinding(byte, 1, invert), OptionBinding(word, 1, invert)}) {
        binding.apply(binding.ticked());
      }
      EXPECT_EQ(byte, static_cast<BYTE>(start)) << start << invert;
      EXPECT_EQ(word, start) << start << invert;
      for (bool tick : {false, true}) {
        OptionBinding b1(byte, 1, invert), b4(word, 1, invert);
        b1.apply(tick);
        b4.apply(tick);
        EXPECT_EQ(b1.ticked(), tick);
        EXPECT_EQ(b4.ticked(), tick);
      }
    }
}

TEST(SearchOptionsTree, ApplyingReachesBoundItemsAtEveryDepth) {
  BYTE top = 0, nested = 0, deeper = 0;
  OptionTree tree;
  OptionTreeItem& group = tree.group("Group");
  group.children.push_back(OptionTree::boundItem("a", OptionBinding(nested, 1)));
  group.children[0].children.push_back(OptionTree::boundItem("b", OptionBinding(deeper, 1)));
  tree.items.push_back(OptionTree::boundItem("c", OptionBinding(top, 1)));
  EXPECT_EQ(&tree.group("Group"), &tree.items[0]);  // found by its text, not made twice
  for (const ItemPath& path : {ItemPath{0, 0}, ItemPath{0, 0, 0}, ItemPath{1}}) tree.find(path)->ticked = true;
  tree.apply();
  EXPECT_EQ(top + nested + deeper, 3);
  tree.untickAll();
  nested = 0;
  tree.tickFromBindings();
  EXPECT_FALSE(tree.find({0, 0})->ticked);
  EXPECT_TRUE(tree.find({0, 0, 0})->ticked);
}

}  // namespace

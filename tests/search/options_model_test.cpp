#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/error_reporting.h"
#include "support/scripted_interaction.h"
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
const std::vector<bool> kDefaultTypeTicks{0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // mask 0x86

class SearchOptionsModelTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    resetSearchOptions();
    setErrorBoxesSuppressed(false);
  }
  // Opens the dialog, lets `use` work its controls, and closes it.
  static void edit(const std::function<void(SearchOptionsModel&)>& use) {
    SearchOptionsModel model;
    use(model);
    model.close();
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

// Every option as text, so that a difference names itself.
std::string describe(const SearchOptions& o) {
  std::string out = std::to_string(o.searchFlags) + " " + std::to_string(o.typeMask) + " " +
                    std::to_string(o.alwaysMatchOnName) + std::to_string(o.tamperCheck) +
                    std::to_string(o.intelligentConversion) + std::to_string(o.confirmationsOff);
  for (int kind = 0; kind < 3; ++kind)
    for (DWORD op = 0; op <= kOpHighest; ++op)
      if (const auto& slot = o.confirmationTemplate[kind][op];
          slot.suppressed || slot.answer != ConfirmationAnswer::Accept)
        out += " [" + std::to_string(kind) + "/" + std::to_string(op) + "]=" + std::to_string(slot.suppressed) + "," +
               std::to_string(static_cast<int>(slot.answer));
  return out;
}

TEST_F(SearchOptionsModelTest, ShowsTheDefaultsInTheDialogsWordsAndClosesWithoutChangingThem) {
  SearchOptionsModel model;
  EXPECT_TRUE(model.keys() && model.values() && model.data() && model.alwaysMatch());
  EXPECT_FALSE(model.searchAllTypes());
  EXPECT_TRUE(model.displayConfirmations());

  const OptionTree& types = model.tree(OptionsTree::Types);
  EXPECT_EQ(texts(types.items),
            (std::vector<std::string>{"None", "String", "Expanded String", "Binary", "Double Word",
                                      "Double Word (Motorola)", "Link", "Multi-String", "Resource List",
                                      "Resource Descriptor", "Resource Requirements", "All Custom Types"}));
  EXPECT_EQ(ticks(types), kDefaultTypeTicks);
  EXPECT_TRUE(types.enabled);

  const OptionTree& misc = model.tree(OptionsTree::Miscellaneous);
  EXPECT_EQ(texts(misc.items),
            (std::vector<std::string>{"Recommended", "Anti-Virus Methods", "Inteligent Conversion"}));
  EXPECT_EQ(misc.find(kPauseOnError)->text, "Pause on Error");
  for (const auto& path : {kPauseOnError, kAntiVirus, kConversion}) EXPECT_TRUE(misc.find(path)->ticked);

  for (auto which : {OptionsTree::KeyConfirmations, OptionsTree::ValueConfirmations}) {
    const OptionTree& tree = model.tree(which);
    EXPECT_EQ(texts(tree.items), (std::vector<std::string>{"Create", "Delete", "Change Path", "Rename Value",
                                                           "Overwrite", "Copy", "Rename", "Move"}));
    EXPECT_EQ(ticks(tree), std::vector<bool>(8, true));
    EXPECT_TRUE(tree.enabled);
  }

  model.close();
  EXPECT_EQ(describe(currentSearchOptions()), describe(SearchOptions{}));
  EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);
  EXPECT_FALSE(errorBoxesSuppressed());
}

TEST_F(SearchOptionsModelTest, EveryOtherStateAlsoSurvivesOpeningAndClosing) {
  SearchOptions o;
  o.searchFlags = kSearchKeyNames | kSearchValueData;
  o.typeMask = 0x1000 | 0x88;
  o.alwaysMatchOnName = 0;
  o.tamperCheck = 0;
  o.intelligentConversion = 0;
  o.confirmationsOff = 1;
  o.confirmationTemplate[kChangeKey][kOpCreate].suppressed = 1;
  o.confirmationTemplate[kChangeValue][kOpMove].suppressed = 1;
  o.confirmationTemplate[kChangeValue][kOpRead] = {1, ConfirmationAnswer::Reject};  // a slot no item shows
  storeSearchOptions(o);
  setErrorBoxesSuppressed(true);
  const SearchOptions before = currentSearchOptions();

  edit([](SearchOptionsModel& model) {
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
  });
  EXPECT_EQ(describe(currentSearchOptions()), describe(before));
  EXPECT_TRUE(errorBoxesSuppressed());
}

TEST_F(SearchOptionsModelTest, SearchAllTypesKeepsTheIndividualTicksBehindIt) {
  edit([](SearchOptionsModel& model) {
    model.setSearchAllTypes(true);
    EXPECT_FALSE(model.tree(OptionsTree::Types).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::Types)), std::vector<bool>(12, true));
    EXPECT_FALSE(model.setItemTicked(OptionsTree::Types, {kBinary}, false));  // disabled tree
  });
  EXPECT_EQ(currentSearchOptions().typeMask, 0x1086u);
  edit([](SearchOptionsModel& model) {
    model.setSearchAllTypes(false);
    EXPECT_TRUE(model.tree(OptionsTree::Types).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::Types)), kDefaultTypeTicks);
  });
  EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);
  // A tick made before the box is ticked is among those it brings back.
  edit([](SearchOptionsModel& model) {
    EXPECT_TRUE(model.toggleItem(OptionsTree::Types, {kBinary}));
    model.setSearchAllTypes(true);
    model.setSearchAllTypes(false);
    EXPECT_TRUE(model.tree(OptionsTree::Types).find({kBinary})->ticked);
    model.setSearchAllTypes(true);
  });
  EXPECT_EQ(currentSearchOptions().typeMask, 0x108Eu);
}

TEST_F(SearchOptionsModelTest, TypeTicksRebuildTheMaskOnClosing) {
  edit([](SearchOptionsModel& model) {
    EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kString}, false));
    EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kNone}, true));
    EXPECT_TRUE(model.setItemTicked(OptionsTree::Types, {kCustom}, true));
    EXPECT_FALSE(model.setItemTicked(OptionsTree::Types, {12}, true));
    EXPECT_EQ(currentSearchOptions().typeMask, 0x86u);  // nothing is stored before closing
  });
  EXPECT_EQ(currentSearchOptions().typeMask, 0x885u);
}

TEST_F(SearchOptionsModelTest, SwitchingConfirmationsOffKeepsTheTemplateAndDisablesBothTrees) {
  edit([](SearchOptionsModel& model) {
    model.setDisplayConfirmations(false);
    for (auto which : {OptionsTree::KeyConfirmations, OptionsTree::ValueConfirmations}) {
      EXPECT_FALSE(model.tree(which).enabled);
      EXPECT_EQ(ticks(model.tree(which)), std::vector<bool>(8, false));
      EXPECT_FALSE(model.setItemTicked(which, kCreate, true));
    }
  });
  SearchOptions expected;
  expected.confirmationsOff = 1;
  EXPECT_EQ(describe(currentSearchOptions()), describe(expected));
  // Switching them back on shows the template again.
  edit([](SearchOptionsModel& model) {
    model.setDisplayConfirmations(true);
    EXPECT_TRUE(model.tree(OptionsTree::ValueConfirmations).enabled);
    EXPECT_EQ(ticks(model.tree(OptionsTree::ValueConfirmations)), std::vector<bool>(8, true));
  });
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 0);
  // An edit made while they were on is kept when they go off.
  edit([](SearchOptionsModel& model) {
    model.setItemTicked(OptionsTree::ValueConfirmations, kDelete, false);
    model.setDisplayConfirmations(false);
    model.setDisplayConfirmations(true);
    EXPECT_FALSE(model.tree(OptionsTree::ValueConfirmations).find(kDelete)->ticked);
    model.setDisplayConfirmations(false);
  });
  EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeValue][kOpDelete].suppressed, 1u);
}

TEST_F(SearchOptionsModelTest, AnUntickedConfirmationSuppressesOnlyItsKindsSlot) {
  edit([](SearchOptionsModel& model) {
    model.setItemTicked(OptionsTree::KeyConfirmations, kOverwrite, false);
    model.setItemTicked(OptionsTree::ValueConfirmations, kMove, false);
  });
  SearchOptions expected;
  expected.confirmationTemplate[kChangeKey][kOpOverwrite].suppressed = 1;
  expected.confirmationTemplate[kChangeValue][kOpMove].suppressed = 1;
  EXPECT_EQ(describe(currentSearchOptions()), describe(expected));

  edit([](SearchOptionsModel& model) {
    EXPECT_FALSE(model.tree(OptionsTree::KeyConfirmations).find(kOverwrite)->ticked);
    EXPECT_TRUE(model.tree(OptionsTree::ValueConfirmations).find(kOverwrite)->ticked);
    model.toggleItem(OptionsTree::KeyConfirmations, kOverwrite);
  });
  EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeKey][kOpOverwrite].suppressed, 0u);
  EXPECT_EQ(currentSearchOptions().confirmationTemplate[kChangeValue][kOpMove].suppressed, 1u);
}

TEST_F(SearchOptionsModelTest, MiscellaneousItemsWriteTheirSwitches) {
  edit([](SearchOptionsModel& model) {
    EXPECT_FALSE(model.setItemTicked(OptionsTree::Miscellaneous, {0}, false));  // a group node
    model.setItemTicked(OptionsTree::Miscellaneous, kPauseOnError, false);
    EXPECT_FALSE(errorBoxesSuppressed());
  });
  EXPECT_TRUE(errorBoxesSuppressed());
  edit([](SearchOptionsModel& model) {
    EXPECT_FALSE(model.tree(OptionsTree::Miscellaneous).find(kPauseOnError)->ticked);
    model.setItemTicked(OptionsTree::Miscellaneous, kPauseOnError, true);
    model.setItemTicked(OptionsTree::Miscellaneous, kAntiVirus, false);
    model.setItemTicked(OptionsTree::Miscellaneous, kConversion, false);
  });
  EXPECT_FALSE(errorBoxesSuppressed());
  EXPECT_EQ(currentSearchOptions().tamperCheck, 0);
  EXPECT_EQ(currentSearchOptions().intelligentConversion, 0);
  EXPECT_FALSE(talmoor::registry::accessOptions().intelligentConversion);
}

TEST_F(SearchOptionsModelTest, IncludeBoxesMakeTheSearchFlags) {
  edit([](SearchOptionsModel& model) {
    model.setKeys(false);
    model.setValues(false);
    model.setData(false);
    model.setAlwaysMatch(false);
  });
  EXPECT_EQ(currentSearchOptions().searchFlags, 0u);
  EXPECT_EQ(currentSearchOptions().alwaysMatchOnName, 0);
  edit([](SearchOptionsModel& model) { model.setValues(true); });
  EXPECT_EQ(currentSearchOptions().searchFlags, kSearchValueNames);
}

TEST_F(SearchOptionsModelTest, ClosingLeavesConfirmationsAsARunningSearchSetThemUnlessClicked) {
  setConfirmationsOff(true);
  edit([](SearchOptionsModel&) { setConfirmationsOff(false); });  // a write check turns them back on meanwhile
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 0);
  setConfirmationsOff(true);
  edit([](SearchOptionsModel& model) {
    model.setDisplayConfirmations(true);
    model.setDisplayConfirmations(false);
    setConfirmationsOff(false);
  });
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

TEST(SearchOptionsBinding, BytesAreSwitchesWiderVariablesOnlyTheirMask) {
  BYTE flag = 2;  // any non-zero byte is on
  EXPECT_TRUE(OptionBinding(flag, 1).ticked());
  EXPECT_FALSE(OptionBinding(flag, 1, true).ticked());
  OptionBinding(flag, 1).apply(false);
  EXPECT_EQ(flag, 0);  // off for good, not just without the mask bit
  OptionBinding(flag, 1, true).apply(false);
  EXPECT_EQ(flag, 1);

  DWORD word = 0x3;
  OptionBinding(word, 1).apply(false);
  EXPECT_EQ(word, 0x2u);
  OptionBinding(word, 1, true).apply(false);
  EXPECT_EQ(word, 0x3u);
  DWORD pair = 0x1;
  EXPECT_FALSE(OptionBinding(pair, 0x5).ticked());  // every mask bit is needed
  WORD half = 0;
  OptionBinding(half, 0x8000).apply(true);
  EXPECT_EQ(half, 0x8000);
}

TEST(SearchOptionsBinding, ApplyingWhatIsShownNeverChangesAVariable) {
  for (bool invert : {false, true})
    for (DWORD start : {0u, 1u, 2u, 3u, 0xFFu}) {
      SCOPED_TRACE(std::to_string(start) + (invert ? " inverted" : ""));
      BYTE byte = static_cast<BYTE>(start);
      DWORD word = start;
      OptionBinding b1(byte, 1, invert), b4(word, 1, invert);
      b1.apply(b1.ticked());
      b4.apply(b4.ticked());
      EXPECT_EQ(byte, static_cast<BYTE>(start));
      EXPECT_EQ(word, start);
      for (bool tick : {false, true}) {
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

// Favourites as the menu, the settings and a .regfav file hold them.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "favourites/favourites.h"
#include "registry/access/registry_access.h"
#include "registry/settings_key.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

namespace talmoor::favourites {
namespace {

class FavouritesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = "Version";
    std::vector<BYTE> data{'1', 0};
    ASSERT_TRUE(registry::setValue("", 0, "HKEY_LOCAL_MACHINE\\Software\\Example", name, data, REG_SZ,
                                   registry::ReportTo(), nullptr));
  }

  std::vector<std::string> menuTexts(const FavouritesModel& model) {
    std::vector<std::string> texts;
    for (const auto& entry : model.menu()) texts.push_back(entry.text);
    return texts;
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> boxes_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_{boxes_};
};

TEST_F(FavouritesTest, TheMenuShowsEmptyUntilThereIsOneAndAgainWhenTheLastGoes) {
  FavouritesModel model;
  model.load();  // a first run: the key is made, nothing is there
  auto menu = model.menu();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[0].text, "&Add            Ctrl-A");
  EXPECT_EQ(menu[0].command, kAddCommand);
  EXPECT_EQ(menu[1].text, "&Organise    Ctrl-O");
  EXPECT_EQ(menu[2].kind, MenuEntry::Kind::Separator);
  EXPECT_EQ(menu[3].text, "<Empty>");
  EXPECT_EQ(menu[3].command, kFirstFavouriteCommand);
  EXPECT_FALSE(menu[3].enabled);

  int changes = 0;
  model.setListener([&] { ++changes; });
  auto command = model.add("Example", "HKEY_LOCAL_MACHINE\\Software\\Example");
  ASSERT_EQ(command, kFirstFavouriteCommand);
  menu = model.menu();
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[3].text, "Example");
  EXPECT_EQ(menu[3].valueNames, std::vector<std::string>{"Version"});  // the submenu of its values
  auto request = model.goTo(*command, "Version");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->keyPath, "HKEY_LOCAL_MACHINE\\Software\\Example");
  EXPECT_EQ(request->valueName, "Version");

  EXPECT_TRUE(model.remove(*command));
  EXPECT_EQ(menuTexts(model).back(), "<Empty>");
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(model.goTo(*command));
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].text, "Unable to Goto Favourite, cannot access Menu Data");
}

TEST_F(FavouritesTest, FavouritesLiveInTheSettingsAndComeBackInTheNextRun) {
  {
    FavouritesModel model;
    model.load();
    model.add("", "HKEY_CURRENT_USER");  // no name given: "Untitled"
    model.add("Wine", "HKEY_LOCAL_MACHINE\\Software\\Wine");
    model.add("wine", "HKEY_LOCAL_MACHINE\\Software\\Example");  // the same value name: that favourite, moved
  }
  // The unnamed value of the key, written by another program, is a favourite too.
  registry::writeStringSetting("", "HKEY_USERS", kFavouritesSubkey);
  FavouritesModel next;
  next.load();
  std::map<std::string, std::string> byName;
  for (const auto& f : next.favourites()) byName[shownName(f.name)] = f.path;
  EXPECT_EQ(byName, (std::map<std::string, std::string>{{"(Default Value)", "HKEY_USERS"},
                                                        {"Untitled", "HKEY_CURRENT_USER"},
                                                        {"Wine", "HKEY_LOCAL_MACHINE\\Software\\Example"}}));
  next.clear();
  FavouritesModel after;
  after.load();
  EXPECT_EQ(after.size(), 0u);
}

TEST_F(FavouritesTest, TheFiveHundredAndFirstIsRefusedAndCommandsStayBelow1001) {
  FavouritesModel model;
  for (std::size_t i = 0; i < kMaxFavourites; ++i)
    ASSERT_TRUE(model.add("F" + std::to_string(i), "HKEY_USERS", false));
  EXPECT_FALSE(model.add("one more", "HKEY_USERS", false));
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].text, "Sorry, you have too many favourites");
  // A removed favourite's command is given again: removing and adding never
  // walks the numbers past the menu's range.
  ASSERT_TRUE(model.remove(kFirstFavouriteCommand + 7));
  EXPECT_EQ(model.add("again", "HKEY_USERS", false), kFirstFavouriteCommand + 7);
  for (const auto& f : model.favourites()) EXPECT_LE(f.command, 1000);
}

TEST_F(FavouritesTest, AFavouritesFileCarriesNamesAndPathsBothWays) {
  FavouritesModel model;
  model.add("Example, with comma", "HKEY_LOCAL_MACHINE\\Software\\Example");
  model.add("Users", "HKEY_USERS");
  const auto file = registry_.dir().path() / "mine.regfav";
  ASSERT_TRUE(model.saveTo(file));
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Example] ; Example, with comma\r\n\r\n"
            "[HKEY_USERS] ; Users\r\n");

  model.clear();
  ASSERT_TRUE(model.loadFrom(file));
  auto loaded = model.favourites();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].name, "Example, with comma");
  EXPECT_EQ(loaded[1].path, "HKEY_USERS");
  // Loaded favourites are written to the settings, as added ones are.
  FavouritesModel next;
  next.load();
  EXPECT_EQ(next.size(), 2u);

  EXPECT_FALSE(model.loadFrom(registry_.dir().path() / "absent.regfav"));
}

}  // namespace
}  // namespace talmoor::favourites

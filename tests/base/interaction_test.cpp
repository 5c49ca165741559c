#include <gtest/gtest.h>

#include <sstream>

#include "base/console_interaction.h"
#include "support/scripted_interaction.h"

namespace {

using namespace talmoor;

TEST(ConsoleInteraction, AsksOnATerminalUntilTheAnswerFitsTheButtons) {
  std::istringstream in("maybe\nOK\nn\n");
  std::ostringstream out, err;
  ConsoleInteraction console(ConsolePolicy::Ask, in, out, err, true);
  EXPECT_EQ(console.messageBox({"WARNING", "Continue Loading Hive?", BoxButtons::YesNo, BoxIcon::Exclamation}), IDNO);
  EXPECT_NE(out.str().find("WARNING\nContinue Loading Hive?\n[Yes/No] "), std::string::npos) << out.str();
  // Input ends: the safe answer.
  EXPECT_EQ(console.messageBox({"Sorry", "Really?", BoxButtons::YesNoCancel, BoxIcon::Question}), IDCANCEL);
}

TEST(ConsoleInteraction, WithoutATerminalThePolicyAnswersAndSaysSo) {
  std::istringstream in;
  std::ostringstream out, err;
  ConsoleInteraction unattended(ConsolePolicy::Ask, in, out, err, false);
  EXPECT_EQ(unattended.messageBox({"Confirm", "Delete it?", BoxButtons::YesNo, BoxIcon::Question}), IDNO);
  EXPECT_EQ(unattended.messageBox({"Sorry", "Nothing found", BoxButtons::Ok, BoxIcon::NoIcon}), IDOK);
  EXPECT_EQ(err.str(), "Confirm: Delete it? [Yes/No] No\nSorry: Nothing found\n");
  EXPECT_TRUE(out.str().empty());

  std::ostringstream err2;
  ConsoleInteraction yes(ConsolePolicy::Yes, in, out, err2, true);
  EXPECT_EQ(yes.messageBox({"Confirm", "Delete it?", BoxButtons::YesNo, BoxIcon::Question}), IDYES);
  EXPECT_EQ(yes.messageBox({"Confirm", "Go on?", BoxButtons::OkCancel, BoxIcon::Question}), IDOK);
}

TEST(ScriptedInteraction, RecordsBoxesAndAnswersInOrder) {
  auto scripted = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed(scripted);
  scripted->answer({IDYES, IDNO});
  scripted->setDefaultAnswer(IDCANCEL);
  EXPECT_EQ(messageBox("first", "One", BoxButtons::YesNo), IDYES);
  EXPECT_EQ(messageBox("second", "Two", BoxButtons::YesNo), IDNO);
  EXPECT_EQ(messageBox("third", "Three", BoxButtons::YesNoCancel), IDCANCEL);
  EXPECT_EQ(scripted->boxLines(), (std::vector<std::string>{"One: first", "Two: second", "Three: third"}));
}

}  // namespace

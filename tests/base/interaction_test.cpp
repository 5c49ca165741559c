#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <sstream>
#include <vector>

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

// Questions answered on another thread, as the desktop's dialogs are: the
// "GUI thread" here keeps what is posted to it and answers only when told.
class DeferredInteraction : public Interaction {
 public:
  int messageBox(const MessageBoxRequest& request) override {
    return pending().ask<int>(request.owner, IDCANCEL, [this](std::function<void(int)> deliver) {
      std::lock_guard lock(mutex_);
      posted_.push_back(std::move(deliver));
    });
  }
  std::size_t posted() {
    std::lock_guard lock(mutex_);
    return posted_.size();
  }
  void answerAll(int answer) {
    std::vector<std::function<void(int)>> posted;
    {
      std::lock_guard lock(mutex_);
      posted.swap(posted_);
    }
    for (auto& deliver : posted) deliver(answer);
  }

 private:
  std::mutex mutex_;
  std::vector<std::function<void(int)>> posted_;
};

TEST(PendingQuestions, AWindowThatGoesAwayCancelsTheQuestionsWaitingForIt) {
  auto deferred = std::make_shared<DeferredInteraction>();
  constexpr WindowRef kClosing = 42, kStaying = 43;
  auto ask = [&](WindowRef owner) {
    return std::async(std::launch::async, [deferred, owner] {
      return deferred->messageBox({"Confirm", "Go on?", BoxButtons::YesNo, BoxIcon::Question, owner});
    });
  };
  auto closing = ask(kClosing);
  auto staying = ask(kStaying);
  while (deferred->posted() < 2) std::this_thread::yield();
  // The window closes while its worker waits: the worker is answered Cancel
  // and can be joined; the other window's question still waits.
  deferred->windowGone(kClosing);
  EXPECT_EQ(closing.get(), IDCANCEL);
  EXPECT_EQ(staying.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  // A late answer to the cancelled question changes nothing; the other is answered.
  deferred->answerAll(IDYES);
  EXPECT_EQ(staying.get(), IDYES);
  // Questions asked for the gone window later are answered at once, without
  // being posted.
  EXPECT_EQ(ask(kClosing).get(), IDCANCEL);
  EXPECT_EQ(deferred->posted(), 0u);
  EXPECT_TRUE(deferred->windowIsGone(kClosing));
  auto noWindow = ask(0);
  while (deferred->posted() < 1) std::this_thread::yield();
  deferred->windowGone(0);  // questions of no window are never cancelled this way
  deferred->answerAll(IDNO);
  EXPECT_EQ(noWindow.get(), IDNO);
}

}  // namespace

// The search driver through its messages: a whole run, pause and resume with
// new parameters, stop with and without the user's agreement, the roots a
// search walks, and the modes that work on the result rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/hive.h"
#include "search/search_driver.h"
#include "search/search_walk.h"
#include "search/search_test_support.h"

namespace talmoor::search {
namespace {

using namespace searchtest;

// A scripted interaction that lets a test act while a box is up.
class HookedInteraction : public ScriptedInteraction {
 public:
  std::function<void(const MessageBoxRequest&)> beforeAnswer;
  int messageBox(const MessageBoxRequest& request) override {
    if (beforeAnswer) beforeAnswer(request);
    return ScriptedInteraction::messageBox(request);
  }
};

class Driver : public SearchTest {
 protected:
  Driver() : hookedInstalled_(hooked_) {
    hooked_->setDefaultAnswer(IDNO);
    driver_ = std::make_unique<SearchDriver>(results_);
    driver_->setStartPath(std::string(kBase));
    driver_->controls().setStatusSink([this](int part, std::string_view text) {
      StatusSink extra;
      {
        std::lock_guard lock(mutex_);
        statuses_.emplace_back(part, std::string(text));
        extra = onStatus_;
      }
      if (extra) extra(part, text);
    });
    driver_->controls().setListener([this](const SearchControls& controls) {
      std::function<void(const SearchControls&)> extra;
      {
        std::lock_guard lock(mutex_);
        controls_.push_back(controls);
        extra = onControls_;
      }
      if (extra) extra(controls);
    });
  }
  ~Driver() override { mustFinish([this] { driver_.reset(); }, "closing the driver"); }

  void run(int mode, std::string find = {}, std::string replacement = {}) {
    driver_->setParameters(parameters(mode, std::move(find), std::move(replacement)));
    driver_->pressGo();
    waitIdle();
  }
  void waitIdle() { mustFinish([this] { driver_->waitUntilIdle(); }, "the search"); }

  std::vector<std::string> statusTexts(int part) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [p, text] : statuses_)
      if (p == part) out.push_back(text);
    return out;
  }
  std::vector<std::string> rowValues() const {
    std::vector<std::string> out;
    for (const auto& row : results_->rows()) out.push_back(row.value.empty() ? row.subKey : row.value);
    return out;
  }

  std::shared_ptr<HookedInteraction> hooked_ = std::make_shared<HookedInteraction>();
  ScopedInteraction hookedInstalled_;
  std::shared_ptr<ResultList> results_ = std::make_shared<ResultList>();
  mutable std::mutex mutex_;
  std::vector<std::pair<int, std::string>> statuses_;
  std::vector<SearchControls> controls_;
  StatusSink onStatus_;
  std::function<void(const SearchControls&)> onControls_;
  std::unique_ptr<SearchDriver> driver_;
};

TEST_F(Driver, AFindRunFromGoToReady) {
  putSz(kBase, "foo1", "x");
  putSz(kBase, "bar", "y");
  putSz(kBase + std::string("\\Sub"), "v", "has FOO");
  run(kModeFind, "foo");

  EXPECT_EQ(rowValues(), (std::vector<std::string>{"foo1", "v"}));
  auto state = statusTexts(0);
  ASSERT_FALSE(state.empty());
  EXPECT_EQ(state.front(), "Searching...");
  EXPECT_EQ(state.back(), "Ready");
  auto path = statusTexts(1);
  EXPECT_NE(std::find(path.begin(), path.end(), kBase + std::string("\\Sub")), path.end());
  EXPECT_EQ(path.back(), "Found 2 items.");
  EXPECT_EQ(driver_->histories().find.entries(), std::vector<std::string>{"foo"});
  std::lock_guard lock(mutex_);
  ASSERT_GE(controls_.size(), 2u);
  EXPECT_EQ(controls_.front().goText, "Stop");
  EXPECT_EQ(controls_.back().goText, "Go");
  EXPECT_FALSE(controls_.back().pauseEnabled);
}

TEST_F(Driver, ResumeTakesTheEditedFindText) {
  putSz(kBase + std::string("\\A"), "old1", "-");
  putSz(kBase + std::string("\\A"), "new1", "-");
  putSz(kBase + std::string("\\B"), "old2", "-");
  putSz(kBase + std::string("\\B"), "new2", "-");
  // Pause as the walk enters B, before B's values are visited.
  Latch paused;
  std::atomic<bool> asked{false};
  onStatus_ = [&](int part, std::string_view text) {
    if (part == 0 && text == "Paused") paused.open();
    if (part == 1 && text == kBase + std::string("\\B") && !asked.exchange(true)) {
      driver_->pressPause();
      EXPECT_TRUE(paused.wait());
    }
  };
  driver_->setParameters(parameters(kModeFind, "old"));
  driver_->pressGo();
  ASSERT_TRUE(paused.wait());
  EXPECT_TRUE(driver_->controls().isPaused());
  EXPECT_TRUE(driver_->controls().state().parametersEnabled);
  driver_->setParameters(parameters(kModeFind, "new"));
  driver_->pressPause();
  waitIdle();
  EXPECT_EQ(rowValues(), (std::vector<std::string>{"old1", "new2"}));
  EXPECT_EQ(driver_->histories().find.entries(), (std::vector<std::string>{"old", "new"}));
}

// A window reads the histories while a search adds to them: it reads copies,
// and a copy taken while the mask question is up shows the texts before it.
TEST_F(Driver, TheHistoriesAreReadAsCopiesWhileASearchAddsToThem) {
  putSz(kBase, "v", "-");
  std::vector<std::string> duringTheBox;
  hooked_->beforeAnswer = [&](const MessageBoxRequest&) {
    duringTheBox = driver_->historiesSnapshot().find.entries();
  };
  run(kModeFind, "first");
  run(kModeModify, "/m:*", "other");
  EXPECT_EQ(duringTheBox, std::vector<std::string>{"first"});
  const SearchHistories after = driver_->historiesSnapshot();
  EXPECT_EQ(after.find.entries(), (std::vector<std::string>{"first", "/m:*"}));
  EXPECT_EQ(after.replace.entries(), std::vector<std::string>{"other"});

  // Saved when the window may close, and read back by the next window.
  EXPECT_TRUE(driver_->queryClose());
  SearchDriver next(nullptr);
  next.loadHistories();
  EXPECT_EQ(next.historiesSnapshot().find.entries(), (std::vector<std::string>{"first", "/m:*"}));
  EXPECT_EQ(next.historiesSnapshot().replace.entries(), std::vector<std::string>{"other"});
}

TEST_F(Driver, APauseThatComesAsTheSearchEndsIsNotCarriedIntoTheNext) {
  putSz(kBase, "v", "-");
  // The command thread takes the pause while the search thread is on its way
  // out: a row command posted after it shows when it has been handled.
  results_->addRow(false, kBase, "v", {}, REG_SZ, std::nullopt, kMarkNone);
  results_->select(0, true);
  Latch handled;
  driver_->setNavigator([&](const NavigationRequest&) { handled.open(); });
  std::atomic<bool> once{false};
  onStatus_ = [&](int part, std::string_view text) {
    if (part != 0 || text != "Ready" || once.exchange(true)) return;
    driver_->pressPause();
    driver_->post(kRowCommandMessage, static_cast<WPARAM>(RowCommand::Goto));
    EXPECT_TRUE(handled.wait());
  };
  run(kModeFind, "v");
  EXPECT_FALSE(driver_->controls().isPaused());

  // The next search is not left waiting at its first pause point.
  Latch ready;
  onStatus_ = [&](int part, std::string_view text) {
    if (part == 0 && text == "Ready") ready.open();
  };
  driver_->pressGo();
  EXPECT_TRUE(ready.wait(std::chrono::seconds(10)));
}

// Modify over A, B (two values) and C; Stop is pressed while the walker is in
// the middle of B's values, and the question is answered with `answer`.
class DriverStop : public Driver {
 protected:
  void SetUp() override {
    for (auto [key, name] : {std::pair{"\\A", "a1"}, {"\\B", "b1"}, {"\\B", "b2"}, {"\\C", "c1"}})
      putSz(kBase + std::string(key), name, "x");
    driver_->setContextPreparer([this](SearchContext& context) {
      FoundItemHandler inner = context.foundItem;
      context.foundItem = [this, inner](const SearchItem& item, SearchContext& c) {
        if (stopPressed_.isOpen()) walkerMoved_.open();
        if (!item.isKey && item.name == "b1" && !stopPressed_.isOpen()) {
          stopPressed_.open();
          driver_->pressGo();
          EXPECT_TRUE(boxShown_.wait());
        }
        return inner(item, c);
      };
    });
    onControls_ = [this](const SearchControls& controls) {
      if (stopPressed_.isOpen() && controls.goText == "Go") walkerMoved_.open();
      std::lock_guard lock(mutex_);
      if (answered_) afterAnswer_.push_back(controls);
    };
  }
  void stopWith(int answer, bool waitForTheWalker) {
    hooked_->answer({answer});
    hooked_->beforeAnswer = [this, waitForTheWalker](const MessageBoxRequest& request) {
      if (request.title != "Abort Search & Replace?") return;
      boxShown_.open();
      // The walker goes on while the user thinks it over.
      if (waitForTheWalker) {
        EXPECT_TRUE(walkerMoved_.wait());
      }
      answered_ = true;
    };
    run(kModeModify, "x", "y");
  }

  Latch stopPressed_, boxShown_, walkerMoved_;
  std::atomic<bool> answered_{false};
  std::vector<SearchControls> afterAnswer_;  // under the listener's lock
};

TEST_F(DriverStop, CancelledTheSearchGoesOn) {
  stopWith(IDCANCEL, true);
  for (const char* key : {"\\A", "\\B", "\\C"})
    for (const auto& [name, data] : values(kBase + std::string(key))) EXPECT_EQ(data, "y") << key << " " << name;
  EXPECT_EQ(results_->size(), 4u);
  std::lock_guard lock(mutex_);
  ASSERT_FALSE(afterAnswer_.empty());
  EXPECT_EQ(afterAnswer_.front().goText, "Stop");
  EXPECT_TRUE(afterAnswer_.front().goEnabled);
  EXPECT_TRUE(afterAnswer_.front().pauseEnabled);
}

TEST_F(DriverStop, AgreedTheSearchStops) {
  stopWith(IDOK, false);
  EXPECT_EQ(readText(kBase + std::string("\\A"), "a1"), "y");
  EXPECT_EQ(readText(kBase + std::string("\\B"), "b1"), "y");
  EXPECT_EQ(readText(kBase + std::string("\\C"), "c1"), "x");
  auto state = statusTexts(0);
  EXPECT_NE(std::find(state.begin(), state.end(), "Stopping.."), state.end());
  std::lock_guard lock(mutex_);
  ASSERT_FALSE(afterAnswer_.empty());
  EXPECT_FALSE(afterAnswer_.front().goEnabled);
  EXPECT_FALSE(afterAnswer_.front().pauseEnabled);
  EXPECT_EQ(controls_.back().goText, "Go");
  EXPECT_TRUE(controls_.back().goEnabled);
}

TEST_F(Driver, TheTopOfTheRegistryWithoutTheRootsThatAreViews) {
  const std::string user = "HKEY_USERS\\S-1-5-21-0-0-0-1000";
  const std::string profile = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current";
  putSz("HKEY_LOCAL_MACHINE\\Software\\Classes\\K", "marker", "-");
  putSz(user + "\\Software\\K", "marker", "-");
  // The current hardware profile lies below keys of no hive: it gets one.
  auto profileHive = platform::Hive::createEmpty(registry_.dir() / "profile.reg",
                                                 u"REGISTRY\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current");
  ASSERT_EQ(registry_.host().local().mount(
                profileHive, u"\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current"),
            ERROR_SUCCESS);
  putSz(profile, "marker", "-");
  driver_->setStartPath(std::nullopt);
  run(kModeFind, "marker");
  std::set<std::string> found;
  for (const auto& row : results_->rows()) found.insert(row.keyPathText());
  EXPECT_EQ(found, (std::set<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Classes\\K", user + "\\Software\\K", profile,
                                          "HKEY_CURRENT_CONFIG"}));

  // An export walks every root.
  SearchContext exportJob(JobKind::Export);
  std::set<std::string> exported;
  exportJob.foundItem = [&](const SearchItem& item, SearchContext&) {
    if (!item.isKey && item.name == "marker") exported.insert(std::string(item.keyPath));
    return 0;
  };
  walkRegistry(exportJob, std::nullopt);
  EXPECT_EQ(exported, (std::set<std::string>{"HKEY_CLASSES_ROOT\\K", "HKEY_CURRENT_USER\\Software\\K",
                                             "HKEY_LOCAL_MACHINE\\Software\\Classes\\K", user + "\\Software\\K",
                                             profile, "HKEY_CURRENT_CONFIG"}));
}

TEST_F(Driver, RowModesSelectChangeRemoveReduce) {
  putSz(kBase, "alpha", "one");
  putSz(kBase, "beta", "two");
  makeKey(kBase + std::string("\\Gamma"));
  run(kModeFind, "");
  ASSERT_EQ(rowValues(), (std::vector<std::string>{"alpha", "beta", "Gamma"}));

  run(kModeSelect, "ALP");
  EXPECT_EQ(results_->selectedRows(), std::vector<std::size_t>{0});
  EXPECT_EQ(statusTexts(1).back(), "Selected 1 out of 3 items.");

  // Change works on the rows only: every column but the Hive, and the data.
  run(kModeChange, "o", "0");
  ResultRow alpha = results_->row(0);
  EXPECT_EQ(alpha.hive, "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(alpha.key, "S0ftware");
  EXPECT_EQ(alpha.data, "0ne");
  ASSERT_TRUE(alpha.record);
  EXPECT_EQ(alpha.record->bytes, sz("0ne"));
  EXPECT_EQ(results_->row(1).data, "tw0");
  EXPECT_EQ(values(kBase), (std::map<std::string, std::string>{{"alpha", "one"}, {"beta", "two"}}));

  run(kModeRemove, "TW0");
  EXPECT_EQ(rowValues(), (std::vector<std::string>{"alpha", "Gamma"}));
  run(kModeReduce, "0ne");
  EXPECT_EQ(rowValues(), std::vector<std::string>{"alpha"});
}

TEST_F(Driver, DeleteRemovesKeysWithTheirSubkeysAndValues) {
  const std::string doomed = kBase + std::string("\\Doomed");
  putSz(doomed + "\\Deeper\\Deepest", "v", "1");
  putSz(doomed, "v", "1");
  putSz(kBase, "gone", "1");
  putSz(kBase, "after", "1");
  results_->addRow(true, doomed, std::nullopt, {}, 0, std::nullopt, kMarkNone);
  results_->addRow(false, kBase, "gone", {}, REG_SZ, std::nullopt, kMarkNone);
  results_->addRow(false, kBase, "missing", {}, REG_SZ, std::nullopt, kMarkNone);
  results_->addRow(false, kBase, "after", {}, REG_SZ, std::nullopt, kMarkNone);
  hooked_->answer({IDNO});  // the missing value: do not abort the batch
  run(kModeDelete);

  EXPECT_FALSE(keyExists(doomed));
  EXPECT_TRUE(values(kBase).empty());
  std::vector<int> marks;
  for (const auto& row : results_->rows()) marks.push_back(row.statusMark);
  EXPECT_EQ(marks, (std::vector<int>{kMarkDone, kMarkDone, kMarkNotDone, kMarkDone}));
  EXPECT_EQ(captions(*hooked_),
            (std::vector<std::string>{"Delete Key", "Delete Value and Data", "Delete Value and Data"}));
  ASSERT_EQ(hooked_->boxes().size(), 1u);
  EXPECT_EQ(hooked_->boxes()[0].title, "Current change Aborted, abort Furthur changes?");

  // Agreeing to abort leaves the rest of the rows alone.
  results_->clear();
  putSz(kBase, "kept", "1");
  results_->addRow(false, kBase, "missing", {}, REG_SZ, std::nullopt, kMarkNone);
  results_->addRow(false, kBase, "kept", {}, REG_SZ, std::nullopt, kMarkNone);
  hooked_->answer({IDYES});
  run(kModeDelete);
  EXPECT_EQ(readText(kBase, "kept"), "1");
  EXPECT_EQ(results_->row(1).statusMark, kMarkNone);
}

}  // namespace
}  // namespace talmoor::search

// The pause gate between the command thread and a walker, and the Search
// window's controls as the driver moves them: what a window bound to them
// sees, and that it may read them back from its listener.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "search/pause_gate.h"
#include "search/search_controls.h"
#include "search/search_test_support.h"

namespace talmoor::search {
namespace {

using searchtest::Latch;

TEST(PauseGate, AWalkerHaltsAtTheClosedGateUntilItOpens) {
  PauseGate gate;
  gate.walkStarted();
  gate.close();
  std::atomic<int> passed{0};
  std::thread walker([&] {
    gate.pass();
    ++passed;
    gate.walkEnded();
  });
  gate.waitUntilHalted();
  EXPECT_EQ(passed.load(), 0);
  EXPECT_TRUE(gate.walking());
  gate.open();
  walker.join();
  EXPECT_EQ(passed.load(), 1);
  EXPECT_FALSE(gate.walking());
}

TEST(PauseGate, WaitingForAWalkerThatEndsWithoutHaltingReturns) {
  PauseGate gate;
  gate.walkStarted();
  gate.close();
  Latch waited;
  std::thread resumer([&] {
    gate.waitUntilHalted();
    waited.open();
  });
  // The walk ends past its last pause point: the gate never sees it.
  gate.walkEnded();
  EXPECT_TRUE(waited.wait());
  resumer.join();
  // An open gate lets a walker through at once.
  gate.open();
  gate.pass();
}

TEST(SearchControlsModel, AJobFromGoThroughPauseAndStopToIdle) {
  SearchControlsModel model;
  std::vector<SearchControls> seen;
  // A listener that reads the model back is not kept waiting.
  model.setListener([&](const SearchControls& now) {
    EXPECT_EQ(model.state().pauseText, now.pauseText);
    seen.push_back(now);
  });
  model.running();
  EXPECT_EQ(seen.back().goText, "Stop");
  EXPECT_FALSE(seen.back().parametersEnabled);
  model.paused();
  EXPECT_TRUE(model.isPaused());
  EXPECT_TRUE(model.state().parametersEnabled);
  model.pauseLifted();
  EXPECT_FALSE(model.isPaused());
  // Stopping: neither button works until the job ends.
  model.stopAnswered(true, true);
  EXPECT_FALSE(model.state().goEnabled || model.state().pauseEnabled);
  // Stop answered Cancel: the job goes on and both work.
  model.stopAnswered(true, false);
  EXPECT_TRUE(model.state().goEnabled && model.state().pauseEnabled);
  model.idle();
  EXPECT_EQ(model.state().goText, "Go");
  EXPECT_FALSE(model.state().pauseEnabled);
  EXPECT_EQ(seen.size(), 6u);
}

}  // namespace
}  // namespace talmoor::search

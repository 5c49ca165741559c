// What a job's thread does with a failure its work left unhandled: a list
// failure is told and ends only the work (a search returns to Ready), and an
// allocation failure ends the process through the fatal stop.

#include <gtest/gtest.h>

#include <memory>
#include <new>

#include "base/error_reporting.h"
#include "search/job_failures.h"
#include "search/search_driver.h"
#include "search/search_stack.h"
#include "search/search_test_support.h"

namespace talmoor::search {
namespace {

using namespace searchtest;

class JobFailures : public SearchTest {};

TEST_F(JobFailures, AListFailureIsToldAndEndsOnlyTheWork) {
  scripted_->answer({IDYES});  // the error box: go on showing errors
  EXPECT_FALSE(runContained([] {
    SearchStack empty;
    empty.Pop();
  }));
  ASSERT_EQ(scripted_->boxes().size(), 1u);
  EXPECT_EQ(scripted_->boxes()[0].title, "SearchStack::Pop()");
  EXPECT_EQ(logLines(), std::vector<std::string>{"259 Unspecified |  | SearchStack::Pop()"});
  EXPECT_TRUE(runContained([] {}));

  // A search whose work meets one comes back to Ready, and the next runs.
  putSz(kBase, "v", "-");
  auto results = std::make_shared<ResultList>();
  SearchDriver driver(results);
  driver.setStartPath(std::string(kBase));
  std::vector<std::string> states;
  driver.controls().setStatusSink([&](int part, std::string_view text) {
    if (part == 0) states.emplace_back(text);
  });
  driver.setContextPreparer([](SearchContext& context) {
    context.foundItem = [](const SearchItem&, SearchContext&) {
      SearchStack empty;
      empty.InsertSorted(&empty);  // an item, but neither comparator
      empty.InsertSorted(&empty);
      return 0;
    };
  });
  driver.setParameters(parameters(kModeFind, "v"));
  driver.pressGo();
  mustFinish([&] { driver.waitUntilIdle(); }, "the failed search");
  EXPECT_FALSE(driver.searchRunning());
  EXPECT_EQ(states, (std::vector<std::string>{"Searching...", "Ready"}));
  EXPECT_EQ(driver.controls().state().goText, "Go");
  EXPECT_EQ(scripted_->boxes().back().title, "SearchStack::InsertSorted()");

  driver.setContextPreparer({});
  driver.pressGo();
  mustFinish([&] { driver.waitUntilIdle(); }, "the next search");
  EXPECT_EQ(results->size(), 1u);
}

TEST(JobFailuresDeathTest, RunningOutOfMemoryEndsTheProcessThroughTheFatalStop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runContained([] { throw std::bad_alloc(); }), ::testing::ExitedWithCode(kOutOfMemoryExitCode), "");
}

}  // namespace
}  // namespace talmoor::search

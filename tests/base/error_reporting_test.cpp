// The error reporter, its boxes and log, and the shared services beside it.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/error_log.h"
#include "base/error_reporting.h"
#include "base/guarded_object.h"
#include "support/scripted_interaction.h"
#include "base/thread_starter.h"
#include "platform/last_error.h"
#include "platform/win32_errors.h"
#include "base/workspace.h"

namespace {

using namespace talmoor;

class ReportingTest : public ::testing::Test {
 protected:
  ReportingTest() : installed_(scripted_) {
    setErrorBoxesSuppressed(false);
    errorLog().clear();
    errorLog().setWindowOpen(true);
    SetLastError(0);
  }
  ~ReportingTest() override { errorLog().setWindowOpen(false); }
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

TEST_F(ReportingTest, APendingLastErrorReachesTheHandlerWithItsOwnContext) {
  std::vector<std::string> seen;
  ErrorHandler handler = [&](const ErrorReport& r) {
    seen.push_back(std::string(r.context) + "=" + std::to_string(r.code));
    return r.code == ERROR_INVALID_HANDLE;
  };
  SetLastError(ERROR_INVALID_HANDLE);
  EXPECT_TRUE(reportError(handler, 0, "HKLM\\Software", "", "Opening Key", nullptr, 1));
  EXPECT_EQ(seen, std::vector<std::string>{"Opening Key (GetLastError)=6"});
  EXPECT_EQ(GetLastError(), 0u);

  seen.clear();
  SetLastError(ERROR_IO_PENDING);  // says nothing about a failure
  EXPECT_FALSE(reportError(handler, ERROR_IO_PENDING, "x", "", "Querying Value", nullptr, 1));
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(scripted_->boxes().empty());
}

TEST_F(ReportingTest, BoxesLogRowsAndSuppression) {
  // Without a handler a report shows its box under the context text.
  scripted_->answer({IDYES});
  reportError(nullptr, ERROR_FILE_NOT_FOUND, "HKLM\\x", "", "Querying Value", nullptr, kVerbosityBox);
  ASSERT_EQ(scripted_->boxLines(), std::vector<std::string>{"Querying Value: The system cannot find the file specified."});
  EXPECT_EQ(scripted_->boxes()[0].buttons, BoxButtons::YesNo);

  // Access denied is logged but never boxed.
  defaultErrorHandler(ErrorReport{ERROR_ACCESS_DENIED, "HKLM\\Software\\Locked", "", "Opening Key", nullptr, 1});
  EXPECT_EQ(scripted_->boxes().size(), 1u);
  auto rows = errorLog().rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].keyPath, "HKLM\\Software");
  EXPECT_EQ(rows[0].valueName, "Locked");
  EXPECT_EQ(rows[0].context, "Opening Key");
  EXPECT_EQ(rows[0].message, "Access is denied.");
  EXPECT_EQ(rows[0].image, 2);

  // The default handler stops only on an invalid handle.
  EXPECT_TRUE(defaultErrorHandler(ErrorReport{ERROR_INVALID_HANDLE, "", "", "Closing", nullptr, 0}));
  EXPECT_EQ(errorLog().rows().back().keyPath, "Unspecified");

  // No on one box silences every later one.
  scripted_->answer({IDNO});
  showErrorBox(ERROR_PATH_NOT_FOUND, 0, "First");
  showErrorBox(ERROR_PATH_NOT_FOUND, 0, "Second");
  EXPECT_EQ(scripted_->boxes().size(), 2u);
  EXPECT_TRUE(errorBoxesSuppressed());
  setErrorBoxesSuppressed(false);

  showErrorBox(ERROR_NOT_AUTHENTICATED, 0, "x");
  EXPECT_EQ(scripted_->boxLines().back(), "Not Logged On: You need to have logged onto the Network to Complete this action");
  showErrorBox(123456, 0, "Odd");
  EXPECT_EQ(scripted_->boxLines().back(), "Odd: Unrecognised or Unknown Error, unable to retreive error message");
  EXPECT_EQ(scripted_->boxes().back().icon, BoxIcon::Stop);

  // With the log window closed, a row falls back to a box titled with the path.
  errorLog().setWindowOpen(false);
  addErrorLogRow(ERROR_FILE_NOT_FOUND, "HKLM\\Software\\Gone", "Opening Key", "value", 0);
  EXPECT_EQ(scripted_->boxLines().back(), "HKLM\\Software\\Gone: Opening Key\nThe system cannot find the file specified.");
}

TEST(FatalOutOfMemory, EndsTheProcessWithAFailureCode) {
  pid_t child = ::fork();
  if (child == 0) {
    setInteraction(std::make_shared<ScriptedInteraction>());
    fatalOutOfMemory();
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
}

TEST(ThreadStarter, RunsWaitsAndReportsExitCodes) {
  std::atomic<bool> release{false};
  auto started = startThread([&] {
    while (!release) std::this_thread::yield();
    return DWORD{42};
  });
  ASSERT_TRUE(started.handle);
  EXPECT_EQ(waitForThread(started.handle, 10), STILL_ACTIVE);
  release = true;
  EXPECT_EQ(waitForThread(started.handle), 42u);
  EXPECT_EQ(startThread([] { return DWORD{7}; }, ThreadStart{false, true}).exitCode, 7u);
}

TEST(GuardedObject, AdmitsTenSharedUsersAndExcludesWriters) {
  GuardedObject object;
  std::atomic<int> inside{0}, most{0};
  std::atomic<bool> writerInside{false}, overlap{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 24; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 200; ++round) {
        if (i % 6 == 0) {
          ExclusiveUse use(object);
          writerInside = true;
          if (inside.load() != 0) overlap = true;
          SharedUse again(object);  // the exclusive holder may enter again
          writerInside = false;
        } else {
          SharedUse use(object);
          if (writerInside) overlap = true;
          int now = ++inside;
          int seen = most.load();
          while (now > seen && !most.compare_exchange_weak(seen, now)) {
          }
          --inside;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlap.load());
  EXPECT_LE(most.load(), GuardedObject::kMaxSharedUsers);
  EXPECT_EQ(object.sharedUsers(), 0);

  auto scripted = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed(scripted);
  object.releaseShared();  // never acquired
  EXPECT_EQ(scripted->boxLines(), std::vector<std::string>{"Logic Error: Object Error"});
}

}  // namespace

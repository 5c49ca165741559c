// The frame without its windows: the window table, the command thread, the
// address bar's paths, the last location kept across runs, and closing.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "frame/address_bar_model.h"
#include "frame/command_thread.h"
#include "frame/frame_session.h"
#include "frame/location.h"
#include "frame/window_table.h"
#include "registry/access/registry_access.h"
#include "registry/settings_key.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

namespace talmoor::frame {
namespace {

using namespace std::chrono_literals;

class FrameTest : public ::testing::Test {
 protected:
  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> boxes_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_{boxes_};
};

TEST_F(FrameTest, EveryWindowIsFoundByItsCommandAndAnUnknownOneSaysSo) {
  EXPECT_EQ(windowTable().size(), 9u);
  for (const ChildWindow& row : windowTable()) {
    ASSERT_EQ(lookupChildWindow(static_cast<int>(row.command)), &row);
    EXPECT_EQ(withoutMnemonic(row.menuText), row.title);
  }
  EXPECT_TRUE(boxes_->boxes().empty());
  EXPECT_EQ(lookupChildWindow(208), nullptr);
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].title, "CORWENT");
  EXPECT_EQ(boxes_->boxes()[0].text, "Remember to Add Window to Talmoor_GetMDIClild function");
  EXPECT_EQ(findChildWindow(208), nullptr);  // the quiet lookup shows nothing
  EXPECT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(withoutMnemonic("Se&curity && Rights"), "Security & Rights");
}

// Waits until the thread has dealt with `count` messages.
void waitForCounts(const CommandThread& thread, std::size_t count) {
  for (int i = 0; i < 500; ++i) {
    auto c = thread.counts();
    if (c.handled + c.accepted + c.ignored >= count) return;
    std::this_thread::sleep_for(2ms);
  }
}

TEST_F(FrameTest, TheCommandThreadDoesTheWorkOffTheCallersThreadAndFreesEveryRecord) {
  auto record = std::make_shared<int>(42);
  std::weak_ptr<int> watch = record;
  std::thread::id handledOn;
  int seen = 0;
  {
    CommandThread thread;
    thread.setHandler(CommandMessage::GoToKey, [&](WPARAM wParam, CommandThread::Record r) {
      handledOn = std::this_thread::get_id();
      seen = *std::any_cast<std::shared_ptr<int>>(r) + static_cast<int>(wParam);
    });
    EXPECT_TRUE(thread.post(CommandMessage::GoToKey, 1, record));
    // No work registered for these yet: accepted, their records freed.
    EXPECT_TRUE(thread.post(CommandMessage::SecurityWindowCommand, 0, record));
    EXPECT_TRUE(thread.post(CommandMessage::Unassigned8026));
    // Outside 0x8003..0x8029: ignored.
    EXPECT_TRUE(thread.postNumber(0x8002));
    EXPECT_TRUE(thread.postNumber(0x802A));
    record.reset();
    waitForCounts(thread, 5);
    auto counts = thread.counts();
    EXPECT_EQ(counts.handled, 1u);
    EXPECT_EQ(counts.accepted, 2u);
    EXPECT_EQ(counts.ignored, 2u);
    EXPECT_EQ(seen, 43);
    EXPECT_NE(handledOn, std::this_thread::get_id());
    EXPECT_TRUE(watch.expired()) << "a handled or accepted message's record is freed";
  }
}

TEST_F(FrameTest, RecordsStillQueuedWhenTheThreadQuitsAreFreedAndLaterPostsRefused) {
  auto record = std::make_shared<int>(1);
  std::weak_ptr<int> watch = record;
  std::mutex gate;
  std::unique_lock hold(gate);
  CommandThread thread;
  thread.setHandler(CommandMessage::RefreshKeyTree, [&](WPARAM, CommandThread::Record) { std::lock_guard wait(gate); });
  thread.post(CommandMessage::RefreshKeyTree);  // keeps the loop busy
  thread.post(CommandMessage::RefreshValueList, 0, std::move(record));
  std::thread quitter([&] { thread.quit(); });
  std::this_thread::sleep_for(20ms);
  hold.unlock();
  quitter.join();
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(thread.post(CommandMessage::RefreshValueList, 0, std::make_shared<int>(2)));
}

TEST_F(FrameTest, TheAddressBarResolvesWhatIsTypedAgainstTheChosenHive) {
  AddressBarModel bar;
  EXPECT_EQ(bar.computers().front(), kLocalComputer);
  EXPECT_EQ(bar.hives().size(), 5u);
  EXPECT_EQ(bar.hives()[2], "HKEY_LOCAL_MACHINE");

  EXPECT_EQ(AddressBarModel::resolve(kLocalComputer, "HKEY_LOCAL_MACHINE", "Software\\Wine\\"),
            "HKEY_LOCAL_MACHINE\\Software\\Wine");
  EXPECT_EQ(AddressBarModel::resolve(kLocalComputer, "HKEY_LOCAL_MACHINE", "  hkcu\\Control Panel"),
            "HKEY_CURRENT_USER\\Control Panel");
  EXPECT_EQ(AddressBarModel::resolve(kLocalComputer, "HKEY_USERS", ""), "HKEY_USERS");
  EXPECT_EQ(AddressBarModel::resolve("SERVER", "HKEY_USERS", ".Default"), "\\\\SERVER\\HKEY_USERS\\.Default");
  EXPECT_EQ(AddressBarModel::resolve(kLocalComputer, "HKEY_USERS", "\\\\OTHER\\HKLM"), "\\\\OTHER\\HKLM");

  AddressParts parts = AddressBarModel::split("\\\\SERVER\\HKLM\\Software\\Wine");
  EXPECT_EQ(parts.computer, "SERVER");
  EXPECT_EQ(parts.hive, "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(parts.path, "Software\\Wine");
  parts = AddressBarModel::split("HKEY_CURRENT_USER");
  EXPECT_EQ(parts.computer, kLocalComputer);
  EXPECT_EQ(parts.path, "");

  for (int i = 0; i < 40; ++i) bar.visit("HKLM\\Key" + std::to_string(i));
  bar.visit("hklm\\key5");  // a visit again, in another case: moved up, not doubled
  EXPECT_EQ(bar.history().size(), AddressBarModel::kHistoryLength);
  EXPECT_EQ(bar.history().front(), "hklm\\key5");
  EXPECT_EQ(std::count_if(bar.history().begin(), bar.history().end(),
                          [](const std::string& p) { return p == "HKLM\\Key5"; }),
            0);
}

// A target that records what the path opener asked of it.
struct RecordingTarget : LocationTarget {
  std::vector<std::string> calls;
  bool reachable = true;
  void showRegistryValues() override { calls.push_back("registry values"); }
  bool selectKeyPath(const std::string& path) override {
    calls.push_back("key " + path);
    return reachable;
  }
  void selectValue(const OpenPathRequest& request) override { calls.push_back("value " + *request.valueName); }
  void selectRememberedValue() override { calls.push_back("remembered value"); }
  void enableValueList() override { calls.push_back("value list"); }
};

TEST_F(FrameTest, TheLastLocationComesBackOrSaysWhyNot) {
  EXPECT_FALSE(lastLocation());  // a first run: nothing kept, nothing said
  rememberLocation("HKEY_LOCAL_MACHINE\\Software", "Version");
  auto restored = lastLocation();
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->keyPath, "HKEY_LOCAL_MACHINE\\Software");
  EXPECT_EQ(restored->valueName, "Version");

  RecordingTarget target;
  EXPECT_EQ(openTreePath(restored, target), 1);
  EXPECT_EQ(target.calls,
            (std::vector<std::string>{"registry values", "key HKEY_LOCAL_MACHINE\\Software", "value Version"}));

  // Nothing selected: both settings go.
  rememberLocation(std::nullopt, std::nullopt);
  EXPECT_FALSE(lastLocation());
  EXPECT_EQ(registry::readSetting("LastValue").code, ERROR_FILE_NOT_FOUND);

  // A setting of the wrong type: one box, and start-up goes on without it.
  registry::writeSetting("LastKey", REG_DWORD, {1, 0, 0, 0});
  EXPECT_FALSE(lastLocation());
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].text, "Invalid Format for Starting Path Setting");
  EXPECT_EQ(boxes_->boxes()[0].title, "Sorry");
}

TEST_F(FrameTest, ThePathOpenerTellsOfPathsItCannotReach) {
  RecordingTarget target;
  target.reachable = false;
  openTreePath(OpenPathRequest{"HKEY_LOCAL_MACHINE\\Gone", std::nullopt, false}, target);
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].text, "The path has become Invalid or been Secured since your last search.");
  EXPECT_EQ(boxes_->boxes()[0].title, "Invalid Path");

  openTreePath(std::nullopt, target);
  openTreePath(OpenPathRequest{}, target);
  ASSERT_EQ(boxes_->boxes().size(), 3u);
  EXPECT_EQ(boxes_->boxes()[1].text, "Invalid Parameter Passed to Open Tree Path thread");
  EXPECT_EQ(boxes_->boxes()[2].text, "Invalid String Passed to Open Tree Path thread in the RegistryEntry Structure");

  // A key without a value to select readies the value list; the request for
  // the remembered value alone goes through the command thread.
  target.reachable = true;
  target.calls.clear();
  openTreePath(OpenPathRequest{"HKEY_USERS", std::nullopt, false}, target);
  EXPECT_EQ(target.calls.back(), "value list");
  CommandThread commands;
  std::atomic<int> selected = 0;
  commands.setHandler(CommandMessage::SelectRequestedValue, [&](WPARAM, CommandThread::Record) { selected += 1; });
  commands.setHandler(CommandMessage::SelectRememberedValue, [&](WPARAM, CommandThread::Record) { selected += 10; });
  openTreePath(OpenPathRequest{"", std::nullopt, true}, target, &commands);
  waitForCounts(commands, 2);
  EXPECT_EQ(selected.load(), 11);
}

struct Voter : ClosingVoter {
  bool agrees;
  int asked = 0;
  explicit Voter(bool a) : agrees(a) {}
  bool queryClose() override {
    ++asked;
    return agrees;
  }
};

TEST_F(FrameTest, OneChildRefusingKeepsTheFrameOpenYetEveryChildIsAsked) {
  Voter yes(true), no(false), last(true);
  std::vector<ClosingVoter*> children{&yes, &no, &last};
  EXPECT_FALSE(askChildrenToClose(children));
  EXPECT_EQ(last.asked, 1);
  no.agrees = true;
  EXPECT_TRUE(askChildrenToClose(children));

  // The drain waits for a worker inside a lock.
  SharedLocks locks;
  std::atomic<bool> released = false;
  std::unique_lock held(locks.of(SharedFamily::Search));
  std::thread worker([&] {
    std::this_thread::sleep_for(30ms);
    released = true;
    held.unlock();
  });
  locks.drain();
  EXPECT_TRUE(released.load());
  worker.join();
}

TEST_F(FrameTest, OpenWindowsAndGeometryAreKeptInTheSettings) {
  EXPECT_EQ(openWindowsSetting(), (std::vector<int>{202, 203, 204}));
  const std::vector<int> open{205, 206};
  keepOpenWindows(open);
  EXPECT_EQ(openWindowsSetting(), open);
  registry::writeStringSetting("Open Windows", "205,9999,x,202");
  EXPECT_EQ(openWindowsSetting(), (std::vector<int>{205, 202}));
  keepOpenWindows({});
  EXPECT_TRUE(openWindowsSetting().empty());  // all closed stays all closed

  EXPECT_TRUE(frameGeometrySetting().empty());
  const std::vector<BYTE> bytes{1, 2, 0, 255};
  keepFrameGeometry(bytes);
  EXPECT_EQ(frameGeometrySetting(), bytes);
}

}  // namespace
}  // namespace talmoor::frame

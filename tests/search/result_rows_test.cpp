// The result rows and what is done with them: clearing, sorting, the count
// texts, a window's listener and a reader on another thread, adding registry
// items, the row commands, user profiles taken as shared, and the Find and
// Replace histories kept in the settings key.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "search/results/result_list.h"
#include "search/results/row_operations.h"
#include "search/search_parameters.h"
#include "search/search_test_support.h"

namespace talmoor::search {
namespace {

using namespace searchtest;

class ResultRows : public SearchTest {
 protected:
  int addValue(std::string_view name, std::string_view path = kBase) {
    return list_.addRow(false, path, name, {}, REG_SZ, std::nullopt, kMarkNone);
  }
  std::vector<std::string> column(int index) const {
    std::vector<std::string> out;
    for (const auto& row : list_.rows()) out.push_back(row.column(index));
    return out;
  }

  ResultList list_;
};

TEST_F(ResultRows, ClearingCountsDownInTens) {
  for (int i = 0; i < 25; ++i) addValue("v" + std::to_string(i));
  std::vector<std::size_t> remaining;
  bool cleared = false;
  list_.setListener([&](const ResultListChange& change) { cleared |= change.kind == ResultListChange::Cleared; });
  list_.clear([&](std::size_t count) { remaining.push_back(count); });
  EXPECT_EQ(remaining, (std::vector<std::size_t>{20, 10}));
  EXPECT_EQ(list_.size(), 0u);
  EXPECT_TRUE(cleared);
}

TEST_F(ResultRows, SortingTwiceStaysAscendingAndTheCountTexts) {
  EXPECT_EQ(list_.countStatus(), "No items found.");
  for (const char* name : {"b", "A", "c", "B"}) addValue(name);
  ASSERT_TRUE(list_.sortByColumn(kColumnValue));
  EXPECT_EQ(column(kColumnValue), (std::vector<std::string>{"A", "b", "B", "c"}));
  ASSERT_TRUE(list_.sortByColumn(kColumnValue));
  EXPECT_EQ(column(kColumnValue), (std::vector<std::string>{"A", "b", "B", "c"}));
  EXPECT_FALSE(list_.sortByColumn(kColumnCount));

  list_.select(2, true);
  EXPECT_EQ(list_.countStatus(), "Selected 1 out of 4 items.");
  EXPECT_EQ(list_.removeSelected(), 1u);
  EXPECT_EQ(list_.countStatus(), "Found 3 items.");
}

TEST_F(ResultRows, AListenerMayUseTheListItHearsAndHearsEveryChangeInOrder) {
  std::vector<std::string> heard;
  list_.setListener([&](const ResultListChange& change) {
    // The window reads the list on its own thread while the listener waits
    // for it, as a listener that hands the notice to the window does.
    std::string shown;
    std::thread window([&] {
      shown = std::string(list_.cell(static_cast<std::size_t>(std::max(change.row, 0)), kColumnValue).text) + ":" +
              std::to_string(list_.size());
    });
    window.join();
    heard.push_back(std::to_string(change.kind) + ":" + std::to_string(change.row) + ":" + shown);
    // And the listener changes the list itself.
    if (change.kind == ResultListChange::Added)
      list_.update(static_cast<std::size_t>(change.row), [](ResultRow& row) { row.statusMark = kMarkDone; });
  });
  mustFinish(
      [&] {
        addValue("a");
        addValue("b");
        list_.remove(0);
      },
      "changes heard by a listener that uses the list");
  const auto added = std::to_string(ResultListChange::Added), changed = std::to_string(ResultListChange::Changed),
             removed = std::to_string(ResultListChange::Removed);
  // A listener's own change is heard after it returns.
  EXPECT_EQ(heard, (std::vector<std::string>{added + ":0:a:1", changed + ":0:a:1", added + ":1:b:2",
                                             changed + ":1:b:2", removed + ":0:b:1"}));
  EXPECT_EQ(list_.row(0).statusMark, kMarkDone);
}

TEST_F(ResultRows, CellsAreReadWhileAnotherThreadAddsAndChangesRows) {
  constexpr std::size_t kRows = 3000;
  auto name = [](std::size_t i) { return "v" + std::to_string(i); };
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (std::size_t i = 0; i < kRows; ++i) {
      std::vector<BYTE> data = sz(name(i));
      list_.addRow(false, kBase, name(i), data, REG_SZ, DataRecord{REG_SZ, data}, kMarkNone);
      // An earlier row is replaced by a changed copy while it may be read.
      if (i > 0) list_.update(i - 1, [](ResultRow& row) { row.statusMark = kMarkDone; });
    }
    done = true;
  });
  std::size_t reads = 0, mismatches = 0;
  while (!done || reads == 0) {
    const std::size_t count = list_.size();
    for (std::size_t i = count > 50 ? count - 50 : 0; i < count; ++i) {
      CellView value = list_.cell(i, kColumnValue);
      CellView data = list_.cell(i, kColumnData);
      ++reads;
      if (!value || value.text != name(i) || data.text != name(i) || data.dataType != REG_SZ ||
          std::vector<BYTE>(data.data.begin(), data.data.end()) != sz(name(i)))
        ++mismatches;
    }
  }
  writer.join();
  EXPECT_GT(reads, 0u);
  EXPECT_EQ(mismatches, 0u);
  ASSERT_EQ(list_.size(), kRows);
  // A view keeps the row it read, whatever the list does afterwards.
  CellView kept = list_.cell(0, kColumnValue);
  list_.clear();
  EXPECT_EQ(kept.text, "v0");
  EXPECT_FALSE(list_.cell(0, kColumnValue));
}

TEST_F(ResultRows, ARegistryItemIsAddedOnce) {
  putSz(kBase, "v", "data");
  putSz(kBase, "", "default");
  ProfileTranspositions none;
  const RowLocation value{kBase, "v"}, unnamed{kBase, ""}, key{kBase, std::nullopt};
  int index = 0;
  for (const RowLocation& item : {value, unnamed, key}) {
    EXPECT_EQ(addRegistryItem(list_, item, none), index++);
    EXPECT_EQ(addRegistryItem(list_, item, none), -1);  // already listed
  }
  ASSERT_EQ(list_.size(), 3u);
  EXPECT_EQ(list_.row(0).data, "data");
  ASSERT_TRUE(list_.row(0).record);
  EXPECT_EQ(list_.row(0).record->bytes, sz("data"));
  EXPECT_EQ(list_.row(1).value, "(Default Value)");
  EXPECT_EQ(list_.row(2).value, "");
}

TEST_F(ResultRows, ApplyWritesTheRowThroughTheGateAndUpdateReadsItBack) {
  putSz(kBase, "v", "old");
  makeKey(kBase + std::string("\\Key"));
  ProfileTranspositions none;
  ASSERT_EQ(addRegistryItem(list_, {kBase, "v"}, none), 0);
  ASSERT_EQ(addRegistryItem(list_, {kBase + std::string("\\Key"), std::nullopt}, none), 1);
  list_.update(0, [](ResultRow& row) { row.record->bytes = sz("new"); });
  list_.select(0, true);
  list_.select(1, true);

  // A key row is passed over.
  scripted_->answerConfirmations({kReject});
  runRowCommand(list_, RowCommand::Apply, {});
  EXPECT_EQ(readText(kBase, "v"), "old");
  runRowCommand(list_, RowCommand::Apply, {});
  EXPECT_EQ(readText(kBase, "v"), "new");
  ASSERT_EQ(scripted_->confirmations().size(), 2u);
  EXPECT_EQ(scripted_->confirmations()[1].caption, "Overwrite Value and Data");
  EXPECT_EQ(scripted_->confirmations()[1].modifiedData, std::optional(sz("new")));

  putSz(kBase, "v", "fresh");
  runRowCommand(list_, RowCommand::Update, {});
  EXPECT_EQ(list_.row(0).data, "fresh");
  EXPECT_EQ(list_.row(0).record->bytes, sz("fresh"));
  EXPECT_FALSE(list_.row(1).record);
}

TEST_F(ResultRows, UserProfilesAreTakenAsSharedWhenTheUserAgrees) {
  const std::string first = "HKEY_USERS\\S-1-5-21-1\\Software\\X", second = "HKEY_USERS\\S-1-5-21-2\\Software\\X";
  addValue("v", first);
  setAccountNamer([](const std::string& sid) { return sid == "S-1-5-21-1" ? std::string("alice") : std::string(); });
  const std::string question =
      "Transpose User Profile?: Transpose\tUser\t: S-1-5-21-2\twith \n\t\tUser\t: alice\n\nThis will perform all "
      "future comparisons assuming these two user share profiles.";

  ProfileTranspositions refused;
  scripted_->answer({IDNO});
  EXPECT_EQ(findRow(list_, {second, "v"}, refused), -1);
  EXPECT_TRUE(refused.pairs().empty());

  ProfileTranspositions agreed;
  scripted_->answer({IDYES});
  EXPECT_EQ(findRow(list_, {second, "v"}, agreed), 0);
  EXPECT_TRUE(agreed.contains("S-1-5-21-1", "S-1-5-21-2"));
  EXPECT_EQ(findRow(list_, {second, "v"}, agreed), 0);  // no second question
  EXPECT_EQ(scripted_->boxLines(), (std::vector<std::string>{question, question}));

  // Only the user part may differ, and only under HKEY_USERS.
  EXPECT_EQ(findRow(list_, {"HKEY_USERS\\S-1-5-21-2\\Software\\Y", "v"}, agreed), -1);
  EXPECT_EQ(findRow(list_, {second, "w"}, agreed), -1);
  EXPECT_EQ(scripted_->boxLines().size(), 2u);
  setAccountNamer({});
}

TEST_F(ResultRows, HistoriesKeepNineAndLiveInTheSettingsKey) {
  TextHistory history("Combo_Find");
  for (int i = 1; i <= 10; ++i) history.add("t" + std::to_string(i));
  history.add("t5");
  history.add("");
  std::vector<std::string> expected;
  for (int i = 2; i <= 10; ++i) expected.push_back("t" + std::to_string(i));
  EXPECT_EQ(history.entries(), expected);

  // The settings key need not exist yet.
  const char* settings = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brenhollow\\Sarnwick";
  EXPECT_FALSE(keyExists(settings));
  ASSERT_TRUE(history.save());
  EXPECT_TRUE(keyExists(settings));
  TextHistory reloaded("Combo_Find");
  reloaded.load();
  EXPECT_EQ(reloaded.entries(), expected);
  TextHistory other("Combo_Replace");
  other.load();
  EXPECT_TRUE(other.entries().empty());
}

}  // namespace
}  // namespace talmoor::search

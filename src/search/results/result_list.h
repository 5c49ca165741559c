#pragma once
// The rows of a search's result list: where each item lives, what it holds,
// a copy of its data, and a status mark. The list is shared by the search
// thread, the command thread and the window (a model over it reads counts
// and cells); every use takes its lock briefly, and a listener (the window)
// hears of every change.

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "search/results/row_outcome.h"

namespace talmoor::search {

// Status marks of a row.
inline constexpr int kMarkNone = 0;
inline constexpr int kMarkNotDone = 3;
inline constexpr int kMarkDone = 4;
inline constexpr int kMarkBinaryInString = 6;

enum ResultColumn { kColumnHive = 0, kColumnKey, kColumnSubKey, kColumnValue, kColumnData, kColumnReplacement };
inline constexpr int kColumnCount = 6;
inline constexpr const char* kColumnTitles[kColumnCount] = {"Hive", "Key", "SubKey", "Value", "Data", "Replacement"};

// A row's copy of its item's data.
struct DataRecord {
  int type = -1;  // -1 when unknown
  std::vector<BYTE> bytes;
};

struct ResultRow {
  std::string hive;
  std::string key;
  std::string subKey;
  std::string value;  // "(Default Value)" for the unnamed value; empty for a key
  std::string data;
  std::string replacement;
  std::optional<DataRecord> record;
  int statusMark = kMarkNone;
  RowOutcome outcome = RowOutcome::Found;
  std::array<int, kColumnCount> columnMarks{};
  int typeImage = -1;  // the value's type (above 12 shows 11); -1 for a key row
  bool selected = false;

  bool hasValueName() const { return !value.empty(); }
  // The value's name as stored ("" for the unnamed value).
  std::string valueName() const;
  // "Hive\Key\SubKey" without empty parts.
  std::string keyPathText() const;
  const std::string& column(int index) const;
  std::string& column(int index);
};

// What the window hears.
struct ResultListChange {
  enum Kind { Added, Changed, Removed, Cleared, Sorted, ColumnAdded } kind;
  int row = -1;
};

// One cell as a model reads it, without a copy of the row: the column's text
// and the row's data bytes with their type, as views into the row. The row
// as it was read stays alive with the view, whatever the list does meanwhile.
struct CellView {
  std::shared_ptr<const ResultRow> row;  // none when there is no such row
  std::string_view text;
  std::span<const BYTE> data;  // empty for a row without a data record
  int dataType = -1;           // -1 when unknown or without a record
  explicit operator bool() const { return row != nullptr; }
};

// Rows are shared and never changed in place: a change replaces the row with
// a changed copy, so a reader holding a row (or a cell view) reads it without
// the list's lock while the search adds and changes rows.
class ResultList {
 public:
  // Hears every change, in the order the changes were made, outside the
  // list's lock: a listener may read and change the list. A change made
  // while another thread tells of an earlier one is told by that thread.
  using Listener = std::function<void(const ResultListChange&)>;
  void setListener(Listener listener);

  // A row for an item; `path` is the path text of the key (of the key that
  // holds the value, for a value). Returns the row's index.
  int addRow(bool isKey, std::string_view path, std::optional<std::string_view> valueName,
             std::span<const BYTE> data, DWORD type, std::optional<DataRecord> record, int statusMark,
             RowOutcome outcome = RowOutcome::Found);
  int addRow(ResultRow row);

  // The number of rows, without waiting for the list's lock.
  std::size_t size() const { return count_.load(std::memory_order_acquire); }
  // The row itself, shared (none when there is no such row).
  std::shared_ptr<const ResultRow> rowAt(std::size_t index) const;
  CellView cell(std::size_t index, int column) const;
  // Copies, for callers that keep or change them.
  ResultRow row(std::size_t index) const;
  std::vector<ResultRow> rows() const;
  // Every row as it is now, shared.
  std::vector<std::shared_ptr<const ResultRow>> snapshot() const;
  // Changes one row (a copy that then takes its place); false when there is
  // no such row. The change must not use the list.
  bool update(std::size_t index, const std::function<void(ResultRow&)>& change);
  // A row's data record edited by the user: the Data column shows it again.
  bool setRecord(std::size_t index, DataRecord record);
  void remove(std::size_t index);
  // Takes out every selected row; returns how many went.
  std::size_t removeSelected();
  void select(std::size_t index, bool selected);
  std::size_t selectedCount() const;
  std::vector<std::size_t> selectedRows() const;

  // Empties the list from the top, telling `progress` the count before each
  // deletion whose count is divisible by ten.
  void clear(const std::function<void(std::size_t remaining)>& progress = {});
  // Ascending by the column's text, case-insensitively (the first 2600 characters).
  bool sortByColumn(int column);

  bool hasReplacementColumn() const;
  void addReplacementColumn();

  // "No items found.", "Selected %d out of %d items." or "Found %ld items."
  std::string countStatus() const;

 private:
  using Row = std::shared_ptr<const ResultRow>;
  // Under the lock: the change and its notice, in the order made.
  void removeLocked(std::size_t index);
  void queueNotice(ResultListChange::Kind kind, int row);
  void countChanged();
  std::size_t selectedCountLocked() const;
  // Without the lock: tells the listener of what is queued, unless this or
  // another thread is telling already.
  void deliverNotices();

  mutable std::mutex mutex_;
  std::vector<Row> rows_;
  std::atomic<std::size_t> count_{0};
  bool replacementColumn_ = false;
  Listener listener_;
  std::deque<ResultListChange> notices_;
  bool delivering_ = false;
};

// The image of a value's type in the Value column (types above 12 share one).
int typeImageOf(DWORD type);

// The texts of the Hive, Key and SubKey columns for a key's path text.
void splitRowPath(std::string_view path, std::string& hive, std::string& key, std::string& subKey);

}  // namespace talmoor::search

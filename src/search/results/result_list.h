#pragma once
// The rows of a search's result list: where each item lives, what it holds,
// a copy of its data, and a status mark. The list is shared by the search
// thread, the command thread and the window; every use takes its lock, and a
// listener (the window) hears of every change.

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

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

class ResultList {
 public:
  using Listener = std::function<void(const ResultListChange&)>;
  void setListener(Listener listener);

  // A row for an item; `path` is the path text of the key (of the key that
  // holds the value, for a value). Returns the row's index.
  int addRow(bool isKey, std::string_view path, std::optional<std::string_view> valueName,
             std::span<const BYTE> data, DWORD type, std::optional<DataRecord> record, int statusMark);
  int addRow(ResultRow row);

  std::size_t size() const;
  ResultRow row(std::size_t index) const;
  std::vector<ResultRow> rows() const;
  // Changes one row under the lock; false when there is no such row.
  bool update(std::size_t index, const std::function<void(ResultRow&)>& change);
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
  void notify(ResultListChange change);

  mutable std::recursive_mutex mutex_;
  std::vector<ResultRow> rows_;
  bool replacementColumn_ = false;
  Listener listener_;
};

// The image of a value's type in the Value column (types above 12 share one).
int typeImageOf(DWORD type);

// The texts of the Hive, Key and SubKey columns for a key's path text.
void splitRowPath(std::string_view path, std::string& hive, std::string& key, std::string& subKey);

}  // namespace talmoor::search

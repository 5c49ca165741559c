#pragma once
// The value list without its window: the values of one key as rows of
// texts (name, data, type, size), read on a worker and applied by the owner,
// sorted by a column's text, searched by the beginning of a name; and what
// the list does to values (create, rename, delete, change the type, write
// edited data back), each a registry change through the write gate.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/window_ref.h"
#include "platform/win32_types.h"

namespace talmoor::browse {

enum class ValueColumn : int { Name = 0, Data = 1, Type = 2, Size = 3 };
inline constexpr int kValueColumnCount = 4;

// The image of a value type: the type's own below 13, the unknown type's above.
inline constexpr int kUnknownTypeImage = 11;
int valueImage(DWORD type);

struct ValueRow {
  std::string rawName;                        // "" is the unnamed value
  std::optional<std::string> translatedName;  // its display form, when that differs
  DWORD type = 0;
  std::vector<BYTE> data;  // as the ANSI calls give it
  std::string dataText;
  bool isNew = false;  // "(Untitled)" being named, not yet in the registry
  int overlay = 0;

  std::string text(ValueColumn column) const;
  // The name column: the translated name, else the raw one ("(Default Value)"
  // for the unnamed value).
  std::string shownName() const;
};

// A row for a value as read from the registry.
ValueRow makeValueRow(std::string name, DWORD type, std::vector<BYTE> data);

struct ValueListing {
  bool opened = false;  // false: "Cannot View Values in this Path, Unable to Open Key"
  bool cancelled = false;
  std::vector<ValueRow> rows;
};

// Reads the values of the key at `path` (runs on a worker). `cancel` (a
// newer refresh) stops the walk. `quiet` leaves an unopenable key unreported
// (the roots and "My Computer" have no values to show).
ValueListing readValues(const std::string& path, const std::atomic<bool>* cancel = nullptr, bool quiet = false);

// The rows of one key and the order they are shown in.
class ValueList {
 public:
  void reset(std::string keyPath, std::vector<ValueRow> rows);
  void clear();

  const std::string& keyPath() const { return keyPath_; }
  const std::vector<ValueRow>& rows() const { return rows_; }
  std::size_t size() const { return rows_.size(); }
  const ValueRow* row(std::size_t index) const;
  ValueRow* row(std::size_t index);

  // Sorted by the column's text, ascending, ignoring case ("10" before "9":
  // sizes compare as text too).
  void sortBy(ValueColumn column);
  // The first row whose raw (`actual`) or shown name begins with `text`.
  std::optional<std::size_t> findByPrefix(std::string_view text, bool actual) const;
  std::optional<std::size_t> findByName(std::string_view rawName) const;

  // A new "(Untitled)" row of `type`, at the end.
  std::size_t addNewRow(DWORD type);
  void removeRow(std::size_t index);
  void replaceRow(std::size_t index, ValueRow row);

 private:
  std::string keyPath_;
  std::vector<ValueRow> rows_;
};

// "Selected %d of %d Value(s)".
std::string selectionStatus(std::size_t selected, std::size_t total);

// The value types the Create menu offers, in its order: the first twelve
// rows of the type table without "Double Word (Intel)".
struct CreatableType {
  std::string name;
  DWORD type;
};
std::vector<CreatableType> creatableTypes();
// The types a value can be changed to: every row but "Auto Detect".
std::vector<CreatableType> retypableTypes();

// Writes a new value of `type` whose data is one zero byte ("Confirm
// Overwrite"); the final name comes back in `name`.
bool createValueAt(const std::string& keyPath, std::string& name, DWORD type, WindowRef owner = 0);
bool renameValueAt(const std::string& keyPath, const std::string& oldName, std::string& newName, WindowRef owner = 0);
// Deletes each named value through the gate; the count deleted.
std::size_t deleteValuesAt(const std::string& keyPath, std::span<const std::string> names, WindowRef owner = 0);
// The value keeps its data and takes the type.
bool changeValueType(const std::string& keyPath, const std::string& name, DWORD type, WindowRef owner = 0);
// Edited data written back as a change ("Data Changed").
bool writeValueData(const std::string& keyPath, const std::string& name, DWORD type, std::vector<BYTE> data,
                    WindowRef owner = 0);
// The value's current type and data, read for display ("Retreiving Value
// Data for Editing"); none when it cannot be read (reported).
std::optional<ValueRow> readValue(const std::string& keyPath, const std::string& name);

}  // namespace talmoor::browse

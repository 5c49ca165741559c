#pragma once
// The in-memory key tree: keys with their values, class, times, security and
// flags. Locking is the owner's business (see MachineRegistry); these types
// hold no locks of their own.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/subkey_list.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

class Hive;

struct RegValue {
  std::u16string name;  // empty for the unnamed (default) value
  DWORD type = 0;
  std::vector<BYTE> data;
  // Kept in memory only, never saved (the hive list Talmoor keeps in a key
  // that the file may hold too).
  bool isVolatile = false;
};

// A key's self-relative security descriptor. Hives give most keys one of a
// few descriptors, so keys that got theirs from the same place hold one
// shared copy (copying a KeySecurity shares it); giving a key bytes of its
// own never changes the descriptor of another key.
class KeySecurity {
 public:
  KeySecurity() = default;
  KeySecurity(std::vector<BYTE> bytes)  // NOLINT: a key is given bytes as often as a shared copy
      : bytes_(bytes.empty() ? nullptr : std::make_shared<const std::vector<BYTE>>(std::move(bytes))) {}

  const std::vector<BYTE>& bytes() const { return bytes_ ? *bytes_ : kNone; }
  operator const std::vector<BYTE>&() const { return bytes(); }  // NOLINT: read wherever bytes are
  bool empty() const { return !bytes_; }
  std::size_t size() const { return bytes().size(); }
  // Whether both are one shared copy (then equal without comparing bytes).
  bool sharedWith(const KeySecurity& other) const { return bytes_ == other.bytes_; }

  friend bool operator==(const KeySecurity& a, const KeySecurity& b) {
    return a.sharedWith(b) || a.bytes() == b.bytes();
  }
  friend bool operator==(const KeySecurity& a, const std::vector<BYTE>& b) { return a.bytes() == b; }

 private:
  static inline const std::vector<BYTE> kNone;
  std::shared_ptr<const std::vector<BYTE>> bytes_;
};

class KeyNode : public std::enable_shared_from_this<KeyNode> {
 public:
  explicit KeyNode(std::u16string name);

  const std::u16string& name() const { return name_; }
  const std::u16string& upperName() const { return upperName_; }
  void rename(std::u16string name);

  // Subkeys, sorted by upper-cased name.
  const SubkeyList& subkeys() const { return subkeys_; }
  std::shared_ptr<KeyNode> findSubkey(std::u16string_view name) const;
  // Inserts in sorted place; the caller has checked that the name is free.
  void addSubkey(std::shared_ptr<KeyNode> child);
  // Detaches a child, listed or hidden; returns false when it was not ours.
  bool removeSubkey(const KeyNode& child);

  // Children reached by name only: never listed, never counted. They hold
  // what belongs to the program rather than to the registry it works on (its
  // settings hive), so that walks, exports and deletes that start above them
  // leave them alone, while a path that names them still opens them.
  const std::vector<std::shared_ptr<KeyNode>>& hiddenSubkeys() const { return hiddenSubkeys_; }
  // The caller has checked that the name is free.
  void addHiddenSubkey(std::shared_ptr<KeyNode> child);
  // Takes over every child of `other`, each keeping its visibility; the
  // caller has checked that no name clashes.
  void moveChildrenFrom(KeyNode& other);

  // Values, in insertion order.
  const std::vector<RegValue>& values() const { return values_; }
  RegValue* findValue(std::u16string_view name);
  const RegValue* findValue(std::u16string_view name) const;
  // Sets (replacing in place, or appending) a value.
  void setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
  // Appends a value whose name the caller knows to be free (a reader that
  // checks names itself).
  void appendValue(RegValue value);
  void reserveValues(std::size_t count) { values_.reserve(count); }
  bool deleteValue(std::u16string_view name);
  // Drops the values kept in memory only.
  void eraseVolatileValues();
  // The saved values become copies of `values`; those kept in memory only stay.
  void replaceSavedValues(const std::vector<RegValue>& values);

  std::shared_ptr<KeyNode> parent() const { return parent_.lock(); }
  std::shared_ptr<Hive> hive() const { return hive_.lock(); }
  void setHive(const std::shared_ptr<Hive>& hive) { hive_ = hive; }
  // Makes `hive` the hive of this key and of every key below it.
  void adoptInto(const std::shared_ptr<Hive>& hive);

  // Key class text; absent when the key has none (distinct from empty).
  std::optional<std::u16string> className;
  // Last write time as a FILETIME count of 100 ns units since 1601.
  std::uint64_t lastWrite = 0;
  // Empty when the key carries none of its own (its hive's default applies).
  KeySecurity security;
  bool isLink = false;
  bool isVolatile = false;
  // Set once the key is deleted or its hive unloaded; handles then fail.
  bool deleted = false;
  // Text-format detail: the key had a line of its own in the file it came
  // from, so saving writes one again even where none would be needed.
  bool explicitLine = false;

  // Marks this key and every key below it deleted.
  void markDeletedRecursive();

 private:
  std::u16string name_;
  std::u16string upperName_;
  std::weak_ptr<KeyNode> parent_;
  std::weak_ptr<Hive> hive_;
  // Keys with many values also keep an index of them by upper-cased name, so
  // that a lookup does not scan them all. It is kept up to date by every
  // change (made under the tree's exclusive lock) and only read by lookups,
  // which may run on several threads at once.
  std::size_t indexOfValue(std::u16string_view name) const;
  void indexValues();

  SubkeyList subkeys_;
  std::vector<std::shared_ptr<KeyNode>> hiddenSubkeys_;
  std::vector<RegValue> values_;
  std::unique_ptr<std::unordered_map<std::u16string, std::size_t>> valueIndex_;
};

// The current time as a FILETIME count.
std::uint64_t currentFiletime();

}  // namespace talmoor::platform

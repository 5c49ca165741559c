#pragma once
// The in-memory key tree: keys with their values, class, times, security and
// flags. Locking is the owner's business (see MachineRegistry); these types
// hold no locks of their own.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/subkey_list.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

class Hive;
class KeyNode;

// A value's data: bytes of its own, or bytes still in the hive file it was
// read from (mapped read-only, and kept mapped while any value refers to it),
// so that reading a hive does not copy what nobody changes. Setting data
// gives the value bytes of its own; the file's bytes are never written.
class ValueData {
 public:
  ValueData() = default;
  ValueData(std::vector<BYTE> bytes) : own_(std::move(bytes)) {}  // NOLINT: set from bytes everywhere
  ValueData(std::span<const BYTE> inFile, std::shared_ptr<const void> file)
      : inFile_(inFile), file_(std::move(file)) {}

  std::span<const BYTE> bytes() const { return file_ ? inFile_ : std::span<const BYTE>(own_); }
  operator std::span<const BYTE>() const { return bytes(); }  // NOLINT: read wherever bytes are
  const BYTE* data() const { return bytes().data(); }
  std::size_t size() const { return bytes().size(); }
  bool empty() const { return size() == 0; }
  const BYTE* begin() const { return data(); }
  const BYTE* end() const { return data() + size(); }
  BYTE operator[](std::size_t i) const { return bytes()[i]; }
  std::vector<BYTE> toVector() const { return {begin(), end()}; }
  // Whether the bytes are still those of the file.
  bool inFile() const { return file_ != nullptr; }

  friend bool operator==(const ValueData& a, const ValueData& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }
  friend bool operator==(const ValueData& a, const std::vector<BYTE>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  std::vector<BYTE> own_;
  std::span<const BYTE> inFile_;
  std::shared_ptr<const void> file_;
};

struct RegValue {
  std::u16string name;  // empty for the unnamed (default) value
  DWORD type = 0;
  ValueData data;
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

// Where a key read on demand gets its subkeys and values: a hive file that
// stays mapped, read a key at a time as keys are first used, so that a large
// hive costs only what is looked at.
class KeySource : public std::enable_shared_from_this<KeySource> {
 public:
  virtual ~KeySource() = default;
  // Gives `key` the subkeys (or values) its record in the source names; the
  // caller holds mutex().
  virtual void readSubkeys(KeyNode& key, std::uint32_t record, int depth) = 0;
  virtual void readValues(KeyNode& key, std::uint32_t record, int depth) = 0;
  // The keys read from `records` were given back (see KeyNode::forgetContents),
  // with `values` values: they are read again, as they were, when next used.
  // The caller holds mutex().
  virtual void forget(std::span<const std::uint32_t> records, std::size_t values) = 0;
  // Keys are read on demand by lookups that may run on several threads at once.
  std::mutex& mutex() { return mutex_; }

 protected:
  // For readers filling a key that is still waiting for them.
  static void giveSubkey(KeyNode& key, std::shared_ptr<KeyNode> child);
  static void giveValue(KeyNode& key, RegValue value);

 private:
  std::mutex mutex_;
};

class KeyNode : public std::enable_shared_from_this<KeyNode> {
 public:
  explicit KeyNode(std::u16string name);

  // The key's subkeys and values are read from `source` when first used.
  void readLater(std::shared_ptr<KeySource> source, std::uint32_t record, int depth, bool hasSubkeys,
                 bool hasValues);
  // Gives back the values and subkeys read into this key (with everything
  // read below them), so that they are read from the source again when next
  // used: a walk over a large hive then holds only the keys on its way. The
  // caller holds the tree's lock exclusively and has made sure that nothing
  // of the source's keys was changed. Nothing is given back, and false is
  // returned, when any of it would not come back alike: a key or value made
  // here rather than read, one kept in memory only, a hidden child, or a
  // key below that anything besides its parent holds (a handle, a mount).
  bool forgetContents();
  // Whether the subkeys (values) are still where they were read from.
  bool subkeysPending() const { return pending_.load(std::memory_order_acquire) & kSubkeysPending; }
  bool valuesPending() const { return pending_.load(std::memory_order_acquire) & kValuesPending; }

  const std::u16string& name() const { return name_; }
  const std::u16string& upperName() const { return upperName_; }
  void rename(std::u16string name);

  // Subkeys, sorted by upper-cased name.
  const SubkeyList& subkeys() const {
    readPendingSubkeys();
    return subkeys_;
  }
  // The subkeys read so far, without reading more (walks that only mark
  // or move what is in memory).
  const SubkeyList& subkeysInMemory() const { return subkeys_; }
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
  const std::vector<RegValue>& values() const {
    readPendingValues();
    return values_;
  }
  RegValue* findValue(std::u16string_view name);
  const RegValue* findValue(std::u16string_view name) const;
  // Sets (replacing in place, or appending) a value.
  void setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
  // Appends a value whose name the caller knows to be free (a reader that
  // checks names itself).
  void appendValue(RegValue value);
  void reserveValues(std::size_t count) {
    readPendingValues();
    values_.reserve(count);
  }
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
  friend class KeySource;
  static constexpr std::uint8_t kSubkeysPending = 1;
  static constexpr std::uint8_t kValuesPending = 2;
  void readPendingSubkeys() const {
    if (pending_.load(std::memory_order_acquire) & kSubkeysPending) readPending(kSubkeysPending);
  }
  void readPendingValues() const {
    if (pending_.load(std::memory_order_acquire) & kValuesPending) readPending(kValuesPending);
  }
  void readPending(std::uint8_t what) const;
  bool canForget(const KeySource& source) const;
  void dropContents(std::vector<std::uint32_t>& records, std::size_t& values);

  std::u16string name_;
  std::u16string upperName_;
  std::shared_ptr<KeySource> source_;
  std::uint32_t sourceRecord_ = 0;
  std::uint16_t sourceDepth_ = 0;
  mutable std::atomic<std::uint8_t> pending_{0};
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

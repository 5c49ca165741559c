#pragma once
// The records that carry registry items between the search, the script files,
// the browsers and the clipboard: a location (RegistryEntry), a location with
// its data (RegistryBuffer), and the shared form of the latter (RegistryItem).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error_reporting.h"
#include "base/guarded_object.h"
#include "platform/registry/scoped_key.h"
#include "platform/win32_types.h"

namespace talmoor::registry {

// The components of a registry item, addressed by masks that callers store
// and compare (their numbers are the record's and the clipboard's): 1
// machine, 2 root, 4 key path, 8 key name, 16 value name, 32 data, and the
// combinations 7, 12 and 15.
class Components {
 public:
  constexpr Components() = default;
  constexpr explicit Components(unsigned bits) : bits_(bits) {}
  constexpr unsigned bits() const { return bits_; }
  constexpr bool any() const { return bits_ != 0; }
  // Whether any of the components in `other` is among these.
  constexpr bool includes(Components other) const { return (bits_ & other.bits_) != 0; }
  constexpr Components operator|(Components other) const { return Components(bits_ | other.bits_); }
  constexpr bool operator==(const Components&) const = default;

 private:
  unsigned bits_ = 0;
};

inline constexpr Components kMachine{1};
inline constexpr Components kRoot{2};
inline constexpr Components kKeyPath{4};
inline constexpr Components kKeyName{8};
inline constexpr Components kValueName{16};
inline constexpr Components kData{32};
inline constexpr Components kParentPath = kMachine | kRoot | kKeyPath;  // 7
inline constexpr Components kKeyPathAndName = kKeyPath | kKeyName;      // 12
inline constexpr Components kFullKeyPath = kParentPath | kKeyName;      // 15

enum class Handle { Key, Parent };

class RegistryEntry {
 public:
  RegistryEntry();
  // Copies the header words, machine, root, key path and key name (not the
  // value name) and opens new handles to the keys the source has open.
  RegistryEntry(const RegistryEntry& other);
  RegistryEntry& operator=(const RegistryEntry& other);

  // Masks 1, 2, 4, 8, 16 set one component; 7, 12 and 15 parse a path text.
  // Any of masks 1-15 closes the open handles first. The root (mask 2) is
  // given as a root name text.
  bool setComponent(Components mask, std::string_view text);
  void setRoot(HKEY root);
  // Drops the components the mask names (1, 2, 4, 8, 16 or a sum of them).
  void clearComponent(Components mask);
  // The held text; mask 2 gives the root's long name, 15 the full path.
  std::optional<std::string> component(Components mask) const;
  // 7: machine + "HKEY_" + root + key path; 12: key path + "\" + key name.
  std::string componentText(Components mask) const;
  bool hasComponent(Components mask) const;
  // The value name when there is one, else the key name.
  std::string name() const;

  HKEY root() const { return root_; }
  const std::optional<std::string>& machine() const { return machine_; }  // "\\name\"
  const std::optional<std::string>& keyPath() const { return keyPath_; }  // "\Software"
  const std::optional<std::string>& keyName() const { return keyName_; }
  const std::optional<std::string>& valueName() const { return valueName_; }
  // The machine's name alone, for the access layer.
  std::string machineName() const;

  // The handle of the key (or of its parent), opened by path when needed.
  HKEY open(Handle which, bool quiet = false);
  void close(Handle which);
  void closeBoth();
  // The key: found among its parent's subkeys. The value: readable in the key.
  bool keyExists();
  bool valueExists();

  // Header words of the flat record (see the clipboard format).
  DWORD structureSize;
  DWORD fullPathLength = 0;
  DWORD valueNameLength = 0;
  DWORD reserved1 = 0xFFFFFFFFu;
  DWORD reserved2 = 0;

  ErrorHandler handler = defaultErrorHandler;
  DWORD handlerContext = 0;

 private:
  void invalidate();

  HKEY root_ = 0;
  std::optional<std::string> machine_;
  std::optional<std::string> keyPath_;
  std::optional<std::string> keyName_;
  std::optional<std::string> valueName_;
  mutable std::optional<std::string> fullPath_;
  platform::ScopedKey keyHandle_;
  platform::ScopedKey parentHandle_;
};

class RegistryBuffer {
 public:
  static constexpr int kUnknownType = -1;

  void reset();
  void setData(std::vector<BYTE> bytes) {
    data = std::move(bytes);
    hasData = true;
  }
  void clearData() {
    data.clear();
    hasData = false;
  }
  // Re-reads type and data of the location's value.
  bool read();
  // Sets the location's value to the held type and data.
  bool write();
  // True when every component the mask names is equal (texts exactly).
  bool compare(const RegistryBuffer& other, Components mask) const;
  // True when the item changed in the registry since its data was read.
  bool changed(bool keysOnly);

  int type = kUnknownType;
  std::vector<BYTE> data;
  bool hasData = false;  // a record may hold a location without data
  RegistryEntry location;
  bool implicitConversion = false;
};

// A RegistryBuffer shared between threads and windows; every use holds the lock.
struct RegistryItem {
  GuardedObject lock;
  RegistryBuffer buffer;
};

}  // namespace talmoor::registry

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

// Component masks; callers store and compare these values.
inline constexpr unsigned kMachine = 1;
inline constexpr unsigned kRoot = 2;
inline constexpr unsigned kKeyPath = 4;
inline constexpr unsigned kKeyName = 8;
inline constexpr unsigned kValueName = 16;
inline constexpr unsigned kData = 32;
inline constexpr unsigned kParentPath = 7;      // machine, root, key path
inline constexpr unsigned kKeyPathAndName = 12;
inline constexpr unsigned kFullKeyPath = 15;    // machine, root, key path, key name

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
  bool setComponent(unsigned mask, std::string_view text);
  void setRoot(HKEY root);
  // Drops the components the mask names (1, 2, 4, 8, 16 or a sum of them).
  void clearComponent(unsigned mask);
  // The held text; mask 2 gives the root's long name, 15 the full path.
  std::optional<std::string> component(unsigned mask) const;
  // 7: machine + "HKEY_" + root + key path; 12: key path + "\" + key name.
  std::string componentText(unsigned mask) const;
  bool hasComponent(unsigned mask) const;
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
  bool compare(const RegistryBuffer& other, unsigned mask) const;
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

#pragma once
// The registry service of the process: the local machine's registry, the
// handle table, the filter chain and the connections to other machines. The
// Win32-shaped calls (win32_registry.h) are thin wrappers over these
// operations, which work on UTF-16 names and raw stored bytes.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/registry/handle_table.h"
#include "platform/registry/loaded_hives.h"
#include "platform/registry/machine_registry.h"
#include "platform/registry/registry_filter.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

struct SubkeyEntry {
  std::u16string name;
  std::optional<std::u16string> className;
  std::uint64_t lastWrite = 0;
};

struct ValueEntry {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// What readContents hands over: views of the stored key, good only for the
// length of the call.
class KeyContentsSink {
 public:
  virtual ~KeyContentsSink() = default;
  virtual void value(std::u16string_view name, DWORD type, std::span<const BYTE> data) = 0;
  virtual void subkey(std::u16string_view name) = 0;
};

// What queryInfo measures besides the counts.
inline constexpr unsigned kInfoSubkeyLengths = 1;  // maxSubkeyName*, maxClass*
inline constexpr unsigned kInfoValues = 2;         // valueCount (read the values)
inline constexpr unsigned kInfoValueLengths = 4;   // maxValueName*, maxValueData*
inline constexpr unsigned kInfoAll = kInfoSubkeyLengths | kInfoValues | kInfoValueLengths;

struct KeyInformation {
  std::optional<std::u16string> className;
  DWORD subkeyCount = 0;
  DWORD valueCount = 0;
  // Longest lengths, in UTF-16 units for names and bytes for data, and the
  // same measured in the ANSI code page.
  DWORD maxSubkeyName = 0, maxSubkeyNameAnsi = 0;
  DWORD maxClass = 0, maxClassAnsi = 0;
  DWORD maxValueName = 0, maxValueNameAnsi = 0;
  DWORD maxValueData = 0, maxValueDataAnsi = 0;
  DWORD securitySize = 0;
  std::uint64_t lastWrite = 0;
};

class RegistryHost {
 public:
  explicit RegistryHost(std::shared_ptr<MachineRegistry> local);
  // Saves every changed hive (the orderly end of a run).
  ~RegistryHost();
  RegistryHost(const RegistryHost&) = delete;
  RegistryHost& operator=(const RegistryHost&) = delete;

  MachineRegistry& local() { return *local_; }
  const std::shared_ptr<MachineRegistry>& localShared() const { return local_; }
  HandleTable& handles() { return handles_; }

  // Names that reach this machine through RegConnectRegistry besides the
  // empty name and "localhost" (the host name is added by default).
  void addLocalMachineName(std::string name);

  // Turns the file names given to the hive calls into host paths (Windows
  // drive paths through the profile's drives). Without a resolver, names are
  // taken as host paths.
  void setHostPathResolver(std::function<std::optional<std::filesystem::path>(std::string_view)> resolver);
  std::optional<std::filesystem::path> hostPathOf(std::string_view fileName) const;

  // Hives loaded by loadKey are recorded below this key of
  // HKEY_LOCAL_MACHINE (and the record dropped by unloadKey), so that later
  // runs load them again; see loaded_hives.h. Without it, a load lasts
  // until the program ends.
  void keepLoadedHiveRecords(std::u16string keyBelowMachine);
  LoadedHiveRecords* loadedHiveRecords() { return loadRecords_.get(); }

  void addFilter(std::shared_ptr<RegistryFilter> filter);
  // Whether any filter is installed: without one, the documented calls and
  // the native read cannot disagree.
  bool hasFilters() const { return hasFilters_.load(); }
  void removeFilter(const std::shared_ptr<RegistryFilter>& filter);

  // Operations. Every one returns a Win32 code.
  LONG openKey(HKEY parent, std::u16string_view subkey, DWORD options, REGSAM access, HKEY& result);
  LONG createKey(HKEY parent, std::u16string_view subkey, const std::u16string* className, DWORD options,
                 REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY& result, DWORD* disposition);
  LONG closeKey(HKEY key);
  LONG enumKey(HKEY key, DWORD index, SubkeyEntry& out);
  LONG enumValue(HKEY key, DWORD index, ValueEntry& out);
  // Fills what `parts` asks for (kInfo* bits); the counts, class, security
  // size and time always. Measuring every subkey and value of a large key
  // for lengths nobody asked for is most of what a walk would spend here.
  LONG queryInfo(HKEY key, KeyInformation& out, unsigned parts = kInfoAll);
  LONG queryValue(HKEY key, std::u16string_view name, ValueEntry& out);
  // Every value of the key, then every subkey's name, in index order: what
  // enumValue and enumKey give one index at a time, read under one shared
  // lock and without copies, for walks that read a whole key anyway. The sink
  // runs under the lock and must not call the registry. Needs both the query
  // and the enumerate rights. With a filter installed this is
  // ERROR_NOT_SUPPORTED: filters run outside the lock, on copies, so such a
  // walk goes one index at a time.
  LONG readContents(HKEY key, KeyContentsSink& sink);
  // The stored value, around the filter chain.
  LONG queryValueNative(HKEY key, std::u16string_view name, ValueEntry& out);
  LONG setValue(HKEY key, std::u16string_view name, DWORD type, std::vector<BYTE> data);
  LONG deleteKey(HKEY key, std::u16string_view subkey);
  // Gives the key at `subkey` (empty: the key itself) a new name among its
  // siblings; everything below it comes along. Hive roots and the predefined
  // keys keep their names; a sibling of the new name is ERROR_ALREADY_EXISTS.
  LONG renameKey(HKEY key, std::u16string_view subkey, std::u16string_view newName);
  // Whether the key and everything below it could be deleted, one key at a
  // time, to the end: none of them is a root, the root of a hive or a key of
  // no hive, none lies in a read-only hive, and no hive is mounted below. A
  // deletion asks first, so that a refusal leaves everything in place.
  LONG checkDeleteTree(HKEY key, std::u16string_view subkey);
  LONG deleteValue(HKEY key, std::u16string_view name);
  LONG flushKey(HKEY key);
  LONG getSecurity(HKEY key, SECURITY_INFORMATION parts, std::vector<BYTE>& out);
  LONG setSecurity(HKEY key, SECURITY_INFORMATION parts, std::span<const BYTE> descriptor);
  LONG loadKey(HKEY key, std::u16string_view subkey, std::string_view fileName);
  LONG unloadKey(HKEY key, std::u16string_view subkey);
  LONG saveKey(HKEY key, std::string_view fileName);
  LONG connect(std::string_view machineName, HKEY root, HKEY& result);

  // The native path of the key behind a handle.
  LONG keyPath(HKEY key, std::u16string& nativePath);
  // The key's own name as stored (its case kept) and its last write time.
  LONG keyBasics(HKEY key, std::u16string& name, std::uint64_t& lastWrite);

  // Saves every changed hive of every machine; returns the first failure.
  LONG flushAll();

 private:
  LONG resolve(HKEY handle, HandleEntry& entry);
  std::shared_ptr<const std::vector<std::shared_ptr<RegistryFilter>>> filters() const;
  bool applyFilters(std::u16string_view keyPath, ValueEntry& value) const;
  LONG readValue(HKEY key, std::u16string_view name, ValueEntry& out, std::u16string* keyPath);
  void forgetUnused(HandleEntry& closed);

  std::shared_ptr<MachineRegistry> local_;
  HandleTable handles_;
  std::vector<std::string> localNames_;
  std::function<std::optional<std::filesystem::path>(std::string_view)> resolver_;
  mutable std::mutex filterMutex_;
  std::shared_ptr<const std::vector<std::shared_ptr<RegistryFilter>>> filters_;
  std::atomic<bool> hasFilters_{false};
  std::unique_ptr<LoadedHiveRecords> loadRecords_;
};

// The registry service the Win32-shaped calls of the calling thread use: the
// one of the profile bound to the thread (see thread_context.h), or an empty
// registry of the thread's own where none is, so that a stray call fails
// instead of reaching another profile.
std::shared_ptr<RegistryHost> callingThreadRegistry();

}  // namespace talmoor::platform

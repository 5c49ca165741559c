#pragma once
// Every read and write of the registry, local or on another machine: opening
// by handle or by path text, walking subkeys and values with a callback,
// reading one value, creating, deleting, setting and renaming. Failures go to
// the error reporter with a context text naming the operation; the caller's
// handler decides whether the operation stops.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error_reporting.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/scoped_key.h"
#include "platform/win32_types.h"
#include "registry/access/write_check.h"

namespace talmoor::registry {

// All key rights with the right to read the audit list.
inline constexpr REGSAM kDefaultOpenAccess = 0x010F003F;
inline constexpr REGSAM kAllKeyAccess = 0x000F003F;
inline constexpr REGSAM kReadKeyAccess = 0x00020019;
// Values above this size are not read.
inline constexpr DWORD kMaxValueSize = 8'024'000;
inline constexpr const char* kErrorName = "<Error>";
// How deep a walk goes below its start: the deepest tree a hive may hold,
// with room for the keys a hive is mounted below. A guard against a walk
// that would re-enter a key it is inside.
inline constexpr std::size_t kMaxWalkDepth = kMaxKeyDepth + 16;

// Where a failure is reported and who decides about it.
struct ReportTo {
  ReportTo() = default;
  ReportTo(ErrorHandler handler, std::string reportName = {}, void* caller = nullptr, WindowRef owner = 0)
      : handler(std::move(handler)), reportName(std::move(reportName)), caller(caller), owner(owner) {}

  ErrorHandler handler;        // none: the reporter's own boxes
  std::string reportName;      // normally the key path
  void* caller = nullptr;
  WindowRef owner = 0;
};

// Shown while a long value walk runs.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void start(DWORD range) = 0;
  virtual void step() = 0;
  virtual void hide() = 0;
};

struct SubkeyVisit {
  std::string_view machine;
  HKEY parent = 0;
  DWORD* index = nullptr;  // the walk's next index; the callback may change it
  std::string_view name;
  std::string_view className;
  DWORD subkeyCount = 0;
  LONG error = 0;
  const std::string* reportName = nullptr;
};

struct ValueVisit {
  std::string_view machine;
  HKEY key = 0;
  DWORD* index = nullptr;
  std::string_view name;
  const std::vector<BYTE>* data = nullptr;
  DWORD type = 0;
  const std::string* reportName = nullptr;
};

// A non-zero result stops the walk and becomes its result.
using SubkeyCallback = std::function<int(const SubkeyVisit&)>;
using ValueCallback = std::function<int(const ValueVisit&)>;

struct EnumerationRequest {
  EnumerationRequest() = default;
  explicit EnumerationRequest(HKEY key, DWORD index = 0, DWORD maxCount = 0, ReportTo report = {})
      : key(key), index(index), maxCount(maxCount), report(std::move(report)) {}

  HKEY key = 0;  // 0 walks the roots
  DWORD index = 0;
  DWORD maxCount = 0;  // 0 or -1: no limit
  ReportTo report;
  const std::atomic<bool>* cancel = nullptr;  // value walks
  ProgressSink* progress = nullptr;           // value walks
  // Subkey walks give each subkey's own subkey count only when asked: it
  // costs opening every subkey a second time.
  bool countChildren = false;
};

// Settings the reads follow (from the search options), kept per workspace.
// Worker threads read them at every value, so each switch is atomic; the
// hooks are put in place when the options are made and never change.
struct AccessOptions {
  AccessOptions();
  AccessOptions(const AccessOptions&) = delete;
  AccessOptions& operator=(const AccessOptions&) = delete;

  std::atomic<bool> intelligentConversion{true};
  // The value integrity check (registry/integrity_check.h): it may replace
  // the data a value walk delivers.
  std::function<void(HKEY key, const std::string& name, DWORD& type, std::vector<BYTE>& data,
                     const EnumerationRequest& request)>
      integrityCheck;
  // Query value's native path, installed with the check: a result ends the
  // query; nothing lets the ANSI read go on.
  std::function<std::optional<LONG>(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data,
                                    const ReportTo& report)>
      nativeQuery;
};
// The options of the calling thread's workspace.
AccessOptions& accessOptions();

LONG closeKey(HKEY key);
// A new handle to the same key, or 0.
HKEY duplicateKeyHandle(HKEY key);

// Opens `subkey` below `parent` (on `machine` when one is named); with no
// parent, `subkey` is a root name. `access` may be reduced to the rights that
// can be had when `discoverRights` is set.
LONG openKey(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result, REGSAM& access,
             DWORD options = 0, bool discoverRights = false);

// Opens a path text ("\\machine\HKEY_...\key"); 0 on failure.
HKEY openKeyByPath(std::string_view pathText, REGSAM access, const ReportTo& report,
                   std::optional<std::string_view> context = std::nullopt);

DWORD countSubkeys(HKEY parent, std::optional<std::string_view> subkey, std::string* className, LONG& result);
int enumerateSubkeys(std::string_view machine, EnumerationRequest& request, const SubkeyCallback& callback);
LONG enumerateOneSubkey(std::string_view machine, HKEY parent, DWORD index, std::string& name,
                        std::string* className, FILETIME* lastWrite, const ReportTo& report);
int enumerateValues(std::string_view machine, EnumerationRequest& request, const ValueCallback& callback);
// The names of an open key's subkeys and of its values, in enumeration order,
// taken before anything is done with them (a copy or a move changes the key).
std::vector<std::string> subkeyNames(HKEY key, const ReportTo& report);
std::vector<std::string> valueNames(HKEY key, const ReportTo& report);
DWORD valueCount(HKEY key);

// Reads a value: its type and data (string types as ANSI text with their
// terminators). Values above kMaxValueSize are refused with ERROR_INSUFFICIENT_BUFFER.
LONG queryValue(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data, const ReportTo& report);
bool valueExists(HKEY key, std::string_view name);
// Whether `host` has a subkey of exactly this name, compared with its case
// (a name that differs in case only is another key to the write gate).
bool subkeyExists(HKEY host, std::string_view name);
// The key's class; "<Error>" when it cannot be read; nothing without one.
std::optional<std::string> keyClass(HKEY key);

// Creates `name` below `host` through the gate; a new key gets `className`
// as its class and the creation `options` (a copy keeps its source's class,
// and a link stays a link).
bool createKey(std::string_view machine, HKEY host, std::string_view pathText, std::string& name,
               const ReportTo& report, const WriteCheck& check, HKEY* result, REGSAM access = kAllKeyAccess,
               const char* className = nullptr, DWORD options = 0);
bool openOrCreateKey(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result);
LONG createKeyPrimitive(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result,
                        REGSAM access, DWORD options = 0, const char* className = nullptr,
                        const SECURITY_ATTRIBUTES* security = nullptr, DWORD* disposition = nullptr);

bool deleteKey(std::string_view machine, HKEY parent, std::string_view path, const ReportTo& report,
               const WriteCheck& check);
LONG deleteKeyTree(std::string_view machine, HKEY parent, std::string_view subkey, const ReportTo& report,
                   DWORD* walkIndex = nullptr);
// Renames the key at `path` (a full path text) among its siblings, through
// the gate (which may change the new name); everything below it comes along.
bool renameKey(std::string_view path, std::string& newName, const ReportTo& report, const WriteCheck& check);
bool deleteValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath,
                 std::string_view valueName, const ReportTo& report, const WriteCheck& check);
bool setValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath, std::string& name,
              std::vector<BYTE>& data, DWORD type, const ReportTo& report, const WriteCheck& check);
bool setStringValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath,
                    std::string_view name, std::string_view text);
bool renameValue(HKEY key, std::string_view oldName, std::string& newName, const ReportTo& report,
                 const WriteCheck& check);
bool openAndRead(HKEY parent, std::string_view subkey, std::string_view valueName, std::vector<BYTE>& data);

// Key handles are owned by the platform's one closer.
using platform::ScopedKey;

}  // namespace talmoor::registry

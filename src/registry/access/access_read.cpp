// Walking subkeys and values, and reading one value.

#include <cstddef>
#include <cstring>

#include "base/error_log.h"
#include "platform/last_error.h"
#include "platform/registry/key_contents.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "registry/access/key_contents.h"
#include "registry/access/registry_access.h"
#include "registry/integrity_check.h"
#include "registry/root_keys.h"

namespace talmoor::registry {

namespace {

constexpr DWORD kFallbackNameLength = 2600;
constexpr DWORD kRootWalkLength = 20000;
constexpr DWORD kRefusedValueCount = 200;
constexpr DWORD kProgressThreshold = 101;
constexpr int kMaxValueReadTries = 6;
const std::size_t kErrorLength = std::strlen(kErrorName);

bool isRemoteRootWalkSkipped(HKEY root) { return root == HKEY_CURRENT_CONFIG || root == HKEY_DYN_DATA; }

}  // namespace

DWORD countSubkeys(HKEY parent, std::optional<std::string_view> subkey, std::string* className, LONG& result) {
  ScopedKey opened;
  HKEY key = parent;
  if (subkey) {
    result = RegOpenKeyExCountedA(parent, *subkey, 0, kReadKeyAccess, opened.out());
    if (result != ERROR_SUCCESS) return 0;
    key = opened.get();
  }
  DWORD classLength = 64;
  for (;;) {
    std::vector<char> buffer(classLength + 1);
    DWORD length = classLength;
    DWORD count = 0;
    result = RegQueryInfoKeyA(key, buffer.data(), &length, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (result == ERROR_INSUFFICIENT_BUFFER || result == ERROR_MORE_DATA) {
      classLength *= 2;
      continue;
    }
    if (result == ERROR_SUCCESS) {
      if (className) className->assign(buffer.data(), length);
      return count;
    }
    break;
  }
  // Without the information query, count by enumerating.
  DWORD count = 0;
  char name[260];
  for (;; ++count) {
    LONG rc = RegEnumKeyA(key, count, name, sizeof name);
    if (rc == ERROR_NO_MORE_ITEMS || rc == ERROR_ACCESS_DENIED) {
      result = ERROR_ACCESS_DENIED;
      break;
    }
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
      result = rc;
      break;
    }
  }
  return count;
}

LONG enumerateOneSubkey(std::string_view machine, HKEY parent, DWORD index, std::string& name,
                        std::string* className, FILETIME* lastWrite, const ReportTo& report) {
  if (!parent) {
    LONG rc = enumerateRoots(index, name, 0xFFFF);
    if (rc != ERROR_SUCCESS || machine.empty()) return rc;
    ScopedKey remote;
    std::string machineName(machine);
    LONG connected = RegConnectRegistryA(machineName.c_str(), rootFromText(name), remote.out());
    if (connected != ERROR_SUCCESS)
      reportError(report.handler, connected, report.reportName, name,
                  "Enumerating Key(s) - Establishing Remote Connection", report.caller, kVerbosityBox, report.owner);
    return connected;
  }
  DWORD longest = 0, longestClass = 0;
  RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, nullptr, &longest, &longestClass, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  std::vector<char> nameBuffer(longest + 261);
  std::vector<char> classBuffer(longestClass + 261);
  DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
  DWORD classLength = static_cast<DWORD>(classBuffer.size());
  LONG rc = RegEnumKeyExA(parent, index, nameBuffer.data(), &nameLength, nullptr,
                          className ? classBuffer.data() : nullptr, className ? &classLength : nullptr, lastWrite);
  if (rc == ERROR_SUCCESS) {
    name.assign(nameBuffer.data(), nameLength);
    if (className) className->assign(classBuffer.data(), classLength);
  }
  return rc;
}

int enumerateSubkeys(std::string_view machine, EnumerationRequest& request, const SubkeyCallback& callback) {
  const ReportTo& report = request.report;
  LONG countResult = ERROR_SUCCESS;
  DWORD count = 0;
  if (request.key) {
    count = countSubkeys(request.key, std::nullopt, nullptr, countResult);
    if (countResult != ERROR_SUCCESS)
      reportError(report.handler, countResult, report.reportName, "", "Getting SubKey Count (Enum Keys)",
                  report.caller, kVerbositySilent, report.owner);
  } else {
    count = static_cast<DWORD>(std::size(kRootKeys) - 1);
  }
  if (request.index >= count) return 0;

  ScopedKey remote;
  HKEY key = request.key;
  if (key && !machine.empty() && isRootHandle(key)) {
    std::string machineName(machine);
    LONG rc = RegConnectRegistryA(machineName.c_str(), key, remote.out());
    if (rc != ERROR_SUCCESS) {
      reportError(report.handler, rc, report.reportName, "", "Connecting to Remote Registry", report.caller,
                  kVerbosityBox, report.owner);
      return 0;
    }
    key = remote.get();
  }

  DWORD longest = kRootWalkLength, longestClass = kRootWalkLength;
  if (key) {
    LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, &longestClass, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS)
      reportError(report.handler, rc, report.reportName, "", "Querying Key Info (Enum Keys)", report.caller,
                  kVerbositySilent, report.owner);
    if (rc != ERROR_SUCCESS || longest == 0 || longestClass == 0 || longest > kFallbackNameLength ||
        longestClass > kFallbackNameLength)
      longest = longestClass = kFallbackNameLength;
  }
  std::vector<char> nameBuffer(longest + kErrorLength + 2 + 260);
  std::vector<char> classBuffer(longestClass + 260);

  for (;;) {
    std::string name;
    std::string className;
    LONG rc = ERROR_SUCCESS;
    if (!key) {
      rc = enumerateRoots(request.index, name, 0xFFFF);
      if (rc == ERROR_SUCCESS && !machine.empty()) {
        HKEY root = rootFromText(name);
        if (isRemoteRootWalkSkipped(root)) {
          ++request.index;
          if (request.index >= count) break;
          continue;
        }
        ScopedKey probe;
        std::string machineName(machine);
        rc = RegConnectRegistryA(machineName.c_str(), root, probe.out());
      }
    } else {
      DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
      DWORD classLength = static_cast<DWORD>(classBuffer.size());
      rc = RegEnumKeyExA(key, request.index, nameBuffer.data(), &nameLength, nullptr, classBuffer.data(),
                         &classLength, nullptr);
      if (rc == ERROR_MORE_DATA) {
        nameLength = static_cast<DWORD>(nameBuffer.size());
        classLength = 0;
        rc = RegEnumKeyExA(key, request.index, nameBuffer.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
      }
      if (rc == ERROR_SUCCESS) {
        name.assign(nameBuffer.data(), nameLength);
        className.assign(classBuffer.data(), classLength);
      }
      if (rc == ERROR_MORE_DATA || rc == ERROR_IO_PENDING) rc = ERROR_SUCCESS;
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;

    bool rootStepFailed = !key && (rc == ERROR_INVALID_HANDLE || rc == ERROR_BADKEY || rc == ERROR_BAD_NETPATH);
    if (!rootStepFailed) {
      DWORD children = 0;
      if (!name.empty()) {
        LONG childResult = ERROR_SUCCESS;
        if (key && request.countChildren) children = countSubkeys(key, name, nullptr, childResult);
        std::string_view nameView = name;
        SubkeyVisit visit{machine, key, &request.index, nameView, className, children, rc, &report.reportName};
        if (int stop = callback(visit); stop != 0) return stop;
      }
    }
    if (rc != ERROR_SUCCESS) {
      if (!report.handler) showErrorBox(rc, report.owner, "Enumerating Registry");
      ++request.index;
      if (request.index >= count) break;
      continue;
    }
    if (request.maxCount > 0 && request.maxCount != 0xFFFFFFFFu && --request.maxCount == 0) break;
    ++request.index;
  }
  return 0;
}

DWORD valueCount(HKEY key) {
  DWORD count = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return 0;
  return count;
}

std::vector<std::string> subkeyNames(HKEY key, const ReportTo& report) {
  std::vector<std::string> names;
  EnumerationRequest request(key, 0, 0, report);
  enumerateSubkeys("", request, [&](const SubkeyVisit& visit) {
    names.emplace_back(visit.name);
    return 0;
  });
  return names;
}

std::vector<std::string> valueNames(HKEY key, const ReportTo& report) {
  std::vector<std::string> names;
  EnumerationRequest request(key, 0, 0, report);
  enumerateValues("", request, [&](const ValueVisit& visit) {
    names.emplace_back(visit.name);
    return 0;
  });
  return names;
}

int enumerateValues(std::string_view machine, EnumerationRequest& request, const ValueCallback& callback) {
  const ReportTo& report = request.report;
  DWORD count = 0, longestName = 0, longestData = 0;
  // One query gives the count and the buffer sizes.
  LONG infoResult = RegQueryInfoKeyA(request.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                     &longestName, &longestData, nullptr, nullptr);
  if (infoResult == ERROR_ACCESS_DENIED) count = kRefusedValueCount;
  if (request.index >= count) {
    if (request.progress) request.progress->hide();
    return 0;
  }
  bool countKnown = true;
  std::size_t nameSize = 1040, dataSize = 20000;
  if (infoResult != ERROR_SUCCESS) {
    reportError(report.handler, infoResult, report.reportName, "", "Querying Key Info (Enum Values)", report.caller,
                kVerbositySilent, report.owner);
    countKnown = false;
  } else {
    nameSize = longestName + 260;
    dataSize = longestData + 260;
  }
  nameSize += kErrorLength + 1;
  dataSize += kErrorLength + 1;

  bool showProgress = request.progress && count >= kProgressThreshold;
  if (showProgress) request.progress->start(count);
  const DWORD initialCount = count;
  int result = 0;
  std::vector<char> name(nameSize);
  std::vector<BYTE> data(dataSize);
  for (;; ++request.index) {
    if (countKnown && request.index >= count) break;
    if (request.cancel && request.cancel->load()) {
      result = -1;
      break;
    }
    // A name the system does not return shows as "<Error>".
    std::memcpy(name.data(), kErrorName, kErrorLength + 1);
    DWORD nameLength = 0, dataLength = 0, type = 0;
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxValueReadTries && rc == ERROR_MORE_DATA; ++attempt) {
      if (attempt > 0) {
        name.resize(name.size() * 2);
        data.resize(data.size() * 2);
      }
      nameLength = static_cast<DWORD>(name.size());
      dataLength = static_cast<DWORD>(data.size());
      rc = RegEnumValueA(request.key, request.index, name.data(), &nameLength, nullptr, &type, data.data(),
                         &dataLength);
    }
    std::vector<BYTE> value;
    if (rc == ERROR_SUCCESS) {
      value.assign(data.begin(), data.begin() + dataLength);
    } else if (rc == ERROR_NO_MORE_ITEMS || request.index >= initialCount) {
      break;
    } else {
      reportError(report.handler, rc, report.reportName, std::string_view(name.data()), "Enumerating Registry Values",
                  report.caller, kVerbosityBox, report.owner);
      if (rc != ERROR_INSUFFICIENT_BUFFER && rc != ERROR_MORE_DATA) continue;
      // Deliver the value without its data rather than not at all.
      nameLength = static_cast<DWORD>(name.size());
      rc = RegEnumValueA(request.key, request.index, name.data(), &nameLength, nullptr, &type, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) {
        reportError(report.handler, rc, report.reportName, std::string_view(name.data()),
                    "Enumerating Registry Value (More Data)", report.caller, kVerbosityBox, report.owner);
        continue;
      }
      if (!report.handler)
        messageBox("Warning : Some Items where not fully loaded into memory, be carefull when editing these items",
                   "WARNING : Do NOT edit");
    }
    std::string valueName(name.data(), nameLength);
    if (accessOptions().integrityCheck) accessOptions().integrityCheck(request.key, valueName, type, value, request);
    ValueVisit visit{machine, request.key, &request.index, valueName, &value, type, &report.reportName};
    if (showProgress) request.progress->step();
    if (int stop = callback(visit); stop != 0) {
      result = stop;
      break;
    }
  }
  if (showProgress) request.progress->hide();
  return result;
}

void KeyContents::clear() {
  names_.clear();
  subkeys_.clear();
  dropValues();
}

void KeyContents::dropValues() {
  values_.clear();
  // A large value is not held while the walk goes on below its key.
  constexpr std::size_t kKeptData = 64 * 1024;
  if (data_.capacity() > kKeptData) std::vector<BYTE>().swap(data_);
  data_.clear();
}

KeyContents::Piece KeyContents::addText(std::string_view text) {
  Piece piece{names_.size(), text.size()};
  names_.append(text);
  return piece;
}

void KeyContents::addValue(std::string_view name, DWORD type, std::span<const BYTE> data) {
  values_.push_back(Value{addText(name), type, data_.size(), data.size()});
  data_.insert(data_.end(), data.begin(), data.end());
}

void KeyContents::addSubkey(std::string_view name) { subkeys_.push_back(addText(name)); }

bool readKeyContents(HKEY key, KeyContents& contents) {
  // The check may replace what a value shows and report it; where it could,
  // it sees each value as the walk one index at a time delivers it.
  if (!integrityCheckPassesEverything(accessOptions())) return false;
  struct Collect final : KeyContentsVisitorA {
    explicit Collect(KeyContents& into) : into(into) {}
    void value(std::string_view name, DWORD type, std::span<const BYTE> data) override {
      into.addValue(name, type, data);
    }
    void subkey(std::string_view name) override { into.addSubkey(name); }
    KeyContents& into;
  } collect(contents);
  contents.clear();
  if (RegReadKeyContentsA(key, collect) == ERROR_SUCCESS) return true;
  contents.clear();
  return false;
}

int enumerateValuesOf(std::string_view machine, EnumerationRequest& request, const KeyContents& contents,
                      const ValueCallback& callback) {
  const ReportTo& report = request.report;
  const DWORD count = static_cast<DWORD>(contents.valueCount());
  if (request.index >= count) {
    if (request.progress) request.progress->hide();
    return 0;
  }
  const bool showProgress = request.progress && count >= kProgressThreshold;
  if (showProgress) request.progress->start(count);
  int result = 0;
  std::vector<BYTE> value;  // one buffer for all: the visit hands out a vector
  for (; request.index < count; ++request.index) {
    if (request.cancel && request.cancel->load()) {
      result = -1;
      break;
    }
    auto data = contents.valueData(request.index);
    value.assign(data.begin(), data.end());
    ValueVisit visit{machine, request.key,      &request.index, contents.valueName(request.index),
                     &value,  contents.valueType(request.index), &report.reportName};
    if (showProgress) request.progress->step();
    if (int stop = callback(visit); stop != 0) {
      result = stop;
      break;
    }
  }
  if (showProgress) request.progress->hide();
  return result;
}

LONG queryValue(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data, const ReportTo& report) {
  if (const auto& native = accessOptions().nativeQuery)
    if (auto result = native(key, name, type, data, report)) return *result;
  DWORD size = 0;
  LONG rc = RegQueryValueExCountedA(key, name, &type, nullptr, &size);
  if (rc == ERROR_INSUFFICIENT_BUFFER || rc == ERROR_MORE_DATA) rc = ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, report.reportName, name, "Establishing Size of Value Data", report.caller,
                kVerbosityBox, report.owner);
    return rc;
  }
  DWORD length = size;
  for (;;) {
    if (length > kMaxValueSize) return ERROR_INSUFFICIENT_BUFFER;
    data.assign(length + 2, 0);
    DWORD got = length;
    rc = RegQueryValueExCountedA(key, name, &type, data.data(), &got);
    if (rc == ERROR_MORE_DATA) {
      if (length < 200) length = 260;
      length *= 2;
      continue;
    }
    if (rc != ERROR_SUCCESS) {
      reportError(report.handler, rc, report.reportName, name, "Querying Value", report.caller, kVerbositySilent,
                  report.owner);
      data.clear();
      return rc;
    }
    data.resize(got);
    break;
  }
  return ERROR_SUCCESS;
}

bool valueExists(HKEY key, std::string_view name) {
  DWORD type = 0;
  return RegQueryValueExCountedA(key, name, &type, nullptr, nullptr) == ERROR_SUCCESS;
}

// One lookup, not a walk of the siblings: an import adds keys to parents
// that hold hundreds of thousands.
bool subkeyExists(HKEY host, std::string_view name) {
  ScopedKey child;
  if (RegOpenKeyExCountedA(host, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, child.out()) != ERROR_SUCCESS)
    return false;
  std::vector<BYTE> record(offsetof(KEY_BASIC_INFORMATION, Name) + (name.size() + 1) * 4);
  ULONG length = 0;
  if (NtQueryKey(child.get(), KeyBasicInformation, record.data(), static_cast<ULONG>(record.size()), &length) !=
      STATUS_SUCCESS)
    return false;
  KEY_BASIC_INFORMATION basics;
  std::memcpy(&basics, record.data(), offsetof(KEY_BASIC_INFORMATION, Name));
  std::u16string stored(basics.NameLength / 2, u'\0');
  std::memcpy(stored.data(), record.data() + offsetof(KEY_BASIC_INFORMATION, Name), basics.NameLength);
  return stored == platform::ansiToWide(name);
}

std::optional<std::string> keyClass(HKEY key) {
  DWORD length = 0;
  char empty[1];
  LONG rc = RegQueryInfoKeyA(key, empty, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return std::string(kErrorName);
  if (length == 0) return std::nullopt;
  std::vector<char> buffer(length + 1);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (RegQueryInfoKeyA(key, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return std::string(kErrorName);
  return std::string(buffer.data(), size);
}

}  // namespace talmoor::registry

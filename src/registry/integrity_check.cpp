#include "registry/integrity_check.h"

#include "platform/registry/registry_host.h"

#include <atomic>
#include <cstddef>
#include <cstring>

#include "base/error_reporting.h"
#include "base/workspace.h"
#include "platform/last_error.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::registry {

namespace {

// What the check keeps per workspace: the native entry points it resolved
// (a test stands others in) and the "Anti-Virus Methods" switch. Read at
// every value by the walking threads.
struct CheckSettings {
  std::atomic<QueryValueKeyCall> queryValueKey{&ZwQueryValueKey};
  std::atomic<StatusToWinErrorCall> statusToWinError{&LsaNtStatusToWinError};
  std::atomic<bool> enabled{true};
};

CheckSettings& settings() { return Workspace::current().service<CheckSettings>(); }

// A value may grow between asking for its size and reading it; the read is
// then tried again a few times.
constexpr int kReadTries = 4;
// Room the native read adds to the record's size, beyond the name.
constexpr std::size_t kRecordSlack = 32;
constexpr std::size_t kRecordHeader = offsetof(KEY_VALUE_FULL_INFORMATION, Name);

ULONG field(const std::vector<BYTE>& record, std::size_t at) {
  ULONG value = 0;
  std::memcpy(&value, record.data() + at, sizeof value);
  return value;
}

// String data as the ANSI value walk delivers it.
std::vector<BYTE> asDelivered(const ValueReading& reading) {
  if (!isStringType(reading.type)) return reading.data;
  std::string text = platform::wideToAnsi(platform::utf16FromBytes(reading.data));
  return std::vector<BYTE>(text.begin(), text.end());
}

// UTF-16 data to ANSI when every code unit converts: whole units, every
// surrogate in a pair.
std::optional<std::vector<BYTE>> convertedExactly(const std::vector<BYTE>& data) {
  if (data.size() % 2) return std::nullopt;
  std::u16string text = platform::utf16FromBytes(data);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
  }
  std::string ansi = platform::wideToAnsi(text);
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

CheckState compare(LONG wideResult, const ValueReading& wide, const ValueReading& native) {
  // A value the documented call does not find at all is hidden as well.
  if (wideResult != ERROR_SUCCESS || wide.data.size() != native.data.size()) return CheckState::Hidden;
  if (wide.data != native.data || wide.type != native.type) return CheckState::Disguised;
  return CheckState::Agree;
}

CheckState readAndCompare(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data) {
  auto counted = CountedName::make(name);
  if (!counted) return CheckState::NameFailed;
  // A value that the native call cannot read (gone, a handle it refuses)
  // gives nothing to compare with.
  ValueReading native1;
  if (nativeRead(key, *counted, native1) != ERROR_SUCCESS) return CheckState::Agree;
  ValueReading wide1;
  LONG wide1Result = wideRead(key, *counted, wide1);
  CheckState state = compare(wide1Result, wide1, native1);
  if (state == CheckState::Agree) return state;

  // Before calling it tampering, read both again: a value that another
  // program changes meanwhile differs for an innocent reason.
  ValueReading wide2, native2;
  LONG wide2Result = wideRead(key, *counted, wide2);
  LONG native2Result = nativeRead(key, *counted, native2);
  if (wide2Result != wide1Result || wide2 != wide1 || native2Result != ERROR_SUCCESS || native2 != native1)
    state = CheckState::InFlux;
  // The latest native reading is the truth; a value gone since keeps the first.
  const ValueReading& delivered = native2Result == ERROR_SUCCESS ? native2 : native1;
  type = delivered.type;
  data = asDelivered(delivered);
  return state;
}

void reportFinding(CheckState state, std::string_view name, const ReportTo& report) {
  const char* text = nullptr;
  int verbosity = kVerbosityBox;
  switch (state) {
    case CheckState::Agree:
      return;
    case CheckState::NameFailed:
      text = kCheckNameFailedText;
      break;
    case CheckState::InFlux:
      text = kCheckInFluxText;
      verbosity = kVerbositySilent;
      break;
    case CheckState::Hidden:
      text = kCheckHiddenText;
      break;
    case CheckState::Disguised:
      text = kCheckDisguisedText;
      break;
  }
  reportError(report.handler, ERROR_REGISTRY_RECOVERED, report.reportName, name, text, report.caller, verbosity,
              report.owner);
}

}  // namespace

namespace {
// The system's own native call: reads the same tree as the documented calls.
bool nativeEntryPointsReplaced() { return settings().queryValueKey.load() != &ZwQueryValueKey; }
}  // namespace

NativeEntryPoints nativeEntryPoints() {
  CheckSettings& current = settings();
  return NativeEntryPoints{current.queryValueKey.load(), current.statusToWinError.load()};
}

NativeEntryPoints setNativeEntryPoints(NativeEntryPoints entryPoints) {
  CheckSettings& current = settings();
  return NativeEntryPoints{current.queryValueKey.exchange(entryPoints.queryValueKey),
                           current.statusToWinError.exchange(entryPoints.statusToWinError)};
}

bool nativeReadAvailable() {
  NativeEntryPoints calls = nativeEntryPoints();
  return calls.queryValueKey && calls.statusToWinError;
}

void setIntegrityCheckEnabled(bool on) { settings().enabled = on; }
bool integrityCheckEnabled() { return settings().enabled.load(); }

std::optional<CountedName> CountedName::make(std::string_view ansiName) {
  if (!platform::isValidAnsi(ansiName)) return std::nullopt;
  std::u16string text = platform::ansiToWide(ansiName);
  // The byte count and the maximum (with the terminator) are 16-bit.
  if ((text.size() + 1) * 2 > 0xFFFF) return std::nullopt;
  return CountedName(std::move(text));
}

UNICODE_STRING CountedName::counted() const {
  auto length = static_cast<WORD>(text_.size() * 2);
  return UNICODE_STRING{length, static_cast<WORD>(length + 2), text_.c_str()};
}

LONG nativeRead(HKEY key, const CountedName& name, ValueReading& out) {
  NativeEntryPoints calls = nativeEntryPoints();
  if (!calls.queryValueKey || !calls.statusToWinError) return ERROR_INVALID_FUNCTION;
  const UNICODE_STRING counted = name.counted();
  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    ULONG size = 0;
    auto rc = static_cast<LONG>(
        calls.statusToWinError(calls.queryValueKey(key, &counted, KeyValueFullInformation, nullptr, 0, &size)));
    if (rc != ERROR_SUCCESS && rc != ERROR_INSUFFICIENT_BUFFER && rc != ERROR_MORE_DATA) return rc;
    std::vector<BYTE> record(counted.MaximumLength + kRecordSlack + size);
    ULONG got = 0;
    rc = static_cast<LONG>(calls.statusToWinError(calls.queryValueKey(
        key, &counted, KeyValueFullInformation, record.data(), static_cast<ULONG>(record.size()), &got)));
    if (rc == ERROR_MORE_DATA || rc == ERROR_INSUFFICIENT_BUFFER) continue;
    if (rc != ERROR_SUCCESS) return rc;
    if (got < kRecordHeader || got > record.size()) return ERROR_INVALID_DATA;
    ULONG offset = field(record, offsetof(KEY_VALUE_FULL_INFORMATION, DataOffset));
    ULONG length = field(record, offsetof(KEY_VALUE_FULL_INFORMATION, DataLength));
    if (offset > got || length > got - offset) return ERROR_INVALID_DATA;
    out.type = field(record, offsetof(KEY_VALUE_FULL_INFORMATION, Type));
    out.data.assign(record.begin() + offset, record.begin() + offset + length);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

LONG wideRead(HKEY key, const CountedName& name, ValueReading& out) {
  const WCHAR* wideName = name.text().c_str();
  for (int attempt = 0; attempt < kReadTries; ++attempt) {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, wideName, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_INSUFFICIENT_BUFFER && rc != ERROR_MORE_DATA) return rc;
    std::vector<BYTE> data(size);
    DWORD got = size;
    rc = RegQueryValueExW(key, wideName, nullptr, &type, data.data(), &got);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return rc;
    data.resize(got);
    out.type = type;
    out.data = std::move(data);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

CheckState checkValue(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data,
                      const EnumerationRequest& request) {
  if (!integrityCheckEnabled() || !nativeReadAvailable() || isPredefinedKey(key)) return CheckState::Agree;
  // Nothing stands between the two reads to make them differ: no need to read twice.
  if (!Workspace::current().registry().hasFilters() && !nativeEntryPointsReplaced())
    return CheckState::Agree;
  CheckState state = readAndCompare(key, name, type, data);
  SetLastError(0);
  reportFinding(state, name, request.report);
  return state;
}

std::optional<LONG> queryValueNatively(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data,
                                       const ReportTo& report) {
  if (!integrityCheckEnabled() || !nativeReadAvailable()) return std::nullopt;
  auto counted = CountedName::make(name);
  if (!counted) {
    messageBox(kNameNotConvertedText, "Sorry");
    return std::nullopt;
  }
  ValueReading reading;
  LONG rc = nativeRead(key, *counted, reading);
  if (rc == ERROR_INVALID_HANDLE) return std::nullopt;
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, report.reportName, name, "Establishing Size of Value Data", report.caller,
                kVerbosityBox, report.owner);
    return rc;
  }
  if (reading.data.size() > kMaxValueSize) {
    data.clear();
    return ERROR_INSUFFICIENT_BUFFER;
  }
  type = reading.type;
  data = std::move(reading.data);
  if (isStringType(type) && accessOptions().intelligentConversion) {
    if (auto ansi = convertedExactly(data))
      data = std::move(*ansi);
    else
      addErrorLogRow(ERROR_NO_UNICODE_TRANSLATION, report.reportName, kUnicodeKeptText, name, kVerbositySilent);
  }
  return ERROR_SUCCESS;
}

namespace {
// A type of its own, so that a walk can tell this check from another hook.
struct InstalledCheck {
  void operator()(HKEY key, const std::string& name, DWORD& type, std::vector<BYTE>& data,
                  const EnumerationRequest& request) const {
    checkValue(key, name, type, data, request);
  }
};
}  // namespace

void installIntegrityCheck(AccessOptions& options) {
  options.integrityCheck = InstalledCheck{};
  options.nativeQuery = &queryValueNatively;
}

bool integrityCheckPassesEverything(const AccessOptions& options) {
  if (!options.integrityCheck) return true;
  if (!options.integrityCheck.target<InstalledCheck>()) return false;
  // As checkValue decides before reading anything.
  return !integrityCheckEnabled() || !nativeReadAvailable() ||
         (!Workspace::current().registry().hasFilters() && !nativeEntryPointsReplaced());
}

}  // namespace talmoor::registry

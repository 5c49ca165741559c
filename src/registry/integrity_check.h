#pragma once
// The value integrity check. Software that hides itself can filter what the
// documented registry calls deliver while the data stays where it is. Each
// value is therefore read twice, through the documented wide call and
// through the native call, which such filters do not see; when the two
// disagree the finding is reported and the native data is delivered instead.
// With the check on, Query value reads its data through the native call too.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"

namespace talmoor::registry {

// The state of one value after the check.
enum class CheckState : int {
  NameFailed = -2,  // the counted name could not be made
  InFlux = -1,      // a second reading differed from the first
  Agree = 0,        // or not checked
  Hidden = 1,       // the documented read is of another length
  Disguised = 2,    // same length (or none), other bytes or another type
};

// The texts of the findings, reported with ERROR_REGISTRY_RECOVERED.
inline constexpr const char* kCheckNameFailedText =
    "Anti-Virus check failed due to problems initilising an LSA string. This error has an indeterminate cause.";
inline constexpr const char* kCheckInFluxText =
    "Value is in state of fluxation, value has changed since it was first read.";
inline constexpr const char* kCheckHiddenText =
    "Value Tampering Detected and Countered (Stealth Software Present on this system is altering / hidding registry "
    "data)";
inline constexpr const char* kCheckDisguisedText =
    "Value Tampering Detected and Countered (Stealth Software Present on this system is altering / discuising "
    "registry data)";
// Query value's native path.
inline constexpr const char* kUnicodeKeptText = "Failed to convert uni-code string to ASCI, using unicode instead.";
inline constexpr const char* kNameNotConvertedText = "Unable to convert ANSI to Multi-Byte Character string";

// The native entry points, looked up once at start-up. Without either of
// them the native read is not used and the check stays quiet.
using QueryValueKeyCall = NTSTATUS (*)(HKEY, const UNICODE_STRING*, KEY_VALUE_INFORMATION_CLASS, void*, ULONG, ULONG*);
using StatusToWinErrorCall = ULONG (*)(NTSTATUS);
struct NativeEntryPoints {
  QueryValueKeyCall queryValueKey = nullptr;
  StatusToWinErrorCall statusToWinError = nullptr;
};
NativeEntryPoints nativeEntryPoints();
// Replaces the entry points and returns the ones replaced.
NativeEntryPoints setNativeEntryPoints(NativeEntryPoints entryPoints);
bool nativeReadAvailable();

// The "Anti-Virus Methods" switch, on from start-up. Read at every value,
// so a change takes effect with the next value read.
void setIntegrityCheckEnabled(bool on);
bool integrityCheckEnabled();

// A value name as the native call takes it: UTF-16 made from the ANSI code
// page with a 16-bit byte count.
class CountedName {
 public:
  // Nothing when a character cannot be converted or the name is too long.
  static std::optional<CountedName> make(std::string_view ansiName);
  UNICODE_STRING counted() const;
  const std::u16string& text() const { return text_; }

 private:
  explicit CountedName(std::u16string text) : text_(std::move(text)) {}
  std::u16string text_;
};

// One reading of a value: its type and its stored bytes.
struct ValueReading {
  DWORD type = 0;
  std::vector<BYTE> data;
  bool operator==(const ValueReading&) const = default;
};

// The stored value through the native call (full information). Returns a
// Win32 code; ERROR_INVALID_FUNCTION without the entry points.
LONG nativeRead(HKEY key, const CountedName& name, ValueReading& out);
// The value through the documented wide call.
LONG wideRead(HKEY key, const CountedName& name, ValueReading& out);

// Checks one value that the value walk has read; `type` and `data` are what
// the walk will deliver, and are replaced by the native reading when the
// state is not Agree. Findings are reported through the request's handler.
CheckState checkValue(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data,
                      const EnumerationRequest& request);

// Query value's native path: the type and data as the native call reads
// them, string data converted to ANSI under "Inteligent Conversion".
// Nothing when this query must use the ANSI call (the check is off, the
// native call is missing or refuses the handle).
std::optional<LONG> queryValueNatively(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data,
                                       const ReportTo& report);

// Puts the check and the native query into the access layer's options. The
// hooks stay installed; the switch above turns them on and off, so that a
// walk running on another thread never sees them change under it.
void installIntegrityCheck(AccessOptions& options);

// Whether the check in `options` is the one installed above and would now
// pass every value as the registry gives it (off, no native call, or the
// system's own native call beside a registry without filters), so that a
// walk may read values without handing each to it.
bool integrityCheckPassesEverything(const AccessOptions& options);

}  // namespace talmoor::registry

#pragma once
// The process-wide search options that every new search context copies, the
// confirmation template that every new change record copies, and the numbers
// both are written in: operation bits, dialog answers, search flags, types.

#include <array>
#include <mutex>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::search {

// What a search looks at.
inline constexpr DWORD kSearchKeyNames = 1;
inline constexpr DWORD kSearchValueNames = 2;
inline constexpr DWORD kSearchValueData = 4;

// Type mask bits beyond bit n for type n (n = 0..10).
inline constexpr DWORD kTypeBitCustom = 0x800;  // every type above 10
inline constexpr DWORD kTypeBitAll = 0x1000;
inline constexpr DWORD kHighestNamedType = 10;

// The bit a data type has in a type mask.
constexpr DWORD typeBit(DWORD type) { return type <= kHighestNamedType ? (1u << type) : kTypeBitCustom; }

// Operation bits of a change and their named combinations.
inline constexpr DWORD kOpDefault = 0;
inline constexpr DWORD kOpRead = 1;
inline constexpr DWORD kOpBufferCopy = 2;
inline constexpr DWORD kOpCreate = 4;
inline constexpr DWORD kOpExists = 8;
inline constexpr DWORD kOpDelete = 16;
inline constexpr DWORD kOpChangePath = 32;
inline constexpr DWORD kOpRenameValue = 64;
inline constexpr DWORD kOpOverwrite = kOpCreate | kOpExists;                                       // 12
inline constexpr DWORD kOpCopy = kOpRead | kOpBufferCopy | kOpCreate;                                // 7
inline constexpr DWORD kOpRename = kOpCopy | kOpDelete | kOpRenameValue;                             // 87
inline constexpr DWORD kOpMove = kOpCopy | kOpDelete | kOpChangePath;                                // 55
inline constexpr DWORD kOpHighest = 128;

struct OperationName {
  DWORD value;
  const char* displayName;   // "" where the operation has none
  const char* internalName;  // "" where it has none
};
// Every operation with a name, in order of value as the system lists them.
inline constexpr OperationName kOperationNames[] = {
    {0, "", "iDefault"},       {1, "", "iRead"},         {2, "", "iBufferCopy"},
    {4, "Create", "iCreate/iWrite"}, {8, "", "iExists"}, {16, "Delete", ""},
    {32, "Change Path", ""},   {64, "Rename Value", ""}, {12, "Overwrite", ""},
    {7, "Copy", ""},           {87, "Rename", ""},       {55, "Move", ""},
};

// The answers of the confirmation dialogs (the write confirmation and the
// missing file reference), also what a confirmation slot remembers. The
// values are the dialogs' result numbers, which the Interaction hands over.
enum class ConfirmationAnswer : int {
  NotShown = -1,  // the dialog could not be shown
  Cancel = 2,
  Accept = 6,
  Reject = 7,
};

// A dialog adds this to its result when its do-not-show box is ticked.
inline constexpr int kDoNotShowFlag = 32;

// A dialog's result number taken apart. A number that is no answer above is
// kept as it came, so that the gate can say it does not know it.
struct DialogResult {
  ConfirmationAnswer answer = ConfirmationAnswer::Reject;
  bool doNotShowAgain = false;
};
constexpr DialogResult decodeDialogResult(int result) {
  if (result >= kDoNotShowFlag) return {static_cast<ConfirmationAnswer>(result - kDoNotShowFlag), true};
  return {static_cast<ConfirmationAnswer>(result), false};
}
// The number a dialog hands back for an answer (what consoles and scripted
// answers give the Interaction).
constexpr int dialogResult(ConfirmationAnswer answer, bool doNotShowAgain = false) {
  return static_cast<int>(answer) + (doNotShowAgain ? kDoNotShowFlag : 0);
}

// Kinds of change.
inline constexpr int kChangeKey = 1;
inline constexpr int kChangeValue = 2;

struct ConfirmationSlot {
  // A 32-bit flag, as the options dialog's trees bind to it.
  DWORD suppressed = 0;
  ConfirmationAnswer answer = ConfirmationAnswer::Accept;
};
// Indexed by kind (1 keys, 2 values; 0 unused), then by operation (0..128).
using ConfirmationTable = std::array<std::array<ConfirmationSlot, kOpHighest + 1>, 3>;

struct SearchOptions {
  DWORD searchFlags = kSearchKeyNames | kSearchValueNames | kSearchValueData;
  DWORD typeMask = 0x86;  // string, expandable string, multi-string
  BYTE alwaysMatchOnName = 1;
  BYTE tamperCheck = 1;  // "Anti-Virus Methods"
  BYTE intelligentConversion = 1;
  BYTE confirmationsOff = 0;
  ConfirmationTable confirmationTemplate{};
};

// A copy of the options of the calling thread's workspace (held in memory
// only, from their defaults in every run).
SearchOptions currentSearchOptions();
// Replaces the options; the switches other subsystems keep (intelligent
// conversion, the integrity check) are passed on to them.
void storeSearchOptions(const SearchOptions& options);
// Only the confirmations-off switch, as a running write check changes it.
void setConfirmationsOff(bool off);
// The options as the program starts.
void resetSearchOptions();

}  // namespace talmoor::search

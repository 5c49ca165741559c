#pragma once
// The display form of value data, as the value list, the naming rules and
// the search results show it: strings with rotated names, short root names,
// native path prefixes, environment references and indirect resource strings
// turned into readable text; numbers with their hexadecimal and decimal forms;
// other data as text or bytes.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::registry {

struct DisplayContext {
  bool expanded = false;  // something was replaced by what it stands for
  bool rotated = false;   // a rotated ("HRZR_") name was turned back
};

// `data` is the value's data as the ANSI calls deliver it.
std::string formatData(DWORD type, std::span<const BYTE> data, DisplayContext& context);

// One string datum made readable.
std::string displayString(std::string_view text, DisplayContext& context);

// Letters rotated by n places (1..25), case kept, other characters unchanged:
// a letter whose upper-case form is below 'A' + n moves up, any other down.
std::string rotateLetters(std::string_view text, int n);
// By 13 places, its own inverse.
std::string rotate13(std::string_view text);
// Names stored rotated begin with "HRZR_" ("USER_" rotated); only the upper-case
// form counts.
bool isCypheredName(std::string_view text);

struct NativePathPrefix {
  std::string prefix;
  std::string replacement;
  int kind;
};
// The native-path prefixes in the order they are applied.
const std::vector<NativePathPrefix>& nativePathPrefixes();

// The file-reference resolution asked for the resolved form of a text that
// names a file (per workspace); none installed leaves the text as it is.
using FileReferenceResolver = std::function<std::optional<std::string>(std::string_view)>;
void setFileReferenceResolver(FileReferenceResolver resolver);

// "@module,-number" as an indirect resource string names it.
struct IndirectString {
  std::string module;
  unsigned id = 0;
};
std::optional<IndirectString> parseIndirectString(std::string_view text);

}  // namespace talmoor::registry

#pragma once
// The masks the system itself runs, byte for byte, each with the length it is
// passed with. Segments are separated by NUL bytes.

#include <string_view>

namespace talmoor::masks {

// A file reference inside registry data (Verify): the start of the text or a
// separator, an optional opening double quote, an optional "-" or "f", a
// drive path, and the shortest run up to the closing quote or the next
// separator or the end of the text. 46 bytes, six segments.
std::string_view filePathMask();

// A reference that may be quoted, with no drive required (long file names).
// Segments 1, 2, 5 and 6 of the file-path mask: 31 bytes.
std::string_view quotedPathMask();

// "%D|%X:\%$-3", 11 bytes with no terminator: a decimal length, a bar, and a
// drive path of that length.
std::string_view lengthPrefixedPathMask();

// An indirect resource string such as "@%SystemRoot%\system32\shell32.dll,-21787":
// an at-sign, a file name with an extension, a comma, an optional minus, a
// number, an optional at-sign and any rest. 19 bytes.
std::string_view indirectStringMask();

// Long-file-name tests. Quoted-list test (12 bytes): any run, then one of
// "; ,/", then anything.
std::string_view quotedListTestMask();
// Name continuation A (18 bytes): a run of characters valid in a file name,
// then the end of the text or one of ", ;/|".
std::string_view nameContinuationMaskA();
// Name continuation B (13 bytes): a run of characters valid in a path
// component, then a backslash.
std::string_view nameContinuationMaskB();

// The separators kept beside the path masks.
inline constexpr std::string_view kPathDelimiters = " ,;|";

}  // namespace talmoor::masks

#pragma once
// The text of registry script files, without any file: escaping, the value
// line as the writer lays it out, and the parsers for the pieces of a line
// that the reader takes apart.
//
// A script is text with CR LF line ends, ANSI (UTF-8 here) under the header
// "REGEDIT4", or UTF-16LE after the byte-order mark FF FE under the header
// "Windows Registry Editor Version 5.00":
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Example]
//   "Name"="text"
//   @=dword:000000ff
//   "Blob"=hex:00,01,02,...,17   (long lists go on over lines ending in a
//                                   comma and a backslash)
//   "Path"=hex(2):25,00,...
//
// Value data is always in the form the ANSI registry calls deliver it: strings
// as bytes with their terminating 0. The text is made as ANSI in both forms
// and turned into UTF-16 as a whole when the file is Version 5.00; only the
// hex form of string data differs, since its bytes are the string's own.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::scripts {

inline constexpr std::string_view kCrLf = "\r\n";
inline constexpr std::string_view kHeaderRegedit4 = "REGEDIT4";
inline constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";

// The two forms a script is written in. Regedit4 is what the registry
// editors of the 9x family read; Regedit5 is what those of the NT family
// (and Wine's) write, and carries every character of the registry's UTF-16
// names and strings whatever the code page.
enum class ScriptFormat { Regedit4, Regedit5 };

// What a new file of the format starts with: the byte-order mark for
// Regedit5, the header line and CR LF.
std::string scriptFileStart(ScriptFormat format);
// Script text (ANSI) as a file of the format holds it: as it is, or as
// UTF-16LE.
std::string encodeScriptText(std::string_view text, ScriptFormat format);

// Hex list wrapping: a line is wrapped once its hex text plus the start column
// plus 4 would pass this width; continuation lines start at column 4.
inline constexpr std::size_t kHexLineWidth = 80;
inline constexpr std::size_t kHexContinuationColumn = 4;

// Backslash, double quote, CR and LF become \\, \", \r and \n. A 0 byte ends
// the text.
std::string escapeText(std::string_view text);
// Undoes \\, \", \r and \n; any other backslash stays as it is.
std::string unescapeText(std::string_view text);

// "@" for the unnamed value (the empty name), else the name escaped in quotes.
std::string valueNamePart(std::string_view name);

// Whether string data can be written as quoted text and read back to the same
// bytes: at least two bytes, the first not 0, exactly one 0 and that one last,
// and no byte 1-8 or 248-255 (such bytes mark binary data).
bool isPlainText(std::span<const BYTE> data);

// The prefix of the hex form: "hex:" for binary, "hex(%x):" for any other type.
std::string hexPrefix(DWORD type);

// Appends the bytes as "%02x" separated by commas, wrapped as described above
// for a first line starting at `startColumn`. Only wraps when another byte
// follows, so a list never ends in a continuation.
void appendHexList(std::string& out, std::span<const BYTE> data, std::size_t startColumn);

// The whole value line with its CR LF (and continuation lines), as ANSI text:
// - type 1 plain text: "text" (escaped, without its terminator);
// - type 4 of exactly 4 bytes: dword:%08x;
// - type 3: hex:list; everything else (also strings that are not plain text
//   and numbers of another length): hex(%x):list.
// For Regedit5 the hex list of the string types (1, 2, 7) holds the string's
// UTF-16LE bytes, as the registry stores them and as Version 5.00 readers
// expect them, and the start column counts the name in UTF-16 units.
std::string formatValueLine(std::string_view name, DWORD type, std::span<const BYTE> data,
                            ScriptFormat format = ScriptFormat::Regedit4);

// --- Reading -------------------------------------------------------------

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
std::string_view trimBlanks(std::string_view text);
std::string_view trimLeadingBlanks(std::string_view text);

// A value line cut at its "=": the name part (untrimmed) and the data part.
// The cut is the first "=", except that a name in quotes that itself holds
// "=" is cut after its closing quote. Nothing when the line has no "=".
struct ValueLineParts {
  std::string_view name;
  std::string_view data;
};
std::optional<ValueLineParts> splitValueLine(std::string_view line);

// The value name from a name part: "@" exactly is the unnamed value; otherwise
// blanks and tabs are trimmed, surrounding quotes removed when both are there,
// and escapes undone.
struct ValueName {
  std::string text;
  bool unnamed = false;
};
ValueName parseValueName(std::string_view namePart);

// A quoted string is complete when it ends with a quote (other than its
// opening one) that no odd run of backslashes escapes.
bool quotedStringComplete(std::string_view data);
// The string data of a quoted data part: quotes removed (the closing one only
// when present), escapes undone, and the terminating 0 added.
std::vector<BYTE> quotedStringData(std::string_view data);

// "dword:" and hexadecimal digits, at most 8 after leading zeros (trailing
// blanks allowed): the number as 4 little-endian bytes.
std::optional<std::vector<BYTE>> parseDwordData(std::string_view data);

// Which hex form a data part starts with: "hex:" (type 3) or "hex(N):".
// `rest` is what follows the colon.
struct HexForm {
  DWORD type = 0;
  std::string_view rest;
};
std::optional<HexForm> parseHexPrefix(std::string_view data);

// One line's piece of a hex list, its bytes appended to `out`. The piece
// starts where a token may stand: after the type prefix or at the start of a
// continuation line. A piece of blanks only ends the list (a value of no
// bytes when it is the first).
enum class HexPiece {
  End,           // the list ends on this line
  Continues,     // a backslash stood for a token: the list goes on next line
  MissingToken,  // a token is missing or is not 1-2 hexadecimal digits
};
HexPiece parseHexPiece(std::string_view text, std::vector<BYTE>& out);

// Key line "[path]" with an optional "; comment" after the bracket (one blank
// after the ";" is dropped). Without "]" the path runs to the end of the line.
struct KeyLineParts {
  std::string_view path;
  std::optional<std::string_view> comment;
};
KeyLineParts splitKeyLine(std::string_view line);

}  // namespace talmoor::scripts

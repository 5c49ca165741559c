#pragma once
// Reads registry script files line by line and hands each key line and each
// value to a visitor: the jobs that load, import, reduce or verify a script,
// or load favourites, are visitors.
//
//   class Lister : public ScriptVisitor {
//     bool onKey(const ScriptKey& key) override { ...; return !stopRequested; }
//     bool onValue(ScriptValue& value) override { ...; return !stopRequested; }
//   };
//   Lister lister;
//   ReadResult result = readScriptFile(path, lister);
//
// Accepted: ANSI text, or UTF-16LE after the bytes FF FE (turned into ANSI
// as it is read); lines ending in CR LF, LF or CR, as the files of other
// editors and of other systems end them; a first line beginning "REGEDIT4" or
// "Windows Registry Editor Version 5.00"; key lines "[path]" with an optional
// "; comment"; value lines name=data with quoted strings (which may run over
// several lines, joined by the line ends the file has), dword:, hex: and
// hex(N): data.
//
// A file is read in pieces, so a script far larger than the memory it would
// take whole can be read; only the value being read is held whole.
//
// An entry that the end of the file cuts short (a key line without its "]",
// a string without its closing quote, a hex list ending in "," or "\" with
// nothing after it) is never handed over: its data would be wrong. The
// reading stops there and says on which line.
//
// The reader shows its own boxes and error log rows for what it cannot read
// and says in the result why and where it stopped; the visitor reports what it
// does with the entries.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::scripts {

// A key line. The views live until the visitor returns.
struct ScriptKey {
  std::string_view path;                    // as written between the brackets
  std::optional<std::string_view> comment;  // after "; " (a favourite's name)
  HKEY root = 0;                            // the root the path names; 0 when none
};

struct ScriptValue {
  std::string_view keyPath;  // the key line the value follows
  HKEY root = 0;
  std::string name;          // empty for the unnamed value
  bool unnamed = false;      // written "@" (a quoted empty name is the same value)
  DWORD type = 0;
  std::vector<BYTE> data;    // strings with their terminating 0; the visitor may take it
  // The hex list could not be read: data is the text "<Error Importing>".
  bool dataError = false;
};

class ScriptVisitor {
 public:
  virtual ~ScriptVisitor() = default;
  // Each returns false to stop the reading (the user's Stop).
  virtual bool onKey(const ScriptKey& key) = 0;
  virtual bool onValue(ScriptValue& value) = 0;
};

// Lines handled: every key line and every value handed over counts as an entry.
struct ScriptCounts {
  std::uint32_t entries = 0;
  std::uint32_t keys = 0;
  std::uint32_t values = 0;
  // Values left out because their key line names no key the registry could
  // hold (error log rows say which).
  std::uint32_t refused = 0;
};

enum class ReadStatus {
  Completed,    // read to the end
  Empty,        // the file holds no line at all; nothing is shown
  NotFound,     // the file does not exist (box shown; nothing is created)
  CannotOpen,   // the file cannot be opened or read at all (box shown)
  BadHeader,    // not a registry script (box shown); nothing was read
  InvalidLine,  // a line without "=" ended the reading (error log row)
  UnknownData,  // a value of an unknown data form ended the reading (box shown)
  ReadError,    // the file could not be read to its end (box shown)
  CutShort,     // the file ends in the middle of an entry, which is not handed over (box shown)
  Stopped,      // the visitor asked to stop
};

struct ReadResult {
  ReadStatus status = ReadStatus::Completed;
  LONG error = 0;      // the Win32 code for NotFound, CannotOpen and ReadError
  std::string reason;  // and the system's text for it
  ScriptCounts counts;
  // The line (the header is line 1) that stopped the reading: the line
  // without "=", of the unknown data, the last one of an entry cut short, the
  // last one read before a read failure or before the visitor asked to stop;
  // 0 when the file was read to its end.
  std::size_t line = 0;
  bool completed() const { return status == ReadStatus::Completed; }
};

// Reads a script held in memory. `fileName` is the name the boxes give;
// `cutShort` says the bytes end where reading the file failed.
ReadResult readScript(std::string_view bytes, ScriptVisitor& visitor, std::string_view fileName = {},
                      bool cutShort = false);

// Reads a script file, piece by piece. A missing file is reported and left
// missing.
ReadResult readScriptFile(const std::filesystem::path& file, ScriptVisitor& visitor);

// How many key lines (lines beginning with "[") a script file holds: a quick
// count, without reading the entries, for telling how far a job got. Nothing
// when the file cannot be read, or is not a file (a pipe cannot be read twice).
std::optional<std::size_t> countKeyLines(const std::filesystem::path& file);

// The script text of a file's bytes: UTF-16LE after FF FE is converted to ANSI
// (whole code units, so no character is split), anything else is used as it is.
std::string_view scriptText(std::string_view bytes, std::string& converted);

}  // namespace talmoor::scripts

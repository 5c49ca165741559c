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
// first); lines ending in CR LF (a lone LF does not end a line); a first line
// beginning "REGEDIT4" or "Windows Registry Editor Version 5.00"; key lines
// "[path]" with an optional "; comment"; value lines name=data with quoted
// strings (which may run over several lines), dword:, hex: and hex(N): data.
//
// The reader shows its own boxes and error log rows for what it cannot read
// and says in the result why it stopped; the visitor reports what it does with
// the entries.

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
  Stopped,      // the visitor asked to stop
};

struct ReadResult {
  ReadStatus status = ReadStatus::Completed;
  LONG error = 0;      // the Win32 code for NotFound, CannotOpen and ReadError
  std::string reason;  // and the system's text for it
  ScriptCounts counts;
  bool completed() const { return status == ReadStatus::Completed; }
};

// Reads a script held in memory. `fileName` is the name the boxes give;
// `cutShort` says the bytes end where reading the file failed.
ReadResult readScript(std::string_view bytes, ScriptVisitor& visitor, std::string_view fileName = {},
                      bool cutShort = false);

// Reads a script file (whole, then as above). A missing file is reported and
// left missing.
ReadResult readScriptFile(const std::filesystem::path& file, ScriptVisitor& visitor);

// The script text of a file's bytes: UTF-16LE after FF FE is converted to ANSI
// (whole code units, so no character is split), anything else is used as it is.
std::string_view scriptText(std::string_view bytes, std::string& converted);

}  // namespace talmoor::scripts

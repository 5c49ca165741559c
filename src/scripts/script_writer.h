#pragma once
// Writes registry script files: the header, key lines, favourite key lines
// and value lines, appending to a file that already has content.
//
//   ScriptFileOutcome outcome = writeScriptFile(path, fresh, ScriptFormat::Regedit5, [&](ScriptWriter& writer) {
//     writer.writeKeyLine("HKEY_LOCAL_MACHINE\\Software\\Example");
//     writer.writeValueLine("Name", REG_SZ, data);  // data with its terminator
//     return true;                                  // false: leave the file as it was
//   });
//
// A file is never changed in place: the script is written to a new file
// beside it (after a copy of the old content when appending) and renamed over
// it only once it is complete, so a failure, a full disk or the program being
// killed leaves the old file as it was. A symbolic link is followed to the
// file it names. What is not a file (a pipe, a terminal, a device), and a
// descriptor named by its path (/dev/stdout, /dev/fd/N) whatever it leads to,
// is written to directly, and always starts with the header, since whatever
// reads it starts with what is written now.
//
// A script is appended only to a file of its own encoding: ANSI (REGEDIT4)
// text after UTF-16 text, or UTF-16 after ANSI, would make a file that no
// reader takes as one, and what was appended would be lost to it. Such a
// file is refused with a box and left as it was.
//
// Names that hold a NUL cannot be written: the format has no way to carry it
// (Wine's regedit cuts such a name at the NUL, which makes it another value's
// name, the unnamed value's for a name that starts with it). Such a value, or
// such a key with everything below it, is left out and named in a comment
// line at the end of the script; skipped() counts them.
//
// Every failure is shown to the user once, in a box, and remembered: error()
// gives the Win32 code of the first one, so a caller can end with a failure.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "scripts/file_failure.h"
#include "scripts/script_text.h"

namespace talmoor::scripts {

struct ScriptFileOutcome {
  // The file holds the new script (for a stream: it was given all of it).
  bool written = false;
  // The Win32 code of the first failure; 0 when none, or when the writing
  // was given up by the caller.
  LONG error = 0;
  std::size_t skipped = 0;  // see ScriptWriter::skipped()
};

class ScriptWriter;

// Whether a script is written to `file` directly rather than beside it and
// renamed over it (see above): nothing of what it holds is replaced.
bool isWrittenThrough(const std::filesystem::path& file);

// Writes a script to `file` through `write` (see above). With `fresh` the
// script replaces what the file held; otherwise it is appended, and the
// header is written only when the file was empty or missing. A file that
// cannot be written (read-only, a folder, a missing folder) gets a box naming
// it and the reason and is left as it was; so is the file when `write`
// returns false.
ScriptFileOutcome writeScriptFile(const std::filesystem::path& file, bool fresh, ScriptFormat format,
                                  const std::function<bool(ScriptWriter&)>& write);
// The same in the REGEDIT4 form.
ScriptFileOutcome writeScriptFile(const std::filesystem::path& file, bool fresh,
                                  const std::function<bool(ScriptWriter&)>& write);

class ScriptWriter {
 public:
  ScriptWriter() = default;
  ~ScriptWriter();
  ScriptWriter(const ScriptWriter&) = delete;
  ScriptWriter& operator=(const ScriptWriter&) = delete;

  // Writes CR LF, "[keyPath]" and CR LF, unless the line equals the last key
  // line written (consecutive values of one key share it). A failed write
  // shows "Error during Save Operation" and returns false; the caller may go on.
  // A path holding a NUL is left out (and so are the values that follow it).
  bool writeKeyLine(std::string_view keyPath);
  // The key line of a favourite: "[keyPath] ; name" or "[keyPath] ; name, second".
  bool writeFavouriteKeyLine(std::string_view keyPath, std::string_view name,
                             std::optional<std::string_view> second = std::nullopt);
  // The last key line written (with its brackets), empty at the start.
  const std::string& lastKeyLine() const { return lastKeyLine_; }
  // Makes the next key line be written even when it repeats the last one.
  void forgetLastKeyLine() { lastKeyLine_.clear(); }

  // One value line (see formatValueLine); the empty name is the unnamed value,
  // written "@". Returns false when the line was not written: the write
  // failed (reported once, at the end at the latest), or the value was left
  // out (its name or its key's holds a NUL).
  bool writeValueLine(std::string_view name, DWORD type, std::span<const BYTE> data);

  ScriptFormat format() const { return format_; }

  // The Win32 code of the first failure; 0 when none.
  LONG error() const { return failure_.code; }
  bool failed() const { return failure_.code != 0; }
  // Values and keys left out because their names hold a NUL.
  std::size_t skipped() const { return skipped_; }

 private:
  friend ScriptFileOutcome writeScriptFile(const std::filesystem::path&, bool, ScriptFormat,
                                           const std::function<bool(ScriptWriter&)>&);

  // Opens `file` for appending, creating it when missing; a failure shows a box.
  bool open(const std::filesystem::path& shownName, const std::filesystem::path& file);
  // Writes the header when nothing is in the file yet (or always).
  void writeHeader(bool always);
  // Whether the script may be appended to what the file holds (see above);
  // when not, the box is shown and the failure kept.
  bool mayAppendTo(const std::filesystem::path& shownName, const std::filesystem::path& file);
  // Writes the comment lines of what was left out, flushes and closes. False
  // when anything written failed; a failure not shown yet is shown now.
  bool finish();

  bool writeLine(std::string_view text);
  bool writeKeyText(std::string line);
  void skipKey(std::string_view keyPath);
  void noteFailure();

  std::filesystem::path shownName_;
  ScriptFormat format_ = ScriptFormat::Regedit4;
  platform::FileWriter file_;
  std::string lastKeyLine_;
  FileFailure failure_;
  bool failureShown_ = false;
  // What was left out: the key below which everything is, and the comments.
  bool keySkipped_ = false;
  std::string skippedKey_;
  std::vector<std::string> notes_;
  std::size_t skipped_ = 0;
};

}  // namespace talmoor::scripts

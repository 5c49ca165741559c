#pragma once
// Writes registry script files: the header, key lines, favourite key lines
// and value lines, appending to a file that already has content.
//
//   ScriptWriter writer;
//   if (!writer.open(path, fresh)) return;       // the box has been shown
//   writer.writeKeyLine("HKEY_LOCAL_MACHINE\\Software\\Example");
//   writer.writeValueLine("Name", REG_SZ, data);  // data with its terminator
//   bool ok = writer.close();
//
// Every failure is shown to the user once, in a box, and remembered: error()
// gives the Win32 code of the first one, so a caller can end with a failure.

#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/win32_types.h"
#include "scripts/file_failure.h"

namespace talmoor::scripts {

class ScriptWriter {
 public:
  ScriptWriter() = default;
  // Closes the file (see close()).
  ~ScriptWriter();
  ScriptWriter(const ScriptWriter&) = delete;
  ScriptWriter& operator=(const ScriptWriter&) = delete;

  // Opens `file` for appending, creating it when missing. With `fresh` an
  // existing file is deleted first, so the script starts a new file (the
  // desktop asks for this with Shift held). "REGEDIT4" is written only when
  // the file is empty. A file that cannot be opened (or, with `fresh`,
  // deleted) gets a box naming it and the reason; one whose end cannot be
  // found gets the seek failure box and is left unwritten. Returns false then.
  bool open(const std::filesystem::path& file, bool fresh);
  bool isOpen() const { return stream_.is_open(); }

  // Writes CR LF, "[keyPath]" and CR LF, unless the line equals the last key
  // line written (consecutive values of one key share it). A failed write
  // shows "Error during Save Operation" and returns false; the caller may go on.
  bool writeKeyLine(std::string_view keyPath);
  // The key line of a favourite: "[keyPath] ; name" or "[keyPath] ; name, second".
  bool writeFavouriteKeyLine(std::string_view keyPath, std::string_view name,
                             std::optional<std::string_view> second = std::nullopt);
  // The last key line written (with its brackets), empty at the start.
  const std::string& lastKeyLine() const { return lastKeyLine_; }
  // Makes the next key line be written even when it repeats the last one.
  void forgetLastKeyLine() { lastKeyLine_.clear(); }

  // One value line (see formatValueLine); the empty name is the unnamed value,
  // written "@". Returns false when the write failed; the failure is reported
  // once, at close() at the latest.
  bool writeValueLine(std::string_view name, DWORD type, std::span<const BYTE> data);

  // Flushes and closes. Returns false when anything written since open()
  // failed; a failure not reported yet gets the save failure box now.
  bool close();

  // The Win32 code of the first failure since open(); 0 when none.
  LONG error() const { return failure_.code; }
  bool failed() const { return failure_.code != 0; }

 private:
  bool writeLine(std::string_view text);
  bool writeKeyText(std::string line);
  void noteFailure(LONG fallback);

  std::filesystem::path file_;
  std::ofstream stream_;
  std::string lastKeyLine_;
  FileFailure failure_;
  bool failureShown_ = false;
};

}  // namespace talmoor::scripts

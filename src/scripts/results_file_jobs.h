#pragma once
// The jobs that move registry content between script files and the registry
// or the result rows: Load, Import, Verify and Reduce read a script; Save
// writes the rows; Export writes a key with everything below it. Each runs on
// the results thread with a search context of kind 2 (3 for Export), whose
// abort byte is the user's Stop and whose status shows the job's state.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "scripts/script_reader.h"
#include "scripts/script_text.h"
#include "search/results/row_operations.h"
#include "search/search_context.h"

namespace talmoor::scripts {

// What a reading job does with each entry of the file.
inline constexpr DWORD kFileAddRow = 1;
inline constexpr DWORD kFileReduceRows = 2;
inline constexpr DWORD kFileCheckRegistry = 8;
inline constexpr DWORD kFileWriteRegistry = 0x10;
inline constexpr DWORD kFileVerifyReport = 0x20;

// TestImport lists a file's entries without writing them, marking each part
// that the registry already holds.
enum class FileCommand { Load, Import, Verify, Reduce, Save, Export, TestImport };

struct FileJob {
  FileCommand command = FileCommand::Load;
  std::filesystem::path file;
  std::optional<std::string> startKey;  // Export: the key (path text); none: the whole registry
  bool fresh = false;                   // Save and Export: start a new file
  ScriptFormat format = ScriptFormat::Regedit4;  // Save and Export: the form written
  DWORD pauseInterval = 0;              // reading jobs: pause after this many listed entries
  // A favourites file: key lines become favourites (name from the comment).
  std::function<void(const std::string& name, const std::string& path)> addFavourite;
};

// The operation bits of a reading command (0 for the writing ones).
DWORD fileOperation(FileCommand command);
// The status texts while the job runs and when it has ended.
const char* runningText(FileCommand command);
const char* finishedText(FileCommand command);

struct FileJobOutcome {
  bool ok = false;       // the file was read or written to its end
  ReadStatus readStatus = ReadStatus::Completed;
  std::size_t readStopLine = 0;  // where the reading stopped (see ReadResult::line)
  std::size_t entries = 0;
  // Reading jobs: key lines handled; for Import, the keys opened or made for
  // writing the values that follow them.
  std::size_t keys = 0;
  std::size_t failures = 0;  // entries that could not be written or saved
  std::size_t skipped = 0;   // Save and Export: entries left out (names holding a NUL)
  bool stopped = false;      // the job's Stop (the abort byte) ended it early
  bool writeFailed = false;  // Save and Export: the file took no more (the box has been shown)
};

// Runs the job on the calling thread (the results thread). Rows are added to,
// taken from and compared with `context.results`; profile transpositions
// asked about during Reduce are kept in `transpositions`.
FileJobOutcome runFileJob(const FileJob& job, search::SearchContext& context,
                          search::ProfileTranspositions& transpositions);

// Writes the rows of a result list (Save).
FileJobOutcome saveRows(const FileJob& job, search::SearchContext& context);
// Writes a key with everything below it (Export). A start key that does not
// exist, or a Stop, leaves the file as it was.
FileJobOutcome exportKey(const FileJob& job, search::SearchContext& context);

}  // namespace talmoor::scripts

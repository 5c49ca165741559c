#include "cli/script_verbs.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include <fmt/format.h>

#include "scripts/command_line.h"
#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "cli/row_output.h"
#include "cli/search_verb.h"
#include "cli/verbs.h"
#include "base/interaction.h"
#include "platform/files/file_io.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "scripts/results_file_jobs.h"
#include "scripts/script_writer.h"
#include "search/search_driver.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::search;

constexpr const char* kExportTitle = "Export Registry File";
using scripts::FileCommand;
using scripts::FileJob;
using scripts::FileJobOutcome;
using scripts::ReadStatus;

// A job as the driver ran it, and whether a signal asked it to stop.
struct JobRun {
  FileJobOutcome outcome;
  bool interrupted = false;
};

JobRun runJob(SearchDriver& driver, const FileJob& job, ProfileTranspositions& transpositions) {
  JobRun run;
  JobKind kind = job.command == FileCommand::Export ? JobKind::Export : JobKind::ResultsFile;
  run.interrupted = driveToEnd(driver, [&] {
    driver.startFileJob(kind, [&](SearchContext& context) { run.outcome = scripts::runFileJob(job, context, transpositions); });
  });
  return run;
}

// 1062 as "1,062".
std::string countText(std::size_t count) {
  std::string digits = std::to_string(count);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Tells on stderr how far a reading job got when it did not read its file to
// the end, e.g. "imported 1,062 of 2,000 keys; interrupted". `done` says what
// was done with the keys. Returns whether there was anything to tell.
bool reportReadingStop(const FileJob& job, const JobRun& run, std::string_view done) {
  const FileJobOutcome& outcome = run.outcome;
  std::string why;
  if (outcome.stopped) {
    why = run.interrupted ? "interrupted" : "cancelled";
  } else {
    switch (outcome.readStatus) {
      case ReadStatus::InvalidLine:
      case ReadStatus::UnknownData: why = fmt::format("stopped at line {}", outcome.readStopLine); break;
      case ReadStatus::CutShort:
        why = fmt::format("the file ends in the middle of line {}", outcome.readStopLine);
        break;
      case ReadStatus::ReadError:
        why = fmt::format("the file could not be read after line {}", outcome.readStopLine);
        break;
      default: return false;  // read to its end, or refused with its reason already
    }
  }
  // Counted only now: a whole file read costs nothing extra.
  auto total = scripts::countKeyLines(job.file);
  reportProblem(job.file.string(), fmt::format("{} {}{} keys; {}", done, countText(outcome.keys),
                                               total ? " of " + countText(*total) : std::string(), why));
  return true;
}

// Tells what a writing job left out or did not finish.
void reportWritingGaps(const FileJob& job, const JobRun& run) {
  const FileJobOutcome& outcome = run.outcome;
  if (outcome.skipped > 0)
    reportProblem(job.file.string(),
                  fmt::format("{} {} not written: a registry script cannot carry the NUL in {} name (see the "
                              "comments at the end of the file)",
                              countText(outcome.skipped), outcome.skipped == 1 ? "entry" : "entries",
                              outcome.skipped == 1 ? "its" : "their"));
  if (outcome.writeFailed)
    reportProblem(job.file.string(), "could not be written to its end; the file is as it was");
  else if (outcome.stopped)
    reportProblem(job.file.string(), run.interrupted ? "interrupted; the file is as it was" : "cancelled; the file is as it was");
}

// The key argument in the full form key lines use, or nothing (reported).
std::optional<std::string> keyPathOf(const std::string& text) {
  auto key = parseKeyArgument(text);
  if (!key) {
    reportProblem(text, "not a registry key");
    return std::nullopt;
  }
  return key->display();
}

// The start key of an export as key lines give it, when it is there; a key
// that is not there is told by its own name. Nothing in `key` is the whole
// registry.
std::optional<std::optional<std::string>> exportStart(const std::optional<std::string>& key) {
  if (!key) return std::optional<std::string>();
  auto path = keyPathOf(*key);
  if (!path) return std::nullopt;
  FailureReporter failures;
  registry::ScopedKey probe(
      registry::openKeyByPath(*path, registry::kReadKeyAccess, registry::ReportTo(failures.handler(), *path)));
  if (!probe.get()) return std::nullopt;
  return path;
}

int exportTo(const std::string& file, const std::optional<std::string>& start, bool fresh,
             scripts::ScriptFormat format) {
  FileJob job;
  job.command = FileCommand::Export;
  job.file = file;
  job.fresh = fresh;
  job.format = format;
  job.startKey = start;
  SearchDriver driver(nullptr);
  ProfileTranspositions transpositions;
  JobRun run = runJob(driver, job, transpositions);
  reportWritingGaps(job, run);
  return run.outcome.ok && run.outcome.skipped == 0 ? kExitSuccess : kExitFailure;
}

int importFrom(const ImportRequest& request) {
  const bool confirming = !request.noConfirm && !currentSearchOptions().confirmationsOff;
  if (!request.test && confirming && nobodyToAsk())
    return reportProblem(request.file,
                         "not imported: every entry is confirmed before it is written, and without a terminal "
                         "nobody can confirm them; give --yes to accept them all, or --no-confirm to write them "
                         "without confirming");
  if (request.noConfirm) {
    SearchOptions options = currentSearchOptions();
    options.confirmationsOff = 1;
    storeSearchOptions(options);
  }
  // A signal while the import is saved would lose it: it is caught until the end.
  InterruptCatcher catcher;
  FileJob job;
  job.command = request.test ? FileCommand::TestImport : FileCommand::Import;
  job.file = request.file;
  auto rows = std::make_shared<ResultList>();
  SearchDriver driver(rows);
  ProfileTranspositions transpositions;
  JobRun run = runJob(driver, job, transpositions);
  const ChangeCounts changes = printRows(*rows, chosenFormat(request.format));
  std::cout.flush();
  reportReadingStop(job, run, request.test ? "read" : "imported");
  if (request.test) return run.outcome.ok && run.outcome.failures == 0 ? kExitSuccess : kExitFailure;
  // Saved now, so that what was imported (all of it, or what came before a
  // stop) is on disk when the verb ends.
  if (LONG rc = RegFlushKey(HKEY_LOCAL_MACHINE); rc != ERROR_SUCCESS) return kExitFailure;
  const bool allWritten = reportChanges(changes);
  return run.outcome.ok && run.outcome.failures == 0 && allWritten ? kExitSuccess : kExitFailure;
}

}  // namespace

int runExport(const ExportRequest& request) {
  const auto format = request.format == "regedit5" ? scripts::ScriptFormat::Regedit5 : scripts::ScriptFormat::Regedit4;
  auto start = exportStart(request.key);
  if (!start) return kExitFailure;
  // Only a file has content to lose; a pipe, a device or standard output is
  // written through.
  if (!request.append && !request.force && !request.fresh &&
      platform::fileKind(request.file) == platform::FileKind::Regular && !scripts::isWrittenThrough(request.file) &&
      messageBox(fmt::format("{} already exists. Replace it?", request.file), kExportTitle, BoxButtons::YesNo,
                 BoxIcon::Question) != IDYES)
    return reportProblem(request.file, "not replaced; --force replaces it without asking, --append adds to its end");
  return exportTo(request.file, *start, !request.append, format);
}

int runImport(const ImportRequest& request) { return importFrom(request); }

int runResults(const ResultsRequest& request) {
  std::optional<int> mode = modeFromName(request.mode);
  if (mode && *mode < kModeSelect) mode.reset();
  if (!mode) return reportProblem(request.mode, "not a row mode (select, change, remove, reduce, delete)");
  auto rows = std::make_shared<ResultList>();
  SearchDriver driver(rows);
  ProfileTranspositions transpositions;
  FileJob load;
  load.command = FileCommand::Load;
  load.file = request.file;
  JobRun loaded = runJob(driver, load, transpositions);
  if (!loaded.outcome.ok) {
    reportReadingStop(load, loaded, "loaded");
    return kExitFailure;
  }
  SearchParameters parameters;
  parameters.mode = *mode;
  parameters.findText = request.find;
  parameters.replaceText = request.replace;
  bool interrupted = runSearchToEnd(driver, parameters);
  const ChangeCounts changes = printRows(*rows, chosenFormat(request.format));
  if (interrupted) {
    std::cout.flush();
    return reportProblem(request.mode, "interrupted");
  }
  if (request.save) {
    FileJob save;
    save.command = FileCommand::Save;
    save.file = *request.save;
    save.fresh = true;
    JobRun saved = runJob(driver, save, transpositions);
    reportWritingGaps(save, saved);
    if (!saved.outcome.ok || saved.outcome.skipped > 0) return kExitFailure;
  }
  if (*mode != kModeDelete && changes.proposed == 0) return kExitSuccess;
  return reportChanges(changes) ? kExitSuccess : kExitFailure;
}

bool isRegistryEditorCommandLine(const std::string& first) {
  if (first.size() == 2 && first[0] == '/' && std::isalpha(static_cast<unsigned char>(first[1]))) return true;
  return first.size() > 4 && first[0] != '-' &&
         platform::equalsIgnoringAsciiCase(std::string_view(first).substr(first.size() - 4), ".reg");
}

int runRegistryEditorCommandLine(const std::vector<std::string>& arguments) {
  const std::string line = joinCommandLine(arguments);
  if (platform::equalsIgnoringAsciiCase(arguments.front(), "/D"))
    reportProblem("/D", "Wine's regedit deletes the key named after /D; the registry editor takes a flag it does not "
                        "know as an import of the file named after it, and so does talmoor-cli (to delete a key: "
                        "talmoor-cli delete KEY)");
  // Known before the question: whether a No would only be for want of a terminal.
  const bool unattended = nobodyToAsk();
  int status = kExitSuccess;
  std::optional<std::string> notDone;
  CommandLineHandlers handlers;
  handlers.exportKey = [&](const std::string& file, const std::optional<std::string>& key) {
    // As the registry editor's own export job: REGEDIT4, appended to a file
    // that is there.
    auto start = exportStart(key);
    status = start ? exportTo(file, *start, false, scripts::ScriptFormat::Regedit4) : kExitFailure;
  };
  handlers.openPath = [&](const std::optional<std::string>& key) {
    // What the export would have held is shown instead: the key itself.
    QueryRequest query;
    query.key = key.value_or("HKEY_LOCAL_MACHINE");
    status = runQuery(query);
    notDone = "the export was not done (the key was only listed)";
  };
  ImportRequest import;
  handlers.import = [&](const std::string& file) {
    import.file = file;
    status = importFrom(import);
  };
  handlers.testImport = [&](const std::string& file) {
    import.file = file;
    import.test = true;
    status = importFrom(import);
    notDone = "the import was not done (the file was only test-imported)";
  };
  processCommandLine(line, handlers);
  if (notDone && unattended) {
    std::cout.flush();
    reportProblem(arguments.front(), fmt::format("{}: without a terminal the question was answered No; give --yes "
                                                 "to confirm it",
                                                 *notDone));
    return kExitFailure;
  }
  return status;
}

}  // namespace talmoor::cli

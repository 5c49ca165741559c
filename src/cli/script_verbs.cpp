#include "cli/script_verbs.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include <fmt/format.h>

#include "app/command_line.h"
#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "cli/row_output.h"
#include "cli/search_verb.h"
#include "cli/verbs.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "scripts/results_file_jobs.h"
#include "search/search_driver.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::search;
using scripts::FileCommand;
using scripts::FileJob;
using scripts::FileJobOutcome;

FileJobOutcome runJob(SearchDriver& driver, const FileJob& job, ProfileTranspositions& transpositions) {
  FileJobOutcome outcome;
  int kind = job.command == FileCommand::Export ? kJobExport : kJobResultsFile;
  driveToEnd(driver, [&] {
    driver.startFileJob(kind, [&](SearchContext& context) { outcome = scripts::runFileJob(job, context, transpositions); });
  });
  return outcome;
}

bool terminalOutput() { return ::isatty(STDOUT_FILENO); }

// The key argument in the full form key lines use, or nothing (reported).
std::optional<std::string> keyPathOf(const std::string& text) {
  auto key = parseKeyArgument(text);
  if (!key) {
    reportProblem(text, "not a registry key");
    return std::nullopt;
  }
  return key->display();
}

int exportTo(const std::string& file, const std::optional<std::string>& key, bool fresh) {
  FileJob job;
  job.command = FileCommand::Export;
  job.file = file;
  job.fresh = fresh;
  if (key) {
    auto path = keyPathOf(*key);
    if (!path) return kExitFailure;
    job.startKey = *path;
  }
  SearchDriver driver(nullptr);
  ProfileTranspositions transpositions;
  return runJob(driver, job, transpositions).ok ? kExitSuccess : kExitFailure;
}

int importFrom(const std::string& file, bool test) {
  FileJob job;
  job.command = test ? FileCommand::TestImport : FileCommand::Import;
  job.file = file;
  auto rows = std::make_shared<ResultList>();
  SearchDriver driver(rows);
  ProfileTranspositions transpositions;
  FileJobOutcome outcome = runJob(driver, job, transpositions);
  printRows(*rows, terminalOutput());
  if (!test) {
    // Saved now, so that what was imported is on disk when the verb ends.
    if (LONG rc = RegFlushKey(HKEY_LOCAL_MACHINE); rc != ERROR_SUCCESS) return kExitFailure;
  }
  return outcome.ok && outcome.failures == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

int runExport(const ExportRequest& request) { return exportTo(request.file, request.key, request.fresh); }

int runImport(const ImportRequest& request) { return importFrom(request.file, request.test); }

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
  if (!runJob(driver, load, transpositions).ok) return kExitFailure;
  SearchParameters parameters;
  parameters.mode = *mode;
  parameters.findText = request.find;
  parameters.replaceText = request.replace;
  runSearchToEnd(driver, parameters);
  printRows(*rows, terminalOutput());
  if (request.save) {
    FileJob save;
    save.command = FileCommand::Save;
    save.file = *request.save;
    save.fresh = true;
    if (!runJob(driver, save, transpositions).ok) return kExitFailure;
  }
  return kExitSuccess;
}

bool isRegistryEditorCommandLine(const std::string& first) {
  if (first.size() == 2 && (first[0] == '/' || first[0] == '-') && std::isalpha(static_cast<unsigned char>(first[1])))
    return true;
  return first.size() > 4 && platform::equalsIgnoringAsciiCase(std::string_view(first).substr(first.size() - 4), ".reg");
}

int runRegistryEditorCommandLine(const std::vector<std::string>& arguments) {
  // The arguments become the one line the registry editor would be given.
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument.find(' ') != std::string::npos ? "\"" + argument + "\"" : argument;
  }
  int status = kExitSuccess;
  CommandLineHandlers handlers;
  handlers.exportKey = [&](const std::string& file, const std::optional<std::string>& key) {
    status = exportTo(file, key, false);
  };
  handlers.openPath = [&](const std::optional<std::string>& key) {
    // What the export would have held is shown instead: the key itself.
    QueryRequest query;
    query.key = key.value_or("HKEY_LOCAL_MACHINE");
    status = runQuery(query);
  };
  handlers.import = [&](const std::string& file) { status = importFrom(file, false); };
  handlers.testImport = [&](const std::string& file) { status = importFrom(file, true); };
  processCommandLine(line, handlers);
  return status;
}

}  // namespace talmoor::cli

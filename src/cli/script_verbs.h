#pragma once
// talmoor-cli's registry script verbs: export, import, results, and the
// registry editor's own command line (/E, /S, a bare file name...).

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/output_format.h"

namespace talmoor::cli {

struct ExportRequest {
  std::string key;
  std::string file;
  std::string format = "regedit4";  // or "regedit5"
  bool append = false;  // add to the end of an existing file
  bool force = false;   // replace an existing file without asking
  bool fresh = false;   // the same as force, as older scripts say it
};

struct ImportRequest {
  std::string file;
  bool test = false;
  bool noConfirm = false;  // write every entry without confirming it
  std::optional<OutputFormat> format;
};

struct ResultsRequest {
  std::string file;
  std::string mode;
  std::string find;
  std::string replace;
  std::optional<std::string> save;
  bool mask = false;
  std::optional<OutputFormat> format;
};

CLI::App* addExportVerb(CLI::App& app, ExportRequest& request);
CLI::App* addImportVerb(CLI::App& app, ImportRequest& request);
CLI::App* addResultsVerb(CLI::App& app, ResultsRequest& request);

int runExport(const ExportRequest& request);
int runImport(const ImportRequest& request);
int runResults(const ResultsRequest& request);

// Whether the arguments are a registry editor command line: a flag ("/E",
// "/s") or a script file name ("tweaks.reg") where a verb would stand.
// Single-dash letters are talmoor-cli's own options, never the editor's.
bool isRegistryEditorCommandLine(const std::string& firstArgument);
int runRegistryEditorCommandLine(const std::vector<std::string>& arguments);

}  // namespace talmoor::cli

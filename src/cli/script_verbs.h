#pragma once
// talmoor-cli's registry script verbs: export, import, results, and the
// registry editor's own command line (/E, /S, a bare file name...).

#include <optional>
#include <string>
#include <vector>

namespace talmoor::cli {

struct ExportRequest {
  std::string key;
  std::string file;
  bool fresh = false;
};

struct ImportRequest {
  std::string file;
  bool test = false;
};

struct ResultsRequest {
  std::string file;
  std::string mode;
  std::string find;
  std::string replace;
  std::optional<std::string> save;
  bool mask = false;
};

int runExport(const ExportRequest& request);
int runImport(const ImportRequest& request);
int runResults(const ResultsRequest& request);

// Whether the arguments are a registry editor command line: a flag ("/E",
// "-s") or a script file name where a verb would stand.
bool isRegistryEditorCommandLine(const std::string& firstArgument);
int runRegistryEditorCommandLine(const std::vector<std::string>& arguments);

}  // namespace talmoor::cli

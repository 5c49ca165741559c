// talmoor-cli: Talmoor without windows.

#include <iostream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <new>

#include "base/console_interaction.h"
#include "base/error_reporting.h"
#include "base/version.h"
#include "base/workspace.h"
#include "cli/cli_support.h"
#include "cli/hive_verbs.h"
#include "cli/script_verbs.h"
#include "cli/search_verb.h"
#include "cli/verify_verb.h"
#include "platform/files/process_launch.h"
#include "verify/file_actions.h"
#include "verify/verification.h"
#include "cli/verbs.h"
#include "platform/registry/registry_profile.h"
#include "platform/win32_errors.h"

namespace {

// Registers a key's value choice: --value NAME or --default (the unnamed value).
void addValueOptions(CLI::App& verb, std::optional<std::string>& value, bool& unnamed, const char* what) {
  auto* named = verb.add_option("--value,-v", value, fmt::format("the value to {}", what));
  verb.add_flag("--default,--ve", unnamed, fmt::format("{} the unnamed (Default) value", what))->excludes(named);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"talmoor-cli: search and edit Windows registries (Wine prefixes, Talmoor stores)"};
  app.set_version_flag("--version", talmoor::versionText());
  app.require_subcommand(1);
  std::optional<std::string> prefix;
  auto* prefixOption = app.add_option("--prefix", prefix, "the Wine prefix or Talmoor store to work on");
  std::optional<std::string> windowsDir;
  app.add_option("--windows", windowsDir, "an offline Windows installation (the folder holding Windows\\)")
      ->excludes(prefixOption);
  std::vector<std::string> hiveMounts;
  app.add_option("--hive", hiveMounts, "FILE=KEY: one more hive file mounted at a key (repeatable)");
  bool answerYes = false, answerNo = false;
  auto* yes = app.add_flag("--yes", answerYes, "answer Yes to every question");
  app.add_flag("--no", answerNo, "answer No to every question")->excludes(yes);

  talmoor::cli::QueryRequest query;
  bool queryDefault = false;
  auto* queryVerb = app.add_subcommand("query", "show a key's values and subkeys, as reg query does");
  queryVerb->add_option("key", query.key, "the key, e.g. HKLM\\Software\\Wine")->required();
  addValueOptions(*queryVerb, query.value, queryDefault, "show");
  queryVerb->add_flag("--recursive,-s", query.recursive, "every key below too");
  queryVerb->add_flag("--display", query.display,
                      "data in Talmoor's display form: indirect strings and environment references resolved");

  talmoor::cli::AddRequest add;
  bool addDefault = false;
  auto* addVerb = app.add_subcommand("add", "add a key or set a value, as reg add does");
  addVerb->add_option("key", add.key, "the key; missing keys on its path are created")->required();
  addValueOptions(*addVerb, add.value, addDefault, "set");
  addVerb->add_option("--type,-t", add.type, "REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ (\\0 between strings), REG_DWORD, REG_QWORD, REG_BINARY (hex digits), REG_NONE");
  addVerb->add_option("--data,-d", add.data, "the data");
  addVerb->add_flag("--force,-f", add.force, "overwrite without asking");

  talmoor::cli::DeleteRequest remove;
  bool deleteDefault = false;
  auto* deleteVerb = app.add_subcommand("delete", "delete a key with everything below it, or one value");
  deleteVerb->add_option("key", remove.key, "the key")->required();
  addValueOptions(*deleteVerb, remove.value, deleteDefault, "delete");
  deleteVerb->add_flag("--force,-f", remove.force, "delete without asking");

  talmoor::cli::SearchRequest search;
  auto* searchVerb = talmoor::cli::addSearchVerb(app, search);

  talmoor::cli::VerifyRequest verifyRequest;
  auto* verifyVerb = talmoor::cli::addVerifyVerb(app, verifyRequest);

  talmoor::cli::ExportRequest exportRequest;
  auto* exportVerb = app.add_subcommand("export", "write a key with everything below it as a registry script");
  exportVerb->add_option("key", exportRequest.key, "the key, e.g. HKLM\\Software\\Wine")->required();
  exportVerb->add_option("file", exportRequest.file, "the script file; an existing one is appended to")->required();
  exportVerb->add_flag("--fresh", exportRequest.fresh, "start a new file instead of appending");

  talmoor::cli::ImportRequest importRequest;
  auto* importVerb = app.add_subcommand("import", "write the values of a registry script into the registry");
  importVerb->add_option("file", importRequest.file, "the script file (REGEDIT4 or version 5.00, ANSI or UTF-16)")
      ->required();
  importVerb->add_flag("--test", importRequest.test,
                       "write nothing: list the entries, marking what the registry already holds");

  talmoor::cli::ResultsRequest resultsRequest;
  auto* resultsVerb = app.add_subcommand("results", "run a row mode over the entries of a registry script");
  resultsVerb->add_option("file", resultsRequest.file, "the script file")->required();
  resultsVerb->add_option("--mode,-m", resultsRequest.mode, "select, change, remove, reduce or delete")->required();
  resultsVerb->add_option("--find,-f", resultsRequest.find, "the text the rows are tested for");
  resultsVerb->add_option("--replace,-r", resultsRequest.replace, "the replacement (change)");
  resultsVerb->add_option("--save", resultsRequest.save, "write the rows to this script file afterwards");

  std::string loadKey, loadFile;
  auto* loadVerb = app.add_subcommand("load", "load a hive file at a key directly below HKLM or HKU, for this run");
  loadVerb->add_option("key", loadKey, "the mount point, e.g. HKU\\Offline")->required();
  loadVerb->add_option("file", loadFile, "the hive file (regf, or Wine's text format)")->required();

  std::string unloadKey;
  auto* unloadVerb = app.add_subcommand("unload", "unload the hive mounted at a key, saving its changes");
  unloadVerb->add_option("key", unloadKey, "the mount point, e.g. HKU\\Offline")->required();

  std::string saveKey, saveFile;
  bool saveForce = false;
  auto* saveVerb = app.add_subcommand("save", "save a key with everything below it as a hive file");
  saveVerb->add_option("key", saveKey, "the key")->required();
  saveVerb->add_option("file", saveFile, "the hive file; an existing one is replaced after asking")->required();
  saveVerb->add_flag("--force,-f", saveForce, "replace an existing file without asking");

  std::string recoverHive, recoverFile;
  bool recoverForce = false;
  auto* recoverVerb = app.add_subcommand(
      "recover", "write a Windows hive file, recovered from the transaction logs beside it, as a new file");
  recoverVerb->add_option("hive", recoverHive, "the hive file (its .LOG1, .LOG2 or .LOG are found beside it)")
      ->required();
  recoverVerb->add_option("out", recoverFile, "the new file for the recovered hive")->required();
  recoverVerb->add_flag("--force,-f", recoverForce, "replace an existing file without asking");

  // The registry editor's own command line ("/E file.reg KEY", "/S file.reg",
  // "file.reg") is taken as it stands, after the global options.
  std::vector<std::string> editorLine;
  {
    int first = 1;
    while (first < argc) {
      std::string argument = argv[first];
      if ((argument == "--prefix" || argument == "--windows" || argument == "--hive") && first + 1 < argc) first += 2;
      else if (argument == "--yes" || argument == "--no" || argument.rfind("--prefix=", 0) == 0 ||
               argument.rfind("--windows=", 0) == 0 || argument.rfind("--hive=", 0) == 0)
        ++first;
      else break;
    }
    if (first < argc && talmoor::cli::isRegistryEditorCommandLine(argv[first])) {
      editorLine.assign(argv + first, argv + argc);
      argc = first;
      app.require_subcommand(0);
    }
  }

  CLI11_PARSE(app, argc, argv);
  std::set_new_handler([] { talmoor::fatalOutOfMemory(); });
  auto console = std::make_shared<talmoor::ConsoleInteraction>(
      answerYes ? talmoor::ConsolePolicy::Yes : answerNo ? talmoor::ConsolePolicy::No : talmoor::ConsolePolicy::Ask);
  if (queryDefault) query.value = "";
  if (addDefault) add.value = "";
  if (deleteDefault) remove.value = "";

  talmoor::platform::ProfileOptions options;
  if (prefix) options.prefix = *prefix;
  if (windowsDir) options.windowsDir = *windowsDir;
  for (const auto& mount : hiveMounts) {
    auto parsed = talmoor::platform::parseHiveMount(mount);
    if (!parsed) return talmoor::cli::reportProblem(mount, "not FILE=KEY");
    options.hives.push_back(*parsed);
  }
  std::string problem;
  auto workspace = talmoor::Workspace::open(options, console, problem);
  if (!workspace) {
    std::cerr << "talmoor-cli: " << problem << "\n";
    return talmoor::cli::kExitFailure;
  }
  talmoor::WorkspaceScope working(workspace);
  for (const auto& warning : workspace->profile()->warnings) std::cerr << "talmoor-cli: " << warning << "\n";
  talmoor::verify::installVerification();
  talmoor::verify::setShellOpener([](std::string_view verb, const std::filesystem::path& host) {
    std::cout << verb << ": " << host.string() << "\n";
    return true;
  });

  int status = talmoor::cli::kExitSuccess;
  if (*queryVerb) status = talmoor::cli::runQuery(query);
  if (*addVerb) status = talmoor::cli::runAdd(add);
  if (*deleteVerb) status = talmoor::cli::runDelete(remove);
  if (*searchVerb) status = talmoor::cli::runSearch(search);
  if (*verifyVerb) status = talmoor::cli::runVerify(verifyRequest);
  if (*exportVerb) status = talmoor::cli::runExport(exportRequest);
  if (*importVerb) status = talmoor::cli::runImport(importRequest);
  if (*resultsVerb) status = talmoor::cli::runResults(resultsRequest);
  if (*loadVerb) status = talmoor::cli::runLoad(loadKey, loadFile);
  if (*unloadVerb) status = talmoor::cli::runUnload(unloadKey);
  if (*saveVerb) status = talmoor::cli::runSave(saveKey, saveFile, saveForce);
  if (*recoverVerb) status = talmoor::cli::runRecover(recoverHive, recoverFile, recoverForce);
  if (!editorLine.empty()) status = talmoor::cli::runRegistryEditorCommandLine(editorLine);

  // An orderly end saves every hive that changed. A verb that failed has
  // said why already; the same failure is not told twice.
  if (LONG rc = workspace->registry().flushAll(); rc != ERROR_SUCCESS) {
    if (status == talmoor::cli::kExitSuccess) {
      talmoor::cli::FailureReporter failures;
      failures.handler()(talmoor::ErrorReport{rc, workspace->profile()->prefix.string(), "", "Saving Hive"});
    }
    status = talmoor::cli::kExitFailure;
  }
  return status;
}

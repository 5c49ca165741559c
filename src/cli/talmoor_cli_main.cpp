// talmoor-cli: Talmoor without windows.
//
// Exit status: 0 when the work was done, 1 when it failed or was not done
// (a change refused, a question answered No for want of a terminal), 2 for
// a command line that cannot be understood.

#include <iostream>
#include <new>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "base/console_interaction.h"
#include "base/error_reporting.h"
#include "base/version.h"
#include "base/workspace.h"
#include "cli/cli_support.h"
#include "cli/favourites_verb.h"
#include "cli/hive_verbs.h"
#include "cli/script_verbs.h"
#include "cli/search_verb.h"
#include "cli/verbs.h"
#include "cli/verify_verb.h"
#include "platform/registry/registry_profile.h"
#include "platform/win32_errors.h"
#include "verify/file_actions.h"
#include "verify/verification.h"

namespace {

using namespace talmoor;
using namespace talmoor::cli;

struct GlobalOptions {
  std::optional<std::string> prefix;
  std::optional<std::string> windowsDir;
  std::vector<std::string> hiveMounts;
  bool yes = false;
  bool no = false;
};

// Every verb's request, filled by the parser.
struct Requests {
  GlobalOptions global;
  QueryRequest query;
  AddRequest add;
  DeleteRequest remove;
  CopyRequest copy;
  CopyRequest move;
  SearchRequest search;
  VerifyRequest verify;
  ExportRequest exportKey;
  ImportRequest import;
  ResultsRequest results;
  std::string loadKey, loadFile, unloadKey;
  std::string saveKey, saveFile;
  bool saveForce = false;
  std::string recoverHive, recoverFile;
  bool recoverForce = false;
  FavouritesRequest favourites;
};

struct Verbs {
  CLI::App* query;
  CLI::App* add;
  CLI::App* remove;
  CLI::App* copy;
  CLI::App* move;
  CLI::App* search;
  CLI::App* verify;
  CLI::App* exportKey;
  CLI::App* import;
  CLI::App* results;
  CLI::App* load;
  CLI::App* unload;
  CLI::App* save;
  CLI::App* recover;
  CLI::App* favourites;
};

// Registers a key's value choice: --value NAME or --default (the unnamed value).
void addValueOptions(CLI::App& verb, std::optional<std::string>& value, bool& unnamed, const char* what) {
  auto* named = verb.add_option("--value,-v", value, fmt::format("the value to {}", what));
  verb.add_flag("--default,--ve", unnamed, fmt::format("{} the unnamed (Default) value", what))->excludes(named);
}

void addGlobalOptions(CLI::App& app, GlobalOptions& global) {
  auto* prefix = app.add_option("--prefix", global.prefix, "the Wine prefix or Talmoor store to work on");
  app.add_option("--windows", global.windowsDir, "an offline Windows installation (the folder holding Windows\\)")
      ->excludes(prefix);
  app.add_option("--hive", global.hiveMounts, "FILE=KEY: one more hive file mounted at a key (repeatable)");
  auto* yes = app.add_flag("--yes", global.yes, "answer Yes to every question");
  app.add_flag("--no", global.no, "answer No to every question")->excludes(yes);
}

Verbs addVerbs(CLI::App& app, Requests& r) {
  Verbs verbs{};
  verbs.query = app.add_subcommand("query", "show a key's values and subkeys, as reg query does");
  verbs.query->add_option("key", r.query.key, "the key, e.g. HKLM\\Software\\Wine")->required();
  addValueOptions(*verbs.query, r.query.value, r.query.unnamed, "show");
  verbs.query->add_flag("--recursive,-s", r.query.recursive, "every key below too");
  verbs.query->add_flag("--display", r.query.display,
                        "data in Talmoor's display form: indirect strings and environment references resolved");
  verbs.query->add_flag("--times", r.query.times, "each key's last write time");
  verbs.query->add_flag("--names", r.query.names,
                        "list the subkeys (with -s every key below) with the display name, image and overlay "
                        "the naming rules give them; a table unless --format says otherwise");
  addFormatOption(*verbs.query, r.query.format, "the reg command's own form");

  verbs.add = app.add_subcommand("add", "add a key or set a value, as reg add does");
  verbs.add->add_option("key", r.add.key, "the key; missing keys on its path are created")->required();
  addValueOptions(*verbs.add, r.add.value, r.add.unnamed, "set");
  verbs.add->add_option("--type,-t", r.add.type,
                        "REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ (\\0 between strings), REG_DWORD, "
                        "REG_QWORD, REG_BINARY (hex digits), REG_NONE; in any case");
  verbs.add->add_option("--data,-d", r.add.data, "the data");
  verbs.add->add_flag("--force,-f", r.add.force, "overwrite without asking");

  verbs.remove = app.add_subcommand("delete", "delete a key with everything below it, or one value");
  verbs.remove->add_option("key", r.remove.key, "the key")->required();
  addValueOptions(*verbs.remove, r.remove.value, r.remove.unnamed, "delete");
  verbs.remove->add_flag("--force,-f", r.remove.force, "delete without asking");

  verbs.copy = app.add_subcommand("copy", "copy the values of a key (with --recursive its subkeys too) into "
                                          "another key, or one value, as reg copy does");
  verbs.copy->add_option("source", r.copy.source, "the key copied from")->required();
  verbs.copy->add_option("destination", r.copy.destination, "the key copied into; made when missing")->required();
  addValueOptions(*verbs.copy, r.copy.value, r.copy.unnamed, "copy");
  verbs.copy->add_flag("--recursive,-s", r.copy.recursive, "every key below too");
  verbs.copy->add_flag("--force,-f", r.copy.force, "overwrite without asking");

  verbs.move = app.add_subcommand("move", "move a key with everything below it into another key (its values "
                                          "and subkeys; the source is deleted once all came across), or one value");
  verbs.move->add_option("source", r.move.source, "the key moved from")->required();
  verbs.move->add_option("destination", r.move.destination, "the key moved into; made when missing")->required();
  addValueOptions(*verbs.move, r.move.value, r.move.unnamed, "move");
  verbs.move->add_flag("--force,-f", r.move.force, "move and overwrite without asking");
  r.move.move = true;
  r.move.recursive = true;

  verbs.search = addSearchVerb(app, r.search);
  verbs.verify = addVerifyVerb(app, r.verify);
  verbs.exportKey = addExportVerb(app, r.exportKey);
  verbs.import = addImportVerb(app, r.import);
  verbs.results = addResultsVerb(app, r.results);

  verbs.load = app.add_subcommand("load", "load a hive file at a key directly below HKLM or HKU, until it is unloaded");
  verbs.load->add_option("key", r.loadKey, "the mount point, e.g. HKU\\Offline")->required();
  verbs.load->add_option("file", r.loadFile, "the hive file (regf, or Wine's text format)")->required();

  verbs.unload = app.add_subcommand("unload", "unload the hive mounted at a key, saving its changes");
  verbs.unload->add_option("key", r.unloadKey, "the mount point, e.g. HKU\\Offline")->required();

  verbs.save = app.add_subcommand("save", "save a key with everything below it as a hive file");
  verbs.save->add_option("key", r.saveKey, "the key")->required();
  verbs.save->add_option("file", r.saveFile, "the hive file; an existing one is replaced after asking")->required();
  verbs.save->add_flag("--force,-f", r.saveForce, "replace an existing file without asking");

  verbs.recover = app.add_subcommand(
      "recover", "write a Windows hive file, recovered from the transaction logs beside it, as a new file");
  verbs.recover->add_option("hive", r.recoverHive, "the hive file (its .LOG1, .LOG2 or .LOG are found beside it)")
      ->required();
  verbs.recover->add_option("out", r.recoverFile, "the new file for the recovered hive")->required();
  verbs.recover->add_flag("--force,-f", r.recoverForce, "replace an existing file without asking");
  verbs.favourites = addFavouritesVerb(app, r.favourites);
  return verbs;
}

// The registry editor's own command line ("/E file.reg KEY", "/S file.reg",
// "file.reg") is taken as it stands after the global options: it is cut off
// the arguments, which then hold the global options only.
std::vector<std::string> takeRegistryEditorLine(int& argc, char** argv) {
  int first = 1;
  while (first < argc) {
    std::string_view argument = argv[first];
    if ((argument == "--prefix" || argument == "--windows" || argument == "--hive") && first + 1 < argc)
      first += 2;
    else if (argument == "--yes" || argument == "--no" || argument.starts_with("--prefix=") ||
             argument.starts_with("--windows=") || argument.starts_with("--hive="))
      ++first;
    else
      break;
  }
  if (first >= argc || !isRegistryEditorCommandLine(argv[first])) return {};
  std::vector<std::string> line(argv + first, argv + argc);
  argc = first;
  return line;
}

// Parses the command line; a status to end with at once (help, version, a
// command line that cannot be understood), or nothing to go on.
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    app.exit(e);
    return kExitSuccess;
  } catch (const CLI::CallForAllHelp& e) {
    app.exit(e);
    return kExitSuccess;
  } catch (const CLI::CallForVersion& e) {
    app.exit(e);
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // says what was wrong, on stderr
    return kExitUsage;
  }
  return std::nullopt;
}

std::optional<platform::ProfileOptions> profileOptionsOf(const GlobalOptions& global) {
  platform::ProfileOptions options;
  if (global.prefix) options.prefix = *global.prefix;
  if (global.windowsDir) options.windowsDir = *global.windowsDir;
  for (const auto& mount : global.hiveMounts) {
    auto parsed = platform::parseHiveMount(mount);
    if (!parsed) {
      reportProblem(mount, "not FILE=KEY");
      return std::nullopt;
    }
    options.hives.push_back(*parsed);
  }
  return options;
}

int runChosenVerb(const Verbs& verbs, Requests& r, const std::vector<std::string>& editorLine) {
  if (!editorLine.empty()) return runRegistryEditorCommandLine(editorLine);
  if (*verbs.query) return runQuery(r.query);
  if (*verbs.add) return runAdd(r.add);
  if (*verbs.remove) return runDelete(r.remove);
  if (*verbs.copy) return runCopy(r.copy);
  if (*verbs.move) return runCopy(r.move);
  if (*verbs.search) return runSearch(r.search);
  if (*verbs.verify) return runVerify(r.verify);
  if (*verbs.exportKey) return runExport(r.exportKey);
  if (*verbs.import) return runImport(r.import);
  if (*verbs.results) return runResults(r.results);
  if (*verbs.load) return runLoad(r.loadKey, r.loadFile);
  if (*verbs.unload) return runUnload(r.unloadKey);
  if (*verbs.save) return runSave(r.saveKey, r.saveFile, r.saveForce);
  if (*verbs.recover) return runRecover(r.recoverHive, r.recoverFile, r.recoverForce);
  if (*verbs.favourites) return runFavourites(r.favourites);
  return kExitUsage;
}

// An orderly end saves every hive that changed. A verb that failed has said
// why already; the same failure is not told twice.
int saveChanges(Workspace& workspace, int status) {
  if (LONG rc = workspace.registry().flushAll(); rc != ERROR_SUCCESS) {
    if (status == kExitSuccess) {
      FailureReporter failures;
      failures.handler()(ErrorReport{rc, workspace.profile()->prefix.string(), "", "Saving Hive"});
    }
    return kExitFailure;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"talmoor-cli: search and edit Windows registries (Wine prefixes, Windows hives, Talmoor stores)"};
  app.set_version_flag("--version,-v", versionText());
  app.footer(
      "Exit status: 0 when the work was done; 1 when it failed or was not done (a change refused, or a question "
      "answered No because there is no terminal: give --yes); 2 for a command line that cannot be understood.");
  // The global options are understood after the verb too.
  app.fallthrough();
  Requests requests;
  addGlobalOptions(app, requests.global);
  const Verbs verbs = addVerbs(app, requests);

  const std::vector<std::string> editorLine = takeRegistryEditorLine(argc, argv);
  app.require_subcommand(editorLine.empty() ? 1 : 0, 1);
  if (auto status = parse(app, argc, argv)) return *status;
  std::set_new_handler([] { fatalOutOfMemory(); });

  auto options = profileOptionsOf(requests.global);
  if (!options) return kExitUsage;
  const ConsolePolicy policy =
      requests.global.yes ? ConsolePolicy::Yes : requests.global.no ? ConsolePolicy::No : ConsolePolicy::Ask;
  std::string problem;
  auto workspace = Workspace::open(*options, std::make_shared<ConsoleInteraction>(policy), problem);
  if (!workspace) {
    std::cerr << "talmoor-cli: " << problem << "\n";
    return kExitFailure;
  }
  WorkspaceScope working(workspace);
  tellWhichRegistry(*workspace->profile());
  verify::installVerification();
  verify::setShellOpener([](std::string_view verb, const std::filesystem::path& host) {
    std::cout << verb << ": " << host.string() << "\n";
    return true;
  });
  return saveChanges(*workspace, runChosenVerb(verbs, requests, editorLine));
}

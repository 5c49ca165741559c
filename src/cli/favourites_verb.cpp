#include "cli/favourites_verb.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "cli/output_format.h"
#include "favourites/favourites.h"
#include "registry/access/registry_access.h"

namespace talmoor::cli {

CLI::App* addFavouritesVerb(CLI::App& app, FavouritesRequest& r) {
  auto* verb = app.add_subcommand("favourites", "list, add, remove, export or import the desktop's favourites");
  verb->add_option("action", r.action, "list (the default), add NAME KEY, remove NAME, export FILE, import FILE")
      ->check(CLI::IsMember({"list", "add", "remove", "export", "import"}));
  verb->add_option("words", r.words, "NAME [KEY], or FILE")->expected(0, 2);
  verb->footer("list prints one favourite a line: its name, a tab, its key (tabs, line ends and backslashes "
               "written \\t, \\n, \\r, \\\\); the unnamed one is \"(Default Value)\". An existing FILE is replaced "
               "by export.");
  return verb;
}

int runFavourites(const FavouritesRequest& given) {
  struct {
    std::string name, key, file;
  } request;
  const std::vector<std::string>& words = given.words;
  if (!words.empty()) request.name = request.file = words[0];
  if (words.size() > 1) request.key = words[1];
  favourites::FavouritesModel model;
  model.load();
  const std::string& action = given.action;
  if (action == "list") {
    std::cout << "Name\tKey\n";
    for (const auto& f : model.favourites())
      std::cout << escapedForTsv(favourites::shownName(f.name)) << '\t' << escapedForTsv(f.path) << '\n';
    return kExitSuccess;
  }
  if (action == "add") {
    if (request.name.empty() || request.key.empty()) return reportProblem("favourites add", "give a NAME and a KEY");
    auto key = parseKeyArgument(request.key);
    if (!key) return reportProblem(request.key, "not a registry key");
    const std::string path = key->display();
    FailureReporter failures;
    registry::ScopedKey probe(
        registry::openKeyByPath(path, registry::kReadKeyAccess, registry::ReportTo(failures.handler(), path)));
    if (!probe.get()) return kExitFailure;
    return model.add(request.name, path) ? kExitSuccess : kExitFailure;
  }
  if (action == "remove") {
    auto command = model.commandNamed(request.name);
    if (!command) return reportProblem(request.name, "no favourite of that name");
    return model.remove(*command) ? kExitSuccess : kExitFailure;
  }
  if (request.file.empty()) return reportProblem("favourites " + action, "give a FILE");
  if (action == "export") return model.saveTo(request.file) ? kExitSuccess : kExitFailure;
  const std::size_t before = model.size();
  const bool read = model.loadFrom(request.file);
  const std::size_t added = model.size() - before;
  std::cerr << "talmoor-cli: " << added << (added == 1 ? " favourite" : " favourites") << " added\n";
  return read ? kExitSuccess : kExitFailure;
}

}  // namespace talmoor::cli

#pragma once
// talmoor-cli search: a search of the registry, and row modes over its rows.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/output_format.h"

namespace talmoor::search {
class SearchDriver;
struct SearchParameters;
}

namespace talmoor::cli {

struct SearchRequest {
  std::string mode = "find";
  std::string find;
  std::string replace;
  std::optional<std::string> start;
  bool unicode = false;
  std::optional<unsigned> first;
  std::optional<unsigned> minimum;
  std::optional<unsigned> maximum;
  bool keys = false, values = false, data = false;
  std::optional<std::string> types;
  bool allTypes = false;
  bool alwaysMatchOn = false, alwaysMatchOff = false;
  bool mask = false;
  bool noConfirm = false;
  std::vector<std::string> then;  // MODE[:FIND[:REPLACE]]
  std::optional<OutputFormat> format;
};

// "find", "modify"... (lower case) to the mode's number.
std::optional<int> modeFromName(std::string_view name);

// While it lives, SIGINT, SIGTERM and SIGHUP (Ctrl-C, a plain kill, a closed
// terminal) do not end the program: they are counted, and driveToEnd asks
// the running job to stop, so that the program can keep what the job did and
// say how far it got. Catchers nest; the last one gone puts back what was
// there before.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;
  // Whether a signal has come since this catcher was made.
  bool interrupted() const;

 private:
  std::vector<void (*)(int)> previous_;
  int seen_;
};

// Starts a job of the driver and waits for its end; a signal meanwhile asks
// the job to stop, as the Stop button does. Returns true when a signal came
// while the job ran.
bool driveToEnd(search::SearchDriver& driver, const std::function<void()>& start);

// The key being walked on stderr, when it is a terminal.
void showProgress(search::SearchDriver& driver);
// One search with these parameters, to its end; true when a signal stopped it.
bool runSearchToEnd(search::SearchDriver& driver, const search::SearchParameters& parameters);
// The start key in its full form; none for no argument; nothing (reported)
// for one that names no key.
std::optional<std::optional<std::string>> startKeyPath(const std::optional<std::string>& argument);

CLI::App* addSearchVerb(CLI::App& app, SearchRequest& request);
int runSearch(const SearchRequest& request);

}  // namespace talmoor::cli

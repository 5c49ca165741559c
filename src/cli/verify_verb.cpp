#include "cli/verify_verb.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "cli/row_output.h"
#include "cli/search_verb.h"
#include "search/search_driver.h"
#include "verify/rules.h"

namespace talmoor::cli {

using namespace talmoor::search;

CLI::App* addVerifyVerb(CLI::App& app, VerifyRequest& r) {
  auto* verb = app.add_subcommand("verify", "find the file references that name no file, and repair them");
  verb->add_option("--start", r.start, "the key to start at; none walks the whole registry");
  verb->add_option("--rules", r.rules, "a .rules file of earlier answers to apply");
  verb->add_option("--save-rules", r.saveRules, "where to keep the rules afterwards");
  addFormatOption(*verb, r.format, "a table on a terminal, tab-separated lines otherwise");
  verb->footer("With --no, every missing reference is rejected: they are only listed.");
  return verb;
}

int runVerify(const VerifyRequest& request) {
  verify::RuleBase& rules = verify::ruleBase();
  if (request.rules) {
    std::size_t loaded = 0;
    if (!rules.load(*request.rules, &loaded)) return reportProblem(*request.rules, "Failed to Load Settings");
  }
  auto start = startKeyPath(request.start);
  if (!start) return kExitFailure;
  auto results = std::make_shared<ResultList>();
  bool interrupted = false;
  {
    SearchDriver driver(results);
    driver.setStartPath(*start);
    showProgress(driver);
    SearchParameters parameters;
    parameters.mode = kModeVerify;
    interrupted = runSearchToEnd(driver, parameters);
    if (::isatty(STDERR_FILENO)) std::cerr << "\r\033[K" << std::flush;
  }
  const ChangeCounts changes = printRows(*results, chosenFormat(request.format));
  // The answers given so far are worth keeping, even after an interruption.
  if (request.saveRules && !rules.save(*request.saveRules))
    return reportProblem(*request.saveRules, "Failed to Save Settings");
  if (interrupted) {
    std::cout.flush();
    return reportProblem("verify", "interrupted");
  }
  return reportChanges(changes) ? kExitSuccess : kExitFailure;
}

}  // namespace talmoor::cli

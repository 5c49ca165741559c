#include "cli/verify_verb.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "base/console_interaction.h"
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
  verb->add_option("--start,-s", r.start, "the key to start at; none walks the whole registry");
  verb->add_option("--rules", r.rules, "a .rules file of earlier answers to apply");
  verb->add_option("--save-rules", r.saveRules, "where to keep the rules afterwards");
  verb->add_flag("--no", r.rejectAll, "reject every missing reference: only list them");
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
  std::shared_ptr<Interaction> previous;
  if (request.rejectAll) previous = setInteraction(std::make_shared<ConsoleInteraction>(ConsolePolicy::No));

  auto results = std::make_shared<ResultList>();
  {
    SearchDriver driver(results);
    driver.setStartPath(*start);
    showProgress(driver);
    SearchParameters parameters;
    parameters.mode = kModeVerify;
    runSearchToEnd(driver, parameters);
    if (::isatty(STDERR_FILENO)) std::cerr << "\r\033[K" << std::flush;
  }
  if (previous) setInteraction(previous);
  printRows(*results, ::isatty(STDOUT_FILENO));
  if (request.saveRules && !rules.save(*request.saveRules))
    return reportProblem(*request.saveRules, "Failed to Save Settings");
  return kExitSuccess;
}

}  // namespace talmoor::cli

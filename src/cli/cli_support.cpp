#include "cli/cli_support.h"

#include <iostream>

#include <fmt/format.h>

#include "base/interaction.h"
#include "platform/error_detail.h"
#include "platform/win32_error_text.h"

namespace talmoor::cli {

ErrorHandler FailureReporter::handler() {
  return [this](const ErrorReport& report) {
    if (failed_) return true;
    failed_ = true;
    std::string where(report.primaryName);
    if (!report.secondaryName.empty()) where += (where.empty() ? "" : "\\") + std::string(report.secondaryName);
    std::string text = systemMessageText(report.code);
    if (std::string detail = platform::takeErrorDetail(); !detail.empty()) text += fmt::format(" ({})", detail);
    std::cerr << fmt::format("talmoor-cli: {}: {}: {}\n", where, report.context, text);
    return true;
  };
}

int reportProblem(std::string_view what, std::string_view problem) {
  std::cerr << fmt::format("talmoor-cli: {}: {}\n", what, problem);
  return kExitFailure;
}

registry::WriteCheck confirmingGate(search::ChangeClass& change, bool force) {
  for (int kind : {search::kChangeKey, search::kChangeValue}) {
    for (DWORD operation = 0; operation <= search::kOpHighest; ++operation) {
      // reg asks only before overwriting and deleting.
      bool asks = !force && ((operation & search::kOpDelete) || (operation & search::kOpExists));
      if (!asks) change.confirmations[kind][operation] = {1, search::ConfirmationAnswer::Accept};
    }
  }
  return [&change](registry::WriteRequest& request) {
    registry::WriteVerdict verdict = search::writeCheck(request, &change);
    if (verdict == registry::WriteVerdict::SkipFailed && !change.abort)
      std::cerr << "talmoor-cli: the operation was cancelled\n";
    return verdict;
  };
}

}  // namespace talmoor::cli

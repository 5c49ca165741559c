#include "cli/cli_support.h"

#include <iostream>

#include <fmt/format.h>

#include "app/interaction.h"
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

registry::WriteCheck confirmingGate(bool force) {
  return [force](registry::WriteRequest& request) {
    if (force) return registry::kWriteProceed;
    std::string question;
    std::string name = request.name ? *request.name : std::string();
    if (request.action == registry::kWriteDelete) {
      question = request.isKey ? fmt::format("Permanently delete the registry key {}?", request.path)
                               : fmt::format("Delete the registry value {}?", name.empty() ? "(Default)" : name);
    } else if (request.action == registry::kWriteOverwrite && !request.isKey) {
      question = fmt::format("Value {} exists, overwrite it?", name.empty() ? "(Default)" : name);
    } else {
      return registry::kWriteProceed;
    }
    if (messageBox(question, "Confirm", BoxButtons::YesNo, BoxIcon::Question) == IDYES)
      return registry::kWriteProceed;
    std::cerr << "talmoor-cli: the operation was cancelled\n";
    return registry::kWriteSkipFailed;
  };
}

}  // namespace talmoor::cli

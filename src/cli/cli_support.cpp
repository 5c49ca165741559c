#include "cli/cli_support.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include <fmt/format.h>

#include "base/console_interaction.h"
#include "base/interaction.h"
#include "platform/error_detail.h"
#include "platform/registry/registry_profile.h"
#include "platform/win32_error_text.h"
#include "platform/win32_errors.h"

namespace talmoor::cli {

namespace {

// The key, or the key and the name below it, a report is about.
std::string placeOf(const ErrorReport& report) {
  std::string where(report.primaryName);
  if (!report.secondaryName.empty()) where += (where.empty() ? "" : "\\") + std::string(report.secondaryName);
  return where;
}

// What was not there, named first, when a key or value is missing.
std::optional<std::string> missingItemText(const ErrorReport& report) {
  if (report.code != ERROR_FILE_NOT_FOUND) return std::nullopt;
  const std::string_view context = report.context;
  if (context.starts_with("Opening Key") || context.find("(Open Context)") != std::string_view::npos)
    return fmt::format("registry key not found: {}", placeOf(report));
  if (context == "Querying Value" || context == "Establishing Size of Value Data")
    return fmt::format("registry value not found: {} in {}",
                       report.secondaryName.empty() ? std::string_view("(Default)") : report.secondaryName,
                       report.primaryName);
  return std::nullopt;
}

// The path with the home folder as "~", as people write it.
std::string shortPath(const std::filesystem::path& path) {
  std::string text = path.string();
  const char* home = std::getenv("HOME");
  if (!home || !*home) return text;
  std::string prefix = std::filesystem::path(home).lexically_normal().string();
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (text == prefix) return "~";
  if (text.starts_with(prefix + "/")) return "~" + text.substr(prefix.size());
  return text;
}

}  // namespace

ErrorHandler FailureReporter::handler() {
  return [this](const ErrorReport& report) {
    if (failed_) return true;
    failed_ = true;
    std::string text = systemMessageText(report.code);
    if (std::string detail = platform::takeErrorDetail(); !detail.empty()) text += fmt::format(" ({})", detail);
    if (auto missing = missingItemText(report)) {
      std::cerr << fmt::format("talmoor-cli: {} ({}: {})\n", *missing, report.context, text);
      return true;
    }
    std::cerr << fmt::format("talmoor-cli: {}: {}: {}\n", placeOf(report), report.context, text);
    return true;
  };
}

int reportProblem(std::string_view what, std::string_view problem) {
  std::cerr << fmt::format("talmoor-cli: {}: {}\n", what, problem);
  return kExitFailure;
}

bool nobodyToAsk() {
  auto console = std::dynamic_pointer_cast<ConsoleInteraction>(interaction());
  return console && console->answersForWantOfTerminal();
}

void tellWhichRegistry(const platform::RegistryProfile& profile) {
  if (::isatty(STDERR_FILENO)) {
    std::string which;
    switch (profile.kind) {
      case platform::ProfileKind::WinePrefix: which = "Wine prefix " + shortPath(profile.prefix); break;
      case platform::ProfileKind::WindowsInstallation: which = "offline Windows " + shortPath(profile.prefix); break;
      case platform::ProfileKind::TalmoorStore:
        which = profile.created ? fmt::format("new empty store {} created", shortPath(profile.prefix))
                                : "Talmoor store " + shortPath(profile.prefix);
        break;
    }
    if (profile.readOnly) which += " (read-only)";
    std::cerr << "talmoor-cli: " << which << "\n";
  }
  for (const auto& warning : profile.warnings) std::cerr << "talmoor-cli: " << warning << "\n";
}

void confirmAsRegDoes(search::ChangeClass& change, bool force, bool deletesAsked) {
  for (int kind : {search::kChangeKey, search::kChangeValue}) {
    for (DWORD operation = 0; operation <= search::kOpHighest; ++operation) {
      // reg asks only before overwriting and deleting.
      bool asks = !force && (((operation & search::kOpDelete) && !deletesAsked) || (operation & search::kOpExists));
      if (!asks) change.confirmations[kind][operation] = {1, search::ConfirmationAnswer::Accept};
    }
  }
}

registry::WriteCheck confirmingGate(search::ChangeClass& change, bool force) {
  confirmAsRegDoes(change, force);
  return [&change](registry::WriteRequest& request) {
    registry::WriteVerdict verdict = search::writeCheck(request, &change);
    if (verdict == registry::WriteVerdict::SkipFailed && !change.abort)
      std::cerr << "talmoor-cli: the operation was cancelled\n";
    return verdict;
  };
}

}  // namespace talmoor::cli

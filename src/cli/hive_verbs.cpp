#include "cli/hive_verbs.h"

#include <filesystem>
#include <iostream>
#include <optional>

#include <fmt/format.h>

#include "base/interaction.h"
#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "platform/error_detail.h"
#include "platform/files/file_io.h"
#include "platform/registry/regf_log.h"
#include "platform/registry/registry_host.h"
#include "platform/win32_errors.h"
#include "registry/hive_operations.h"
#include "base/workspace.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::registry;

constexpr const char* kDone = "The operation completed successfully.\n";

// The key argument split into the key a hive hangs from and its name there.
struct MountPoint {
  std::string path;
  std::string parent;
  std::string name;
};

std::optional<MountPoint> mountPointOf(const std::string& text, std::string_view verb) {
  auto key = parseKeyArgument(text);
  if (!key) {
    reportProblem(text, "not a registry key");
    return std::nullopt;
  }
  MountPoint point{key->display(), {}, {}};
  if (key->subkey.empty()) {
    reportProblem(point.path, fmt::format("a root key cannot be {}", verb));
    return std::nullopt;
  }
  auto cut = point.path.rfind('\\');
  point.parent = point.path.substr(0, cut);
  point.name = point.path.substr(cut + 1);
  return point;
}

bool fileExists(const std::string& file) {
  auto host = Workspace::current().registry().hostPathOf(file);
  return host && platform::fileKind(*host) != platform::FileKind::Missing;
}

// Whether the name is taken: a file, or a link even where it points nowhere
// (saving writes the file it points to, so it asks as for any file).
bool nameTaken(const std::string& file) {
  auto host = Workspace::current().registry().hostPathOf(file);
  return host && platform::nameTaken(*host);
}

}  // namespace

int runLoad(const std::string& key, const std::string& file) {
  auto point = mountPointOf(key, "loaded");
  if (!point) return kExitFailure;
  if (!fileExists(file)) return reportProblem(file, systemMessageText(ERROR_FILE_NOT_FOUND));
  FailureReporter failures;
  // What a damaged or uncleanly closed hive file lacks is told as a warning;
  // the hive is loaded all the same.
  ErrorHandler handler = [&failures](const ErrorReport& report) {
    if (report.code != ERROR_REGISTRY_CORRUPT) return failures.handler()(report);
    std::cerr << fmt::format("talmoor-cli: warning: {}: {}\n", report.primaryName, report.context);
    return false;
  };
  auto named = [&point](std::string_view, std::string_view, std::string_view) {
    return std::optional<std::string>(point->name);
  };
  LONG rc = loadHive(point->parent, file, named, ReportTo(handler, point->path));
  if (rc == ERROR_CANCELLED) return reportProblem(file, "not loaded");
  if (rc != ERROR_SUCCESS) return kExitFailure;
  std::cout << kDone;
  return kExitSuccess;
}

int runUnload(const std::string& key) {
  auto point = mountPointOf(key, "unloaded");
  if (!point) return kExitFailure;
  FailureReporter failures;
  if (unloadHive(point->path, ReportTo(failures.handler(), point->path)) != ERROR_SUCCESS) return kExitFailure;
  std::cout << kDone;
  return kExitSuccess;
}

int runRecover(const std::string& hive, const std::string& out, bool force) {
  if (!force && platform::nameTaken(out) &&
      messageBox(fmt::format("{} already exists. Replace it?", out), "Recover Hive", BoxButtons::YesNo,
                 BoxIcon::Question) != IDYES)
    return reportProblem(out, "not replaced");
  platform::LogRecovery recovery;
  platform::clearErrorDetail();
  if (LONG rc = platform::writeRecoveredHive(hive, out, recovery); rc != ERROR_SUCCESS) {
    FailureReporter failures;
    failures.handler()(ErrorReport{rc, hive, "", "Recovering Hive"});
    return kExitFailure;
  }
  for (const auto& problem : recovery.problems) std::cerr << fmt::format("talmoor-cli: warning: {}\n", problem);
  if (!recovery.recovered()) {
    std::cout << fmt::format("{} needed no recovery, or no sound log was found beside it; written to {} as it is\n",
                             hive, out);
    return recovery.problems.empty() ? kExitSuccess : kExitFailure;
  }
  std::string logs;
  for (const auto& log : recovery.logsUsed) logs += (logs.empty() ? "" : ", ") + log.filename().string();
  std::cout << fmt::format("{} pages from {} log entries ({}) applied; the recovered hive is written to {}\n",
                           recovery.pagesApplied, recovery.entriesApplied, logs, out);
  return kExitSuccess;
}

int runSave(const std::string& key, const std::string& file, bool force) {
  auto parsed = parseKeyArgument(key);
  if (!parsed) return reportProblem(key, "not a registry key");
  const std::string path = parsed->display();
  if (!force && nameTaken(file) &&
      messageBox(fmt::format("{} already exists. Replace it?", file), kSaveHiveDialogTitle, BoxButtons::YesNo,
                 BoxIcon::Question) != IDYES)
    return reportProblem(file, "not replaced");
  FailureReporter failures;
  if (saveKeyAsHive(path, file, ReportTo(failures.handler(), path)) != ERROR_SUCCESS) return kExitFailure;
  std::cout << kDone;
  return kExitSuccess;
}

}  // namespace talmoor::cli

#include "registry/hive_operations.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "platform/files/file_io.h"
#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/registry/registry_host.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"
#include "base/workspace.h"

namespace talmoor::registry {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWin9xSignature = "CREG";
constexpr std::string_view kNtSignature = "regf";
constexpr std::string_view kWineSignature = "WINE REGISTRY Version 2";
// A file shorter than this is never a hive.
constexpr std::uintmax_t kSmallestHive = 5;
// The problems of a damaged hive that are reported one by one.
constexpr std::size_t kDamageReportsShown = 5;

constexpr const char* kTooSmallText = "The file you selected is too small it cannot possibly be a valid Registry Hive";
constexpr const char* kTooSmallTitle = "Cannot Load Hive";
constexpr const char* kWin9xHiveText =
    "The file selected appears to be a Windows 95/98/ME Registry Hive.\nFuthur more it appears you are not presently "
    "running a security\nenabled system, it is likely you will not be able to successfully\nLoad this Hive.\n\n"
    "Continue Loading Hive?";
constexpr const char* kNtHiveText =
    "The file you selected appears to be a Windows NT/2000 Registry Hive.\nFurthur more it appears you are not "
    "presently running on a security enabled system, \nit is likely you will not be able to\nLoad this Hive\n\n"
    "Continue Loading Hive?";
constexpr const char* kUnknownFileText = "The file you selected has not been recognised as a Registry Hive?";
constexpr const char* kWarningTitle = "WARNING";
constexpr const char* kCannotOpenForSavingText = "Cannot open the Selected Key for Saving";
constexpr const char* kCannotSaveTitle = "Cannot Save Key";
constexpr const char* kKeyPathUnreadableText = "An Error Occured Retreiving the Key Path.. please quit and Reload";
constexpr const char* kMountPointTitle = "Hive Mount Point";

constexpr const char* kLoadingContext = "Loading Hive";
constexpr const char* kUnloadingContext = "Un-Loading Hive from Mount Point.";
constexpr const char* kSavingContext = "Saving Key as Hive";
constexpr const char* kOpeningContext = "Opening Key";

enum class FileStart { Unreadable, TooSmall, Windows9x, WindowsNT, WineText, Other };

FileStart readFileStart(std::string_view file) {
  auto host = Workspace::current().registry().hostPathOf(file);
  if (!host) return FileStart::Unreadable;
  std::string start;
  std::uint64_t size = 0;
  if (platform::readFileStart(*host, kWineSignature.size(), start, size) != ERROR_SUCCESS)
    return FileStart::Unreadable;
  if (size < kSmallestHive) return FileStart::TooSmall;
  std::string_view head = start;
  if (head.substr(0, 4) == kWin9xSignature) return FileStart::Windows9x;
  if (head.substr(0, 4) == kNtSignature) return FileStart::WindowsNT;
  if (head == kWineSignature) return FileStart::WineText;
  return FileStart::Other;
}

// Reports as the reporter does, and keeps the first code for the caller.
ReportTo recordingFirstCode(const ReportTo& report, LONG& code) {
  ReportTo recording = report;
  recording.handler = [&code, report](const ErrorReport& r) {
    if (code == ERROR_SUCCESS) code = r.code;
    if (report.handler) return report.handler(r);
    if (r.verbosity > kVerbositySilent) showErrorBox(r.code, report.owner, r.context);
    return false;
  };
  return recording;
}

// Opens a path text through the access layer; `code` gets the reason of a failure.
HKEY openPath(std::string_view path, const ReportTo& report, std::string_view context, LONG& code) {
  code = ERROR_SUCCESS;
  HKEY key = openKeyByPath(path, kReadKeyAccess, recordingFirstCode(report, code), context);
  if (!key && code == ERROR_SUCCESS) code = ERROR_INVALID_PARAMETER;  // no path at all
  return key;
}

void reportHiveState(const platform::Hive& hive, std::string_view mountPath, const ReportTo& report) {
  auto tell = [&](std::string_view text, int verbosity) {
    reportError(report.handler, ERROR_REGISTRY_CORRUPT, mountPath, "", text, report.caller, verbosity, report.owner);
  };
  // What opening it found; a hive read on demand is not scanned whole here.
  const auto problems = hive.damageFoundSoFar();
  if (!problems.empty()) {
    tell(hive.readOnlyReason(), kVerbosityBox);
    for (std::size_t i = 0; i < problems.size() && i < kDamageReportsShown; ++i) tell(problems[i], kVerbositySilent);
    if (problems.size() > kDamageReportsShown)
      tell(fmt::format("... {} more problems", problems.size() - kDamageReportsShown), kVerbositySilent);
  }
  if (std::string recovery = hive.recoveryText(); !recovery.empty()) tell(recovery, kVerbositySilent);
}

std::string textOf(const std::vector<BYTE>& data) {
  std::string text(data.begin(), data.end());
  if (auto end = text.find('\0'); end != std::string::npos) text.resize(end);
  return text;
}

}  // namespace

DWORD currentPlatform() { return kPlatformNT; }

bool testHiveFile(std::string_view file, bool ask, WindowRef owner, DWORD platform) {
  const bool nt = platform == kPlatformNT;
  const char* question = kUnknownFileText;
  switch (readFileStart(file)) {
    case FileStart::Unreadable:
      return false;
    case FileStart::TooSmall:
      if (ask) messageBox(kTooSmallText, kTooSmallTitle, BoxButtons::Ok, BoxIcon::Stop, owner);
      return false;
    case FileStart::WineText:
      return true;
    case FileStart::Windows9x:
      if (!nt) return true;
      question = kWin9xHiveText;
      break;
    case FileStart::WindowsNT:
      if (nt) return true;
      question = kNtHiveText;
      break;
    case FileStart::Other:
      break;
  }
  return ask && messageBox(question, kWarningTitle, BoxButtons::YesNo, BoxIcon::Exclamation, owner) == IDYES;
}

LONG loadHive(std::string_view parentPath, std::string_view file, const MountPointNamer& nameMountPoint,
              const ReportTo& report) {
  if (!testHiveFile(file, true, report.owner)) return ERROR_CANCELLED;
  std::optional<std::string> name;
  if (nameMountPoint) name = nameMountPoint(parentPath, file, kNewMountPointName);
  if (!name) return ERROR_CANCELLED;
  return mountHive(parentPath, *name, file, report);
}

LONG mountHive(std::string_view parentPath, std::string_view name, std::string_view file, const ReportTo& report) {
  LONG rc = ERROR_SUCCESS;
  ScopedKey parent(openPath(parentPath, report, kLoadingContext, rc));
  if (!parent.get()) return rc;
  const std::string mountName(name), fileName(file);
  platform::clearErrorDetail();
  rc = RegLoadKeyA(parent.get(), mountName.c_str(), fileName.c_str());
  parent.reset();
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, parentPath, name, kLoadingContext, report.caller, kVerbositySilent, report.owner);
    return rc;
  }
  // A damaged hive loads with what could be read; its detail is no failure.
  platform::clearErrorDetail();
  auto& host = Workspace::current().registry();
  if (auto hostFile = host.hostPathOf(file))
    if (auto hive = host.local().hiveOfFile(*hostFile))
      reportHiveState(*hive, fmt::format("{}\\{}", parentPath, name), report);
  return ERROR_SUCCESS;
}

bool acceptsDroppedHive(std::string_view targetPath, std::string_view file) {
  HKEY root = rootFromText(targetPath);
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) return false;
  return testHiveFile(file, false);
}

LONG saveKeyAsHive(std::string_view keyPath, std::string_view file, const ReportTo& report) {
  LONG rc = ERROR_SUCCESS;
  ScopedKey key(openPath(keyPath, report, kOpeningContext, rc));
  if (!key.get()) {
    messageBox(kCannotOpenForSavingText, kCannotSaveTitle, BoxButtons::Ok, BoxIcon::Stop, report.owner);
    return rc;
  }
  // The hive call refuses to write over a file, and deleting the old file
  // first would lose it when the save then fails. The new file is written
  // completely beside it and only then takes its place.
  platform::clearErrorDetail();
  if (auto host = Workspace::current().registry().hostPathOf(file)) {
    rc = platform::replaceFileThrough(
        *host, [&](const fs::path& staged) { return RegSaveKeyA(key.get(), staged.string().c_str(), nullptr); });
  } else {
    const std::string fileName(file);
    rc = RegSaveKeyA(key.get(), fileName.c_str(), nullptr);  // refused, naming the reason
  }
  if (rc != ERROR_SUCCESS)
    reportError(report.handler, rc, keyPath, "", kSavingContext, report.caller, kVerbosityBox, report.owner);
  return rc;
}

LONG unloadHive(std::string_view keyPath, const ReportTo& report) {
  const std::string_view name = lastComponent(keyPath);
  const std::string_view parentPath = withoutLastComponent(keyPath);
  if (name.empty() || parentPath.empty()) {
    messageBox(kKeyPathUnreadableText, "Sorry", BoxButtons::Ok, BoxIcon::Stop, report.owner);
    return ERROR_INVALID_PARAMETER;
  }
  LONG rc = ERROR_SUCCESS;
  ScopedKey parent(openPath(parentPath, report, kLoadingContext, rc));
  if (!parent.get()) return rc;
  const std::string mountName(name);
  rc = RegUnLoadKeyA(parent.get(), mountName.c_str());
  if (rc != ERROR_SUCCESS) {
    // Without a handler of the caller's, the failure becomes an error log row.
    const ErrorHandler handler = report.handler ? report.handler : ErrorHandler(defaultErrorHandler);
    reportError(handler, rc, parentPath, name, kUnloadingContext, report.caller, kVerbosityBox, report.owner);
  }
  return rc;
}

std::optional<std::string> hiveMountPoint(std::string_view keyPath, const ReportTo& report) {
  auto native = nativePath(keyPath);
  if (!native) return std::nullopt;
  while (native->size() > 1 && native->back() == '\\') native->pop_back();
  LONG rc = ERROR_SUCCESS;
  ScopedKey list(openPath(kHiveListPath, report, kOpeningContext, rc));
  if (!list.get()) return std::nullopt;
  // Key names compare without regard to case, as the registry compares them.
  const std::u16string wanted = platform::ansiToWide(*native);
  std::optional<std::string> file;
  EnumerationRequest request(list.get(), 0, 0, report);
  enumerateValues("", request, [&](const ValueVisit& visit) {
    if (!platform::namesEqual(platform::ansiToWide(visit.name), wanted)) return 0;
    file = textOf(*visit.data);
    return 1;
  });
  return file;
}

bool showMountPoint(std::string_view keyPath, const ReportTo& report) {
  auto file = hiveMountPoint(keyPath, report);
  if (!file) return false;
  messageBox(*file, kMountPointTitle, BoxButtons::Ok, BoxIcon::Information, report.owner);
  return true;
}

}  // namespace talmoor::registry

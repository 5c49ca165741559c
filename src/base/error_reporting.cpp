#include "base/error_reporting.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "base/error_log.h"
#include "platform/last_error.h"
#include "platform/win32_error_text.h"
#include "platform/win32_errors.h"
#include "base/workspace.h"

namespace talmoor {

namespace {

constexpr const char* kUnknownError = "Unrecognised or Unknown Error, unable to retreive error message";

// An I/O-pending state says nothing about a failure: it is cleared and read as success.
LONG withoutPending(LONG code) {
  if (GetLastError() == static_cast<DWORD>(ERROR_IO_PENDING)) SetLastError(0);
  return code == ERROR_IO_PENDING ? ERROR_SUCCESS : code;
}

}  // namespace

bool errorBoxesSuppressed() { return Workspace::current().errorBoxesSuppressed(); }
void setErrorBoxesSuppressed(bool suppressed) { Workspace::current().setErrorBoxesSuppressed(suppressed); }

std::string systemMessageText(LONG code) {
  return platform::systemErrorText(code).value_or(kUnknownError);
}

bool reportError(const ErrorHandler& handler, LONG code, std::string_view primaryName,
                 std::string_view secondaryName, std::string_view context, void* caller, int verbosity,
                 WindowRef owner) {
  code = withoutPending(code);
  if (!handler) {
    if (verbosity > kVerbositySilent && code != ERROR_SUCCESS)
      showErrorBox(code, owner, context.empty() ? secondaryName : context);
    return false;
  }
  DWORD lastError = GetLastError();
  SetLastError(0);
  bool stop = false;
  if (code != ERROR_SUCCESS)
    stop = handler(ErrorReport{code, primaryName, secondaryName, context, caller, verbosity});
  if (lastError != 0) {
    std::string secondContext = fmt::format("{} {}", context.empty() ? "Untitled" : context, "(GetLastError)");
    stop = handler(ErrorReport{static_cast<LONG>(lastError), primaryName, secondaryName, secondContext, caller,
                               verbosity});
  }
  return stop;
}

void showErrorBox(LONG code, WindowRef owner, std::string_view title) {
  if (errorBoxesSuppressed() || code == ERROR_SUCCESS || code == ERROR_ACCESS_DENIED || code == ERROR_IO_PENDING) return;
  if (code == ERROR_NOT_AUTHENTICATED) {
    messageBox("You need to have logged onto the Network to Complete this action", "Not Logged On", BoxButtons::Ok,
               BoxIcon::NoIcon, owner);
    SetLastError(0);
    return;
  }
  auto text = platform::systemErrorText(code);
  if (!text) {
    messageBox(kUnknownError, title, BoxButtons::Ok, BoxIcon::Stop, owner);
  } else if (messageBox(*text, title, BoxButtons::YesNo, BoxIcon::Exclamation, owner) == IDNO) {
    setErrorBoxesSuppressed(true);
  }
  SetLastError(0);
}

void addErrorLogRow(LONG code, std::string_view primaryName, std::string_view context,
                    std::string_view secondaryName, int verbosity) {
  if (code == ERROR_SUCCESS) {
    code = static_cast<LONG>(GetLastError());
    SetLastError(0);
  }
  if (code == ERROR_SUCCESS) return;
  if (verbosity > kVerbositySilent && code != ERROR_ACCESS_DENIED) showErrorBox(code, 0, context);

  std::string path(primaryName);
  std::string name(secondaryName);
  if (secondaryName.empty()) {
    // Without a value name, the key path's last component is shown as the name.
    auto cut = path.rfind('\\');
    if (cut != std::string::npos) {
      name = path.substr(cut + 1);
      path.resize(cut);
    }
  }
  std::string message = systemMessageText(code);
  ErrorLog& log = errorLog();
  if (log.windowOpen()) {
    ErrorLogRow row{path.empty() ? "Unspecified" : path, name, std::string(context), message, code};
    row.image = errorLogImage(code, row.otherState);
    log.add(std::move(row));
  } else if (code != ERROR_ACCESS_DENIED && code != ERROR_NO_MORE_ITEMS) {
    messageBox(fmt::format("{}\n{}", context, message), path, BoxButtons::Ok);
  }
}

bool defaultErrorHandler(const ErrorReport& report) {
  addErrorLogRow(report.code, report.primaryName, report.context, report.secondaryName, report.verbosity);
  return report.code == ERROR_INVALID_HANDLE;
}

void fatalOutOfMemory(WindowRef owner) {
  fatalOutOfMemory(FatalStop{}, owner);
}

void fatalOutOfMemory(const FatalStop& stop, WindowRef owner) {
  messageBox(stop.text, stop.title, BoxButtons::Ok, BoxIcon::Stop, owner);
  // At once: other threads still use what an orderly exit would destroy.
  std::_Exit(stop.exitCode);
}

std::optional<std::string> duplicateText(const char* source, std::size_t extra, std::size_t length) {
  if (!source) {
    messageBox("CRITICAL ERROR", "SORRY");
    return std::nullopt;
  }
  if (length == 0) length = std::strlen(source);
  std::string copy(source, length);
  copy.reserve(length + extra + 1);
  return copy;
}

}  // namespace talmoor

#pragma once
// The one error reporter through which registry and file operations report
// failures, the error box, the error log, and the fatal out-of-memory stop.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/interaction.h"
#include "platform/win32_types.h"

namespace talmoor {

// How loudly a report is made when the caller gives no handler.
inline constexpr int kVerbositySilent = 0;
inline constexpr int kVerbosityBox = 1;
inline constexpr int kVerbosityEnumeration = 2;

struct ErrorReport {
  LONG code = 0;
  std::string_view primaryName;    // normally a key path
  std::string_view secondaryName;  // normally a value name
  std::string_view context;        // the operation, e.g. "Opening Key"
  void* caller = nullptr;          // passed through untouched
  int verbosity = kVerbositySilent;
};

// Decides whether an operation stops: true stops it.
using ErrorHandler = std::function<bool(const ErrorReport&)>;

bool reportError(const ErrorHandler& handler, LONG code, std::string_view primaryName,
                 std::string_view secondaryName, std::string_view context, void* caller, int verbosity,
                 WindowRef owner = 0);

// The error box for a code, under the caller's title.
void showErrorBox(LONG code, WindowRef owner, std::string_view title);

void addErrorLogRow(LONG code, std::string_view primaryName, std::string_view context,
                    std::string_view secondaryName, int verbosity);

// The handler windows pass to registry operations: it logs the failure and
// stops only on an invalid handle.
bool defaultErrorHandler(const ErrorReport& report);

// Whether "No" on an error box has silenced the rest of them.
bool errorBoxesSuppressed();
void setErrorBoxesSuppressed(bool suppressed);

// The system's text for a code, or the text shown when it has none.
std::string systemMessageText(LONG code);

// The exit code of the program's out-of-memory stop.
inline constexpr int kOutOfMemoryExitCode = 3;

// The one way the program stops when memory runs out: a box, then the end of
// the process with a failure code. Its own words by default; a part with a
// stop of its own (the shared list's) gives its words and code.
struct FatalStop {
  std::string_view text =
      "Out of Memory, there was not enough memory left to allocate a program variable or object, Please Close some "
      "other programs and then Reload this application and try again. If the error persists with no other programs "
      "loaded, the action you are attempting might be in error.";
  std::string_view title = "Fatal Error";
  int exitCode = kOutOfMemoryExitCode;
};
[[noreturn]] void fatalOutOfMemory(WindowRef owner = 0);
[[noreturn]] void fatalOutOfMemory(const FatalStop& stop, WindowRef owner = 0);

// A copy of a text: `length` characters (0: up to the terminator) and room
// for `extra` more; nothing (after the box) for a text that cannot be read.
std::optional<std::string> duplicateText(const char* source, std::size_t extra = 0, std::size_t length = 0);

}  // namespace talmoor

#include "scripts/file_failure.h"

#include <cstring>

#include "platform/error_detail.h"
#include "platform/win32_error_text.h"
#include "platform/win32_errors.h"

namespace talmoor::scripts {

FileFailure fileFailureFromErrno(int err, LONG fallback, const std::filesystem::path& file) {
  if (err == 0) return {fallback, platform::systemErrorText(fallback).value_or("The operation failed.")};
  LONG code = static_cast<LONG>(platform::win32ErrorFromErrno(err));
  if (code == ERROR_FILE_NOT_FOUND && file.has_parent_path()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(file.parent_path(), ec)) code = ERROR_PATH_NOT_FOUND;
  }
  // The catch-all of the mapping speaks of registry files; the host's text
  // says more about a script file.
  if (code == ERROR_REGISTRY_IO_FAILED) return {fallback, std::strerror(err)};
  auto text = platform::systemErrorText(code);
  return {code, text ? *text : std::string(std::strerror(err))};
}

}  // namespace talmoor::scripts

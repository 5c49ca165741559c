#include "platform/error_detail.h"

#include <cerrno>

#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {
thread_local std::string t_detail;
}

void setErrorDetail(std::string detail) { t_detail = std::move(detail); }

std::string takeErrorDetail() {
  std::string out;
  out.swap(t_detail);
  return out;
}

void clearErrorDetail() { t_detail.clear(); }

long win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

}  // namespace talmoor::platform

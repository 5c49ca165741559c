#include "platform/win32_error_text.h"

#include <unordered_map>

#include "platform/win32_errors.h"

namespace talmoor::platform {

std::optional<std::string> systemErrorText(LONG code) {
  static const std::unordered_map<LONG, const char*> texts = {
      {ERROR_SUCCESS, "The operation completed successfully."},
      {ERROR_INVALID_FUNCTION, "Incorrect function."},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {ERROR_INVALID_HANDLE, "The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
      {ERROR_INVALID_DATA, "The data is invalid."},
      {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
      {ERROR_WRITE_PROTECT, "The media is write protected."},
      {ERROR_NOT_READY, "The device is not ready."},
      {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
      {ERROR_HANDLE_DISK_FULL, "The disk is full."},
      {ERROR_NOT_SUPPORTED, "The request is not supported."},
      {ERROR_BAD_NETPATH, "The network path was not found."},
      {ERROR_FILE_EXISTS, "The file exists."},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {ERROR_DISK_FULL, "There is not enough space on the disk."},
      {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
      {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {ERROR_BAD_PATHNAME, "The specified path is invalid."},
      {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
      {ERROR_MORE_DATA, "More data is available."},
      {ERROR_NO_MORE_ITEMS, "No more data is available."},
      {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
      {ERROR_NOACCESS, "Invalid access to memory location."},
      {ERROR_BADDB, "The configuration registry database is corrupt."},
      {ERROR_BADKEY, "The configuration registry key is invalid."},
      {ERROR_CANTOPEN, "The configuration registry key could not be opened."},
      {ERROR_CANTREAD, "The configuration registry key could not be read."},
      {ERROR_CANTWRITE, "The configuration registry key could not be written."},
      {ERROR_REGISTRY_RECOVERED,
       "One of the files in the registry database had to be recovered by use of a log or alternate copy. The "
       "recovery was successful."},
      {ERROR_REGISTRY_CORRUPT,
       "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or the "
       "system's memory image of the file is corrupted, or the file could not be recovered because the alternate "
       "copy or log was absent or corrupted."},
      {ERROR_REGISTRY_IO_FAILED,
       "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write "
       "out, or flush, one of the files that contain the system's image of the registry."},
      {ERROR_NOT_REGISTRY_FILE,
       "The system has attempted to load or restore a file into the registry, but the specified file is not in a "
       "registry file format."},
      {ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion."},
      {ERROR_KEY_HAS_CHILDREN,
       "Cannot create a symbolic link in a registry key that already has subkeys or values."},
      {ERROR_CHILD_MUST_BE_VOLATILE, "Cannot create a stable subkey under a volatile parent key."},
      {ERROR_NO_UNICODE_TRANSLATION,
       "No mapping for the Unicode character exists in the target multi-byte code page."},
      {ERROR_DLL_INIT_FAILED, "A dynamic link library (DLL) initialization routine failed."},
      {ERROR_DLL_NOT_FOUND, "One of the library files needed to run this application cannot be found."},
      {ERROR_CANCELLED, "The operation was canceled by the user."},
      {ERROR_NOT_AUTHENTICATED,
       "The operation being requested was not performed because the user has not been authenticated."},
      {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client."},
      {ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."},
      {ERROR_INVALID_SECURITY_DESCR, "The security descriptor structure is invalid."},
      {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
  };
  auto it = texts.find(code);
  if (it == texts.end()) return std::nullopt;
  return std::string(it->second);
}

}  // namespace talmoor::platform

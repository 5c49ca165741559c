#pragma once
// The Win32 registry calls, in their Windows shapes, over the process's
// registry service. The ANSI code page is UTF-8: the ...A calls convert names
// and string data between UTF-8 and the UTF-16 that is stored; the ...W calls
// pass UTF-16 through.

#include <string_view>

#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "platform/win32_types.h"

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegOpenKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, PHKEY phkResult);

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition);
LONG RegCreateKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD Reserved, const WCHAR* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition);
LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, PHKEY phkResult);

LONG RegCloseKey(HKEY hKey);

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, WCHAR* lpName, DWORD* lpcchName, DWORD* lpReserved, WCHAR* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName);

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, WCHAR* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime);
LONG RegQueryInfoKeyW(HKEY hKey, WCHAR* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime);

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);
LONG RegQueryValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegSetValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey);
LONG RegDeleteKeyW(HKEY hKey, const WCHAR* lpSubKey);
LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);
LONG RegDeleteValueW(HKEY hKey, const WCHAR* lpValueName);

LONG RegFlushKey(HKEY hKey);

LONG RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation, void* pSecurityDescriptor,
                       DWORD* lpcbSecurityDescriptor);
LONG RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation, const void* pSecurityDescriptor);

LONG RegLoadKeyA(HKEY hKey, const char* lpSubKey, const char* lpFile);
LONG RegUnLoadKeyA(HKEY hKey, const char* lpSubKey);
LONG RegSaveKeyA(HKEY hKey, const char* lpFile, const SECURITY_ATTRIBUTES* lpSecurityAttributes);

LONG RegConnectRegistryA(const char* lpMachineName, HKEY hKey, PHKEY phkResult);

// Counted-name forms of the ANSI calls. A registry name is counted, as the
// native calls take it, and may hold a NUL character (a hive file can carry
// one); a terminated name would be cut there and name another key or value.
// The access layer passes every name through these; results and buffer rules
// are those of the calls they stand beside.
LONG RegOpenKeyExCountedA(HKEY hKey, std::string_view subKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExCountedA(HKEY hKey, std::string_view subKey, const char* lpClass, DWORD dwOptions,
                            REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                            DWORD* lpdwDisposition);
LONG RegDeleteKeyCountedA(HKEY hKey, std::string_view subKey);
// RegRenameKey with counted ANSI names: the key at subKey (empty: hKey
// itself) gets the new name.
LONG RegRenameKeyCountedA(HKEY hKey, std::string_view subKey, std::string_view newName);
// Whether the key with everything below it can be deleted to the end (none of
// it a root, a hive's root or mount point, or read-only): ERROR_SUCCESS, or
// the code the deletion would stop with, its reason in the error detail.
// Asked before a deletion starts, so that a refused one deletes nothing.
LONG RegCheckDeleteTreeCountedA(HKEY hKey, std::string_view subKey);
LONG RegQueryValueExCountedA(HKEY hKey, std::string_view valueName, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegSetValueExCountedA(HKEY hKey, std::string_view valueName, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueCountedA(HKEY hKey, std::string_view valueName);

// The native read, around every filter on the documented calls.
struct UNICODE_STRING {
  WORD Length;         // bytes, without a terminator
  WORD MaximumLength;  // bytes
  const WCHAR* Buffer;
};

enum KEY_VALUE_INFORMATION_CLASS {
  KeyValueBasicInformation = 0,
  KeyValueFullInformation = 1,
  KeyValuePartialInformation = 2,
};

struct KEY_VALUE_BASIC_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG NameLength;
  WCHAR Name[1];
};

struct KEY_VALUE_FULL_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG DataOffset;
  ULONG DataLength;
  ULONG NameLength;
  WCHAR Name[1];
};

struct KEY_VALUE_PARTIAL_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG DataLength;
  BYTE Data[1];
};

enum KEY_INFORMATION_CLASS {
  KeyBasicInformation = 0,
};

struct KEY_BASIC_INFORMATION {
  long long LastWriteTime;
  ULONG TitleIndex;
  ULONG NameLength;  // bytes
  WCHAR Name[1];
};

// The key's own name as stored, with its case, and its last write time.
NTSTATUS NtQueryKey(HKEY KeyHandle, KEY_INFORMATION_CLASS KeyInformationClass, void* KeyInformation, ULONG Length,
                    ULONG* ResultLength);

NTSTATUS NtQueryValueKey(HKEY KeyHandle, const UNICODE_STRING* ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass, void* KeyValueInformation,
                         ULONG Length, ULONG* ResultLength);
NTSTATUS ZwQueryValueKey(HKEY KeyHandle, const UNICODE_STRING* ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass, void* KeyValueInformation,
                         ULONG Length, ULONG* ResultLength);

// NT status to Win32 error code.
ULONG RtlNtStatusToDosError(NTSTATUS status);
ULONG LsaNtStatusToWinError(NTSTATUS status);

// The Win32-shaped registry calls: argument checks, the ANSI conversions and
// the buffer contracts, over the registry service's operations.

#include "platform/registry/win32_registry.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/registry/key_contents.h"
#include "platform/registry/registry_host.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"

using talmoor::platform::ansiToWide;
using talmoor::platform::KeyInformation;
using talmoor::platform::SubkeyEntry;
using talmoor::platform::ValueEntry;
using talmoor::platform::wideToAnsi;

namespace {

// Held for the length of one call, so that a registry replaced meanwhile
// stays alive until the call returns.
std::shared_ptr<talmoor::platform::RegistryHost> host() { return talmoor::platform::callingThreadRegistry(); }

std::u16string wideName(const char* name) { return name ? ansiToWide(name) : std::u16string(); }
std::u16string wideName(const WCHAR* name) { return name ? std::u16string(name) : std::u16string(); }

// String data as the ANSI calls deliver it: the stored UTF-16 converted code
// unit for code unit (an odd trailing byte cannot be converted and is dropped),
// terminators included exactly as stored.
std::vector<BYTE> toAnsiData(const ValueEntry& value) {
  if (!isStringType(value.type)) return value.data;
  std::string text = wideToAnsi(talmoor::platform::utf16FromBytes(value.data));
  return std::vector<BYTE>(text.begin(), text.end());
}

// Copies a name with its terminator when it fits the count (in characters,
// terminator included); the count then holds the length without it.
template <typename Char>
bool copyName(const std::basic_string<Char>& name, Char* buffer, DWORD* count) {
  if (name.size() + 1 > *count) return false;
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = Char{};
  *count = static_cast<DWORD>(name.size());
  return true;
}

template <typename Char>
std::basic_string<Char> convertName(const std::u16string& name);
template <>
std::string convertName<char>(const std::u16string& name) {
  return wideToAnsi(name);
}
template <>
std::u16string convertName<WCHAR>(const std::u16string& name) {
  return name;
}

LONG openKeyEx(HKEY hKey, std::u16string_view subKey, DWORD options, REGSAM sam, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  return host()->openKey(hKey, subKey, options, sam, *result);
}

template <typename Char>
LONG createKeyEx(HKEY hKey, std::u16string_view subKey, const Char* className, DWORD options, REGSAM sam,
                 const SECURITY_ATTRIBUTES* security, PHKEY result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  std::u16string cls = wideName(className);
  return host()->createKey(hKey, subKey, className ? &cls : nullptr, options, sam, security, *result, disposition);
}

template <typename Char>
LONG enumKeyEx(HKEY hKey, DWORD index, Char* name, DWORD* nameCount, DWORD* reserved, Char* className,
               DWORD* classCount, FILETIME* lastWrite) {
  if (reserved || !name || !nameCount || (className && !classCount)) return ERROR_INVALID_PARAMETER;
  SubkeyEntry entry;
  if (LONG rc = host()->enumKey(hKey, index, entry); rc != ERROR_SUCCESS) return rc;
  auto keyName = convertName<Char>(entry.name);
  auto keyClass = convertName<Char>(entry.className.value_or(u""));
  if (keyName.size() + 1 > *nameCount || (className && keyClass.size() + 1 > *classCount)) return ERROR_MORE_DATA;
  copyName(keyName, name, nameCount);
  if (className) copyName(keyClass, className, classCount);
  if (lastWrite) *lastWrite = u64ToFiletime(entry.lastWrite);
  return ERROR_SUCCESS;
}

// Delivers data by the buffer rules shared by the value reads: a null buffer
// asks for the size; a short one gets ERROR_MORE_DATA and the size needed.
LONG deliverData(const std::vector<BYTE>& data, BYTE* buffer, DWORD* count, bool nameFits) {
  LONG rc = nameFits ? ERROR_SUCCESS : ERROR_MORE_DATA;
  if (!count) return rc;
  if (buffer && data.size() > *count) rc = ERROR_MORE_DATA;
  else if (buffer && rc == ERROR_SUCCESS && !data.empty()) std::memcpy(buffer, data.data(), data.size());
  *count = static_cast<DWORD>(data.size());
  return rc;
}

template <typename Char>
LONG enumValue(HKEY hKey, DWORD index, Char* name, DWORD* nameCount, DWORD* reserved, DWORD* type, BYTE* data,
               DWORD* dataCount) {
  if (reserved || !name || !nameCount || (data && !dataCount)) return ERROR_INVALID_PARAMETER;
  ValueEntry value;
  if (LONG rc = host()->enumValue(hKey, index, value); rc != ERROR_SUCCESS) return rc;
  auto valueName = convertName<Char>(value.name);
  bool nameFits = valueName.size() + 1 <= *nameCount;
  if (type) *type = value.type;
  LONG rc = deliverData(std::is_same_v<Char, char> ? toAnsiData(value) : value.data, data, dataCount, nameFits);
  if (rc == ERROR_SUCCESS) copyName(valueName, name, nameCount);
  return rc;
}

template <typename Char>
LONG queryValueEx(HKEY hKey, std::u16string_view name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataCount) {
  if (reserved || (data && !dataCount)) return ERROR_INVALID_PARAMETER;
  ValueEntry value;
  if (LONG rc = host()->queryValue(hKey, name, value); rc != ERROR_SUCCESS) return rc;
  if (type) *type = value.type;
  return deliverData(std::is_same_v<Char, char> ? toAnsiData(value) : value.data, data, dataCount, true);
}

// String data given to the ANSI calls is converted to the UTF-16 that is stored.
LONG setValueAnsi(HKEY hKey, std::u16string_view name, DWORD type, const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  std::vector<BYTE> data;
  if (isStringType(type)) {
    data = talmoor::platform::bytesFromUtf16(
        ansiToWide(std::string_view(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)));
  } else if (lpData) {
    data.assign(lpData, lpData + cbData);
  }
  return host()->setValue(hKey, name, type, std::move(data));
}

template <typename Char>
LONG queryInfoKey(HKEY hKey, Char* className, DWORD* classCount, DWORD* reserved, DWORD* subKeys,
                  DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen,
                  DWORD* maxValueLen, DWORD* securitySize, FILETIME* lastWrite) {
  if (reserved || (className && !classCount)) return ERROR_INVALID_PARAMETER;
  KeyInformation info;
  unsigned parts = 0;
  if (maxSubKeyLen || maxClassLen) parts |= talmoor::platform::kInfoSubkeyLengths;
  if (values) parts |= talmoor::platform::kInfoValues;
  if (maxValueNameLen || maxValueLen) parts |= talmoor::platform::kInfoValueLengths;
  if (LONG rc = host()->queryInfo(hKey, info, parts); rc != ERROR_SUCCESS) return rc;
  constexpr bool ansi = std::is_same_v<Char, char>;
  if (subKeys) *subKeys = info.subkeyCount;
  if (maxSubKeyLen) *maxSubKeyLen = ansi ? info.maxSubkeyNameAnsi : info.maxSubkeyName;
  if (maxClassLen) *maxClassLen = ansi ? info.maxClassAnsi : info.maxClass;
  if (values) *values = info.valueCount;
  if (maxValueNameLen) *maxValueNameLen = ansi ? info.maxValueNameAnsi : info.maxValueName;
  if (maxValueLen) *maxValueLen = ansi ? info.maxValueDataAnsi : info.maxValueData;
  if (securitySize) *securitySize = info.securitySize;
  if (lastWrite) *lastWrite = u64ToFiletime(info.lastWrite);
  if (classCount) {
    auto keyClass = convertName<Char>(info.className.value_or(u""));
    if (!className) {
      *classCount = static_cast<DWORD>(keyClass.size());
    } else if (!copyName(keyClass, className, classCount)) {
      *classCount = static_cast<DWORD>(keyClass.size());
      return ERROR_MORE_DATA;
    }
  }
  return ERROR_SUCCESS;
}

bool isAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

// Converts into buffers kept from one value to the next. ASCII text (nearly
// all of it) is narrowed unit for unit, which is what the conversion gives
// for it; anything else takes the conversion itself.
class AnsiContents final : public talmoor::platform::KeyContentsSink {
 public:
  explicit AnsiContents(KeyContentsVisitorA& visitor) : visitor_(visitor) {}

  void value(std::u16string_view name, DWORD type, std::span<const BYTE> data) override {
    std::string_view ansiName = narrowName(name);
    if (!isStringType(type)) {
      visitor_.value(ansiName, type, data);
      return;
    }
    const std::size_t units = data.size() / 2;  // an odd trailing byte is dropped, as toAnsiData drops it
    bool ascii = true;
    for (std::size_t i = 0; i < units && ascii; ++i) ascii = data[2 * i] < 0x80 && data[2 * i + 1] == 0;
    if (ascii) {
      data_.resize(units);
      for (std::size_t i = 0; i < units; ++i) data_[i] = data[2 * i];
    } else {
      std::string text = wideToAnsi(talmoor::platform::utf16FromBytes(data));
      data_.assign(text.begin(), text.end());
    }
    visitor_.value(ansiName, type, data_);
  }

  void subkey(std::u16string_view name) override { visitor_.subkey(narrowName(name)); }

 private:
  std::string_view narrowName(std::u16string_view name) {
    if (isAscii(name)) {
      name_.resize(name.size());
      std::transform(name.begin(), name.end(), name_.begin(), [](char16_t c) { return static_cast<char>(c); });
    } else {
      name_ = wideToAnsi(name);
    }
    return name_;
  }

  KeyContentsVisitorA& visitor_;
  std::string name_;
  std::vector<BYTE> data_;
};

}  // namespace

LONG RegReadKeyContentsA(HKEY hKey, KeyContentsVisitorA& visitor) {
  AnsiContents sink(visitor);
  return host()->readContents(hKey, sink);
}

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return openKeyEx(hKey, wideName(lpSubKey), ulOptions, samDesired, phkResult);
}

LONG RegOpenKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return openKeyEx(hKey, wideName(lpSubKey), ulOptions, samDesired, phkResult);
}

LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  // As on Windows: no subkey hands back the handle given.
  if (!lpSubKey || !*lpSubKey) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, const char* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return createKeyEx(hKey, wideName(lpSubKey), lpClass, dwOptions, samDesired, lpSecurityAttributes, phkResult,
                     lpdwDisposition);
}

LONG RegCreateKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD, const WCHAR* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return createKeyEx(hKey, wideName(lpSubKey), lpClass, dwOptions, samDesired, lpSecurityAttributes, phkResult,
                     lpdwDisposition);
}

LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
  return RegCreateKeyExA(hKey, lpSubKey ? lpSubKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                         nullptr, phkResult, nullptr);
}

LONG RegCloseKey(HKEY hKey) { return host()->closeKey(hKey); }

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  return enumKeyEx(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, WCHAR* lpName, DWORD* lpcchName, DWORD* lpReserved, WCHAR* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  return enumKeyEx(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
  return RegEnumKeyExA(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  return enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, WCHAR* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  return enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
  return queryInfoKey(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                      lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegQueryInfoKeyW(HKEY hKey, WCHAR* lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
  return queryInfoKey(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                      lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
  return queryValueEx<char>(hKey, wideName(lpValueName), lpReserved, lpType, lpData, lpcbData);
}

LONG RegQueryValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
  return queryValueEx<WCHAR>(hKey, wideName(lpValueName), lpReserved, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return setValueAnsi(hKey, wideName(lpValueName), dwType, lpData, cbData);
}

LONG RegSetValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  std::vector<BYTE> data;
  if (lpData) data.assign(lpData, lpData + cbData);
  return host()->setValue(hKey, wideName(lpValueName), dwType, std::move(data));
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return host()->deleteKey(hKey, wideName(lpSubKey));
}

LONG RegDeleteKeyW(HKEY hKey, const WCHAR* lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return host()->deleteKey(hKey, wideName(lpSubKey));
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  return host()->deleteValue(hKey, wideName(lpValueName));
}

LONG RegDeleteValueW(HKEY hKey, const WCHAR* lpValueName) {
  return host()->deleteValue(hKey, wideName(lpValueName));
}

LONG RegFlushKey(HKEY hKey) { return host()->flushKey(hKey); }

LONG RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation, void* pSecurityDescriptor,
                       DWORD* lpcbSecurityDescriptor) {
  if (!lpcbSecurityDescriptor) return ERROR_NOACCESS;
  std::vector<BYTE> descriptor;
  if (LONG rc = host()->getSecurity(hKey, SecurityInformation, descriptor); rc != ERROR_SUCCESS)
    return rc;
  if (!pSecurityDescriptor || descriptor.size() > *lpcbSecurityDescriptor) {
    *lpcbSecurityDescriptor = static_cast<DWORD>(descriptor.size());
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(pSecurityDescriptor, descriptor.data(), descriptor.size());
  *lpcbSecurityDescriptor = static_cast<DWORD>(descriptor.size());
  return ERROR_SUCCESS;
}

LONG RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation, const void* pSecurityDescriptor) {
  auto descriptor = talmoor::platform::copySelfRelativeDescriptor(pSecurityDescriptor);
  if (!descriptor) return ERROR_INVALID_PARAMETER;
  return host()->setSecurity(hKey, SecurityInformation, *descriptor);
}

LONG RegLoadKeyA(HKEY hKey, const char* lpSubKey, const char* lpFile) {
  if (!lpSubKey || !lpFile) return ERROR_INVALID_PARAMETER;
  return host()->loadKey(hKey, wideName(lpSubKey), lpFile);
}

LONG RegUnLoadKeyA(HKEY hKey, const char* lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return host()->unloadKey(hKey, wideName(lpSubKey));
}

LONG RegSaveKeyA(HKEY hKey, const char* lpFile, const SECURITY_ATTRIBUTES*) {
  if (!lpFile) return ERROR_INVALID_PARAMETER;
  return host()->saveKey(hKey, lpFile);
}

LONG RegConnectRegistryA(const char* lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  return host()->connect(lpMachineName ? lpMachineName : "", hKey, *phkResult);
}

LONG RegOpenKeyExCountedA(HKEY hKey, std::string_view subKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return openKeyEx(hKey, ansiToWide(subKey), ulOptions, samDesired, phkResult);
}

LONG RegCreateKeyExCountedA(HKEY hKey, std::string_view subKey, const char* lpClass, DWORD dwOptions,
                            REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                            DWORD* lpdwDisposition) {
  return createKeyEx(hKey, ansiToWide(subKey), lpClass, dwOptions, samDesired, lpSecurityAttributes, phkResult,
                     lpdwDisposition);
}

LONG RegDeleteKeyCountedA(HKEY hKey, std::string_view subKey) { return host()->deleteKey(hKey, ansiToWide(subKey)); }

LONG RegRenameKeyCountedA(HKEY hKey, std::string_view subKey, std::string_view newName) {
  return host()->renameKey(hKey, ansiToWide(subKey), ansiToWide(newName));
}

LONG RegCheckDeleteTreeCountedA(HKEY hKey, std::string_view subKey) {
  return host()->checkDeleteTree(hKey, ansiToWide(subKey));
}

LONG RegQueryValueExCountedA(HKEY hKey, std::string_view valueName, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  return queryValueEx<char>(hKey, ansiToWide(valueName), nullptr, lpType, lpData, lpcbData);
}

LONG RegSetValueExCountedA(HKEY hKey, std::string_view valueName, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  return setValueAnsi(hKey, ansiToWide(valueName), dwType, lpData, cbData);
}

LONG RegDeleteValueCountedA(HKEY hKey, std::string_view valueName) {
  return host()->deleteValue(hKey, ansiToWide(valueName));
}

// The native value read: the stored bytes as the kernel holds them, around
// the filters that hooks install on the documented calls.

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/registry/registry_host.h"
#include "platform/registry/win32_registry.h"

namespace {

NTSTATUS statusFromError(LONG code) {
  switch (code) {
    case ERROR_SUCCESS: return STATUS_SUCCESS;
    case ERROR_FILE_NOT_FOUND: return STATUS_OBJECT_NAME_NOT_FOUND;
    case ERROR_INVALID_HANDLE: return STATUS_INVALID_HANDLE;
    case ERROR_KEY_DELETED: return STATUS_KEY_DELETED;
    case ERROR_ACCESS_DENIED: return STATUS_ACCESS_DENIED;
    default: return STATUS_INVALID_PARAMETER;
  }
}

void putU32(BYTE* at, ULONG value) { std::memcpy(at, &value, sizeof value); }

std::size_t alignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

}  // namespace

NTSTATUS NtQueryValueKey(HKEY KeyHandle, const UNICODE_STRING* ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass, void* KeyValueInformation,
                         ULONG Length, ULONG* ResultLength) {
  if (!ValueName || !ResultLength || (ValueName->Length && !ValueName->Buffer)) return STATUS_INVALID_PARAMETER;
  std::u16string name(ValueName->Buffer ? ValueName->Buffer : u"", ValueName->Length / 2);
  talmoor::platform::ValueEntry value;
  LONG rc = talmoor::platform::callingThreadRegistry()->queryValueNative(KeyHandle, name, value);
  if (rc != ERROR_SUCCESS) return statusFromError(rc);

  const ULONG nameBytes = static_cast<ULONG>(value.name.size() * 2);
  const ULONG dataBytes = static_cast<ULONG>(value.data.size());
  std::size_t header = 0;
  std::size_t total = 0;
  std::size_t dataOffset = 0;
  switch (KeyValueInformationClass) {
    case KeyValueBasicInformation:
      header = offsetof(KEY_VALUE_BASIC_INFORMATION, Name);
      total = header + nameBytes;
      break;
    case KeyValueFullInformation:
      header = offsetof(KEY_VALUE_FULL_INFORMATION, Name);
      dataOffset = alignUp(header + nameBytes, 4);
      total = dataOffset + dataBytes;
      break;
    case KeyValuePartialInformation:
      header = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
      dataOffset = header;
      total = header + dataBytes;
      break;
    default: return STATUS_INVALID_PARAMETER;
  }
  *ResultLength = static_cast<ULONG>(total);
  if (Length < header || !KeyValueInformation) return STATUS_BUFFER_TOO_SMALL;

  // The fixed part always fits from here on; the rest only when all of it does.
  std::vector<BYTE> record(total, 0);
  BYTE* out = record.data();
  putU32(out, 0);
  putU32(out + 4, value.type);
  switch (KeyValueInformationClass) {
    case KeyValueBasicInformation:
      putU32(out + 8, nameBytes);
      std::memcpy(out + header, value.name.data(), nameBytes);
      break;
    case KeyValueFullInformation:
      putU32(out + 8, static_cast<ULONG>(dataOffset));
      putU32(out + 12, dataBytes);
      putU32(out + 16, nameBytes);
      std::memcpy(out + header, value.name.data(), nameBytes);
      if (dataBytes) std::memcpy(out + dataOffset, value.data.data(), dataBytes);
      break;
    default:
      putU32(out + 8, dataBytes);
      if (dataBytes) std::memcpy(out + dataOffset, value.data.data(), dataBytes);
      break;
  }
  if (Length < total) {
    std::memcpy(KeyValueInformation, record.data(), header);
    return STATUS_BUFFER_OVERFLOW;
  }
  std::memcpy(KeyValueInformation, record.data(), total);
  return STATUS_SUCCESS;
}

NTSTATUS NtQueryKey(HKEY KeyHandle, KEY_INFORMATION_CLASS KeyInformationClass, void* KeyInformation, ULONG Length,
                    ULONG* ResultLength) {
  if (!ResultLength || KeyInformationClass != KeyBasicInformation) return STATUS_INVALID_PARAMETER;
  std::u16string name;
  std::uint64_t lastWrite = 0;
  LONG rc = talmoor::platform::callingThreadRegistry()->keyBasics(KeyHandle, name, lastWrite);
  if (rc != ERROR_SUCCESS) return statusFromError(rc);
  const ULONG nameBytes = static_cast<ULONG>(name.size() * 2);
  const std::size_t header = offsetof(KEY_BASIC_INFORMATION, Name);
  *ResultLength = static_cast<ULONG>(header + nameBytes);
  if (!KeyInformation || Length < header) return STATUS_BUFFER_TOO_SMALL;
  std::vector<BYTE> record(header + nameBytes, 0);
  std::memcpy(record.data(), &lastWrite, sizeof lastWrite);
  putU32(record.data() + offsetof(KEY_BASIC_INFORMATION, NameLength), nameBytes);
  std::memcpy(record.data() + header, name.data(), nameBytes);
  const bool whole = Length >= record.size();
  std::memcpy(KeyInformation, record.data(), whole ? record.size() : header);
  return whole ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}

NTSTATUS ZwQueryValueKey(HKEY KeyHandle, const UNICODE_STRING* ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass, void* KeyValueInformation,
                         ULONG Length, ULONG* ResultLength) {
  return NtQueryValueKey(KeyHandle, ValueName, KeyValueInformationClass, KeyValueInformation, Length, ResultLength);
}

ULONG RtlNtStatusToDosError(NTSTATUS status) {
  switch (status) {
    case STATUS_SUCCESS: return ERROR_SUCCESS;
    case STATUS_BUFFER_OVERFLOW: return ERROR_MORE_DATA;
    case STATUS_NO_MORE_ENTRIES: return ERROR_NO_MORE_ITEMS;
    case STATUS_INVALID_HANDLE: return ERROR_INVALID_HANDLE;
    case STATUS_INVALID_PARAMETER: return ERROR_INVALID_PARAMETER;
    case STATUS_ACCESS_DENIED: return ERROR_ACCESS_DENIED;
    case STATUS_BUFFER_TOO_SMALL: return ERROR_INSUFFICIENT_BUFFER;
    case STATUS_OBJECT_NAME_NOT_FOUND: return ERROR_FILE_NOT_FOUND;
    case STATUS_KEY_DELETED: return ERROR_KEY_DELETED;
    default: return ERROR_MR_MID_NOT_FOUND;
  }
}

ULONG LsaNtStatusToWinError(NTSTATUS status) { return RtlNtStatusToDosError(status); }

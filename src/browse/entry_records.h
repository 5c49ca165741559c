#pragma once
// Registry entries in flat form, as they travel on the clipboard and in drag
// and drop: "Registry Key/Value" holds one entry record, "Registry Key/Value
// List" a 32-bit count and that many records back to back. A record is five
// 32-bit words of the entry's location (the structure size, the full path's
// length and the value name's length, both with their terminators, and two
// words passed through), the data length and type, then the full key path,
// the value name (none for a key) and the data. Records come from other
// programs too: every length is checked against the bytes there are.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::browse {

inline constexpr const char* kEntryFormat = "Registry Key/Value";
inline constexpr const char* kEntryListFormat = "Registry Key/Value List";
// The same formats under the MIME types Qt's clipboard and drag and drop carry.
inline constexpr const char* kEntryMimeType = "application/x-talmoor-registry-entry";
inline constexpr const char* kEntryListMimeType = "application/x-talmoor-registry-entry-list";

struct EntryRecord {
  std::string keyPath;                   // machine, root, key path and key name
  std::optional<std::string> valueName;  // none for a key; "" for the unnamed value
  DWORD type = 0;
  std::vector<BYTE> data;
  // The location words that travel unread: the structure size, the word that
  // starts as -1 and the one after it.
  std::uint32_t structureSize = kRecordStructureSize;
  std::uint32_t state = 0xFFFFFFFFu;
  std::uint32_t extra = 0;

  static constexpr std::uint32_t kRecordStructureSize = 20;
  bool isKey() const { return !valueName.has_value(); }
  bool operator==(const EntryRecord&) const = default;
};

std::vector<BYTE> encodeEntry(const EntryRecord& record);
std::vector<BYTE> encodeEntryList(std::span<const EntryRecord> records);

// Nothing, with the reason in `problem`, when the bytes are not one whole
// record (or list) of the layout above.
std::optional<EntryRecord> decodeEntry(std::span<const BYTE> bytes, std::string& problem);
std::optional<std::vector<EntryRecord>> decodeEntryList(std::span<const BYTE> bytes, std::string& problem);

}  // namespace talmoor::browse

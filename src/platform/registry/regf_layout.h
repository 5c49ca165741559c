#pragma once
// The binary hive format of Windows NT ("regf"): the fixed places of its
// records, shared by the reader and the writer. All numbers are little-endian.
//
// A file is a 4096-byte base block followed by hive bins ("hbin"), each a
// multiple of 4096 bytes, split into cells. A cell starts with its size as a
// signed 32-bit number (negative while in use) and is 8-byte aligned. Cells
// refer to each other by offsets counted from the end of the base block.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/registry/registry_constants.h"

namespace talmoor::platform::regf {

inline constexpr std::size_t kBaseBlockSize = 4096;
inline constexpr std::size_t kBinAlignment = 4096;
inline constexpr std::size_t kBinHeaderSize = 32;
inline constexpr std::size_t kCellAlignment = 8;
inline constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;

// Base block.
inline constexpr std::string_view kFileSignature = "regf";
inline constexpr std::size_t kSequence1 = 4;
inline constexpr std::size_t kSequence2 = 8;
inline constexpr std::size_t kTimestamp = 12;
inline constexpr std::size_t kMajorVersion = 20;
inline constexpr std::size_t kMinorVersion = 24;
inline constexpr std::size_t kFileType = 28;
inline constexpr std::size_t kFileFormat = 32;
inline constexpr std::size_t kRootCell = 36;
inline constexpr std::size_t kBinsSize = 40;
inline constexpr std::size_t kClustering = 44;
inline constexpr std::size_t kFileName = 48;
inline constexpr std::size_t kFileNameBytes = 64;
inline constexpr std::size_t kChecksum = 508;
inline constexpr std::uint32_t kFileTypePrimary = 0;
inline constexpr std::uint32_t kFileFormatMemory = 1;

// Hive bin header.
inline constexpr std::string_view kBinSignature = "hbin";
inline constexpr std::size_t kBinOffset = 4;
inline constexpr std::size_t kBinSize = 8;
inline constexpr std::size_t kBinTimestamp = 20;

// Key node ("nk"); offsets within the cell's data, after the size field.
inline constexpr std::size_t kNkFlags = 2;
inline constexpr std::size_t kNkLastWrite = 4;
inline constexpr std::size_t kNkParent = 16;
inline constexpr std::size_t kNkSubkeyCount = 20;
inline constexpr std::size_t kNkVolatileSubkeyCount = 24;
inline constexpr std::size_t kNkSubkeyList = 28;
inline constexpr std::size_t kNkVolatileSubkeyList = 32;
inline constexpr std::size_t kNkValueCount = 36;
inline constexpr std::size_t kNkValueList = 40;
inline constexpr std::size_t kNkSecurity = 44;
inline constexpr std::size_t kNkClass = 48;
inline constexpr std::size_t kNkMaxNameBytes = 52;
inline constexpr std::size_t kNkMaxClassBytes = 56;
inline constexpr std::size_t kNkMaxValueNameBytes = 60;
inline constexpr std::size_t kNkMaxValueDataBytes = 64;
inline constexpr std::size_t kNkNameLength = 72;
inline constexpr std::size_t kNkClassLength = 74;
inline constexpr std::size_t kNkName = 76;

inline constexpr std::uint16_t kKeyVolatile = 0x0001;
inline constexpr std::uint16_t kKeyHiveExit = 0x0002;
inline constexpr std::uint16_t kKeyHiveEntry = 0x0004;
inline constexpr std::uint16_t kKeyNoDelete = 0x0008;
inline constexpr std::uint16_t kKeySymLink = 0x0010;
inline constexpr std::uint16_t kKeyCompressedName = 0x0020;

// Value key ("vk").
inline constexpr std::size_t kVkNameLength = 2;
inline constexpr std::size_t kVkDataLength = 4;
inline constexpr std::size_t kVkData = 8;
inline constexpr std::size_t kVkType = 12;
inline constexpr std::size_t kVkFlags = 16;
inline constexpr std::size_t kVkName = 20;
inline constexpr std::uint16_t kValueCompressedName = 0x0001;
// Set in the data length when the data sits in the data offset field itself.
inline constexpr std::uint32_t kDataInline = 0x80000000u;
inline constexpr std::size_t kMaxInlineData = 4;

// Security cell ("sk"): a ring of all descriptors of the hive.
inline constexpr std::size_t kSkNext = 4;
inline constexpr std::size_t kSkPrevious = 8;
inline constexpr std::size_t kSkReferences = 12;
inline constexpr std::size_t kSkDescriptorLength = 16;
inline constexpr std::size_t kSkDescriptor = 20;

// Subkey lists: "lf" and "lh" hold (key, hash) pairs, "li" keys alone, "ri"
// other lists.
inline constexpr std::size_t kListCount = 2;
inline constexpr std::size_t kListEntries = 4;

// Big data ("db"), for values longer than one segment from version 1.4 on.
inline constexpr std::size_t kDbSegmentCount = 2;
inline constexpr std::size_t kDbSegmentList = 4;
inline constexpr std::size_t kBigDataSegment = 16344;
inline constexpr std::uint32_t kFirstBigDataMinor = 4;

// Limits that Windows keeps.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;
inline constexpr int kMaxTreeDepth = static_cast<int>(kMaxKeyDepth);

inline std::uint16_t load16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
inline std::uint32_t load32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
inline std::uint64_t load64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return load32(bytes, at) | static_cast<std::uint64_t>(load32(bytes, at + 4)) << 32;
}
inline void store16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t v) {
  bytes[at] = static_cast<std::uint8_t>(v);
  bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void store64(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t v) {
  store32(bytes, at, static_cast<std::uint32_t>(v));
  store32(bytes, at + 4, static_cast<std::uint32_t>(v >> 32));
}

// The base block checksum: the XOR of its first 127 double words, where 0
// and all ones are moved aside (to 1 and all ones less one) as Windows does.
std::uint32_t baseBlockChecksum(std::span<const std::uint8_t> baseBlock);
// The same without moving those two aside, which older writers stored.
std::uint32_t plainBaseBlockChecksum(std::span<const std::uint8_t> baseBlock);

// The hash an "lh" list keeps for a name: upper-cased code units folded with
// h = h * 37 + unit.
std::uint32_t nameHash(std::u16string_view name);

// True when every unit fits in one byte, so the name can be stored compressed.
bool fitsCompressed(std::u16string_view name);

}  // namespace talmoor::platform::regf

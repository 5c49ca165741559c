#include "platform/registry/regf_log.h"

#include <algorithm>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/registry/regf_layout.h"
#include "platform/win32_errors.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

using namespace regf;

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kFileTypeOldLog = 1;
constexpr std::uint32_t kFileTypeNewLog = 6;
constexpr std::string_view kDirtSignature = "DIRT";
constexpr std::string_view kEntrySignature = "HvLE";
// The seed Windows hashes log entries with.
constexpr std::uint64_t kEntryHashSeed = 0x82EF4D887A4E55C5ull;
// Entry header: signature, size, flags, sequence, bins size, page count,
// then the hash of what follows the header and the hash of the header's
// first 32 bytes.
constexpr std::size_t kEntrySize = 4;
constexpr std::size_t kEntrySequence = 12;
constexpr std::size_t kEntryBinsSize = 16;
constexpr std::size_t kEntryPageCount = 20;
constexpr std::size_t kEntryBodyHash = 24;
constexpr std::size_t kEntryHeaderHash = 32;
constexpr std::size_t kEntryHeader = 40;
constexpr std::size_t kPageReference = 8;

std::uint32_t rotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

bool signatureAt(Bytes bytes, std::size_t at, std::string_view signature) {
  return bytes.size() >= at + signature.size() &&
         std::equal(signature.begin(), signature.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

bool checksumHolds(Bytes baseBlock) {
  const std::uint32_t stored = load32(baseBlock, kChecksum);
  return stored == baseBlockChecksum(baseBlock) || stored == plainBaseBlockChecksum(baseBlock);
}

struct Page {
  std::uint32_t offset = 0;  // from the start of the bins
  Bytes bytes;
};

struct LogEntry {
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::vector<Page> pages;
  std::size_t log = 0;  // which of the logs
};

// A log's base block: the copy of the hive's that Windows keeps in its first
// sector, marked as a log's.
std::optional<std::string> refuseLogBaseBlock(Bytes log) {
  if (log.size() < kSector || !signatureAt(log, 0, kFileSignature)) return "it does not start like a log (\"regf\")";
  if (!checksumHolds(log.first(kSector))) return "its base block's checksum does not match its contents";
  std::uint32_t type = load32(log, kFileType);
  if (type != kFileTypeOldLog && type != kFileTypeNewLog) return fmt::format("its file type is {}, not a log's", type);
  if (load32(log, kSequence1) != load32(log, kSequence2))
    return "its own sequence numbers differ: it was not written to its end";
  return std::nullopt;
}

// The entries of a new-format log, as far as they are sound.
std::vector<LogEntry> readEntries(Bytes log, std::size_t index, const std::string& name,
                                  std::vector<std::string>& problems) {
  std::vector<LogEntry> entries;
  for (std::size_t at = kSector; signatureAt(log, at, kEntrySignature); ) {
    const std::uint32_t size = load32(log, at + kEntrySize);
    auto refuse = [&](std::string why) {
      problems.push_back(fmt::format("{}: the log entry at offset 0x{:x} {}; it and the entries after it are not applied",
                                     name, at, why));
    };
    if (size < kEntryHeader || size % kSector != 0 || size > log.size() - at) {
      refuse(fmt::format("gives a size of {} bytes that does not fit the log", size));
      break;
    }
    Bytes entry = log.subspan(at, size);
    if (marvin32(entry.first(kEntryHeaderHash), kEntryHashSeed) != load64(entry, kEntryHeaderHash)) {
      refuse("fails the hash of its header");
      break;
    }
    if (marvin32(entry.subspan(kEntryHeader), kEntryHashSeed) != load64(entry, kEntryBodyHash)) {
      refuse("fails the hash of its pages");
      break;
    }
    LogEntry read{load32(entry, kEntrySequence), load32(entry, kEntryBinsSize), {}, index};
    const std::uint32_t count = load32(entry, kEntryPageCount);
    std::size_t data = kEntryHeader + std::size_t{count} * kPageReference;
    bool sound = read.binsSize % kBinAlignment == 0 && data <= size;
    for (std::uint32_t i = 0; sound && i < count; ++i) {
      const std::uint32_t offset = load32(entry, kEntryHeader + i * kPageReference);
      const std::uint32_t length = load32(entry, kEntryHeader + i * kPageReference + 4);
      sound = length % kSector == 0 && length <= size - data && std::uint64_t{offset} + length <= read.binsSize;
      if (sound) read.pages.push_back(Page{offset, entry.subspan(data, length)});
      data += length;
    }
    if (!sound) {
      refuse(fmt::format("(sequence {}) names pages outside the hive's {} bytes of bins", read.sequence, read.binsSize));
      break;
    }
    entries.push_back(std::move(read));
    at += size;
  }
  return entries;
}

// The dirty pages of an old-format log, which apply only to the hive whose
// last write it recorded.
std::optional<LogEntry> readDirtyVector(Bytes log, std::size_t index, const std::string& name,
                                        std::uint64_t hiveTimestamp, std::vector<std::string>& problems) {
  if (load64(log, kTimestamp) != hiveTimestamp) {
    problems.push_back(fmt::format("{}: it records another write than the hive's last; not used", name));
    return std::nullopt;
  }
  if (!signatureAt(log, kSector, kDirtSignature)) {
    problems.push_back(fmt::format("{}: its dirty vector (\"DIRT\") is missing; not used", name));
    return std::nullopt;
  }
  LogEntry entry{load32(log, kSequence1), load32(log, kBinsSize), {}, index};
  const std::size_t bits = entry.binsSize / kSector;
  const std::size_t vectorEnd = kSector + kDirtSignature.size() + (bits + 7) / 8;
  std::size_t page = (vectorEnd + kSector - 1) / kSector * kSector;
  if (vectorEnd > log.size()) {
    problems.push_back(fmt::format("{}: its dirty vector runs past its end; not used", name));
    return std::nullopt;
  }
  const std::size_t bitmap = kSector + kDirtSignature.size();
  for (std::size_t bit = 0; bit < bits; ++bit) {
    if (!(log[bitmap + bit / 8] & (1u << (bit % 8)))) continue;
    if (page + kSector > log.size()) {
      problems.push_back(fmt::format("{}: its dirty pages end before its vector does; not used", name));
      return std::nullopt;
    }
    entry.pages.push_back(Page{static_cast<std::uint32_t>(bit * kSector), log.subspan(page, kSector)});
    page += kSector;
  }
  return entry;
}

void applyEntry(std::vector<std::uint8_t>& hive, const LogEntry& entry) {
  hive.resize(kBaseBlockSize + entry.binsSize, 0);
  for (const Page& page : entry.pages)
    std::copy(page.bytes.begin(), page.bytes.end(), hive.begin() + static_cast<std::ptrdiff_t>(kBaseBlockSize + page.offset));
}

// The base block of a recovered hive: the last entry's sequence in both
// places, the bins' size, a primary file's type and a right checksum.
void settleBaseBlock(std::vector<std::uint8_t>& hive, std::uint32_t sequence, std::uint32_t binsSize) {
  std::span<std::uint8_t> base(hive.data(), kBaseBlockSize);
  store32(base, kSequence1, sequence);
  store32(base, kSequence2, sequence);
  store32(base, kBinsSize, binsSize);
  store32(base, kFileType, kFileTypePrimary);
  store32(base, kChecksum, baseBlockChecksum(base));
}


}  // namespace

std::uint64_t marvin32(std::span<const std::uint8_t> data, std::uint64_t seed) {
  std::uint32_t p0 = static_cast<std::uint32_t>(seed);
  std::uint32_t p1 = static_cast<std::uint32_t>(seed >> 32);
  auto mix = [&] {
    p1 ^= p0;
    p0 = rotateLeft(p0, 20);
    p0 += p1;
    p1 = rotateLeft(p1, 9);
    p1 ^= p0;
    p0 = rotateLeft(p0, 27);
    p0 += p1;
    p1 = rotateLeft(p1, 19);
  };
  std::size_t at = 0;
  for (; data.size() - at >= 4; at += 4) {
    p0 += load32(data, at);
    mix();
  }
  // The last one to three bytes, then a closing 0x80.
  std::uint32_t last = 0x80;
  for (std::size_t i = data.size(); i > at; --i) last = (last << 8) | data[i - 1];
  p0 += last;
  mix();
  mix();
  return (std::uint64_t{p1} << 32) | p0;
}

bool regfNeedsRecovery(std::span<const std::uint8_t> hive) {
  if (hive.size() < kBaseBlockSize || !signatureAt(hive, 0, kFileSignature)) return false;
  return load32(hive, kSequence1) != load32(hive, kSequence2) || !checksumHolds(hive.first(kBaseBlockSize));
}

std::vector<std::filesystem::path> transactionLogsOf(const std::filesystem::path& hiveFile) {
  std::vector<std::filesystem::path> found;
  const std::filesystem::path folder = hiveFile.has_parent_path() ? hiveFile.parent_path() : ".";
  const std::string base = lowercaseAscii(hiveFile.filename().string());
  std::error_code ec;
  for (const char* suffix : {".log1", ".log2", ".log"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      if (lowercaseAscii(entry.path().filename().string()) == base + suffix && entry.is_regular_file(ec)) {
        found.push_back(entry.path());
        break;
      }
    }
  }
  return found;
}

LogRecovery recoverFromLogs(std::vector<std::uint8_t>& hive,
                            const std::vector<std::pair<std::filesystem::path, std::vector<std::uint8_t>>>& logs) {
  LogRecovery recovery;
  if (!regfNeedsRecovery(hive)) return recovery;
  const bool baseBlockSound = checksumHolds(Bytes(hive).first(kBaseBlockSize));
  // Without a sound base block its copy in the first bin says when it was written.
  const std::uint64_t timestamp = baseBlockSound || hive.size() < kBaseBlockSize + kBinTimestamp + 8
                                      ? load64(hive, kTimestamp)
                                      : load64(hive, kBaseBlockSize + kBinTimestamp);

  std::map<std::uint32_t, LogEntry> entries;  // new format, by sequence
  std::optional<LogEntry> oldFormat;
  std::optional<std::size_t> baseBlockSource;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const auto& [path, bytes] = logs[i];
    const std::string name = path.filename().string();
    if (auto refusal = refuseLogBaseBlock(bytes)) {
      recovery.problems.push_back(fmt::format("{}: {}; not used", name, *refusal));
      continue;
    }
    if (!baseBlockSource) baseBlockSource = i;
    if (load32(Bytes(bytes), kFileType) == kFileTypeNewLog) {
      for (auto& entry : readEntries(bytes, i, name, recovery.problems)) {
        const std::uint32_t sequence = entry.sequence;
        entries.insert_or_assign(sequence, std::move(entry));
      }
    } else if (!oldFormat) {
      oldFormat = readDirtyVector(bytes, i, name, timestamp, recovery.problems);
    }
  }

  // A base block that cannot be trusted is taken from a log's copy.
  if (!baseBlockSound && baseBlockSource) {
    const auto& copy = logs[*baseBlockSource].second;
    std::copy(copy.begin(), copy.begin() + kSector, hive.begin());
  }
  std::uint32_t sequence = load32(Bytes(hive), kSequence1);
  std::uint32_t binsSize = load32(Bytes(hive), kBinsSize);
  std::vector<std::size_t> used;
  auto note = [&](const LogEntry& entry) {
    applyEntry(hive, entry);
    recovery.pagesApplied += entry.pages.size();
    ++recovery.entriesApplied;
    sequence = entry.sequence;
    binsSize = entry.binsSize;
    if (std::find(used.begin(), used.end(), entry.log) == used.end()) used.push_back(entry.log);
  };
  if (!entries.empty()) {
    // Entries from the hive's own sequence number on, one after the other;
    // older ones were applied already.
    auto next = entries.lower_bound(sequence);
    for (std::uint32_t expected = next == entries.end() ? 0 : next->first;
         next != entries.end() && next->first == expected; ++next, ++expected)
      note(next->second);
    if (next != entries.end())
      recovery.problems.push_back(fmt::format("the log entries after sequence {} are missing; those from sequence {} on "
                                              "are not applied",
                                              sequence, next->first));
  } else if (oldFormat) {
    note(*oldFormat);
  }
  for (std::size_t index : used) recovery.logsUsed.push_back(logs[index].first);
  if (recovery.entriesApplied == 0 && baseBlockSound) return recovery;
  settleBaseBlock(hive, recovery.entriesApplied ? sequence : load32(Bytes(hive), kSequence1), binsSize);
  return recovery;
}

LogRecovery recoverFromLogFiles(const std::filesystem::path& hiveFile, std::vector<std::uint8_t>& hive) {
  std::vector<std::pair<std::filesystem::path, std::vector<std::uint8_t>>> logs;
  for (const auto& log : transactionLogsOf(hiveFile)) {
    std::string read;
    if (readWholeFile(log, read) == ERROR_SUCCESS) logs.emplace_back(log, std::vector<std::uint8_t>(read.begin(), read.end()));
  }
  clearErrorDetail();
  return recoverFromLogs(hive, logs);
}

LONG writeRecoveredHive(const std::filesystem::path& hiveFile, const std::filesystem::path& out, LogRecovery& recovery) {
  std::string read;
  if (LONG rc = readWholeFile(hiveFile, read); rc != ERROR_SUCCESS) return rc;
  if (!signatureAt(Bytes(reinterpret_cast<const std::uint8_t*>(read.data()), read.size()), 0, kFileSignature) ||
      read.size() < kBaseBlockSize) {
    setErrorDetail(fmt::format("{}: not a Windows hive file (\"regf\")", hiveFile.string()));
    return ERROR_BADDB;
  }
  std::vector<std::uint8_t> hive(read.begin(), read.end());
  read.clear();
  recovery = recoverFromLogFiles(hiveFile, hive);
  return replaceFileAtomically(out, std::string_view(reinterpret_cast<const char*>(hive.data()), hive.size()));
}

}  // namespace talmoor::platform

#pragma once
// Transaction logs of a binary hive. Windows writes what changed to a log
// beside the hive (".LOG1" and ".LOG2" in the format of Windows 8.1 on, a
// single ".LOG" before) and only then to the hive itself; a hive whose base
// block says the last write did not finish is recovered from them:
//   old format: a copy of the base block, a "DIRT" vector of the 512-byte
//     pages that changed, and those pages;
//   new format: log entries ("HvLE"), each with a sequence number, the pages
//     it changed and two Marvin32 hashes over itself.
// Recovery lays the changed pages over a copy of the hive's bytes, entry by
// entry in sequence order; an entry or log that fails its checks is reported
// and neither it nor anything after it is applied. The files are not changed.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

// Microsoft's Marvin32 hash of `data` with a 64-bit seed.
std::uint64_t marvin32(std::span<const std::uint8_t> data, std::uint64_t seed);

// Whether the base block says the hive was not closed cleanly: its sequence
// numbers differ or its checksum is wrong.
bool regfNeedsRecovery(std::span<const std::uint8_t> hive);

struct LogRecovery {
  // Pages laid over the hive (page references of the new format, 512-byte
  // pages of the old), and the log entries they came from.
  std::size_t pagesApplied = 0;
  std::size_t entriesApplied = 0;
  // The logs whose pages were used, in the order used.
  std::vector<std::filesystem::path> logsUsed;
  // One text for each log or entry that was refused, naming it and why.
  std::vector<std::string> problems;
  bool recovered() const { return pagesApplied > 0 || entriesApplied > 0; }
};

// The log files Windows keeps beside a hive file, matched in any case, that
// exist: NAME.LOG1, NAME.LOG2, then the old NAME.LOG.
std::vector<std::filesystem::path> transactionLogsOf(const std::filesystem::path& hiveFile);

// Recovers `hive` (a hive file's bytes, changed in place) from the logs'
// bytes, given in the order Windows uses them. The base block afterwards is
// a clean one (equal sequence numbers, right checksum, the bins' new size).
LogRecovery recoverFromLogs(std::vector<std::uint8_t>& hive,
                            const std::vector<std::pair<std::filesystem::path, std::vector<std::uint8_t>>>& logs);

// The same for the files: the hive with the logs found beside it.
LogRecovery recoverFromLogFiles(const std::filesystem::path& hiveFile, std::vector<std::uint8_t>& hive);

// Writes the hive file, recovered from its logs, as a new file `out` (the
// hive and its logs stay as they are). A Win32 code; the detail says why.
LONG writeRecoveredHive(const std::filesystem::path& hiveFile, const std::filesystem::path& out, LogRecovery& recovery);

}  // namespace talmoor::platform

#include "browse/entry_records.h"

#include <fmt/format.h>

#include <cstring>
#include <limits>

namespace talmoor::browse {

namespace {

constexpr std::size_t kHeaderWords = 7;
constexpr std::size_t kHeaderSize = kHeaderWords * sizeof(std::uint32_t);

void putWord(std::vector<BYTE>& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<BYTE>(word >> shift));
}

// A text with its terminator.
void putText(std::vector<BYTE>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

class Reader {
 public:
  explicit Reader(std::span<const BYTE> bytes) : bytes_(bytes) {}
  std::size_t left() const { return bytes_.size() - at_; }
  std::optional<std::uint32_t> word() {
    if (left() < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes_[at_ + i]) << (8 * i);
    at_ += 4;
    return value;
  }
  std::optional<std::span<const BYTE>> take(std::size_t count) {
    if (left() < count) return std::nullopt;
    auto piece = bytes_.subspan(at_, count);
    at_ += count;
    return piece;
  }

 private:
  std::span<const BYTE> bytes_;
  std::size_t at_ = 0;
};

// A text of `length` bytes that must end in its terminator and hold no other.
std::optional<std::string> readText(Reader& reader, std::uint32_t length, const char* what, std::string& problem) {
  auto bytes = reader.take(length);
  if (!bytes) {
    problem = fmt::format("the {} ({} bytes) runs past the end of the entry", what, length);
    return std::nullopt;
  }
  if (bytes->empty() || bytes->back() != 0) {
    problem = fmt::format("the {} does not end in its terminator", what);
    return std::nullopt;
  }
  std::string text(reinterpret_cast<const char*>(bytes->data()), bytes->size() - 1);
  if (text.find('\0') != std::string::npos) {
    problem = fmt::format("the {} holds a NUL before its end", what);
    return std::nullopt;
  }
  return text;
}

std::optional<EntryRecord> readRecord(Reader& reader, std::string& problem) {
  if (reader.left() < kHeaderSize) {
    problem = "the entry is shorter than its header";
    return std::nullopt;
  }
  EntryRecord record;
  record.structureSize = *reader.word();
  const std::uint32_t pathLength = *reader.word();
  const std::uint32_t nameLength = *reader.word();
  record.state = *reader.word();
  record.extra = *reader.word();
  const std::uint32_t dataLength = *reader.word();
  record.type = *reader.word();
  // Checked before anything is allocated: a length larger than what follows
  // is a damaged or hostile record.
  const std::uint64_t needed = std::uint64_t{pathLength} + nameLength + dataLength;
  if (needed > reader.left()) {
    problem = fmt::format("the entry claims {} bytes after its header, {} are there", needed, reader.left());
    return std::nullopt;
  }
  if (pathLength == 0) {
    problem = "the entry has no key path";
    return std::nullopt;
  }
  auto path = readText(reader, pathLength, "key path", problem);
  if (!path) return std::nullopt;
  record.keyPath = std::move(*path);
  if (nameLength > 0) {
    auto name = readText(reader, nameLength, "value name", problem);
    if (!name) return std::nullopt;
    record.valueName = std::move(*name);
  }
  auto data = reader.take(dataLength);
  record.data.assign(data->begin(), data->end());
  return record;
}

}  // namespace

std::vector<BYTE> encodeEntry(const EntryRecord& record) {
  std::vector<BYTE> out;
  out.reserve(kHeaderSize + record.keyPath.size() + 2 + record.data.size() +
              (record.valueName ? record.valueName->size() : 0));
  putWord(out, record.structureSize);
  putWord(out, static_cast<std::uint32_t>(record.keyPath.size() + 1));
  putWord(out, record.valueName ? static_cast<std::uint32_t>(record.valueName->size() + 1) : 0);
  putWord(out, record.state);
  putWord(out, record.extra);
  putWord(out, static_cast<std::uint32_t>(record.data.size()));
  putWord(out, record.type);
  putText(out, record.keyPath);
  if (record.valueName) putText(out, *record.valueName);
  out.insert(out.end(), record.data.begin(), record.data.end());
  return out;
}

std::vector<BYTE> encodeEntryList(std::span<const EntryRecord> records) {
  std::vector<BYTE> out;
  putWord(out, static_cast<std::uint32_t>(records.size()));
  for (const EntryRecord& record : records) {
    auto one = encodeEntry(record);
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}

std::optional<EntryRecord> decodeEntry(std::span<const BYTE> bytes, std::string& problem) {
  Reader reader(bytes);
  auto record = readRecord(reader, problem);
  if (record && reader.left() != 0) {
    problem = fmt::format("{} bytes follow the entry", reader.left());
    return std::nullopt;
  }
  return record;
}

std::optional<std::vector<EntryRecord>> decodeEntryList(std::span<const BYTE> bytes, std::string& problem) {
  Reader reader(bytes);
  auto count = reader.word();
  if (!count) {
    problem = "the list has no count";
    return std::nullopt;
  }
  // Each record takes at least its header and a terminated path.
  if (*count > reader.left() / (kHeaderSize + 1)) {
    problem = fmt::format("the list claims {} entries in {} bytes", *count, reader.left());
    return std::nullopt;
  }
  std::vector<EntryRecord> records;
  records.reserve(*count);
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto record = readRecord(reader, problem);
    if (!record) {
      problem = fmt::format("entry {}: {}", i + 1, problem);
      return std::nullopt;
    }
    records.push_back(std::move(*record));
  }
  if (reader.left() != 0) {
    problem = fmt::format("{} bytes follow the last entry", reader.left());
    return std::nullopt;
  }
  return records;
}

}  // namespace talmoor::browse

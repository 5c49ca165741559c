#include "platform/files/pe_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

namespace talmoor::platform {

namespace {

constexpr std::uint16_t kStringType = 6;             // RT_STRING
constexpr std::uint16_t kIconType = 3;               // RT_ICON
constexpr std::uint16_t kGroupIconType = 14;         // RT_GROUP_ICON
constexpr std::u16string_view kMuiType = u"MUI";     // the resource configuration's type, named
constexpr std::uint32_t kMuiSignature = 0xFECDFECDu;
// Where the fields of the resource configuration lie in its data.
constexpr std::size_t kMuiFileTypeAt = 16;
constexpr std::size_t kMuiServiceChecksumAt = 28;
constexpr std::size_t kMuiChecksumAt = 44;
constexpr std::size_t kMuiLanguageAt = 116;  // offset and size (in bytes) of the language name
constexpr std::size_t kMuiLanguageEnd = kMuiLanguageAt + 8;
constexpr std::size_t kMaxMuiConfiguration = 64u << 10;
constexpr std::size_t kMaxLanguageName = 85;  // LOCALE_NAME_MAX_LENGTH
constexpr std::size_t kIconDirectorySize = 6;        // reserved, type 1, count
constexpr std::size_t kGroupEntrySize = 14;          // GRPICONDIRENTRY
constexpr std::size_t kFileEntrySize = 16;           // ICONDIRENTRY
constexpr std::uint32_t kHighBit = 0x80000000u;      // name is a string / entry is a subdirectory
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
// A string block holds 16 strings of at most 0xFFFF units each, after their
// lengths; nothing past that can matter.
constexpr std::uint64_t kMaxStringBlock = 16 * (2 + 2 * 0xFFFFull);

std::uint16_t u16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t u32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Where the bytes of a module come from: a buffer, or an open file read in
// pieces so that a large module costs only the few structures looked at.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Fills `out` from `offset`; false when any of it lies outside the source.
  virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

  std::optional<std::vector<std::uint8_t>> bytesAt(std::uint64_t offset, std::uint64_t length) const {
    if (length > size() || offset > size() - length) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (!read(offset, bytes)) return std::nullopt;
    return bytes;
  }
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (out.size() > bytes_.size() || offset > bytes_.size() - out.size()) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path) {
    // Not blocking: a FIFO put where a module was expected must not hang the
    // open (it is refused below as not a regular file).
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    // Only regular files: a device or a pipe has no fixed size to check against.
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0)
      size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (fd_ < 0 || out.size() > size_ || offset > size_ - out.size()) return false;
    std::size_t done = 0;
    while (done < out.size()) {
      ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file shrank under us
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
};

// The parts of a PE image that the resource lookup needs.
class Image {
 public:
  static std::optional<Image> open(const ByteSource& source) {
    auto dos = source.bytesAt(0, 64);
    if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return std::nullopt;
    std::uint64_t peOffset = u32(*dos, 0x3C);

    auto coff = source.bytesAt(peOffset, 24);
    if (!coff || (*coff)[0] != 'P' || (*coff)[1] != 'E' || (*coff)[2] != 0 || (*coff)[3] != 0) return std::nullopt;
    std::uint16_t sectionCount = u16(*coff, 4 + 2);
    std::uint16_t optionalSize = u16(*coff, 4 + 16);

    auto optionalHeader = source.bytesAt(peOffset + 24, optionalSize);
    if (!optionalHeader || optionalSize < 2) return std::nullopt;
    std::size_t countAt = 0, directoriesAt = 0;
    switch (u16(*optionalHeader, 0)) {
      case kPe32Magic: countAt = 92, directoriesAt = 96; break;
      case kPe32PlusMagic: countAt = 108, directoriesAt = 112; break;
      default: return std::nullopt;
    }
    std::size_t resourceAt = directoriesAt + 8 * kResourceDirectoryIndex;
    if (optionalSize < resourceAt + 8 || u32(*optionalHeader, countAt) <= kResourceDirectoryIndex) return std::nullopt;

    Image image(source);
    image.headerSize_ = u32(*optionalHeader, 60);
    image.resourceRva_ = u32(*optionalHeader, resourceAt);
    if (image.resourceRva_ == 0) return std::nullopt;

    auto table = source.bytesAt(peOffset + 24 + optionalSize, std::uint64_t{sectionCount} * kSectionHeaderSize);
    if (!table) return std::nullopt;
    image.sections_.reserve(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
      std::size_t at = i * kSectionHeaderSize;
      image.sections_.push_back({u32(*table, at + 12), u32(*table, at + 8), u32(*table, at + 16), u32(*table, at + 20)});
    }
    return image;
  }

  // `length` bytes at `offset` from the start of the resource tree.
  std::optional<std::vector<std::uint8_t>> readResource(std::uint64_t offset, std::uint64_t length) const {
    std::uint64_t rva = std::uint64_t{resourceRva_} + offset;
    return rva > 0xFFFFFFFFull ? std::nullopt : readRva(static_cast<std::uint32_t>(rva), length);
  }

  // `length` bytes at a relative virtual address, when all of them are held
  // in the file (not in the zero-filled tail of a section).
  std::optional<std::vector<std::uint8_t>> readRva(std::uint32_t rva, std::uint64_t length) const {
    for (const auto& section : sections_) {
      std::uint64_t extent = std::max(section.virtualSize, section.rawSize);
      if (rva < section.virtualAddress || rva - section.virtualAddress >= extent) continue;
      std::uint64_t delta = rva - section.virtualAddress;
      if (length > section.rawSize || delta > section.rawSize - length) return std::nullopt;
      return source_->bytesAt(std::uint64_t{section.rawOffset} + delta, length);
    }
    // Addresses inside the headers are the same in the file.
    if (std::uint64_t{rva} + length <= headerSize_) return source_->bytesAt(rva, length);
    return std::nullopt;
  }

 private:
  explicit Image(const ByteSource& source) : source_(&source) {}

  const ByteSource* source_;
  std::vector<Section> sections_;
  std::uint32_t headerSize_ = 0;
  std::uint32_t resourceRva_ = 0;
};

struct DirectoryEntry {
  std::uint32_t name = 0;    // an id, or kHighBit | offset of a name
  std::uint32_t target = 0;  // kHighBit | offset of a subdirectory, or offset of a data entry
};

// The entries of the resource directory at `offset` in the resource tree.
std::optional<std::vector<DirectoryEntry>> readDirectory(const Image& image, std::uint32_t offset) {
  auto header = image.readResource(offset, 16);
  if (!header) return std::nullopt;
  std::uint64_t count = std::uint64_t{u16(*header, 12)} + u16(*header, 14);
  auto table = image.readResource(std::uint64_t{offset} + 16, count * 8);
  if (!table) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < count; ++i) entries.push_back({u32(*table, i * 8), u32(*table, i * 8 + 4)});
  return entries;
}

const DirectoryEntry* findId(const std::vector<DirectoryEntry>& entries, std::uint32_t id) {
  for (const auto& entry : entries)
    if (entry.name == id) return &entry;  // a named entry has the high bit set and never matches
  return nullptr;
}

// The subdirectory that entry `id` of the directory at `offset` leads to.
std::optional<std::uint32_t> subdirectory(const Image& image, std::uint32_t offset, std::uint32_t id) {
  auto entries = readDirectory(image, offset);
  if (!entries) return std::nullopt;
  const DirectoryEntry* entry = findId(*entries, id);
  if (!entry || !(entry->target & kHighBit)) return std::nullopt;
  return entry->target & ~kHighBit;
}

std::uint16_t primaryLanguage(std::uint16_t language) { return language & 0x3FF; }

// The data entry to use among the languages of one resource.
const DirectoryEntry* chooseLanguage(const std::vector<DirectoryEntry>& entries, std::uint16_t language) {
  std::vector<std::uint16_t> wanted;
  if (primaryLanguage(language) != 0) wanted = {language, primaryLanguage(language)};
  for (std::uint16_t fallback : {kUiLanguage, primaryLanguage(kUiLanguage), std::uint16_t{0x0000},
                                 std::uint16_t{0x0400}, std::uint16_t{0x0800}})
    wanted.push_back(fallback);
  for (std::uint16_t candidate : wanted)
    if (const DirectoryEntry* entry = findId(entries, candidate); entry && !(entry->target & kHighBit)) return entry;
  for (const auto& entry : entries)
    if (!(entry.name & kHighBit) && !(entry.target & kHighBit)) return &entry;
  return nullptr;
}

// Calls `take(index, text)` for each non-empty string of a block, in order,
// until `take` returns false or the block ends or breaks off.
template <typename Take>
void forEachString(std::span<const std::uint8_t> block, Take take) {
  std::size_t at = 0;
  for (unsigned index = 0; index < 16; ++index) {
    if (block.size() - at < 2) return;
    std::size_t length = u16(block, at);
    at += 2;
    if (block.size() - at < 2 * length) return;
    std::u16string text;
    text.reserve(length);
    for (std::size_t k = 0; k < length; ++k) {
      char16_t unit = u16(block, at + 2 * k);
      // Some resource compilers store the terminator too; the text ends there.
      if (unit == 0) break;
      text.push_back(unit);
    }
    at += 2 * length;
    if (!text.empty() && !take(index, std::move(text))) return;
  }
}

std::optional<std::u16string> stringFromBlock(std::span<const std::uint8_t> block, unsigned index) {
  std::optional<std::u16string> found;
  forEachString(block, [&](unsigned at, std::u16string text) {
    if (at == index) found = std::move(text);
    return at < index;
  });
  return found;
}

// How many more bytes a reading may take from a module: directories, data
// entries and blocks all count, so a hostile tree that points many entries at
// one huge directory costs no more than a table of that size.
class ReadBudget {
 public:
  explicit ReadBudget(std::uint64_t bytes) : left_(bytes) {}
  std::uint64_t left() const { return left_; }
  // False, and nothing left, when `bytes` is more than is left.
  bool spend(std::uint64_t bytes) {
    if (bytes > left_) {
      left_ = 0;
      return false;
    }
    left_ -= bytes;
    return true;
  }

 private:
  std::uint64_t left_;
};

std::optional<std::vector<DirectoryEntry>> readDirectory(const Image& image, std::uint32_t offset, ReadBudget& budget) {
  auto entries = readDirectory(image, offset);
  if (!entries || !budget.spend(16 + 8 * std::uint64_t{entries->size()})) return std::nullopt;
  return entries;
}

// The string block that a language directory of RT_STRING leads to.
std::optional<std::vector<std::uint8_t>> stringBlock(const Image& image, std::uint32_t languages,
                                                     std::uint16_t language, ReadBudget& budget) {
  auto entries = readDirectory(image, languages, budget);
  if (!entries) return std::nullopt;
  const DirectoryEntry* chosen = chooseLanguage(*entries, language);
  if (!chosen || !budget.spend(16)) return std::nullopt;
  auto data = image.readResource(chosen->target, 16);
  if (!data) return std::nullopt;
  std::uint64_t blockSize = std::min({std::uint64_t{u32(*data, 4)}, kMaxStringBlock, budget.left()});
  auto block = image.readRva(u32(*data, 0), blockSize);
  if (block) budget.spend(block->size());
  return block;
}

std::optional<std::u16string> loadString(const ByteSource& source, unsigned id, unsigned short language) {
  if (id > 0xFFFF) return std::nullopt;
  auto image = Image::open(source);
  if (!image) return std::nullopt;

  // Three levels: type, name (16 strings to a block), language.
  auto names = subdirectory(*image, 0, kStringType);
  if (!names) return std::nullopt;
  auto languages = subdirectory(*image, *names, id / 16 + 1);
  if (!languages) return std::nullopt;
  ReadBudget budget(kMaxStringTableBytes);
  auto block = stringBlock(*image, *languages, language, budget);
  if (!block) return std::nullopt;
  return stringFromBlock(*block, id % 16);
}

// The bytes a data entry of the resource tree describes, when they are all in
// the file and no more than `limit`.
std::optional<std::vector<std::uint8_t>> resourceData(const Image& image, const DirectoryEntry& entry,
                                                      std::uint64_t limit) {
  auto data = image.readResource(entry.target, 16);
  if (!data) return std::nullopt;
  std::uint32_t size = u32(*data, 4);
  if (size == 0 || size > limit) return std::nullopt;
  return image.readRva(u32(*data, 0), size);
}

// The data of resource `id` of `type`, in the language chosen for `language`.
std::optional<std::vector<std::uint8_t>> resourceById(const Image& image, std::uint32_t types, std::uint32_t id,
                                                      std::uint16_t language, std::uint64_t limit) {
  auto languages = subdirectory(image, types, id);
  if (!languages) return std::nullopt;
  auto entries = readDirectory(image, *languages);
  if (!entries) return std::nullopt;
  const DirectoryEntry* chosen = chooseLanguage(*entries, language);
  if (!chosen) return std::nullopt;
  return resourceData(image, *chosen, limit);
}

bool isIconDirectory(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= kIconDirectorySize && u16(bytes, 0) == 0 && u16(bytes, 2) == 1 && u16(bytes, 4) > 0;
}

// An .ico file: its directory and every image it lists lie inside it.
bool isIconFile(std::span<const std::uint8_t> bytes) {
  if (!isIconDirectory(bytes)) return false;
  std::size_t count = u16(bytes, 4);
  if (bytes.size() < kIconDirectorySize + count * kFileEntrySize) return false;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t at = kIconDirectorySize + i * kFileEntrySize;
    std::uint64_t size = u32(bytes, at + 8), offset = u32(bytes, at + 12);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) return false;
  }
  return true;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, static_cast<std::uint16_t>(value));
  put16(out, static_cast<std::uint16_t>(value >> 16));
}

std::optional<std::vector<std::uint8_t>> loadIcon(const ByteSource& source, int index) {
  if (index == 0 && source.size() >= kIconDirectorySize && source.size() <= kMaxIconBytes) {
    if (auto whole = source.bytesAt(0, source.size()); whole && isIconDirectory(*whole))
      return isIconFile(*whole) ? whole : std::nullopt;
  }
  auto image = Image::open(source);
  if (!image) return std::nullopt;
  constexpr std::uint16_t language = 0;

  auto groups = subdirectory(*image, 0, kGroupIconType);
  if (!groups) return std::nullopt;
  auto entries = readDirectory(*image, *groups);
  if (!entries) return std::nullopt;
  const DirectoryEntry* group = nullptr;
  if (index < 0) {
    // -index fits: INT_MIN is refused rather than negated.
    if (index == std::numeric_limits<int>::min() || -index > 0xFFFF) return std::nullopt;
    group = findId(*entries, static_cast<std::uint32_t>(-index));
  } else {
    std::size_t seen = 0;
    for (const auto& entry : *entries) {
      if (!(entry.target & kHighBit)) continue;  // a group is a directory of languages
      if (seen++ == static_cast<std::size_t>(index)) {
        group = &entry;
        break;
      }
    }
  }
  if (!group || !(group->target & kHighBit)) return std::nullopt;
  auto languages = readDirectory(*image, group->target & ~kHighBit);
  if (!languages) return std::nullopt;
  const DirectoryEntry* chosen = chooseLanguage(*languages, language);
  if (!chosen) return std::nullopt;
  auto directory = resourceData(*image, *chosen, kIconDirectorySize + 0xFFFF * kGroupEntrySize);
  if (!directory || !isIconDirectory(*directory)) return std::nullopt;
  std::size_t count = u16(*directory, 4);
  if (directory->size() < kIconDirectorySize + count * kGroupEntrySize) return std::nullopt;

  auto icons = subdirectory(*image, 0, kIconType);
  if (!icons) return std::nullopt;
  struct Picture {
    std::span<const std::uint8_t> entry;  // the first 12 bytes of the group's entry
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Picture> pictures;
  std::uint64_t total = kIconDirectorySize;
  for (std::size_t i = 0; i < count; ++i) {
    std::span<const std::uint8_t> entry(directory->data() + kIconDirectorySize + i * kGroupEntrySize, kGroupEntrySize);
    std::uint64_t room = kMaxIconBytes - std::min<std::uint64_t>(total + kFileEntrySize, kMaxIconBytes);
    auto bytes = resourceById(*image, *icons, u16(entry, 12), language, room);
    if (!bytes) continue;
    total += kFileEntrySize + bytes->size();
    pictures.push_back({entry.first(12), std::move(*bytes)});
  }
  if (pictures.empty()) return std::nullopt;

  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(total));
  put16(out, 0);
  put16(out, 1);
  put16(out, static_cast<std::uint16_t>(pictures.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(kIconDirectorySize + pictures.size() * kFileEntrySize);
  for (const auto& picture : pictures) {
    out.insert(out.end(), picture.entry.begin(), picture.entry.begin() + 8);
    // The size the group states may be wrong; the image's own size is what the file holds.
    put32(out, static_cast<std::uint32_t>(picture.bytes.size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(picture.bytes.size());
  }
  for (const auto& picture : pictures) out.insert(out.end(), picture.bytes.begin(), picture.bytes.end());
  return out;
}

// Every string of the image's table, block by block in the language chosen
// for `language`, until kMaxStringTableBytes have been read. Each block is
// read once, however often the tree lists it.
std::map<unsigned, std::u16string> stringTable(const Image& image, std::uint16_t language) {
  constexpr std::uint32_t kLastBlock = 0x1000;  // ids up to 0xFFFF, 16 to a block
  std::map<unsigned, std::u16string> strings;
  ReadBudget budget(kMaxStringTableBytes);
  auto names = subdirectory(image, 0, kStringType);
  if (!names) return strings;
  auto blocks = readDirectory(image, *names, budget);
  if (!blocks) return strings;
  std::vector<bool> seen(kLastBlock + 1);
  for (const auto& entry : *blocks) {
    // Block n holds ids 16(n-1) to 16n-1; a named or zero block holds none.
    if ((entry.name & kHighBit) || entry.name == 0 || entry.name > kLastBlock || !(entry.target & kHighBit) ||
        seen[entry.name])
      continue;
    seen[entry.name] = true;
    auto block = stringBlock(image, entry.target & ~kHighBit, language, budget);
    if (budget.left() == 0) break;
    if (!block) continue;
    const unsigned first = (entry.name - 1) * 16;
    forEachString(*block, [&](unsigned index, std::u16string text) {
      strings.emplace(first + index, std::move(text));
      return true;
    });
  }
  return strings;
}

bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

// The entry named `name` (a length-prefixed UTF-16 string in the tree).
const DirectoryEntry* findNamed(const Image& image, const std::vector<DirectoryEntry>& entries,
                                std::u16string_view name) {
  for (const auto& entry : entries) {
    if (!(entry.name & kHighBit)) continue;
    std::uint32_t at = entry.name & ~kHighBit;
    auto length = image.readResource(at, 2);
    if (!length || u16(*length, 0) != name.size()) continue;
    auto units = image.readResource(std::uint64_t{at} + 2, 2 * name.size());
    if (!units) continue;
    std::u16string text;
    for (std::size_t i = 0; i < name.size(); ++i) text.push_back(u16(*units, 2 * i));
    if (sameNameIgnoringCase(text, name)) return &entry;
  }
  return nullptr;
}

std::u16string languageName(std::span<const std::uint8_t> data) {
  std::uint64_t offset = u32(data, kMuiLanguageAt), size = u32(data, kMuiLanguageAt + 4);
  std::u16string name;
  if (offset > data.size() || size > data.size() - offset) return name;
  for (std::uint64_t at = offset; at + 1 < offset + size && name.size() < kMaxLanguageName; at += 2) {
    char16_t unit = u16(data, static_cast<std::size_t>(at));
    if (unit == 0) break;
    name.push_back(unit);
  }
  return name;
}

std::optional<MuiConfiguration> muiConfiguration(const Image& image) {
  auto types = readDirectory(image, 0);
  if (!types) return std::nullopt;
  const DirectoryEntry* type = findNamed(image, *types, kMuiType);
  if (!type || !(type->target & kHighBit)) return std::nullopt;
  auto ids = readDirectory(image, type->target & ~kHighBit);
  if (!ids) return std::nullopt;
  const DirectoryEntry* id = findId(*ids, 1);
  if (!id && !ids->empty()) id = &ids->front();
  if (!id || !(id->target & kHighBit)) return std::nullopt;
  auto languages = readDirectory(image, id->target & ~kHighBit);
  if (!languages) return std::nullopt;
  const DirectoryEntry* chosen = chooseLanguage(*languages, 0);
  if (!chosen) return std::nullopt;
  auto data = resourceData(image, *chosen, kMaxMuiConfiguration);
  if (!data || data->size() < kMuiChecksumAt + 16 || u32(*data, 0) != kMuiSignature) return std::nullopt;

  MuiConfiguration configuration;
  configuration.fileType = u32(*data, kMuiFileTypeAt);
  std::copy_n(data->begin() + kMuiServiceChecksumAt, 16, configuration.serviceChecksum.begin());
  std::copy_n(data->begin() + kMuiChecksumAt, 16, configuration.checksum.begin());
  if (data->size() >= kMuiLanguageEnd) configuration.language = languageName(*data);
  return configuration;
}

std::optional<ModuleTexts> readTexts(const ByteSource& source, unsigned short language) {
  auto image = Image::open(source);
  if (!image) return std::nullopt;
  return ModuleTexts{stringTable(*image, language), muiConfiguration(*image)};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> loadIconResource(const std::filesystem::path& module, int index) {
  FileSource source(module);
  return loadIcon(source, index);
}

std::optional<std::vector<std::uint8_t>> loadIconResource(std::span<const std::uint8_t> image, int index) {
  MemorySource source(image);
  return loadIcon(source, index);
}

std::optional<std::u16string> loadStringResource(const std::filesystem::path& module, unsigned id,
                                                 unsigned short language) {
  FileSource source(module);
  return loadString(source, id, language);
}

std::optional<std::u16string> loadStringResource(std::span<const std::uint8_t> image, unsigned id,
                                                 unsigned short language) {
  MemorySource source(image);
  return loadString(source, id, language);
}

std::optional<ModuleTexts> readModuleTexts(const std::filesystem::path& module, unsigned short language) {
  FileSource source(module);
  return readTexts(source, language);
}

std::optional<ModuleTexts> readModuleTexts(std::span<const std::uint8_t> image, unsigned short language) {
  MemorySource source(image);
  return readTexts(source, language);
}

}  // namespace talmoor::platform

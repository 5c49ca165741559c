#include "platform/registry/regf_writer.h"

#include <algorithm>
#include <array>
#include <map>
#include <span>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/registry/regf_layout.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

using namespace regf;

// Entries per "lh" list: one list fits a 4096-byte bin. Keys with more
// subkeys get an "ri" list over several of them.
constexpr std::size_t kLeafEntries = 500;
constexpr std::size_t kMaxSegments = 0xFFFF;

constexpr std::size_t alignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

struct NameBytes {
  std::vector<std::uint8_t> bytes;
  bool compressed = false;
};

// Names are stored one byte per character when every character allows it.
NameBytes encodeName(std::u16string_view name) {
  NameBytes out;
  out.compressed = fitsCompressed(name);
  if (out.compressed) {
    out.bytes.reserve(name.size());
    for (char16_t c : name) out.bytes.push_back(static_cast<std::uint8_t>(c));
  } else {
    out.bytes = bytesFromUtf16(name);
  }
  return out;
}

struct ChildEntry {
  std::uint32_t cell;
  std::uint32_t hash;
};

class RegfWriter {
 public:
  explicit RegfWriter(const RegfWriteOptions& options) : options_(options) {
    if (!isValidSecurityDescriptor(options_.defaultSecurity)) fallbackSecurity_ = defaultKeySecurity();
  }

  std::string write(const KeyNode& root) {
    out_.assign(kBaseBlockSize, '\0');
    std::u16string rootName = !options_.rootName.empty() ? options_.rootName
                              : !root.name().empty()      ? root.name()
                                                          : std::u16string(u"ROOT");
    std::uint32_t rootCell = writeKey(root, rootName, kNoCell, 0);
    closeBin();
    linkSecurityRing();
    writeBaseBlock(rootCell);
    return std::move(out_);
  }

 private:
  std::span<std::uint8_t> bytesAt(std::size_t fileOffset, std::size_t length) {
    return std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out_.data()) + fileOffset, length);
  }
  // The data of a cell already allocated; valid until the next allocation.
  std::span<std::uint8_t> cellData(std::uint32_t cell) {
    auto size = static_cast<std::size_t>(-static_cast<std::int32_t>(load32(bytesAt(kBaseBlockSize + cell, 4), 0)));
    return bytesAt(kBaseBlockSize + cell + 4, size - 4);
  }

  // A new cell for `dataSize` bytes, zero-filled; returns its offset.
  std::uint32_t allocate(std::size_t dataSize) {
    std::size_t size = alignUp(dataSize + 4, kCellAlignment);
    if (size > 0x7FFFFFF0u - kBinHeaderSize) throw std::invalid_argument("a cell of the hive would be too large");
    if (cursor_ + size > binEnd_) openBin(size);
    std::uint32_t cell = cursor_;
    cursor_ += static_cast<std::uint32_t>(size);
    store32(bytesAt(kBaseBlockSize + cell, 4), 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    return cell;
  }

  // Ends the current bin (its rest becomes one free cell) and starts one
  // large enough for a cell of `cellSize` bytes.
  void openBin(std::size_t cellSize) {
    closeBin();
    std::size_t size = std::max(kBinAlignment, alignUp(cellSize + kBinHeaderSize, kBinAlignment));
    std::size_t start = out_.size() - kBaseBlockSize;
    if (start + size > 0xFFFFF000u) throw std::invalid_argument("the hive would exceed 4 GB");
    out_.resize(out_.size() + size, '\0');
    auto header = bytesAt(kBaseBlockSize + start, kBinHeaderSize);
    std::copy(kBinSignature.begin(), kBinSignature.end(), header.begin());
    store32(header, kBinOffset, static_cast<std::uint32_t>(start));
    store32(header, kBinSize, static_cast<std::uint32_t>(size));
    if (start == 0) store64(header, kBinTimestamp, timestamp());
    binEnd_ = static_cast<std::uint32_t>(start + size);
    cursor_ = static_cast<std::uint32_t>(start + kBinHeaderSize);
  }

  void closeBin() {
    if (cursor_ < binEnd_) store32(bytesAt(kBaseBlockSize + cursor_, 4), 0, binEnd_ - cursor_);
    cursor_ = binEnd_;
  }

  std::uint64_t timestamp() const { return options_.timestamp ? options_.timestamp : currentFiletime(); }

  std::uint32_t writeKey(const KeyNode& key, std::u16string_view name, std::uint32_t parentCell, int depth) {
    if (depth > kMaxTreeDepth)
      throw std::invalid_argument(fmt::format("the tree is deeper than {} levels", kMaxTreeDepth));
    bool isRoot = parentCell == kNoCell;
    if (!isRoot && (name.empty() || name.size() > kMaxKeyNameChars || name.find(u'\\') != std::u16string_view::npos))
      throw std::invalid_argument(fmt::format(
          "a key named \"{}\" cannot be written: key names must be 1 to {} characters long and without '\\'",
          wideToAnsi(name), kMaxKeyNameChars));
    NameBytes encoded = encodeName(name.substr(0, kMaxKeyNameChars));

    std::uint32_t nk = allocate(kNkName + encoded.bytes.size());
    {
      auto data = cellData(nk);
      data[0] = 'n';
      data[1] = 'k';
      std::uint16_t flags = encoded.compressed ? kKeyCompressedName : 0;
      if (isRoot) flags |= kKeyHiveEntry | kKeyNoDelete;
      if (key.isLink) flags |= kKeySymLink;
      store16(data, kNkFlags, flags);
      store64(data, kNkLastWrite, key.lastWrite);
      store32(data, kNkParent, parentCell);
      store32(data, kNkSubkeyList, kNoCell);
      store32(data, kNkVolatileSubkeyList, kNoCell);
      store32(data, kNkValueList, kNoCell);
      store32(data, kNkClass, kNoCell);
      store16(data, kNkNameLength, static_cast<std::uint16_t>(encoded.bytes.size()));
      std::copy(encoded.bytes.begin(), encoded.bytes.end(), data.begin() + kNkName);
    }
    writeClass(key, nk);
    std::uint32_t security = securityCell(key.security);
    store32(cellData(nk), kNkSecurity, security);
    writeValues(key, nk);

    // Hives mounted below this one are saved in their own files.
    const auto ownHive = key.hive();
    std::vector<ChildEntry> children;
    std::uint32_t maxName = 0, maxClass = 0;
    for (const auto& child : key.subkeys()) {
      if (child->isVolatile || child->hive() != ownHive) continue;
      std::uint32_t cell = writeKey(*child, child->name(), nk, depth + 1);
      children.push_back(ChildEntry{cell, nameHash(child->name())});
      maxName = std::max<std::uint32_t>(maxName, static_cast<std::uint32_t>(child->name().size() * 2));
      if (child->className)
        maxClass = std::max<std::uint32_t>(maxClass, static_cast<std::uint32_t>(child->className->size() * 2));
    }
    if (!children.empty()) {
      std::uint32_t list = writeSubkeyList(children);
      auto data = cellData(nk);
      store32(data, kNkSubkeyCount, static_cast<std::uint32_t>(children.size()));
      store32(data, kNkSubkeyList, list);
      store32(data, kNkMaxNameBytes, maxName);
      store32(data, kNkMaxClassBytes, maxClass);
    }
    return nk;
  }

  void writeClass(const KeyNode& key, std::uint32_t nk) {
    if (!key.className || key.className->empty()) return;
    auto bytes = bytesFromUtf16(*key.className);
    if (bytes.size() > 0xFFFF)
      throw std::invalid_argument(fmt::format("the class of key \"{}\" is too long", wideToAnsi(key.name())));
    std::uint32_t cell = allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), cellData(cell).begin());
    auto data = cellData(nk);
    store32(data, kNkClass, cell);
    store16(data, kNkClassLength, static_cast<std::uint16_t>(bytes.size()));
  }

  void writeValues(const KeyNode& key, std::uint32_t nk) {
    std::vector<std::uint32_t> cells;
    std::uint32_t maxName = 0, maxData = 0;
    for (const auto& value : key.values()) {
      if (value.isVolatile) continue;
      cells.push_back(writeValue(value));
      maxName = std::max<std::uint32_t>(maxName, static_cast<std::uint32_t>(value.name.size() * 2));
      maxData = std::max<std::uint32_t>(maxData, static_cast<std::uint32_t>(value.data.size()));
    }
    if (cells.empty()) return;
    std::uint32_t list = allocate(4 * cells.size());
    auto listData = cellData(list);
    for (std::size_t i = 0; i < cells.size(); ++i) store32(listData, 4 * i, cells[i]);
    auto data = cellData(nk);
    store32(data, kNkValueCount, static_cast<std::uint32_t>(cells.size()));
    store32(data, kNkValueList, list);
    store32(data, kNkMaxValueNameBytes, maxName);
    store32(data, kNkMaxValueDataBytes, maxData);
  }

  std::uint32_t writeValue(const RegValue& value) {
    if (value.name.size() > kMaxValueNameChars)
      throw std::invalid_argument(
          fmt::format("a value name of {} characters cannot be written (at most {})", value.name.size(),
                      kMaxValueNameChars));
    if (value.data.size() > kMaxSegments * kBigDataSegment || value.data.size() >= kDataInline)
      throw std::invalid_argument(
          fmt::format("value \"{}\" is too long for a hive ({} bytes)", wideToAnsi(value.name), value.data.size()));
    NameBytes encoded = encodeName(value.name);
    std::uint32_t vk = allocate(kVkName + encoded.bytes.size());
    std::uint32_t length = static_cast<std::uint32_t>(value.data.size());
    std::uint32_t dataField = 0;
    if (value.data.size() <= kMaxInlineData) {
      std::array<std::uint8_t, 4> inlined{};
      std::copy(value.data.begin(), value.data.end(), inlined.begin());
      dataField = load32(inlined, 0);
      length |= kDataInline;
    } else if (value.data.size() <= kBigDataSegment) {
      dataField = allocate(value.data.size());
      std::copy(value.data.begin(), value.data.end(), cellData(dataField).begin());
    } else {
      dataField = writeBigData(value.data);
    }
    auto data = cellData(vk);
    data[0] = 'v';
    data[1] = 'k';
    store16(data, kVkNameLength, static_cast<std::uint16_t>(encoded.bytes.size()));
    store32(data, kVkDataLength, length);
    store32(data, kVkData, dataField);
    store32(data, kVkType, value.type);
    store16(data, kVkFlags, encoded.compressed ? kValueCompressedName : 0);
    std::copy(encoded.bytes.begin(), encoded.bytes.end(), data.begin() + kVkName);
    return vk;
  }

  std::uint32_t writeBigData(std::span<const BYTE> bytes) {
    std::size_t count = (bytes.size() + kBigDataSegment - 1) / kBigDataSegment;
    std::vector<std::uint32_t> segments;
    segments.reserve(count);
    for (std::size_t at = 0; at < bytes.size(); at += kBigDataSegment) {
      std::size_t take = std::min(kBigDataSegment, bytes.size() - at);
      // Windows gives the last segment a whole segment's cell too, and
      // some readers count on it.
      std::uint32_t segment = allocate(kBigDataSegment);
      std::copy(bytes.begin() + at, bytes.begin() + at + take, cellData(segment).begin());
      segments.push_back(segment);
    }
    std::uint32_t list = allocate(4 * count);
    auto listData = cellData(list);
    for (std::size_t i = 0; i < count; ++i) store32(listData, 4 * i, segments[i]);
    std::uint32_t db = allocate(8);
    auto data = cellData(db);
    data[0] = 'd';
    data[1] = 'b';
    store16(data, kDbSegmentCount, static_cast<std::uint16_t>(count));
    store32(data, kDbSegmentList, list);
    return db;
  }

  std::uint32_t writeLeaf(std::span<const ChildEntry> entries) {
    std::uint32_t leaf = allocate(kListEntries + 8 * entries.size());
    auto data = cellData(leaf);
    data[0] = 'l';
    data[1] = 'h';
    store16(data, kListCount, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      store32(data, kListEntries + 8 * i, entries[i].cell);
      store32(data, kListEntries + 8 * i + 4, entries[i].hash);
    }
    return leaf;
  }

  // The children come in the tree's order, which is the upper-cased order
  // the lists must keep.
  std::uint32_t writeSubkeyList(const std::vector<ChildEntry>& children) {
    std::span<const ChildEntry> all(children);
    if (all.size() <= kLeafEntries) return writeLeaf(all);
    std::vector<std::uint32_t> leaves;
    for (std::size_t at = 0; at < all.size(); at += kLeafEntries)
      leaves.push_back(writeLeaf(all.subspan(at, std::min(kLeafEntries, all.size() - at))));
    if (leaves.size() > 0xFFFF) throw std::invalid_argument("a key has too many subkeys for one hive");
    std::uint32_t index = allocate(kListEntries + 4 * leaves.size());
    auto data = cellData(index);
    data[0] = 'r';
    data[1] = 'i';
    store16(data, kListCount, static_cast<std::uint16_t>(leaves.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) store32(data, kListEntries + 4 * i, leaves[i]);
    return index;
  }

  // One cell per distinct descriptor; the reference counts and the ring of
  // cells are completed once every key is written.
  std::uint32_t securityCell(const std::vector<BYTE>& own) {
    const std::vector<BYTE>& descriptor = isValidSecurityDescriptor(own) ? own
                                          : fallbackSecurity_.empty()    ? options_.defaultSecurity
                                                                         : fallbackSecurity_;
    auto found = securityCells_.find(descriptor);
    if (found != securityCells_.end()) {
      ++references_[found->second];
      return securityOrder_[found->second];
    }
    std::uint32_t cell = allocate(kSkDescriptor + descriptor.size());
    auto data = cellData(cell);
    data[0] = 's';
    data[1] = 'k';
    store32(data, kSkDescriptorLength, static_cast<std::uint32_t>(descriptor.size()));
    std::copy(descriptor.begin(), descriptor.end(), data.begin() + kSkDescriptor);
    securityCells_.emplace(descriptor, securityOrder_.size());
    securityOrder_.push_back(cell);
    references_.push_back(1);
    return cell;
  }

  void linkSecurityRing() {
    std::size_t n = securityOrder_.size();
    for (std::size_t i = 0; i < n; ++i) {
      auto data = cellData(securityOrder_[i]);
      store32(data, kSkNext, securityOrder_[(i + 1) % n]);
      store32(data, kSkPrevious, securityOrder_[(i + n - 1) % n]);
      store32(data, kSkReferences, references_[i]);
    }
  }

  void writeBaseBlock(std::uint32_t rootCell) {
    auto block = bytesAt(0, kBaseBlockSize);
    std::copy(kFileSignature.begin(), kFileSignature.end(), block.begin());
    store32(block, kSequence1, options_.sequence);
    store32(block, kSequence2, options_.sequence);
    store64(block, kTimestamp, timestamp());
    store32(block, kMajorVersion, 1);
    store32(block, kMinorVersion, 5);
    store32(block, kFileType, kFileTypePrimary);
    store32(block, kFileFormat, kFileFormatMemory);
    store32(block, kRootCell, rootCell);
    store32(block, kBinsSize, static_cast<std::uint32_t>(out_.size() - kBaseBlockSize));
    store32(block, kClustering, 1);
    // The tail of the file name, with room for a terminating zero.
    std::u16string_view name = options_.fileName;
    constexpr std::size_t kNameChars = kFileNameBytes / 2 - 1;
    if (name.size() > kNameChars) name = name.substr(name.size() - kNameChars);
    for (std::size_t i = 0; i < name.size(); ++i) store16(block, kFileName + 2 * i, name[i]);
    store32(block, kChecksum, baseBlockChecksum(block));
  }

  const RegfWriteOptions& options_;
  std::vector<BYTE> fallbackSecurity_;
  std::string out_;
  std::uint32_t cursor_ = 0;
  std::uint32_t binEnd_ = 0;
  std::map<std::vector<BYTE>, std::size_t> securityCells_;
  std::vector<std::uint32_t> securityOrder_;
  std::vector<std::uint32_t> references_;
};

}  // namespace

std::string writeRegfHive(const KeyNode& root, const RegfWriteOptions& options) {
  return RegfWriter(options).write(root);
}

}  // namespace talmoor::platform

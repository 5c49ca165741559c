#include "platform/registry/regf_reader.h"

#include <algorithm>
#include <bitset>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/regf_layout.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

using namespace regf;
using Span = std::span<const std::uint8_t>;

struct Bin {
  std::uint32_t start;  // offsets from the end of the base block
  std::uint32_t end;
};

// Which cells were used, a bit per cell boundary. Kept in slices made when
// first marked, so that a hive read a few keys at a time costs a few slices.
class CellMarks {
 public:
  void reset(std::uint32_t dataSize) {
    slices_.clear();
    slices_.resize(dataSize / kCellAlignment / kSliceBits + 1);
  }
  bool test(std::uint32_t offset) const {
    std::size_t bit = offset / kCellAlignment;
    const auto& slice = slices_[bit / kSliceBits];
    return slice && slice->test(bit % kSliceBits);
  }
  void set(std::uint32_t offset) {
    std::size_t bit = offset / kCellAlignment;
    auto& slice = slices_[bit / kSliceBits];
    if (!slice) slice = std::make_unique<std::bitset<kSliceBits>>();
    slice->set(bit % kSliceBits);
  }
  void clear(std::uint32_t offset) {
    std::size_t bit = offset / kCellAlignment;
    if (auto& slice = slices_[bit / kSliceBits]) slice->reset(bit % kSliceBits);
  }

 private:
  static constexpr std::size_t kSliceBits = 1u << 15;
  std::vector<std::unique_ptr<std::bitset<kSliceBits>>> slices_;
};

// A subkey list entry: the key cell and, for "lh" lists, the hash kept for it.
struct SubkeyRef {
  std::uint32_t cell;
  std::optional<std::uint32_t> hash;
};

bool hasSignature(Span cell, std::string_view signature) {
  return cell.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), cell.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::u16string latin1Name(Span bytes) {
  std::u16string name(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), name.begin(), [](std::uint8_t b) { return char16_t{b}; });
  return name;
}

std::string signatureText(Span cell) {
  std::string text;
  for (std::size_t i = 0; i < 2 && i < cell.size(); ++i) {
    auto c = cell[i];
    text += c >= 0x20 && c < 0x7F ? fmt::format("{}", static_cast<char>(c)) : fmt::format("\\x{:02x}", c);
  }
  return text;
}

}  // namespace

class RegfReader {
 public:
  // `file`, when given, keeps `bytes` alive: value data then stays in it
  // instead of being copied. `onDemand`, when given, is the source keys read
  // from it wait on: each key is read alone, its subkeys and values later.
  RegfReader(Span bytes, std::string fileName, std::shared_ptr<const void> file = nullptr,
             KeySource* onDemand = nullptr)
      : bytes_(bytes), fileName_(std::move(fileName)), file_(std::move(file)), onDemand_(onDemand) {}

  // Reads the base block, walks the bins and reads the root key alone; false
  // when any of that found a problem (the hive is then read whole instead).
  // `releasePages` is given each stretch of the file the bin walk is done
  // with.
  bool openOnDemand(const std::function<void(std::size_t, std::size_t)>& releasePages) {
    readBaseBlock();
    findBins(releasePages);
    if (hive_.statistics.problems != 0) return false;
    releasePages_ = releasePages;
    lastUse_.assign(bytes_.size() / kRegionBytes + 1, 0);
    // Keys only: a key cell named twice is what would make the tree endless.
    used_.reset(dataSize_);
    hive_.root = readKey(load32(bytes_, kRootCell), 0, nullptr, nullptr);
    if (!hive_.root || hive_.statistics.problems != 0) return false;
    hive_.rootName = hive_.root->name();
    hive_.root->rename(u"");
    return true;
  }

  // What openOnDemand read, less the root it hands over.
  RegfHive takeOpened() {
    RegfHive opened = hive_;
    hive_.root.reset();
    return opened;
  }

  const RegfStatistics& statistics() const { return hive_.statistics; }
  // For a read that only checks: values are read and checked, then dropped.
  void keepNoValues() { keepValues_ = false; }
  const std::vector<std::string>& damage() const { return hive_.damage; }

  // The subkeys of a key read on demand, each read alone.
  std::vector<std::shared_ptr<KeyNode>> subkeysOf(const KeyNode& key, std::uint32_t record, int depth) {
    setPathTo(key, depth);
    auto nk = locateKey(record);
    if (!nk) return {};
    return readSubkeys(key, *nk, record, depth);
  }

  std::vector<RegValue> valuesOf(const KeyNode& key, std::uint32_t record, int depth) {
    setPathTo(key, depth);
    auto nk = locateKey(record);
    if (!nk) return {};
    return readValues(load32(*nk, kNkValueCount), load32(*nk, kNkValueList), record);
  }

  // Keys given back by the tree: their cells may be read again, and what
  // was read counts what the tree holds.
  void forget(std::span<const std::uint32_t> records, std::size_t values) {
    for (std::uint32_t record : records) used_.clear(record);
    hive_.statistics.keys -= std::min(hive_.statistics.keys, records.size());
    hive_.statistics.values -= std::min(hive_.statistics.values, values);
  }

  RegfHive read() {
    readBaseBlock();
    findBins();
    used_.reset(dataSize_);
    std::uint32_t rootCell = load32(bytes_, kRootCell);
    path_.clear();
    hive_.root = readKey(rootCell, 0, nullptr, nullptr);
    if (hive_.root) recoverOrphans();
    if (!hive_.root)
      throw HiveFormatError(fileName_, 0,
                            fmt::format("the root key (cell 0x{:x}) cannot be read: {}", rootCell,
                                        hive_.damage.empty() ? std::string("no key there") : hive_.damage.back()));
    hive_.rootName = hive_.root->name();
    hive_.root->rename(u"");
    if (hive_.statistics.problems > kMaxDamageTexts)
      hive_.damage.push_back(
          fmt::format("... and {} more problems", hive_.statistics.problems - kMaxDamageTexts));
    return std::move(hive_);
  }

 private:
  [[noreturn]] void refuse(std::string problem) const { throw HiveFormatError(fileName_, 0, std::move(problem)); }

  void report(std::string text) {
    if (++hive_.statistics.problems <= kMaxDamageTexts) hive_.damage.push_back(std::move(text));
  }

  std::string keyPath() const {
    if (path_.empty()) return "\\";
    std::u16string text;
    for (const auto& part : path_) {
      text += u'\\';
      text += part;
    }
    return wideToAnsi(text);
  }

  void reportCell(std::uint32_t cell, std::string_view problem) {
    report(fmt::format("cell 0x{:x} (key {}): {}", cell, keyPath(), problem));
  }

  void readBaseBlock() {
    if (bytes_.size() < kBaseBlockSize) refuse("too short for a registry hive (no complete base block)");
    if (!looksLikeRegf(bytes_)) refuse("not a registry hive file (expected \"regf\" at the start)");
    hive_.majorVersion = load32(bytes_, kMajorVersion);
    hive_.minorVersion = load32(bytes_, kMinorVersion);
    if (hive_.majorVersion != 1)
      refuse(fmt::format("hive format version {}.{}, which this program cannot read", hive_.majorVersion,
                         hive_.minorVersion));
    if (std::uint32_t type = load32(bytes_, kFileType); type != kFileTypePrimary)
      refuse(fmt::format("a transaction log or other secondary file (file type {}), not a hive", type));
    std::uint32_t sequence1 = load32(bytes_, kSequence1);
    std::uint32_t sequence2 = load32(bytes_, kSequence2);
    hive_.sequence = std::max(sequence1, sequence2);
    hive_.dirtyOnDisk = sequence1 != sequence2;
    hive_.lastWritten = load64(bytes_, kTimestamp);
    std::u16string noted = utf16FromBytes(bytes_.subspan(kFileName, kFileNameBytes));
    hive_.baseBlockFileName = noted.substr(0, noted.find(u'\0'));

    std::uint32_t stored = load32(bytes_, kChecksum);
    if (stored != baseBlockChecksum(bytes_) && stored != plainBaseBlockChecksum(bytes_))
      report(fmt::format("base block: checksum 0x{:08x} does not match its contents (0x{:08x})", stored,
                         baseBlockChecksum(bytes_)));

    std::size_t available = (bytes_.size() - kBaseBlockSize) / kBinAlignment * kBinAlignment;
    std::uint32_t declared = load32(bytes_, kBinsSize);
    dataSize_ = declared;
    if (declared == 0 || declared % kBinAlignment != 0 || declared > available) {
      dataSize_ = static_cast<std::uint32_t>(std::min<std::size_t>(available, 0xFFFFF000u));
      report(fmt::format("base block: it gives 0x{:x} bytes of hive bins, the file holds 0x{:x}", declared,
                         dataSize_));
    }
  }

  // Walks the bins page by page; pages that start no bin and lie in no bin
  // are reported once per run.
  void findBins(const std::function<void(std::size_t, std::size_t)>& releasePages = {}) {
    // Every header sits on a page of its own in a hive of small bins: the
    // walk would keep the whole file mapped in, so the pages it is done
    // with are handed back as it goes.
    constexpr std::uint32_t kReleaseEvery = 1u << 20;
    std::uint32_t released = 0;
    constexpr std::uint32_t kNoRun = 0xFFFFFFFFu;
    std::uint32_t offset = 0;
    std::uint32_t badStart = kNoRun;
    auto closeBadRun = [&](std::uint32_t end) {
      if (badStart == kNoRun) return;
      std::size_t pages = (end - badStart) / kBinAlignment;
      report(fmt::format("file offsets 0x{:x}-0x{:x}: no hive bin ({} page{}); what was kept there is lost",
                         badStart + kBaseBlockSize, end + kBaseBlockSize - 1, pages, pages == 1 ? "" : "s"));
      badStart = kNoRun;
    };
    while (offset < dataSize_) {
      Span header = bytes_.subspan(kBaseBlockSize + offset, kBinHeaderSize);
      std::uint32_t size = load32(header, kBinSize);
      bool sound = hasSignature(header, kBinSignature) && load32(header, kBinOffset) == offset && size != 0 &&
                   size % kBinAlignment == 0 && size <= dataSize_ - offset;
      if (!sound) {
        if (badStart == kNoRun) badStart = offset;
        offset += kBinAlignment;
        continue;
      }
      closeBadRun(offset);
      bins_.push_back(Bin{offset, offset + size});
      offset += size;
      if (releasePages && offset - released >= kReleaseEvery) {
        releasePages(kBaseBlockSize + released, offset - released);
        released = offset;
      }
    }
    closeBadRun(offset);
    if (releasePages) releasePages(0, kBaseBlockSize + std::size_t{dataSize_});
    hive_.statistics.bins = bins_.size();
  }

  // The data of the cell at `offset` (after its size field), or nothing with
  // the problem reported. `what` names the cell in the report ("a value").
  std::optional<Span> locate(std::uint32_t offset, std::string_view what) {
    if (offset == kNoCell || offset >= dataSize_) {
      reportCell(offset, fmt::format("{} lies outside the hive", what));
      return std::nullopt;
    }
    if (offset % kCellAlignment != 0) {
      reportCell(offset, fmt::format("{} is not on a cell boundary", what));
      return std::nullopt;
    }
    auto bin = std::upper_bound(bins_.begin(), bins_.end(), offset,
                                [](std::uint32_t at, const Bin& b) { return at < b.start; });
    if (bin == bins_.begin() || offset >= (--bin)->end) {
      reportCell(offset, fmt::format("{} is in a damaged or missing hive bin", what));
      return std::nullopt;
    }
    if (offset < bin->start + kBinHeaderSize) {
      reportCell(offset, fmt::format("{} lies in a hive bin header", what));
      return std::nullopt;
    }
    auto raw = static_cast<std::int32_t>(load32(bytes_, kBaseBlockSize + offset));
    std::int64_t size = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
    if (size < 8 || offset + size > bin->end) {
      reportCell(offset, fmt::format("{} has a cell size ({}) that does not fit its hive bin", what, raw));
      return std::nullopt;
    }
    if (raw > 0) reportCell(offset, fmt::format("{} is in a cell marked free", what));
    if (releasePages_) noteTouched(kBaseBlockSize + offset);
    return bytes_.subspan(kBaseBlockSize + offset + 4, static_cast<std::size_t>(size) - 4);
  }

  // A kernel may map a whole stretch of a file's cache (megabytes of it)
  // at the first touch of a page, so keys read on demand from far apart in
  // a large hive would keep most of it mapped in. Once reads have spread
  // over more stretches than the budget, the stretch used longest ago is
  // handed back; its pages are read again from the cache when next touched.
  // A walk over a whole hive gives its keys back as it goes
  // (KeyNode::forgetContents) and goes back and forth between the stretches
  // holding its keys and their values. Exporting the 12 MB SYSTEM hive:
  // every stretch held, 21.5 MB at the peak; handing back the whole file at
  // the third stretch, 13.0 MB with 10,500 page faults; the longest unused
  // of 2 stretches, 13.0 MB with 6,600 and a tenth less processor time; of
  // 4, 14.2 MB with 2,650 and a fifth less. The peak is what is kept.
  static constexpr std::size_t kRegionBytes = std::size_t{2} << 20;
  static constexpr std::size_t kRegionBudget = 2;
  void noteTouched(std::size_t fileOffset) {
    std::size_t region = fileOffset / kRegionBytes;
    std::uint64_t& last = lastUse_[region];
    const bool held = last != 0;
    last = ++useClock_;
    if (held || ++heldCount_ <= kRegionBudget) return;
    std::size_t oldest = region;
    for (std::size_t i = 0; i < lastUse_.size(); ++i)
      if (lastUse_[i] != 0 && lastUse_[i] < lastUse_[oldest]) oldest = i;
    const std::size_t from = oldest * kRegionBytes;
    releasePages_(from, std::min(kRegionBytes, bytes_.size() - from));
    lastUse_[oldest] = 0;
    --heldCount_;
  }

  // As locate, for cells that belong to one owner only: a second use is
  // refused, which is what keeps cycles and shared lists from being followed.
  std::optional<Span> cell(std::uint32_t offset, std::string_view what, bool isKey = false) {
    // Read on demand, only key cells are held to one use: a key named twice
    // would be read again below itself without end. Other shared cells are
    // for the whole scan to find.
    if (onDemand_ && !isKey) return locate(offset, what);
    if (offset < dataSize_ && offset % kCellAlignment == 0 && used_.test(offset)) {
      reportCell(offset, fmt::format("{} is used a second time", what));
      return std::nullopt;
    }
    auto data = locate(offset, what);
    if (data) used_.set(offset);
    return data;
  }

  // A key checked earlier, read again on demand: its cell as the key.
  std::optional<Span> locateKey(std::uint32_t offset) {
    auto data = locate(offset, "a key");
    if (data && (!hasSignature(*data, "nk") || data->size() < kNkName)) return std::nullopt;
    return data;
  }

  // `taken` holds the upper-cased names of the siblings read before; without
  // it the parent's own subkeys are asked.
  std::shared_ptr<KeyNode> readKey(std::uint32_t offset, int depth, const KeyNode* parent,
                                   std::unordered_set<std::u16string>* taken) {
    auto data = cell(offset, parent ? "a subkey" : "the root key", true);
    if (!data) return nullptr;
    if (!hasSignature(*data, "nk") || data->size() < kNkName) {
      reportCell(offset, fmt::format("expected a key (\"nk\"), found \"{}\"", signatureText(*data)));
      return nullptr;
    }
    Span nk = *data;
    std::uint16_t flags = load16(nk, kNkFlags);
    std::size_t nameLength = load16(nk, kNkNameLength);
    if (kNkName + nameLength > nk.size()) {
      reportCell(offset, fmt::format("the key name ({} bytes) runs past its cell", nameLength));
      return nullptr;
    }
    Span nameBytes = nk.subspan(kNkName, nameLength);
    std::u16string name = (flags & kKeyCompressedName) ? latin1Name(nameBytes) : utf16FromBytes(nameBytes);
    if (parent && (name.empty() || name.size() > kMaxKeyNameChars || name.find(u'\\') != std::u16string::npos)) {
      reportCell(offset, fmt::format("a subkey named \"{}\" cannot be addressed; it is left out", wideToAnsi(name)));
      return nullptr;
    }
    if (parent && (taken ? !taken->insert(upcase(name)).second : parent->findSubkey(name) != nullptr)) {
      reportCell(offset, fmt::format("a second subkey named \"{}\" is left out", wideToAnsi(name)));
      return nullptr;
    }

    auto key = std::make_shared<KeyNode>(std::move(name));
    ++hive_.statistics.keys;
    if (!onDemand_) {  // for the orphans' parents, which only a whole read looks for
      keysRead_.emplace(offset, ReadKey{key.get(), depth});
      readOrder_.push_back(offset);
    }
    key->lastWrite = load64(nk, kNkLastWrite);
    key->isLink = flags & kKeySymLink;
    // A volatile flag in a file is stale (such keys live in memory only);
    // honouring it would drop the key at the next save.
    if (parent) path_.push_back(key->name());

    readClass(*key, nk, offset);
    readSecurity(*key, load32(nk, kNkSecurity), offset);
    if (onDemand_) {
      key->readLater(onDemand_->shared_from_this(), offset, depth, load32(nk, kNkSubkeyCount) != 0,
                     load32(nk, kNkValueCount) != 0);
    } else {
      auto values = readValues(load32(nk, kNkValueCount), load32(nk, kNkValueList), offset);
      if (keepValues_)
        for (auto& value : values) key->appendValue(std::move(value));
      for (auto& child : readSubkeys(*key, nk, offset, depth)) key->addSubkey(std::move(child));
    }
    if (parent) path_.pop_back();
    return key;
  }

  std::vector<std::shared_ptr<KeyNode>> readSubkeys(const KeyNode& key, Span nk, std::uint32_t offset, int depth) {
    std::vector<std::shared_ptr<KeyNode>> children;
    std::uint32_t subkeyCount = load32(nk, kNkSubkeyCount);
    if (subkeyCount == 0) return children;
    if (depth >= kMaxTreeDepth) {
      reportCell(offset, fmt::format("deeper than {} levels; its subkeys are left out", kMaxTreeDepth));
      return children;
    }
    std::vector<SubkeyRef> refs;
    if (collectSubkeys(load32(nk, kNkSubkeyList), false, refs) && refs.size() != subkeyCount)
      reportCell(offset, fmt::format("the key counts {} subkeys, its lists hold {}", subkeyCount, refs.size()));
    std::unordered_set<std::u16string> taken;
    children.reserve(refs.size());
    for (const auto& ref : refs) {
      auto child = readKey(ref.cell, depth + 1, &key, &taken);
      if (!child) continue;
      if (ref.hash && *ref.hash != nameHash(child->name())) ++hive_.statistics.hashMismatches;
      children.push_back(std::move(child));
    }
    return children;
  }

  // Keys whose subkey list was lost may still sit whole in sound bins. Each
  // names its parent, so those whose parent was read are put back under it
  // (and their own subkeys with them); the rest are counted as lost.
  void recoverOrphans() {
    struct Orphan {
      std::uint32_t cell;
      std::uint32_t parent;
      Span data;
    };
    std::vector<Orphan> orphans;
    for (const Bin& bin : bins_) {
      std::uint32_t at = bin.start + kBinHeaderSize;
      while (at + 4 <= bin.end) {
        auto raw = static_cast<std::int32_t>(load32(bytes_, kBaseBlockSize + at));
        std::int64_t size = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
        if (size < 8 || size % kCellAlignment != 0 || at + size > bin.end) break;  // the rest of the bin is unreadable
        Span data = bytes_.subspan(kBaseBlockSize + at + 4, static_cast<std::size_t>(size) - 4);
        if (raw < 0 && !used_.test(at) && hasSignature(data, "nk") && data.size() >= kNkName &&
            !(load16(data, kNkFlags) & kKeyHiveEntry))
          orphans.push_back(Orphan{at, load32(data, kNkParent), data});
        at += static_cast<std::uint32_t>(size);
      }
    }
    if (orphans.empty()) return;
    std::unordered_multimap<std::uint32_t, std::size_t> byParent;
    for (std::size_t i = 0; i < orphans.size(); ++i) byParent.emplace(orphans[i].parent, i);
    std::size_t attached = attachOrphans(orphans, byParent, 0);

    // Keys whose parent is lost for good are kept under a key of their own,
    // so that what could be read can be reached, exported and copied: first
    // those whose parent is no orphan either (the tops of lost branches, with
    // the orphans below them), then whatever is left (orphans that name each
    // other as parents).
    std::unordered_set<std::uint32_t> orphanCells;
    for (const auto& orphan : orphans) orphanCells.insert(orphan.cell);
    for (bool topsOnly : {true, false}) {
      for (const auto& orphan : orphans) {
        if (used_.test(orphan.cell)) continue;
        if (topsOnly && orphanCells.count(orphan.parent) && !used_.test(orphan.parent)) continue;
        KeyNode& lost = lostAndFound();
        setPathTo(lost);
        std::size_t before = hive_.statistics.keys;
        auto key = readKey(orphan.cell, 2, &lost, nullptr);
        if (!key) continue;
        hive_.statistics.recoveredKeys += hive_.statistics.keys - before;
        report(fmt::format("cell 0x{:x}: key \"{}\" has lost its parent (cell 0x{:x}); it is kept under \"{}\"",
                           orphan.cell, wideToAnsi(key->name()), orphan.parent, wideToAnsi(lost.name())));
        lost.addSubkey(std::move(key));
        attached = attachOrphans(orphans, byParent, attached);
      }
    }
    path_.clear();
  }

  template <class Orphans>
  std::size_t attachOrphans(const Orphans& orphans, const std::unordered_multimap<std::uint32_t, std::size_t>& byParent,
                            std::size_t from) {
    // Every key read so far, and each one read from here on, may be the
    // parent of some. Returns how far the keys read were looked at.
    std::size_t next = from;
    for (; next < readOrder_.size(); ++next) {
      std::uint32_t parentCell = readOrder_[next];
      auto [first, last] = byParent.equal_range(parentCell);
      std::vector<std::size_t> children;
      for (auto it = first; it != last; ++it) children.push_back(it->second);
      const ReadKey& parent = keysRead_.at(parentCell);
      if (parent.depth >= kMaxTreeDepth) continue;
      for (std::size_t index : children) {
        std::uint32_t orphan = orphans[index].cell;
        if (used_.test(orphan)) continue;
        setPathTo(*parent.key);
        std::size_t before = hive_.statistics.keys;
        auto child = readKey(orphan, parent.depth + 1, parent.key, nullptr);
        if (!child) continue;
        hive_.statistics.recoveredKeys += hive_.statistics.keys - before;
        reportCell(orphan, fmt::format("subkey \"{}\" was not in the key's subkey list; recovered",
                                       wideToAnsi(child->name())));
        parent.key->addSubkey(std::move(child));
      }
    }
    return next;
  }

  // The key that holds the keys whose parents are lost, made when first needed.
  KeyNode& lostAndFound() {
    if (!lostAndFound_) {
      // A key of the hive's own that has the name keeps it.
      std::u16string name(kLostAndFound);
      for (int n = 2; hive_.root->findSubkey(name); ++n) name = std::u16string(kLostAndFound) + ansiToWide(fmt::format(" {}", n));
      lostAndFound_ = std::make_shared<KeyNode>(std::move(name));
      lostAndFound_->lastWrite = hive_.lastWritten;
      hive_.root->addSubkey(lostAndFound_);
    }
    return *lostAndFound_;
  }

  std::shared_ptr<KeyNode> lostAndFound_;

  // For a key read on demand: its name and those of the `depth` keys above it.
  void setPathTo(const KeyNode& key, int depth) {
    path_.clear();
    const KeyNode* node = &key;
    std::shared_ptr<KeyNode> up;
    for (int level = depth; level > 0 && node; --level) {
      path_.push_back(node->name());
      up = node->parent();
      node = up.get();
    }
    std::reverse(path_.begin(), path_.end());
  }

  void setPathTo(const KeyNode& key) {
    path_.clear();
    for (const KeyNode* node = &key; node != hive_.root.get();) {
      path_.push_back(node->name());
      auto up = node->parent();
      if (!up) break;
      node = up.get();
    }
    std::reverse(path_.begin(), path_.end());
  }

  void readClass(KeyNode& key, Span nk, std::uint32_t keyCell) {
    std::size_t length = load16(nk, kNkClassLength);
    std::uint32_t at = load32(nk, kNkClass);
    if (length == 0 || at == kNoCell) return;
    auto data = cell(at, "the class name");
    if (!data) return;
    if (length > data->size()) {
      reportCell(keyCell, fmt::format("the class name ({} bytes) runs past its cell 0x{:x}", length, at));
      length = data->size();
    }
    // A class of no whole character is no class, as a zero length is.
    if (std::u16string text = utf16FromBytes(data->first(length)); !text.empty()) key.className = std::move(text);
  }

  void readSecurity(KeyNode& key, std::uint32_t at, std::uint32_t keyCell) {
    if (at == kNoCell) {
      reportCell(keyCell, "the key has no security cell");
      return;
    }
    auto known = security_.find(at);
    if (known == security_.end()) known = security_.emplace(at, parseSecurity(at)).first;
    key.security = known->second;
  }

  // Security cells are shared by many keys, so they are read once each, not
  // marked used, and every key that names one holds the same descriptor.
  KeySecurity parseSecurity(std::uint32_t at) {
    auto data = locate(at, "the security cell");
    if (!data) return {};
    Span sk = *data;
    if (!hasSignature(sk, "sk") || sk.size() < kSkDescriptor) {
      reportCell(at, fmt::format("expected a security cell (\"sk\"), found \"{}\"", signatureText(sk)));
      return {};
    }
    std::size_t length = load32(sk, kSkDescriptorLength);
    if (length > sk.size() - kSkDescriptor) {
      reportCell(at, fmt::format("the security descriptor ({} bytes) runs past its cell", length));
      return {};
    }
    std::vector<BYTE> descriptor(sk.begin() + kSkDescriptor, sk.begin() + kSkDescriptor + length);
    if (!isValidSecurityDescriptor(descriptor)) {
      reportCell(at, "the security descriptor is malformed");
      return {};
    }
    ++hive_.statistics.securityCells;
    return KeySecurity(std::move(descriptor));
  }

  std::vector<RegValue> readValues(std::uint32_t count, std::uint32_t listAt, std::uint32_t keyCell) {
    std::vector<RegValue> values;
    if (count == 0) return values;
    auto list = cell(listAt, "the value list");
    if (!list) return values;
    if (count > list->size() / 4) {
      reportCell(keyCell, fmt::format("the key counts {} values, its list 0x{:x} holds {}", count, listAt,
                                      list->size() / 4));
      count = static_cast<std::uint32_t>(list->size() / 4);
    }
    // Most keys have a few values: their names are compared as they are;
    // past a few, by a set of upper-cased names, made when first needed.
    constexpr std::size_t kCompareNamesBelow = 16;
    std::unordered_set<std::u16string> seen;
    auto nameTaken = [&](const std::u16string& name) {
      if (values.size() < kCompareNamesBelow)
        return std::any_of(values.begin(), values.end(),
                           [&](const RegValue& other) { return namesEqual(other.name, name); });
      if (seen.empty())
        for (const auto& other : values) seen.insert(upcase(other.name));
      return !seen.insert(upcase(name)).second;
    };
    values.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      auto value = readValue(load32(*list, 4 * i));
      if (!value) continue;
      if (nameTaken(value->name)) {
        reportCell(load32(*list, 4 * i), fmt::format("a second value named \"{}\" is left out", wideToAnsi(value->name)));
        continue;
      }
      values.push_back(std::move(*value));
      ++hive_.statistics.values;
    }
    return values;
  }

  std::optional<RegValue> readValue(std::uint32_t at) {
    auto data = cell(at, "a value");
    if (!data) return std::nullopt;
    Span vk = *data;
    if (!hasSignature(vk, "vk") || vk.size() < kVkName) {
      reportCell(at, fmt::format("expected a value (\"vk\"), found \"{}\"", signatureText(vk)));
      return std::nullopt;
    }
    std::size_t nameLength = load16(vk, kVkNameLength);
    if (kVkName + nameLength > vk.size()) {
      reportCell(at, fmt::format("the value name ({} bytes) runs past its cell", nameLength));
      return std::nullopt;
    }
    Span nameBytes = vk.subspan(kVkName, nameLength);
    RegValue value;
    value.name = (load16(vk, kVkFlags) & kValueCompressedName) ? latin1Name(nameBytes) : utf16FromBytes(nameBytes);
    if (value.name.size() > kMaxValueNameChars) {
      reportCell(at, fmt::format("a value name of {} characters is longer than Windows allows; it is left out",
                                 value.name.size()));
      return std::nullopt;
    }
    value.type = load32(vk, kVkType);
    if (!readData(value, vk, at)) return std::nullopt;
    return value;
  }

  bool readData(RegValue& value, Span vk, std::uint32_t valueCell) {
    std::uint32_t lengthField = load32(vk, kVkDataLength);
    std::size_t length = lengthField & ~kDataInline;
    if (lengthField & kDataInline) {
      if (length > kMaxInlineData) {
        reportCell(valueCell, fmt::format("value \"{}\": {} bytes of data cannot sit in the value itself",
                                          wideToAnsi(value.name), length));
        return false;
      }
      value.data = std::vector<BYTE>(vk.begin() + kVkData, vk.begin() + kVkData + length);
      return true;
    }
    if (length == 0) return true;
    std::uint32_t at = load32(vk, kVkData);
    auto data = cell(at, "the value data");
    if (!data) return false;
    if (hive_.minorVersion >= kFirstBigDataMinor && length > kBigDataSegment && hasSignature(*data, "db"))
      return readBigData(value, *data, length, at);
    if (length > data->size()) {
      reportCell(valueCell, fmt::format("value \"{}\": {} bytes of data, its cell 0x{:x} holds {}",
                                        wideToAnsi(value.name), length, at, data->size()));
      return false;
    }
    if (file_)
      value.data = ValueData(data->first(length), file_);
    else
      value.data = std::vector<BYTE>(data->begin(), data->begin() + length);
    return true;
  }

  bool readBigData(RegValue& value, Span db, std::size_t length, std::uint32_t dbCell) {
    std::size_t segments = db.size() >= 8 ? load16(db, kDbSegmentCount) : 0;
    std::size_t needed = (length + kBigDataSegment - 1) / kBigDataSegment;
    if (segments < needed) {
      reportCell(dbCell, fmt::format("value \"{}\": {} bytes need {} segments, the big data cell has {}",
                                     wideToAnsi(value.name), length, needed, segments));
      return false;
    }
    std::uint32_t listAt = load32(db, kDbSegmentList);
    auto list = cell(listAt, "the big data segment list");
    if (!list) return false;
    if (list->size() / 4 < needed) {
      reportCell(listAt, fmt::format("value \"{}\": the segment list holds {} of {} segments",
                                     wideToAnsi(value.name), list->size() / 4, needed));
      return false;
    }
    // Segments lie apart in the file: their bytes are gathered into one.
    std::vector<BYTE> gathered;
    gathered.reserve(length);
    for (std::size_t i = 0; i < needed; ++i) {
      std::uint32_t segmentAt = load32(*list, 4 * i);
      auto segment = cell(segmentAt, "a big data segment");
      std::size_t take = std::min(kBigDataSegment, length - gathered.size());
      if (!segment) return false;
      if (segment->size() < take) {
        reportCell(segmentAt, fmt::format("value \"{}\": segment {} holds {} of {} bytes", wideToAnsi(value.name),
                                          i, segment->size(), take));
        return false;
      }
      gathered.insert(gathered.end(), segment->begin(), segment->begin() + take);
    }
    value.data = std::move(gathered);
    return true;
  }

  // Gathers the key cells a subkey list names; an "ri" list may name leaf
  // lists only, so that lists cannot nest without end. False when the list
  // itself cannot be read.
  bool collectSubkeys(std::uint32_t at, bool insideIndex, std::vector<SubkeyRef>& out) {
    auto data = cell(at, "the subkey list");
    if (!data) return false;
    Span list = *data;
    if (list.size() < kListEntries) {
      reportCell(at, "the subkey list is too short");
      return false;
    }
    std::size_t count = load16(list, kListCount);
    bool hashed = hasSignature(list, "lh") || hasSignature(list, "lf");
    bool plain = hasSignature(list, "li");
    bool index = hasSignature(list, "ri");
    if (!hashed && !plain && !index) {
      reportCell(at, fmt::format("expected a subkey list (\"lf\", \"lh\", \"li\", \"ri\"), found \"{}\"",
                                 signatureText(list)));
      return false;
    }
    if (index && insideIndex) {
      reportCell(at, "an index list (\"ri\") inside another one is left out");
      return false;
    }
    std::size_t entrySize = hashed ? 8 : 4;
    std::size_t room = (list.size() - kListEntries) / entrySize;
    if (count > room) {
      reportCell(at, fmt::format("the subkey list counts {} entries, its cell holds {}", count, room));
      count = room;
    }
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t entry = kListEntries + i * entrySize;
      std::uint32_t target = load32(list, entry);
      if (index) {
        collectSubkeys(target, true, out);
      } else {
        std::optional<std::uint32_t> hash;
        if (hasSignature(list, "lh")) hash = load32(list, entry + 4);
        out.push_back(SubkeyRef{target, hash});
      }
    }
    return true;
  }

  Span bytes_;
  std::string fileName_;
  std::shared_ptr<const void> file_;
  KeySource* onDemand_ = nullptr;
  std::function<void(std::size_t, std::size_t)> releasePages_;
  std::vector<std::uint64_t> lastUse_;  // by stretch; 0 for one not held
  std::uint64_t useClock_ = 0;
  std::size_t heldCount_ = 0;
  bool keepValues_ = true;
  std::uint32_t dataSize_ = 0;
  std::vector<Bin> bins_;
  CellMarks used_;
  std::unordered_map<std::uint32_t, KeySecurity> security_;
  struct ReadKey {
    KeyNode* key;
    int depth;
  };
  std::unordered_map<std::uint32_t, ReadKey> keysRead_;
  std::vector<std::uint32_t> readOrder_;
  std::vector<std::u16string> path_;
  RegfHive hive_;
};


bool looksLikeRegf(std::span<const std::uint8_t> bytes) { return hasSignature(bytes, kFileSignature); }

RegfHive readRegfHive(std::span<const std::uint8_t> bytes, const std::string& fileName) {
  return RegfReader(bytes, fileName).read();
}

RegfHive checkRegfHive(std::span<const std::uint8_t> bytes, const std::string& fileName) {
  RegfReader reader(bytes, fileName);
  reader.keepNoValues();
  return reader.read();
}

RegfSource::RegfSource() = default;
RegfSource::~RegfSource() = default;

std::shared_ptr<RegfSource> RegfSource::open(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> file,
                                             const std::string& fileName, RegfHive& opened,
                                             const std::function<void(std::size_t, std::size_t)>& releasePages) {
  auto source = std::make_shared<RegfSource>();
  source->bytes_ = bytes;
  source->reader_ = std::make_unique<RegfReader>(bytes, fileName, std::move(file), source.get());
  bool sound = false;
  try {
    sound = source->reader_->openOnDemand(releasePages);
  } catch (const HiveFormatError&) {
    // The whole read says why.
  }
  if (!sound) {
    // The root read so far waits on this source: dropped with the reader,
    // or the two would keep each other.
    source->reader_.reset();
    return nullptr;
  }
  opened = source->reader_->takeOpened();
  return source;
}

void RegfSource::readSubkeys(KeyNode& key, std::uint32_t record, int depth) {
  for (auto& child : reader_->subkeysOf(key, record, depth)) giveSubkey(key, std::move(child));
  if (reader_->statistics().problems != 0) damaged_.store(true, std::memory_order_release);
}

void RegfSource::readValues(KeyNode& key, std::uint32_t record, int depth) {
  for (auto& value : reader_->valuesOf(key, record, depth)) giveValue(key, std::move(value));
  if (reader_->statistics().problems != 0) damaged_.store(true, std::memory_order_release);
}

void RegfSource::forget(std::span<const std::uint32_t> records, std::size_t values) {
  reader_->forget(records, values);
}

RegfStatistics RegfSource::statistics() {
  std::lock_guard lock(mutex());
  return reader_->statistics();
}

std::vector<std::string> RegfSource::damageSoFar() {
  std::lock_guard lock(mutex());
  return reader_->damage();
}

}  // namespace talmoor::platform

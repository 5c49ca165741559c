#include "platform/registry/wine_text_format.h"

#include <fmt/format.h>
#include <utf8.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRelativeToPrefix = ";; All keys relative to ";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

constexpr std::uint64_t kUnixEpochAsFiletime = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// Hex data lines are broken once this many characters are on the line.
constexpr std::size_t kHexWrapColumn = 76;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isOctalDigit(char16_t c) { return c >= u'0' && c <= u'7'; }

bool isHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

constexpr std::array<signed char, 256> kHexValues = [] {
  std::array<signed char, 256> table{};
  table.fill(-1);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<signed char>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<signed char>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<signed char>(c - 'A' + 10);
  return table;
}();

int hexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

std::size_t skipBlanks(std::string_view s, std::size_t pos) {
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  return pos;
}

// Text written as it stands on a line: no control characters.
bool isPlainSetting(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool onlyBlanksFrom(std::string_view s, std::size_t pos) { return skipBlanks(s, pos) == s.size(); }

// Reads up to maxDigits hex digits at pos; returns how many were read.
std::size_t readHexNumber(std::string_view s, std::size_t& pos, std::size_t maxDigits, std::uint64_t& value) {
  std::size_t n = 0;
  value = 0;
  while (pos < s.size() && n < maxDigits) {
    int digit = hexValue(s[pos]);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
    ++pos;
    ++n;
  }
  return n;
}

// The letter escapes of the format.
constexpr std::array<std::pair<char16_t, char>, 8> kLetterEscapes{
    {{0x07, 'a'}, {0x08, 'b'}, {0x09, 't'}, {0x0A, 'n'}, {0x0B, 'v'}, {0x0C, 'f'}, {0x0D, 'r'}, {0x1B, 'e'}}};

char controlLetter(char16_t c) {
  for (auto [control, letter] : kLetterEscapes)
    if (control == c) return letter;
  return 0;
}

char16_t controlFromLetter(char c) {
  for (auto [control, letter] : kLetterEscapes)
    if (letter == c) return control;
  return 0;
}

// ---------------------------------------------------------------------------
// Reading

// The keys of one file are made together and nearly all live as long as the
// hive: their records (with their shared-pointer counts) are carved from a
// few large blocks instead of being allocated one by one. Each key holds the
// blocks through its allocator, so they go when the last key made from them
// goes; the room of a key deleted before then is not reused.
class KeyBlocks {
 public:
  void* allocate(std::size_t size, std::size_t alignment) {
    std::size_t at = (used_ + alignment - 1) & ~(alignment - 1);
    if (blocks_.empty() || at + size > blockSize_) {
      // Each block twice the last, up to a limit: a small file takes little
      // room, a large one few blocks.
      if (!blocks_.empty()) blockSize_ = std::min(blockSize_ * 2, kLargestBlock);
      blockSize_ = std::max(blockSize_, size);
      blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(blockSize_));
      at = 0;
    }
    used_ = at + size;
    return blocks_.back().get() + at;
  }

 private:
  static constexpr std::size_t kLargestBlock = 1 << 20;
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::size_t blockSize_ = 8 * 1024;
  std::size_t used_ = 0;
};

template <class T>
struct KeyBlockAllocator {
  using value_type = T;
  std::shared_ptr<KeyBlocks> blocks;

  explicit KeyBlockAllocator(std::shared_ptr<KeyBlocks> from) : blocks(std::move(from)) {}
  template <class U>
  KeyBlockAllocator(const KeyBlockAllocator<U>& other) : blocks(other.blocks) {}
  T* allocate(std::size_t n) { return static_cast<T*>(blocks->allocate(n * sizeof(T), alignof(T))); }
  void deallocate(T*, std::size_t) {}
  template <class U>
  bool operator==(const KeyBlockAllocator<U>& other) const {
    return blocks == other.blocks;
  }
};

// A backslash in a decoded key path: its place there, and where in the line
// the "\\\\" that wrote it ends (0 when it was written another way).
struct Separator {
  std::size_t at = 0;
  std::size_t rawEnd = 0;
};

class WineTextReader {
 public:
  WineTextReader(std::string_view text, const std::string& fileName) : text_(text), fileName_(fileName) {}

  WineHiveText read() {
    hive_.root = std::make_shared<KeyNode>(std::u16string());
    readHeader();
    while (nextLine()) {
      std::string_view line = line_.substr(skipBlanks(line_, 0));
      if (line.empty()) continue;
      switch (line.front()) {
        case ';':
          if (lineNo_ == 2 && line_.starts_with(kRelativeToPrefix)) readRelativeTo();
          break;
        case '[':
          readKeyLine(line);
          break;
        case '#':
          readOption(line);
          break;
        case '"':
        case '@':
          readValueLine(line);
          break;
        default:
          fail("expected a key line \"[...]\", a value line or a comment");
      }
    }
    settleValues();
    return std::move(hive_);
  }

 private:
  [[noreturn]] void fail(std::string problem) const { throw HiveFormatError(fileName_, lineNo_, std::move(problem)); }

  // Moves to the next physical line (without its line end); false at the end.
  bool nextLine() {
    if (next_ >= text_.size()) return false;
    const char* start = text_.data() + next_;
    const auto* end = static_cast<const char*>(std::memchr(start, '\n', text_.size() - next_));
    std::size_t length = end ? static_cast<std::size_t>(end - start) : text_.size() - next_;
    line_ = std::string_view(start, length);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    next_ = end ? next_ + length + 1 : text_.size();
    ++lineNo_;
    return true;
  }

  void readHeader() {
    if (!nextLine()) {
      lineNo_ = 1;
      fail(fmt::format("expected \"{}\"", kHeader));
    }
    std::string_view first = line_;
    if (first.starts_with(kUtf8Bom)) first.remove_prefix(kUtf8Bom.size());
    while (!first.empty() && isBlank(first.back())) first.remove_suffix(1);
    if (first != kHeader) fail(fmt::format("expected \"{}\"", kHeader));
  }

  void readRelativeTo() {
    std::u16string path;
    readEscaped(line_, kRelativeToPrefix.size(), 0, path);
    hive_.relativeTo = std::move(path);
  }

  // Decodes escaped text from pos up to the unescaped `close` character,
  // appending it to `out`, and returns the position after it. With close 0
  // the text runs to the end of the line (a lone backslash at the end is
  // then taken as it stands). When `separators` is given, it receives every
  // backslash the text decodes to (key path separators), so that the path
  // need not be searched for them again.
  std::size_t readEscaped(std::string_view s, std::size_t pos, char close, std::u16string& out,
                          std::vector<Separator>* separators = nullptr) {
    auto unterminated = [&]() { fail(fmt::format("expected '{}' closing the text", close)); };
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    const auto stop = static_cast<unsigned char>(close);
    while (true) {
      if (pos >= s.size()) {
        if (close == 0) return pos;
        unterminated();
      }
      unsigned char byte = bytes[pos];
      if (close != 0 && byte == stop) return pos + 1;
      // Plain ASCII runs, the bulk of any file, are copied in one go.
      std::size_t run = plainRunEnd(bytes, pos, s.size(), stop);
      if (run > pos) {
        appendAscii(out, bytes + pos, run - pos);
        pos = run;
        continue;
      }
      if (byte >= 0x80) {
        readUtf8(s, pos, out);
        continue;
      }
      if (byte != '\\') {
        out.push_back(static_cast<char16_t>(byte));
        ++pos;
        continue;
      }
      ++pos;  // the backslash
      if (pos >= s.size()) {
        if (close == 0) {
          out.push_back(u'\\');
          return pos;
        }
        unterminated();
      }
      char e = s[pos];
      if (e == '\\') {
        // The escape of key path separators, by far the most common one.
        out.push_back(u'\\');
        ++pos;
        if (separators) separators->push_back({out.size() - 1, pos});
        continue;
      }
      if (char16_t control = controlFromLetter(e)) {
        out.push_back(control);
        ++pos;
      } else if (e == 'x') {
        ++pos;
        std::uint64_t value = 0;
        if (readHexNumber(s, pos, 4, value) == 0) fail("expected hex digits after \\x");
        out.push_back(static_cast<char16_t>(value));
      } else if (e >= '0' && e <= '7') {
        unsigned value = 0;
        for (int n = 0; n < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++n, ++pos)
          value = value * 8 + static_cast<unsigned>(s[pos] - '0');
        out.push_back(static_cast<char16_t>(value));
      } else if (static_cast<unsigned char>(e) >= 0x80) {
        readUtf8(s, pos, out);
        continue;
      } else {
        // Any other escaped character stands for itself: \\ \" \[ \] ...
        out.push_back(static_cast<char16_t>(e));
        ++pos;
      }
      // Runs and UTF-8 never decode to a backslash; numeric escapes may.
      if (separators && out.back() == u'\\') separators->push_back({out.size() - 1, 0});
    }
  }

  // Writes ASCII bytes as UTF-16LE, four at a time: each byte followed by
  // a zero byte.
  static void widenToLittleEndian(const unsigned char* from, std::size_t count, BYTE* to) {
    for (; count >= 4; count -= 4, from += 4, to += 8) {
      std::uint32_t four = 0;
      std::memcpy(&four, from, 4);
      std::uint64_t wide = four;
      wide = (wide | (wide << 16)) & 0x0000FFFF0000FFFFull;
      wide = (wide | (wide << 8)) & 0x00FF00FF00FF00FFull;
      if constexpr (std::endian::native == std::endian::big) wide = byteswap64(wide);
      std::memcpy(to, &wide, 8);
    }
    for (; count > 0; --count, to += 2) {
      to[0] = *from++;
      to[1] = 0;
    }
  }

  static std::uint64_t byteswap64(std::uint64_t v) {
    std::uint64_t out = 0;
    for (int i = 0; i < 8; ++i, v >>= 8) out = (out << 8) | (v & 0xFF);
    return out;
  }

  // Appends ASCII bytes as UTF-16 code units.
  static void appendAscii(std::u16string& out, const unsigned char* from, std::size_t count) {
    std::size_t had = out.size();
    out.resize(had + count);
    char16_t* to = out.data() + had;
    if constexpr (std::endian::native == std::endian::little) {
      widenToLittleEndian(from, count, reinterpret_cast<BYTE*>(to));
    } else {
      for (; count > 0; --count) *to++ = static_cast<char16_t>(*from++);
    }
  }

  // The end of the run from pos of bytes that stand for themselves: up to
  // the first `stop`, backslash or non-ASCII byte. Eight bytes are looked at
  // a time: a byte equal to one of those is found as a zero byte of the word
  // xor-ed with it, and the lowest flagged byte is always a true match (a
  // false one can only follow a true one). The first byte in memory is the
  // lowest only on little-endian machines; others take the bytes one by one.
  static std::size_t plainRunEnd(const unsigned char* bytes, std::size_t pos, std::size_t end, unsigned char stop) {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr std::uint64_t kOnes = 0x0101010101010101ull;
      constexpr std::uint64_t kHighs = 0x8080808080808080ull;
      const std::uint64_t stops = kOnes * stop;
      const std::uint64_t backslashes = kOnes * static_cast<unsigned char>('\\');
      while (pos + 8 <= end) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + pos, 8);
        std::uint64_t a = word ^ stops;
        std::uint64_t b = word ^ backslashes;
        std::uint64_t flagged = (((a - kOnes) & ~a) | ((b - kOnes) & ~b) | word) & kHighs;
        if (flagged) return pos + static_cast<std::size_t>(std::countr_zero(flagged) / 8);
        pos += 8;
      }
    }
    while (pos < end && bytes[pos] != stop && bytes[pos] != '\\' && bytes[pos] < 0x80) ++pos;
    return pos;
  }

  // Raw UTF-8 in the text: one character, as one or two UTF-16 code units.
  void readUtf8(std::string_view s, std::size_t& pos, std::u16string& out) {
    const char* it = s.data() + pos;
    const char* end = s.data() + s.size();
    char32_t cp = 0;
    try {
      cp = utf8::next(it, end);
    } catch (const utf8::exception&) {
      fail("expected UTF-8 text");
    }
    pos = static_cast<std::size_t>(it - s.data());
    appendUtf16(out, cp);
  }

  // The number of leading bytes two texts have in common.
  static std::size_t commonLength(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
      if (std::memcmp(a.data() + i, b.data() + i, 8) != 0) break;
    while (i < n && a[i] == b[i]) ++i;
    return i;
  }

  void readKeyLine(std::string_view line) {
    // The path's leading names that this line spells byte for byte as the
    // previous key line did, up to the end of a "\\\\" separator, decode
    // as they did then (nothing before a separator looks past it): that
    // part of path_ is kept, and their keys are pathKeys_.
    std::size_t from = 1;
    std::size_t keptNames = 0;
    std::size_t common = commonLength(line, previousKeyLine_);
    for (std::size_t i = 0; i < separators_.size() && separators_[i].rawEnd <= common; ++i)
      if (separators_[i].rawEnd != 0) keptNames = i + 1;
    if (keptNames > 0) {
      from = separators_[keptNames - 1].rawEnd;
      path_.resize(separators_[keptNames - 1].at + 1);
      separators_.resize(keptNames);
    } else {
      path_.clear();
      separators_.clear();
    }
    previousKeyLine_ = line;
    std::size_t pos = readEscaped(line, from, ']', path_, &separators_);
    pos = skipBlanks(line, pos);
    std::uint64_t filetime = 0;
    if (pos < line.size() && isDigit(line[pos])) {
      std::uint64_t seconds = 0;
      constexpr std::uint64_t kMaxSeconds =
          (std::numeric_limits<std::uint64_t>::max() - kUnixEpochAsFiletime) / kTicksPerSecond;
      while (pos < line.size() && isDigit(line[pos])) {
        seconds = seconds * 10 + static_cast<std::uint64_t>(line[pos] - '0');
        if (seconds > kMaxSeconds) fail("key time in seconds is out of range");
        ++pos;
      }
      filetime = kUnixEpochAsFiletime + seconds * kTicksPerSecond;
    }
    if (!onlyBlanksFrom(line, pos)) fail("expected the key's time in seconds after ']'");

    names_.clear();
    if (!path_.empty()) {
      std::size_t from = 0;
      for (std::size_t i = 0;; ++i) {
        std::size_t cut = i < separators_.size() ? separators_[i].at : path_.size();
        std::u16string_view name(path_.data() + from, cut - from);
        if (name.empty()) fail("expected a key name between '\\\\' separators of the key path");
        names_.push_back(name);
        if (names_.size() > kMaxKeyDepth) fail(fmt::format("key path deeper than {} levels", kMaxKeyDepth));
        if (cut == path_.size()) break;
        from = cut + 1;
      }
    }
    openKey(filetime, keptNames);
  }

  // upcaseUnit without the call for ASCII, which is nearly every name.
  static char16_t upcased(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    return upcaseUnit(c);
  }

  // Whether `name` upper-cases to `upper`, compared without making a copy.
  static bool upcasesTo(std::u16string_view name, std::u16string_view upper) {
    if (name.size() != upper.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
      if (upcased(name[i]) != upper[i]) return false;
    return true;
  }

  // namesEqual, with the same quick path.
  static bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i] && upcased(a[i]) != upcased(b[i])) return false;
    return true;
  }

  // Finds or creates the key of a key line, each new key put straight into
  // its parent's sorted list. Consecutive key lines mostly share a long
  // prefix, so the previous line's keys are kept and only the differing
  // tail is looked up; the first `shared` names are known to be the same.
  void openKey(std::uint64_t filetime, std::size_t shared) {
    settleValues();
    createdByLine_.clear();
    while (shared < names_.size() && shared < pathKeys_.size() &&
           upcasesTo(names_[shared], pathKeys_[shared]->upperName()))
      ++shared;
    pathKeys_.resize(shared);
    KeyNode* node = shared == 0 ? hive_.root.get() : pathKeys_.back();
    for (std::size_t i = shared; i < names_.size(); ++i) {
      upper_.assign(names_[i]);
      for (char16_t& c : upper_) c = upcased(c);
      // Files are written in order, so a name past the last subkey's is
      // nearly always a new one, known without a search.
      const SubkeyList& subkeys = node->subkeys();
      const std::shared_ptr<KeyNode>* found = nullptr;
      if (!subkeys.empty() && !(subkeys[subkeys.size() - 1]->upperName() < upper_)) found = subkeys.find(upper_);
      if (found) {
        node = found->get();
      } else {
        // Keys named only as part of a longer path take the time of the line
        // that brought them in (see the #time handling too).
        auto created = std::allocate_shared<KeyNode>(KeyBlockAllocator<KeyNode>(keyBlocks_), std::u16string(names_[i]));
        created->lastWrite = filetime;
        KeyNode* child = created.get();
        node->addSubkey(std::move(created));
        createdByLine_.push_back(child);
        node = child;
      }
      pathKeys_.push_back(node);
    }

    node->explicitLine = true;
    node->lastWrite = filetime;
    current_ = node;
  }

  void readOption(std::string_view line) {
    if (line.starts_with("#arch=")) {
      std::string_view arch = line.substr(6);
      if (!isPlainSetting(arch)) fail("expected printable text after #arch=");
      if (!current_) hive_.arch = std::string(arch);
      return;
    }
    if (!current_) return;  // key options before the first key have nothing to apply to
    if (line.starts_with("#time=")) {
      std::size_t pos = 6;
      std::uint64_t filetime = 0;
      std::size_t digits = readHexNumber(line, pos, 16, filetime);
      if (digits == 0 || !onlyBlanksFrom(line, pos)) fail("expected at most 16 hex digits after #time=");
      current_->lastWrite = filetime;
      for (KeyNode* created : createdByLine_) created->lastWrite = filetime;
    } else if (line.starts_with("#class=")) {
      if (line.size() < 8 || line[7] != '"') fail("expected '\"' after #class=");
      std::u16string className;
      std::size_t pos = readEscaped(line, 8, '"', className);
      if (!onlyBlanksFrom(line, pos)) fail("expected the end of the line after the class");
      current_->className = std::move(className);
    } else if (line.starts_with("#link") && onlyBlanksFrom(line, 5)) {
      current_->isLink = true;
    }
    // Other options are ignored.
  }

  void readValueLine(std::string_view line) {
    if (!current_) fail("expected a key line before the first value");
    name_.clear();
    std::size_t pos = 1;
    if (line.front() == '"') pos = readEscaped(line, 1, '"', name_);
    pos = skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') fail("expected '=' after the value name");
    pos = skipBlanks(line, pos + 1);
    std::string_view data = line.substr(pos);

    if (data.starts_with('"')) {
      addValue(REG_SZ, readStringData(data, 1));
    } else if (data.starts_with("str(")) {
      std::size_t at = 4;
      DWORD type = readTypeNumber(data, at);
      if (data.substr(at, 3) != "):\"") fail("expected \"):\\\"\" after the type of str(");
      addValue(type, readStringData(data, at + 3));
    } else if (data.starts_with("dword:")) {
      std::size_t at = 6;
      std::uint64_t value = 0;
      if (readHexNumber(data, at, 8, value) != 8 || (at < data.size() && hexValue(data[at]) >= 0) ||
          !onlyBlanksFrom(data, at))
        fail("expected 8 hex digits after dword:");
      std::vector<BYTE> bytes(4);
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
      addValue(REG_DWORD, std::move(bytes));
    } else if (data.starts_with("hex:")) {
      addValue(REG_BINARY, readHexList(data.substr(4)));
    } else if (data.starts_with("hex(")) {
      std::size_t at = 4;
      DWORD type = readTypeNumber(data, at);
      if (data.substr(at, 2) != "):") fail("expected \"):\" after the type of hex(");
      addValue(type, readHexList(data.substr(at + 2)));
    } else {
      fail("expected value data: \"...\", str(N):, dword: or hex:");
    }
  }

  DWORD readTypeNumber(std::string_view data, std::size_t& at) {
    std::uint64_t type = 0;
    std::size_t digits = readHexNumber(data, at, 9, type);
    if (digits == 0 || digits > 8) fail("expected a value type of 1 to 8 hex digits");
    return static_cast<DWORD>(type);
  }

  // A quoted string: the data is its UTF-16 text with the terminating zero.
  std::vector<BYTE> readStringData(std::string_view data, std::size_t pos) {
    // Most strings are plain ASCII: their bytes become the data as they are.
    const auto* plain = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t run = plainRunEnd(plain, pos, data.size(), '"');
    if (run < data.size() && data[run] == '"') {
      if (!onlyBlanksFrom(data, run + 1)) fail("expected the end of the line after the string");
      std::vector<BYTE> text((run - pos + 1) * 2);
      widenToLittleEndian(plain + pos, run - pos, text.data());
      return text;  // the last two bytes stay zero
    }
    stringText_.clear();
    pos = readEscaped(data, pos, '"', stringText_);
    if (!onlyBlanksFrom(data, pos)) fail("expected the end of the line after the string");
    std::vector<BYTE> bytes((stringText_.size() + 1) * 2);
    BYTE* to = bytes.data();
    for (char16_t c : stringText_) {
      *to++ = static_cast<BYTE>(c & 0xFF);
      *to++ = static_cast<BYTE>(c >> 8);
    }
    return bytes;  // the last two bytes stay zero
  }

  // Comma-separated bytes, which may go on over continuation lines: a
  // backslash at the end of a line, the next line's leading blanks skipped.
  std::vector<BYTE> readHexList(std::string_view rest) {
    hexBytes_.clear();
    bool needByte = false;  // after a comma
    std::size_t pos = 0;
    while (true) {
      // The usual "xx," after "xx," with nothing between, taken in one step;
      // anything else goes the general way below.
      if (needByte || hexBytes_.empty()) {
        while (pos + 3 <= rest.size() && rest[pos + 2] == ',') {
          int high = hexValue(rest[pos]);
          int low = hexValue(rest[pos + 1]);
          if (high < 0 || low < 0) break;
          hexBytes_.push_back(static_cast<BYTE>(high * 16 + low));
          pos += 3;
          needByte = true;
        }
      }
      pos = skipBlanks(rest, pos);
      if (pos < rest.size() && rest[pos] == '\\' && onlyBlanksFrom(rest, pos + 1)) {
        if (!nextLine()) fail("expected a continuation line, found the end of the file");
        rest = line_;
        pos = 0;
        continue;
      }
      if (pos >= rest.size()) {
        if (needByte) fail("expected two hex digits after ','");
        return std::vector<BYTE>(hexBytes_.begin(), hexBytes_.end());
      }
      if (!needByte && !hexBytes_.empty()) {
        if (rest[pos] != ',') fail("expected ',' between hex bytes");
        ++pos;
        needByte = true;
        continue;
      }
      int high = hexValue(rest[pos]);
      int low = pos + 1 < rest.size() ? hexValue(rest[pos + 1]) : -1;
      if (high < 0 || low < 0 || (pos + 2 < rest.size() && hexValue(rest[pos + 2]) >= 0))
        fail("expected two hex digits for each byte");
      hexBytes_.push_back(static_cast<BYTE>(high * 16 + low));
      pos += 2;
      needByte = false;
    }
  }

  // Adds the value named name_ to the current key; a name given again
  // replaces the data where the value stands. New values wait in pending_
  // until the key's lines end, so that the key's list is made once at its
  // full size.
  void addValue(DWORD type, std::vector<BYTE> data) {
    RegValue* same = nullptr;
    if (pending_.size() < kValueNamesFrom) {
      for (RegValue& value : pending_)
        if (sameName(value.name, name_)) {
          same = &value;
          break;
        }
    } else {
      valueNames_.catchUp(pending_);
      same = valueNames_.find(pending_, name_);
    }
    // Only a key given a second key line has values of its own by now.
    if (!same && !current_->values().empty()) same = current_->findValue(name_);
    if (same) {
      same->type = type;
      same->data = std::move(data);
      same->isVolatile = false;
      return;
    }
    pending_.push_back(RegValue{std::u16string(name_), type, std::move(data)});
  }

  // Gives the current key the values read for it since its key line.
  void settleValues() {
    if (!current_ || pending_.empty()) return;
    current_->reserveValues(current_->values().size() + pending_.size());
    for (RegValue& value : pending_) current_->appendValue(std::move(value));
    pending_.clear();
    valueNames_.clear();
  }

  // Below this many values a key's names are scanned; above, looked up.
  static constexpr std::size_t kValueNamesFrom = 16;

  // The names of the current key's new values, by a hash of their upper-cased
  // units, so that a key with thousands of values is read in linear time
  // and without an upper-cased copy of each name.
  class ValueNames {
   public:
    void clear() {
      slots_.clear();
      count_ = 0;
    }
    // Takes in the values added since the last call.
    void catchUp(const std::vector<RegValue>& values) {
      if ((values.size() + 1) * 2 > slots_.size()) {
        std::size_t size = 64;
        while (size < (values.size() + 1) * 4) size *= 2;
        slots_.assign(size, 0);
        count_ = 0;
      }
      for (; count_ < values.size(); ++count_) {
        std::size_t slot = slotOf(values, values[count_].name);
        slots_[slot] = static_cast<std::uint32_t>(count_ + 1);
      }
    }
    RegValue* find(std::vector<RegValue>& values, std::u16string_view name) const {
      std::uint32_t at = slots_[slotOf(values, name)];
      return at == 0 ? nullptr : &values[at - 1];
    }

   private:
    // The slot that holds the name, or the empty one where it would go.
    std::size_t slotOf(const std::vector<RegValue>& values, std::u16string_view name) const {
      std::uint64_t hash = 1469598103934665603ull;
      for (char16_t c : name) hash = (hash ^ upcased(c)) * 1099511628211ull;
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask)
        if (slots_[slot] == 0 || sameName(values[slots_[slot] - 1].name, name)) return slot;
    }

    std::vector<std::uint32_t> slots_;  // a value's index plus one; 0 is free
    std::size_t count_ = 0;             // values taken in so far
  };

  std::string_view text_;
  const std::string& fileName_;
  std::size_t next_ = 0;
  long lineNo_ = 0;
  std::string_view line_;

  WineHiveText hive_;
  // Where the file's keys are made (see KeyBlocks).
  std::shared_ptr<KeyBlocks> keyBlocks_ = std::make_shared<KeyBlocks>();
  // Keys are owned by the tree; these point into it.
  KeyNode* current_ = nullptr;
  // Keys the current key line created along its path (their time follows #time).
  std::vector<KeyNode*> createdByLine_;
  // The previous key line's keys, one for each name of its path.
  std::vector<KeyNode*> pathKeys_;
  // The current key's values not yet given to it (see addValue).
  std::vector<RegValue> pending_;
  ValueNames valueNames_;
  // Work space reused from line to line, so that reading allocates only
  // what the tree keeps.
  // The key path being read, with its separators (see readKeyLine), and the
  // previous key line.
  std::u16string path_;
  std::vector<Separator> separators_;
  std::string_view previousKeyLine_;
  std::vector<std::u16string_view> names_;
  std::u16string upper_;
  std::u16string name_;
  std::u16string stringText_;
  std::vector<BYTE> hexBytes_;
};

// ---------------------------------------------------------------------------
// Writing

// Escapes text as the format writes it: backslash and the given quote
// characters get a backslash, control characters a letter or octal escape,
// every code unit above 127 a \x escape of its own. Numeric escapes are
// zero-padded to full width when the next character would otherwise be read
// as part of them.
void appendEscaped(std::string& out, std::u16string_view text, std::string_view quotes) {
  auto sink = std::back_inserter(out);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    if (c > 127) {
      if (isHexDigit(next))
        fmt::format_to(sink, "\\x{:04x}", static_cast<unsigned>(c));
      else
        fmt::format_to(sink, "\\x{:x}", static_cast<unsigned>(c));
    } else if (c < 32) {
      if (char letter = controlLetter(c)) {
        out += '\\';
        out += letter;
      } else if (isOctalDigit(next)) {
        fmt::format_to(sink, "\\{:03o}", static_cast<unsigned>(c));
      } else {
        fmt::format_to(sink, "\\{:o}", static_cast<unsigned>(c));
      }
    } else {
      char ascii = static_cast<char>(c);
      if (ascii == '\\' || quotes.find(ascii) != std::string_view::npos) out += '\\';
      out += ascii;
    }
  }
}

// Where the text goes: kept whole, or handed on in pieces as it grows, so
// that a hive holding a value of hundreds of megabytes is not also held as
// three times as much text.
struct TextOut {
  static constexpr std::size_t kSpillSize = 1 << 20;
  std::string text;
  const WineTextSink* sink = nullptr;
  bool ok = true;

  void spillIfLarge() {
    if (sink && text.size() >= kSpillSize) spill();
  }
  void spill() {
    if (!sink || text.empty()) return;
    ok = ok && (*sink)(text);
    text.clear();
  }
};

// Appends the bytes as comma-separated hex, breaking the line as the format
// does: `column` is what the line held before the first byte; after each
// comma, once the line is longer than 76 characters, a backslash ends it and
// the next one starts with two blanks.
void appendHexBytes(TextOut& out, std::span<const BYTE> data, std::size_t column) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string& text = out.text;
  for (std::size_t i = 0; i < data.size(); ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
    column += 2;
    if (i + 1 < data.size()) {
      text += ',';
      if (++column > kHexWrapColumn) {
        text += "\\\n  ";
        column = 2;
        out.spillIfLarge();
      }
    }
  }
}

// Data the quoted forms can hold: UTF-16 with a final zero code unit.
bool isTerminatedString(std::span<const BYTE> data) {
  return data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0;
}

void appendValue(TextOut& sink, const RegValue& value) {
  std::string& out = sink.text;
  std::size_t lineStart = out.size();
  if (value.name.empty()) {
    out += "@=";
  } else {
    out += '"';
    appendEscaped(out, value.name, "\"");
    out += "\"=";
  }
  if (isStringType(value.type) && isTerminatedString(value.data)) {
    if (value.type == REG_EXPAND_SZ)
      out += "str(2):";
    else if (value.type == REG_MULTI_SZ)
      out += "str(7):";
    std::u16string text;
    text.reserve(value.data.size() / 2 - 1);
    for (std::size_t i = 0; i + 2 < value.data.size(); i += 2)
      text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
    out += '"';
    appendEscaped(out, text, "\"");
    out += "\"\n";
    return;
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    std::uint32_t dword = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                          (static_cast<std::uint32_t>(value.data[3]) << 24);
    fmt::format_to(std::back_inserter(out), "dword:{:08x}\n", dword);
    return;
  }
  if (value.type == REG_BINARY)
    out += "hex:";
  else
    fmt::format_to(std::back_inserter(out), "hex({:x}):", value.type);
  appendHexBytes(sink, value.data, out.size() - lineStart);
  sink.text += '\n';
}

void appendKeyLine(TextOut& sink, const KeyNode& key, std::string_view path) {
  std::string& out = sink.text;
  out += "\n[";
  out += path;
  fmt::format_to(std::back_inserter(out), "] {}\n#time={:x}\n", wineKeyLineSeconds(key.lastWrite), key.lastWrite);
  if (key.className) {
    out += "#class=\"";
    appendEscaped(out, *key.className, "\"");
    out += "\"\n";
  }
  if (key.isLink) out += "#link\n";
  for (const auto& value : key.values()) {
    if (value.isVolatile) continue;
    appendValue(sink, value);
    sink.spillIfLarge();
  }
}

// Writes a key and the keys below it, depth first, subkeys in Wine's order
// (lower-cased comparison). `path` is the key's escaped path; it is extended
// for each subkey and restored afterwards.
void appendKeyTree(TextOut& out, const KeyNode& key, std::string& path, bool isRoot) {
  std::vector<const KeyNode*> children;
  children.reserve(key.subkeys().size());
  // Hives mounted below this one are saved in their own files.
  const auto ownHive = key.hive();
  for (const auto& child : key.subkeys())
    if (!child->isVolatile && child->hive() == ownHive) children.push_back(child.get());
  std::stable_sort(children.begin(), children.end(),
                   [](const KeyNode* a, const KeyNode* b) { return compareNamesDowncased(a->name(), b->name()) < 0; });

  // A key only on the way to others is implied by their paths; the rest need
  // a line of their own. Volatile subkeys and values are not saved, so a key
  // whose subkeys are all volatile is written as a leaf: it must not vanish.
  bool savedValues =
      std::any_of(key.values().begin(), key.values().end(), [](const RegValue& v) { return !v.isVolatile; });
  bool ownLine =
      savedValues || key.className.has_value() || key.isLink || key.explicitLine || (!isRoot && children.empty());
  if (ownLine) appendKeyLine(out, key, path);

  for (const KeyNode* child : children) {
    const std::u16string& name = child->name();
    if (name.empty() || name.find(u'\\') != std::u16string::npos)
      throw std::invalid_argument(fmt::format(
          "a key named \"{}\" cannot be written: key names must be non-empty and without '\\'", wideToAnsi(name)));
    std::size_t keep = path.size();
    if (!isRoot) path += "\\\\";
    appendEscaped(path, name, "[]");
    appendKeyTree(out, *child, path, false);
    path.resize(keep);
  }
}

}  // namespace

WineHiveText parseWineRegistry(std::string_view text, const std::string& fileName) {
  return WineTextReader(text, fileName).read();
}

namespace {

void writeText(const WineHiveText& hive, TextOut& sink) {
  if (!isPlainSetting(hive.arch)) throw std::invalid_argument("the #arch setting cannot hold control characters");
  std::string& out = sink.text;
  out += kHeader;
  out += '\n';
  out += kRelativeToPrefix;
  appendEscaped(out, hive.relativeTo, "");
  out += '\n';
  if (!hive.arch.empty()) {
    out += "\n#arch=";
    out += hive.arch;
    out += '\n';
  }
  if (hive.root && !hive.root->isVolatile) {
    std::string path;
    appendKeyTree(sink, *hive.root, path, true);
  }
}

}  // namespace

std::string serializeWineRegistry(const WineHiveText& hive) {
  TextOut out;
  out.text.reserve(1 << 16);
  writeText(hive, out);
  return std::move(out.text);
}

bool writeWineRegistry(const WineHiveText& hive, const WineTextSink& sink) {
  TextOut out;
  out.sink = &sink;
  writeText(hive, out);
  out.spill();
  return out.ok;
}

std::uint64_t wineKeyLineSeconds(std::uint64_t filetime) {
  if (filetime < kUnixEpochAsFiletime) return 0;
  return (filetime - kUnixEpochAsFiletime) / kTicksPerSecond;
}

}  // namespace talmoor::platform

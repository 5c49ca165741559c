#include "platform/registry/wine_text_format.h"

#include <fmt/format.h>
#include <utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>
#include <span>
#include <stdexcept>
#include <unordered_map>
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

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

std::vector<BYTE> utf16Bytes(std::u16string_view text, bool terminate) {
  std::vector<BYTE> data;
  data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    data.push_back(static_cast<BYTE>(c & 0xFF));
    data.push_back(static_cast<BYTE>(c >> 8));
  }
  if (terminate) data.insert(data.end(), {0, 0});
  return data;
}

// ---------------------------------------------------------------------------
// Reading

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
    attachSubkeys();
    return std::move(hive_);
  }

 private:
  [[noreturn]] void fail(std::string problem) const { throw HiveFormatError(fileName_, lineNo_, std::move(problem)); }

  // Moves to the next physical line (without its line end); false at the end.
  bool nextLine() {
    if (next_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', next_);
    std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    line_ = text_.substr(next_, stop - next_);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    next_ = end == std::string_view::npos ? text_.size() : end + 1;
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

  // Decodes escaped text from pos up to the unescaped `close` character and
  // returns the position after it. With close 0 the text runs to the end of
  // the line (a lone backslash at the end is then taken as it stands).
  std::size_t readEscaped(std::string_view s, std::size_t pos, char close, std::u16string& out) {
    auto unterminated = [&]() { fail(fmt::format("expected '{}' closing the text", close)); };
    while (true) {
      if (pos >= s.size()) {
        if (close == 0) return pos;
        unterminated();
      }
      char c = s[pos];
      if (close != 0 && c == close) return pos + 1;
      // Plain ASCII runs, the bulk of any file, are copied in one go.
      std::size_t run = pos;
      while (run < s.size() && s[run] != close && s[run] != '\\' && static_cast<unsigned char>(s[run]) < 0x80) ++run;
      if (run > pos) {
        std::size_t had = out.size();
        out.resize(had + (run - pos));
        for (std::size_t k = 0; pos < run; ++k, ++pos)
          out[had + k] = static_cast<char16_t>(static_cast<unsigned char>(s[pos]));
        continue;
      }
      auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80) {
        readUtf8(s, pos, out);
        continue;
      }
      if (c != '\\') {
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
      } else {
        // Any other escaped character stands for itself: \\ \" \[ \] ...
        out.push_back(static_cast<char16_t>(e));
        ++pos;
      }
    }
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

  void readKeyLine(std::string_view line) {
    std::u16string path;
    std::size_t pos = readEscaped(line, 1, ']', path);
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

    std::vector<std::u16string_view> names;
    if (!path.empty()) {
      std::u16string_view rest = path;
      while (true) {
        std::size_t cut = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, cut);
        if (name.empty()) fail("expected a key name between '\\\\' separators of the key path");
        names.push_back(name);
        if (names.size() > kMaxKeyDepth) fail(fmt::format("key path deeper than {} levels", kMaxKeyDepth));
        if (cut == std::u16string_view::npos) break;
        rest.remove_prefix(cut + 1);
      }
    }
    openKey(names, filetime);
  }

  // Finds or creates the key of a key line. Consecutive key lines mostly share
  // a long prefix, so the previous line's path is kept and only the differing
  // tail is looked up.
  void openKey(const std::vector<std::u16string_view>& names, std::uint64_t filetime) {
    createdByLine_.clear();
    std::vector<std::u16string> upper;
    upper.reserve(names.size());
    for (auto name : names) upper.push_back(upcase(name));
    std::size_t shared = 0;
    while (shared < names.size() && shared < cachedUpper_.size() && cachedUpper_[shared] == upper[shared]) ++shared;
    cachedNodes_.resize(shared);
    std::shared_ptr<KeyNode> node = shared == 0 ? hive_.root : cachedNodes_.back();
    for (std::size_t i = shared; i < names.size(); ++i) {
      auto [it, created] = building_[node.get()].subkeys.try_emplace(upper[i]);
      if (created) {
        // Keys named only as part of a longer path take the time of the line
        // that brought them in (see the #time handling too).
        it->second = std::make_shared<KeyNode>(std::u16string(names[i]));
        it->second->lastWrite = filetime;
        createdByLine_.push_back(it->second);
      }
      node = it->second;
      cachedNodes_.push_back(node);
    }
    cachedUpper_ = std::move(upper);

    node->explicitLine = true;
    node->lastWrite = filetime;
    current_ = node;
  }

  // Hands every key its subkeys, each list in sorted order so that each
  // insertion lands at the end.
  void attachSubkeys() {
    std::vector<std::shared_ptr<KeyNode>> children;
    for (auto& [parent, building] : building_) {
      children.clear();
      for (auto& entry : building.subkeys) children.push_back(std::move(entry.second));
      std::sort(children.begin(), children.end(),
                [](const auto& a, const auto& b) { return a->upperName() < b->upperName(); });
      for (auto& child : children) parent->addSubkey(std::move(child));
    }
    building_.clear();
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
      for (auto& created : createdByLine_) created->lastWrite = filetime;
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
    std::u16string name;
    std::size_t pos = 1;
    if (line.front() == '"') pos = readEscaped(line, 1, '"', name);
    pos = skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') fail("expected '=' after the value name");
    pos = skipBlanks(line, pos + 1);
    std::string_view data = line.substr(pos);

    if (data.starts_with('"')) {
      addValue(std::move(name), REG_SZ, readStringData(data, 1));
    } else if (data.starts_with("str(")) {
      std::size_t at = 4;
      DWORD type = readTypeNumber(data, at);
      if (data.substr(at, 3) != "):\"") fail("expected \"):\\\"\" after the type of str(");
      addValue(std::move(name), type, readStringData(data, at + 3));
    } else if (data.starts_with("dword:")) {
      std::size_t at = 6;
      std::uint64_t value = 0;
      if (readHexNumber(data, at, 8, value) != 8 || (at < data.size() && hexValue(data[at]) >= 0) ||
          !onlyBlanksFrom(data, at))
        fail("expected 8 hex digits after dword:");
      std::vector<BYTE> bytes(4);
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
      addValue(std::move(name), REG_DWORD, std::move(bytes));
    } else if (data.starts_with("hex:")) {
      addValue(std::move(name), REG_BINARY, readHexList(data.substr(4)));
    } else if (data.starts_with("hex(")) {
      std::size_t at = 4;
      DWORD type = readTypeNumber(data, at);
      if (data.substr(at, 2) != "):") fail("expected \"):\" after the type of hex(");
      addValue(std::move(name), type, readHexList(data.substr(at + 2)));
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
    std::u16string text;
    pos = readEscaped(data, pos, '"', text);
    if (!onlyBlanksFrom(data, pos)) fail("expected the end of the line after the string");
    return utf16Bytes(text, true);
  }

  // Comma-separated bytes, which may go on over continuation lines: a
  // backslash at the end of a line, the next line's leading blanks skipped.
  std::vector<BYTE> readHexList(std::string_view rest) {
    std::vector<BYTE> bytes;
    bool needByte = false;  // after a comma
    std::size_t pos = 0;
    while (true) {
      pos = skipBlanks(rest, pos);
      if (pos < rest.size() && rest[pos] == '\\' && onlyBlanksFrom(rest, pos + 1)) {
        if (!nextLine()) fail("expected a continuation line, found the end of the file");
        rest = line_;
        pos = 0;
        continue;
      }
      if (pos >= rest.size()) {
        if (needByte) fail("expected two hex digits after ','");
        return bytes;
      }
      if (!needByte && !bytes.empty()) {
        if (rest[pos] != ',') fail("expected ',' between hex bytes");
        ++pos;
        needByte = true;
        continue;
      }
      int high = hexValue(rest[pos]);
      int low = pos + 1 < rest.size() ? hexValue(rest[pos + 1]) : -1;
      if (high < 0 || low < 0 || (pos + 2 < rest.size() && hexValue(rest[pos + 2]) >= 0))
        fail("expected two hex digits for each byte");
      bytes.push_back(static_cast<BYTE>(high * 16 + low));
      pos += 2;
      needByte = false;
    }
  }

  // Adds a value to the current key; a name given again replaces the data.
  void addValue(std::u16string name, DWORD type, std::vector<BYTE> data) {
    current_->setValue(name, type, std::move(data));
  }

  std::string_view text_;
  const std::string& fileName_;
  std::size_t next_ = 0;
  long lineNo_ = 0;
  std::string_view line_;

  WineHiveText hive_;
  std::shared_ptr<KeyNode> current_;
  // Keys the current key line created along its path (their time follows #time).
  std::vector<std::shared_ptr<KeyNode>> createdByLine_;
  // The previous key line's path: upper-cased names and their nodes.
  std::vector<std::u16string> cachedUpper_;
  std::vector<std::shared_ptr<KeyNode>> cachedNodes_;
  // The subkeys of each key by upper-cased name, given to the keys at the end,
  // all at once.
  struct KeyBuilding {
    std::unordered_map<std::u16string, std::shared_ptr<KeyNode>> subkeys;
  };
  std::unordered_map<KeyNode*, KeyBuilding> building_;
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

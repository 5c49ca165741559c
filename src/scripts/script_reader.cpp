#include "scripts/script_reader.h"

#include <span>

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/root_keys.h"
#include "scripts/file_failure.h"
#include "scripts/script_text.h"

namespace talmoor::scripts {

namespace {

constexpr const char* kSorry = "Sorry";
constexpr std::string_view kErrorImporting = "<Error Importing>";
// Large enough that reading costs little per byte, small enough that a
// script never needs much more memory than the value it is reading.
constexpr std::size_t kPieceSize = 64 * 1024;
// How much of an impossible key path its error row shows.
constexpr std::size_t kShownPathLength = 300;

bool startsWithByteOrderMark(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
}

// UTF-16LE bytes to ANSI. `carry` holds what a piece could not convert whole
// (an odd byte, the first half of a surrogate pair) until the next piece;
// with `last` it is converted as it is.
std::string wideToAnsiPiece(std::string& carry, std::string_view bytes, bool last) {
  carry.append(bytes);
  std::size_t whole = carry.size() & ~std::size_t{1};
  if (!last && whole >= 2) {
    auto high = static_cast<char16_t>(static_cast<unsigned char>(carry[whole - 2]) |
                                      static_cast<unsigned char>(carry[whole - 1]) << 8);
    if (high >= 0xD800 && high <= 0xDBFF) whole -= 2;
  }
  auto units = std::span(reinterpret_cast<const std::uint8_t*>(carry.data()), whole);
  std::string ansi = platform::wideToAnsi(platform::utf16FromBytes(units));
  carry.erase(0, last ? carry.size() : whole);
  return ansi;
}

// Script text in pieces, in order.
class TextSource {
 public:
  virtual ~TextSource() = default;
  // Appends the next piece to `out`; false once there is nothing more.
  virtual bool appendNext(std::string& out) = 0;
  // Whether the text ended because the file could not be read further.
  virtual bool failed() const = 0;
};

// Text held in memory, handed over whole.
class MemorySource : public TextSource {
 public:
  MemorySource(std::string_view text, bool cutShort) : text_(text), cutShort_(cutShort) {}
  bool appendNext(std::string& out) override {
    if (given_) return false;
    given_ = true;
    out.append(text_);
    return true;
  }
  bool failed() const override { return cutShort_; }

 private:
  std::string_view text_;
  bool cutShort_;
  bool given_ = false;
};

// A file read piece by piece; UTF-16 after the byte-order mark is turned into
// ANSI as it comes.
class FileSource : public TextSource {
 public:
  explicit FileSource(platform::FileReader& in) : in_(in) {}

  // Reads the first piece, which tells the encoding. False when the file
  // gives nothing at all (a folder, say): then failure() says why.
  bool start() {
    readRaw(first_);
    if (failed() && first_.empty()) return false;
    if (startsWithByteOrderMark(first_)) {
      wide_ = true;
      first_.erase(0, 2);
    }
    return true;
  }

  bool appendNext(std::string& out) override {
    std::string raw;
    bool more = true;
    if (!firstGiven_) {
      firstGiven_ = true;
      raw = std::move(first_);
      more = !ended_;
    } else {
      if (ended_) return false;
      more = readRaw(raw);
    }
    if (wide_) out += wideToAnsiPiece(carry_, raw, !more);
    else out += raw;
    return more || !raw.empty();
  }

  bool failed() const override { return failure_.code != 0; }
  const FileFailure& failure() const { return failure_; }

 private:
  // One piece of the file's bytes; false at the end of the file or on a read
  // failure.
  bool readRaw(std::string& raw) {
    if (!in_.read(raw, kPieceSize)) {
      ended_ = true;
      if (in_.error().failed()) failure_ = in_.error();
    }
    return !ended_;
  }

  platform::FileReader& in_;
  std::string first_;
  bool firstGiven_ = false;
  bool wide_ = false;
  bool ended_ = false;
  std::string carry_;
  FileFailure failure_;
};

struct Line {
  std::string_view text;  // without its end
  std::string_view end;   // CR LF, LF or CR; empty for a last line that has none
  std::size_t number = 0; // the header is line 1
};

// The lines of a script. A line is valid until the next one is asked for.
class Lines {
 public:
  explicit Lines(TextSource& source) : source_(source) {}

  std::optional<Line> next() {
    for (;;) {
      std::size_t stop = buffer_.find_first_of("\r\n", scanned_);
      if (stop == std::string::npos) {
        scanned_ = buffer_.size();
        if (more()) continue;
        if (at_ == buffer_.size()) return std::nullopt;
        // After a read failure the bytes end anywhere: a line without its
        // end cannot be trusted to be whole.
        if (source_.failed()) return std::nullopt;
        return take(buffer_.size(), 0);
      }
      if (buffer_[stop] == '\r' && stop + 1 == buffer_.size() && !ended_) {
        // Whether a LF follows is in the next piece.
        scanned_ = stop;
        more();
        continue;
      }
      std::size_t endLength = buffer_[stop] == '\r' && stop + 1 < buffer_.size() && buffer_[stop + 1] == '\n' ? 2 : 1;
      return take(stop, endLength);
    }
  }

  bool failed() const { return source_.failed(); }
  std::size_t lastNumber() const { return number_; }

 private:
  Line take(std::size_t stop, std::size_t endLength) {
    std::string_view all(buffer_);
    Line line{all.substr(at_, stop - at_), all.substr(stop, endLength), ++number_};
    at_ = scanned_ = stop + endLength;
    return line;
  }

  // Drops the lines handed out and appends the next piece.
  bool more() {
    if (ended_) return false;
    if (at_ > 0) {
      buffer_.erase(0, at_);
      scanned_ -= at_;
      at_ = 0;
    }
    if (!source_.appendNext(buffer_)) ended_ = true;
    return !ended_;
  }

  TextSource& source_;
  std::string buffer_;
  std::size_t at_ = 0;       // where the next line starts
  std::size_t scanned_ = 0;  // how far the search for its end got
  bool ended_ = false;
  std::size_t number_ = 0;
};

bool endsInContinuation(std::string_view line) {
  while (!line.empty() && (isBlank(line.back()) || line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return !line.empty() && line.back() == '\\';
}

bool endsInComma(std::string_view text) {
  text = trimBlanks(text);
  return !text.empty() && text.back() == ',';
}

std::vector<BYTE> errorImportingData() {
  std::vector<BYTE> data(kErrorImporting.begin(), kErrorImporting.end());
  data.push_back(0);
  return data;
}

// UTF-16LE string data as the ANSI calls would deliver it (an odd last byte
// is dropped, as those calls drop it).
std::vector<BYTE> ansiStringData(const std::vector<BYTE>& wide) {
  std::string ansi = platform::wideToAnsi(platform::utf16FromBytes(wide));
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

class Reader {
 public:
  Reader(TextSource& source, ScriptVisitor& visitor, std::string_view fileName)
      : lines_(source), visitor_(visitor), fileName_(fileName) {}

  ReadResult run() {
    auto header = lines_.next();
    if (!header) return finish(lines_.failed() ? readError() : ReadStatus::Empty);
    if (!header->text.starts_with(kHeaderRegedit4) && !header->text.starts_with(kHeaderVersion5)) {
      messageBox(fmt::format("The file '{}' does not appear to be a valid registry file.", fileName_),
                 "Cannot Import, unrecognised file format");
      return finish(ReadStatus::BadHeader, header->number);
    }
    wideStrings_ = header->text.starts_with(kHeaderVersion5);
    for (;;) {
      auto line = lines_.next();
      if (!line) {
        if (lines_.failed()) return finish(readError(), lines_.lastNumber());
        return finish(ReadStatus::Completed);
      }
      if (line->text.empty()) continue;
      std::optional<ReadStatus> stop = line->text.front() == '[' ? keyLine(*line) : valueLine(*line);
      if (stop) return finish(*stop, lines_.lastNumber());
    }
  }

 private:
  // How reading a value's data went.
  enum class Data { Whole, Damaged, CutShort, ReadFailed };

  ReadStatus readError() {
    messageBox("Error during File IO", "Sorry, load incomplete");
    return ReadStatus::ReadError;
  }

  // The end of the file in the middle of a line: nothing says what the line
  // would have held.
  ReadStatus endsMidLine(const Line& line) {
    messageBox(fmt::format("The file '{}' ends in the middle of line {}.", fileName_, line.number), kSorry);
    return ReadStatus::CutShort;
  }

  // The status for data that could not be read whole.
  ReadStatus stopFor(Data data) { return data == Data::ReadFailed ? ReadStatus::ReadError : ReadStatus::CutShort; }

  ReadResult finish(ReadStatus status, std::size_t line = 0) {
    result_.status = status;
    result_.line = line;
    return std::move(result_);
  }

  // Whether a key path has a name longer than a key's name may be (counted
  // in characters of the text, which is at least its UTF-16 length / 2).
  static bool hasOverlongName(std::string_view path) {
    for (std::size_t start = 0; start <= path.size();) {
      std::size_t end = path.find('\\', start);
      if (end == std::string_view::npos) end = path.size();
      std::size_t characters = 0;
      for (std::size_t i = start; i < end; ++i)
        if ((static_cast<unsigned char>(path[i]) & 0xC0) != 0x80) ++characters;
      if (characters > kMaxKeyNameLength) return true;
      start = end + 1;
    }
    return false;
  }

  std::optional<ReadStatus> keyLine(const Line& line) {
    if (line.end.empty() && line.text.find(']') == std::string_view::npos) return endsMidLine(line);
    KeyLineParts parts = splitKeyLine(line.text);
    if (hasOverlongName(parts.path)) {
      // No key can have such a name: its values are left out here, before
      // the path (it may be megabytes long) is copied into every row.
      keyPath_ = fmt::format("{}... ({} characters)", parts.path.substr(0, kShownPathLength), parts.path.size());
      root_ = 0;
      haveKey_ = false;
      addErrorLogRow(ERROR_INVALID_PARAMETER, keyPath_, "Read File - Key Name Longer Than 255 Characters", "",
                     kVerbositySilent);
      ++result_.counts.keys;
      ++result_.counts.entries;
      return std::nullopt;
    }
    keyPath_ = std::string(parts.path);
    root_ = registry::rootFromText(keyPath_);
    haveKey_ = true;
    bool goOn = visitor_.onKey(ScriptKey{keyPath_, parts.comment, root_});
    ++result_.counts.keys;
    ++result_.counts.entries;
    if (!goOn) return ReadStatus::Stopped;
    return std::nullopt;
  }

  std::optional<ReadStatus> valueLine(const Line& line) {
    auto parts = splitValueLine(line.text);
    if (!parts) {
      addErrorLogRow(ERROR_INVALID_PARAMETER, "Invalid Name or Data", "Read File - Invalid Value", "",
                     kVerbositySilent);
      return ReadStatus::InvalidLine;
    }
    ValueName name = parseValueName(parts->name);
    std::string_view data = trimLeadingBlanks(parts->data);

    // A value needs a key line, and one naming only a root needs a valid one.
    if (!haveKey_ || (root_ == 0 && keyPath_.find('\\') == std::string::npos)) {
      addErrorLogRow(ERROR_INVALID_PARAMETER, keyPath_, "Read File - Invalid Key",
                     name.text.empty() ? std::string_view(registry::kDefaultValueLabel) : std::string_view(name.text),
                     kVerbositySilent);
      ++result_.counts.refused;
      skipData(data, line);
      return std::nullopt;
    }

    ScriptValue value{keyPath_, root_, std::move(name.text), name.unnamed, 0, {}, false};
    if (data.starts_with('"')) {
      value.type = REG_SZ;
      Data read = quotedString(data, line, value.data);
      if (read != Data::Whole) return stopFor(read);
    } else if (auto number = parseDwordData(data)) {
      value.type = REG_DWORD;
      value.data = std::move(*number);
    } else if (auto hex = parseHexPrefix(data)) {
      value.type = hex->type;
      Data read = hexList(hex->rest, line, value.data);
      if (read == Data::CutShort || read == Data::ReadFailed) return stopFor(read);
      value.dataError = read == Data::Damaged;
      if (value.dataError) value.data = errorImportingData();
      // Version 5.00 files hold string data in hex form as UTF-16LE; the
      // program's string data is ANSI.
      else if (wideStrings_ && isStringType(value.type)) value.data = ansiStringData(value.data);
    } else if (line.end.empty()) {
      // "dwo", "hex(" and the like: the start of a form the file stops in.
      return endsMidLine(line);
    } else {
      messageBox("Unknown Registry Value Encountered, will not continue processing this file", kSorry);
      return ReadStatus::UnknownData;
    }

    bool goOn = visitor_.onValue(value);
    ++result_.counts.values;
    ++result_.counts.entries;
    if (!goOn) return ReadStatus::Stopped;
    return std::nullopt;
  }

  // The end of the file (or a read failure) where the entry needs another line.
  Data missingLine() { return lines_.failed() ? Data::ReadFailed : Data::CutShort; }

  // A quoted string, with the lines it runs over joined by their line ends.
  Data quotedString(std::string_view data, const Line& first, std::vector<BYTE>& out) {
    if (quotedStringComplete(data)) {
      out = quotedStringData(data);
      return Data::Whole;
    }
    std::string whole(data);
    std::string end(first.end);
    for (;;) {
      auto next = lines_.next();
      if (!next) {
        messageBox("Error Processing File, Incomplete value string or file corrupted.", kSorry);
        return missingLine();
      }
      whole += end;
      whole += next->text;
      end = next->end;
      if (quotedStringComplete(whole)) {
        out = quotedStringData(whole);
        return Data::Whole;
      }
    }
  }

  // A hex list and its continuation lines.
  Data hexList(std::string_view piece, const Line& first, std::vector<BYTE>& out) {
    bool lastLine = first.end.empty();
    for (;;) {
      HexPiece result = parseHexPiece(piece, out);
      if (result == HexPiece::End) return Data::Whole;
      if (result == HexPiece::MissingToken) {
        // A list that ends in a comma at the end of the file was cut there.
        if (lastLine && endsInComma(piece)) {
          messageBox("Error Reading File during Conversion of Hex Data", kSorry);
          return Data::CutShort;
        }
        messageBox("Error Reading Binary Entry", kSorry);
        // The rest of the list is passed over, so reading goes on after it.
        while (endsInContinuation(piece)) {
          auto next = lines_.next();
          if (!next || next->text.empty()) break;
          piece = next->text;
        }
        return Data::Damaged;
      }
      auto next = lines_.next();
      if (!next) {
        messageBox("Error Reading File during Conversion of Hex Data", kSorry);
        return missingLine();
      }
      if (next->text.empty()) return Data::Whole;  // an empty line ends the list
      piece = next->text;
      lastLine = next->end.empty();
    }
  }

  // Passes over a skipped value's data, continuation lines included.
  void skipData(std::string_view data, const Line& first) {
    if (data.starts_with('"')) {
      if (quotedStringComplete(data)) return;
      std::string whole(data);
      std::string end(first.end);
      while (auto next = lines_.next()) {
        whole += end;
        whole += next->text;
        end = next->end;
        if (quotedStringComplete(whole)) return;
      }
    } else if (parseHexPrefix(data)) {
      std::string_view piece = data;
      while (endsInContinuation(piece)) {
        auto next = lines_.next();
        if (!next || next->text.empty()) return;
        piece = next->text;
      }
    }
  }

  Lines lines_;
  ScriptVisitor& visitor_;
  std::string_view fileName_;
  ReadResult result_;
  bool wideStrings_ = false;
  bool haveKey_ = false;
  std::string keyPath_;
  HKEY root_ = 0;
};

ReadResult refusal(const std::filesystem::path& file, const FileFailure& failure) {
  messageBox(fmt::format("Cannot open the file '{}' for reading. {}", file.string(), failure.reason), kSorry);
  ReadResult result;
  result.status = failure.code == ERROR_FILE_NOT_FOUND || failure.code == ERROR_PATH_NOT_FOUND
                      ? ReadStatus::NotFound
                      : ReadStatus::CannotOpen;
  result.error = failure.code;
  result.reason = failure.reason;
  return result;
}

}  // namespace

std::string_view scriptText(std::string_view bytes, std::string& converted) {
  if (!startsWithByteOrderMark(bytes)) return bytes;
  std::string carry;
  converted = wideToAnsiPiece(carry, bytes.substr(2), true);
  return converted;
}

ReadResult readScript(std::string_view bytes, ScriptVisitor& visitor, std::string_view fileName, bool cutShort) {
  std::string converted;
  MemorySource source(scriptText(bytes, converted), cutShort);
  return Reader(source, visitor, fileName).run();
}

ReadResult readScriptFile(const std::filesystem::path& file, ScriptVisitor& visitor) {
  // Opened for reading only: a missing file stays missing.
  platform::FileReader in;
  if (!in.open(file)) return refusal(file, in.error());
  FileSource source(in);
  if (!source.start()) return refusal(file, source.failure());
  std::string name = file.string();
  ReadResult result = Reader(source, visitor, name).run();
  if (result.status == ReadStatus::ReadError) {
    result.error = source.failure().code;
    result.reason = source.failure().reason;
  }
  return result;
}

std::optional<std::size_t> countKeyLines(const std::filesystem::path& file) {
  // A pipe was read already; opening it again would wait for another writer.
  if (platform::fileKind(file) != platform::FileKind::Regular) return std::nullopt;
  platform::FileReader in;
  if (!in.open(file)) return std::nullopt;
  FileSource source(in);
  if (!source.start()) return std::nullopt;
  Lines lines(source);
  std::size_t keys = 0;
  while (auto line = lines.next())
    if (line->text.starts_with('[')) ++keys;
  return keys;
}

}  // namespace talmoor::scripts

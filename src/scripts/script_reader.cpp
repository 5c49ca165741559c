#include "scripts/script_reader.h"

#include <cerrno>
#include <fstream>
#include <span>

#include <fmt/format.h>

#include "app/error_reporting.h"
#include "app/interaction.h"
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

// The lines of a script, each without its CR LF. Lines follow each other in
// the text, so lines joined by CR LF are one view of it.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  std::optional<std::string_view> next() {
    if (at_ >= text_.size()) return std::nullopt;
    std::size_t end = text_.find(kCrLf, at_);
    std::string_view line;
    if (end == std::string_view::npos) {
      line = text_.substr(at_);
      at_ = text_.size();
    } else {
      line = text_.substr(at_, end - at_);
      at_ = end + kCrLf.size();
    }
    return line;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// From the start of `first` to the end of `last`, the CR LFs between included.
std::string_view joined(std::string_view first, std::string_view last) {
  return {first.data(), static_cast<std::size_t>(last.data() + last.size() - first.data())};
}

bool endsInContinuation(std::string_view line) {
  while (!line.empty() && (isBlank(line.back()) || line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return !line.empty() && line.back() == '\\';
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
  Reader(std::string_view text, ScriptVisitor& visitor, std::string_view fileName, bool cutShort)
      : lines_(text), visitor_(visitor), fileName_(fileName), cutShort_(cutShort) {}

  ReadResult run() {
    auto header = lines_.next();
    if (!header) return finish(cutShort_ ? readError() : ReadStatus::Empty);
    if (!header->starts_with(kHeaderRegedit4) && !header->starts_with(kHeaderVersion5)) {
      messageBox(fmt::format("The file '{}' does not appear to be a valid registry file.", fileName_),
                 "Cannot Import, unrecognised file format");
      return finish(ReadStatus::BadHeader);
    }
    wideStrings_ = header->starts_with(kHeaderVersion5);
    for (;;) {
      auto line = lines_.next();
      if (!line) return finish(cutShort_ ? readError() : ReadStatus::Completed);
      if (line->empty()) continue;
      std::optional<ReadStatus> stop = line->front() == '[' ? keyLine(*line) : valueLine(*line);
      if (stop) return finish(*stop);
    }
  }

 private:
  ReadStatus readError() {
    messageBox("Error during File IO", "Sorry, load incomplete");
    return ReadStatus::ReadError;
  }

  ReadResult finish(ReadStatus status) {
    result_.status = status;
    return std::move(result_);
  }

  std::optional<ReadStatus> keyLine(std::string_view line) {
    KeyLineParts parts = splitKeyLine(line);
    keyPath_ = parts.path;
    root_ = registry::rootFromText(keyPath_);
    haveKey_ = true;
    bool goOn = visitor_.onKey(ScriptKey{keyPath_, parts.comment, root_});
    ++result_.counts.keys;
    ++result_.counts.entries;
    if (!goOn) return ReadStatus::Stopped;
    return std::nullopt;
  }

  std::optional<ReadStatus> valueLine(std::string_view line) {
    auto parts = splitValueLine(line);
    if (!parts) {
      addErrorLogRow(ERROR_INVALID_PARAMETER, "Invalid Name or Data", "Read File - Invalid Value", "",
                     kVerbositySilent);
      return ReadStatus::InvalidLine;
    }
    ValueName name = parseValueName(parts->name);
    std::string_view data = trimLeadingBlanks(parts->data);

    // A value needs a key line, and one naming only a root needs a valid one.
    if (!haveKey_ || (root_ == 0 && keyPath_.find('\\') == std::string_view::npos)) {
      addErrorLogRow(ERROR_INVALID_PARAMETER, keyPath_, "Read File - Invalid Key",
                     name.text.empty() ? std::string_view(registry::kDefaultValueLabel) : std::string_view(name.text),
                     kVerbositySilent);
      skipData(data);
      return std::nullopt;
    }

    ScriptValue value{keyPath_, root_, std::move(name.text), name.unnamed, 0, {}, false};
    if (data.starts_with('"')) {
      value.type = REG_SZ;
      value.data = quotedString(data);
    } else if (auto number = parseDwordData(data)) {
      value.type = REG_DWORD;
      value.data = std::move(*number);
    } else if (auto hex = parseHexPrefix(data)) {
      value.type = hex->type;
      value.dataError = !hexList(hex->rest, value.data);
      if (value.dataError) value.data = errorImportingData();
      // Version 5.00 files hold string data in hex form as UTF-16LE; the
      // program's string data is ANSI.
      else if (wideStrings_ && isStringType(value.type)) value.data = ansiStringData(value.data);
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

  // A quoted string, with the lines it runs over joined by CR LF.
  std::vector<BYTE> quotedString(std::string_view data) {
    std::string_view whole = data;
    while (!quotedStringComplete(whole)) {
      auto next = lines_.next();
      if (!next) {
        messageBox("Error Processing File, Incomplete value string or file corrupted.", kSorry);
        break;
      }
      whole = joined(data, *next);
    }
    return quotedStringData(whole);
  }

  // A hex list and its continuation lines; false when it could not be read.
  bool hexList(std::string_view piece, std::vector<BYTE>& out) {
    for (;;) {
      HexPiece result = parseHexPiece(piece, out);
      if (result == HexPiece::End) return true;
      if (result == HexPiece::MissingToken) {
        messageBox("Error Reading Binary Entry", kSorry);
        // The rest of the list is passed over, so reading goes on after it.
        while (endsInContinuation(piece)) {
          auto next = lines_.next();
          if (!next || next->empty()) break;
          piece = *next;
        }
        return false;
      }
      auto next = lines_.next();
      if (!next) {
        messageBox("Error Reading File during Conversion of Hex Data", kSorry);
        return false;
      }
      if (next->empty()) return true;  // an empty line ends the list
      piece = *next;
    }
  }

  // Passes over a skipped value's data, continuation lines included.
  void skipData(std::string_view data) {
    if (data.starts_with('"')) {
      std::string_view whole = data;
      while (!quotedStringComplete(whole)) {
        auto next = lines_.next();
        if (!next) return;
        whole = joined(data, *next);
      }
    } else if (parseHexPrefix(data)) {
      std::string_view piece = data;
      while (endsInContinuation(piece)) {
        auto next = lines_.next();
        if (!next || next->empty()) return;
        piece = *next;
      }
    }
  }

  Lines lines_;
  ScriptVisitor& visitor_;
  std::string_view fileName_;
  bool cutShort_;
  ReadResult result_;
  bool wideStrings_ = false;
  bool haveKey_ = false;
  std::string_view keyPath_;
  HKEY root_ = 0;
};

}  // namespace

std::string_view scriptText(std::string_view bytes, std::string& converted) {
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
  auto units = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
  converted = platform::wideToAnsi(platform::utf16FromBytes(units));
  return converted;
}

ReadResult readScript(std::string_view bytes, ScriptVisitor& visitor, std::string_view fileName, bool cutShort) {
  std::string converted;
  return Reader(scriptText(bytes, converted), visitor, fileName, cutShort).run();
}

ReadResult readScriptFile(const std::filesystem::path& file, ScriptVisitor& visitor) {
  auto refuse = [&](const FileFailure& failure) {
    messageBox(fmt::format("Cannot open the file '{}' for reading. {}", file.string(), failure.reason), kSorry);
    ReadResult result;
    result.status = failure.code == ERROR_FILE_NOT_FOUND || failure.code == ERROR_PATH_NOT_FOUND
                        ? ReadStatus::NotFound
                        : ReadStatus::CannotOpen;
    result.error = failure.code;
    result.reason = failure.reason;
    return result;
  };

  // Opened for reading only: a missing file stays missing.
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return refuse(fileFailureFromErrno(errno, ERROR_ACCESS_DENIED, file));

  std::string bytes;
  std::error_code sizeError;
  auto size = std::filesystem::file_size(file, sizeError);
  if (!sizeError) bytes.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  FileFailure readFailure;
  for (;;) {
    errno = 0;
    in.read(buffer, sizeof buffer);
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
      readFailure = fileFailureFromErrno(errno, ERROR_ACCESS_DENIED);
      break;
    }
    if (!in) break;  // the end of the file
  }
  // A file that gives nothing at all (a folder, say) cannot be opened for us.
  if (readFailure.code != 0 && bytes.empty()) return refuse(readFailure);

  ReadResult result = readScript(bytes, visitor, file.string(), readFailure.code != 0);
  if (result.status == ReadStatus::ReadError) {
    result.error = readFailure.code;
    result.reason = readFailure.reason;
  }
  return result;
}

}  // namespace talmoor::scripts

#include "scripts/script_text.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::scripts {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Blanks inside a hex list: what a "%x" conversion would skip.
bool isListBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t skipListBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && isListBlank(text[at])) ++at;
  return at;
}

// 1 to 8 hexadecimal digits and nothing but blanks after them.
std::optional<DWORD> parseHexNumber(std::string_view text) {
  text = trimBlanks(text);
  if (text.empty()) return std::nullopt;
  DWORD value = 0;
  std::size_t significant = 0;
  for (char c : text) {
    int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (significant > 0 || digit != 0) ++significant;
    if (significant > 8) return std::nullopt;
    value = (value << 4) | static_cast<DWORD>(digit);
  }
  return value;
}

std::size_t trailingBackslashes(std::string_view text) {
  std::size_t count = 0;
  while (count < text.size() && text[text.size() - 1 - count] == '\\') ++count;
  return count;
}

}  // namespace

std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    switch (c) {
      case '\0': return out;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      switch (text[i + 1]) {
        case '\\': out += '\\'; ++i; continue;
        case '"': out += '"'; ++i; continue;
        case 'r': out += '\r'; ++i; continue;
        case 'n': out += '\n'; ++i; continue;
        default: break;
      }
    }
    out += c;
  }
  return out;
}

std::string valueNamePart(std::string_view name) {
  if (name.empty()) return "@";
  return "\"" + escapeText(name) + "\"";
}

bool isPlainText(std::span<const BYTE> data) {
  if (data.size() < 2 || data.front() == 0 || data.back() != 0) return false;
  return std::none_of(data.begin(), data.end() - 1, [](BYTE b) { return b == 0 || (b >= 1 && b <= 8) || b >= 248; });
}

std::string hexPrefix(DWORD type) { return type == REG_BINARY ? "hex:" : fmt::format("hex({:x}):", type); }

void appendHexList(std::string& out, std::span<const BYTE> data, std::size_t startColumn) {
  out.reserve(out.size() + data.size() * 3 + data.size() / 8 + 4);
  std::size_t lineLength = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (lineLength > 0) {
      out += ',';
      ++lineLength;
    }
    out += kHexDigits[data[i] >> 4];
    out += kHexDigits[data[i] & 0x0f];
    lineLength += 2;
    if (lineLength + startColumn + 4 > kHexLineWidth && i + 1 < data.size()) {
      out += ",\\\r\n  ";
      lineLength = 0;
      startColumn = kHexContinuationColumn;
    }
  }
}

std::string scriptFileStart(ScriptFormat format) {
  if (format == ScriptFormat::Regedit4) return std::string(kHeaderRegedit4) + std::string(kCrLf);
  return std::string(kUtf16ByteOrderMark) + encodeScriptText(std::string(kHeaderVersion5) + std::string(kCrLf), format);
}

std::string encodeScriptText(std::string_view text, ScriptFormat format) {
  if (format == ScriptFormat::Regedit4) return std::string(text);
  const std::u16string wide = platform::ansiToWide(text);
  std::string out;
  out.reserve(wide.size() * 2);
  for (char16_t unit : wide) {
    out += static_cast<char>(unit & 0xff);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

std::string formatValueLine(std::string_view name, DWORD type, std::span<const BYTE> data, ScriptFormat format) {
  std::string line = valueNamePart(name);
  line += '=';
  if (type == REG_SZ && isPlainText(data)) {
    line += '"';
    line += escapeText(std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
    line += '"';
  } else if (type == REG_DWORD && data.size() == 4) {
    DWORD value = DWORD{data[0]} | DWORD{data[1]} << 8 | DWORD{data[2]} << 16 | DWORD{data[3]} << 24;
    line += fmt::format("dword:{:08x}", value);
  } else {
    const bool wide = format == ScriptFormat::Regedit5;
    std::string prefix = hexPrefix(type);
    // The name part as written: in UTF-16 units when the file is UTF-16.
    std::string_view namePart(line.data(), line.size() - 1);
    std::size_t startColumn = prefix.size() + (wide ? platform::ansiToWide(namePart).size() : namePart.size()) + 3;
    line += prefix;
    if (wide && isStringType(type)) {
      std::vector<BYTE> units = platform::bytesFromUtf16(
          platform::ansiToWide(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())));
      appendHexList(line, units, startColumn);
    } else {
      appendHexList(line, data, startColumn);
    }
  }
  line += kCrLf;
  return line;
}

std::string_view trimLeadingBlanks(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && isBlank(text[at])) ++at;
  return text.substr(at);
}

std::string_view trimBlanks(std::string_view text) {
  text = trimLeadingBlanks(text);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<ValueLineParts> splitValueLine(std::string_view line) {
  std::size_t cut = line.find('=');
  if (cut == std::string_view::npos) return std::nullopt;
  // A quoted name may hold "=" itself: then the cut follows its closing quote.
  std::size_t open = line.size() - trimLeadingBlanks(line).size();
  if (open < cut && line[open] == '"') {
    for (std::size_t i = open + 1; i < line.size(); ++i) {
      if (line[i] == '\\') {
        ++i;
      } else if (line[i] == '"') {
        std::size_t after = i + 1;
        while (after < line.size() && isBlank(line[after])) ++after;
        if (after < line.size() && line[after] == '=') cut = after;
        break;
      }
    }
  }
  return ValueLineParts{line.substr(0, cut), line.substr(cut + 1)};
}

ValueName parseValueName(std::string_view namePart) {
  if (namePart == "@") return {std::string(), true};
  std::string_view name = trimBlanks(namePart);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return {unescapeText(name), false};
}

bool quotedStringComplete(std::string_view data) {
  return data.size() >= 2 && data.back() == '"' && trailingBackslashes(data.substr(0, data.size() - 1)) % 2 == 0;
}

std::vector<BYTE> quotedStringData(std::string_view data) {
  bool closed = quotedStringComplete(data);
  if (!data.empty() && data.front() == '"') data.remove_prefix(1);
  if (closed) data.remove_suffix(1);
  std::string text = unescapeText(data);
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::optional<std::vector<BYTE>> parseDwordData(std::string_view data) {
  constexpr std::string_view kPrefix = "dword:";
  if (!data.starts_with(kPrefix)) return std::nullopt;
  std::string_view digits = data.substr(kPrefix.size());
  if (digits.empty() || hexDigitValue(digits.front()) < 0) return std::nullopt;
  auto value = parseHexNumber(digits);
  if (!value) return std::nullopt;
  return std::vector<BYTE>{static_cast<BYTE>(*value), static_cast<BYTE>(*value >> 8), static_cast<BYTE>(*value >> 16),
                           static_cast<BYTE>(*value >> 24)};
}

std::optional<HexForm> parseHexPrefix(std::string_view data) {
  if (data.starts_with("hex:")) return HexForm{REG_BINARY, data.substr(4)};
  if (!data.starts_with("hex(")) return std::nullopt;
  std::size_t close = data.find("):", 4);
  if (close == std::string_view::npos || close == 4) return std::nullopt;
  std::string_view number = data.substr(4, close - 4);
  if (trimBlanks(number).size() != number.size()) return std::nullopt;
  auto type = parseHexNumber(number);
  if (!type) return std::nullopt;
  return HexForm{*type, data.substr(close + 2)};
}

HexPiece parseHexPiece(std::string_view text, std::vector<BYTE>& out) {
  std::size_t at = skipListBlanks(text, 0);
  if (at == text.size()) return HexPiece::End;
  for (;;) {
    // A token position.
    if (at < text.size() && text[at] == '\\') {
      at = skipListBlanks(text, at + 1);
      return at == text.size() ? HexPiece::Continues : HexPiece::MissingToken;
    }
    int value = 0;
    std::size_t digits = 0;
    while (at < text.size() && digits < 2) {
      int digit = hexDigitValue(text[at]);
      if (digit < 0) break;
      value = value * 16 + digit;
      ++digits;
      ++at;
    }
    if (digits == 0) return HexPiece::MissingToken;
    out.push_back(static_cast<BYTE>(value));
    at = skipListBlanks(text, at);
    if (at == text.size()) return HexPiece::End;
    if (text[at] != ',') return HexPiece::MissingToken;
    at = skipListBlanks(text, at + 1);
  }
}

KeyLineParts splitKeyLine(std::string_view line) {
  if (!line.empty() && line.front() == '[') line.remove_prefix(1);
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return {line, std::nullopt};
  KeyLineParts parts{line.substr(0, close), std::nullopt};
  std::string_view rest = trimLeadingBlanks(line.substr(close + 1));
  if (!rest.empty() && rest.front() == ';') {
    rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    parts.comment = rest;
  }
  return parts;
}

}  // namespace talmoor::scripts

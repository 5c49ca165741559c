#include "registry/format_data.h"

#include "platform/thread_context.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include <fmt/format.h>

#include "platform/files/module_search.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "registry/root_keys.h"
#include "base/masks/mask_engine.h"
#include "base/workspace.h"

namespace talmoor::registry {

namespace {

constexpr std::size_t kMaxShownBytes = 256;
constexpr std::size_t kMaxResourceString = 260;

// Installed per workspace by the file-reference checks.
struct ResolverSlot {
  std::mutex mutex;
  FileReferenceResolver resolver;
};
ResolverSlot& resolverSlot() { return Workspace::current().service<ResolverSlot>(); }

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
}

// UTF-16 text: whole code units, a terminating 0 unit, none before it, and
// the high bytes of ANSI-range characters 0.
std::optional<std::string> asUtf16Text(std::span<const BYTE> data) {
  if (data.size() < 4 || data.size() % 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0) return std::nullopt;
  std::u16string text(data.size() / 2 - 1, u'\0');
  std::size_t zeroHigh = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (text[i] == 0) return std::nullopt;
    if (data[2 * i + 1] == 0) ++zeroHigh;
  }
  if (zeroHigh * 2 < text.size()) return std::nullopt;
  return platform::wideToAnsi(text);
}

// One terminated text with nothing binary in it.
bool isPlainText(std::span<const BYTE> data) {
  if (data.size() < 2 || data.front() == 0 || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    BYTE b = data[i];
    if (b == 0 || (b >= 1 && b <= 8) || b >= 248) return false;
  }
  return true;
}

std::string hexBytes(std::span<const BYTE> data) {
  std::string out;
  std::size_t shown = std::min(data.size(), kMaxShownBytes);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) out += ' ';
    out += fmt::format("{:02x}", data[i]);
  }
  if (data.size() > kMaxShownBytes) out += " ~ ";
  return out;
}

std::string doubleWord(std::span<const BYTE> data) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), 4); ++i) v |= std::uint32_t{data[i]} << (8 * i);
  switch (data.size()) {
    case 1: return fmt::format("0x{:02X} ({})", v, static_cast<int>(v));
    case 2: return fmt::format("0x{:04X} ({})", v, static_cast<int>(v));
    case 4: return fmt::format("0x{:08X} ({})", v, static_cast<std::int32_t>(v));
    default: return fmt::format("Invalid [0x{:08X} ({})]", v, static_cast<std::int32_t>(v));
  }
}

}  // namespace

std::string rotateLetters(std::string_view text, int n) {
  std::string out(text);
  for (auto& c : out) {
    bool lower = c >= 'a' && c <= 'z';
    if (!lower && !(c >= 'A' && c <= 'Z')) continue;
    char upper = lower ? static_cast<char>(c - ('a' - 'A')) : c;
    c = static_cast<char>(upper < 'A' + n ? c + n : c - n);
  }
  return out;
}

std::string rotate13(std::string_view text) { return rotateLetters(text, 13); }

bool isCypheredName(std::string_view text) { return text.substr(0, 5) == "HRZR_"; }

const std::vector<NativePathPrefix>& nativePathPrefixes() {
  static const std::vector<NativePathPrefix> prefixes = {
      {"\\SystemRoot\\", "%SystemRoot%\\", 5},
      {"\\Registry\\Machine\\", "HKEY_LOCAL_MACHINE\\", 5},
      {"\\Registry\\User\\", "HKEY_USERS\\", 5},
      {"\\??\\", "", 6},
      {"\\DosDevices\\", "", 6},
  };
  return prefixes;
}

void setFileReferenceResolver(FileReferenceResolver resolver) {
  ResolverSlot& slot = resolverSlot();
  std::lock_guard lock(slot.mutex);
  slot.resolver = std::move(resolver);
}

std::optional<IndirectString> parseIndirectString(std::string_view text) {
  // "@" file "." extension "," ["-"] number [";" comment]. "@{package?ms-resource://...}"
  // names a packaged application's resource, which only its package store holds.
  if (text.starts_with("@{")) return std::nullopt;
  const std::string source(text);
  if (masks::MaskMatch(masks::terminated(source), masks::terminated("@%*.%*,%O-"), {}, true) !=
      masks::MaskResult::Match)
    return std::nullopt;
  auto comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view module = text.substr(1, comma - 1);
  if (module.find('.') == std::string_view::npos) return std::nullopt;
  std::string_view number = text.substr(comma + 1);
  if (!number.empty() && number.front() == '-') number.remove_prefix(1);
  unsigned id = 0;
  std::size_t digits = 0;
  while (digits < number.size() && std::isdigit(static_cast<unsigned char>(number[digits])) && id <= 0xFFFF) {
    id = id * 10 + static_cast<unsigned>(number[digits] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return IndirectString{std::string(module), id};
}

std::string displayString(std::string_view source, DisplayContext& context) {
  std::string text(source);
  if (isCypheredName(text)) {
    text = rotate13(text);
    context.expanded = context.rotated = true;
  }
  for (std::size_t row = 0; row < std::size(kRootKeys); ++row) {
    replaceAll(text, std::string("HK") + kRootKeys[row].shortName + "\\",
               std::string("HKEY_") + kRootKeys[row].longName + "\\");
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& entry : nativePathPrefixes()) {
      if (platform::startsWithIgnoringAsciiCase(text, entry.prefix)) {
        text = entry.replacement + text.substr(entry.prefix.size());
        changed = true;
      }
    }
  }
  bool expandedEnvironment = false;
  text = platform::threadEnvironment().expand(text, &expandedEnvironment);
  context.expanded |= expandedEnvironment;
  if (auto indirect = parseIndirectString(text)) {
    if (auto loaded = platform::loadIndirectString(indirect->module, indirect->id)) {
      text = loaded->substr(0, kMaxResourceString);
      context.expanded = true;
    }
  }
  FileReferenceResolver resolver;
  {
    ResolverSlot& slot = resolverSlot();
    std::lock_guard lock(slot.mutex);
    resolver = slot.resolver;
  }
  if (resolver) {
    if (auto resolved = resolver(text)) text = *resolved;
  }
  return text;
}

std::string formatData(DWORD type, std::span<const BYTE> data, DisplayContext& context) {
  if (isStringType(type)) {
    std::string out;
    std::size_t pos = 0;
    bool first = true;
    while (pos < data.size()) {
      auto end = std::find(data.begin() + static_cast<std::ptrdiff_t>(pos), data.end(), BYTE{0});
      std::string_view piece(reinterpret_cast<const char*>(data.data()) + pos,
                             static_cast<std::size_t>(end - data.begin()) - pos);
      // A list ends at its empty string.
      if (piece.empty() && !first) break;
      if (!first) out += ", ";
      out += displayString(piece, context);
      first = false;
      pos = static_cast<std::size_t>(end - data.begin()) + 1;
    }
    return out;
  }
  if (type == REG_DWORD) return doubleWord(data);
  if (auto text = asUtf16Text(data)) return *text;
  if (isPlainText(data)) return std::string(reinterpret_cast<const char*>(data.data()), data.size() - 1);
  return hexBytes(data);
}

}  // namespace talmoor::registry

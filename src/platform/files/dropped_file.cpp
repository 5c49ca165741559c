#include "platform/files/dropped_file.h"

#include <array>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

// The Shell Link header: its size, the class it names, and the flags' place.
constexpr std::uint32_t kLinkHeaderSize = 0x4C;
constexpr std::array<std::uint8_t, 16> kLinkClassId = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::size_t kLinkFlagsAt = 0x14;
enum LinkFlag : std::uint32_t {
  kHasTargetIdList = 0x1,
  kHasLinkInfo = 0x2,
  kHasName = 0x4,
  kHasRelativePath = 0x8,
  kHasWorkingDir = 0x10,
  kHasArguments = 0x20,
  kHasIconLocation = 0x40,
  kIsUnicode = 0x80,
};
constexpr std::uint32_t kLinkInfoHasLocalPath = 0x1;

class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool has(std::size_t at, std::size_t count) const { return at <= bytes_.size() && count <= bytes_.size() - at; }
  std::optional<std::uint32_t> word(std::size_t at, std::size_t width = 4) const {
    if (!has(at, width)) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes_[at + i]) << (8 * i);
    return value;
  }
  // A NUL-terminated ANSI text inside [from, end).
  std::optional<std::string> cText(std::size_t at, std::size_t end) const {
    if (end > bytes_.size() || at >= end) return std::nullopt;
    const auto* begin = reinterpret_cast<const char*>(bytes_.data() + at);
    const void* nul = std::memchr(begin, 0, end - at);
    if (!nul) return std::nullopt;
    return std::string(begin, static_cast<const char*>(nul));
  }
  std::span<const std::uint8_t> span() const { return bytes_; }

 private:
  std::span<const std::uint8_t> bytes_;
};

// The local path of a LinkInfo block, with its common suffix.
std::optional<std::string> linkInfoPath(const Bytes& bytes, std::size_t at, std::size_t size) {
  auto flags = bytes.word(at + 8);
  auto localOffset = bytes.word(at + 16);
  auto suffixOffset = bytes.word(at + 24);
  if (!flags || !localOffset || !suffixOffset || !(*flags & kLinkInfoHasLocalPath)) return std::nullopt;
  auto path = bytes.cText(at + *localOffset, at + size);
  if (!path) return std::nullopt;
  if (*suffixOffset != 0)
    if (auto suffix = bytes.cText(at + *suffixOffset, at + size)) *path += *suffix;
  return path;
}

// One counted string of the string data; `at` moves past it.
std::optional<std::string> countedString(const Bytes& bytes, std::size_t& at, bool unicode) {
  auto count = bytes.word(at, 2);
  if (!count) return std::nullopt;
  at += 2;
  const std::size_t length = *count * (unicode ? 2u : 1u);
  if (!bytes.has(at, length)) return std::nullopt;
  std::string text;
  if (unicode) {
    std::u16string wide(*count, u'\0');
    for (std::size_t i = 0; i < *count; ++i)
      wide[i] = static_cast<char16_t>(bytes.span()[at + 2 * i] | (bytes.span()[at + 2 * i + 1] << 8));
    text = wideToAnsi(wide);
  } else {
    text.assign(reinterpret_cast<const char*>(bytes.span().data() + at), length);
  }
  at += length;
  return text;
}

bool startsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

std::string lowerExtension(const std::filesystem::path& file) { return lowercaseAscii(file.extension().string()); }

}  // namespace

std::optional<std::string> shellLinkCommand(std::span<const std::uint8_t> data) {
  const Bytes bytes(data);
  if (bytes.word(0) != kLinkHeaderSize || !bytes.has(0, kLinkHeaderSize) ||
      !std::equal(kLinkClassId.begin(), kLinkClassId.end(), data.begin() + 4))
    return std::nullopt;
  const std::uint32_t flags = *bytes.word(kLinkFlagsAt);
  std::size_t at = kLinkHeaderSize;
  if (flags & kHasTargetIdList) {
    auto size = bytes.word(at, 2);
    if (!size) return std::nullopt;
    at += 2 + *size;
  }
  std::optional<std::string> target;
  if (flags & kHasLinkInfo) {
    auto size = bytes.word(at);
    if (!size || *size < 28 || !bytes.has(at, *size)) return std::nullopt;
    target = linkInfoPath(bytes, at, *size);
    at += *size;
  }
  const bool unicode = flags & kIsUnicode;
  std::optional<std::string> relative, arguments;
  for (LinkFlag part : {kHasName, kHasRelativePath, kHasWorkingDir, kHasArguments, kHasIconLocation}) {
    if (!(flags & part)) continue;
    auto text = countedString(bytes, at, unicode);
    if (!text) break;
    if (part == kHasRelativePath) relative = std::move(text);
    if (part == kHasArguments) arguments = std::move(text);
  }
  if (!target || target->empty()) target = relative;
  if (!target || target->empty()) return std::nullopt;
  if (arguments && !arguments->empty()) return *target + " " + *arguments;
  return target;
}

std::optional<std::string> desktopEntryCommand(std::string_view text) {
  std::istringstream lines{std::string(text)};
  std::string line;
  bool inEntry = false;
  std::optional<std::string> exec, url;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (startsWith(line, "[")) {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    if (startsWith(line, "Exec=") && !exec) exec = line.substr(5);
    if (startsWith(line, "URL=") && !url) url = line.substr(4);
  }
  if (!exec) return url && !url->empty() ? url : std::nullopt;
  // The field codes stand for what the launcher fills in; "%%" is a percent sign.
  std::string command;
  for (std::size_t i = 0; i < exec->size(); ++i) {
    if ((*exec)[i] != '%' || i + 1 == exec->size()) {
      command += (*exec)[i];
      continue;
    }
    const char code = (*exec)[++i];
    if (code == '%') command += '%';
  }
  while (!command.empty() && command.back() == ' ') command.pop_back();
  if (command.empty()) return std::nullopt;
  return command;
}

std::optional<DroppedFile> readDroppedFile(const std::filesystem::path& file, std::string& problem) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error) {
    problem = error.message();
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    problem = "it cannot be opened";
    return std::nullopt;
  }
  // The first bytes tell a hive or a script, whatever the file is called.
  std::array<char, 32> start{};
  in.read(start.data(), start.size());
  const std::string_view head(start.data(), static_cast<std::size_t>(in.gcount()));
  DroppedFile dropped;
  if (startsWith(head, "regf") || startsWith(head, "WINE REGISTRY Version 2")) {
    dropped.kind = DroppedFileKind::Hive;
    return dropped;
  }
  const std::string extension = lowerExtension(file);
  if (extension == ".reg" || startsWith(head, "REGEDIT") || startsWith(head, "Windows Registry Editor") ||
      startsWith(head, std::string_view("\xFF\xFEW\0i\0n\0", 8))) {
    dropped.kind = DroppedFileKind::RegistryScript;
    return dropped;
  }
  if (size > kMaxDroppedFileSize) {
    problem = "it is larger than the largest value (8,024,000 bytes)";
    return std::nullopt;
  }
  std::vector<BYTE> bytes(static_cast<std::size_t>(size));
  in.clear();
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) {
    problem = "it could not be read whole";
    return std::nullopt;
  }
  if (extension == ".lnk" || extension == ".desktop") {
    dropped.kind = extension == ".lnk" ? DroppedFileKind::Shortcut : DroppedFileKind::DesktopEntry;
    auto command = dropped.kind == DroppedFileKind::Shortcut
                       ? shellLinkCommand(bytes)
                       : desktopEntryCommand(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!command) {
      problem = "it names nothing to start";
      return std::nullopt;
    }
    dropped.valueName = file.stem().string();
    dropped.text = std::move(*command);
    return dropped;
  }
  dropped.valueName = file.filename().string();
  dropped.bytes = std::move(bytes);
  return dropped;
}

}  // namespace talmoor::platform

#include "browse/icon_location.h"

#include <cctype>
#include <charconv>

#include "platform/files/pe_resources.h"
#include "platform/files/windows_files.h"
#include "platform/thread_context.h"

namespace talmoor::browse {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == '\0'))
    text.remove_suffix(1);
  return text;
}

// "%1" or "%*" anywhere: a command's placeholder, not a file. (An
// environment reference, "%SystemRoot%", begins with a letter.)
bool hasPlaceholder(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '%' && (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '*')) return true;
  return false;
}

}  // namespace

std::optional<IconLocation> parseIconLocation(std::string_view text) {
  text = trimmed(text);
  IconLocation location;
  if (auto comma = text.rfind(','); comma != std::string_view::npos) {
    std::string_view number = trimmed(text.substr(comma + 1));
    int index = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
    if (error == std::errc() && end == number.data() + number.size() && !number.empty()) {
      location.index = index;
      text = trimmed(text.substr(0, comma));
    }
  }
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = trimmed(text.substr(1, text.size() - 2));
  if (text.empty() || hasPlaceholder(text)) return std::nullopt;
  location.file = std::string(text);
  return location;
}

std::optional<std::vector<std::uint8_t>> IconCache::load(const IconLocation& location) {
  const auto& environment = platform::threadEnvironment();
  const auto& drives = platform::threadDrives();
  auto resolved = platform::resolveFile(environment.expand(location.file), environment, drives);
  if (!resolved) return std::nullopt;
  auto key = std::make_pair(resolved->fullPath, location.index);
  if (auto known = loaded_.find(key); known != loaded_.end()) return known->second;
  std::optional<std::vector<std::uint8_t>> icon;
  if (auto host = platform::hostPathOf(resolved->fullPath, drives)) icon = platform::loadIconResource(*host, location.index);
  loaded_.emplace(key, icon);
  return icon;
}

}  // namespace talmoor::browse

#include "platform/files/drive_map.h"

#include "platform/text/code_page.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>

namespace talmoor::platform {

namespace {
int driveIndex(char letter) {
  int c = std::tolower(static_cast<unsigned char>(letter));
  return c >= 'a' && c <= 'z' ? c - 'a' : -1;
}

}  // namespace

DriveMap DriveMap::fromDosDevices(const std::filesystem::path& dosdevices) {
  DriveMap map;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dosdevices, ec)) {
    std::string name = entry.path().filename().string();
    // Only drive letters: "c:", not "c::" (raw devices) or "com1".
    if (name.size() != 2 || name[1] != ':' || driveIndex(name[0]) < 0) continue;
    auto target = std::filesystem::weakly_canonical(entry.path(), ec);
    if (!ec) map.setDrive(name[0], target);
  }
  return map;
}

void DriveMap::setDrive(char letter, std::filesystem::path folder) {
  if (int i = driveIndex(letter); i >= 0) drives_[static_cast<std::size_t>(i)] = std::move(folder);
}

std::optional<std::filesystem::path> DriveMap::drive(char letter) const {
  int i = driveIndex(letter);
  return i >= 0 ? drives_[static_cast<std::size_t>(i)] : std::nullopt;
}

std::optional<std::filesystem::path> findEntryIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view name) {
  std::error_code ec;
  auto exact = folder / std::string(name);
  if (std::filesystem::exists(std::filesystem::symlink_status(exact, ec))) return exact;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (equalsIgnoringAsciiCase(entry.path().filename().string(), name)) return entry.path();
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> DriveMap::toHost(std::string_view windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') return std::nullopt;
  auto root = drive(windowsPath[0]);
  if (!root) return std::nullopt;
  std::filesystem::path host = *root;
  bool matching = true;
  std::size_t pos = 2;
  while (pos < windowsPath.size()) {
    std::size_t end = windowsPath.find_first_of("\\/", pos);
    if (end == std::string_view::npos) end = windowsPath.size();
    std::string_view part = windowsPath.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (host != *root) host = host.parent_path();
      continue;
    }
    if (matching) {
      if (auto found = findEntryIgnoringCase(host, part)) {
        host = *found;
        continue;
      }
      matching = false;
    }
    host /= std::string(part);
  }
  return host;
}

}  // namespace talmoor::platform

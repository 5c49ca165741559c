#include "platform/files/windows_files.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/text/code_page.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace fs = std::filesystem;

namespace {

bool hasDrive(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// Characters an 8.3 name may hold besides letters and digits.
bool shortNameChar(char c) {
  if (static_cast<unsigned char>(c) >= 0x80) return false;
  return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("$%'-_@~`!(){}^#&").find(c) != std::string_view::npos;
}

bool isShortName(std::string_view name) {
  if (name == "." || name == "..") return true;
  auto dot = name.rfind('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  return std::all_of(base.begin(), base.end(), shortNameChar) && std::all_of(ext.begin(), ext.end(), shortNameChar);
}

// The usable characters of a long name for its short form: blanks and dots
// dropped, characters no short name holds turned into "_".
std::string squeezed(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '.') continue;
    out.push_back(shortNameChar(c) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : '_');
  }
  return out;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool isNetworkOrDevicePath(std::string_view path) {
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

std::optional<fs::path> hostPathOf(std::string_view windowsPath, const DriveMap& drives) {
  if (isNetworkOrDevicePath(windowsPath) || !hasDrive(windowsPath)) return std::nullopt;
  return drives.toHost(windowsPath);
}

std::optional<std::string> windowsPathOf(const fs::path& hostPath, const DriveMap& drives) {
  fs::path target = hostPath.lexically_normal();
  std::optional<std::string> best;
  std::size_t bestLength = 0;
  for (char letter : std::string_view("CDEFGHIJKLMNOPQRSTUVWXYZAB")) {
    auto root = drives.drive(letter);
    if (!root) continue;
    fs::path base = root->lexically_normal();
    auto relative = target.lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") continue;
    // The drive that holds the path most closely names it.
    std::size_t length = base.string().size();
    if (best && length <= bestLength) continue;
    std::string path = std::string(1, letter) + ":";
    for (const auto& part : relative)
      if (part != ".") path += "\\" + part.string();
    if (relative == ".") path += "\\";
    best = path;
    bestLength = length;
  }
  return best;
}

bool fileExists(std::string_view path, const DriveMap& drives, DWORD* attributes, LONG* error) {
  auto fail = [&](LONG code) {
    if (error) *error = code;
    return false;
  };
  if (!path.empty() && path.front() == '"') path = path.substr(1, path.size() >= 2 ? path.size() - 2 : 0);
  bool folderOnly = !path.empty() && path.back() == '\\';
  if (folderOnly) path.remove_suffix(1);
  if (isNetworkOrDevicePath(path)) return fail(ERROR_BAD_NETPATH);
  // A NUL would end the name the host is given: such a path names nothing.
  constexpr std::string_view kNotInNames("*?<>|\"\0", 7);
  if (!hasDrive(path) || path.find_first_of(kNotInNames) != std::string_view::npos) return fail(ERROR_BAD_PATHNAME);
  auto host = drives.toHost(path);
  if (!host) return fail(ERROR_PATH_NOT_FOUND);
  std::error_code ec;
  auto status = fs::status(*host, ec);
  if (ec || !fs::exists(status)) {
    bool folderThere = fs::is_directory(host->parent_path(), ec);
    return fail(folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  bool folder = fs::is_directory(status);
  if (folderOnly && !folder) return fail(ERROR_FILE_NOT_FOUND);
  if (attributes) {
    *attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) *attributes |= FILE_ATTRIBUTE_READONLY;
  }
  if (error) *error = ERROR_SUCCESS;
  return true;
}

std::string systemSearchPath(const WindowsEnvironment& environment) {
  std::string root = environment.get("SystemRoot").value_or("C:\\windows");
  std::string path = environment.get("Path").value_or(root + "\\system32;" + root);
  return path + ";" + root + "\\system32\\Drivers;" + root + "\\Fonts";
}

std::optional<Resolved> resolveFile(std::string_view name, const WindowsEnvironment& environment,
                                    const DriveMap& drives) {
  if (name.empty() || isNetworkOrDevicePath(name)) return std::nullopt;
  // As the system's search finds them: files and folders alike.
  auto isFile = [&](const std::string& path) { return fileExists(path, drives); };
  std::vector<std::string> folders;
  if (hasDrive(name)) {
    folders.emplace_back();
  } else if (name.front() == '\\') {
    // From the root of the system drive.
    folders.push_back(environment.get("SystemDrive").value_or("C:"));
  } else {
    const std::string list = systemSearchPath(environment);
    std::string_view rest = list;
    while (!rest.empty()) {
      auto cut = rest.find(';');
      std::string_view folder = rest.substr(0, cut);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      if (hasDrive(folder)) folders.emplace_back(folder);
    }
  }
  std::vector<std::string> tries{std::string(name)};
  for (const char* extension : kDefaultExtensions) tries.push_back(std::string(name) + extension);
  for (const auto& candidate : tries) {
    for (const auto& folder : folders) {
      std::string path = folder.empty() ? candidate
                                        : folder + (folder.back() == '\\' ? "" : "\\") +
                                              (candidate.front() == '\\' ? candidate.substr(1) : candidate);
      if (isFile(path)) return Resolved{candidate, path};
    }
  }
  return std::nullopt;
}

std::string shortNameIn(std::string_view longName, const std::vector<std::string>& siblings) {
  if (isShortName(longName)) return std::string(longName);
  auto dot = longName.rfind('.');
  bool hasExtension = dot != std::string_view::npos && dot != 0;
  std::string base = squeezed(hasExtension ? longName.substr(0, dot) : longName);
  std::string ext = hasExtension ? squeezed(longName.substr(dot + 1)).substr(0, 3) : std::string();
  if (base.empty()) base = "_";
  // Numbered in the folder's order among the long names that share the stem.
  const std::string stem = base.substr(0, 6);
  auto stemOf = [&](const std::string& name) {
    auto d = name.rfind('.');
    bool e = d != std::string::npos && d != 0;
    std::string b = squeezed(e ? std::string_view(name).substr(0, d) : std::string_view(name));
    std::string x = e ? squeezed(std::string_view(name).substr(d + 1)).substr(0, 3) : std::string();
    return std::make_pair(b.substr(0, 6), x);
  };
  int number = 1;
  for (const auto& sibling : siblings) {
    if (sibling == longName) break;
    if (isShortName(sibling)) continue;
    if (stemOf(sibling) == std::make_pair(stem, ext)) ++number;
  }
  std::string digits = std::to_string(number);
  std::string shortBase = base.substr(0, std::min<std::size_t>(base.size(), 7 - digits.size())) + "~" + digits;
  return ext.empty() ? shortBase : shortBase + "." + ext;
}

std::optional<std::string> shortPathName(std::string_view windowsPath, const DriveMap& drives) {
  if (!fileExists(windowsPath, drives)) return std::nullopt;
  std::string path(windowsPath);
  if (!path.empty() && path.front() == '"') path = path.substr(1, path.size() - 2);
  std::string out = path.substr(0, 2);
  auto root = drives.drive(path[0]);
  if (!root) return std::nullopt;
  fs::path folder = *root;
  std::size_t pos = 2;
  while (pos < path.size()) {
    std::size_t end = path.find('\\', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    if (!part.empty()) {
      auto entry = findEntryIgnoringCase(folder, part);
      if (!entry) return std::nullopt;
      std::string actual = entry->filename().string();
      out += "\\" + shortNameIn(actual, folderEntries(folder));
      folder = *entry;
    }
    pos = end + 1;
  }
  // "C:\" and "C:\Program Files\" keep their closing backslash.
  if (path.back() == '\\' && out.back() != '\\') out += "\\";
  return out;
}

}  // namespace talmoor::platform

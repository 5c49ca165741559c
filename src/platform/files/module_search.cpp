#include "platform/files/module_search.h"

#include "platform/thread_context.h"

#include <algorithm>
#include <cctype>

#include "platform/files/module_strings.h"
#include "platform/files/pe_resources.h"
#include "platform/registry/registry_profile.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view text) {
  auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view unquote(std::string_view text) {
  text = trim(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = trim(text.substr(1, text.size() - 2));
  return text;
}

bool hasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string systemRoot(const WindowsEnvironment& environment) {
  return environment.get("SystemRoot").value_or("C:\\windows");
}

std::string systemDrive(const WindowsEnvironment& environment) {
  if (auto drive = environment.get("SystemDrive"); drive && hasDrive(*drive)) return drive->substr(0, 2);
  std::string root = systemRoot(environment);
  return hasDrive(root) ? root.substr(0, 2) : "C:";
}

// The module's name as LoadLibrary takes it, or nothing when nothing is left.
std::optional<std::string> normalizedName(std::string_view module, const WindowsEnvironment& environment) {
  std::string name(unquote(environment.expand(unquote(module))));
  std::replace(name.begin(), name.end(), '/', '\\');
  if (name.starts_with("\\\\?\\") || name.starts_with("\\??\\")) name.erase(0, 4);

  std::size_t componentStart = name.find_last_of('\\');
  componentStart = componentStart == std::string::npos ? (hasDrive(name) ? 2 : 0) : componentStart + 1;
  std::string_view component = std::string_view(name).substr(componentStart);
  if (component.empty() || component == "." || component == "..") return std::nullopt;
  if (component.back() == '.') {
    // "name." asks for the file without an extension; Windows drops the dots.
    name.erase(name.find_last_not_of('.') + 1);
    if (name.size() <= componentStart) return std::nullopt;
  } else if (component.find('.') == std::string_view::npos) {
    name += ".dll";
  }
  return name;
}

std::optional<std::filesystem::path> existingFile(const DriveMap& drives, const std::string& windowsPath) {
  auto host = drives.toHost(windowsPath);
  std::error_code ec;
  if (host && std::filesystem::is_regular_file(*host, ec)) return host;
  return std::nullopt;
}

}  // namespace

std::vector<std::string> moduleSearchDirectories(const WindowsEnvironment& environment) {
  std::string root = systemRoot(environment);
  std::vector<std::string> dirs = {root + "\\system32", root + "\\system", root};
  std::string path = environment.get("Path").value_or("");
  std::string_view rest = path;
  while (!rest.empty()) {
    std::size_t end = std::min(rest.find(';'), rest.size());
    std::string_view entry = unquote(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    std::string dir;
    if (hasDrive(entry)) {
      dir = entry;
    } else if (entry.starts_with('\\') && !entry.starts_with("\\\\")) {
      dir = systemDrive(environment) + std::string(entry);
    } else {
      continue;  // empty, relative or a network folder
    }
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    if (std::none_of(dirs.begin(), dirs.end(), [&](const std::string& known) { return equalsIgnoringAsciiCase(known, dir); }))
      dirs.push_back(std::move(dir));
  }
  return dirs;
}

std::optional<std::filesystem::path> findModuleFile(std::string_view module, const WindowsEnvironment& environment,
                                                    const DriveMap& drives) {
  auto name = normalizedName(module, environment);
  if (!name) return std::nullopt;
  if (hasDrive(*name)) return existingFile(drives, *name);
  if (name->starts_with("\\\\")) return std::nullopt;
  if (name->starts_with('\\')) return existingFile(drives, systemDrive(environment) + *name);
  for (const auto& dir : moduleSearchDirectories(environment)) {
    std::string separator = dir.ends_with('\\') ? "" : "\\";
    if (auto found = existingFile(drives, dir + separator + *name)) return found;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> findModuleFile(std::string_view module) {
  return findModuleFile(module, threadEnvironment(), threadDrives());
}

std::optional<std::string> loadIndirectString(std::string_view module, unsigned id,
                                              const WindowsEnvironment& environment, const DriveMap& drives,
                                              std::vector<std::string> languages) {
  ModuleStringCache once(std::move(languages));
  auto text = once.find(module, id, environment, drives);
  if (!text) return std::nullopt;
  return wideToAnsi(*text);
}

std::optional<std::string> loadIndirectString(std::string_view module, unsigned id) {
  const auto& profile = threadContext().profile;
  if (!profile) return std::nullopt;  // no registry, so no drives to find the module on
  auto text = profile->moduleStrings()->find(module, id, profile->environment(), profile->drives());
  if (!text) return std::nullopt;
  return wideToAnsi(*text);
}

}  // namespace talmoor::platform

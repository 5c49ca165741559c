#include "platform/registry/offline_windows.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/registry/profile_hives.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

namespace fs = std::filesystem;

struct MachineHive {
  const char* file;
  std::u16string_view nativePath;
  bool required;
};

constexpr MachineHive kMachineHives[] = {
    {"SYSTEM", u"\\REGISTRY\\MACHINE\\SYSTEM", true},
    {"SOFTWARE", u"\\REGISTRY\\MACHINE\\SOFTWARE", false},
    {"SAM", u"\\REGISTRY\\MACHINE\\SAM", false},
    {"SECURITY", u"\\REGISTRY\\MACHINE\\SECURITY", false},
    {"DEFAULT", u"\\REGISTRY\\USER\\.DEFAULT", false},
};

constexpr std::u16string_view kProfileListPath = u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kCurrentVersionPath = u"Microsoft\\Windows NT\\CurrentVersion";
// The local system account's profile is the .DEFAULT hive.
constexpr std::u16string_view kLocalSystemSid = u"S-1-5-18";
constexpr std::u16string_view kOrdinaryUserPrefix = u"S-1-5-21-";

std::shared_ptr<KeyNode> findPath(std::shared_ptr<KeyNode> key, std::u16string_view path) {
  while (key && !path.empty()) {
    std::size_t cut = path.find(u'\\');
    key = key->findSubkey(path.substr(0, cut));
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
  }
  return key;
}

std::optional<DWORD> dwordValue(const std::shared_ptr<KeyNode>& key, std::u16string_view name) {
  const RegValue* value = key ? key->findValue(name) : nullptr;
  if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
  return static_cast<DWORD>(value->data[0] | value->data[1] << 8 | value->data[2] << 16 |
                            static_cast<DWORD>(value->data[3]) << 24);
}

std::optional<std::string> stringValue(const std::shared_ptr<KeyNode>& key, std::u16string_view name) {
  const RegValue* value = key ? key->findValue(name) : nullptr;
  if (!value || !isStringType(value->type)) return std::nullopt;
  std::u16string text = utf16FromBytes(value->data);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return wideToAnsi(text);
}

// A volatile link key, as Windows makes at boot; never saved.
void addLink(const std::shared_ptr<Hive>& hive, const std::shared_ptr<KeyNode>& parent, std::u16string name,
             std::u16string_view target, std::uint64_t lastWrite) {
  auto link = std::make_shared<KeyNode>(std::move(name));
  link->isLink = true;
  link->isVolatile = true;
  link->lastWrite = lastWrite;
  link->security = parent->security;
  link->setValue(u"SymbolicLinkValue", REG_LINK, bytesFromUtf16(target));
  link->setHive(hive);
  parent->addSubkey(std::move(link));
}

// CurrentControlSet names the control set Select\Current gives, and that
// set's Hardware Profiles\Current the profile IDConfigDB\CurrentConfig gives.
void addBootLinks(const std::shared_ptr<Hive>& system, std::vector<std::string>& warnings) {
  const auto& root = system->root();
  if (root->findSubkey(u"CurrentControlSet")) return;
  auto current = dwordValue(root->findSubkey(u"Select"), u"Current");
  std::u16string setName = current ? ansiToWide(fmt::format("ControlSet{:03}", *current)) : std::u16string();
  auto controlSet = current ? root->findSubkey(setName) : nullptr;
  if (!controlSet) {
    warnings.push_back(fmt::format("warning: {} names no existing current control set in Select\\Current; "
                                   "there is no CurrentControlSet",
                                   system->file().string()));
    return;
  }
  std::u16string setPath = u"\\REGISTRY\\MACHINE\\SYSTEM\\" + setName;
  addLink(system, root, u"CurrentControlSet", setPath, controlSet->lastWrite);

  auto profiles = controlSet->findSubkey(u"Hardware Profiles");
  if (!profiles || profiles->findSubkey(u"Current")) return;
  DWORD config = dwordValue(findPath(controlSet, u"Control\\IDConfigDB"), u"CurrentConfig").value_or(1);
  std::u16string profileName = ansiToWide(fmt::format("{:04}", config));
  if (profiles->findSubkey(profileName))
    addLink(system, profiles, u"Current", setPath + u"\\Hardware Profiles\\" + profileName, profiles->lastWrite);
}

// The Windows path a profile list entry gives, with the variables it may
// hold written out.
std::string expandProfilePath(std::string path, const std::string& systemRoot) {
  auto replace = [&](std::string_view variable, const std::string& value) {
    for (std::size_t at = 0; at + variable.size() <= path.size();) {
      if (equalsIgnoringAsciiCase(std::string_view(path).substr(at, variable.size()), variable)) {
        path.replace(at, variable.size(), value);
        at += value.size();
      } else {
        ++at;
      }
    }
  };
  replace("%SystemDrive%", "C:");
  replace("%SystemRoot%", systemRoot);
  replace("%windir%", systemRoot);
  return path;
}

std::optional<fs::path> findFileIgnoringCase(const fs::path& folder, std::initializer_list<std::string_view> parts) {
  fs::path at = folder;
  for (auto part : parts) {
    auto next = findEntryIgnoringCase(at, part);
    if (!next) return std::nullopt;
    at = *next;
  }
  return at;
}

void readUserHives(const std::shared_ptr<Hive>& software, OfflineWindows& out) {
  auto list = findPath(software->root(), kProfileListPath);
  if (!list) {
    out.warnings.push_back(fmt::format("warning: {} holds no profile list; no user hives are mounted",
                                       software->file().string()));
    return;
  }
  std::string systemRoot =
      stringValue(findPath(software->root(), kCurrentVersionPath), u"SystemRoot").value_or("C:\\Windows");
  for (const auto& entry : list->subkeys()) {
    const std::u16string& sid = entry->name();
    if (sid == kLocalSystemSid) continue;
    auto imagePath = stringValue(entry, u"ProfileImagePath");
    if (!imagePath) continue;
    std::string windowsPath = expandProfilePath(*imagePath, systemRoot);
    auto folder = out.drives.toHost(windowsPath);
    std::optional<fs::path> ntuser = folder ? findFileIgnoringCase(*folder, {"NTUSER.DAT"}) : std::nullopt;
    if (!ntuser) {
      out.warnings.push_back(fmt::format("warning: the profile of {} ({}) holds no NTUSER.DAT; it is not mounted",
                                         wideToAnsi(sid), windowsPath));
      continue;
    }
    std::u16string userPath = u"\\REGISTRY\\USER\\" + sid;
    try {
      out.mounts.push_back({loadProfileHive(*ntuser), userPath});
      noteHiveState(*out.mounts.back().hive, out.warnings);
      if (out.currentUserSid.empty() && sid.starts_with(kOrdinaryUserPrefix)) out.currentUserSid = sid;
      if (auto classes = findFileIgnoringCase(*folder, {"AppData", "Local", "Microsoft", "Windows", "UsrClass.dat"})) {
        out.mounts.push_back({loadProfileHive(*classes), userPath + u"_Classes"});
        noteHiveState(*out.mounts.back().hive, out.warnings);
      }
    } catch (const ProfileError& e) {
      out.warnings.push_back(fmt::format("warning: {}; the hive is not mounted", e.what()));
    }
  }
}

}  // namespace

OfflineWindows readOfflineWindows(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw ProfileError(fmt::format("{} is not a folder", dir.string()));
  OfflineWindows out;
  out.drives.setDrive('C', fs::weakly_canonical(dir, ec));
  std::optional<fs::path> config;
  for (const char* windows : {"Windows", "WINNT"})
    if ((config = findFileIgnoringCase(dir, {windows, "System32", "config"}))) break;
  std::optional<fs::path> systemFile = config ? findFileIgnoringCase(*config, {"SYSTEM"}) : std::nullopt;
  if (!systemFile)
    throw ProfileError(fmt::format("{} is not a Windows installation: it holds no Windows\\System32\\config\\SYSTEM",
                                   dir.string()));

  std::shared_ptr<Hive> system, software;
  for (const auto& machineHive : kMachineHives) {
    auto file = findFileIgnoringCase(*config, {machineHive.file});
    if (!file) {
      out.warnings.push_back(fmt::format("warning: {} holds no {} hive", config->string(), machineHive.file));
      continue;
    }
    auto hive = loadProfileHive(*file);
    noteHiveState(*hive, out.warnings);
    if (machineHive.required) system = hive;
    if (machineHive.nativePath == u"\\REGISTRY\\MACHINE\\SOFTWARE") software = hive;
    out.mounts.push_back({std::move(hive), std::u16string(machineHive.nativePath)});
  }
  addBootLinks(system, out.warnings);
  if (software) readUserHives(software, out);
  if (out.currentUserSid.empty()) out.currentUserSid = u".DEFAULT";
  return out;
}

}  // namespace talmoor::platform

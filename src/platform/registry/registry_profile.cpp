#include "platform/registry/registry_profile.h"

#include <algorithm>
#include <cstdlib>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/registry/offline_windows.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/wine_server.h"
#include "platform/thread_context.h"
#include "platform/text/code_page.h"
#include "platform/text/ui_languages.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr std::u16string_view kDefaultUserSid = u"S-1-5-21-0-0-0-1000";

std::filesystem::path envPath(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path homeDir() {
  auto home = envPath("HOME");
  return home.empty() ? std::filesystem::path("/") : home;
}

std::filesystem::path xdgDir(const char* variable, const char* fallback) {
  auto dir = envPath(variable);
  return dir.empty() ? homeDir() / fallback : dir;
}

[[noreturn]] void fail(const std::string& what, LONG code) {
  std::string detail = takeErrorDetail();
  throw ProfileError(detail.empty() ? fmt::format("{} (error {})", what, code) : detail);
}

std::shared_ptr<Hive> loadHive(const std::filesystem::path& file, RegistryProfile& profile) {
  auto hive = loadProfileHive(file);
  noteHiveState(*hive, profile.warnings);
  return hive;
}

// The native path a --hive key names.
std::u16string mountPathOf(const HiveMount& mount) {
  std::string key = mount.key;
  std::replace(key.begin(), key.end(), '/', '\\');
  std::size_t cut = key.find('\\');
  std::string root = key.substr(0, cut);
  std::string rest = cut == std::string::npos ? std::string() : key.substr(cut + 1);
  std::string native;
  if (root.empty() && startsWithIgnoringAsciiCase(key, "\\REGISTRY\\")) {
    native = key;
  } else if (equalsIgnoringAsciiCase(root, "HKLM") || equalsIgnoringAsciiCase(root, "HKEY_LOCAL_MACHINE")) {
    native = "\\REGISTRY\\MACHINE\\" + rest;
  } else if (equalsIgnoringAsciiCase(root, "HKU") || equalsIgnoringAsciiCase(root, "HKEY_USERS")) {
    native = "\\REGISTRY\\USER\\" + rest;
  }
  while (!native.empty() && native.back() == '\\') native.pop_back();
  std::vector<std::u16string_view> parts;
  std::u16string wide = ansiToWide(native);
  bool usable = !native.empty() && splitKeyPath(std::u16string_view(wide).substr(1), parts) == ERROR_SUCCESS &&
                parts.size() >= 3 && namesEqual(parts[0], u"REGISTRY") &&
                (namesEqual(parts[1], u"MACHINE") || namesEqual(parts[1], u"USER"));
  if (!usable)
    throw ProfileError(fmt::format("--hive {}={}: a hive is mounted at a key below HKEY_LOCAL_MACHINE or HKEY_USERS "
                                   "(for example HKLM\\Offline)",
                                   mount.file.string(), mount.key));
  return wide;
}

void mountHive(MachineRegistry& machine, const std::shared_ptr<Hive>& hive, std::u16string_view at) {
  LONG rc = machine.mount(hive, at);
  if (rc == ERROR_ALREADY_EXISTS)
    throw ProfileError(fmt::format("cannot mount {} at {}: that key already exists (a hive is mounted at a key "
                                   "that is not there yet)",
                                   hive->file().string(), userKeyText(at)));
  if (rc != ERROR_SUCCESS) fail(fmt::format("cannot mount {} at {}", hive->file().string(), userKeyText(at)), rc);
}

// Adds keys to a fresh hive without marking anything but the hive changed.
void addKeys(const std::shared_ptr<Hive>& hive, std::initializer_list<std::u16string_view> paths) {
  for (auto path : paths) {
    std::vector<std::u16string_view> parts;
    splitKeyPath(path, parts);
    auto node = hive->root();
    for (auto part : parts) {
      auto child = node->findSubkey(part);
      if (!child) {
        child = std::make_shared<KeyNode>(std::u16string(part));
        child->lastWrite = currentFiletime();
        child->setHive(hive);
        node->addSubkey(child);
      }
      node = child;
    }
  }
}

void saveNew(const std::shared_ptr<Hive>& hive) {
  if (LONG rc = hive->save(); rc != ERROR_SUCCESS) fail(fmt::format("cannot write {}", hive->file().string()), rc);
}

// A store is laid out like a Wine prefix, so that the same code reads both.
void createStore(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir / "drive_c", ec);
  std::filesystem::create_directories(dir / "dosdevices", ec);
  if (ec) throw ProfileError(fmt::format("cannot create the registry store {}: {}", dir.string(), ec.message()));
  std::filesystem::create_directory_symlink("../drive_c", dir / "dosdevices" / "c:", ec);
  std::filesystem::create_directory_symlink("/", dir / "dosdevices" / "z:", ec);

  auto system = Hive::createEmpty(dir / "system.reg", u"REGISTRY\\Machine");
  addKeys(system, {u"Software\\Classes", u"System\\CurrentControlSet\\Control",
                   u"System\\CurrentControlSet\\Hardware Profiles\\Current"});
  auto user = Hive::createEmpty(dir / "user.reg", u"REGISTRY\\User\\" + std::u16string(kDefaultUserSid));
  addKeys(user, {u"Software", u"Environment"});
  auto userDefault = Hive::createEmpty(dir / "userdef.reg", u"REGISTRY\\User\\.Default");
  addKeys(userDefault, {u"Software"});
  saveNew(user);
  saveNew(userDefault);
  saveNew(system);  // last: its presence marks a complete store
}

std::u16string userSidOf(const Hive& hive) {
  std::u16string_view path = hive.relativeTo();
  auto cut = path.rfind(u'\\');
  std::u16string sid(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
  return sid.empty() ? std::u16string(kDefaultUserSid) : sid;
}

// Mounts Talmoor's settings hive, hidden (it belongs to the program, not to
// the registry worked on); false when the registry holds its key already.
bool mountSettings(MachineRegistry& machine, const std::filesystem::path& file, RegistryProfile& profile) {
  std::shared_ptr<Hive> hive;
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    hive = loadHive(file, profile);
  } else {
    std::filesystem::create_directories(file.parent_path(), ec);
    hive = Hive::createEmpty(file, u"REGISTRY\\Machine\\SOFTWARE\\Brenhollow\\Sarnwick");
    saveNew(hive);
  }
  LONG rc = machine.mount(hive, kSettingsKeyNativePath, MachineRegistry::Visibility::Hidden);
  if (rc == ERROR_ALREADY_EXISTS) {
    profile.warnings.push_back(fmt::format(
        "the registry already holds the settings key; Talmoor's settings file {} is not mounted", file.string()));
    return false;
  }
  if (rc != ERROR_SUCCESS) fail(fmt::format("cannot mount {}", file.string()), rc);
  return true;
}

}  // namespace

std::filesystem::path defaultSettingsFile() { return xdgDir("XDG_CONFIG_HOME", ".config") / "talmoor" / "settings.reg"; }

std::filesystem::path defaultPrefix(bool& isStore) {
  isStore = false;
  if (auto prefix = envPath("WINEPREFIX"); !prefix.empty()) return prefix;
  std::error_code ec;
  if (auto wine = homeDir() / ".wine"; std::filesystem::exists(wine / "system.reg", ec)) return wine;
  isStore = true;
  return xdgDir("XDG_DATA_HOME", ".local/share") / "talmoor" / "registry";
}

std::optional<HiveMount> parseHiveMount(std::string_view argument) {
  std::size_t cut = argument.rfind('=');
  if (cut == std::string_view::npos || cut == 0 || cut + 1 == argument.size()) return std::nullopt;
  return HiveMount{std::filesystem::path(std::string(argument.substr(0, cut))), std::string(argument.substr(cut + 1))};
}

namespace {

void mountPrefix(MachineRegistry& machine, const ProfileOptions& options, RegistryProfile& profile) {
  bool isStore = false;
  profile.prefix = options.prefix ? *options.prefix : defaultPrefix(isStore);
  std::error_code ec;
  if (!std::filesystem::exists(profile.prefix / "system.reg", ec)) {
    if (!isStore)
      throw ProfileError(fmt::format("{} is not a Wine prefix or Talmoor store: it holds no system.reg",
                                     profile.prefix.string()));
    createStore(profile.prefix);
    profile.created = true;
  }
  profile.kind = std::filesystem::exists(profile.prefix / ".update-timestamp", ec) ? ProfileKind::WinePrefix
                                                                                   : ProfileKind::TalmoorStore;

  // Read everything before mounting anything: a bad file leaves no half-built registry.
  auto system = loadHive(profile.prefix / "system.reg", profile);
  std::shared_ptr<Hive> user, userDefault;
  if (std::filesystem::exists(profile.prefix / "user.reg", ec)) user = loadHive(profile.prefix / "user.reg", profile);
  if (std::filesystem::exists(profile.prefix / "userdef.reg", ec))
    userDefault = loadHive(profile.prefix / "userdef.reg", profile);

  if (isWineServerRunning(profile.prefix)) {
    profile.readOnly = true;
    std::string reason = fmt::format(
        "the Wine server of {} is running and would overwrite changes when it exits; the registry is open read-only",
        profile.prefix.string());
    for (const auto& hive : {system, user, userDefault})
      if (hive) hive->setReadOnly(reason);
    profile.warnings.push_back(fmt::format("warning: {}", reason));
  }
  // A server started while we ran would write its copy over ours when it
  // exits: asked again just before each save.
  for (const auto& hive : {system, user, userDefault}) {
    if (!hive) continue;
    hive->setCommitCheck([prefix = profile.prefix]() -> std::string {
      if (!isWineServerRunning(prefix)) return {};
      return fmt::format("the Wine server of {} started while Talmoor had changes to save; it would write its own "
                         "copy over them when it exits, so they were not saved (stop it with wineserver -k)",
                         prefix.string());
    });
  }

  mountHive(machine, system, u"\\REGISTRY\\MACHINE");
  if (user) {
    std::u16string sid = userSidOf(*user);
    mountHive(machine, user, u"\\REGISTRY\\USER\\" + sid);
    machine.setCurrentUserSid(sid);
  }
  if (userDefault) mountHive(machine, userDefault, u"\\REGISTRY\\USER\\.Default");
  profile.readDrivesWhenAsked(profile.prefix / "dosdevices");
}

void mountWindows(MachineRegistry& machine, const std::filesystem::path& dir, RegistryProfile& profile) {
  OfflineWindows windows = readOfflineWindows(dir);
  for (const auto& mount : windows.mounts) mountHive(machine, mount.hive, mount.nativePath);
  machine.setCurrentUserSid(windows.currentUserSid);
  profile.prefix = dir;
  profile.kind = ProfileKind::WindowsInstallation;
  profile.setDrives(std::move(windows.drives));
  profile.warnings.insert(profile.warnings.end(), windows.warnings.begin(), windows.warnings.end());
}

void openProfile(const ProfileOptions& options, RegistryProfile& profile) {
  if (options.prefix && options.windowsDir)
    throw ProfileError("a Wine prefix (--prefix) and a Windows installation (--windows) cannot be opened together");
  // The extra hives are checked and read first, so that a bad one stops the
  // profile before anything is created or mounted.
  std::vector<std::pair<std::shared_ptr<Hive>, std::u16string>> extra;
  for (const auto& mount : options.hives) {
    std::u16string at = mountPathOf(mount);
    extra.emplace_back(loadHive(mount.file, profile), std::move(at));
  }

  auto machine = std::make_shared<MachineRegistry>();
  if (options.windowsDir)
    mountWindows(*machine, *options.windowsDir, profile);
  else
    mountPrefix(*machine, options, profile);
  for (const auto& [hive, at] : extra) {
    // One file mounted twice would be saved twice, each copy over the other.
    if (machine->hiveOfFile(hive->file()))
      throw ProfileError(fmt::format("--hive {}: the file is already mounted", hive->file().string()));
    mountHive(*machine, hive, at);
  }
  const bool settingsMounted =
      mountSettings(*machine, options.settingsFile ? *options.settingsFile : defaultSettingsFile(), profile);

  profile.host = std::make_shared<RegistryHost>(machine);
  // The profile owns the host: a weak reference back, and the drives are
  // read only when a drive path is first resolved.
  profile.host->setHostPathResolver(
      [owner = profile.weak_from_this()](std::string_view name) -> std::optional<std::filesystem::path> {
        if (name.size() >= 2 && name[1] == ':') {
          auto profile = owner.lock();
          return profile ? profile->drives().toHost(name) : std::nullopt;
        }
        return std::filesystem::path(std::string(name));
      });
  if (settingsMounted) {
    constexpr std::u16string_view kMachine = u"\\REGISTRY\\MACHINE\\";
    profile.host->keepLoadedHiveRecords(std::u16string(kSettingsKeyNativePath.substr(kMachine.size())) + u"\\" +
                                        std::u16string(kLoadedHivesKeyName));
    profile.host->loadedHiveRecords()->remount(profile.warnings);
  }
}

}  // namespace

std::string_view profileKindName(ProfileKind kind) {
  switch (kind) {
    case ProfileKind::WinePrefix: return "Wine prefix";
    case ProfileKind::TalmoorStore: return "Talmoor store";
    case ProfileKind::WindowsInstallation: return "Windows installation";
  }
  return {};
}

LONG openRegistryProfile(const ProfileOptions& options, std::shared_ptr<RegistryProfile>& out) {
  auto profile = std::make_shared<RegistryProfile>();
  // The steps of opening throw to end it wherever it fails; here the failure
  // becomes the code and text every caller above the platform expects.
  try {
    openProfile(options, *profile);
  } catch (const ProfileError& e) {
    setErrorDetail(e.what());
    return ERROR_BADDB;
  }
  out = std::move(profile);
  return ERROR_SUCCESS;
}

template <typename Read>
auto RegistryProfile::readFromOwnRegistry(Read read) const {
  // Read from this profile's registry, whichever the calling thread works on.
  ThreadContext context = threadContext();
  context.profile = std::const_pointer_cast<RegistryProfile>(shared_from_this());
  ThreadContextScope reading(std::move(context));
  return read();
}

const WindowsEnvironment& RegistryProfile::environment() const {
  std::lock_guard lock(environmentMutex_);
  if (!environment_)
    environment_ = std::make_shared<const WindowsEnvironment>(readFromOwnRegistry(WindowsEnvironment::fromRegistry));
  return *environment_;
}

std::shared_ptr<ModuleStringCache> RegistryProfile::moduleStrings() const {
  std::lock_guard lock(moduleStringsMutex_);
  if (!moduleStrings_) moduleStrings_ = std::make_shared<ModuleStringCache>(readFromOwnRegistry(uiLanguagesFromRegistry));
  return moduleStrings_;
}

void RegistryProfile::setEnvironment(WindowsEnvironment environment) {
  {
    // Module names were found along the old environment's paths.
    std::lock_guard lock(moduleStringsMutex_);
    moduleStrings_.reset();
  }
  std::lock_guard lock(environmentMutex_);
  environment_ = std::make_shared<const WindowsEnvironment>(std::move(environment));
}

const DriveMap& RegistryProfile::drives() const {
  std::lock_guard lock(drivesMutex_);
  if (!drives_)
    drives_ = std::make_shared<const DriveMap>(dosDevices_.empty() ? DriveMap() : DriveMap::fromDosDevices(dosDevices_));
  return *drives_;
}

void RegistryProfile::readDrivesWhenAsked(std::filesystem::path dosDevices) {
  std::lock_guard lock(drivesMutex_);
  dosDevices_ = std::move(dosDevices);
  drives_.reset();
}

void RegistryProfile::setDrives(DriveMap drives) {
  std::lock_guard lock(drivesMutex_);
  drives_ = std::make_shared<const DriveMap>(std::move(drives));
}

}  // namespace talmoor::platform

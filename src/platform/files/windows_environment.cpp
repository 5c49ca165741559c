#include "platform/files/windows_environment.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/registry/registry_host.h"
#include "platform/registry/scoped_key.h"
#include "platform/registry/value_reading.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kNtCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kSystemEnvironment = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kComputerName = "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr const char* kUserShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char* kDefaultSystemRoot = "C:\\windows";

std::u16string keyOf(std::string_view name) { return upcase(ansiToWide(name)); }

struct StringValue {
  std::string name;
  DWORD type = 0;
  std::string text;
};

bool isStringValue(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// A string value of an open key; the text ends at its first terminator.
std::optional<StringValue> queryString(HKEY key, const std::string& name) {
  auto value = queryValueBytes(key, name);
  if (!value || !isStringValue(value->type)) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(value->data.data()), value->data.size());
  text.resize(std::min(text.find('\0'), text.size()));
  return StringValue{name, value->type, std::move(text)};
}

std::optional<StringValue> readString(HKEY root, const char* path, const char* name) {
  ScopedKey key = openForReading(root, path);
  return key ? queryString(key.get(), name) : std::nullopt;
}

// The string values of a key, in enumeration order.
std::vector<StringValue> readStrings(HKEY root, const char* path) {
  std::vector<StringValue> values;
  ScopedKey key = openForReading(root, path);
  if (!key) return values;
  DWORD count = 0, maxName = 0;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  std::vector<char> name(maxName + 1);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(name.size()), type = 0;
    LONG rc = RegEnumValueA(key.get(), i, name.data(), &length, nullptr, &type, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || !isStringValue(type)) continue;
    if (auto value = queryString(key.get(), std::string(name.data(), length))) values.push_back(std::move(*value));
  }
  return values;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return keyOf(a) == keyOf(b); }

// "C:" of "C:\windows"; nothing for a path without a drive letter.
std::optional<std::string> driveOf(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
    return std::string(path.substr(0, 2));
  return std::nullopt;
}

class Builder {
 public:
  WindowsEnvironment take() { return std::move(env_); }

  void machineDefined() {
    auto root = readString(HKEY_LOCAL_MACHINE, kNtCurrentVersion, "SystemRoot");
    std::string systemRoot = root && !root->text.empty() ? root->text : kDefaultSystemRoot;
    define("SystemRoot", systemRoot);
    define("windir", systemRoot);
    define("SystemDrive", driveOf(systemRoot).value_or("C:"));

    fromValue("ProgramFiles", HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
    fromValue("CommonProgramFiles", HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
    // A 64-bit system also names its 32-bit and native folders.
    if (fromValue("ProgramFiles(x86)", HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir (x86)"))
      fromValue("ProgramW6432", HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
    if (fromValue("CommonProgramFiles(x86)", HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir (x86)"))
      fromValue("CommonProgramW6432", HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir");
    if (fromValue("ProgramData", HKEY_LOCAL_MACHINE, kProfileList, "ProgramData"))
      define("ALLUSERSPROFILE", *env_.get("ProgramData"));
    fromValue("PUBLIC", HKEY_LOCAL_MACHINE, kProfileList, "Public");
    fromValue("COMPUTERNAME", HKEY_LOCAL_MACHINE, kComputerName, "ComputerName");
  }

  void user() {
    std::u16string sid = callingThreadRegistry()->local().currentUserSid();
    if (!sid.empty()) {
      std::string profileKey = std::string(kProfileList) + "\\" + wideToAnsi(sid);
      fromValue("USERPROFILE", HKEY_LOCAL_MACHINE, profileKey.c_str(), "ProfileImagePath");
    }
    applyKey(HKEY_CURRENT_USER, "Volatile Environment", false);

    if (!env_.get("APPDATA")) fromValue("APPDATA", HKEY_CURRENT_USER, kUserShellFolders, "AppData");
    if (!env_.get("LOCALAPPDATA")) fromValue("LOCALAPPDATA", HKEY_CURRENT_USER, kUserShellFolders, "Local AppData");
    if (auto profile = env_.get("USERPROFILE")) {
      std::string_view path = *profile;
      auto cut = path.find_last_of('\\');
      if (!env_.get("USERNAME") && cut != std::string_view::npos && cut + 1 < path.size())
        define("USERNAME", std::string(path.substr(cut + 1)));
      if (auto drive = driveOf(path); drive && !env_.get("HOMEDRIVE") && !env_.get("HOMEPATH")) {
        define("HOMEDRIVE", *drive);
        define("HOMEPATH", path.size() > 2 ? std::string(path.substr(2)) : "\\");
      }
    }
  }

  // The values of an environment key: plain strings first, then the ones to
  // expand, each against what is defined by then.
  void applyKey(HKEY root, const char* path, bool appendPath) {
    auto values = readStrings(root, path);
    for (DWORD pass : {DWORD{REG_SZ}, DWORD{REG_EXPAND_SZ}}) {
      for (const auto& value : values) {
        if (value.type != pass) continue;
        std::string text = pass == REG_EXPAND_SZ ? env_.expand(value.text) : value.text;
        if (appendPath && equalsIgnoringCase(value.name, "Path")) {
          if (auto machine = env_.get(value.name); machine && !machine->empty())
            text = *machine + (machine->back() == ';' ? "" : ";") + text;
        }
        define(value.name, std::move(text));
      }
    }
  }

 private:
  // A variable keeps the case of the name it was first given.
  void define(std::string_view name, std::string value) { env_.set(name, std::move(value)); }

  bool fromValue(const char* variable, HKEY root, const char* path, const char* name) {
    auto value = readString(root, path, name);
    if (!value || value->text.empty()) return false;
    define(variable, value->type == REG_EXPAND_SZ ? env_.expand(value->text) : value->text);
    return true;
  }

  WindowsEnvironment env_;
};

}  // namespace

WindowsEnvironment WindowsEnvironment::fromRegistry() {
  Builder builder;
  builder.machineDefined();
  builder.applyKey(HKEY_LOCAL_MACHINE, kSystemEnvironment, false);
  builder.user();
  builder.applyKey(HKEY_CURRENT_USER, "Environment", true);
  return builder.take();
}

std::optional<std::string> WindowsEnvironment::get(std::string_view name) const {
  auto found = variables_.find(keyOf(name));
  if (found == variables_.end()) return std::nullopt;
  return found->second.value;
}

bool WindowsEnvironment::set(std::string_view name, std::string value) {
  if (name.empty() || name.find('=', 1) != std::string_view::npos) return false;
  auto [it, inserted] = variables_.try_emplace(keyOf(name), Variable{std::string(name), {}});
  it->second.value = std::move(value);
  return true;
}

void WindowsEnvironment::remove(std::string_view name) { variables_.erase(keyOf(name)); }

std::vector<std::pair<std::string, std::string>> WindowsEnvironment::variables() const {
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(variables_.size());
  for (const auto& [key, variable] : variables_) out.emplace_back(variable.name, variable.value);
  return out;
}

std::string WindowsEnvironment::expand(std::string_view text, bool* changed) const {
  std::string out;
  out.reserve(text.size());
  bool replaced = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;  // an unclosed "%" is literal
    out.append(text.substr(pos, open - pos));
    std::string_view name = text.substr(open + 1, close - open - 1);
    auto value = name.empty() ? std::nullopt : get(name);
    if (value) {
      out += *value;
      replaced = true;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(text.substr(std::min(pos, text.size())));
  if (changed) *changed = replaced;
  return out;
}

}  // namespace talmoor::platform

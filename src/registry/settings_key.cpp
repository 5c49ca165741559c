#include "registry/settings_key.h"

#include "base/error_reporting.h"
#include "registry/access/registry_access.h"

namespace talmoor::registry {

namespace {

// A missing setting is the normal case on a first run: nothing to report.
bool quietly(const ErrorReport&) { return true; }

}  // namespace

std::string settingsPath(std::string_view subkey) {
  std::string path(kSettingsKeyPath);
  if (!subkey.empty()) path.append("\\").append(subkey);
  return path;
}

SettingRead readSetting(std::string_view name, std::string_view subkey) {
  SettingRead read;
  const std::string path = settingsPath(subkey);
  ScopedKey key(openKeyByPath(path, kReadKeyAccess, ReportTo(quietly)));
  if (!key.get()) {
    read.code = ERROR_FILE_NOT_FOUND;
    return read;
  }
  read.code = queryValue(key.get(), name, read.type, read.data, ReportTo(quietly));
  return read;
}

std::optional<std::string> readStringSetting(std::string_view name, bool& unreadable, std::string_view subkey) {
  unreadable = false;
  SettingRead read = readSetting(name, subkey);
  if (read.code == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (read.code != ERROR_SUCCESS || (read.type != REG_SZ && read.type != REG_EXPAND_SZ)) {
    unreadable = true;
    return std::nullopt;
  }
  std::string text(read.data.begin(), read.data.end());
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return text;
}

bool writeSetting(std::string_view name, DWORD type, std::vector<BYTE> data, std::string_view subkey) {
  std::string valueName(name);
  const std::string path = settingsPath(subkey);
  return setValue("", 0, path, valueName, data, type, ReportTo(defaultErrorHandler, path), nullptr);
}

bool writeStringSetting(std::string_view name, std::string_view text, std::string_view subkey) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  return writeSetting(name, REG_SZ, std::move(data), subkey);
}

bool deleteSetting(std::string_view name, std::string_view subkey) {
  const std::string path = settingsPath(subkey);
  return deleteValue("", 0, path, name, ReportTo(quietly), nullptr);
}

}  // namespace talmoor::registry

#pragma once
// Talmoor's own settings key and the values the windows keep under it. The
// key belongs to the program, not to the registry being worked on, so what
// is written here passes no confirmation.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_errors.h"
#include "platform/win32_types.h"

namespace talmoor::registry {

inline constexpr std::string_view kSettingsKeyPath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brenhollow\\Sarnwick";

// A value read from the settings key (or one of its subkeys).
struct SettingRead {
  LONG code = ERROR_SUCCESS;  // ERROR_FILE_NOT_FOUND when the key or value is not there
  DWORD type = 0;
  std::vector<BYTE> data;
};
SettingRead readSetting(std::string_view name, std::string_view subkey = {});

// The text of a string value; none when it is not there. `unreadable` is
// set when it is there but not a string, or cannot be read.
std::optional<std::string> readStringSetting(std::string_view name, bool& unreadable, std::string_view subkey = {});

// Writes or deletes a value, creating the key when missing. False on failure
// (reported to the error log of the workspace).
bool writeSetting(std::string_view name, DWORD type, std::vector<BYTE> data, std::string_view subkey = {});
bool writeStringSetting(std::string_view name, std::string_view text, std::string_view subkey = {});
bool deleteSetting(std::string_view name, std::string_view subkey = {});

// The full path of a subkey of the settings key.
std::string settingsPath(std::string_view subkey);

}  // namespace talmoor::registry

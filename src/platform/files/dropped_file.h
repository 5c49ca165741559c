#pragma once
// Files dropped on the key tree, told apart by what they hold: a hive file
// (loaded as a mount), a registry script (offered for import), a Windows
// shortcut or a desktop entry (a string value holding what it starts), or
// any other file (its bytes as a binary value, up to the largest value the
// program reads).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

enum class DroppedFileKind { Hive, RegistryScript, Shortcut, DesktopEntry, Other };

struct DroppedFile {
  DroppedFileKind kind = DroppedFileKind::Other;
  std::string valueName;       // what a value made of it is called
  std::string text;            // a shortcut's or desktop entry's command
  std::vector<BYTE> bytes;     // an other file's contents
};

// The largest file that becomes a value: the largest value the program reads.
inline constexpr std::uintmax_t kMaxDroppedFileSize = 8'024'000;

// Reads what a dropped file becomes. Nothing, with the reason, when it
// cannot be read, is too large, or is a shortcut that names no target.
std::optional<DroppedFile> readDroppedFile(const std::filesystem::path& file, std::string& problem);

// A Windows shortcut (the Shell Link format): its target and arguments
// joined by a blank. Nothing when the bytes are not a shortcut or name no target.
std::optional<std::string> shellLinkCommand(std::span<const std::uint8_t> bytes);

// A desktop entry's command: Exec= of its [Desktop Entry] group without the
// field codes (URL= of a link entry).
std::optional<std::string> desktopEntryCommand(std::string_view text);

}  // namespace talmoor::platform

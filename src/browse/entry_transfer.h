#pragma once
// What a paste or a drop of registry entries does, without the windows: the
// records of the selected keys and values for the clipboard or a drag, and
// applying records to a target key. Keys are copied (or moved) below the
// target after "Confirm Action"; values are written into it as registry
// changes titled "Copy Registry Entry" or "Move Registry Entry". Dropped
// files become values of the target key.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/window_ref.h"
#include "browse/entry_records.h"
#include "platform/files/dropped_file.h"

namespace talmoor::browse {

// Where entries arrive: the value list takes values only.
enum class EntryTarget { KeyTree, ValueList };

EntryRecord keyRecord(const std::string& keyPath);
// A value's record with its data (in the program's text form for strings);
// nothing when it cannot be read.
std::optional<EntryRecord> valueRecord(const std::string& keyPath, const std::string& valueName);

// Applies the records one after another; false when any was refused or not
// applied whole. A list of none applies nothing.
bool applyEntries(std::span<const EntryRecord> records, const std::string& targetKey, bool move, EntryTarget target,
                  WindowRef owner = 0);

// Writes what a dropped file became into the target key: a shortcut's or
// desktop entry's command as a string, other files' bytes as binary data.
bool applyDroppedFile(const platform::DroppedFile& file, const std::string& targetKey, WindowRef owner = 0);

// The records as a registry script, for a drag out to a file manager: a key
// with everything below it (as Export writes it), values with their key
// lines. False, with the file left as it was, when it cannot be written.
bool writeEntriesScript(std::span<const EntryRecord> records, const std::filesystem::path& file);
// The file name a dragged entry takes: its key's or value's name, without
// the characters a file name cannot hold, and ".reg".
std::string scriptFileName(const EntryRecord& record);

}  // namespace talmoor::browse

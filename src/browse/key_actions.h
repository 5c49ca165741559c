#pragma once
// What the key browser does to keys, without its window: the status texts of
// a selected key, and creating, renaming and deleting keys as registry
// changes through the write gate, so that the confirmation settings and the
// write check apply as they do everywhere else. Every change is saved to its
// hive before the call returns, so other programs (Wine's own tools) see it.

#include <optional>
#include <string>
#include <string_view>

#include "base/window_ref.h"

namespace talmoor::browse {

// The status line of a selected key: "%d Sub Keys(s)" ("Root" for a root)
// or "Unknown No. Sub Key(s)", and "%d Value(s)" or "Unknown No. Value(s)".
struct KeyStatus {
  std::string keys;
  std::string values;
};
KeyStatus readKeyStatus(const std::string& path, bool isRoot);

// What the Properties box says of a key that is not a hive mount point: its
// class, when it was last written (UTC), its counts of subkeys and values.
// None when the key cannot be opened.
std::optional<std::string> keyPropertiesText(const std::string& path);

// Deletes the key at `path` with everything below it. A root key is refused
// with "Cannot delete Root Keys my friend" before anything is touched.
bool deleteKeyAt(const std::string& path, WindowRef owner = 0);
// Creates `name` below `parentPath` ("Confirm Create"); the gate may change
// the name, which comes back in `name`.
bool createKeyAt(const std::string& parentPath, std::string& name, WindowRef owner = 0);
// Renames the key at `path` ("Confirm Rename"); the final name comes back in
// `newName`.
bool renameKeyAt(const std::string& path, std::string& newName, WindowRef owner = 0);

// Saves the hive holding the key at `path`; a failure is reported with the
// context "Saving Hive".
bool saveKeyHive(const std::string& path);

// "HKEY_LOCAL_MACHINE\Software\X" -> "HKEY_LOCAL_MACHINE\Software"; "" for a root.
std::string_view parentPathOf(std::string_view path);
// The last component of a path.
std::string_view keyNameOf(std::string_view path);

}  // namespace talmoor::browse

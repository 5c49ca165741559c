#pragma once
// Writing a key tree as a binary hive file ("regf", version 1.5): the layout
// Windows itself loads, with equal sequence numbers (a cleanly closed file),
// sorted and hashed "lh" subkey lists, one shared security cell per distinct
// descriptor, and big data cells for long values.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/key_tree.h"

namespace talmoor::platform {

struct RegfWriteOptions {
  // The descriptor written for keys that carry none of their own.
  std::vector<BYTE> defaultSecurity;
  // The name the root key gets in the file; empty keeps the key's own name
  // (or "ROOT" when that is empty too).
  std::u16string rootName;
  // The file name Windows notes in the base block (its last 31 characters).
  std::u16string fileName;
  std::uint32_t sequence = 1;
  // The base block's time; 0 for now.
  std::uint64_t timestamp = 0;
};

// The bytes of a hive file holding `root` and every key below it. Volatile
// keys and values are left out, and so are subkeys that belong to another
// hive than their parent (hives mounted inside this one). Throws
// std::invalid_argument for what the format cannot hold: a key name that is
// empty, longer than 255 characters or contains '\\', a value name longer
// than 16383 characters, a tree deeper than 512 levels, a value too long for
// the big data cells.
std::string writeRegfHive(const KeyNode& root, const RegfWriteOptions& options);

}  // namespace talmoor::platform

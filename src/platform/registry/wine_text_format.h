#pragma once
// The Wine text registry format ("WINE REGISTRY Version 2"): the files
// system.reg, user.reg and userdef.reg of a Wine prefix.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry/key_tree.h"

namespace talmoor::platform {

struct WineHiveText {
  // The native path that the file's keys are relative to, unescaped, as the
  // ";; All keys relative to" line names it (for example u"REGISTRY\\Machine").
  std::u16string relativeTo;
  // The "#arch=" setting ("win32", "win64"), empty when the file has none.
  std::string arch;
  // The hive's root key (its name is left empty); every key of the file below it.
  std::shared_ptr<KeyNode> root;
};

// Parses a whole file. Throws HiveFormatError naming fileName, the line and
// what was expected there; never returns a half-read tree.
WineHiveText parseWineRegistry(std::string_view text, const std::string& fileName);

// Writes the tree in Wine's own conventions: which keys get a key line, the
// key order, time lines and wrapping. Volatile keys are left out. Throws
// std::invalid_argument for what the format cannot hold: a key name that is
// empty or contains '\\', an arch setting with control characters.
std::string serializeWineRegistry(const WineHiveText& hive);

// The same text handed to `sink` in pieces of about a megabyte as it is
// made, so that it is never held whole. False when the sink said so.
using WineTextSink = std::function<bool(std::string_view)>;
bool writeWineRegistry(const WineHiveText& hive, const WineTextSink& sink);

// FILETIME helpers of the format: the key line's seconds since 1970.
std::uint64_t wineKeyLineSeconds(std::uint64_t filetime);

}  // namespace talmoor::platform

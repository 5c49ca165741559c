#pragma once
// talmoor-cli's hive verbs, as the reg command has them: load a hive file at
// a key, unload it, save a key with everything below it as a hive file. A
// hive loaded by `load` stays mounted for that run only; to work on a hive
// file, mount it with --hive FILE=KEY.

#include <string>

namespace talmoor::cli {

// Loads FILE as KEY (HKLM\Name or HKU\Name).
int runLoad(const std::string& key, const std::string& file);
// Unloads the hive mounted at KEY, saving its changes.
int runUnload(const std::string& key);
// Saves KEY as the hive file FILE; an existing file is replaced after asking,
// or without asking when forced.
int runSave(const std::string& key, const std::string& file, bool force = false);
// Writes the Windows hive file HIVE, recovered from the transaction logs
// beside it, as the new file OUT (asked first when OUT exists, unless forced).
int runRecover(const std::string& hive, const std::string& out, bool force = false);

}  // namespace talmoor::cli

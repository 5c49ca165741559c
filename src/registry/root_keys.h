#pragma once
// The root keys with every form of their names that registry paths may use,
// and the names of the value types.

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::registry {

struct RootKeyRow {
  const char* longName;   // "LOCAL_MACHINE"; the full form is "HKEY_" + this
  const char* shortName;  // "LM"; the short form is "HK" + this
  HKEY handle;
};

// The six rows in their order; row 0 stands for no root.
inline constexpr RootKeyRow kRootKeys[] = {
    {"INVALID_ROOT", "IR", 0},
    {"CLASSES_ROOT", "CR", 0x80000000u},
    {"CURRENT_USER", "CU", 0x80000001u},
    {"LOCAL_MACHINE", "LM", 0x80000002u},
    {"USERS", "U", 0x80000003u},
    {"CURRENT_CONFIG", "CC", 0x80000005u},
};

// The root a path text begins with ("HKEY_LOCAL_MACHINE\...", "HKLM\...",
// "LOCAL_MACHINE", "LM"), or 0. Case-sensitive, as paths are written.
HKEY rootFromText(std::string_view text, bool requirePrefix = false);
// The long name of a root handle, or nothing.
std::optional<std::string> rootName(HKEY handle);
bool isRootHandle(HKEY handle);
bool isRootPath(std::string_view text);
// "HKEY_" + the long name.
std::string fullRootName(HKEY handle);

// The pseudo-subkeys of the empty location: index 0-4 give the full root
// names. Returns ERROR_NO_MORE_ITEMS past them and ERROR_MORE_DATA when
// `bufferSize` cannot hold the name and its terminator.
LONG enumerateRoots(DWORD index, std::string& name, DWORD bufferSize);

struct ValueTypeRow {
  const char* name;
  int type;  // -2 and -1 are choices of the program, never stored
};

inline constexpr ValueTypeRow kValueTypes[] = {
    {"None", 0},
    {"Expanded String", 2},
    {"String", 1},
    {"Binary", 3},
    {"Double Word", 4},
    {"Double Word (Intel)", 4},
    {"Double Word (Motorola)", 5},
    {"Multi-String", 7},
    {"Link", 6},
    {"Resource List", 8},
    {"Resource Descriptor", 9},
    {"Resource Requirements", 10},
    {"Custom Type", -2},
    {"Auto Detect", -1},
};

// The first row's name for the type, or "<Type %d>".
std::string typeName(int type);

// Display labels.
inline constexpr const char* kDefaultValueLabel = "(Default Value)";
inline constexpr const char* kMyComputerLabel = "My Computer";
inline constexpr const char* kLocalRegistryLabel = "Local Registry";
inline constexpr const char* kRemoteRegistryLabel = "Remote Registry";
inline constexpr const char* kEntireRegistryLabel = "(Entire Registry)";

}  // namespace talmoor::registry

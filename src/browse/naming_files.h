#pragma once
// ".naming rules" and ".name list" files: little-endian binary records, no
// header.
//
// Rule list: u32 count, then per rule: i32 level, u8 recurse, u8 comparison,
// u32 length + the comparison's name ("<Default>"), u32 length + the action's
// name ("Friendly Name", ...). An action name we do not know loads as no
// action.
//
// Name list: u32 count, then per entry: u32 overlay, u32 length + name,
// u32 length + comment.
//
// The rule records hold no names, so a rule list saved alone would come back
// with every rule's names gone. We write each rule's name list after the
// rules, in the name-list form, and read it when it is there; a file that
// ends after the rules (as older files do) loads rules with empty lists.
//
// Files are untrusted: a length that runs past the data, a name of 260 bytes
// or more, or bytes after the last record refuse the whole file with a text
// that says where; nothing is half-loaded.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browse/naming_rules.h"

namespace talmoor::browse {

// The longest name a record may hold (the readers have always read names into
// a buffer of 260 bytes with its terminator).
inline constexpr std::size_t kMaxRecordName = 259;

std::vector<std::uint8_t> encodeRuleList(const std::vector<NamingRule>& rules);
std::vector<std::uint8_t> encodeNameList(const std::vector<NameEntry>& names);

// Nothing, and the reason in `problem`, for bytes that do not hold a whole list.
std::optional<std::vector<NamingRule>> decodeRuleList(std::span<const std::uint8_t> bytes, std::string& problem);
std::optional<std::vector<NameEntry>> decodeNameList(std::span<const std::uint8_t> bytes, std::string& problem);

// The files, read whole and written atomically. `problem` names the file.
std::optional<std::vector<NamingRule>> loadRuleListFile(const std::filesystem::path& file, std::string& problem);
std::optional<std::vector<NameEntry>> loadNameListFile(const std::filesystem::path& file, std::string& problem);
bool saveRuleListFile(const std::filesystem::path& file, const std::vector<NamingRule>& rules, std::string& problem);
bool saveNameListFile(const std::filesystem::path& file, const std::vector<NameEntry>& names, std::string& problem);

}  // namespace talmoor::browse

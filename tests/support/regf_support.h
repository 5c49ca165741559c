#pragma once
// Helpers for the hive file tests: the listing of the corpus's reference
// dumps, corpus hives, writing trees and a plain walk over a regf file's cells.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/registry/key_tree.h"

namespace talmoor::test {

// One line per key ("K", path, subkey count, value count) followed by one per
// value ("V", path, name, type, data length, SHA-1 of the data), depth first,
// separated by tabs; paths start at the root, which is the empty path.
std::string dumpKeyTree(const platform::KeyNode& root);

// A file of the corpus's binary hives, or an empty path when it is absent.
std::filesystem::path corpusHive(const std::string& name);

// A corpus file name as a test name.
std::string corpusTestName(const char* name);

// A writable copy of a file, with the folders above it.
void copyWritable(const std::filesystem::path& from, const std::filesystem::path& to);

// The tree as a regf file, keys without security of their own given the default.
std::string writeRegf(const platform::KeyNode& root, std::u16string fileName = {});

// True when one of the texts contains `part`.
bool anyContains(const std::vector<std::string>& texts, std::string_view part);

// The decompressed contents of an .xz file; nothing when xz is not installed.
std::optional<std::string> readXzFile(const std::filesystem::path& file);

// True when a program of that name is on PATH.
bool programOnPath(const std::string& name);

// A cell of a regf file: its offset (from the end of the base block), its
// size field and where its data starts in the file.
struct RegfCell {
  std::uint32_t offset;
  std::int32_t size;
  std::size_t dataAt;
  std::size_t dataSize;
};

// The cells of every bin, in file order; stops a bin at a cell that does not fit.
std::vector<RegfCell> regfCells(const std::string& file);

// The offset of the allocated key cell with that (ASCII) name, or nothing.
std::optional<std::uint32_t> regfKeyCell(const std::string& file, std::string_view name);

inline std::span<const std::uint8_t> asBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}
inline std::span<std::uint8_t> asWritableBytes(std::string& bytes) {
  return {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace talmoor::test

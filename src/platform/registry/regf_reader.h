#pragma once
// Reading a binary hive file ("regf") into the key tree, so that the rest of
// the program sees it exactly like a text hive: values in the file's order,
// subkeys in the tree's sorted order, class texts, times, security and flags.
//
// Damaged files are read as far as they are sound: each problem becomes one
// text naming the cell offset and the key it belongs to, and everything that
// does not depend on the damaged part is kept. Every offset and length is
// checked against the file, every cell is used at most once (so that cycles
// and shared lists cannot make the reading loop or grow without bound), and
// the tree is followed no deeper than Windows allows.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/registry/key_tree.h"

namespace talmoor::platform {

struct RegfStatistics {
  std::size_t keys = 0;
  std::size_t values = 0;
  std::size_t bins = 0;
  std::size_t securityCells = 0;
  // "lh" entries whose hash does not match the name under this platform's
  // case mapping; Windows would not find those keys by name.
  std::size_t hashMismatches = 0;
  // Keys found whole in sound bins but missing from their parent's subkey
  // list (which was lost), and put back under the parent.
  std::size_t recoveredKeys = 0;
  // All problems found, including those left out of the texts.
  std::size_t problems = 0;
};

struct RegfHive {
  std::shared_ptr<KeyNode> root;
  // The name the root key has in the file (Windows keeps names such as
  // "ROOT" or "CMI-CreateHive{...}" there).
  std::u16string rootName;
  std::uint32_t majorVersion = 1;
  std::uint32_t minorVersion = 0;
  // The larger of the two sequence numbers.
  std::uint32_t sequence = 0;
  // The two sequence numbers differ: the file was not closed cleanly and its
  // transaction logs may hold changes that are not in it.
  bool dirtyOnDisk = false;
  std::uint64_t lastWritten = 0;
  // The file name Windows noted in the base block (often only its tail).
  std::u16string baseBlockFileName;
  // One text per problem, at most kMaxDamageTexts of them (the last one then
  // says how many more there were).
  std::vector<std::string> damage;
  RegfStatistics statistics;
};

inline constexpr std::size_t kMaxDamageTexts = 1000;

// The key below a damaged hive's root that holds the keys whose parent was
// lost, found whole in sound bins (a number is added when the hive has a key
// of that name).
inline constexpr std::u16string_view kLostAndFound = u"Lost and Found (keys whose parent key was lost)";

// True when the bytes start like a regf file.
bool looksLikeRegf(std::span<const std::uint8_t> bytes);

// Reads a whole file. Throws HiveFormatError naming fileName and the problem
// when the file is no hive this platform can read (too short, wrong
// signature or version, a transaction log) or when its root key is unusable;
// any other damage is listed in the result.
RegfHive readRegfHive(std::span<const std::uint8_t> bytes, const std::string& fileName);
// Checks a whole file as readRegfHive reads it, for its problems and
// statistics only: values are read and checked but not kept.
RegfHive checkRegfHive(std::span<const std::uint8_t> bytes, const std::string& fileName);

class RegfReader;

// A sound hive read on demand: opening it reads the base block, walks the
// bins and reads the root key; every other key is read when first used, and
// its value data stays in `bytes` (which `file` keeps alive) until changed.
// Problems met on the way are noted as a whole read would note them.
class RegfSource : public KeySource {
 public:
  RegfSource();
  ~RegfSource() override;
  // Null when the base block, the bins or the root key show any problem: a
  // hive like that is read whole (readRegfHive), where every problem is found.
  // `releasePages`, when given, is handed each stretch of `bytes` that
  // opening is done with (see MappedFile::forgetPages).
  static std::shared_ptr<RegfSource> open(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> file,
                                          const std::string& fileName, RegfHive& opened,
                                          const std::function<void(std::size_t, std::size_t)>& releasePages = {});

  void readSubkeys(KeyNode& key, std::uint32_t record, int depth) override;
  void readValues(KeyNode& key, std::uint32_t record, int depth) override;
  void forget(std::span<const std::uint32_t> records, std::size_t values) override;

  std::span<const std::uint8_t> bytes() const { return bytes_; }
  // What was read so far and is still held (keys given back are not
  // counted): keys, values, and the problems met.
  RegfStatistics statistics();
  std::vector<std::string> damageSoFar();
  // Whether reading keys on demand met any problem (without waiting for a
  // reader that holds the lock).
  bool damaged() const { return damaged_.load(std::memory_order_acquire); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::atomic<bool> damaged_{false};
  std::unique_ptr<RegfReader> reader_;
};

}  // namespace talmoor::platform

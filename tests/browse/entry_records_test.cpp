// The flat entry records of the clipboard and drag and drop: what is written
// reads back the same, and damaged or hostile blocks are refused with a
// reason instead of being read past their end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/entry_records.h"

namespace {

using namespace talmoor::browse;

EntryRecord value(std::string key, std::string name, DWORD type, std::vector<BYTE> data) {
  EntryRecord record;
  record.keyPath = std::move(key);
  record.valueName = std::move(name);
  record.type = type;
  record.data = std::move(data);
  return record;
}

TEST(EntryRecords, KeysValuesAndListsReadBackAsWritten) {
  EntryRecord key;
  key.keyPath = "HKEY_CURRENT_USER\\Software\\Wine";
  const EntryRecord unnamed = value("HKEY_CURRENT_USER\\Software", "", 1, {'x', 0});
  const EntryRecord binary = value("HKEY_CURRENT_USER\\Software", "blob", 3, {0, 0, 7, 0});
  const EntryRecord empty = value("HKEY_CURRENT_USER", "nothing", 3, {});

  std::string problem;
  auto bytes = encodeEntry(key);
  // Header of seven words, the path with its terminator, no name, no data.
  EXPECT_EQ(bytes.size(), 28u + key.keyPath.size() + 1);
  auto read = decodeEntry(bytes, problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_TRUE(read->isKey());
  EXPECT_EQ(*read, key);
  // The unnamed value is a name of its own (its terminator alone), not a key.
  read = decodeEntry(encodeEntry(unnamed), problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_EQ(read->valueName, std::string());

  const std::vector<EntryRecord> list{key, unnamed, binary, empty};
  auto many = decodeEntryList(encodeEntryList(list), problem);
  ASSERT_TRUE(many) << problem;
  EXPECT_EQ(*many, list);
  // A list of none is a list, and gives nothing to apply.
  auto none = decodeEntryList(encodeEntryList({}), problem);
  ASSERT_TRUE(none) << problem;
  EXPECT_TRUE(none->empty());
}

TEST(EntryRecords, DamagedAndHostileBlocksAreRefusedWithAReason) {
  const auto good = encodeEntry(value("HKEY_LOCAL_MACHINE\\Software", "v", 4, {1, 0, 0, 0}));
  std::string problem;
  // Cut anywhere, the record is refused.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    problem.clear();
    EXPECT_FALSE(decodeEntry(std::span(good).first(cut), problem));
    EXPECT_FALSE(problem.empty());
  }
  // Bytes after the record, a data length of 4 GB, a path without its
  // terminator: refused before anything is allocated or read past.
  auto longer = good;
  longer.push_back(0);
  EXPECT_FALSE(decodeEntry(longer, problem));
  auto huge = good;
  huge[20] = huge[21] = huge[22] = huge[23] = 0xFF;
  EXPECT_FALSE(decodeEntry(huge, problem));
  EXPECT_NE(problem.find("claims"), std::string::npos) << problem;
  auto unterminated = good;
  unterminated[28 + 27] = 'x';
  EXPECT_FALSE(decodeEntry(unterminated, problem));
  // A count far beyond what the block could hold.
  std::vector<BYTE> list{0xFF, 0xFF, 0xFF, 0x7F};
  list.insert(list.end(), good.begin(), good.end());
  EXPECT_FALSE(decodeEntryList(list, problem));
  EXPECT_NE(problem.find("claims"), std::string::npos) << problem;
  EXPECT_FALSE(decodeEntryList(std::vector<BYTE>{1, 0}, problem));
}

}  // namespace

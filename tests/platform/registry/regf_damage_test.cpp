// Damaged regf files: what is no hive is refused with the file's name; other
// damage is reported by cell and key while the sound rest is read.

#include <gtest/gtest.h>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/regf_layout.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "support/regf_support.h"

namespace {

namespace tp = talmoor::platform;
namespace regf = talmoor::platform::regf;
using talmoor::test::asBytes;
using talmoor::test::asWritableBytes;
using talmoor::test::regfKeyCell;

// Root
//   Alpha (values a1, a2)
//     Inner (value deep)
//   Beta (value b1)
std::string soundHive() {
  auto root = std::make_shared<tp::KeyNode>(u"");
  for (const char16_t* name : {u"Alpha", u"Beta"}) root->addSubkey(std::make_shared<tp::KeyNode>(name));
  auto alpha = root->findSubkey(u"Alpha");
  alpha->setValue(u"a1", REG_BINARY, std::vector<BYTE>(40, 0xA1));
  alpha->setValue(u"a2", REG_DWORD, {2, 0, 0, 0});
  auto inner = std::make_shared<tp::KeyNode>(u"Inner");
  alpha->addSubkey(inner);
  inner->setValue(u"deep", REG_BINARY, std::vector<BYTE>(30000, 0xDE));
  root->findSubkey(u"Beta")->setValue(u"b1", REG_SZ, std::vector<BYTE>(12, 0xB1));
  return talmoor::test::writeRegf(*root);
}

tp::RegfHive read(const std::string& file) { return tp::readRegfHive(asBytes(file), "damaged.hiv"); }

std::size_t at(std::uint32_t cell, std::size_t field) { return regf::kBaseBlockSize + cell + 4 + field; }

std::uint32_t get32(const std::string& file, std::size_t offset) { return regf::load32(asBytes(file), offset); }
void put32(std::string& file, std::size_t offset, std::uint32_t value) {
  regf::store32(asWritableBytes(file), offset, value);
}

// The subkey or value list cell of the named key, and the cell of its first value.
std::uint32_t listOf(const std::string& file, std::string_view key, std::size_t field) {
  return get32(file, at(regfKeyCell(file, key).value(), field));
}
std::uint32_t firstValue(const std::string& file, std::string_view key) {
  return get32(file, at(listOf(file, key, regf::kNkValueList), 0));
}

bool mentions(const tp::RegfHive& hive, std::string_view text) { return talmoor::test::anyContains(hive.damage, text); }

std::string allReports(const tp::RegfHive& hive) {
  std::string all;
  for (const auto& report : hive.damage) all += report + "\n";
  return all;
}

TEST(RegfDamage, WhatIsNoHiveIsRefusedWithTheFileName) {
  std::string good = soundHive();
  auto refused = [](std::string file) {
    try {
      read(file);
    } catch (const tp::HiveFormatError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(refused(good.substr(0, 4000)).find("damaged.hiv: too short"), std::string::npos);
  std::string version = good;
  put32(version, regf::kMajorVersion, 2);
  EXPECT_NE(refused(version).find("version 2.5"), std::string::npos);
  std::string log = good;
  put32(log, regf::kFileType, 1);
  EXPECT_NE(refused(log).find("transaction log"), std::string::npos);
  std::string rootless = good;
  put32(rootless, regf::kRootCell, 0x7FFFFFF8);
  EXPECT_NE(refused(rootless).find("root key"), std::string::npos);
}

TEST(RegfDamage, HeaderDamageIsReportedAndTheTreeStillRead) {
  std::string file = soundHive();
  put32(file, regf::kSequence1, 7);  // not resummed: the checksum no longer matches either
  auto hive = read(file);
  EXPECT_TRUE(hive.dirtyOnDisk);
  EXPECT_TRUE(mentions(hive, "checksum")) << allReports(hive);
  EXPECT_EQ(hive.statistics.keys, 4u);

  // Cut off in the middle of its bins: the base block's size is corrected,
  // and keys whose cells lie beyond the end are reported.
  std::string cut = soundHive();
  cut.resize(regf::kBaseBlockSize + regf::kBinAlignment);
  auto truncated = read(cut);
  EXPECT_TRUE(mentions(truncated, "base block: it gives")) << allReports(truncated);
  EXPECT_TRUE(mentions(truncated, "outside the hive")) << allReports(truncated);
}

TEST(RegfDamage, CyclesAndSharedCellsAreFollowedOnce) {
  std::string file = soundHive();
  auto inner = regfKeyCell(file, "Inner").value();
  // Inner's subkey list becomes Alpha's own: Inner would hold Inner again.
  put32(file, at(inner, regf::kNkSubkeyCount), 1);
  put32(file, at(inner, regf::kNkSubkeyList), listOf(file, "Alpha", regf::kNkSubkeyList));
  auto hive = read(file);
  EXPECT_TRUE(mentions(hive, "used a second time")) << allReports(hive);
  EXPECT_EQ(hive.statistics.keys, 4u);

  // An index list that names itself (made of Alpha's value list).
  std::string selfIndex = soundHive();
  auto owner = regfKeyCell(selfIndex, "Alpha").value();
  std::uint32_t list = listOf(selfIndex, "Alpha", regf::kNkValueList);
  selfIndex.replace(at(list, 0), 4, "ri\x01\x00", 4);
  put32(selfIndex, at(list, 4), list);
  put32(selfIndex, at(owner, regf::kNkValueCount), 0);
  put32(selfIndex, at(owner, regf::kNkSubkeyList), list);
  auto looped = read(selfIndex);
  EXPECT_TRUE(mentions(looped, "(key \\Alpha): the subkey list is used a second time")) << allReports(looped);
  EXPECT_EQ(looped.statistics.keys, 4u);  // Inner is found again through its parent link
}

TEST(RegfDamage, BadReferencesLoseOnlyWhatTheyNamed) {
  std::string file = soundHive();
  put32(file, at(listOf(file, "Alpha", regf::kNkValueList), 0), 0xFFFFFFF0);  // a1 now lies past the file
  auto hive = read(file);
  EXPECT_TRUE(mentions(hive, "(key \\Alpha): a value lies outside the hive")) << allReports(hive);
  auto back = hive.root->findSubkey(u"Alpha");
  ASSERT_TRUE(back);
  ASSERT_EQ(back->values().size(), 1u);
  EXPECT_EQ(back->values()[0].name, u"a2");
  EXPECT_TRUE(back->findSubkey(u"Inner"));
  EXPECT_TRUE(hive.root->findSubkey(u"Beta"));

  // A value claiming more data than its cell holds is left out, not cut.
  std::string longer = soundHive();
  put32(longer, at(firstValue(longer, "Beta"), regf::kVkDataLength), 5000);
  auto claimed = read(longer);
  EXPECT_TRUE(mentions(claimed, "value \"b1\": 5000 bytes of data")) << allReports(claimed);
  EXPECT_TRUE(claimed.root->findSubkey(u"Beta")->values().empty());

  // A big data value whose segment list is gone.
  std::string big = soundHive();
  put32(big, at(get32(big, at(firstValue(big, "Inner"), regf::kVkData)), regf::kDbSegmentList), 12345);
  auto segments = read(big);
  EXPECT_TRUE(mentions(segments, "the big data segment list is not on a cell boundary")) << allReports(segments);
  EXPECT_TRUE(segments.root->findSubkey(u"Alpha")->findSubkey(u"Inner")->values().empty());
}

TEST(RegfDamage, KeysOfALostSubkeyListAreRecoveredUnderTheirParent) {
  std::string file = soundHive();
  file[at(listOf(file, "Alpha", regf::kNkSubkeyList), 0)] = 'x';  // the list's signature is gone
  auto hive = read(file);
  EXPECT_TRUE(mentions(hive, "expected a subkey list")) << allReports(hive);
  EXPECT_TRUE(mentions(hive, "(key \\Alpha): subkey \"Inner\" was not in the key's subkey list; recovered"))
      << allReports(hive);
  auto inner = hive.root->findSubkey(u"Alpha")->findSubkey(u"Inner");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->values().size(), 1u);
  EXPECT_EQ(hive.statistics.recoveredKeys, 1u);

  // With the parent lost too, the key (with its values and what is below it)
  // is kept under a key of its own, which says what it holds.
  std::string orphaned = soundHive();
  orphaned[at(get32(orphaned, at(get32(orphaned, regf::kRootCell), regf::kNkSubkeyList)), 0)] = 'x';
  put32(orphaned, at(regfKeyCell(orphaned, "Alpha").value(), 0), 0x4B4E4F4E);  // Alpha is no key any more
  auto lost = read(orphaned);
  EXPECT_TRUE(mentions(lost, "key \"Inner\" has lost its parent")) << allReports(lost);
  EXPECT_TRUE(lost.root->findSubkey(u"Beta"));
  auto found = lost.root->findSubkey(tp::kLostAndFound);
  ASSERT_TRUE(found) << allReports(lost);
  ASSERT_TRUE(found->findSubkey(u"Inner"));
  EXPECT_EQ(found->findSubkey(u"Inner")->values().size(), 1u);
}

TEST(RegfDamage, ClassLengthsOfHalfACharacterGiveNoClass) {
  auto root = std::make_shared<tp::KeyNode>(u"");
  auto key = std::make_shared<tp::KeyNode>(u"Classy");
  key->className = u"ab";
  root->addSubkey(key);
  std::string file = talmoor::test::writeRegf(*root);
  auto cell = regfKeyCell(file, "Classy").value();
  regf::store16(asWritableBytes(file), at(cell, regf::kNkClassLength), 3);
  EXPECT_EQ(read(file).root->findSubkey(u"Classy")->className, std::optional<std::u16string>(u"a"));
  // One byte is no character: no class, as the writer would write it.
  regf::store16(asWritableBytes(file), at(cell, regf::kNkClassLength), 1);
  EXPECT_FALSE(read(file).root->findSubkey(u"Classy")->className);
}

TEST(RegfDamage, ReportsAreCappedButCounted) {
  // A key whose value list names the same broken cell thousands of times.
  auto root = std::make_shared<tp::KeyNode>(u"");
  for (int i = 0; i < 3000; ++i) root->setValue(u"v" + tp::ansiToWide(std::to_string(i)), REG_DWORD, {0, 0, 0, 0});
  std::string file = talmoor::test::writeRegf(*root);
  std::uint32_t list = get32(file, at(get32(file, regf::kRootCell), regf::kNkValueList));
  for (int i = 0; i < 3000; ++i) put32(file, at(list, 4 * i), 0xFFFFFFF0);
  put32(file, regf::kChecksum, regf::baseBlockChecksum(asBytes(file)));
  auto hive = read(file);
  EXPECT_EQ(hive.statistics.problems, 3000u);
  ASSERT_EQ(hive.damage.size(), tp::kMaxDamageTexts + 1);
  EXPECT_EQ(hive.damage.back(), "... and 2000 more problems");
}

}  // namespace

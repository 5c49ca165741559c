// Trees written as regf files and read back whole, in files that keep the rules
// Windows relies on (checksum, sequence, bins, sorted hashed lists, security ring).

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

#include "platform/error_detail.h"
#include "platform/registry/hive.h"
#include "platform/registry/regf_layout.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/regf_writer.h"
#include "platform/registry/registry_constants.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/regf_support.h"

namespace {

namespace tp = talmoor::platform;
namespace regf = talmoor::platform::regf;
using talmoor::test::asBytes;
using talmoor::test::dumpKeyTree;

std::shared_ptr<tp::KeyNode> addKey(const std::shared_ptr<tp::KeyNode>& parent, std::u16string name) {
  auto key = std::make_shared<tp::KeyNode>(std::move(name));
  key->lastWrite = 0x01D0000000000000ull + parent->subkeys().size();
  parent->addSubkey(key);
  return key;
}

std::vector<BYTE> pattern(std::size_t size) {
  std::vector<BYTE> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 7 + i / 251);
  return data;
}

constexpr std::u16string_view kLongFileName = u"\\SystemRoot\\System32\\Config\\A-RATHER-LONG-HIVE-NAME";

std::string write(const tp::KeyNode& root) { return talmoor::test::writeRegf(root, std::u16string(kLongFileName)); }

tp::RegfHive read(const std::string& file) { return tp::readRegfHive(asBytes(file), "written"); }

// A tree with what a hive can hold: names one byte per character and not,
// data inline, in a cell and in big data segments, classes, links, times,
// security shared and not.
std::shared_ptr<tp::KeyNode> richTree() {
  auto root = std::make_shared<tp::KeyNode>(u"");
  root->security = tp::defaultKeySecurity();
  auto software = addKey(root, u"Software");
  auto latin = addKey(software, u"Gr\u00f6\u00dfe");
  auto wide = addKey(software, u"\u952e\U0001F511");
  wide->className = u"Klasse \u00e9";
  auto link = addKey(root, u"Link");
  link->isLink = true;
  link->setValue(u"SymbolicLinkValue", REG_LINK, tp::bytesFromUtf16(u"\\REGISTRY\\MACHINE\\Software"));
  latin->security = tp::defaultKeySecurity("S-1-5-21-1-2-3-1001");
  wide->security = latin->security;  // shared: one cell, two references
  // Values stay in their own order, not sorted.
  for (std::size_t size : {0, 1, 4, 5, 16344, 16345, 100000})
    software->setValue(tp::ansiToWide("size " + std::to_string(size)), REG_BINARY, pattern(size));
  software->setValue(u"", REG_SZ, tp::bytesFromUtf16(u"default", true));
  software->setValue(u"\u00e9t\u00e9", REG_DWORD, {1, 2, 3, 4});
  software->setValue(u"\u4e2d", 0x12345678, {9});
  return root;
}

TEST(RegfFormat, ATreeReadsBackWithEverythingItHolds) {
  auto root = richTree();
  std::string file = write(*root);
  auto back = read(file);
  EXPECT_TRUE(back.damage.empty()) << back.damage.front();
  EXPECT_EQ(back.minorVersion, 5u);
  EXPECT_EQ(dumpKeyTree(*back.root), dumpKeyTree(*root));

  // What the listing leaves out: classes, times, security and links.
  auto software = back.root->findSubkey(u"Software");
  ASSERT_TRUE(software);
  auto wide = software->findSubkey(u"\u952e\U0001F511");
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->className, std::optional<std::u16string>(u"Klasse \u00e9"));
  EXPECT_EQ(wide->lastWrite, root->findSubkey(u"Software")->findSubkey(u"\u952e\U0001F511")->lastWrite);
  EXPECT_EQ(wide->security, tp::defaultKeySecurity("S-1-5-21-1-2-3-1001"));
  EXPECT_EQ(software->security, tp::defaultKeySecurity());  // none of its own: the default
  EXPECT_TRUE(back.root->findSubkey(u"Link")->isLink);

  // Keys that name one security cell hold one descriptor between them; a key
  // given a descriptor of its own leaves the others theirs.
  auto latin = software->findSubkey(u"Gr\u00f6\u00dfe");
  ASSERT_TRUE(latin);
  EXPECT_EQ(back.statistics.securityCells, 2u);
  EXPECT_TRUE(wide->security.sharedWith(latin->security));
  latin->security = tp::defaultKeySecurity();
  EXPECT_EQ(wide->security, tp::defaultKeySecurity("S-1-5-21-1-2-3-1001"));
  EXPECT_EQ(latin->security, tp::defaultKeySecurity());
}

TEST(RegfFormat, VolatileKeysValuesAndMountedHivesAreLeftOut) {
  auto root = std::make_shared<tp::KeyNode>(u"");
  auto kept = addKey(root, u"Kept");
  addKey(root, u"Gone")->isVolatile = true;
  kept->setValue(u"Saved", REG_DWORD, {1, 0, 0, 0});
  kept->setValue(u"Runtime", REG_DWORD, {2, 0, 0, 0});
  kept->findValue(u"Runtime")->isVolatile = true;
  auto own = tp::Hive::createEmpty("/nonexistent/own", u"REGISTRY\\Machine", tp::HiveFormat::Regf);
  auto other = tp::Hive::createEmpty("/nonexistent/other", u"REGISTRY\\Machine", tp::HiveFormat::Regf);
  kept->setHive(own);
  root->setHive(own);
  addKey(kept, u"Mounted")->setHive(other);

  auto back = read(write(*root));
  EXPECT_EQ(dumpKeyTree(*back.root), "K\t\t1\t0\nK\t\\Kept\t0\t1\nV\t\\Kept\tSaved\t4\t4\t"
                                     "3c585604e87f855973731fea83e21fab9392d2fc\n");
}

TEST(RegfFormat, TheFileKeepsTheRulesWindowsReliesOn) {
  auto root = richTree();
  auto many = addKey(root, u"Many");
  for (int i = 0; i < 1200; ++i) addKey(many, tp::ansiToWide("k" + std::to_string(i)));
  std::string file = write(*root);
  auto bytes = asBytes(file);

  // Base block: signature, equal sequence numbers, checksum, version 1.5, the
  // tail of the file name, bins that fill exactly the size it gives.
  EXPECT_EQ(file.compare(0, 4, "regf"), 0);
  EXPECT_EQ(regf::load32(bytes, regf::kSequence1), regf::load32(bytes, regf::kSequence2));
  EXPECT_EQ(regf::load32(bytes, regf::kChecksum), regf::baseBlockChecksum(bytes));
  EXPECT_EQ(regf::load32(bytes, regf::kMajorVersion), 1u);
  EXPECT_EQ(regf::load32(bytes, regf::kMinorVersion), 5u);
  EXPECT_EQ(tp::utf16FromBytes(bytes.subspan(regf::kFileName, regf::kFileNameBytes)),
            std::u16string(kLongFileName.substr(kLongFileName.size() - 31)) + u'\0');
  EXPECT_EQ(file.size(), regf::kBaseBlockSize + regf::load32(bytes, regf::kBinsSize));
  std::size_t binTotal = 0;
  for (std::size_t at = regf::kBaseBlockSize; at < file.size(); at += regf::load32(bytes, at + regf::kBinSize)) {
    ASSERT_EQ(file.compare(at, 4, "hbin"), 0) << at;
    EXPECT_EQ(regf::load32(bytes, at + regf::kBinOffset), at - regf::kBaseBlockSize);
    EXPECT_EQ(regf::load32(bytes, at + regf::kBinSize) % regf::kBinAlignment, 0u);
    binTotal += regf::load32(bytes, at + regf::kBinSize);
  }
  EXPECT_EQ(binTotal, file.size() - regf::kBaseBlockSize);

  auto cells = talmoor::test::regfCells(file);
  std::map<std::uint32_t, std::u16string> keyNames;
  std::map<std::uint32_t, std::uint32_t> securityOf;
  std::set<std::uint32_t> securityCells;
  std::size_t lhLists = 0, riLists = 0;
  for (const auto& cell : cells) {
    auto data = bytes.subspan(cell.dataAt, cell.dataSize);
    if (cell.size >= 0) continue;
    if (file.compare(cell.dataAt, 2, "nk") == 0) {
      auto name = data.subspan(regf::kNkName, regf::load16(data, regf::kNkNameLength));
      bool compressed = regf::load16(data, regf::kNkFlags) & regf::kKeyCompressedName;
      std::u16string text = compressed ? std::u16string(name.begin(), name.end()) : tp::utf16FromBytes(name);
      EXPECT_EQ(compressed, regf::fitsCompressed(text));
      keyNames[cell.offset] = text;
      securityOf[cell.offset] = regf::load32(data, regf::kNkSecurity);
    } else if (file.compare(cell.dataAt, 2, "sk") == 0) {
      securityCells.insert(cell.offset);
    } else if (file.compare(cell.dataAt, 2, "ri") == 0) {
      ++riLists;
    }
  }
  for (const auto& cell : cells) {
    if (cell.size >= 0 || file.compare(cell.dataAt, 2, "lh") != 0) continue;
    ++lhLists;
    auto data = bytes.subspan(cell.dataAt, cell.dataSize);
    std::u16string previous;
    for (std::size_t i = 0; i < regf::load16(data, regf::kListCount); ++i) {
      std::u16string name = keyNames.at(regf::load32(data, regf::kListEntries + 8 * i));
      EXPECT_EQ(regf::load32(data, regf::kListEntries + 8 * i + 4), regf::nameHash(name)) << tp::wideToAnsi(name);
      EXPECT_LT(tp::upcase(previous), tp::upcase(name)) << tp::wideToAnsi(name);
      previous = name;
    }
  }
  EXPECT_EQ(riLists, 1u);  // 1200 subkeys are more than one list holds
  EXPECT_GE(lhLists, 5u);

  // Security cells: one ring through all of them, each counting its keys.
  ASSERT_EQ(securityCells.size(), 2u);
  std::map<std::uint32_t, std::uint32_t> references;
  for (const auto& [key, sk] : securityOf) ++references[sk];
  std::uint32_t first = *securityCells.begin(), at = first;
  std::set<std::uint32_t> visited;
  do {
    auto data = bytes.subspan(regf::kBaseBlockSize + at + 4);
    EXPECT_EQ(regf::load32(data, regf::kSkReferences), references[at]);
    std::uint32_t next = regf::load32(data, regf::kSkNext);
    EXPECT_EQ(regf::load32(bytes.subspan(regf::kBaseBlockSize + next + 4), regf::kSkPrevious), at);
    visited.insert(at);
    at = next;
  } while (at != first && visited.size() <= securityCells.size());
  EXPECT_EQ(visited, securityCells);

  auto back = read(file);
  EXPECT_TRUE(back.damage.empty());
  EXPECT_EQ(back.root->findSubkey(u"Many")->subkeys().size(), 1200u);
}

TEST(RegfFormat, WhatTheFormatCannotHoldIsRefused) {
  auto withKey = [](std::u16string name) {
    auto root = std::make_shared<tp::KeyNode>(u"");
    addKey(root, std::move(name));
    return root;
  };
  EXPECT_THROW(write(*withKey(u"a\\b")), std::invalid_argument);
  EXPECT_THROW(write(*withKey(std::u16string(256, u'x'))), std::invalid_argument);
  EXPECT_NO_THROW(write(*withKey(std::u16string(255, u'x'))));  // the longest name Windows allows

  auto deep = std::make_shared<tp::KeyNode>(u"");
  auto key = deep;
  for (int i = 0; i < 513; ++i) key = addKey(key, u"d");
  EXPECT_THROW(write(*deep), std::invalid_argument);

  auto values = std::make_shared<tp::KeyNode>(u"");
  values->setValue(std::u16string(16384, u'v'), REG_DWORD, {0, 0, 0, 0});
  EXPECT_THROW(write(*values), std::invalid_argument);
}

TEST(RegfFormat, SavingAHiveKeepsItsFormatAndAdvancesTheSequence) {
  talmoor::test::TempDir dir;
  auto hive = tp::Hive::createEmpty(dir / "NEW.DAT", u"REGISTRY\\Machine", tp::HiveFormat::Regf);
  auto key = std::make_shared<tp::KeyNode>(u"Data");
  key->setHive(hive);
  hive->root()->addSubkey(key);
  key->setValue(u"v", REG_SZ, tp::bytesFromUtf16(u"x", true));
  ASSERT_EQ(hive->save(), ERROR_SUCCESS);

  std::shared_ptr<tp::Hive> loaded;
  ASSERT_EQ(tp::Hive::load(dir / "NEW.DAT", loaded), ERROR_SUCCESS);
  EXPECT_EQ(loaded->format(), tp::HiveFormat::Regf);
  EXPECT_EQ(dumpKeyTree(*loaded->root()), dumpKeyTree(*hive->root()));
  std::uint32_t before = regf::load32(asBytes(talmoor::test::readFile(dir / "NEW.DAT")), regf::kSequence1);
  ASSERT_EQ(loaded->save(), ERROR_SUCCESS);
  std::string again = talmoor::test::readFile(dir / "NEW.DAT");
  EXPECT_EQ(regf::load32(asBytes(again), regf::kSequence1), before + 1);
  EXPECT_EQ(regf::load32(asBytes(again), regf::kSequence2), before + 1);
}

TEST(RegfFormat, HiveFilesAreToldApartByTheirFirstBytes) {
  talmoor::test::TempDir dir;
  auto loadDetail = [&](const std::string& name, const std::string& bytes, LONG expected) {
    talmoor::test::writeFile(dir / name, bytes);
    tp::clearErrorDetail();
    std::shared_ptr<tp::Hive> hive;
    EXPECT_EQ(tp::Hive::load(dir / name, hive), expected) << name;
    return tp::takeErrorDetail();
  };
  EXPECT_NE(loadDetail("win98.dat", "CREG\x01\x00\x00\x00", ERROR_BADDB).find("win98.dat: a Windows 95/98/ME"),
            std::string::npos);
  EXPECT_NE(loadDetail("other.bin", "MZ\x90\x00", ERROR_BADDB).find("expected \"WINE REGISTRY Version 2\" or \"regf\""),
            std::string::npos);
  EXPECT_NE(loadDetail("short.hiv", "regf\x01", ERROR_BADDB).find("short.hiv: too short"), std::string::npos);
  auto root = std::make_shared<tp::KeyNode>(u"");
  EXPECT_EQ(loadDetail("sound.hiv", write(*root), ERROR_SUCCESS), "");
  EXPECT_EQ(loadDetail("text.reg", "WINE REGISTRY Version 2\n", ERROR_SUCCESS), "");
}

}  // namespace

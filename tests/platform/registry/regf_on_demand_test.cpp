// regf hives read on demand: what a lookup, a walk or a save sees is what a
// whole read gives, keys are read only when reached, damage found late still
// makes the hive read-only with every problem listed, and lookups on several
// threads at once read each key once and alike.

#include <gtest/gtest.h>

#include <thread>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/registry/hive.h"
#include "platform/registry/regf_layout.h"
#include "platform/registry/regf_log.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/process.h"
#include "support/regf_support.h"
#include "support/sha1.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
namespace regf = talmoor::platform::regf;
using talmoor::test::asBytes;
using talmoor::test::corpusHive;
using talmoor::test::TempDir;

// Everything a key holds that a save writes, for the whole tree below `key`.
void describe(const tp::KeyNode& key, const std::string& path, std::string& out) {
  fmt::format_to(std::back_inserter(out), "K\t{}\t{}\t{}\t{}\t{}\t{}\n", path,
                 key.className ? tp::wideToAnsi(*key.className) : "<none>", key.lastWrite, key.isLink,
                 talmoor::test::sha1Hex(key.security.bytes()), key.subkeys().size());
  for (const auto& value : key.values())
    fmt::format_to(std::back_inserter(out), "V\t{}\t{}\t{}\t{}\n", tp::wideToAnsi(value.name), value.type,
                   value.data.size(), talmoor::test::sha1Hex(value.data));
  for (const auto& child : key.subkeys()) describe(*child, path + "\\" + tp::wideToAnsi(child->name()), out);
}

std::string describe(const tp::KeyNode& root) {
  std::string out;
  describe(root, "", out);
  return out;
}

// Empty when equal; else the first line where the two part (trees are too
// large for a whole diff).
std::string difference(const std::string& ours, const std::string& theirs) {
  std::size_t at = 0;
  while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
  if (at == ours.size() && at == theirs.size()) return {};
  auto lineOf = [at](const std::string& text) {
    std::size_t from = text.rfind('\n', at == 0 ? 0 : at - 1);
    from = from == std::string::npos ? 0 : from + 1;
    return text.substr(from, text.find('\n', from) - from);
  };
  return "\n  ours:     " + lineOf(ours) + "\n  expected: " + lineOf(theirs);
}

std::shared_ptr<tp::Hive> load(const fs::path& file) {
  std::shared_ptr<tp::Hive> hive;
  EXPECT_EQ(tp::Hive::load(file, hive), ERROR_SUCCESS) << tp::takeErrorDetail();
  return hive;
}

std::shared_ptr<tp::KeyNode> keyAt(const std::shared_ptr<tp::KeyNode>& root, std::initializer_list<const char16_t*> path) {
  auto key = root;
  for (const char16_t* name : path) {
    if (!key) return nullptr;
    key = key->findSubkey(name);
  }
  return key;
}

class RegfOnDemandCorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RegfOnDemandCorpusTest, ReadsKeysWhenReachedAndGivesWhatAWholeReadGives) {
  fs::path file = corpusHive(GetParam());
  if (file.empty()) GTEST_SKIP() << "no corpus hive " << GetParam();
  auto hive = load(file);
  ASSERT_TRUE(hive);
  ASSERT_TRUE(hive->readsOnDemand());
  EXPECT_EQ(hive->readSoFar().keys, 1u);  // the root alone

  // The whole read of the same bytes, with the logs laid over them as loading does.
  std::string text = talmoor::test::readFile(file);
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (tp::regfNeedsRecovery(bytes)) tp::recoverFromLogFiles(file, bytes);
  auto read = tp::readRegfHive(bytes, file.string());
  ASSERT_TRUE(read.damage.empty()) << read.damage.front();
  EXPECT_EQ(difference(describe(*hive->root()), describe(*read.root)), "");
  EXPECT_EQ(hive->readSoFar().keys, read.statistics.keys);
  EXPECT_EQ(hive->readSoFar().values, read.statistics.values);
  EXPECT_TRUE(hive->damageReports().empty()) << hive->damageReports().front();
  EXPECT_EQ(hive->readOnlyReason().find("damaged"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RegfOnDemandCorpusTest,
                         ::testing::Values("SYSTEM", "NTUSER.DAT", "SAM", "SECURITY", "BCD", "UsrClass.dat"),
                         [](const auto& info) { return talmoor::test::corpusTestName(info.param); });

TEST(RegfOnDemand, ChangesAfterAPartialReadAreSavedWithEveryKeyAndReadBackAlike) {
  fs::path original = corpusHive("SYSTEM");
  if (original.empty()) GTEST_SKIP() << "no corpus hive SYSTEM";
  TempDir dir;
  fs::path file = dir / "SYSTEM";
  talmoor::test::copyWritable(original, file);

  // The same changes on a whole read, for what the saved file must hold.
  std::string bytes = talmoor::test::readFile(file);
  auto expected = tp::readRegfHive(asBytes(bytes), file.string()).root;
  auto change = [](const std::shared_ptr<tp::KeyNode>& root) {
    auto select = keyAt(root, {u"Select"});
    ASSERT_TRUE(select);
    select->setValue(u"Current", REG_DWORD, {7, 0, 0, 0});
    select->setValue(u"Added", REG_SZ, tp::bytesFromUtf16(u"on demand", true));
    ASSERT_TRUE(select->deleteValue(u"Failed"));
    auto fresh = std::make_shared<tp::KeyNode>(u"Fresh");
    fresh->lastWrite = 1;
    fresh->setHive(select->hive());  // as the registry calls make keys
    fresh->security = select->security;
    select->addSubkey(fresh);
    select->lastWrite = 1;
  };
  change(expected);

  auto hive = load(file);
  ASSERT_TRUE(hive && hive->readsOnDemand());
  change(hive->root());
  // Only the keys on the way were read before the save.
  EXPECT_LT(hive->readSoFar().keys, 100u);
  hive->markDirty();
  ASSERT_EQ(hive->save(), ERROR_SUCCESS) << tp::takeErrorDetail();

  std::string saved = talmoor::test::readFile(file);
  auto reread = tp::readRegfHive(asBytes(saved), file.string());
  EXPECT_TRUE(reread.damage.empty()) << reread.damage.front();
  EXPECT_EQ(difference(describe(*reread.root), describe(*expected)), "");
  EXPECT_EQ(difference(describe(*load(file)->root()), describe(*expected)), "");

  // An independent reader takes the saved file whole.
  if (talmoor::test::programOnPath("hivexml")) {
    auto xml = talmoor::test::runProcess({"hivexml", file.string()});
    EXPECT_EQ(xml.exitCode, 0) << xml.err;
    std::size_t nodes = 0;
    for (auto at = xml.out.find("<node "); at != std::string::npos; at = xml.out.find("<node ", at + 1)) ++nodes;
    EXPECT_EQ(nodes, reread.statistics.keys);
  }
}

// Root
//   Alpha (values a1, a2)
//     Inner (value deep)
//   Beta (value b1)
std::string smallHive() {
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

std::size_t fieldAt(std::uint32_t cell, std::size_t field) { return regf::kBaseBlockSize + cell + 4 + field; }
std::uint32_t get32(const std::string& file, std::size_t offset) { return regf::load32(asBytes(file), offset); }
void put32(std::string& file, std::size_t offset, std::uint32_t value) {
  regf::store32(talmoor::test::asWritableBytes(file), offset, value);
}

TEST(RegfOnDemand, DamageBelowTheRootIsFoundLateButStillReportedWholeAndKeepsTheFile) {
  std::string file = smallHive();
  // Inner's value list names a cell that is no value.
  auto inner = talmoor::test::regfKeyCell(file, "Inner").value();
  std::uint32_t list = get32(file, fieldAt(inner, regf::kNkValueList));
  put32(file, fieldAt(list, 0), 0x7FFFFFF8);
  auto whole = tp::readRegfHive(asBytes(file), "damaged.hiv");
  ASSERT_FALSE(whole.damage.empty());

  TempDir dir;
  fs::path path = dir / "damaged.hiv";
  talmoor::test::writeFile(path, file);

  // Asked before any key below the root is read: the whole file is checked.
  auto asked = load(path);
  ASSERT_TRUE(asked && asked->readsOnDemand());
  EXPECT_FALSE(asked->readOnly());
  EXPECT_EQ(asked->damageReports(), whole.damage);
  EXPECT_TRUE(asked->readOnly());
  EXPECT_NE(asked->readOnlyReason().find("damaged"), std::string::npos);

  // Met by a lookup: read-only at once; a save checks the file whole and is refused.
  auto met = load(path);
  ASSERT_TRUE(met);
  auto deep = keyAt(met->root(), {u"Alpha", u"Inner"});
  ASSERT_TRUE(deep);
  EXPECT_TRUE(deep->values().empty());
  EXPECT_TRUE(met->readOnly());
  EXPECT_FALSE(met->damageFoundSoFar().empty());
  met->markDirty();
  EXPECT_EQ(met->save(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(talmoor::test::readFile(path), file);
  EXPECT_EQ(met->damageReports(), whole.damage);

  // Unseen by any lookup, still found by the save.
  auto unseen = load(path);
  ASSERT_TRUE(unseen);
  unseen->root()->findSubkey(u"Beta")->setValue(u"b2", REG_DWORD, {1, 0, 0, 0});
  unseen->markDirty();
  EXPECT_EQ(unseen->save(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(talmoor::test::readFile(path), file);
}

TEST(RegfOnDemand, AKeyNamedBelowItselfIsReadOnceNotWithoutEnd) {
  std::string file = smallHive();
  auto inner = talmoor::test::regfKeyCell(file, "Inner").value();
  auto alpha = talmoor::test::regfKeyCell(file, "Alpha").value();
  // Inner's subkey list becomes Alpha's own: Inner would hold Inner again.
  put32(file, fieldAt(inner, regf::kNkSubkeyCount), 1);
  put32(file, fieldAt(inner, regf::kNkSubkeyList), get32(file, fieldAt(alpha, regf::kNkSubkeyList)));
  TempDir dir;
  fs::path path = dir / "looped.hiv";
  talmoor::test::writeFile(path, file);

  auto hive = load(path);
  ASSERT_TRUE(hive && hive->readsOnDemand());
  std::string walked = describe(*hive->root());  // ends
  EXPECT_EQ(walked.find("Inner\\Inner"), std::string::npos) << walked;
  EXPECT_TRUE(hive->readOnly());
  EXPECT_TRUE(talmoor::test::anyContains(hive->damageFoundSoFar(), "used a second time"));
}

TEST(RegfOnDemand, DamageInTheBinsIsFoundOnOpeningAndTheFileReadWhole) {
  fs::path file = corpusHive("corrupted_system_hive");
  if (file.empty()) GTEST_SKIP() << "no corpus hive corrupted_system_hive";
  std::shared_ptr<tp::Hive> hive;
  ASSERT_EQ(tp::Hive::load(file, hive), ERROR_SUCCESS);
  EXPECT_FALSE(hive->readsOnDemand());
  EXPECT_TRUE(hive->readOnly());
  EXPECT_FALSE(hive->damageFoundSoFar().empty());
}

TEST(RegfOnDemand, ManyThreadsWalkingAFreshHiveReadEachKeyOnceAndAlike) {
  fs::path file = corpusHive("SYSTEM");
  if (file.empty()) GTEST_SKIP() << "no corpus hive SYSTEM";
  std::string bytes = talmoor::test::readFile(file);
  const std::string expected = describe(*tp::readRegfHive(asBytes(bytes), file.string()).root);

  for (int round = 0; round < 3; ++round) {
    auto hive = load(file);
    ASSERT_TRUE(hive && hive->readsOnDemand());
    constexpr int kThreads = 6;
    std::vector<std::string> seen(kThreads);
    {
      std::vector<std::jthread> threads;
      for (int i = 0; i < kThreads; ++i) threads.emplace_back([&, i] { seen[i] = describe(*hive->root()); });
    }
    for (const auto& one : seen) EXPECT_EQ(difference(one, expected), "");
    std::string fromBytes = talmoor::test::readFile(file);
    EXPECT_EQ(hive->readSoFar().keys, tp::readRegfHive(asBytes(fromBytes), file.string()).statistics.keys);
  }
}

}  // namespace

// The corpus's binary hives as Windows wrote them: each lists exactly as its
// reference dump (from an independent reader) says, with the hashes Windows stored.

#include <gtest/gtest.h>

#include <sstream>

#include "platform/error_detail.h"
#include "platform/registry/hive.h"
#include "platform/registry/regf_reader.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusHive;
using talmoor::test::readFile;

// The first line where two listings part, with both lines, or empty when equal.
std::string firstDifference(const std::string& ours, const std::string& theirs) {
  std::istringstream a(ours), b(theirs);
  std::string lineA, lineB;
  for (std::size_t n = 1;; ++n) {
    bool moreA = static_cast<bool>(std::getline(a, lineA));
    bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return {};
    if (!moreA || !moreB || lineA != lineB)
      return "line " + std::to_string(n) + "\n  ours:      " + (moreA ? lineA : "<end>") +
             "\n  reference: " + (moreB ? lineB : "<end>");
  }
}

tp::RegfHive readCorpus(const fs::path& file) {
  return tp::readRegfHive(talmoor::test::asBytes(readFile(file)), file.string());
}

class RegfCorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RegfCorpusTest, ReadsBackExactlyAsItsDumpSays) {
  fs::path file = corpusHive(GetParam());
  if (file.empty()) GTEST_SKIP() << "no corpus hive " << GetParam();
  auto reference = talmoor::test::readXzFile(file.string() + ".dump.xz");
  if (!reference) GTEST_SKIP() << "xz is not installed";

  // The dumps tell the files as they are, without their transaction logs.
  std::string bytes = talmoor::test::readFile(file);
  auto read = tp::readRegfHive(talmoor::test::asBytes(bytes), file.string());
  EXPECT_TRUE(read.damage.empty()) << read.damage.front();
  std::string ours = talmoor::test::dumpKeyTree(*read.root);
  EXPECT_TRUE(ours == *reference) << "first difference at " << firstDifference(ours, *reference);

  std::shared_ptr<tp::Hive> hive;
  ASSERT_EQ(tp::Hive::load(file, hive), ERROR_SUCCESS) << tp::takeErrorDetail();
  EXPECT_EQ(hive->format(), tp::HiveFormat::Regf);
  EXPECT_TRUE(hive->damageReports().empty()) << hive->damageReports().front();
}

TEST_P(RegfCorpusTest, StoredHashesAgreeWithOurCaseMapping) {
  fs::path file = corpusHive(GetParam());
  if (file.empty()) GTEST_SKIP() << "no corpus hive " << GetParam();
  auto read = readCorpus(file);
  EXPECT_EQ(read.statistics.hashMismatches, 0u);
  EXPECT_GT(read.statistics.securityCells, 0u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RegfCorpusTest,
                         ::testing::Values("SYSTEM", "UsrClass.dat", "NTUSER.DAT", "BCD", "SECURITY", "SAM"),
                         [](const auto& info) { return talmoor::test::corpusTestName(info.param); });

TEST(RegfCorpus, FilesNotClosedCleanlyAreReadAndFlagged) {
  fs::path usrClass = corpusHive("UsrClass.dat"), sam = corpusHive("SAM");
  if (usrClass.empty() || sam.empty()) GTEST_SKIP() << "no corpus hives";
  // A writable copy: the corpus files themselves are read-only, which alone
  // opens a hive read-only.
  talmoor::test::TempDir dir;
  fs::copy_file(usrClass, dir / "UsrClass.dat");
  fs::permissions(dir / "UsrClass.dat", fs::perms::owner_write, fs::perm_options::add);
  std::shared_ptr<tp::Hive> dirty, clean;
  ASSERT_EQ(tp::Hive::load(dir / "UsrClass.dat", dirty), ERROR_SUCCESS);
  ASSERT_EQ(tp::Hive::load(sam, clean), ERROR_SUCCESS);
  EXPECT_TRUE(dirty->wasDirtyOnDisk());
  EXPECT_FALSE(dirty->readOnly());
  EXPECT_FALSE(clean->wasDirtyOnDisk());
  EXPECT_TRUE(clean->recoveryText().empty());
  // Without its logs it is read as it is, and the user is told what is missing.
  EXPECT_NE(dirty->recoveryText().find("no sound transaction log"), std::string::npos) << dirty->recoveryText();

  // With its logs beside it (in another case of their names) they are laid over it.
  if (!fs::exists(usrClass.string() + ".LOG1")) return;
  fs::copy_file(usrClass.string() + ".LOG1", dir / "usrclass.dat.log1");
  fs::copy_file(usrClass.string() + ".LOG2", dir / "usrclass.dat.log2");
  std::shared_ptr<tp::Hive> recovered;
  ASSERT_EQ(tp::Hive::load(dir / "UsrClass.dat", recovered), ERROR_SUCCESS);
  EXPECT_NE(recovered->recoveryText().find("158 pages from its transaction logs (usrclass.dat.log1, usrclass.dat.log2)"),
            std::string::npos)
      << recovered->recoveryText();
  EXPECT_GT(talmoor::test::dumpKeyTree(*recovered->root()).size(), talmoor::test::dumpKeyTree(*dirty->root()).size());
  // A save writes a clean hive; the logs stay as they were.
  const std::string log1 = talmoor::test::readFile(dir / "usrclass.dat.log1");
  ASSERT_EQ(recovered->save(), ERROR_SUCCESS) << tp::takeErrorDetail();
  std::shared_ptr<tp::Hive> saved;
  ASSERT_EQ(tp::Hive::load(dir / "UsrClass.dat", saved), ERROR_SUCCESS);
  EXPECT_FALSE(saved->wasDirtyOnDisk());
  EXPECT_EQ(talmoor::test::dumpKeyTree(*saved->root()), talmoor::test::dumpKeyTree(*recovered->root()));
  EXPECT_EQ(talmoor::test::readFile(dir / "usrclass.dat.log1"), log1);
}

TEST(RegfCorpus, DamagedHiveGivesItsDamageAndTheSoundRest) {
  fs::path file = corpusHive("corrupted_system_hive");
  if (file.empty()) GTEST_SKIP() << "no corpus hive";
  tp::clearErrorDetail();
  std::shared_ptr<tp::Hive> hive;
  ASSERT_EQ(tp::Hive::load(file, hive), ERROR_SUCCESS);
  std::string detail = tp::takeErrorDetail();
  EXPECT_NE(detail.find("corrupted_system_hive"), std::string::npos) << detail;
  EXPECT_NE(detail.find("damaged"), std::string::npos) << detail;

  const auto& reports = hive->damageReports();
  ASSERT_FALSE(reports.empty());
  // Each report names a place: lost pages by file offset, the rest by cell and key.
  for (const auto& text : reports)
    EXPECT_TRUE(text.rfind("cell 0x", 0) == 0 || text.rfind("file offsets 0x", 0) == 0 ||
                text.rfind("base block", 0) == 0 || text.rfind("... and", 0) == 0)
        << text;
  EXPECT_TRUE(talmoor::test::anyContains(reports, "(key \\"));

  // What survives is a real SYSTEM hive: the control set and its services.
  auto select = hive->root()->findSubkey(u"Select");
  ASSERT_TRUE(select);
  EXPECT_TRUE(select->findValue(u"Current"));
  EXPECT_TRUE(hive->root()->findSubkey(u"ControlSet001"));
  auto read = readCorpus(file);
  EXPECT_GT(read.statistics.keys, 1000u);
  EXPECT_GT(read.statistics.values, 1000u);

  // The recovered tree is kept from overwriting the file it came from.
  EXPECT_TRUE(hive->readOnly());
  EXPECT_EQ(hive->save(), ERROR_ACCESS_DENIED);
}

}  // namespace

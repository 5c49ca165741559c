// Our regf files judged by other hive readers (hivex, chntpw's reged); each
// test skips itself when its program is not installed.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error_detail.h"
#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/process.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusHive;
using talmoor::test::programOnPath;
using talmoor::test::runProcess;
using talmoor::test::TempDir;

// The corpus hive loaded and saved again by us, in a temporary folder.
fs::path rewrite(const std::string& name, const TempDir& dir) {
  fs::path copy = dir / name;
  talmoor::test::copyWritable(corpusHive(name), copy);
  std::shared_ptr<tp::Hive> hive;
  EXPECT_EQ(tp::Hive::load(copy, hive), ERROR_SUCCESS) << tp::takeErrorDetail();
  EXPECT_EQ(hive->save(), ERROR_SUCCESS) << tp::takeErrorDetail();
  return copy;
}

class RegfInteropTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RegfInteropTest, HivexregeditExportsTheRewriteAsTheOriginal) {
  if (corpusHive(GetParam()).empty()) GTEST_SKIP() << "no corpus hive";
  if (!programOnPath("hivexregedit")) GTEST_SKIP() << "hivexregedit is not installed";
  TempDir dir;
  fs::path ours = rewrite(GetParam(), dir);
  auto original = runProcess({"hivexregedit", "--export", corpusHive(GetParam()).string(), "\\"});
  auto rewritten = runProcess({"hivexregedit", "--export", ours.string(), "\\"});
  ASSERT_EQ(original.exitCode, 0) << original.err;
  ASSERT_EQ(rewritten.exitCode, 0) << rewritten.err;
  EXPECT_EQ(rewritten.err, original.err);
  EXPECT_GT(original.out.size(), 1000u);
  EXPECT_TRUE(rewritten.out == original.out) << "the exports differ";
}

INSTANTIATE_TEST_SUITE_P(Corpus, RegfInteropTest,
                         ::testing::Values("SAM", "BCD", "SECURITY", "NTUSER.DAT", "UsrClass.dat"),
                         [](const auto& info) { return talmoor::test::corpusTestName(info.param); });

TEST(RegfInterop, HivexshAndRegedReadTheRewriteAsTheOriginal) {
  if (corpusHive("SAM").empty()) GTEST_SKIP() << "no corpus hive";
  TempDir dir;
  fs::path ours = rewrite("SAM", dir);
  if (programOnPath("hivexsh")) {
    talmoor::test::writeFile(dir / "commands", "cd \\SAM\\Domains\\Account\\Users\nls\nlsval\ncd 000001F4\nlsval\n");
    auto original = runProcess({"hivexsh", "-f", (dir / "commands").string(), corpusHive("SAM").string()});
    auto rewritten = runProcess({"hivexsh", "-f", (dir / "commands").string(), ours.string()});
    ASSERT_EQ(rewritten.exitCode, 0) << rewritten.err;
    EXPECT_NE(rewritten.out.find("000001F4\n000001F5\n000003E8\nNames\n"), std::string::npos) << rewritten.out;
    EXPECT_EQ(rewritten.out, original.out);
  }
  if (programOnPath("reged")) {
    auto original = runProcess({"reged", "-x", corpusHive("SAM").string(), "HKEY_LOCAL_MACHINE\\SAM", "\\",
                                (dir / "original.reg").string()});
    auto rewritten = runProcess(
        {"reged", "-x", ours.string(), "HKEY_LOCAL_MACHINE\\SAM", "\\", (dir / "rewritten.reg").string()});
    ASSERT_EQ(rewritten.exitCode, 0) << rewritten.out << rewritten.err;
    std::string exported = talmoor::test::readFile(dir / "rewritten.reg");
    EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\Administrator]"),
              std::string::npos);
    EXPECT_EQ(exported, talmoor::test::readFile(dir / "original.reg"));
  }
}

TEST(RegfInterop, NamesBeyondAsciiAndBigDataComeThrough) {
  if (!programOnPath("hivexsh")) GTEST_SKIP() << "hivexsh is not installed";
  auto root = std::make_shared<tp::KeyNode>(u"");
  auto latin = std::make_shared<tp::KeyNode>(u"Gr\u00f6\u00dfe");
  auto wide = std::make_shared<tp::KeyNode>(u"\u952e");
  root->addSubkey(latin);
  root->addSubkey(wide);
  latin->setValue(u"\u00e9t\u00e9", REG_SZ, tp::bytesFromUtf16(u"caf\u00e9", true));
  std::vector<BYTE> big(40000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 13);
  wide->setValue(u"\u4e2d", REG_BINARY, big);  // big data, its last segment short
  TempDir dir;
  talmoor::test::writeFile(dir / "names.hiv", talmoor::test::writeRegf(*root));
  talmoor::test::writeFile(dir / "commands", "ls\ncd \\Gr\xc3\xb6\xc3\x9f" "e\nlsval\ncd \\\xe9\x94\xae\nlsval\n");

  auto result = runProcess({"hivexsh", "-f", (dir / "commands").string(), (dir / "names.hiv").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("Gr\xc3\xb6\xc3\x9f" "e\n\xe9\x94\xae\n\"\xc3\xa9t\xc3\xa9\"=\"caf\xc3\xa9\"\n", 0), 0u)
      << result.out.substr(0, 200);
  std::string bigLine = "\"\xe4\xb8\xad\"=hex(3):00,0d,1a,27";
  auto at = result.out.find(bigLine);
  ASSERT_NE(at, std::string::npos) << result.out.substr(0, 200);
  std::string line = result.out.substr(at, result.out.find('\n', at) - at);
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 40000 - 1);
  EXPECT_EQ(line.substr(line.size() - 6), ",26,33");  // the last two bytes, (39998 * 13) and (39999 * 13)
}

}  // namespace

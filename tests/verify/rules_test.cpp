// The verification rule base: its order, its ".rules" records (and what a
// damaged file does to loading), and loading over rules already there.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/corpus.h"
#include "verify/rules.h"
#include "verify/verify_test_support.h"

namespace talmoor::verify {
namespace {

using verifytest::makeRule;

std::vector<std::string> finds(const RuleBase& base) {
  std::vector<std::string> out;
  for (const auto& r : base.rules()) out.push_back(r->find);
  return out;
}

std::string le32(std::uint32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

TEST(RuleBaseTest, RulesAreKeptFullThenPartialThenExactReplacingBeforeRejectingShorterFirst) {
  // Lengths of 200 and more count as 199: they never reach the next group.
  EXPECT_EQ(makeRule(std::string(199, 'x'), "")->orderKey(), 999);
  EXPECT_EQ(makeRule(std::string(200, 'x'), "")->orderKey(), 999);
  EXPECT_EQ(makeRule(std::string(5000, 'x'), "", RuleType::FullMatch)->orderKey(), 199);

  RuleBase base;
  base.insert(makeRule("C:\\Old\\App\\x.dll", "D:\\x.dll"));
  base.insert(makeRule("C:\\Old\\App\\", "D:\\App\\", RuleType::FullMatch));
  base.insert(makeRule("C:\\a.dll", "C:\\a.dll", RuleType::ExactMatch, true));
  base.insert(makeRule("C:\\Old\\", "E:\\", RuleType::FullMatch));
  base.insert(makeRule("C:\\b.dll", "D:\\b.dll"));
  base.insert(makeRule("C:\\P\\", "", RuleType::PartialMatch));
  base.insert(makeRule("C:\\Keep\\", "C:\\Keep\\", RuleType::FullMatch, true));
  EXPECT_EQ(finds(base), (std::vector<std::string>{"C:\\Old\\", "C:\\Old\\App\\", "C:\\Keep\\", "C:\\P\\",
                                                   "C:\\b.dll", "C:\\Old\\App\\x.dll", "C:\\a.dll"}));
  // Equal keys keep the order they came in.
  base.insert(makeRule("C:\\c.dll", "D:\\c.dll"));
  EXPECT_EQ(finds(base)[5], "C:\\c.dll");

  // A rule whose type changed goes back to its place when sorted.
  auto changing = base.rules().back();
  changing->type = RuleType::FullMatch;
  changing->reject = false;
  base.sort();
  EXPECT_EQ(finds(base)[1], "C:\\a.dll");
  EXPECT_TRUE(base.contains(*makeRule("c:\\OLD\\", "")));
  EXPECT_FALSE(base.contains(*makeRule("C:\\Old", "")));
}

TEST(RuleBaseTest, ARecordHoldsTheRuleAsTheFileLaysItOut) {
  Rule r;
  r.find = "C:\\Old\\";
  r.replace = "D:\\New\\";
  r.autoApply = true;
  r.prompted = false;
  r.reject = true;
  r.type = RuleType::FullMatch;
  r.matchedLength = 7;
  r.minMatch = 3;
  r.unused[0] = 0x11223344;
  std::string bytes = encodeRule(r);
  ASSERT_EQ(bytes.size(), 28u + 4 + 7 + 4 + 7);
  EXPECT_EQ(bytes.substr(0, 4), le32(0x11223344));
  EXPECT_EQ(bytes.substr(12, 4), std::string("\x01\x00\x01\x00", 4));
  EXPECT_EQ(bytes.substr(16, 12), le32(3) + le32(7) + le32(3));
  EXPECT_EQ(bytes.substr(28), le32(7) + "C:\\Old\\" + le32(7) + "D:\\New\\");

  std::size_t offset = 0;
  auto decoded = decodeRule(bytes + bytes, offset);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(offset, bytes.size());
  EXPECT_EQ(encodeRule(*decoded), bytes);
  EXPECT_TRUE(decodeRule(bytes + bytes, offset));
  EXPECT_EQ(offset, 2 * bytes.size());
  EXPECT_FALSE(decodeRule(bytes + bytes, offset));

  // Empty texts are records too.
  offset = 0;
  auto blank = decodeRule(encodeRule(Rule()), offset);
  ASSERT_TRUE(blank);
  EXPECT_EQ(encodeRule(*blank), encodeRule(Rule()));
}

TEST(RuleBaseTest, RecordsThatRunPastTheirBytesAreRefused) {
  Rule r;
  r.find = "C:\\windows\\system32\\gone.dll";
  r.replace = "D:\\gone.dll";
  const std::string bytes = encodeRule(r);
  // Every cut short of the whole record.
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    std::size_t offset = 0;
    EXPECT_FALSE(decodeRule(std::string_view(bytes).substr(0, length), offset)) << length;
    EXPECT_EQ(offset, 0u);
  }
  // Lengths that claim more than there is, up to the largest.
  const std::string head = bytes.substr(0, 28);
  for (std::uint32_t claimed : {0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF0u, 1000u}) {
    std::size_t offset = 0;
    EXPECT_FALSE(decodeRule(head + le32(claimed) + "abc" + le32(0), offset)) << claimed;
    EXPECT_FALSE(decodeRule(head + le32(3) + "abc" + le32(claimed) + "xyz", offset)) << claimed;
    EXPECT_EQ(offset, 0u);
  }
  // An offset past the bytes.
  std::size_t offset = bytes.size() + 10;
  EXPECT_FALSE(decodeRule(bytes, offset));
  // Arbitrary bytes never read past their end (the sanitizers would tell).
  std::string noise;
  for (int i = 0; i < 4000; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
  for (std::size_t start = 0; start < 200; ++start) {
    std::size_t at = start;
    while (decodeRule(noise, at)) ASSERT_LE(at, noise.size());
  }
}

TEST(RuleBaseTest, LoadingReplacesRulesWithTheSameFindTextAndStopsAtADamagedRecord) {
  test::TempDir dir;
  RuleBase saved;
  auto exact = makeRule("C:\\Old\\a.dll", "D:\\a.dll");
  exact->autoApply = true;
  saved.insert(exact);
  saved.insert(makeRule("C:\\Old\\", "D:\\", RuleType::FullMatch));
  saved.insert(makeRule("C:\\skip.dll", "C:\\skip.dll", RuleType::ExactMatch, true));
  ASSERT_TRUE(saved.save(dir / "a.rules"));
  std::string records;  // every rule in list order
  for (const auto& r : saved.rules()) records += encodeRule(*r);
  EXPECT_EQ(test::readFile(dir / "a.rules"), records);

  RuleBase base;
  base.insert(makeRule("c:\\old\\A.DLL", "E:\\elsewhere.dll"));
  base.insert(makeRule("C:\\mine.dll", "D:\\mine.dll"));
  std::size_t loaded = 0;
  ASSERT_TRUE(base.load(dir / "a.rules", &loaded));
  EXPECT_EQ(loaded, 3u);
  ASSERT_EQ(finds(base), (std::vector<std::string>{"C:\\Old\\", "C:\\mine.dll", "C:\\Old\\a.dll", "C:\\skip.dll"}));
  EXPECT_EQ(verifytest::describe(*base.rules()[2]), "C:\\Old\\a.dll -> D:\\a.dll (exact) auto");
  // Loading the same file again changes nothing.
  ASSERT_TRUE(base.load(dir / "a.rules", &loaded));
  EXPECT_EQ(finds(base), (std::vector<std::string>{"C:\\Old\\", "C:\\mine.dll", "C:\\Old\\a.dll", "C:\\skip.dll"}));

  // A file cut inside its second record gives the first.
  std::string bytes = test::readFile(dir / "a.rules");
  const std::size_t first = encodeRule(*saved.rules()[0]).size();
  test::writeFile(dir / "cut.rules", bytes.substr(0, first + 30));
  RuleBase fromCut;
  ASSERT_TRUE(fromCut.load(dir / "cut.rules", &loaded));
  EXPECT_EQ(loaded, 1u);
  EXPECT_EQ(finds(fromCut), std::vector<std::string>{"C:\\Old\\"});

  RuleBase none;
  EXPECT_FALSE(none.load(dir / "absent.rules", &loaded));
  EXPECT_FALSE(saved.save(dir / "no such folder" / "x.rules"));
}

}  // namespace
}  // namespace talmoor::verify

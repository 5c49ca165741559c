// Recovering a hive that was not closed cleanly from its transaction logs:
// the corpus UsrClass.dat with its .LOG1 and .LOG2, and logs that fail their
// checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/registry/regf_layout.h"
#include "platform/registry/regf_log.h"
#include "platform/registry/regf_reader.h"
#include "platform/text/code_page.h"
#include "support/corpus.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using Bytes = std::vector<std::uint8_t>;
using Logs = std::vector<std::pair<fs::path, Bytes>>;

Bytes bytesOf(const fs::path& file) {
  std::string text = talmoor::test::readFile(file);
  return Bytes(text.begin(), text.end());
}

// Every key path, and every value as "path|name", of a hive's bytes.
struct Entries {
  std::set<std::string> keys;
  std::set<std::string> values;
};
void collect(const tp::KeyNode& key, const std::string& path, Entries& out) {
  out.keys.insert(path);
  for (const auto& value : key.values()) out.values.insert(path + "|" + tp::wideToAnsi(value.name));
  for (const auto& child : key.subkeys()) collect(*child, path + "\\" + tp::wideToAnsi(child->name()), out);
}
Entries entriesOf(const Bytes& hive) {
  Entries out;
  auto read = tp::readRegfHive(hive, "hive");
  collect(*read.root, "", out);
  return out;
}
template <class Set>
std::size_t inOneOnly(const Set& a, const Set& b) {
  std::size_t count = 0;
  for (const auto& item : a) count += !b.count(item);
  for (const auto& item : b) count += !a.count(item);
  return count;
}

class RegfLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = talmoor::test::corpusHive("UsrClass.dat");
    if (hive_.empty() || !fs::exists(hive_.string() + ".LOG1")) GTEST_SKIP() << "no corpus hive with logs";
  }
  Logs logs() const {
    Logs logs;
    for (const auto& path : tp::transactionLogsOf(hive_)) logs.emplace_back(path, bytesOf(path));
    return logs;
  }
  fs::path hive_;
};

TEST(Marvin32, KnownDigests) {
  // Digests of the hash as published with its reference implementation.
  const std::uint64_t seed = 0x004FB61A001BDBCCull;
  const std::uint8_t bytes[] = {0xAF};
  EXPECT_EQ(tp::marvin32({}, seed), 0x30ED35C100CD3C7Dull);
  EXPECT_EQ(tp::marvin32(bytes, seed), 0x48E73FC77D75DDC1ull);
}

TEST_F(RegfLogTest, TheCorpusHiveIsRecoveredFromBothLogs) {
  const Bytes original = bytesOf(hive_);
  ASSERT_TRUE(tp::regfNeedsRecovery(original));
  Logs found = logs();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].first.filename(), "UsrClass.dat.LOG1");

  Bytes recovered = original;
  tp::LogRecovery recovery = tp::recoverFromLogs(recovered, found);
  EXPECT_TRUE(recovery.problems.empty()) << recovery.problems.front();
  EXPECT_EQ(recovery.pagesApplied, 158u);
  EXPECT_FALSE(tp::regfNeedsRecovery(recovered));

  // What the logs held: keys and values that only the recovered hive has
  // (the logs added them; none was taken away).
  Entries before = entriesOf(original), after = entriesOf(recovered);
  EXPECT_EQ(inOneOnly(before.keys, after.keys), 33u);
  EXPECT_EQ(inOneOnly(before.values, after.values), 162u);
  EXPECT_EQ(after.keys.size() - before.keys.size(), 33u);
  EXPECT_EQ(after.values.size() - before.values.size(), 162u);
  EXPECT_TRUE(tp::readRegfHive(recovered, "recovered").damage.empty());
}

TEST_F(RegfLogTest, ALogThatFailsItsChecksIsNotHalfApplied) {
  const Bytes original = bytesOf(hive_);
  Logs found = logs();
  // One byte of a page in the first log changed: that entry's hash fails,
  // so it and what follows it in that log are refused, and nothing past the
  // gap it leaves is applied from the other log either.
  Bytes& log1 = found[0].second;
  log1[512 + 4096] ^= 0xFF;
  Bytes recovered = original;
  tp::LogRecovery recovery = tp::recoverFromLogs(recovered, found);
  ASSERT_FALSE(recovery.problems.empty());
  EXPECT_NE(recovery.problems.front().find("UsrClass.dat.LOG1"), std::string::npos) << recovery.problems.front();
  EXPECT_LT(recovery.pagesApplied, 158u);
  EXPECT_TRUE(tp::readRegfHive(recovered, "recovered").damage.empty());

  // Logs of another hive (their own base blocks damaged) are not used at all.
  Logs broken = logs();
  for (auto& [path, bytes] : broken) bytes[100] ^= 0xFF;
  Bytes untouched = original;
  recovery = tp::recoverFromLogs(untouched, broken);
  EXPECT_EQ(recovery.pagesApplied, 0u);
  EXPECT_EQ(recovery.problems.size(), 2u);
  EXPECT_EQ(untouched, original);
}

}  // namespace

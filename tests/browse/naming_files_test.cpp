// Rule list and name list files: what is saved loads back the same, older
// files without name lists still load, and damaged files are refused whole
// with a reason, never half-loaded.

#include <gtest/gtest.h>

#include "browse/naming_files.h"
#include "browse/naming_rules_model.h"
#include "support/corpus.h"
#include "support/test_registry.h"

namespace talmoor::browse {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}
void putText(Bytes& out, std::string_view text) {
  put32(out, static_cast<std::uint32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

// One rule record as the file holds it.
Bytes ruleRecord(std::int32_t level, std::uint8_t recurse, std::uint8_t comparison, std::string_view action,
                 std::string_view compare = "<Default>") {
  Bytes out;
  put32(out, static_cast<std::uint32_t>(level));
  out.push_back(recurse);
  out.push_back(comparison);
  putText(out, compare);
  putText(out, action);
  return out;
}

TEST(NamingFiles, RuleListsKeepEveryFieldAndTheirNames) {
  std::vector<NamingRule> rules = builtInNamingRules();
  rules.push_back({-1, true, false, NamingAction::NoAction, {{"X", "a comment", static_cast<Overlay>(77)}}});
  std::string problem;
  auto back = decodeRuleList(encodeRuleList(rules), problem);
  ASSERT_TRUE(back) << problem;
  EXPECT_EQ(*back, rules);

  // The record layout itself, little-endian, for the first rule.
  Bytes bytes = encodeRuleList({rules[0]});
  Bytes expected;
  put32(expected, 1);
  auto record = ruleRecord(0, 0, 0, "Load Service Icon");
  expected.insert(expected.end(), record.begin(), record.end());
  put32(expected, 1);  // its names
  put32(expected, 11);
  putText(expected, "Start");
  putText(expected, "");
  EXPECT_EQ(bytes, expected);
}

TEST(NamingFiles, AFileOfRulesAloneLoadsRulesWithoutNamesAndUnknownActionsAsNone) {
  Bytes bytes;
  put32(bytes, 3);
  for (auto record : {ruleRecord(-1, 1, 1, "Load Class Name"), ruleRecord(2, 0, 0, "Specilised Function (Cannot Change)"),
                      ruleRecord(0, 0, 0, "friendly name")}) // names compare exactly
    bytes.insert(bytes.end(), record.begin(), record.end());
  std::string problem;
  auto rules = decodeRuleList(bytes, problem);
  ASSERT_TRUE(rules) << problem;
  ASSERT_EQ(rules->size(), 3u);
  EXPECT_EQ((*rules)[0], (NamingRule{-1, true, true, NamingAction::LoadClassName, {}}));
  EXPECT_EQ((*rules)[1].action, NamingAction::NoAction);
  EXPECT_EQ((*rules)[2].action, NamingAction::NoAction);
}

TEST(NamingFiles, DamagedFilesAreRefusedWithTheirPlace) {
  std::string problem;
  auto refused = [&](const Bytes& bytes, bool names) {
    problem.clear();
    bool ok = names ? decodeNameList(bytes, problem).has_value() : decodeRuleList(bytes, problem).has_value();
    return !ok && !problem.empty();
  };
  Bytes rules;
  put32(rules, 1);
  auto record = ruleRecord(0, 0, 0, "Friendly Name");
  rules.insert(rules.end(), record.begin(), record.end());

  for (std::size_t cut = 0; cut < rules.size(); ++cut)
    EXPECT_TRUE(refused(Bytes(rules.begin(), rules.begin() + static_cast<std::ptrdiff_t>(cut)), false)) << cut;

  Bytes huge = rules;
  huge[0] = 0xFF, huge[3] = 0x7F;  // a count the data cannot hold
  EXPECT_TRUE(refused(huge, false));
  EXPECT_NE(problem.find("rule count"), std::string::npos) << problem;

  Bytes pastEnd;
  put32(pastEnd, 1);
  put32(pastEnd, 5);
  putText(pastEnd, "Start");
  put32(pastEnd, 0xFFFFFFF0u);  // the comment's length
  EXPECT_TRUE(refused(pastEnd, true));
  EXPECT_NE(problem.find("comment at byte 17"), std::string::npos) << problem;

  auto nameOf = [](std::size_t length) {
    Bytes out;
    put32(out, 1);
    put32(out, 5);
    putText(out, std::string(length, 'n'));
    putText(out, "");
    return out;
  };
  std::string ignored;
  EXPECT_TRUE(decodeNameList(nameOf(259), ignored));
  EXPECT_TRUE(refused(nameOf(260), true));
  EXPECT_NE(problem.find("260 bytes long"), std::string::npos) << problem;

  Bytes trailing = nameOf(3);
  trailing.push_back(0);
  EXPECT_TRUE(refused(trailing, true));

  Bytes empty;
  put32(empty, 0);
  EXPECT_EQ(encodeNameList({}), empty);  // an empty name list is its count alone
  EXPECT_TRUE(refused({}, true));
}

TEST(NamingFiles, TheModelLoadsWholeFilesOrKeepsWhatItHad) {
  test::TestRegistry registry;
  NamingRulesModel model(namingRules());
  ASSERT_EQ(model.ruleCount(), 9u);
  EXPECT_EQ(model.ruleCell(0, RuleColumn::Action), "<Default>");
  EXPECT_EQ(model.ruleCell(0, RuleColumn::Icon), "Load Service Icon");
  EXPECT_EQ(model.ruleCell(4, RuleColumn::Level), "-1");
  EXPECT_EQ(NamingRulesModel::actionChoices().back(), "None");

  const auto file = registry.dir() / "mine.naming rules";
  std::string problem;
  model.setAction(8, "None");
  ASSERT_TRUE(model.saveRules(file, problem)) << problem;

  model.clearRules();
  model.addRule("Version");
  model.selectRule(0);
  EXPECT_EQ(model.nameCell(0, NameColumn::Icon), "Plus Symbol");
  ASSERT_TRUE(model.loadRules(file, problem)) << problem;
  EXPECT_EQ(model.ruleCount(), 9u);
  EXPECT_EQ(model.rule(8).action, NamingAction::NoAction);
  EXPECT_EQ(model.rule(1).names.size(), 27u);  // the names came back with the rules

  // A damaged file changes nothing.
  test::writeFile(registry.dir() / "bad.naming rules", std::string("\x01\0\0\0\0", 5));
  EXPECT_FALSE(model.loadRules(registry.dir() / "bad.naming rules", problem));
  EXPECT_NE(problem.find("bad.naming rules"), std::string::npos) << problem;
  EXPECT_EQ(model.ruleCount(), 9u);

  // Names too long to load again are not saved.
  model.selectRule(1);
  model.setNameText(0, NameColumn::Comment, std::string(300, 'c'));
  EXPECT_FALSE(model.saveNames(registry.dir() / "long.name list", problem));
  EXPECT_FALSE(std::filesystem::exists(registry.dir() / "long.name list"));

  model.apply();
  EXPECT_EQ(namingRules().snapshot()->at(8).action, NamingAction::NoAction);
}

}  // namespace
}  // namespace talmoor::browse

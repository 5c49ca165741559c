// Find and Modify over a throwaway registry, walked on the test's thread:
// what the matcher accepts, what the Modify and mask actions change, what the
// found-item handler writes, deletes and records.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "search/replace/search_actions.h"
#include "search/results/result_list.h"
#include "search/search_context.h"
#include "search/search_parameters.h"
#include "search/search_walk.h"
#include "search/search_test_support.h"
#include "base/workspace.h"

namespace talmoor::search {
namespace {

using namespace searchtest;

struct SearchRun {
  std::shared_ptr<ResultList> results = std::make_shared<ResultList>();
  std::unique_ptr<SearchContext> context = std::make_unique<SearchContext>(JobKind::Search);

  // "SubKey|Value|Data|mark" of every row, in order.
  std::vector<std::string> rows() const {
    std::vector<std::string> out;
    for (const auto& row : results->rows())
      out.push_back(row.subKey + "|" + row.value + "|" + row.data + "|" + std::to_string(row.statusMark));
    return out;
  }
  // The value (or else key) name of every row, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& row : results->rows()) out.push_back(row.value.empty() ? row.subKey : row.value);
    std::sort(out.begin(), out.end());
    return out;
  }
};

SearchRun search(const SearchParameters& parameters, std::optional<std::string> start = std::string(kBase)) {
  SearchRun run;
  run.context->results = run.results;
  readParameters(parameters, *run.context, nullptr);
  walkRegistry(*run.context, start);
  return run;
}

SearchParameters find(std::string text) { return parameters(kModeFind, std::move(text)); }
SearchParameters modify(std::string text, std::string replacement) {
  return parameters(kModeModify, std::move(text), std::move(replacement));
}
using Values = std::map<std::string, std::string>;
using Names = std::vector<std::string>;

class ModifySearch : public SearchTest {};

TEST_F(ModifySearch, ReplacesEveryOccurrenceInNameAndDataAndRenamesByWriteThenDelete) {
  putSz(kBase, "abcabc", "ABCabc");
  putSz(kBase, "keep", "other");
  // While the change is being confirmed the old value is still there.
  std::vector<bool> oldPresentAtConfirmation;
  scripted_->setConfirmationEditor(
      [&](ConfirmationReply&) { oldPresentAtConfirmation.push_back(read(kBase, "abcabc").has_value()); });

  SearchRun run = search(modify("B", "xy"));

  EXPECT_EQ(values(kBase), (Values{{"axycaxyc", "AxyCaxyc"}, {"keep", "other"}}));
  EXPECT_EQ(oldPresentAtConfirmation, std::vector<bool>{true});
  // The row keeps the item's name and shows the data written, marked done.
  EXPECT_EQ(run.rows(), std::vector<std::string>{"T|abcabc|AxyCaxyc|4"});
  ASSERT_TRUE(run.results->row(0).record);
  EXPECT_EQ(run.results->row(0).record->bytes, sz("AxyCaxyc"));
  EXPECT_TRUE(scripted_->boxLines().empty());

  // Rejected, nothing is written and the old value stays.
  scripted_->answerConfirmations({kReject});
  run = search(modify("y", "z"));
  EXPECT_EQ(values(kBase), (Values{{"axycaxyc", "AxyCaxyc"}, {"keep", "other"}}));
  EXPECT_EQ(run.rows(), std::vector<std::string>{"T|axycaxyc|AxzCaxzc|0"});
}

TEST_F(ModifySearch, ARenameNeitherHidesTheNextValueNorComesRoundAgain) {
  // The new name joins the key's values at the end, the old one leaves its
  // place; a replacement that holds the find text shows a second visit.
  putSz(kBase, "k1", "a");
  putSz(kBase, "k2a", "-");
  putSz(kBase, "k3", "a");
  putSz(kBase, "k4", "a");
  SearchRun run = search(modify("a", "ab"));
  EXPECT_EQ(values(kBase), (Values{{"k1", "ab"}, {"k2ab", "-"}, {"k3", "ab"}, {"k4", "ab"}}));
  EXPECT_EQ(run.rows().size(), 4u);
}

TEST_F(ModifySearch, ANameOrDataLeftAsItWasIsNeitherConfirmedNorDeleted) {
  // Replaced as typed, name and data come out unchanged; the row still counts as done.
  putSz(kBase, "abc", "xbx");
  putSz(kBase, "n", "ab");
  SearchRun run = search(modify("B", "b"));
  EXPECT_EQ(values(kBase), (Values{{"abc", "xbx"}, {"n", "ab"}}));
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_EQ(run.rows(), (std::vector<std::string>{"T|abc|xbx|4", "T|n|ab|4"}));

  // A name that changes only in case is the same value to the registry:
  // deleting "the old one" would delete the value itself.
  putSz(kBase + std::string("\\Case"), "abc", "q");
  search(modify("b", "B"));
  EXPECT_EQ(readText(kBase + std::string("\\Case"), "abc"), "q");
}

TEST_F(ModifySearch, StringsWithDataAfterTheTerminatorAreNotChanged) {
  const std::string hidden("abc\0def\0", 8);
  put(kBase, "hidden", REG_SZ, bytes(hidden));
  put(kBase, "expand", REG_EXPAND_SZ, bytes(hidden));
  SearchRun run = search(modify("d", "x"));
  EXPECT_EQ(read(kBase, "hidden"), bytes(hidden));
  EXPECT_EQ(read(kBase, "expand"), bytes(hidden));
  EXPECT_TRUE(scripted_->confirmations().empty());
  const std::string box =
      "Binary Data stored in String: The Type reported by the registry is inconsistant with the data stored within, it "
      "may not be safe for automatic changes to take place!";
  EXPECT_EQ(scripted_->boxLines(), (std::vector<std::string>{box, box}));
  for (const auto& row : run.results->rows()) EXPECT_EQ(row.statusMark, kMarkBinaryInString) << row.value;

  // Renaming leaves the data as it is, so it goes ahead.
  run = search(modify("hid", "shown"));
  EXPECT_EQ(read(kBase, "shownden"), bytes(hidden));
  EXPECT_FALSE(read(kBase, "hidden"));
  EXPECT_EQ(run.results->row(0).statusMark, kMarkDone);
  EXPECT_EQ(scripted_->boxLines().size(), 2u);
}

TEST_F(ModifySearch, StringsStoredWithOrWithoutTheirTerminatorAreWrittenNormally) {
  put(kBase, "bare", REG_SZ, bytes("abc"));
  put(kBase, "terminated", REG_SZ, sz("abc"));
  // Multi-strings hold terminators by nature.
  put(kBase, "multi", REG_MULTI_SZ, bytes(std::string("ab\0cb\0\0", 7)));
  SearchRun run = search(modify("c", "x"));
  EXPECT_TRUE(scripted_->boxLines().empty());
  EXPECT_EQ(read(kBase, "bare"), bytes("abx"));
  EXPECT_EQ(read(kBase, "terminated"), sz("abx"));
  EXPECT_EQ(read(kBase, "multi"), bytes(std::string("ab\0xb\0\0", 7)));
  ASSERT_EQ(run.results->size(), 3u);
  for (const auto& row : run.results->rows()) EXPECT_EQ(row.statusMark, kMarkDone) << row.value;
}

TEST_F(ModifySearch, CypheredNamesAreNeverRenamed) {
  // Value names are compared without case by the registry: one key each.
  const std::string cyphered = kBase + std::string("\\C"), plain = kBase + std::string("\\P");
  putSz(cyphered, "HRZR_nop", "nop");
  putSz(plain, "hrzr_nop", "nop");
  search(modify("o", "0"));
  // The cyphered value keeps its name, though its data changes; the lower-case
  // one is a plain name.
  EXPECT_EQ(values(cyphered), (Values{{"HRZR_nop", "n0p"}}));
  EXPECT_EQ(values(plain), (Values{{"hrzr_n0p", "n0p"}}));
}

TEST_F(ModifySearch, KeysAreNotRenamedButTheProposalIsRecorded) {
  putSz(kBase + std::string("\\oldKey"), "v", "-");
  SearchRun run = search(modify("old", "new"));
  EXPECT_TRUE(keyExists(kBase + std::string("\\oldKey")));
  EXPECT_FALSE(keyExists(kBase + std::string("\\newKey")));
  ASSERT_EQ(run.results->size(), 1u);
  EXPECT_EQ(run.results->row(0).subKey, "oldKey");
  EXPECT_EQ(run.results->row(0).replacement, "newKey");
  EXPECT_TRUE(scripted_->confirmations().empty());
}

TEST_F(ModifySearch, TheRowShowsTheDataTheUserSettledOn) {
  putSz(kBase, "v", "abc");
  scripted_->setConfirmationEditor([](ConfirmationReply& reply) { reply.modifiedData = sz("edited"); });
  SearchRun run = search(modify("b", "x"));
  EXPECT_EQ(readText(kBase, "v"), "edited");
  ASSERT_TRUE(run.results->row(0).record);
  EXPECT_EQ(run.results->row(0).record->bytes, sz("edited"));
}

// The matcher: what is searched, which types, names regardless of type.
class Matcher : public SearchTest {
 protected:
  void SetUp() override {
    putSz(kBase + std::string("\\fooKey"), "plain", "-");
    put(kBase, "fooDword", REG_DWORD, {1, 0, 0, 0});
    putSz(kBase, "text", "has foo");
    put(kBase, "binary", REG_BINARY, bytes("foo"));
    put(kBase, "custom", 20, bytes("foo"));
  }
  Names found(DWORD flags, DWORD mask, BYTE always) {
    changeOptions([&](SearchOptions& o) {
      o.searchFlags = flags;
      o.typeMask = mask;
      o.alwaysMatchOnName = always;
    });
    return search(find("FOO")).names();
  }
};

TEST_F(Matcher, FlagsTypeMaskAndAlwaysMatch) {
  EXPECT_EQ(found(7, 0x86, 1), (Names{"fooDword", "fooKey", "text"}));
  EXPECT_EQ(found(kSearchValueNames | kSearchValueData, 0x86 | 0x10, 0), (Names{"fooDword", "text"}));
  EXPECT_EQ(found(kSearchValueNames | kSearchValueData, 0x86, 0), (Names{"text"}));
  EXPECT_EQ(found(kSearchValueData, kTypeBitAll, 0), (Names{"binary", "custom", "text"}));
  EXPECT_EQ(found(kSearchValueData, kTypeBitCustom, 0), (Names{"custom"}));
  EXPECT_EQ(found(kSearchKeyNames, 0x86, 1), (Names{"fooKey"}));
  EXPECT_EQ(found(0, kTypeBitAll, 1), Names{});
}

TEST_F(ModifySearch, RangeFirstAndSizeBounds) {
  for (const char* name : {"a1", "a2", "a3"}) putSz(kBase, name, "x");
  SearchParameters first = find("a");
  first.rangeFirst = true;
  first.countText = "1";
  EXPECT_EQ(search(first).rows().size(), 1u);
  first.countText = "2";
  EXPECT_EQ(search(first).rows().size(), 2u);

  const std::string sized = kBase + std::string("\\Sized");
  putSz(sized, "ab", "cd");            // name 2, data 3
  putSz(sized, "abcdef", "x");         // name 6
  putSz(sized, "n", "longer data");    // data 12
  auto names = [&](std::string minimum, std::string maximum) {
    SearchParameters p = find("");
    p.minimumText = std::move(minimum);
    p.maximumText = std::move(maximum);
    return search(p, sized).names();
  };
  EXPECT_EQ(names("", ""), (Names{"ab", "abcdef", "n"}));
  EXPECT_EQ(names("0", "0"), (Names{"ab", "abcdef", "n"}));
  EXPECT_EQ(names("5", ""), (Names{"abcdef", "n"}));
  EXPECT_EQ(names("", "3"), (Names{"ab", "abcdef", "n"}));  // "n" by its name
  EXPECT_EQ(names("3", "4"), (Names{"ab"}));
}

TEST_F(ModifySearch, AMaskPrefixIsAskedAbout) {
  putSz(kBase, "literal", "x/m:a1y");
  putSz(kBase, "digits", "a7");
  const std::string question = "Interperate as mask?: Interperate Search String as mask?";

  scripted_->answer({IDNO});
  SearchRun literal = search(find("/m:a%d"));
  EXPECT_TRUE(literal.rows().empty());
  scripted_->answer({IDNO});
  literal = search(find("/m:a1"));
  EXPECT_EQ(literal.rows(), std::vector<std::string>{"T|literal|x/m:a1y|0"});

  scripted_->answer({IDYES});
  EXPECT_EQ(search(find("/m:a%d")).names(), (Names{"digits", "literal"}));
  EXPECT_EQ(scripted_->boxLines(), (std::vector<std::string>{question, question, question}));
}

TEST_F(ModifySearch, ABrokenMaskIsToldOncePerSearch) {
  for (const char* name : {"a1", "a2", "a3"}) putSz(kBase, name, "a-value");
  scripted_->answer({IDYES});
  SearchRun run = search(find("/m:a%~D"));  // a run cannot be inverted
  EXPECT_TRUE(run.rows().empty());
  const std::vector<std::string> boxes = scripted_->boxLines();
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Sorry: Sorry, you cannot invert range operators (e.g. *!DF)"), 1)
      << ::testing::PrintToString(boxes);
}

TEST_F(ModifySearch, TheMaskActionCountsNamesButNeverCypheredOnes) {
  putSz(kBase, "HRZR_a1", "-");
  putSz(kBase, "hrzr_a2", "-");
  scripted_->answer({IDYES});
  SearchRun run = search(modify("/m:a%d", "ignored"));
  EXPECT_FALSE(run.context->criteria.hasReplaceText);
  // A mask only finds: nothing is written, so the row has no mark.
  EXPECT_EQ(run.rows(), std::vector<std::string>{"T|hrzr_a2|-|0"});
  EXPECT_EQ(values(kBase), (Values{{"HRZR_a1", "-"}, {"hrzr_a2", "-"}}));
  ASSERT_EQ(errorLog().rows().size(), 1u);
  EXPECT_EQ(errorLog().rows()[0].context, "Will not Verify Cyphered Name");
}

TEST_F(ModifySearch, ReadingTheWindowAgainRestoresTheModifyAction) {
  // A paused Modify whose find text loses its mask prefix replaces again.
  putSz(kBase, "abc", "abc");
  SearchRun run;
  run.context->results = run.results;
  scripted_->answer({IDYES});
  readParameters(modify("/m:b", "x"), *run.context, nullptr);
  readParameters(modify("b", "x"), *run.context, nullptr);
  walkRegistry(*run.context, std::string(kBase));
  EXPECT_EQ(values(kBase), (Values{{"axc", "axc"}}));
}

}  // namespace
}  // namespace talmoor::search

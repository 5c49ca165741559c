// The write gate as writers meet it: remembered answers, a cancelled batch,
// the confirmation template, confirmations switched off and back on, and
// what the confirmation is shown.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "search/replace/change_class.h"
#include "search/results/result_list.h"
#include "search/search_context.h"
#include "search/search_parameters.h"
#include "search/search_walk.h"
#include "search/search_test_support.h"

namespace talmoor::search {
namespace {

using namespace searchtest;
using Values = std::map<std::string, std::string>;

class WriteGate : public SearchTest {
 protected:
  // A Modify run over the test key; returns the context for its abort byte.
  std::unique_ptr<SearchContext> modify(std::string find, std::string replacement) {
    auto context = std::make_unique<SearchContext>(JobKind::Search);
    context->results = results_;
    readParameters(parameters(kModeModify, std::move(find), std::move(replacement)), *context, nullptr);
    walkRegistry(*context, std::string(kBase));
    return context;
  }
  // Sets a value of the test key as the row commands do, through `change`.
  static bool write(ChangeClass& change, const std::string& name, std::vector<BYTE> data, DWORD type = REG_SZ) {
    change.resetEntries();
    change.operation = kOpDefault;
    change.original.location.setComponent(registry::kFullKeyPath, kBase);
    change.original.location.setComponent(registry::kValueName, name);
    change.modified.setData(data);
    change.modified.type = static_cast<int>(type);
    std::string written = name;
    return registry::setValue("", 0, kBase, written, data, type, registry::ReportTo(defaultErrorHandler),
                              writeGate(change));
  }
  static void setConfirmationsOffOption(bool off) {
    changeOptions([off](SearchOptions& o) { o.confirmationsOff = off ? 1 : 0; });
  }

  std::shared_ptr<ResultList> results_ = std::make_shared<ResultList>();
};

TEST_F(WriteGate, ARememberedAcceptCoversLaterChangesOfTheSameKindAndOperation) {
  putSz(kBase, "k1", "xa");
  putSz(kBase, "k2a", "-");  // renamed: another operation, asked about
  putSz(kBase, "k3", "ya");
  putSz(kBase, "k4", "za");
  scripted_->answerConfirmations({dialogResult(ConfirmationAnswer::Accept, true)});
  modify("a", "b");
  EXPECT_EQ(captions(*scripted_), (std::vector<std::string>{"Overwrite Value and Data", "Create Value and Data"}));
  EXPECT_EQ(values(kBase), (Values{{"k1", "xb"}, {"k2b", "-"}, {"k3", "yb"}, {"k4", "zb"}}));
}

TEST_F(WriteGate, ARememberedCancelAbortsEveryLaterChange) {
  putSz(kBase, "a", "0");
  putSz(kBase, "b", "0");
  ChangeClass change;
  scripted_->answerConfirmations({dialogResult(ConfirmationAnswer::Cancel, true)});
  EXPECT_FALSE(write(change, "a", sz("1")));
  EXPECT_TRUE(change.abort);
  change.abort = false;
  EXPECT_FALSE(write(change, "b", sz("2")));
  EXPECT_TRUE(change.abort);
  EXPECT_EQ(scripted_->confirmations().size(), 1u);
  EXPECT_EQ(values(kBase), (Values{{"a", "0"}, {"b", "0"}}));

  // In a search the cancel stops the walk: nothing after it is asked or written.
  makeKey(kBase + std::string("\\Sub"));
  putSz(kBase + std::string("\\Sub"), "s", "0");
  scripted_->clear();
  scripted_->answerConfirmations({dialogResult(ConfirmationAnswer::Cancel, true)});
  auto context = modify("0", "9");
  EXPECT_TRUE(context->aborted());
  EXPECT_EQ(scripted_->confirmations().size(), 1u);
  EXPECT_EQ(values(kBase), (Values{{"a", "0"}, {"b", "0"}}));
  EXPECT_EQ(readText(kBase + std::string("\\Sub"), "s"), "0");
  ASSERT_EQ(results_->size(), 1u);
  EXPECT_EQ(results_->row(0).statusMark, kMarkNone);
}

TEST_F(WriteGate, TheTemplateIsCopiedWhenTheRecordIsMade) {
  putSz(kBase, "v", "0");
  SearchContext context(JobKind::Search);
  changeOptions([](SearchOptions& o) {
    o.confirmationTemplate[kChangeValue][kOpOverwrite] = {1, ConfirmationAnswer::Reject};
  });
  ChangeClass later;

  EXPECT_TRUE(write(context.change, "v", sz("1")));
  EXPECT_EQ(scripted_->confirmations().size(), 1u);
  EXPECT_FALSE(write(later, "v", sz("2")));
  EXPECT_EQ(scripted_->confirmations().size(), 1u);
  EXPECT_EQ(readText(kBase, "v"), "1");
}

TEST_F(WriteGate, AConfirmationThatCouldNotBeShownAsksInABoxAndAnUnknownAnswerWritesNothing) {
  putSz(kBase, "v", "0");
  ChangeClass change;
  // Not shown: the plain box decides, Yes writes and Cancel ends the batch.
  const int notShown = dialogResult(ConfirmationAnswer::NotShown);
  scripted_->answerConfirmations({notShown, notShown});
  scripted_->answer({IDYES, IDCANCEL});
  EXPECT_TRUE(write(change, "v", sz("1")));
  EXPECT_FALSE(change.abort);
  EXPECT_FALSE(write(change, "v", sz("2")));
  EXPECT_TRUE(change.abort);
  const std::string asked = "Overwrite Value and Data: Allow Replace? (Not Recommended)";
  EXPECT_EQ(scripted_->boxLines(), (std::vector<std::string>{asked, asked}));
  // A number no answer has is kept as it came, and refused.
  scripted_->clear();
  scripted_->answerConfirmations({IDOK});
  ChangeClass another;
  EXPECT_FALSE(write(another, "v", sz("3")));
  EXPECT_FALSE(another.abort);
  EXPECT_EQ(scripted_->boxLines(), std::vector<std::string>{"User only for Developer: Unknown Return from Dialog"});
  EXPECT_EQ(readText(kBase, "v"), "1");
}

TEST_F(WriteGate, WithoutConfirmationsTheWriterDecides) {
  putSz(kBase, "v", "abc");
  setConfirmationsOffOption(true);
  modify("b", "x");
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_EQ(readText(kBase, "v"), "axc");
  EXPECT_EQ(results_->row(0).statusMark, kMarkDone);
}

TEST_F(WriteGate, AnImplicitConversionBringsConfirmationsBackWhenErrorsAreSilenced) {
  // UTF-16 text stored in a binary value, rewritten with ANSI text of half
  // the length: the gate compares them at one width and logs the conversion.
  const std::vector<BYTE> wide{'a', 0, 'b', 0, 'c', 0, 0, 0};
  const std::string logged =
      "13 " + std::string(kBase) + " | w | An implicit conversion between ASCII and Unicode data occured.";

  // Errors silenced ("Pause on Error" unticked): the user would not hear of
  // it, so this change and the later ones are confirmed again.
  put(kBase, "w", REG_BINARY, wide);
  setConfirmationsOffOption(true);
  setErrorBoxesSuppressed(true);
  ChangeClass change;
  EXPECT_TRUE(write(change, "w", bytes(std::string("abd\0", 4)), REG_BINARY));
  EXPECT_EQ(logLines(), std::vector<std::string>{logged});
  EXPECT_EQ(scripted_->confirmations().size(), 1u);
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 0);
  EXPECT_TRUE(scripted_->boxLines().empty());

  // Errors shown ("Pause on Error"): the error box tells the user, and
  // confirmations stay off.
  put(kBase, "w", REG_BINARY, wide);
  setConfirmationsOffOption(true);
  setErrorBoxesSuppressed(false);
  scripted_->clear();
  scripted_->answer({IDYES});  // the error box: go on showing errors
  ChangeClass another;
  EXPECT_TRUE(write(another, "w", bytes(std::string("abd\0", 4)), REG_BINARY));
  ASSERT_EQ(scripted_->boxes().size(), 1u);
  EXPECT_EQ(scripted_->boxes()[0].title, "An implicit conversion between ASCII and Unicode data occured.");
  EXPECT_EQ(currentSearchOptions().confirmationsOff, 1);
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_EQ(logLines(), std::vector<std::string>(2, logged));
  EXPECT_EQ(read(kBase, "w"), bytes(std::string("abd\0", 4)));
}

TEST_F(WriteGate, TheConfirmationShowsTheChangeAndTakesBackEdits) {
  putSz(kBase, "v", "abc");
  modify("b", "x");
  ASSERT_EQ(scripted_->confirmations().size(), 1u);
  ConfirmationRequest overwrite = scripted_->confirmations()[0];
  EXPECT_EQ(overwrite.caption, "Overwrite Value and Data");
  EXPECT_EQ(overwrite.fromPath, std::optional<std::string>(kBase));
  EXPECT_FALSE(overwrite.toPath);
  EXPECT_EQ(overwrite.originalName, std::optional<std::string>("v"));
  EXPECT_EQ(overwrite.modifiedName, "v");
  EXPECT_EQ(overwrite.originalData, std::optional(sz("abc")));
  EXPECT_EQ(overwrite.modifiedData, std::optional(sz("axc")));
  EXPECT_EQ(overwrite.modifiedDataText, "axc");
  EXPECT_FALSE(overwrite.originalDataEditable);

  // A rename names both values; the name the user types is the one written.
  putSz(kBase, "abc", "-");
  scripted_->clear();
  scripted_->setConfirmationEditor([](ConfirmationReply& reply) { reply.modifiedName = "typed"; });
  modify("b", "x");
  ASSERT_EQ(scripted_->confirmations().size(), 1u);
  ConfirmationRequest rename = scripted_->confirmations()[0];
  EXPECT_EQ(rename.toPath, std::optional<std::string>(kBase));
  EXPECT_EQ(rename.originalName, std::optional<std::string>("abc"));
  EXPECT_EQ(rename.modifiedName, "axc");
  EXPECT_EQ(values(kBase), (Values{{"typed", "-"}, {"v", "axc"}}));
}

}  // namespace
}  // namespace talmoor::search

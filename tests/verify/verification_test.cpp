// Verify runs over a throwaway registry and drives in a temporary folder: what
// the user is asked and what the answers do to the registry and the rule base.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "search/replace/search_actions.h"
#include "search/results/result_list.h"
#include "search/search_context.h"
#include "search/search_parameters.h"
#include "search/search_test_support.h"
#include "search/search_walk.h"
#include "verify/verification.h"
#include "verify/verify_test_support.h"

namespace talmoor::verify {
namespace {

using namespace search::searchtest;
using search::ConfirmationAnswer;
using search::dialogResult;
using verifytest::CurrentFiles;
using verifytest::describe;
using verifytest::Drives;
using verifytest::makeRule;
using Texts = std::vector<std::string>;

MissingReferenceReply accept(std::string replacement, bool remember = true) {
  return MissingReferenceReply{kAccept, remember, std::move(replacement)};
}
MissingReferenceReply reject(bool remember = false) { return MissingReferenceReply{kReject, remember, {}}; }
// A REG_MULTI_SZ's bytes.
std::vector<BYTE> multi(std::initializer_list<std::string> strings) {
  std::string joined;
  for (const auto& s : strings) joined += s + '\0';
  return bytes(joined + '\0');
}

class VerificationTest : public search::searchtest::SearchTest {
 protected:
  VerificationTest() : current_(files_), previousFactory_(search::verificationActionFactory()) {
    ruleBase().clear();
    installVerification();
    files_.file("C:\\Windows\\system32\\notepad.exe");
    files_.file("C:\\Program Files\\App\\app.exe");
    files_.file("C:\\Program Files (x86)\\Other\\other.exe");
    scripted_->setMissingReferenceHandler([this](const MissingReferenceRequest&) {
      if (replies_.empty()) return reject();
      MissingReferenceReply reply = replies_.front();
      replies_.pop_front();
      return reply;
    });
    scripted_->setPatternHandler([this](const PatternRequest& request) {
      return PatternReply{patternAnswer_, request.findSelected, request.replaceSelected};
    });
  }
  ~VerificationTest() override {
    ruleBase().clear();
    search::setVerificationActionFactory(previousFactory_);
  }

  void answer(std::initializer_list<MissingReferenceReply> replies) { replies_.insert(replies_.end(), replies); }

  // A Verify run from the test key: "SubKey|Value|Data|mark" of every row.
  Texts verifyRun() {
    search::SearchParameters parameters;
    parameters.mode = search::kModeVerify;
    search::SearchContext context(search::JobKind::Search);
    context.results = std::make_shared<search::ResultList>();
    search::readParameters(parameters, context, nullptr);
    search::walkRegistry(context, std::string(kBase));
    Texts rows;
    for (const auto& row : context.results->rows())
      rows.push_back(row.subKey + "|" + row.value + "|" + row.data + "|" + std::to_string(row.statusMark));
    return rows;
  }

  // The references asked about so far.
  Texts asked() const {
    Texts out;
    for (const auto& request : scripted_->missingReferences()) out.push_back(request.reference);
    return out;
  }

  static std::string key(std::string_view name) { return std::string(kBase) + "\\" + std::string(name); }
  // Each text as the value `name` of the keys A, B, C..., and those values read back.
  static void putEach(std::string_view name, std::initializer_list<std::string> texts) {
    char letter = 'A';
    for (const auto& text : texts) putSz(key(std::string(1, letter++)), name, text);
  }
  static Texts readEach(std::string_view name, char last) {
    Texts out;
    for (char letter = 'A'; letter <= last; ++letter)
      out.push_back(readText(key(std::string(1, letter)), name).value_or("(none)"));
    return out;
  }
  // Every rule of the rule base, in its order.
  static Texts rules() {
    Texts out;
    for (const auto& rule : ruleBase().rules()) out.push_back(describe(*rule));
    return out;
  }

  Drives files_;
  CurrentFiles current_;
  search::VerificationActionFactory previousFactory_;
  std::deque<MissingReferenceReply> replies_;
  int patternAnswer_ = IDCANCEL;
};

TEST_F(VerificationTest, ExistingReferencesAskNothingAndAnItemWithAnyMissingReferenceIsRecorded) {
  putSz(key("Fine"), "Program", "C:\\Windows\\system32\\notepad.exe");
  putSz(key("Fine"), "Command", "\"C:\\Program Files\\App\\app.exe\" /x \"%1\"");
  putSz(key("Fine"), "Unquoted", "C:\\Program Files\\App\\app.exe -embedding");
  putSz(key("Fine"), "Icon", "C:\\Windows\\system32\\notepad.exe,-2");
  putSz(key("Fine"), "Bare", "gone.exe");
  put(key("Fine"), "Expand", REG_EXPAND_SZ, sz("%SystemRoot%\\gone.dll"));
  put(key("Fine"), "Binary", REG_BINARY, bytes("C:\\Gone\\gone.dll"));
  putSz(key("LastMissing"), "List", "C:\\Windows\\system32\\notepad.exe;C:\\Gone\\last.dll");
  putSz(key("FirstMissing"), "List", "C:\\Gone\\first.dll C:\\Program Files\\App\\app.exe");
  putSz(key("Quoted"), "Command", "\"C:\\Program Files\\App\\app.exe\" C:\\Gone\\arg.dll");
  put(key("Expand"), "Path", REG_EXPAND_SZ, sz("C:\\Gone\\expand.dll"));
  auto before = values(key("Fine"));

  EXPECT_EQ(verifyRun(), (Texts{"Expand|Path|C:\\Gone\\expand.dll|0", "FirstMissing|List|C:\\Gone\\first.dll C:\\Program Files\\App\\app.exe|0",
                                "LastMissing|List|C:\\Windows\\system32\\notepad.exe;C:\\Gone\\last.dll|0",
                                "Quoted|Command|\"C:\\Program Files\\App\\app.exe\" C:\\Gone\\arg.dll|0"}));
  ASSERT_EQ(asked(),
            (Texts{"C:\\Gone\\expand.dll", "C:\\Gone\\first.dll", "C:\\Gone\\last.dll", "C:\\Gone\\arg.dll"}));
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_EQ(values(key("Fine")), before);
  EXPECT_TRUE(scripted_->boxLines().empty());
  // What the question shows.
  auto request = scripted_->missingReferences()[2];
  EXPECT_EQ(request.keyPath + "|" + request.itemName + "|" + request.dataText,
            key("LastMissing") + "|List|C:\\Windows\\system32\\notepad.exe;C:\\Gone\\last.dll");
}

TEST_F(VerificationTest, AnAcceptedReplacementIsWrittenThroughTheGateAndRememberedAsAnAutomaticRule) {
  files_.file("D:\\App\\a.dll");
  putSz(key("A"), "Lib", "C:\\Old\\App\\a.dll");
  putSz(key("B"), "Server", "C:\\Old\\App\\a.dll,1");
  answer({accept("D:\\App\\a.dll")});

  EXPECT_EQ(verifyRun(), (Texts{"A|Lib|D:\\App\\a.dll|4", "B|Server|D:\\App\\a.dll,1|4"}));
  // Asked once: the second is the rule's.
  EXPECT_EQ(asked(), Texts{"C:\\Old\\App\\a.dll"});
  EXPECT_EQ(readText(key("A"), "Lib"), "D:\\App\\a.dll");
  EXPECT_EQ(readText(key("B"), "Server"), "D:\\App\\a.dll,1");
  ASSERT_EQ(scripted_->confirmations().size(), 2u);
  EXPECT_EQ(scripted_->confirmations()[0].originalDataText, "C:\\Old\\App\\a.dll");
  EXPECT_EQ(scripted_->confirmations()[0].modifiedDataText, "D:\\App\\a.dll");
  EXPECT_EQ(rules(), Texts{"C:\\Old\\App\\a.dll -> D:\\App\\a.dll (exact) auto"});

  // In a later run, from a rules file.
  ASSERT_TRUE(ruleBase().save(files_.dir / "kept.rules"));
  ruleBase().clear();
  ASSERT_TRUE(ruleBase().load(files_.dir / "kept.rules"));
  putSz(key("C"), "Lib", "c:\\old\\app\\A.DLL");
  EXPECT_EQ(verifyRun(), Texts{"C|Lib|D:\\App\\a.dll|4"});
  EXPECT_EQ(asked().size(), 1u);
  EXPECT_EQ(readText(key("C"), "Lib"), "D:\\App\\a.dll");
}

TEST_F(VerificationTest, AReplacementRefusedAtTheGateLeavesTheRegistryAlone) {
  putSz(key("A"), "Lib", "C:\\Old\\a.dll");
  files_.file("D:\\a.dll");
  answer({accept("D:\\a.dll")});
  scripted_->answerConfirmations({kReject});
  EXPECT_EQ(verifyRun(), Texts{"A|Lib|D:\\a.dll|0"});
  EXPECT_EQ(readText(key("A"), "Lib"), "C:\\Old\\a.dll");
  ASSERT_EQ(scripted_->confirmations().size(), 1u);
}

TEST_F(VerificationTest, RejectingRemembersOnlyWhenAsked) {
  putEach("Lib", {"C:\\Gone\\a.dll", "C:\\Gone\\a.dll", "C:\\Gone\\b.dll", "C:\\Gone\\b.dll"});
  answer({reject(true), reject(false)});

  EXPECT_EQ(verifyRun().size(), 4u);
  // a.dll is passed over silently the second time; b.dll is asked again.
  EXPECT_EQ(asked(), (Texts{"C:\\Gone\\a.dll", "C:\\Gone\\b.dll", "C:\\Gone\\b.dll"}));
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_EQ(rules(), (Texts{"C:\\Gone\\b.dll ->  (exact)", "C:\\Gone\\a.dll -> C:\\Gone\\a.dll (exact) auto reject"}));
  EXPECT_EQ(readText(key("A"), "Lib"), "C:\\Gone\\a.dll");
}

TEST_F(VerificationTest, AFolderSharedWithAnEarlierAnswerIsOfferedAsAPattern) {
  files_.file("D:\\App\\a.dll");
  files_.file("D:\\App\\b.dll");
  putEach("Lib", {"C:\\Old\\App\\a.dll", "C:\\Old\\App\\b.dll", "C:\\Old\\App\\sub\\c.dll"});
  answer({accept("D:\\App\\a.dll")});
  patternAnswer_ = IDYES;

  EXPECT_EQ(verifyRun(), (Texts{"A|Lib|D:\\App\\a.dll|4", "B|Lib|D:\\App\\b.dll|4",
                                "C|Lib|D:\\App\\sub\\c.dll|4"}));
  ASSERT_EQ(scripted_->patterns().size(), 1u);
  PatternRequest question = scripted_->patterns()[0];
  EXPECT_FALSE(question.reject);
  EXPECT_EQ(question.findPrefixes, (Texts{"C:\\", "C:\\Old\\", "C:\\Old\\App\\"}));
  EXPECT_EQ(question.replacePrefixes, (Texts{"D:\\", "D:\\App\\"}));
  EXPECT_EQ(question.findPrefixes[question.findSelected], "C:\\Old\\App\\");
  EXPECT_EQ(question.replacePrefixes[question.replaceSelected], "D:\\App\\");
  // The rule was automatic: b.dll and c.dll were not asked about.
  EXPECT_EQ(asked(), Texts{"C:\\Old\\App\\a.dll"});
  ASSERT_EQ(rules(), Texts{"C:\\Old\\App\\ -> D:\\App\\ (full) auto"});
  EXPECT_TRUE(ruleBase().rules()[0]->prompted);
}

TEST_F(VerificationTest, APatternRuleThatIsNotAutomaticProposesItsReplacement) {
  putEach("Lib", {"C:\\Old\\App\\a.dll", "C:\\Old\\App\\b.dll"});
  // Accepted without a replacement of the user's own: the rule's proposal.
  answer({accept("D:\\App\\a.dll", false), MissingReferenceReply{kAccept, false, std::nullopt}});
  patternAnswer_ = IDYES;
  EXPECT_EQ(verifyRun(), (Texts{"A|Lib|D:\\App\\a.dll|4", "B|Lib|D:\\App\\b.dll|4"}));
  EXPECT_EQ(asked(), (Texts{"C:\\Old\\App\\a.dll", "C:\\Old\\App\\b.dll"}));
}

TEST_F(VerificationTest, ADeclinedPatternIsNotOfferedAgainForThatRule) {
  files_.file("D:\\App\\a.dll");
  putEach("Lib", {"C:\\Old\\App\\a.dll", "C:\\Old\\App\\b.dll"});
  answer({accept("D:\\App\\a.dll"), reject(true)});
  verifyRun();
  EXPECT_EQ(asked(), (Texts{"C:\\Old\\App\\a.dll", "C:\\Old\\App\\b.dll"}));
  ASSERT_EQ(scripted_->patterns().size(), 1u);
  ASSERT_EQ(rules(), (Texts{"C:\\Old\\App\\a.dll -> D:\\App\\a.dll (exact) auto",
                            "C:\\Old\\App\\b.dll -> C:\\Old\\App\\b.dll (exact) auto reject"}));
  EXPECT_TRUE(ruleBase().rules()[0]->prompted);
  EXPECT_EQ(ruleBase().rules()[0]->minMatch, 11);
  EXPECT_EQ(readText(key("B"), "Lib"), "C:\\Old\\App\\b.dll");

  // A rejected pattern: every missing reference below the folder is passed over.
  putSz(key("C"), "Lib", "C:\\Old\\App\\c.dll");
  patternAnswer_ = IDYES;
  verifyRun();
  ASSERT_EQ(scripted_->patterns().size(), 2u);
  EXPECT_TRUE(scripted_->patterns()[1].reject);
  EXPECT_EQ(asked().size(), 2u);
  EXPECT_EQ(rules().at(0), "C:\\Old\\App\\ -> C:\\Old\\App\\ (full) auto reject");
}

TEST_F(VerificationTest, AnUnquotedReferenceGainsNoBlank) {
  putEach("Run", {"C:\\Old\\tool.exe /background", "\"C:\\Old Tools\\tool.exe\" /background", "C:\\Old\\x86.exe",
                  "C:\\Old\\typed.exe"});
  answer({accept("C:\\Program Files\\App\\app.exe", false), accept("C:\\Program Files\\App\\app.exe", false),
          accept("C:\\Program Files (x86)\\Other\\other.exe", false),
          accept("C:\\Program Files\\Not There\\typed.exe", false)});
  verifyRun();
  // A path that does not exist (the last) has no short form: it is taken as it is.
  EXPECT_EQ(readEach("Run", 'D'),
            (Texts{"C:\\PROGRA~1\\App\\app.exe /background", "\"C:\\Program Files\\App\\app.exe\" /background",
                   "C:\\PROGRA~2\\Other\\other.exe", "C:\\Program Files\\Not There\\typed.exe"}));
}

TEST_F(VerificationTest, RejectForEveryLaterQuestionAppliesToTheRestOfTheRun) {
  putEach("Lib", {"C:\\Gone\\a.dll", "C:\\Elsewhere\\b.dll", "D:\\Gone\\c.dll"});
  answer({MissingReferenceReply{dialogResult(ConfirmationAnswer::Reject, true), false, std::nullopt}});
  EXPECT_EQ(verifyRun(), (Texts{"A|Lib|C:\\Gone\\a.dll|0", "B|Lib|C:\\Elsewhere\\b.dll|0",
                                "C|Lib|D:\\Gone\\c.dll|0"}));
  EXPECT_EQ(asked(), Texts{"C:\\Gone\\a.dll"});
  EXPECT_TRUE(scripted_->confirmations().empty());
  // The next run asks again.
  verifyRun();
  EXPECT_EQ(asked().size(), 4u);
}

TEST_F(VerificationTest, WhatTheRunRemembersOutlastsAResume) {
  putEach("Lib", {"C:\\Gone\\a.dll", "C:\\Gone\\b.dll"});
  answer({MissingReferenceReply{dialogResult(ConfirmationAnswer::Reject, true), false, std::nullopt}});
  search::SearchParameters parameters;
  parameters.mode = search::kModeVerify;
  search::SearchContext context(search::JobKind::Search);
  context.results = std::make_shared<search::ResultList>();
  search::readParameters(parameters, context, nullptr);
  search::walkRegistry(context, key("A"));
  // Resume reads the window into the context again before the walk goes on.
  search::readParameters(parameters, context, nullptr);
  search::walkRegistry(context, key("B"));
  EXPECT_EQ(asked(), Texts{"C:\\Gone\\a.dll"});
  EXPECT_EQ(context.results->size(), 2u);
}

TEST_F(VerificationTest, AcceptCannotStandForLaterQuestions) {
  files_.file("D:\\a.dll");
  putEach("Lib", {"C:\\Gone\\a.dll", "C:\\Elsewhere\\b.dll"});
  answer({MissingReferenceReply{dialogResult(ConfirmationAnswer::Accept, true), false, "D:\\a.dll"}});
  verifyRun();
  EXPECT_EQ(asked(), (Texts{"C:\\Gone\\a.dll", "C:\\Elsewhere\\b.dll"}));
  EXPECT_EQ(readEach("Lib", 'B'), (Texts{"D:\\a.dll", "C:\\Elsewhere\\b.dll"}));
}

TEST_F(VerificationTest, CancelEndsTheRunAndTakesBackOnlyTheRuleMadeForTheQuestion) {
  // The user's own rule for a.dll, not automatic: it is asked about.
  ruleBase().insert(makeRule("C:\\Gone\\a.dll", "D:\\a.dll"));
  putEach("Lib", {"C:\\Gone\\a.dll", "C:\\Gone\\zzz\\b.dll"});
  answer({MissingReferenceReply{kCancel, true, std::nullopt}});
  verifyRun();
  EXPECT_EQ(asked(), Texts{"C:\\Gone\\a.dll"});
  EXPECT_EQ(ruleBase().size(), 1u);
  EXPECT_EQ(readText(key("A"), "Lib"), "C:\\Gone\\a.dll");
  EXPECT_TRUE(scripted_->confirmations().empty());

  // A rule made for the reference goes.
  ruleBase().clear();
  answer({MissingReferenceReply{dialogResult(ConfirmationAnswer::Cancel, true), true, std::nullopt}});
  verifyRun();
  EXPECT_EQ(asked().size(), 2u);
  EXPECT_EQ(ruleBase().size(), 0u);
}

TEST_F(VerificationTest, RulesAreTriedInOrderFullPrefixesFirstTheShorterFirst) {
  for (auto rule :
       {makeRule("C:\\Old\\App\\x.dll", "F:\\x.dll"), makeRule("C:\\Old\\App\\", "E:\\App\\", RuleType::FullMatch),
        makeRule("C:\\Old\\", "D:\\New\\", RuleType::FullMatch), makeRule("C:\\Other\\y.dll", "F:\\y.dll")}) {
    rule->autoApply = rule->prompted = true;
    ruleBase().insert(rule);
  }
  putEach("Lib", {"C:\\Old\\App\\x.dll", "C:\\OLD\\App\\z.dll", "C:\\Other\\y.dll"});
  verifyRun();
  EXPECT_TRUE(asked().empty());
  EXPECT_EQ(readEach("Lib", 'C'), (Texts{"D:\\New\\App\\x.dll", "D:\\New\\App\\z.dll", "F:\\y.dll"}));
  EXPECT_TRUE(scripted_->patterns().empty());
}

TEST_F(VerificationTest, EveryReferenceOfAQuotedCommandLineIsRepaired) {
  putEach("Run", {"\"C:\\Old\\a.exe C:\\Old\\b.dll /s\"", "\"C:\\Old\\c.exe\" \"C:\\Old\\d.dll\" /s",
                  "\"C:\\Gone\\e.exe C:\\Old\\f.dll\""});
  answer({accept("D:\\a.exe", false), accept("D:\\b.dll", false), accept("D:\\c.exe", false),
          accept("D:\\d.dll", false), reject(), accept("D:\\f.dll", false)});
  verifyRun();
  EXPECT_EQ(readEach("Run", 'C'),
            (Texts{"\"D:\\a.exe D:\\b.dll /s\"", "\"D:\\c.exe\" \"D:\\d.dll\" /s", "\"C:\\Gone\\e.exe D:\\f.dll\""}));
  EXPECT_EQ(asked().size(), 6u);
}

TEST_F(VerificationTest, NamesListsAndLengthPrefixedPathsAreRepaired) {
  put(key("A"), "C:\\Old\\shared.dll", REG_DWORD, {1, 0, 0, 0});
  put(key("B"), "Files", REG_MULTI_SZ, multi({"C:\\Windows\\system32\\notepad.exe", "C:\\Old\\list.dll"}));
  putSz(key("C"), "Path", "17|C:\\Old\\prefix.dll,extra");
  answer({accept("D:\\New\\shared.dll", false), accept("D:\\New\\list.dll", false),
          accept("D:\\Newer\\prefix.dll", false)});
  verifyRun();
  EXPECT_EQ(asked(), (Texts{"C:\\Old\\shared.dll", "C:\\Old\\list.dll", "C:\\Old\\prefix.dll"}));
  // The value under its new name, with its data; the old name is gone.
  EXPECT_EQ(read(key("A"), "D:\\New\\shared.dll"), (std::vector<BYTE>{1, 0, 0, 0}));
  EXPECT_FALSE(read(key("A"), "C:\\Old\\shared.dll"));
  EXPECT_EQ(read(key("B"), "Files"), multi({"C:\\Windows\\system32\\notepad.exe", "D:\\New\\list.dll"}));
  EXPECT_EQ(readText(key("C"), "Path"), "19|D:\\Newer\\prefix.dll,extra");
}

TEST_F(VerificationTest, TheQuestionListsTheOtherCopiesAsTheyAreFound) {
  files_.file("D:\\Old\\App\\gone.dll");
  files_.file("C:\\Backup\\gone.dll");
  files_.file("D:\\Other\\GONE.DLL");
  putSz(key("A"), "Lib", "C:\\Old\\App\\gone.dll");
  std::vector<std::string> seen;
  scripted_->setMissingReferenceHandler([&](const MissingReferenceRequest& request) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!request.suggestions->finished() && std::chrono::steady_clock::now() < limit)
      request.suggestions->waitForMore(request.suggestions->suggestions().size(), 200);
    seen = request.suggestions->suggestions();
    EXPECT_EQ(request.suggestions->status(), "Search Completed.");
    return accept(seen.empty() ? std::string() : seen.front());
  });
  verifyRun();
  EXPECT_EQ(seen, (Texts{"D:\\Old\\App\\gone.dll", "C:\\Backup\\gone.dll", "D:\\Other\\GONE.DLL"}));
  EXPECT_EQ(readText(key("A"), "Lib"), "D:\\Old\\App\\gone.dll");
}

// The search for other copies on its own: "path" of every suggestion.
Texts alternates(const std::string& reference, const Drives& files, std::string* status = nullptr,
                 bool stopped = false) {
  SuggestionFeed feed;
  feed.stop = stopped;
  findAlternateLocations(reference, feed, files.view());
  if (status) *status = feed.status();
  return feed.suggestions();
}

TEST(AlternateLocations, TheSamePathOnOtherDrivesThenTheNameOnTheReferencesOwnDriveFirst) {
  Drives files;
  std::filesystem::create_directories(files.dir / "e");
  files.drives.setDrive('E', files.dir / "e");
  files.file("C:\\Old\\gone.dll");
  files.file("E:\\Old\\gone.dll");
  files.file("D:\\GONE.DLL");
  files.file("C:\\Deep\\er\\Gone.Dll");
  files.file("C:\\Deep\\gone.dll.bak");
  files.folder("E:\\Folder\\gone.dl");
  std::string status;
  // Each place once, though the name search meets the same paths again.
  EXPECT_EQ(alternates("D:\\Old\\gone.dll", files, &status),
            (Texts{"C:\\Old\\gone.dll", "E:\\Old\\gone.dll", "D:\\GONE.DLL", "C:\\Deep\\er\\Gone.Dll"}));
  EXPECT_EQ(status, "Search Completed.");
  EXPECT_EQ(alternates("D:\\Old\\nowhere.dll", files, &status), Texts{});
  EXPECT_EQ(status, "Search Completed.");

  // Stopped, the search offers nothing more.
  EXPECT_EQ(alternates("D:\\Old\\gone.dll", files, &status, true), Texts{});
  EXPECT_NE(status, "Search Completed.");
}

TEST(AlternateLocations, TheDriveOfTheWholeHostFileSystemIsNotWalked) {
  Drives files;
  files.drives.setDrive('Z', "/");
  files.file("D:\\Copies\\gone.dll");
  SuggestionFeed feed;
  // Walking "/" would take long: past a limit the search is stopped and the test fails instead of hanging.
  Latch done;
  std::thread watchdog([&] {
    if (!done.wait(std::chrono::seconds(60))) feed.stop = true;
  });
  findAlternateLocations("C:\\Old\\gone.dll", feed, files.view());
  done.open();
  watchdog.join();
  EXPECT_EQ(feed.status(), "Search Completed.");
  EXPECT_EQ(feed.suggestions(), Texts{"D:\\Copies\\gone.dll"});
}

// The repair of one text, without a registry walk.
class RepairTest : public VerificationTest {
 protected:
  RepairTest() { state_.rules = &rules_; }
  std::optional<std::string> repair(const std::string& text) {
    return repairReferences(text, context_, state_, files_.view());
  }
  search::SearchContext context_{search::JobKind::Search};
  RuleBase rules_;
  VerificationState state_;
};

TEST_F(RepairTest, ReferencesBetweenSeparatorsAreEachExamined) {
  answer({accept("D:\\a.dll", false), reject(), accept("D:\\c.dll", false)});
  EXPECT_EQ(repair("C:\\Gone\\a.dll;C:\\Windows\\system32\\notepad.exe,C:\\Gone\\b.dll|C:\\Gone\\c.dll"),
            "D:\\a.dll;C:\\Windows\\system32\\notepad.exe,C:\\Gone\\b.dll|D:\\c.dll");
  EXPECT_EQ(asked(), (Texts{"C:\\Gone\\a.dll", "C:\\Gone\\b.dll", "C:\\Gone\\c.dll"}));
  EXPECT_TRUE(state_.anyMissing);
  // Nothing changes when everything exists, or nothing is accepted.
  EXPECT_EQ(repair("C:\\Windows\\system32\\notepad.exe C:\\Program Files\\App\\app.exe"), std::nullopt);
  EXPECT_EQ(repair("C:\\Gone\\x.dll"), std::nullopt);
  EXPECT_EQ(repair(""), std::nullopt);
}

}  // namespace
}  // namespace talmoor::verify

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/mask_test_support.h"
#include "base/masks/builtin_masks.h"

namespace talmoor::masks {

namespace {

using masktest::matches;
using masktest::MaskFixture;
using masktest::occurrences;
using masktest::problemsOf;
using masktest::segments;

std::string_view t(const char* text) { return terminated(text); }

class MaskOperators : public MaskFixture {};

TEST_F(MaskOperators, SingleCharacterOperatorsAndSets) {
  struct Case {
    const char* mask;
    const char* yes;
    const char* no;
  };
  const Case cases[] = {
      {"%%", "%", "x"},      {"%?", "~", ""},        {"%A", "Q", "q"},      {"%a", "q", "Q"},
      {"%X", "q", "1"},      {"%X", "Q", "@"},       {"%d", "7", "x"},      {"%H", "F", "f"},
      {"%h", "f", "F"},      {"%1abc", "b", "d"},    {"%1a%bc", "c", "b"},  {"%1a%bc", "a", "%"},
      {"%~d", "x", "5"},     {"%~~d", "5", "x"},     {"%~1 ;", "x", " "},   {"%~1 ;", "x", ";"},
      {"%~X", "1", "q"},     {"a%0b", "ab", "a"},    {"%0ab", "a", ""},     {"%0ab", "b", "c"},
      {"x%Oyz", "xyz", "xy"}, {"x%Oyz", "xyz", "x"}, {"ab%*", "ab", "a"},   {"%*", "", nullptr},
      {"ab%", "ab", "abc"},  {"a%~", "a", "b"},      {"%$-", "-", "x"},     {"ab%>;", "ab", "abc"},
      {"ab%>;", "ab;", "ab,"}, {"%~>;", "x", ";"},   {"%~>;", "x", ""},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(matches(c.yes, t(c.mask))) << c.mask << " on " << c.yes;
    if (c.no) {
      EXPECT_FALSE(matches(c.no, t(c.mask))) << c.mask << " on " << c.no;
    }
  }
}

TEST_F(MaskOperators, StartAndEndOfTheSource) {
  const std::string startMask = segments({"%<,", "x"});
  EXPECT_TRUE(matches("x", startMask));
  EXPECT_TRUE(matches(",x", startMask));
  // Only the start of the source offers the empty alternative.
  EXPECT_EQ(occurrences(t("ab,x"), startMask), std::vector<std::string>{",x"});
  EXPECT_TRUE(occurrences(t("abx"), startMask).empty());

  // "%>" takes a NUL inside the data as an end, with the NUL.
  const std::string_view multi("ab\0cd\0", 7);
  EXPECT_EQ(occurrences(multi, t("%X%X%>;")), (std::vector<std::string>{std::string("ab\0", 3), std::string("cd\0", 3)}));
}

TEST_F(MaskOperators, RangesAreShortestFirst) {
  EXPECT_EQ(occurrences(t("xa1b2b"), t("a%*b")), std::vector<std::string>{"a1b"});
  EXPECT_EQ(occurrences(t("x#12#3#"), t("#%D#")), std::vector<std::string>{"#12#"});
  EXPECT_TRUE(occurrences(t("##"), t("#%D#")).empty());
  EXPECT_TRUE(matches("0x1aF;", t("0x%F;")));
  EXPECT_FALSE(matches("0xg;", t("0x%F;")));
  EXPECT_TRUE(matches("abc", t("%!:")));
  EXPECT_FALSE(matches("a:c", t("%!:")));
  // Where "%!" stops, the next character must be outside its set too, even
  // when the rest of the mask would take it.
  const std::string runThenAny = segments({"%!ab", "%?"});
  EXPECT_TRUE(matches("xyz", runThenAny));
  EXPECT_FALSE(matches("xya", runThenAny));
}

TEST_F(MaskOperators, NegatedRangesAreRefusedAndReported) {
  for (const char* mask : {"%~*x", "%~!:", "%~D", "%~F"}) {
    EXPECT_EQ(MaskSearch(t("12ab:x"), t(mask)), MaskResult::NoMatch) << mask;
    MaskProblems problems = problemsOf(t("12ab:x"), t(mask));
    EXPECT_TRUE(problems.has(MaskProblem::InvertedRange)) << mask;
    EXPECT_FALSE(problems.has(MaskProblem::Incomplete)) << mask;
  }
}

class MaskGroups : public MaskFixture {};

TEST_F(MaskGroups, DelimitersFirstThenWithout) {
  const std::string group = segments({"%((", "x%))"});
  EXPECT_TRUE(matches("(x)", group));
  EXPECT_TRUE(matches("x", group));
  EXPECT_FALSE(matches("(x", group));
  EXPECT_FALSE(matches("[x]", group));

  const std::string nested = segments({"%([", "%((", "x%))", "%)]"});
  for (const char* yes : {"[(x)]", "[x]", "(x)", "x"}) EXPECT_TRUE(matches(yes, nested)) << yes;
  for (const char* no : {"[(x]", "(x]", "[x)"}) EXPECT_FALSE(matches(no, nested)) << no;

  // A marker inside a set is a member, not the group's close.
  const std::string closeInSet = segments({"%((", "%1%)y", "%))"});
  EXPECT_TRUE(matches("(y)", closeInSet));
}

TEST_F(MaskGroups, UnbalancedGroupsFailAndAreReported) {
  EXPECT_EQ(MaskSearch(t("aaba"), t("a%(x")), MaskResult::NoMatch);
  EXPECT_TRUE(problemsOf(t("aaba"), t("a%(x")).has(MaskProblem::Incomplete));
  EXPECT_EQ(MaskSearch(t("xy"), t("x%)y")), MaskResult::NoMatch);
  EXPECT_TRUE(problemsOf(t("xy"), t("x%)y")).has(MaskProblem::Incomplete));
  // Where the source never reaches the broken part, nothing is reported.
  EXPECT_FALSE(problemsOf(t("qq"), t("a%(x")).any());
}

class MaskCapture : public MaskFixture {};

TEST_F(MaskCapture, DigitsBecomeTheSkipCount) {
  const std::string_view lengthPrefixed = lengthPrefixedPathMask();
  EXPECT_TRUE(matches("10|C:\\foo.dll", lengthPrefixed));
  EXPECT_FALSE(matches("11|C:\\foo.dll", lengthPrefixed));
  EXPECT_EQ(occurrences(t("9|C:\\foo.dll"), lengthPrefixed), std::vector<std::string>{"9|C:\\foo.dl"});
  // Digits tried by an attempt that failed do not leak into the next one.
  EXPECT_EQ(occurrences(t("1a 10|C:\\abcdefg"), lengthPrefixed), std::vector<std::string>{"10|C:\\abcdefg"});

  // Digits of one operator run together; another operator closes the number.
  EXPECT_TRUE(matches("03abc", t("%d%d%$")));
  EXPECT_FALSE(matches("03ab", t("%d%d%$")));
  EXPECT_TRUE(matches("12xx", t("%d%h%$")));
  EXPECT_FALSE(matches("12x", t("%d%h%$")));
  EXPECT_TRUE(matches("1ab", t("%d%$+1")));
  // Digits left over at the end of one occurrence do not run into the next.
  EXPECT_EQ(occurrences(t("1a2 1a2"), t("%d%$%d")), (std::vector<std::string>{"1a2", "1a2"}));
}

TEST_F(MaskCapture, OutOfRangeNumbersNeverSkip) {
  EXPECT_FALSE(matches("12345678901;x", t("%D;%$")));  // eleven digits: -1
  EXPECT_FALSE(matches("9999999999;x", t("%D;%$+9")));
  EXPECT_FALSE(matches("2;x", t("%D;%$-3")));
  EXPECT_TRUE(matches("2;xy", t("%D;%$")));
}

TEST_F(MaskCapture, EachSearchHasItsOwnRegister) {
  EXPECT_TRUE(matches("", t("%$")));
  EXPECT_TRUE(matches("7a", t("%d%X")));
  EXPECT_TRUE(matches("", t("%$")));

  auto worker = [](const char* source, bool expected, int& wrong) {
    for (int i = 0; i < 3000; ++i)
      if (matches(source, lengthPrefixedPathMask()) != expected) ++wrong;
  };
  int wrongA = 0, wrongB = 0;
  std::thread a(worker, "10|C:\\foo.dll", true, std::ref(wrongA));
  std::thread b(worker, "5|C:\\ab", true, std::ref(wrongB));
  a.join();
  b.join();
  EXPECT_EQ(wrongA, 0);
  EXPECT_EQ(wrongB, 0);
}

class MaskSearchCallback : public MaskFixture {};

TEST_F(MaskSearchCallback, VetoAbortAndBacktracking) {
  std::vector<std::string> offered;
  auto rejectShort = [&](const MaskOccurrence& o, MaskReply&) {
    offered.emplace_back(o.text());
    return o.length < 4 ? MaskVerdict::Reject : MaskVerdict::Accept;
  };
  EXPECT_EQ(MaskSearch(t("a1;2;"), t("a%*;"), rejectShort), MaskResult::Match);
  EXPECT_EQ(offered, (std::vector<std::string>{"a1;", "a1;2;"}));

  auto reject = [](const MaskOccurrence&, MaskReply&) { return MaskVerdict::Reject; };
  EXPECT_EQ(MaskSearch(t("abcabc"), t("abc"), reject), MaskResult::NoMatch);

  std::string output = "untouched";
  int calls = 0;
  auto abortSecond = [&](const MaskOccurrence&, MaskReply& reply) {
    reply.replacement = "X";
    return ++calls == 2 ? MaskVerdict::Abort : MaskVerdict::Accept;
  };
  EXPECT_EQ(MaskSearch(t("abcabc"), t("abc"), abortSecond, &output), MaskResult::Aborted);
  EXPECT_EQ(output, "untouched");
}

TEST_F(MaskSearchCallback, CallbacksMaySearchAgain) {
  // As the long-file-name rules do: a quoted command line is searched again
  // for the references inside it, from within the outer search's callback.
  std::vector<std::string> outer, inner;
  MaskSearch(t("\"C:\\a.dll,D:\\b.dll\" x \"E:\\c\""), quotedPathMask(),
             [&](const MaskOccurrence& o, MaskReply&) {
               outer.emplace_back(o.text());
               const std::size_t open = o.text().find('"'), close = o.text().rfind('"');
               const std::string quoted(o.text().substr(open + 1, close - open - 1));
               for (auto& found : occurrences(terminated(quoted), filePathMask(), 1)) inner.push_back(found);
               return MaskVerdict::Accept;
             });
  EXPECT_EQ(outer, (std::vector<std::string>{"\"C:\\a.dll,D:\\b.dll\" ", std::string(" \"E:\\c\"\0", 8)}));
  EXPECT_EQ(inner, (std::vector<std::string>{"C:\\a.dll,", std::string(",D:\\b.dll\0", 10), std::string("E:\\c\0", 5)}));
}

TEST_F(MaskSearchCallback, OutputIsBuiltFromReplacementsAndGiveBacks) {
  auto upper = [](std::size_t giveBack) {
    return [giveBack](const MaskOccurrence& o, MaskReply& reply) {
      std::string text(o.text());
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      reply.replacement = text;
      reply.giveBack = giveBack;
      return MaskVerdict::Accept;
    };
  };
  std::string output;
  EXPECT_EQ(MaskSearch(t(",a,b,c,"), t(",%*,"), upper(0), &output), MaskResult::Match);
  EXPECT_EQ(output, std::string(",A,b,C,\0", 8));
  // Giving the closing comma back lets it open the next occurrence.
  EXPECT_EQ(MaskSearch(t(",a,b,c,"), t(",%*,"), upper(1), &output), MaskResult::Match);
  EXPECT_EQ(output, std::string(",A,B,C,\0", 8));
  // More than the occurrence: nothing is consumed, and the search stops.
  EXPECT_EQ(MaskSearch(t(",a,b,"), t(",%*,"), upper(9), &output), MaskResult::Match);
  EXPECT_EQ(output, std::string(",a,b,\0", 6));

  // A source passed without its terminator still gives a terminated output.
  EXPECT_EQ(MaskSearch(std::string_view("abc", 3), t("b"), upper(0), &output), MaskResult::Match);
  EXPECT_EQ(output, std::string("aBc\0", 4));

  // Accepting without a replacement leaves the output alone.
  output = "kept";
  EXPECT_EQ(MaskSearch(t("abc"), t("b"), {}, &output), MaskResult::Match);
  EXPECT_EQ(output, "kept");

  // A replacement with nowhere to go is dropped.
  EXPECT_EQ(MaskSearch(t("abc"), t("b"), upper(0)), MaskResult::Match);
}

TEST_F(MaskSearchCallback, PartialAndFullMatches) {
  // Without the allow-rest flag a partial match is no match, and the shorter
  // alternatives give way to one that takes the whole source.
  EXPECT_FALSE(matches("abcd", t("ab")));
  EXPECT_TRUE(matches("abcd", t("ab"), true));
  EXPECT_TRUE(matches("abcd", t("a%*")));
  // A full match ends the search; an empty partial match does too.
  EXPECT_EQ(occurrences(t("abab"), t("ab")), (std::vector<std::string>{"ab", "ab"}));
  EXPECT_EQ(occurrences(t("abxcx"), t("%0x")), std::vector<std::string>{""});
}

class MaskFailures : public MaskFixture {};

TEST_F(MaskFailures, BrokenMasksAreReportedToTheCaller) {
  // A set that runs into the end of the mask: reported, matching goes on.
  MaskProblems problems;
  EXPECT_EQ(MaskMatch(t("b"), std::string_view("%1ab", 4), {}, false, &problems), MaskResult::Match);
  EXPECT_EQ(problems.bits, static_cast<unsigned>(MaskProblem::Corrupted));
  problems = {};
  EXPECT_EQ(MaskMatch(t("ab"), std::string_view("a%sb", 4), {}, false, &problems), MaskResult::NoMatch);
  EXPECT_EQ(problems.bits, static_cast<unsigned>(MaskProblem::Formatting));
}

TEST_F(MaskFailures, NothingToMatch) {
  EXPECT_EQ(MaskSearch({}, t("a")), MaskResult::NoMatch);
  EXPECT_EQ(MaskSearch(t("a"), {}), MaskResult::NoMatch);
  EXPECT_EQ(MaskMatch(std::string_view("", 0), t("%*")), MaskResult::NoMatch);
  EXPECT_EQ(MaskMatch(t("a"), std::string_view("a", 0)), MaskResult::NoMatch);
  // A one-byte mask is used up at once: an empty occurrence.
  EXPECT_EQ(occurrences(t("abc"), std::string_view("\0", 1)), std::vector<std::string>{""});
}

TEST_F(MaskFailures, HostileInputsFinish) {
  // Many range operators: remembered failures keep this polynomial.
  std::string manyRanges;
  for (int i = 0; i < 30; ++i) manyRanges += "%*";
  manyRanges += "x";
  const std::string noX(600, 'a');
  EXPECT_EQ(MaskSearch(terminated(noX), terminated(manyRanges)), MaskResult::NoMatch);
  auto count = [](const MaskOccurrence&, MaskReply&) { return MaskVerdict::Accept; };
  EXPECT_EQ(MaskSearch(terminated(noX), terminated(manyRanges), count), MaskResult::NoMatch);

  // Every attempt that gets far enough meets the broken part: the failures
  // are still shared between attempts, and the problem is reported.
  const std::string_view brokenAtEnd("%*%*:\0%>,", 9);
  const std::string colonFirst = std::string(800, 'a') + std::string(":\0x", 3) + std::string(800, 'a');
  EXPECT_EQ(MaskSearch(terminated(colonFirst), brokenAtEnd, count), MaskResult::NoMatch);
  EXPECT_TRUE(problemsOf(terminated(colonFirst), brokenAtEnd, count).any());

  // A long mask does not run out of stack.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += std::string("%0a\0", 4);
  EXPECT_EQ(MaskMatch(t("aaaa"), deep), MaskResult::Match);
  std::string groups;
  for (int i = 0; i < 20000; ++i) groups += std::string("%(\0", 3);
  EXPECT_EQ(MaskMatch(t("a"), std::string_view(groups)), MaskResult::NoMatch);

  // A source of several megabytes.
  const std::string unit = "C:\\windows\\system32\\x.dll,abc def;";
  std::string big;
  while (big.size() < 8'000'000) big += unit;
  EXPECT_EQ(occurrences(terminated(big), t("system32")).size(), big.size() / unit.size());
  std::size_t found = 0;
  MaskSearch(terminated(big), filePathMask(), [&](const MaskOccurrence&, MaskReply& reply) {
    ++found;
    reply.giveBack = 1;
    return MaskVerdict::Accept;
  });
  EXPECT_EQ(found, big.size() / unit.size());
  // A leading run that finds nothing from the first start finds nothing from
  // any later one either.
  EXPECT_EQ(MaskSearch(terminated(big), t("%*#")), MaskResult::NoMatch);
}

}  // namespace
}  // namespace talmoor::masks

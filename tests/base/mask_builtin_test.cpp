#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/mask_test_support.h"
#include "base/masks/builtin_masks.h"
#include "support/corpus.h"

namespace talmoor::masks {

namespace {

using masktest::matches;
using masktest::MaskFixture;
using masktest::occurrences;

std::string_view t(const char* text) { return terminated(text); }

std::vector<std::string_view> split(std::string_view mask) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0; at < mask.size();) {
    std::size_t end = std::min(mask.find('\0', at), mask.size());
    parts.push_back(mask.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// The quoted string values of a Wine text hive, unescaped.
std::vector<std::string> stringValues(const std::string& hive) {
  std::vector<std::string> values;
  auto quoted = [&](std::size_t& at, std::string* out) {
    if (at >= hive.size() || hive[at] != '"') return false;
    for (++at; at < hive.size() && hive[at] != '"' && hive[at] != '\n'; ++at) {
      if (hive[at] == '\\' && at + 1 < hive.size()) ++at;
      if (out) out->push_back(hive[at]);
    }
    return at < hive.size() && hive[at++] == '"';
  };
  for (std::size_t line = 0; line < hive.size();) {
    std::size_t at = line;
    std::size_t next = hive.find('\n', line);
    line = next == std::string::npos ? hive.size() : next + 1;
    if (hive[at] == '@') ++at;
    else if (!quoted(at, nullptr)) continue;
    if (hive.compare(at, 1, "=") != 0) continue;
    ++at;
    if (hive.compare(at, 7, "str(2):") == 0) at += 7;
    std::string value;
    if (quoted(at, &value)) values.push_back(std::move(value));
  }
  return values;
}

class MaskBuiltin : public MaskFixture {};

TEST_F(MaskBuiltin, LengthsAndSegments) {
  EXPECT_EQ(filePathMask().size(), 46u);
  EXPECT_EQ(quotedPathMask().size(), 31u);
  EXPECT_EQ(lengthPrefixedPathMask(), "%D|%X:\\%$-3");
  EXPECT_EQ(indirectStringMask().size(), 19u);
  auto path = split(filePathMask());
  ASSERT_EQ(path.size(), 6u);
  EXPECT_EQ(split(quotedPathMask()), (std::vector<std::string_view>{path[0], path[1], path[4], path[5]}));
  EXPECT_EQ(split(indirectStringMask()), (std::vector<std::string_view>{"@%*.%*,%O-", "%D%O@", "%*"}));
}

TEST_F(MaskBuiltin, FilePathMaskOnCommandLinesAndLists) {
  const auto mask = filePathMask();
  EXPECT_EQ(occurrences(t("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"), mask),
            std::vector<std::string>{"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" "});
  EXPECT_EQ(occurrences(t("C:\\windows\\hh.exe,0"), mask), std::vector<std::string>{"C:\\windows\\hh.exe,"});
  EXPECT_EQ(occurrences(t("foo,C:\\a.dll,bar"), mask), std::vector<std::string>{",C:\\a.dll,"});
  EXPECT_EQ(occurrences(t("C:\\a.dll;D:\\b.dll|e:\\c"), mask, 1),
            (std::vector<std::string>{"C:\\a.dll;", ";D:\\b.dll|", std::string("|e:\\c\0", 6)}));
  EXPECT_EQ(occurrences(t("run -C:\\x.dll"), mask), std::vector<std::string>{std::string(" -C:\\x.dll\0", 11)});
  for (const char* none : {"C:\\", "C:\\ x", "C:x", "1:\\x", "xC:\\x", "\"C:\\x"})
    EXPECT_TRUE(occurrences(t(none), mask).empty()) << none;

  // The callback's veto makes the run grow past a blank: how a long file
  // name without quotes is taken whole.
  std::vector<std::string> offered;
  MaskSearch(t("C:\\Program Files\\x.exe"), mask, [&](const MaskOccurrence& o, MaskReply&) {
    offered.emplace_back(o.text());
    return o.text().back() == ' ' ? MaskVerdict::Reject : MaskVerdict::Accept;
  });
  EXPECT_EQ(offered, (std::vector<std::string>{"C:\\Program ", std::string("C:\\Program Files\\x.exe\0", 23)}));
}

TEST_F(MaskBuiltin, QuotedPathAndLongFileNameMasks) {
  EXPECT_EQ(occurrences(t("\"C:\\a b\\x.exe\" /p"), quotedPathMask()), std::vector<std::string>{"\"C:\\a b\\x.exe\" "});
  EXPECT_EQ(occurrences(t("notepad.exe %1"), quotedPathMask()), std::vector<std::string>{"notepad.exe "});

  for (const char* name : {"Files\\x.exe", "Files\\x.exe, more", "a b"})
    EXPECT_TRUE(matches(name, nameContinuationMaskA())) << name;
  EXPECT_FALSE(matches("a:b", nameContinuationMaskA()));
  EXPECT_TRUE(matches("Files\\", nameContinuationMaskB()));
  EXPECT_FALSE(matches("Files", nameContinuationMaskB()));
  EXPECT_FALSE(matches("Fi|les\\", nameContinuationMaskB()));
  EXPECT_TRUE(matches("a.exe;b.exe", quotedListTestMask()));
  EXPECT_FALSE(matches("a.exe", quotedListTestMask()));
  EXPECT_TRUE(matches("name.txt", t("%!/:*?\"<>|")));
  EXPECT_FALSE(matches("c:name.txt", t("%!/:*?\"<>|")));
}

TEST_F(MaskBuiltin, IndirectStringMask) {
  const auto mask = indirectStringMask();
  for (const char* yes : {"@%SystemRoot%\\system32\\shell32.dll,-21787", "@tzres.dll,-39618", "@a.b.dll,5@rest"})
    EXPECT_TRUE(matches(yes, mask)) << yes;
  for (const char* no : {"tzres.dll,-1", "@tzres,-1", "@a.dll,-x", "@a.dll-5"}) EXPECT_FALSE(matches(no, mask)) << no;
}

class MaskCorpus : public MaskFixture {
 protected:
  void SetUp() override {
    if (talmoor::test::corpusDir().empty()) GTEST_SKIP() << "no corpus";
    values_ = stringValues(talmoor::test::readFile(talmoor::test::corpusDir() / "wine-8.0" / "system.reg"));
  }
  std::vector<std::string> values_;
};

// Drive references the verifier must see: "C:\" and a character that can
// start a name.
std::size_t driveReferences(const std::string& value) {
  std::size_t count = 0;
  for (std::size_t at = value.find("C:\\"); at != std::string::npos; at = value.find("C:\\", at + 1))
    if (at + 3 < value.size() && value[at + 3] != ' ' && value[at + 3] != ';') ++count;
  return count;
}

TEST_F(MaskCorpus, FilePathMaskFindsAndRewritesEveryDriveReference) {
  std::size_t examined = 0;
  for (const std::string& value : values_) {
    if (value.find("C:\\") == std::string::npos) continue;
    ++examined;
    std::size_t found = 0;
    std::string output;
    auto toDriveD = [&](const MaskOccurrence& o, MaskReply& reply) {
      std::string text(o.text());
      std::size_t drive = text.find("C:\\");
      if (drive == std::string::npos) return MaskVerdict::Reject;
      text[drive] = 'D';
      ++found;
      reply.replacement = text;
      reply.giveBack = 1;
      return MaskVerdict::Accept;
    };
    MaskSearch(terminated(value), filePathMask(), toDriveD, &output);
    const std::size_t expected = driveReferences(value);
    EXPECT_EQ(found, expected) << value;
    if (expected == 0) continue;
    std::string rewritten = value;
    for (std::size_t at = rewritten.find("C:\\"); at != std::string::npos; at = rewritten.find("C:\\", at))
      rewritten[at] = 'D';
    rewritten.push_back('\0');
    EXPECT_EQ(output, rewritten);
  }
  EXPECT_GT(examined, 700u);

  auto first = [&](const char* value) {
    auto found = occurrences(t(value), filePathMask(), 1);
    return found.empty() ? std::string() : found.front();
  };
  for (const char* value : {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -startmanager",
                            "C:\\windows\\system32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1",
                            "C:\\windows\\system32\\shell32.dll,-33", "C:\\pagefile.sys 27 77"})
    ASSERT_NE(std::find(values_.begin(), values_.end(), value), values_.end()) << value;
  EXPECT_EQ(first("\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -startmanager"),
            "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" ");
  EXPECT_EQ(first("C:\\windows\\system32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 %1"),
            "C:\\windows\\system32\\rundll32.exe ");
  EXPECT_EQ(first("C:\\windows\\system32\\shell32.dll,-33"), "C:\\windows\\system32\\shell32.dll,");
  EXPECT_EQ(first("C:\\pagefile.sys 27 77"), "C:\\pagefile.sys ");
}

TEST_F(MaskCorpus, IndirectStringMaskFindsTheResourceStrings) {
  std::size_t timeZones = 0, indirect = 0;
  for (const std::string& value : values_) {
    if (!matches(value.c_str(), indirectStringMask())) continue;
    ++indirect;
    EXPECT_EQ(value.front(), '@') << value;
    if (value.starts_with("@tzres.dll,-")) ++timeZones;
  }
  EXPECT_EQ(timeZones, 417u);
  EXPECT_EQ(indirect, 417u + 5u);  // and five "@C:\windows\system32\shell32.dll,-N"
}

}  // namespace
}  // namespace talmoor::masks

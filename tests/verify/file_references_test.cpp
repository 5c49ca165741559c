// File references inside registry text: which matches of the path masks are
// references (and which only the first words of a long name with blanks),
// how each is resolved, and what the file actions are handed.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/scripted_interaction.h"
#include "base/masks/builtin_masks.h"
#include "base/masks/mask_engine.h"
#include "verify/file_references.h"
#include "verify/verify_test_support.h"

namespace talmoor::verify {

using namespace talmoor::masks;
namespace {

using masks::MaskOccurrence;
using masks::MaskReply;
using masks::MaskVerdict;
using verifytest::Drives;

class FileReferencesTest : public ::testing::Test {
 protected:
  FileReferencesTest() : installed_(scripted_) {
    files_.file("C:\\Windows\\system32\\notepad.exe");
    files_.file("C:\\Windows\\system32\\shell32.dll");
    files_.file("C:\\Program Files\\App\\app.exe");
  }

  // "reference (found)" of every match of the file-path mask that the
  // decision accepts, as verification sees them.
  std::vector<std::string> accepted(const std::string& text) const {
    std::vector<std::string> out;
    masks::MaskSearch(masks::terminated(text), masks::filePathMask(),
                       [&](const MaskOccurrence& match, MaskReply& reply) {
                         ReferenceCandidate candidate = prepareCandidate(match, files_.view());
                         if (!acceptCandidate(match, candidate, files_.view())) return MaskVerdict::Reject;
                         out.push_back(candidate.text + (candidate.found ? " (found)" : ""));
                         reply.giveBack = 1;
                         return MaskVerdict::Accept;
                       });
    return out;
  }

  // "parameter: path" of every call of the action.
  std::vector<std::string> handed(const std::string& text, std::string_view parameter = "open",
                                  bool* foundReferences = nullptr, bool skipExistence = false) const {
    std::vector<std::string> out;
    bool error = false;
    bool found = processFilesInString(
        text,
        [&](WindowRef, const std::string& path, std::string_view p) {
          out.push_back(std::string(p) + ": " + path);
          return 0;
        },
        error, parameter, 0, skipExistence, files_.view());
    EXPECT_FALSE(error) << text;
    if (foundReferences) *foundReferences = found;
    return out;
  }

  Drives files_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

using Texts = std::vector<std::string>;

TEST_F(FileReferencesTest, KnownExtensionsAndDriveForm) {
  for (const char* name : {"a.exe", "A.EXE", "x.y.Dll", "b.html", "c.htm", "d.icl", "e.oxa", "f.bat", "g.sys",
                           "h.drv", "i.ocx", "j.com"})
    EXPECT_TRUE(hasKnownExtension(name)) << name;
  for (const char* name : {"a.ex", "a.exe2", "a.txt", "exe", "a.dll\\b", "a.", ""})
    EXPECT_FALSE(hasKnownExtension(name)) << name;
  EXPECT_TRUE(hasDriveForm("C:\\x"));
  EXPECT_TRUE(hasDriveForm("z:\\"));
  for (const char* text : {"C:", "C:x", "1:\\x", "\"C:\\x", "\\\\s\\x", ""}) EXPECT_FALSE(hasDriveForm(text)) << text;
}

TEST_F(FileReferencesTest, AnIconIndexAfterAFileIsNotPartOfTheReference) {
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\shell32.dll\\3"), Texts{"C:\\WINDOWS\\system32\\shell32.dll (found)"});
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\shell32.dll\\f"), Texts{"C:\\WINDOWS\\system32\\shell32.dll (found)"});
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\shell32.dll,-21"), Texts{"C:\\WINDOWS\\system32\\shell32.dll (found)"});
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\shell32.dll\\3 /s"), Texts{"C:\\WINDOWS\\system32\\shell32.dll (found)"});
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\shell32.dll\\3;C:\\Windows\\system32\\notepad.exe"),
            (Texts{"C:\\WINDOWS\\system32\\shell32.dll (found)", "C:\\Windows\\system32\\notepad.exe (found)"}));
  // Missing, it is still cut.
  EXPECT_EQ(accepted("C:\\WINDOWS\\system32\\gone.dll\\3"), Texts{"C:\\WINDOWS\\system32\\gone.dll"});
  // A folder whose last component is one hexadecimal digit stays whole when
  // it exists.
  files_.folder("C:\\Data\\b");
  EXPECT_EQ(accepted("C:\\Data\\b"), Texts{"C:\\Data\\b (found)"});
}

TEST_F(FileReferencesTest, MissingReferencesAreTakenWhereTheNameEndsAndGrowPastBlanksOtherwise) {
  // A known extension is enough, whatever follows.
  EXPECT_EQ(accepted("C:\\Data\\gone.dll more words"), Texts{"C:\\Data\\gone.dll"});
  // Without one: at the end of the text...
  EXPECT_EQ(accepted("C:\\Data\\notes.txt"), Texts{"C:\\Data\\notes.txt"});
  EXPECT_EQ(accepted("C:\\Data\\notes"), Texts{"C:\\Data\\notes"});
  // ...before a separator after a three-letter extension...
  EXPECT_EQ(accepted("C:\\Data\\notes.txt, 2"), Texts{"C:\\Data\\notes.txt"});
  EXPECT_EQ(accepted("C:\\Data\\notes.txt;C:\\Data\\more.txt"), (Texts{"C:\\Data\\notes.txt", "C:\\Data\\more.txt"}));
  EXPECT_EQ(accepted("C:\\Data\\notes.txt more"), Texts{"C:\\Data\\notes.txt"});
  // ...or before a blank after which no name goes on.
  EXPECT_EQ(accepted("C:\\Data\\notes.text >nul"), Texts{"C:\\Data\\notes.text"});
  EXPECT_EQ(accepted("C:\\Data\\notes \"quoted\""), Texts{"C:\\Data\\notes"});
  EXPECT_EQ(accepted("C:\\Data\\notes   "), Texts{"C:\\Data\\notes"});
  // Otherwise the match was only the first words of a long name.
  EXPECT_EQ(accepted("C:\\Data\\notes.text more"), Texts{"C:\\Data\\notes.text more"});
  EXPECT_EQ(accepted("C:\\Data\\my notes.txt"), Texts{"C:\\Data\\my notes.txt"});
  EXPECT_EQ(accepted("C:\\Data\\long name\\file.txt"), Texts{"C:\\Data\\long name\\file.txt"});
  // An existing file is a reference where it ends.
  EXPECT_EQ(accepted("C:\\Program Files\\App\\app.exe /x"), Texts{"C:\\Program Files\\App\\app.exe (found)"});
  EXPECT_EQ(accepted("\"C:\\Program Files\\App\\app.exe\" \"%1\""), Texts{"C:\\Program Files\\App\\app.exe (found)"});
}

TEST_F(FileReferencesTest, ReferencesAreHandedWithTheirFullPath) {
  EXPECT_EQ(handed("notepad"), Texts{"open: C:\\Windows\\system32\\notepad.exe"});
  EXPECT_EQ(handed("notepad.exe %1"), Texts{"open: C:\\Windows\\system32\\notepad.exe"});
  EXPECT_EQ(handed("C:\\Program Files\\App\\app.exe -x"), Texts{"open: C:\\Program Files\\App\\app.exe"});
  EXPECT_EQ(handed("\"C:\\Program Files\\App\\app.exe\" -x"), Texts{"open: C:\\Program Files\\App\\app.exe"});
  EXPECT_EQ(handed("C:\\WINDOWS\\system32\\shell32.dll,-21"), Texts{"open: C:\\WINDOWS\\system32\\shell32.dll"});
  // Environment references are expanded first.
  EXPECT_EQ(handed("%SystemRoot%\\system32\\notepad.exe"), Texts{"open: C:\\Windows\\system32\\notepad.exe"});
  EXPECT_EQ(handed("\"%SystemRoot%\\system32\\shell32.dll\",3"), Texts{"open: C:\\Windows\\system32\\shell32.dll"});
  // Every reference of a list.
  EXPECT_EQ(handed("C:\\Windows\\system32\\notepad.exe;C:\\Program Files\\App\\app.exe"),
            (Texts{"open: C:\\Windows\\system32\\notepad.exe", "open: C:\\Program Files\\App\\app.exe"}));
  EXPECT_EQ(handed("notepad.exe shell32.dll"),
            (Texts{"open: C:\\Windows\\system32\\notepad.exe", "open: C:\\Windows\\system32\\shell32.dll"}));
  // A quoted command line, its references one by one.
  EXPECT_EQ(handed("\"C:\\Windows\\system32\\notepad.exe C:\\Program Files\\App\\app.exe /s\""),
            (Texts{"open: C:\\Windows\\system32\\notepad.exe", "open: C:\\Program Files\\App\\app.exe"}));
  EXPECT_TRUE(scripted_->boxLines().empty());
}

TEST_F(FileReferencesTest, OnlyMovingAtRebootTakesAMissingReference) {
  const std::string text = "C:\\Gone\\old.dll gone.dll C:\\Windows\\system32\\notepad.exe";
  EXPECT_EQ(handed(text, "open"), Texts{"open: C:\\Windows\\system32\\notepad.exe"});
  EXPECT_EQ(handed(text, "properties"), Texts{"properties: C:\\Windows\\system32\\notepad.exe"});
  // As written, and only with a drive.
  EXPECT_EQ(handed(text, "reboot move"),
            (Texts{"reboot move: C:\\Gone\\old.dll", "reboot move: C:\\Windows\\system32\\notepad.exe"}));
}

TEST_F(FileReferencesTest, WhereTheMaskFindsNothingTheTokensThatLookLikeFilesAreHanded) {
  // The mask cannot start on a text that begins with a terminator.
  const std::string text = std::string(1, '\0') + " notepad.exe readme.txt gone.exe system32 shell32.dll";
  bool found = true;
  // As written: every token with a known extension...
  EXPECT_EQ(handed(text, "open", &found), (Texts{"open: notepad.exe", "open: gone.exe", "open: shell32.dll"}));
  EXPECT_FALSE(found);
  // ...or every token that the search finds.
  EXPECT_EQ(handed(text, "open", &found, true), (Texts{"open: notepad.exe", "open: system32", "open: shell32.dll"}));
  EXPECT_FALSE(found);
}

TEST_F(FileReferencesTest, ErrorsAndTheMissingAction) {
  bool error = false;
  EXPECT_TRUE(processFilesInString(
      "notepad.exe", [](WindowRef, const std::string&, std::string_view) { return -1; }, error, "open", 0, false,
      files_.view()));
  EXPECT_TRUE(error);

  error = false;
  EXPECT_TRUE(processFilesInString("notepad.exe", FileAction(), error, "open", 0, false, files_.view()));
  EXPECT_EQ(scripted_->boxLines(), Texts{"Application Error: Missing Function Callback"});

  // Nothing to hand over.
  bool found = true;
  EXPECT_EQ(handed("", "open", &found), Texts{});
  EXPECT_FALSE(found);
  EXPECT_EQ(handed(" ,; ", "open", &found), Texts{});
  EXPECT_FALSE(found);
}

}  // namespace
}  // namespace talmoor::verify

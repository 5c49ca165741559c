// Script files as read: headers and encodings, line ends, files read in
// pieces, data forms, entries cut short by the end of the file, what stops
// the reading and what is skipped, and a real export by Wine's regedit.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "scripts/script_test_support.h"
#include "support/corpus.h"
#include "base/workspace.h"

namespace {

using namespace talmoor;
using namespace talmoor::scripts;
using test::bytesOf;
using Bytes = std::vector<BYTE>;
using Lines = std::vector<std::string>;

constexpr HKEY kLocalMachine = 0x80000002u;
const std::string kHead = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n";

class ScriptReaderTest : public test::ScriptFileTest {
 protected:
  ReadResult read(std::string text, bool cutShort = false) {
    text_ = std::move(text);
    visitor_ = {};
    return readScript(text_, visitor_, "test.reg", cutShort);
  }
  std::string text_;
  test::RecordingVisitor visitor_;
};

std::string utf16le(const std::string& ansi) {
  auto bytes = platform::bytesFromUtf16(platform::ansiToWide(ansi));
  return std::string(bytes.begin(), bytes.end());
}

TEST_F(ScriptReaderTest, HeadersEncodingsAndLineEnds) {
  const std::string body = "\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"a\nb\"\r\n\"w\"=dword:1";
  for (std::string header : {"REGEDIT4", "Windows Registry Editor Version 5.00 and more"}) {
    EXPECT_EQ(read(header + body).status, ReadStatus::Completed);
    ASSERT_EQ(visitor_.values.size(), 2u);  // the string goes on over its LF
    EXPECT_EQ(visitor_.values[0].data, bytesOf("a\nb"));
  }
  for (std::string header : {"regedit4", "windows registry editor version 5.00", " REGEDIT4"}) {
    EXPECT_EQ(read(header + body).status, ReadStatus::BadHeader);
    EXPECT_EQ(takeBoxes(), Lines{"Cannot Import, unrecognised file format: The file 'test.reg' does not appear to "
                                 "be a valid registry file."});
  }
  EXPECT_EQ(read("\xFF\xFE").status, ReadStatus::Empty);

  // UTF-16 with its mark, with characters that need surrogate pairs and text
  // long enough to cross any piece boundary.
  std::string text;
  for (int i = 0; i < 200; ++i) text += "\xE2\x82\xAC\xF0\x9F\x98\x80x";
  std::string script = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K\xC3\xBC]\r\n\"s\"=\"" +
                       text + "\"\r\n\"n\"=dword:10\r\n";
  EXPECT_EQ(read("\xFF\xFE" + utf16le(script)).status, ReadStatus::Completed);
  ASSERT_EQ(visitor_.values.size(), 2u);
  EXPECT_EQ(visitor_.values[0].keyPath, "HKEY_LOCAL_MACHINE\\K\xC3\xBC");
  EXPECT_EQ(visitor_.values[0].data, bytesOf(text));
  EXPECT_EQ(read(utf16le(script)).status, ReadStatus::BadHeader);  // without the mark
  EXPECT_EQ(takeBoxes().size(), 1u);
}

// Files written on other systems end their lines in LF or CR alone; each
// reads as the CR LF file does, a string running over lines keeping the line
// ends the file has.
TEST_F(ScriptReaderTest, LinesEndInCrLfLfOrCr) {
  const std::string lines[] = {"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\A]", "\"s\"=\"one", "two\"",
                               "\"b\"=hex:01,\\", "  02", "@=dword:00000003", "[HKEY_LOCAL_MACHINE\\B]", "\"t\"=\"x\""};
  for (std::string end : {"\r\n", "\n", "\r"}) {
    std::string text;
    for (const auto& line : lines) text += line + end;
    for (bool wide : {false, true}) {
      SCOPED_TRACE(testing::Message() << (end == "\r\n" ? "CR LF" : end == "\n" ? "LF" : "CR") << (wide ? " UTF-16" : ""));
      ReadResult result = read(wide ? "\xFF\xFE" + utf16le(text) : text);
      EXPECT_EQ(result.status, ReadStatus::Completed);
      EXPECT_EQ(result.counts.keys, 2u);
      ASSERT_EQ(visitor_.values.size(), 4u);
      EXPECT_EQ(visitor_.values[0].data, bytesOf("one" + end + "two"));
      EXPECT_EQ(visitor_.values[1].data, (Bytes{1, 2}));
      EXPECT_EQ(visitor_.values[2].data, (Bytes{3, 0, 0, 0}));
      EXPECT_EQ(visitor_.values[3].keyPath, "HKEY_LOCAL_MACHINE\\B");
    }
  }
  // Mixed in one file, and an empty line (two ends in a row) still ends a list.
  read("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\r\"b\"=hex:01,\\\r\n\r\n\"c\"=dword:1\n");
  ASSERT_EQ(visitor_.values.size(), 2u);
  EXPECT_EQ(visitor_.values[0].data, Bytes{1});
  EXPECT_TRUE(boxes_->boxes().empty());
}

// A file is read in pieces: a CR LF, a value and a UTF-16 character split
// between two pieces read as they would whole.
TEST_F(ScriptReaderTest, AFileReadsTheSameAcrossItsPieces) {
  test::TempDir dir;
  constexpr std::size_t kPiece = 64 * 1024;
  for (std::size_t shift = 0; shift < 4; ++shift) {
    // The continuation's CR ends the first piece (shifted by a byte or so),
    // its LF begins the next: read apart they would be an empty line, which
    // ends the list.
    std::string head = kHead + "\"pad\"=\"";
    std::string line = "\"b\"=hex:01,\\\r\n  02\r\n";
    std::size_t padding = kPiece - 1 - shift - head.size() - 3 - line.find('\r');
    std::string text = head + std::string(padding, 'p') + "\"\r\n" + line + "\"last\"=dword:00000007\r\n";
    ASSERT_EQ(text[kPiece - 1 - shift], '\r');
    test::writeFile(dir / "split.reg", text);
    visitor_ = {};
    EXPECT_EQ(readScriptFile(dir / "split.reg", visitor_).status, ReadStatus::Completed);
    ASSERT_EQ(visitor_.values.size(), 3u) << shift;
    EXPECT_EQ(visitor_.values[1].data, (Bytes{1, 2})) << shift;
    EXPECT_EQ(visitor_.values[2].data, (Bytes{7, 0, 0, 0})) << shift;
  }
  // UTF-16: characters of two units (and a CR LF) across every boundary.
  std::string text;
  for (int i = 0; i < 40000; ++i) text += (i % 7 == 0) ? "\xF0\x9F\x98\x80" : "\xC3\xA9";
  std::string script = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\W]\r\n\"s\"=\"" + text +
                       "\"\r\n\"t\"=\"" + text + "x\"\r\n";
  test::writeFile(dir / "wide.reg", "\xFF\xFE" + utf16le(script));
  visitor_ = {};
  EXPECT_EQ(readScriptFile(dir / "wide.reg", visitor_).status, ReadStatus::Completed);
  ASSERT_EQ(visitor_.values.size(), 2u);
  EXPECT_EQ(visitor_.values[0].data, bytesOf(text));
  EXPECT_EQ(visitor_.values[1].data, bytesOf(text + "x"));
}

// The last line may lack its line end. Whole, it is read as usual; cut short
// by the end of the file, its entry is not handed over (an import would
// write a truncated value), and the reading says on which line it stopped.
TEST_F(ScriptReaderTest, AnEntryCutShortByTheEndOfTheFileIsNotHandedOver) {
  const std::string head = kHead + "\"before\"=dword:1\r\n";  // lines 1 to 3
  for (std::string whole : {"[HKEY_LOCAL_MACHINE\\B]", "\"v\"=\"text\"", "\"v\"=dword:00000001", "\"v\"=hex:01,02",
                            "\"v\"=hex(2):41,00"}) {
    ReadResult result = read(head + whole);
    EXPECT_EQ(result.status, ReadStatus::Completed) << whole;
    EXPECT_EQ(result.counts.entries, 3u) << whole;
    EXPECT_EQ(result.line, 0u);
  }
  EXPECT_TRUE(takeBoxes().empty());

  const std::string string = "Sorry: Error Processing File, Incomplete value string or file corrupted.";
  const std::string hex = "Sorry: Error Reading File during Conversion of Hex Data";
  const std::string midLine = "Sorry: The file 'test.reg' ends in the middle of line 4.";
  const std::vector<std::pair<std::string, std::string>> cut = {
      {"[HKEY_LOCAL_MACHINE\\B", midLine},
      {"\"v\"=\"te", string},
      {"\"v\"=\"ends in an escaped quote\\\"", string},
      {"\"v\"=hex:01,02,", hex},
      {"\"v\"=hex:01,02,\\", hex},
      {"\"v\"=dwo", midLine},
      {"\"v\"=hex(2", midLine},
  };
  for (const auto& [line, box] : cut) {
    ReadResult result = read(head + line);
    EXPECT_EQ(result.status, ReadStatus::CutShort) << line;
    EXPECT_EQ(result.line, 4u) << line;
    EXPECT_EQ(result.counts.entries, 2u) << line;
    EXPECT_EQ(visitor_.values.size(), 1u) << line;
    EXPECT_EQ(takeBoxes(), Lines{box}) << line;
  }
  // An entry that needs the lines after the last one is cut short too, and
  // is told by the line the file ends on.
  for (std::string open : {"\"v\"=\"first line\r\nsecond line\r\n", "\"v\"=hex:01,\\\r\n  02,\\\r\n"}) {
    ReadResult result = read(head + open);
    EXPECT_EQ(result.status, ReadStatus::CutShort);
    EXPECT_EQ(result.line, 5u);
    EXPECT_EQ(visitor_.values.size(), 1u);
    EXPECT_EQ(takeBoxes().size(), 1u);
  }
  // A read failure cuts the bytes anywhere: a last line without its end is
  // not trusted even when it looks whole.
  ReadResult failed = read(head + "\"v\"=dword:00000001", true);
  EXPECT_EQ(failed.status, ReadStatus::ReadError);
  EXPECT_EQ(visitor_.values.size(), 1u);
}

TEST_F(ScriptReaderTest, KeyLinesNamesAndDataForms) {
  ReadResult result = read(
      "REGEDIT4\r\n"
      "[HKEY_LOCAL_MACHINE\\Software] ; My key\r\n"
      "@=\"default\"\r\n"
      "  \"spaced\" \t=  dword:ff\r\n"
      "\"a\\\"b\\\\c\"=hex(7):61,00,00\r\n"
      "\"req\"=hex(a):\\\r\n"
      "  0a, 0b\r\n"
      "\"three\"=\"one\r\ntwo\r\nthree\"\r\n"
      "[HKLM\\Other]\r\n"
      "\"blank end\"=hex:01,\\\r\n"
      "\r\n"
      "\"after\"=\"x\"\r\n");
  EXPECT_EQ(result.status, ReadStatus::Completed);
  EXPECT_EQ(visitor_.comments, (Lines{"My key", "<none>"}));
  EXPECT_EQ(visitor_.keys[1].root, kLocalMachine);
  const auto& v = visitor_.values;
  ASSERT_EQ(v.size(), 7u);
  EXPECT_TRUE(v[0].unnamed);
  EXPECT_EQ(v[0].keyPath, "HKEY_LOCAL_MACHINE\\Software");
  EXPECT_EQ(v[1].name, "spaced");
  EXPECT_EQ(v[1].data, (Bytes{255, 0, 0, 0}));
  EXPECT_EQ(v[2].name, "a\"b\\c");
  EXPECT_EQ(v[2].type, REG_MULTI_SZ);
  EXPECT_EQ(v[3].type, REG_RESOURCE_REQUIREMENTS_LIST);
  EXPECT_EQ(v[3].data, (Bytes{0x0a, 0x0b}));
  EXPECT_EQ(v[4].data, bytesOf("one\r\ntwo\r\nthree"));
  EXPECT_EQ(v[5].data, Bytes{1});  // an empty line ends the list
  EXPECT_EQ(v[6].name, "after");
  EXPECT_EQ(result.counts.entries, 9u);
  EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(ScriptReaderTest, WhatStopsTheReading) {
  const std::string unknown = "Sorry: Unknown Registry Value Encountered, will not continue processing this file";
  for (std::string line : {"\"v\"=DWORD:ff", "\"v\"=-", "\"v\"=", "\"v\"=Hex:00", "\"v\"=hex(0x2):00"}) {
    ReadResult result = read(kHead + "\"before\"=dword:1\r\n" + line + "\r\n\"after\"=dword:2\r\n");
    EXPECT_EQ(result.status, ReadStatus::UnknownData);
    EXPECT_EQ(result.line, 4u);  // the line that stopped it, told to the user
    EXPECT_EQ(takeBoxes(), Lines{unknown}) << line;
    EXPECT_EQ(visitor_.values.size(), 1u);
  }
  // Lines without "=": a comment, blanks, the deletion form of other editors.
  for (std::string line : {"; a comment", "   ", "-[HKEY_LOCAL_MACHINE\\A]"}) {
    errorLog().clear();
    ReadResult result = read(kHead + line + "\r\n\"after\"=dword:2\r\n");
    EXPECT_EQ(result.status, ReadStatus::InvalidLine);
    EXPECT_EQ(result.line, 3u);
    EXPECT_EQ(logLines(), Lines{"87 Invalid Name or Data |  | Read File - Invalid Value"});
  }
  test::RecordingVisitor stopping;
  stopping.stopAfter = 2;
  ReadResult stopped = readScript(kHead + "\"a\"=dword:1\r\n\"b\"=dword:2\r\n", stopping);
  EXPECT_EQ(stopped.status, ReadStatus::Stopped);
  EXPECT_EQ(stopped.counts.entries, 2u);
  EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(ScriptReaderTest, ValuesWithoutAUsableKeyAreSkipped) {
  ReadResult result = read(
      "REGEDIT4\r\n"
      "\"early\"=hex:01,\\\r\n  02\r\n"
      "@=\"multi\r\nline\"\r\n"
      "[NOT_A_ROOT]\r\n\"bad root\"=dword:1\r\n"
      "[NOT_A_ROOT\\Sub]\r\n\"kept\"=dword:2\r\n");
  EXPECT_EQ(result.status, ReadStatus::Completed);
  EXPECT_EQ(logLines(), (Lines{"87 Unspecified | early | Read File - Invalid Key",
                               "87 Unspecified | (Default Value) | Read File - Invalid Key",
                               "87 NOT_A_ROOT | bad root | Read File - Invalid Key"}));
  // A key below an unknown root is the caller's to refuse.
  ASSERT_EQ(visitor_.values.size(), 1u);
  EXPECT_EQ(visitor_.keys[1].root, 0u);
  EXPECT_EQ(result.counts.entries, 3u);
  EXPECT_EQ(result.counts.refused, 3u);

  // A key name no key can have (over 255 characters): its values are left
  // out without the path reaching the visitor, however long it is.
  const std::string overlong(300, 'K');
  result = read("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\" + overlong + "\\Sub]\r\n\"v\"=\"x\"\r\n"
                "[HKEY_LOCAL_MACHINE\\Fine]\r\n\"w\"=\"y\"\r\n");
  EXPECT_EQ(result.status, ReadStatus::Completed);
  ASSERT_EQ(visitor_.keys.size(), 1u);
  EXPECT_EQ(visitor_.keys[0].path, "HKEY_LOCAL_MACHINE\\Fine");
  ASSERT_EQ(visitor_.values.size(), 1u);
  EXPECT_EQ(result.counts.refused, 1u);
  Lines log = logLines();
  ASSERT_EQ(log.size(), 5u);  // after the three above
  EXPECT_NE(log[3].find("Longer Than 255 Characters"), std::string::npos) << log[3];
  EXPECT_LT(log[3].size(), 400u);
}

TEST_F(ScriptReaderTest, DamagedDataIsReportedAndReadingGoesOn) {
  read(kHead +
       "\"gap\"=hex:01,,02\r\n"
       "\"bad\"=hex:zz,\\\r\n  03,\\\r\n  05\r\n"
       "\"comma\"=hex:07,\r\n"
       "\"good\"=hex:06\r\n");
  EXPECT_EQ(visitor_.values.size(), 4u);
  for (const auto& v : visitor_.values)
    EXPECT_EQ(v.data, v.name == "good" ? Bytes{6} : bytesOf("<Error Importing>")) << v.name;
  EXPECT_EQ(takeBoxes(), (Lines(3, "Sorry: Error Reading Binary Entry")));

  // The bytes end where reading the file failed.
  ReadResult cut = read(kHead + "\"v\"=dword:1\r\n", true);
  EXPECT_EQ(cut.status, ReadStatus::ReadError);
  EXPECT_EQ(cut.counts.values, 1u);
  EXPECT_EQ(cut.line, 3u);
  EXPECT_EQ(takeBoxes(), Lines{"Sorry, load incomplete: Error during File IO"});
}

TEST_F(ScriptReaderTest, FilesThatCannotBeReadAreReportedAndNotCreated) {
  test::TempDir dir;
  auto missing = dir / "missing.reg";
  ReadResult result = readScriptFile(missing, visitor_);
  EXPECT_EQ(result.status, ReadStatus::NotFound);
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_EQ(takeBoxes(), Lines{"Sorry: Cannot open the file '" + missing.string() +
                               "' for reading. The system cannot find the file specified."});
  result = readScriptFile(dir.path(), visitor_);
  EXPECT_EQ(result.status, ReadStatus::CannotOpen);
  EXPECT_EQ(result.error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(takeBoxes().size(), 1u);
}

// Wine's regedit export of HKLM\Software\Microsoft\Windows NT\CurrentVersion
// from the corpus prefix: every entry reads, and every value is the one the
// prefix's system.reg holds (strings as ANSI text; other types, the UTF-16
// lists among them, byte for byte).
TEST_F(ScriptReaderTest, ReadsAWineRegeditExport) {
  TALMOOR_REQUIRE_CORPUS();
  auto wine = test::corpusDir() / "wine-8.0";
  ReadResult result = readScriptFile(wine / "regedit-export-ntcurrentversion.reg", visitor_);
  EXPECT_EQ(result.status, ReadStatus::Completed);
  EXPECT_TRUE(boxes_->boxes().empty());
  EXPECT_EQ(result.counts.keys, 265u);
  EXPECT_EQ(result.counts.values, 2699u);

  std::shared_ptr<platform::Hive> hive;
  ASSERT_EQ(platform::Hive::load(wine / "system.reg", hive), ERROR_SUCCESS);
  std::map<std::string, int> missing;
  for (const auto& value : visitor_.values) {
    SCOPED_TRACE(value.keyPath + " : " + value.name);
    auto key = hive->root();
    std::string rest = value.keyPath.substr(std::string("HKEY_LOCAL_MACHINE\\").size());
    for (std::size_t at = 0, end = 0; key && end != rest.size(); at = end + 1) {
      end = std::min(rest.find('\\', at), rest.size());
      key = key->findSubkey(platform::ansiToWide(rest.substr(at, end - at)));
    }
    if (!key) {  // a volatile key of the running prefix, never saved
      ++missing[value.keyPath];
      continue;
    }
    const platform::RegValue* stored = key->findValue(platform::ansiToWide(value.name));
    ASSERT_TRUE(stored);
    EXPECT_EQ(value.type, stored->type);
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
      // String data arrives in the program's ANSI form, whether quoted or in
      // the version 5.00 files' UTF-16 hex form.
      std::string text = platform::wideToAnsi(platform::utf16FromBytes(stored->data));
      EXPECT_EQ(value.data, bytesOf(text, false));
    } else {
      EXPECT_EQ(value.data, stored->data);
    }
  }
  // Only the network cards Wine lists at run time are not in the file.
  EXPECT_EQ(missing.size(), 4u);
  for (const auto& entry : missing) EXPECT_NE(entry.first.find("\\NetworkCards\\"), std::string::npos);
}

}  // namespace

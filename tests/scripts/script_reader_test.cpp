// Script files as read: headers and encodings, line ends, data forms, what
// stops the reading and what is skipped, and a real export by Wine's regedit.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "scripts/script_test_support.h"
#include "support/corpus.h"

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
    ASSERT_EQ(visitor_.values.size(), 2u);  // a lone LF stays in its line
    EXPECT_EQ(visitor_.values[0].data, bytesOf("a\nb"));
  }
  for (std::string header : {"regedit4", "windows registry editor version 5.00", " REGEDIT4"}) {
    EXPECT_EQ(read(header + body).status, ReadStatus::BadHeader);
    EXPECT_EQ(takeBoxes(), Lines{"Cannot Import, unrecognised file format: The file 'test.reg' does not appear to "
                                 "be a valid registry file."});
  }
  // Line feeds alone: one header line, no entries.
  EXPECT_EQ(read("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n").status, ReadStatus::Completed);
  EXPECT_EQ(visitor_.keys.size() + visitor_.values.size(), 0u);
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
    EXPECT_EQ(read(kHead + "\"before\"=dword:1\r\n" + line + "\r\n\"after\"=dword:2\r\n").status,
              ReadStatus::UnknownData);
    EXPECT_EQ(takeBoxes(), Lines{unknown}) << line;
    EXPECT_EQ(visitor_.values.size(), 1u);
  }
  // Lines without "=": a comment, blanks, the deletion form of other editors.
  for (std::string line : {"; a comment", "   ", "-[HKEY_LOCAL_MACHINE\\A]"}) {
    ErrorLog::instance().clear();
    EXPECT_EQ(read(kHead + line + "\r\n\"after\"=dword:2\r\n").status, ReadStatus::InvalidLine);
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
}

TEST_F(ScriptReaderTest, DamagedDataIsReportedAndReadingGoesOn) {
  read(kHead +
       "\"gap\"=hex:01,,02\r\n"
       "\"bad\"=hex:zz,\\\r\n  03,\\\r\n  05\r\n"
       "\"good\"=hex:06\r\n"
       "\"cut\"=hex:07,\\");
  EXPECT_EQ(visitor_.values.size(), 4u);
  for (const auto& v : visitor_.values)
    EXPECT_EQ(v.data, v.name == "good" ? Bytes{6} : bytesOf("<Error Importing>")) << v.name;
  EXPECT_EQ(takeBoxes(), (Lines{"Sorry: Error Reading Binary Entry", "Sorry: Error Reading Binary Entry",
                                "Sorry: Error Reading File during Conversion of Hex Data"}));

  EXPECT_EQ(read(kHead + "\"s\"=\"open\r\nmore \\\"").status, ReadStatus::Completed);
  EXPECT_EQ(visitor_.values.at(0).data, bytesOf("open\r\nmore \""));
  EXPECT_EQ(takeBoxes(), Lines{"Sorry: Error Processing File, Incomplete value string or file corrupted."});

  // The bytes end where reading the file failed.
  ReadResult cut = read(kHead + "\"v\"=dword:1\r\n", true);
  EXPECT_EQ(cut.status, ReadStatus::ReadError);
  EXPECT_EQ(cut.counts.values, 1u);
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

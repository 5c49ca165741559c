// Script files as written: value lines, the hex wrapping, the header once,
// appending and a fresh start, failures; and every value reads back unchanged.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "scripts/script_test_support.h"
#include "scripts/script_text.h"
#include "scripts/script_writer.h"
#include "support/corpus.h"

namespace {

using namespace talmoor;
using namespace talmoor::scripts;
using test::bytesOf;
using test::readFile;
using Bytes = std::vector<BYTE>;

class ScriptWriterTest : public test::ScriptFileTest {
 protected:
  void exportOne(const std::filesystem::path& file, bool fresh, const std::string& name) {
    ScriptWriter writer;
    ASSERT_TRUE(writer.open(file, fresh));
    writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");
    writer.writeValueLine(name, REG_SZ, bytesOf("v"));
    EXPECT_TRUE(writer.close());
  }
  test::TempDir dir_;
};

TEST(ScriptValueLine, Forms) {
  EXPECT_EQ(formatValueLine("a\"b\\c", REG_SZ, bytesOf("x\ny")), "\"a\\\"b\\\\c\"=\"x\\ny\"\r\n");
  EXPECT_EQ(formatValueLine("", REG_SZ, bytesOf("x")), "@=\"x\"\r\n");
  EXPECT_EQ(formatValueLine("n", REG_DWORD, Bytes{0xff, 0, 0, 0}), "\"n\"=dword:000000ff\r\n");
  EXPECT_EQ(formatValueLine("q", REG_QWORD, Bytes{1, 0}), "\"q\"=hex(b):01,00\r\n");
  EXPECT_EQ(formatValueLine("e", REG_EXPAND_SZ, bytesOf("%")), "\"e\"=hex(2):25,00\r\n");
  // Strings that text would not give back byte for byte, and numbers of
  // another length than 4, keep every byte in the hex form.
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{0}), "\"s\"=hex(1):00\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{'a', 0, 'b', 0}), "\"s\"=hex(1):61,00,62,00\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{'a', 'b'}), "\"s\"=hex(1):61,62\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{'a', 5, 0}), "\"s\"=hex(1):61,05,00\r\n");
  EXPECT_EQ(formatValueLine("n", REG_DWORD, Bytes{1, 2, 3}), "\"n\"=hex(4):01,02,03\r\n");
}

TEST(ScriptValueLine, LongListsWrapAtTheSettledColumns) {
  Bytes data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i);
  std::string text = formatValueLine("A", REG_BINARY, data);
  std::vector<std::size_t> lengths;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lengths.push_back(end - at);
  // Start column 4 + 3 + 3 = 10: 23 bytes, then 25 a line: 23 + 11 * 25 + 2.
  std::vector<std::size_t> expected{8 + 23 * 3 + 1};
  expected.insert(expected.end(), 11, 2 + 25 * 3 + 1);
  expected.push_back(2 + 2 * 3 - 1);
  EXPECT_EQ(lengths, expected);
  EXPECT_EQ(text.substr(74, 10), "16,\\\r\n  17");
  EXPECT_EQ(text.substr(text.size() - 9), "  2a,2b\r\n");
  // The prefix and the name move the first wrap: 7 + 12 + 3 = 22, 19 bytes.
  EXPECT_EQ(formatValueLine("LongerName", REG_EXPAND_SZ, data).find("\r\n"), 20 + 19 * 3 + 1u);
  // A list that fills its line exactly ends there, without a continuation.
  std::string exact = formatValueLine("A", REG_BINARY, Bytes(23, 0x11));
  EXPECT_EQ(exact.size(), 8 + 23 * 3 - 1 + 2u);
  EXPECT_EQ(exact.find('\\'), std::string::npos);
}

TEST_F(ScriptWriterTest, HeaderOnceAppendingAndAFreshStart) {
  auto file = dir_ / "out.reg";
  exportOne(file, false, "one");
  exportOne(file, false, "two");  // appended, no second header, key line again
  EXPECT_EQ(readFile(file),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"one\"=\"v\"\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"two\"=\"v\"\r\n");
  exportOne(file, true, "three");
  EXPECT_EQ(readFile(file), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"three\"=\"v\"\r\n");

  ScriptWriter writer;
  ASSERT_TRUE(writer.open(file, true));
  writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");
  writer.writeValueLine("", REG_DWORD, Bytes{1, 0, 0, 0});
  writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");  // shares the key line
  writer.writeFavouriteKeyLine("HKEY_LOCAL_MACHINE\\Software", "My key");
  writer.writeFavouriteKeyLine("HKEY_LOCAL_MACHINE\\Software", "Other", "second");
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(readFile(file),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n@=dword:00000001\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software] ; My key\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software] ; Other, second\r\n");
  EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(ScriptWriterTest, FailuresAreReported) {
  ScriptWriter writer;
  auto missing = dir_ / "no such folder" / "out.reg";
  EXPECT_FALSE(writer.open(missing, false));
  EXPECT_EQ(writer.error(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(takeBoxes(), std::vector<std::string>{"File not written: Cannot open the file '" + missing.string() +
                                                  "' for writing. The system cannot find the path specified."});
  // A folder in the way is not deleted for a fresh start.
  EXPECT_FALSE(writer.open(dir_.path(), true));
  EXPECT_EQ(writer.error(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path()));
  EXPECT_EQ(takeBoxes().size(), 1u);

  // A pipe has no end to seek to: nothing is written to it.
  auto fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_FALSE(writer.open(fifo, false));
  EXPECT_EQ(takeBoxes(), std::vector<std::string>{"File not written: Cannot use this file. Since the seek operation "
                                                  "failed on this file continuing would be unsafe. Action cancelled."});
  char byte;
  EXPECT_LE(::read(readEnd, &byte, 1), 0);
  ::close(readEnd);

  if (!std::filesystem::exists("/dev/full")) return;
  // A key line too long for the buffer fails at once; buffered value lines
  // fail at close. Each failure is shown once.
  ASSERT_TRUE(writer.open("/dev/full", false));
  EXPECT_FALSE(writer.writeKeyLine(std::string(200000, 'k')));
  EXPECT_FALSE(writer.close());
  EXPECT_EQ(writer.error(), ERROR_DISK_FULL);
  EXPECT_EQ(takeBoxes(), std::vector<std::string>{"Aborting: Error during Save Operation"});
  ASSERT_TRUE(writer.open("/dev/full", false));
  EXPECT_TRUE(writer.writeValueLine("x", REG_SZ, bytesOf("y")));
  EXPECT_FALSE(writer.close());
  EXPECT_EQ(takeBoxes(),
            std::vector<std::string>{"Aborting: Cannot write the file '/dev/full'. There is not enough space on the disk."});
}

TEST_F(ScriptWriterTest, WhatIsWrittenReadsBackUnchanged) {
  struct Value {
    std::string name;
    DWORD type;
    Bytes data;
  };
  Bytes ramp(300);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<BYTE>(i * 7);
  const std::vector<Value> written = {
      {"a\"b\\c", REG_SZ, bytesOf("C:\\ends in a backslash\\")},
      {"", REG_SZ, bytesOf("unnamed")},
      {"@", REG_SZ, bytesOf("a value named @")},
      {"empty", REG_SZ, {0}},
      {"lines", REG_SZ, bytesOf("one\ntwo\r\n\"three\"")},
      {"embedded 0", REG_SZ, {'a', 0, 'b', 0}},
      {"unterminated", REG_SZ, bytesOf("abc", false)},
      {"utf-8", REG_SZ, bytesOf("\t\xE2\x82\xAC \xF0\x9F\x98\x80")},
      {"number", REG_DWORD, {0xff, 0, 0, 0}},
      {"3-byte number", REG_DWORD, {1, 2, 3}},
      {"binary 300", REG_BINARY, ramp},
      {"binary 23", REG_BINARY, Bytes(23, 0xee)},
      {"name=with=equals", REG_SZ, bytesOf("x=y")},
      {" name\r\nwith breaks ", REG_NONE, {}},
  };
  auto file = dir_ / "round.reg";
  ScriptWriter writer;
  ASSERT_TRUE(writer.open(file, false));
  writer.writeKeyLine("HKEY_CURRENT_USER\\Round\\Trip");
  for (const auto& v : written) writer.writeValueLine(v.name, v.type, v.data);
  ASSERT_TRUE(writer.close());

  test::RecordingVisitor visitor;
  EXPECT_EQ(readScriptFile(file, visitor).status, ReadStatus::Completed);
  EXPECT_TRUE(boxes_->boxes().empty());
  ASSERT_EQ(visitor.values.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE(written[i].name);
    EXPECT_EQ(visitor.values[i].name, written[i].name);
    EXPECT_EQ(visitor.values[i].unnamed, written[i].name.empty());
    EXPECT_EQ(visitor.values[i].type, written[i].type);
    EXPECT_EQ(visitor.values[i].data, written[i].data);
  }
}

}  // namespace

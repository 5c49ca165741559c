// Script files as written: value lines, the hex wrapping, the header once,
// appending and a fresh start, a file replaced only by a whole script, what
// is not a file, refusals, names the format cannot carry; the UTF-16 form,
// appended to only in its own encoding; and every value reads back unchanged
// from either form.

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

// Text as UTF-16LE bytes, as the tests spell out what a Version 5.00 file holds.
std::string utf16(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xff);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

class ScriptWriterTest : public test::ScriptFileTest {
 protected:
  // One key and one value written to the file.
  ScriptFileOutcome exportOne(const std::filesystem::path& file, bool fresh, const std::string& name,
                              ScriptFormat format = ScriptFormat::Regedit4) {
    return writeScriptFile(file, fresh, format, [&](ScriptWriter& writer) {
      writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");
      writer.writeValueLine(name, REG_SZ, bytesOf("v"));
      return true;
    });
  }
  std::vector<std::string> entryNames(const std::filesystem::path& file, ReadStatus& status) {
    test::RecordingVisitor visitor;
    status = readScriptFile(file, visitor).status;
    std::vector<std::string> names;
    for (const auto& key : visitor.keys) names.push_back("[" + std::string(key.path) + "]");
    for (const auto& value : visitor.values) names.push_back(value.name);
    return names;
  }
  test::TempDir dir_;
};

const std::string kOneOnce = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"one\"=\"v\"\r\n";

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

// The UTF-16 form differs only where string data goes in the hex form: its
// bytes are the string's UTF-16LE ones, terminators included.
TEST(ScriptValueLine, Regedit5WritesStringDataAsUtf16) {
  const auto v5 = ScriptFormat::Regedit5;
  EXPECT_EQ(formatValueLine("a\"b", REG_SZ, bytesOf("x\ny"), v5), "\"a\\\"b\"=\"x\\ny\"\r\n");
  EXPECT_EQ(formatValueLine("e", REG_EXPAND_SZ, bytesOf("%\xC3\xA9"), v5), "\"e\"=hex(2):25,00,e9,00,00,00\r\n");
  EXPECT_EQ(formatValueLine("m", REG_MULTI_SZ, Bytes{'a', 0, 'b', 0, 0}, v5),
            "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n");
  // A character beyond the first plane is a surrogate pair.
  EXPECT_EQ(formatValueLine("p", REG_EXPAND_SZ, bytesOf("\xF0\x9F\x98\x80"), v5),
            "\"p\"=hex(2):3d,d8,00,de,00,00\r\n");
  // Strings that text would not give back keep every character in hex(1).
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{0}, v5), "\"s\"=hex(1):00,00\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{}, v5), "\"s\"=hex(1):\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{'a', 'b'}, v5), "\"s\"=hex(1):61,00,62,00\r\n");
  EXPECT_EQ(formatValueLine("s", REG_SZ, Bytes{'a', 5, 0}, v5), "\"s\"=hex(1):61,00,05,00,00,00\r\n");
  // Numbers and binary data are as in REGEDIT4.
  for (const auto& [type, data] : std::vector<std::pair<DWORD, Bytes>>{
           {REG_DWORD, {0xff, 0, 0, 0}}, {REG_DWORD, {1, 2, 3}}, {REG_BINARY, {0xc3, 0xa9}}, {REG_QWORD, {1, 0}},
           {REG_NONE, {'a', 0}}, {6 /* a link's target */, {'\\', 0}}})
    EXPECT_EQ(formatValueLine("n", type, data, v5), formatValueLine("n", type, data)) << type;
  // The first line's wrap counts the name in UTF-16 units, as the file holds
  // it: "\xC3\xA9\xC3\xA9" is 2 of them (4 bytes), so the start column is
  // 4 + 4 + 3 = 11 and 23 bytes fit (counted in bytes, 13 and 22). The line
  // holds '"', the name's 4 bytes, '"=hex:', 23 bytes and ",\".
  std::string wrapped = formatValueLine("\xC3\xA9\xC3\xA9", REG_BINARY, Bytes(40, 0x11), v5);
  EXPECT_EQ(wrapped.find("\r\n"), 11 + 23 * 3 + 1u);
  EXPECT_EQ(formatValueLine("\xC3\xA9\xC3\xA9", REG_BINARY, Bytes(40, 0x11)).find("\r\n"), 11 + 22 * 3 + 1u);
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
  EXPECT_TRUE(exportOne(file, false, "one").written);
  EXPECT_TRUE(exportOne(file, false, "two").written);  // appended, no second header, key line again
  EXPECT_EQ(readFile(file), kOneOnce + "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"two\"=\"v\"\r\n");
  EXPECT_TRUE(exportOne(file, true, "three").written);
  EXPECT_EQ(readFile(file), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"three\"=\"v\"\r\n");

  ScriptFileOutcome outcome = writeScriptFile(file, true, [](ScriptWriter& writer) {
    writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");
    writer.writeValueLine("", REG_DWORD, Bytes{1, 0, 0, 0});
    writer.writeKeyLine("HKEY_LOCAL_MACHINE\\A");  // shares the key line
    writer.writeFavouriteKeyLine("HKEY_LOCAL_MACHINE\\Software", "My key");
    writer.writeFavouriteKeyLine("HKEY_LOCAL_MACHINE\\Software", "Other", "second");
    return true;
  });
  EXPECT_TRUE(outcome.written);
  EXPECT_EQ(outcome.error, 0);
  EXPECT_EQ(readFile(file),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n@=dword:00000001\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software] ; My key\r\n"
            "\r\n[HKEY_LOCAL_MACHINE\\Software] ; Other, second\r\n");
  EXPECT_TRUE(boxes_->boxes().empty());
}

// A Version 5.00 file is UTF-16LE from its byte-order mark to its end, CR LF
// included; it is appended to as one, and a file of the other encoding is
// never appended to.
TEST_F(ScriptWriterTest, Regedit5IsOneUtf16FileAndAppendsOnlyToOne) {
  namespace fs = std::filesystem;
  const std::string one = utf16(u"\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"one\"=\"v\"\r\n");
  const std::string header = "\xFF\xFE" + utf16(u"Windows Registry Editor Version 5.00\r\n");
  auto file = dir_ / "wide.reg";
  ASSERT_TRUE(exportOne(file, false, "one", ScriptFormat::Regedit5).written);
  EXPECT_EQ(readFile(file), header + one);
  ASSERT_TRUE(exportOne(file, false, "two", ScriptFormat::Regedit5).written);
  const std::string both = header + one + utf16(u"\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"two\"=\"v\"\r\n");
  EXPECT_EQ(readFile(file), both);
  // Characters of any plane, in key lines, names and strings.
  ASSERT_TRUE(writeScriptFile(file, true, ScriptFormat::Regedit5, [](ScriptWriter& writer) {
                writer.writeKeyLine("HKEY_CURRENT_USER\\Clé \xE2\x82\xAC");
                writer.writeValueLine("\xF0\x9F\x98\x80", REG_SZ, bytesOf("\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87"));
                return true;
              }).written);
  EXPECT_EQ(readFile(file), header + utf16(u"\r\n[HKEY_CURRENT_USER\\Cl\u00e9 \u20ac]\r\n\"\U0001F600\"=\"\u043a\u043b\u044e\u0447\"\r\n"));
  EXPECT_TRUE(boxes_->boxes().empty());

  // Either encoding after the other would leave a file no reader takes
  // whole: refused, and the file is as it was, with nothing left beside it.
  auto ansi = dir_ / "ansi.reg";
  ASSERT_TRUE(exportOne(ansi, false, "one").written);
  ASSERT_TRUE(exportOne(file, true, "one", ScriptFormat::Regedit5).written);
  struct Case {
    fs::path file;
    ScriptFormat format;
    std::string before;
    std::string why;
  };
  for (const Case& c : {Case{file, ScriptFormat::Regedit4, header + one, "it is UTF-16 text and this export is ANSI"},
                        Case{ansi, ScriptFormat::Regedit5, kOneOnce, "it is ANSI text and this export is UTF-16"},
                        Case{dir_ / "odd.reg", ScriptFormat::Regedit5, header + one + "x",
                             "its UTF-16 text ends in the middle of a character"}}) {
    SCOPED_TRACE(c.file.filename().string());
    test::writeFile(c.file, c.before);
    ScriptFileOutcome outcome = exportOne(c.file, false, "two", c.format);
    EXPECT_FALSE(outcome.written);
    EXPECT_NE(outcome.error, 0);
    auto shown = takeBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("File not written: Cannot append to the file '" + c.file.string() + "': " + c.why, 0), 0u)
        << shown[0];
    EXPECT_EQ(readFile(c.file), c.before);
    // Replacing it is another matter.
    EXPECT_TRUE(exportOne(c.file, true, "one", c.format).written);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 3);

  // An empty text saved as UTF-16 is its byte-order mark alone: the header follows it.
  test::writeFile(file, "\xFF\xFE");
  ASSERT_TRUE(exportOne(file, false, "one", ScriptFormat::Regedit5).written);
  EXPECT_EQ(readFile(file), header + one);

  // What reads a pipe gets the whole file, byte-order mark and header first.
  auto fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  EXPECT_TRUE(exportOne(fifo, false, "one", ScriptFormat::Regedit5).written);
  std::string got(4096, '\0');
  ssize_t n = ::read(readEnd, got.data(), got.size());
  ::close(readEnd);
  got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(got, header + one);
  EXPECT_TRUE(boxes_->boxes().empty());
}

// The old file stays as it was until the new one is whole: a writing given
// up halfway (a key that is not there, a Stop) leaves it, fresh or appending,
// and no file is left beside it.
TEST_F(ScriptWriterTest, AFileIsReplacedOnlyByAWholeScript) {
  auto file = dir_ / "out.reg";
  ASSERT_TRUE(exportOne(file, false, "one").written);
  for (bool fresh : {true, false}) {
    ScriptFileOutcome outcome = writeScriptFile(file, fresh, [](ScriptWriter& writer) {
      writer.writeKeyLine("HKEY_LOCAL_MACHINE\\Half");
      writer.writeValueLine("x", REG_SZ, bytesOf("y"));
      return false;
    });
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(readFile(file), kOneOnce) << fresh;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
  // A file that did not exist is not made.
  EXPECT_FALSE(writeScriptFile(dir_ / "new.reg", true, [](ScriptWriter&) { return false; }).written);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "new.reg"));
  EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(ScriptWriterTest, WhatIsNotAFileIsWrittenThroughAndLinksAreFollowed) {
  namespace fs = std::filesystem;
  // A link: the file it names gets the script; the link stays a link.
  auto real = dir_ / "real.reg";
  auto link = dir_ / "link.reg";
  ASSERT_TRUE(exportOne(real, false, "one").written);
  fs::create_symlink("real.reg", link);
  ASSERT_TRUE(exportOne(link, false, "two").written);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readFile(real), kOneOnce + "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"two\"=\"v\"\r\n");
  // A link to a file not there yet makes that file.
  fs::create_symlink("later.reg", dir_ / "dangling.reg");
  ASSERT_TRUE(exportOne(dir_ / "dangling.reg", true, "one").written);
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.reg"));
  EXPECT_EQ(readFile(dir_ / "later.reg"), kOneOnce);

  // A pipe is written to, never replaced; its reader gets a whole script,
  // header included, even when the export appends.
  auto fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  EXPECT_TRUE(exportOne(fifo, false, "one").written);
  std::string got(4096, '\0');
  ssize_t n = ::read(readEnd, got.data(), got.size());
  ::close(readEnd);
  got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(got, kOneOnce);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(boxes_->boxes().empty());

  if (!fs::exists("/dev/full")) return;
  // A device is written to, not replaced: its failures are reported, once each.
  ScriptFileOutcome outcome = writeScriptFile("/dev/full", true, [](ScriptWriter& writer) {
    EXPECT_FALSE(writer.writeKeyLine(std::string(200000, 'k')));  // too long for the buffer: fails at once
    return true;
  });
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.error, ERROR_DISK_FULL);
  EXPECT_EQ(takeBoxes(), std::vector<std::string>{"Aborting: Error during Save Operation"});
  EXPECT_FALSE(exportOne("/dev/full", false, "x").written);  // buffered: fails at the end
  EXPECT_EQ(takeBoxes(),
            std::vector<std::string>{"Aborting: Cannot write the file '/dev/full'. There is not enough space on the disk."});
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(ScriptWriterTest, FilesThatCannotBeWrittenAreRefusedAndKept) {
  namespace fs = std::filesystem;
  auto missing = dir_ / "no such folder" / "out.reg";
  ScriptFileOutcome outcome = exportOne(missing, false, "x");
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.error, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(takeBoxes(), std::vector<std::string>{"File not written: Cannot open the file '" + missing.string() +
                                                  "' for writing. The system cannot find the path specified."});
  // A folder in the way is not deleted for a fresh start.
  outcome = exportOne(dir_.path(), true, "x");
  EXPECT_FALSE(outcome.written);
  EXPECT_EQ(outcome.error, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(dir_.path()));
  EXPECT_EQ(takeBoxes().size(), 1u);

  // A read-only file is neither deleted nor written over, fresh or not.
  auto file = dir_ / "read-only.reg";
  ASSERT_TRUE(exportOne(file, false, "one").written);
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  for (bool fresh : {true, false}) {
    outcome = exportOne(file, fresh, "two");
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error, ERROR_ACCESS_DENIED);
    auto boxes = takeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Cannot open the file '" + file.string() + "' for writing."), std::string::npos);
    EXPECT_NE(boxes[0].find("read-only"), std::string::npos) << boxes[0];
    EXPECT_EQ(readFile(file), kOneOnce);
  }
}

// Wine's regedit cuts a name at its NUL (so "\0x" would come back as the
// unnamed value): such values and keys are left out, named in comments at
// the end, and nothing else is written in their place.
TEST_F(ScriptWriterTest, NamesHoldingANulAreLeftOutAndNamed) {
  using namespace std::string_literals;
  auto file = dir_ / "nul.reg";
  ScriptFileOutcome outcome = writeScriptFile(file, true, [](ScriptWriter& writer) {
    writer.writeKeyLine("HKEY_CURRENT_USER\\K");
    EXPECT_TRUE(writer.writeValueLine("before", REG_SZ, bytesOf("1")));
    EXPECT_FALSE(writer.writeValueLine("\0lead"s, REG_SZ, bytesOf("2")));
    EXPECT_FALSE(writer.writeValueLine("a\0b"s, REG_DWORD, Bytes{1, 0, 0, 0}));
    EXPECT_TRUE(writer.writeValueLine("after", REG_SZ, bytesOf("3")));
    // A key with a NUL in its name, and everything below it.
    EXPECT_FALSE(writer.writeKeyLine("HKEY_CURRENT_USER\\K\\k\0ey"s));
    EXPECT_FALSE(writer.writeValueLine("inside", REG_SZ, bytesOf("4")));
    EXPECT_FALSE(writer.writeKeyLine("HKEY_CURRENT_USER\\K\\k\0ey\\Sub"s));
    EXPECT_FALSE(writer.writeValueLine("deeper", REG_SZ, bytesOf("5")));
    EXPECT_TRUE(writer.writeKeyLine("HKEY_CURRENT_USER\\K\\k"));
    EXPECT_TRUE(writer.writeValueLine("plain k", REG_SZ, bytesOf("6")));
    EXPECT_EQ(writer.skipped(), 3u);
    return true;
  });
  EXPECT_TRUE(outcome.written);
  EXPECT_EQ(outcome.skipped, 3u);
  EXPECT_EQ(readFile(file),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"before\"=\"1\"\r\n\"after\"=\"3\"\r\n"
            "\r\n[HKEY_CURRENT_USER\\K\\k]\r\n\"plain k\"=\"6\"\r\n\r\n"
            "; Not exported: the value \"\\0lead\" of [HKEY_CURRENT_USER\\K], since its name holds a NUL, which a "
            "registry script cannot carry.\r\n"
            "; Not exported: the value \"a\\0b\" of [HKEY_CURRENT_USER\\K], since its name holds a NUL, which a "
            "registry script cannot carry.\r\n"
            "; Not exported: the key [HKEY_CURRENT_USER\\K\\k\\0ey] and everything below it, since its name holds a "
            "NUL, which a registry script cannot carry.\r\n");
  // Every entry reads back as the one it was; the comments then stop the
  // reading, so an import says that something is missing.
  ReadStatus status;
  EXPECT_EQ(entryNames(file, status), (std::vector<std::string>{"[HKEY_CURRENT_USER\\K]", "[HKEY_CURRENT_USER\\K\\k]",
                                                                "before", "after", "plain k"}));
  EXPECT_EQ(status, ReadStatus::InvalidLine);
}

TEST_F(ScriptWriterTest, WhatIsWrittenReadsBackUnchangedFromEitherForm) {
  struct Value {
    std::string name;
    DWORD type;
    Bytes data;
  };
  Bytes ramp(300);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<BYTE>(i * 7);
  // Larger than the pieces a file is read in.
  Bytes large(200000);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<BYTE>(i * 13 + i / 256);
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
      {"binary 200000", REG_BINARY, large},
      {"long text", REG_SZ, bytesOf(std::string(150000, 'x') + "\"")},
      {"name=with=equals", REG_SZ, bytesOf("x=y")},
      {" name\r\nwith breaks ", REG_NONE, {}},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", REG_SZ, bytesOf("\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 \xE2\x82\xAC")},
      {"expand", REG_EXPAND_SZ, bytesOf("%SystemRoot%\\\xC3\xA9\xF0\x9F\x98\x80")},
      {"multi", REG_MULTI_SZ, {'a', 0, 0xC3, 0xA9, 0, 0}},
      {"expand unterminated", REG_EXPAND_SZ, bytesOf("%x%", false)},
      {"multi empty", REG_MULTI_SZ, {}},
      {"long expand", REG_EXPAND_SZ, bytesOf(std::string(500, 'p') + "\xE2\x82\xAC")},
  };
  for (ScriptFormat format : {ScriptFormat::Regedit4, ScriptFormat::Regedit5}) {
    SCOPED_TRACE(format == ScriptFormat::Regedit4 ? "REGEDIT4" : "Version 5.00");
    auto file = dir_ / "round.reg";
    ASSERT_TRUE(writeScriptFile(file, true, format, [&](ScriptWriter& writer) {
                  writer.writeKeyLine("HKEY_CURRENT_USER\\Round\\Trip \xE2\x82\xAC");
                  for (const auto& v : written) writer.writeValueLine(v.name, v.type, v.data);
                  return true;
                }).written);

    test::RecordingVisitor visitor;
    EXPECT_EQ(readScriptFile(file, visitor).status, ReadStatus::Completed);
    EXPECT_TRUE(boxes_->boxes().empty());
    ASSERT_EQ(visitor.keys.size(), 1u);
    EXPECT_EQ(visitor.keys[0].path, "HKEY_CURRENT_USER\\Round\\Trip \xE2\x82\xAC");
    ASSERT_EQ(visitor.values.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
      SCOPED_TRACE(written[i].name);
      EXPECT_EQ(visitor.values[i].name, written[i].name);
      EXPECT_EQ(visitor.values[i].unnamed, written[i].name.empty());
      EXPECT_EQ(visitor.values[i].type, written[i].type);
      EXPECT_EQ(visitor.values[i].data, written[i].data);
    }
  }
}

}  // namespace

#include "platform/registry/wine_text_format.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "support/corpus.h"

namespace talmoor::platform {
namespace {

constexpr std::string_view kHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";

std::vector<BYTE> utf16(std::u16string_view text, bool terminate = true) {
  std::vector<BYTE> out;
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

std::shared_ptr<KeyNode> addKey(const std::shared_ptr<KeyNode>& parent, std::u16string name) {
  auto key = std::make_shared<KeyNode>(std::move(name));
  parent->addSubkey(key);
  return key;
}

// Walks a backslash-separated path from the root; null when a key is missing.
std::shared_ptr<KeyNode> findKey(const WineHiveText& hive, std::u16string_view path) {
  std::shared_ptr<KeyNode> key = hive.root;
  while (key && !path.empty()) {
    std::size_t cut = path.find(u'\\');
    key = key->findSubkey(path.substr(0, cut));
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
  }
  return key;
}

WineHiveText parse(std::string_view text) { return parseWineRegistry(text, "test.reg"); }

void expectSameTree(const KeyNode& a, const KeyNode& b) {
  SCOPED_TRACE(wideToAnsi(a.name()));
  EXPECT_EQ(a.name(), b.name());
  EXPECT_EQ(a.lastWrite, b.lastWrite);
  EXPECT_EQ(a.className, b.className);
  EXPECT_EQ(a.isLink, b.isLink);
  ASSERT_EQ(a.values().size(), b.values().size());
  for (std::size_t i = 0; i < a.values().size(); ++i) {
    EXPECT_EQ(a.values()[i].name, b.values()[i].name);
    EXPECT_EQ(a.values()[i].type, b.values()[i].type);
    EXPECT_EQ(a.values()[i].data, b.values()[i].data);
  }
  ASSERT_EQ(a.subkeys().size(), b.subkeys().size());
  for (std::size_t i = 0; i < a.subkeys().size(); ++i) expectSameTree(*a.subkeys()[i], *b.subkeys()[i]);
}

// Parsing either refuses the text cleanly or yields a tree whose text is a
// fixed point of serialize -> parse -> serialize.
void expectRefusedOrStable(std::string_view text) {
  std::string first;
  try {
    first = serializeWineRegistry(parse(text));
  } catch (const HiveFormatError&) {
    return;
  }
  EXPECT_EQ(serializeWineRegistry(parse(first)), first);
}

// ---------------------------------------------------------------------------

TEST(WineTextCorpus, EveryFileRoundTripsByteForByte) {
  TALMOOR_REQUIRE_CORPUS();
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    SCOPED_TRACE(name);
    std::string text = test::readFile(test::corpusDir() / "wine-8.0" / name);
    std::string written = serializeWineRegistry(parseWineRegistry(text, name));
    ASSERT_EQ(written.size(), text.size());
    EXPECT_TRUE(written == text);
  }
}

TEST(WineTextCorpus, ReadsKeysValuesAndTimes) {
  TALMOOR_REQUIRE_CORPUS();
  std::string text = test::readFile(test::corpusDir() / "wine-8.0" / "system.reg");
  WineHiveText hive = parseWineRegistry(text, "system.reg");
  EXPECT_EQ(hive.relativeTo, u"REGISTRY\\Machine");
  EXPECT_EQ(hive.arch, "win64");

  std::size_t explicitKeys = 0;
  auto count = [&](auto& self, const KeyNode& key) -> void {
    explicitKeys += key.explicitLine;
    for (const auto& child : key.subkeys()) self(self, *child);
  };
  count(count, *hive.root);
  EXPECT_EQ(explicitKeys, 8732u);

  auto first = findKey(hive, u"Software\\Borland\\Database Engine\\Settings\\SYSTEM\\INIT");
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->explicitLine);
  EXPECT_EQ(first->lastWrite, 0x1dd859c886997a2u);
  // "Software" was first named by that line, and has no line of its own.
  auto software = findKey(hive, u"Software");
  ASSERT_TRUE(software);
  EXPECT_FALSE(software->explicitLine);
  EXPECT_EQ(software->lastWrite, 0x1dd859c886997a2u);

  auto link = findKey(hive, u"Software\\Classes\\Wow6432Node\\AppId");
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->isLink);
  const RegValue* target = link->findValue(u"SymbolicLinkValue");
  ASSERT_TRUE(target);
  EXPECT_EQ(target->type, REG_LINK);
  EXPECT_EQ(target->data, utf16(u"\\Registry\\Machine\\Software\\Classes\\AppId", false));

  auto lsa = findKey(hive, u"System\\CurrentControlSet\\Control\\Lsa");
  ASSERT_TRUE(lsa);
  const RegValue* packages = lsa->findValue(u"Security Packages");
  ASSERT_TRUE(packages);
  EXPECT_EQ(packages->type, REG_MULTI_SZ);
  EXPECT_EQ(packages->data, utf16(std::u16string(u"kerberos\0schannel\0", 18)));

  auto monitor =
      findKey(hive, u"System\\CurrentControlSet\\Enum\\DISPLAY\\Default_Monitor\\0000&0000\\Device Parameters");
  ASSERT_TRUE(monitor);
  const RegValue* edid = monitor->findValue(u"BAD_EDID");
  ASSERT_TRUE(edid);
  EXPECT_EQ(edid->type, REG_BINARY);
  EXPECT_TRUE(edid->data.empty());
}

TEST(WineTextCorpus, ReadsSurrogatePairsInKeyNames) {
  TALMOOR_REQUIRE_CORPUS();
  std::string text = test::readFile(test::corpusDir() / "wine-8.0" / "user.reg");
  WineHiveText hive = parseWineRegistry(text, "user.reg");
  EXPECT_TRUE(findKey(hive, u"Control Panel\\International\\\U0001F30E\U0001F30F\U0001F30D"));
}

// ---------------------------------------------------------------------------

TEST(WineTextRoundTrip, TreeBuiltInMemoryKeepsEveryByte) {
  WineHiveText hive;
  hive.relativeTo = u"REGISTRY\\User\\S-1-5-21-0-0-0-1000";
  hive.arch = "win32";
  hive.root = std::make_shared<KeyNode>(u"");
  hive.root->setValue(u"", REG_SZ, utf16(u"root value"));

  auto upper = addKey(hive.root, u"A");
  auto under = addKey(hive.root, u"_x");
  auto odd = addKey(hive.root, u"N\u00e9e [1] \"q\" \U0001F30E");
  auto deep = addKey(addKey(addKey(hive.root, u"path"), u"to"), u"leaf");
  auto gone = addKey(hive.root, u"Volatile");
  gone->isVolatile = true;
  addKey(gone, u"below")->setValue(u"x", REG_SZ, utf16(u"lost"));
  under->setValue(u"VolatileValue", REG_SZ, utf16(u"lost"));
  under->findValue(u"VolatileValue")->isVolatile = true;

  std::uint64_t t = 0x1dd859c886997a2;
  for (auto* key : {&upper, &under, &odd, &deep}) (*key)->lastWrite = t++;
  odd->className = u"Class \"x\"\t\u0416";
  deep->isLink = true;
  deep->setValue(u"SymbolicLinkValue", REG_LINK, utf16(u"\\Registry\\Machine\\Software", false));

  const std::u16string loneSurrogates = u"a\xd800z\xdc00";
  upper->setValue(u"sz", REG_SZ, utf16(u"plain"));
  upper->setValue(u"sz odd", REG_SZ, {'a', 0, 0});
  upper->setValue(u"sz unterminated", REG_SZ, utf16(u"abc", false));
  upper->setValue(u"sz empty data", REG_SZ, {});
  upper->setValue(u"expand", REG_EXPAND_SZ, utf16(u"%SystemRoot%\\x"));
  upper->setValue(u"multi", REG_MULTI_SZ, utf16(std::u16string(u"one\0two\0", 8)));
  upper->setValue(u"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
  upper->setValue(u"dword3", REG_DWORD, {1, 2, 3});
  upper->setValue(u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  upper->setValue(u"odd type", 0x12345, {0xde, 0xad});
  upper->setValue(u"empty", REG_BINARY, {});
  upper->setValue(u"quote\" back\\slash", REG_SZ, utf16(u"\"\\\""));
  upper->setValue(u"controls \x01\x07\x1b\x1f", REG_SZ, utf16(std::u16string(u"\u00007\u00018\x7f\r\n", 7)));
  upper->setValue(u"\u00e9a\u00e9z\U0001F30E", REG_SZ, utf16(u"\u00e9f\u00e9g"));
  upper->setValue(loneSurrogates, REG_SZ, utf16(loneSurrogates));
  std::vector<BYTE> all(300);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<BYTE>(i);
  under->setValue(u"bytes", REG_BINARY, all);

  std::string first = serializeWineRegistry(hive);
  WineHiveText back = parse(first);
  EXPECT_EQ(serializeWineRegistry(back), first);
  EXPECT_EQ(back.relativeTo, hive.relativeTo);
  EXPECT_EQ(back.arch, "win32");

  // The volatile key and value are gone; everything else matches exactly.
  EXPECT_EQ(first.find("Volatile"), std::string::npos);
  hive.root->removeSubkey(*gone);
  under->deleteValue(u"VolatileValue");
  // Intermediate keys without a line of their own get the time of the line
  // that named them.
  findKey(hive, u"path")->lastWrite = findKey(hive, u"path\\to")->lastWrite = deep->lastWrite;
  expectSameTree(*hive.root, *back.root);
}

// ---------------------------------------------------------------------------

std::string writeOneValue(std::u16string name, DWORD type, std::vector<BYTE> data) {
  WineHiveText hive;
  hive.root = std::make_shared<KeyNode>(u"");
  addKey(hive.root, u"k")->setValue(name, type, std::move(data));
  std::string text = serializeWineRegistry(hive);
  std::size_t start = text.find("#time=");
  start = text.find('\n', start) + 1;
  return text.substr(start, text.size() - start - 1);
}

TEST(WineTextWriter, WritesEachDataForm) {
  struct Case {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
    std::string line;
  };
  const Case cases[] = {
      {u"", REG_SZ, utf16(u"x"), "@=\"x\""},
      {u"e", REG_EXPAND_SZ, utf16(u"%a%"), "\"e\"=str(2):\"%a%\""},
      {u"m", REG_MULTI_SZ, utf16(std::u16string(u"a\0b\0", 4)), "\"m\"=str(7):\"a\\0b\\0\""},
      {u"s", REG_SZ, {'a', 0, 0}, "\"s\"=hex(1):61,00,00"},
      {u"s", REG_SZ, utf16(u"ab", false), "\"s\"=hex(1):61,00,62,00"},
      {u"m", REG_MULTI_SZ, {}, "\"m\"=hex(7):"},
      {u"d", REG_DWORD, {0x0d, 0x0c, 0x0b, 0x0a}, "\"d\"=dword:0a0b0c0d"},
      {u"d", REG_DWORD, {1, 2, 3}, "\"d\"=hex(4):01,02,03"},
      {u"q", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0xff}, "\"q\"=hex(b):00,00,00,00,00,00,00,ff"},
      {u"t", 0xffff0007, {3, 0, 0, 0}, "\"t\"=hex(ffff0007):03,00,00,00"},
      {u"b", REG_BINARY, {}, "\"b\"=hex:"},
      // Escapes: quotes and backslashes, letters, octal and \x padded only
      // where the next character would extend them.
      {u"a\"b\\c", REG_SZ, utf16(u"\"\\"), "\"a\\\"b\\\\c\"=\"\\\"\\\\\""},
      {u"\t\x1b\u00017\u00018", REG_SZ, utf16(std::u16string(u"\u00001\0x", 4)), "\"\\t\\e\\0017\\18\"=\"\\0001\\0x\""},
      {u"\u00e9a\u00e9z", REG_SZ, utf16(u"\xd83c\xdf0e\x7f"), "\"\\x00e9a\\xe9z\"=\"\\xd83c\\xdf0e\x7f\""},
  };
  for (const auto& c : cases) EXPECT_EQ(writeOneValue(c.name, c.type, c.data), c.line);
}

TEST(WineTextWriter, WrapsHexLinesAtWinesColumns) {
  // 8 characters before the data: 23 bytes reach column 77 and break the
  // line; each following line holds 25.
  std::string text = writeOneValue(u"n", REG_BINARY, std::vector<BYTE>(60, 0xab));
  std::string b = "ab,";
  std::string expected = "\"n\"=hex:";
  for (int i = 0; i < 23; ++i) expected += b;
  expected += "\\\n  ";
  for (int i = 0; i < 25; ++i) expected += b;
  expected += "\\\n  ";
  for (int i = 0; i < 11; ++i) expected += b;
  expected += "ab";
  EXPECT_EQ(text, expected);
}

TEST(WineTextWriter, OrdersKeysAndChoosesKeyLinesAsWine) {
  WineHiveText hive;
  hive.root = std::make_shared<KeyNode>(u"");
  addKey(hive.root, u"b");
  addKey(hive.root, u"A");
  addKey(hive.root, u"_x");                    // '_' sorts before letters once lower-cased
  addKey(addKey(hive.root, u"mid"), u"leaf");  // "mid" is implied by "mid\\leaf"
  auto kept = addKey(hive.root, u"kept");
  kept->explicitLine = true;  // read from a line of its own
  addKey(kept, u"sub");
  addKey(addKey(hive.root, u"onlyvolatile"), u"v")->isVolatile = true;
  auto text = serializeWineRegistry(hive);
  std::vector<std::string> lines;
  for (std::size_t pos = 0; (pos = text.find("\n[", pos)) != std::string::npos; ++pos)
    lines.push_back(text.substr(pos + 1, text.find(']', pos) - pos));
  EXPECT_EQ(lines, (std::vector<std::string>{"[_x]", "[A]", "[b]", "[kept]", "[kept\\\\sub]", "[mid\\\\leaf]",
                                             "[onlyvolatile]"}));

  addKey(hive.root, u"bad\\name");
  EXPECT_THROW(serializeWineRegistry(hive), std::invalid_argument);
}

TEST(WineTextWriter, TimeLinesKeepExactFiletimes) {
  WineHiveText hive;
  hive.root = std::make_shared<KeyNode>(u"");
  addKey(hive.root, u"now")->lastWrite = 0x1dd859c886997a2;
  addKey(hive.root, u"old")->lastWrite = 12345;  // before 1970
  std::string text = serializeWineRegistry(hive);
  EXPECT_NE(text.find("[now] 1796573524\n#time=1dd859c886997a2\n"), std::string::npos);
  EXPECT_NE(text.find("[old] 0\n#time=3039\n"), std::string::npos);
  EXPECT_EQ(findKey(parse(text), u"old")->lastWrite, 12345u);
}

// ---------------------------------------------------------------------------

TEST(WineTextReader, AcceptsWhatWineAndPeopleWrite) {
  std::string lf = std::string(kHead) +
                   "\n#arch=win64\n"
                   "; a comment\n"
                   "#unknown option\n"
                   "\n[Soft\\\\A\\\\B] 1796573524\n"
                   "#time=1dd859c886997a2\n"
                   "#class=\"c\\x416\"\n"
                   "  \t\n"
                   "\"bin\"=hex:01,02,\\\n"
                   "  \t03,\\\n"
                   "04\n"
                   "\"utf8 \xc3\xa9\xf0\x9f\x8c\x8e\"=\"\xe2\x82\xac\"\n"
                   "\"\"=\"default\"\n"
                   "\"Dup\"=dword:00000001\n"
                   "\"dup\"=dword:00000002\n"
                   "\n[Soft\\\\\\[x\\]\\101] 1796573525\n"
                   "\n[soft\\\\a\\\\b] 1796573526\n"
                   "\"new\"=\"v\"\n"
                   "\"BIN\"=hex:ff\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

  for (const std::string& text : {lf, crlf}) {
    WineHiveText hive = parse(text);
    EXPECT_EQ(hive.arch, "win64");
    auto key = findKey(hive, u"Soft\\A\\B");
    ASSERT_TRUE(key);
    // The second line for the same key merged into the first: later data
    // wins, order stays, the later time applies.
    ASSERT_EQ(key->values().size(), 5u);
    EXPECT_EQ(key->values()[0].name, u"bin");
    EXPECT_EQ(key->values()[0].data, (std::vector<BYTE>{0xff}));
    EXPECT_EQ(key->values()[1].name, u"utf8 \u00e9\U0001F30E");
    EXPECT_EQ(key->values()[1].data, utf16(u"\u20ac"));
    EXPECT_EQ(key->values()[2].name, u"");
    EXPECT_EQ(key->values()[3].name, u"Dup");
    EXPECT_EQ(key->values()[3].data, (std::vector<BYTE>{2, 0, 0, 0}));
    EXPECT_EQ(key->values()[4].name, u"new");
    EXPECT_EQ(key->className, u"c\u0416");
    EXPECT_EQ(key->lastWrite, 116444736000000000ull + 1796573526ull * 10000000ull);
    // Keys named only on the way: created, no line of their own, with the
    // full time of the line that named them first.
    auto soft = findKey(hive, u"Soft");
    ASSERT_TRUE(soft);
    EXPECT_FALSE(soft->explicitLine);
    EXPECT_EQ(soft->lastWrite, 0x1dd859c886997a2u);
    auto escaped = findKey(hive, u"Soft\\[x]A");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->lastWrite, 116444736000000000ull + 1796573525ull * 10000000ull);
  }
}

TEST(WineTextReader, RootKeyLineHoldsRootValues) {
  WineHiveText hive = parse(std::string(kHead) + "\n[] 0\n#time=5\n@=\"r\"\n");
  EXPECT_EQ(hive.root->lastWrite, 5u);
  ASSERT_TRUE(hive.root->findValue(u""));
  EXPECT_NE(serializeWineRegistry(hive).find("\n[] 0\n#time=5\n@=\"r\"\n"), std::string::npos);
}

TEST(WineTextReader, RefusesDamagedTextNamingLineAndProblem) {
  struct Case {
    std::string body;  // after the two header lines
    long line;
    std::string problem;
  };
  const std::string key = "[k] 1\n";
  const Case cases[] = {
      {"#arch=win\r64\n", 3, "#arch="},
      {"[k 1\n", 3, "']'"},
      {"[k] 1 x\n", 3, "time in seconds"},
      {"[k] 99999999999999999999\n", 3, "out of range"},
      {"[a\\\\\\\\b] 1\n", 3, "key name"},
      {"\"v\"=\"x\"\n", 3, "key line before"},
      {key + "\"v\"=\"abc\n", 4, "'\"'"},
      {key + "\"v=\"abc\"\n", 4, "'='"},
      {key + "\"v\"=\"abc\" x\n", 4, "end of the line"},
      {key + "\"v\"=hex:0g\n", 4, "two hex digits"},
      {key + "\"v\"=hex:1,2\n", 4, "two hex digits"},
      {key + "\"v\"=hex:01,\n", 4, "after ','"},
      {key + "\"v\"=hex:01 02\n", 4, "','"},
      {key + "\"v\"=hex(1g):00\n", 4, "\"):\""},
      {key + "\"v\"=hex(123456789):00\n", 4, "1 to 8 hex digits"},
      {key + "\"v\"=dword:1234567\n", 4, "8 hex digits"},
      {key + "\"v\"=dword:123456789\n", 4, "8 hex digits"},
      {key + "\"v\"=hex:01,\\\n  02,\\\n", 5, "end of the file"},
      {key + "\"v\"=hex:01,\\\n  zz\n", 5, "two hex digits"},
      {key + "\"v\"=text:1\n", 4, "value data"},
      {key + "\"v\"=\"\\x\"\n", 4, "\\x"},
      {key + "\"v\"=\"\xc3\"\n", 4, "UTF-8"},
      {key + "#time=xyz\n", 4, "#time="},
      {key + "#class=c\n", 4, "#class="},
      {key + "garbage\n", 4, "key line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    try {
      parse(std::string(kHead) + c.body);
      ADD_FAILURE() << "accepted";
    } catch (const HiveFormatError& e) {
      EXPECT_EQ(e.line(), c.line);
      EXPECT_EQ(e.file(), "test.reg");
      EXPECT_NE(e.problem().find(c.problem), std::string::npos) << e.problem();
    }
  }

  for (std::string_view header : {"", "REGEDIT4\n", "WINE REGISTRY Version 1\n"}) {
    try {
      parse(header);
      ADD_FAILURE() << "accepted " << header;
    } catch (const HiveFormatError& e) {
      EXPECT_EQ(e.line(), 1);
      EXPECT_STREQ(e.what(), "test.reg:1: expected \"WINE REGISTRY Version 2\"");
    }
  }

  std::string deep = std::string(kHead) + "[a";
  for (int i = 0; i < 600; ++i) deep += "\\\\a";
  EXPECT_THROW(parse(deep + "] 1\n"), HiveFormatError);
}

TEST(WineTextReader, DamagedCorpusFilesAreRefusedOrStable) {
  TALMOOR_REQUIRE_CORPUS();
  std::string text = test::readFile(test::corpusDir() / "wine-8.0" / "user.reg");
  // Cut anywhere: a clean refusal or a tree that writes back consistently.
  for (std::size_t cut = 0; cut < text.size(); cut += 7) expectRefusedOrStable(text.substr(0, cut));
  // Single damaged bytes.
  std::mt19937 random(1234);
  const char junk[] = {'\\', '"', '[', ']', '\n', ',', '\0', 'x', '\x80', '\xff', ' ', '@'};
  for (int round = 0; round < 2000; ++round) {
    std::string damaged = text;
    damaged[random() % damaged.size()] = junk[random() % sizeof junk];
    expectRefusedOrStable(damaged);
  }
}

}  // namespace
}  // namespace talmoor::platform

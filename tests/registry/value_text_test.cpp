// Value data typed as text and shown as text, as the command line takes and
// prints it: what reads back to the same bytes, and what is refused.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/registry_constants.h"
#include "registry/value_text.h"

namespace talmoor::registry {
namespace {

using Bytes = std::vector<BYTE>;

Bytes parsed(DWORD type, std::string_view text) {
  std::string problem;
  auto data = parseData(type, text, problem);
  EXPECT_TRUE(data) << text << ": " << problem;
  return data.value_or(Bytes{});
}

std::string refusal(DWORD type, std::string_view text) {
  std::string problem;
  EXPECT_FALSE(parseData(type, text, problem)) << text;
  return problem;
}

TEST(ValueText, NumbersTakeDecimalOrHexAndRefuseWhatDoesNotFit) {
  EXPECT_EQ(parsed(REG_DWORD, "0x10"), (Bytes{0x10, 0, 0, 0}));
  EXPECT_EQ(parsed(REG_DWORD, "4294967295"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(parsed(REG_DWORD_BIG_ENDIAN, "0x01020304"), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(parsed(REG_QWORD, "0x0102030405060708"), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  for (const char* bad : {"-1", "", "0x", "12abc", " 1"})
    EXPECT_NE(refusal(REG_DWORD, bad).find("not a number for REG_DWORD"), std::string::npos) << bad;
  // A number too large says so, with the range the type takes.
  EXPECT_EQ(refusal(REG_DWORD, "4294967296"), "\"4294967296\" is out of range for REG_DWORD (0 to 4294967295)");
  EXPECT_NE(refusal(REG_QWORD, "18446744073709551616").find("out of range for REG_QWORD"), std::string::npos);
  EXPECT_NE(refusal(REG_DWORD, "0x100000000").find("out of range"), std::string::npos);
  EXPECT_EQ(regFormatData(REG_DWORD, parsed(REG_DWORD, "255")), "0xff");
  EXPECT_EQ(regFormatData(REG_QWORD, parsed(REG_QWORD, "0x100000000")), "0x100000000");
}

TEST(ValueText, StringsAndMultiStringsReadBackAsTyped) {
  EXPECT_EQ(parsed(REG_SZ, "a b"), (Bytes{'a', ' ', 'b', 0}));
  EXPECT_EQ(parsed(REG_MULTI_SZ, "one\\0two"), (Bytes{'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0}));
  EXPECT_EQ(regFormatData(REG_MULTI_SZ, parsed(REG_MULTI_SZ, "one\\0two")), "one\\0two");
  // An empty string inside would end the list there and hide the rest.
  EXPECT_NE(refusal(REG_MULTI_SZ, "a\\0\\0b").find("empty string"), std::string::npos);
}

TEST(ValueText, BinaryIsPairsOfHexDigits) {
  EXPECT_EQ(parsed(REG_BINARY, "00ffA0"), (Bytes{0x00, 0xFF, 0xA0}));
  EXPECT_EQ(regFormatData(REG_BINARY, Bytes{0x00, 0xFF, 0xA0}), "00FFA0");
  for (const char* bad : {"0", "0g", "+1"}) EXPECT_FALSE(refusal(REG_BINARY, bad).empty()) << bad;
  // A type without a name is shown by number and takes hex data.
  EXPECT_EQ(regTypeName(0x1234), "0x1234");
  EXPECT_EQ(parsed(0x1234, "0102"), (Bytes{1, 2}));
}

TEST(ValueText, TypeNamesInAnyCase) {
  EXPECT_EQ(typeFromName("REG_EXPAND_SZ"), REG_EXPAND_SZ);
  EXPECT_EQ(typeFromName("reg_dword"), REG_DWORD);
  EXPECT_FALSE(typeFromName("REG_NOPE"));
  EXPECT_EQ(typeFromName("dword"), REG_DWORD);
  EXPECT_EQ(typeFromName("Multi_Sz"), REG_MULTI_SZ);
  EXPECT_FALSE(typeFromName("REG_"));
}

}  // namespace
}  // namespace talmoor::registry

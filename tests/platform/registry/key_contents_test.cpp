// A key read whole in one call gives what the ANSI calls give one index at a
// time: the same names, types and converted data, in the same order, on
// every key of every corpus hive; and it refuses, rather than differing,
// when a filter could change what the calls show or a right is missing.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "platform/registry/key_contents.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/registry_filter.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "support/regf_support.h"
#include "support/test_registry.h"

namespace {

using talmoor::test::TestRegistry;

// "V name type data" and "K name" lines, as one call or the ANSI calls give them.
class Lines final : public KeyContentsVisitorA {
 public:
  void value(std::string_view name, DWORD type, std::span<const BYTE> data) override {
    out += fmt::format("V {} {} {}\n", name, type, std::string(data.begin(), data.end()));
  }
  void subkey(std::string_view name) override { out += fmt::format("K {}\n", name); }
  std::string out;
};

std::string oneAtATime(HKEY key, std::vector<std::string>* subkeys = nullptr) {
  Lines lines;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    std::vector<BYTE> data(1 << 20);
    DWORD nameLength = sizeof name, size = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    lines.value(std::string_view(name, nameLength), type, std::span<const BYTE>(data.data(), size));
  }
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    lines.subkey(std::string_view(name, length));
    if (subkeys) subkeys->emplace_back(name, length);
  }
  return lines.out;
}

// Compares the two reads on every key below `key`; returns the keys compared.
std::size_t compareBelow(HKEY key, const std::string& path) {
  std::vector<std::string> subkeys;
  const std::string expected = oneAtATime(key, &subkeys);
  Lines whole;
  EXPECT_EQ(RegReadKeyContentsA(key, whole), ERROR_SUCCESS) << path;
  EXPECT_EQ(whole.out, expected) << path;
  std::size_t keys = 1;
  for (const auto& name : subkeys) {
    HKEY child = 0;
    if (RegOpenKeyExA(key, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) continue;
    keys += compareBelow(child, path + "\\" + name);
    RegCloseKey(child);
  }
  return keys;
}

TEST(KeyContents, EveryKeyOfEveryCorpusHiveReadsAsTheCallsReadIt) {
  for (const char* name : {"SYSTEM", "SAM", "SECURITY", "NTUSER.DAT", "UsrClass.dat", "BCD"}) {
    auto hive = talmoor::test::corpusHive(name);
    if (hive.empty()) GTEST_SKIP() << "no corpus hive " << name;
    TestRegistry registry;
    auto file = registry.dir() / name;
    talmoor::test::copyWritable(hive, file);
    ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Walked", file.c_str()), ERROR_SUCCESS) << name;
    HKEY top = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked", 0, KEY_READ, &top), ERROR_SUCCESS);
    EXPECT_GT(compareBelow(top, name), 1u) << name;
    RegCloseKey(top);
  }
}

class PassEverything : public talmoor::platform::RegistryFilter {
 public:
  bool filterValue(std::u16string_view, std::u16string_view, DWORD&, std::vector<BYTE>&) override { return true; }
};

TEST(KeyContents, TextIsConvertedAsTheCallsConvertItAndRefusalsLeaveTheCallsToIt) {
  TestRegistry registry;
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Whole", &key), ERROR_SUCCESS);
  // Not ASCII, an odd trailing byte, no terminator, an empty string, and
  // bytes that are not text.
  const std::u16string accented = u"caf\u00e9 \u4e2d";
  auto set = [&](const char16_t* name, DWORD type, std::vector<BYTE> data) {
    ASSERT_EQ(RegSetValueExW(key, reinterpret_cast<const WCHAR*>(name), 0, type, data.data(),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  };
  set(u"na\u00efve", REG_SZ, talmoor::platform::bytesFromUtf16(accented, true));
  set(u"odd", REG_EXPAND_SZ, {'a', 0, 'b', 0, 'c'});
  set(u"multi", REG_MULTI_SZ, {'x', 0, 0, 0, 'y', 0xFF, 0, 0});
  set(u"empty", REG_SZ, {});
  set(u"", REG_BINARY, {0xFF, 0x00, 0x80});
  HKEY child = 0;
  ASSERT_EQ(RegCreateKeyA(key, "Sub\u00e9", &child), ERROR_SUCCESS);
  RegCloseKey(child);

  Lines whole;
  ASSERT_EQ(RegReadKeyContentsA(key, whole), ERROR_SUCCESS);
  EXPECT_EQ(whole.out, oneAtATime(key));

  HKEY valuesOnly = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Whole", 0, KEY_QUERY_VALUE, &valuesOnly), ERROR_SUCCESS);
  Lines refused;
  EXPECT_EQ(RegReadKeyContentsA(valuesOnly, refused), ERROR_ACCESS_DENIED);
  RegCloseKey(valuesOnly);

  auto filter = std::make_shared<PassEverything>();
  registry.host().addFilter(filter);
  EXPECT_EQ(RegReadKeyContentsA(key, refused), ERROR_NOT_SUPPORTED);
  registry.host().removeFilter(filter);
  EXPECT_EQ(refused.out, "");
  RegCloseKey(key);
}

}  // namespace

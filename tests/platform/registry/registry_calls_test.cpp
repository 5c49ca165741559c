// The contracts of the Win32-shaped registry calls that the rest of Talmoor
// relies on: error codes, order, case, buffer sizes and conversions.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/win32_registry.h"
#include "support/test_registry.h"

namespace {

using talmoor::test::TestRegistry;

HKEY create(HKEY parent, const char* path, DWORD options = 0) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

void setString(HKEY key, const char* name, const std::string& text) {
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

std::vector<std::string> subkeys(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    names.emplace_back(name, length);
  }
  return names;
}

std::vector<std::string> valueNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    LONG rc = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    names.emplace_back(name, length);
  }
  return names;
}

std::vector<BYTE> wideBytes(std::u16string_view text) {
  std::vector<BYTE> out;
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  return out;
}

TEST(RegistryCalls, HandlesAndTheirErrors) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Test");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD count = 0;
  EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(0x1234, "x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);

  // Predefined roots survive every close.
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY again = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Test", 0, KEY_READ, &again), ERROR_SUCCESS);
  RegCloseKey(again);

  HKEY missing = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software", 0, KEY_READ, &missing), ERROR_BAD_PATHNAME);
  // Doubled and trailing separators are tolerated, as the native parser does.
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\\\Test\\", 0, KEY_READ, &again), ERROR_SUCCESS);
  RegCloseKey(again);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  // The performance-data root has no keys.
  char name[64];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_PERFORMANCE_DATA, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, "Anything", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryCalls, DeletionRulesAndDeletedHandles) {
  TestRegistry registry;
  HKEY parent = create(HKEY_LOCAL_MACHINE, "Software\\Parent");
  HKEY child = create(parent, "Child");
  // As on Windows NT, a key with subkeys is not deleted.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(parent, "Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);

  // The handle to the deleted key fails every call but close.
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(child, "x", nullptr, &type, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(child, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_KEY_DELETED);
  char name[64];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(child, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  HKEY under = 0;
  EXPECT_EQ(RegCreateKeyExA(child, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &under, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteValueA(parent, "absent"), ERROR_FILE_NOT_FOUND);
  // Roots of hives and predefined keys are never deleted.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent"), ERROR_SUCCESS);
}

TEST(RegistryCalls, SubkeysSortByUpperCaseValuesKeepInsertionOrder) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Order");
  for (const char* name : {"b", "_x", "A", "a2", "Z"}) RegCloseKey(create(key, name));
  // '_' sorts after the letters once names are upper-cased.
  EXPECT_EQ(subkeys(key), (std::vector<std::string>{"A", "a2", "b", "Z", "_x"}));

  for (const char* name : {"zeta", "Alpha", "", "mid"}) setString(key, name, "v");
  EXPECT_EQ(valueNames(key), (std::vector<std::string>{"zeta", "Alpha", "", "mid"}));
  RegCloseKey(key);
}

TEST(RegistryCalls, NamesAreCaseInsensitiveAndCasePreserving) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\MixedCase");
  HKEY same = 0;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\mixedcase", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &same, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
  HKEY software = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, &software), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(software), std::vector<std::string>{"MixedCase"});

  setString(key, "Name", "first");
  setString(same, "NAME", "second");  // the same value, keeping its first spelling
  EXPECT_EQ(valueNames(key), std::vector<std::string>{"Name"});
  char data[32];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "nAmE", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
  EXPECT_STREQ(data, "second");

  // Non-ASCII names fold too.
  HKEY accented = create(key, "\xC3\x89t\xC3\xA9");  // "Été"
  HKEY folded = 0;
  EXPECT_EQ(RegOpenKeyExA(key, "\xC3\xA9T\xC3\x89", 0, KEY_READ, &folded), ERROR_SUCCESS);
  for (HKEY h : {key, same, software, accented, folded}) RegCloseKey(h);
}

TEST(RegistryCalls, BufferContractsOfValueReads) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Buffers");
  const BYTE blob[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExA(key, "blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD{REG_BINARY});
  EXPECT_EQ(size, 5u);
  BYTE buffer[8] = {};
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  size = 5;
  EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(buffer, blob, 5), 0);
  EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "nothing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

  // Enumeration: a short name buffer leaves the name count alone but reports
  // the data size and type; a short data buffer reports the size needed.
  char name[8];
  DWORD nameLength = 3;
  size = sizeof buffer;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(nameLength, 3u);
  EXPECT_EQ(size, 5u);
  nameLength = sizeof name;
  size = 2;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  nameLength = 5;  // "blob" plus its terminator fits exactly
  size = sizeof buffer;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(nameLength, 4u);
  EXPECT_STREQ(name, "blob");
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLength, nullptr, &type, buffer, &size), ERROR_NO_MORE_ITEMS);

  // Subkey names: the terminator must fit.
  RegCloseKey(create(key, "Sub1"));
  DWORD keyLength = 4;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &keyLength, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(keyLength, 4u);
  keyLength = 5;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &keyLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(keyLength, 4u);
  EXPECT_EQ(RegEnumKeyA(key, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST(RegistryCalls, QueryInfoMeasuresNamesInTheAnsiCodePage) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Info");
  RegCloseKey(create(key, "\xE2\x82\xAC\xE2\x82\xAC"));  // two euro signs: 2 units, 6 bytes of UTF-8
  HKEY classed = 0;
  ASSERT_EQ(RegCreateKeyExA(key, "k", 0, "ClassText", 0, KEY_ALL_ACCESS, nullptr, &classed, nullptr), ERROR_SUCCESS);
  setString(key, "\xC3\xA9\xC3\xA9\xC3\xA9", "\xE2\x82\xAC");  // 3 units / 6 bytes; data 4 bytes wide, 4 ANSI

  DWORD subkeys = 0, maxSub = 0, maxClass = 0, values = 0, maxName = 0, maxData = 0, sd = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, &maxClass, &values, &maxName,
                             &maxData, &sd, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSub, 6u);
  EXPECT_EQ(maxClass, 9u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(maxName, 6u);
  EXPECT_GE(maxData, 4u);
  EXPECT_GT(sd, 20u);
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSub, nullptr, nullptr, &maxName, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(maxSub, 2u);
  EXPECT_EQ(maxName, 3u);

  // The key's own class, with the buffer rule of the class parameter.
  char cls[16];
  DWORD clsLength = 5;
  EXPECT_EQ(RegQueryInfoKeyA(classed, cls, &clsLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_MORE_DATA);
  clsLength = sizeof cls;
  EXPECT_EQ(RegQueryInfoKeyA(classed, cls, &clsLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(cls, "ClassText");
  EXPECT_EQ(clsLength, 9u);
  RegCloseKey(classed);
  RegCloseKey(key);
}

TEST(RegistryCalls, AnsiCallsConvertStringsWideCallsPassThrough) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Text");
  setString(key, "s", "h\xC3\xA9llo");  // "héllo": 6 bytes + terminator in UTF-8

  BYTE raw[64];
  DWORD size = sizeof raw;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"s", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(raw, raw + size), wideBytes(std::u16string(u"h\u00e9llo") + u'\0'));
  size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);  // the converted length, terminator counted as stored
  char text[16];
  size = 6;
  EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_STREQ(text, "h\xC3\xA9llo");

  // An odd byte count: the trailing half unit cannot be converted.
  const BYTE odd[] = {'a', 0, 'b', 0, 'c', 0, 'd'};
  ASSERT_EQ(RegSetValueExW(key, u"odd", 0, REG_SZ, odd, sizeof odd), ERROR_SUCCESS);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "odd", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(text, size), "abc");
  size = sizeof raw;
  ASSERT_EQ(RegQueryValueExW(key, u"odd", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);  // the stored bytes are untouched

  // A string without terminator stays without one.
  ASSERT_EQ(RegSetValueExA(key, "bare", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%x%"), 3), ERROR_SUCCESS);
  size = sizeof raw;
  ASSERT_EQ(RegQueryValueExW(key, u"bare", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);

  // Lists keep every terminator.
  const char multi[] = "one\0tw\xC3\xB6\0";
  ASSERT_EQ(RegSetValueExA(key, "multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
            ERROR_SUCCESS);
  size = sizeof raw;
  ASSERT_EQ(RegQueryValueExW(key, u"multi", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(raw, raw + size), wideBytes(std::u16string(u"one\0tw\u00f6\0\0", 9)));

  // Other types are never converted.
  const BYTE bytes[] = {'a', 0, 0xff};
  ASSERT_EQ(RegSetValueExA(key, "bin", 0, REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
  size = sizeof raw;
  ASSERT_EQ(RegQueryValueExA(key, "bin", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<BYTE>(raw, raw + size), std::vector<BYTE>(bytes, bytes + 3));
  RegCloseKey(key);
}

TEST(RegistryCalls, NamesThatAreNotValidUtf8BecomeReplacementCharacters) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Latin1");
  setString(key, "caf\xE9", "x");  // Latin-1, not UTF-8
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "caf\xE9", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(key), std::vector<std::string>{"caf\xEF\xBF\xBD"});
  EXPECT_EQ(RegQueryValueExW(key, u"caf\uFFFD", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);

  // A lone surrogate stored by a wide call reads back through the ANSI call
  // as U+FFFD and stays as it was for the wide call.
  const std::u16string lone = u"x\xD800y";
  ASSERT_EQ(RegSetValueExW(key, lone.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
            ERROR_SUCCESS);
  WCHAR wide[16];
  DWORD wideLength = 16;
  ASSERT_EQ(RegEnumValueW(key, 1, wide, &wideLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(wide, wideLength), lone);
  EXPECT_EQ(valueNames(key)[1], "x\xEF\xBF\xBDy");
  RegCloseKey(key);
}

TEST(RegistryCalls, LinksAreFollowedUnlessOpenedAsLinks) {
  TestRegistry registry;
  HKEY target = create(HKEY_LOCAL_MACHINE, "Software\\Target");
  setString(target, "where", "target");
  RegCloseKey(create(target, "Inner"));
  HKEY link = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link", 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS, nullptr, &link, nullptr),
            ERROR_SUCCESS);
  auto path = wideBytes(u"\\REGISTRY\\MACHINE\\Software\\Target");
  ASSERT_EQ(RegSetValueExA(link, "SymbolicLinkValue", 0, REG_LINK, path.data(), static_cast<DWORD>(path.size())),
            ERROR_SUCCESS);

  HKEY through = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link", 0, KEY_READ, &through), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(through), std::vector<std::string>{"where"});
  HKEY inner = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link\\Inner", 0, KEY_READ, &inner), ERROR_SUCCESS);
  HKEY itself = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link", REG_OPTION_OPEN_LINK, KEY_READ, &itself),
            ERROR_SUCCESS);
  EXPECT_EQ(valueNames(itself), std::vector<std::string>{"SymbolicLinkValue"});
  // A second link key of the same name cannot be made.
  HKEY duplicate = 0;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Link", 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS, nullptr, &duplicate, nullptr),
            ERROR_ALREADY_EXISTS);

  // A link to itself resolves nowhere; one without a target is not found.
  HKEY loop = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Loop", 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS,
                            nullptr, &loop, nullptr),
            ERROR_SUCCESS);
  HKEY probe = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Loop", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
  auto self = wideBytes(u"\\REGISTRY\\MACHINE\\Software\\Loop");
  ASSERT_EQ(RegSetValueExA(loop, "SymbolicLinkValue", 0, REG_LINK, self.data(), static_cast<DWORD>(self.size())),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Loop", 0, KEY_READ, &probe), ERROR_CANT_RESOLVE_FILENAME);

  // Deleting a link key removes the link, never its target.
  RegCloseKey(itself);
  RegCloseKey(link);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Link"), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(target), std::vector<std::string>{"where"});
  for (HKEY h : {target, through, inner, loop}) RegCloseKey(h);
}

TEST(RegistryCalls, VolatileKeysAndLastWriteTimes) {
  TestRegistry registry;
  HKEY stable = create(HKEY_LOCAL_MACHINE, "Software\\Stable");
  HKEY fleeting = create(stable, "Fleeting", REG_OPTION_VOLATILE);
  HKEY child = 0;
  EXPECT_EQ(RegCreateKeyExA(fleeting, "Child", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child,
                            nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);

  FILETIME before{}, after{};
  RegQueryInfoKeyA(stable, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &before);
  RegQueryValueExA(stable, "nothing", nullptr, nullptr, nullptr, nullptr);
  RegQueryInfoKeyA(stable, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &after);
  EXPECT_EQ(filetimeToU64(after), filetimeToU64(before));  // reads change nothing
  setString(stable, "v", "1");
  RegQueryInfoKeyA(stable, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &after);
  EXPECT_GE(filetimeToU64(after), filetimeToU64(before));
  EXPECT_GT(filetimeToU64(after), 116444736000000000ull);  // after 1970
  RegCloseKey(fleeting);
  RegCloseKey(stable);
}

TEST(RegistryCalls, HandleAccessIsEnforced) {
  TestRegistry registry;
  RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Guarded"));
  HKEY readOnly = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Guarded", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(readOnly, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_ACCESS_DENIED);
  HKEY sub = 0;
  EXPECT_EQ(RegCreateKeyExA(readOnly, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  HKEY writeOnly = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Guarded", 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(writeOnly, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(readOnly);
  RegCloseKey(writeOnly);
}

TEST(RegistryCalls, ConnectReachesOnlyThisMachine) {
  TestRegistry registry;
  for (const char* name : {"", "localhost", "\\\\localhost", "LOCALHOST"}) {
    HKEY root = 0;
    ASSERT_EQ(RegConnectRegistryA(name, HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS) << name;
    HKEY software = 0;
    EXPECT_EQ(RegCreateKeyExA(root, "Software\\Remote", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &software, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(software);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
  }
  HKEY root = 0;
  EXPECT_EQ(RegConnectRegistryA("\\\\elsewhere.example", HKEY_LOCAL_MACHINE, &root), ERROR_BAD_NETPATH);
  EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_CURRENT_USER, &root), ERROR_INVALID_HANDLE);
}

}  // namespace

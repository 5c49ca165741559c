// The display form of value data and the location records.

#include <gtest/gtest.h>

#include <vector>

#include "platform/registry/registry_constants.h"
#include "platform/registry/win32_registry.h"
#include "registry/format_data.h"
#include "registry/registry_entry.h"
#include "support/test_registry.h"

namespace {

using namespace talmoor::registry;

std::string show(DWORD type, std::vector<BYTE> data) {
  DisplayContext context;
  return formatData(type, data, context);
}

std::vector<BYTE> bytes(std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); }

TEST(FormatData, EveryKindOfData) {
  EXPECT_EQ(show(REG_DWORD, {0x2a, 0, 0, 0}), "0x0000002A (42)");
  EXPECT_EQ(show(REG_DWORD, {0xff, 0xff, 0xff, 0xff}), "0xFFFFFFFF (-1)");
  EXPECT_EQ(show(REG_DWORD, {0x34, 0x12}), "0x1234 (4660)");
  EXPECT_EQ(show(REG_DWORD, {7}), "0x07 (7)");
  EXPECT_EQ(show(REG_DWORD, {1, 2, 3}), "Invalid [0x00030201 (197121)]");
  EXPECT_EQ(show(REG_MULTI_SZ, bytes(std::string_view("a\0b\0\0", 5))), "a, b");
  EXPECT_EQ(show(REG_SZ, bytes(std::string_view("plain\0", 6))), "plain");
  EXPECT_EQ(show(REG_BINARY, {0x00, 0xab, 0x10}), "00 ab 10");
  EXPECT_EQ(show(REG_BINARY, bytes(std::string_view("text\0", 5))), "text");
  EXPECT_EQ(show(REG_NONE, bytes(std::string_view("w\0i\0d\0e\0\0\0", 10))), "wide");
  std::vector<BYTE> big(300, 0x11);
  std::string shown = show(REG_BINARY, big);
  EXPECT_EQ(shown.size(), 256 * 3 - 1 + 3);
  EXPECT_EQ(shown.substr(shown.size() - 3), " ~ ");
}

TEST(FormatData, StringsBecomeReadable) {
  DisplayContext context;
  EXPECT_EQ(displayString("HRZR_PGYFRFFVBA", context), "UEME_CTLSESSION");
  EXPECT_TRUE(context.rotated);
  EXPECT_TRUE(context.expanded);

  DisplayContext plain;
  EXPECT_EQ(displayString("HKLM\\Software and HKCU\\Console", plain),
            "HKEY_LOCAL_MACHINE\\Software and HKEY_CURRENT_USER\\Console");
  EXPECT_EQ(displayString("\\??\\C:\\Windows\\x.sys", plain), "C:\\Windows\\x.sys");
  EXPECT_EQ(displayString("\\Registry\\Machine\\System", plain), "HKEY_LOCAL_MACHINE\\System");
  EXPECT_EQ(displayString("\\DosDevices\\C:\\x", plain), "C:\\x");
  EXPECT_FALSE(plain.expanded);

  auto indirect = parseIndirectString("@%SystemRoot%\\system32\\shell32.dll,-21787");
  ASSERT_TRUE(indirect);
  EXPECT_EQ(indirect->module, "%SystemRoot%\\system32\\shell32.dll");
  EXPECT_EQ(indirect->id, 21787u);
  EXPECT_FALSE(parseIndirectString("@nodot,-1"));
  EXPECT_FALSE(parseIndirectString("@a.dll,x"));
  // A positive id, and the comment Windows lets follow the id.
  EXPECT_EQ(parseIndirectString("@shell32.dll,21787")->id, 21787u);
  indirect = parseIndirectString("@%SystemRoot%\\system32\\wevtsvc.dll,-200;Windows Event Log");
  ASSERT_TRUE(indirect);
  EXPECT_EQ(indirect->module, "%SystemRoot%\\system32\\wevtsvc.dll");
  EXPECT_EQ(indirect->id, 200u);
  // A packaged application's resource needs its package store: left as it is.
  EXPECT_FALSE(parseIndirectString("@{Microsoft.WindowsStore_11910.1002.5.0_x64__8wekyb3d8bbwe?ms-resource://"
                                   "Microsoft.WindowsStore/resources/StoreTitle}"));
  EXPECT_FALSE(parseIndirectString("@{Microsoft.Windows.Photos_8wekyb3d8bbwe?ms-resource://a.b/c,-1}"));
}

TEST(RegistryEntry, ComponentsAndTheComposedPath) {
  RegistryEntry entry;
  EXPECT_EQ(entry.componentText(kFullKeyPath), "(Entire Registry)");
  ASSERT_TRUE(entry.setComponent(kFullKeyPath, "\\\\SERVER\\HKLM\\Software\\Vendor"));
  EXPECT_EQ(entry.machine(), "\\\\SERVER\\");
  EXPECT_EQ(entry.root(), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(entry.keyPath(), "\\Software");
  EXPECT_EQ(entry.keyName(), "Vendor");
  EXPECT_EQ(entry.machineName(), "SERVER");
  EXPECT_EQ(entry.componentText(kParentPath), "\\\\SERVER\\HKEY_LOCAL_MACHINE\\Software");
  entry.setComponent(kKeyName, "Other");
  EXPECT_EQ(entry.componentText(kFullKeyPath), "\\\\SERVER\\HKEY_LOCAL_MACHINE\\Software\\Other");
  EXPECT_TRUE(entry.hasComponent(kFullKeyPath));
  EXPECT_FALSE(entry.hasComponent(kValueName));
  entry.setComponent(kValueName, "");
  EXPECT_TRUE(entry.hasComponent(kValueName));
  EXPECT_EQ(entry.name(), "");

  // A copy carries the location but not the value name.
  RegistryEntry copy(entry);
  EXPECT_EQ(copy.keyName(), "Other");
  EXPECT_FALSE(copy.valueName());
}

TEST(RegistryBuffer, NoticesChangesInTheRegistry) {
  talmoor::test::TestRegistry registry;
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Item", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4), ERROR_SUCCESS);
  RegistryBuffer item;
  item.location.setComponent(kFullKeyPath, "HKEY_LOCAL_MACHINE\\Software\\Item");
  item.location.setComponent(kValueName, "v");
  ASSERT_TRUE(item.read());
  EXPECT_EQ(item.data, bytes(std::string_view("abc\0", 4)));
  EXPECT_FALSE(item.changed(false));
  ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("abd"), 4), ERROR_SUCCESS);
  EXPECT_TRUE(item.changed(false));
  ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
  EXPECT_TRUE(item.changed(false));
  EXPECT_FALSE(item.changed(true));  // the key is still there
  item.location.closeBoth();
  RegCloseKey(key);
}

}  // namespace

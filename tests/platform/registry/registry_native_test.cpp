// Security descriptors, the filter chain and the native read that goes
// around it, and walks racing with deletions.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/registry/win32_registry.h"
#include "platform/thread_context.h"
#include "platform/security/security_descriptor.h"
#include "support/test_registry.h"

namespace {

using talmoor::test::TestRegistry;
namespace tp = talmoor::platform;

HKEY create(HKEY parent, const char* path) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  return key;
}

void setDword(HKEY key, const char* name, DWORD value) {
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
}

std::vector<BYTE> getSecurity(HKEY key, SECURITY_INFORMATION parts) {
  DWORD size = 0;
  EXPECT_EQ(RegGetKeySecurity(key, parts, nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> sd(size);
  EXPECT_EQ(RegGetKeySecurity(key, parts, sd.data(), &size), ERROR_SUCCESS);
  return sd;
}

TEST(RegistrySecurity, DescriptorsAreKeptReadAndWritten) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Secured");
  auto all = getSecurity(key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  EXPECT_TRUE(tp::isValidSecurityDescriptor(all));
  auto ownerOnly = getSecurity(key, OWNER_SECURITY_INFORMATION);
  EXPECT_LT(ownerOnly.size(), all.size());

  // A new owner replaces the old one and leaves the DACL alone.
  auto system = *tp::sidFromString("S-1-5-18");
  std::vector<BYTE> update(20, 0);
  update[0] = 1;
  update[3] = 0x80;  // self-relative
  update[4] = 20;    // owner right after the header
  update.insert(update.end(), system.begin(), system.end());
  ASSERT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, update.data()), ERROR_SUCCESS);
  auto owner = getSecurity(key, OWNER_SECURITY_INFORMATION);
  EXPECT_EQ(std::vector<BYTE>(owner.end() - static_cast<std::ptrdiff_t>(system.size()), owner.end()), system);
  auto dacl = getSecurity(key, DACL_SECURITY_INFORMATION);
  EXPECT_EQ(dacl, getSecurity(key, DACL_SECURITY_INFORMATION));

  std::vector<BYTE> broken = update;
  broken[4] = 200;  // owner offset past the descriptor...
  // ...into zeros the buffer really holds: the call takes no length, so it
  // may read there, and must refuse what it finds (no valid SID).
  broken.resize(300, 0);
  EXPECT_NE(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, broken.data()), ERROR_SUCCESS);

  HKEY noControl = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Secured", 0, KEY_QUERY_VALUE, &noControl), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegGetKeySecurity(noControl, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(noControl);

  // A key created with a descriptor carries exactly it.
  SECURITY_ATTRIBUTES attributes;
  auto given = tp::defaultKeySecurity("S-1-5-21-1-2-3-1001");
  attributes.lpSecurityDescriptor = given.data();
  HKEY withSd = 0;
  ASSERT_EQ(RegCreateKeyExA(key, "Given", 0, nullptr, 0, KEY_ALL_ACCESS, &attributes, &withSd, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(getSecurity(withSd, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION),
            given);
  RegCloseKey(withSd);
  RegCloseKey(key);
}

// Stands for software that hooks the documented calls.
class HidingFilter : public tp::RegistryFilter {
 public:
  bool filterValue(std::u16string_view, std::u16string_view name, DWORD& type, std::vector<BYTE>& data) override {
    if (name == u"hidden") return false;
    if (name == u"disguised") {
      type = REG_DWORD;
      data = {0, 0, 0, 0};
    }
    return true;
  }
};

TEST(RegistryFilters, DocumentedCallsSeeFiltersNativeReadDoesNot) {
  TestRegistry registry;
  HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Hooked");
  setDword(key, "plain", 1);
  setDword(key, "hidden", 2);
  setDword(key, "disguised", 3);
  auto filter = std::make_shared<HidingFilter>();
  registry.host().addFilter(filter);

  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(values, 2u);
  char name[32];
  DWORD length = sizeof name;
  ASSERT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "disguised");
  DWORD data = 0, size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "hidden", nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegQueryValueExW(key, u"disguised", nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(data, 0u);

  // The native read delivers what is stored.
  const std::u16string hidden = u"hidden";
  UNICODE_STRING counted{static_cast<WORD>(hidden.size() * 2), static_cast<WORD>(hidden.size() * 2 + 2),
                         hidden.c_str()};
  ULONG needed = 0;
  EXPECT_EQ(NtQueryValueKey(key, &counted, KeyValueFullInformation, nullptr, 0, &needed), STATUS_BUFFER_TOO_SMALL);
  std::vector<BYTE> record(needed);
  ASSERT_EQ(NtQueryValueKey(key, &counted, KeyValueFullInformation, record.data(), needed, &needed), STATUS_SUCCESS);
  KEY_VALUE_FULL_INFORMATION header;
  std::memcpy(&header, record.data(), offsetof(KEY_VALUE_FULL_INFORMATION, Name));
  EXPECT_EQ(header.Type, DWORD{REG_DWORD});
  EXPECT_EQ(header.DataLength, 4u);
  EXPECT_EQ(header.NameLength, 12u);
  ASSERT_LE(header.DataOffset + header.DataLength, needed);
  std::memcpy(&data, record.data() + header.DataOffset, 4);
  EXPECT_EQ(data, 2u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(record.data() + offsetof(KEY_VALUE_FULL_INFORMATION, Name)), 6),
            hidden);

  // A buffer holding the fixed part only gets it, with the overflow status.
  std::vector<BYTE> partial(offsetof(KEY_VALUE_FULL_INFORMATION, Name) + 2);
  EXPECT_EQ(NtQueryValueKey(key, &counted, KeyValueFullInformation, partial.data(),
                            static_cast<ULONG>(partial.size()), &needed),
            STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(LsaNtStatusToWinError(STATUS_BUFFER_OVERFLOW), ULONG{ERROR_MORE_DATA});

  ULONG partialNeeded = 0;
  std::vector<BYTE> small(64);
  ASSERT_EQ(NtQueryValueKey(key, &counted, KeyValuePartialInformation, small.data(), 64, &partialNeeded),
            STATUS_SUCCESS);
  EXPECT_EQ(partialNeeded, offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) + 4);

  const std::u16string missing = u"missing";
  UNICODE_STRING absent{static_cast<WORD>(missing.size() * 2), 0, missing.c_str()};
  EXPECT_EQ(NtQueryValueKey(key, &absent, KeyValueFullInformation, nullptr, 0, &needed),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(NtQueryValueKey(0x4444, &absent, KeyValueFullInformation, nullptr, 0, &needed), STATUS_INVALID_HANDLE);
  EXPECT_EQ(LsaNtStatusToWinError(STATUS_INVALID_HANDLE), ULONG{ERROR_INVALID_HANDLE});

  registry.host().removeFilter(filter);
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(values, 3u);
  RegCloseKey(key);
}

TEST(RegistryConcurrency, WalksRacingDeletionsGetOnlyDefinedResults) {
  TestRegistry registry;
  HKEY parent = create(HKEY_LOCAL_MACHINE, "Software\\Race");
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};

  // The threads work on the test's registry, as the program's own workers do.
  const talmoor::platform::ThreadContext context = talmoor::platform::threadContext();
  std::thread churn([&] {
    talmoor::platform::ThreadContextScope working(context);
    for (int round = 0; round < 300; ++round) {
      for (int i = 0; i < 20; ++i) RegCloseKey(create(parent, ("k" + std::to_string(i)).c_str()));
      for (int i = 0; i < 20; ++i) RegDeleteKeyA(parent, ("k" + std::to_string(i)).c_str());
    }
    stop = true;
  });
  auto walker = [&] {
    talmoor::platform::ThreadContextScope working(context);
    char name[64];
    while (!stop) {
      for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG rc = RegEnumKeyExA(parent, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || name[0] != 'k') {
          ++unexpected;
          break;
        }
        HKEY child = 0;
        rc = RegOpenKeyExA(parent, name, 0, KEY_READ, &child);
        if (rc == ERROR_FILE_NOT_FOUND) continue;
        if (rc != ERROR_SUCCESS) {
          ++unexpected;
          continue;
        }
        // The child may vanish now: its handle then says so.
        DWORD type = 0;
        rc = RegQueryValueExA(child, "x", nullptr, &type, nullptr, nullptr);
        if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_KEY_DELETED) ++unexpected;
        DWORD length2 = sizeof name;
        rc = RegEnumKeyExA(child, 0, name, &length2, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_NO_MORE_ITEMS && rc != ERROR_KEY_DELETED) ++unexpected;
        RegCloseKey(child);
      }
    }
  };
  std::thread a(walker), b(walker);
  churn.join();
  a.join();
  b.join();
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_EQ(registry.host().handles().size(), 1u);  // only `parent` is still open
  RegCloseKey(parent);
}

}  // namespace

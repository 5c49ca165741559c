// Copying and moving keys and values through the write gate: what arrives
// (every stored byte, the class, the security), what is refused before
// anything is written, and when the source of a move goes.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "browse/entry_copy.h"
#include "platform/registry/win32_registry.h"
#include "platform/security/security_descriptor.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "search/search_options.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

namespace {

using namespace talmoor;
using browse::CopyRun;

constexpr const char* kSource = "HKEY_LOCAL_MACHINE\\Software\\Source";

struct StoredValue {
  DWORD type = 0;
  std::vector<BYTE> data;
  bool operator==(const StoredValue&) const = default;
};

HKEY openPath(const std::string& path, REGSAM access = KEY_READ | READ_CONTROL) {
  return registry::openKeyByPath(path, access, registry::ReportTo{});
}

// Every value of a key as it is stored, by name.
std::map<std::u16string, StoredValue> storedValues(const std::string& path) {
  std::map<std::u16string, StoredValue> values;
  registry::ScopedKey key(openPath(path));
  if (!key.get()) return values;
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD nameLength = 256, type = 0, size = 0;
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    StoredValue value{type, std::vector<BYTE>(size)};
    nameLength = 256;
    EXPECT_EQ(RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, value.data.data(), &size),
              ERROR_SUCCESS);
    values[std::u16string(name, nameLength)] = value;
  }
  return values;
}

std::vector<BYTE> securityOf(const std::string& path) {
  registry::ScopedKey key(openPath(path));
  DWORD size = 0;
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  RegGetKeySecurity(key.get(), parts, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  EXPECT_EQ(RegGetKeySecurity(key.get(), parts, descriptor.data(), &size), ERROR_SUCCESS);
  return descriptor;
}

bool exists(const std::string& path) {
  registry::ScopedKey key(openPath(path, KEY_READ));
  return key.get() != 0;
}

class EntryCopyTest : public ::testing::Test {
 protected:
  EntryCopyTest() : installed_(scripted_) {
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Source", 0, const_cast<char*>("Source Class"), 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    setRaw(key, u"", REG_SZ, {'d', 0, 0, 0});
    setRaw(key, u"text", REG_SZ, {'a', 0, 'b', 0, 0, 0});
    // What the program's text form cannot carry: an odd length, and bytes
    // after the terminator.
    setRaw(key, u"odd", REG_SZ, {'a', 0, 'b', 0, 'c'});
    setRaw(key, u"after", REG_EXPAND_SZ, {'a', 0, 0, 0, 'z', 0});
    setRaw(key, u"binary", REG_BINARY, {0, 1, 0, 2, 0xff});
    setRaw(key, u"empty", REG_BINARY, {});
    setRaw(key, u"number", REG_DWORD, {0x2a, 0, 0, 0});
    setRaw(key, u"list", REG_MULTI_SZ, {'x', 0, 0, 0, 'y', 0, 0, 0, 0, 0});
    RegCloseKey(key);
    HKEY deep = 0;
    EXPECT_EQ(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Source\\Child\\Deep", deep,
                                           registry::kAllKeyAccess),
              ERROR_SUCCESS);
    setRaw(deep, u"deep", REG_DWORD, {1, 0, 0, 0});
    RegCloseKey(deep);
    // The child owned by a user, so that its security differs from a new key's.
    HKEY child = openPath(std::string(kSource) + "\\Child", WRITE_OWNER | WRITE_DAC);
    const auto owned = platform::defaultKeySecurity("S-1-5-21-0-0-0-1000");
    EXPECT_EQ(RegSetKeySecurity(child, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owned.data()),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }

  static void setRaw(HKEY key, const std::u16string& name, DWORD type, std::vector<BYTE> data) {
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  void expectSameBranch(const std::string& from, const std::string& to) {
    for (const char* below : {"", "\\Child", "\\Child\\Deep"}) {
      SCOPED_TRACE(below);
      EXPECT_EQ(storedValues(to + below), storedValues(from + below));
      EXPECT_EQ(securityOf(to + below), securityOf(from + below));
    }
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

TEST_F(EntryCopyTest, ABranchArrivesWithEveryStoredByteItsClassAndItsSecurity) {
  const std::string destination = "HKEY_CURRENT_USER\\Software\\Copied";
  CopyRun run;
  search::ChangeClass change;
  ASSERT_TRUE(browse::copyKeyBranch(kSource, destination, run, change));
  EXPECT_TRUE(run.complete());
  EXPECT_EQ(run.keysCopied, 3u);
  EXPECT_EQ(run.valuesCopied, 9u);
  expectSameBranch(kSource, destination);
  EXPECT_EQ(storedValues(destination).size(), 8u);
  registry::ScopedKey copied(openPath(destination));
  EXPECT_EQ(registry::keyClass(copied.get()), "Source Class");
  // Every key made and every value written was a change through the gate.
  EXPECT_EQ(scripted_->confirmations().size(), 12u);
  EXPECT_TRUE(exists(kSource));

  // Without the subkeys only the values come across.
  CopyRun flat;
  flat.recursive = false;
  search::ChangeClass flatChange;
  ASSERT_TRUE(browse::copyKeyBranch(kSource, "HKEY_CURRENT_USER\\Software\\Flat", flat, flatChange));
  EXPECT_EQ(storedValues("HKEY_CURRENT_USER\\Software\\Flat"), storedValues(kSource));
  EXPECT_FALSE(exists("HKEY_CURRENT_USER\\Software\\Flat\\Child"));
}

TEST_F(EntryCopyTest, ALinkIsCopiedAsALinkNotAsTheKeyItLeadsTo) {
  // A link to a key that does not exist where the copy goes: following it
  // would fail the whole copy.
  HKEY link = 0;
  ASSERT_EQ(registry::createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Source\\Link", link,
                                         registry::kAllKeyAccess, REG_OPTION_CREATE_LINK),
            ERROR_SUCCESS);
  const std::u16string target = u"\\Registry\\Machine\\Software\\Nowhere";
  ASSERT_EQ(RegSetValueExW(link, u"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                           static_cast<DWORD>(target.size() * 2)),
            ERROR_SUCCESS);
  RegCloseKey(link);
  CopyRun run;
  search::ChangeClass change;
  ASSERT_TRUE(browse::copyKeyBranch(kSource, "HKEY_CURRENT_USER\\Software\\Copied", run, change));
  EXPECT_TRUE(run.complete());
  HKEY copied = 0;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Copied\\Link", REG_OPTION_OPEN_LINK, KEY_READ, &copied),
            ERROR_SUCCESS);
  DWORD type = 0;
  std::u16string read(target.size(), u' ');
  DWORD size = static_cast<DWORD>(read.size() * 2);
  EXPECT_EQ(RegQueryValueExW(copied, u"SymbolicLinkValue", nullptr, &type, reinterpret_cast<BYTE*>(read.data()), &size),
            ERROR_SUCCESS);
  RegCloseKey(copied);
  EXPECT_EQ(type, REG_LINK);
  EXPECT_EQ(read, target);
}

TEST_F(EntryCopyTest, AMoveDeletesItsSourceOnlyWhenEverythingCameAcross) {
  const std::string destination = "HKEY_LOCAL_MACHINE\\Software\\Moved";
  const auto before = storedValues(kSource);
  // The first key is made; the first value's write is refused.
  scripted_->answerConfirmations({search::dialogResult(search::ConfirmationAnswer::Accept),
                                  search::dialogResult(search::ConfirmationAnswer::Reject)});
  CopyRun refused;
  refused.move = true;
  search::ChangeClass change;
  browse::copyKeyBranch(kSource, destination, refused, change);
  EXPECT_FALSE(refused.complete());
  // The source keeps its branch; only values that came across left it.
  ASSERT_TRUE(exists(std::string(kSource) + "\\Child\\Deep"));
  const auto kept = storedValues(kSource);
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept.begin()->second, before.begin()->second);

  CopyRun run;
  run.move = true;
  search::ChangeClass again;
  ASSERT_TRUE(browse::copyKeyBranch(kSource, destination, run, again));
  EXPECT_TRUE(run.complete());
  EXPECT_FALSE(exists(kSource));
  EXPECT_EQ(storedValues(destination), before);
  EXPECT_EQ(storedValues(destination + "\\Child\\Deep").size(), 1u);
  // The last change asked about is the source's deletion.
  const auto asked = scripted_->confirmations();
  ASSERT_FALSE(asked.empty());
  EXPECT_TRUE(asked.back().isKey);
  EXPECT_FALSE(asked.back().toPath.has_value());
}

TEST_F(EntryCopyTest, CopiesThatCouldNeverEndAndMovesOfRootsAreRefusedBeforeAnyWrite) {
  EXPECT_TRUE(browse::copyRefusal(kSource, std::string(kSource) + "\\Child\\Inside", false).has_value());
  EXPECT_TRUE(browse::copyRefusal(kSource, "hkey_local_machine\\software\\SOURCE", false).has_value());
  EXPECT_FALSE(browse::copyRefusal(kSource, std::string(kSource) + "Twin", false).has_value());
  EXPECT_TRUE(browse::copyRefusal("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER\\Software\\Machine", true).has_value());
  EXPECT_FALSE(browse::copyRefusal("HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Machine", false).has_value());

  // Dropped on its own child, a key is refused with a box and nothing is made.
  EXPECT_FALSE(browse::confirmAndCopy(kSource, std::nullopt, std::string(kSource) + "\\Child", false));
  ASSERT_EQ(scripted_->boxes().size(), 1u);
  EXPECT_EQ(scripted_->boxes()[0].title, "Sorry");
  EXPECT_FALSE(exists(std::string(kSource) + "\\Child\\Source"));
  EXPECT_TRUE(scripted_->confirmations().empty());

  // "Confirm Action" answered No writes nothing.
  scripted_->clear();
  scripted_->answer({IDNO});
  EXPECT_FALSE(browse::confirmAndCopy(kSource, std::nullopt, "HKEY_CURRENT_USER\\Software", false));
  ASSERT_EQ(scripted_->boxLines().size(), 1u);
  EXPECT_EQ(scripted_->boxLines()[0],
            "Confirm Action: Copy Key :\n\nFrom\t: 'HKEY_LOCAL_MACHINE\\Software\\Source'\nTo\t: "
            "'HKEY_CURRENT_USER\\Software\\Source'");
  EXPECT_FALSE(exists("HKEY_CURRENT_USER\\Software\\Source"));
}

TEST_F(EntryCopyTest, AValueIsCopiedOrMovedUnderANameAndAnEmptyOneStaysEmpty) {
  const std::string target = "HKEY_CURRENT_USER\\Software\\Target";
  CopyRun copy;
  search::ChangeClass change;
  ASSERT_TRUE(browse::copyValue(kSource, "empty", target, std::string("nothing"), copy, change));
  ASSERT_TRUE(browse::copyValue(kSource, "odd", target, std::nullopt, copy, change));
  auto values = storedValues(target);
  EXPECT_EQ(values[u"nothing"], (StoredValue{REG_BINARY, {}}));
  EXPECT_EQ(values[u"odd"], storedValues(kSource)[u"odd"]);

  CopyRun move;
  move.move = true;
  ASSERT_TRUE(browse::copyValue(kSource, "number", target, std::nullopt, move, change));
  EXPECT_EQ(storedValues(target)[u"number"], (StoredValue{REG_DWORD, {0x2a, 0, 0, 0}}));
  EXPECT_EQ(storedValues(kSource).count(u"number"), 0u);

  // A value that is not there is reported, and nothing is made.
  CopyRun missing;
  EXPECT_FALSE(browse::copyValue(kSource, "absent", target, std::nullopt, missing, change));
  EXPECT_TRUE(missing.failed);
  EXPECT_EQ(storedValues(target).size(), 3u);
}

}  // namespace

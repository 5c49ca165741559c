// Keys of a regf hive read on demand are given back to the file when the
// handle a walk opened them through is closed: a walk over the whole hive
// then holds only the keys on its way, a second walk reads them again alike,
// and nothing that could differ from the file is ever given back (a key
// still open below, a change to the hive, a value kept in memory only).

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "platform/registry/hive.h"
#include "platform/registry/machine_registry.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_errors.h"
#include "support/corpus.h"
#include "support/regf_support.h"
#include "support/sha1.h"
#include "support/test_registry.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusHive;

// Every key below `path` (names, class, values and their data), walked
// through handles as the program's walks do, each closed before the next.
void walk(HKEY parent, const std::string& path, std::string& out) {
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << path;
  char className[1024];
  DWORD classLength = sizeof className;
  DWORD subkeys = 0, values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, className, &classLength, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  fmt::format_to(std::back_inserter(out), "K\t{}\t{}\t{}\t{}\n", path, std::string(className, classLength), subkeys,
                 values);
  for (DWORD i = 0; i < values; ++i) {
    char name[16384];
    std::vector<BYTE> data(1 << 20);
    DWORD nameLength = sizeof name, size = static_cast<DWORD>(data.size()), type = 0;
    ASSERT_EQ(RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    data.resize(size);
    fmt::format_to(std::back_inserter(out), "V\t{}\t{}\t{}\n", std::string(name, nameLength), type,
                   talmoor::test::sha1Hex(data));
  }
  std::vector<std::string> names;
  for (DWORD i = 0; i < subkeys; ++i) {
    char name[1024];
    DWORD length = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    names.emplace_back(name, length);
  }
  for (const auto& name : names) walk(key, name, out);
  RegCloseKey(key);
}

class KeysGivenBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (corpusHive("SYSTEM").empty()) GTEST_SKIP() << "no corpus hive SYSTEM";
    file_ = registry_.dir() / "SYSTEM";
    talmoor::test::copyWritable(corpusHive("SYSTEM"), file_);
    ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Walked", file_.c_str()), ERROR_SUCCESS);
    hive_ = registry_.host().local().hiveOfFile(file_);
    ASSERT_TRUE(hive_ && hive_->readsOnDemand());
  }

  std::string walkAll() {
    std::string out;
    walk(HKEY_LOCAL_MACHINE, "Walked", out);
    return out;
  }

  static std::string readString(const char* path, const char* name) {
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char data[512];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data, strnlen(data, size)) : "<no value>";
  }

  talmoor::test::TestRegistry registry_;
  fs::path file_;
  std::shared_ptr<tp::Hive> hive_;
};

TEST_F(KeysGivenBackTest, AWalkHoldsOnlyTheKeysOnItsWayAndASecondWalkSeesTheSame) {
  const std::string bytes = talmoor::test::readFile(file_);
  const std::size_t wholeKeys = tp::checkRegfHive(talmoor::test::asBytes(bytes), file_.string()).statistics.keys;
  const std::string first = walkAll();
  std::size_t walked = 0;
  for (std::size_t at = 0; (at = first.find("K\t", at)) != std::string::npos; at += 2)
    if (at == 0 || first[at - 1] == '\n') ++walked;
  EXPECT_GE(walked, wholeKeys);
  // Every key was read, and given back when its walk closed it.
  EXPECT_LT(hive_->readSoFar().keys, 100u);
  EXPECT_EQ(walkAll(), first);
  EXPECT_TRUE(hive_->damageReports().empty());
}

TEST_F(KeysGivenBackTest, AKeyStillOpenBelowKeepsWhatIsAboveIt) {
  HKEY select = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked\\Select", 0, KEY_READ, &select), ERROR_SUCCESS);
  HKEY control = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked\\ControlSet001\\Control", 0, KEY_READ, &control),
            ERROR_SUCCESS);
  walkAll();
  // The open keys are the tree's own: what they see is what a path finds.
  HKEY again = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked\\ControlSet001", 0, KEY_READ, &again), ERROR_SUCCESS);
  HKEY viaPath = 0;
  ASSERT_EQ(RegOpenKeyExA(again, "Control", 0, KEY_READ, &viaPath), ERROR_SUCCESS);
  RegCloseKey(again);
  EXPECT_EQ(registry_.host().handles().find(viaPath)->key, registry_.host().handles().find(control)->key);
  RegCloseKey(viaPath);
  RegCloseKey(control);
  RegCloseKey(select);
}

TEST_F(KeysGivenBackTest, NothingIsGivenBackOnceTheHiveChanged) {
  HKEY select = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked\\Select", 0, KEY_ALL_ACCESS, &select), ERROR_SUCCESS);
  const char text[] = "kept";
  ASSERT_EQ(RegSetValueExA(select, "Changed", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
            ERROR_SUCCESS);
  RegCloseKey(select);
  HKEY deep = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Walked\\ControlSet001\\Control\\Added", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &deep, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(deep);
  EXPECT_FALSE(hive_->mayForgetKeys());
  walkAll();
  EXPECT_EQ(readString("Walked\\Select", "Changed"), "kept");
  EXPECT_EQ(readString("Walked\\ControlSet001\\Control\\Added", ""), "<no value>");  // the key is there
  // And a save after the walk writes them.
  HKEY root = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Walked", 0, KEY_READ, &root), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(root), ERROR_SUCCESS);
  RegCloseKey(root);
  EXPECT_NE(talmoor::test::readFile(file_).find("Changed"), std::string::npos);
}

TEST(KeyNodeGivenBack, KeysMadeHereOrKeptInMemoryOnlyAreNeverGivenBack) {
  if (corpusHive("SYSTEM").empty()) GTEST_SKIP() << "no corpus hive SYSTEM";
  std::shared_ptr<tp::Hive> hive;
  ASSERT_EQ(tp::Hive::load(corpusHive("SYSTEM"), hive), ERROR_SUCCESS);
  ASSERT_TRUE(hive->readsOnDemand());
  auto select = hive->root()->findSubkey(u"Select");
  ASSERT_TRUE(select);
  ASSERT_FALSE(select->values().empty());
  // A value kept in memory only would be lost.
  select->appendValue(tp::RegValue{u"Volatile", REG_DWORD, std::vector<BYTE>{1, 0, 0, 0}, true});
  EXPECT_FALSE(select->forgetContents());
  EXPECT_TRUE(select->findValue(u"Volatile"));
  // A key made here, below a key read from the file.
  auto control = hive->root()->findSubkey(u"ControlSet001");
  ASSERT_TRUE(control);
  auto enumerated = control->findSubkey(u"Enum");
  ASSERT_TRUE(enumerated);
  enumerated->addSubkey(std::make_shared<tp::KeyNode>(u"Made Here"));
  enumerated.reset();
  EXPECT_FALSE(control->forgetContents());
  EXPECT_TRUE(control->findSubkey(u"Enum")->findSubkey(u"Made Here"));
  // A key held besides its parent keeps its parent's list.
  auto services = control->findSubkey(u"Services");
  ASSERT_TRUE(services);
  auto held = services->subkeys()[0];
  EXPECT_FALSE(services->forgetContents());
  EXPECT_EQ(services->subkeys()[0], held);
  held.reset();
  // Read from the file, held by nothing else: given back, and read again alike.
  const std::size_t count = services->subkeys().size();
  ASSERT_GT(count, 0u);
  const std::u16string firstName = services->subkeys()[0]->name();
  const std::size_t before = hive->readSoFar().keys;
  auto& again = services;
  EXPECT_TRUE(again->forgetContents());
  EXPECT_TRUE(again->subkeysPending());
  EXPECT_EQ(hive->readSoFar().keys, before - count);
  EXPECT_EQ(again->subkeys().size(), count);
  EXPECT_EQ(again->subkeys()[0]->name(), firstName);
  EXPECT_EQ(hive->readSoFar().keys, before);
}

}  // namespace

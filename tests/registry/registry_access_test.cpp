// The access layer over a throwaway registry: paths, walks, reads, writes
// through a gate, and the failure reports with their context texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/scripted_interaction.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"
#include "support/test_registry.h"

namespace {

using namespace talmoor;
using namespace talmoor::registry;

struct Recorded {
  std::vector<std::string> lines;
  ErrorHandler handler(bool stop = false) {
    return [this, stop](const ErrorReport& r) {
      lines.push_back(std::string(r.context) + " | " + std::string(r.primaryName) + " | " + std::to_string(r.code));
      return stop;
    };
  }
};

class AccessTest : public ::testing::Test {
 protected:
  AccessTest() : installed_(scripted_) {}
  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

TEST(RootKeys, EveryAcceptedFormOfARootName) {
  for (const char* text : {"HKEY_LOCAL_MACHINE", "HKLM\\Software", "LOCAL_MACHINE", "LM", "HKEY_LOCAL_MACHINE\\x"})
    EXPECT_EQ(rootFromText(text), HKEY_LOCAL_MACHINE) << text;
  for (const char* text : {"HKLM", "hkey_local_machine", "HKEY_USERSX", "", "HKEY_", "INVALID_ROOT", "IR\\x"})
    EXPECT_EQ(rootFromText(text), 0u) << text;
  EXPECT_EQ(rootFromText("HKU\\Software"), HKEY_USERS);
  EXPECT_EQ(rootFromText("HKCC\\System"), HKEY_CURRENT_CONFIG);
  EXPECT_EQ(rootFromText("LM\\Software", true), 0u);  // a prefix was required
  EXPECT_FALSE(rootName(HKEY_PERFORMANCE_DATA));
  EXPECT_EQ(rootName(HKEY_CLASSES_ROOT), "CLASSES_ROOT");
  EXPECT_EQ(typeName(4), "Double Word");
  EXPECT_EQ(typeName(1), "String");
  EXPECT_EQ(typeName(11), "<Type 11>");

  std::string name;
  EXPECT_EQ(enumerateRoots(0, name, 64), ERROR_SUCCESS);
  EXPECT_EQ(name, "HKEY_CLASSES_ROOT");
  EXPECT_EQ(enumerateRoots(4, name, 64), ERROR_SUCCESS);
  EXPECT_EQ(name, "HKEY_CURRENT_CONFIG");
  EXPECT_EQ(enumerateRoots(5, name, 64), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(enumerateRoots(0, name, 18), ERROR_MORE_DATA);  // 17 characters need more than 18
}

TEST(RegistryPaths, MachinesComponentsAndNativePaths) {
  auto split = splitMachine("\\\\SERVER\\HKEY_LOCAL_MACHINE\\Software");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->machine, "SERVER");
  EXPECT_EQ(split->rest, "HKEY_LOCAL_MACHINE\\Software");
  EXPECT_FALSE(splitMachine("\\\\\\x"));
  EXPECT_FALSE(splitMachine("HKLM"));
  EXPECT_EQ(lastComponent("HKLM\\Software\\Vendor"), "Vendor");

  auto scripted = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed(scripted);
  EXPECT_EQ(nativePath("HKEY_CLASSES_ROOT\\.txt"), "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES\\.txt");
  EXPECT_EQ(nativePath("HKLM\\System\\Setup"), "\\REGISTRY\\MACHINE\\System\\Setup");
  EXPECT_EQ(nativePath("HKEY_USERS\\.Default"), "\\REGISTRY\\USER\\.Default");
  EXPECT_FALSE(nativePath("HKEY_CURRENT_USER\\Software"));
  EXPECT_EQ(scripted->boxLines(),
            std::vector<std::string>{"Sorry: Cannot Convert none static mapped root Key to a System Key"});
}

TEST_F(AccessTest, OpeningByPathTextAndLongPaths) {
  EXPECT_EQ(openKeyByPath("HKEY_LOCAL_MACHINE", kDefaultOpenAccess, {}), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(closeKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  // A path of 600 characters is opened in steps and names the same key.
  std::string path;
  while (path.size() < 600) path += (path.empty() ? "" : "\\") + std::string("Component") + std::to_string(path.size());
  HKEY deep = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\" + path, deep, kAllKeyAccess), ERROR_SUCCESS);
  std::string marker = "deep";
  ASSERT_TRUE(setStringValue("", deep, std::nullopt, "marker", marker));
  closeKey(deep);
  HKEY opened = openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\" + path, kReadKeyAccess, {});
  ASSERT_NE(opened, 0u);
  EXPECT_TRUE(valueExists(opened, "marker"));
  closeKey(opened);

  Recorded recorded;
  EXPECT_EQ(openKeyByPath("HKLM\\Software\\Missing", kReadKeyAccess, ReportTo{recorded.handler()}), 0u);
  EXPECT_EQ(openKeyByPath("HKLM\\Software\\Missing", kReadKeyAccess, ReportTo{recorded.handler()}, "Loading Hive"),
            0u);
  EXPECT_EQ(recorded.lines, (std::vector<std::string>{"Opening Key | HKLM\\Software | 2",
                                                      "Loading Hive | HKLM\\Software | 2"}));
  EXPECT_EQ(openKeyByPath("", kReadKeyAccess, {}), 0u);
  EXPECT_EQ(scripted_->boxLines(), std::vector<std::string>{"Invalid Path: Invalid Path Passed to Open Key"});
}

// Discovery grants the rights of the request it knows, one open doing for a
// key that opens with all of them; a key that is not there grants nothing.
TEST_F(AccessTest, RightsDiscoveryGrantsTheKnownRightsAsked) {
  HKEY made = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Discovered", made, kAllKeyAccess), ERROR_SUCCESS);
  closeKey(made);
  constexpr REGSAM kGenericRead = 0x80000000;  // not one of the rights it tries
  for (REGSAM asked : {kReadKeyAccess, kDefaultOpenAccess, kReadKeyAccess | kGenericRead}) {
    HKEY key = 0;
    REGSAM access = asked;
    ASSERT_EQ(openKey("", HKEY_LOCAL_MACHINE, "Software\\Discovered", key, access, 0, true), ERROR_SUCCESS);
    EXPECT_EQ(access, asked & ~kGenericRead) << std::hex << asked;
    closeKey(key);
  }
  HKEY missing = 0;
  REGSAM access = kReadKeyAccess;
  EXPECT_EQ(openKey("", HKEY_LOCAL_MACHINE, "Software\\NotThere", missing, access, 0, true), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(access, 0u);
  EXPECT_EQ(missing, 0u);
}

TEST_F(AccessTest, WalksDeliverEveryValueAndSubkey) {
  HKEY key = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Walk", key, kAllKeyAccess), ERROR_SUCCESS);
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(setStringValue("", key, std::nullopt, "v" + std::to_string(i), "x"));
  for (const char* name : {"b", "a", "c"}) {
    HKEY child = 0;
    ASSERT_EQ(createKeyPrimitive("", key, name, child, kAllKeyAccess), ERROR_SUCCESS);
    closeKey(child);
  }

  struct Bar : ProgressSink {
    DWORD range = 0;
    int steps = 0;
    bool hidden = false;
    void start(DWORD r) override { range = r; }
    void step() override { ++steps; }
    void hide() override { hidden = true; }
  } bar;
  EnumerationRequest values{key};
  values.progress = &bar;
  int seen = 0;
  EXPECT_EQ(enumerateValues("", values, [&](const ValueVisit& v) {
              EXPECT_EQ(v.name, "v" + std::to_string(seen));
              EXPECT_EQ(std::string(v.data->begin(), v.data->end()), std::string("x\0", 2));
              ++seen;
              return 0;
            }),
            0);
  EXPECT_EQ(seen, 300);
  EXPECT_EQ(bar.range, 300u);
  EXPECT_EQ(bar.steps, 300);
  EXPECT_TRUE(bar.hidden);

  // A callback's non-zero result stops the walk and is its result; a set
  // cancel flag gives -1.
  EnumerationRequest stopping{key};
  EXPECT_EQ(enumerateValues("", stopping, [](const ValueVisit& v) { return v.name == "v5" ? 7 : 0; }), 7);
  std::atomic<bool> cancel{true};
  EnumerationRequest cancelled{key};
  cancelled.cancel = &cancel;
  EXPECT_EQ(enumerateValues("", cancelled, [](const ValueVisit&) { return 0; }), -1);

  std::vector<std::string> names;
  EnumerationRequest subkeys{key};
  enumerateSubkeys("", subkeys, [&](const SubkeyVisit& v) {
    names.emplace_back(v.name);
    return 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));

  // Without a key the walk yields the roots.
  names.clear();
  EnumerationRequest roots{0};
  enumerateSubkeys("", roots, [&](const SubkeyVisit& v) {
    names.emplace_back(v.name);
    return 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_CURRENT_CONFIG"}));
  closeKey(key);
}

TEST_F(AccessTest, QueryValueLimitsAndConversions) {
  HKEY key = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Query", key, kAllKeyAccess), ERROR_SUCCESS);
  std::vector<BYTE> hundred(100, 0xAB);
  ASSERT_EQ(RegSetValueExA(key, "hundred", 0, REG_BINARY, hundred.data(), 100), ERROR_SUCCESS);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(queryValue(key, "hundred", type, data, {}), ERROR_SUCCESS);
  EXPECT_EQ(data, hundred);

  std::vector<BYTE> huge(10'000'000, 1);
  ASSERT_EQ(RegSetValueExA(key, "huge", 0, REG_BINARY, huge.data(), static_cast<DWORD>(huge.size())), ERROR_SUCCESS);
  EXPECT_EQ(queryValue(key, "huge", type, data, {}), ERROR_INSUFFICIENT_BUFFER);

  Recorded recorded;
  EXPECT_EQ(queryValue(key, "absent", type, data, ReportTo{recorded.handler(), "HKLM\\Software\\Query"}),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(recorded.lines,
            std::vector<std::string>{"Establishing Size of Value Data | HKLM\\Software\\Query | 2"});
  EXPECT_FALSE(valueExists(key, "absent"));
  EXPECT_FALSE(keyClass(key).has_value());
  closeKey(key);
}

TEST_F(AccessTest, ChangesPassTheGateAndCreateMissingKeys) {
  std::vector<int> actions;
  WriteCheck gate = [&](WriteRequest& request) {
    actions.push_back(request.action);
    if (*request.name == "renamed-by-gate") *request.name = "final";
    return *request.name == "refused" ? WriteVerdict::SkipFailed : WriteVerdict::Proceed;
  };
  std::string name = "value";
  std::vector<BYTE> data{'h', 'i', 0};
  // The last two keys of the path are missing: both are created.
  ASSERT_TRUE(setValue("", 0, "HKEY_LOCAL_MACHINE\\Software\\One\\Two", name, data, REG_SZ, {}, gate));
  HKEY two = openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\One\\Two", kAllKeyAccess, {});
  ASSERT_NE(two, 0u);
  EXPECT_TRUE(valueExists(two, "value"));
  ASSERT_TRUE(setValue("", two, std::nullopt, name, data, REG_SZ, {}, gate));  // overwrite
  std::string refused = "refused";
  EXPECT_FALSE(setValue("", two, std::nullopt, refused, data, REG_SZ, {}, gate));
  EXPECT_FALSE(valueExists(two, "refused"));

  std::string newName = "renamed-by-gate";
  ASSERT_TRUE(renameValue(two, "value", newName, {}, gate));
  EXPECT_TRUE(valueExists(two, "final"));
  EXPECT_FALSE(valueExists(two, "value"));
  EXPECT_TRUE(deleteValue("", two, std::nullopt, "final", {}, gate));
  EXPECT_EQ(actions, (std::vector<int>{kWriteCreate, kWriteOverwrite, kWriteCreate, kWriteRename, kWriteDelete}));
  closeKey(two);

  std::string keyName = "Fresh";
  HKEY fresh = 0;
  ASSERT_TRUE(createKey("", 0, "HKEY_LOCAL_MACHINE\\Software", keyName, {}, gate, &fresh));
  closeKey(fresh);
  ASSERT_TRUE(createKey("", 0, "HKEY_LOCAL_MACHINE\\Software", keyName, {}, gate, nullptr));
  EXPECT_EQ(actions.back(), kWriteOverwrite);
}

TEST_F(AccessTest, DeletingATreeRemovesEverySubkey) {
  HKEY root = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Tree", root, kAllKeyAccess), ERROR_SUCCESS);
  for (const char* path : {"a\\a1\\a11", "a\\a2", "b", "c\\c1", "c\\c2", "c\\c3"}) {
    HKEY k = 0;
    ASSERT_EQ(createKeyPrimitive("", root, path, k, kAllKeyAccess), ERROR_SUCCESS);
    closeKey(k);
  }
  closeKey(root);
  ASSERT_TRUE(deleteKey("", 0, "HKEY_LOCAL_MACHINE\\Software\\Tree", {}, nullptr));
  EXPECT_EQ(openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\Tree", kReadKeyAccess, {}), 0u);
}

TEST_F(AccessTest, RenamingAKeyTakesItsTreeAndRefusesClashesAndRoots) {
  HKEY made = 0;
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Old\\Child", made, kAllKeyAccess), ERROR_SUCCESS);
  closeKey(made);
  ASSERT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Taken", made, kAllKeyAccess), ERROR_SUCCESS);
  closeKey(made);
  std::vector<int> actions;
  WriteCheck gate = [&](WriteRequest& request) {
    actions.push_back(request.action);
    return WriteVerdict::Proceed;
  };
  Recorded recorded;
  std::string newName = "Taken";
  EXPECT_FALSE(renameKey("HKEY_LOCAL_MACHINE\\Software\\Old", newName, {recorded.handler()}, gate));
  ASSERT_EQ(recorded.lines.size(), 1u);
  EXPECT_NE(recorded.lines[0].find("Renaming Key"), std::string::npos);
  EXPECT_NE(openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\Old\\Child", kReadKeyAccess, {}), 0u);

  newName = "New";
  ASSERT_TRUE(renameKey("HKEY_LOCAL_MACHINE\\Software\\Old", newName, {}, gate));
  EXPECT_EQ(openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\Old", kReadKeyAccess, {}), 0u);
  HKEY child = openKeyByPath("HKEY_LOCAL_MACHINE\\Software\\New\\Child", kReadKeyAccess, {});
  EXPECT_NE(child, 0u);
  closeKey(child);
  // A change of case only is a rename, not a clash with itself.
  newName = "NEW";
  ASSERT_TRUE(renameKey("HKEY_LOCAL_MACHINE\\Software\\New", newName, {}, gate));
  std::vector<std::string> names;
  HKEY software = openKeyByPath("HKEY_LOCAL_MACHINE\\Software", kReadKeyAccess, {});
  char buffer[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof buffer;
    if (RegEnumKeyExA(software, i, buffer, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(buffer, size);
  }
  closeKey(software);
  EXPECT_NE(std::find(names.begin(), names.end(), "NEW"), names.end());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return std::toupper(x) < std::toupper(y); });
  }));
  EXPECT_EQ(actions, (std::vector<int>{kWriteRename, kWriteRename, kWriteRename}));

  // Root keys keep their names, and a name with a separator is no name.
  EXPECT_EQ(RegRenameKeyCountedA(HKEY_LOCAL_MACHINE, "", "Elsewhere"), ERROR_ACCESS_DENIED);
  newName = "a\\b";
  EXPECT_FALSE(renameKey("HKEY_LOCAL_MACHINE\\Software\\NEW", newName, {}, gate));
}

}  // namespace

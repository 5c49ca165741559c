// The Windows environment of a profile: what the corpus prefix gives, the
// order in which machine, user and expandable values are applied, the
// variables Windows defines itself, and %NAME% expansion.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files/windows_environment.h"
#include "platform/registry/registry_profile.h"
#include "platform/registry/win32_registry.h"
#include "support/corpus.h"
#include "support/test_registry.h"
#include "platform/thread_context.h"
#include "support/test_registry.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusDir;
using talmoor::test::TempDir;
using talmoor::test::TestRegistry;

void setString(HKEY root, const char* path, const char* name, const std::string& text, DWORD type = REG_SZ) {
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

constexpr const char* kSystemEnvironment = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

TEST(WindowsEnvironmentExpand, ReferencesAsExpandEnvironmentStringsTreatsThem) {
  tp::WindowsEnvironment env;
  env.set("A", "x");
  env.set("Nested", "%A%");
  env.set("Empty", "");
  auto expand = [&](std::string_view text) { return env.expand(text); };

  EXPECT_EQ(expand("%A%\\%a%"), "x\\x");
  EXPECT_EQ(expand("%Nested%"), "%A%");  // one pass only
  EXPECT_EQ(expand("[%Empty%]"), "[]");
  // An unknown name stays, and scanning goes on after its closing "%".
  EXPECT_EQ(expand("%foo%A%"), "%foo%A%");
  EXPECT_EQ(expand("%foo%%A%"), "%foo%x");
  // "%%" is an empty, unknown name, not an escape.
  EXPECT_EQ(expand("a%%b"), "a%%b");
  EXPECT_EQ(expand("%%A%"), "%%A%");
  // An unclosed "%" is literal.
  EXPECT_EQ(expand("100%"), "100%");
  EXPECT_EQ(expand("%A%%A"), "x%A");

  bool changed = true;
  EXPECT_EQ(env.expand("no references", &changed), "no references");
  EXPECT_FALSE(changed);
  env.expand("%unknown%", &changed);
  EXPECT_FALSE(changed);
  env.expand("%EMPTY%", &changed);
  EXPECT_TRUE(changed);
}

// ---------------------------------------------------------------------------

class WindowsEnvironmentPrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    fs::path prefix = dir_ / "prefix";
    talmoor::test::copyCorpusHives(prefix);
    tp::ProfileOptions options;
    options.prefix = prefix;
    options.settingsFile = dir_ / "config" / "settings.reg";
    profile_ = talmoor::test::openTestProfile(options);
    working_ = std::make_unique<tp::ThreadContextScope>(tp::ThreadContext{profile_, nullptr});
  }

  TempDir dir_;
  std::shared_ptr<tp::RegistryProfile> profile_;
  std::unique_ptr<tp::ThreadContextScope> working_;
};

TEST_F(WindowsEnvironmentPrefixTest, WhatTheCorpusPrefixGivesItsPrograms) {
  auto env = tp::WindowsEnvironment::fromRegistry();
  EXPECT_EQ(env.expand("%SystemRoot%\\system32"), "C:\\windows\\system32");
  EXPECT_EQ(env.get("windir"), "C:\\windows");
  EXPECT_EQ(env.get("SystemDrive"), "C:");
  EXPECT_EQ(env.get("ComSpec"), "C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(env.get("PATH"),
            "C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem;C:\\windows\\system32\\WindowsPowershell\\v1.0");
  EXPECT_EQ(env.get("ProgramFiles"), "C:\\Program Files");
  EXPECT_EQ(env.get("ProgramFiles(x86)"), "C:\\Program Files (x86)");
  EXPECT_EQ(env.get("ProgramW6432"), "C:\\Program Files");
  EXPECT_EQ(env.get("CommonProgramFiles"), "C:\\Program Files\\Common Files");
  EXPECT_EQ(env.get("CommonProgramFiles(x86)"), "C:\\Program Files (x86)\\Common Files");
  EXPECT_EQ(env.get("ProgramData"), "C:\\ProgramData");
  EXPECT_EQ(env.get("ALLUSERSPROFILE"), "C:\\ProgramData");
  EXPECT_EQ(env.get("PUBLIC"), "C:\\users\\Public");
  EXPECT_EQ(env.get("COMPUTERNAME"), "VM");
  EXPECT_EQ(env.get("USERPROFILE"), "C:\\users\\root");
  EXPECT_EQ(env.get("APPDATA"), "C:\\users\\root\\AppData\\Roaming");
  EXPECT_EQ(env.get("LOCALAPPDATA"), "C:\\users\\root\\AppData\\Local");
  EXPECT_EQ(env.get("USERNAME"), "root");
  EXPECT_EQ(env.get("HOMEPATH"), "\\users\\root");
  // The user's TEMP replaces the machine's "%SystemRoot%\temp".
  EXPECT_EQ(env.get("TEMP"), "C:\\users\\root\\Temp");
  EXPECT_EQ(env.get("winsysdir"), "C:\\windows\\system32");
}

TEST_F(WindowsEnvironmentPrefixTest, UserValuesOverrideAndThePathIsAppended) {
  setString(HKEY_CURRENT_USER, "Environment", "Path", "%USERPROFILE%\\bin;%TOOLS%", REG_EXPAND_SZ);
  // Plain values are set before expandable ones, whatever their order.
  setString(HKEY_CURRENT_USER, "Environment", "TOOLS", "D:\\tools");
  setString(HKEY_CURRENT_USER, "Environment", "OS", "Mine");
  setString(HKEY_CURRENT_USER, "Environment", "Count", "not a string", REG_BINARY);
  setString(HKEY_LOCAL_MACHINE, kSystemEnvironment, "Strange", "%NotDefined%\\x", REG_EXPAND_SZ);
  setString(HKEY_LOCAL_MACHINE, kSystemEnvironment, "Early", "%ZLate%", REG_EXPAND_SZ);
  setString(HKEY_LOCAL_MACHINE, kSystemEnvironment, "ZLate", "%SystemDrive%", REG_EXPAND_SZ);

  auto env = tp::WindowsEnvironment::fromRegistry();
  EXPECT_EQ(env.get("Path"),
            "C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem;C:\\windows\\system32\\WindowsPowershell\\v1.0;"
            "C:\\users\\root\\bin;D:\\tools");
  EXPECT_EQ(env.get("OS"), "Mine");
  EXPECT_EQ(env.get("Count"), std::nullopt);
  EXPECT_EQ(env.get("Strange"), "%NotDefined%\\x");
  // Expandable values see only those expanded before them.
  EXPECT_EQ(env.get("Early"), "%ZLate%");
  EXPECT_EQ(env.get("ZLate"), "C:");

  // Without a machine Path, the user's stands alone.
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSystemEnvironment, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "PATH"), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(tp::WindowsEnvironment::fromRegistry().get("PATH"), "C:\\users\\root\\bin;D:\\tools");
}

// ---------------------------------------------------------------------------

TEST(WindowsEnvironmentRegistry, WhatWindowsDefinesWithoutTheUsualKeys) {
  TestRegistry registry;
  auto bare = tp::WindowsEnvironment::fromRegistry();
  EXPECT_EQ(bare.get("SystemRoot"), "C:\\windows");
  EXPECT_EQ(bare.get("SystemDrive"), "C:");
  EXPECT_EQ(bare.get("USERPROFILE"), std::nullopt);

  // An offline installation: no volatile key, the profile path and the
  // shell folders give the user's variables.
  setString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", "D:\\WINNT");
  setString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000",
            "ProfileImagePath", "%SystemDrive%\\Users\\Ada", REG_EXPAND_SZ);
  setString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "AppData",
            "%USERPROFILE%\\AppData\\Roaming", REG_EXPAND_SZ);
  auto env = tp::WindowsEnvironment::fromRegistry();
  EXPECT_EQ(env.get("windir"), "D:\\WINNT");
  EXPECT_EQ(env.get("SystemDrive"), "D:");
  EXPECT_EQ(env.get("USERPROFILE"), "D:\\Users\\Ada");
  EXPECT_EQ(env.get("USERNAME"), "Ada");
  EXPECT_EQ(env.get("HOMEDRIVE"), "D:");
  EXPECT_EQ(env.get("HOMEPATH"), "\\Users\\Ada");
  EXPECT_EQ(env.get("APPDATA"), "D:\\Users\\Ada\\AppData\\Roaming");
  EXPECT_EQ(env.get("LOCALAPPDATA"), std::nullopt);

  // The volatile key, when present, is what the logon wrote.
  setString(HKEY_CURRENT_USER, "Volatile Environment", "APPDATA", "E:\\Roaming");
  setString(HKEY_CURRENT_USER, "Volatile Environment", "USERNAME", "ada.l");
  env = tp::WindowsEnvironment::fromRegistry();
  EXPECT_EQ(env.get("APPDATA"), "E:\\Roaming");
  EXPECT_EQ(env.get("USERNAME"), "ada.l");
}

}  // namespace

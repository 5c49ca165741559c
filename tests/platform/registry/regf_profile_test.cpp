// Offline Windows installations and extra hive files as registry profiles: a
// fake installation (corpus hives under names of odd case, the rest ours) is
// mounted as Windows mounts it, and changes go back to the right files.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry/hive.h"
#include "platform/registry/registry_constants.h"
#include "platform/error_detail.h"
#include "platform/registry/registry_profile.h"
#include "platform/thread_context.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "support/corpus.h"
#include "support/test_registry.h"
#include "support/regf_support.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::copyWritable;
using talmoor::test::corpusHive;
using talmoor::test::readFile;
using talmoor::test::TempDir;

constexpr const char* kAlice = "S-1-5-21-1-2-3-1001";

std::shared_ptr<tp::KeyNode> keyAt(const std::shared_ptr<tp::KeyNode>& root, std::u16string_view path) {
  auto key = root;
  while (!path.empty()) {
    std::size_t cut = path.find(u'\\');
    std::u16string name(path.substr(0, cut));
    auto next = key->findSubkey(name);
    if (!next) {
      next = std::make_shared<tp::KeyNode>(name);
      key->addSubkey(next);
    }
    key = next;
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
  }
  return key;
}

void setString(const std::shared_ptr<tp::KeyNode>& key, std::u16string_view name, std::u16string_view text,
               DWORD type = REG_SZ) {
  key->setValue(name, type, tp::bytesFromUtf16(text, true));
}

void writeHive(const std::shared_ptr<tp::KeyNode>& root, const fs::path& file) {
  fs::create_directories(file.parent_path());
  talmoor::test::writeFile(file, talmoor::test::writeRegf(*root));
}

class RegfProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (corpusHive("SYSTEM").empty() || corpusHive("NTUSER.DAT").empty()) GTEST_SKIP() << "no corpus hives";
    windows_ = dir_ / "install";
    config_ = windows_ / "windows" / "SYSTEM32" / "Config";
    copyWritable(corpusHive("SYSTEM"), config_ / "SYSTEM");
    copyWritable(corpusHive("SAM"), config_ / "sam");
    copyWritable(corpusHive("SECURITY"), config_ / "Security");
    copyWritable(corpusHive("NTUSER.DAT"), windows_ / "users" / "ALICE" / "ntuser.dat");
    copyWritable(corpusHive("UsrClass.dat"),
                 windows_ / "users" / "ALICE" / "AppData" / "local" / "Microsoft" / "WINDOWS" / "UsrClass.dat");

    auto software = std::make_shared<tp::KeyNode>(u"ROOT");
    auto profiles = keyAt(software, u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    setString(keyAt(profiles, tp::ansiToWide(kAlice)), u"ProfileImagePath", u"%SystemDrive%\\Users\\alice",
              REG_EXPAND_SZ);
    setString(keyAt(profiles, u"S-1-5-21-1-2-3-1002"), u"ProfileImagePath", u"C:\\Users\\gone", REG_EXPAND_SZ);
    setString(keyAt(profiles, u"S-1-5-18"), u"ProfileImagePath", u"%systemroot%\\system32\\config\\systemprofile",
              REG_EXPAND_SZ);
    setString(keyAt(software, u"Classes\\.txt"), u"", u"txtfile");
    writeHive(software, config_ / "software");

    auto userDefault = std::make_shared<tp::KeyNode>(u"ROOT");
    setString(keyAt(userDefault, u"Control Panel\\Desktop"), u"Wallpaper", u"default.bmp");
    writeHive(userDefault, config_ / "DEFAULT");
  }
  void TearDown() override { working_.reset(); }

  // The profile becomes the one this thread's registry calls work on.
  void bind(const std::shared_ptr<tp::RegistryProfile>& profile) {
    working_.reset();
    working_ = std::make_unique<tp::ThreadContextScope>(tp::ThreadContext{profile, nullptr});
  }
  std::unique_ptr<tp::ThreadContextScope> working_;

  std::shared_ptr<tp::RegistryProfile> open(std::vector<tp::HiveMount> hives = {}) {
    tp::ProfileOptions options;
    options.windowsDir = windows_;
    options.hives = std::move(hives);
    options.settingsFile = dir_ / "config" / "settings.reg";
    auto profile = talmoor::test::openTestProfile(options);
    bind(profile);
    return profile;
  }

  static std::string readString(HKEY root, const std::string& path, const char* name) {
    HKEY key = 0;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char data[512];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data, strnlen(data, size)) : "<no value>";
  }

  static bool keyExists(HKEY root, const std::string& path) { return readString(root, path, "") != "<no key>"; }
  static bool warned(const std::shared_ptr<tp::RegistryProfile>& profile, std::string_view text) {
    return talmoor::test::anyContains(profile->warnings, text);
  }

  TempDir dir_;
  fs::path windows_, config_;
};

TEST_F(RegfProfileTest, AnInstallationIsMountedAsWindowsMountsIt) {
  auto profile = open();
  EXPECT_EQ(tp::profileKindName(profile->kind), "Windows installation");
  // Machine hives, found whatever the case of their names.
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "CurrentUser"),
            readString(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Control", "CurrentUser"));
  EXPECT_NE(readString(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "CurrentUser"), "<no key>");
  EXPECT_TRUE(keyExists(HKEY_CURRENT_CONFIG, "System\\CurrentControlSet"));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SAM\\SAM\\Domains\\Account"));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SECURITY\\Policy"));
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, ".txt", ""), "txtfile");
  // Users: the profile list's paths through drive C:, the first user is HKCU.
  EXPECT_TRUE(keyExists(HKEY_USERS, std::string(kAlice) + "\\Control Panel"));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Environment"));
  EXPECT_TRUE(keyExists(HKEY_USERS, std::string(kAlice) + "_Classes\\.3gp"));
  EXPECT_EQ(readString(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop", "Wallpaper"), "default.bmp");
  EXPECT_TRUE(warned(profile, "S-1-5-21-1-2-3-1002"));
  EXPECT_TRUE(warned(profile, "not closed cleanly"));  // the corpus SECURITY hive
  auto system = profile->drives().toHost("C:\\WINDOWS\\System32\\CONFIG\\system");
  ASSERT_TRUE(system);
  EXPECT_EQ(fs::canonical(*system), fs::canonical(config_ / "SYSTEM"));
  // The boot links are the registry's own, in no file.
  HKEY link = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet", REG_OPTION_OPEN_LINK, KEY_READ, &link),
            ERROR_SUCCESS);
  RegCloseKey(link);
}

TEST_F(RegfProfileTest, ChangesGoBackToTheirOwnFileOnly) {
  std::string samBefore = readFile(config_ / "sam");
  {
    auto profile = open();
    HKEY control = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", 0, KEY_ALL_ACCESS, &control),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(control, "TalmoorMark", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4),
              ERROR_SUCCESS);
    ASSERT_EQ(RegFlushKey(control), ERROR_SUCCESS);
    RegCloseKey(control);
  }
  EXPECT_EQ(readFile(config_ / "sam"), samBefore);
  std::shared_ptr<tp::Hive> system;
  ASSERT_EQ(tp::Hive::load(config_ / "SYSTEM", system), ERROR_SUCCESS);
  EXPECT_EQ(system->format(), tp::HiveFormat::Regf);
  EXPECT_TRUE(system->damageReports().empty());
  auto control = system->root()->findSubkey(u"ControlSet001")->findSubkey(u"Control");
  ASSERT_TRUE(control->findValue(u"TalmoorMark"));
  EXPECT_FALSE(system->root()->findSubkey(u"CurrentControlSet"));  // the link stays out of the file
  EXPECT_FALSE(control->findSubkey(u"hivelist"));
  EXPECT_FALSE(system->wasDirtyOnDisk());
}

TEST_F(RegfProfileTest, KeysSaveAsRegfAndLoadBack) {
  auto profile = open();
  HKEY sam = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SAM\\SAM\\Domains", 0, KEY_READ, &sam), ERROR_SUCCESS);
  fs::path saved = dir_ / "domains.sav";
  ASSERT_EQ(RegSaveKeyA(sam, saved.c_str(), nullptr), ERROR_SUCCESS);
  RegCloseKey(sam);
  EXPECT_EQ(readFile(saved).substr(0, 4), "regf");

  ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Domains", saved.c_str()), ERROR_SUCCESS);
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Domains\\Account\\Users"));
  HKEY users = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Domains\\Account\\Users\\000001F4", 0, KEY_READ, &users),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(users, "V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 592u);
  RegCloseKey(users);
  ASSERT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Domains"), ERROR_SUCCESS);
}

TEST_F(RegfProfileTest, ExtraHivesMountAtTheirKeysAndDamagedOnesReadOnly) {
  if (corpusHive("BCD").empty() || corpusHive("corrupted_system_hive").empty()) GTEST_SKIP() << "no corpus hives";
  copyWritable(corpusHive("BCD"), dir_ / "BCD");
  copyWritable(corpusHive("corrupted_system_hive"), dir_ / "broken");
  std::string brokenBefore = readFile(dir_ / "broken");
  auto profile = open({{dir_ / "BCD", "HKEY_LOCAL_MACHINE\\BCD00000000"}, {dir_ / "broken", "\\REGISTRY\\USER\\Broken"}});
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "BCD00000000\\Description", "KeyName"), "BCD00000000");
  EXPECT_TRUE(warned(profile, "broken is damaged"));
  EXPECT_TRUE(warned(profile, "  file offsets 0x"));  // the first reports name the lost pages
  HKEY select = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "Broken\\Select", 0, KEY_ALL_ACCESS, &select), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExA(select, "Current", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_ACCESS_DENIED);
  RegCloseKey(select);
  // What could be read is saved whole to a new file, which is sound.
  HKEY broken = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "Broken", 0, KEY_READ, &broken), ERROR_SUCCESS);
  ASSERT_EQ(RegSaveKeyA(broken, (dir_ / "recovered.hiv").c_str(), nullptr), ERROR_SUCCESS);
  RegCloseKey(broken);
  std::shared_ptr<tp::Hive> recovered;
  ASSERT_EQ(tp::Hive::load(dir_ / "recovered.hiv", recovered), ERROR_SUCCESS);
  EXPECT_TRUE(recovered->damageReports().empty());
  EXPECT_FALSE(recovered->readOnly());
  EXPECT_TRUE(recovered->root()->findSubkey(u"Select"));
  working_.reset();
  profile->host.reset();
  EXPECT_EQ(readFile(dir_ / "broken"), brokenBefore);
}

TEST_F(RegfProfileTest, ContradictionsAndMissingPiecesAreRefused) {
  auto refusal = [&](const fs::path& windowsDir, std::vector<tp::HiveMount> hives = {},
                     bool withPrefix = false) -> std::string {
    tp::ProfileOptions options;
    options.windowsDir = windowsDir;
    options.hives = std::move(hives);
    if (withPrefix) options.prefix = dir_.path();
    options.settingsFile = dir_ / "config" / "settings.reg";
    std::shared_ptr<tp::RegistryProfile> refused;
    tp::clearErrorDetail();
    if (tp::openRegistryProfile(options, refused) != ERROR_SUCCESS) return tp::takeErrorDetail();
    return "accepted";
  };
  EXPECT_NE(refusal(windows_, {}, true).find("cannot be opened together"), std::string::npos);
  fs::create_directories(dir_ / "config-less" / "Windows");
  EXPECT_NE(refusal(dir_ / "config-less").find("config-less is not a Windows installation"), std::string::npos);
  EXPECT_NE(refusal(windows_, {{config_ / "sam", "HKCU\\Sam"}}).find("below HKEY_LOCAL_MACHINE or HKEY_USERS"),
            std::string::npos);
  EXPECT_NE(refusal(windows_, {{config_ / "sam", "HKLM\\SamAgain"}}).find("already mounted"), std::string::npos);
  talmoor::test::writeFile(dir_ / "text.hiv", "just text");
  EXPECT_NE(refusal(windows_, {{dir_ / "text.hiv", "HKLM\\Text"}}).find("text.hiv: not a registry hive file"),
            std::string::npos);
}

TEST(RegfProfile, HiveArgumentsSplitAtTheLastEqualsSign) {
  auto mount = tp::parseHiveMount("/data/a=b.hiv=HKLM\\Offline");
  ASSERT_TRUE(mount);
  EXPECT_EQ(mount->file, fs::path("/data/a=b.hiv"));
  EXPECT_EQ(mount->key, "HKLM\\Offline");
  EXPECT_FALSE(tp::parseHiveMount("no-key"));
  EXPECT_FALSE(tp::parseHiveMount("=HKLM\\X"));
  EXPECT_FALSE(tp::parseHiveMount("file="));
}

}  // namespace

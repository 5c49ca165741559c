// Profiles over real prefixes: mounting, the root mappings, saving only what
// changed, refusing damaged files, and the hive calls.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/registry/registry_profile.h"
#include "platform/thread_context.h"
#include "platform/registry/win32_registry.h"
#include "support/corpus.h"
#include "support/test_registry.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
using talmoor::test::corpusDir;
using talmoor::test::readFile;
using talmoor::test::TempDir;

// A writable copy of the corpus prefix's hives.
fs::path copyPrefix(const TempDir& dir) {
  fs::path prefix = dir / "prefix";
  talmoor::test::copyCorpusHives(prefix);
  return prefix;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TALMOOR_REQUIRE_CORPUS();
    prefix_ = copyPrefix(dir_);
  }
  void TearDown() override { working_.reset(); }

  // The profile becomes the one this thread's registry calls work on.
  void bind(const std::shared_ptr<tp::RegistryProfile>& profile) {
    working_.reset();
    working_ = std::make_unique<tp::ThreadContextScope>(tp::ThreadContext{profile, nullptr});
  }
  std::unique_ptr<tp::ThreadContextScope> working_;

  std::shared_ptr<tp::RegistryProfile> open() {
    tp::ProfileOptions options;
    options.prefix = prefix_;
    options.settingsFile = dir_ / "config" / "settings.reg";
    auto profile = talmoor::test::openTestProfile(options);
    bind(profile);
    return profile;
  }

  std::string readString(HKEY root, const char* path, const char* name) {
    HKEY key = 0;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char data[512];
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data) : "<no value>";
  }

  TempDir dir_;
  fs::path prefix_;
};

TEST_F(ProfileTest, RootsMapOntoThePrefixHives) {
  auto profile = open();
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild"),
            "7601");
  EXPECT_EQ(readString(HKEY_CURRENT_USER, "Control Panel\\Colors", "ActiveTitle"), "50 150 250");
  EXPECT_EQ(readString(HKEY_USERS, "S-1-5-21-0-0-0-1000\\Control Panel\\Colors", "ActiveTitle"), "50 150 250");
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, ".chm", ""), "chm.file");
  EXPECT_EQ(readString(HKEY_USERS, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       "Fonts"),
            "C:\\windows\\Fonts");
  // The link keys Wine stores are followed: Wow6432Node\AppId names Classes\AppId.
  HKEY link = 0, target = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node\\AppId", 0, KEY_READ, &link),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\AppID", 0, KEY_READ, &target), ERROR_SUCCESS);
  DWORD linkKeys = 0, targetKeys = 0;
  RegQueryInfoKeyA(link, nullptr, nullptr, nullptr, &linkKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  RegQueryInfoKeyA(target, nullptr, nullptr, nullptr, &targetKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  EXPECT_GT(targetKeys, 0u);
  EXPECT_EQ(linkKeys, targetKeys);
  RegCloseKey(link);
  RegCloseKey(target);

  // The mounted hives are listed, and the settings hive hangs at its key.
  std::string hivelist = "System\\CurrentControlSet\\Control\\hivelist";
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, hivelist.c_str(), "\\REGISTRY\\MACHINE"),
            (prefix_ / "system.reg").string());
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, hivelist.c_str(), "\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000"),
            (prefix_ / "user.reg").string());
  HKEY settings = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenhollow\\Sarnwick\\Favourites", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &settings, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(settings);
}

TEST_F(ProfileTest, AnUnchangedPrefixStaysByteIdentical) {
  std::string before = readFile(prefix_ / "system.reg");
  {
    auto profile = open();
    readString(HKEY_LOCAL_MACHINE, "Software\\Wine", "x");
    // Settings go to the settings hive, never into the prefix.
    HKEY settings = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenhollow\\Sarnwick", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(settings, "LastKey", 0, REG_SZ, reinterpret_cast<const BYTE*>("HKEY_USERS"), 11),
              ERROR_SUCCESS);
    RegCloseKey(settings);
    EXPECT_EQ(profile->host->flushAll(), ERROR_SUCCESS);
  }
  EXPECT_EQ(readFile(prefix_ / "system.reg"), before);
  EXPECT_EQ(readFile(prefix_ / "user.reg"), readFile(corpusDir() / "wine-8.0" / "user.reg"));
  EXPECT_NE(readFile(dir_ / "config" / "settings.reg").find("\"LastKey\"=\"HKEY_USERS\""), std::string::npos);
}

TEST_F(ProfileTest, ChangesAreSavedAtomicallyKeepingPermissions) {
  fs::permissions(prefix_ / "user.reg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    auto profile = open();
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Talmoor Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Added", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  std::string user = readFile(prefix_ / "user.reg");
  EXPECT_NE(user.find("[Software\\\\Talmoor Test]"), std::string::npos);
  EXPECT_NE(user.find("\"Added\"=\"yes\""), std::string::npos);
  EXPECT_EQ(fs::status(prefix_ / "user.reg").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  for (const auto& entry : fs::directory_iterator(prefix_))
    EXPECT_EQ(entry.path().filename().string().find(".talmoor-"), std::string::npos) << entry.path();

  // It reads back the same.
  auto profile = open();
  EXPECT_EQ(readString(HKEY_CURRENT_USER, "Software\\Talmoor Test", "Added"), "yes");
}

TEST_F(ProfileTest, ADamagedFileIsRefusedAndLeftUntouched) {
  std::string text = readFile(prefix_ / "system.reg");
  // Cut the file in the middle of a wrapped hex value.
  auto cut = text.find("=hex(6):");
  ASSERT_NE(cut, std::string::npos);
  text.resize(cut + 20);
  text += "\\\n";
  talmoor::test::writeFile(prefix_ / "system.reg", text);
  std::string userBefore = readFile(prefix_ / "user.reg");

  tp::ProfileOptions options;
  options.prefix = prefix_;
  options.settingsFile = dir_ / "config" / "settings.reg";
  {
    std::shared_ptr<tp::RegistryProfile> refused;
    ASSERT_NE(tp::openRegistryProfile(options, refused), ERROR_SUCCESS) << "a damaged system.reg was accepted";
    std::string message = tp::takeErrorDetail();
    EXPECT_NE(message.find("system.reg"), std::string::npos) << message;
    EXPECT_NE(message.find(":"), std::string::npos) << message;
  }
  EXPECT_EQ(readFile(prefix_ / "system.reg"), text);
  EXPECT_EQ(readFile(prefix_ / "user.reg"), userBefore);
}

TEST_F(ProfileTest, HivesLoadUnloadAndSave) {
  auto profile = open();
  HKEY wine = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_ALL_ACCESS, &wine), ERROR_SUCCESS);
  fs::path saved = dir_ / "wine.hiv";
  ASSERT_EQ(RegSaveKeyA(wine, saved.c_str(), nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegSaveKeyA(wine, saved.c_str(), nullptr), ERROR_ALREADY_EXISTS);  // never written over
  RegCloseKey(wine);
  EXPECT_EQ(readFile(saved).rfind("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\\\\Software\\\\Wine\n", 0),
            0u);

  ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Loaded", saved.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Again", saved.c_str()), ERROR_SHARING_VIOLATION);
  fs::copy_file(saved, dir_ / "copy.hiv");
  EXPECT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Software", (dir_ / "copy.hiv").c_str()), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Loaded\\LicenseInformation", "Kernel-MUI-Language-Allowed"), "EMPTY");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\hivelist",
                       "\\REGISTRY\\MACHINE\\Loaded"),
            saved.string());

  // Saving the machine hive leaves the mounted one out.
  HKEY wineKey = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_ALL_ACCESS, &wineKey), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(wineKey, "Mark", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(wineKey), ERROR_SUCCESS);
  RegCloseKey(wineKey);
  std::string system = readFile(prefix_ / "system.reg");
  EXPECT_NE(system.find("\"Mark\"=\"1\""), std::string::npos);
  EXPECT_EQ(system.find("[Loaded"), std::string::npos);
  EXPECT_EQ(system.find("\"\\\\REGISTRY\\\\"), std::string::npos);  // no hive list values
  EXPECT_EQ(system.find("Brenhollow"), std::string::npos);

  // Hives hang only directly below HKLM and HKU.
  HKEY software = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &software), ERROR_SUCCESS);
  EXPECT_EQ(RegLoadKeyA(software, "Deeper", saved.c_str()), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Software"), ERROR_INVALID_PARAMETER);
  RegCloseKey(software);

  // A change inside is written back when the hive is unloaded, which waits
  // until no handle is open inside it.
  HKEY inside = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Loaded\\Ports", 0, KEY_ALL_ACCESS, &inside), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(inside, "COM9", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
  EXPECT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Loaded"), ERROR_ACCESS_DENIED);
  RegCloseKey(inside);
  ASSERT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Loaded"), ERROR_SUCCESS);
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Loaded\\Ports", "COM9"), "<no key>");
  EXPECT_NE(readFile(saved).find("\"COM9\"=\"x\""), std::string::npos);
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\hivelist",
                       "\\REGISTRY\\MACHINE\\Loaded"),
            "<no value>");

  // A damaged hive is refused with its place, and nothing is mounted.
  fs::path bad = dir_ / "bad.hiv";
  talmoor::test::writeFile(bad, "WINE REGISTRY Version 2\n\n[Key] 1\n\"v\"=dword:12\n");
  tp::clearErrorDetail();
  EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "Bad", bad.c_str()), ERROR_BADDB);
  std::string detail = tp::takeErrorDetail();
  EXPECT_NE(detail.find("bad.hiv:4"), std::string::npos) << detail;
  HKEY none = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Bad", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "Gone", (dir_ / "missing.hiv").c_str()), ERROR_FILE_NOT_FOUND);
  // Windows paths reach files through the prefix's drives.
  EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "Gone", "Q:\\nothing.hiv"), ERROR_PATH_NOT_FOUND);
}

TEST_F(ProfileTest, APrefixWhoseWineServerRunsIsOpenedReadOnly) {
  struct stat info {};
  ASSERT_EQ(::stat(prefix_.c_str(), &info), 0);
  fs::path folder = fs::path("/tmp") / fmt::format(".wine-{}", ::getuid()) /
                    fmt::format("server-{:x}-{:x}", static_cast<unsigned long long>(info.st_dev),
                                static_cast<unsigned long long>(info.st_ino));
  fs::create_directories(folder);
  fs::path lock = folder / "lock";
  { std::ofstream(lock.string()); }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t server = ::fork();
  if (server == 0) {  // stands for the Wine server: holds the lock until killed
    int fd = ::open(lock.c_str(), O_RDWR);
    struct flock hold {};
    hold.l_type = F_WRLCK;
    hold.l_whence = SEEK_SET;
    ::fcntl(fd, F_SETLK, &hold);
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char byte;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  std::string before = readFile(prefix_ / "system.reg");
  {
    auto profile = open();
    EXPECT_TRUE(profile->readOnly);
    ASSERT_FALSE(profile->warnings.empty());
    EXPECT_NE(profile->warnings[0].find("read-only"), std::string::npos);
    HKEY key = 0;
    tp::clearErrorDetail();
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_NE(tp::takeErrorDetail().find("Wine server"), std::string::npos);
    EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild"),
              "7601");
  }
  ::kill(server, SIGKILL);
  ::waitpid(server, nullptr, 0);
  // The server left its lock file behind, held by nobody: no server runs.
  EXPECT_FALSE(open()->readOnly);
  fs::remove_all(folder);
  EXPECT_EQ(readFile(prefix_ / "system.reg"), before);
}

TEST(StoreProfile, TheDefaultStoreIsCreatedWithEmptyHives) {
  TempDir dir;
  tp::ProfileOptions options;
  options.settingsFile = dir / "settings.reg";
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::setenv("HOME", (dir / "home").c_str(), 1);
  ::unsetenv("WINEPREFIX");
  auto profile = talmoor::test::openTestProfile(options);
  tp::ThreadContextScope working({profile, nullptr});
  EXPECT_EQ(profile->prefix, dir / "data" / "talmoor" / "registry");
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"})
    EXPECT_TRUE(fs::exists(profile->prefix / name)) << name;
  HKEY classes = 0;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &classes), ERROR_SUCCESS);
  RegCloseKey(classes);
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Mine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

// Files the Windows way over a profile's drives: the search along the system
// path, existence, 8.3 names, and host paths named back as Windows paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/files/windows_files.h"
#include "platform/win32_errors.h"
#include "verify/verify_test_support.h"

namespace talmoor::platform {
namespace {

using verify::verifytest::Drives;

class WindowsFilesTest : public ::testing::Test {
 protected:
  std::string resolvedPath(std::string_view name) const {
    auto found = resolveFile(name, files_.environment, files_.drives);
    return found ? found->name + " @ " + found->fullPath : "(none)";
  }

  Drives files_;
};

TEST_F(WindowsFilesTest, BareNamesAreSearchedAlongThePathAsWrittenFirstThenWithEachDefaultExtension) {
  files_.file("C:\\Windows\\system32\\notepad.exe");
  files_.file("C:\\Windows\\notepad.exe");
  // The first folder of the path that holds the name wins.
  EXPECT_EQ(resolvedPath("notepad"), "notepad.exe @ C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(resolvedPath("notepad.exe"), "notepad.exe @ C:\\Windows\\system32\\notepad.exe");
  // The name as written is looked for in every folder before any extension
  // is added to it.
  files_.file("C:\\Windows\\notepad");
  EXPECT_EQ(resolvedPath("notepad"), "notepad @ C:\\Windows\\notepad");

  // .exe, then .com, then .dll.
  files_.file("C:\\Windows\\tool.dll");
  files_.file("C:\\Windows\\system32\\tool.com");
  EXPECT_EQ(resolvedPath("tool"), "tool.com @ C:\\Windows\\system32\\tool.com");
  files_.file("C:\\Windows\\tool.exe");
  EXPECT_EQ(resolvedPath("tool"), "tool.exe @ C:\\Windows\\tool.exe");
  EXPECT_EQ(resolvedPath("tool.dll"), "tool.dll @ C:\\Windows\\tool.dll");

  // The drivers and fonts folders follow the path; case does not matter.
  files_.file("C:\\Windows\\system32\\drivers\\beep.sys");
  files_.file("C:\\Windows\\Fonts\\tahoma.ttf");
  EXPECT_EQ(resolvedPath("beep.sys"), "beep.sys @ C:\\Windows\\system32\\Drivers\\beep.sys");
  EXPECT_EQ(resolvedPath("TAHOMA.TTF"), "TAHOMA.TTF @ C:\\Windows\\Fonts\\TAHOMA.TTF");
  EXPECT_EQ(resolvedPath("absent"), "(none)");
  EXPECT_EQ(resolvedPath(""), "(none)");
}

TEST_F(WindowsFilesTest, PathsAreLookedAtWhereTheySay) {
  files_.file("C:\\Windows\\system32\\notepad.exe");
  files_.file("D:\\Tools\\notepad.txt");
  // A drive path is not searched for along the path, but still gets the
  // default extensions.
  EXPECT_EQ(resolvedPath("C:\\Windows\\system32\\notepad"),
            "C:\\Windows\\system32\\notepad.exe @ C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(resolvedPath("D:\\Tools\\notepad.exe"), "(none)");
  EXPECT_EQ(resolvedPath("D:\\Tools\\notepad.txt"), "D:\\Tools\\notepad.txt @ D:\\Tools\\notepad.txt");
  // From the root of the system drive.
  EXPECT_EQ(resolvedPath("\\Windows\\system32\\notepad.exe"),
            "\\Windows\\system32\\notepad.exe @ C:\\Windows\\system32\\notepad.exe");
  // As the system's search does, folders count.
  EXPECT_EQ(resolvedPath("C:\\Windows"), "C:\\Windows @ C:\\Windows");
  EXPECT_EQ(resolvedPath("system32"), "system32 @ C:\\Windows\\system32");
  // Network and device paths name nothing on the drives; nor does an
  // unmapped drive.
  EXPECT_EQ(resolvedPath("\\\\server\\share\\notepad.exe"), "(none)");
  EXPECT_EQ(resolvedPath("E:\\notepad.exe"), "(none)");
}

TEST_F(WindowsFilesTest, WithoutAPathVariableTheWindowsFoldersAreSearched) {
  files_.environment.remove("Path");
  files_.file("C:\\Windows\\regedit.exe");
  files_.file("C:\\Windows\\system32\\msvcrt.dll");
  EXPECT_EQ(systemSearchPath(files_.environment),
            "C:\\Windows\\system32;C:\\Windows;C:\\Windows\\system32\\Drivers;C:\\Windows\\Fonts");
  EXPECT_EQ(resolvedPath("regedit"), "regedit.exe @ C:\\Windows\\regedit.exe");
  EXPECT_EQ(resolvedPath("msvcrt"), "msvcrt.dll @ C:\\Windows\\system32\\msvcrt.dll");
  // Folders of the path without a drive are passed over.
  files_.environment.set("Path", ".;relative\\bin;D:\\Bin");
  files_.file("D:\\Bin\\tool.exe");
  EXPECT_EQ(resolvedPath("tool"), "tool.exe @ D:\\Bin\\tool.exe");
}

TEST_F(WindowsFilesTest, ExistenceWithQuotesTrailingBackslashesAndTheErrorsOfWhatIsAbsent) {
  files_.file("C:\\Windows\\system32\\notepad.exe");
  const DriveMap& drives = files_.drives;
  for (std::string_view path : {"C:\\Windows\\system32\\notepad.exe", "c:\\WINDOWS\\System32\\NOTEPAD.EXE",
                                "\"C:\\Windows\\system32\\notepad.exe\"", "C:\\Windows\\", "C:\\"})
    EXPECT_TRUE(fileExists(path, drives)) << path;

  DWORD attributes = 0;
  LONG error = -1;
  ASSERT_TRUE(fileExists("C:\\Windows", drives, &attributes, &error));
  EXPECT_EQ(error, ERROR_SUCCESS);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  ASSERT_TRUE(fileExists("C:\\Windows\\system32\\notepad.exe", drives, &attributes));
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  using namespace std::string_view_literals;
  for (auto [path, expected] : std::vector<std::pair<std::string_view, LONG>>{
           {"C:\\Windows\\system32\\notepad.exe\\", ERROR_FILE_NOT_FOUND},
           {"C:\\Windows\\system32\\gone.exe", ERROR_FILE_NOT_FOUND},
           {"C:\\Gone\\gone.exe", ERROR_PATH_NOT_FOUND},
           {"E:\\anything.exe", ERROR_PATH_NOT_FOUND},
           {"\\\\server\\share\\x.exe", ERROR_BAD_NETPATH},
           {"C:\\Windows\\*.exe", ERROR_BAD_PATHNAME},
           {"notepad.exe", ERROR_BAD_PATHNAME},
           {"C:\\Windows\\system32\\\0"sv, ERROR_BAD_PATHNAME}}) {  // a NUL in the path
    error = ERROR_SUCCESS;
    EXPECT_FALSE(fileExists(path, drives, nullptr, &error)) << path;
    EXPECT_EQ(error, expected) << path;
  }
}

TEST_F(WindowsFilesTest, ShortPathsNameEachLongComponentIn83Form) {
  files_.file("C:\\Program Files\\App\\app.exe");
  files_.file("C:\\Program Files\\Long Folder Name\\Read Me First.txt");
  files_.file("C:\\Program Files (x86)\\Tool\\tool.exe");
  files_.folder("C:\\ProgramData");
  const DriveMap& drives = files_.drives;
  EXPECT_EQ(shortPathName("C:\\Program Files\\App\\app.exe", drives), "C:\\PROGRA~1\\App\\app.exe");
  EXPECT_EQ(shortPathName("C:\\Program Files (x86)\\Tool\\tool.exe", drives), "C:\\PROGRA~2\\Tool\\tool.exe");
  EXPECT_EQ(shortPathName("C:\\ProgramData", drives), "C:\\PROGRA~3");
  EXPECT_EQ(shortPathName("C:\\Program Files\\Long Folder Name\\Read Me First.txt", drives),
            "C:\\PROGRA~1\\LONGFO~1\\README~1.TXT");
  EXPECT_EQ(shortPathName("C:\\Program Files\\", drives), "C:\\PROGRA~1\\");
  EXPECT_EQ(shortPathName("C:\\", drives), "C:\\");
  // Names that already are 8.3 names stay as they are; case is the disk's.
  files_.file("C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(shortPathName("C:\\Windows\\system32\\notepad.exe", drives), "C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(shortPathName("C:\\PROGRAM FILES\\APP\\APP.EXE", drives), "C:\\PROGRA~1\\App\\app.exe");
  // Only existing paths have a short form.
  EXPECT_EQ(shortPathName("C:\\Program Files\\App\\gone.exe", drives), std::nullopt);
  EXPECT_EQ(shortPathName("E:\\Program Files", drives), std::nullopt);
}

TEST_F(WindowsFilesTest, ShortNamesOfOneFolderAreValidAndDistinct) {
  const std::vector<std::string> folder = {"Program Files", "Program Files (x86)", "ProgramData"};
  EXPECT_EQ(shortNameIn("Program Files", folder), "PROGRA~1");
  EXPECT_EQ(shortNameIn("Program Files (x86)", folder), "PROGRA~2");
  EXPECT_EQ(shortNameIn("ProgramData", folder), "PROGRA~3");
  EXPECT_EQ(shortNameIn("readme.txt", {"readme.txt"}), "readme.txt");
  EXPECT_EQ(shortNameIn("archive.tar.gz", {"archive.tar.gz"}), "ARCHIV~1.GZ");
  EXPECT_EQ(shortNameIn("My Document.html", {"My Document.html"}), "MYDOCU~1.HTM");
  EXPECT_EQ(shortNameIn("a+b.txt", {"a+b.txt"}), "A_B~1.TXT");
  EXPECT_EQ(shortNameIn(".profile", {".profile"}), "PROFIL~1");

  // Many long names sharing their first six characters.
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.push_back("Common Files " + std::to_string(100 + i) + ".dat");
  std::set<std::string> names;
  for (const auto& name : many) {
    std::string shortName = shortNameIn(name, many);
    auto dot = shortName.find('.');
    EXPECT_LE(dot, 8u) << shortName;
    EXPECT_EQ(shortName.substr(dot), ".DAT") << shortName;
    names.insert(shortName);
  }
  EXPECT_EQ(names.size(), many.size());
  EXPECT_TRUE(names.count("COMMON~1.DAT") && names.count("COMMO~10.DAT") && names.count("COMMO~30.DAT"));
}

TEST_F(WindowsFilesTest, HostPathsAreNamedByTheDriveThatHoldsThemMostClosely) {
  DriveMap drives = files_.drives;
  drives.setDrive('Z', "/");
  EXPECT_EQ(windowsPathOf(files_.host("C:\\Windows\\system32"), drives), "C:\\Windows\\system32");
  EXPECT_EQ(windowsPathOf(files_.host("D:\\x\\y.dll"), drives), "D:\\x\\y.dll");
  EXPECT_EQ(windowsPathOf(*drives.drive('C'), drives), "C:\\");
  EXPECT_EQ(windowsPathOf("/usr/lib", drives), "Z:\\usr\\lib");
  EXPECT_EQ(windowsPathOf("/usr/lib", files_.drives), std::nullopt);
}

}  // namespace
}  // namespace talmoor::platform

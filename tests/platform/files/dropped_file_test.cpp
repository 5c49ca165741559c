// Files dropped on the key tree: what each kind becomes, a shortcut built by
// hand in the Shell Link layout, and files that must not become values.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/files/dropped_file.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;
using namespace talmoor::platform;

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value, int width = 4) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A shortcut to C:\Windows\notepad.exe with arguments, its strings in UTF-16.
std::vector<std::uint8_t> shortcut(bool withArguments) {
  std::vector<std::uint8_t> link;
  putWord(link, 0x4C);
  for (std::uint8_t b : {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46})
    link.push_back(b);
  putWord(link, 0x1 | 0x2 | 0x80 | (withArguments ? 0x20 : 0));  // an ID list, LinkInfo, Unicode
  link.resize(0x4C, 0);
  putWord(link, 4, 2);  // an ID list of four bytes that is skipped
  putWord(link, 0);
  const std::string path = "C:\\Windows\\notepad.exe";
  const std::uint32_t header = 28;
  const std::uint32_t size = header + static_cast<std::uint32_t>(path.size()) + 1 + 1;
  putWord(link, size);
  putWord(link, header);
  putWord(link, 1);  // the local path is there
  putWord(link, 0);  // no volume id read here
  putWord(link, header);
  putWord(link, 0);
  putWord(link, header + static_cast<std::uint32_t>(path.size()) + 1);  // an empty common suffix
  link.insert(link.end(), path.begin(), path.end());
  link.push_back(0);
  link.push_back(0);
  if (withArguments) {
    const std::u16string arguments = u"/p readme.txt";
    putWord(link, static_cast<std::uint32_t>(arguments.size()), 2);
    for (char16_t c : arguments) putWord(link, c, 2);
  }
  return link;
}

fs::path write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
  return file;
}

TEST(DroppedFiles, ShortcutsAndDesktopEntriesBecomeTheCommandsTheyStart) {
  EXPECT_EQ(shellLinkCommand(shortcut(true)), "C:\\Windows\\notepad.exe /p readme.txt");
  EXPECT_EQ(shellLinkCommand(shortcut(false)), "C:\\Windows\\notepad.exe");
  // Cut anywhere, a shortcut is refused or read within its bytes.
  const auto whole = shortcut(true);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    auto read = shellLinkCommand(std::span(whole).first(cut));
    if (read) EXPECT_EQ(read->rfind("C:\\Windows\\notepad.exe", 0), 0u);
  }
  EXPECT_FALSE(shellLinkCommand(std::vector<std::uint8_t>(0x4C, 0)));

  EXPECT_EQ(desktopEntryCommand("[Desktop Entry]\nName=Edit\nExec=gedit --new-window %U\n[Desktop Action x]\nExec=no\n"),
            "gedit --new-window");
  EXPECT_EQ(desktopEntryCommand("[Desktop Entry]\r\nType=Link\r\nURL=https://www.winehq.org/\r\n"),
            "https://www.winehq.org/");
  EXPECT_EQ(desktopEntryCommand("[Desktop Entry]\nExec=printf 100%%\n"), "printf 100%");
  EXPECT_FALSE(desktopEntryCommand("[Other]\nExec=nothing\n"));

  talmoor::test::TempDir dir;
  const std::string bytes(whole.begin(), whole.end());
  std::string problem;
  auto dropped = readDroppedFile(write(dir.path() / "Notepad.lnk", bytes), problem);
  ASSERT_TRUE(dropped) << problem;
  EXPECT_EQ(dropped->kind, DroppedFileKind::Shortcut);
  EXPECT_EQ(dropped->valueName, "Notepad");
  EXPECT_EQ(dropped->text, "C:\\Windows\\notepad.exe /p readme.txt");
}

TEST(DroppedFiles, HivesAndScriptsAreToldByTheirBytesAndLargeFilesAreRefused) {
  talmoor::test::TempDir dir;
  std::string problem;
  auto hive = readDroppedFile(write(dir.path() / "anything.dat", "WINE REGISTRY Version 2\n"), problem);
  ASSERT_TRUE(hive);
  EXPECT_EQ(hive->kind, DroppedFileKind::Hive);
  auto regf = readDroppedFile(write(dir.path() / "NTUSER", std::string("regf") + std::string(60, '\0')), problem);
  ASSERT_TRUE(regf);
  EXPECT_EQ(regf->kind, DroppedFileKind::Hive);
  auto script = readDroppedFile(write(dir.path() / "settings.txt", "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n"), problem);
  ASSERT_TRUE(script);
  EXPECT_EQ(script->kind, DroppedFileKind::RegistryScript);

  // Any other file's bytes, NULs included, under its own name.
  const std::string data("\0\1\2binary\0", 10);
  auto other = readDroppedFile(write(dir.path() / "blob.bin", data), problem);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->kind, DroppedFileKind::Other);
  EXPECT_EQ(other->valueName, "blob.bin");
  EXPECT_EQ(std::string(other->bytes.begin(), other->bytes.end()), data);

  const fs::path large = dir.path() / "large.bin";
  { std::ofstream(large, std::ios::binary).seekp(kMaxDroppedFileSize) << 'x'; }
  EXPECT_FALSE(readDroppedFile(large, problem));
  EXPECT_NE(problem.find("8,024,000"), std::string::npos) << problem;
  EXPECT_FALSE(readDroppedFile(dir.path() / "missing", problem));
}

}  // namespace

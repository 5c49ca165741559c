// A language-neutral module and its language resource files built by a real
// resource compiler and linker (mingw-w64's windres and ld), not by our own
// test builder: the string tables and the "MUI" resource configuration are
// read from what a toolchain lays out. Skips where the toolchain is missing.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/module_search.h"
#include "platform/files/pe_resources.h"
#include "support/corpus.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
namespace tt = talmoor::test;

constexpr const char* kWindres = "x86_64-w64-mingw32-windres";
constexpr const char* kLinker = "x86_64-w64-mingw32-ld";

bool toolchainPresent() {
  return tt::runProcess({kWindres, "--version"}).exitCode == 0 && tt::runProcess({kLinker, "--version"}).exitCode == 0;
}

// The resource configuration as resource-compiler data (DWORDs): the fixed
// part with both checksums made of `checksum`, then the language name.
std::string muiBlock(std::uint32_t checksum, std::uint32_t fileType, std::u16string language) {
  language.push_back(u'\0');
  if (language.size() % 2) language.push_back(u'\0');
  const std::uint32_t fixedPart = 132;
  std::vector<std::uint32_t> words(fixedPart / 4);
  words[0] = 0xFECDFECD;
  words[1] = fixedPart + static_cast<std::uint32_t>(2 * language.size());
  words[2] = 0x10000;
  words[4] = fileType;
  for (int i = 0; i < 8; ++i) words[7 + i] = checksum;  // service checksum, then checksum
  words[29] = fixedPart;
  words[30] = static_cast<std::uint32_t>(2 * language.size());
  for (std::size_t i = 0; i < language.size(); i += 2) words.push_back(language[i] | std::uint32_t{language[i + 1]} << 16);
  std::string text = "1 MUI\nBEGIN\n";
  for (std::size_t i = 0; i < words.size(); ++i)
    text += fmt::format("  0x{:08x}L{}\n", words[i], i + 1 < words.size() ? "," : "");
  return text + "END\n";
}

class MuiToolchainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!toolchainPresent()) GTEST_SKIP() << "no mingw-w64 windres and ld";
    drives_.setDrive('C', dir_.path());
    env_.set("SystemRoot", "C:\\Windows");
  }

  // Compiles `rc` and links it into a resource-only DLL at `file`.
  void build(const fs::path& file, const std::string& rc) {
    fs::create_directories(file.parent_path());
    const fs::path source = dir_ / "resources.rc", object = dir_ / "resources.o";
    tt::writeFile(source, rc);
    auto compiled = tt::runProcess({kWindres, "--preprocessor=cpp", "-i", source.string(), "-O", "coff", "-o",
                                    object.string()});
    ASSERT_EQ(compiled.exitCode, 0) << compiled.err;
    auto linked = tt::runProcess({kLinker, "--dll", "-e", "0", "-o", file.string(), object.string()});
    ASSERT_EQ(linked.exitCode, 0) << linked.err;
  }

  static std::string stringTable(const char* language, const std::string& entries) {
    return fmt::format("LANGUAGE {}\nSTRINGTABLE\nBEGIN\n{}END\n", language, entries);
  }

  fs::path system32() const { return dir_.path() / "Windows" / "System32"; }
  std::optional<std::string> load(unsigned id, std::vector<std::string> languages) {
    return tp::loadIndirectString("%SystemRoot%\\system32\\events.dll", id, env_, drives_, std::move(languages));
  }

  tt::TempDir dir_;
  tp::DriveMap drives_;
  tp::WindowsEnvironment env_;
};

TEST_F(MuiToolchainTest, TextsHeldOnlyInTheLanguageFilesResolveInTheLanguagesOrder) {
  // The module holds no strings: as on Windows, they are all in its .mui files.
  build(system32() / "events.dll", "LANGUAGE 0, 0\n" + muiBlock(0x5EED0001, 0x11, u""));
  build(system32() / "en-US" / "events.dll.mui",
        stringTable("0x09, 0x01", "  200 \"Windows Event Log\"\n  201 \"Keeps the events\"\n") +
            muiBlock(0x5EED0001, 0x12, u"en-US"));
  build(system32() / "de-DE" / "events.dll.mui",
        stringTable("0x07, 0x01", "  200 \"Windows-Ereignisprotokoll\"\n") + muiBlock(0x5EED0001, 0x12, u"de-DE"));
  // Another build's French file.
  build(system32() / "fr-FR" / "events.dll.mui",
        stringTable("0x0C, 0x01", "  200 \"Journal d'une autre version\"\n") + muiBlock(0x0BAD0002, 0x12, u"fr-FR"));

  auto german = tp::readModuleTexts(system32() / "de-DE" / "events.dll.mui", 0x407);
  ASSERT_TRUE(german && german->configuration);
  EXPECT_EQ(german->configuration->language, u"de-DE");
  EXPECT_EQ(german->configuration->fileType, 0x12u);
  EXPECT_EQ(german->strings.at(200), u"Windows-Ereignisprotokoll");

  EXPECT_EQ(load(200, {"en-US"}), "Windows Event Log");
  EXPECT_EQ(load(200, {"de-DE", "en-US"}), "Windows-Ereignisprotokoll");
  EXPECT_EQ(load(201, {"de-DE", "en-US"}), "Keeps the events");
  EXPECT_EQ(load(200, {"fr-FR", "en-US"}), "Windows Event Log");  // the French file belongs to another build
  EXPECT_EQ(load(202, {"de-DE", "en-US"}), std::nullopt);
  // Without its language files, the module itself has nothing to show.
  fs::remove_all(system32() / "en-US");
  EXPECT_EQ(load(201, {"en-US"}), std::nullopt);
}

}  // namespace

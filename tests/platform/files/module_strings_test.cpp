// Texts of modules split into a language-neutral module and language
// resource files (system32\de-DE\x.dll.mui), as on a real Windows
// installation: which file a string comes from, which files are refused, the
// languages a profile's registry names, and what the cache keeps.

#include <gtest/gtest.h>
#include <fmt/format.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "platform/files/module_search.h"
#include "platform/files/module_strings.h"
#include "platform/files/pe_resources.h"
#include "platform/registry/registry_profile.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/ui_languages.h"
#include "platform/thread_context.h"
#include "support/corpus.h"
#include "support/pe_builder.h"
#include "support/test_registry.h"

namespace {

namespace fs = std::filesystem;
namespace tp = talmoor::platform;
namespace tt = talmoor::test;

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(file.parent_path());
  tt::writeFile(file, std::string(bytes.begin(), bytes.end()));
}

// A module with its own texts and a resource configuration of `checksum`.
std::vector<std::uint8_t> mainModule(std::uint8_t checksum, std::map<unsigned, std::u16string> strings) {
  auto resources = tt::stringResources(strings, 0x409);
  resources.push_back(tt::muiResource(checksum, tt::kMainModuleFile, u""));
  return tt::buildPeModule(resources);
}

std::vector<std::uint8_t> languageFile(std::uint8_t checksum, std::uint16_t language, std::u16string name,
                                       std::map<unsigned, std::u16string> strings) {
  auto resources = tt::stringResources(strings, language);
  resources.push_back(tt::muiResource(checksum, tt::kLanguageResourceFile, std::move(name)));
  return tt::buildPeModule(resources);
}

// C: is a temporary folder holding Windows\System32.
class ModuleStringsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drives_.setDrive('C', dir_.path());
    env_.set("SystemRoot", "C:\\Windows");
    writeBytes(system32() / "events.dll", mainModule(7, {{5, u"Own text"}}));
    writeBytes(system32() / "en-US" / "events.dll.mui",
               languageFile(7, 0x409, u"en-US", {{200, u"Event Log"}, {201, u"Keeps the events"}}));
    writeBytes(system32() / "de-DE" / "events.dll.mui", languageFile(7, 0x407, u"de-DE", {{200, u"Ereignisprotokoll"}}));
  }

  fs::path system32() const { return dir_.path() / "Windows" / "System32"; }
  std::optional<std::string> load(std::string_view module, unsigned id, std::vector<std::string> languages) {
    return tp::loadIndirectString(module, id, env_, drives_, std::move(languages));
  }

  tt::TempDir dir_;
  tp::DriveMap drives_;
  tp::WindowsEnvironment env_;
};

TEST_F(ModuleStringsTest, TextsComeFromTheFirstLanguageFileHoldingThemThenTheModule) {
  EXPECT_EQ(load("%SystemRoot%\\system32\\events.dll", 200, {"en-US"}), "Event Log");
  EXPECT_EQ(load("events.dll", 200, {"de-DE", "en-US"}), "Ereignisprotokoll");
  EXPECT_EQ(load("events.dll", 200, {"fr-FR", "en-US"}), "Event Log");  // no French file
  // A text the first language's file lacks comes from the next.
  EXPECT_EQ(load("events.dll", 201, {"de-DE", "en-US"}), "Keeps the events");
  // The module's own table comes last, and still counts.
  EXPECT_EQ(load("events.dll", 5, {"de-DE", "en-US"}), "Own text");
  EXPECT_EQ(load("events.dll", 6, {"de-DE", "en-US"}), std::nullopt);
  // A module holding several languages itself (as Wine's do) shows the first.
  auto both = tt::stringResources({{1, u"Cancel"}}, 0x409);
  for (auto& resource : tt::stringResources({{1, u"Abbrechen"}}, 0x407)) both.push_back(resource);
  writeBytes(system32() / "both.dll", tt::buildPeModule(both));
  EXPECT_EQ(load("both.dll", 1, {"de-DE", "en-US"}), "Abbrechen");
  EXPECT_EQ(load("both.dll", 1, {"fr-FR", "en-US"}), "Cancel");
  // Folder and file names are matched without regard to case, as Windows does.
  fs::rename(system32() / "de-DE", system32() / "DE-de");
  fs::rename(system32() / "DE-de" / "events.dll.mui", system32() / "DE-de" / "EVENTS.DLL.MUI");
  EXPECT_EQ(load("EVENTS.dll", 200, {"de-DE"}), "Ereignisprotokoll");
  // Without the module, the loader has nothing to find resource files for.
  fs::remove(system32() / "events.dll");
  EXPECT_EQ(load("events.dll", 200, {"en-US"}), std::nullopt);
}

TEST_F(ModuleStringsTest, ResourceFilesOfAnotherBuildOrHostileLanguageNamesAreNotUsed) {
  // Another build's German file: its checksum is not the module's.
  writeBytes(system32() / "de-DE" / "events.dll.mui", languageFile(9, 0x407, u"de-DE", {{200, u"Alt"}}));
  EXPECT_EQ(load("events.dll", 200, {"de-DE", "en-US"}), "Event Log");
  // Nor is a file without a configuration, when the module has one.
  writeBytes(system32() / "de-DE" / "events.dll.mui", tt::buildPeModule(tt::stringResources({{200, u"Alt"}}, 0x407)));
  EXPECT_EQ(load("events.dll", 200, {"de-DE", "en-US"}), "Event Log");
  // A module without a configuration cannot be checked against: its files count.
  writeBytes(system32() / "plain.dll", tt::buildPeModule(tt::stringResources({{1, u"Plain"}}, 0x409)));
  writeBytes(system32() / "de-DE" / "plain.dll.mui", languageFile(3, 0x407, u"de-DE", {{1, u"Schlicht"}}));
  EXPECT_EQ(load("plain.dll", 1, {"de-DE"}), "Schlicht");
  // A language list is never a way out of the module's folder.
  writeBytes(dir_.path() / "Windows" / "events.dll.mui", languageFile(7, 0x409, u"", {{200, u"Escaped"}}));
  EXPECT_EQ(load("events.dll", 200, {"..", "", "en-US"}), "Event Log");
  // A resource file that is no module is passed over.
  writeBytes(system32() / "fr-FR" / "events.dll.mui", std::vector<std::uint8_t>(200, 'M'));
  EXPECT_EQ(load("events.dll", 200, {"fr-FR", "en-US"}), "Event Log");
}

TEST_F(ModuleStringsTest, TheCacheOpensEachModuleOnceAndKnowsWhatIsMissing) {
  tp::ModuleStringCache cache({"de-DE", "en-US"});
  EXPECT_EQ(cache.find("events.dll", 201, env_, drives_), u"Keeps the events");
  EXPECT_EQ(cache.find("nothere.dll", 1, env_, drives_), std::nullopt);
  // What was read stays: the files can go (a walk meets the module thousands
  // of times), and a module missing then stays missing.
  fs::remove_all(system32());
  writeBytes(system32() / "nothere.dll", mainModule(1, {{1, u"Late"}}));
  EXPECT_EQ(cache.find("%SystemRoot%\\System32\\events.dll", 200, env_, drives_), std::nullopt);  // another name
  EXPECT_EQ(cache.find("Events.DLL", 200, env_, drives_), u"Ereignisprotokoll");
  EXPECT_EQ(cache.find("nothere.dll", 1, env_, drives_), std::nullopt);
  // A fresh cache reads afresh.
  EXPECT_EQ(tp::ModuleStringCache({"en-US"}).find("nothere.dll", 1, env_, drives_), u"Late");
}

TEST(ModuleTexts, TheWholeTableAndTheResourceConfigurationAreReadWithTheirBounds) {
  std::map<unsigned, std::u16string> strings = {{0, u"zero"}, {15, u"fifteen"}, {16, u"sixteen"}, {0xFFFF, u"last"}};
  auto module = tt::buildPeModule([&] {
    auto resources = tt::stringResources(strings, 0x409);
    resources.push_back(tt::muiResource(0xAB, tt::kLanguageResourceFile, u"sr-Latn-RS"));
    return resources;
  }());
  auto texts = tp::readModuleTexts(module);
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->strings, strings);
  ASSERT_TRUE(texts->configuration);
  EXPECT_EQ(texts->configuration->fileType, tt::kLanguageResourceFile);
  EXPECT_EQ(texts->configuration->checksum[0], 0xAB);
  EXPECT_EQ(texts->configuration->checksum[15], 0xAB);
  EXPECT_EQ(texts->configuration->language, u"sr-Latn-RS");

  // A configuration with another signature, or cut before its checksum, is none;
  // a language name pointing outside its data is left empty.
  auto configured = [](std::vector<std::uint8_t> data) {
    auto image = tt::buildPeModule({{0, 1, 0x409, std::move(data), u"mui"}});
    return tp::readModuleTexts(image)->configuration;
  };
  auto data = tt::muiConfiguration(1, tt::kMainModuleFile, u"en-US");
  EXPECT_TRUE(configured(data));  // the type name is matched without regard to case
  auto wrongSignature = data;
  wrongSignature[0] ^= 1;
  EXPECT_FALSE(configured(wrongSignature));
  EXPECT_FALSE(configured({data.begin(), data.begin() + 59}));
  auto outside = data;
  outside[118] = 0x7F;  // language offset far past the end
  ASSERT_TRUE(configured(outside));
  EXPECT_EQ(configured(outside)->language, u"");
  // A block numbered 0 (holding no ids) is passed over; not a PE image is nothing.
  auto zeroBlock = tt::buildPeModule({{6, 0, 0x409, tt::stringBlock({{0, u"nowhere"}})}});
  EXPECT_TRUE(tp::readModuleTexts(zeroBlock)->strings.empty());
  EXPECT_FALSE(tp::readModuleTexts(std::vector<std::uint8_t>(64, 'M')));
}

// A REG_MULTI_SZ as a Wine registry file writes it: hex(7) of UTF-16LE.
std::string multiString(const std::u16string& joined) {
  std::string out = "hex(7):";
  for (char16_t unit : joined) out += fmt::format("{:02x},{:02x},", unit & 0xFF, unit >> 8);
  out.pop_back();
  return out;
}

TEST(UiLanguages, TheOrderTheRegistryGivesWithEachLanguageOnceAndOnlyLocaleNames) {
  tt::TempDir dir;
  auto open = [&] {
    tp::ProfileOptions options;
    options.prefix = dir.path();
    options.settingsFile = dir / "settings.reg";
    return tt::openTestProfile(options);
  };
  const std::string machineHeader = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
  const std::string userHeader =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
  tt::writeFile(dir / "system.reg", machineHeader);
  tt::writeFile(dir / "user.reg", userHeader);
  {
    auto profile = open();
    tp::ThreadContextScope working({profile, nullptr});
    EXPECT_EQ(tp::uiLanguagesFromRegistry(), std::vector<std::string>{"en-US"});  // nothing set: the fallback
  }

  const std::string control = "[System\\\\CurrentControlSet\\\\Control\\\\";
  tt::writeFile(dir / "system.reg", machineHeader + control + "Nls\\\\Language] 0\n" +
                                        "\"Default\"=\"0c0a\"\n\"InstallLanguage\"=\"0407\"\n\n" +
                                        // An installed language names its id; that name wins over the table's.
                                        control + "MUI\\\\UILanguages\\\\de-de] 0\n\"LCID\"=dword:00000407\n\n" +
                                        control + "MUI\\\\UILanguages\\\\nl-NL] 0\n\"Type\"=dword:00000000\n\n");
  tt::writeFile(dir / "user.reg", userHeader + "[Control Panel\\\\Desktop] 0\n\"PreferredUILanguages\"=" +
                                      multiString(std::u16string(u"fr-FR\0..\\..\\x\0FR-fr\0\0", 20)) + "\n\n");
  auto profile = open();
  tp::ThreadContextScope working({profile, nullptr});
  EXPECT_EQ(tp::uiLanguagesFromRegistry(), (std::vector<std::string>{"fr-FR", "es-ES", "de-de", "nl-NL", "en-US"}));
  // The profile reads them once, from its own registry, for its cache.
  EXPECT_EQ(profile->moduleStrings()->languages().front(), "fr-FR");
}

// A tree no compiler writes: every entry of a string directory as large as
// the format allows leads to one language directory just as large. Read
// naively that is tens of gigabytes and minutes of work; the reader must give
// up within its bound (the platform tests' time limit is the check) and still
// read what came before.
TEST(ModuleTexts, AHostileTreeCostsNoMoreThanTheBoundAllows) {
  constexpr std::uint32_t kEntries = 0xFFFF;  // of each kind: named and numbered
  std::vector<std::uint8_t> section;
  auto put32 = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) section[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const std::size_t root = 0, blocks = 24, languages = blocks + 16 + 8 * kEntries;
  const std::size_t data = languages + 16 + 16 * kEntries, block = data + 16;
  section.resize(block + 4);
  section[root + 14] = 1;  // one numbered entry: RT_STRING
  put32(root + 16, 6);
  put32(root + 20, 0x80000000u | blocks);
  section[blocks + 14] = section[blocks + 15] = 0xFF;
  for (std::size_t at : {languages + 12, languages + 14}) section[at] = section[at + 1] = 0xFF;
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    // Blocks 1..4096, then block 1 over and over; each to the same languages.
    put32(blocks + 16 + 8 * i, i < 0x1000 ? i + 1 : 1);
    put32(blocks + 20 + 8 * i, 0x80000000u | languages);
  }
  for (std::uint32_t i = 0; i < 2 * kEntries; ++i) {
    // Names, then languages no one asks for: each is scanned past.
    put32(languages + 16 + 8 * i, i < kEntries ? 0x80000000u : 0x1000 + i);
    put32(languages + 20 + 8 * i, static_cast<std::uint32_t>(data));
  }
  put32(data, tt::kPeSectionRva + static_cast<std::uint32_t>(block));
  put32(data + 4, 4);
  section[block] = 1;  // string 0: one unit, "A"
  section[block + 2] = 'A';
  auto image = tt::buildPeImage(section);

  auto texts = tp::readModuleTexts(image);
  ASSERT_TRUE(texts);
  EXPECT_LE(texts->strings.size(), 0x1000u);
  EXPECT_EQ(texts->strings.at(0), u"A");  // the first block was read before the bound
  EXPECT_EQ(tp::loadStringResource(image, 0), u"A");
}

// Threads of a search and the GUI thread meet the same modules at once.
TEST_F(ModuleStringsTest, ThreadsShareOneCache) {
  tp::ModuleStringCache cache({"de-DE", "en-US"});
  auto text = [](int i) { return u"Text " + std::u16string(1, static_cast<char16_t>(u'0' + i)); };
  for (int i = 0; i < 8; ++i) writeBytes(system32() / fmt::format("m{}.dll", i), mainModule(1, {{1, text(i)}}));
  std::vector<std::thread> threads;
  std::atomic<int> wrong = 0;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        int i = (round + t) % 8;
        if (cache.find(fmt::format("m{}.dll", i), 1, env_, drives_) != text(i)) ++wrong;
        if (cache.find("events.dll", 200, env_, drives_) != u"Ereignisprotokoll") ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(UiLanguages, NamesAndIdsOfLanguages) {
  EXPECT_EQ(tp::localeNameOf(0x0407), "de-DE");
  EXPECT_EQ(tp::localeNameOf(0x241A), "sr-Latn-RS");
  EXPECT_EQ(tp::localeNameOf(0x7F7F), std::nullopt);
  EXPECT_EQ(tp::languageIdOf("EN-gb"), 0x0809);
  EXPECT_TRUE(tp::isLocaleName("sr-Latn-RS"));
  for (const char* bad : {"", "-en", "en/US", "en US", "..", "en\\US"}) EXPECT_FALSE(tp::isLocaleName(bad)) << bad;
  EXPECT_FALSE(tp::isLocaleName(std::string(85, 'a')));
}

}  // namespace

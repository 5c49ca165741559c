#include "platform/text/ui_languages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "platform/registry/value_reading.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

constexpr const char* kDesktop = "Control Panel\\Desktop";
constexpr const char* kMuiCached = "Control Panel\\Desktop\\MuiCached";
constexpr const char* kMuiSettings = "System\\CurrentControlSet\\Control\\MUI\\Settings";
constexpr const char* kNlsLanguage = "System\\CurrentControlSet\\Control\\Nls\\Language";
constexpr const char* kUiLanguages = "System\\CurrentControlSet\\Control\\MUI\\UILanguages";
constexpr std::size_t kMaxLocaleName = 84;  // LOCALE_NAME_MAX_LENGTH without its terminator
// Far more than any user chooses; each language costs a folder lookup per
// module, so a hostile hive's list is cut here.
constexpr std::size_t kMaxLanguages = 32;

struct LanguageName {
  std::uint16_t id;
  std::string_view name;
};

// The languages of Windows' language packs and interface packs.
constexpr std::array kLanguageNames = std::to_array<LanguageName>({
    {0x0401, "ar-SA"},      {0x0402, "bg-BG"},      {0x0403, "ca-ES"},      {0x0404, "zh-TW"},
    {0x0405, "cs-CZ"},      {0x0406, "da-DK"},      {0x0407, "de-DE"},      {0x0408, "el-GR"},
    {0x0409, "en-US"},      {0x040B, "fi-FI"},      {0x040C, "fr-FR"},      {0x040D, "he-IL"},
    {0x040E, "hu-HU"},      {0x040F, "is-IS"},      {0x0410, "it-IT"},      {0x0411, "ja-JP"},
    {0x0412, "ko-KR"},      {0x0413, "nl-NL"},      {0x0414, "nb-NO"},      {0x0415, "pl-PL"},
    {0x0416, "pt-BR"},      {0x0418, "ro-RO"},      {0x0419, "ru-RU"},      {0x041A, "hr-HR"},
    {0x041B, "sk-SK"},      {0x041C, "sq-AL"},      {0x041D, "sv-SE"},      {0x041E, "th-TH"},
    {0x041F, "tr-TR"},      {0x0420, "ur-PK"},      {0x0421, "id-ID"},      {0x0422, "uk-UA"},
    {0x0423, "be-BY"},      {0x0424, "sl-SI"},      {0x0425, "et-EE"},      {0x0426, "lv-LV"},
    {0x0427, "lt-LT"},      {0x0429, "fa-IR"},      {0x042A, "vi-VN"},      {0x042B, "hy-AM"},
    {0x042D, "eu-ES"},      {0x042F, "mk-MK"},      {0x0436, "af-ZA"},      {0x0437, "ka-GE"},
    {0x0439, "hi-IN"},      {0x043E, "ms-MY"},      {0x043F, "kk-KZ"},      {0x0440, "ky-KG"},
    {0x0441, "sw-KE"},      {0x0442, "tk-TM"},      {0x0443, "uz-Latn-UZ"}, {0x0444, "tt-RU"},
    {0x0445, "bn-IN"},      {0x0446, "pa-IN"},      {0x0447, "gu-IN"},      {0x0448, "or-IN"},
    {0x0449, "ta-IN"},      {0x044A, "te-IN"},      {0x044B, "kn-IN"},      {0x044C, "ml-IN"},
    {0x044D, "as-IN"},      {0x044E, "mr-IN"},      {0x0450, "mn-MN"},      {0x0452, "cy-GB"},
    {0x0453, "km-KH"},      {0x0454, "lo-LA"},      {0x0456, "gl-ES"},      {0x045B, "si-LK"},
    {0x045E, "am-ET"},      {0x0461, "ne-NP"},      {0x0468, "ha-Latn-NG"}, {0x046A, "yo-NG"},
    {0x046E, "lb-LU"},      {0x0470, "ig-NG"},      {0x0481, "mi-NZ"},      {0x0491, "gd-GB"},
    {0x0804, "zh-CN"},      {0x0809, "en-GB"},      {0x080A, "es-MX"},      {0x0816, "pt-PT"},
    {0x081A, "sr-Latn-CS"}, {0x083C, "ga-IE"},      {0x0845, "bn-BD"},      {0x0C04, "zh-HK"},
    {0x0C0A, "es-ES"},      {0x0C0C, "fr-CA"},      {0x0C1A, "sr-Cyrl-CS"}, {0x101A, "hr-BA"},
    {0x141A, "bs-Latn-BA"}, {0x201A, "bs-Cyrl-BA"}, {0x241A, "sr-Latn-RS"}, {0x281A, "sr-Cyrl-RS"},
});

// "0409" as Nls\Language writes a language id.
std::optional<std::uint16_t> parseLanguageId(std::string_view text) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > 0xFFFF)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

class LanguageList {
 public:
  void add(std::string_view name) {
    if (!isLocaleName(name) || names_.size() >= kMaxLanguages) return;
    if (std::none_of(names_.begin(), names_.end(), [&](const std::string& known) { return equalsIgnoringAsciiCase(known, name); }))
      names_.emplace_back(name);
  }
  void addAll(HKEY root, const char* path, const char* value) {
    ScopedKey key = openForReading(root, path);
    if (!key) return;
    if (auto names = queryStrings(key.get(), value))
      for (const auto& name : *names) add(name);
  }
  std::vector<std::string> take() { return std::move(names_); }

 private:
  std::vector<std::string> names_;
};

// The installed languages with the ids their keys give, in enumeration order.
std::vector<std::pair<std::string, std::optional<DWORD>>> installedLanguages() {
  std::vector<std::pair<std::string, std::optional<DWORD>>> installed;
  ScopedKey key = openForReading(HKEY_LOCAL_MACHINE, kUiLanguages);
  if (!key) return installed;
  std::array<char, 256> name{};
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = RegEnumKeyExA(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;  // a name too long for a locale is none
    if (rc != ERROR_SUCCESS || installed.size() >= kMaxLanguages) break;
    std::string language(name.data(), length);
    ScopedKey languageKey = openForReading(key.get(), language.c_str());
    installed.emplace_back(language, languageKey ? queryDword(languageKey.get(), "LCID") : std::nullopt);
  }
  return installed;
}

}  // namespace

std::optional<std::string> localeNameOf(std::uint16_t languageId) {
  for (const auto& entry : kLanguageNames)
    if (entry.id == languageId) return std::string(entry.name);
  return std::nullopt;
}

std::optional<std::uint16_t> languageIdOf(std::string_view localeName) {
  for (const auto& entry : kLanguageNames)
    if (equalsIgnoringAsciiCase(entry.name, localeName)) return entry.id;
  return std::nullopt;
}

bool isLocaleName(std::string_view name) {
  if (name.empty() || name.size() > kMaxLocaleName || !std::isalpha(static_cast<unsigned char>(name.front())))
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
  });
}

std::vector<std::string> uiLanguagesFromRegistry() {
  LanguageList languages;
  languages.addAll(HKEY_CURRENT_USER, kDesktop, "PreferredUILanguages");
  languages.addAll(HKEY_CURRENT_USER, kMuiCached, "MachinePreferredUILanguages");
  languages.addAll(HKEY_LOCAL_MACHINE, kMuiSettings, "PreferredUILanguages");

  auto installed = installedLanguages();
  if (ScopedKey nls = openForReading(HKEY_LOCAL_MACHINE, kNlsLanguage)) {
    for (const char* value : {"Default", "InstallLanguage"}) {
      auto text = queryStrings(nls.get(), value);
      auto id = text ? parseLanguageId(text->front()) : std::nullopt;
      if (!id) continue;
      auto named = std::find_if(installed.begin(), installed.end(), [&](const auto& language) {
        return language.second && (*language.second & 0xFFFF) == *id;
      });
      if (named != installed.end()) {
        languages.add(named->first);
      } else if (auto name = localeNameOf(*id)) {
        languages.add(*name);
      }
    }
  }
  for (const auto& language : installed) languages.add(language.first);
  languages.add(kFallbackUiLanguage);
  return languages.take();
}

}  // namespace talmoor::platform

#pragma once
// The languages in which Windows shows a program's texts, as a profile's
// registry sets them, and the names and numbers of those languages. A module
// split for language resource files keeps its texts in
// "<folder>\<language>\<file>.mui", and the resource loader tries the
// languages in this order.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor::platform {

// The language tried when no other has the text: the one Windows' own texts
// are written in.
inline constexpr std::string_view kFallbackUiLanguage = "en-US";

// The locale name of a language id (LANGID 0x0407 is "de-DE"), for the
// languages Windows ships its texts in; nothing for others.
std::optional<std::string> localeNameOf(std::uint16_t languageId);
// The other way round, without regard to case.
std::optional<std::uint16_t> languageIdOf(std::string_view localeName);

// Whether `name` has the form of a locale name ("en-US", "sr-Latn-RS"):
// a letter, then letters, digits and "-", at most 84 characters. Nothing
// else is ever used as a folder name.
bool isLocaleName(std::string_view name);

// The UI languages of the calling thread's registry, each once (compared
// without regard to case), in the order they are tried:
//  1. the user's preferred UI languages (HKCU\Control Panel\Desktop
//     "PreferredUILanguages", then its MuiCached "MachinePreferredUILanguages");
//  2. the machine's preferred UI languages (Control\MUI\Settings);
//  3. the installation's language: Control\Nls\Language "Default", then
//     "InstallLanguage", language ids named through Control\MUI\UILanguages
//     (whose keys give each installed language's id) or the table above;
//  4. every installed language (the keys of Control\MUI\UILanguages);
//  5. kFallbackUiLanguage.
// Anything that is not a locale name is left out.
std::vector<std::string> uiLanguagesFromRegistry();

}  // namespace talmoor::platform

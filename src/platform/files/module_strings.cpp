#include "platform/files/module_strings.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/files/module_search.h"
#include "platform/text/ui_languages.h"

namespace talmoor::platform {

namespace {

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// A resource file belongs to the module unless both carry a configuration
// and the checksums differ.
bool belongsTo(const ModuleTexts& resourceFile, const ModuleTexts& module) {
  if (!resourceFile.configuration || !module.configuration) return true;
  return resourceFile.configuration->checksum == module.configuration->checksum;
}

}  // namespace

ModuleStringCache::ModuleStringCache(std::vector<std::string> languages) : languages_(std::move(languages)) {}

std::shared_ptr<const ModuleTexts> ModuleStringCache::read(const std::filesystem::path& file,
                                                           unsigned short language) {
  auto known = files_.find(file);
  if (known != files_.end()) return known->second;
  std::shared_ptr<const ModuleTexts> texts;
  if (auto read = readModuleTexts(file, language)) texts = std::make_shared<const ModuleTexts>(std::move(*read));
  files_.emplace(file, texts);
  return texts;
}

std::shared_ptr<const ModuleStringCache::Module> ModuleStringCache::resolve(std::string_view module,
                                                                             const WindowsEnvironment& environment,
                                                                             const DriveMap& drives) {
  std::string key = lowerAscii(environment.expand(module));
  if (auto known = modules_.find(key); known != modules_.end()) return known->second;
  if (modules_.size() >= kMaxCachedModules) {
    modules_.clear();
    files_.clear();
  }

  auto resolved = std::make_shared<Module>();
  if (auto file = findModuleFile(module, environment, drives)) {
    auto own = read(*file, 0);
    const std::string resourceName = file->filename().string() + ".mui";
    for (const auto& language : languages_) {
      if (!isLocaleName(language)) continue;  // never a way out of the module's folder
      auto folder = findEntryIgnoringCase(file->parent_path(), language);
      if (!folder) continue;
      auto resourceFile = findEntryIgnoringCase(*folder, resourceName);
      if (!resourceFile || !isRegularFile(*resourceFile)) continue;
      auto texts = read(*resourceFile, languageIdOf(language).value_or(0));
      if (!texts || (own && !belongsTo(*texts, *own))) continue;
      resolved->tables.push_back(std::shared_ptr<const Table>(texts, &texts->strings));
    }
    if (own) resolved->tables.push_back(std::shared_ptr<const Table>(own, &own->strings));
  }
  modules_.emplace(std::move(key), resolved);
  return resolved;
}

std::optional<std::u16string> ModuleStringCache::find(std::string_view module, unsigned id,
                                                      const WindowsEnvironment& environment, const DriveMap& drives) {
  std::shared_ptr<const Module> resolved;
  {
    std::lock_guard lock(mutex_);
    resolved = resolve(module, environment, drives);
  }
  for (const auto& table : resolved->tables) {
    if (auto found = table->find(id); found != table->end()) return found->second;
  }
  return std::nullopt;
}

}  // namespace talmoor::platform

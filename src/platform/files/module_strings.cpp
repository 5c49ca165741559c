#include "platform/files/module_strings.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/files/module_search.h"
#include "platform/text/code_page.h"
#include "platform/text/ui_languages.h"

namespace talmoor::platform {

namespace {

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// A resource file belongs to the module when both name the same checksum;
// a module without a configuration cannot be checked against.
bool belongsTo(const ModuleTexts& resourceFile, const ModuleTexts& module) {
  if (!module.configuration) return true;
  return resourceFile.configuration && resourceFile.configuration->checksum == module.configuration->checksum;
}

std::uint64_t textBytes(const ModuleTexts& texts) {
  std::uint64_t bytes = 0;
  for (const auto& entry : texts.strings) bytes += 2 * entry.second.size();
  return bytes;
}

}  // namespace

ModuleStringCache::ModuleStringCache(std::vector<std::string> languages) : languages_(std::move(languages)) {}

void ModuleStringCache::trimLocked() {
  if (modules_.size() < kMaxCachedModules && keptBytes_ < kMaxCachedTextBytes) return;
  modules_.clear();
  files_.clear();
  keptBytes_ = 0;
}

std::shared_ptr<const ModuleTexts> ModuleStringCache::read(const std::filesystem::path& file,
                                                           unsigned short language) {
  FileKey key(file, language);
  {
    std::lock_guard lock(mutex_);
    if (auto known = files_.find(key); known != files_.end()) return known->second;
  }
  std::shared_ptr<const ModuleTexts> texts;
  if (auto read = readModuleTexts(file, language)) texts = std::make_shared<const ModuleTexts>(std::move(*read));
  std::lock_guard lock(mutex_);
  trimLocked();
  auto [kept, added] = files_.emplace(std::move(key), texts);
  if (added && texts) keptBytes_ += textBytes(*texts);
  return kept->second;
}

std::shared_ptr<const ModuleStringCache::Module> ModuleStringCache::resolve(std::string_view module,
                                                                             const WindowsEnvironment& environment,
                                                                             const DriveMap& drives) {
  auto resolved = std::make_shared<Module>();
  auto file = findModuleFile(module, environment, drives);
  if (!file) return resolved;
  const unsigned short firstLanguage = languages_.empty() ? 0 : languageIdOf(languages_.front()).value_or(0);
  auto own = read(*file, firstLanguage);
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
  return resolved;
}

std::optional<std::u16string> ModuleStringCache::find(std::string_view module, unsigned id,
                                                      const WindowsEnvironment& environment, const DriveMap& drives) {
  std::string key = lowercaseAscii(environment.expand(module));
  std::shared_ptr<const Module> resolved;
  {
    std::lock_guard lock(mutex_);
    if (auto known = modules_.find(key); known != modules_.end()) resolved = known->second;
  }
  if (!resolved) {
    // Two threads meeting a new module at once may both read it; the first
    // to finish is kept.
    resolved = resolve(module, environment, drives);
    std::lock_guard lock(mutex_);
    trimLocked();
    resolved = modules_.emplace(std::move(key), resolved).first->second;
  }
  for (const auto& table : resolved->tables) {
    if (auto found = table->find(id); found != table->end()) return found->second;
  }
  return std::nullopt;
}

}  // namespace talmoor::platform

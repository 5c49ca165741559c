#pragma once
// The string tables of the modules that indirect strings name, each read
// once. Since Windows Vista a system module keeps its texts in language
// resource files beside it ("system32\en-US\wevtsvc.dll.mui"); a module is
// looked up here as the resource loader looks it up: its resource file for
// each UI language in turn, then the module itself.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/drive_map.h"
#include "platform/files/pe_resources.h"
#include "platform/files/windows_environment.h"

namespace talmoor::platform {

class ModuleStringCache {
 public:
  // `languages`: locale names in the order they are tried (see
  // uiLanguagesFromRegistry).
  explicit ModuleStringCache(std::vector<std::string> languages);

  const std::vector<std::string>& languages() const { return languages_; }

  // String `id` of `module`, found as findModuleFile finds it: from the
  // first of the module's resource files that holds it, trying
  // "<folder>\<language>\<file>.mui" for each language, then from the module.
  // A resource file whose configuration names another checksum than the
  // module's belongs to another build of it and is not used. Nothing when the
  // module or the string is missing or empty.
  //
  // What a module name leads to is kept for the life of the cache: a walk
  // that meets one module thousands of times opens its files once. Safe to
  // call from several threads.
  std::optional<std::u16string> find(std::string_view module, unsigned id, const WindowsEnvironment& environment,
                                     const DriveMap& drives);

 private:
  using Table = std::map<unsigned, std::u16string>;
  // The tables of one module, in the order they are tried.
  struct Module {
    std::vector<std::shared_ptr<const Table>> tables;
  };

  std::shared_ptr<const Module> resolve(std::string_view module, const WindowsEnvironment& environment,
                                        const DriveMap& drives);
  std::shared_ptr<const ModuleTexts> read(const std::filesystem::path& file, unsigned short language);

  const std::vector<std::string> languages_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const Module>> modules_;  // by the module's expanded name, lower case
  std::map<std::filesystem::path, std::shared_ptr<const ModuleTexts>> files_;
};

// More distinct module names than any registry holds; past it the cache
// starts afresh, a bound on what hostile data can make it keep.
inline constexpr std::size_t kMaxCachedModules = 4096;

}  // namespace talmoor::platform

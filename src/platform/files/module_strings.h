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
  // "<folder>\<language>\<file>.mui" for each language, then from the module
  // (read in the first language). A text one language's file lacks is taken
  // from the next rather than left as the raw reference. A resource file
  // belongs to the module only when both carry the same checksum, or when
  // the module carries no resource configuration to check against. Nothing
  // when the module or the string is missing or empty.
  //
  // What a module name leads to is kept for the life of the cache: a walk
  // that meets one module thousands of times opens its files once. Safe to
  // call from several threads; files are read outside the lock, so one slow
  // module holds up only the threads that ask for it.
  std::optional<std::u16string> find(std::string_view module, unsigned id, const WindowsEnvironment& environment,
                                     const DriveMap& drives);

 private:
  using Table = std::map<unsigned, std::u16string>;
  // The tables of one module, in the order they are tried.
  struct Module {
    std::vector<std::shared_ptr<const Table>> tables;
  };
  using FileKey = std::pair<std::filesystem::path, unsigned short>;  // the file, the language read in

  std::shared_ptr<const Module> resolve(std::string_view module, const WindowsEnvironment& environment,
                                        const DriveMap& drives);
  std::shared_ptr<const ModuleTexts> read(const std::filesystem::path& file, unsigned short language);
  // Forgets everything when what is kept has grown past its bounds; with the lock held.
  void trimLocked();

  const std::vector<std::string> languages_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const Module>> modules_;  // by the module's expanded name, lower case
  std::map<FileKey, std::shared_ptr<const ModuleTexts>> files_;
  std::uint64_t keptBytes_ = 0;  // the text the files hold
};

// More distinct module names than any registry holds, and more text than all
// of a Windows installation's modules hold; past either the cache starts
// afresh, a bound on what hostile data can make it keep.
inline constexpr std::size_t kMaxCachedModules = 4096;
inline constexpr std::uint64_t kMaxCachedTextBytes = 256u << 20;

}  // namespace talmoor::platform

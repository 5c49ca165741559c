#pragma once
// File references inside registry text: finding them with the path masks,
// telling a real reference from the first words of a long name with blanks,
// resolving them as the loader would, and handing each to an action.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/interaction.h"
#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/registry_profile.h"
#include "base/masks/mask_engine.h"

namespace talmoor::verify {

// The files of the profile, as references are resolved against them.
struct FileSystemView {
  const platform::WindowsEnvironment& environment;
  const platform::DriveMap& drives;
};
// The environment and drives of the profile the calling thread works on,
// held for the view's life (a thread searching for files may outlive the
// binding it was started under).
class CurrentFiles {
 public:
  CurrentFiles();
  FileSystemView view() const { return {environment_, drives_}; }

 private:
  std::shared_ptr<platform::RegistryProfile> profile_;
  const platform::WindowsEnvironment& environment_;
  const platform::DriveMap& drives_;
};

// "exe", "com", "sys", "drv", "ocx", "oxa", "dll", "htm", "html", "icl", "bat".
bool hasKnownExtension(std::string_view name);
// A letter, a colon and a backslash.
bool hasDriveForm(std::string_view text);

// One match of a path mask, prepared.
struct ReferenceCandidate {
  std::size_t start = 0;   // where the reference begins in the source (after skipped separators)
  std::size_t end = 0;     // one past the match's end
  std::string text;        // the reference, trimmed
  bool found = false;      // it names an existing file
};

ReferenceCandidate prepareCandidate(const masks::MaskOccurrence& match, const FileSystemView& files);

// Decides a prepared candidate: true accepts it. References found inside a
// quoted list are handed to `inner` one by one (when given).
using InnerReference = std::function<void(const masks::MaskOccurrence& match)>;
bool acceptCandidate(const masks::MaskOccurrence& match, const ReferenceCandidate& candidate,
                     const FileSystemView& files, const InnerReference& inner = {});

// What an accepted match gives back to the mask engine: the separator (or
// terminator) that ended it, on which the next reference may begin.
std::size_t separatorGivenBack(const masks::MaskOccurrence& match);

// The action given each reference: (owner, path, parameter) -> -1 reports an error.
using FileAction = std::function<int(WindowRef owner, const std::string& path, std::string_view parameter)>;

// Hands every file reference in `text` (environment references expanded
// first) to `action`: found ones with their full path; with the parameter
// "reboot move", missing ones with a drive as written. When the masks find
// nothing, each blank-separated token with a known extension (with
// `skipExistence`, each token that resolves) is handed over. True when the
// masks found references; `error` is set by a failed mask or an action's -1.
bool processFilesInString(std::string_view text, const FileAction& action, bool& error, std::string_view parameter,
                          WindowRef owner, bool skipExistence, const FileSystemView& files);

}  // namespace talmoor::verify

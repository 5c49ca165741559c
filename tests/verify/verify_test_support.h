#pragma once
// Drives for the file-reference tests (C: and D: as folders of a temporary
// folder, with the environment of an installation in C:\Windows), and rules.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "support/corpus.h"
#include "verify/file_references.h"
#include "verify/rules.h"
#include "base/workspace.h"

namespace talmoor::verify::verifytest {

class Drives {
 public:
  Drives() {
    for (char letter : {'C', 'D'}) {
      std::filesystem::path root = dir / std::string(1, static_cast<char>(letter + ('a' - 'A')));
      std::filesystem::create_directories(root);
      drives.setDrive(letter, root);
    }
    folder("C:\\Windows\\system32");
    environment.set("SystemRoot", "C:\\Windows");
    environment.set("SystemDrive", "C:");
    environment.set("Path", "C:\\Windows\\system32;C:\\Windows");
  }

  // The host path of a Windows path on C: or D:.
  std::filesystem::path host(std::string_view windowsPath) const {
    std::string rest(windowsPath.substr(3));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return *drives.drive(windowsPath[0]) / rest;
  }
  // An empty file, with the folders above it.
  void file(std::string_view windowsPath) const {
    auto path = host(windowsPath);
    std::filesystem::create_directories(path.parent_path());
    test::writeFile(path, "");
  }
  void folder(std::string_view windowsPath) const { std::filesystem::create_directories(host(windowsPath)); }
  void remove(std::string_view windowsPath) const { std::filesystem::remove_all(host(windowsPath)); }

  FileSystemView view() const { return {environment, drives}; }

  test::TempDir dir;
  platform::DriveMap drives;
  platform::WindowsEnvironment environment;
};

// Gives the profile of the test's workspace these drives and this
// environment for the object's life (the test must have a registry).
class CurrentFiles {
 public:
  explicit CurrentFiles(const Drives& drives)
      : profile_(Workspace::current().profile()),
        previousDrives_(profile_->drives()),
        previousEnvironment_(profile_->environment()) {
    profile_->setDrives(drives.drives);
    profile_->setEnvironment(drives.environment);
  }
  ~CurrentFiles() {
    profile_->setDrives(previousDrives_);
    profile_->setEnvironment(previousEnvironment_);
  }
  CurrentFiles(const CurrentFiles&) = delete;
  CurrentFiles& operator=(const CurrentFiles&) = delete;

 private:
  std::shared_ptr<platform::RegistryProfile> profile_;
  platform::DriveMap previousDrives_;
  platform::WindowsEnvironment previousEnvironment_;
};

inline RulePtr makeRule(std::string find, std::string replace, RuleType type = RuleType::ExactMatch,
                        bool reject = false) {
  auto r = std::make_shared<Rule>();
  r->find = std::move(find);
  r->replace = std::move(replace);
  r->type = type;
  r->reject = reject;
  return r;
}

// "find -> replace (type)", then " auto" and " reject" when set.
inline std::string describe(const Rule& r) {
  static const char* const kTypes[] = {"unknown", "exact", "partial", "full"};
  return r.find + " -> " + r.replace + " (" + kTypes[static_cast<int>(r.type) & 3] + ")" +
         (r.autoApply ? " auto" : "") + (r.reject ? " reject" : "");
}

}  // namespace talmoor::verify::verifytest

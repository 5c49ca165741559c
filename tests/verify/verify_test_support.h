#pragma once
// Drives for the file-reference tests: C: and D: as folders of a temporary
// folder, with real (empty) files made where a test needs them, and the
// environment of a Windows installation in C:\Windows.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "support/corpus.h"
#include "verify/file_references.h"

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
    std::filesystem::path out = *drives.drive(windowsPath[0]);
    std::string_view rest = windowsPath.substr(2);
    while (!rest.empty()) {
      auto cut = rest.find('\\');
      std::string_view part = rest.substr(0, cut);
      if (!part.empty()) out /= std::string(part);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    return out;
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

// Makes the drives and environment the process's current ones (as a front
// installs its profile's) for the object's life.
class CurrentFiles {
 public:
  explicit CurrentFiles(const Drives& drives)
      : previousDrives_(platform::currentDriveMap()), previousEnvironment_(platform::currentWindowsEnvironment()) {
    platform::setCurrentDriveMap(drives.drives);
    platform::setCurrentWindowsEnvironment(drives.environment);
  }
  ~CurrentFiles() {
    platform::setCurrentDriveMap(*previousDrives_);
    platform::setCurrentWindowsEnvironment(*previousEnvironment_);
  }
  CurrentFiles(const CurrentFiles&) = delete;
  CurrentFiles& operator=(const CurrentFiles&) = delete;

 private:
  std::shared_ptr<const platform::DriveMap> previousDrives_;
  std::shared_ptr<const platform::WindowsEnvironment> previousEnvironment_;
};

}  // namespace talmoor::verify::verifytest

#pragma once
// The desktop's command line: the profile options talmoor-cli takes, --yes or
// --no, then the registry editor's own line (/E file.reg KEY, /S file.reg,
// file.reg, ...), read before any window or display is needed.

#include <optional>
#include <string>
#include <vector>

#include "platform/registry/registry_profile.h"

namespace talmoor::app {

struct DesktopArguments {
  platform::ProfileOptions profile;
  int answer = 0;  // IDYES for --yes, IDNO for --no, 0 to ask
  std::vector<std::string> editorLine;
  bool help = false;
  bool version = false;
};

// The parsed arguments, or none with the reason in `problem` (bad usage).
std::optional<DesktopArguments> parseDesktopArguments(const std::vector<std::string>& arguments, std::string& problem);

std::string desktopUsage();

}  // namespace talmoor::app

#pragma once
// Reading the hive files a registry profile mounts: a file that cannot be
// read stops the profile with a message naming it; one that was read with
// damage, or that was not closed cleanly, gives warnings.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry/hive.h"

namespace talmoor::platform {

class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a hive in either format; throws ProfileError with the file, the
// place and the problem when it cannot be read.
std::shared_ptr<Hive> loadProfileHive(const std::filesystem::path& file);

// The warnings a loaded hive calls for: its damage (a summary and the first
// few reports) and an unclean close.
void noteHiveState(const Hive& hive, std::vector<std::string>& warnings);

}  // namespace talmoor::platform

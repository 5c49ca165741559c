#pragma once
// Whether a Wine server is running for a prefix. A running server holds the
// registry in memory and writes its own copy over the files when it exits,
// so a prefix in that state is only read.

#include <filesystem>

namespace talmoor::platform {

bool isWineServerRunning(const std::filesystem::path& prefix);

}  // namespace talmoor::platform

#pragma once

namespace talmoor {

// The program's version, as the fronts show it.
const char* versionText();

}  // namespace talmoor

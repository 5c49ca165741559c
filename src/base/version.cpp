#include "base/version.h"

namespace talmoor {

const char* versionText() { return "0.1.0"; }

}  // namespace talmoor

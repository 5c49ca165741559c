#pragma once

#include <cstdint>

namespace talmoor {

// A window of the desktop that a box or a question belongs to; 0 for none.
using WindowRef = std::uintptr_t;

}  // namespace talmoor

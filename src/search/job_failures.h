#pragma once
// What a job's thread does with a failure its work did not handle, so that
// none leaves the thread (which would end the process without a word). A
// failure of the shared list ends the job's work with an error report, and
// running out of memory ends the process through the one fatal stop.

#include <functional>

#include "base/interaction.h"

namespace talmoor::search {

// Runs the work; false when a failure ended it early.
bool runContained(const std::function<void()>& work, WindowRef owner = 0);

}  // namespace talmoor::search

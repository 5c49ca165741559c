#pragma once
// Runs a program from a test and collects what it printed.

#include <map>
#include <string>
#include <vector>

namespace talmoor::test {

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs argv[0] (searched on PATH) with the given extra environment, stdin
// from /dev/null; waits at most `timeoutSeconds`.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                         int timeoutSeconds = 120);

}  // namespace talmoor::test

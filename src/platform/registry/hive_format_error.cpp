#include "platform/registry/hive_format_error.h"

#include <fmt/format.h>

namespace talmoor::platform {

namespace {
std::string describe(const std::string& file, long line, const std::string& problem) {
  if (line > 0) return fmt::format("{}:{}: {}", file, line, problem);
  return fmt::format("{}: {}", file, problem);
}
}  // namespace

HiveFormatError::HiveFormatError(std::string file, long line, std::string problem)
    : std::runtime_error(describe(file, line, problem)),
      file_(std::move(file)),
      line_(line),
      problem_(std::move(problem)) {}

}  // namespace talmoor::platform

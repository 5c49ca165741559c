#include "registry/file_time.h"

#include <ctime>

namespace talmoor::registry {

namespace {

// 1970 counted in FILETIME steps, and the steps in a second.
constexpr std::uint64_t kUnixEpochAsFiletime = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

}  // namespace

std::string filetimeText(std::uint64_t filetime) {
  if (filetime < kUnixEpochAsFiletime) return {};
  const std::time_t seconds = static_cast<std::time_t>((filetime - kUnixEpochAsFiletime) / kTicksPerSecond);
  std::tm utc{};
  if (!gmtime_r(&seconds, &utc)) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string filetimeText(const FILETIME& filetime) {
  return filetimeText((std::uint64_t(filetime.dwHighDateTime) << 32) | filetime.dwLowDateTime);
}

}  // namespace talmoor::registry

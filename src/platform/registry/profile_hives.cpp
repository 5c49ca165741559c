#include "platform/registry/profile_hives.h"

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {
constexpr std::size_t kReportsShown = 5;
}

std::shared_ptr<Hive> loadProfileHive(const std::filesystem::path& file) {
  clearErrorDetail();
  std::shared_ptr<Hive> hive;
  if (LONG rc = Hive::load(file, hive); rc != ERROR_SUCCESS) {
    std::string detail = takeErrorDetail();
    throw ProfileError(detail.empty() ? fmt::format("cannot read {} (error {})", file.string(), rc) : detail);
  }
  clearErrorDetail();  // a damaged hive's summary; noteHiveState words it for the profile
  return hive;
}

void noteHiveState(const Hive& hive, std::vector<std::string>& warnings) {
  // What is known on opening: a hive read on demand is not scanned whole for
  // this, or every mount would read every key.
  const auto reports = hive.damageFoundSoFar();
  if (!reports.empty()) {
    warnings.push_back(fmt::format("warning: {} is damaged; the keys and values that could be read are open "
                                   "read-only. Problems found:",
                                   hive.file().string()));
    for (std::size_t i = 0; i < reports.size() && i < kReportsShown; ++i)
      warnings.push_back(fmt::format("  {}", reports[i]));
    if (reports.size() > kReportsShown)
      warnings.push_back(fmt::format("  ... {} more", reports.size() - kReportsShown));
  } else if (hive.readOnly()) {
    warnings.push_back(fmt::format("warning: {}", hive.readOnlyReason()));
  }
  if (std::string recovery = hive.recoveryText(); !recovery.empty())
    warnings.push_back(fmt::format("warning: {}", recovery));
}

}  // namespace talmoor::platform

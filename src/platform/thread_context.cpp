#include "platform/thread_context.h"

#include "platform/files/drive_map.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/registry_profile.h"

namespace talmoor::platform {

namespace {

ThreadContext& bound() {
  thread_local ThreadContext context;
  return context;
}

}  // namespace

const ThreadContext& threadContext() { return bound(); }

ThreadContextScope::ThreadContextScope(ThreadContext context) : previous_(std::move(bound())) {
  bound() = std::move(context);
}

ThreadContextScope::~ThreadContextScope() { bound() = std::move(previous_); }

std::shared_ptr<RegistryHost> threadRegistry() {
  const auto& profile = bound().profile;
  return profile ? profile->host : nullptr;
}

const DriveMap& threadDrives() {
  static const DriveMap none;
  const auto& profile = bound().profile;
  return profile ? profile->drives() : none;
}

const WindowsEnvironment& threadEnvironment() {
  static const WindowsEnvironment none;
  const auto& profile = bound().profile;
  return profile ? profile->environment() : none;
}

std::optional<std::filesystem::path> threadWinePrefix() {
  const auto& profile = bound().profile;
  return profile ? profile->winePrefix() : std::nullopt;
}

}  // namespace talmoor::platform

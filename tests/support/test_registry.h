#pragma once
// A registry for one test: empty machine and user hives backed by files in a
// temporary folder, in a workspace bound to the test's thread for the life of
// the object (threads the test starts through the program's helpers work in
// it too).

#include <memory>

#include "base/workspace.h"
#include "platform/registry/registry_host.h"
#include "support/corpus.h"

namespace talmoor::test {

inline constexpr char16_t kTestUserSid[] = u"S-1-5-21-0-0-0-1000";

// Opens a profile for a test; throws std::runtime_error with the reason when
// it cannot be opened.
std::shared_ptr<platform::RegistryProfile> openTestProfile(const platform::ProfileOptions& options);

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  platform::RegistryHost& host() { return *host_; }
  const std::shared_ptr<platform::Hive>& machineHive() const { return machine_; }
  const std::shared_ptr<platform::Hive>& userHive() const { return user_; }
  // The profile, for a test that gives it drives or an environment.
  platform::RegistryProfile& profile() { return *profile_; }
  Workspace& workspace() { return *workspace_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::shared_ptr<platform::Hive> machine_;
  std::shared_ptr<platform::Hive> user_;
  std::shared_ptr<platform::RegistryHost> host_;
  std::shared_ptr<platform::RegistryProfile> profile_;
  std::shared_ptr<Workspace> workspace_;
  std::unique_ptr<WorkspaceScope> scope_;
};

}  // namespace talmoor::test

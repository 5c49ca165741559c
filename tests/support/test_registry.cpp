#include "support/test_registry.h"

#include <stdexcept>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::test {

std::shared_ptr<platform::RegistryProfile> openTestProfile(const platform::ProfileOptions& options) {
  platform::clearErrorDetail();
  std::shared_ptr<platform::RegistryProfile> profile;
  if (platform::openRegistryProfile(options, profile) != ERROR_SUCCESS)
    throw std::runtime_error(platform::takeErrorDetail());
  return profile;
}

TestRegistry::TestRegistry() {
  using platform::Hive;
  machine_ = Hive::createEmpty(dir_ / "system.reg", u"REGISTRY\\Machine");
  user_ = Hive::createEmpty(dir_ / "user.reg", std::u16string(u"REGISTRY\\User\\") + kTestUserSid);
  auto machine = std::make_shared<platform::MachineRegistry>();
  if (machine->mount(machine_, u"\\REGISTRY\\MACHINE") != ERROR_SUCCESS ||
      machine->mount(user_, std::u16string(u"\\REGISTRY\\USER\\") + kTestUserSid) != ERROR_SUCCESS)
    throw std::runtime_error("cannot mount the test hives");
  machine->setCurrentUserSid(kTestUserSid);
  host_ = std::make_shared<platform::RegistryHost>(machine);
  profile_ = std::make_shared<platform::RegistryProfile>();
  profile_->host = host_;
  profile_->prefix = dir_.path();
  workspace_ = Workspace::over(profile_, nullptr);
  scope_ = std::make_unique<WorkspaceScope>(workspace_);
}

TestRegistry::~TestRegistry() { scope_.reset(); }

}  // namespace talmoor::test

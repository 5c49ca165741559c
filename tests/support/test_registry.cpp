#include "support/test_registry.h"

#include <stdexcept>

#include "platform/win32_errors.h"

namespace talmoor::test {

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
  platform::setCurrentRegistryHost(host_);
}

TestRegistry::~TestRegistry() { platform::setCurrentRegistryHost(nullptr); }

}  // namespace talmoor::test

#pragma once
// A registry for one test: empty machine and user hives backed by files in a
// temporary folder, installed as the process's registry service.

#include <memory>

#include "platform/registry/registry_host.h"
#include "support/corpus.h"

namespace talmoor::test {

inline constexpr char16_t kTestUserSid[] = u"S-1-5-21-0-0-0-1000";

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  platform::RegistryHost& host() { return *host_; }
  const std::shared_ptr<platform::Hive>& machineHive() const { return machine_; }
  const std::shared_ptr<platform::Hive>& userHive() const { return user_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::shared_ptr<platform::Hive> machine_;
  std::shared_ptr<platform::Hive> user_;
  std::shared_ptr<platform::RegistryHost> host_;
};

}  // namespace talmoor::test

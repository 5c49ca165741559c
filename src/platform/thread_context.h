#pragma once
// What a thread works on. The Win32-shaped calls take handles and paths, not
// a registry, so the registry (and the drives and environment that go with
// it) is the one the calling thread was given: a workspace binds its profile
// to the thread that does its work, for a scope, and the program's own thread
// helpers hand the binding on to the threads they start. Nothing here is
// process-wide: two threads may work on two profiles at once.

#include <filesystem>
#include <memory>
#include <optional>

namespace talmoor::platform {

class DriveMap;
class RegistryHost;
class RegistryProfile;
class WindowsEnvironment;

struct ThreadContext {
  std::shared_ptr<RegistryProfile> profile;
  // The workspace of the layers above, which this layer does not know; kept
  // so that a thread started from this one works in it too.
  std::shared_ptr<void> workspace;
};

// The calling thread's context; empty when nothing was bound.
const ThreadContext& threadContext();

// Binds a context to the calling thread for the life of the object; the
// context bound before comes back afterwards.
class ThreadContextScope {
 public:
  explicit ThreadContextScope(ThreadContext context);
  ~ThreadContextScope();
  ThreadContextScope(const ThreadContextScope&) = delete;
  ThreadContextScope& operator=(const ThreadContextScope&) = delete;

 private:
  ThreadContext previous_;
};

// The parts of the bound profile, for code that needs only one of them.
// Without a bound profile: no registry (null), no drives, an empty
// environment, no Wine prefix.
std::shared_ptr<RegistryHost> threadRegistry();
const DriveMap& threadDrives();
const WindowsEnvironment& threadEnvironment();
std::optional<std::filesystem::path> threadWinePrefix();

}  // namespace talmoor::platform

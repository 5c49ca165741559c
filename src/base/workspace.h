#pragma once
// A workspace: one opened registry profile and the services that go with it
// (the registry, drives and environment of the profile, the Interaction that
// asks its questions, its error log, and the state each subsystem keeps per
// profile: search options, verification rules, ...). Both fronts, the tests
// and the benchmarks build one and hand it down; several may be open at once.
//
// The Win32-shaped calls below this layer take handles, not workspaces, so
// the thread that does a workspace's work binds it (WorkspaceScope); threads
// started through the program's own helpers work in the workspace of the
// thread that started them.
//
//   auto workspace = Workspace::open(options, interaction, problem);
//   WorkspaceScope working(workspace);
//   ... registry calls, searches, jobs ...

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "base/error_log.h"
#include "platform/registry/registry_profile.h"
#include "platform/thread_context.h"

namespace talmoor {

class Interaction;

class Workspace : public std::enable_shared_from_this<Workspace> {
 public:
  // Opens the profile the options name. Null on failure, with the reason
  // (which names the file and the place) in `problem`.
  static std::shared_ptr<Workspace> open(const platform::ProfileOptions& options,
                                         std::shared_ptr<Interaction> interaction, std::string& problem);
  // A workspace over a profile opened elsewhere, or over none (a workspace
  // for work that needs no registry).
  static std::shared_ptr<Workspace> over(std::shared_ptr<platform::RegistryProfile> profile,
                                         std::shared_ptr<Interaction> interaction);

  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // The workspace the calling thread works in: the one bound to it, else a
  // workspace of the thread's own with no registry, whose questions are
  // answered No (so that a stray question never waits on a terminal).
  static Workspace& current();
  static std::shared_ptr<Workspace> currentShared();

  const std::shared_ptr<platform::RegistryProfile>& profile() const { return profile_; }
  // The profile's registry; an empty one when the workspace has no profile.
  platform::RegistryHost& registry() const;

  // Held by the caller while it asks: another may be installed meanwhile.
  std::shared_ptr<Interaction> interaction() const;
  // Installs another Interaction and returns the one it replaces.
  std::shared_ptr<Interaction> setInteraction(std::shared_ptr<Interaction> interaction);

  ErrorLog& errorLog() { return errorLog_; }
  // "No" to an error box ends the boxes of this workspace (until switched on).
  bool errorBoxesSuppressed() const { return errorBoxesSuppressed_.load(); }
  void setErrorBoxesSuppressed(bool suppressed) { errorBoxesSuppressed_ = suppressed; }

  // The state a subsystem keeps per workspace, made (default-constructed) on
  // first use and kept for the workspace's life. The type is the key.
  template <class T>
  T& service() {
    std::lock_guard lock(servicesMutex_);
    auto& slot = services_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

 private:
  Workspace() = default;

  std::shared_ptr<platform::RegistryProfile> profile_;
  std::shared_ptr<platform::RegistryHost> emptyRegistry_;
  mutable std::mutex interactionMutex_;
  std::shared_ptr<Interaction> interaction_;
  ErrorLog errorLog_;
  std::atomic<bool> errorBoxesSuppressed_{false};
  std::mutex servicesMutex_;
  std::unordered_map<std::type_index, std::shared_ptr<void>> services_;
};

// Binds a workspace (and its profile) to the calling thread for the life of
// the object; what was bound before comes back afterwards.
class WorkspaceScope {
 public:
  explicit WorkspaceScope(std::shared_ptr<Workspace> workspace);

 private:
  platform::ThreadContextScope scope_;
};

// The error log of the calling thread's workspace.
ErrorLog& errorLog();

}  // namespace talmoor

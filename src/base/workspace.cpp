#include "base/workspace.h"

#include "base/console_interaction.h"
#include "base/interaction.h"
#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor {

std::shared_ptr<Workspace> Workspace::open(const platform::ProfileOptions& options,
                                           std::shared_ptr<Interaction> interaction, std::string& problem) {
  platform::clearErrorDetail();
  std::shared_ptr<platform::RegistryProfile> profile;
  if (LONG rc = platform::openRegistryProfile(options, profile); rc != ERROR_SUCCESS) {
    problem = platform::takeErrorDetail();
    if (problem.empty()) problem = "the registry could not be opened (error " + std::to_string(rc) + ")";
    return nullptr;
  }
  return over(std::move(profile), std::move(interaction));
}

std::shared_ptr<Workspace> Workspace::over(std::shared_ptr<platform::RegistryProfile> profile,
                                           std::shared_ptr<Interaction> interaction) {
  std::shared_ptr<Workspace> workspace(new Workspace());
  workspace->profile_ = std::move(profile);
  workspace->interaction_ =
      interaction ? std::move(interaction) : std::make_shared<ConsoleInteraction>(ConsolePolicy::No);
  if (!workspace->profile_)
    workspace->emptyRegistry_ =
        std::make_shared<platform::RegistryHost>(std::make_shared<platform::MachineRegistry>());
  return workspace;
}

namespace {

// A thread nobody gave a workspace works in one of its own, asking nobody.
const std::shared_ptr<Workspace>& detachedWorkspace() {
  thread_local const std::shared_ptr<Workspace> detached = Workspace::over(nullptr, nullptr);
  return detached;
}

}  // namespace

std::shared_ptr<Workspace> Workspace::currentShared() {
  if (const auto& bound = platform::threadContext().workspace) return std::static_pointer_cast<Workspace>(bound);
  return detachedWorkspace();
}

// No copy of the pointer is made: the binding (or the thread) holds the
// workspace for as long as the caller's scope can use the reference.
Workspace& Workspace::current() {
  if (const auto& bound = platform::threadContext().workspace) return *static_cast<Workspace*>(bound.get());
  return *detachedWorkspace();
}

platform::RegistryHost& Workspace::registry() const {
  return profile_ && profile_->host ? *profile_->host : *emptyRegistry_;
}

std::shared_ptr<Interaction> Workspace::interaction() const {
  std::lock_guard lock(interactionMutex_);
  return interaction_;
}

std::shared_ptr<Interaction> Workspace::setInteraction(std::shared_ptr<Interaction> interaction) {
  std::lock_guard lock(interactionMutex_);
  std::swap(interaction_, interaction);
  return interaction;
}

WorkspaceScope::WorkspaceScope(std::shared_ptr<Workspace> workspace)
    : scope_(platform::ThreadContext{workspace ? workspace->profile() : nullptr, workspace}) {}

ErrorLog& errorLog() { return Workspace::current().errorLog(); }

}  // namespace talmoor

#pragma once
// Benchmarks work in a workspace of their own, opened once and bound to the
// thread the benchmarks run on until the program ends.

#include <memory>
#include <string>

#include "base/workspace.h"
#include "platform/registry/registry_profile.h"

namespace talmoor::bench {

class BenchWorkspace {
 public:
  // False when the profile cannot be opened (the reason is in problem()).
  bool open(const platform::ProfileOptions& options, std::shared_ptr<Interaction> interaction = nullptr) {
    scope_.reset();
    workspace_ = Workspace::open(options, std::move(interaction), problem_);
    if (!workspace_) return false;
    scope_ = std::make_unique<WorkspaceScope>(workspace_);
    return true;
  }
  // A workspace over a profile the benchmark assembled itself.
  void over(std::shared_ptr<platform::RegistryProfile> profile) {
    scope_.reset();
    workspace_ = Workspace::over(std::move(profile), nullptr);
    scope_ = std::make_unique<WorkspaceScope>(workspace_);
  }
  Workspace& workspace() { return *workspace_; }
  const std::string& problem() const { return problem_; }

 private:
  std::shared_ptr<Workspace> workspace_;
  std::unique_ptr<WorkspaceScope> scope_;
  std::string problem_;
};

}  // namespace talmoor::bench

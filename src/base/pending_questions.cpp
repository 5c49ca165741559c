#include "base/pending_questions.h"

#include <algorithm>

namespace talmoor {

bool PendingQuestions::enter(WindowRef owner, const std::shared_ptr<Waiting>& slot) {
  std::lock_guard lock(mutex_);
  if (owner != 0 && gone_.count(owner)) return false;
  slot->owner = owner;
  waiting_.push_back(slot);
  return true;
}

void PendingQuestions::leave(const std::shared_ptr<Waiting>& slot) {
  std::lock_guard lock(mutex_);
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), slot), waiting_.end());
}

void PendingQuestions::ownerGone(WindowRef owner) {
  if (owner == 0) return;
  std::vector<std::shared_ptr<Waiting>> open;
  {
    std::lock_guard lock(mutex_);
    gone_.insert(owner);
    for (const auto& slot : waiting_)
      if (slot->owner == owner) open.push_back(slot);
  }
  // Outside the lock: a woken question leaves at once.
  for (const auto& slot : open) slot->cancel();
}

void PendingQuestions::ownerBack(WindowRef owner) {
  std::lock_guard lock(mutex_);
  gone_.erase(owner);
}

bool PendingQuestions::gone(WindowRef owner) const {
  std::lock_guard lock(mutex_);
  return owner != 0 && gone_.count(owner) != 0;
}

}  // namespace talmoor

#include "base/guarded_object.h"

#include "base/interaction.h"

namespace talmoor {

// Exclusive use also waits for the shared users to leave, so that nobody
// reads an object while it is being changed.
void GuardedObject::acquireExclusive() {
  std::unique_lock lock(mutex_);
  auto self = std::this_thread::get_id();
  if (owner_ == self) {
    ++ownerDepth_;
    return;
  }
  changed_.wait(lock, [&] { return ownerDepth_ == 0 && shared_ == 0; });
  owner_ = self;
  ownerDepth_ = 1;
}

void GuardedObject::releaseExclusive() {
  {
    std::lock_guard lock(mutex_);
    if (owner_ != std::this_thread::get_id() || ownerDepth_ == 0) return;
    if (--ownerDepth_ > 0) return;
    owner_ = {};
  }
  changed_.notify_all();
}

// At most ten shared users at once; the eleventh waits for one to leave.
void GuardedObject::acquireShared() {
  std::unique_lock lock(mutex_);
  if (owner_ == std::this_thread::get_id() && ownerDepth_ > 0) {
    ++ownerShared_;
    return;
  }
  changed_.wait(lock, [&] { return ownerDepth_ == 0 && shared_ < kMaxSharedUsers; });
  ++shared_;
}

void GuardedObject::releaseShared() {
  bool unbalanced = false;
  {
    std::lock_guard lock(mutex_);
    if (owner_ == std::this_thread::get_id() && ownerShared_ > 0) {
      --ownerShared_;
      return;
    }
    if (shared_ == 0) unbalanced = true;
    else --shared_;
  }
  if (unbalanced) {
    messageBox("Object Error", "Logic Error");
    return;
  }
  changed_.notify_all();
}

int GuardedObject::sharedUsers() const {
  std::lock_guard lock(mutex_);
  return shared_;
}

}  // namespace talmoor

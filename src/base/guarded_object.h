#pragma once
// The lock that a window and its worker threads hold around a shared
// registry object: one exclusive holder, or up to ten shared users at once.
// The exclusive holder may acquire it again in either way.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace talmoor {

class GuardedObject {
 public:
  static constexpr int kMaxSharedUsers = 10;

  void acquireExclusive();
  void releaseExclusive();
  void acquireShared();
  void releaseShared();

  int sharedUsers() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // The exclusive holder may take the object again, either way (as a
  // critical section lets its owner enter again).
  std::thread::id owner_;
  int ownerDepth_ = 0;
  int ownerShared_ = 0;
  int shared_ = 0;
};

// Holds a guarded object exclusively for a scope.
class ExclusiveUse {
 public:
  explicit ExclusiveUse(GuardedObject& object) : object_(object) { object_.acquireExclusive(); }
  ~ExclusiveUse() { object_.releaseExclusive(); }
  ExclusiveUse(const ExclusiveUse&) = delete;
  ExclusiveUse& operator=(const ExclusiveUse&) = delete;

 private:
  GuardedObject& object_;
};

// Holds a guarded object shared for a scope.
class SharedUse {
 public:
  explicit SharedUse(GuardedObject& object) : object_(object) { object_.acquireShared(); }
  ~SharedUse() { object_.releaseShared(); }
  SharedUse(const SharedUse&) = delete;
  SharedUse& operator=(const SharedUse&) = delete;

 private:
  GuardedObject& object_;
};

}  // namespace talmoor

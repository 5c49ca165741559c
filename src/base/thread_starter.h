#pragma once
// Starting worker threads and waiting for them, with exit codes as Windows
// keeps them (259 while a thread is still running).

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "platform/win32_types.h"

namespace talmoor {

inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD kWaitInfinite = 0xFFFFFFFF;

class WorkerThread;
using ThreadHandle = std::shared_ptr<WorkerThread>;
using ThreadRoutine = std::function<DWORD()>;

struct ThreadStart {
  bool warnIfUnavailable = false;
  bool waitForEnd = false;
};

struct StartedThread {
  ThreadHandle handle;  // empty when the routine ran on the calling thread
  DWORD exitCode = 0;   // the routine's result when waited for or run inline
};

// Starts the routine on a thread of its own. When no thread can be made, the
// routine runs on the calling thread (after a box when asked to warn).
StartedThread startThread(ThreadRoutine routine, ThreadStart options = {});

// The thread's exit code once it ends, or STILL_ACTIVE when the timeout (in
// milliseconds) passes first.
DWORD waitForThread(const ThreadHandle& thread, DWORD timeoutMs = kWaitInfinite);
void waitForAll(std::span<const ThreadHandle> threads);

class WorkerThread {
 public:
  ~WorkerThread();
  DWORD exitCode() const;
  bool finished() const;

 private:
  friend StartedThread startThread(ThreadRoutine, ThreadStart);
  friend DWORD waitForThread(const ThreadHandle&, DWORD);
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace talmoor

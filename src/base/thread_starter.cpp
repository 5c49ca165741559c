#include "base/thread_starter.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/interaction.h"
#include "platform/thread_context.h"

namespace talmoor {

struct WorkerThread::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  std::thread thread;
};

WorkerThread::~WorkerThread() {
  // A worker nobody waits for runs to its end on its own.
  if (state_ && state_->thread.joinable()) state_->thread.detach();
}

DWORD WorkerThread::exitCode() const {
  std::lock_guard lock(state_->mutex);
  return state_->exitCode;
}

bool WorkerThread::finished() const {
  std::lock_guard lock(state_->mutex);
  return state_->finished;
}

StartedThread startThread(ThreadRoutine routine, ThreadStart options) {
  auto worker = std::make_shared<WorkerThread>();
  worker->state_ = std::make_shared<WorkerThread::State>();
  auto state = worker->state_;
  try {
    // A worker works in the workspace of the thread that started it.
    state->thread = std::thread([state, routine, context = platform::threadContext()]() mutable {
      platform::ThreadContextScope working(std::move(context));
      DWORD code = routine();
      std::lock_guard lock(state->mutex);
      state->exitCode = code;
      state->finished = true;
      state->ended.notify_all();
    });
  } catch (const std::system_error&) {
    if (options.warnIfUnavailable)
      messageBox("Application May Appear to Lock", "Threading is not Supported or Unavailable");
    return StartedThread{nullptr, routine()};
  }
  StartedThread started{worker, 0};
  if (options.waitForEnd) started.exitCode = waitForThread(worker);
  return started;
}

DWORD waitForThread(const ThreadHandle& thread, DWORD timeoutMs) {
  if (!thread) return 0;
  auto& state = *thread->state_;
  std::unique_lock lock(state.mutex);
  if (timeoutMs == kWaitInfinite) {
    state.ended.wait(lock, [&] { return state.finished; });
  } else if (!state.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state.finished; })) {
    return STILL_ACTIVE;
  }
  DWORD code = state.exitCode;
  lock.unlock();
  if (state.thread.joinable() && state.thread.get_id() != std::this_thread::get_id()) state.thread.join();
  return code;
}

void waitForAll(std::span<const ThreadHandle> threads) {
  for (const auto& thread : threads) waitForThread(thread);
}

}  // namespace talmoor

#include "platform/messages/message_loop_thread.h"

#include <future>

#include "platform/thread_context.h"

namespace talmoor::platform {

MessageLoopThread::MessageLoopThread(Handler handler) {
  std::promise<std::shared_ptr<MessageQueue>> ready;
  auto started = ready.get_future();
  // The loop works on what the thread that made it works on.
  thread_ = std::thread([handler = std::move(handler), &ready, context = threadContext()]() mutable {
    ThreadContextScope working(std::move(context));
    auto queue = currentThreadQueueShared();
    ready.set_value(queue);
    for (;;) {
      Message message = queue->get();
      if (message.message == WM_QUIT) break;
      handler(message);
    }
  });
  queue_ = started.get();
}

MessageLoopThread::~MessageLoopThread() {
  post(WM_QUIT);
  if (thread_.joinable()) thread_.join();
}

BOOL MessageLoopThread::post(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessage(queue_, message, wParam, lParam);
}

}  // namespace talmoor::platform

#pragma once
// A thread that runs a message loop: it takes the messages posted to it, in
// order, and hands each to its handler until it is told to quit.

#include <functional>
#include <memory>
#include <thread>

#include "platform/messages/message_queue.h"

namespace talmoor::platform {

inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;

class MessageLoopThread {
 public:
  using Handler = std::function<void(const Message&)>;
  explicit MessageLoopThread(Handler handler);
  // Posts the quit message and waits for the loop to end.
  ~MessageLoopThread();
  MessageLoopThread(const MessageLoopThread&) = delete;
  MessageLoopThread& operator=(const MessageLoopThread&) = delete;

  BOOL post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  const std::shared_ptr<MessageQueue>& queue() const { return queue_; }
  bool onLoopThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  std::shared_ptr<MessageQueue> queue_;
  std::thread thread_;
};

}  // namespace talmoor::platform

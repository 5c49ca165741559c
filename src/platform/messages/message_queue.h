#pragma once
// Message queues, one per thread, and windows as targets that belong to the
// thread that made them: posting, taking out by number and target, and a
// blocking get. The desktop bridges these windows to its own later.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/win32_types.h"

namespace talmoor::platform {

// Application messages are numbered from here.
inline constexpr UINT WM_APP_BASE = 0x8000;

struct Message {
  HWND window = 0;  // 0 for a thread message
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class MessageQueue {
 public:
  void post(const Message& message);
  // Takes out the first message for `window` with the number, if any.
  std::optional<Message> peekRemove(HWND window, UINT message);
  // The same, only for a message that also carries `lParam`.
  std::optional<Message> peekRemove(HWND window, UINT message, LPARAM lParam);
  // Takes out the first pending message of any kind, if any.
  std::optional<Message> peek();
  // Waits for the next message.
  Message get();
  // Waits at most `timeout`.
  std::optional<Message> get(std::chrono::milliseconds timeout);
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> messages_;
};

// The calling thread's queue, made on first use.
MessageQueue& currentThreadQueue();
std::shared_ptr<MessageQueue> currentThreadQueueShared();

// A window belonging to the calling thread: messages posted to it arrive in
// that thread's queue.
HWND CreateMessageWindow();
void DestroyMessageWindow(HWND window);
BOOL IsWindow(HWND window);
// The queue of the thread that owns the window, or none.
std::shared_ptr<MessageQueue> windowQueue(HWND window);

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessage(const std::shared_ptr<MessageQueue>& thread, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace talmoor::platform

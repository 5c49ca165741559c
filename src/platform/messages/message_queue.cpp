#include "platform/messages/message_queue.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

namespace talmoor::platform {

void MessageQueue::post(const Message& message) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
  }
  arrived_.notify_one();
}

std::optional<Message> MessageQueue::peekRemove(HWND window, UINT message) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(messages_.begin(), messages_.end(),
                         [&](const Message& m) { return m.window == window && m.message == message; });
  if (it == messages_.end()) return std::nullopt;
  Message found = *it;
  messages_.erase(it);
  return found;
}

std::optional<Message> MessageQueue::peekRemove(HWND window, UINT message, LPARAM lParam) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(messages_.begin(), messages_.end(), [&](const Message& m) {
    return m.window == window && m.message == message && m.lParam == lParam;
  });
  if (it == messages_.end()) return std::nullopt;
  Message found = *it;
  messages_.erase(it);
  return found;
}

std::optional<Message> MessageQueue::peek() {
  std::lock_guard lock(mutex_);
  if (messages_.empty()) return std::nullopt;
  Message found = messages_.front();
  messages_.pop_front();
  return found;
}

Message MessageQueue::get() {
  std::unique_lock lock(mutex_);
  arrived_.wait(lock, [&] { return !messages_.empty(); });
  Message found = messages_.front();
  messages_.pop_front();
  return found;
}

std::optional<Message> MessageQueue::get(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [&] { return !messages_.empty(); })) return std::nullopt;
  Message found = messages_.front();
  messages_.pop_front();
  return found;
}

std::size_t MessageQueue::size() const {
  std::lock_guard lock(mutex_);
  return messages_.size();
}

namespace {

std::mutex g_windowsMutex;
std::unordered_map<HWND, std::weak_ptr<MessageQueue>> g_windows;
std::atomic<HWND> g_nextWindow{0x10000};

}  // namespace

std::shared_ptr<MessageQueue> currentThreadQueueShared() {
  thread_local std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
  return queue;
}

MessageQueue& currentThreadQueue() { return *currentThreadQueueShared(); }

HWND CreateMessageWindow() {
  HWND window = g_nextWindow.fetch_add(4);
  std::lock_guard lock(g_windowsMutex);
  g_windows[window] = currentThreadQueueShared();
  return window;
}

void DestroyMessageWindow(HWND window) {
  std::lock_guard lock(g_windowsMutex);
  g_windows.erase(window);
}

std::shared_ptr<MessageQueue> windowQueue(HWND window) {
  std::lock_guard lock(g_windowsMutex);
  auto it = g_windows.find(window);
  return it == g_windows.end() ? nullptr : it->second.lock();
}

BOOL IsWindow(HWND window) { return windowQueue(window) ? 1 : 0; }

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = windowQueue(window);
  if (!queue) return 0;
  queue->post(Message{window, message, wParam, lParam});
  return 1;
}

BOOL PostThreadMessage(const std::shared_ptr<MessageQueue>& thread, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!thread) return 0;
  thread->post(Message{0, message, wParam, lParam});
  return 1;
}

}  // namespace talmoor::platform

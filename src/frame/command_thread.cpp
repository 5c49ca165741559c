#include "frame/command_thread.h"

#include <fmt/format.h>

namespace talmoor::frame {

CommandThread::CommandThread()
    : loop_(std::make_unique<platform::MessageLoopThread>([this](const platform::Message& m) { dispatch(m); })) {}

CommandThread::~CommandThread() { quit(); }

void CommandThread::setHandler(CommandMessage message, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[static_cast<UINT>(message)] = std::move(handler);
}

bool CommandThread::post(CommandMessage message, WPARAM wParam, Record record) {
  // Under the lock, so that quit() cannot take the loop away mid-post.
  std::lock_guard lock(mutex_);
  if (!loop_) return false;
  LPARAM ticket = 0;
  if (record.has_value()) {
    ticket = nextTicket_++;
    records_.emplace(ticket, std::move(record));
  }
  if (loop_->post(static_cast<UINT>(message), wParam, ticket)) return true;
  records_.erase(ticket);
  return false;
}

bool CommandThread::postNumber(UINT message, WPARAM wParam) {
  std::lock_guard lock(mutex_);
  return loop_ && loop_->post(message, wParam, 0);
}

void CommandThread::quit() {
  std::unique_ptr<platform::MessageLoopThread> loop;
  {
    std::lock_guard lock(mutex_);
    loop = std::move(loop_);
  }
  loop.reset();  // posts the quit message and joins the thread
  std::lock_guard lock(mutex_);
  records_.clear();
}

CommandThread::Counts CommandThread::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

void CommandThread::setObserver(std::function<void(const std::string& line)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::optional<CommandThread::Record> CommandThread::takeRecord(LPARAM ticket) {
  if (ticket == 0) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto found = records_.find(ticket);
  if (found == records_.end()) return std::nullopt;
  Record record = std::move(found->second);
  records_.erase(found);
  return record;
}

void CommandThread::dispatch(const platform::Message& message) {
  if (message.message < kFirstCommandMessage || message.message > kLastCommandMessage) {
    std::lock_guard lock(mutex_);
    ++counts_.ignored;
    return;
  }
  Record record = takeRecord(message.lParam).value_or(Record{});
  Handler handler;
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard lock(mutex_);
    if (auto found = handlers_.find(message.message); found != handlers_.end()) handler = found->second;
    ++(handler ? counts_.handled : counts_.accepted);
    observer = observer_;
  }
  // The handler runs outside the lock: it may post further messages.
  if (handler) handler(message.wParam, std::move(record));
  if (observer)
    observer(fmt::format("command thread: 0x{:04X} {}", message.message, handler ? "done" : "accepted (no work yet)"));
}

}  // namespace talmoor::frame

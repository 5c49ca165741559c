#pragma once
// Questions asked on behalf of a window, from a thread that waits for the
// answer. A window that closes while one of its workers waits on a question
// must not wait for that worker in turn: it says it is going away, and every
// question still open for it (and any asked after) is answered with the
// answer that stands for Cancel, so the worker wakes, stops and is joined.
//
//   // a worker thread, in an Interaction whose dialogs run on the GUI thread:
//   int answer = pending.ask<int>(request.owner, IDCANCEL, [&](auto deliver) {
//     postToGuiThread([request, deliver] { deliver(showBox(request)); });
//   });
//   // the GUI thread, closing the window:
//   pending.ownerGone(window);

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "base/window_ref.h"

namespace talmoor {

class PendingQuestions {
 public:
  // Puts a question and waits for its answer. `post` is handed the function
  // that delivers the answer (from any thread, at most once counted); it
  // must not wait for the answer itself. When the owner has gone, or goes
  // while the question waits, `cancelled` is the answer. A question of no
  // window (owner 0) is never cancelled this way.
  template <class Reply>
  Reply ask(WindowRef owner, Reply cancelled, const std::function<void(std::function<void(Reply)>)>& post) {
    auto slot = std::make_shared<Slot<Reply>>();
    if (!enter(owner, slot)) return cancelled;
    post([slot](Reply reply) { slot->deliver(std::move(reply)); });
    Reply answer = slot->wait(cancelled);
    leave(slot);
    return answer;
  }

  // The window has gone (or is going): its questions are answered Cancel.
  void ownerGone(WindowRef owner);
  // A window of that number is there again (numbers may be used again).
  void ownerBack(WindowRef owner);
  bool gone(WindowRef owner) const;

 private:
  struct Waiting {
    virtual ~Waiting() = default;
    WindowRef owner = 0;
    virtual void cancel() = 0;
  };

  template <class Reply>
  struct Slot : Waiting {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<Reply> reply;
    bool cancelledFlag = false;

    void deliver(Reply value) {
      std::lock_guard lock(mutex);
      if (reply || cancelledFlag) return;  // the first answer stands
      reply = std::move(value);
      answered.notify_all();
    }
    void cancel() override {
      std::lock_guard lock(mutex);
      if (reply) return;
      cancelledFlag = true;
      answered.notify_all();
    }
    Reply wait(const Reply& cancelled) {
      std::unique_lock lock(mutex);
      answered.wait(lock, [&] { return reply || cancelledFlag; });
      return reply ? std::move(*reply) : cancelled;
    }
  };

  // False when the owner is gone already: nothing is posted then.
  bool enter(WindowRef owner, const std::shared_ptr<Waiting>& slot);
  void leave(const std::shared_ptr<Waiting>& slot);

  mutable std::mutex mutex_;
  std::set<WindowRef> gone_;
  std::vector<std::shared_ptr<Waiting>> waiting_;
};

}  // namespace talmoor

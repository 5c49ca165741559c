#pragma once
// Handing many small things from workers to the GUI thread in batches: a
// worker puts an item in and, when no delivery is on its way, posts one; the
// GUI thread takes everything collected so far in one go, at most once per
// interval. A search that finds a hundred thousand items makes a few dozen
// deliveries a second, not a hundred thousand, and the window stays
// responsive. The first item after a quiet spell is delivered at once.
//
// The inbox is shared: a worker that is putting an item in as the window
// closes keeps it alive, and the window's detach() makes it drop what comes.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "gui/gui_thread.h"

namespace talmoor::gui {

template <class Item>
class BatchedInbox : public std::enable_shared_from_this<BatchedInbox<Item>> {
 public:
  // Called on the GUI thread with the items in the order they were put in.
  using Sink = std::function<void(std::vector<Item>& items)>;

  static std::shared_ptr<BatchedInbox> create(Sink sink, int intervalMs = 30) {
    return std::shared_ptr<BatchedInbox>(new BatchedInbox(std::move(sink), intervalMs));
  }

  // Any thread. An urgent item (the end of a job, say) is delivered, with
  // everything before it, as soon as the GUI thread gets to it.
  void put(Item item, bool urgent = false) {
    bool post = false;
    {
      std::lock_guard lock(mutex_);
      if (detached_) return;
      items_.push_back(std::move(item));
      post = !posted_ || (urgent && !urgentPosted_);
      posted_ = true;
      urgentPosted_ = urgentPosted_ || urgent;
    }
    if (post) {
      std::weak_ptr<BatchedInbox> weak = this->weak_from_this();
      postToGui(qApp, [weak, urgent] {
        if (auto self = weak.lock()) urgent ? self->flush() : self->arrived();
      });
    }
  }

  // GUI thread: delivers what has been put in so far, now.
  void flush() {
    std::vector<Item> items;
    {
      std::lock_guard lock(mutex_);
      items.swap(items_);
      posted_ = urgentPosted_ = false;
    }
    last_.restart();
    if (sink_ && !items.empty()) sink_(items);
  }

  // GUI thread: nothing more is delivered (the window is going).
  void detach() {
    sink_ = nullptr;
    std::lock_guard lock(mutex_);
    detached_ = true;
    items_.clear();
  }

  // Whether items wait for their delivery.
  bool pending() const {
    std::lock_guard lock(mutex_);
    return !items_.empty();
  }

 private:
  BatchedInbox(Sink sink, int intervalMs) : sink_(std::move(sink)), interval_(intervalMs) {}

  // GUI thread: a delivery was posted.
  void arrived() {
    if (!sink_) return;
    if (!last_.isValid() || last_.elapsed() >= interval_) {
      flush();
      return;
    }
    std::weak_ptr<BatchedInbox> weak = this->weak_from_this();
    QTimer::singleShot(static_cast<int>(interval_ - last_.elapsed()), qApp, [weak] {
      if (auto self = weak.lock()) self->flush();
    });
  }

  Sink sink_;
  const qint64 interval_;
  QElapsedTimer last_;  // GUI thread
  mutable std::mutex mutex_;
  std::vector<Item> items_;
  bool posted_ = false;        // a delivery is on its way
  bool urgentPosted_ = false;  // an immediate one
  bool detached_ = false;
};

}  // namespace talmoor::gui

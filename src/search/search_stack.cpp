#include "search/search_stack.h"

#include <cstdlib>
#include <new>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/messages/message_queue.h"

namespace talmoor::search {

basic_threadedclass::~basic_threadedclass() { markDead(); }

SearchStack::~SearchStack() {
  Clear();
  markDead();
}

namespace {

// The list's own fatal stop, with its box and its exit code. Like the
// program's out-of-memory stop it ends the process at once: the other
// threads still use what an orderly exit would destroy.
[[noreturn]] void stackFilled() {
  fatalOutOfMemory(FatalStop{"Out of Memory adding an Item to the Stack", "Stack has been filled, Fatal",
                             kStackFilledExitCode});
}

}  // namespace

SearchStack::NodePtr SearchStack::newNode(Item item) {
  try {
    return std::make_shared<Node>(Node{item, nullptr, true});
  } catch (const std::bad_alloc&) {
    stackFilled();
  }
}

void SearchStack::linkAtHead(NodePtr node) {
  node->next = head_;
  head_ = std::move(node);
  if (!tail_) tail_ = head_;
  ++count_;
}

// At most one notification is pending per window and list: an older one is
// taken out of the window's queue before the new count is posted.
void SearchStack::notify(UINT message) {
  HWND window = notifyWindow;
  if (!window || !platform::IsWindow(window)) return;
  DWORD count = 0;
  {
    std::lock_guard lock(lock_);
    count = count_;
  }
  auto queue = platform::windowQueue(window);
  if (!queue) return;
  const auto self = reinterpret_cast<LPARAM>(this);
  while (queue->peekRemove(window, message, self)) {
  }
  platform::PostMessage(window, message, count, self);
}

void SearchStack::Push(Item item) {
  if (!alive()) return;
  {
    std::lock_guard lock(lock_);
    linkAtHead(newNode(item));
  }
  notify(kStackChangedMessage);
}

void SearchStack::Append(Item item) {
  if (!alive()) return;
  {
    std::lock_guard lock(lock_);
    NodePtr node = newNode(item);
    if (!tail_) {
      head_ = tail_ = node;
    } else {
      tail_->next = node;
      tail_ = node;
    }
    ++count_;
  }
  notify(kStackChangedMessage);
}

void SearchStack::SetComparator(Comparator comparator) {
  std::lock_guard lock(lock_);
  defaultComparator_ = std::move(comparator);
}

void SearchStack::InsertSorted(Item item, const Comparator& comparator) {
  if (!alive()) return;
  {
    std::unique_lock lock(lock_);
    if (!head_) {
      linkAtHead(newNode(item));
    } else {
      const Comparator& compare = comparator ? comparator : defaultComparator_;
      if (!compare) {
        lock.unlock();
        throw searchstack::Failure{searchstack::Failure::kNoComparator};
      }
      NodePtr node = newNode(item);
      NodePtr previous = head_;
      NodePtr current = head_;
      bool placed = false;
      while (current && !placed) {
        int verdict = compare(item, previous->item, current->item);
        if (verdict == 0 && previous == head_) {
          node->next = head_;
          head_ = node;
          placed = true;
        } else if (verdict >= 1 && verdict <= 4) {
          node->next = previous->next;
          previous->next = node;
          placed = true;
        } else if (verdict == 5 && current == tail_) {
          tail_->next = node;
          placed = true;
        }
        previous = current;
        current = current->next;
      }
      if (!placed) {
        node->next = head_;
        head_ = node;
      }
      ++count_;
      while (tail_->next) tail_ = tail_->next;
    }
  }
  notify(kStackChangedMessage);
}

void SearchStack::unlinkAfter(const NodePtr& previous, const NodePtr& node) {
  if (previous) previous->next = node->next;
  else head_ = node->next;
  if (tail_ == node) tail_ = previous;
  node->linked = false;
  --count_;
}

int SearchStack::Walk(const Visitor& visitor) {
  if (!alive()) return 0;
  std::unique_lock lock(lock_);
  NodePtr node = head_;
  int result = 0;
  while (node) {
    // A node another thread took out while we visited: go on from what it
    // pointed to, past any others that went too.
    if (!node->linked) {
      node = node->next;
      continue;
    }
    lock.unlock();
    result = visitor(node->item);
    lock.lock();
    if (result == kVisitRemove) {
      if (node->linked) {
        // Find the node's predecessor now: the list may have changed.
        NodePtr before;
        for (NodePtr p = head_; p && p != node; p = p->next) before = p;
        unlinkAfter(before, node);
        lock.unlock();
        notify(kStackChangedMessage);
        lock.lock();
      }
      result = 0;
      node = node->next;
      continue;
    }
    if (result != kVisitContinue) break;
    node = node->next;
  }
  return result;
}

int SearchStack::Sort(const Comparator& comparator) {
  if (!alive()) return 0;
  bool moved = false;
  int result = 0;
  {
    std::lock_guard lock(lock_);
    if (count_ < 2 || !comparator) return 0;
    bool anotherPass = true;
    bool stopped = false;
    // A comparator that always asks for another pass would never end; a
    // consistent one settles well within this many passes.
    std::size_t passesLeft = std::size_t{count_} + 1;
    while (anotherPass && !stopped && passesLeft-- > 0) {
      anotherPass = false;
      NodePtr first = head_;
      NodePtr last = head_;
      NodePtr candidate = head_->next;
      first->next = nullptr;
      while (candidate) {
        NodePtr following = candidate->next;
        int verdict = comparator(candidate->item, first->item, last->item);
        if (verdict == 0 || verdict == 1) {
          candidate->next = first;
          first = candidate;
          moved = true;
        } else if (verdict == 2 || verdict == 3) {
          candidate->next = first->next;
          first->next = candidate;
          if (last == first) last = candidate;
          anotherPass = true;
          moved = true;
        } else if (verdict == 4 || verdict == 5) {
          candidate->next = nullptr;
          last->next = candidate;
          last = candidate;
        } else {
          last->next = candidate;  // the rest keeps its order
          stopped = true;
          result = verdict;
          break;
        }
        candidate = following;
      }
      head_ = first;
      tail_ = last;
      while (tail_->next) tail_ = tail_->next;
    }
  }
  if (moved) notify(kStackSortedMessage);
  return result;
}

SearchStack::Item SearchStack::Peek() {
  if (!alive()) return nullptr;
  std::lock_guard lock(lock_);
  return head_ ? head_->item : nullptr;
}

SearchStack::Item SearchStack::Pop(Item item, bool disposeItem) {
  if (!alive()) return nullptr;
  Item removed = nullptr;
  Item result = nullptr;
  {
    std::unique_lock lock(lock_);
    if (!head_) {
      lock.unlock();
      throw searchstack::Failure{searchstack::Failure::kPopEmpty};
    }
    if (!item || head_->item == item) {
      NodePtr node = head_;
      unlinkAfter(nullptr, node);
      removed = result = node->item;
    } else {
      NodePtr previous = head_;
      NodePtr node = head_->next;
      while (node && node->item != item) {
        previous = node;
        node = node->next;
      }
      if (!node) return nullptr;  // not on the list: nothing changes
      unlinkAfter(previous, node);
      removed = node->item;
      result = node->next ? node->next->item : nullptr;
    }
  }
  if (disposeItem && dispose) {
    dispose(removed);
    result = nullptr;
  }
  notify(kStackChangedMessage);
  return result;
}

SearchStack::Item SearchStack::GetAt(DWORD index) {
  if (!alive()) return nullptr;
  std::lock_guard lock(lock_);
  NodePtr node = head_;
  for (DWORD i = 0; node && i < index; ++i) node = node->next;
  return node ? node->item : nullptr;
}

DWORD SearchStack::GetCount(bool verify) {
  if (!alive()) return 0;
  std::lock_guard lock(lock_);
  if (!verify) return count_;
  DWORD counted = 0;
  for (NodePtr node = head_; node; node = node->next) ++counted;
  return counted;
}

bool SearchStack::IsEmpty() {
  if (!alive()) return false;
  std::lock_guard lock(lock_);
  return !head_;
}

void SearchStack::Clear() {
  if (!alive()) return;
  std::lock_guard lock(lock_);
  while (head_) {
    NodePtr node = head_;
    unlinkAfter(nullptr, node);
    node->next.reset();  // one node at a time: no deep chain of releases
    if (dispose) dispose(node->item);
  }
  head_ = tail_ = nullptr;
  count_ = 0;
  defaultComparator_ = nullptr;
}

}  // namespace talmoor::search

#pragma once
// The one list container of the system: a thread-safe singly linked list of
// opaque item pointers that windows and workers share. The owner supplies the
// functions that compare, visit and dispose of items; a window may be told of
// every change of the count.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/win32_types.h"

namespace talmoor::search {

namespace searchstack {
// Failures a caller must handle.
struct Failure {
  static constexpr int kPopEmpty = 2;
  static constexpr int kNoComparator = 3;
  int code;
};
}  // namespace searchstack

// The exit code of the process when the list cannot take another item.
inline constexpr int kStackFilledExitCode = -1;

// Posted to the notify window: wParam the count, lParam the list.
inline constexpr UINT kStackChangedMessage = 0x80B8;
inline constexpr UINT kStackSortedMessage = 0x80B7;

// Visitor results.
inline constexpr int kVisitContinue = 0;
inline constexpr int kVisitRemove = -2;

// The lockable base of objects several threads touch. Copying is refused.
class basic_threadedclass {
 public:
  basic_threadedclass() = default;
  virtual ~basic_threadedclass();
  basic_threadedclass(const basic_threadedclass&) = delete;
  basic_threadedclass& operator=(const basic_threadedclass&) = delete;

 protected:
  bool alive() const { return alive_.load(); }
  void markDead() { alive_ = false; }
  std::recursive_mutex lock_;

 private:
  std::atomic<bool> alive_{true};
};

class SearchStack : public basic_threadedclass {
 public:
  using Item = void*;
  // comparator(candidate, first, second) -> 0..5 or another value.
  using Comparator = std::function<int(Item candidate, Item first, Item second)>;
  using Visitor = std::function<int(Item item)>;
  using Dispose = std::function<void(Item item)>;

  SearchStack() = default;
  ~SearchStack() override;

  void Push(Item item);
  void Append(Item item);
  void InsertSorted(Item item, const Comparator& comparator = {});
  void SetComparator(Comparator comparator);
  int Walk(const Visitor& visitor);
  int Sort(const Comparator& comparator);
  Item Peek();
  Item Pop(Item item = nullptr, bool dispose = false);
  Item GetAt(DWORD index);
  DWORD GetCount(bool verify = false);
  bool IsEmpty();
  void Clear();

  // Set by the owner right after construction.
  Dispose dispose;
  HWND notifyWindow = 0;

 private:
  struct Node {
    Item item;
    std::shared_ptr<Node> next;
    bool linked = true;
  };
  using NodePtr = std::shared_ptr<Node>;

  NodePtr newNode(Item item);
  void linkAtHead(NodePtr node);
  void notify(UINT message);
  void unlinkAfter(const NodePtr& previous, const NodePtr& node);

  NodePtr head_;
  NodePtr tail_;
  DWORD count_ = 0;
  Comparator defaultComparator_;
};

}  // namespace talmoor::search

// The shared list: order, removal during walks, sorting, failures, the
// single pending notification, and many threads at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "platform/messages/message_queue.h"
#include "search/search_stack.h"

namespace {

using talmoor::search::SearchStack;
namespace searchstack = talmoor::search::searchstack;
namespace tp = talmoor::platform;

// Items are small integers standing in for pointers.
SearchStack::Item item(std::intptr_t n) { return reinterpret_cast<SearchStack::Item>(n); }
std::intptr_t number(SearchStack::Item i) { return reinterpret_cast<std::intptr_t>(i); }

std::vector<std::intptr_t> contents(SearchStack& stack) {
  std::vector<std::intptr_t> out;
  stack.Walk([&](SearchStack::Item i) {
    out.push_back(number(i));
    return 0;
  });
  return out;
}

TEST(SearchStack, PushAppendPopAndTheTail) {
  SearchStack stack;
  EXPECT_TRUE(stack.IsEmpty());
  stack.Push(item(2));
  stack.Push(item(1));
  stack.Append(item(3));
  EXPECT_EQ(contents(stack), (std::vector<std::intptr_t>{1, 2, 3}));
  EXPECT_EQ(stack.GetCount(), 3u);
  EXPECT_EQ(number(stack.GetAt(0)), 1);
  EXPECT_EQ(stack.GetAt(3), nullptr);

  // Popping the tail item moves the tail back and returns what followed: none.
  EXPECT_EQ(stack.Pop(item(3)), nullptr);
  stack.Append(item(4));
  EXPECT_EQ(contents(stack), (std::vector<std::intptr_t>{1, 2, 4}));
  // Popping an inner item returns the one after it.
  EXPECT_EQ(number(stack.Pop(item(2))), 4);
  EXPECT_EQ(number(stack.Pop()), 1);
  EXPECT_EQ(number(stack.Pop()), 4);
  try {
    stack.Pop();
    FAIL() << "popping an empty list must fail";
  } catch (const searchstack::Failure& failure) {
    EXPECT_EQ(failure.code, 2);
  }
  stack.Push(item(9));  // still usable
  EXPECT_EQ(stack.GetCount(true), 1u);

  std::vector<std::intptr_t> disposed;
  stack.dispose = [&](SearchStack::Item i) { disposed.push_back(number(i)); };
  EXPECT_EQ(stack.Pop(nullptr, true), nullptr);
  stack.Append(item(5));
  stack.Append(item(6));
  stack.Clear();
  EXPECT_EQ(disposed, (std::vector<std::intptr_t>{9, 5, 6}));
  EXPECT_EQ(stack.GetCount(), 0u);
}

TEST(SearchStack, WalkRemovesAndStops) {
  SearchStack stack;
  for (int i = 5; i >= 1; --i) stack.Push(item(i));
  EXPECT_EQ(stack.Walk([](SearchStack::Item i) { return number(i) % 2 == 0 ? -2 : 0; }), 0);
  EXPECT_EQ(contents(stack), (std::vector<std::intptr_t>{1, 3, 5}));
  EXPECT_EQ(stack.Walk([](SearchStack::Item i) { return number(i) == 3 ? 77 : 0; }), 77);
  // A visitor may change the list it walks.
  stack.Walk([&](SearchStack::Item i) {
    if (number(i) == 1) stack.Pop(item(3));
    return 0;
  });
  EXPECT_EQ(contents(stack), (std::vector<std::intptr_t>{1, 5}));
  stack.Walk([](SearchStack::Item) { return -2; });
  EXPECT_EQ(stack.GetCount(), 0u);
  EXPECT_TRUE(stack.IsEmpty());
}

TEST(SearchStack, InsertSortedAndSort) {
  SearchStack stack;
  // An empty list takes the item even without a comparator.
  stack.InsertSorted(item(5));
  try {
    stack.InsertSorted(item(1));
    FAIL() << "no comparator";
  } catch (const searchstack::Failure& failure) {
    EXPECT_EQ(failure.code, 3);
  }
  EXPECT_EQ(stack.GetCount(), 1u);

  // Ascending: before the head (0), after previous (1), after the tail (5).
  stack.SetComparator([](SearchStack::Item candidate, SearchStack::Item previous, SearchStack::Item current) {
    auto c = number(candidate), p = number(previous), n = number(current);
    if (c <= p) return 0;
    if (c > p && c <= n) return 1;
    return 5;
  });
  for (int n : {3, 9, 7, 1, 5}) stack.InsertSorted(item(n));
  EXPECT_EQ(contents(stack), (std::vector<std::intptr_t>{1, 3, 5, 5, 7, 9}));
  stack.Append(item(10));
  EXPECT_EQ(number(stack.GetAt(6)), 10);

  // Sort descending: before first when larger, after last when smaller,
  // otherwise after first with another pass.
  SearchStack sorted;
  for (int n : {4, 8, 1, 6, 3}) sorted.Append(item(n));
  int result = sorted.Sort([](SearchStack::Item c, SearchStack::Item first, SearchStack::Item last) {
    if (number(c) >= number(first)) return 0;
    if (number(c) <= number(last)) return 4;
    return 2;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(contents(sorted), (std::vector<std::intptr_t>{8, 6, 4, 3, 1}));
  // A comparator that always wants another pass still ends.
  sorted.Sort([](SearchStack::Item, SearchStack::Item, SearchStack::Item) { return 2; });
  EXPECT_EQ(sorted.GetCount(true), 5u);
  // A stop keeps the rest in order.
  EXPECT_EQ(sorted.Sort([](SearchStack::Item, SearchStack::Item, SearchStack::Item) { return 9; }), 9);
  EXPECT_EQ(sorted.GetCount(true), 5u);
}

TEST(SearchStack, OneNotificationStaysPendingWithTheLatestCount) {
  HWND window = tp::CreateMessageWindow();
  auto& queue = tp::currentThreadQueue();
  while (queue.peek()) {
  }
  SearchStack stack;
  stack.notifyWindow = window;
  for (int i = 0; i < 10; ++i) stack.Push(item(i + 1));
  ASSERT_EQ(queue.size(), 1u);
  auto message = queue.peek();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->message, talmoor::search::kStackChangedMessage);
  EXPECT_EQ(message->wParam, 10u);
  EXPECT_EQ(message->lParam, reinterpret_cast<LPARAM>(&stack));

  SearchStack single;
  single.notifyWindow = window;
  single.Push(item(1));
  queue.peek();
  single.Sort([](SearchStack::Item, SearchStack::Item, SearchStack::Item) { return 0; });
  EXPECT_EQ(queue.size(), 0u);  // nothing to sort, nothing posted
  tp::DestroyMessageWindow(window);
}

TEST(SearchStack, ManyThreadsLoseNothing) {
  SearchStack stack;
  constexpr int kThreads = 4, kEach = 2000;
  std::atomic<int> popped{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        if (i % 2) stack.Push(item(t * kEach + i + 1));
        else stack.Append(item(t * kEach + i + 1));
        if (i % 5 == 0) {
          try {
            stack.Pop();
            ++popped;
          } catch (const searchstack::Failure&) {
          }
        }
      }
    });
  }
  std::thread walker([&] {
    for (int i = 0; i < 50; ++i) stack.Walk([](SearchStack::Item) { return 0; });
  });
  for (auto& t : threads) t.join();
  walker.join();
  EXPECT_EQ(stack.GetCount(), static_cast<DWORD>(kThreads * kEach - popped));
  EXPECT_EQ(stack.GetCount(true), stack.GetCount());
  std::set<std::intptr_t> distinct;
  stack.Walk([&](SearchStack::Item i) {
    distinct.insert(number(i));
    return 0;
  });
  EXPECT_EQ(distinct.size(), stack.GetCount());
}

}  // namespace

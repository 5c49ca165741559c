#pragma once
// The subkeys of one key, kept in the order the registry enumerates them
// (upper-cased names). A key may hold hundreds of thousands of subkeys, added
// in any order by an import, so the list is a run of sorted blocks: adding,
// finding and removing cost a binary search and a move within one block, and
// the i-th subkey is found by skipping whole blocks.

#include <cstddef>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

namespace talmoor::platform {

class KeyNode;

class SubkeyList {
  using Block = std::vector<std::shared_ptr<KeyNode>>;

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::shared_ptr<KeyNode>;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = const value_type&;

    const_iterator() = default;
    reference operator*() const { return (*blocks_)[block_][slot_]; }
    pointer operator->() const { return &**this; }
    const_iterator& operator++() {
      if (++slot_ == (*blocks_)[block_].size()) {
        ++block_;
        slot_ = 0;
      }
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const const_iterator& other) const { return block_ == other.block_ && slot_ == other.slot_; }

   private:
    friend class SubkeyList;
    const_iterator(const std::vector<Block>* blocks, std::size_t block) : blocks_(blocks), block_(block) {}
    const std::vector<Block>* blocks_ = nullptr;
    std::size_t block_ = 0;
    std::size_t slot_ = 0;
  };

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return const_iterator(&blocks_, 0); }
  const_iterator end() const { return const_iterator(&blocks_, blocks_.size()); }
  // The subkey at an enumeration index (index < size()).
  const std::shared_ptr<KeyNode>& operator[](std::size_t index) const;

  // The subkey with this upper-cased name, or null.
  const std::shared_ptr<KeyNode>* find(std::u16string_view upperName) const;
  // Inserts in sorted place (after any subkey of the same name).
  void insert(std::shared_ptr<KeyNode> child);
  // Removes this very node; false when it is not in the list.
  bool erase(const KeyNode& child);

 private:
  // The block that holds, or would hold, a name: the first whose last name is
  // not below it (the last block for names above every other).
  std::size_t blockFor(std::u16string_view upperName) const;
  void splitIfFull(std::size_t block);

  std::vector<Block> blocks_;
  std::size_t size_ = 0;
};

}  // namespace talmoor::platform

#include "platform/registry/subkey_list.h"

#include <algorithm>

#include "platform/registry/key_tree.h"

namespace talmoor::platform {

namespace {

// Small enough that an insert moves little, large enough that a key with a
// few subkeys (nearly all of them) is one block.
constexpr std::size_t kBlockSize = 512;

struct NameBelow {
  bool operator()(const std::shared_ptr<KeyNode>& node, std::u16string_view upper) const {
    return node->upperName() < upper;
  }
  bool operator()(std::u16string_view upper, const std::shared_ptr<KeyNode>& node) const {
    return upper < node->upperName();
  }
};

}  // namespace

const std::shared_ptr<KeyNode>& SubkeyList::operator[](std::size_t index) const {
  for (const Block& block : blocks_) {
    if (index < block.size()) return block[index];
    index -= block.size();
  }
  return blocks_.back().back();  // out of range: the caller checked size()
}

std::size_t SubkeyList::blockFor(std::u16string_view upperName) const {
  auto it = std::lower_bound(blocks_.begin(), blocks_.end(), upperName,
                             [](const Block& block, std::u16string_view upper) {
                               return block.back()->upperName() < upper;
                             });
  if (it == blocks_.end()) return blocks_.size() - 1;
  return static_cast<std::size_t>(it - blocks_.begin());
}

const std::shared_ptr<KeyNode>* SubkeyList::find(std::u16string_view upperName) const {
  if (blocks_.empty()) return nullptr;
  const Block& block = blocks_[blockFor(upperName)];
  auto it = std::lower_bound(block.begin(), block.end(), upperName, NameBelow{});
  if (it != block.end() && (*it)->upperName() == upperName) return &*it;
  return nullptr;
}

void SubkeyList::insert(std::shared_ptr<KeyNode> child) {
  ++size_;
  if (blocks_.empty()) {
    blocks_.emplace_back().push_back(std::move(child));
    return;
  }
  std::u16string_view upper = child->upperName();
  // The common case, a list built in order, appends to the last block.
  Block& last = blocks_.back();
  if (!(upper < last.back()->upperName())) {
    last.push_back(std::move(child));
    splitIfFull(blocks_.size() - 1);
    return;
  }
  std::size_t index = blockFor(upper);
  Block& block = blocks_[index];
  block.insert(std::upper_bound(block.begin(), block.end(), upper, NameBelow{}), std::move(child));
  splitIfFull(index);
}

void SubkeyList::splitIfFull(std::size_t index) {
  Block& block = blocks_[index];
  if (block.size() < 2 * kBlockSize) return;
  Block upperHalf(std::make_move_iterator(block.begin() + kBlockSize), std::make_move_iterator(block.end()));
  block.resize(kBlockSize);
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(index) + 1, std::move(upperHalf));
}

bool SubkeyList::erase(const KeyNode& child) {
  auto removeFrom = [&](std::size_t index, Block::iterator it) {
    Block& block = blocks_[index];
    block.erase(it);
    if (block.empty()) blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(index));
    --size_;
    return true;
  };
  if (blocks_.empty()) return false;
  // Found by name; equal names (a damaged hive may hold them) are told apart
  // by identity.
  std::size_t index = blockFor(child.upperName());
  for (std::size_t b = index; b < blocks_.size(); ++b) {
    Block& block = blocks_[b];
    auto it = std::lower_bound(block.begin(), block.end(), std::u16string_view(child.upperName()), NameBelow{});
    for (; it != block.end() && (*it)->upperName() == child.upperName(); ++it)
      if (it->get() == &child) return removeFrom(b, it);
    if (it != block.end()) break;
  }
  // A node renamed while listed is found the slow way.
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    auto it = std::find_if(blocks_[b].begin(), blocks_[b].end(), [&](const auto& node) { return node.get() == &child; });
    if (it != blocks_[b].end()) return removeFrom(b, it);
  }
  return false;
}

}  // namespace talmoor::platform

#include "platform/registry/key_tree.h"

#include <algorithm>
#include <chrono>

#include "platform/text/code_page.h"

namespace talmoor::platform {

KeyNode::KeyNode(std::u16string name) : name_(std::move(name)), upperName_(upcase(name_)) {}

void KeyNode::rename(std::u16string name) {
  name_ = std::move(name);
  upperName_ = upcase(name_);
}

namespace {
struct UpperLess {
  bool operator()(const std::shared_ptr<KeyNode>& node, std::u16string_view upper) const {
    return node->upperName() < upper;
  }
};
}  // namespace

std::shared_ptr<KeyNode> KeyNode::findSubkey(std::u16string_view name) const {
  std::u16string upper = upcase(name);
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), std::u16string_view(upper), UpperLess{});
  if (it != subkeys_.end() && (*it)->upperName() == upper) return *it;
  return nullptr;
}

void KeyNode::addSubkey(std::shared_ptr<KeyNode> child) {
  child->parent_ = weak_from_this();
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(),
                             std::u16string_view(child->upperName()), UpperLess{});
  subkeys_.insert(it, std::move(child));
}

bool KeyNode::removeSubkey(const KeyNode& child) {
  auto it = std::find_if(subkeys_.begin(), subkeys_.end(),
                         [&](const auto& node) { return node.get() == &child; });
  if (it == subkeys_.end()) return false;
  subkeys_.erase(it);
  return true;
}

RegValue* KeyNode::findValue(std::u16string_view name) {
  for (auto& value : values_)
    if (namesEqual(value.name, name)) return &value;
  return nullptr;
}

const RegValue* KeyNode::findValue(std::u16string_view name) const {
  return const_cast<KeyNode*>(this)->findValue(name);
}

void KeyNode::setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  if (RegValue* existing = findValue(name)) {
    existing->type = type;
    existing->data = std::move(data);
    existing->isVolatile = false;
    return;
  }
  values_.push_back(RegValue{std::u16string(name), type, std::move(data)});
}

bool KeyNode::deleteValue(std::u16string_view name) {
  auto it = std::find_if(values_.begin(), values_.end(),
                         [&](const RegValue& v) { return namesEqual(v.name, name); });
  if (it == values_.end()) return false;
  values_.erase(it);
  return true;
}

void KeyNode::markDeletedRecursive() {
  deleted = true;
  for (auto& child : subkeys_) child->markDeletedRecursive();
}

std::uint64_t currentFiletime() {
  using namespace std::chrono;
  constexpr std::uint64_t kUnixEpochAsFiletime = 116444736000000000ull;
  auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return kUnixEpochAsFiletime + static_cast<std::uint64_t>(since / 100);
}

}  // namespace talmoor::platform

#include "platform/registry/key_tree.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {
// Below this many values a scan is as quick as a lookup and costs no memory.
constexpr std::size_t kValueIndexFrom = 32;
constexpr std::size_t kNoValue = static_cast<std::size_t>(-1);
}  // namespace

KeyNode::KeyNode(std::u16string name) : name_(std::move(name)), upperName_(upcase(name_)) {}

void KeyNode::readLater(std::shared_ptr<KeySource> source, std::uint32_t record, int depth, bool hasSubkeys,
                        bool hasValues) {
  source_ = std::move(source);
  sourceRecord_ = record;
  sourceDepth_ = static_cast<std::uint16_t>(depth);
  pending_.store(static_cast<std::uint8_t>((hasSubkeys ? kSubkeysPending : 0) | (hasValues ? kValuesPending : 0)),
                 std::memory_order_release);
}

void KeyNode::readPending(std::uint8_t what) const {
  std::lock_guard lock(source_->mutex());
  if (!(pending_.load(std::memory_order_relaxed) & what)) return;  // another thread read them meanwhile
  // Keys are never made const; only the tree's readers see them so.
  auto& self = const_cast<KeyNode&>(*this);
  if (what == kSubkeysPending)
    source_->readSubkeys(self, sourceRecord_, sourceDepth_);
  else
    source_->readValues(self, sourceRecord_, sourceDepth_);
  pending_.fetch_and(static_cast<std::uint8_t>(~what), std::memory_order_release);
}

bool KeyNode::canForget(const KeySource& source) const {
  if (source_.get() != &source || deleted || !hiddenSubkeys_.empty()) return false;
  if (std::any_of(values_.begin(), values_.end(), [](const RegValue& value) { return value.isVolatile; }))
    return false;
  // A child held elsewhere would be cut off from the tree it is still used in.
  return std::all_of(subkeys_.begin(), subkeys_.end(), [&](const std::shared_ptr<KeyNode>& child) {
    return child.use_count() == 1 && child->canForget(source);
  });
}

void KeyNode::dropContents(std::vector<std::uint32_t>& records, std::size_t& values) {
  for (const auto& child : subkeys_) {
    child->dropContents(records, values);
    records.push_back(child->sourceRecord_);
  }
  values += values_.size();
  // What was there is read again; what was found empty stays known empty.
  std::uint8_t pending = pending_.load(std::memory_order_relaxed);
  if (!subkeys_.empty()) pending |= kSubkeysPending;
  if (!values_.empty()) pending |= kValuesPending;
  subkeys_ = SubkeyList();
  values_ = std::vector<RegValue>();
  valueIndex_.reset();
  pending_.store(pending, std::memory_order_release);
}

bool KeyNode::forgetContents() {
  if (!source_ || (subkeys_.empty() && values_.empty())) return false;
  std::lock_guard lock(source_->mutex());
  if (!canForget(*source_)) return false;
  std::vector<std::uint32_t> records;
  std::size_t values = 0;
  dropContents(records, values);
  source_->forget(records, values);
  return true;
}

void KeySource::giveSubkey(KeyNode& key, std::shared_ptr<KeyNode> child) {
  child->parent_ = key.weak_from_this();
  child->hive_ = key.hive_;
  // Read below a key deleted meanwhile: gone as its parent is.
  child->deleted = key.deleted;
  key.subkeys_.insert(std::move(child));
}

void KeySource::giveValue(KeyNode& key, RegValue value) {
  key.values_.push_back(std::move(value));
  if (key.valueIndex_)
    key.valueIndex_->try_emplace(upcase(key.values_.back().name), key.values_.size() - 1);
  else if (key.values_.size() == kValueIndexFrom)
    key.indexValues();
}

void KeyNode::rename(std::u16string name) {
  name_ = std::move(name);
  upperName_ = upcase(name_);
}

std::shared_ptr<KeyNode> KeyNode::findSubkey(std::u16string_view name) const {
  std::u16string upper = upcase(name);
  if (const auto* found = subkeys().find(upper)) return *found;
  for (const auto& hidden : hiddenSubkeys_)
    if (hidden->upperName() == upper) return hidden;
  return nullptr;
}

void KeyNode::addSubkey(std::shared_ptr<KeyNode> child) {
  readPendingSubkeys();
  child->parent_ = weak_from_this();
  subkeys_.insert(std::move(child));
}

bool KeyNode::removeSubkey(const KeyNode& child) {
  readPendingSubkeys();
  if (subkeys_.erase(child)) return true;
  auto it = std::find_if(hiddenSubkeys_.begin(), hiddenSubkeys_.end(),
                         [&](const std::shared_ptr<KeyNode>& hidden) { return hidden.get() == &child; });
  if (it == hiddenSubkeys_.end()) return false;
  hiddenSubkeys_.erase(it);
  return true;
}

void KeyNode::addHiddenSubkey(std::shared_ptr<KeyNode> child) {
  child->parent_ = weak_from_this();
  hiddenSubkeys_.push_back(std::move(child));
}

void KeyNode::moveChildrenFrom(KeyNode& other) {
  readPendingSubkeys();
  other.readPendingSubkeys();
  const std::vector<std::shared_ptr<KeyNode>> listed(other.subkeys_.begin(), other.subkeys_.end());
  for (const auto& child : listed) {
    other.subkeys_.erase(*child);
    addSubkey(child);
  }
  for (auto& child : std::exchange(other.hiddenSubkeys_, {})) addHiddenSubkey(std::move(child));
}

std::size_t KeyNode::indexOfValue(std::u16string_view name) const {
  readPendingValues();
  if (valueIndex_) {
    auto it = valueIndex_->find(upcase(name));
    return it == valueIndex_->end() ? kNoValue : it->second;
  }
  for (std::size_t i = 0; i < values_.size(); ++i)
    if (namesEqual(values_[i].name, name)) return i;
  return kNoValue;
}

void KeyNode::indexValues() {
  if (values_.size() < kValueIndexFrom) {
    valueIndex_.reset();
    return;
  }
  valueIndex_ = std::make_unique<std::unordered_map<std::u16string, std::size_t>>();
  valueIndex_->reserve(values_.size());
  // The first of equal names wins, as a scan would find it.
  for (std::size_t i = 0; i < values_.size(); ++i) valueIndex_->try_emplace(upcase(values_[i].name), i);
}

RegValue* KeyNode::findValue(std::u16string_view name) {
  std::size_t index = indexOfValue(name);
  return index == kNoValue ? nullptr : &values_[index];
}

const RegValue* KeyNode::findValue(std::u16string_view name) const {
  std::size_t index = indexOfValue(name);
  return index == kNoValue ? nullptr : &values_[index];
}

void KeyNode::setValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  if (RegValue* existing = findValue(name)) {
    existing->type = type;
    existing->data = std::move(data);
    existing->isVolatile = false;
    return;
  }
  appendValue(RegValue{std::u16string(name), type, std::move(data)});
}

void KeyNode::appendValue(RegValue value) {
  readPendingValues();
  values_.push_back(std::move(value));
  if (valueIndex_)
    valueIndex_->try_emplace(upcase(values_.back().name), values_.size() - 1);
  else if (values_.size() == kValueIndexFrom)
    indexValues();
}

bool KeyNode::deleteValue(std::u16string_view name) {
  std::size_t index = indexOfValue(name);
  if (index == kNoValue) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(index));
  if (valueIndex_) {
    // The values after it moved down one place.
    valueIndex_->erase(upcase(name));
    for (auto& [upper, at] : *valueIndex_)
      if (at > index) --at;
    if (values_.size() < kValueIndexFrom) valueIndex_.reset();
  }
  return true;
}

void KeyNode::eraseVolatileValues() {
  readPendingValues();
  values_.erase(std::remove_if(values_.begin(), values_.end(), [](const RegValue& v) { return v.isVolatile; }),
                values_.end());
  indexValues();
}

void KeyNode::replaceSavedValues(const std::vector<RegValue>& values) {
  readPendingValues();
  std::vector<RegValue> kept;
  for (auto& value : values_)
    if (value.isVolatile) kept.push_back(std::move(value));
  values_ = values;
  for (auto& value : kept) values_.push_back(std::move(value));
  indexValues();
}

void KeyNode::adoptInto(const std::shared_ptr<Hive>& hive) {
  // Keys not read yet take their parent's hive when they are read.
  hive_ = hive;
  for (const auto& child : subkeys_) child->adoptInto(hive);
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

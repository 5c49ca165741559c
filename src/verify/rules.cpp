#include "verify/rules.h"

#include <algorithm>
#include <cstring>

#include "platform/files/atomic_file.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "base/workspace.h"

namespace talmoor::verify {

namespace {

constexpr std::size_t kFixedRecordSize = 28;
constexpr int kLongestCountedFind = 199;
constexpr int kKeyStep = 200;

void put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t get32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

}  // namespace

const char* ruleTypeName(RuleType type) {
  auto index = static_cast<std::int32_t>(type);
  return index >= 0 && index <= 3 ? kRuleTypeNames[index] : kRuleTypeNames[0];
}

int Rule::orderKey() const {
  int length = static_cast<int>(std::min<std::size_t>(find.size(), kKeyStep));
  if (length >= kKeyStep) length = kLongestCountedFind;
  return ((3 - static_cast<int>(type)) * 2 + (reject ? 1 : 0)) * kKeyStep + length;
}

bool Rule::sameFind(const Rule& other) const { return platform::equalsIgnoringAsciiCase(find, other.find); }

void RuleBase::insert(RulePtr rule) {
  std::lock_guard lock(mutex_);
  int key = rule->orderKey();
  auto at = std::find_if(rules_.begin(), rules_.end(), [&](const RulePtr& r) { return r->orderKey() > key; });
  rules_.insert(at, std::move(rule));
}

void RuleBase::replaceOrInsert(RulePtr rule) {
  std::lock_guard lock(mutex_);
  rules_.erase(std::remove_if(rules_.begin(), rules_.end(), [&](const RulePtr& r) { return r->sameFind(*rule); }),
               rules_.end());
  insert(std::move(rule));
}

bool RuleBase::remove(const RulePtr& rule) {
  std::lock_guard lock(mutex_);
  auto it = std::find(rules_.begin(), rules_.end(), rule);
  if (it == rules_.end()) return false;
  rules_.erase(it);
  return true;
}

void RuleBase::clear() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

std::vector<RulePtr> RuleBase::rules() const {
  std::lock_guard lock(mutex_);
  return rules_;
}

std::size_t RuleBase::size() const {
  std::lock_guard lock(mutex_);
  return rules_.size();
}

bool RuleBase::contains(const Rule& rule) const {
  std::lock_guard lock(mutex_);
  return std::any_of(rules_.begin(), rules_.end(), [&](const RulePtr& r) { return r->sameFind(rule); });
}

void RuleBase::sort() {
  std::lock_guard lock(mutex_);
  std::stable_sort(rules_.begin(), rules_.end(),
                   [](const RulePtr& a, const RulePtr& b) { return a->orderKey() < b->orderKey(); });
}

RulePtr RuleBase::find(const std::function<bool(Rule&)>& applies) {
  // Walked on a copy: `applies` may ask the user, and a window reading the
  // rules meanwhile must not wait for the answer.
  for (const auto& rule : rules())
    if (applies(*rule)) return rule;
  return nullptr;
}

std::string encodeRule(const Rule& rule) {
  std::string out;
  for (std::uint32_t word : rule.unused) put32(out, word);
  out.push_back(rule.autoApply ? 1 : 0);
  out.push_back(rule.prompted ? 1 : 0);
  out.push_back(rule.reject ? 1 : 0);
  out.push_back(0);
  put32(out, static_cast<std::uint32_t>(rule.type));
  put32(out, static_cast<std::uint32_t>(rule.matchedLength));
  put32(out, static_cast<std::uint32_t>(rule.minMatch));
  put32(out, static_cast<std::uint32_t>(rule.find.size()));
  out += rule.find;
  put32(out, static_cast<std::uint32_t>(rule.replace.size()));
  out += rule.replace;
  return out;
}

std::optional<Rule> decodeRule(std::string_view bytes, std::size_t& offset) {
  // Every length is checked against what the file still holds.
  auto remaining = [&] { return bytes.size() - offset; };
  if (offset > bytes.size() || remaining() < kFixedRecordSize + 4) return std::nullopt;
  Rule rule;
  std::size_t at = offset;
  for (auto& word : rule.unused) {
    word = get32(bytes, at);
    at += 4;
  }
  rule.autoApply = bytes[at] != 0;
  rule.prompted = bytes[at + 1] != 0;
  rule.reject = bytes[at + 2] != 0;
  at += 4;
  rule.type = static_cast<RuleType>(static_cast<std::int32_t>(get32(bytes, at)));
  rule.matchedLength = static_cast<std::int32_t>(get32(bytes, at + 4));
  rule.minMatch = static_cast<std::int32_t>(get32(bytes, at + 8));
  at += 12;
  std::uint32_t findLength = get32(bytes, at);
  at += 4;
  if (findLength > bytes.size() - at) return std::nullopt;
  rule.find = std::string(bytes.substr(at, findLength));
  at += findLength;
  if (bytes.size() - at < 4) return std::nullopt;
  std::uint32_t replaceLength = get32(bytes, at);
  at += 4;
  if (replaceLength > bytes.size() - at) return std::nullopt;
  rule.replace = std::string(bytes.substr(at, replaceLength));
  at += replaceLength;
  offset = at;
  return rule;
}

bool RuleBase::load(const std::filesystem::path& file, std::size_t* loaded) {
  std::string bytes;
  if (platform::readWholeFile(file, bytes) != ERROR_SUCCESS) return false;
  std::size_t offset = 0, count = 0;
  while (auto rule = decodeRule(bytes, offset)) {
    replaceOrInsert(std::make_shared<Rule>(std::move(*rule)));
    ++count;
  }
  if (loaded) *loaded = count;
  return true;
}

bool RuleBase::save(const std::filesystem::path& file) const {
  std::string bytes;
  for (const auto& rule : rules()) bytes += encodeRule(*rule);
  return platform::replaceFileAtomically(file, bytes) == ERROR_SUCCESS;
}

RuleBase& ruleBase() { return Workspace::current().service<RuleBase>(); }

}  // namespace talmoor::verify

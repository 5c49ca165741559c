#pragma once
// The rule base of verification: what a missing file reference (or, once a
// pattern was accepted, a whole folder prefix) is replaced by, or that it is
// to be left alone. Kept in order of a key (full-prefix rules first, then
// partial, then exact; within each, replacing before rejecting, shorter find
// texts first), shared by every Verify run of the process, and saved to and
// loaded from ".rules" files.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talmoor::verify {

enum class RuleType : std::int32_t { Unknown = 0, ExactMatch = 1, PartialMatch = 2, FullMatch = 3 };
inline constexpr const char* kRuleTypeNames[] = {"Unknown", "Exact Match", "Partial Match", "Full Match"};
const char* ruleTypeName(RuleType type);

inline constexpr std::int32_t kDefaultMinMatch = 4;

struct Rule {
  std::string find;     // a whole path, or a folder prefix ending in "\"
  std::string replace;
  bool autoApply = false;
  bool prompted = false;  // the pattern question was asked
  bool reject = false;
  RuleType type = RuleType::ExactMatch;
  std::int32_t matchedLength = 0;
  std::int32_t minMatch = kDefaultMinMatch;
  // Words a record carries that mean nothing on disk.
  std::uint32_t unused[3] = {0, 0, 0};

  // (3 - type) * 2 + reject, times 200, plus the find text's length (199 at most).
  int orderKey() const;
  // Rules are equal when their find texts are, ignoring case.
  bool sameFind(const Rule& other) const;
};

using RulePtr = std::shared_ptr<Rule>;

class RuleBase {
 public:
  // Inserted in order (after the rules of an equal key).
  void insert(RulePtr rule);
  // Replaces an equal rule (same find text) or inserts.
  void replaceOrInsert(RulePtr rule);
  bool remove(const RulePtr& rule);
  void clear();
  std::vector<RulePtr> rules() const;
  std::size_t size() const;
  bool contains(const Rule& rule) const;
  // Puts the rules back in order after their keys changed.
  void sort();
  // The first rule (in order) for which `applies` is true.
  RulePtr find(const std::function<bool(Rule&)>& applies);

  // ".rules" records until one cannot be read; each replaces an equal rule.
  // False when the file cannot be opened.
  bool load(const std::filesystem::path& file, std::size_t* loaded = nullptr);
  bool save(const std::filesystem::path& file) const;

 private:
  mutable std::recursive_mutex mutex_;
  std::vector<RulePtr> rules_;
};

// The rule base of the calling thread's workspace.
RuleBase& ruleBase();

// One record of a ".rules" file, and reading one from bytes (nothing when the
// bytes end before the record does).
std::string encodeRule(const Rule& rule);
std::optional<Rule> decodeRule(std::string_view bytes, std::size_t& offset);

}  // namespace talmoor::verify

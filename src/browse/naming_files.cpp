#include "browse/naming_files.h"

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/win32_errors.h"

namespace talmoor::browse {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putText(std::vector<std::uint8_t>& out, std::string_view text) {
  put32(out, static_cast<std::uint32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

void putNames(std::vector<std::uint8_t>& out, const std::vector<NameEntry>& names) {
  put32(out, static_cast<std::uint32_t>(names.size()));
  for (const auto& entry : names) {
    put32(out, static_cast<std::uint32_t>(entry.icon));
    putText(out, entry.name);
    putText(out, entry.comment);
  }
}

// Reads records front to back; the first failure is kept and every later read
// fails, so a decoder can read a whole record and check once.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool failed() const { return !problem_.empty(); }
  const std::string& problem() const { return problem_; }
  bool atEnd() const { return at_ == bytes_.size(); }
  std::size_t offset() const { return at_; }

  std::uint32_t u32(std::string_view what) {
    if (failed()) return 0;
    if (bytes_.size() - at_ < 4) {
      fail(fmt::format("the file ends inside the {} at byte {}", what, at_));
      return 0;
    }
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes_[at_ + static_cast<std::size_t>(i)];
    at_ += 4;
    return value;
  }

  std::uint8_t u8(std::string_view what) {
    if (failed()) return 0;
    if (at_ == bytes_.size()) {
      fail(fmt::format("the file ends inside the {} at byte {}", what, at_));
      return 0;
    }
    return bytes_[at_++];
  }

  std::string text(std::string_view what) {
    std::size_t lengthAt = at_;
    std::uint32_t length = u32(what);
    if (failed()) return {};
    if (length > kMaxRecordName) {
      fail(fmt::format("the {} at byte {} is {} bytes long; names must be shorter than {} bytes", what, lengthAt,
                       length, kMaxRecordName + 1));
      return {};
    }
    if (bytes_.size() - at_ < length) {
      fail(fmt::format("the {} at byte {} says {} bytes, but only {} follow", what, lengthAt, length,
                       bytes_.size() - at_));
      return {};
    }
    std::string out(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                    bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + length));
    at_ += length;
    return out;
  }

  // A count of records of at least `recordSize` bytes each: one the rest of
  // the data cannot hold is refused before anything is made for it.
  std::uint32_t count(std::string_view what, std::size_t recordSize) {
    std::size_t countAt = at_;
    std::uint32_t value = u32(what);
    if (!failed() && value > (bytes_.size() - at_) / recordSize)
      fail(fmt::format("the {} at byte {} is {}, more than the {} bytes after it can hold", what, countAt, value,
                       bytes_.size() - at_));
    return failed() ? 0 : value;
  }

  void fail(std::string problem) {
    if (!failed()) problem_ = std::move(problem);
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  std::string problem_;
};

constexpr std::size_t kRuleRecordMinimum = 4 + 1 + 1 + 4 + 4;
constexpr std::size_t kNameRecordMinimum = 4 + 4 + 4;

std::vector<NameEntry> readNames(Reader& reader) {
  std::vector<NameEntry> names;
  std::uint32_t count = reader.count("name count", kNameRecordMinimum);
  names.reserve(count);
  for (std::uint32_t i = 0; i < count && !reader.failed(); ++i) {
    NameEntry entry;
    entry.icon = static_cast<Overlay>(static_cast<std::int32_t>(reader.u32("icon")));
    entry.name = reader.text("name");
    entry.comment = reader.text("comment");
    names.push_back(std::move(entry));
  }
  return names;
}

std::optional<std::string> readFile(const std::filesystem::path& file, std::string& problem) {
  std::string bytes;
  platform::clearErrorDetail();
  if (LONG rc = platform::readWholeFile(file, bytes); rc != ERROR_SUCCESS) {
    std::string detail = platform::takeErrorDetail();
    problem = detail.empty() ? fmt::format("{}: {}", file.string(), systemMessageText(rc)) : detail;
    return std::nullopt;
  }
  return bytes;
}

std::span<const std::uint8_t> asBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

bool writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes, std::string& problem) {
  platform::clearErrorDetail();
  LONG rc = platform::replaceFileAtomically(
      file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (rc == ERROR_SUCCESS) return true;
  std::string detail = platform::takeErrorDetail();
  problem = detail.empty() ? fmt::format("{}: {}", file.string(), systemMessageText(rc)) : detail;
  return false;
}

// A name the readers would refuse, so that nothing is saved that cannot be
// loaded again.
bool namesFit(const std::vector<NameEntry>& names, std::string& problem) {
  for (const auto& entry : names) {
    for (const std::string* text : {&entry.name, &entry.comment}) {
      if (text->size() > kMaxRecordName) {
        problem = fmt::format("\"{}...\" is {} bytes long; names and comments must be shorter than {} bytes",
                              text->substr(0, 20), text->size(), kMaxRecordName + 1);
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> encodeRuleList(const std::vector<NamingRule>& rules) {
  std::vector<std::uint8_t> out;
  put32(out, static_cast<std::uint32_t>(rules.size()));
  for (const auto& rule : rules) {
    put32(out, static_cast<std::uint32_t>(rule.level));
    out.push_back(rule.recurse ? 1 : 0);
    out.push_back(rule.comparison ? 1 : 0);
    putText(out, kDefaultCompareName);
    putText(out, actionName(rule.action));
  }
  for (const auto& rule : rules) putNames(out, rule.names);
  return out;
}

std::vector<std::uint8_t> encodeNameList(const std::vector<NameEntry>& names) {
  std::vector<std::uint8_t> out;
  putNames(out, names);
  return out;
}

std::optional<std::vector<NamingRule>> decodeRuleList(std::span<const std::uint8_t> bytes, std::string& problem) {
  Reader reader(bytes);
  std::uint32_t count = reader.count("rule count", kRuleRecordMinimum);
  std::vector<NamingRule> rules;
  rules.reserve(count);
  for (std::uint32_t i = 0; i < count && !reader.failed(); ++i) {
    NamingRule rule;
    rule.level = static_cast<std::int32_t>(reader.u32("level"));
    rule.recurse = reader.u8("recurse flag") != 0;
    rule.comparison = reader.u8("comparison flag") != 0;
    reader.text("comparison name");  // there is only the default comparison
    rule.action = actionNamed(reader.text("action name"));
    rules.push_back(std::move(rule));
  }
  // The names of each rule, when the file holds them.
  if (!reader.failed() && !reader.atEnd())
    for (auto& rule : rules) rule.names = readNames(reader);
  if (!reader.failed() && !reader.atEnd())
    reader.fail(fmt::format("{} bytes follow the last record, at byte {}", bytes.size() - reader.offset(),
                            reader.offset()));
  if (reader.failed()) {
    problem = reader.problem();
    return std::nullopt;
  }
  return rules;
}

std::optional<std::vector<NameEntry>> decodeNameList(std::span<const std::uint8_t> bytes, std::string& problem) {
  Reader reader(bytes);
  std::vector<NameEntry> names = readNames(reader);
  if (!reader.failed() && !reader.atEnd())
    reader.fail(fmt::format("{} bytes follow the last record, at byte {}", bytes.size() - reader.offset(),
                            reader.offset()));
  if (reader.failed()) {
    problem = reader.problem();
    return std::nullopt;
  }
  return names;
}

std::optional<std::vector<NamingRule>> loadRuleListFile(const std::filesystem::path& file, std::string& problem) {
  auto bytes = readFile(file, problem);
  if (!bytes) return std::nullopt;
  auto rules = decodeRuleList(asBytes(*bytes), problem);
  if (!rules) problem = fmt::format("{} is not a naming rule list: {}", file.string(), problem);
  return rules;
}

std::optional<std::vector<NameEntry>> loadNameListFile(const std::filesystem::path& file, std::string& problem) {
  auto bytes = readFile(file, problem);
  if (!bytes) return std::nullopt;
  auto names = decodeNameList(asBytes(*bytes), problem);
  if (!names) problem = fmt::format("{} is not a name list: {}", file.string(), problem);
  return names;
}

bool saveRuleListFile(const std::filesystem::path& file, const std::vector<NamingRule>& rules, std::string& problem) {
  for (const auto& rule : rules)
    if (!namesFit(rule.names, problem)) return false;
  return writeFile(file, encodeRuleList(rules), problem);
}

bool saveNameListFile(const std::filesystem::path& file, const std::vector<NameEntry>& names, std::string& problem) {
  if (!namesFit(names, problem)) return false;
  return writeFile(file, encodeNameList(names), problem);
}

}  // namespace talmoor::browse

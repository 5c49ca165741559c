#include "base/masks/mask_engine.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>


namespace talmoor::masks {

namespace {

constexpr std::size_t kCaptureDigits = 11;

// After this many frames in one attempt, failed frames are remembered so that
// a mask full of range and optional operators cannot go exponential: the rest
// of a mask from the same positions, with the same capture register and the
// same group tries under way, fails again.
// Only frames that went on to others are remembered; the rest are cheaper to
// run again than to look up.
constexpr std::size_t kMemoAfterFrames = 2048;
constexpr std::size_t kMemoLimit = std::size_t{1} << 20;

// ---------------------------------------------------------------------------
// The problems of a mask, as the engine finds them. Each is noted at most
// once per attempt; the caller tells the user.

enum Box : unsigned {
  kFormattingBox = static_cast<unsigned>(MaskProblem::Formatting),
  kInvertRangeBox = static_cast<unsigned>(MaskProblem::InvertedRange),
  kCorruptedBox = static_cast<unsigned>(MaskProblem::Corrupted),
  kIncompleteBox = static_cast<unsigned>(MaskProblem::Incomplete),
};

// ---------------------------------------------------------------------------
// Character classes.

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(unsigned char c) { return c >= 'a' && c <= 'z'; }

bool inClass(char op, unsigned char c) {
  switch (op) {
    case '?': return true;
    case 'A': return isUpper(c);
    case 'a': return isLower(c);
    case 'X': return isUpper(c) || isLower(c);
    case 'd': case 'D': return isDigit(c);
    case 'H': return isDigit(c) || (c >= 'A' && c <= 'F');
    case 'h': return isDigit(c) || (c >= 'a' && c <= 'f');
    case 'F': return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    default: return false;
  }
}

bool capturesDigits(char op) { return op == 'd' || op == 'H' || op == 'h' || op == 'D' || op == 'F'; }

// Operators whose argument is the rest of the segment.
bool takesSegment(char op) {
  switch (op) {
    case '1': case '<': case '>': case '0': case 'O': case '!': case '(': case ')': case 's':
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// The capture register. Digits matched by %d %H %h %D %F are collected; when
// an operator other than the last one is read, they become the captured
// number (ten digits at most; eleven give -1). It belongs to one search and
// follows the path being tried: digits of an abandoned alternative are
// dropped with it.

struct Capture {
  std::array<char, kCaptureDigits> digits{};
  std::uint8_t count = 0;
  char lastOperator = 0;
  std::int32_t number = 0;

  bool operator==(const Capture&) const = default;

  void seeOperator(char op) {
    if (op == lastOperator) return;
    lastOperator = op;
    if (count == 0) return;
    number = count >= kCaptureDigits ? -1 : convert();
    digits.fill(0);
    count = 0;
  }

  void take(char c) {
    if (count < kCaptureDigits) digits[count++] = c;
  }

  // A new attempt: digits left over from an earlier occurrence make their
  // own number rather than the first digits of the next one.
  void closeNumber() { seeOperator('\0'); }

  std::int32_t convert() const {
    std::size_t i = 0;
    while (i < count && (digits[i] == ' ' || digits[i] == '\t')) ++i;
    std::int64_t value = 0;
    for (; i < count && isDigit(static_cast<unsigned char>(digits[i])); ++i)
      value = std::min<std::int64_t>(value * 10 + (digits[i] - '0'), std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value);
  }
};

// The literal text a mask begins with: every occurrence starts with it, and
// it must lie before the source's last index.
[[gnu::always_inline]] inline std::string_view literalPrefix(std::string_view mask) {
  // Eight bytes at a time: this runs on every call.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kPercents = kOnes * '%';
  const std::size_t limit = mask.size() - 1;
  std::size_t end = 0;
  for (; end + 8 <= limit; end += 8) {
    std::uint64_t word;
    std::memcpy(&word, mask.data() + end, 8);
    word ^= kPercents;
    if ((word - kOnes) & ~word & (kOnes << 7)) break;
  }
  while (end < limit && mask[end] != '%') ++end;
  return mask.substr(0, end);
}

// Byte equality of two short runs without a call: two overlapping word
// loads cover any length from 4 to 16.
bool sameBytes(const char* a, const char* b, std::size_t n) {
  auto load64 = [](const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  };
  auto load32 = [](const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  };
  if (n > 16) return std::memcmp(a, b, n) == 0;
  if (n >= 8) return load64(a) == load64(b) && load64(a + n - 8) == load64(b + n - 8);
  if (n >= 4) return load32(a) == load32(b) && load32(a + n - 4) == load32(b + n - 4);
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Where `text` first occurs in `haystack` at or after `from`, or npos.
[[gnu::always_inline]] inline std::size_t findText(std::string_view haystack, std::string_view text, std::size_t from) {
  const std::size_t n = text.size();
  if (n == 0) return from <= haystack.size() ? from : std::string_view::npos;
  if (from >= haystack.size() || haystack.size() - from < n) return std::string_view::npos;
  const char* at = haystack.data() + from;
  const char* const end = haystack.data() + haystack.size() - n + 1;  // past the last possible start
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, text[0], static_cast<std::size_t>(end - at)));
    if (!at) break;
    if (at[n - 1] == text[n - 1] && sameBytes(at + 1, text.data() + 1, n - 1))
      return static_cast<std::size_t>(at - haystack.data());
    ++at;
  }
  return std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Matching state.

enum class Outcome : std::uint8_t { NoMatch, Match, Abort };

enum class Step : std::uint8_t { Next, Failed, Choice, Group, Exhausted };

// How a group marker reads while its group is being tried: as written, as a
// set of one character ("%1"), or skipped with its set ("%s").
enum class Marker : std::uint8_t { Original, AsSet, Skip };

enum class Wait : std::uint8_t { Nothing, Choice, FirstTry, SecondTry };

struct Argument {
  std::size_t begin = 0;
  std::size_t end = 0;   // one past the last byte of the argument
  std::size_t next = 0;  // the element after it
};

// The last range or optional element of a frame, to come back to.
struct ChoicePoint {
  std::size_t source = 0;  // end of the run taken so far
  std::size_t next = 0;    // the element after the operator
  Argument argument;
  char op = 0;
  bool negated = false;
  bool spent = false;  // optionals: the one-character alternative was taken
  Capture capture;
};

struct MemoKey {
  std::size_t mask = 0;
  std::size_t source = 0;
  std::uint64_t configuration = 0;
  Capture capture;
  bool operator==(const MemoKey&) const = default;
};

struct MemoHash {
  std::size_t operator()(const MemoKey& key) const noexcept {
    std::uint64_t h = 0;
    auto mix = [&h](std::uint64_t v) {
      h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
      h ^= h >> 31;
      h *= 0xFF51AFD7ED558CCDull;
    };
    mix(key.mask);
    mix(key.source);
    mix(key.configuration);
    mix(static_cast<std::uint32_t>(key.capture.number) |
        (std::uint64_t{static_cast<unsigned char>(key.capture.lastOperator)} << 32) |
        (std::uint64_t{key.capture.count} << 40));
    for (std::size_t i = 0; i < key.capture.count; ++i) mix(static_cast<unsigned char>(key.capture.digits[i]));
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

// One level of matching: the rest of the mask from a mask position against
// the rest of the source from a source position.
struct Frame {
  std::size_t source = 0;
  std::size_t mask = 0;
  bool negated = false;
  Wait wait = Wait::Nothing;
  bool remembered = false;  // its key is on the key stack: a failure is remembered
  std::uint64_t callbacksAtEntry = 0;
  unsigned boxes = 0;  // boxes due in this frame and the frames it went on to
  std::size_t framesAtEntry = 0;
  // Waiting on a choice: the choice point. Waiting on a group try: `next` is
  // the group's close and `capture` the register at the open.
  ChoicePoint choice;
  std::uint64_t outerConfiguration = 0;
};

struct ConfigurationKey {
  std::uint64_t outer = 0;
  std::size_t open = 0;
  Marker mode = Marker::Original;
  bool operator==(const ConfigurationKey&) const = default;
};

struct ConfigurationHash {
  std::size_t operator()(const ConfigurationKey& key) const noexcept {
    return static_cast<std::size_t>((key.outer * 0x9E3779B97F4A7C15ull) ^ (key.open << 2) ^ static_cast<unsigned>(key.mode));
  }
};

// The working memory of a search. Searches are frequent and short, so a
// thread keeps a few of these for reuse; a callback that searches again
// gets one of its own.
struct Scratch {
  std::vector<Frame> frames;
  std::vector<MemoKey> keys;
  std::vector<Marker> markers;
  std::unordered_map<ConfigurationKey, std::uint64_t, ConfigurationHash> configurations;
  // Failed frames with the boxes that were due in them.
  std::unordered_map<MemoKey, unsigned, MemoHash> failedAlways;
  std::unordered_map<MemoKey, unsigned, MemoHash> failedThisAttempt;

  // Empties everything; what grew large for a hostile search is let go.
  void reset() {
    constexpr std::size_t kKeep = 1024;
    auto trim = [](auto& container) {
      if (container.capacity() > kKeep) std::remove_reference_t<decltype(container)>().swap(container);
      container.clear();
    };
    auto trimTable = [](auto& table) {
      if (table.bucket_count() > kKeep) std::remove_reference_t<decltype(table)>().swap(table);
      if (!table.empty()) table.clear();
    };
    trim(frames);
    trim(keys);
    trim(markers);
    trimTable(configurations);
    trimTable(failedAlways);
    trimTable(failedThisAttempt);
  }
};

class ScratchLease {
 public:
  ScratchLease() {
    if (pool().empty()) {
      scratch_ = std::make_unique<Scratch>();
    } else {
      scratch_ = std::move(pool().back());
      pool().pop_back();
    }
  }
  ~ScratchLease() {
    scratch_->reset();
    if (pool().size() < kKept) pool().push_back(std::move(scratch_));
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  Scratch& operator*() const { return *scratch_; }

 private:
  static constexpr std::size_t kKept = 4;
  static std::vector<std::unique_ptr<Scratch>>& pool() {
    thread_local std::vector<std::unique_ptr<Scratch>> kept = [] {
      std::vector<std::unique_ptr<Scratch>> empty;
      empty.reserve(kKept);
      return empty;
    }();
    return kept;
  }
  std::unique_ptr<Scratch> scratch_;
};

// What every attempt ends with: a match is offered to the callback, which
// may refuse it, give characters back or supply the replacement.
class Attempts {
 public:
  Attempts(std::string_view source, const MaskCallback* callback, bool partialCounts, bool wantsOutput)
      : source_(source),
        last_(source.size() - 1),
        callback_(callback),
        partialCounts_(partialCounts),
        wantsOutput_(wantsOutput) {}

  std::size_t matchEnd() const { return matchEnd_; }
  bool matchFull() const { return matchFull_; }
  std::optional<std::string>& replacement() { return replacement_; }

 protected:
  Outcome endOfMask(std::size_t end);

  std::string_view source_;
  std::size_t last_;
  const MaskCallback* callback_;
  bool partialCounts_;
  bool wantsOutput_;
  std::size_t start_ = 0;
  std::uint64_t callbacks_ = 0;  // calls of the callback so far

 private:
  std::size_t matchEnd_ = 0;
  bool matchFull_ = false;
  std::optional<std::string> replacement_;
};

// A mask of literal text alone, as a user types a plain word.
class LiteralAttempts : public Attempts {
 public:
  LiteralAttempts(std::string_view source, std::string_view text, const MaskCallback* callback, bool partialCounts,
                  bool wantsOutput)
      : Attempts(source, callback, partialCounts, wantsOutput), text_(text) {}

  std::size_t nextCandidate(std::size_t from) const {
    if (from > last_) return from;
    std::size_t at = findText(source_.substr(0, last_), text_, from);
    return at == std::string_view::npos ? last_ + 1 : at;
  }

  Outcome attempt(std::size_t start) {
    // The text must lie before the last index.
    if (text_.size() > last_ - std::min(start, last_) || source_.compare(start, text_.size(), text_) != 0)
      return Outcome::NoMatch;
    start_ = start;
    return endOfMask(start + text_.size());
  }

 private:
  std::string_view text_;
};

class Matcher : public Attempts {
 public:
  Matcher(std::string_view source, std::string_view mask, const MaskCallback* callback, bool partialCounts,
          bool wantsOutput)
      : Attempts(source, callback, partialCounts, wantsOutput),
        scratch_(*lease_),
        mask_(mask),
        maskLast_(mask.size() - 1) {
    prepareStartFilter();
  }

  // The next start position at or after `from` where an occurrence may
  // begin, or a position past the last index when there is none. Positions
  // skipped here are those whose attempt fails on the mask's first element
  // without any other effect.
  std::size_t nextCandidate(std::size_t from) const {
    if (from > last_ || runFailed_) return last_ + 1;
    if (!prefix_.empty()) {
      std::size_t at = findText(source_.substr(0, last_), prefix_, from);
      return at == std::string_view::npos ? last_ + 1 : at;
    }
    if (filtered_) {
      if (from == 0 && emptyAtStart_) return 0;
      for (std::size_t at = from; at < last_; ++at)
        if (firstSet_[static_cast<unsigned char>(source_[at])]) return at;
      return last_ + 1;
    }
    return from;
  }

  Outcome attempt(std::size_t start);

 private:
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(source_[i]); }
  bool available(const Frame& f) const { return f.source < last_; }

  std::size_t segmentEnd(std::size_t from) const {
    if (from >= mask_.size()) return mask_.size();
    const void* nul = std::memchr(mask_.data() + from, 0, mask_.size() - from);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - mask_.data()) : mask_.size();
  }

  std::size_t afterSegment(std::size_t from) const {
    std::size_t end = segmentEnd(from);
    return end < mask_.size() ? end + 1 : mask_.size();
  }

  // The rest of the segment after the operator at m; a segment that runs
  // into the end of the mask is reported and taken as far as it goes.
  Argument argumentOf(std::size_t m) {
    Argument a;
    a.begin = std::min(m + 2, mask_.size());
    a.end = segmentEnd(a.begin);
    if (a.end >= mask_.size()) {
      report(kCorruptedBox);
      a.next = mask_.size();
    } else {
      a.next = a.end + 1;
    }
    return a;
  }

  // Members of a set: its bytes, except that a "%" and the byte after it are
  // passed over.
  bool inSet(const Argument& set, unsigned char c) const {
    for (std::size_t i = set.begin; i < set.end; ++i) {
      if (mask_[i] == '%') {
        ++i;
        continue;
      }
      if (static_cast<unsigned char>(mask_[i]) == c) return true;
    }
    return false;
  }

  std::size_t dollarEnd(std::size_t m) const {
    if (m + 3 < mask_.size() && (mask_[m + 2] == '+' || mask_[m + 2] == '-') &&
        isDigit(static_cast<unsigned char>(mask_[m + 3])))
      return m + 4;
    return m + 2;
  }

  // "%~" is written in front of the operator character it negates ("%~1 ;"
  // is a negated "%1 ;"): the operator of the element at m has its character
  // at operatorBase(m) + 1, past any "~".
  std::size_t operatorBase(std::size_t m) const {
    std::size_t p = m;
    while (mask_[p + 1] == '~' && p + 2 < mask_.size()) ++p;
    return p;
  }

  std::size_t elementEnd(std::size_t m) const {
    if (mask_[m] != '%') return m + 1;
    const std::size_t p = operatorBase(m);
    const char op = mask_[p + 1];
    if (takesSegment(op)) return afterSegment(p + 2);
    if (op == '$') return dollarEnd(p);
    return p + 2;
  }

  Marker markerAt(std::size_t m) const {
    return scratch_.markers.empty() ? Marker::Original : scratch_.markers[m];
  }

  void setMarkers(std::size_t open, std::size_t close, Marker mode) {
    if (scratch_.markers.empty()) scratch_.markers.assign(mask_.size(), Marker::Original);
    scratch_.markers[open] = mode;
    scratch_.markers[close] = mode;
  }

  std::uint64_t configurationFor(std::uint64_t outer, std::size_t open, Marker mode) {
    // A group tried outside any other has a number of its own making; the
    // numbers of nested tries are handed out above those.
    const std::uint64_t topLevel = 2 * std::uint64_t{mask_.size()} + 1;
    if (outer == 0) return 1 + 2 * std::uint64_t{open} + (mode == Marker::Skip ? 1 : 0);
    auto& known = scratch_.configurations;
    return known.try_emplace(ConfigurationKey{outer, open, mode}, topLevel + known.size() + 1).first->second;
  }

  void report(Box box) {
    if (!frames_.empty()) frames_.back().boxes |= box;
    if (shownBoxes_ & box) return;
    shownBoxes_ |= box;
    foundProblems_.bits |= box;
  }

 public:
  MaskProblems problems() const { return foundProblems_; }

 private:

  std::optional<std::size_t> findClose(std::size_t open) const;
  void prepareStartFilter();

  Step step(Frame& f);
  Step consumed(Frame& f, std::size_t next) {
    ++f.source;
    f.mask = next;
    f.negated = false;
    return Step::Next;
  }
  Step oneOf(Frame& f, const Argument& set) {
    if (!available(f) || inSet(set, at(f.source)) == f.negated) return Step::Failed;
    return consumed(f, set.next);
  }
  Step choose(Frame& f, char op, const Argument& argument) {
    f.choice.source = f.source;
    f.choice.next = argument.next;
    f.choice.argument = argument;
    f.choice.op = op;
    f.choice.negated = f.negated;
    f.choice.spent = false;
    f.choice.capture = capture_;
    f.negated = false;
    return Step::Choice;
  }
  bool extend(Frame& f);

  bool enter(std::size_t source, std::size_t mask);
  // The boxes due in a remembered failure, or nothing when it is not known.
  std::optional<unsigned> failedBefore(const MemoKey& key) const {
    if (auto known = scratch_.failedAlways.find(key); known != scratch_.failedAlways.end()) return known->second;
    if (auto known = scratch_.failedThisAttempt.find(key); known != scratch_.failedThisAttempt.end())
      return known->second;
    return std::nullopt;
  }
  void leave(Outcome result);

  ScratchLease lease_;
  Scratch& scratch_;
  std::vector<Frame>& frames_ = scratch_.frames;
  std::string_view mask_;
  std::size_t maskLast_;

  std::string_view prefix_;
  // The prefix is followed by "%*" with more after it. An attempt that then
  // fails without asking the callback or raising a box has already tried
  // every alternative a later attempt would try: the search is over.
  bool runAfterPrefix_ = false;
  bool runFailed_ = false;
  bool filtered_ = false;
  bool emptyAtStart_ = false;
  std::bitset<256> firstSet_;

  unsigned shownBoxes_ = 0;
  MaskProblems foundProblems_;
  Capture capture_;
  // The markers' modes at any moment follow from the groups being tried and
  // their tries; each such state has a number, the same in every attempt.
  std::uint64_t configuration_ = 0;

  // Failures are remembered for the whole search, unless the callback was
  // asked while the frame ran: its answer may depend on where the attempt
  // started, so those are kept for the attempt only. The boxes that were due
  // are remembered with the failure and are due again where it is reused.
  bool remember_ = false;
  std::size_t framesThisAttempt_ = 0;

};

// The "%)" that closes the group opened at `open`, counting nested groups.
// Markers inside sets or literal arguments are text, not markers.
std::optional<std::size_t> Matcher::findClose(std::size_t open) const {
  int depth = 1;
  for (std::size_t m = elementEnd(open); m < maskLast_; m = elementEnd(m)) {
    if (mask_[m] != '%' || markerAt(m) != Marker::Original) continue;
    const char op = mask_[operatorBase(m) + 1];
    if (op == '(') ++depth;
    if (op == ')' && --depth == 0) return m;
  }
  return std::nullopt;
}

// Start positions that cannot begin an occurrence are skipped without an
// attempt: a mask that begins with literal text needs that text there, a mask
// that begins with "%1" or "%<" needs a character of the set (or, for "%<",
// the start of the source).
void Matcher::prepareStartFilter() {
  if (maskLast_ == 0) return;
  prefix_ = literalPrefix(mask_);
  const std::size_t run = prefix_.size();
  runAfterPrefix_ = run + 2 < maskLast_ && mask_[run] == '%' && mask_[run + 1] == '*';
  if (!prefix_.empty()) return;
  char op = mask_[1];
  if (op != '1' && op != '<') return;
  std::size_t end = segmentEnd(2);
  if (end >= mask_.size()) return;  // the box must show on every attempt
  for (std::size_t i = 2; i < end; ++i) {
    if (mask_[i] == '%')
      ++i;
    else
      firstSet_.set(static_cast<unsigned char>(mask_[i]));
  }
  filtered_ = true;
  emptyAtStart_ = op == '<';
}

// One element of the mask at the frame's positions.
Step Matcher::step(Frame& f) {
  const std::size_t m = f.mask;
  if (m >= maskLast_) return Step::Exhausted;

  const char c = mask_[m];
  if (c != '%') {
    if (!available(f) || (source_[f.source] == c) == f.negated) return Step::Failed;
    return consumed(f, m + 1);
  }

  // From here on positions are relative to p, the "%" of the operator
  // proper; p is past m when "%~" prefixes negate it.
  const std::size_t p = operatorBase(m);
  for (std::size_t q = m; q < p; ++q) {
    capture_.seeOperator('~');
    f.negated = !f.negated;
  }
  char op = mask_[p + 1];
  if (op == '(' || op == ')') {
    Marker mode = markerAt(m);
    if (mode == Marker::AsSet) op = '1';
    if (mode == Marker::Skip) op = 's';
  }
  capture_.seeOperator(op);

  switch (op) {
    case '%':
      if (!available(f) || (at(f.source) == '%') == f.negated) return Step::Failed;
      return consumed(f, p + 2);

    case '?': case 'A': case 'a': case 'X': case 'd': case 'H': case 'h': {
      if (!available(f)) return Step::Failed;
      const unsigned char ch = at(f.source);
      const bool in = inClass(op, ch);
      if (in == f.negated) return Step::Failed;
      if (in && capturesDigits(op)) capture_.take(static_cast<char>(ch));
      return consumed(f, p + 2);
    }

    case '1':
      return oneOf(f, argumentOf(p));

    case '<': {
      Argument set = argumentOf(p);
      if (!available(f)) return Step::Failed;
      if (f.source == 0) return choose(f, '<', set);
      return oneOf(f, set);
    }

    case '>': {
      Argument set = argumentOf(p);
      if (f.source >= last_ || source_[f.source] == '\0') {
        if (f.negated) return Step::Failed;
        f.source = std::min(f.source + 1, source_.size());
        f.mask = set.next;
        return Step::Next;
      }
      return oneOf(f, set);
    }

    case '0': case 'O': {
      Argument argument = argumentOf(p);
      if (!available(f)) return Step::Failed;
      return choose(f, op, argument);
    }

    case '*': case 'D': case 'F': case '!': {
      Argument argument = op == '!' ? argumentOf(p) : Argument{p + 2, p + 2, p + 2};
      if (f.negated) {
        // Inverting a run has no meaning: the element fails.
        report(kInvertRangeBox);
        return Step::Failed;
      }
      if (op == '*') {
        if (argument.next >= maskLast_) {
          // The last element takes the rest of the source at once.
          f.source = std::max(f.source, last_);
          f.mask = argument.next;
          return Step::Next;
        }
        return choose(f, op, argument);
      }
      if (!available(f)) return Step::Failed;
      const unsigned char ch = at(f.source);
      if (op == '!') {
        if (inSet(argument, ch)) return Step::Failed;
        return choose(f, op, argument);
      }
      if (!inClass(op, ch)) return Step::Failed;
      capture_.take(static_cast<char>(ch));
      ++f.source;
      return choose(f, op, argument);
    }

    case '$': {
      const std::size_t next = dollarEnd(p);
      std::int64_t count = capture_.number;
      if (next == p + 4) {
        const int digit = mask_[p + 3] - '0';
        count += mask_[p + 2] == '-' ? -digit : digit;
        count = std::clamp<std::int64_t>(count, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max());
        capture_.number = static_cast<std::int32_t>(count);
      }
      // The characters skipped must lie before the last index; a negative
      // count cannot be skipped.
      if (count < 0 || f.source + static_cast<std::uint64_t>(count) > last_) return Step::Failed;
      f.source += static_cast<std::size_t>(count);
      f.mask = next;
      f.negated = false;
      return Step::Next;
    }

    case '~':
      // Nothing left to negate.
      f.mask = p + 2;
      return Step::Next;

    case '(':
      return Step::Group;

    case ')':
      // A close without its open.
      report(kIncompleteBox);
      return Step::Failed;

    case 's': {
      std::size_t end = segmentEnd(p + 2);
      if (end >= mask_.size()) {
        report(kFormattingBox);
        return Step::Failed;
      }
      f.mask = end + 1;
      f.negated = false;
      return Step::Next;
    }

    default:
      // Operator characters without a meaning take nothing.
      f.mask = p + 2;
      f.negated = false;
      return Step::Next;
  }
}

// Back at the frame's choice point: the next alternative, or false when
// there is none.
bool Matcher::extend(Frame& f) {
  ChoicePoint& choice = f.choice;
  capture_ = choice.capture;
  switch (choice.op) {
    case '*':
      if (choice.source >= last_) return false;
      ++choice.source;
      break;
    case '!':
      if (choice.source >= last_) return false;
      ++choice.source;
      if (choice.source < last_ && inSet(choice.argument, at(choice.source))) return false;
      break;
    case 'D': case 'F':
      if (choice.source >= last_ || !inClass(choice.op, at(choice.source))) return false;
      capture_.take(source_[choice.source]);
      ++choice.source;
      break;
    case '<': case '0':
      if (choice.spent || choice.source >= last_) return false;
      choice.spent = true;
      if (inSet(choice.argument, at(choice.source)) == choice.negated) return false;
      ++choice.source;
      break;
    case 'O': {
      if (choice.spent) return false;
      choice.spent = true;
      const std::size_t length = choice.argument.end - choice.argument.begin;
      if (length > last_ - choice.source) return false;
      if (source_.compare(choice.source, length, mask_.substr(choice.argument.begin, length)) != 0) return false;
      choice.source += length;
      break;
    }
    default:
      return false;
  }
  choice.capture = capture_;
  return true;
}

// The mask is used up: a full match when the source is too, a partial match
// otherwise. The callback has the last word.
Outcome Attempts::endOfMask(std::size_t end) {
  const bool full = end >= last_;
  if (!full && !partialCounts_) return Outcome::NoMatch;
  end = std::min(end, source_.size());
  std::optional<std::string> replacement;
  if (callback_) {
    ++callbacks_;
    MaskReply reply;
    const MaskOccurrence occurrence{source_, start_, end - start_, last_};
    switch ((*callback_)(occurrence, reply)) {
      case MaskVerdict::Accept:
        break;
      case MaskVerdict::Reject:
        return Outcome::NoMatch;
      case MaskVerdict::Abort:
        return Outcome::Abort;
      default:  // the verdicts above are all there are
        return Outcome::NoMatch;
    }
    const std::size_t back = std::min(reply.giveBack, end - start_);
    end -= back;
    if (reply.replacement) {
      reply.replacement->resize(reply.replacement->size() - std::min(back, reply.replacement->size()));
      // A replacement for a search that makes no output goes nowhere.
      if (wantsOutput_) replacement = std::move(reply.replacement);
    }
  }
  matchEnd_ = end;
  matchFull_ = full;
  replacement_ = std::move(replacement);
  return Outcome::Match;
}

bool Matcher::enter(std::size_t source, std::size_t mask) {
  if (++framesThisAttempt_ > kMemoAfterFrames) remember_ = true;
  if (remember_) {
    MemoKey key{mask, source, configuration_, capture_};
    if (auto boxes = failedBefore(key)) {
      for (unsigned box = *boxes; box != 0; box &= box - 1) report(static_cast<Box>(box & (~box + 1)));
      return false;
    }
    scratch_.keys.push_back(key);
  }
  Frame& f = frames_.emplace_back();
  f.source = source;
  f.mask = mask;
  f.remembered = remember_;
  f.callbacksAtEntry = callbacks_;
  f.framesAtEntry = framesThisAttempt_;
  return true;
}

void Matcher::leave(Outcome result) {
  const Frame& f = frames_.back();
  const unsigned boxes = f.boxes;
  if (f.remembered) {
    auto& failed = callbacks_ == f.callbacksAtEntry ? scratch_.failedAlways : scratch_.failedThisAttempt;
    if (result == Outcome::NoMatch && framesThisAttempt_ > f.framesAtEntry &&
        scratch_.failedAlways.size() + scratch_.failedThisAttempt.size() < kMemoLimit)
      failed.emplace(scratch_.keys.back(), boxes);
    scratch_.keys.pop_back();
  }
  frames_.pop_back();
  if (!frames_.empty()) frames_.back().boxes |= boxes;
}

// One attempt from a start position. The frames live in a vector rather than
// on the call stack, so neither a long mask nor a long source can exhaust it.
Outcome Matcher::attempt(std::size_t start) {
  start_ = start;
  shownBoxes_ = 0;
  framesThisAttempt_ = 0;
  const std::uint64_t callbacksBefore = callbacks_;
  if (!scratch_.failedThisAttempt.empty()) scratch_.failedThisAttempt.clear();
  capture_.closeNumber();
  const Capture before = capture_;
  frames_.clear();
  scratch_.keys.clear();
  frames_.emplace_back().source = start;

  Outcome result = Outcome::NoMatch;
  bool returning = false;  // `result` is the answer of a frame just left
  while (!frames_.empty()) {
    Frame& f = frames_.back();
    if (returning) {
      returning = false;
      switch (f.wait) {
        case Wait::Choice:
          // A match (or an abort) of the rest ends this frame with it; a
          // failure tries the next alternative.
          if (result == Outcome::NoMatch && extend(f)) {
            if (!enter(f.choice.source, f.choice.next)) returning = true;
            continue;
          }
          leave(result);
          returning = true;
          continue;
        case Wait::FirstTry:
          if (result == Outcome::NoMatch) {
            // Second try: both delimiters left out.
            setMarkers(f.mask, f.choice.next, Marker::Skip);
            configuration_ = configurationFor(f.outerConfiguration, f.mask, Marker::Skip);
            capture_ = f.choice.capture;
            f.wait = Wait::SecondTry;
            if (!enter(f.source, f.mask)) returning = true;
            continue;
          }
          [[fallthrough]];
        case Wait::SecondTry:
          setMarkers(f.mask, f.choice.next, Marker::Original);
          configuration_ = f.outerConfiguration;
          leave(result);
          returning = true;
          continue;
        case Wait::Nothing:
          break;
      }
      // Every wait is handled above; an unknown one fails the frame.
      result = Outcome::NoMatch;
      leave(result);
      returning = true;
      continue;
    }

    switch (step(f)) {
      case Step::Next:
        continue;
      case Step::Exhausted:
        result = endOfMask(f.source);
        leave(result);
        returning = true;
        continue;
      case Step::Failed:
        result = Outcome::NoMatch;
        leave(result);
        returning = true;
        continue;
      case Step::Choice:
        f.wait = Wait::Choice;
        result = Outcome::NoMatch;
        if (!enter(f.choice.source, f.choice.next)) returning = true;
        continue;
      case Step::Group: {
        std::optional<std::size_t> close = findClose(f.mask);
        if (!close) {
          report(kIncompleteBox);
          result = Outcome::NoMatch;
          leave(result);
          returning = true;
          continue;
        }
        // First try: both markers read as one character of their sets.
        f.choice.next = *close;
        f.outerConfiguration = configuration_;
        f.choice.capture = capture_;
        f.negated = false;
        f.wait = Wait::FirstTry;
        setMarkers(f.mask, *close, Marker::AsSet);
        configuration_ = configurationFor(f.outerConfiguration, f.mask, Marker::AsSet);
        result = Outcome::NoMatch;
        if (!enter(f.source, f.mask)) returning = true;
        continue;
      }
    }
  }
  if (result != Outcome::Match) capture_ = before;
  if (result == Outcome::NoMatch && runAfterPrefix_ && callbacks_ == callbacksBefore && shownBoxes_ == 0)
    runFailed_ = true;
  return result;
}

bool usable(std::string_view text) { return text.data() != nullptr && !text.empty(); }

template <class Engine>
MaskResult searchAll(std::string_view source, Engine& matcher, std::string* output) {
  const std::size_t last = source.size() - 1;

  bool accepted = false;
  bool started = false;
  std::string built;
  std::size_t copied = 0;  // the source is in the output up to here
  std::size_t start = 0;
  while ((start = matcher.nextCandidate(start)) <= last) {
    switch (matcher.attempt(start)) {
      case Outcome::NoMatch:
        ++start;
        continue;
      case Outcome::Abort:
        return MaskResult::Aborted;
      case Outcome::Match:
        break;
      default:  // an attempt ends in one of the outcomes above
        return MaskResult::NoMatch;
    }
    accepted = true;
    if (auto& replacement = matcher.replacement()) {
      started = true;
      built.append(source.substr(copied, start - copied));
      built.append(*replacement);
      copied = matcher.matchEnd();
    }
    // A match that reached the end of the source ends the search, and so
    // does one that did not move on.
    if (matcher.matchFull() || matcher.matchEnd() <= start) break;
    start = matcher.matchEnd();
  }

  if (started) {
    built.append(source.substr(std::min(copied, source.size())));
    if (built.empty() || built.back() != '\0') built.push_back('\0');
    *output = std::move(built);
  }
  return accepted ? MaskResult::Match : MaskResult::NoMatch;
}

[[gnu::noinline]] MaskResult searchLiteral(std::string_view source, std::string_view text,
                                           const MaskCallback& callback, std::string* output) {
  LiteralAttempts attempts(source, text, callback ? &callback : nullptr, true, output != nullptr);
  return searchAll(source, attempts, output);
}

[[gnu::noinline]] MaskResult searchMask(std::string_view source, std::string_view mask, const MaskCallback& callback,
                                        std::string* output, MaskProblems* problems) {
  Matcher matcher(source, mask, callback ? &callback : nullptr, true, output != nullptr);
  MaskResult result = searchAll(source, matcher, output);
  if (problems) problems->bits |= matcher.problems().bits;
  return result;
}

}  // namespace

MaskResult MaskSearch(std::string_view source, std::string_view mask, const MaskCallback& callback,
                      std::string* output, MaskProblems* problems) {
  if (!usable(source) || !usable(mask)) return MaskResult::NoMatch;
  // Most texts do not hold a mask's leading literal at all.
  const std::string_view prefix = literalPrefix(mask);
  if (!prefix.empty() && findText(source.substr(0, source.size() - 1), prefix, 0) == std::string_view::npos)
    return MaskResult::NoMatch;
  return prefix.size() == mask.size() - 1 ? searchLiteral(source, prefix, callback, output)
                                          : searchMask(source, mask, callback, output, problems);
}

MaskResult MaskMatch(std::string_view source, std::string_view mask, const MaskCallback& callback, bool allowRest,
                     MaskProblems* problems) {
  if (!usable(source) || !usable(mask)) return MaskResult::NoMatch;
  Matcher matcher(source, mask, callback ? &callback : nullptr, allowRest, false);
  const Outcome outcome = matcher.attempt(0);
  if (problems) problems->bits |= matcher.problems().bits;
  switch (outcome) {
    case Outcome::Match:
      return MaskResult::Match;
    case Outcome::Abort:
      return MaskResult::Aborted;
    default:
      return MaskResult::NoMatch;
  }
}

}  // namespace talmoor::masks

#pragma once
// Search masks: Talmoor's own pattern language. A mask is one or more
// segments, each ended by a NUL byte; a source is a byte string. Both are
// passed with their length, which counts the terminating NUL: the byte at the
// last index is the terminator position and is never matched as an element of
// the mask nor consumed as text of the source (only "%>" takes it).
//
//   %%  a "%"                      %?  any one character
//   %A  upper-case letter          %a  lower-case letter      %X  either case
//   %d  decimal digit (captured)   %H  0-9 A-F (captured)     %h  0-9 a-f (captured)
//   %1  one character of the set formed by the rest of the segment
//   %<  at the start of the source: nothing or one of the set; elsewhere one of the set
//   %>  at the end of the source (or on a NUL): takes that position; elsewhere one of the set
//   %0  nothing or one of the set      %O  nothing or the rest of the segment as it stands
//   %*  any run, shortest first        %D  run of decimal digits, shortest first (captured)
//   %F  run of hex digits (captured)   %!  run of characters outside the set, shortest first
//   %$  skip the captured number of characters; "%$-3" / "%$+1" adjust it first
//   %~  written before an operator character ("%~1 ;", "%~d") negates its
//       one-character test; runs cannot be negated
//   %( %)  a group: tried once with the rest of each segment as delimiter sets,
//          once with both delimiters left out
//   %s  skip the rest of the segment
//
// Once the source is used up (the position has reached its last index) only
// "%>", "%*" and elements that take nothing can still match; any other
// element fails there, even one that could have matched nothing.
//
// Problems of the mask itself (a malformed operator, a mask cut short) are
// handed back to the caller, who decides what to tell the user; the engine
// shows nothing. Every search has its own capture register and working
// memory, so searches may run on several threads at once, and a callback may
// search. Matching keeps its alternatives on the heap, not the call stack.

#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talmoor::masks {

// The results keep the numbers callers of this engine have always compared.
enum class MaskResult : int { Match = 0, NoMatch = 1, Aborted = -1 };

// An occurrence offered to the callback.
struct MaskOccurrence {
  std::string_view source;          // the whole source, as passed
  std::size_t start = 0;            // where the occurrence begins
  std::size_t length = 0;           // its bytes (a terminator taken by "%>" included)
  std::size_t sourceLastIndex = 0;  // source length - 1

  std::string_view text() const { return source.substr(start, length); }
};

// What the callback hands back with an accepted occurrence.
struct MaskReply {
  // The text that takes the occurrence's place in the output of MaskSearch.
  // It stands for the whole occurrence: when characters are given back, as
  // many are dropped from its end, because they stay in the source.
  std::optional<std::string> replacement;
  // Characters at the end of the occurrence that are not consumed, so that
  // the next occurrence may start on them (typically the closing delimiter).
  std::size_t giveBack = 0;
};

enum class MaskVerdict {
  Accept,  // count the occurrence
  Reject,  // not this one: matching goes on as if it had not matched
  Abort,   // stop the whole search
};

using MaskCallback = std::function<MaskVerdict(const MaskOccurrence&, MaskReply&)>;

// What can be wrong with a mask, as flags.
enum class MaskProblem : unsigned {
  Formatting = 1u << 0,     // "%s" in a segment that runs into the end of the mask
  InvertedRange = 1u << 1,  // "%~" before a run operator
  Corrupted = 1u << 2,      // an operator's set that runs into the end of the mask
  Incomplete = 1u << 3,     // a group that does not close, or a close without its open
};
struct MaskProblems {
  unsigned bits = 0;
  bool any() const { return bits != 0; }
  bool has(MaskProblem problem) const { return bits & static_cast<unsigned>(problem); }
};

// A C string as the engine wants it: its bytes and the terminating NUL.
inline std::string_view terminated(const char* text) {
  return text ? std::string_view(text, std::strlen(text) + 1) : std::string_view();
}
inline std::string_view terminated(const std::string& text) { return {text.c_str(), text.size() + 1}; }
std::string_view terminated(std::string&&) = delete;

// Finds every occurrence of the mask in the source, left to right, each the
// shortest from its start that the callback accepts (a rejected one makes the
// engine try longer alternatives). After a partial match the search goes on
// where it ended (less what was given back); a match that reaches the end of
// the source, or one that did not move on, ends the search. Match when at
// least one occurrence was accepted, NoMatch when none, Aborted when the
// callback said so (the output is then left alone).
//
// When an accepted occurrence carries a replacement and output is given, the
// output becomes the source with every replaced occurrence rewritten; it ends
// with a NUL that its size counts. Without a replacement it is left alone.
// The problems found in the mask are added to `problems` when given.
MaskResult MaskSearch(std::string_view source, std::string_view mask, const MaskCallback& callback = {},
                      std::string* output = nullptr, MaskProblems* problems = nullptr);

// Matches the mask against the source from its first character. Without
// allowRest the mask must take the whole source; with it the source may go on
// after the part the mask took.
MaskResult MaskMatch(std::string_view source, std::string_view mask, const MaskCallback& callback = {},
                     bool allowRest = false, MaskProblems* problems = nullptr);

}  // namespace talmoor::masks

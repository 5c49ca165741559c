#pragma once
// One job's parameters and callbacks: the search context. It travels from the
// search driver to the matcher, the actions and the found-item handler, and
// to the results-file, export, verification and copy jobs that share it.

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/masks/mask_engine.h"
#include "search/replace/change_class.h"
#include "search/results/result_list.h"

namespace talmoor::verify {
struct VerificationState;
}  // namespace talmoor::verify

namespace talmoor::search {

// Kinds of job, numbered as the design numbers them.
enum class JobKind : int {
  Search = 1,       // a search of the registry or a row mode
  ResultsFile = 2,  // a results-file or verification job
  Export = 3,
};

// Modes, in the order of the Mode list.
enum SearchMode : int {
  kModeUnset = -1,
  kModeFind = 0,
  kModeModify,
  kModeVerify,
  kModeSelect,
  kModeChange,
  kModeRemove,
  kModeReduce,
  kModeDelete,
};
inline constexpr const char* kModeNames[] = {"Find", "Modify", "Verify", "Select", "Change", "Remove", "Reduce", "Delete"};
inline constexpr int kModeCount = 8;

class SearchContext;

// The item a callback is given.
struct SearchItem {
  bool isKey = false;
  std::string_view machine;
  HKEY root = 0;
  std::string_view keyPath;  // the current key path
  std::string_view name;     // the key's or the value's name
  std::span<const BYTE> data;
  DWORD type = 0;
};

using SearchMatcher = std::function<bool(const SearchItem& item, SearchContext& context)>;
// Returns success; may propose a new name and data in the change record.
using SearchAction = std::function<bool(const SearchItem& item, SearchContext& context)>;
// Non-zero skips a key's contents.
using FoundItemHandler = std::function<int(const SearchItem& item, SearchContext& context)>;
// phase 1 before a key's contents are walked, 0 after; non-zero skips the key.
using KeyVisitCallback = std::function<int(SearchContext& context, int phase)>;
// Part 0 takes the state, part 1 the current key path or a count.
using StatusSink = std::function<void(int part, std::string_view text)>;

class SearchContext {
 public:
  // A context of `kind`, copying the current options, with the matcher, the
  // Modify action and the found-item handler installed.
  explicit SearchContext(JobKind kind);
  ~SearchContext();
  SearchContext(const SearchContext&) = delete;
  SearchContext& operator=(const SearchContext&) = delete;

  std::atomic<bool> abort{false};
  JobKind kind = JobKind::Search;
  ChangeClass change;
  DWORD minimumSize = 0;  // 0: no bound
  DWORD maximumSize = 0;
  DWORD rangeLimit = 0;   // 0: the entire range
  DWORD itemCounter = 0;
  DWORD searchFlags = 0;
  DWORD typeMask = 0;
  BYTE alwaysMatchOnName = 0;
  StatusSink status;
  KeyVisitCallback keyVisit;
  SearchMatcher matcher;
  SearchAction action;
  FoundItemHandler foundItem;
  int mode = kModeUnset;
  std::string currentKeyPath;
  bool hasKeyPath = false;  // a walk without a key path visits nothing
  std::string findText;     // bytes, ANSI or UTF-16
  std::string replaceText;
  bool hasReplaceText = false;
  bool findIsMask = false;
  // What is wrong with a mask find text has been told once this search.
  masks::MaskProblems maskProblemsTold;
  BYTE nameReplaced = 0;
  BYTE recordResults = 1;
  // Values of the key being walked that the found-item handler wrote under a
  // new name: they come round again at the end of the key's values.
  std::vector<std::string> renamedValues;
  // What a Verify run remembers from one item to the next; none for other runs.
  std::unique_ptr<verify::VerificationState> verification;
  std::shared_ptr<ResultList> results;
  WindowRef owner = 0;
  // Where the walk halts while the job is paused; none for jobs that cannot pause.
  std::function<void()> pausePoint;

  void showStatus(int part, std::string_view text) const {
    if (status) status(part, text);
  }
  void passPausePoint() const {
    if (pausePoint) pausePoint();
  }
  bool aborted() const { return abort.load(std::memory_order_relaxed); }
};

}  // namespace talmoor::search

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
#include "search/search_controls.h"
#include "search/search_criteria.h"

namespace talmoor::verify {
struct VerificationState;
}  // namespace talmoor::verify

namespace talmoor::search {

// Kinds of job, with the numbers their records carry.
enum class JobKind : int {
  Search = 1,       // a search of the registry or a row mode
  ResultsFile = 2,  // a results-file or verification job
  Export = 3,
};

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

// Where a registry walk is: the path of the key being walked (extended by
// "\" and the key name on entry, cut back on leave), and the values the walk
// itself wrote under new names in that key.
struct WalkPosition {
  std::string keyPath;
  bool hasKeyPath = false;  // a walk without a key path visits nothing
  std::vector<std::string> renamedValues;
};

class SearchContext {
 public:
  // A context of `kind`, copying the flags of the current options, with the
  // matcher, the Modify action and the found-item handler installed.
  explicit SearchContext(JobKind kind);
  ~SearchContext();
  SearchContext(const SearchContext&) = delete;
  SearchContext& operator=(const SearchContext&) = delete;

  // The job, and the request to stop it that every callback tests.
  const JobKind kind;
  std::atomic<bool> abort{false};
  bool aborted() const { return abort.load(std::memory_order_relaxed); }

  // What is looked for, and what is done with each item found.
  SearchCriteria criteria;
  SearchMatcher matcher;
  SearchAction action;
  FoundItemHandler foundItem;
  KeyVisitCallback keyVisit;

  // Where the job reports: the rows, the status bar, the window boxes belong
  // to, and where the walk halts while the job is paused (none for jobs that
  // cannot pause).
  std::shared_ptr<ResultList> results;
  BYTE recordResults = 1;
  StatusSink status;
  WindowRef owner = 0;
  std::function<void()> pausePoint;
  void showStatus(int part, std::string_view text) const {
    if (status) status(part, text);
  }
  void passPausePoint() const {
    if (pausePoint) pausePoint();
  }

  // The state of the run.
  WalkPosition walk;
  ChangeClass change;
  BYTE nameReplaced = 0;  // the action replaced the current item's name
  DWORD itemCounter = 0;  // items recorded towards the range limit
  // What is wrong with a mask find text has been told once this search.
  masks::MaskProblems maskProblemsTold;
  // What a Verify run remembers from one item to the next; none for other runs.
  std::unique_ptr<verify::VerificationState> verification;
};

}  // namespace talmoor::search

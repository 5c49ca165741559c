#pragma once
// Copying and moving registry entries: a key with its values, class,
// security and (when asked) its whole branch, or a single value, within one
// registry or between the hives mounted in it, whatever their formats. Every
// key made and every value written is a registry change through the write
// gate, so the user's confirmation settings apply; the questions about
// rights are asked at most once a run. Moves delete each source only once
// everything below it, and its security, has been copied.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "base/window_ref.h"
#include "search/replace/change_class.h"

namespace talmoor::browse {

// The answer given to the rights questions of a run, numbered as it was
// always kept.
enum class RightsAnswer : int { NotAsked = 0, SkipUnreadable = 1, CopyReadable = 2 };

// One run of a copy or move: what to do and how it went.
struct CopyRun {
  bool move = false;
  bool recursive = true;     // subkeys too; without it a key copy takes its values only
  bool copySecurity = true;  // the keys' owner, group and access lists
  RightsAnswer rights = RightsAnswer::NotAsked;
  bool securityAnswered = false;
  WindowRef owner = 0;
  const std::atomic<bool>* cancel = nullptr;  // stops the walk between keys
  // The title of every confirmation of the run ("Copy Registry Entry", ...),
  // after the gate's own words for each change.
  std::string caption;

  std::size_t keysCopied = 0;
  std::size_t valuesCopied = 0;
  std::size_t skipped = 0;  // keys left out, values refused, security not applied
  bool failed = false;      // a key could not be opened at all, or the run was stopped

  bool complete() const { return skipped == 0 && !failed; }
};

// Why a copy or move from `source` to `destination` (full key paths) cannot
// start, or nothing: a copy into the source's own branch would never end, and
// a root or a hive mount point cannot be moved away.
std::optional<std::string> copyRefusal(const std::string& source, const std::string& destination, bool move);

// Copies the key at `source` into the key at `destination` (made when it does
// not exist): its values, and with `run.recursive` every key below it, parent
// before children; with `run.move` the source is deleted at the end. The
// change record carries the remembered confirmation answers for the whole run. True when the destination key was reached; `run` says
// whether everything came across.
bool copyKeyBranch(const std::string& source, const std::string& destination, CopyRun& run,
                   search::ChangeClass& change);

// Copies (or moves) one value into the key at `destinationKey` under
// `newName` (its own name when none).
bool copyValue(const std::string& sourceKey, const std::string& valueName, const std::string& destinationKey,
               const std::optional<std::string>& newName, CopyRun& run, search::ChangeClass& change);

// "Confirm Action" first (Yes/No), then the copy or move of a key (no value
// name) or a value; a run that left anything out ends with the box saying so.
// False when refused, declined or incomplete.
bool confirmAndCopy(const std::string& sourceKey, const std::optional<std::string>& valueName,
                    const std::string& destinationKey, bool move, WindowRef owner = 0,
                    const std::atomic<bool>* cancel = nullptr);

}  // namespace talmoor::browse

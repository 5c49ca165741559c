#include "search/search_walk.h"

#include <deque>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/access/key_contents.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::search {

using namespace talmoor::registry;

namespace {

constexpr std::size_t kPathReserve = 1300;
constexpr int kStopEnumeration = -1;
constexpr int kReporterStopped = 2;

// Roots a search never walks: views of other roots, and the empty ones.
constexpr HKEY kSkippedRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA};

bool isSkippedRoot(std::string_view name) {
  HKEY root = rootFromText(name);
  if (!root) root = rootFromText(std::string("HKEY_") + std::string(name));
  for (HKEY skipped : kSkippedRoots)
    if (root == skipped) return true;
  // The performance and dynamic data roots have no row of their own.
  return name == "HKEY_PERFORMANCE_DATA" || name == "HKEY_DYN_DATA";
}

class Walker {
 public:
  // A walk with no action changes nothing as it goes (Find, export), so it
  // may read each key whole in one call; an action may rename or delete
  // what the walk is about to reach, which only a read at every index sees.
  Walker(SearchContext& context, std::string machine)
      : context_(context), machine_(std::move(machine)), readsWhole_(!context.action && !context.keyVisit) {}

  int visitValue(const ValueVisit& visit) {
    // A value renamed by this walk was handled under its old name.
    for (const std::string& renamed : context_.walk.renamedValues)
      if (platform::equalsIgnoringAsciiCase(renamed, visit.name)) return context_.aborted() ? kStopEnumeration : 0;
    std::size_t dataLength = visit.data ? visit.data->size() : 0;
    if (context_.criteria.withinSizeBounds(dataLength) || context_.criteria.withinSizeBounds(visit.name.size())) {
      SearchItem item{false, machine_, 0, context_.walk.keyPath, visit.name,
                      visit.data ? std::span<const BYTE>(*visit.data) : std::span<const BYTE>(), visit.type};
      const std::size_t renamedBefore = context_.walk.renamedValues.size();
      if (context_.foundItem) context_.foundItem(item, context_);
      // The old name of a renamed value is gone: the values after it moved
      // down one place, and the walk steps back so as not to miss the next.
      if (context_.walk.renamedValues.size() != renamedBefore && visit.index && visit.key &&
          !valueExists(visit.key, visit.name))
        --*visit.index;
    }
    return context_.aborted() ? kStopEnumeration : 0;
  }

  int visitKey(HKEY parent, std::string_view name, DWORD* walkIndex) {
    if (!context_.walk.hasKeyPath) return 0;
    if (name.empty()) {
      messageBox("Invalid Key Name Received", "Serious Error, probably with Enumerator");
      return 0;
    }
    const bool atTop = parent == 0;
    if (atTop && context_.kind != JobKind::Export && isSkippedRoot(name)) return 0;
    // Restored by length on the way out: a name may itself hold a backslash.
    const std::size_t level = context_.walk.keyPath.size();
    append(context_.walk.keyPath, name);
    context_.showStatus(1, context_.walk.keyPath);

    int result = 0;
    ScopedKey key;
    REGSAM access = kReadKeyAccess;
    // Links are walked as keys of their own, never followed: a link to an
    // ancestor would loop, and a target would be visited twice. The depth
    // bound is a second guard against a walk that re-enters a key it is in.
    LONG rc = levels_ >= kMaxWalkDepth ? ERROR_CANT_RESOLVE_FILENAME
                                       : openKey(machine_, parent, name, *key.out(), access, REG_OPTION_OPEN_LINK, true);
    if (rc != ERROR_SUCCESS) {
      if (reportError(defaultErrorHandler, rc, context_.walk.keyPath, "", "Opening Key (ENUM)", nullptr,
                      kVerbosityEnumeration, context_.owner))
        result = kReporterStopped;
      leave(level);
      return result;
    }
    bool skip = false;
    if (context_.keyVisit && context_.keyVisit(context_, 1) != 0) skip = true;
    if (!skip && !atTop && context_.criteria.withinSizeBounds(name.size()) && context_.foundItem) {
      SearchItem item{true, machine_, 0, context_.walk.keyPath, name, {}, 0};
      result = context_.foundItem(item, context_);
      skip = result != 0;
    }
    if (!skip) {
      ++levels_;
      walkContents(key.get());
      --levels_;
    }
    key.reset();
    if (context_.keyVisit && result != kStopEnumeration) context_.keyVisit(context_, 0);
    (void)walkIndex;
    leave(level);
    return context_.aborted() ? kStopEnumeration : result;
  }

  void walkContents(HKEY key) {
    if (context_.aborted()) return;
    context_.passPausePoint();
    context_.walk.renamedValues.clear();
    EnumerationRequest values(key, 0, 0, ReportTo(defaultErrorHandler, context_.walk.keyPath, nullptr, context_.owner));
    values.cancel = &context_.abort;
    auto visitValue = [this](const ValueVisit& visit) { return this->visitValue(visit); };
    // One buffer per level, kept for the next key at that level: the names
    // of this key's subkeys stay put while the walk goes below them.
    if (readsWhole_ && levels_ >= contents_.size()) contents_.resize(levels_ + 1);
    if (readsWhole_ && readKeyContents(key, contents_[levels_])) {
      KeyContents& read = contents_[levels_];
      enumerateValuesOf(machine_, values, read, visitValue);
      read.dropValues();
      if (context_.aborted()) return;
      context_.passPausePoint();
      for (DWORD index = 0; index < read.subkeyCount(); ++index) {
        std::string_view name = read.subkeyName(index);
        // The one-at-a-time walk hands over no key without a name either.
        if (!name.empty() && visitKey(key, name, &index) != 0) return;
      }
      return;
    }
    enumerateValues(machine_, values, visitValue);
    if (context_.aborted()) return;
    context_.passPausePoint();
    walkSubkeys(key);
  }

  void walkSubkeys(HKEY key) {
    EnumerationRequest subkeys(key, 0, 0,
                               ReportTo(defaultErrorHandler, context_.walk.keyPath, nullptr, context_.owner));
    enumerateSubkeys(machine_, subkeys, [this, key](const SubkeyVisit& visit) {
      return visitKey(key, visit.name, visit.index);
    });
  }

 private:
  static void append(std::string& path, std::string_view name) {
    if (!path.empty()) path += '\\';
    path += name;
  }
  void leave(std::size_t pathLength) { context_.walk.keyPath.resize(pathLength); }

  SearchContext& context_;
  std::string machine_;
  std::size_t levels_ = 0;
  const bool readsWhole_;
  std::deque<KeyContents> contents_;  // by level
};

}  // namespace

void walkRegistry(SearchContext& context, const std::optional<std::string>& start) {
  std::string machine;
  std::string path = start.value_or("");
  if (auto split = splitMachine(path)) machine = split->machine;
  context.walk.keyPath = path;
  context.walk.keyPath.reserve(path.size() + kPathReserve);
  context.walk.hasKeyPath = true;
  Walker walker(context, machine);
  if (path.empty() || (!machine.empty() && splitMachine(path)->rest.empty())) {
    walker.walkSubkeys(0);
    return;
  }
  ScopedKey key(openKeyByPath(path, kReadKeyAccess, ReportTo(defaultErrorHandler, path, nullptr, context.owner),
                              "Opening Key (ENUM)"));
  if (!key.get()) return;
  walker.walkContents(key.get());
}

}  // namespace talmoor::search

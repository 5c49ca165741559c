#include "search/replace/search_actions.h"

#include <algorithm>
#include <cstring>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "base/workspace.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "base/masks/mask_engine.h"
#include "search/replace/text_match.h"

namespace talmoor::search {

using namespace talmoor::masks;

using registry::kFullKeyPath;
using registry::kKeyName;
using registry::kValueName;

namespace {

constexpr LONG kUnknownFailure = -1;

bool searchesItem(const SearchItem& item, DWORD flags) {
  return item.isKey ? (flags & kSearchKeyNames) != 0 : (flags & kSearchValueNames) != 0;
}

bool typeSearched(DWORD type, DWORD mask) {
  return (mask & kTypeBitAll) || (mask & typeBit(type)) != 0;
}

// The types whose data is one string (a multi-string holds its NULs by design).
bool isSingleStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The boxes for what is wrong with a mask, in the words users know them by.
void tellMaskProblems(const MaskProblems& problems, SearchContext& context) {
  struct Box {
    MaskProblem problem;
    const char* text;
    const char* title;
  };
  static constexpr Box kBoxes[] = {
      {MaskProblem::Formatting, "Mask Formatting Error", "Sorry"},
      {MaskProblem::InvertedRange, "Sorry, you cannot invert range operators (e.g. *!DF)", "Sorry"},
      {MaskProblem::Corrupted, "Currupted Search Mask, cannot determin result of search will be accurate", "DOH!"},
      {MaskProblem::Incomplete, "Incomplete Mask, Unknow behaviour to follow", "Lazy Programmer"},
  };
  for (const Box& box : kBoxes) {
    if (!problems.has(box.problem) || context.maskProblemsTold.has(box.problem)) continue;
    context.maskProblemsTold.bits |= static_cast<unsigned>(box.problem);
    messageBox(box.text, box.title, BoxButtons::Ok, BoxIcon::NoIcon, context.owner);
  }
}

// Data stored after a string's terminator: the C-string length is neither the
// stored length nor one less.
bool binaryInString(std::span<const BYTE> data) {
  std::size_t textLength = strnlen(reinterpret_cast<const char*>(data.data()), data.size());
  return textLength != data.size() && textLength + 1 != data.size();
}

}  // namespace

namespace {
// Installed per workspace by the file-reference checks.
struct VerificationSlot {
  VerificationActionFactory factory;
};
VerificationActionFactory& factorySlot() { return Workspace::current().service<VerificationSlot>().factory; }
}  // namespace

void setVerificationActionFactory(VerificationActionFactory factory) { factorySlot() = std::move(factory); }
const VerificationActionFactory& verificationActionFactory() { return factorySlot(); }

bool fileReferenceMatcher(const SearchItem& item, SearchContext& context) {
  if (item.isKey || !(item.type == REG_SZ || item.type == REG_EXPAND_SZ || item.type == REG_MULTI_SZ)) return false;
  std::string source(reinterpret_cast<const char*>(item.data.data()), item.data.size());
  return maskFinds(terminated(source), context.criteria.findText, context);
}

bool maskFinds(std::string_view source, std::string_view mask, SearchContext& context) {
  MaskProblems problems;
  bool found = MaskSearch(source, mask, {}, nullptr, &problems) == MaskResult::Match;
  if (problems.any()) tellMaskProblems(problems, context);
  return found;
}

bool searchMatcher(const SearchItem& item, SearchContext& context) {
  auto find = bytesOf(context.criteria.findText);
  if (find.empty()) return true;
  const bool typeInMask = typeSearched(item.type, context.criteria.typeMask);
  if (searchesItem(item, context.criteria.searchFlags) && (typeInMask || context.criteria.alwaysMatchOnName) &&
      containsIgnoringCase(bytesOf(item.name), find))
    return true;
  return !item.isKey && (context.criteria.searchFlags & kSearchValueData) && typeInMask &&
         containsIgnoringCase(item.data, find);
}

bool modifyAction(const SearchItem& item, SearchContext& context) {
  auto find = bytesOf(context.criteria.findText);
  auto replacement = bytesOf(context.criteria.replaceText);
  ChangeClass& change = context.change;
  // Rotated names are stored that way on purpose; they are never renamed.
  if (!registry::isCypheredName(item.name)) {
    if (auto name = replaceAll(bytesOf(item.name), find, replacement)) {
      std::string newName(name->begin(), name->end());
      if (item.isKey) {
        change.modified.location.setComponent(kKeyName, newName);
        change.modified.location.clearComponent(kValueName);
      } else {
        change.modified.location.setComponent(kValueName, newName);
      }
      context.nameReplaced = 1;
    }
  }
  if (!item.isKey)
    if (auto data = replaceAll(item.data, find, replacement)) change.modified.setData(std::move(*data));
  return true;
}

bool maskAction(const SearchItem& item, SearchContext& context) {
  bool matched = false;
  if (searchesItem(item, context.criteria.searchFlags)) {
    if (registry::isCypheredName(item.name)) {
      addErrorLogRow(ERROR_CALL_NOT_IMPLEMENTED, context.walk.keyPath, "Will not Verify Cyphered Name",
                     "The Name of the Registry Item has been stored in a cyphered format, this program will not alter "
                     "cyphered names.",
                     kVerbositySilent);
    } else {
      std::string name(item.name);
      matched = maskFinds(terminated(name), context.criteria.findText, context);
    }
  }
  if (!item.isKey && !context.aborted() && (context.criteria.searchFlags & kSearchValueData) &&
      typeSearched(item.type, context.criteria.typeMask)) {
    std::string source(reinterpret_cast<const char*>(item.data.data()), item.data.size());
    matched = maskFinds(terminated(source), context.criteria.findText, context) || matched;
  }
  return matched;
}

namespace {

// What became of an item the action accepted, for its result row.
struct ItemOutcome {
  int mark = kMarkNone;
  RowOutcome outcome = RowOutcome::Found;
  std::string proposedKeyName;                    // a key's new name; only recorded
  std::optional<std::vector<BYTE>> proposedData;  // as the confirmation left it
};

// Each item is a change of its own: the record starts from the item as it
// is, and the operation is derived afresh by the gate.
void startChangeFor(const SearchItem& item, SearchContext& context) {
  ChangeClass& change = context.change;
  change.resetEntries();
  change.operation = kOpDefault;
  change.kind = item.isKey ? kChangeKey : kChangeValue;
  auto& original = change.original.location;
  auto& modified = change.modified.location;
  if (item.isKey) {
    original.setComponent(kKeyName, item.name);
    modified.setComponent(kKeyName, item.name);
  } else {
    std::vector<BYTE> data(item.data.begin(), item.data.end());
    change.original.setData(data);
    change.modified.setData(std::move(data));
    change.original.type = change.modified.type = static_cast<int>(item.type);
    original.setComponent(kValueName, item.name);
    modified.setComponent(kValueName, item.name);
  }
  context.nameReplaced = 0;
  change.caption.clear();
}

// Writes the value under its proposed name and data. A rename writes the new
// value first; the old one goes only once the new one is in place.
void writeProposedValue(const SearchItem& item, SearchContext& context, const std::string& keyPath,
                        ItemOutcome& outcome) {
  ChangeClass& change = context.change;
  std::string name = change.modified.location.valueName().value_or(std::string(item.name));
  std::vector<BYTE> data = change.modified.data;
  const bool hasProposal = change.modified.hasData;
  registry::ReportTo report(defaultErrorHandler, keyPath, nullptr, context.owner);
  GateRecord gate;
  bool written = registry::setValue(item.machine, 0, keyPath, name, data, item.type, report,
                                    recordingGate(writeGate(change, context.owner), gate));
  if (hasProposal) outcome.proposedData = data;
  if (written && !change.abort) outcome.mark = kMarkDone;
  outcome.outcome = outcomeOf(written && !change.abort, gate, change.abort);
  if (change.abort) context.abort = true;
  // Value names are compared without case by the registry: a name changed
  // only in case was written over the old value.
  if (written && context.nameReplaced && !platform::equalsIgnoringAsciiCase(name, item.name)) {
    context.walk.renamedValues.push_back(name);
    registry::ReportTo quiet([](const ErrorReport&) { return false; }, keyPath);
    if (!registry::deleteValue(item.machine, 0, keyPath, item.name, quiet, nullptr))
      addErrorLogRow(kUnknownFailure, keyPath + "\\" + std::string(item.name), "Deleting Original Value",
                     "Unable to Delete Original Value", kVerbositySilent);
  }
}

// What the action proposed, carried out: a key's new name is only recorded;
// a mask search that proposes nothing writes nothing; string data that holds
// more after its terminator is not rewritten; any other value is written.
ItemOutcome carryOutProposal(const SearchItem& item, SearchContext& context) {
  ChangeClass& change = context.change;
  auto& original = change.original.location;
  auto& modified = change.modified.location;
  ItemOutcome outcome;
  std::string keyPath(item.keyPath);
  original.setComponent(kFullKeyPath, keyPath);
  if (!item.isKey) original.setComponent(kValueName, item.name);
  // The modified side inherits the original's path.
  modified.clearComponent(registry::kMachine | registry::kRoot | registry::kKeyPath |
                          (item.isKey ? registry::Components{} : registry::kKeyName));
  const bool dataChanged =
      change.modified.hasData &&
      !std::equal(change.modified.data.begin(), change.modified.data.end(), item.data.begin(), item.data.end());
  const bool proposesChange = context.nameReplaced || dataChanged;
  if (item.isKey) {
    if (modified.keyName() && *modified.keyName() != item.name) {
      outcome.proposedKeyName = *modified.keyName();
      outcome.outcome = RowOutcome::KeyNotRenamed;
    }
  } else if (context.criteria.findIsMask && !proposesChange) {
    // A mask search only finds: there is nothing to write.
  } else if (isSingleStringType(item.type) && binaryInString(item.data) && dataChanged) {
    messageBox("The Type reported by the registry is inconsistant with the data stored within, it may not be safe "
               "for automatic changes to take place!",
               "Binary Data stored in String");
    outcome.mark = kMarkBinaryInString;
    outcome.outcome = RowOutcome::BinaryInString;
  } else {
    writeProposedValue(item, context, keyPath, outcome);
  }
  // The next item starts from a clean record.
  change.caption.clear();
  modified.clearComponent(kValueName);
  change.modified.clearData();
  return outcome;
}

// The row carries the data proposed for the item, or the item's own.
void recordRow(const SearchItem& item, SearchContext& context, const ItemOutcome& outcome) {
  std::span<const BYTE> shown = outcome.proposedData ? std::span<const BYTE>(*outcome.proposedData) : item.data;
  std::optional<DataRecord> record;
  if (!item.isKey) record = DataRecord{static_cast<int>(item.type), {shown.begin(), shown.end()}};
  int row = context.results->addRow(item.isKey, item.keyPath, item.isKey ? std::nullopt : std::optional(item.name),
                                    shown, item.type, std::move(record), outcome.mark, outcome.outcome);
  if (row >= 0 && !outcome.proposedKeyName.empty())
    context.results->update(static_cast<std::size_t>(row),
                            [&](ResultRow& r) { r.replacement = outcome.proposedKeyName; });
}

// "First n": the search stops once n items were recorded.
void countTowardsRange(SearchContext& context) {
  if (!context.criteria.rangeLimit) return;
  if (++context.itemCounter >= context.criteria.rangeLimit) {
    context.abort = true;
    context.itemCounter = 0;
  }
}

}  // namespace

int foundItemHandler(const SearchItem& item, SearchContext& context) {
  if (context.matcher && !context.matcher(item, context)) return 0;
  ItemOutcome outcome;
  if (context.action) {
    startChangeFor(item, context);
    const bool success = context.action(item, context);
    if (context.aborted()) context.change.abort = true;
    if (!success) return 0;
    outcome = carryOutProposal(item, context);
  }
  if (context.recordResults && context.results) recordRow(item, context, outcome);
  countTowardsRange(context);
  return 0;
}

}  // namespace talmoor::search

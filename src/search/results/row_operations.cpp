#include "search/results/row_operations.h"

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "registry/root_keys.h"
#include "search/replace/search_actions.h"
#include "search/replace/text_match.h"
#include "base/masks/mask_engine.h"
#include "base/workspace.h"

namespace talmoor::search {

using namespace talmoor::masks;

using namespace talmoor::registry;

namespace {

// Installed per workspace by whatever knows the profile's accounts.
struct NamerSlot {
  AccountNamer namer;
};
AccountNamer& namerSlot() { return Workspace::current().service<NamerSlot>().namer; }

std::string accountName(const std::string& sid) {
  const auto& namer = namerSlot();
  std::string name = namer ? namer(sid) : std::string();
  return name.empty() ? sid : name;
}

bool isUserSid(std::string_view text) { return text.rfind("S-1-", 0) == 0 || text.rfind("s-1-", 0) == 0; }

std::string firstComponent(std::string_view path) { return std::string(path.substr(0, path.find('\\'))); }
std::string_view afterFirst(std::string_view path) {
  auto cut = path.find('\\');
  return cut == std::string_view::npos ? std::string_view() : path.substr(cut);
}

std::string replaceEvery(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

void changeRow(ResultRow& row, std::string_view find, std::string_view replacement) {
  for (int column : {kColumnKey, kColumnSubKey, kColumnValue})
    if (auto changed = replaceAll(row.column(column), find, replacement)) row.column(column) = *changed;
  if (row.record) {
    if (auto changed = replaceAll(row.record->bytes, bytesOf(find), bytesOf(replacement))) {
      row.record->bytes = std::move(*changed);
      DisplayContext display;
      row.data = formatData(static_cast<DWORD>(std::max(row.record->type, 0)), row.record->bytes, display);
    }
  } else if (auto changed = replaceAll(row.data, find, replacement)) {
    row.data = *changed;
  }
}

RowOutcome deleteRow(const ResultRow& row, SearchContext& context) {
  ChangeClass& change = context.change;
  change.resetEntries();
  change.operation = kOpDelete;
  std::string path = row.keyPathText();
  change.original.location.setComponent(kFullKeyPath, path);
  ReportTo report(defaultErrorHandler, path, nullptr, context.owner);
  GateRecord gate;
  bool done;
  if (!row.hasValueName()) {
    change.kind = kChangeKey;
    done = deleteKey("", 0, path, report, recordingGate(writeGate(change, context.owner), gate));
  } else {
    change.kind = kChangeValue;
    change.original.location.setComponent(kValueName, row.valueName());
    done = deleteValue("", 0, path, row.valueName(), report, recordingGate(writeGate(change, context.owner), gate));
  }
  if (change.abort) context.abort = true;
  return outcomeOf(done, gate, change.abort);
}

}  // namespace

void setAccountNamer(AccountNamer namer) { namerSlot() = std::move(namer); }

bool rowMatchesMask(const ResultRow& row, std::string_view mask, SearchContext& context) {
  for (int column : {kColumnHive, kColumnKey, kColumnSubKey, kColumnValue})
    if (maskFinds(terminated(row.column(column)), mask, context)) return true;
  if (!row.record) return maskFinds(terminated(row.data), mask, context);
  std::string data(row.record->bytes.begin(), row.record->bytes.end());
  return maskFinds(terminated(data), mask, context);
}

bool rowContains(const ResultRow& row, std::string_view find) {
  for (int column : {kColumnHive, kColumnKey, kColumnSubKey, kColumnValue})
    if (containsIgnoringCase(row.column(column), find)) return true;
  if (row.record) return containsIgnoringCase(row.record->bytes, bytesOf(find));
  return containsIgnoringCase(row.data, find);
}

int rowOperation(ResultList& list, std::size_t index, bool& removed, SearchContext& context) {
  removed = false;
  if (context.aborted()) return kRowStop;
  std::shared_ptr<const ResultRow> shared = list.rowAt(index);
  if (!shared) return kRowStop;
  const ResultRow& row = *shared;
  const SearchCriteria& criteria = context.criteria;
  const bool matches =
      criteria.findIsMask ? rowMatchesMask(row, criteria.findText, context) : rowContains(row, criteria.findText);
  switch (criteria.mode) {
    case kModeSelect:
      if (matches) list.select(index, true);
      break;
    case kModeChange:
      list.update(index, [&](ResultRow& r) { changeRow(r, criteria.findText, criteria.replaceText); });
      break;
    case kModeRemove:
      if (matches) {
        list.remove(index);
        removed = true;
      }
      break;
    case kModeReduce:
      if (!matches) {
        list.remove(index);
        removed = true;
      }
      break;
    case kModeDelete: {
      const RowOutcome outcome = deleteRow(row, context);
      const bool done = outcome == RowOutcome::Written;
      list.update(index, [&](ResultRow& r) {
        r.statusMark = done ? kMarkDone : kMarkNotDone;
        r.outcome = outcome;
      });
      break;
    }
    default: return kRowStop;
  }
  return kRowGoOn;
}

bool ProfileTranspositions::contains(const std::string& a, const std::string& b) const {
  for (const auto& [x, y] : pairs_)
    if ((x == a && y == b) || (x == b && y == a)) return true;
  return false;
}

void ProfileTranspositions::add(std::string a, std::string b) { pairs_.emplace_back(std::move(a), std::move(b)); }

bool rowMatchesLocation(const ResultRow& row, const RowLocation& location, ProfileTranspositions& transpositions) {
  // The value: "(Default Value)" is the unnamed one; a key needs no value.
  if (location.valueName) {
    if (!row.hasValueName() || row.valueName() != *location.valueName) return false;
  } else if (row.hasValueName()) {
    return false;
  }
  std::string root = firstComponent(location.keyPath);
  if (!platform::equalsIgnoringAsciiCase(row.hive, root)) return false;
  std::string rowPath = row.key.empty() ? row.subKey : row.key + "\\" + row.subKey;
  std::string_view rest = afterFirst(location.keyPath);
  std::string itemPath(rest.empty() ? rest : rest.substr(1));
  if (rowPath == itemPath) return true;
  // Under HKEY_USERS the same profile may live under another SID.
  if (rootFromText(root) != HKEY_USERS) return false;
  std::string rowUser = firstComponent(rowPath), itemUser = firstComponent(itemPath);
  if (afterFirst(rowPath) != afterFirst(itemPath) || !isUserSid(rowUser) || !isUserSid(itemUser)) return false;
  for (const auto& [a, b] : transpositions.pairs()) {
    if (replaceEvery(itemPath, a, b) == rowPath || replaceEvery(itemPath, b, a) == rowPath) return true;
  }
  std::string question = fmt::format(
      "Transpose\tUser\t: {}\twith \n\t\tUser\t: {}\n\nThis will perform all future comparisons assuming these two "
      "user share profiles.",
      accountName(itemUser), accountName(rowUser));
  if (messageBox(question, "Transpose User Profile?", BoxButtons::YesNo, BoxIcon::Question) != IDYES) return false;
  transpositions.add(itemUser, rowUser);
  return true;
}

int findRow(const ResultList& list, const RowLocation& location, ProfileTranspositions& transpositions) {
  auto rows = list.snapshot();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rowMatchesLocation(*rows[i], location, transpositions)) return static_cast<int>(i);
  return -1;
}

int addRegistryItem(ResultList& list, const RowLocation& location, ProfileTranspositions& transpositions) {
  if (location.keyPath.empty() || findRow(list, location, transpositions) >= 0) return -1;
  if (!location.valueName) return list.addRow(true, location.keyPath, std::nullopt, {}, 0, std::nullopt, kMarkNone);
  ScopedKey key(openKeyByPath(location.keyPath, kReadKeyAccess, ReportTo(defaultErrorHandler, location.keyPath)));
  if (!key.get()) return -1;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (queryValue(key.get(), *location.valueName, type, data, ReportTo(defaultErrorHandler, location.keyPath)) !=
      ERROR_SUCCESS)
    return -1;
  return list.addRow(false, location.keyPath, *location.valueName, data, type,
                     DataRecord{static_cast<int>(type), data}, kMarkNone);
}

void runRowCommand(ResultList& list, RowCommand command, const Navigator& navigate, WindowRef owner) {
  if (list.size() == 0) return;
  ChangeClass change;  // fresh answers for this command
  for (std::size_t index : list.selectedRows()) {
    std::shared_ptr<const ResultRow> shared = list.rowAt(index);
    if (!shared) continue;
    const ResultRow& row = *shared;
    RowLocation location{row.keyPathText(), row.hasValueName() ? std::optional(row.valueName()) : std::nullopt};
    switch (command) {
      case RowCommand::Goto:
        if (navigate) navigate(location);
        break;
      case RowCommand::Update: {
        if (!row.hasValueName()) break;
        ScopedKey key(openKeyByPath(location.keyPath, kReadKeyAccess, ReportTo(defaultErrorHandler, location.keyPath)));
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!key.get() ||
            queryValue(key.get(), *location.valueName, type, data, ReportTo(defaultErrorHandler, location.keyPath)) !=
                ERROR_SUCCESS)
          break;
        list.update(index, [&](ResultRow& r) {
          r.typeImage = typeImageOf(type);
          DisplayContext display;
          r.data = data.empty() ? std::string() : formatData(type, data, display);
          r.record = DataRecord{static_cast<int>(type), data};
        });
        break;
      }
      case RowCommand::Apply: {
        if (!row.hasValueName() || !row.record) break;
        std::string name = row.valueName();
        std::vector<BYTE> data = row.record->bytes;
        change.resetEntries();
        change.operation = kOpDefault;
        change.original.location.setComponent(kFullKeyPath, location.keyPath);
        change.original.location.setComponent(kValueName, name);
        change.modified.setData(data);
        change.modified.type = row.record->type;
        setValue("", 0, location.keyPath, name, data, static_cast<DWORD>(std::max(row.record->type, 0)),
                 ReportTo(defaultErrorHandler, location.keyPath, nullptr, owner), writeGate(change, owner));
        if (change.abort) return;
        break;
      }
    }
  }
}

}  // namespace talmoor::search

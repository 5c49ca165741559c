#include "cli/row_output.h"

#include <iostream>

#include <fmt/format.h>

#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/root_keys.h"

namespace talmoor::cli {

using namespace talmoor::search;

namespace {

// What the registry holds now for a value row; false when it holds nothing.
bool readCurrent(const ResultRow& row, OutputRecord& record) {
  registry::ReportTo quiet([](const ErrorReport&) { return true; });
  registry::ScopedKey key(registry::openKeyByPath(row.keyPathText(), registry::kReadKeyAccess, quiet));
  if (!key.get()) return false;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (registry::queryValue(key.get(), row.valueName(), type, data, quiet) != ERROR_SUCCESS) return false;
  record.type = type;
  record.data = std::move(data);
  return true;
}

std::string statusOf(const ResultRow& row) {
  std::string status(row.outcome == RowOutcome::Found ? markText(row.statusMark) : outcomeText(row.outcome));
  if (row.selected) status = status.empty() ? "selected" : status + ", selected";
  return status;
}

OutputRecord recordOf(const ResultRow& row) {
  OutputRecord record;
  record.status = statusOf(row);
  record.root = row.hive;
  record.key = row.key.empty() ? row.subKey : row.subKey.empty() ? row.key : row.key + "\\" + row.subKey;
  if (!row.hasValueName()) {
    if (row.outcome == RowOutcome::KeyNotRenamed && !row.replacement.empty())
      record.shownData = "proposed name: " + row.replacement;
    return record;
  }
  record.valueName = row.valueName();
  if (row.record) {
    record.type = static_cast<DWORD>(std::max(row.record->type, 0));
    record.data = row.record->bytes;
  } else {
    record.shownData = row.data;
  }
  // A change that was to be written: the registry's word, not the proposal.
  if (wasProposed(row.outcome)) {
    record.shownData.reset();
    if (!readCurrent(row, record)) {
      record.data.clear();
      record.shownData = "";
    }
  }
  return record;
}

}  // namespace

const char* markText(int mark) {
  switch (mark) {
    case kMarkNotDone: return "not done";
    case kMarkDone: return "done";
    case kMarkBinaryInString: return "binary data in a string type";
    default: return "";
  }
}

ChangeCounts printRows(const ResultList& list, OutputFormat format) {
  ChangeCounts counts;
  RecordPrinter printer(std::cout, format, RecordPrinter::Columns{true, false});
  for (const auto& row : list.snapshot()) {
    printer.print(recordOf(*row));
    if (!wasProposed(row->outcome)) continue;
    ++counts.proposed;
    switch (row->outcome) {
      case RowOutcome::Written:
      case RowOutcome::AlreadySo: ++counts.written; break;
      case RowOutcome::Rejected: ++counts.rejected; break;
      default: ++counts.failed; break;
    }
  }
  printer.finish();
  return counts;
}

bool reportChanges(const ChangeCounts& counts) {
  std::string text = fmt::format("{} of {} change{} written", counts.written, counts.proposed,
                                 counts.proposed == 1 ? "" : "s");
  std::vector<std::string> notes;
  if (counts.rejected) notes.push_back(fmt::format("{} rejected", counts.rejected));
  if (counts.failed) notes.push_back(fmt::format("{} not done", counts.failed));
  if (!notes.empty()) text += " (" + fmt::format("{}", fmt::join(notes, ", ")) + ")";
  std::cout.flush();
  std::cerr << "talmoor-cli: " << text << "\n";
  return counts.allWritten();
}

}  // namespace talmoor::cli

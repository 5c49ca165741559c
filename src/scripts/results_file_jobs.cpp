#include "scripts/results_file_jobs.h"

#include <algorithm>
#include <unordered_set>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"
#include "scripts/script_writer.h"
#include "search/replace/change_class.h"
#include "search/search_walk.h"

namespace talmoor::scripts {

using namespace talmoor::registry;
using search::kMarkDone;
using search::kMarkNotDone;
using search::ResultRow;
using search::SearchContext;

namespace {

constexpr int kMarkCount = 5;
constexpr int kMarkUnreadable = 7;
constexpr const char* kReadContext = "Loading/Importing Registry Script";

// Failures of the checks are expected (that is what they find out): they go
// to the error log without a box. A key or value that is not there is the
// check's answer, shown by the row's missing mark, not a failure at all.
bool logQuietly(const ErrorReport& report) {
  if (report.code == ERROR_FILE_NOT_FOUND) return false;
  addErrorLogRow(report.code, report.primaryName, report.context, report.secondaryName, kVerbositySilent);
  return false;
}

std::string rootPart(std::string_view path) { return std::string(path.substr(0, path.find('\\'))); }

// A path text as key lines give it: the root in its full form whatever form
// it was given in ("HKLM\Software" becomes "HKEY_LOCAL_MACHINE\Software"), and
// no backslash at the end, which would double the one before each subkey.
std::string keyLinePath(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  std::string machine;
  if (auto split = splitMachine(path)) {
    machine = std::string(path.substr(0, path.size() - split->rest.size()));
    path.remove_prefix(machine.size());
  }
  HKEY root = rootFromText(path);
  if (!root) return machine + std::string(path);
  auto cut = path.find('\\');
  return machine + fullRootName(root) + std::string(cut == std::string_view::npos ? "" : path.substr(cut));
}

class ScriptJobVisitor : public ScriptVisitor {
 public:
  ScriptJobVisitor(const FileJob& job, SearchContext& context, search::ProfileTranspositions& transpositions)
      : job_(job), context_(context), transpositions_(transpositions), operation_(fileOperation(job.command)) {}

  bool onKey(const ScriptKey& key) override {
    key_.reset();
    valueNames_.reset();
    keyPath_ = std::string(key.path);
    if (operation_ & (kFileReduceRows | kFileCheckRegistry | kFileVerifyReport))
      key_.reset(openKeyByPath(keyPath_, kReadKeyAccess, ReportTo(logQuietly, keyPath_), kReadContext));
    if (operation_ & kFileWriteRegistry) {
      prepareKeyForWriting(key.root);
      if (key_.get()) ++keys_;
    } else {
      ++keys_;
    }
    if (job_.addFavourite) job_.addFavourite(std::string(key.comment.value_or("")), keyPath_);
    return !context_.aborted();
  }

  bool onValue(ScriptValue& value) override {
    std::array<int, kMarkCount> marks{};
    if (operation_ & kFileCheckRegistry) check(value, marks);
    bool listed = true;
    std::optional<ResultRow> matched;
    if (operation_ & kFileReduceRows) listed = reduce(value, matched);
    search::RowOutcome outcome = search::RowOutcome::Found;
    if (operation_ & kFileWriteRegistry) {
      outcome = write(value);
      if (outcome != search::RowOutcome::Written && outcome != search::RowOutcome::AlreadySo) {
        marks[0] = kMarkNotDone;
        ++failures_;
      }
    }
    if ((operation_ & kFileAddRow) && listed &&
        !((operation_ & kFileVerifyReport) && marks[4] == kMarkDone))
      list(value, marks, matched, outcome);
    ++entries_;
    if (job_.pauseInterval && ++sincePause_ >= job_.pauseInterval) {
      sincePause_ = 0;
      context_.passPausePoint();
    }
    return !context_.aborted();
  }

  std::size_t entries() const { return entries_; }
  std::size_t keys() const { return keys_; }
  std::size_t failures() const { return failures_; }

 private:
  // The key for the values that follow, made where it is missing: the path as
  // far as it exists is opened, the rest is created through the write gate.
  void prepareKeyForWriting(HKEY root) {
    if (!root) {
      addErrorLogRow(ERROR_INVALID_PARAMETER, "Import", "Invalid Registry Key", keyPath_, kVerbositySilent);
      return;
    }
    search::ChangeClass& change = context_.change;
    std::string_view rest = keyPath_;
    auto cut = rest.find('\\');
    std::string host = rootPart(keyPath_);
    ScopedKey current(root);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    while (!rest.empty()) {
      auto next = rest.find('\\');
      std::string name(rest.substr(0, next));
      rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
      ScopedKey child;
      REGSAM access = kAllKeyAccess;
      if (openKey("", current.get(), name, *child.out(), access) != ERROR_SUCCESS) {
        change.resetEntries();
        change.operation = search::kOpDefault;
        change.kind = search::kChangeKey;
        change.modified.location.setComponent(kFullKeyPath, host + "\\" + name);
        HKEY created = 0;
        if (!createKey("", current.get(), host, name, ReportTo(defaultErrorHandler, host, nullptr, context_.owner),
                       search::writeGate(change, context_.owner), &created) ||
            !created) {
          if (change.abort) context_.abort = true;
          return;
        }
        child.reset(created);
      }
      host += "\\" + name;
      current = std::move(child);
    }
    key_ = std::move(current);
  }

  void check(const ScriptValue& value, std::array<int, kMarkCount>& marks) {
    const bool verify = (operation_ & kFileVerifyReport) != 0;
    const int failed = verify ? kMarkNotDone : 0;
    marks.fill(failed);
    marks[2] = 0;  // no check sets the third mark
    marks[0] = value.root ? kMarkDone : failed;
    if (!key_.get()) return;
    marks[1] = kMarkDone;
    marks[3] = valueNames().contains(value.name) ? kMarkDone : failed;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (queryValue(key_.get(), value.name, type, data, ReportTo(logQuietly, keyPath_)) != ERROR_SUCCESS) {
      marks[4] = verify ? kMarkNotDone : kMarkUnreadable;
      return;
    }
    marks[4] = data == value.data ? kMarkDone : failed;
  }

  // The names of the current key's values as the key holds them (the check
  // compares them exactly, case included): read once per key, when its first
  // value is checked, so a key of many values is not read again for each.
  const std::unordered_set<std::string>& valueNames() {
    if (!valueNames_) {
      valueNames_.emplace();
      EnumerationRequest walk(key_.get(), 0, 0, ReportTo(logQuietly));
      enumerateValues("", walk, [this](const ValueVisit& visit) {
        valueNames_->emplace(visit.name);
        return 0;
      });
    }
    return *valueNames_;
  }

  // Takes the entry's row out of the list; the entry is listed only when
  // there was none or its data differs.
  bool reduce(const ScriptValue& value, std::optional<ResultRow>& matched) {
    search::RowLocation location{keyPath_, value.name};
    int index = search::findRow(*context_.results, location, transpositions_);
    if (index < 0) return true;
    matched = context_.results->row(static_cast<std::size_t>(index));
    context_.results->remove(static_cast<std::size_t>(index));
    const auto& stored = matched->record;
    bool equal = stored && stored->bytes.size() <= value.data.size() &&
                 std::equal(stored->bytes.begin(), stored->bytes.end(), value.data.begin());
    if (equal) return false;
    context_.results->addReplacementColumn();
    return true;
  }

  // Writes the value as the file gives it. The data is handed over as it is,
  // not copied: a value can be as large as the memory allows.
  search::RowOutcome write(ScriptValue& value) {
    // Data that could not be read is never written in its place.
    if (!key_.get() || value.dataError) return search::RowOutcome::Failed;
    search::ChangeClass& change = context_.change;
    change.resetEntries();
    change.operation = search::kOpDefault;
    change.original.location.setComponent(kFullKeyPath, keyPath_);
    change.original.location.setComponent(kValueName, value.name);
    change.original.type = static_cast<int>(value.type);
    std::string name = value.name;
    search::GateRecord gate;
    bool written = setValue("", key_.get(), std::nullopt, name, value.data, value.type,
                            ReportTo(defaultErrorHandler, keyPath_, nullptr, context_.owner),
                            search::recordingGate(search::writeGate(change, context_.owner), gate));
    if (change.abort) context_.abort = true;
    return search::outcomeOf(written && !change.abort, gate, change.abort);
  }

  // The row keeps the entry's data itself, moved rather than copied.
  void list(ScriptValue& value, const std::array<int, kMarkCount>& marks, const std::optional<ResultRow>& matched,
            search::RowOutcome outcome) {
    // A checked entry is marked by its data: a tick when the registry holds it as it is.
    const int mark = (operation_ & kFileCheckRegistry) ? marks[4] : marks[0];
    int row = context_.results->addRow(false, keyPath_, value.name, value.data, value.type, std::nullopt, mark, outcome);
    if (row < 0) return;
    context_.results->update(static_cast<std::size_t>(row), [&](ResultRow& r) {
      r.record = search::DataRecord{static_cast<int>(value.type), std::move(value.data)};
      for (int i = 0; i < kMarkCount; ++i) r.columnMarks[i] = marks[i];
      if (value.dataError) r.data = "<Error Importing>";
      if (matched) {
        // The row it replaces shows what it held; the file's data goes beside it.
        r.replacement = r.data;
        r.data = matched->data;
      }
    });
  }

  const FileJob& job_;
  SearchContext& context_;
  search::ProfileTranspositions& transpositions_;
  DWORD operation_;
  std::string keyPath_;
  ScopedKey key_;
  std::optional<std::unordered_set<std::string>> valueNames_;
  std::size_t entries_ = 0;
  std::size_t keys_ = 0;
  std::size_t failures_ = 0;
  DWORD sincePause_ = 0;
};

FileJobOutcome readJob(const FileJob& job, SearchContext& context, search::ProfileTranspositions& transpositions) {
  ScriptJobVisitor visitor(job, context, transpositions);
  ReadResult result = readScriptFile(job.file, visitor);
  FileJobOutcome outcome;
  outcome.readStatus = result.status;
  outcome.readStopLine = result.line;
  outcome.ok = result.completed() || result.status == ReadStatus::Empty;
  outcome.stopped = result.status == ReadStatus::Stopped && context.aborted();
  outcome.entries = visitor.entries();
  outcome.keys = visitor.keys();
  // Values the reader left out (their key line names no possible key) were
  // not written either.
  outcome.failures = visitor.failures() + result.counts.refused;
  return outcome;
}

}  // namespace

DWORD fileOperation(FileCommand command) {
  switch (command) {
    case FileCommand::Load: return kFileAddRow;
    case FileCommand::TestImport: return kFileAddRow | kFileCheckRegistry;
    case FileCommand::Reduce: return kFileAddRow | kFileReduceRows;
    case FileCommand::Import: return kFileAddRow | kFileWriteRegistry;
    case FileCommand::Verify: return kFileAddRow | kFileCheckRegistry | kFileVerifyReport;
    default: return 0;
  }
}

const char* runningText(FileCommand command) {
  switch (command) {
    case FileCommand::Load:
    case FileCommand::TestImport: return "Loading...";
    case FileCommand::Reduce: return "Reducing..";
    case FileCommand::Import: return "Importing..";
    case FileCommand::Verify: return "Verifying...";
    case FileCommand::Save: return "Saving...";
    case FileCommand::Export: return "Exporting...";
  }
  return "Unknown...";
}

const char* finishedText(FileCommand command) {
  switch (command) {
    case FileCommand::Load:
    case FileCommand::TestImport: return "Loaded.";
    case FileCommand::Reduce: return "Reduced..";
    case FileCommand::Import: return "Imported.";
    case FileCommand::Verify: return "Verified.";
    case FileCommand::Save: return "Saved.";
    case FileCommand::Export: return "Exported..";
  }
  return "Unknown...";
}

FileJobOutcome runFileJob(const FileJob& job, SearchContext& context, search::ProfileTranspositions& transpositions) {
  if (!context.results && job.command != FileCommand::Export) {
    messageBox("Invalid Parameter Passed to Loading/Saving/Verification function", "Cannot Process Request");
    return {};
  }
  context.showStatus(0, runningText(job.command));
  FileJobOutcome outcome;
  switch (job.command) {
    case FileCommand::Save: outcome = saveRows(job, context); break;
    case FileCommand::Export: outcome = exportKey(job, context); break;
    default: outcome = readJob(job, context, transpositions); break;
  }
  context.showStatus(0, finishedText(job.command));
  return outcome;
}

FileJobOutcome saveRows(const FileJob& job, SearchContext& context) {
  FileJobOutcome outcome;
  ScriptFileOutcome file = writeScriptFile(job.file, job.fresh, job.format, [&](ScriptWriter& writer) {
    ScopedKey key;
    std::string openedFor;
    for (const ResultRow& row : context.results->rows()) {
      if (context.aborted()) return false;
      const std::string path = row.keyPathText();
      writer.writeKeyLine(path);
      ++outcome.entries;
      if (!row.hasValueName()) continue;
      DWORD type = 0;
      std::vector<BYTE> data;
      if (row.record) {
        type = static_cast<DWORD>(std::max(row.record->type, 0));
        data = row.record->bytes;
      } else {
        // Without stored data the value is read as it is now.
        if (openedFor != path) {
          key.reset(openKeyByPath(path, kReadKeyAccess, ReportTo(logQuietly, path)));
          openedFor = path;
        }
        if (!key.get()) {
          messageBox("Cannot Open Key to Save Values", "Sorry!");
          ++outcome.failures;
          continue;
        }
        if (queryValue(key.get(), row.valueName(), type, data, ReportTo(logQuietly, path)) != ERROR_SUCCESS) {
          messageBox("Value has been deleted or renamed since the search was carried out, unable to save.", "Sorry!");
          ++outcome.failures;
          continue;
        }
      }
      writer.writeValueLine(row.valueName(), type, data);
    }
    return true;
  });
  outcome.ok = file.written;
  outcome.skipped = file.skipped;
  outcome.stopped = context.aborted();
  return outcome;
}

FileJobOutcome exportKey(const FileJob& job, SearchContext& context) {
  FileJobOutcome outcome;
  std::optional<std::string> start;
  if (job.startKey) {
    std::string path = keyLinePath(*job.startKey);
    if (!path.empty()) start = std::move(path);
  }
  context.matcher = nullptr;
  context.action = nullptr;
  context.recordResults = 0;
  context.criteria.minimumSize = context.criteria.maximumSize = 0;
  ScriptFileOutcome file = writeScriptFile(job.file, job.fresh, job.format, [&](ScriptWriter& writer) {
    if (start) {
      // A key that is not there leaves the file as it was. The start key has
      // its line even when it holds no values.
      ScopedKey probe(openKeyByPath(*start, kReadKeyAccess, ReportTo(defaultErrorHandler, *start)));
      if (!probe.get()) return false;
      writer.writeKeyLine(*start);
    }
    context.foundItem = [&writer, &outcome](const search::SearchItem& item, SearchContext& c) {
      writer.writeKeyLine(item.keyPath);
      if (!item.isKey) writer.writeValueLine(item.name, item.type, item.data);
      ++outcome.entries;
      // A file that can take no more (a full disk) ends the walk.
      if (writer.failed() && !outcome.writeFailed) {
        outcome.writeFailed = true;
        c.abort = true;
      }
      return c.aborted() ? 1 : 0;
    };
    search::walkRegistry(context, start);
    context.foundItem = nullptr;
    // Half a tree is not written over what the file held.
    return !context.aborted();
  });
  outcome.ok = file.written;
  outcome.skipped = file.skipped;
  outcome.stopped = context.aborted();
  return outcome;
}

}  // namespace talmoor::scripts

#include "browse/entry_transfer.h"

#include "base/interaction.h"
#include "browse/entry_copy.h"
#include "browse/key_actions.h"
#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "scripts/results_file_jobs.h"
#include "scripts/script_writer.h"
#include "search/search_context.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

const char* captionFor(bool move) { return move ? "Move Registry Entry" : "Copy Registry Entry"; }

// A value whose source is not in this registry (another program's, or gone
// meanwhile) is written from the record's own data.
bool writeRecordValue(const EntryRecord& record, const std::string& targetKey, bool move, WindowRef owner) {
  search::ChangeClass change;
  change.caption = captionFor(move);
  change.kind = search::kChangeValue;
  change.modified.location.setComponent(registry::kFullKeyPath, targetKey);
  change.modified.location.setComponent(registry::kValueName, *record.valueName);
  change.modified.type = static_cast<int>(record.type);
  std::string name = *record.valueName;
  std::vector<BYTE> data = record.data;
  return registry::setValue("", 0, targetKey, name, data, record.type, ReportTo({}, targetKey, nullptr, owner),
                            search::writeGate(change, owner));
}

bool sourceValueExists(const EntryRecord& record) {
  ScopedKey key(registry::openKeyByPath(record.keyPath, registry::kReadKeyAccess, ReportTo{}));
  return key.get() && registry::valueExists(key.get(), *record.valueName);
}

}  // namespace

EntryRecord keyRecord(const std::string& keyPath) {
  EntryRecord record;
  record.keyPath = keyPath;
  return record;
}

std::optional<EntryRecord> valueRecord(const std::string& keyPath, const std::string& valueName) {
  ScopedKey key(registry::openKeyByPath(keyPath, registry::kReadKeyAccess, ReportTo{}));
  if (!key.get()) return std::nullopt;
  EntryRecord record;
  record.keyPath = keyPath;
  record.valueName = valueName;
  if (registry::queryValue(key.get(), valueName, record.type, record.data, ReportTo{}) != ERROR_SUCCESS)
    return std::nullopt;
  return record;
}

bool applyEntries(std::span<const EntryRecord> records, const std::string& targetKey, bool move, EntryTarget target,
                  WindowRef owner) {
  bool whole = true;
  // What arrived (and, for a move, what left) is saved before this returns,
  // as every change of the browsers is, so that other programs see it.
  std::vector<std::string> changedKeys{targetKey};
  for (const EntryRecord& record : records)
    if (move) changedKeys.push_back(record.isKey() ? std::string(parentPathOf(record.keyPath)) : record.keyPath);
  for (const EntryRecord& record : records) {
    if (record.isKey()) {
      if (target == EntryTarget::ValueList) {
        messageBox("The Conversion of Keys to Values is not Supported in this Version of the Application",
                   "Key to Value conversion unsupported", BoxButtons::Ok, BoxIcon::Stop, owner);
        whole = false;
        continue;
      }
      whole = confirmAndCopy(record.keyPath, std::nullopt, targetKey, move, owner) && whole;
      continue;
    }
    if (!sourceValueExists(record)) {
      whole = writeRecordValue(record, targetKey, move, owner) && whole;
      continue;
    }
    CopyRun run;
    run.move = move;
    run.owner = owner;
    run.caption = captionFor(move);
    search::ChangeClass change;
    whole = copyValue(record.keyPath, *record.valueName, targetKey, std::nullopt, run, change) && run.complete() &&
            whole;
  }
  if (!records.empty())
    for (const std::string& key : changedKeys)
      if (!key.empty()) saveKeyHive(key);
  return whole;
}

bool applyDroppedFile(const platform::DroppedFile& file, const std::string& targetKey, WindowRef owner) {
  EntryRecord record;
  record.keyPath = targetKey;
  record.valueName = file.valueName;
  if (file.kind == platform::DroppedFileKind::Shortcut || file.kind == platform::DroppedFileKind::DesktopEntry) {
    record.type = REG_SZ;
    record.data.assign(file.text.begin(), file.text.end());
    record.data.push_back(0);
  } else {
    record.type = REG_BINARY;
    record.data = file.bytes;
  }
  search::ChangeClass change;
  change.caption = "Dropped Item";
  change.kind = search::kChangeValue;
  std::string name = *record.valueName;
  return registry::setValue("", 0, targetKey, name, record.data, record.type, ReportTo({}, targetKey, nullptr, owner),
                            search::writeGate(change, owner)) &&
         saveKeyHive(targetKey);
}

bool writeEntriesScript(std::span<const EntryRecord> records, const std::filesystem::path& file) {
  bool fresh = true;
  for (const EntryRecord& record : records) {
    if (record.isKey()) {
      scripts::FileJob job;
      job.command = scripts::FileCommand::Export;
      job.file = file;
      job.fresh = fresh;
      job.startKey = record.keyPath;
      search::SearchContext context(search::JobKind::Export);
      if (!scripts::exportKey(job, context).ok) return false;
    } else {
      auto written = scripts::writeScriptFile(file, fresh, [&record](scripts::ScriptWriter& writer) {
        writer.writeKeyLine(record.keyPath);
        writer.writeValueLine(*record.valueName, record.type, record.data);
        return !writer.failed();
      });
      if (!written.written) return false;
    }
    fresh = false;
  }
  return !records.empty();
}

std::string scriptFileName(const EntryRecord& record) {
  std::string name = record.valueName ? (record.valueName->empty() ? std::string("(Default)") : *record.valueName)
                                      : std::string(registry::lastComponent(record.keyPath));
  for (char& c : name)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "registry";
  return name + ".reg";
}

}  // namespace talmoor::browse

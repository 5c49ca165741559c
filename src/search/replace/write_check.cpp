// The write gate: completes a change record, refuses changes that make no
// sense, asks for confirmation (or uses a remembered answer) and tells the
// access layer whether to write, under which name and with which data.

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/win32_errors.h"
#include "platform/text/code_page.h"
#include "registry/format_data.h"
#include "registry/registry_path.h"
#include "search/replace/change_class.h"

namespace talmoor::search {

using registry::Handle;
using registry::kData;
using registry::kFullKeyPath;
using registry::kKeyName;
using registry::kParentPath;
using registry::kValueName;
using registry::RegistryBuffer;
using registry::RegistryEntry;
using registry::WriteVerdict;

namespace {

constexpr DWORD kSourceBits = kOpRead | kOpBufferCopy | kOpCreate;

// Takes machine, root, key path and key name of `from`, keeping the value name.
void takeFullPath(RegistryEntry& to, const RegistryEntry& from) {
  std::optional<std::string> valueName = to.valueName();
  to = from;
  if (valueName) to.setComponent(kValueName, *valueName);
  else to.clearComponent(kValueName);
}

bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b) { return a && b && *a == *b; }

// Whether the location exists: its value when it names one, else its key.
bool locationExists(RegistryEntry& entry, bool valueLevel) {
  if (!hasFullPath(entry)) return false;
  return valueLevel && entry.valueName() ? entry.valueExists() : entry.keyExists();
}

bool readInto(RegistryBuffer& buffer) {
  RegistryBuffer reader;
  reader.location = buffer.location;
  reader.location.setComponent(kValueName, buffer.location.valueName().value_or(""));
  reader.location.handler = [](const ErrorReport&) { return true; };
  if (!reader.read()) return false;
  buffer.setData(std::move(reader.data));
  if (buffer.type == RegistryBuffer::kUnknownType) buffer.type = reader.type;
  return true;
}

bool askAbortBatch() {
  return messageBox(
             "Warning : An Action involving an existing registry entry could not becarried out because the source was "
             "discovered to either nolonger exist,be protected or is damaged. It is recommended that you stop your "
             "currentbatch changes.Do you wish to abort this batch?",
             "Current change Aborted, abort Furthur changes?", BoxButtons::YesNo, BoxIcon::Exclamation) == IDYES;
}

// An operation the writer gave must come with the parts it needs.
bool presetOperationComplete(const ChangeClass& change, bool isKey) {
  const RegistryEntry& o = change.original.location;
  const RegistryEntry& m = change.modified.location;
  DWORD op = change.operation;
  if (!isKey && (op == kOpCreate || op == kOpMove))
    return hasFullPath(m) && m.valueName() && change.modified.hasData;
  if (op == kOpCopy || op == kOpOverwrite || op == kOpDelete || op == kOpRename) {
    if (!hasFullPath(o) || (!isKey && !o.valueName())) return false;
    if (op == kOpCopy && !hasFullPath(m) && !m.valueName()) return false;
    if (op == kOpOverwrite && !isKey && !change.modified.hasData) return false;
    if (op == kOpRename && !isKey && !m.valueName()) return false;
  }
  return true;
}

// The data as a confirmation shows it in words. Past a screenful only the
// start is shown (the editors still get every byte): a value of hundreds of
// megabytes would otherwise be held again several times over as text.
std::string displayData(const RegistryBuffer& buffer) {
  constexpr std::size_t kShownBytes = 64 * 1024;
  registry::DisplayContext context;
  const DWORD type = static_cast<DWORD>(std::max(buffer.type, 0));
  if (buffer.data.size() <= kShownBytes) return registry::formatData(type, buffer.data, context);
  std::vector<BYTE> start(buffer.data.begin(), buffer.data.begin() + kShownBytes);
  return fmt::format("{} ... ({} bytes in all)", registry::formatData(type, start, context), buffer.data.size());
}

// The steps of preparing a change, in the order they run. Each completes
// the record a little further; the order matters, as later steps read what
// earlier ones filled in.

// Paths one side lacks come from the other side, or from the writer's path.
void borrowPaths(ChangeClass& change, int action, const std::string& path) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  // A created item has no original to complete.
  if (action == registry::kWriteCreate) return;
  if (hasFullPath(m) && !hasFullPath(o)) takeFullPath(o, m);
  if (!path.empty() && o.valueName() && !hasFullPath(o)) o.setComponent(kFullKeyPath, path);
}

// Where the change goes, unless it only deletes: the destination's path and
// name; the writer's name and path are brought in line with it.
void placeDestination(ChangeClass& change, bool isKey, std::string& name, std::string& path) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  if (change.operation & kOpDelete) return;
  if (!hasFullPath(m)) {
    if (hasFullPath(o)) takeFullPath(m, o);
    else if (!path.empty()) m.setComponent(isKey ? kParentPath : kFullKeyPath, path);
  }
  if (isKey) {
    if (!name.empty()) m.setComponent(kKeyName, name);
    path = m.componentText(kParentPath);
  } else if (!m.valueName()) {
    m.setComponent(kValueName, name);
  }
}

// A value's data from the writer, and the original's name: a created value
// has an original name only when the operation reads a source.
void takeWritersValue(ChangeClass& change, int action, const std::string& name, const std::vector<BYTE>* data) {
  RegistryEntry& o = change.original.location;
  if (data && !change.modified.hasData) change.modified.setData(*data);
  bool fillName = action == registry::kWriteCreate ? (change.operation & kSourceBits) != 0 : true;
  if (fillName && !o.valueName()) o.setComponent(kValueName, name);
}

DWORD operationOfAction(int action) {
  switch (action) {
    case registry::kWriteDelete: return kOpDelete;
    case registry::kWriteCreate: return kOpCreate;
    case registry::kWriteRename: return kOpRename;
    default: return kOpOverwrite;
  }
}

// What the registry holds decides the rest of the operation: a destination
// that does not exist yet is created, an existing value is overwritten. The
// result says whether the source the change needs is missing.
bool settleOperationWithRegistry(ChangeClass& change) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  bool sourceMissing = false;
  if (hasFullPath(o) && !(change.operation & kOpCreate) && !locationExists(o, true)) sourceMissing = true;
  if (hasFullPath(o) && !o.keyExists()) sourceMissing = true;
  if (hasFullPath(m) && !(change.operation & kOpDelete)) {
    if (!m.keyExists()) change.operation |= kOpCreate;
    else if (m.valueName()) change.operation |= m.valueExists() ? kOpOverwrite : kOpCreate;
  }
  if (o.valueName() || m.valueName()) {
    if (!(change.operation & kOpCreate) && o.valueName() && hasFullPath(o) && !o.valueExists()) sourceMissing = true;
    if (hasFullPath(m) && m.valueName() && !(change.operation & kOpDelete) && !m.valueExists())
      change.operation |= kOpCreate;
    // The original's data is kept only to show what changes.
    if (!(change.original.hasData && change.modified.hasData && change.original.data != change.modified.data))
      change.original.clearData();
  }
  return sourceMissing;
}

// Each operation needs its side complete and fills the other side from it;
// false when a required part is missing.
bool completeRequiredParts(ChangeClass& change, bool isKey) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  if (change.has(kOpCopy) || (change.operation & kOpDelete) || change.has(kOpMove)) {
    if (!hasFullPath(o) || (!isKey && !o.valueName())) return false;
    if (!hasFullPath(m)) takeFullPath(m, o);
    if (!isKey && !m.valueName()) m.setComponent(kValueName, *o.valueName());
    if (isKey && !m.keyName() && o.keyName()) m.setComponent(kKeyName, *o.keyName());
  } else if (change.has(kOpOverwrite) || change.has(kOpRename)) {
    if (!hasFullPath(m) || (isKey ? !m.keyName() : !m.valueName())) return false;
    if (!hasFullPath(o)) takeFullPath(o, m);
    if (!isKey && !o.valueName()) o.setComponent(kValueName, *m.valueName());
  }
  return true;
}

// A value's data the writer did not give is read from the registry, and a
// copy or move writes the source's data; false when a read fails.
bool gatherValueData(ChangeClass& change) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  if (!change.original.hasData && hasFullPath(o) && o.valueName() && o.valueExists() && !readInto(change.original))
    return false;
  bool movesData = change.has(kOpCopy) || change.has(kOpMove) || change.has(kOpRename);
  if (movesData && hasFullPath(m) && m.valueName() && m.valueExists() && !readInto(change.modified)) return false;
  if (change.has(kOpCopy) || change.has(kOpMove)) {
    std::swap(change.original.data, change.modified.data);
    std::swap(change.original.hasData, change.modified.hasData);
  }
  return true;
}

// Parts equal on both sides are shown once: dropped from the side that
// exists in the registry (the modified one when it does, else the original).
void dropSharedParts(ChangeClass& change, bool isKey) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  RegistryEntry& reduced = locationExists(m, !isKey) ? m : o;
  bool samePath = hasFullPath(o) && hasFullPath(m) && o.componentText(kFullKeyPath) == m.componentText(kFullKeyPath);
  bool sameValue = sameText(o.valueName(), m.valueName());
  if (samePath) {
    std::optional<std::string> valueName = reduced.valueName();
    reduced.clearComponent(kFullKeyPath | registry::kMachine | registry::kRoot | registry::kKeyPath);
    if (valueName) reduced.setComponent(kValueName, *valueName);
  }
  if (sameValue) reduced.clearComponent(kValueName);
}

// The finer bits: the item moves to another key, or is renamed.
void addPathAndNameBits(ChangeClass& change, bool isKey) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  if (hasFullPath(o) && hasFullPath(m) && o.componentText(kParentPath) != m.componentText(kParentPath))
    change.operation |= kOpChangePath;
  bool namesDiffer = isKey ? (o.keyName() && m.keyName() && *o.keyName() != *m.keyName())
                           : (o.valueName() && m.valueName() && *o.valueName() != *m.valueName());
  if (namesDiffer) change.operation |= kOpRenameValue;
  if (change.original.hasData && change.modified.hasData && change.original.data == change.modified.data)
    change.original.clearData();
}

}  // namespace

bool prepareChange(ChangeClass& change, bool isKey, int action, std::string& name, std::string& path,
                   const std::vector<BYTE>* data) {
  const bool presetOperation = change.operation != kOpDefault;
  borrowPaths(change, action, path);
  placeDestination(change, isKey, name, path);
  if (!isKey) takeWritersValue(change, action, name, data);
  // An operation given by the writer must come with the parts it needs.
  if (presetOperation && !presetOperationComplete(change, isKey)) return false;
  change.kind = isKey ? kChangeKey : kChangeValue;
  if (!presetOperation) change.operation = operationOfAction(action);
  if (settleOperationWithRegistry(change)) {
    // A batch whose source has gone is probably working on stale rows.
    if (change.operation != kOpDefault && askAbortBatch()) change.abort = true;
    return false;
  }
  if (!completeRequiredParts(change, isKey)) return false;
  if (!isKey && !gatherValueData(change)) return false;
  dropSharedParts(change, isKey);
  addPathAndNameBits(change, isKey);
  return true;
}

void showConfirmation(ConfirmationSlot& slot, WindowRef owner, ChangeClass& change) {
  if (slot.suppressed) return;
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  const bool isKey = change.kind == kChangeKey;
  ConfirmationRequest request;
  request.caption = change.caption;
  request.owner = owner;
  request.isKey = isKey;
  if (hasFullPath(o)) request.fromPath = o.componentText(kFullKeyPath);
  if (hasFullPath(m)) request.toPath = m.componentText(kFullKeyPath);
  const auto& originalName = isKey ? o.keyName() : o.valueName();
  const auto& modifiedName = isKey ? m.keyName() : m.valueName();
  request.originalName = originalName;
  request.modifiedName = modifiedName.value_or(originalName.value_or(""));
  request.type = static_cast<unsigned long>(std::max(change.modified.type, change.original.type));
  if (!isKey) {
    if (change.original.hasData) {
      request.originalData = change.original.data;
      request.originalDataText = displayData(change.original);
    }
    if (change.modified.hasData) {
      request.modifiedData = change.modified.data;
      request.modifiedDataText = displayData(change.modified);
    }
    bool both = request.originalData && request.modifiedData;
    bool deleteWithoutPaths = (change.operation & kOpDelete) && (!hasFullPath(o) || !hasFullPath(m));
    request.originalDataEditable = !both && !deleteWithoutPaths;
    request.modifiedDataEditable = !deleteWithoutPaths;
  }
  ConfirmationReply reply = interaction()->confirmChange(request);
  // The editors hand their data back whatever the answer.
  if (!isKey) {
    if (reply.originalData && change.original.hasData) change.original.setData(*reply.originalData);
    if (reply.modifiedData && change.modified.hasData) change.modified.setData(*reply.modifiedData);
  }
  if (reply.modifiedName != request.modifiedName || modifiedName)
    m.setComponent(isKey ? kKeyName : kValueName, reply.modifiedName);
  DialogResult result = decodeDialogResult(reply.answer);
  if (result.doNotShowAgain) slot.suppressed = 1;
  slot.answer = result.answer;
}

namespace {

// The steps of the gate after the preparation, in the order they run.

// The name being written must be one of the record's: a writer that names a
// third value has a record that does not describe its write.
bool nameIsTheRecords(const ChangeClass& change, const registry::WriteRequest& request, const std::string& name) {
  const RegistryEntry& o = change.original.location;
  const RegistryEntry& m = change.modified.location;
  if (request.isKey || !o.valueName() || !request.name || platform::equalsIgnoringAsciiCase(name, *o.valueName()) ||
      !m.valueName() || platform::equalsIgnoringAsciiCase(*m.valueName(), name))
    return true;
  messageBox(
      "Warning : Neither Name Matches the Name Supplied by the Action Function, this suggest one or more of the "
      "Names in the Change Class are incorrect!",
      "Sorry");
  return false;
}

// "Overwrite Value and Data", "Delete Key", ...; a caption the writer gave
// follows after " - ".
void composeCaption(ChangeClass& change, bool isKey) {
  std::string earlier = std::move(change.caption);
  change.caption = operationWord(change.operation);
  if (change.operation != kOpDefault) change.caption += " ";
  change.caption += isKey ? "Key" : "Value and Data";
  if (!earlier.empty()) change.caption += " - " + earlier;
}

// Compares what would be written with what the registry holds. True when
// the item already is as asked; a conversion between ANSI and UTF-16 made
// for the comparison is logged.
bool registryAlreadyHoldsIt(ChangeClass& change, const registry::WriteRequest& request) {
  const RegistryEntry& o = change.original.location;
  const RegistryEntry& m = change.modified.location;
  RegistryBuffer probe;
  probe.location = hasFullPath(m) ? m : o;
  std::optional<std::string> valueName = m.valueName() ? m.valueName() : o.valueName();
  if (valueName) probe.location.setComponent(kValueName, *valueName);
  // The data is lent to the probe, not copied: it may be very large.
  const bool lent = change.modified.hasData;
  if (lent) {
    probe.data = std::move(change.modified.data);
    probe.hasData = true;
  }
  probe.type =
      change.modified.type != RegistryBuffer::kUnknownType ? change.modified.type : static_cast<int>(request.type);
  probe.location.handler = [](const ErrorReport&) { return true; };
  bool changed = probe.changed(request.isKey);
  if (lent) change.modified.data = std::move(probe.data);
  if (!changed) return true;
  if (probe.implicitConversion) {
    addErrorLogRow(ERROR_INVALID_DATA, probe.location.componentText(kFullKeyPath),
                   "An implicit conversion between ASCII and Unicode data occured.", valueName.value_or(""),
                   kVerbosityBox);
    // A user who silenced errors would not hear of it: the changes are
    // confirmed again.
    if (errorBoxesSuppressed()) setConfirmationsOff(false);
  }
  return false;
}

// The writer writes the name and data the confirmation left: the new name
// (or the original one) and the modified data.
void handBackNameAndData(const ChangeClass& change, registry::WriteRequest& request) {
  const RegistryEntry& o = change.original.location;
  const RegistryEntry& m = change.modified.location;
  if (request.name) {
    const auto& modifiedName = request.isKey ? m.keyName() : m.valueName();
    const auto& originalName = request.isKey ? o.keyName() : o.valueName();
    if (modifiedName) *request.name = *modifiedName;
    else if (originalName) *request.name = *originalName;
  }
  if (request.data && change.modified.hasData) *request.data = change.modified.data;
}

// What the slot's answer means for the write; Cancel ends the batch.
WriteVerdict verdictOf(ConfirmationAnswer answer, ChangeClass& change) {
  switch (answer) {
    case ConfirmationAnswer::Accept: return WriteVerdict::Proceed;
    case ConfirmationAnswer::Reject: return WriteVerdict::SkipFailed;
    case ConfirmationAnswer::Cancel: change.abort = true; return WriteVerdict::SkipFailed;
    case ConfirmationAnswer::NotShown: {
      // Without the dialog a plain box asks.
      int asked = messageBox("Allow Replace? (Not Recommended)", change.caption, BoxButtons::YesNoCancel);
      if (asked == IDYES) return WriteVerdict::Proceed;
      if (asked == IDCANCEL) change.abort = true;
      return WriteVerdict::SkipFailed;
    }
    default:
      messageBox("Unknown Return from Dialog", "User only for Developer");
      return WriteVerdict::SkipFailed;
  }
}

}  // namespace

WriteVerdict writeCheck(registry::WriteRequest& request, ChangeClass* change, WindowRef owner) {
  if (!change) {
    messageBox("Warning, Change Class not provided through the lParam call to WriteCheck for Value Change.",
               "Sorry, Cannot go on");
    return WriteVerdict::SkipFailed;
  }
  std::string name = request.name ? *request.name : std::string();
  std::string path(request.path);
  if (!prepareChange(*change, request.isKey, request.action, name, path, request.data))
    return WriteVerdict::SkipFailed;
  if (!nameIsTheRecords(*change, request, name)) return WriteVerdict::SkipFailed;
  composeCaption(*change, request.isKey);
  if (!(change->operation & kOpDelete) && registryAlreadyHoldsIt(*change, request)) {
    change->caption.clear();
    return WriteVerdict::SkipSucceeded;
  }
  WriteVerdict verdict = WriteVerdict::Proceed;
  // Without confirmations the writer's name and data stand.
  if (!currentSearchOptions().confirmationsOff) {
    ConfirmationSlot& slot = change->confirmations[change->kind][std::min<DWORD>(change->operation, kOpHighest)];
    showConfirmation(slot, owner, *change);
    handBackNameAndData(*change, request);
    verdict = verdictOf(slot.answer, *change);
  }
  change->caption.clear();
  return verdict;
}

registry::WriteCheck writeGate(ChangeClass& change, WindowRef owner) {
  return [&change, owner](registry::WriteRequest& request) { return writeCheck(request, &change, owner); };
}

}  // namespace talmoor::search

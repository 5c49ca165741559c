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

// Step 4 of the preparation: an operation the writer gave must come with the
// parts it needs.
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

}  // namespace

bool prepareChange(ChangeClass& change, bool isKey, int action, std::string& name, std::string& path,
                   const std::vector<BYTE>* data) {
  RegistryEntry& o = change.original.location;
  RegistryEntry& m = change.modified.location;
  const bool presetOperation = change.operation != kOpDefault;

  // 1. Paths one side lacks come from the other, or from the writer.
  if (action != registry::kWriteCreate) {
    if (hasFullPath(m) && !hasFullPath(o)) takeFullPath(o, m);
    if (!path.empty() && o.valueName() && !hasFullPath(o)) o.setComponent(kFullKeyPath, path);
  }
  // 2. Where the change goes.
  if (!(change.operation & kOpDelete)) {
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
  // 3. The writer's data and the original's name.
  if (!isKey) {
    if (data && !change.modified.hasData) change.modified.setData(*data);
    bool fillName = action == registry::kWriteCreate ? (change.operation & kSourceBits) != 0 : true;
    if (fillName && !o.valueName()) o.setComponent(kValueName, name);
  }
  // 4. An operation given by the writer must be complete.
  if (presetOperation && !presetOperationComplete(change, isKey)) return false;
  // 5.
  change.kind = isKey ? kChangeKey : kChangeValue;
  // 6. The operation, from the action and from what exists.
  bool sourceMissing = false;
  if (!presetOperation) {
    switch (action) {
      case registry::kWriteDelete: change.operation = kOpDelete; break;
      case registry::kWriteCreate: change.operation = kOpCreate; break;
      case registry::kWriteRename: change.operation = kOpRename; break;
      default: change.operation = kOpOverwrite; break;
    }
  }
  const bool valueChange = o.valueName() || m.valueName();
  if (hasFullPath(o) && !(change.operation & kOpCreate) && !locationExists(o, true)) sourceMissing = true;
  if (hasFullPath(o) && !o.keyExists()) sourceMissing = true;
  if (hasFullPath(m) && !(change.operation & kOpDelete)) {
    if (!m.keyExists()) change.operation |= kOpCreate;
    else if (m.valueName()) change.operation |= m.valueExists() ? kOpOverwrite : kOpCreate;
  }
  if (valueChange) {
    if (!(change.operation & kOpCreate) && o.valueName() && hasFullPath(o) && !o.valueExists()) sourceMissing = true;
    if (hasFullPath(m) && m.valueName() && !(change.operation & kOpDelete) && !m.valueExists())
      change.operation |= kOpCreate;
    if (!(change.original.hasData && change.modified.hasData && change.original.data != change.modified.data))
      change.original.clearData();
  }
  // 7.
  if (sourceMissing) {
    if (change.operation != kOpDefault && askAbortBatch()) change.abort = true;
    return false;
  }
  // 8. The parts each operation needs.
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
  // 9. Data the writer did not give is read from the registry.
  if (!isKey) {
    if (!change.original.hasData && hasFullPath(o) && o.valueName() && o.valueExists() &&
        !readInto(change.original))
      return false;
    bool movesData = change.has(kOpCopy) || change.has(kOpMove) || change.has(kOpRename);
    if (movesData && hasFullPath(m) && m.valueName() && m.valueExists() && !readInto(change.modified)) return false;
    // 10. The source's data is what a copy or move writes.
    if (change.has(kOpCopy) || change.has(kOpMove)) {
      std::swap(change.original.data, change.modified.data);
      std::swap(change.original.hasData, change.modified.hasData);
    }
  }
  // 11. Parts equal on both sides are shown once.
  RegistryEntry& reduced = locationExists(m, !isKey) ? m : o;
  bool samePath = hasFullPath(o) && hasFullPath(m) && o.componentText(kFullKeyPath) == m.componentText(kFullKeyPath);
  bool sameValue = sameText(o.valueName(), m.valueName());
  if (samePath) {
    std::optional<std::string> valueName = reduced.valueName();
    reduced.clearComponent(kFullKeyPath | registry::kMachine | registry::kRoot | registry::kKeyPath);
    if (valueName) reduced.setComponent(kValueName, *valueName);
  }
  if (sameValue) reduced.clearComponent(kValueName);
  // 12. The finer operation bits.
  if (hasFullPath(o) && hasFullPath(m) && o.componentText(kParentPath) != m.componentText(kParentPath))
    change.operation |= kOpChangePath;
  bool namesDiffer = isKey ? (o.keyName() && m.keyName() && *o.keyName() != *m.keyName())
                           : (o.valueName() && m.valueName() && *o.valueName() != *m.valueName());
  if (namesDiffer) change.operation |= kOpRenameValue;
  if (change.original.hasData && change.modified.hasData && change.original.data == change.modified.data)
    change.original.clearData();
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

registry::WriteVerdict writeCheck(registry::WriteRequest& request, ChangeClass* change, WindowRef owner) {
  if (!change) {
    messageBox("Warning, Change Class not provided through the lParam call to WriteCheck for Value Change.",
               "Sorry, Cannot go on");
    return WriteVerdict::SkipFailed;
  }
  std::string name = request.name ? *request.name : std::string();
  std::string path(request.path);
  if (!prepareChange(*change, request.isKey, request.action, name, path, request.data))
    return WriteVerdict::SkipFailed;
  RegistryEntry& o = change->original.location;
  RegistryEntry& m = change->modified.location;

  // 3. The name written must be one of the record's.
  if (!request.isKey && o.valueName() && request.name && !platform::equalsIgnoringAsciiCase(name, *o.valueName()) &&
      m.valueName() && !platform::equalsIgnoringAsciiCase(*m.valueName(), name)) {
    messageBox(
        "Warning : Neither Name Matches the Name Supplied by the Action Function, this suggest one or more of the "
        "Names in the Change Class are incorrect!",
        "Sorry");
    return WriteVerdict::SkipFailed;
  }
  // 4. The caption.
  std::string earlier = std::move(change->caption);
  std::string word = operationWord(change->operation);
  change->caption = word;
  if (change->operation != kOpDefault) change->caption += " ";
  change->caption += request.isKey ? "Key" : "Value and Data";
  if (!earlier.empty()) change->caption += " - " + earlier;

  // 5. Does the registry already hold what would be written?
  if (!(change->operation & kOpDelete)) {
    RegistryBuffer probe;
    probe.location = hasFullPath(m) ? m : o;
    std::optional<std::string> valueName = m.valueName() ? m.valueName() : o.valueName();
    if (valueName) probe.location.setComponent(kValueName, *valueName);
    // The data is lent to the probe, not copied: it may be very large.
    const bool lent = change->modified.hasData;
    if (lent) {
      probe.data = std::move(change->modified.data);
      probe.hasData = true;
    }
    probe.type = change->modified.type != RegistryBuffer::kUnknownType ? change->modified.type
                                                                         : static_cast<int>(request.type);
    probe.location.handler = [](const ErrorReport&) { return true; };
    bool changed = probe.changed(request.isKey);
    if (lent) change->modified.data = std::move(probe.data);
    if (!changed) {
      // 6. Nothing to write: the item already is as asked.
      change->caption.clear();
      return WriteVerdict::SkipSucceeded;
    }
    // 7. A width conversion is worth knowing about.
    if (probe.implicitConversion) {
      addErrorLogRow(ERROR_INVALID_DATA, probe.location.componentText(kFullKeyPath),
                     "An implicit conversion between ASCII and Unicode data occured.", valueName.value_or(""),
                     kVerbosityBox);
      if (errorBoxesSuppressed()) setConfirmationsOff(false);
    }
  }

  // 8. Without confirmations the writer's name and data stand.
  WriteVerdict result = WriteVerdict::SkipFailed;
  if (currentSearchOptions().confirmationsOff) {
    result = WriteVerdict::Proceed;
  } else {
    // 9. The slot for this kind and operation decides.
    ConfirmationSlot& slot = change->confirmations[change->kind][std::min<DWORD>(change->operation, kOpHighest)];
    showConfirmation(slot, owner, *change);
    if (request.name) {
      const auto& modifiedName = request.isKey ? m.keyName() : m.valueName();
      const auto& originalName = request.isKey ? o.keyName() : o.valueName();
      if (modifiedName) *request.name = *modifiedName;
      else if (originalName) *request.name = *originalName;
    }
    if (request.data && change->modified.hasData) *request.data = change->modified.data;
    switch (slot.answer) {
      case ConfirmationAnswer::Accept: result = WriteVerdict::Proceed; break;
      case ConfirmationAnswer::Reject: break;
      case ConfirmationAnswer::Cancel: change->abort = true; break;
      case ConfirmationAnswer::NotShown: {
        int answer = messageBox("Allow Replace? (Not Recommended)", change->caption, BoxButtons::YesNoCancel);
        if (answer == IDYES) result = WriteVerdict::Proceed;
        else if (answer == IDCANCEL) change->abort = true;
        break;
      }
      default: messageBox("Unknown Return from Dialog", "User only for Developer"); break;
    }
  }
  // 10.
  change->caption.clear();
  return result;
}

registry::WriteCheck writeGate(ChangeClass& change, WindowRef owner) {
  return [&change, owner](registry::WriteRequest& request) { return writeCheck(request, &change, owner); };
}

}  // namespace talmoor::search

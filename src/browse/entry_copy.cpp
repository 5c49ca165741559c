#include "browse/entry_copy.h"

#include <fmt/format.h>

#include <vector>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

constexpr SECURITY_INFORMATION kReadControlParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
constexpr SECURITY_INFORMATION kAllSecurityParts = kReadControlParts | SACL_SECURITY_INFORMATION;

char folded(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool samePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}

// Whether `path` is `branch` or a key below it.
bool withinBranch(std::string_view path, std::string_view branch) {
  if (path.size() < branch.size() || !samePath(path.substr(0, branch.size()), branch)) return false;
  return path.size() == branch.size() || path[branch.size()] == '\\';
}

std::string joined(std::string_view a, std::string_view b) { return fmt::format("{}\\{}", a, b); }

bool cancelled(const CopyRun& run) { return run.cancel && run.cancel->load(); }

// Opens a key by its parent handle (none for a root), for reading everything
// that can be had: read rights and the audit list, or as much of them as the
// caller's rights give.
LONG openSource(HKEY parent, std::string_view name, HKEY& key, REGSAM& granted) {
  // A link is copied as a link, not as the key it leads to.
  granted = KEY_READ | ACCESS_SYSTEM_SECURITY;
  LONG rc = registry::openKey("", parent, name, key, granted, REG_OPTION_OPEN_LINK);
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return rc;
  granted = KEY_READ | ACCESS_SYSTEM_SECURITY;
  return registry::openKey("", parent, name, key, granted, REG_OPTION_OPEN_LINK, true);
}

constexpr char16_t kLinkValue[] = u"SymbolicLinkValue";

// Where a link key leads (its link value's bytes), or nothing for a key that
// is not a link.
std::optional<std::vector<BYTE>> linkTarget(HKEY key) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, kLinkValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_LINK)
    return std::nullopt;
  std::vector<BYTE> target(size);
  if (RegQueryValueExW(key, kLinkValue, nullptr, &type, target.data(), &size) != ERROR_SUCCESS) return std::nullopt;
  target.resize(size);
  return target;
}

// The key's owner, group and access lists, as much of them as can be read.
struct SavedSecurity {
  std::vector<BYTE> descriptor;
  SECURITY_INFORMATION parts = 0;
};

// Everything, or without the audit list when that cannot be read.
SavedSecurity readSecurity(HKEY key) {
  SavedSecurity saved;
  for (SECURITY_INFORMATION parts : {kAllSecurityParts, kReadControlParts}) {
    DWORD size = 0;
    LONG rc = RegGetKeySecurity(key, parts, nullptr, &size);
    if (rc != ERROR_INSUFFICIENT_BUFFER && rc != ERROR_SUCCESS) continue;
    std::vector<BYTE> descriptor(size);
    if (RegGetKeySecurity(key, parts, descriptor.data(), &size) != ERROR_SUCCESS) continue;
    descriptor.resize(size);
    saved.descriptor = std::move(descriptor);
    saved.parts = parts;
    break;
  }
  return saved;
}

void applySecurity(const SavedSecurity& saved, const std::string& destination, CopyRun& run) {
  if (saved.parts == 0) return;
  ScopedKey key;
  REGSAM access = WRITE_DAC | WRITE_OWNER | ((saved.parts & SACL_SECURITY_INFORMATION) ? ACCESS_SYSTEM_SECURITY : 0);
  const std::string_view parent = registry::withoutLastComponent(destination);
  ScopedKey parentKey(parent.empty() ? 0 : registry::openKeyByPath(parent, KEY_READ, ReportTo{}));
  LONG rc = registry::openKey("", parentKey.get(), parent.empty() ? std::string_view(destination)
                                                                   : registry::lastComponent(destination),
                              *key.out(), access);
  if (rc == ERROR_SUCCESS) rc = RegSetKeySecurity(key.get(), saved.parts, saved.descriptor.data());
  if (rc != ERROR_SUCCESS) {
    reportError({}, rc, destination, "", "Failed to apply copied security settings to New Key", nullptr,
                kVerbosityBox, run.owner);
    ++run.skipped;
  }
}

// Asked once a run: whether a key that cannot be read whole is copied as far
// as it can be read.
bool goOnWithoutRights(const std::string& path, CopyRun& run) {
  reportError({}, ERROR_ACCESS_DENIED, path, "", "Unable to aquire sufficient rights to subkey to copy tree branch.",
              nullptr, kVerbositySilent, run.owner);
  if (run.rights == RightsAnswer::NotAsked) {
    const int answer = messageBox(
        fmt::format("WARNING: The Key '{}' cannot be successfully copied because sufficient access rights cannot be "
                    "obtained to copy all its details, do you want to continue this copy operation copying what "
                    "can be accessed?",
                    path),
        "Copy Operation May not be Complete", BoxButtons::YesNo, BoxIcon::Exclamation, run.owner);
    run.rights = answer == IDYES ? RightsAnswer::CopyReadable : RightsAnswer::SkipUnreadable;
  }
  return run.rights == RightsAnswer::CopyReadable;
}

bool goOnWithoutSecurity(CopyRun& run) {
  if (run.securityAnswered) return true;
  const int answer = messageBox(
      "Failed to obtain access to one or more security settings for the Key being Copying during the Copy/Move "
      "Action, continue with accessable security settings?\n\nNOTE\t:\tKey may not contain settings to which "
      "access has been denied.\n\t\tTry enabling the 'Manage Auditing and Secuity log' privilage.",
      "Continue?", BoxButtons::YesNo, BoxIcon::Question, run.owner);
  if (answer != IDYES) return false;
  run.securityAnswered = true;
  return true;
}

// A value's stored bytes, exactly as they are held (string types in UTF-16).
LONG readStoredValue(HKEY key, std::string_view name, DWORD& type, std::vector<BYTE>& data) {
  const std::u16string wide = platform::ansiToWide(name);
  DWORD size = 0;
  LONG rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  data.resize(size);
  rc = RegQueryValueExW(key, wide.c_str(), nullptr, &type, data.data(), &size);
  data.resize(size);
  return rc;
}

// Writes one value of `source` (an open key) into `destinationKey` as a
// registry change, then puts the source's stored bytes there exactly, unless
// the user edited the data in the confirmation: the change is shown in the
// program's text form, which cannot carry every stored string (an odd
// length, text after the terminator).
bool writeValueCopy(HKEY source, const std::string& sourceKey, const std::string& valueName,
                    const std::string& destinationKey, const std::string& newName, CopyRun& run,
                    search::ChangeClass& change) {
  ReportTo report({}, sourceKey, nullptr, run.owner);
  DWORD type = 0;
  std::vector<BYTE> data;
  if (registry::queryValue(source, valueName, type, data, report) != ERROR_SUCCESS) {
    ++run.skipped;
    return false;
  }
  DWORD storedType = 0;
  std::vector<BYTE> stored;
  const bool haveStored = readStoredValue(source, valueName, storedType, stored) == ERROR_SUCCESS;

  change.resetEntries();
  change.caption = run.caption;
  change.kind = search::kChangeValue;
  change.operation = run.move ? search::kOpMove : search::kOpCopy;
  change.original.location.setComponent(registry::kFullKeyPath, sourceKey);
  change.original.location.setComponent(registry::kValueName, valueName);
  change.original.type = static_cast<int>(type);
  change.original.setData(data);
  change.modified.location.setComponent(registry::kFullKeyPath, destinationKey);
  change.modified.location.setComponent(registry::kValueName, newName);
  change.modified.type = static_cast<int>(type);
  change.modified.setData(data);

  std::string name = newName;
  bool edited = false;
  const registry::WriteCheck gate = search::writeGate(change, run.owner);
  const registry::WriteCheck watched = [&](registry::WriteRequest& request) {
    const std::vector<BYTE> offered = request.data ? *request.data : std::vector<BYTE>{};
    registry::WriteVerdict verdict = gate(request);
    edited = request.data && *request.data != offered;
    return verdict;
  };
  std::vector<BYTE> written = data;
  if (!registry::setValue("", 0, destinationKey, name, written, type, ReportTo({}, destinationKey, nullptr, run.owner),
                          watched)) {
    ++run.skipped;
    return false;
  }
  if (haveStored && !edited) {
    ScopedKey target(registry::openKeyByPath(destinationKey, KEY_SET_VALUE, ReportTo{}));
    const std::u16string wide = platform::ansiToWide(name);
    LONG rc = target.get() ? RegSetValueExW(target.get(), wide.c_str(), 0, storedType, stored.data(),
                                            static_cast<DWORD>(stored.size()))
                           : static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    if (rc != ERROR_SUCCESS)
      reportError({}, rc, destinationKey, name, run.move ? "Moving Value" : "Copying Value", nullptr, kVerbosityBox,
                  run.owner);
  }
  ++run.valuesCopied;
  return true;
}

bool deleteSourceValue(const std::string& sourceKey, const std::string& valueName, CopyRun& run,
                       search::ChangeClass& change) {
  change.resetEntries();
  change.caption = run.caption;
  change.kind = search::kChangeValue;
  change.operation = search::kOpDelete;
  change.original.location.setComponent(registry::kFullKeyPath, sourceKey);
  change.original.location.setComponent(registry::kValueName, valueName);
  ScopedKey writable(registry::openKeyByPath(sourceKey, registry::kAllKeyAccess,
                                             ReportTo({}, sourceKey, nullptr, run.owner), "Moving Value"));
  if (!writable.get() ||
      !registry::deleteValue("", writable.get(), std::nullopt, valueName, ReportTo({}, sourceKey, nullptr, run.owner),
                             search::writeGate(change, run.owner))) {
    ++run.skipped;
    return false;
  }
  return true;
}

// Makes the destination key (its parent exists by then) with the source's class.
bool createDestination(HKEY source, const std::string& sourcePath, const std::string& destination, CopyRun& run,
                       search::ChangeClass& change, DWORD options = 0, HKEY* made = nullptr) {
  const std::string parent(registry::withoutLastComponent(destination));
  std::string name(registry::lastComponent(destination));
  if (parent.empty()) {
    // A root: it is there already.
    return true;
  }
  ScopedKey host(registry::openKeyByPath(parent, registry::kAllKeyAccess,
                                         ReportTo({}, parent, nullptr, run.owner), "Creating Key (Open Parent)"));
  if (!host.get()) return false;
  const std::optional<std::string> className = registry::keyClass(source);
  change.resetEntries();
  change.caption = run.caption;
  change.kind = search::kChangeKey;
  // A move's key is made as any new key: its source is deleted as a change
  // of its own at the end, and a create marked as a delete would be
  // confirmed (and carried out) as one.
  change.operation = search::kOpCreate;
  change.original.location.setComponent(registry::kFullKeyPath, sourcePath);
  change.modified.location.setComponent(registry::kFullKeyPath, destination);
  return registry::createKey("", host.get(), parent, name, ReportTo({}, parent, nullptr, run.owner),
                             search::writeGate(change, run.owner), made, registry::kAllKeyAccess,
                             className && *className != registry::kErrorName ? className->c_str() : nullptr, options);
}

// Copies one key and, when asked, its branch. False stops the whole walk.
bool copyKey(HKEY parent, std::string_view name, const std::string& sourcePath, const std::string& destination,
             CopyRun& run, search::ChangeClass& change, std::size_t depth) {
  if (cancelled(run) || change.abort || depth > registry::kMaxWalkDepth) {
    run.failed = true;
    return false;
  }
  ScopedKey source;
  REGSAM granted = 0;
  LONG rc = openSource(parent, name, *source.out(), granted);
  if (rc != ERROR_SUCCESS) {
    reportError({}, rc, sourcePath, "", "Failed to Open Key for Copying", nullptr, kVerbosityBox, run.owner);
    run.failed = true;
    return false;
  }
  if ((granted & KEY_READ) != KEY_READ && !goOnWithoutRights(sourcePath, run)) {
    ++run.skipped;
    return true;
  }
  SavedSecurity security;
  if (run.copySecurity) {
    security = readSecurity(source.get());
    if (security.parts != kAllSecurityParts && !goOnWithoutSecurity(run)) {
      ++run.skipped;
      return true;
    }
  }
  if (auto target = linkTarget(source.get())) {
    // A link is made as a link holding the same target; it has nothing below it.
    ScopedKey made;
    if (!createDestination(source.get(), sourcePath, destination, run, change, REG_OPTION_CREATE_LINK, made.out())) {
      ++run.skipped;
      return !change.abort;
    }
    LONG rc = made.get() ? RegSetValueExW(made.get(), kLinkValue, 0, REG_LINK, target->data(),
                                          static_cast<DWORD>(target->size()))
                         : static_cast<LONG>(ERROR_SUCCESS);  // the gate found it there already
    if (rc != ERROR_SUCCESS) {
      reportError({}, rc, destination, "SymbolicLinkValue", "Copying Link", nullptr, kVerbosityBox, run.owner);
      ++run.skipped;
    }
    ++run.keysCopied;
    return true;
  }
  if (!createDestination(source.get(), sourcePath, destination, run, change)) {
    ++run.skipped;
    return !change.abort;
  }
  ++run.keysCopied;

  // The values, read once: a move deletes them from the key as it goes.
  for (const std::string& valueName :
       registry::valueNames(source.get(), ReportTo({}, sourcePath, nullptr, run.owner))) {
    if (change.abort) break;
    if (writeValueCopy(source.get(), sourcePath, valueName, destination, valueName, run, change) && run.move)
      deleteSourceValue(sourcePath, valueName, run, change);
  }

  bool goOn = !change.abort;
  if (run.recursive && goOn) {
    for (const std::string& subkey :
         registry::subkeyNames(source.get(), ReportTo({}, sourcePath, nullptr, run.owner))) {
      if (!copyKey(source.get(), subkey, joined(sourcePath, subkey), joined(destination, subkey), run, change,
                   depth + 1)) {
        goOn = false;
        break;
      }
    }
  }
  if (run.copySecurity) applySecurity(security, destination, run);
  return goOn;
}

// The source of a move goes only when everything below it came across.
void deleteMovedSource(const std::string& source, CopyRun& run, search::ChangeClass& change) {
  if (!run.complete()) return;
  change.resetEntries();
  change.caption = run.caption;
  change.kind = search::kChangeKey;
  change.operation = search::kOpDelete;
  change.original.location.setComponent(registry::kFullKeyPath, source);
  if (!registry::deleteKey("", 0, source, ReportTo({}, source, nullptr, run.owner),
                           search::writeGate(change, run.owner))) {
    reportError({}, static_cast<LONG>(ERROR_ACCESS_DENIED), source, "", "Moving Key (Delete)", nullptr,
                kVerbositySilent, run.owner);
    ++run.skipped;
  }
}

}  // namespace

std::optional<std::string> copyRefusal(const std::string& source, const std::string& destination, bool move) {
  if (withinBranch(destination, source))
    return fmt::format("'{}' lies within '{}': a key cannot be copied or moved into itself.", destination, source);
  if (move) {
    const std::string_view parent = registry::withoutLastComponent(source);
    if (parent.empty()) return fmt::format("'{}' is a root key and cannot be moved.", source);
    ScopedKey parentKey(registry::openKeyByPath(parent, KEY_READ, ReportTo{}));
    if (!parentKey.get()) return std::nullopt;  // the copy itself reports what is missing
    LONG rc = RegCheckDeleteTreeCountedA(parentKey.get(), registry::lastComponent(source));
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      return fmt::format("'{}' cannot be moved: it is a hive's root, or holds one, or cannot be deleted.", source);
  }
  return std::nullopt;
}

bool copyKeyBranch(const std::string& source, const std::string& destination, CopyRun& run,
                   search::ChangeClass& change) {
  if (source.empty() || destination.empty()) {
    messageBox("The Source or Destination Path was Not Specified, this is an Application Error processing Command "
               "must terminate",
               "Sorry", BoxButtons::Ok, BoxIcon::Stop, run.owner);
    run.failed = true;
    return false;
  }
  const std::string_view parentPath = registry::withoutLastComponent(source);
  ScopedKey parent;
  if (!parentPath.empty()) {
    parent.reset(registry::openKeyByPath(parentPath, KEY_READ, ReportTo({}, std::string(parentPath), nullptr, run.owner),
                                         "Failed to Open Key for Copying"));
    if (!parent.get()) {
      run.failed = true;
      return false;
    }
  }
  // The keys on the way to the destination are made as reg makes them; the
  // destination itself is a change through the gate.
  if (const std::string_view above = registry::withoutLastComponent(destination); !above.empty()) {
    ScopedKey made;
    if (LONG rc = registry::createKeyPrimitive("", 0, above, *made.out(), registry::kAllKeyAccess);
        rc != ERROR_SUCCESS) {
      reportError({}, rc, above, "", "Creating Key (Open Parent)", nullptr, kVerbosityBox, run.owner);
      run.failed = true;
      return false;
    }
  }
  const bool reached = copyKey(parent.get(), parentPath.empty() ? std::string_view(source)
                                                                 : registry::lastComponent(source),
                               source, destination, run, change, 0);
  if (run.move && reached) deleteMovedSource(source, run, change);
  return run.keysCopied > 0;
}

bool copyValue(const std::string& sourceKey, const std::string& valueName, const std::string& destinationKey,
               const std::optional<std::string>& newName, CopyRun& run, search::ChangeClass& change) {
  ScopedKey source(registry::openKeyByPath(sourceKey, KEY_READ, ReportTo({}, sourceKey, nullptr, run.owner),
                                           "Failed to Open Key for Copying"));
  if (!source.get()) {
    run.failed = true;
    return false;
  }
  if (!registry::valueExists(source.get(), valueName)) {
    reportError({}, ERROR_FILE_NOT_FOUND, sourceKey, valueName, run.move ? "Moving Value" : "Copying Value", nullptr,
                kVerbosityBox, run.owner);
    run.failed = true;
    return false;
  }
  const std::string name = newName.value_or(valueName);
  if (samePath(sourceKey, destinationKey) && name == valueName) return true;  // already there
  if (!writeValueCopy(source.get(), sourceKey, valueName, destinationKey, name, run, change)) return false;
  if (run.move) return deleteSourceValue(sourceKey, valueName, run, change);
  return true;
}

bool confirmAndCopy(const std::string& sourceKey, const std::optional<std::string>& valueName,
                    const std::string& destinationKey, bool move, WindowRef owner,
                    const std::atomic<bool>* cancel) {
  const std::string destination =
      valueName ? destinationKey : joined(destinationKey, registry::lastComponent(sourceKey));
  if (!valueName) {
    if (auto refusal = copyRefusal(sourceKey, destination, move)) {
      messageBox(*refusal, "Sorry", BoxButtons::Ok, BoxIcon::Stop, owner);
      return false;
    }
  }
  const std::string sourceText = valueName ? joined(sourceKey, *valueName) : sourceKey;
  if (messageBox(fmt::format("{} {} :\n\nFrom\t: '{}'\nTo\t: '{}'", move ? "Move" : "Copy", valueName ? "Value" : "Key",
                             sourceText, destination),
                 "Confirm Action", BoxButtons::YesNo, BoxIcon::Question, owner) != IDYES)
    return false;
  if (auto asker = interaction()) asker->showStatus(move ? "Moving.." : "Copying..");
  CopyRun run;
  run.move = move;
  run.owner = owner;
  run.cancel = cancel;
  run.caption = move ? "Move Registry Entry" : "Copy Registry Entry";
  search::ChangeClass change;
  if (valueName) copyValue(sourceKey, *valueName, destinationKey, std::nullopt, run, change);
  else copyKeyBranch(sourceKey, destination, run, change);
  // The work text goes with the work.
  if (auto asker = interaction()) asker->showStatus("");
  if (!run.complete())
    messageBox("Action was not completely successfull, please check the Results", "Copy Registry Entry",
               BoxButtons::Ok, BoxIcon::Exclamation, owner);
  return run.complete();
}

}  // namespace talmoor::browse

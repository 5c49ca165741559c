// Creating, deleting, setting and renaming: every change passes the write
// gate given by the caller first.

#include "platform/last_error.h"
#include "platform/text/code_page.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::registry {

namespace {

// Whether the registry takes two names for one (it compares them upper-cased).
bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return platform::namesEqual(platform::ansiToWide(a), platform::ansiToWide(b));
}

WriteVerdict askGate(const WriteCheck& check, WriteRequest& request) {
  return check ? check(request) : WriteVerdict::Proceed;
}

// The result of a tree deletion whose handler asked to stop.
constexpr LONG kTreeStopped = ERROR_FILE_NOT_FOUND;

std::string joinPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  return std::string(a) + "\\" + std::string(b);
}

}  // namespace

LONG createKeyPrimitive(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result,
                        REGSAM access, DWORD options, const char* className, const SECURITY_ATTRIBUTES* security,
                        DWORD* disposition) {
  ScopedKey remote;
  if (!parent) {
    // The path text names its root.
    std::string_view rest = subkey;
    if (auto split = splitMachine(subkey)) {
      machine = split->machine;
      rest = subkey.substr(subkey.size() - split->rest.size());
    }
    auto cut = rest.find('\\');
    parent = rootFromText(rest.substr(0, cut));
    if (!parent) return ERROR_INVALID_PARAMETER;
    subkey = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  if (!machine.empty() && isRootHandle(parent)) {
    std::string name(machine);
    if (LONG rc = RegConnectRegistryA(name.c_str(), parent, remote.out()); rc != ERROR_SUCCESS) return rc;
    parent = remote.get();
  }
  return RegCreateKeyExCountedA(parent, subkey, className, options, access, security, &result, disposition);
}

bool createKey(std::string_view machine, HKEY host, std::string_view pathText, std::string& name,
               const ReportTo& report, const WriteCheck& check, HKEY* result, REGSAM access,
               const char* className, DWORD options) {
  ScopedKey openedHost;
  if (!host) {
    host = openKeyByPath(pathText, kAllKeyAccess, report, "Creating Key (Open)");
    if (!host) return false;
    openedHost.reset(host);
  }
  WriteRequest request{subkeyExists(host, name) ? kWriteOverwrite : kWriteCreate, pathText, true, machine, host, 0, &name, nullptr, 0};
  WriteVerdict verdict = askGate(check, request);
  if (verdict == WriteVerdict::SkipFailed) return false;
  if (verdict == WriteVerdict::SkipSucceeded) return true;
  HKEY created = 0;
  LONG rc = RegCreateKeyExCountedA(host, name, className, options, access, nullptr, &created, nullptr);
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, joinPath(pathText, name), "", "Creating Key", report.caller, kVerbosityBox,
                report.owner);
    return false;
  }
  if (result) *result = created;
  else closeKey(created);
  if (openedHost.get()) {
    LONG closed = closeKey(openedHost.release());
    if (closed != ERROR_SUCCESS)
      reportError(report.handler, closed, report.reportName, "", "Create Key (Closing Host Key)", report.caller,
                  kVerbositySilent, report.owner);
  }
  return true;
}

bool openOrCreateKey(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result) {
  return createKeyPrimitive(machine, parent, subkey, result, kAllKeyAccess) == ERROR_SUCCESS;
}

namespace {

LONG deleteSubtree(std::string_view machine, HKEY parent, std::string_view subkey, const ReportTo& report,
                   DWORD* walkIndex, std::size_t depth) {
  ScopedKey key;
  REGSAM access = kAllKeyAccess;
  std::string path = joinPath(report.reportName, subkey);
  LONG rc = depth >= kMaxWalkDepth ? ERROR_CANT_RESOLVE_FILENAME
                                   : openKey(machine, parent, subkey, *key.out(), access, REG_OPTION_OPEN_LINK);
  if (rc != ERROR_SUCCESS) {
    if (reportError(report.handler, rc, path, "", "Opening Key (ENUM)", report.caller, kVerbosityEnumeration,
                    report.owner))
      return kTreeStopped;
    return rc;
  }
  EnumerationRequest children{key.get(), 0, 0, ReportTo{report.handler, path, report.caller, report.owner}};
  // A subkey whose failure the handler answers with "stop" ends the walk.
  enumerateSubkeys(machine, children, [&](const SubkeyVisit& visit) {
    return deleteSubtree(machine, key.get(), visit.name, children.report, visit.index, depth + 1) == kTreeStopped
               ? 1
               : 0;
  });
  key.reset();
  rc = RegDeleteKeyCountedA(parent, subkey);
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, path, "", "Opening Enumerated Key", report.caller, kVerbosityEnumeration,
                report.owner);
    return rc;
  }
  // The remaining subkeys moved down one place: the caller's walk steps back.
  if (walkIndex) --*walkIndex;
  return ERROR_SUCCESS;
}

// Refuses, before anything is deleted, a tree that could not be deleted to
// its end (a hive's root, a hive mounted below, a read-only hive): deleting
// the keys below first and failing at the top would lose them all.
LONG checkTreeDeletable(std::string_view machine, HKEY parent, std::string_view subkey, const ReportTo& report) {
  ScopedKey remote;
  if (!machine.empty() && isRootHandle(parent)) {
    std::string name(machine);
    if (LONG rc = RegConnectRegistryA(name.c_str(), parent, remote.out()); rc != ERROR_SUCCESS) return rc;
    parent = remote.get();
  }
  LONG rc = RegCheckDeleteTreeCountedA(parent, subkey);
  if (rc != ERROR_SUCCESS)
    reportError(report.handler, rc, joinPath(report.reportName, subkey), "", "Failed to Delete Key", report.caller,
                kVerbosityBox, report.owner);
  return rc;
}

}  // namespace

LONG deleteKeyTree(std::string_view machine, HKEY parent, std::string_view subkey, const ReportTo& report,
                   DWORD* walkIndex) {
  if (LONG rc = checkTreeDeletable(machine, parent, subkey, report); rc != ERROR_SUCCESS) return rc;
  return deleteSubtree(machine, parent, subkey, report, walkIndex, 0);
}

bool deleteKey(std::string_view machine, HKEY parent, std::string_view path, const ReportTo& report,
               const WriteCheck& check) {
  std::string_view parentPath = withoutLastComponent(path);
  std::string_view keyName = lastComponent(path);
  ScopedKey opened;
  if (!parent) {
    parent = openKeyByPath(parentPath, kAllKeyAccess, report, "Opening Key for Deletion of Sub Key");
    if (!parent) {
      reportError(report.handler, static_cast<LONG>(GetLastError()), path, "", "Failed to Delete Key", report.caller,
                  kVerbosityBox, report.owner);
      return false;
    }
    opened.reset(parent);
  }
  std::string name(keyName);
  ReportTo treeReport{report.handler, std::string(parentPath), report.caller, report.owner};
  // Checked before the question, so that nobody is asked about a deletion
  // that would be refused.
  if (checkTreeDeletable(machine, parent, name, treeReport) != ERROR_SUCCESS) return false;
  WriteRequest request{kWriteDelete, path, true, machine, parent, 0, &name, nullptr, 0};
  if (askGate(check, request) != WriteVerdict::Proceed) return false;
  return deleteSubtree(machine, parent, name, treeReport, nullptr, 0) == ERROR_SUCCESS;
}

bool renameKey(std::string_view path, std::string& newName, const ReportTo& report, const WriteCheck& check) {
  const std::string_view parentPath = withoutLastComponent(path);
  ScopedKey parent(openKeyByPath(parentPath, kAllKeyAccess, report, "Renaming Key (Open Parent)"));
  if (!parent.get()) return false;
  const std::string oldName(lastComponent(path));
  WriteRequest request{kWriteRename, path, true, "", parent.get(), 0, &newName, nullptr, 0};
  if (askGate(check, request) != WriteVerdict::Proceed) return false;
  if (newName == oldName) return true;
  LONG rc = RegRenameKeyCountedA(parent.get(), oldName, newName);
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, path, newName, "Renaming Key", report.caller, kVerbosityBox, report.owner);
    return false;
  }
  return true;
}

bool deleteValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath,
                 std::string_view valueName, const ReportTo& report, const WriteCheck& check) {
  ScopedKey opened;
  HKEY key = parent;
  if (parent && subkeyPath && !subkeyPath->empty()) {
    REGSAM access = kAllKeyAccess;
    LONG rc = openKey(machine, parent, *subkeyPath, *opened.out(), access);
    if (rc != ERROR_SUCCESS) {
      reportError(report.handler, rc, report.reportName, valueName, "Delete Value (Open Context)", report.caller,
                  kVerbosityBox, report.owner);
      return false;
    }
    key = opened.get();
  } else if (!parent) {
    key = openKeyByPath(subkeyPath.value_or(""), kAllKeyAccess, report, "Delete Value (Open Context)");
    if (!key) {
      reportError(report.handler, static_cast<LONG>(GetLastError()), report.reportName, valueName,
                  "Failed to Delete Value", report.caller, kVerbosityBox, report.owner);
      return false;
    }
    opened.reset(key);
  }
  std::string name(valueName);
  WriteRequest request{kWriteDelete, subkeyPath.value_or(report.reportName), false, machine, key, 0, &name, nullptr, 0};
  if (askGate(check, request) != WriteVerdict::Proceed) return false;
  LONG rc = RegDeleteValueCountedA(key, name);
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, report.reportName, name, "Deleting Value", report.caller, kVerbosityBox,
                report.owner);
    return false;
  }
  return true;
}

bool setValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath, std::string& name,
              std::vector<BYTE>& data, DWORD type, const ReportTo& report, const WriteCheck& check) {
  ScopedKey opened;
  HKEY key = parent;
  std::string path(subkeyPath.value_or(""));
  if (parent && !path.empty()) {
    REGSAM access = kAllKeyAccess;
    LONG rc = openKey(machine, parent, path, *opened.out(), access);
    if (rc != ERROR_SUCCESS) {
      reportError(report.handler, rc, report.reportName, name, "Set Value (Open Context)", report.caller,
                  kVerbosityBox, report.owner);
      return false;
    }
    key = opened.get();
  } else if (!parent) {
    // Walk the path as far as its keys exist, then create the rest.
    std::string machineName;
    std::string_view rest = path;
    if (auto split = splitMachine(path)) {
      machineName = split->machine;
      rest = std::string_view(path).substr(path.size() - split->rest.size());
    }
    auto cut = rest.find('\\');
    HKEY root = rootFromText(rest.substr(0, cut));
    if (!root) {
      reportError(report.handler, ERROR_INVALID_PARAMETER, path, name, "Failed to Create Key", report.caller,
                  kVerbosityBox, report.owner);
      return false;
    }
    std::string_view remaining = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    ScopedKey deepest(root);
    REGSAM access = kAllKeyAccess;
    LONG firstOpen = openKey(machineName, 0, rest.substr(0, cut), *deepest.out(), access);
    if (firstOpen != ERROR_SUCCESS) {
      reportError(report.handler, firstOpen, path, name, "Failed to Create Key", report.caller, kVerbosityBox,
                  report.owner);
      return false;
    }
    while (!remaining.empty()) {
      auto next = remaining.find('\\');
      std::string_view component = remaining.substr(0, next);
      ScopedKey child;
      access = kAllKeyAccess;
      LONG rc = openKey("", deepest.get(), component, *child.out(), access);
      if (rc != ERROR_SUCCESS) {
        if (rc != ERROR_FILE_NOT_FOUND)
          reportError(report.handler, rc, std::string(component), name, "Establishing Existing Extent of Path",
                      report.caller, kVerbositySilent, report.owner);
        break;
      }
      deepest = std::move(child);
      remaining = next == std::string_view::npos ? std::string_view() : remaining.substr(next + 1);
    }
    if (!remaining.empty()) {
      ScopedKey created;
      LONG rc = createKeyPrimitive("", deepest.get(), remaining, *created.out(), kAllKeyAccess);
      if (rc != ERROR_SUCCESS) {
        reportError(report.handler, rc, path, name, "Failed to Create Key", report.caller, kVerbosityBox,
                    report.owner);
        return false;
      }
      deepest = std::move(created);
    }
    opened = std::move(deepest);
    key = opened.get();
  }
  WriteRequest request{valueExists(key, name) ? kWriteOverwrite : kWriteCreate,
                       path.empty() ? std::string_view(report.reportName) : std::string_view(path),
                       false,
                       machine,
                       key,
                       0,
                       &name,
                       &data,
                       type};
  WriteVerdict verdict = askGate(check, request);
  if (verdict == WriteVerdict::SkipFailed) return false;
  if (verdict == WriteVerdict::SkipSucceeded) return true;
  LONG rc = RegSetValueExCountedA(key, name, type, data.data(), static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) {
    reportError(report.handler, rc, report.reportName, name, "Setting Value", report.caller, kVerbosityBox,
                report.owner);
    return false;
  }
  return true;
}

bool setStringValue(std::string_view machine, HKEY parent, std::optional<std::string_view> subkeyPath,
                    std::string_view name, std::string_view text) {
  std::string valueName(name);
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  return setValue(machine, parent, subkeyPath, valueName, data, REG_SZ, ReportTo{}, nullptr);
}

bool renameValue(HKEY key, std::string_view oldName, std::string& newName, const ReportTo& report,
                 const WriteCheck& check) {
  DWORD type = 0;
  std::vector<BYTE> data;
  LONG rc = queryValue(key, oldName, type, data, report);
  if (rc == ERROR_SUCCESS && GetLastError() != 0) rc = static_cast<LONG>(GetLastError());
  if (rc != ERROR_SUCCESS &&
      reportError(report.handler, rc, report.reportName, oldName, "Renaming Value (Read)", report.caller,
                  kVerbosityBox, report.owner))
    return false;
  WriteRequest request{kWriteRename, report.reportName, false, "", key, 0, &newName, &data, type};
  if (askGate(check, request) != WriteVerdict::Proceed) return false;
  if (rc != ERROR_SUCCESS) {
    messageBox("Warning : Unable to rename Value because an error occured accessing the Value", "Sorry");
    return false;
  }
  if (newName == oldName) return true;
  if (sameNameIgnoringCase(newName, oldName)) {
    // Only the case changes: both names are the same value to the registry,
    // so writing under the new name would write over the old, and deleting
    // the old afterwards would delete both. The old goes first; should the
    // new one fail, the old is put back.
    if (!deleteValue("", key, std::nullopt, oldName, report, nullptr)) return false;
    if (setValue("", key, std::nullopt, newName, data, type, report, nullptr)) return true;
    std::string restored(oldName);
    setValue("", key, std::nullopt, restored, data, type, report, nullptr);
    return false;
  }
  // Written under the new name first, so that nothing is lost when the delete fails.
  if (!setValue("", key, std::nullopt, newName, data, type, report, nullptr)) return false;
  return deleteValue("", key, std::nullopt, oldName, report, nullptr);
}

bool openAndRead(HKEY parent, std::string_view subkey, std::string_view valueName, std::vector<BYTE>& data) {
  ScopedKey key;
  REGSAM access = kReadKeyAccess;
  LONG rc = openKey("", parent, subkey, *key.out(), access);
  if (rc != ERROR_SUCCESS) {
    reportError(nullptr, rc, std::string(subkey), valueName, "Failed to Open Key", nullptr, kVerbosityBox);
    return false;
  }
  DWORD type = 0;
  return queryValue(key.get(), valueName, type, data, ReportTo{}) == ERROR_SUCCESS;
}

}  // namespace talmoor::registry

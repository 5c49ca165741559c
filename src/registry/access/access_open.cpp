// Opening keys: by handle, by path text, on other machines, with the rights
// that can really be had.

#include <array>

#include "base/workspace.h"
#include "platform/last_error.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/integrity_check.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::registry {

namespace {

constexpr std::size_t kPathStep = 260;

// The single rights tried one at a time by rights discovery, in their order.
constexpr std::array<REGSAM, 22> kDiscoveredRights = {
    0x8,     0x1,    0x2,    0x4,   0x10000, 0x20,  0x80000, 0x40000, 0x20000, 0x10, 0x1000000,
    0x100000, 0x800, 0x4000, 0x2000, 0x1000, 0x800, 0x400,   0x200,   0x100,   0x80, 0x40,
};

REGSAM discoverRights(HKEY parent, std::string_view subkey, REGSAM requested, DWORD options) {
  REGSAM granted = 0;
  for (REGSAM right : kDiscoveredRights) {
    if (!(requested & right)) continue;
    HKEY probe = 0;
    LONG rc = RegOpenKeyExCountedA(parent, subkey, options, right, &probe);
    if (rc == ERROR_SUCCESS) {
      granted |= right;
      RegCloseKey(probe);
      continue;
    }
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_INVALID_HANDLE) break;
    // Refusals of one right (5, 1314) just leave it out.
  }
  return granted;
}

// The rights of `requested` that discovery would try.
REGSAM discoverableRights(REGSAM requested) {
  REGSAM rights = 0;
  for (REGSAM right : kDiscoveredRights) rights |= requested & right;
  return rights;
}

// The remote root standing for a predefined root on `machine`.
LONG connectRoot(std::string_view machine, HKEY root, ScopedKey& remote) {
  std::string name(machine);
  return RegConnectRegistryA(name.c_str(), root, remote.out());
}

}  // namespace

// The integrity check is part of the reads from the start; its switch
// follows the "Anti-Virus Methods" option.
AccessOptions::AccessOptions() { installIntegrityCheck(*this); }

AccessOptions& accessOptions() { return Workspace::current().service<AccessOptions>(); }

LONG closeKey(HKEY key) {
  if (isPredefinedKey(key)) return ERROR_SUCCESS;
  LONG rc = RegCloseKey(key);
  if (GetLastError() == static_cast<DWORD>(ERROR_IO_PENDING)) SetLastError(0);
  return rc;
}

HKEY duplicateKeyHandle(HKEY key) {
  // The copy asks for what the key allows (a handle with no rights at all
  // could not be used), then for reading.
  HKEY copy = 0;
  LONG rc = RegOpenKeyExA(key, "", 0, MAXIMUM_ALLOWED, &copy);
  if (rc == ERROR_ACCESS_DENIED) rc = RegOpenKeyExA(key, "", 0, kReadKeyAccess, &copy);
  return rc == ERROR_SUCCESS ? copy : 0;
}

namespace {

// Opens a path short enough for one call (or a single name of any length,
// which the registry refuses with an error of its own).
LONG openDirect(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result, REGSAM& access,
                DWORD options, bool discover) {
  ScopedKey remote;
  if (!machine.empty() && isRootHandle(parent)) {
    if (LONG rc = connectRoot(machine, parent, remote); rc != ERROR_SUCCESS) return rc;
    parent = remote.get();
  }
  LONG rc = ERROR_SUCCESS;
  // A key that opens with every right asked for grants each of them alone as
  // well, so one open stands for the discovery's open per right and the open
  // after it: a walk opens every key it passes this way.
  const REGSAM discoverable = discover ? discoverableRights(access) : 0;
  if (discover && (rc = RegOpenKeyExCountedA(parent, subkey, options, discoverable, &result)) == ERROR_SUCCESS) {
    access = discoverable;
  } else {
    if (discover) access = discoverRights(parent, subkey, access, options);
    rc = RegOpenKeyExCountedA(parent, subkey, options, access, &result);
  }
  if (GetLastError() == static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED)) {
    messageBox("Warning : Function appears to have been successfull, however I received a \"Function Unsupported\" "
               "Error?",
               "Warning");
    SetLastError(0);
  }
  if (rc == ERROR_SUCCESS && GetLastError() != 0) {
    rc = static_cast<LONG>(GetLastError());
    SetLastError(0);
  }
  return rc;
}

}  // namespace

LONG openKey(std::string_view machine, HKEY parent, std::string_view subkey, HKEY& result, REGSAM& access,
             DWORD options, bool discover) {
  result = 0;
  if (!parent) {
    HKEY root = rootFromText(subkey);
    if (!root) return ERROR_INVALID_PARAMETER;
    if (machine.empty()) {
      result = root;
      return ERROR_SUCCESS;
    }
    ScopedKey remote;
    if (LONG rc = connectRoot(machine, root, remote); rc != ERROR_SUCCESS) return rc;
    DWORD count = 0;
    if (LONG rc = RegQueryInfoKeyA(remote.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
        rc != ERROR_SUCCESS && rc != ERROR_ACCESS_DENIED)
      return rc;
    result = remote.release();
    return ERROR_SUCCESS;
  }
  if (subkey.size() < kPathStep) return openDirect(machine, parent, subkey, result, access, options, discover);

  // Long paths are opened a component at a time until the rest is short.
  ScopedKey current;
  HKEY at = parent;
  while (subkey.size() >= kPathStep) {
    auto cut = subkey.find('\\');
    std::string_view first = subkey.substr(0, cut);
    ScopedKey next;
    REGSAM stepAccess = access;
    if (LONG rc = openDirect(machine, at, first, *next.out(), stepAccess, options, discover); rc != ERROR_SUCCESS)
      return rc;
    current = std::move(next);
    at = current.get();
    // Past the first step the path is relative to a key of that machine.
    machine = {};
    subkey = cut == std::string_view::npos ? std::string_view() : subkey.substr(cut + 1);
  }
  return openDirect(machine, at, subkey, result, access, options, discover);
}

HKEY openKeyByPath(std::string_view pathText, REGSAM access, const ReportTo& report,
                   std::optional<std::string_view> context) {
  if (pathText.empty()) {
    messageBox("Invalid Path Passed to Open Key", "Invalid Path");
    return 0;
  }
  std::string machine;
  std::string_view rest = pathText;
  if (auto split = splitMachine(pathText)) {
    machine = split->machine;
    rest = pathText.substr(pathText.size() - split->rest.size());
  }
  std::string_view keyName = lastComponent(rest);
  std::string_view parentPath = withoutLastComponent(rest);
  if (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
  auto cut = rest.find('\\');
  std::string_view rootText = rest.substr(0, std::min(cut, kPathStep));
  std::string_view subkey = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);

  // The root is found from the whole rest, so that a short form followed by
  // a key ("HKLM\Software") is found as Root from text finds it.
  HKEY root = rootFromText(rest);
  HKEY result = 0;
  LONG rc = ERROR_SUCCESS;
  if (!root) {
    rc = ERROR_INVALID_PARAMETER;
  } else if (!subkey.empty()) {
    REGSAM granted = access;
    rc = openKey(machine, root, subkey, result, granted, 0, false);
  } else if (!machine.empty()) {
    REGSAM granted = access;
    rc = openKey(machine, 0, rootText, result, granted, 0, false);
  } else {
    result = root;
  }
  if (rc != ERROR_SUCCESS) {
    std::string parentText(parentPath);
    reportError(report.handler, rc, parentText.empty() ? std::string(rest) : parentText, keyName,
                context.value_or("Opening Key"), report.caller, kVerbosityBox, report.owner);
    closeKey(result);
    return 0;
  }
  return result;
}

}  // namespace talmoor::registry

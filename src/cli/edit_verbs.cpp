#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "cli/cli_support.h"
#include "cli/value_text.h"
#include "cli/verbs.h"
#include "platform/registry/win32_registry.h"

namespace talmoor::cli {

namespace {

constexpr const char* kDone = "The operation completed successfully.\n";

std::string valueLabel(const std::string& name) { return name.empty() ? "(Default)" : name; }

LONG createKeyArgument(const KeyArgument& key, HKEY& handle) {
  HKEY root = key.root;
  KeyHandle remote;
  if (!key.machine.empty()) {
    if (LONG rc = RegConnectRegistryA(key.machine.c_str(), key.root, remote.out()); rc != ERROR_SUCCESS) return rc;
    root = remote.get();
  }
  return RegCreateKeyExA(root, key.subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         &handle, nullptr);
}

// Deletes a key with everything below it, deepest keys first.
LONG deleteTree(HKEY parent, const std::string& name) {
  KeyHandle key;
  if (LONG rc = RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, key.out());
      rc != ERROR_SUCCESS)
    return rc;
  std::vector<char> buffer(1024);
  for (;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG rc = RegEnumKeyExA(key.get(), 0, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    if (LONG child = deleteTree(key.get(), std::string(buffer.data(), length)); child != ERROR_SUCCESS) return child;
  }
  return RegDeleteKeyA(parent, name.c_str());
}

}  // namespace

int runAdd(const AddRequest& request) {
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key");
  if (key->subkey.empty() && !request.value) return reportProblem(key->display(), "a root key cannot be added");
  auto type = typeFromName(request.type);
  if (!type) return reportProblem(request.type, "not a value type (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)");
  std::vector<BYTE> data;
  if (request.value) {
    std::string problem;
    auto parsed = parseData(*type, request.data.value_or(""), problem);
    if (!parsed) return reportProblem(key->display(), problem);
    data = std::move(*parsed);
  }

  KeyHandle handle;
  if (LONG rc = createKeyArgument(*key, *handle.out()); rc != ERROR_SUCCESS) return reportFailure(key->display(), rc);
  if (request.value) {
    const std::string& name = *request.value;
    DWORD existingType = 0;
    bool exists = RegQueryValueExA(handle.get(), name.c_str(), nullptr, &existingType, nullptr, nullptr) ==
                  ERROR_SUCCESS;
    if (exists && !request.force &&
        !confirm(fmt::format("Value {} exists, overwrite it", valueLabel(name)))) {
      std::cerr << "talmoor-cli: the operation was cancelled\n";
      return kExitFailure;
    }
    if (LONG rc = RegSetValueExA(handle.get(), name.c_str(), 0, *type, data.data(), static_cast<DWORD>(data.size()));
        rc != ERROR_SUCCESS)
      return reportFailure(key->display() + "\\" + valueLabel(name), rc);
  }
  if (LONG rc = RegFlushKey(handle.get()); rc != ERROR_SUCCESS) return reportFailure(key->display(), rc);
  std::cout << kDone;
  return kExitSuccess;
}

int runDelete(const DeleteRequest& request) {
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key");
  if (request.value) {
    KeyHandle handle;
    if (LONG rc = openKeyArgument(*key, KEY_ALL_ACCESS, *handle.out()); rc != ERROR_SUCCESS)
      return reportFailure(key->display(), rc);
    const std::string& name = *request.value;
    DWORD type = 0;
    if (LONG rc = RegQueryValueExA(handle.get(), name.c_str(), nullptr, &type, nullptr, nullptr); rc != ERROR_SUCCESS)
      return reportFailure(key->display() + "\\" + valueLabel(name), rc);
    if (!request.force && !confirm(fmt::format("Delete the registry value {}", valueLabel(name)))) {
      std::cerr << "talmoor-cli: the operation was cancelled\n";
      return kExitFailure;
    }
    if (LONG rc = RegDeleteValueA(handle.get(), name.c_str()); rc != ERROR_SUCCESS)
      return reportFailure(key->display() + "\\" + valueLabel(name), rc);
    if (LONG rc = RegFlushKey(handle.get()); rc != ERROR_SUCCESS) return reportFailure(key->display(), rc);
    std::cout << kDone;
    return kExitSuccess;
  }

  if (key->subkey.empty()) return reportProblem(key->display(), "a root key cannot be deleted");
  auto cut = key->subkey.rfind('\\');
  KeyArgument parentKey = *key;
  parentKey.subkey = cut == std::string::npos ? std::string() : key->subkey.substr(0, cut);
  std::string name = cut == std::string::npos ? key->subkey : key->subkey.substr(cut + 1);
  KeyHandle parent;
  if (LONG rc = openKeyArgument(parentKey, KEY_ALL_ACCESS, *parent.out()); rc != ERROR_SUCCESS)
    return reportFailure(key->display(), rc);
  {
    KeyHandle probe;
    if (LONG rc = RegOpenKeyExA(parent.get(), name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, probe.out());
        rc != ERROR_SUCCESS)
      return reportFailure(key->display(), rc);
  }
  if (!request.force && !confirm(fmt::format("Permanently delete the registry key {}", key->display()))) {
    std::cerr << "talmoor-cli: the operation was cancelled\n";
    return kExitFailure;
  }
  if (LONG rc = deleteTree(parent.get(), name); rc != ERROR_SUCCESS) return reportFailure(key->display(), rc);
  if (LONG rc = RegFlushKey(parent.get()); rc != ERROR_SUCCESS) return reportFailure(key->display(), rc);
  std::cout << kDone;
  return kExitSuccess;
}

}  // namespace talmoor::cli

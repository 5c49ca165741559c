#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "cli/cli_support.h"
#include "cli/value_text.h"
#include "cli/verbs.h"
#include "platform/registry/win32_registry.h"

namespace talmoor::cli {

namespace {

void printValue(const ValueRead& value) {
  std::cout << fmt::format("    {}    {}    {}\n", value.name.empty() ? "(Default)" : value.name,
                           typeName(value.type), formatData(value.type, value.data));
}

std::vector<std::string> subkeyNames(HKEY key, LONG& rc) {
  std::vector<std::string> names;
  DWORD longest = 0;
  rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return names;
  std::vector<char> buffer(longest + 1);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    rc = RegEnumKeyExA(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {  // a longer name arrived meanwhile
      buffer.resize(buffer.size() * 2);
      --i;
      continue;
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return names;
    names.emplace_back(buffer.data(), length);
  }
  rc = ERROR_SUCCESS;
  return names;
}

class QueryWalk {
 public:
  // A key's values under its path and a blank line; nothing for a key without values.
  LONG printValues(HKEY key, const std::string& path) {
    std::vector<ValueRead> values;
    for (DWORD i = 0;; ++i) {
      ValueRead value;
      LONG rc = readValueAt(key, i, value);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      values.push_back(std::move(value));
    }
    if (values.empty()) return ERROR_SUCCESS;
    std::cout << path << "\n";
    for (const auto& value : values) printValue(value);
    std::cout << "\n";
    return ERROR_SUCCESS;
  }

  LONG printTree(HKEY key, const std::string& path, bool recursive) {
    if (LONG rc = printValues(key, path); rc != ERROR_SUCCESS) return fail(path, rc);
    LONG rc = ERROR_SUCCESS;
    auto names = subkeyNames(key, rc);
    if (rc != ERROR_SUCCESS) return fail(path, rc);
    for (const auto& name : names) {
      std::string childPath = path + "\\" + name;
      if (!recursive) {
        std::cout << childPath << "\n";
        continue;
      }
      KeyHandle child;
      if (LONG open = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, child.out()); open != ERROR_SUCCESS) {
        fail(childPath, open);
        continue;
      }
      printTree(child.get(), childPath, true);
    }
    return ERROR_SUCCESS;
  }

  // Every key at or below `key` that holds the value.
  void findValue(HKEY key, const std::string& path, const std::string& name) {
    ValueRead value;
    if (readValue(key, name, value) == ERROR_SUCCESS) {
      std::cout << path << "\n";
      printValue(value);
      std::cout << "\n";
      ++matches_;
    }
    LONG rc = ERROR_SUCCESS;
    for (const auto& child : subkeyNames(key, rc)) {
      KeyHandle handle;
      if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, handle.out()) == ERROR_SUCCESS)
        findValue(handle.get(), path + "\\" + child, name);
    }
  }

  int matches() const { return matches_; }
  bool failed() const { return failed_; }

 private:
  LONG fail(const std::string& path, LONG rc) {
    reportFailure(path, rc);
    failed_ = true;
    return rc;
  }

  int matches_ = 0;
  bool failed_ = false;
};

}  // namespace

int runQuery(const QueryRequest& request) {
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key (it must begin with a root such as HKLM or HKEY_CURRENT_USER)");
  KeyHandle handle;
  if (LONG rc = openKeyArgument(*key, KEY_READ, *handle.out()); rc != ERROR_SUCCESS)
    return reportFailure(key->display(), rc);

  const std::string path = key->display();
  QueryWalk walk;
  std::cout << "\n";
  if (request.value && request.recursive) {
    walk.findValue(handle.get(), path, *request.value);
    std::cout << fmt::format("Search complete. Number of matches found: {}\n", walk.matches());
    return kExitSuccess;
  }
  if (request.value) {
    ValueRead value;
    LONG rc = readValue(handle.get(), *request.value, value);
    if (rc == ERROR_FILE_NOT_FOUND && request.value->empty()) {
      std::cout << path << "\n    (Default)    REG_SZ    (value not set)\n";
      return kExitSuccess;
    }
    if (rc != ERROR_SUCCESS)
      return reportFailure(request.value->empty() ? path : path + "\\" + *request.value, rc);
    std::cout << path << "\n";
    printValue(value);
    std::cout << "\n";
    return kExitSuccess;
  }
  walk.printTree(handle.get(), path, request.recursive);
  return walk.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace talmoor::cli

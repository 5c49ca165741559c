#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "registry/value_text.h"
#include "cli/verbs.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::registry;

struct ValueLine {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

class QueryWalk {
 public:
  QueryWalk(bool display, FailureReporter& failures) : display_(display), failures_(failures) {}

  void printValue(const ValueLine& value) const {
    std::string data;
    if (display_) {
      DisplayContext context;
      data = formatData(value.type, value.data, context);
    } else {
      data = regFormatData(value.type, value.data);
    }
    std::cout << fmt::format("    {}    {}    {}\n", value.name.empty() ? "(Default)" : value.name,
                             regTypeName(value.type), data);
  }

  // A key's values under its path and a blank line; nothing without values.
  void printValues(HKEY key, const std::string& path) {
    std::vector<ValueLine> values;
    EnumerationRequest request(key, 0, 0, ReportTo(failures_.handler(), path));
    enumerateValues("", request, [&](const ValueVisit& visit) {
      values.push_back(ValueLine{std::string(visit.name), visit.type, *visit.data});
      return 0;
    });
    if (values.empty()) return;
    std::cout << path << "\n";
    for (const auto& value : values) printValue(value);
    std::cout << "\n";
  }

  std::vector<std::string> subkeys(HKEY key, const std::string& path) {
    std::vector<std::string> names;
    EnumerationRequest request(key, 0, 0, ReportTo(failures_.handler(), path));
    enumerateSubkeys("", request, [&](const SubkeyVisit& visit) {
      names.emplace_back(visit.name);
      return 0;
    });
    return names;
  }

  void printTree(HKEY key, const std::string& path, bool recursive, std::size_t depth = 0) {
    printValues(key, path);
    for (const auto& name : subkeys(key, path)) {
      std::string childPath = path + "\\" + name;
      if (!recursive) {
        std::cout << childPath << "\n";
        continue;
      }
      ScopedKey child = openChild(key, name, childPath, depth);
      if (child.get()) printTree(child.get(), childPath, true, depth + 1);
    }
  }

  // Every key at or below `key` that holds the value.
  void findValue(HKEY key, const std::string& path, const std::string& name, std::size_t depth = 0) {
    ValueLine value{name, 0, {}};
    if (queryValue(key, name, value.type, value.data, ReportTo()) == ERROR_SUCCESS) {
      std::cout << path << "\n";
      printValue(value);
      std::cout << "\n";
      ++matches_;
    }
    for (const auto& child : subkeys(key, path)) {
      std::string childPath = path + "\\" + child;
      ScopedKey handle = openChild(key, child, childPath, depth);
      if (handle.get()) findValue(handle.get(), childPath, name, depth + 1);
    }
  }

  int matches() const { return matches_; }

 private:
  // A subkey opened by its name below its parent (a name may hold a
  // backslash or a NUL, which a path text would misread); links are listed
  // as keys, not followed, so that a link to an ancestor cannot loop.
  ScopedKey openChild(HKEY parent, const std::string& name, const std::string& childPath, std::size_t depth) {
    ScopedKey child;
    REGSAM access = kReadKeyAccess;
    LONG rc = depth >= kMaxWalkDepth ? ERROR_CANT_RESOLVE_FILENAME
                                     : openKey("", parent, name, *child.out(), access, REG_OPTION_OPEN_LINK);
    if (rc != ERROR_SUCCESS)
      reportError(failures_.handler(), rc, childPath, "", "Opening Key", nullptr, kVerbositySilent);
    return child;
  }

  bool display_;
  FailureReporter& failures_;
  int matches_ = 0;
};

}  // namespace

int runQuery(const QueryRequest& request) {
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key (it must begin with a root such as HKLM or HKEY_CURRENT_USER)");
  const std::string path = key->display();
  FailureReporter failures;
  ScopedKey handle(openKeyByPath(path, kReadKeyAccess, ReportTo(failures.handler(), path)));
  if (!handle.get()) return kExitFailure;

  QueryWalk walk(request.display, failures);
  std::cout << "\n";
  if (request.value && request.recursive) {
    walk.findValue(handle.get(), path, *request.value);
    std::cout << fmt::format("Search complete. Number of matches found: {}\n", walk.matches());
    return failures.failed() ? kExitFailure : kExitSuccess;
  }
  if (request.value) {
    ValueLine value{*request.value, 0, {}};
    // The unnamed value may be unset, as reg shows.
    if (request.value->empty() && !valueExists(handle.get(), "")) {
      std::cout << path << "\n    (Default)    REG_SZ    (value not set)\n";
      return kExitSuccess;
    }
    if (queryValue(handle.get(), *request.value, value.type, value.data, ReportTo(failures.handler(), path)) !=
        ERROR_SUCCESS)
      return kExitFailure;
    std::cout << path << "\n";
    walk.printValue(value);
    std::cout << "\n";
    return kExitSuccess;
  }
  walk.printTree(handle.get(), path, request.recursive);
  return failures.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace talmoor::cli

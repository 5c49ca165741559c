#include <iostream>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "browse/key_naming.h"
#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "cli/verbs.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "registry/value_text.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::registry;

struct ValueLine {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

std::string shownData(const ValueLine& value, bool display) {
  if (!display) return regFormatData(value.type, value.data);
  DisplayContext context;
  return formatData(value.type, value.data, context);
}

std::optional<std::uint64_t> lastWriteOf(HKEY key) {
  FILETIME time;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &time) != ERROR_SUCCESS)
    return std::nullopt;
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// Where the walk's findings go: the reg command's own form, or records.
class QueryOutput {
 public:
  virtual ~QueryOutput() = default;
  // A key reached, with its values; `listedOnly` for a subkey named in a
  // listing that does not go below the key queried.
  virtual void key(const KeyArgument& where, const std::string& path, std::optional<std::uint64_t> lastWrite,
                   const std::vector<ValueLine>& values, bool listedOnly) = 0;
  // The unnamed value of a key that has none.
  virtual void unsetDefault(const KeyArgument& where, const std::string& path) = 0;
};

class RegForm : public QueryOutput {
 public:
  explicit RegForm(bool display) : display_(display) {}

  void key(const KeyArgument&, const std::string& path, std::optional<std::uint64_t> lastWrite,
           const std::vector<ValueLine>& values, bool listedOnly) override {
    const std::string header =
        lastWrite ? fmt::format("{}    (last written {})", path, filetimeText(*lastWrite)) : path;
    if (listedOnly) {
      std::cout << header << "\n";
      return;
    }
    // reg names a key of its own only when it shows values of it.
    if (values.empty() && !lastWrite) return;
    std::cout << header << "\n";
    for (const auto& value : values)
      std::cout << fmt::format("    {}    {}    {}\n", value.name.empty() ? kUnnamedValueText : value.name,
                               regTypeName(value.type), shownData(value, display_));
    std::cout << "\n";
  }

  void unsetDefault(const KeyArgument&, const std::string& path) override {
    std::cout << path << "\n    (Default)    REG_SZ    (value not set)\n";
  }

 private:
  bool display_;
};

class RecordForm : public QueryOutput {
 public:
  RecordForm(OutputFormat format, bool display, bool times)
      : printer_(std::cout, format, RecordPrinter::Columns{false, times}), display_(display) {}

  void key(const KeyArgument& where, const std::string& path, std::optional<std::uint64_t> lastWrite,
           const std::vector<ValueLine>& values, bool) override {
    OutputRecord record = recordOf(where, path);
    record.lastWrite = lastWrite;
    printer_.print(record);
    for (const auto& value : values) {
      OutputRecord valueRecord = recordOf(where, path);
      valueRecord.valueName = value.name;
      valueRecord.type = value.type;
      valueRecord.data = value.data;
      if (display_) valueRecord.shownData = shownData(value, true);
      printer_.print(valueRecord);
    }
  }

  void unsetDefault(const KeyArgument& where, const std::string& path) override {
    OutputRecord record = recordOf(where, path);
    record.valueName = "";
    record.type = REG_SZ;
    record.shownData = "(value not set)";
    printer_.print(record);
  }

 private:
  static OutputRecord recordOf(const KeyArgument& where, const std::string& path) {
    OutputRecord record;
    record.machine = where.machine;
    record.root = where.rootName;
    // The path below the root: what follows "HKEY_...\" in the full path.
    auto rootAt = path.find(where.rootName);
    std::size_t below = rootAt == std::string::npos ? path.size() : rootAt + where.rootName.size();
    record.key = below < path.size() ? path.substr(below + 1) : std::string();
    return record;
  }

  RecordPrinter printer_;
  bool display_;
};

class QueryWalk {
 public:
  QueryWalk(const KeyArgument& where, QueryOutput& output, bool times, FailureReporter& failures)
      : where_(where), output_(output), times_(times), failures_(failures) {}

  void tree(HKEY key, const std::string& path, bool recursive, std::size_t depth = 0) {
    output_.key(where_, path, times_ ? lastWriteOf(key) : std::nullopt, values(key, path), false);
    for (const auto& name : subkeys(key, path)) {
      const std::string childPath = path + "\\" + name;
      ScopedKey child = openChild(key, name, childPath, depth);
      if (!child.get()) continue;
      if (recursive)
        tree(child.get(), childPath, true, depth + 1);
      else
        output_.key(where_, childPath, times_ ? lastWriteOf(child.get()) : std::nullopt, {}, true);
    }
  }

  // Every key at or below `key` that holds the value.
  void findValue(HKEY key, const std::string& path, const std::string& name, std::size_t depth = 0) {
    ValueLine value{name, 0, {}};
    if (queryValue(key, name, value.type, value.data, ReportTo()) == ERROR_SUCCESS) {
      output_.key(where_, path, times_ ? lastWriteOf(key) : std::nullopt, {value}, false);
      ++matches_;
    }
    for (const auto& child : subkeys(key, path)) {
      const std::string childPath = path + "\\" + child;
      ScopedKey handle = openChild(key, child, childPath, depth);
      if (handle.get()) findValue(handle.get(), childPath, name, depth + 1);
    }
  }

  void oneValue(HKEY key, const std::string& path, const ValueLine& value) {
    output_.key(where_, path, times_ ? lastWriteOf(key) : std::nullopt, {value}, false);
  }

  int matches() const { return matches_; }

 private:
  std::vector<ValueLine> values(HKEY key, const std::string& path) {
    std::vector<ValueLine> found;
    EnumerationRequest request(key, 0, 0, ReportTo(failures_.handler(), path));
    enumerateValues("", request, [&](const ValueVisit& visit) {
      found.push_back(ValueLine{std::string(visit.name), visit.type, *visit.data});
      return 0;
    });
    return found;
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

  // A subkey opened by its name below its parent (a name may hold a
  // backslash or a NUL, which a path text would misread). A link is opened
  // as the link itself and listed with its target, never followed: a link
  // to an ancestor cannot loop, and one whose target is gone (Wine's
  // volatile keys are never saved) is no failure.
  ScopedKey openChild(HKEY parent, const std::string& name, const std::string& childPath, std::size_t depth) {
    ScopedKey child;
    REGSAM access = kReadKeyAccess;
    LONG rc = depth >= kMaxWalkDepth ? ERROR_CANT_RESOLVE_FILENAME
                                     : openKey("", parent, name, *child.out(), access, REG_OPTION_OPEN_LINK);
    if (rc != ERROR_SUCCESS)
      reportError(failures_.handler(), rc, childPath, "", "Opening Key", nullptr, kVerbositySilent);
    return child;
  }

  const KeyArgument& where_;
  QueryOutput& output_;
  bool times_;
  FailureReporter& failures_;
  int matches_ = 0;
};

// The subkeys of a key (with --recursive every key below it) with what the
// naming rules make of them: one batch per parent, as the key browser names
// a branch it opens.
class NamesWalk {
 public:
  NamesWalk(const KeyArgument& where, OutputFormat format, FailureReporter& failures)
      : where_(where), printer_(std::cout, format, RecordPrinter::Columns{false, false, true}), failures_(failures) {}

  void tree(HKEY key, const std::string& path, bool recursive, std::size_t depth = 0) {
    std::vector<std::string> names;
    EnumerationRequest request(key, 0, 0, ReportTo(failures_.handler(), path));
    enumerateSubkeys("", request, [&](const SubkeyVisit& visit) {
      names.emplace_back(visit.name);
      return 0;
    });
    std::vector<browse::KeyName> shown = namer_.nameSubkeys(path, names, ReportTo(failures_.handler(), path));
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string childPath = path + "\\" + names[i];
      printer_.print(recordOf(childPath, shown[i]));
      if (!recursive) continue;
      ScopedKey child;
      REGSAM access = kReadKeyAccess;
      LONG rc = depth >= kMaxWalkDepth ? ERROR_CANT_RESOLVE_FILENAME
                                       : openKey("", key, names[i], *child.out(), access, REG_OPTION_OPEN_LINK);
      if (rc != ERROR_SUCCESS) {
        reportError(failures_.handler(), rc, childPath, "", "Opening Key", nullptr, kVerbositySilent);
        continue;
      }
      tree(child.get(), childPath, true, depth + 1);
    }
  }

 private:
  OutputRecord recordOf(const std::string& path, const browse::KeyName& name) const {
    OutputRecord record;
    record.machine = where_.machine;
    record.root = where_.rootName;
    auto rootAt = path.find(where_.rootName);
    std::size_t below = rootAt == std::string::npos ? path.size() : rootAt + where_.rootName.size();
    record.key = below < path.size() ? path.substr(below + 1) : std::string();
    record.naming = OutputRecord::Naming{name.displayName, static_cast<int>(name.image),
                                         static_cast<int>(name.overlay), browse::overlayText(name.overlay)};
    return record;
  }

  const KeyArgument& where_;
  RecordPrinter printer_;
  FailureReporter& failures_;
  browse::KeyNamer namer_;
};

std::unique_ptr<QueryOutput> outputFor(const QueryRequest& request) {
  if (!request.format) return std::make_unique<RegForm>(request.display);
  // A timeline needs the times: JSON always carries them.
  const bool times = request.times || *request.format == OutputFormat::Json;
  return std::make_unique<RecordForm>(*request.format, request.display, times);
}

}  // namespace

int runQuery(const QueryRequest& request) {
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key (it must begin with a root such as HKLM or HKEY_CURRENT_USER)");
  const std::string path = key->display();
  FailureReporter failures;
  ScopedKey handle(openKeyByPath(path, kReadKeyAccess, ReportTo(failures.handler(), path)));
  if (!handle.get()) return kExitFailure;

  if (request.names) {
    if (request.value || request.unnamed)
      return reportProblem(request.key, "--names lists keys; it cannot be given with a value");
    NamesWalk walk(*key, request.format.value_or(OutputFormat::Table), failures);
    walk.tree(handle.get(), path, request.recursive);
    return failures.failed() ? kExitFailure : kExitSuccess;
  }

  const std::optional<std::string> valueName = request.unnamed ? std::optional<std::string>("") : request.value;
  const bool times = request.times || request.format == OutputFormat::Json;
  std::unique_ptr<QueryOutput> output = outputFor(request);
  QueryWalk walk(*key, *output, times, failures);
  if (!request.format) std::cout << "\n";
  if (valueName && request.recursive) {
    walk.findValue(handle.get(), path, *valueName);
    output.reset();  // a table is printed before the count
    if (!request.format) std::cout << fmt::format("Search complete. Number of matches found: {}\n", walk.matches());
    return failures.failed() ? kExitFailure : kExitSuccess;
  }
  if (valueName) {
    // The unnamed value may be unset, as reg shows.
    if (valueName->empty() && !valueExists(handle.get(), "")) {
      output->unsetDefault(*key, path);
      return kExitSuccess;
    }
    ValueLine value{*valueName, 0, {}};
    if (queryValue(handle.get(), *valueName, value.type, value.data, ReportTo(failures.handler(), path)) !=
        ERROR_SUCCESS)
      return kExitFailure;
    walk.oneValue(handle.get(), path, value);
    return kExitSuccess;
  }
  walk.tree(handle.get(), path, request.recursive);
  return failures.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace talmoor::cli

#include <iostream>
#include <vector>

#include <fmt/format.h>

#include "browse/entry_copy.h"
#include "cli/cli_support.h"
#include "cli/key_argument.h"
#include "registry/value_text.h"
#include "cli/verbs.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"

namespace talmoor::cli {

namespace {

using namespace talmoor::registry;

constexpr const char* kDone = "The operation completed successfully.\n";

// Saves what changed, so that the change is on disk when the verb says done.
bool flush(const std::string& path, FailureReporter& failures) {
  ScopedKey key(openKeyByPath(path, kReadKeyAccess, ReportTo(failures.handler(), path)));
  if (!key.get()) return false;
  LONG rc = RegFlushKey(key.get());
  if (rc != ERROR_SUCCESS) failures.handler()(ErrorReport{rc, path, "", "Saving Hive"});
  return rc == ERROR_SUCCESS;
}

}  // namespace

int runAdd(const AddRequest& given) {
  AddRequest request = given;
  if (request.unnamed) request.value = "";
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key");
  if (key->subkey.empty() && !request.value) return reportProblem(key->display(), "a root key cannot be added");
  auto type = typeFromName(request.type);
  if (!type)
    return reportProblem(request.type,
                         "not a value type (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)");
  const std::string path = key->display();
  FailureReporter failures;
  if (request.value) {
    std::string problem;
    auto data = parseData(*type, request.data.value_or(""), problem);
    if (!data) return reportProblem(path, problem);
    std::string name = *request.value;
    search::ChangeClass change;
    change.modified.type = static_cast<int>(*type);
    if (!setValue(key->machine, 0, path, name, *data, *type, ReportTo(failures.handler(), path),
                  confirmingGate(change, request.force)))
      return kExitFailure;
  } else {
    // The keys on the way are made as reg makes them; the key itself is a
    // change through the write gate.
    const std::string parent = path.substr(0, path.rfind('\\'));
    std::string name = path.substr(parent.size() + 1);
    ScopedKey host;
    LONG rc = createKeyPrimitive("", 0, parent, *host.out(), kAllKeyAccess);
    if (rc != ERROR_SUCCESS) {
      failures.handler()(ErrorReport{rc, parent, "", "Creating Key"});
      return kExitFailure;
    }
    search::ChangeClass change;
    change.kind = search::kChangeKey;
    if (!createKey(key->machine, host.get(), parent, name, ReportTo(failures.handler(), parent),
                   confirmingGate(change, request.force), nullptr) &&
        failures.failed())
      return kExitFailure;
  }
  if (!flush(path, failures)) return kExitFailure;
  std::cout << kDone;
  return kExitSuccess;
}

int runDelete(const DeleteRequest& given) {
  DeleteRequest request = given;
  if (request.unnamed) request.value = "";
  auto key = parseKeyArgument(request.key);
  if (!key) return reportProblem(request.key, "not a registry key");
  const std::string path = key->display();
  FailureReporter failures;
  ReportTo report(failures.handler(), path);
  if (request.value) {
    ScopedKey handle(openKeyByPath(path, kAllKeyAccess, report, "Delete Value (Open Context)"));
    if (!handle.get()) return kExitFailure;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (queryValue(handle.get(), *request.value, type, data, report) != ERROR_SUCCESS) return kExitFailure;
    search::ChangeClass change;
    change.original.location.setComponent(kFullKeyPath, path);
    change.original.location.setComponent(kValueName, *request.value);
    if (!deleteValue(key->machine, handle.get(), std::nullopt, *request.value, report,
                     confirmingGate(change, request.force)))
      return kExitFailure;
  } else {
    if (key->subkey.empty()) return reportProblem(path, "a root key cannot be deleted");
    ScopedKey probe(openKeyByPath(path, kReadKeyAccess, report));
    if (!probe.get()) return kExitFailure;
    probe.reset();
    search::ChangeClass change;
    change.kind = search::kChangeKey;
    change.original.location.setComponent(kFullKeyPath, path);
    if (!deleteKey(key->machine, 0, path, report, confirmingGate(change, request.force))) return kExitFailure;
  }
  std::string parent = path.substr(0, path.rfind('\\'));
  if (!flush(request.value ? path : parent, failures)) return kExitFailure;
  std::cout << kDone;
  return kExitSuccess;
}

int runCopy(const CopyRequest& given) {
  CopyRequest request = given;
  if (request.unnamed) request.value = "";
  auto source = parseKeyArgument(request.source);
  if (!source) return reportProblem(request.source, "not a registry key");
  auto destination = parseKeyArgument(request.destination);
  if (!destination) return reportProblem(request.destination, "not a registry key");
  const std::string from = source->display();
  const std::string to = destination->display();
  const char* verb = request.move ? "move" : "copy";
  if (!request.value && (request.recursive || request.move || from == to)) {
    if (auto refusal = browse::copyRefusal(from, to, request.move)) return reportProblem(from, *refusal);
  }
  FailureReporter failures;
  {
    // The key (or value) must be there before anything is asked.
    ScopedKey probe(openKeyByPath(from, kReadKeyAccess, ReportTo(failures.handler(), from)));
    if (!probe.get()) return kExitFailure;
    if (request.value && !valueExists(probe.get(), *request.value))
      return reportProblem(from, fmt::format("has no value named '{}'", *request.value));
  }
  // A move deletes what it moved: asked once, as reg asks before a delete.
  if (request.move && !request.force &&
      messageBox(fmt::format("Move {} :\n\nFrom\t: '{}'\nTo\t: '{}'", request.value ? "Value" : "Key",
                             request.value ? from + "\\" + *request.value : from, to),
                 "Confirm Action", BoxButtons::YesNo, BoxIcon::Question) != IDYES) {
    std::cerr << "talmoor-cli: the operation was cancelled\n";
    return kExitFailure;
  }
  browse::CopyRun run;
  run.move = request.move;
  run.recursive = request.recursive;
  run.caption = request.move ? "Move Registry Entry" : "Copy Registry Entry";
  search::ChangeClass change;
  confirmAsRegDoes(change, request.force, request.move);
  bool reached = request.value ? browse::copyValue(from, *request.value, to, std::nullopt, run, change)
                               : browse::copyKeyBranch(from, to, run, change);
  const bool flushed = flush(to, failures) && (!request.move || flush(std::string(withoutLastComponent(from)), failures));
  if (!reached || !run.complete() || !flushed) {
    std::cerr << fmt::format("talmoor-cli: {} {}: {} keys and {} values came across; ", verb,
                             run.complete() ? "failed" : "incomplete", run.keysCopied, run.valuesCopied)
              << "Action was not completely successfull, please check the Results\n";
    return kExitFailure;
  }
  std::cout << kDone;
  return kExitSuccess;
}

}  // namespace talmoor::cli

#include "browse/key_actions.h"

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/file_time.h"
#include "search/replace/change_class.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

constexpr const char* kRootDeleteRefusal = "Cannot delete Root Keys my friend";

// A change record for one key, with the caption the confirmation shows.
search::ChangeClass keyChange(const std::string& path, const char* caption) {
  search::ChangeClass change;
  change.kind = search::kChangeKey;
  change.caption = caption;
  change.original.location.setComponent(registry::kFullKeyPath, path);
  return change;
}

}  // namespace

std::string_view parentPathOf(std::string_view path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

std::string_view keyNameOf(std::string_view path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

KeyStatus readKeyStatus(const std::string& path, bool isRoot) {
  KeyStatus status{"Unknown No. Sub Key(s)", "Unknown No. Value(s)"};
  ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess,
                                        ReportTo([](const ErrorReport&) { return true; }, path)));
  if (!key.get()) return status;
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS) {
    status.keys = fmt::format("{} {} Keys(s)", subkeys, isRoot ? "Root" : "Sub");
    status.values = fmt::format("{} Value(s)", values);
  }
  return status;
}

std::optional<std::string> keyPropertiesText(const std::string& path) {
  ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, ReportTo({}, path)));
  if (!key.get()) return std::nullopt;
  DWORD subkeys = 0, values = 0;
  FILETIME written;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, &written) != ERROR_SUCCESS)
    return std::nullopt;
  std::string when = registry::filetimeText(written);
  if (when.empty()) when = "Unknown";
  const auto className = registry::keyClass(key.get());
  return fmt::format("Key: {}\nClass: {}\nLast Written: {}\nSub Keys: {}\nValues: {}", path,
                     className.value_or("(none)"), when, subkeys, values);
}

bool saveKeyHive(const std::string& path) {
  ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, ReportTo({}, path)));
  if (!key.get()) return false;
  const LONG rc = RegFlushKey(key.get());
  if (rc != ERROR_SUCCESS) reportError({}, rc, path, "", "Saving Hive", nullptr, kVerbosityBox, 0);
  return rc == ERROR_SUCCESS;
}

bool deleteKeyAt(const std::string& path, WindowRef owner) {
  if (path.find('\\') == std::string::npos) {
    messageBox(kRootDeleteRefusal, "Delete", BoxButtons::Ok, BoxIcon::Stop, owner);
    return false;
  }
  auto change = keyChange(path, "Confirm Delete");
  const std::string parent(parentPathOf(path));
  if (!registry::deleteKey("", 0, path, ReportTo({}, path, nullptr, owner), search::writeGate(change, owner)))
    return false;
  return saveKeyHive(parent);
}

bool createKeyAt(const std::string& parentPath, std::string& name, WindowRef owner) {
  search::ChangeClass change;
  change.kind = search::kChangeKey;
  change.caption = "Confirm Create";
  ScopedKey host(registry::openKeyByPath(parentPath, registry::kAllKeyAccess, ReportTo({}, parentPath, nullptr, owner),
                                         "Creating Key (Open Parent)"));
  if (!host.get()) return false;
  if (!registry::createKey("", host.get(), parentPath, name, ReportTo({}, parentPath, nullptr, owner),
                           search::writeGate(change, owner), nullptr))
    return false;
  return saveKeyHive(parentPath);
}

bool renameKeyAt(const std::string& path, std::string& newName, WindowRef owner) {
  auto change = keyChange(path, "Confirm Rename");
  if (!registry::renameKey(path, newName, ReportTo({}, path, nullptr, owner), search::writeGate(change, owner)))
    return false;
  return saveKeyHive(std::string(parentPathOf(path)));
}

}  // namespace talmoor::browse

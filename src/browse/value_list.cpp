#include "browse/value_list.h"

#include <fmt/format.h>

#include <algorithm>

#include "platform/win32_errors.h"
#include "base/error_reporting.h"
#include "base/interaction.h"
#include "browse/browse_text.h"
#include "browse/key_actions.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "registry/root_keys.h"
#include "search/replace/change_class.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

constexpr const char* kUntitledValue = "(Untitled)";
constexpr const char* kDoubleWordIntel = "Double Word (Intel)";
constexpr std::size_t kCreateMenuRows = 12;

search::ChangeClass valueChange(const std::string& keyPath, const std::string& name, const char* caption) {
  search::ChangeClass change;
  change.kind = search::kChangeValue;
  change.caption = caption;
  change.original.location.setComponent(registry::kFullKeyPath, keyPath);
  change.original.location.setComponent(registry::kValueName, name);
  return change;
}

ScopedKey openForChange(const std::string& keyPath, const char* context, WindowRef owner) {
  return ScopedKey(
      registry::openKeyByPath(keyPath, registry::kAllKeyAccess, ReportTo({}, keyPath, nullptr, owner), context));
}

// Writes the value's new type or data as a change the confirmation calls
// `caption`, and saves its hive.
bool writeThroughGate(HKEY key, const std::string& keyPath, const std::string& name, DWORD type,
                      std::vector<BYTE> data, const char* caption, WindowRef owner) {
  auto change = valueChange(keyPath, name, caption);
  change.modified.type = static_cast<int>(type);
  std::string finalName = name;
  if (!registry::setValue("", key, std::nullopt, finalName, data, type, ReportTo({}, keyPath, nullptr, owner),
                          search::writeGate(change, owner)))
    return false;
  return saveKeyHive(keyPath);
}

}  // namespace

int valueImage(DWORD type) { return type < 13 ? static_cast<int>(type) : kUnknownTypeImage; }

std::string ValueRow::shownName() const {
  if (translatedName) return *translatedName;
  return rawName.empty() && !isNew ? std::string(registry::kDefaultValueLabel) : rawName;
}

std::string ValueRow::text(ValueColumn column) const {
  switch (column) {
    case ValueColumn::Name: return shownName();
    case ValueColumn::Data: return dataText;
    case ValueColumn::Type: return registry::typeName(static_cast<int>(type));
    case ValueColumn::Size: return fmt::format("{}", data.size());
  }
  return {};
}

ValueRow makeValueRow(std::string name, DWORD type, std::vector<BYTE> data) {
  ValueRow row;
  registry::DisplayContext nameContext;
  std::string readable = registry::displayString(name, nameContext);
  if (readable != name) row.translatedName = std::move(readable);
  row.rawName = std::move(name);
  row.type = type;
  registry::DisplayContext dataContext;
  row.dataText = registry::formatData(type, data, dataContext);
  row.data = std::move(data);
  return row;
}

ValueListing readValues(const std::string& path, const std::atomic<bool>* cancel, bool quiet) {
  ValueListing listing;
  ReportTo report = quiet ? ReportTo([](const ErrorReport&) { return true; }, path) : ReportTo({}, path);
  ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, report));
  if (!key.get()) {
    if (!quiet)
      messageBox("Cannot View Values in this Path, Unable to Open Key", "Failure", BoxButtons::Ok, BoxIcon::Stop);
    return listing;
  }
  listing.opened = true;
  registry::EnumerationRequest request(key.get(), 0, 0, ReportTo({}, path));
  request.cancel = cancel;
  registry::enumerateValues("", request, [&](const registry::ValueVisit& visit) {
    if (cancel && cancel->load()) {
      listing.cancelled = true;
      return 1;
    }
    listing.rows.push_back(makeValueRow(std::string(visit.name), visit.type,
                                        visit.data ? *visit.data : std::vector<BYTE>{}));
    return 0;
  });
  if (cancel && cancel->load()) listing.cancelled = true;
  return listing;
}

void ValueList::reset(std::string keyPath, std::vector<ValueRow> rows) {
  keyPath_ = std::move(keyPath);
  rows_ = std::move(rows);
}

void ValueList::clear() {
  keyPath_.clear();
  rows_.clear();
}

const ValueRow* ValueList::row(std::size_t index) const { return index < rows_.size() ? &rows_[index] : nullptr; }
ValueRow* ValueList::row(std::size_t index) { return index < rows_.size() ? &rows_[index] : nullptr; }

void ValueList::sortBy(ValueColumn column) {
  std::vector<std::pair<std::string, ValueRow>> keyed;
  keyed.reserve(rows_.size());
  for (auto& r : rows_) {
    std::string text = r.text(column);
    keyed.emplace_back(std::move(text), std::move(r));
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return lessIgnoringCase(a.first, b.first); });
  rows_.clear();
  for (auto& [text, r] : keyed) rows_.push_back(std::move(r));
}

std::optional<std::size_t> ValueList::findByPrefix(std::string_view text, bool actual) const {
  if (text.empty()) return std::nullopt;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (startsWithIgnoringCase(actual ? rows_[i].rawName : rows_[i].shownName(), text)) return i;
  return std::nullopt;
}

std::optional<std::size_t> ValueList::findByName(std::string_view rawName) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (!rows_[i].isNew && rows_[i].rawName == rawName) return i;
  return std::nullopt;
}

std::size_t ValueList::addNewRow(DWORD type) {
  ValueRow r;
  r.rawName = kUntitledValue;
  r.type = type;
  r.data = {0};
  r.isNew = true;
  registry::DisplayContext context;
  r.dataText = registry::formatData(type, r.data, context);
  rows_.push_back(std::move(r));
  return rows_.size() - 1;
}

void ValueList::removeRow(std::size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

void ValueList::replaceRow(std::size_t index, ValueRow r) {
  if (index < rows_.size()) rows_[index] = std::move(r);
}

std::string selectionStatus(std::size_t selected, std::size_t total) {
  return fmt::format("Selected {} of {} Value(s)", selected, total);
}

std::vector<CreatableType> creatableTypes() {
  std::vector<CreatableType> out;
  for (std::size_t i = 0; i < kCreateMenuRows && i < std::size(registry::kValueTypes); ++i) {
    const auto& row = registry::kValueTypes[i];
    if (std::string_view(row.name) == kDoubleWordIntel) continue;
    out.push_back({row.name, static_cast<DWORD>(row.type)});
  }
  return out;
}

std::vector<CreatableType> retypableTypes() {
  std::vector<CreatableType> out;
  for (const auto& row : registry::kValueTypes)
    if (row.type >= 0) out.push_back({row.name, static_cast<DWORD>(row.type)});
  return out;
}

bool createValueAt(const std::string& keyPath, std::string& name, DWORD type, WindowRef owner) {
  ScopedKey key(openForChange(keyPath, "Creating Value (Open Key)", owner));
  if (!key.get()) return false;
  auto change = valueChange(keyPath, name, "Confirm Overwrite");
  change.modified.type = static_cast<int>(type);
  std::vector<BYTE> data{0};
  if (!registry::setValue("", key.get(), std::nullopt, name, data, type, ReportTo({}, keyPath, nullptr, owner),
                          search::writeGate(change, owner)))
    return false;
  return saveKeyHive(keyPath);
}

bool renameValueAt(const std::string& keyPath, const std::string& oldName, std::string& newName, WindowRef owner) {
  ScopedKey key(openForChange(keyPath, "Renaming Value (Open Key)", owner));
  if (!key.get()) return false;
  auto change = valueChange(keyPath, oldName, "Confirm Overwrite");
  if (!registry::renameValue(key.get(), oldName, newName, ReportTo({}, keyPath, nullptr, owner),
                             search::writeGate(change, owner)))
    return false;
  return saveKeyHive(keyPath);
}

std::size_t deleteValuesAt(const std::string& keyPath, std::span<const std::string> names, WindowRef owner) {
  ScopedKey key(registry::openKeyByPath(keyPath, registry::kAllKeyAccess,
                                        ReportTo([](const ErrorReport&) { return true; }, keyPath)));
  if (!key.get()) {
    messageBox("Talmoor was unable to open the parent Key for the Value to be deleted with sufficient permissions "
               "to delete (this may be due to permission settings or may indicate an error).",
               "Delete Operation Failed", BoxButtons::Ok, BoxIcon::Stop, owner);
    return 0;
  }
  std::size_t deleted = 0;
  // One record for the batch: an answer "for all" holds for every value.
  search::ChangeClass change;
  change.kind = search::kChangeValue;
  auto gate = search::writeGate(change, owner);
  for (const auto& name : names) {
    change.resetEntries();
    change.original.location.setComponent(registry::kFullKeyPath, keyPath);
    change.original.location.setComponent(registry::kValueName, name);
    if (registry::deleteValue("", key.get(), std::nullopt, name, ReportTo({}, keyPath, nullptr, owner), gate))
      ++deleted;
    if (change.abort) break;
  }
  if (deleted) saveKeyHive(keyPath);
  return deleted;
}

bool changeValueType(const std::string& keyPath, const std::string& name, DWORD type, WindowRef owner) {
  ScopedKey key(openForChange(keyPath, "Changing Value Type (Open Key)", owner));
  if (!key.get()) return false;
  DWORD oldType = 0;
  std::vector<BYTE> data;
  if (registry::queryValue(key.get(), name, oldType, data, ReportTo({}, keyPath, nullptr, owner)) != ERROR_SUCCESS)
    return false;
  if (oldType == type) return true;
  return writeThroughGate(key.get(), keyPath, name, type, std::move(data), "Confirm Overwrite", owner);
}

bool writeValueData(const std::string& keyPath, const std::string& name, DWORD type, std::vector<BYTE> data,
                    WindowRef owner) {
  ScopedKey key(openForChange(keyPath, "Opening Key to Display Value Data", owner));
  if (!key.get()) return false;
  return writeThroughGate(key.get(), keyPath, name, type, std::move(data), "Data Changed", owner);
}

std::optional<ValueRow> readValue(const std::string& keyPath, const std::string& name) {
  ScopedKey key(registry::openKeyByPath(keyPath, registry::kReadKeyAccess, ReportTo({}, keyPath),
                                        "Opening Key to Display Value Data"));
  if (!key.get()) return std::nullopt;
  DWORD type = 0;
  std::vector<BYTE> data;
  const LONG rc = registry::queryValue(key.get(), name, type, data, ReportTo([](const ErrorReport&) { return true; },
                                                                             keyPath));
  if (rc != ERROR_SUCCESS) {
    reportError({}, rc, keyPath, name, "Retreiving Value Data for Editing", nullptr, kVerbosityBox, 0);
    return std::nullopt;
  }
  return makeValueRow(name, type, std::move(data));
}

}  // namespace talmoor::browse

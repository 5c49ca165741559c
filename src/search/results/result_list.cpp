#include "search/results/result_list.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "base/interaction.h"
#include "search/replace/text_match.h"
#include "registry/format_data.h"
#include "registry/access/registry_access.h"
#include "registry/root_keys.h"

namespace talmoor::search {

namespace {
constexpr std::size_t kSortedPrefix = 2600;
}  // namespace

int typeImageOf(DWORD type) {
  constexpr DWORD kHighestTypeImage = 12;
  constexpr int kCustomTypeImage = 11;
  return type > kHighestTypeImage ? kCustomTypeImage : static_cast<int>(type);
}

std::string ResultRow::valueName() const { return value == registry::kDefaultValueLabel ? std::string() : value; }

std::string ResultRow::keyPathText() const {
  std::string path = hive;
  for (const std::string* part : {&key, &subKey})
    if (!part->empty()) path += "\\" + *part;
  return path;
}

const std::string& ResultRow::column(int index) const {
  switch (index) {
    case kColumnHive: return hive;
    case kColumnKey: return key;
    case kColumnSubKey: return subKey;
    case kColumnValue: return value;
    case kColumnData: return data;
    default: return replacement;
  }
}

std::string& ResultRow::column(int index) { return const_cast<std::string&>(std::as_const(*this).column(index)); }

void splitRowPath(std::string_view path, std::string& hive, std::string& key, std::string& subKey) {
  auto first = path.find('\\');
  if (first == std::string_view::npos) {
    hive = path.empty() ? registry::kErrorName : std::string(path);
    key.clear();
    subKey.clear();
    return;
  }
  hive = std::string(path.substr(0, first));
  std::string_view rest = path.substr(first + 1);
  auto last = rest.rfind('\\');
  if (last == std::string_view::npos) {
    key.clear();
    subKey = std::string(rest);
  } else {
    key = std::string(rest.substr(0, last));
    subKey = std::string(rest.substr(last + 1));
  }
}

void ResultList::setListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void ResultList::queueNotice(ResultListChange::Kind kind, int row) { notices_.push_back({kind, row}); }

void ResultList::countChanged() { count_.store(rows_.size(), std::memory_order_release); }

void ResultList::deliverNotices() {
  std::unique_lock lock(mutex_);
  // One thread tells at a time, so that notices keep the order of the
  // changes; a listener that changes the list finds its own notice told
  // after it returns.
  if (delivering_) return;
  delivering_ = true;
  while (!notices_.empty()) {
    ResultListChange change = notices_.front();
    notices_.pop_front();
    Listener listener = listener_;
    lock.unlock();
    if (listener) listener(change);
    lock.lock();
  }
  delivering_ = false;
}

int ResultList::addRow(bool isKey, std::string_view path, std::optional<std::string_view> valueName,
                       std::span<const BYTE> data, DWORD type, std::optional<DataRecord> record, int statusMark,
                       RowOutcome outcome) {
  ResultRow row;
  splitRowPath(path, row.hive, row.key, row.subKey);
  if (!isKey) {
    row.value = valueName && !valueName->empty() ? std::string(*valueName) : registry::kDefaultValueLabel;
    row.typeImage = typeImageOf(type);
    registry::DisplayContext context;
    row.data = registry::formatData(type, data, context);
  }
  row.record = std::move(record);
  row.statusMark = statusMark;
  row.outcome = outcome;
  return addRow(std::move(row));
}

int ResultList::addRow(ResultRow row) {
  int index = -1;
  {
    std::lock_guard lock(mutex_);
    // A row's index is an int, as the window counts rows: a list that
    // cannot number another row refuses it. Running out of memory is the
    // program's fatal stop, wherever it happens.
    if (rows_.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
      messageBox("Failed to Add Search Result", "Sorry");
      return -1;
    }
    rows_.push_back(std::make_shared<const ResultRow>(std::move(row)));
    countChanged();
    index = static_cast<int>(rows_.size() - 1);
    queueNotice(ResultListChange::Added, index);
  }
  deliverNotices();
  return index;
}

std::shared_ptr<const ResultRow> ResultList::rowAt(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < rows_.size() ? rows_[index] : nullptr;
}

CellView ResultList::cell(std::size_t index, int column) const {
  CellView view;
  view.row = rowAt(index);
  if (!view.row) return view;
  if (column >= 0 && column < kColumnCount) view.text = view.row->column(column);
  if (view.row->record) {
    view.data = view.row->record->bytes;
    view.dataType = view.row->record->type;
  }
  return view;
}

ResultRow ResultList::row(std::size_t index) const {
  Row shared = rowAt(index);
  return shared ? *shared : ResultRow{};
}

std::vector<std::shared_ptr<const ResultRow>> ResultList::snapshot() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<ResultRow> ResultList::rows() const {
  std::vector<ResultRow> copies;
  // The copies are made outside the lock: the rows do not change.
  for (const Row& shared : snapshot()) copies.push_back(*shared);
  return copies;
}

bool ResultList::update(std::size_t index, const std::function<void(ResultRow&)>& change) {
  {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) return false;
    auto changed = std::make_shared<ResultRow>(*rows_[index]);
    change(*changed);
    rows_[index] = std::move(changed);
    queueNotice(ResultListChange::Changed, static_cast<int>(index));
  }
  deliverNotices();
  return true;
}

void ResultList::removeLocked(std::size_t index) {
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  countChanged();
  queueNotice(ResultListChange::Removed, static_cast<int>(index));
}

void ResultList::remove(std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) return;
    removeLocked(index);
  }
  deliverNotices();
}

std::size_t ResultList::removeSelected() {
  std::size_t removed = 0;
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < rows_.size();) {
      if (rows_[i]->selected) {
        removeLocked(i);
        ++removed;
      } else {
        ++i;
      }
    }
  }
  deliverNotices();
  return removed;
}

void ResultList::select(std::size_t index, bool selected) {
  {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) return;
    // A row already in that state is not copied for nothing.
    if (rows_[index]->selected != selected) {
      auto changed = std::make_shared<ResultRow>(*rows_[index]);
      changed->selected = selected;
      rows_[index] = std::move(changed);
    }
    queueNotice(ResultListChange::Changed, static_cast<int>(index));
  }
  deliverNotices();
}

std::size_t ResultList::selectedCountLocked() const {
  return static_cast<std::size_t>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r->selected; }));
}

std::size_t ResultList::selectedCount() const {
  std::lock_guard lock(mutex_);
  return selectedCountLocked();
}

std::vector<std::size_t> ResultList::selectedRows() const {
  std::lock_guard lock(mutex_);
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i]->selected) selected.push_back(i);
  return selected;
}

void ResultList::clear(const std::function<void(std::size_t remaining)>& progress) {
  for (;;) {
    std::size_t count = size();
    if (count == 0) break;
    // Counting down from the number of rows; rows added meanwhile are
    // found when the list is counted again.
    for (; count > 0; --count) {
      if (progress && count % 10 == 0) progress(count);
      remove(0);
    }
  }
  {
    std::lock_guard lock(mutex_);
    queueNotice(ResultListChange::Cleared, -1);
  }
  deliverNotices();
}

bool ResultList::sortByColumn(int column) {
  if (column < 0 || column >= kColumnCount) return false;
  {
    std::lock_guard lock(mutex_);
    auto key = [column](const Row& row) {
      std::string_view text = row->column(column);
      return foldedAscii(text.substr(0, std::min(text.size(), kSortedPrefix)));
    };
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) { return key(a) < key(b); });
    queueNotice(ResultListChange::Sorted, -1);
  }
  deliverNotices();
  return true;
}

bool ResultList::hasReplacementColumn() const {
  std::lock_guard lock(mutex_);
  return replacementColumn_;
}

void ResultList::addReplacementColumn() {
  {
    std::lock_guard lock(mutex_);
    if (replacementColumn_) return;
    replacementColumn_ = true;
    queueNotice(ResultListChange::ColumnAdded, kColumnReplacement);
  }
  deliverNotices();
}

std::string ResultList::countStatus() const {
  std::lock_guard lock(mutex_);
  if (rows_.empty()) return "No items found.";
  std::size_t selected = selectedCountLocked();
  if (selected) return fmt::format("Selected {} out of {} items.", selected, rows_.size());
  return fmt::format("Found {} items.", rows_.size());
}

bool ResultList::setRecord(std::size_t index, DataRecord record) {
  return update(index, [&record](ResultRow& row) {
    if (row.hasValueName()) {
      registry::DisplayContext context;
      row.data = registry::formatData(static_cast<DWORD>(std::max(record.type, 0)), record.bytes, context);
    }
    row.record = std::move(record);
  });
}

}  // namespace talmoor::search

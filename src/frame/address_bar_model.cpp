#include "frame/address_bar_model.h"

#include <algorithm>

#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::frame {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\\')) text.remove_suffix(1);
  return text;
}

// The root a typed first component names, in its long ("HKEY_USERS") or
// short ("HKU") form, in any case; 0 for none. Typed text is looser than a
// stored path: "hkcu" alone is a root here.
HKEY typedRoot(std::string_view first) {
  for (const auto& row : registry::kRootKeys) {
    if (!row.handle) continue;
    if (sameIgnoringCase(first, std::string("HKEY_") + row.longName) ||
        sameIgnoringCase(first, std::string("HK") + row.shortName))
      return row.handle;
  }
  return 0;
}

}  // namespace

AddressBarModel::AddressBarModel() {
  computers_.emplace_back(kLocalComputer);
  for (const auto& row : registry::kRootKeys)
    if (row.handle) hives_.push_back(registry::fullRootName(row.handle));
}

void AddressBarModel::addComputer(std::string name) {
  if (std::none_of(computers_.begin(), computers_.end(), [&](const std::string& c) { return sameIgnoringCase(c, name); }))
    computers_.push_back(std::move(name));
}

void AddressBarModel::removeComputer(std::string_view name) {
  if (name == kLocalComputer) return;
  std::erase_if(computers_, [&](const std::string& c) { return sameIgnoringCase(c, name); });
}

void AddressBarModel::visit(const std::string& fullPath) {
  if (fullPath.empty()) return;
  std::erase_if(history_, [&](const std::string& seen) { return sameIgnoringCase(seen, fullPath); });
  history_.insert(history_.begin(), fullPath);
  if (history_.size() > kHistoryLength) history_.resize(kHistoryLength);
}

std::string AddressBarModel::resolve(std::string_view computer, std::string_view hive, std::string_view typed) {
  typed = trimmed(typed);
  std::string machine;
  if (registry::splitMachine(typed)) {
    // A typed "\\machine\..." names its machine itself.
    return std::string(typed);
  }
  if (!computer.empty() && computer != kLocalComputer) machine = "\\\\" + std::string(computer) + "\\";
  while (!typed.empty() && typed.front() == '\\') typed.remove_prefix(1);
  const std::string_view first = typed.substr(0, typed.find('\\'));
  // The root in its full form, so that the path opens whatever case it was typed in.
  if (HKEY root = typedRoot(first)) return machine + registry::fullRootName(root) + std::string(typed.substr(first.size()));
  std::string path = machine + std::string(hive);
  if (!typed.empty()) path.append("\\").append(typed);
  return path;
}

AddressParts AddressBarModel::split(std::string_view fullPath) {
  AddressParts parts{std::string(kLocalComputer), {}, {}};
  std::string rest(fullPath);
  if (auto machine = registry::splitMachine(fullPath)) {
    parts.computer = machine->machine;
    rest = machine->rest;
  }
  const auto cut = rest.find('\\');
  const std::string first = rest.substr(0, cut);
  const HKEY root = typedRoot(first);
  parts.hive = root ? registry::fullRootName(root) : first;
  if (cut != std::string::npos) parts.path = rest.substr(cut + 1);
  return parts;
}

}  // namespace talmoor::frame

#include "platform/registry/registry_host.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/registry/registry_constants.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"
#include "platform/thread_context.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr REGSAM kFullAccess = KEY_ALL_ACCESS | ACCESS_SYSTEM_SECURITY;
constexpr REGSAM kValidKeyRights = KEY_ALL_ACCESS | ACCESS_SYSTEM_SECURITY | SYNCHRONIZE;

REGSAM grantedAccess(REGSAM requested) {
  REGSAM access = requested & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (access & MAXIMUM_ALLOWED) access |= kFullAccess;
  if (access & GENERIC_READ) access |= KEY_READ;
  if (access & GENERIC_WRITE) access |= KEY_WRITE;
  if (access & GENERIC_EXECUTE) access |= KEY_EXECUTE;
  if (access & GENERIC_ALL) access |= KEY_ALL_ACCESS;
  return access & kValidKeyRights;
}

std::string describeKey(const KeyNode& key) { return wideToAnsi(MachineRegistry::nativePathOf(key)); }

LONG requireWritable(const KeyNode& key) {
  auto hive = key.hive();
  if (!hive) {
    setErrorDetail(fmt::format("{} belongs to no hive file and cannot be changed", describeKey(key)));
    return ERROR_ACCESS_DENIED;
  }
  if (hive->readOnly()) {
    setErrorDetail(hive->readOnlyReason());
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

// Levels from the key's hive root down to the key; 0 for a key of no hive.
std::size_t depthInHive(const KeyNode& key) {
  auto hive = key.hive();
  if (!hive) return 0;
  std::size_t depth = 0;
  for (auto node = key.shared_from_this(); node && node != hive->root(); node = node->parent()) ++depth;
  return depth;
}

// The change log of the hive a saved key belongs to; null for keys kept in
// memory only.
HiveChangeLog* changeLogOf(const KeyNode& key) {
  if (key.isVolatile) return nullptr;
  auto hive = key.hive();
  return hive ? &hive->changes() : nullptr;
}

// Turns a virtual key below a hive key into a listed key of that hive.
LONG becomeHiveKey(KeyNode& parent, const std::shared_ptr<KeyNode>& child) {
  if (LONG rc = requireWritable(parent); rc != ERROR_SUCCESS) return rc;
  parent.removeSubkey(*child);
  child->isVolatile = false;
  child->setHive(parent.hive());
  child->lastWrite = currentFiletime();
  parent.addSubkey(child);
  parent.lastWrite = child->lastWrite;
  parent.hive()->markDirty();
  if (auto* log = changeLogOf(*child)) log->keyCreated(child);
  return ERROR_SUCCESS;
}

// A change of the key's values or subkey list.
void touch(KeyNode& key) {
  key.lastWrite = currentFiletime();
  if (key.isVolatile) return;
  if (auto hive = key.hive()) hive->markDirty();
}

const std::vector<BYTE>& effectiveSecurity(const KeyNode& key) {
  if (!key.security.empty()) return key.security;
  if (auto hive = key.hive()) return hive->defaultSecurity();
  static const std::vector<BYTE> fallback = defaultKeySecurity();
  return fallback;
}

DWORD narrow(std::size_t n) { return static_cast<DWORD>(std::min<std::size_t>(n, 0xFFFFFFFFu)); }

// The value's data length after the ANSI calls convert it.
template <typename Value>
std::size_t ansiDataLength(const Value& value) {
  if (!isStringType(value.type)) return value.data.size();
  // Most text is ASCII, one byte a unit; only other text is decoded to be measured.
  const std::size_t units = value.data.size() / 2;
  bool ascii = true;
  for (std::size_t i = 0; i < units && ascii; ++i) ascii = value.data[2 * i] < 0x80 && value.data[2 * i + 1] == 0;
  if (ascii) return units;
  return ansiLengthOf(utf16FromBytes(value.data));
}

ValueEntry copyOf(const RegValue& value) { return ValueEntry{value.name, value.type, value.data.toVector()}; }

bool isMountParent(const MachineRegistry& machine, const KeyNode& key) {
  return &key == machine.machineRoot().get() || &key == machine.usersRoot().get();
}

// "REGISTRY\Machine\..." as Wine's files name the place their keys hang from.
std::u16string headerPathOf(const KeyNode& key) {
  std::u16string path = MachineRegistry::nativePathOf(key).substr(1);
  auto replaceSecond = [&](std::u16string_view upper, std::u16string_view shown) {
    std::u16string prefix = u"REGISTRY\\" + std::u16string(upper);
    if (path.size() >= prefix.size() && namesEqual(std::u16string_view(path).substr(0, prefix.size()), prefix) &&
        (path.size() == prefix.size() || path[prefix.size()] == u'\\'))
      path = u"REGISTRY\\" + std::u16string(shown) + path.substr(prefix.size());
  };
  replaceSecond(u"MACHINE", u"Machine");
  replaceSecond(u"USER", u"User");
  return path;
}

std::string localHostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return buffer;
}

}  // namespace

RegistryHost::RegistryHost(std::shared_ptr<MachineRegistry> local)
    : local_(std::move(local)), filters_(std::make_shared<std::vector<std::shared_ptr<RegistryFilter>>>()) {
  localNames_.push_back("localhost");
  if (auto host = localHostName(); !host.empty()) {
    localNames_.push_back(host);
    if (auto dot = host.find('.'); dot != std::string::npos) localNames_.push_back(host.substr(0, dot));
  }
}

RegistryHost::~RegistryHost() { flushAll(); }

void RegistryHost::addLocalMachineName(std::string name) { localNames_.push_back(std::move(name)); }

void RegistryHost::setHostPathResolver(
    std::function<std::optional<std::filesystem::path>(std::string_view)> resolver) {
  resolver_ = std::move(resolver);
}

std::optional<std::filesystem::path> RegistryHost::hostPathOf(std::string_view fileName) const {
  if (fileName.empty()) return std::nullopt;
  if (resolver_) return resolver_(fileName);
  return std::filesystem::path(std::string(fileName));
}

void RegistryHost::addFilter(std::shared_ptr<RegistryFilter> filter) {
  std::lock_guard lock(filterMutex_);
  auto next = std::make_shared<std::vector<std::shared_ptr<RegistryFilter>>>(*filters_);
  next->push_back(std::move(filter));
  filters_ = std::move(next);
  hasFilters_ = true;
}

void RegistryHost::removeFilter(const std::shared_ptr<RegistryFilter>& filter) {
  std::lock_guard lock(filterMutex_);
  auto next = std::make_shared<std::vector<std::shared_ptr<RegistryFilter>>>(*filters_);
  next->erase(std::remove(next->begin(), next->end(), filter), next->end());
  hasFilters_ = !next->empty();
  filters_ = std::move(next);
}

std::shared_ptr<const std::vector<std::shared_ptr<RegistryFilter>>> RegistryHost::filters() const {
  std::lock_guard lock(filterMutex_);
  return filters_;
}

LONG RegistryHost::resolve(HKEY handle, HandleEntry& entry) {
  if (!isPredefinedKey(handle)) {
    auto found = handles_.find(handle);
    if (!found) return ERROR_INVALID_HANDLE;
    entry = std::move(*found);
    return ERROR_SUCCESS;
  }
  MachineRegistry& machine = *local_;
  std::u16string sid = machine.currentUserSid();
  std::shared_lock lock(machine.treeMutex());
  entry.machine = local_;
  entry.access = kFullAccess;
  switch (handle) {
    case HKEY_LOCAL_MACHINE: entry.key = machine.machineRoot(); break;
    case HKEY_USERS: entry.key = machine.usersRoot(); break;
    case HKEY_CURRENT_USER: {
      auto users = machine.usersRoot();
      entry.key = sid.empty() ? nullptr : users->findSubkey(sid);
      if (!entry.key) entry.key = users->findSubkey(u".Default");
      break;
    }
    case HKEY_CLASSES_ROOT:
      machine.resolveNative(u"\\REGISTRY\\MACHINE\\Software\\Classes", false, entry.key);
      break;
    case HKEY_CURRENT_CONFIG:
      machine.resolveNative(u"\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current", false,
                            entry.key);
      break;
    default: entry.key = machine.emptyRoot(); break;
  }
  return entry.key ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

bool RegistryHost::applyFilters(std::u16string_view path, ValueEntry& value) const {
  auto chain = filters();
  for (const auto& filter : *chain)
    if (!filter->filterValue(path, value.name, value.type, value.data)) return false;
  return true;
}

LONG RegistryHost::openKey(HKEY parent, std::u16string_view subkey, DWORD options, REGSAM access, HKEY& result) {
  HandleEntry entry;
  if (LONG rc = resolve(parent, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<KeyNode> target;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    if (entry.key->deleted) return ERROR_KEY_DELETED;
    if (LONG rc = entry.machine->walk(entry.key, subkey, options & REG_OPTION_OPEN_LINK, target);
        rc != ERROR_SUCCESS)
      return rc;
  }
  result = handles_.insert(HandleEntry{entry.machine, std::move(target), grantedAccess(access)});
  return ERROR_SUCCESS;
}

LONG RegistryHost::createKey(HKEY parent, std::u16string_view subkey, const std::u16string* className,
                             DWORD options, REGSAM access, const SECURITY_ATTRIBUTES* security, HKEY& result,
                             DWORD* disposition) {
  HandleEntry entry;
  if (LONG rc = resolve(parent, entry); rc != ERROR_SUCCESS) return rc;
  std::vector<std::u16string_view> parts;
  if (LONG rc = splitKeyPath(subkey, parts); rc != ERROR_SUCCESS) return rc;
  for (auto part : parts)
    if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
  std::vector<BYTE> descriptor;
  if (security && security->lpSecurityDescriptor) {
    auto copied = copySelfRelativeDescriptor(security->lpSecurityDescriptor);
    if (!copied) return ERROR_INVALID_SECURITY_DESCR;
    descriptor = std::move(*copied);
  }

  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  std::shared_ptr<KeyNode> node = entry.key;
  bool created = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    if (auto child = node->findSubkey(parts[i])) {
      if (last && (options & REG_OPTION_CREATE_LINK)) return ERROR_ALREADY_EXISTS;
      const bool keysGoBelow = !last && !child->findSubkey(parts[i + 1]);
      if (isVirtualKey(*child) && (last || keysGoBelow) && !(options & REG_OPTION_VOLATILE) && !node->isVolatile &&
          node->hive()) {
        // A key made on the way to a mount point becomes a key of the hive
        // it stands in once one is asked for there, or keys are made below
        // it; a path that only passes through leaves it as it is.
        if (LONG rc = becomeHiveKey(*node, child); rc != ERROR_SUCCESS) return rc;
        created = created || last;
      }
      if (child->isLink && !(last && (options & REG_OPTION_OPEN_LINK))) {
        if (LONG rc = entry.machine->walk(node, parts[i], false, child); rc != ERROR_SUCCESS) return rc;
      }
      node = std::move(child);
      continue;
    }
    if (node == entry.key && !(entry.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (LONG rc = requireWritable(*node); rc != ERROR_SUCCESS) return rc;
    bool makeVolatile = options & REG_OPTION_VOLATILE;
    if (node->isVolatile && !makeVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
    // Checked before the first key is made, so that a refused path leaves
    // nothing half-created behind.
    if (depthInHive(*node) + (parts.size() - i) > kMaxKeyDepth) {
      setErrorDetail(fmt::format("{}: a key may lie at most {} levels below its hive's root", describeKey(*node),
                                 kMaxKeyDepth));
      return ERROR_INVALID_PARAMETER;
    }
    auto child = std::make_shared<KeyNode>(std::u16string(parts[i]));
    child->isVolatile = makeVolatile;
    child->lastWrite = currentFiletime();
    child->setHive(node->hive());
    if (last) {
      if (className) child->className = *className;
      child->isLink = options & REG_OPTION_CREATE_LINK;
      child->security = descriptor;
    }
    node->addSubkey(child);
    touch(*node);
    if (auto* log = changeLogOf(*child)) log->keyCreated(child);
    node = std::move(child);
    created = true;
  }
  lock.unlock();
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  result = handles_.insert(HandleEntry{entry.machine, std::move(node), grantedAccess(access)});
  return ERROR_SUCCESS;
}

LONG RegistryHost::closeKey(HKEY key) {
  if (isPredefinedKey(key)) return ERROR_SUCCESS;
  std::optional<HandleEntry> closed = handles_.take(key);
  if (!closed) return ERROR_INVALID_HANDLE;
  forgetUnused(*closed);
  return ERROR_SUCCESS;
}

void RegistryHost::forgetUnused(HandleEntry& closed) {
  // What a walk read below a key is given back when it closes the key, so
  // that a walk over a whole hive holds the keys on its way and not the
  // hive: a key nothing else holds comes back alike from the file. Handles
  // below the key, and changes to the hive, keep everything as it is.
  std::shared_ptr<KeyNode> node = std::move(closed.key);
  if (!node->subkeysPending() || !node->valuesPending()) {
    auto hive = node->hive();
    if (!hive || !hive->mayForgetKeys()) return;
    // Only an optimisation: never waited for.
    std::unique_lock lock(closed.machine->treeMutex(), std::try_to_lock);
    if (lock.owns_lock() && !node->deleted) node->forgetContents();
  }
}

LONG RegistryHost::enumKey(HKEY key, DWORD index, SubkeyEntry& out) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  if (!(entry.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  const auto& subkeys = entry.key->subkeys();
  if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const auto& child = *subkeys[index];
  out.name = child.name();
  out.className = child.className;
  out.lastWrite = child.lastWrite;
  return ERROR_SUCCESS;
}

LONG RegistryHost::enumValue(HKEY key, DWORD index, ValueEntry& out) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::vector<ValueEntry> all;
  std::u16string path;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    if (entry.key->deleted) return ERROR_KEY_DELETED;
    if (!(entry.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const auto& values = entry.key->values();
    if (!hasFilters_) {
      if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
      out = copyOf(values[index]);
      return ERROR_SUCCESS;
    }
    for (const auto& value : values) all.push_back(copyOf(value));
    path = MachineRegistry::nativePathOf(*entry.key);
  }
  // Filters run outside the lock: they may call the registry themselves.
  DWORD visible = 0;
  for (auto& value : all) {
    if (!applyFilters(path, value)) continue;
    if (visible++ == index) {
      out = std::move(value);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_NO_MORE_ITEMS;
}

LONG RegistryHost::readContents(HKEY key, KeyContentsSink& sink) {
  if (hasFilters_) return ERROR_NOT_SUPPORTED;
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  const KeyNode& node = *entry.key;
  if (node.deleted) return ERROR_KEY_DELETED;
  constexpr REGSAM kNeeded = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
  if ((entry.access & kNeeded) != kNeeded) return ERROR_ACCESS_DENIED;
  for (const auto& value : node.values()) sink.value(value.name, value.type, value.data.bytes());
  for (const auto& child : node.subkeys()) sink.subkey(child->name());
  return ERROR_SUCCESS;
}

namespace {
template <typename Value>  // a stored value or a filtered copy
void countValue(KeyInformation& out, const Value& value, bool measure) {
  ++out.valueCount;
  if (!measure) return;
  out.maxValueName = std::max(out.maxValueName, narrow(value.name.size()));
  out.maxValueNameAnsi = std::max(out.maxValueNameAnsi, narrow(ansiLengthOf(value.name)));
  out.maxValueData = std::max(out.maxValueData, narrow(value.data.size()));
  // A buffer sized from this must hold both the stored and converted forms.
  out.maxValueDataAnsi = std::max({out.maxValueDataAnsi, narrow(value.data.size()), narrow(ansiDataLength(value))});
}
}  // namespace

LONG RegistryHost::queryInfo(HKEY key, KeyInformation& out, unsigned parts) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  const bool measureValues = parts & kInfoValueLengths;
  std::vector<ValueEntry> values;
  std::u16string path;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    const KeyNode& node = *entry.key;
    if (node.deleted) return ERROR_KEY_DELETED;
    if (!(entry.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    out = KeyInformation{};
    out.className = node.className;
    out.subkeyCount = narrow(node.subkeys().size());
    if (parts & kInfoSubkeyLengths) {
      for (const auto& child : node.subkeys()) {
        out.maxSubkeyName = std::max(out.maxSubkeyName, narrow(child->name().size()));
        out.maxSubkeyNameAnsi = std::max(out.maxSubkeyNameAnsi, narrow(ansiLengthOf(child->name())));
        if (child->className) {
          out.maxClass = std::max(out.maxClass, narrow(child->className->size()));
          out.maxClassAnsi = std::max(out.maxClassAnsi, narrow(ansiLengthOf(*child->className)));
        }
      }
    }
    out.securitySize = narrow(effectiveSecurity(node).size());
    out.lastWrite = node.lastWrite;
    if (!(parts & (kInfoValues | kInfoValueLengths))) return ERROR_SUCCESS;
    if (!hasFilters_) {
      // Without filters the values are measured where they are; filters
      // run outside the lock, on copies.
      if (!measureValues) {
        out.valueCount = narrow(node.values().size());
        return ERROR_SUCCESS;
      }
      for (const auto& value : node.values()) countValue(out, value, true);
      return ERROR_SUCCESS;
    }
    values.reserve(node.values().size());
    for (const auto& value : node.values()) values.push_back(copyOf(value));
    path = MachineRegistry::nativePathOf(node);
  }
  for (auto& value : values)
    if (applyFilters(path, value)) countValue(out, value, measureValues);
  return ERROR_SUCCESS;
}

LONG RegistryHost::readValue(HKEY key, std::u16string_view name, ValueEntry& out, std::u16string* path) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  if (!(entry.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegValue* value = entry.key->findValue(name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  out = copyOf(*value);
  if (path) *path = MachineRegistry::nativePathOf(*entry.key);
  return ERROR_SUCCESS;
}

LONG RegistryHost::queryValueNative(HKEY key, std::u16string_view name, ValueEntry& out) {
  return readValue(key, name, out, nullptr);
}

LONG RegistryHost::queryValue(HKEY key, std::u16string_view name, ValueEntry& out) {
  if (!hasFilters_) return readValue(key, name, out, nullptr);
  std::u16string path;
  if (LONG rc = readValue(key, name, out, &path); rc != ERROR_SUCCESS) return rc;
  return applyFilters(path, out) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegistryHost::setValue(HKEY key, std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  if (!(entry.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (LONG rc = requireWritable(*entry.key); rc != ERROR_SUCCESS) return rc;
  entry.key->setValue(name, type, std::move(data));
  touch(*entry.key);
  if (auto* log = changeLogOf(*entry.key)) log->valueSet(entry.key, name);
  return ERROR_SUCCESS;
}

namespace {

// The key at `subkey` below the handle's key (empty: the key itself, which a
// predefined handle never names for a change); the caller holds the tree lock.
LONG changeTarget(HKEY key, const HandleEntry& entry, std::u16string_view subkey,
                  std::shared_ptr<KeyNode>& target) {
  std::vector<std::u16string_view> parts;
  if (LONG rc = splitKeyPath(subkey, parts); rc != ERROR_SUCCESS) return rc;
  if (!parts.empty()) return entry.machine->walk(entry.key, subkey, true, target);
  if (isPredefinedKey(key)) return ERROR_ACCESS_DENIED;
  target = entry.key;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegistryHost::deleteKey(HKEY key, std::u16string_view subkey) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  std::shared_ptr<KeyNode> target;
  if (LONG rc = changeTarget(key, entry, subkey, target); rc != ERROR_SUCCESS) return rc;
  // A handle deletes its own key only with the right to.
  if (target == entry.key && !(entry.access & DELETE)) return ERROR_ACCESS_DENIED;
  auto hive = target->hive();
  auto parent = target->parent();
  if (!parent || (hive && hive->root() == target)) {
    setErrorDetail(fmt::format("{} is the root of a hive and cannot be deleted", describeKey(*target)));
    return ERROR_ACCESS_DENIED;
  }
  if (LONG rc = requireWritable(*target); rc != ERROR_SUCCESS) return rc;
  // As on Windows NT, a key is deleted only once its subkeys are gone.
  if (!target->subkeys().empty()) return ERROR_ACCESS_DENIED;
  if (auto* log = changeLogOf(*target)) log->keyDeleted(*target, *hive->root());
  parent->removeSubkey(*target);
  target->deleted = true;
  // What is hidden below it (the program's own settings hive) is not the
  // registry's to lose: a virtual key of the same name keeps its path, as
  // hidden as what it holds.
  if (!target->hiddenSubkeys().empty()) {
    auto keeper = makeVirtualKey(target->name());
    keeper->moveChildrenFrom(*target);
    parent->addHiddenSubkey(std::move(keeper));
  }
  touch(*parent);
  return ERROR_SUCCESS;
}

LONG RegistryHost::renameKey(HKEY key, std::u16string_view subkey, std::u16string_view newName) {
  if (newName.empty() || newName.find(u'\\') != std::u16string_view::npos) return ERROR_INVALID_PARAMETER;
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  std::shared_ptr<KeyNode> target;
  if (LONG rc = changeTarget(key, entry, subkey, target); rc != ERROR_SUCCESS) return rc;
  auto hive = target->hive();
  auto parent = target->parent();
  if (!parent || (hive && hive->root() == target)) {
    setErrorDetail(fmt::format("{} is the root of a hive and keeps its name", describeKey(*target)));
    return ERROR_ACCESS_DENIED;
  }
  if (LONG rc = requireWritable(*target); rc != ERROR_SUCCESS) return rc;
  // A hive mounted below keeps the path it was loaded at in the list of
  // loaded hives; renaming the way to it would leave that list wrong.
  for (const auto& mounted : entry.machine->hivesHeld()) {
    if (mounted == hive || !mounted->root()) continue;
    for (auto above = mounted->root()->parent(); above; above = above->parent()) {
      if (above != target) continue;
      setErrorDetail(fmt::format("a hive is mounted below {}; unload it first", describeKey(*target)));
      return ERROR_ACCESS_DENIED;
    }
  }
  if (auto other = parent->findSubkey(newName); other && other != target) return ERROR_ALREADY_EXISTS;
  // To whoever merges our changes with the file's, a rename is the old key
  // gone and a new one, with all it holds, come.
  if (auto* log = changeLogOf(*target)) log->keyDeleted(*target, *hive->root());
  parent->removeSubkey(*target);
  target->rename(std::u16string(newName));
  parent->addSubkey(target);
  if (auto* log = changeLogOf(*target)) log->keyCreated(target);
  touch(*parent);
  return ERROR_SUCCESS;
}

namespace {

// The first key at or below `key` that cannot be deleted, with the reason in
// the error detail. Links are not followed: deleting one deletes the link.
LONG findUndeletable(const KeyNode& key, const std::shared_ptr<Hive>& ownHive, std::size_t depth) {
  auto hive = key.hive();
  if (hive && hive != ownHive) {
    setErrorDetail(fmt::format("{} is the root of a hive mounted there and cannot be deleted; unload it first",
                               describeKey(key)));
    return ERROR_ACCESS_DENIED;
  }
  if (LONG rc = requireWritable(key); rc != ERROR_SUCCESS) return rc;
  if (depth > kMaxKeyDepth) {
    setErrorDetail(fmt::format("{} lies deeper than {} levels", describeKey(key), kMaxKeyDepth));
    return ERROR_INVALID_PARAMETER;
  }
  for (const auto& child : key.subkeys())
    if (LONG rc = findUndeletable(*child, ownHive, depth + 1); rc != ERROR_SUCCESS) return rc;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegistryHost::checkDeleteTree(HKEY key, std::u16string_view subkey) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  std::vector<std::u16string_view> parts;
  if (LONG rc = splitKeyPath(subkey, parts); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<KeyNode> target;
  if (parts.empty()) {
    if (isPredefinedKey(key)) {
      setErrorDetail(fmt::format("{} is a root key and cannot be deleted", describeKey(*entry.key)));
      return ERROR_ACCESS_DENIED;
    }
    target = entry.key;
  } else if (LONG rc = entry.machine->walk(entry.key, subkey, true, target); rc != ERROR_SUCCESS) {
    return rc;
  }
  auto hive = target->hive();
  if (!target->parent() || (hive && hive->root() == target)) {
    setErrorDetail(fmt::format("{} is the root of a hive and cannot be deleted", describeKey(*target)));
    return ERROR_ACCESS_DENIED;
  }
  return findUndeletable(*target, hive, 0);
}

LONG RegistryHost::deleteValue(HKEY key, std::u16string_view name) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  if (!(entry.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!entry.key->findValue(name)) return ERROR_FILE_NOT_FOUND;
  if (LONG rc = requireWritable(*entry.key); rc != ERROR_SUCCESS) return rc;
  entry.key->deleteValue(name);
  touch(*entry.key);
  if (auto* log = changeLogOf(*entry.key)) log->valueDeleted(entry.key, name);
  return ERROR_SUCCESS;
}

LONG RegistryHost::flushKey(HKEY key) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  auto hive = entry.key->hive();
  return hive ? hive->saveIfDirty() : ERROR_SUCCESS;
}

LONG RegistryHost::getSecurity(HKEY key, SECURITY_INFORMATION parts, std::vector<BYTE>& out) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  constexpr SECURITY_INFORMATION kReadControlParts =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if ((parts & kReadControlParts) && !(entry.access & READ_CONTROL)) return ERROR_ACCESS_DENIED;
  if ((parts & SACL_SECURITY_INFORMATION) && !(entry.access & ACCESS_SYSTEM_SECURITY)) return ERROR_ACCESS_DENIED;
  out = selectSecurityParts(effectiveSecurity(*entry.key), parts);
  return ERROR_SUCCESS;
}

LONG RegistryHost::setSecurity(HKEY key, SECURITY_INFORMATION parts, std::span<const BYTE> descriptor) {
  if (!isValidSecurityDescriptor(descriptor)) return ERROR_INVALID_SECURITY_DESCR;
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::unique_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  if ((parts & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) && !(entry.access & WRITE_OWNER))
    return ERROR_ACCESS_DENIED;
  if ((parts & DACL_SECURITY_INFORMATION) && !(entry.access & WRITE_DAC)) return ERROR_ACCESS_DENIED;
  if ((parts & SACL_SECURITY_INFORMATION) && !(entry.access & ACCESS_SYSTEM_SECURITY)) return ERROR_ACCESS_DENIED;
  if (LONG rc = requireWritable(*entry.key); rc != ERROR_SUCCESS) return rc;
  auto merged = mergeSecurityParts(effectiveSecurity(*entry.key), descriptor, parts);
  if (!merged) return ERROR_INVALID_SECURITY_DESCR;
  entry.key->security = std::move(*merged);
  // Saved as any other change of the key, though its time stays.
  if (auto hive = entry.key->hive(); hive && !entry.key->isVolatile) {
    hive->changes().securitySet(entry.key);
    hive->markDirty();
  }
  return ERROR_SUCCESS;
}

LONG RegistryHost::loadKey(HKEY key, std::u16string_view subkey, std::string_view fileName) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::vector<std::u16string_view> parts;
  if (LONG rc = splitKeyPath(subkey, parts); rc != ERROR_SUCCESS) return rc;
  if (parts.size() != 1 || parts[0].size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
  std::u16string mountPath;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    if (entry.key->deleted) return ERROR_KEY_DELETED;
    // Hives hang directly below HKEY_LOCAL_MACHINE or HKEY_USERS.
    if (!isMountParent(*entry.machine, *entry.key)) return ERROR_INVALID_PARAMETER;
    mountPath = MachineRegistry::nativePathOf(*entry.key) + u"\\" + std::u16string(parts[0]);
  }
  auto file = hostPathOf(fileName);
  if (!file) {
    setErrorDetail(fmt::format("{}: no such drive or folder", fileName));
    return ERROR_PATH_NOT_FOUND;
  }
  if (entry.machine->hiveOfFile(*file)) {
    setErrorDetail(fmt::format("{} is already loaded", file->string()));
    return ERROR_SHARING_VIOLATION;
  }
  std::shared_ptr<Hive> hive;
  if (LONG rc = Hive::load(*file, hive); rc != ERROR_SUCCESS) return rc;
  // Recorded first: a load that later runs would not make again is refused.
  if (loadRecords_)
    if (LONG rc = loadRecords_->record(mountPath, *file); rc != ERROR_SUCCESS) return rc;
  LONG rc = entry.machine->mount(hive, mountPath);
  if (rc == ERROR_ALREADY_EXISTS)
    setErrorDetail(fmt::format("{} already exists; a hive is loaded at a key that is not there yet",
                               userKeyText(mountPath)));
  if (rc != ERROR_SUCCESS && loadRecords_) loadRecords_->forget(mountPath);
  return rc;
}

LONG RegistryHost::unloadKey(HKEY key, std::u16string_view subkey) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<Hive> hive;
  std::u16string mountPath;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    if (entry.key->deleted) return ERROR_KEY_DELETED;
    if (!isMountParent(*entry.machine, *entry.key)) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string_view> parts;
    if (LONG rc = splitKeyPath(subkey, parts); rc != ERROR_SUCCESS) return rc;
    if (parts.size() != 1) return ERROR_INVALID_PARAMETER;
    auto mountPoint = entry.key->findSubkey(parts[0]);
    if (!mountPoint) return ERROR_FILE_NOT_FOUND;
    hive = mountPoint->hive();
    if (!hive || hive->root() != mountPoint) return ERROR_INVALID_PARAMETER;
    mountPath = MachineRegistry::nativePathOf(*mountPoint);
  }
  LONG rc = entry.machine->unmount(hive, [&]() -> LONG {
    if (!handles_.anyInHive(*hive)) return ERROR_SUCCESS;
    setErrorDetail(fmt::format("keys of {} are still open", hive->file().string()));
    return ERROR_ACCESS_DENIED;
  });
  if (rc == ERROR_SUCCESS && loadRecords_) loadRecords_->forget(mountPath);
  return rc;
}

void RegistryHost::keepLoadedHiveRecords(std::u16string keyBelowMachine) {
  loadRecords_ = std::make_unique<LoadedHiveRecords>(*this, std::move(keyBelowMachine));
}

LONG RegistryHost::saveKey(HKEY key, std::string_view fileName) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  auto file = hostPathOf(fileName);
  if (!file) {
    setErrorDetail(fmt::format("{}: no such drive or folder", fileName));
    return ERROR_PATH_NOT_FOUND;
  }
  std::error_code ec;
  if (std::filesystem::exists(*file, ec)) return ERROR_ALREADY_EXISTS;
  std::string bytes;
  {
    std::shared_lock lock(entry.machine->treeMutex());
    if (entry.key->deleted) return ERROR_KEY_DELETED;
    auto hive = entry.key->hive();
    if (!hive) {
      setErrorDetail(fmt::format("{} belongs to no hive file", describeKey(*entry.key)));
      return ERROR_ACCESS_DENIED;
    }
    // The file takes the format of the hive the key is in: a key of a Wine
    // prefix is saved as Wine saves it (text), one of a Windows hive as
    // Windows does (regf). RegLoadKey reads both.
    try {
      if (hive->format() == HiveFormat::Regf)
        bytes = Hive::serializeRegfSubtree(entry.key, hive->defaultSecurity(),
                                           ansiToWide(file->filename().string()));
      else
        bytes = Hive::serializeSubtree(entry.key, headerPathOf(*entry.key), hive->arch());
    } catch (const std::invalid_argument& e) {
      setErrorDetail(e.what());
      return ERROR_CANTWRITE;
    }
  }
  return replaceFileAtomically(*file, bytes);
}

LONG RegistryHost::connect(std::string_view machineName, HKEY root, HKEY& result) {
  while (!machineName.empty() && machineName.front() == '\\') machineName.remove_prefix(1);
  bool local = machineName.empty() ||
               std::any_of(localNames_.begin(), localNames_.end(),
                           [&](const std::string& name) { return equalsIgnoringAsciiCase(name, machineName); });
  if (!local) {
    setErrorDetail(fmt::format("\\\\{}: other machines cannot be reached yet", machineName));
    return ERROR_BAD_NETPATH;
  }
  std::shared_ptr<KeyNode> node;
  {
    std::shared_lock lock(local_->treeMutex());
    switch (root) {
      case HKEY_LOCAL_MACHINE: node = local_->machineRoot(); break;
      case HKEY_USERS: node = local_->usersRoot(); break;
      case HKEY_PERFORMANCE_DATA: node = local_->emptyRoot(); break;
      default: return ERROR_INVALID_HANDLE;
    }
  }
  result = handles_.insert(HandleEntry{local_, std::move(node), kFullAccess});
  return ERROR_SUCCESS;
}

LONG RegistryHost::keyPath(HKEY key, std::u16string& nativePath) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  nativePath = MachineRegistry::nativePathOf(*entry.key);
  return ERROR_SUCCESS;
}

LONG RegistryHost::keyBasics(HKEY key, std::u16string& name, std::uint64_t& lastWrite) {
  HandleEntry entry;
  if (LONG rc = resolve(key, entry); rc != ERROR_SUCCESS) return rc;
  std::shared_lock lock(entry.machine->treeMutex());
  if (entry.key->deleted) return ERROR_KEY_DELETED;
  name = entry.key->name();
  lastWrite = entry.key->lastWrite;
  return ERROR_SUCCESS;
}

LONG RegistryHost::flushAll() { return local_->flushAll(); }

std::shared_ptr<RegistryHost> callingThreadRegistry() {
  if (auto bound = threadRegistry()) return bound;
  thread_local auto none = std::make_shared<RegistryHost>(std::make_shared<MachineRegistry>());
  return none;
}

}  // namespace talmoor::platform

#include "platform/registry/machine_registry.h"

#include <algorithm>
#include <mutex>

#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr int kMaxLinkDepth = 16;
constexpr std::u16string_view kRegistry = u"REGISTRY";
constexpr std::u16string_view kHiveListPath = u"\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Control\\hivelist";


std::u16string linkTargetOf(const KeyNode& link) {
  const RegValue* value = link.findValue(u"SymbolicLinkValue");
  if (!value || value->type != REG_LINK) return {};
  std::u16string target = utf16FromBytes(value->data);
  while (!target.empty() && target.back() == u'\0') target.pop_back();
  return target;
}

class Walker {
 public:
  explicit Walker(const MachineRegistry& registry) : registry_(registry) {}

  LONG walk(std::shared_ptr<KeyNode> node, std::u16string_view path, bool openLink, std::shared_ptr<KeyNode>& out) {
    std::vector<std::u16string_view> parts;
    if (LONG rc = splitKeyPath(path, parts); rc != ERROR_SUCCESS) return rc;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      auto child = node->findSubkey(parts[i]);
      if (!child) return ERROR_FILE_NOT_FOUND;
      bool last = i + 1 == parts.size();
      if (child->isLink && !(last && openLink)) {
        if (LONG rc = follow(*child, child); rc != ERROR_SUCCESS) return rc;
      }
      node = std::move(child);
    }
    out = std::move(node);
    return ERROR_SUCCESS;
  }

  LONG resolveNative(std::u16string_view nativePath, bool openLink, std::shared_ptr<KeyNode>& out) {
    if (nativePath.empty() || nativePath.front() != u'\\') return ERROR_BAD_PATHNAME;
    nativePath.remove_prefix(1);
    std::size_t cut = nativePath.find(u'\\');
    std::u16string_view first = nativePath.substr(0, cut);
    if (!namesEqual(first, kRegistry)) return ERROR_FILE_NOT_FOUND;
    std::u16string_view rest = cut == std::u16string_view::npos ? std::u16string_view() : nativePath.substr(cut + 1);
    return walk(registry_.registryRoot(), rest, openLink, out);
  }

 private:
  LONG follow(const KeyNode& link, std::shared_ptr<KeyNode>& out) {
    if (++depth_ > kMaxLinkDepth) return ERROR_CANT_RESOLVE_FILENAME;
    std::u16string target = linkTargetOf(link);
    if (target.empty()) return ERROR_FILE_NOT_FOUND;
    return resolveNative(target, false, out);
  }

  const MachineRegistry& registry_;
  int depth_ = 0;
};

}  // namespace

std::shared_ptr<KeyNode> makeVirtualKey(std::u16string name) {
  auto key = std::make_shared<KeyNode>(std::move(name));
  key->isVolatile = true;
  key->lastWrite = currentFiletime();
  return key;
}

std::string userKeyText(std::u16string_view nativePath) {
  constexpr std::pair<std::u16string_view, std::string_view> kRoots[] = {
      {u"\\REGISTRY\\MACHINE", "HKEY_LOCAL_MACHINE"}, {u"\\REGISTRY\\USER", "HKEY_USERS"}};
  for (const auto& [native, root] : kRoots) {
    if (nativePath.size() < native.size() || !namesEqual(nativePath.substr(0, native.size()), native)) continue;
    std::u16string_view rest = nativePath.substr(native.size());
    if (rest.empty() || rest.front() == u'\\') return std::string(root) + wideToAnsi(rest);
  }
  return wideToAnsi(nativePath);
}

bool isVirtualKey(const KeyNode& key) { return key.isVolatile && !key.isLink && !key.hive(); }

LONG splitKeyPath(std::u16string_view path, std::vector<std::u16string_view>& parts) {
  parts.clear();
  if (!path.empty() && path.front() == u'\\') return ERROR_BAD_PATHNAME;
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return ERROR_SUCCESS;
}

MachineRegistry::MachineRegistry(std::string name)
    : name_(std::move(name)), root_(makeVirtualKey(u"REGISTRY")), empty_(makeVirtualKey(u"")) {
  root_->addSubkey(makeVirtualKey(u"MACHINE"));
  root_->addSubkey(makeVirtualKey(u"USER"));
}

std::shared_ptr<KeyNode> MachineRegistry::machineRoot() const { return root_->findSubkey(u"MACHINE"); }
std::shared_ptr<KeyNode> MachineRegistry::usersRoot() const { return root_->findSubkey(u"USER"); }

std::u16string MachineRegistry::currentUserSid() const {
  std::shared_lock lock(mutex_);
  return currentUserSid_;
}

void MachineRegistry::setCurrentUserSid(std::u16string sid) {
  std::unique_lock lock(mutex_);
  currentUserSid_ = std::move(sid);
}

LONG MachineRegistry::walk(const std::shared_ptr<KeyNode>& from, std::u16string_view path, bool openLink,
                           std::shared_ptr<KeyNode>& out) const {
  return Walker(*this).walk(from, path, openLink, out);
}

LONG MachineRegistry::resolveNative(std::u16string_view nativePath, bool openLink,
                                    std::shared_ptr<KeyNode>& out) const {
  return Walker(*this).resolveNative(nativePath, openLink, out);
}

std::u16string MachineRegistry::nativePathOf(const KeyNode& key) {
  std::vector<const KeyNode*> chain;
  std::shared_ptr<KeyNode> holder;
  for (const KeyNode* node = &key; node;) {
    chain.push_back(node);
    holder = node->parent();
    node = holder.get();
  }
  std::u16string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += u'\\';
    path += (*it)->name();
  }
  return path;
}

std::shared_ptr<KeyNode> MachineRegistry::ensureVirtualPath(std::u16string_view nativePath, Visibility visibility) {
  std::vector<std::u16string_view> parts;
  if (nativePath.empty() || nativePath.front() != u'\\') return nullptr;
  if (splitKeyPath(nativePath.substr(1), parts) != ERROR_SUCCESS || parts.empty() ||
      !namesEqual(parts.front(), kRegistry))
    return nullptr;
  std::shared_ptr<KeyNode> node = root_;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::shared_ptr<KeyNode> next;
    if (walk(node, parts[i], false, next) != ERROR_SUCCESS) {
      if (node->findSubkey(parts[i])) return nullptr;  // there, but a broken link
      next = makeVirtualKey(std::u16string(parts[i]));
      if (visibility == Visibility::Hidden)
        node->addHiddenSubkey(next);
      else
        node->addSubkey(next);
    }
    node = std::move(next);
  }
  return node;
}

LONG MachineRegistry::mount(const std::shared_ptr<Hive>& hive, std::u16string_view nativePath,
                            Visibility visibility) {
  std::unique_lock lock(mutex_);
  std::size_t cut = nativePath.rfind(u'\\');
  if (cut == std::u16string_view::npos || cut + 1 >= nativePath.size()) return ERROR_INVALID_PARAMETER;
  std::u16string name(nativePath.substr(cut + 1));
  auto parent = ensureVirtualPath(nativePath.substr(0, cut), visibility);
  if (!parent) return ERROR_INVALID_PARAMETER;

  const auto& root = hive->root();
  if (auto existing = parent->findSubkey(name)) {
    // Only a placeholder of no hive may give way; its children move over.
    if (existing->hive()) return ERROR_ALREADY_EXISTS;
    for (const auto& child : existing->subkeys())
      if (root->findSubkey(child->name())) return ERROR_ALREADY_EXISTS;
    for (const auto& child : existing->hiddenSubkeys())
      if (root->findSubkey(child->name())) return ERROR_ALREADY_EXISTS;
    root->moveChildrenFrom(*existing);
    parent->removeSubkey(*existing);
    existing->deleted = true;
  }
  root->rename(std::move(name));
  if (visibility == Visibility::Hidden)
    parent->addHiddenSubkey(root);
  else
    parent->addSubkey(root);
  hives_.push_back(hive);
  refreshHiveList();
  return ERROR_SUCCESS;
}

LONG MachineRegistry::unmount(const std::shared_ptr<Hive>& hive, const std::function<LONG()>& mayUnmount) {
  std::unique_lock lock(mutex_);
  auto it = std::find(hives_.begin(), hives_.end(), hive);
  if (it == hives_.end()) return ERROR_INVALID_PARAMETER;
  if (mayUnmount) {
    if (LONG rc = mayUnmount(); rc != ERROR_SUCCESS) return rc;
  }
  if (LONG rc = hive->saveIfDirty(); rc != ERROR_SUCCESS) return rc;
  const auto& root = hive->root();
  if (auto parent = root->parent()) parent->removeSubkey(*root);
  root->markDeletedRecursive();
  hives_.erase(it);
  refreshHiveList();
  return ERROR_SUCCESS;
}

std::vector<std::shared_ptr<Hive>> MachineRegistry::hives() const {
  std::shared_lock lock(mutex_);
  return hives_;
}

std::shared_ptr<Hive> MachineRegistry::hiveOfFile(const std::filesystem::path& file) const {
  std::shared_lock lock(mutex_);
  std::error_code ec;
  for (const auto& hive : hives_) {
    if (hive->file() == file || std::filesystem::equivalent(hive->file(), file, ec)) return hive;
  }
  return nullptr;
}

LONG MachineRegistry::flushAll() {
  std::shared_lock lock(mutex_);
  LONG first = ERROR_SUCCESS;
  for (const auto& hive : hives_) {
    LONG rc = hive->saveIfDirty();
    if (first == ERROR_SUCCESS) first = rc;
  }
  return first;
}

LONG MachineRegistry::reloadHive(const std::shared_ptr<Hive>& hive) {
  std::unique_lock lock(mutex_);
  if (std::find(hives_.begin(), hives_.end(), hive) == hives_.end()) return ERROR_INVALID_PARAMETER;
  return hive->reload();
}

void MachineRegistry::refreshHiveList() {
  auto list = ensureVirtualPath(kHiveListPath, Visibility::Listed);
  if (!list) return;
  // The list is rebuilt in memory only: the key itself may belong to a hive
  // file (Wine keeps an empty one), which must not change because of it.
  list->eraseVolatileValues();
  for (const auto& hive : hives_) {
    std::u16string file = ansiToWide(hive->file().string());
    list->setValue(nativePathOf(*hive->root()), REG_SZ, bytesFromUtf16(file, true));
    if (RegValue* value = list->findValue(nativePathOf(*hive->root()))) value->isVolatile = true;
  }
}

}  // namespace talmoor::platform

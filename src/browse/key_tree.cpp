#include "browse/key_tree.h"

#include <algorithm>

#include "browse/browse_text.h"
#include "browse/key_naming.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::browse {

namespace {

constexpr const char* kUntitled = "Untitled";

}  // namespace

KeyTree::KeyTree() {
  TreeNode computer;
  computer.rawName = registry::kMyComputerLabel;
  computer.image = computer.selectedImage = static_cast<int>(TreeImage::MyComputer);
  computer.hasChildren = true;
  computer.expandedOnce = true;
  computer_ = addNode(kNoNode, std::move(computer), 0);
  for (std::size_t i = 1; i < std::size(registry::kRootKeys); ++i) {
    const auto& row = registry::kRootKeys[i];
    TreeNode root;
    root.rawName = std::string("HKEY_") + row.longName;
    root.image = root.selectedImage = (row.handle == HKEY_LOCAL_MACHINE || row.handle == HKEY_USERS)
                                          ? static_cast<int>(TreeImage::RootKey)
                                          : static_cast<int>(TreeImage::Key);
    root.hasChildren = true;
    addNode(computer_, std::move(root), nodes_[computer_].children.size());
  }
}

const TreeNode* KeyTree::node(NodeId id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
}

const TreeNode* KeyTree::child(NodeId parent, int row) const {
  const TreeNode* p = node(parent);
  if (!p || row < 0 || static_cast<std::size_t>(row) >= p->children.size()) return nullptr;
  return node(p->children[static_cast<std::size_t>(row)]);
}

NodeId KeyTree::addNode(NodeId parent, TreeNode n, std::size_t position) {
  n.id = nextId_++;
  n.parent = parent;
  const NodeId id = n.id;
  nodes_.emplace(id, std::move(n));
  if (parent != kNoNode) {
    auto& p = nodes_.at(parent);
    position = std::min(position, p.children.size());
    p.children.insert(p.children.begin() + static_cast<std::ptrdiff_t>(position), id);
    renumber(p);
  }
  return id;
}

void KeyTree::renumber(TreeNode& parent) {
  int row = 0;
  for (NodeId id : parent.children) nodes_.at(id).row = row++;
}

std::string KeyTree::path(NodeId id) const {
  std::vector<const std::string*> parts;
  for (const TreeNode* n = node(id); n && n->id != computer_; n = node(n->parent)) parts.push_back(&n->rawName);
  std::string out;
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    if (!out.empty()) out += '\\';
    out += **it;
  }
  return out;
}

bool KeyTree::isRoot(NodeId id) const {
  const TreeNode* n = node(id);
  return n && n->parent == computer_;
}

int KeyTree::depth(NodeId id) const {
  int d = 0;
  for (const TreeNode* n = node(id); n && n->parent != kNoNode; n = node(n->parent)) ++d;
  return d;
}

int KeyTree::imageFor(NodeId parent) const {
  const TreeNode* p = node(parent);
  if (p && isRoot(parent) && p->image == static_cast<int>(TreeImage::RootKey))
    return static_cast<int>(TreeImage::RootChild);
  return static_cast<int>(TreeImage::Key);
}

void KeyTree::insertListing(NodeId parent, const KeyListing& listing) {
  auto it = nodes_.find(parent);
  if (it == nodes_.end()) return;
  it->second.expandedOnce = true;
  std::vector<const ListedKey*> fresh;
  fresh.reserve(listing.keys.size());
  // Listings of a key not listed before meet no siblings; only a listing
  // applied over shown items pays for the look-ups.
  const bool hadChildren = !it->second.children.empty();
  for (const auto& key : listing.keys)
    if (!hadChildren || findChild(parent, key.name) == kNoNode) fresh.push_back(&key);
  if (fresh.empty()) {
    if (listener_) listener_->changed(parent);
    return;
  }
  const int first = static_cast<int>(it->second.children.size());
  if (listener_) listener_->beginInsert(parent, first, first + static_cast<int>(fresh.size()) - 1);
  const int image = imageFor(parent);
  auto& p = nodes_.at(parent);
  p.children.reserve(p.children.size() + fresh.size());
  for (const ListedKey* key : fresh) {
    TreeNode n;
    n.id = nextId_++;
    n.parent = parent;
    n.rawName = key->name;
    n.image = n.selectedImage = image;
    n.hasChildren = key->hasChildren;
    n.row = static_cast<int>(p.children.size());
    p.children.push_back(n.id);
    nodes_.emplace(n.id, std::move(n));
  }
  nodes_.at(parent).hasChildren = true;
  if (listener_) listener_->endInsert();
}

void KeyTree::applyName(NodeId id, const ItemName& name) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  auto& n = it->second;
  n.displayName = name.displayName;
  n.image = name.image;
  // Images from the rules' own set show the same when selected.
  n.selectedImage = name.image >= 28 ? name.image : name.selectedImage;
  n.overlay = name.overlay;
  n.icon = name.icon;
  if (listener_) listener_->changed(id);
}

void KeyTree::applyNames(const std::vector<NodeId>& ids, const std::vector<ItemName>& names) {
  const std::size_t count = std::min(ids.size(), names.size());
  for (std::size_t i = 0; i < count; ++i) applyName(ids[i], names[i]);
}

void KeyTree::eraseSubtree(NodeId id) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  for (NodeId child : it->second.children) eraseSubtree(child);
  nodes_.erase(id);
}

void KeyTree::forgetChildren(NodeId id, bool hasChildren) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  if (!it->second.children.empty()) {
    if (listener_) listener_->beginRemove(id, 0, static_cast<int>(it->second.children.size()) - 1);
    auto children = std::move(it->second.children);
    it->second.children.clear();
    for (NodeId child : children) eraseSubtree(child);
    if (listener_) listener_->endRemove();
  }
  auto& n = nodes_.at(id);
  n.expandedOnce = id == computer_;
  n.hasChildren = hasChildren;
  if (listener_) listener_->changed(id);
}

void KeyTree::setHasChildren(NodeId id, bool hasChildren) {
  auto it = nodes_.find(id);
  if (it == nodes_.end() || it->second.hasChildren == hasChildren) return;
  it->second.hasChildren = hasChildren;
  if (listener_) listener_->changed(id);
}

void KeyTree::remove(NodeId id) {
  auto it = nodes_.find(id);
  if (it == nodes_.end() || id == computer_) return;
  const NodeId parent = it->second.parent;
  const int row = it->second.row;
  if (listener_) listener_->beginRemove(parent, row, row);
  auto& p = nodes_.at(parent);
  p.children.erase(p.children.begin() + row);
  eraseSubtree(id);
  renumber(p);
  if (listener_) listener_->endRemove();
}

NodeId KeyTree::addNewChild(NodeId parent, PendingEdit mode) {
  const TreeNode* p = node(parent);
  if (!p) return kNoNode;
  const int row = static_cast<int>(p->children.size());
  TreeNode n;
  n.rawName = kUntitled;
  n.image = n.selectedImage = mode == PendingEdit::LoadHive ? static_cast<int>(TreeImage::RootChild)
                                                            : static_cast<int>(TreeImage::Key);
  n.isNew = true;
  if (listener_) listener_->beginInsert(parent, row, row);
  const NodeId id = addNode(parent, std::move(n), static_cast<std::size_t>(row));
  nodes_.at(parent).hasChildren = true;
  if (listener_) listener_->endInsert();
  return id;
}

void KeyTree::rename(NodeId id, std::string name) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  it->second.rawName = std::move(name);
  it->second.displayName.reset();
  if (listener_) listener_->changed(id);
}

void KeyTree::markMade(NodeId id) {
  auto it = nodes_.find(id);
  if (it != nodes_.end()) it->second.isNew = false;
}

void KeyTree::reorder(NodeId parent, const std::function<bool(const TreeNode&, const TreeNode&)>& before) {
  auto it = nodes_.find(parent);
  if (it == nodes_.end() || it->second.children.size() < 2) return;
  if (listener_) listener_->beginReorder(parent);
  auto& children = it->second.children;
  std::stable_sort(children.begin(), children.end(),
                   [&](NodeId a, NodeId b) { return before(nodes_.at(a), nodes_.at(b)); });
  renumber(it->second);
  if (listener_) listener_->endReorder(parent);
}

void KeyTree::sortByName(NodeId parent) {
  reorder(parent, [](const TreeNode& a, const TreeNode& b) { return lessIgnoringCase(a.text(), b.text()); });
}

void KeyTree::sortByType(NodeId parent) {
  reorder(parent, [](const TreeNode& a, const TreeNode& b) {
    if (a.image != b.image) return a.image > b.image;
    if (a.overlay != b.overlay) return a.overlay > b.overlay;
    if (a.displayName && b.displayName) return lessIgnoringCase(*a.displayName, *b.displayName);
    return lessIgnoringCase(a.rawName, b.rawName);
  });
}

NodeId KeyTree::findChildByPrefix(NodeId base, std::string_view text, bool actual) const {
  const TreeNode* p = node(base);
  if (!p || text.empty()) return kNoNode;
  for (NodeId id : p->children) {
    const TreeNode& n = nodes_.at(id);
    if (startsWithIgnoringCase(actual ? n.rawName : n.text(), text)) return id;
  }
  return kNoNode;
}

NodeId KeyTree::findChild(NodeId parent, std::string_view rawName) const {
  const TreeNode* p = node(parent);
  if (!p) return kNoNode;
  for (NodeId id : p->children)
    if (equalIgnoringCase(nodes_.at(id).rawName, rawName)) return id;
  return kNoNode;
}

KeyTree::PathReach KeyTree::reach(std::string_view fullPath) const {
  PathReach out;
  out.reached = computer_;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= fullPath.size()) {
    std::size_t end = fullPath.find('\\', start);
    if (end == std::string_view::npos) end = fullPath.size();
    if (end > start) parts.emplace_back(fullPath.substr(start, end - start));
    start = end + 1;
  }
  // Short root names ("HKLM") reach the root item of the long one.
  if (!parts.empty()) {
    for (std::size_t i = 1; i < std::size(registry::kRootKeys); ++i) {
      const auto& row = registry::kRootKeys[i];
      if (equalIgnoringCase(parts.front(), std::string("HK") + row.shortName) ||
          equalIgnoringCase(parts.front(), row.longName))
        parts.front() = std::string("HKEY_") + row.longName;
    }
  }
  std::size_t i = 0;
  for (; i < parts.size(); ++i) {
    NodeId next = findChild(out.reached, parts[i]);
    if (next == kNoNode) break;
    out.reached = next;
  }
  out.remaining.assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
  return out;
}

KeyListing listSubkeys(const std::string& path, const std::atomic<bool>* cancel) {
  KeyListing listing;
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess,
                                                  registry::ReportTo({}, path), "Opening Key for Browsing"));
  if (!key.get()) return listing;
  listing.opened = true;
  registry::EnumerationRequest request(key.get(), 0, 0, registry::ReportTo({}, path));
  request.countChildren = true;
  registry::enumerateSubkeys("", request, [&](const registry::SubkeyVisit& visit) {
    if (cancel && cancel->load()) {
      listing.cancelled = true;
      return 1;
    }
    if (visit.error == ERROR_SUCCESS) listing.keys.push_back({std::string(visit.name), visit.subkeyCount > 0});
    return 0;
  });
  return listing;
}

std::vector<ItemName> nameChildren(KeyNamer& namer, const std::string& parentPath,
                                   const std::vector<std::string>& names, int defaultImage) {
  // Naming meets unreadable keys all the time; they keep their raw names.
  const auto named = namer.nameSubkeys(parentPath, names, registry::ReportTo([](const ErrorReport&) { return true; }));
  std::vector<ItemName> out;
  out.reserve(named.size());
  for (const auto& k : named) {
    ItemName item;
    if (!k.displayName.empty()) item.displayName = k.displayName;
    item.image = k.image == TreeImage::NotSet ? defaultImage : static_cast<int>(k.image);
    item.selectedImage = k.image == TreeImage::ClassKey ? static_cast<int>(TreeImage::ClassKeySelected) : item.image;
    item.overlay = static_cast<int>(k.overlay);
    item.icon = k.icon;
    out.push_back(std::move(item));
  }
  return out;
}

bool keyHasSubkeys(const std::string& path) {
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, registry::ReportTo(
                                                                                     [](const ErrorReport&) {
                                                                                       return true;
                                                                                     },
                                                                                     path)));
  if (!key.get()) return false;
  LONG rc = ERROR_SUCCESS;
  return registry::countSubkeys(key.get(), std::nullopt, nullptr, rc) > 0 && rc == ERROR_SUCCESS;
}

}  // namespace talmoor::browse

#include "platform/registry/hive_changes.h"

#include <algorithm>
#include <optional>

#include "platform/registry/hive.h"
#include "platform/registry/machine_registry.h"
#include "platform/text/code_page.h"

namespace talmoor::platform {

namespace {

// The keys from just below `root` down to `key`; nothing when `key` is no
// longer in the tree (it, or a key above it, was deleted).
std::optional<std::vector<const KeyNode*>> chainBelow(const KeyNode& root, const KeyNode& key) {
  std::vector<const KeyNode*> chain;
  std::shared_ptr<const KeyNode> holder;
  for (const KeyNode* node = &key; node != &root;) {
    if (!node || node->deleted) return std::nullopt;
    chain.push_back(node);
    holder = node->parent();
    node = holder.get();
  }
  std::reverse(chain.begin(), chain.end());
  return chain;
}

void copyKeyAttributes(const KeyNode& from, KeyNode& to) {
  to.className = from.className;
  to.lastWrite = from.lastWrite;
  to.security = from.security;
  to.isLink = from.isLink;
  to.explicitLine = to.explicitLine || from.explicitLine;
}

// The key of `theirs` standing for the end of `chain`, made where missing.
KeyNode& ensureKey(KeyNode& theirs, const std::vector<const KeyNode*>& chain) {
  KeyNode* node = &theirs;
  for (const KeyNode* ours : chain) {
    auto child = node->findSubkey(ours->name());
    if (!child) {
      child = std::make_shared<KeyNode>(ours->name());
      copyKeyAttributes(*ours, *child);
      child->setHive(theirs.hive());
      node->addSubkey(child);
    }
    node = child.get();
  }
  return *node;
}

KeyNode* findKey(KeyNode& theirs, const std::vector<std::u16string>& path) {
  KeyNode* node = &theirs;
  for (const auto& name : path) {
    auto child = node->findSubkey(name);
    if (!child) return nullptr;
    node = child.get();
  }
  return node;
}

}  // namespace

void HiveChangeLog::keyCreated(const std::shared_ptr<KeyNode>& key) {
  changes_.push_back(Change{Kind::CreateKey, key, {}, {}});
}

void HiveChangeLog::keyDeleted(const KeyNode& key, const KeyNode& hiveRoot) {
  std::vector<std::u16string> path;
  std::shared_ptr<const KeyNode> holder;
  for (const KeyNode* node = &key; node && node != &hiveRoot;) {
    path.push_back(node->name());
    holder = node->parent();
    node = holder.get();
  }
  std::reverse(path.begin(), path.end());
  changes_.push_back(Change{Kind::DeleteKey, nullptr, std::move(path), {}});
}

void HiveChangeLog::valueSet(const std::shared_ptr<KeyNode>& key, std::u16string_view name) {
  // A value written again and again (an import of many lines for one value,
  // a search that changes it twice) needs doing only once.
  if (!changes_.empty()) {
    const Change& last = changes_.back();
    if (last.kind == Kind::SetValue && last.key == key && namesEqual(last.valueName, name)) return;
  }
  changes_.push_back(Change{Kind::SetValue, key, {}, std::u16string(name)});
}

void HiveChangeLog::valueDeleted(const std::shared_ptr<KeyNode>& key, std::u16string_view name) {
  changes_.push_back(Change{Kind::DeleteValue, key, {}, std::u16string(name)});
}

void HiveChangeLog::securitySet(const std::shared_ptr<KeyNode>& key) {
  changes_.push_back(Change{Kind::SetSecurity, key, {}, {}});
}

void HiveChangeLog::replay(const KeyNode& ours, KeyNode& theirs) const {
  for (const Change& change : changes_) {
    if (change.kind == Kind::DeleteKey) {
      if (change.path.empty()) continue;  // a hive's root is never deleted
      if (KeyNode* gone = findKey(theirs, change.path)) {
        if (auto parent = gone->parent()) {
          gone->markDeletedRecursive();
          parent->removeSubkey(*gone);
        }
      }
      continue;
    }
    // What the change made is read from our tree as it is now; a key that is
    // gone from it was deleted later, and that deletion follows in the log.
    auto chain = chainBelow(ours, *change.key);
    if (!chain) continue;
    switch (change.kind) {
      case Kind::CreateKey:
        ensureKey(theirs, *chain);
        break;
      case Kind::SetValue:
        if (const RegValue* value = change.key->findValue(change.valueName); value && !value->isVolatile) {
          KeyNode& key = ensureKey(theirs, *chain);
          key.setValue(value->name, value->type, value->data.toVector());
          key.lastWrite = change.key->lastWrite;
        }
        break;
      case Kind::DeleteValue:
        if (!change.key->findValue(change.valueName)) {
          KeyNode& key = ensureKey(theirs, *chain);
          key.deleteValue(change.valueName);
          key.lastWrite = change.key->lastWrite;
        }
        break;
      case Kind::SetSecurity:
        ensureKey(theirs, *chain).security = change.key->security;
        break;
      case Kind::DeleteKey:
        break;
    }
  }
}

void takeTree(KeyNode& ours, KeyNode& theirs, const std::shared_ptr<Hive>& hive) {
  copyKeyAttributes(theirs, ours);
  ours.explicitLine = theirs.explicitLine;
  ours.replaceSavedValues(theirs.values());

  std::vector<std::shared_ptr<KeyNode>> dropped;
  for (const auto& child : ours.subkeys()) {
    // Kept in memory only, or saved in files of their own.
    if (child->isVolatile || child->hive() != hive) continue;
    if (!theirs.findSubkey(child->name())) dropped.push_back(child);
  }
  for (const auto& child : dropped) {
    child->markDeletedRecursive();
    ours.removeSubkey(*child);
  }
  std::vector<std::shared_ptr<KeyNode>> theirChildren(theirs.subkeys().begin(), theirs.subkeys().end());
  for (const auto& child : theirChildren) {
    auto mine = ours.findSubkey(child->name());
    if (mine && isVirtualKey(*mine) && !ours.isVolatile) {
      // The file now holds a key where ours only stood on the way to a
      // mount point: it becomes the file's key, the mount staying below it.
      ours.removeSubkey(*mine);
      mine->isVolatile = false;
      mine->setHive(hive);
      ours.addSubkey(mine);
    }
    if (mine && mine->hive() == hive && !mine->isVolatile) {
      takeTree(*mine, *child, hive);
      continue;
    }
    if (mine) continue;  // a key kept in memory only, or a mount point, keeps its place
    theirs.removeSubkey(*child);
    child->adoptInto(hive);
    ours.addSubkey(child);
  }
}

}  // namespace talmoor::platform

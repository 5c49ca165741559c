#pragma once
// What this program changed in a hive since it was read or last saved, in
// the order it was done. When another program replaced the hive file
// meanwhile (a second Talmoor, Wine's regedit), a save reads the new file
// and does these changes again on it, so that neither program's changes are
// lost; a reload does the same before it takes the file's tree.
//
// A change names the key it touched (kept alive by the log) and reads the
// key's current state when it is done again, so the log holds no copies of
// data. Deleted keys are named by their path, which is all that is left.

#include <memory>
#include <string>
#include <vector>

#include "platform/registry/key_tree.h"

namespace talmoor::platform {

class HiveChangeLog {
 public:
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue, SetSecurity };

  void keyCreated(const std::shared_ptr<KeyNode>& key);
  // Before the key is detached from its parent.
  void keyDeleted(const KeyNode& key, const KeyNode& hiveRoot);
  void valueSet(const std::shared_ptr<KeyNode>& key, std::u16string_view name);
  void valueDeleted(const std::shared_ptr<KeyNode>& key, std::u16string_view name);
  void securitySet(const std::shared_ptr<KeyNode>& key);

  bool empty() const { return changes_.empty(); }
  std::size_t size() const { return changes_.size(); }
  void clear() { changes_.clear(); }

  // Does the changes again on `theirs`, the root of the hive as another
  // program left it, reading what each change made from `ours` (the root of
  // this program's tree). Keys made on the way take their class, times,
  // security and flags from ours.
  void replay(const KeyNode& ours, KeyNode& theirs) const;

 private:
  struct Change {
    Kind kind;
    std::shared_ptr<KeyNode> key;     // every kind but DeleteKey
    std::vector<std::u16string> path;  // DeleteKey: below the hive's root
    std::u16string valueName;
  };
  std::vector<Change> changes_;
};

// Makes `ours` (a hive's tree, in place, so that open handles stay good)
// equal to `theirs`: values, subkeys, classes, times and security. Keys of
// `ours` that `theirs` lacks are detached and marked deleted; keys kept in
// memory only (volatile ones, hives mounted below) stay. The nodes of
// `theirs` that are new to `ours` move over, with `hive` as their hive.
void takeTree(KeyNode& ours, KeyNode& theirs, const std::shared_ptr<Hive>& hive);

}  // namespace talmoor::platform

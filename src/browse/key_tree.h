#pragma once
// The key browser's tree without its window: "My Computer" with the root keys
// beneath it and, below them, keys filled in when first expanded. Each item
// keeps its raw name, the name the naming rules give it, its image and
// overlay. The tree is owned by one thread (the desktop's GUI thread); the
// slow parts (listing a key's subkeys, naming them) are free functions that
// workers run and whose results the owner applies.
//
// A listener hears of every structural change before and after it happens,
// in the shape a Qt item model wants to announce them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "browse/naming_rules.h"
#include "platform/win32_types.h"

namespace talmoor::browse {

using NodeId = std::uint64_t;
inline constexpr NodeId kNoNode = 0;

// What a new item being named in place will become.
enum class PendingEdit : int { Rename = 0, Create = 1, LoadHive = 2, Connect = 3 };

struct TreeNode {
  NodeId id = kNoNode;
  NodeId parent = kNoNode;
  std::string rawName;                     // for "My Computer": that text
  std::optional<std::string> displayName;  // from the naming rules
  int image = static_cast<int>(TreeImage::Key);
  int selectedImage = static_cast<int>(TreeImage::Key);
  int overlay = 0;
  std::vector<std::uint8_t> icon;  // an .ico image the rules loaded (image LoadedIcon)
  bool hasChildren = false;
  bool expandedOnce = false;  // the children were listed
  bool isNew = false;         // made by Create or Hive/Load, not yet in the registry
  std::vector<NodeId> children;
  int row = 0;  // index among the parent's children
  // The text the tree shows.
  const std::string& text() const { return displayName ? *displayName : rawName; }
};

// One subkey as a listing finds it.
struct ListedKey {
  std::string name;
  bool hasChildren = false;
};

struct KeyListing {
  bool opened = false;  // false: the key could not be opened (reported)
  bool cancelled = false;
  std::vector<ListedKey> keys;
};

// What naming gives an item.
struct ItemName {
  std::optional<std::string> displayName;
  int image = static_cast<int>(TreeImage::Key);
  int selectedImage = static_cast<int>(TreeImage::Key);
  int overlay = 0;
  std::vector<std::uint8_t> icon;
};

class KeyTreeListener {
 public:
  virtual ~KeyTreeListener() = default;
  virtual void beginInsert(NodeId parent, int first, int last) = 0;
  virtual void endInsert() = 0;
  virtual void beginRemove(NodeId parent, int first, int last) = 0;
  virtual void endRemove() = 0;
  virtual void beginReorder(NodeId parent) = 0;
  virtual void endReorder(NodeId parent) = 0;
  virtual void changed(NodeId node) = 0;
};

class KeyTree {
 public:
  // "My Computer" and the root keys of this machine.
  KeyTree();

  void setListener(KeyTreeListener* listener) { listener_ = listener; }

  NodeId computer() const { return computer_; }
  const TreeNode* node(NodeId id) const;
  const TreeNode* child(NodeId parent, int row) const;
  std::size_t size() const { return nodes_.size(); }

  // The key's full path ("HKEY_LOCAL_MACHINE\Software"); "" for "My Computer".
  std::string path(NodeId id) const;
  bool isRoot(NodeId id) const;  // a root key (HKEY_...)
  int depth(NodeId id) const;    // "My Computer" 0, roots 1, ...

  // Puts a listing's keys under `parent` (raw names, images by kind) and
  // marks it listed. Names that the parent already shows are left out, so a
  // listing applied twice does not double the children.
  void insertListing(NodeId parent, const KeyListing& listing);
  // Gives the children named in `names` (same order as `ids`) their names.
  void applyNames(const std::vector<NodeId>& ids, const std::vector<ItemName>& names);
  void applyName(NodeId id, const ItemName& name);

  // Refresh: the children go and the item is listed again on next expansion.
  void forgetChildren(NodeId id, bool hasChildren);
  void setHasChildren(NodeId id, bool hasChildren);
  // Removes an item with everything below it.
  void remove(NodeId id);
  // A new item "Untitled" under `parent`, shown while its name is typed.
  NodeId addNewChild(NodeId parent, PendingEdit mode);
  // The item's raw name becomes `name` (the registry has it now); the
  // display name goes until naming runs again; re-sorted among its siblings.
  void rename(NodeId id, std::string name);
  void markMade(NodeId id);

  // Children ordered by their texts, ignoring case.
  void sortByName(NodeId parent);
  // Children ordered by image, higher first; then overlay, higher first;
  // then display names when both have one, else raw names, ignoring case.
  void sortByType(NodeId parent);

  // The first child of `base` whose raw (`actual`) or shown name begins with
  // `text`, ignoring case.
  NodeId findChildByPrefix(NodeId base, std::string_view text, bool actual) const;
  // The child of `parent` with this raw name, ignoring case.
  NodeId findChild(NodeId parent, std::string_view rawName) const;

  // How far a path can be followed through the items present: the deepest
  // item reached and the components still to go.
  struct PathReach {
    NodeId reached = kNoNode;
    std::vector<std::string> remaining;
  };
  PathReach reach(std::string_view fullPath) const;

 private:
  NodeId addNode(NodeId parent, TreeNode node, std::size_t position);
  void renumber(TreeNode& parent);
  void eraseSubtree(NodeId id);
  int imageFor(NodeId parent) const;
  void reorder(NodeId parent, const std::function<bool(const TreeNode&, const TreeNode&)>& before);

  std::unordered_map<NodeId, TreeNode> nodes_;
  NodeId computer_ = kNoNode;
  NodeId nextId_ = 1;
  KeyTreeListener* listener_ = nullptr;
};

// Lists the subkeys of the key at `path` with whether each has subkeys of
// its own (runs on a worker). A key that cannot be opened is reported with
// the context "Opening Key for Browsing". `cancel` stops the listing.
KeyListing listSubkeys(const std::string& path, const std::atomic<bool>* cancel = nullptr);

// Names the subkeys `names` of the key at `parentPath` ("" for the roots)
// through the naming rules (runs on a worker); a key the rules give no image
// keeps `defaultImage`.
class KeyNamer;
std::vector<ItemName> nameChildren(KeyNamer& namer, const std::string& parentPath,
                                   const std::vector<std::string>& names, int defaultImage);

// Whether the key at `path` has subkeys (for a refreshed item).
bool keyHasSubkeys(const std::string& path);

// A newer request always wins: each request takes a ticket, and work done
// for an older ticket stops at its next check.
class LatestRequest {
 public:
  std::uint64_t next() { return ++latest_; }
  bool isLatest(std::uint64_t ticket) const { return ticket == latest_.load(); }

 private:
  std::atomic<std::uint64_t> latest_{0};
};

}  // namespace talmoor::browse

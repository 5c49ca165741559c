#pragma once
// One machine's registry: the native namespace (\REGISTRY with MACHINE and
// USER), the hives mounted into it, and the lock that guards the whole tree.

#include <filesystem>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/key_tree.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

class MachineRegistry {
 public:
  explicit MachineRegistry(std::string name = {});

  // The machine's name; empty for the local machine.
  const std::string& name() const { return name_; }

  // Guards every key of this machine: shared for reads, exclusive for changes.
  std::shared_mutex& treeMutex() const { return mutex_; }

  // The namespace keys. The caller holds the tree lock.
  std::shared_ptr<KeyNode> registryRoot() const { return root_; }
  std::shared_ptr<KeyNode> machineRoot() const;
  std::shared_ptr<KeyNode> usersRoot() const;
  // Keys that stand for roots without keys (performance data, dynamic data).
  std::shared_ptr<KeyNode> emptyRoot() const { return empty_; }

  // The SID whose hive HKEY_CURRENT_USER names.
  std::u16string currentUserSid() const;
  void setCurrentUserSid(std::u16string sid);

  // Walks a path relative to `from`, following link keys; the last component
  // is not followed when `openLink` is set. The caller holds the tree lock.
  LONG walk(const std::shared_ptr<KeyNode>& from, std::u16string_view path, bool openLink,
            std::shared_ptr<KeyNode>& out) const;
  // Resolves a native path such as \REGISTRY\MACHINE\Software.
  LONG resolveNative(std::u16string_view nativePath, bool openLink, std::shared_ptr<KeyNode>& out) const;
  // The native path of a key ("\REGISTRY\MACHINE\Software\Wine").
  static std::u16string nativePathOf(const KeyNode& key);

  // Mounts a hive so that its root becomes the key at `nativePath`. Missing
  // keys on the way are made as volatile keys of no hive, which are never
  // saved and never mark another hive changed. A hidden mount, and the keys
  // made on its way, are reached by name only (see KeyNode::hiddenSubkeys).
  // Takes the tree lock.
  enum class Visibility { Listed, Hidden };
  LONG mount(const std::shared_ptr<Hive>& hive, std::u16string_view nativePath,
             Visibility visibility = Visibility::Listed);
  // Detaches a mounted hive after saving it when it changed. Takes the lock;
  // `mayUnmount`, when given, runs under it and can refuse with a code.
  LONG unmount(const std::shared_ptr<Hive>& hive, const std::function<LONG()>& mayUnmount = {});

  std::vector<std::shared_ptr<Hive>> hives() const;
  // The same, for a caller that already holds treeMutex().
  const std::vector<std::shared_ptr<Hive>>& hivesHeld() const { return hives_; }
  // The hive whose file is `file`, if mounted.
  std::shared_ptr<Hive> hiveOfFile(const std::filesystem::path& file) const;

  // Saves every changed hive; returns the first failure. Takes the lock.
  LONG flushAll();
  // Reads a mounted hive's file again (another program changed it), keeping
  // this program's unsaved changes; see Hive::reload. Takes the lock.
  LONG reloadHive(const std::shared_ptr<Hive>& hive);

 private:
  std::shared_ptr<KeyNode> ensureVirtualPath(std::u16string_view nativePath, Visibility visibility);
  void refreshHiveList();  // caller holds the lock exclusively

  std::string name_;
  mutable std::shared_mutex mutex_;
  std::shared_ptr<KeyNode> root_;
  std::shared_ptr<KeyNode> empty_;
  std::u16string currentUserSid_;
  std::vector<std::shared_ptr<Hive>> hives_;
};

// A volatile key of no hive: a namespace key, or one standing on the way to
// a mount point. It is never saved.
std::shared_ptr<KeyNode> makeVirtualKey(std::u16string name);
bool isVirtualKey(const KeyNode& key);
// A native path as users name the key: "\REGISTRY\USER\Offline" as
// "HKEY_USERS\Offline".
std::string userKeyText(std::u16string_view nativePath);

// Splits a key path at backslashes. Returns ERROR_BAD_PATHNAME for a path
// that starts with one; doubled and trailing separators are skipped.
LONG splitKeyPath(std::u16string_view path, std::vector<std::u16string_view>& parts);

}  // namespace talmoor::platform

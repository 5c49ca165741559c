#pragma once
// A mounted hive: a key subtree backed by one file.

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/registry/key_tree.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

enum class HiveFormat { WineText };

class Hive : public std::enable_shared_from_this<Hive> {
 public:
  // Reads a hive file. Returns a Win32 code; on failure nothing is built and
  // the thread's error detail names the file, the place and the problem.
  static LONG load(const std::filesystem::path& file, std::shared_ptr<Hive>& out);

  // A new, empty hive to be written to `file` (a fresh store).
  static std::shared_ptr<Hive> createEmpty(const std::filesystem::path& file, std::u16string relativeTo);

  const std::filesystem::path& file() const { return file_; }
  HiveFormat format() const { return format_; }
  const std::shared_ptr<KeyNode>& root() const { return root_; }

  bool dirty() const { return dirty_.load(); }
  void markDirty() { dirty_.store(true); }

  bool readOnly() const { return !readOnlyReason_.empty(); }
  const std::string& readOnlyReason() const { return readOnlyReason_; }
  void setReadOnly(std::string reason) { readOnlyReason_ = std::move(reason); }

  // The native path named by the file's header, for the text format.
  const std::u16string& relativeTo() const { return relativeTo_; }
  const std::string& arch() const { return arch_; }

  // The security descriptor of keys that carry none of their own.
  const std::vector<BYTE>& defaultSecurity() const { return defaultSecurity_; }
  void setDefaultSecurity(std::vector<BYTE> sd) { defaultSecurity_ = std::move(sd); }

  // Writes the hive to its file if it changed. The caller holds the tree
  // lock at least shared, so the tree cannot change meanwhile.
  LONG saveIfDirty();
  // Writes unconditionally.
  LONG save();

  // The bytes of the subtree at `key` in this hive's format, with the header
  // naming `relativeTo`; subkeys mounted from other hives and volatile keys
  // are left out.
  static std::string serializeSubtree(const std::shared_ptr<KeyNode>& key, std::u16string relativeTo,
                                      std::string arch);

 private:
  Hive() = default;
  void adoptTree();

  std::filesystem::path file_;
  HiveFormat format_ = HiveFormat::WineText;
  std::shared_ptr<KeyNode> root_;
  std::atomic<bool> dirty_{false};
  std::string readOnlyReason_;
  std::u16string relativeTo_;
  std::string arch_;
  std::vector<BYTE> defaultSecurity_;
  std::mutex saveMutex_;
};

}  // namespace talmoor::platform

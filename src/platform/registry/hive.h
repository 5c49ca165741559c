#pragma once
// A mounted hive: a key subtree backed by one file.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/files/atomic_file.h"
#include "platform/files/file_lock.h"
#include "platform/files/mapped_file.h"
#include "platform/registry/hive_changes.h"
#include "platform/registry/key_tree.h"
#include "platform/registry/regf_log.h"
#include "platform/registry/regf_reader.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

// The Wine text format ("WINE REGISTRY Version 2") or the binary format of
// Windows NT ("regf").
enum class HiveFormat { WineText, Regf };

class Hive : public std::enable_shared_from_this<Hive> {
 public:
  // Reads a hive file in either format, told apart by its first bytes.
  // Returns a Win32 code; on failure nothing is built and the thread's error
  // detail names the file, the place and the problem. A regf file that is
  // damaged but has a readable root loads with what could be recovered: its
  // problems are in damageReports(), the detail holds a summary, and the
  // hive is read-only so that the file is not overwritten with less than it
  // held (RegSaveKey writes the recovered keys to a new file). A file that
  // is read-only, or a Wine file cut short in the middle of a line, loads
  // read-only too, with the reason.
  static LONG load(const std::filesystem::path& file, std::shared_ptr<Hive>& out);

  // A new, empty hive to be written to `file` (a fresh store).
  static std::shared_ptr<Hive> createEmpty(const std::filesystem::path& file, std::u16string relativeTo,
                                           HiveFormat format = HiveFormat::WineText);

  const std::filesystem::path& file() const { return file_; }
  HiveFormat format() const { return format_; }
  const std::shared_ptr<KeyNode>& root() const { return root_; }

  bool dirty() const { return dirty_.load(); }
  void markDirty() {
    changedSinceRead_.store(true);
    dirty_.store(true);
  }
  // Whether keys read on demand may be given back to the file they were
  // read from (KeyNode::forgetContents): only while the file holds what the
  // tree does, that is while nothing was ever changed (a save does not undo
  // that: keys not read yet still come from the file as it was), and no
  // damage was found that could make a second read differ from the first.
  bool mayForgetKeys() const;

  // Read-only for a reason given, or for damage found so far (on opening,
  // by reading keys on demand, or by the whole scan); neither scans.
  bool readOnly() const { return !readOnlyReason().empty(); }
  std::string readOnlyReason() const;
  void setReadOnly(std::string reason) { readOnlyReason_ = std::move(reason); }

  // The native path named by the file's header, for the text format.
  const std::u16string& relativeTo() const { return relativeTo_; }
  const std::string& arch() const { return arch_; }

  // The problems found while reading a regf file, one text each with the
  // cell offset and the key; empty for a sound file. A regf hive whose base
  // block, bins and root are sound is read on demand, each key when it is
  // first used, and only the keys read are checked. Asking for its damage
  // (and saving it) first scans the whole file once, checking every cell as
  // a whole read does; damage found makes the hive read-only. The tree is
  // not rebuilt then (lookups may be using it): the keys a whole read of the
  // damaged file would recover besides (keys whose parent was lost, under
  // kLostAndFound) are not in it.
  const std::vector<std::string>& damageReports() const {
    scanWhole();
    return damageReports_;
  }
  // The problems found so far, without a scan: those opening found, and
  // those met reading keys on demand.
  std::vector<std::string> damageFoundSoFar() const;
  // Whether keys are read from the mapped file as they are first used, and
  // what was read so far.
  bool readsOnDemand() const { return regfSource_ != nullptr; }
  RegfStatistics readSoFar() const;
  // The regf file was not closed cleanly (its sequence numbers differ or its
  // checksum is wrong); what its transaction logs held was laid over it as
  // far as they were sound (see regf_log.h).
  bool wasDirtyOnDisk() const { return dirtyOnDisk_; }
  const LogRecovery& logRecovery() const { return logRecovery_; }
  // What a user is told about that, in one text; empty for a file closed cleanly.
  std::string recoveryText() const;

  // The security descriptor of keys that carry none of their own.
  const std::vector<BYTE>& defaultSecurity() const { return defaultSecurity_; }
  void setDefaultSecurity(std::vector<BYTE> sd) { defaultSecurity_ = std::move(sd); }

  // Writes the hive to its file if it changed. The caller holds the tree
  // lock at least shared, so the tree cannot change meanwhile.
  LONG saveIfDirty();
  // Writes unconditionally. The save holds the writers' lock on the file; if
  // another program replaced the file since it was read, the new file is
  // read and this program's changes are made again on it (see
  // HiveChangeLog), so that neither loses its changes. A file that can no
  // longer be read is left alone and the save refused.
  LONG save();

  // What this program changed since the file was read or last saved; the
  // registry service notes each change here (under the tree's exclusive lock).
  HiveChangeLog& changes() { return changes_; }

  // Whether another program replaced or rewrote the file since this one read
  // or saved it (the desktop offers to reload then).
  bool changedOnDisk() const;
  // Reads the file again and makes the tree (in place: open handles stay
  // good) what the file holds, with this program's unsaved changes made
  // again on top. The caller holds the tree lock exclusively.
  LONG reload();

  // Asked just before a save replaces the file; a non-empty answer refuses
  // the save with that reason (a Wine server that started meanwhile would
  // write its own copy over the file). The changes are then kept in a file
  // beside the hive that the error detail names.
  void setCommitCheck(std::function<std::string()> check) { commitCheck_ = std::move(check); }

  // The bytes of the subtree at `key` in this hive's format, with the header
  // naming `relativeTo`; subkeys mounted from other hives and volatile keys
  // are left out.
  static std::string serializeSubtree(const std::shared_ptr<KeyNode>& key, std::u16string relativeTo,
                                      std::string arch);
  // The same as a regf file; keys without a descriptor of their own get
  // `defaultSecurity`, and the base block notes `fileName`.
  static std::string serializeRegfSubtree(const std::shared_ptr<KeyNode>& key,
                                          const std::vector<BYTE>& defaultSecurity, std::u16string fileName);

 private:
  Hive() = default;
  // `file` keeps `bytes` alive; a hive read on demand keeps it.
  static LONG parse(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                    const std::shared_ptr<const MappedFile>& mapped, std::shared_ptr<Hive>& out);
  static LONG loadRegf(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                       const std::shared_ptr<const MappedFile>& mapped, std::shared_ptr<Hive>& out);
  void scanWhole() const;
  void scanWholeNow();
  void adoptTree();
  // The file's bytes for this hive's tree, in its format, handed to `sink`.
  LONG writeTo(const ByteSink& sink) const;
  // The file as another program left it, with this program's changes made
  // again on it; refused when it cannot be read whole.
  LONG loadCurrentWithChanges(std::shared_ptr<Hive>& current) const;
  // Keeps the bytes of a refused save in a file beside the hive.
  void keepRefusedSave(const std::filesystem::path& target, const ContentWriter& content, const std::string& reason);

  std::filesystem::path file_;
  HiveFormat format_ = HiveFormat::WineText;
  std::shared_ptr<KeyNode> root_;
  std::atomic<bool> dirty_{false};
  std::atomic<bool> changedSinceRead_{false};
  std::string readOnlyReason_;
  std::u16string relativeTo_;
  std::string arch_;
  std::vector<BYTE> defaultSecurity_;
  std::vector<std::string> damageReports_;
  bool dirtyOnDisk_ = false;
  LogRecovery logRecovery_;
  // What a regf file keeps that the tree does not: the root's name, the file
  // name in the base block, and the sequence number the next save follows.
  std::u16string regfRootName_;
  std::u16string regfFileName_;
  std::uint32_t regfSequence_ = 0;
  std::mutex saveMutex_;
  // Set while the keys are read on demand; the whole scan is still to come
  // until `scanned_`, and what it found (damageReports_, scanSummary_) is
  // read only after it is set.
  std::shared_ptr<RegfSource> regfSource_;
  std::atomic<bool> scanned_{true};
  std::mutex scanMutex_;
  std::string scanSummary_;

  // The version of the file this tree was read from or last saved as.
  FileIdentity identity_;
  bool identityKnown_ = false;
  // A save merged another program's changes into the file: the tree lacks
  // them, so later saves merge again until the hive is reloaded.
  bool behindFile_ = false;
  HiveChangeLog changes_;
  std::function<std::string()> commitCheck_;
};

}  // namespace talmoor::platform

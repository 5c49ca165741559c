#include "platform/registry/hive.h"

#include <stdexcept>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/registry/hive_format_error.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/regf_writer.h"
#include "platform/registry/wine_text_format.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr std::string_view kWineSignature = "WINE REGISTRY Version 2";
constexpr std::string_view kWin9xSignature = "CREG";

std::span<const std::uint8_t> asBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

void setHiveRecursive(const std::shared_ptr<KeyNode>& key, const std::shared_ptr<Hive>& hive) {
  key->setHive(hive);
  for (const auto& child : key->subkeys()) setHiveRecursive(child, hive);
}

// The user's SID when the header places the hive under \Registry\User\<sid>.
std::string userSidOf(std::u16string_view relativeTo) {
  std::string path = wideToAnsi(relativeTo);
  constexpr std::string_view kUsers = "REGISTRY\\USER\\";
  if (path.size() <= kUsers.size()) return {};
  std::string head = path.substr(0, kUsers.size());
  for (auto& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (head != kUsers) return {};
  std::string sid = path.substr(kUsers.size());
  return sidFromString(sid) ? sid : std::string();
}

}  // namespace

LONG Hive::load(const std::filesystem::path& file, std::shared_ptr<Hive>& out) {
  std::string bytes;
  if (LONG rc = readWholeFile(file, bytes); rc != ERROR_SUCCESS) return rc;
  if (looksLikeRegf(asBytes(bytes))) return loadRegf(file, bytes, out);
  if (bytes.compare(0, kWin9xSignature.size(), kWin9xSignature) == 0) {
    setErrorDetail(fmt::format("{}: a Windows 95/98/ME registry hive (\"CREG\"), which cannot be read here",
                               file.string()));
    return ERROR_BADDB;
  }
  if (bytes.compare(0, kWineSignature.size(), kWineSignature) != 0) {
    setErrorDetail(fmt::format("{}: not a registry hive file (expected \"{}\" or \"regf\" at the start)",
                               file.string(), kWineSignature));
    return ERROR_BADDB;
  }
  try {
    WineHiveText parsed = parseWineRegistry(bytes, file.string());
    std::shared_ptr<Hive> hive(new Hive());
    hive->file_ = file;
    hive->format_ = HiveFormat::WineText;
    hive->relativeTo_ = std::move(parsed.relativeTo);
    hive->arch_ = std::move(parsed.arch);
    hive->root_ = std::move(parsed.root);
    hive->adoptTree();
    out = std::move(hive);
    return ERROR_SUCCESS;
  } catch (const HiveFormatError& e) {
    setErrorDetail(e.what());
    return ERROR_BADDB;
  }
}

LONG Hive::loadRegf(const std::filesystem::path& file, const std::string& bytes, std::shared_ptr<Hive>& out) {
  RegfHive parsed;
  try {
    parsed = readRegfHive(asBytes(bytes), file.string());
  } catch (const HiveFormatError& e) {
    setErrorDetail(e.what());
    return ERROR_BADDB;
  }
  std::shared_ptr<Hive> hive(new Hive());
  hive->file_ = file;
  hive->format_ = HiveFormat::Regf;
  hive->root_ = std::move(parsed.root);
  hive->regfRootName_ = std::move(parsed.rootName);
  hive->regfFileName_ = std::move(parsed.baseBlockFileName);
  hive->regfSequence_ = parsed.sequence;
  hive->dirtyOnDisk_ = parsed.dirtyOnDisk;
  hive->damageReports_ = std::move(parsed.damage);
  hive->adoptTree();
  // New keys take the root's descriptor, the nearest one the file itself gives.
  if (isValidSecurityDescriptor(hive->root_->security)) hive->defaultSecurity_ = hive->root_->security;
  if (!hive->damageReports_.empty()) {
    std::string summary = fmt::format("{}: the hive is damaged ({} problem{}, first: {}); what could be read is open "
                                      "read-only",
                                      file.string(), parsed.statistics.problems,
                                      parsed.statistics.problems == 1 ? "" : "s", hive->damageReports_.front());
    hive->setReadOnly(summary);
    setErrorDetail(summary);
  }
  out = std::move(hive);
  return ERROR_SUCCESS;
}

std::shared_ptr<Hive> Hive::createEmpty(const std::filesystem::path& file, std::u16string relativeTo,
                                        HiveFormat format) {
  std::shared_ptr<Hive> hive(new Hive());
  hive->file_ = file;
  hive->format_ = format;
  hive->relativeTo_ = std::move(relativeTo);
  hive->arch_ = "win64";
  hive->root_ = std::make_shared<KeyNode>(u"");
  hive->root_->lastWrite = currentFiletime();
  hive->adoptTree();
  hive->dirty_ = true;
  return hive;
}

void Hive::adoptTree() {
  defaultSecurity_ = defaultKeySecurity(userSidOf(relativeTo_));
  setHiveRecursive(root_, shared_from_this());
}

LONG Hive::saveIfDirty() {
  if (!dirty()) return ERROR_SUCCESS;
  return save();
}

LONG Hive::save() {
  std::lock_guard lock(saveMutex_);
  if (readOnly()) {
    setErrorDetail(readOnlyReason_);
    return ERROR_ACCESS_DENIED;
  }
  std::string bytes;
  try {
    if (format_ == HiveFormat::Regf) {
      RegfWriteOptions options;
      options.defaultSecurity = defaultSecurity_;
      options.rootName = regfRootName_;
      options.fileName = regfFileName_.empty() ? ansiToWide(file_.filename().string()) : regfFileName_;
      options.sequence = regfSequence_ + 1;
      bytes = writeRegfHive(*root_, options);
    } else {
      bytes = serializeSubtree(root_, relativeTo_, arch_);
    }
  } catch (const std::invalid_argument& e) {
    setErrorDetail(fmt::format("{}: {}", file_.string(), e.what()));
    return ERROR_CANTWRITE;
  }
  // Cleared before writing: a change made after this point marks it again.
  dirty_ = false;
  LONG rc = replaceFileAtomically(file_, bytes);
  if (rc != ERROR_SUCCESS) {
    dirty_ = true;
    return rc;
  }
  if (format_ == HiveFormat::Regf) {
    ++regfSequence_;
    dirtyOnDisk_ = false;
  }
  return rc;
}

std::string Hive::serializeSubtree(const std::shared_ptr<KeyNode>& key, std::u16string relativeTo,
                                   std::string arch) {
  WineHiveText text;
  text.relativeTo = std::move(relativeTo);
  text.arch = std::move(arch);
  text.root = key;
  return serializeWineRegistry(text);
}

std::string Hive::serializeRegfSubtree(const std::shared_ptr<KeyNode>& key,
                                       const std::vector<BYTE>& defaultSecurity, std::u16string fileName) {
  RegfWriteOptions options;
  options.defaultSecurity = defaultSecurity;
  options.fileName = std::move(fileName);
  return writeRegfHive(*key, options);
}

}  // namespace talmoor::platform

#include "platform/registry/hive.h"

#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/files/mapped_file.h"
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

std::string damageSummary(const std::filesystem::path& file, std::size_t problems, const std::string& first) {
  return fmt::format("{}: the hive is damaged ({} problem{}, first: {}); what could be read is open read-only",
                     file.string(), problems, problems == 1 ? "" : "s", first);
}

}  // namespace

LONG Hive::load(const std::filesystem::path& file, std::shared_ptr<Hive>& out) {
  // Read through a mapping: the parsers copy what they keep, so the file is
  // never held a second time as a whole.
  auto mapped = std::make_shared<MappedFile>();
  FileIdentity identity;
  if (LONG rc = MappedFile::open(file, *mapped, &identity); rc != ERROR_SUCCESS) return rc;
  const std::span<const std::uint8_t> bytes = mapped->bytes();
  std::shared_ptr<Hive> hive;
  if (LONG rc = parse(file, bytes, mapped, hive); rc != ERROR_SUCCESS) return rc;
  hive->identity_ = identity;
  hive->identityKnown_ = true;
  if (!isWritableFile(file))
    hive->setReadOnly(fmt::format("{} is read-only (its permissions allow no writing); it is open read-only",
                                  file.string()));
  // Wine ends every line it writes; a last line without its end was cut
  // short, and what followed it is missing. Saving would make the loss final.
  if (hive->format_ == HiveFormat::WineText && !bytes.empty() && bytes.back() != '\n')
    hive->setReadOnly(fmt::format("{} ends in the middle of a line: the file was cut short and keys or values at "
                                  "its end may be missing; it is open read-only",
                                  file.string()));
  out = std::move(hive);
  return ERROR_SUCCESS;
}

LONG Hive::parse(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                 const std::shared_ptr<const MappedFile>& mapped, std::shared_ptr<Hive>& out) {
  if (looksLikeRegf(bytes)) return loadRegf(file, bytes, mapped, out);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.starts_with(kWin9xSignature)) {
    setErrorDetail(fmt::format("{}: a Windows 95/98/ME registry hive (\"CREG\"), which cannot be read here",
                               file.string()));
    return ERROR_BADDB;
  }
  if (!text.starts_with(kWineSignature)) {
    setErrorDetail(fmt::format("{}: not a registry hive file (expected \"{}\" or \"regf\" at the start)",
                               file.string(), kWineSignature));
    return ERROR_BADDB;
  }
  try {
    WineHiveText parsed = parseWineRegistry(text, file.string());
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

LONG Hive::loadRegf(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                    const std::shared_ptr<const MappedFile>& mapped, std::shared_ptr<Hive>& out) {
  // A file not closed cleanly is read with its transaction logs laid over a
  // copy of it: the file itself stays as it is until a save.
  std::shared_ptr<const void> image = mapped;
  std::span<const std::uint8_t> imageBytes = bytes;
  LogRecovery recovery;
  const bool dirty = regfNeedsRecovery(bytes);
  if (dirty) {
    auto recovered = std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
    recovery = recoverFromLogFiles(file, *recovered);
    imageBytes = *recovered;
    image = std::move(recovered);
  }
  RegfHive parsed;
  std::function<void(std::size_t, std::size_t)> releasePages;
  if (!dirty) {
    // The walk over the bin headers touches every page of a hive of small
    // bins; only the keys used from here on need to stay in memory.
    releasePages = [mapped](std::size_t offset, std::size_t length) { mapped->forgetPages(offset, length); };
  }
  std::shared_ptr<RegfSource> source = RegfSource::open(imageBytes, image, file.string(), parsed, releasePages);
  if (!source) {
    try {
      parsed = readRegfHive(imageBytes, file.string());
    } catch (const HiveFormatError& e) {
      setErrorDetail(e.what());
      return ERROR_BADDB;
    }
  }
  std::shared_ptr<Hive> hive(new Hive());
  hive->file_ = file;
  hive->format_ = HiveFormat::Regf;
  hive->root_ = std::move(parsed.root);
  hive->regfRootName_ = std::move(parsed.rootName);
  hive->regfFileName_ = std::move(parsed.baseBlockFileName);
  hive->regfSequence_ = parsed.sequence;
  hive->dirtyOnDisk_ = dirty;
  hive->logRecovery_ = std::move(recovery);
  hive->damageReports_ = std::move(parsed.damage);
  hive->regfSource_ = std::move(source);
  hive->scanned_ = hive->regfSource_ == nullptr;
  hive->adoptTree();
  // New keys take the root's descriptor, the nearest one the file itself gives.
  if (isValidSecurityDescriptor(hive->root_->security.bytes())) hive->defaultSecurity_ = hive->root_->security;
  if (!hive->damageReports_.empty()) {
    std::string summary = damageSummary(file, parsed.statistics.problems, hive->damageReports_.front());
    hive->setReadOnly(summary);
    setErrorDetail(summary);
  }
  out = std::move(hive);
  return ERROR_SUCCESS;
}

void Hive::scanWhole() const {
  if (scanned_.load(std::memory_order_acquire)) return;
  // Hives are never made const; only their readers see them so. The scan
  // changes no key, only what the hive reports.
  const_cast<Hive*>(this)->scanWholeNow();
}

void Hive::scanWholeNow() {
  std::lock_guard lock(scanMutex_);
  if (scanned_.load(std::memory_order_relaxed)) return;
  // A read of its own, which checks every cell; the keys it builds are only
  // looked at for their problems.
  RegfHive whole;
  try {
    whole = checkRegfHive(regfSource_->bytes(), file_.string());
  } catch (const HiveFormatError& e) {
    whole.damage.push_back(e.what());  // the root was read when the hive was opened; not expected
    whole.statistics.problems = 1;
  }
  whole.root.reset();
  if (!whole.damage.empty()) {
    scanSummary_ = damageSummary(file_, whole.statistics.problems, whole.damage.front());
    damageReports_ = std::move(whole.damage);
  }
  scanned_.store(true, std::memory_order_release);
}

std::string Hive::readOnlyReason() const {
  if (!readOnlyReason_.empty()) return readOnlyReason_;
  if (scanned_.load(std::memory_order_acquire) && !scanSummary_.empty()) return scanSummary_;
  if (regfSource_ && regfSource_->damaged()) {
    RegfStatistics read = regfSource_->statistics();
    std::vector<std::string> found = regfSource_->damageSoFar();
    return damageSummary(file_, read.problems, found.empty() ? std::string() : found.front());
  }
  return {};
}

std::vector<std::string> Hive::damageFoundSoFar() const {
  if (scanned_.load(std::memory_order_acquire) || !regfSource_) return damageReports_;
  return regfSource_->damageSoFar();
}

bool Hive::mayForgetKeys() const {
  if (!regfSource_ || changedSinceRead_.load() || regfSource_->damaged()) return false;
  return !scanned_.load(std::memory_order_acquire) || scanSummary_.empty();
}

RegfStatistics Hive::readSoFar() const { return regfSource_ ? regfSource_->statistics() : RegfStatistics{}; }

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
  root_->adoptInto(shared_from_this());
}

LONG Hive::saveIfDirty() {
  if (!dirty()) return ERROR_SUCCESS;
  return save();
}

LONG Hive::writeTo(const ByteSink& sink) const {
  try {
    if (format_ == HiveFormat::Regf) {
      RegfWriteOptions options;
      options.defaultSecurity = defaultSecurity_;
      options.rootName = regfRootName_;
      options.fileName = regfFileName_.empty() ? ansiToWide(file_.filename().string()) : regfFileName_;
      options.sequence = regfSequence_ + 1;
      return sink(writeRegfHive(*root_, options)) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
    }
    WineHiveText text;
    text.relativeTo = relativeTo_;
    text.arch = arch_;
    text.root = root_;
    return writeWineRegistry(text, sink) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
  } catch (const std::invalid_argument& e) {
    setErrorDetail(fmt::format("{}: {}", file_.string(), e.what()));
    return ERROR_CANTWRITE;
  }
}

std::string Hive::recoveryText() const {
  if (!dirtyOnDisk_) return {};
  std::string text;
  if (logRecovery_.recovered()) {
    std::string logs;
    for (const auto& log : logRecovery_.logsUsed) logs += (logs.empty() ? "" : ", ") + log.filename().string();
    text = fmt::format("{} was not closed cleanly; {} page{} from its transaction logs ({}) were laid over it",
                       file_.string(), logRecovery_.pagesApplied, logRecovery_.pagesApplied == 1 ? "" : "s", logs);
  } else {
    text = fmt::format("{} was not closed cleanly, and no sound transaction log (.LOG1, .LOG2, .LOG) was found "
                       "beside it: changes kept in the logs are not applied",
                       file_.string());
  }
  for (const auto& problem : logRecovery_.problems) text += "; " + problem;
  return text;
}

bool Hive::changedOnDisk() const {
  FileIdentity now;
  if (!identityOf(file_, now)) return identityKnown_;  // gone since it was read
  return !identityKnown_ || now != identity_;
}

LONG Hive::loadCurrentWithChanges(std::shared_ptr<Hive>& current) const {
  clearErrorDetail();
  LONG rc = Hive::load(file_, current);
  if (rc == ERROR_SUCCESS && !current->damageReports().empty()) rc = ERROR_BADDB;
  if (rc != ERROR_SUCCESS) {
    std::string why = takeErrorDetail();
    setErrorDetail(fmt::format("{} was changed by another program since it was read, and its new contents cannot be "
                               "read ({}); nothing was written",
                               file_.string(), why.empty() ? "error " + std::to_string(rc) : why));
    return rc;
  }
  clearErrorDetail();
  changes_.replay(*root_, *current->root_);
  return ERROR_SUCCESS;
}

void Hive::keepRefusedSave(const std::filesystem::path& target, const ContentWriter& content,
                           const std::string& reason) {
  std::time_t now = std::time(nullptr);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
  std::filesystem::path side = target;
  side += fmt::format(".talmoor-unsaved-{}", stamp);
  if (replaceFileAtomically(side, content) == ERROR_SUCCESS)
    setReadOnly(fmt::format("{}; the changes that were not saved are kept in {}", reason, side.string()));
  else
    setReadOnly(fmt::format("{}; the changes that were not saved could not be kept either ({})", reason,
                            takeErrorDetail()));
}

LONG Hive::save() {
  std::lock_guard lock(saveMutex_);
  // Keys never read may be damaged: the file is checked whole before it is
  // written over.
  scanWhole();
  if (readOnly()) {
    setErrorDetail(readOnlyReason());
    return ERROR_ACCESS_DENIED;
  }
  // Taken on the file a link points to: that is the file being replaced.
  const std::filesystem::path target = writeTargetOf(file_);
  FileLock writers;
  if (LONG rc = FileLock::acquire(target, writers); rc != ERROR_SUCCESS) return rc;

  // Cleared before writing: a change made after this point marks it again.
  dirty_ = false;
  auto failed = [this](LONG rc) {
    dirty_ = true;
    return rc;
  };
  const bool merge = behindFile_ || changedOnDisk();
  std::shared_ptr<Hive> current;
  if (merge) {
    if (LONG rc = loadCurrentWithChanges(current); rc != ERROR_SUCCESS) return failed(rc);
  }
  // Written as it is made: a hive is never held a second time as its text.
  const Hive& written = merge ? *current : *this;
  const ContentWriter content = [&written](const ByteSink& sink) { return written.writeTo(sink); };
  if (commitCheck_) {
    if (std::string refusal = commitCheck_(); !refusal.empty()) {
      keepRefusedSave(target, content, refusal);
      setErrorDetail(readOnlyReason());
      return failed(ERROR_SHARING_VIOLATION);
    }
  }
  if (LONG rc = replaceFileLocked(target, content, writers); rc != ERROR_SUCCESS) return failed(rc);

  identityKnown_ = identityOf(target, identity_);
  if (format_ == HiveFormat::Regf) {
    regfSequence_ = (merge ? current->regfSequence_ : regfSequence_) + 1;
    dirtyOnDisk_ = false;
  }
  // After a merge the file holds keys this tree lacks: the changes stay
  // noted, so that the next save merges again instead of dropping them.
  behindFile_ = merge;
  if (!merge) changes_.clear();
  return ERROR_SUCCESS;
}

LONG Hive::reload() {
  std::lock_guard lock(saveMutex_);
  std::shared_ptr<Hive> current;
  if (LONG rc = loadCurrentWithChanges(current); rc != ERROR_SUCCESS) return rc;
  takeTree(*root_, *current->root_, shared_from_this());
  // The keys taken over that are still unread read from the new file;
  // loading it checked it whole.
  regfSource_ = current->regfSource_;
  damageReports_ = current->damageReports_;
  scanSummary_ = current->scanSummary_;
  scanned_.store(true, std::memory_order_release);
  identity_ = current->identity_;
  identityKnown_ = current->identityKnown_;
  regfSequence_ = current->regfSequence_;
  dirtyOnDisk_ = current->dirtyOnDisk_;
  behindFile_ = false;
  // Every change not yet saved is in the tree now and still to be saved;
  // without any, the tree is the file.
  if (!dirty()) changes_.clear();
  return ERROR_SUCCESS;
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

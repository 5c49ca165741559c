#include "platform/registry/loaded_hives.h"

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/files/file_io.h"
#include "platform/registry/profile_hives.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/registry_host.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

// An open key of the host, closed when it goes.
class HostKey {
 public:
  explicit HostKey(RegistryHost& host) : host_(host) {}
  ~HostKey() {
    if (key_) host_.closeKey(key_);
  }
  HostKey(const HostKey&) = delete;
  HostKey& operator=(const HostKey&) = delete;
  HKEY& out() { return key_; }
  HKEY get() const { return key_; }

 private:
  RegistryHost& host_;
  HKEY key_ = 0;
};

struct Record {
  std::u16string mountPath;
  std::filesystem::path file;
};

}  // namespace

LONG LoadedHiveRecords::record(std::u16string_view mountPath, const std::filesystem::path& file) {
  HostKey records(host_);
  LONG rc = host_.createKey(HKEY_LOCAL_MACHINE, key_, nullptr, 0, KEY_ALL_ACCESS, nullptr, records.out(), nullptr);
  if (rc == ERROR_SUCCESS) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    rc = host_.setValue(records.get(), mountPath, REG_SZ,
                        bytesFromUtf16(ansiToWide((ec ? file : absolute).string()), true));
  }
  if (rc != ERROR_SUCCESS)
    setErrorDetail(fmt::format("the load of {} at {} could not be recorded in Talmoor's settings, so that later runs "
                               "load it again: {}",
                               file.string(), userKeyText(mountPath), takeErrorDetail()));
  return rc;
}

LONG LoadedHiveRecords::forget(std::u16string_view mountPath) {
  HostKey records(host_);
  LONG rc = host_.openKey(HKEY_LOCAL_MACHINE, key_, 0, KEY_ALL_ACCESS, records.out());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc == ERROR_SUCCESS) rc = host_.deleteValue(records.get(), mountPath);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

void LoadedHiveRecords::remount(std::vector<std::string>& warnings) {
  std::vector<Record> recorded;
  {
    HostKey records(host_);
    if (host_.openKey(HKEY_LOCAL_MACHINE, key_, 0, KEY_READ, records.out()) != ERROR_SUCCESS) return;
    ValueEntry value;
    for (DWORD index = 0; host_.enumValue(records.get(), index, value) == ERROR_SUCCESS; ++index) {
      if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
      std::u16string file = utf16FromBytes(value.data);
      while (!file.empty() && file.back() == u'\0') file.pop_back();
      recorded.push_back(Record{value.name, wideToAnsi(file)});
    }
  }
  MachineRegistry& machine = host_.local();
  for (const auto& [mountPath, file] : recorded) {
    const std::string where = userKeyText(mountPath);
    if (fileKind(file) == FileKind::Missing) {
      warnings.push_back(fmt::format("warning: the hive file {}, loaded at {}, is gone; it is no longer loaded",
                                     file.string(), where));
      forget(mountPath);
      continue;
    }
    // Given on the command line as well: mounted there already.
    if (machine.hiveOfFile(file)) continue;
    clearErrorDetail();
    std::shared_ptr<Hive> hive;
    LONG rc = Hive::load(file, hive);
    if (rc == ERROR_SUCCESS) {
      noteHiveState(*hive, warnings);
      rc = machine.mount(hive, mountPath);
      if (rc == ERROR_ALREADY_EXISTS) setErrorDetail(fmt::format("{} is taken by another key or hive", where));
    }
    if (rc != ERROR_SUCCESS) {
      std::string detail = takeErrorDetail();
      warnings.push_back(fmt::format("warning: the hive file {} could not be loaded at {} again{}{}", file.string(),
                                     where, detail.empty() ? "" : ": ", detail));
    }
  }
}

}  // namespace talmoor::platform

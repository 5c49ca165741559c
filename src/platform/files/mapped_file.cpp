#include "platform/files/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

LONG fail(const std::filesystem::path& file, const char* what, int err) {
  setErrorDetail(fmt::format("{} {}: {}", what, file.string(), std::strerror(err)));
  return static_cast<LONG>(win32ErrorFromErrno(err));
}

}  // namespace

MappedFile::~MappedFile() { release(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void MappedFile::release() {
  if (data_ && size_) ::munmap(const_cast<std::uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

LONG MappedFile::open(const std::filesystem::path& file, MappedFile& out, FileIdentity* identity) {
  out.release();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(file, "cannot open", errno);
  struct stat info {};
  LONG rc = ERROR_SUCCESS;
  if (::fstat(fd, &info) != 0) {
    rc = fail(file, "cannot read", errno);
  } else if (S_ISDIR(info.st_mode)) {
    rc = fail(file, "cannot read", EISDIR);
  } else {
    if (identity) identityOfOpenFile(fd, *identity);
    // An empty file has nothing to map; it reads as no bytes.
    if (info.st_size > 0) {
      void* at = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (at == MAP_FAILED) {
        rc = fail(file, "cannot read", errno);
      } else {
        out.data_ = static_cast<const std::uint8_t*>(at);
        out.size_ = static_cast<std::size_t>(info.st_size);
      }
    }
  }
  ::close(fd);  // the mapping keeps the file
  return rc;
}

void MappedFile::forgetPages(std::size_t offset, std::size_t length) const {
  if (!data_ || offset >= size_) return;
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::size_t from = (offset + page - 1) / page * page;
  std::size_t to = std::min(offset + length, size_) / page * page;
  // The mapping is private and never written: dropping its pages loses nothing.
  if (from < to) ::madvise(const_cast<std::uint8_t*>(data_) + from, to - from, MADV_DONTNEED);
}

}  // namespace talmoor::platform

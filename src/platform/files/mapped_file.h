#pragma once
// A file mapped read-only into memory. Its pages are read from the file when
// first touched, so reading a few keys of a large hive reads a few pages of
// it, and untouched pages cost no memory. Saves replace a file by renaming a
// new one over it, which leaves a mapping of the old one whole.

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/files/file_lock.h"
#include "platform/win32_types.h"

namespace talmoor::platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the whole file. Returns a Win32 code and leaves a detail on failure.
  // `identity`, when given, receives the identity of the very file mapped.
  static LONG open(const std::filesystem::path& file, MappedFile& out, FileIdentity* identity = nullptr);

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
  // Gives back the pages of [offset, offset + length) touched so far (whole
  // pages only): they are read again from the file's cache when next
  // touched. For a walk that glances at every page of a large file once, so
  // that what it touched does not stay counted against the process.
  void forgetPages(std::size_t offset, std::size_t length) const;

 private:
  void release();
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace talmoor::platform

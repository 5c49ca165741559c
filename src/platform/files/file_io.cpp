#include "platform/files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error_detail.h"
#include "platform/win32_error_text.h"
#include "platform/win32_errors.h"

namespace talmoor::platform {

namespace {

constexpr std::size_t kCopyPiece = 1 << 20;
constexpr std::size_t kWriteBuffer = 64 * 1024;

bool isDirectory(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FileError fileErrorFromErrno(int err, LONG fallback, const std::filesystem::path& file) {
  if (err == 0) return {fallback, systemErrorText(fallback).value_or("The operation failed.")};
  LONG code = static_cast<LONG>(win32ErrorFromErrno(err));
  if (code == ERROR_FILE_NOT_FOUND && file.has_parent_path() && !isDirectory(file.parent_path()))
    code = ERROR_PATH_NOT_FOUND;
  // The catch-all of the mapping speaks of registry files; the host's text
  // says more about any other file.
  if (code == ERROR_REGISTRY_IO_FAILED) return {fallback, std::strerror(err)};
  auto text = systemErrorText(code);
  return {code, text ? *text : std::string(std::strerror(err))};
}

FileError isFolderError() { return fileErrorFromErrno(EISDIR, ERROR_ACCESS_DENIED); }

FileError missingFolderError(const std::filesystem::path& file) {
  return fileErrorFromErrno(ENOENT, ERROR_PATH_NOT_FOUND, file);
}

FileKind fileKind(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return FileKind::Missing;
  if (S_ISREG(info.st_mode)) return FileKind::Regular;
  if (S_ISDIR(info.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

bool nameTaken(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReader::open(const std::filesystem::path& file) {
  fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = fileErrorFromErrno(errno, ERROR_ACCESS_DENIED, file);
    return false;
  }
  return true;
}

bool FileReader::read(std::string& out, std::size_t most) {
  out.resize(most);
  std::size_t got = 0;
  // A pipe gives what it has; the piece is filled unless the end comes first.
  while (got < most) {
    ssize_t n = fd_ < 0 ? -1 : ::read(fd_, out.data() + got, most - got);
    if (n < 0) {
      if (fd_ >= 0 && errno == EINTR) continue;
      error_ = fileErrorFromErrno(fd_ < 0 ? EBADF : errno, ERROR_READ_FAULT);
      out.resize(got);
      return false;
    }
    if (n == 0) {
      out.resize(got);
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

FileWriter::~FileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileWriter::fail(int err, LONG fallback) {
  if (!error_.failed()) error_ = fileErrorFromErrno(err, fallback, file_);
  return false;
}

bool FileWriter::open(const std::filesystem::path& file) {
  file_ = file;
  fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) return fail(errno, ERROR_ACCESS_DENIED);
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    regular_ = true;
    sizeAtOpen_ = static_cast<std::uint64_t>(info.st_size);
  }
  return true;
}

bool FileWriter::write(std::string_view bytes) {
  if (fd_ < 0) return fail(0, ERROR_INVALID_HANDLE);
  if (error_.failed()) return false;
  if (buffer_.size() + bytes.size() < kWriteBuffer) {
    buffer_.append(bytes);
    return true;
  }
  return flushBuffer() && writeOut(bytes);
}

bool FileWriter::flushBuffer() {
  std::string pending;
  pending.swap(buffer_);
  return writeOut(pending);
}

bool FileWriter::writeOut(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno, ERROR_WRITE_FAULT);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool FileWriter::close() {
  if (fd_ < 0) return !error_.failed();
  bool ok = error_.failed() ? false : flushBuffer();
  if (regular_ && ::fsync(fd_) != 0) ok = fail(errno, ERROR_WRITE_FAULT);
  if (::close(fd_) != 0) ok = fail(errno, ERROR_WRITE_FAULT);
  fd_ = -1;
  return ok && !error_.failed();
}

FileError copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  FileReader reader;
  if (!reader.open(from)) return reader.error();
  FileWriter writer;
  if (!writer.open(to)) return writer.error();
  std::string piece;
  bool more = true;
  while (more) {
    more = reader.read(piece, kCopyPiece);
    if (reader.error().failed()) return reader.error();
    if (!writer.write(piece)) return writer.error();
  }
  if (!writer.close()) return writer.error();
  return {};
}

LONG readFileStart(const std::filesystem::path& file, std::size_t count, std::string& bytes, std::uint64_t& size) {
  if (fileKind(file) != FileKind::Regular) return ERROR_FILE_NOT_FOUND;
  FileReader reader;
  if (!reader.open(file)) return reader.error().code;
  struct stat info {};
  size = ::stat(file.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  reader.read(bytes, count);
  return reader.error().code;
}

}  // namespace talmoor::platform

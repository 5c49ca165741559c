#pragma once
// Reading and writing host files piece by piece, for the code above the
// platform: registry scripts, rule files, the start of a hive file. Every
// failure is a Win32 code with the system's text for it, as Windows would
// tell it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace talmoor::platform {

struct FileError {
  LONG code = 0;
  std::string reason;
  bool failed() const { return code != 0; }
};

// From an errno value; `fallback` stands in when errno says nothing (0) or
// names a cause Windows has no code for, and the host's own text is used.
// With the file named, a missing folder on its way is told from a missing
// file, as Windows tells them apart.
FileError fileErrorFromErrno(int err, LONG fallback, const std::filesystem::path& file = {});
// The refusals of the commonest cases, in the same words.
FileError isFolderError();                                   // a folder where a file was asked for
FileError missingFolderError(const std::filesystem::path& file);  // the file's folder is not there

enum class FileKind { Missing, Regular, Directory, Other };
// What is at the path (links followed); Other is a pipe, terminal or device.
FileKind fileKind(const std::filesystem::path& path);
// Whether a name is taken, even by a link that points nowhere.
bool nameTaken(const std::filesystem::path& path);

class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens for reading only (a missing file stays missing). False on failure.
  bool open(const std::filesystem::path& file);
  // The next bytes, at most `most` of them, in place of what `out` held.
  // False at the end of the file or on a failure (error() tells which).
  bool read(std::string& out, std::size_t most);
  const FileError& error() const { return error_; }

 private:
  int fd_ = -1;
  FileError error_;
};

class FileWriter {
 public:
  FileWriter() = default;
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Opens for appending, creating the file when missing. False on failure.
  bool open(const std::filesystem::path& file);
  bool isOpen() const { return fd_ >= 0; }
  // The size of what the file held before (0 for a pipe or device, which
  // has no end to find).
  std::uint64_t sizeAtOpen() const { return sizeAtOpen_; }
  // Kept in a buffer of the writer's own until it is large, so that a file
  // written a line at a time is not a system call a line; a failure may
  // therefore show only at a later write or at close().
  bool write(std::string_view bytes);
  // What is buffered, onto the disk (nothing for a pipe or device), closed.
  bool close();
  // The first failure since open().
  const FileError& error() const { return error_; }

 private:
  bool fail(int err, LONG fallback);
  bool writeOut(std::string_view bytes);
  bool flushBuffer();

  int fd_ = -1;
  std::filesystem::path file_;
  std::uint64_t sizeAtOpen_ = 0;
  bool regular_ = false;
  std::string buffer_;
  FileError error_;
};

// Copies a file's bytes to a new file (what a save that appends starts from).
FileError copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// The first bytes of a file (up to `count`) and its size; a Win32 code.
LONG readFileStart(const std::filesystem::path& file, std::size_t count, std::string& bytes, std::uint64_t& size);

}  // namespace talmoor::platform

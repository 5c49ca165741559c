#include "scripts/script_writer.h"

#include <cerrno>
#include <system_error>

#include <fmt/format.h>

#include "app/interaction.h"
#include "platform/win32_errors.h"
#include "scripts/file_failure.h"
#include "scripts/script_text.h"

namespace talmoor::scripts {

namespace {

constexpr const char* kNotWrittenTitle = "File not written";

void showOpenFailure(const std::filesystem::path& file, const FileFailure& failure) {
  messageBox(fmt::format("Cannot open the file '{}' for writing. {}", file.string(), failure.reason), kNotWrittenTitle);
}

}  // namespace

ScriptWriter::~ScriptWriter() { close(); }

bool ScriptWriter::open(const std::filesystem::path& file, bool fresh) {
  close();
  file_ = file;
  lastKeyLine_.clear();
  failure_ = {};
  failureShown_ = false;

  // Only a file is deleted; a folder of that name makes the open below fail.
  std::error_code ec;
  if (fresh && !std::filesystem::is_directory(file, ec)) {
    std::filesystem::remove(file, ec);
    if (ec) {
      failure_ = fileFailureFromErrno(ec.value(), ERROR_ACCESS_DENIED);
      showOpenFailure(file, failure_);
      return false;
    }
  }

  // Appending: every write lands at the end, whatever others write meanwhile.
  errno = 0;
  stream_.open(file, std::ios::binary | std::ios::app);
  if (!stream_.is_open()) {
    failure_ = fileFailureFromErrno(errno, ERROR_ACCESS_DENIED, file);
    showOpenFailure(file, failure_);
    return false;
  }

  stream_.seekp(0, std::ios::end);
  std::streamoff end = stream_ ? static_cast<std::streamoff>(stream_.tellp()) : -1;
  if (end < 0) {
    failure_ = fileFailureFromErrno(errno, ERROR_INVALID_FUNCTION);
    failureShown_ = true;
    stream_.close();
    messageBox(
        "Cannot use this file. Since the seek operation failed on this file continuing would be unsafe. Action "
        "cancelled.",
        kNotWrittenTitle);
    return false;
  }
  if (end == 0) writeLine(std::string(kHeaderRegedit4) + std::string(kCrLf));
  return true;
}

bool ScriptWriter::writeLine(std::string_view text) {
  if (!stream_.is_open()) {
    if (failure_.code == 0) failure_ = fileFailureFromErrno(0, ERROR_INVALID_HANDLE);
    return false;
  }
  errno = 0;
  stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (stream_) return true;
  noteFailure(ERROR_WRITE_FAULT);
  return false;
}

void ScriptWriter::noteFailure(LONG fallback) {
  if (failure_.code == 0) failure_ = fileFailureFromErrno(errno, fallback);
}

bool ScriptWriter::writeKeyText(std::string line) {
  if (line == lastKeyLine_) return true;
  lastKeyLine_ = std::move(line);
  std::string section;
  section.reserve(lastKeyLine_.size() + 4);
  section += kCrLf;
  section += lastKeyLine_;
  section += kCrLf;
  if (writeLine(section)) return true;
  failureShown_ = true;
  messageBox("Error during Save Operation", "Aborting");
  return false;
}

bool ScriptWriter::writeKeyLine(std::string_view keyPath) { return writeKeyText(fmt::format("[{}]", keyPath)); }

bool ScriptWriter::writeFavouriteKeyLine(std::string_view keyPath, std::string_view name,
                                         std::optional<std::string_view> second) {
  std::string line = fmt::format("[{}] ; {}", keyPath, name);
  if (second) line += fmt::format(", {}", *second);
  return writeKeyText(std::move(line));
}

bool ScriptWriter::writeValueLine(std::string_view name, DWORD type, std::span<const BYTE> data) {
  return writeLine(formatValueLine(name, type, data));
}

bool ScriptWriter::close() {
  if (!stream_.is_open()) return failure_.code == 0;
  errno = 0;
  stream_.flush();
  if (!stream_) noteFailure(ERROR_WRITE_FAULT);
  errno = 0;
  stream_.close();
  if (!stream_) noteFailure(ERROR_WRITE_FAULT);
  if (failure_.code != 0 && !failureShown_) {
    failureShown_ = true;
    messageBox(fmt::format("Cannot write the file '{}'. {}", file_.string(), failure_.reason), "Aborting");
  }
  return failure_.code == 0;
}

}  // namespace talmoor::scripts

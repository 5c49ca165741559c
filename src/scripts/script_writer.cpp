#include "scripts/script_writer.h"


#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/error_detail.h"
#include "platform/files/atomic_file.h"
#include "platform/win32_errors.h"
#include "scripts/script_text.h"

namespace talmoor::scripts {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotWrittenTitle = "File not written";
constexpr const char* kSeekFailedText =
    "Cannot use this file. Since the seek operation failed on this file continuing would be unsafe. Action "
    "cancelled.";

void showOpenFailure(const fs::path& file, const FileFailure& failure) {
  messageBox(fmt::format("Cannot open the file '{}' for writing. {}", file.string(), failure.reason), kNotWrittenTitle);
}

// A name as a comment shows it: on one line, the NUL visible.
std::string shownName(std::string_view name) {
  std::string out;
  for (char c : name) {
    switch (c) {
      case '\0': out += "\\0"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

// The platform's code for a refused replacement, with its detail.
FileFailure replaceFailure(LONG code) {
  FileFailure failure{code, systemMessageText(code)};
  if (std::string detail = platform::takeErrorDetail(); !detail.empty()) failure.reason += fmt::format(" ({})", detail);
  return failure;
}

}  // namespace

bool isWrittenThrough(const fs::path& file) {
  if (platform::fileKind(file) == platform::FileKind::Other) return true;
  // Standard output sent to a file by the shell is still standard output:
  // a new file renamed over that one would not be where the shell appends,
  // and would throw away what the shell wrote there before.
  const std::string path = file.lexically_normal().string();
  return path == "/dev/stdout" || path == "/dev/stderr" || path.starts_with("/dev/fd/") ||
         path.starts_with("/proc/self/fd/");
}

ScriptWriter::~ScriptWriter() = default;

bool ScriptWriter::open(const fs::path& shownName, const fs::path& file) {
  shownName_ = shownName;
  if (!file_.open(file)) {
    failure_ = file_.error();
    failureShown_ = true;
    showOpenFailure(shownName, failure_);
    return false;
  }
  return true;
}

void ScriptWriter::writeHeader(bool always) {
  // A pipe or device has no content before ours.
  const std::uint64_t held = always ? 0 : file_.sizeAtOpen();
  if (held == 0) {
    if (!file_.write(scriptFileStart(format_))) noteFailure();
  } else if (format_ == ScriptFormat::Regedit5 && held == kUtf16ByteOrderMark.size()) {
    // An empty text saved as UTF-16 holds its byte-order mark alone
    // (mayAppendTo has seen that it is one): the header still has to come.
    writeLine(std::string(kHeaderVersion5) + std::string(kCrLf));
  }
}

bool ScriptWriter::mayAppendTo(const fs::path& shownName, const fs::path& file) {
  std::string start;
  std::uint64_t size = 0;
  if (LONG rc = platform::readFileStart(file, kUtf16ByteOrderMark.size(), start, size); rc != ERROR_SUCCESS) {
    failure_ = replaceFailure(rc);
    failureShown_ = true;
    messageBox(kSeekFailedText, kNotWrittenTitle);
    return false;
  }
  if (size == 0) return true;
  const bool utf16 = start == kUtf16ByteOrderMark;
  std::string problem;
  if (utf16 && format_ == ScriptFormat::Regedit4)
    problem = "it is UTF-16 text and this export is ANSI (REGEDIT4); the two cannot be mixed in one file. Export in "
              "the file's own format, or start a new file.";
  else if (!utf16 && format_ == ScriptFormat::Regedit5)
    problem = "it is ANSI text and this export is UTF-16 (Version 5.00); the two cannot be mixed in one file. Export "
              "in the file's own format, or start a new file.";
  else if (utf16 && size % 2 != 0)
    problem = "its UTF-16 text ends in the middle of a character.";
  if (problem.empty()) return true;
  failure_ = FileFailure{ERROR_INVALID_DATA, systemMessageText(ERROR_INVALID_DATA)};
  failureShown_ = true;
  messageBox(fmt::format("Cannot append to the file '{}': {}", shownName.string(), problem), kNotWrittenTitle);
  return false;
}

bool ScriptWriter::writeLine(std::string_view text) {
  if (format_ == ScriptFormat::Regedit4 ? file_.write(text) : file_.write(encodeScriptText(text, format_)))
    return true;
  noteFailure();
  return false;
}

void ScriptWriter::noteFailure() {
  if (failure_.code == 0) failure_ = file_.error();
}

bool ScriptWriter::writeKeyText(std::string line) {
  keySkipped_ = false;
  if (line == lastKeyLine_) return true;
  lastKeyLine_ = std::move(line);
  std::string section;
  section.reserve(lastKeyLine_.size() + 4);
  section += kCrLf;
  section += lastKeyLine_;
  section += kCrLf;
  if (writeLine(section)) return true;
  // Once per file: a full disk fails every line after the first.
  if (!failureShown_) {
    failureShown_ = true;
    messageBox("Error during Save Operation", "Aborting");
  }
  return false;
}

void ScriptWriter::skipKey(std::string_view keyPath) {
  keySkipped_ = true;
  // Everything below the key whose name holds the NUL goes with it, and a
  // walk gives that all in a row: one comment says it.
  std::string_view key = keyPath.substr(0, keyPath.find('\\', keyPath.find('\0')));
  if (!skippedKey_.empty() && keyPath.starts_with(skippedKey_) &&
      (keyPath.size() == skippedKey_.size() || keyPath[skippedKey_.size()] == '\\'))
    return;
  skippedKey_ = std::string(key);
  ++skipped_;
  notes_.push_back(fmt::format("; Not exported: the key [{}] and everything below it, since its name holds a NUL, "
                               "which a registry script cannot carry.",
                               shownName(key)));
}

bool ScriptWriter::writeKeyLine(std::string_view keyPath) {
  if (keyPath.find('\0') != std::string_view::npos) {
    skipKey(keyPath);
    return false;
  }
  return writeKeyText(fmt::format("[{}]", keyPath));
}

bool ScriptWriter::writeFavouriteKeyLine(std::string_view keyPath, std::string_view name,
                                         std::optional<std::string_view> second) {
  if (keyPath.find('\0') != std::string_view::npos) {
    skipKey(keyPath);
    return false;
  }
  std::string line = fmt::format("[{}] ; {}", keyPath, shownName(name));
  if (second) line += fmt::format(", {}", shownName(*second));
  return writeKeyText(std::move(line));
}

bool ScriptWriter::writeValueLine(std::string_view name, DWORD type, std::span<const BYTE> data) {
  // Its key's comment covers it.
  if (keySkipped_) return false;
  if (name.find('\0') != std::string_view::npos) {
    ++skipped_;
    notes_.push_back(fmt::format("; Not exported: the value \"{}\" of {}, since its name holds a NUL, which a "
                                 "registry script cannot carry.",
                                 shownName(name), lastKeyLine_));
    return false;
  }
  return writeLine(formatValueLine(name, type, data, format_));
}

bool ScriptWriter::finish() {
  if (!file_.isOpen()) return failure_.code == 0;
  if (!notes_.empty()) {
    std::string text(kCrLf);
    for (const auto& note : notes_) {
      text += note;
      text += kCrLf;
    }
    writeLine(text);
  }
  if (!file_.close()) noteFailure();
  if (failure_.code != 0 && !failureShown_) {
    failureShown_ = true;
    messageBox(fmt::format("Cannot write the file '{}'. {}", shownName_.string(), failure_.reason), "Aborting");
  }
  return failure_.code == 0;
}

ScriptFileOutcome writeScriptFile(const fs::path& file, bool fresh, const std::function<bool(ScriptWriter&)>& write) {
  return writeScriptFile(file, fresh, ScriptFormat::Regedit4, write);
}

ScriptFileOutcome writeScriptFile(const fs::path& file, bool fresh, ScriptFormat format,
                                  const std::function<bool(ScriptWriter&)>& write) {
  ScriptWriter writer;
  writer.format_ = format;
  ScriptFileOutcome outcome;
  auto ended = [&](bool written) {
    outcome.written = written;
    outcome.error = writer.error();
    outcome.skipped = writer.skipped();
    return outcome;
  };
  auto refuse = [&](const FileFailure& failure) {
    writer.failure_ = failure;
    showOpenFailure(file, failure);
    return ended(false);
  };

  const platform::FileKind kind = platform::fileKind(file);
  if (kind == platform::FileKind::Directory) return refuse(platform::isFolderError());
  if (kind == platform::FileKind::Other || isWrittenThrough(file)) {
    // A pipe, a terminal, a device, a descriptor: only ever written to, never replaced.
    if (!writer.open(file, file)) return ended(false);
    writer.writeHeader(true);
    bool completed = write(writer);
    bool finished = writer.finish();
    return ended(completed && finished);
  }

  const fs::path target = platform::writeTargetOf(file);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (platform::fileKind(folder) != platform::FileKind::Directory) return refuse(platform::missingFolderError(target));

  bool started = false;
  bool completed = false;
  LONG rc = platform::replaceFileThrough(target, [&](const fs::path& staged) -> LONG {
    started = true;
    if (!fresh && platform::fileKind(target) == platform::FileKind::Regular) {
      // What the file held comes first; without it, appending would lose it.
      if (FileFailure copied = platform::copyFile(target, staged); copied.failed()) {
        writer.failure_ = copied;
        writer.failureShown_ = true;
        messageBox(kSeekFailedText, kNotWrittenTitle);
        return writer.error();
      }
      if (!writer.mayAppendTo(file, staged)) return writer.error();
    }
    if (!writer.open(file, staged)) return writer.error();
    writer.writeHeader(false);
    completed = write(writer);
    if (!writer.finish()) return writer.error();
    return completed ? ERROR_SUCCESS : ERROR_CANCELLED;
  });
  if (rc == ERROR_SUCCESS) return ended(true);
  if (writer.failed() || (started && !completed)) return ended(false);
  // The platform refused the file (read-only, not a file) or could not put
  // the new one in its place.
  FileFailure failure = replaceFailure(rc);
  if (!started) return refuse(failure);
  writer.failure_ = failure;
  messageBox(fmt::format("Cannot write the file '{}'. {}", file.string(), failure.reason), "Aborting");
  return ended(false);
}

}  // namespace talmoor::scripts

#include "verify/file_references.h"

#include "platform/registry/registry_profile.h"
#include "platform/thread_context.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/files/windows_files.h"
#include "platform/text/code_page.h"
#include "base/masks/builtin_masks.h"

namespace talmoor::verify {

using namespace talmoor::masks;

using masks::MaskOccurrence;
using masks::MaskReply;
using masks::MaskResult;
using masks::MaskVerdict;

namespace {

constexpr std::array<std::string_view, 11> kKnownExtensions = {"exe", "com", "sys", "drv", "ocx", "oxa",
                                                                "dll", "htm", "html", "icl", "bat"};
constexpr std::string_view kLeadingSkipped = " \",-;@|";
constexpr std::string_view kTrailingTrimmed = std::string_view(" \",;\\|\0", 7);
constexpr std::string_view kFollowingSeparators = " ,;|";

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string trimmedReference(std::string_view text) {
  while (!text.empty() && kTrailingTrimmed.find(text.back()) != std::string_view::npos) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

CurrentFiles::CurrentFiles()
    : profile_(platform::threadContext().profile),
      environment_(platform::threadEnvironment()),
      drives_(platform::threadDrives()) {}

bool hasKnownExtension(std::string_view name) {
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string_view extension = name.substr(dot + 1);
  return std::any_of(kKnownExtensions.begin(), kKnownExtensions.end(),
                     [&](std::string_view known) { return platform::equalsIgnoringAsciiCase(known, extension); });
}

bool hasDriveForm(std::string_view text) {
  return text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' && text[2] == '\\';
}

ReferenceCandidate prepareCandidate(const MaskOccurrence& match, const FileSystemView& files) {
  ReferenceCandidate candidate;
  std::string_view text = match.text();
  std::size_t skipped = 0;
  while (skipped < text.size() && kLeadingSkipped.find(text[skipped]) != std::string_view::npos) ++skipped;
  candidate.start = match.start + skipped;
  candidate.end = match.start + match.length;
  candidate.text = trimmedReference(text.substr(skipped));
  candidate.found = platform::resolveFile(candidate.text, files.environment, files.drives).has_value();
  // "shell32.dll\3": an icon index after the file, wherever the match ends
  // (at the end of the text or on the separator before what follows).
  const std::string& copy = candidate.text;
  if (!candidate.found && copy.size() > 4 && isHexDigit(copy.back()) && copy[copy.size() - 2] == '\\') {
    candidate.text.resize(candidate.text.size() - 2);
    candidate.found = platform::fileExists(candidate.text, files.drives);
  }
  return candidate;
}

std::size_t separatorGivenBack(const MaskOccurrence& match) {
  std::string_view text = match.text();
  if (text.empty()) return 0;
  const char last = text.back();
  return last == '\0' || masks::kPathDelimiters.find(last) != std::string_view::npos || last == '@' ? 1 : 0;
}

bool acceptCandidate(const MaskOccurrence& match, const ReferenceCandidate& candidate, const FileSystemView& files,
                     const InnerReference& inner) {
  if (hasKnownExtension(candidate.text) || candidate.found) return true;
  std::string_view text = match.text();
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  // A quoted text: each reference of a quoted list counts on its own.
  std::string_view quoted = text;
  while (!quoted.empty() && kLeadingSkipped.find(quoted.front()) != std::string_view::npos && quoted.front() != '"')
    quoted.remove_prefix(1);
  if (quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"') {
    std::string inside(quoted.substr(1, quoted.size() - 2));
    if (inner && masks::MaskMatch(masks::terminated(inside), masks::quotedListTestMask()) == MaskResult::Match) {
      masks::MaskSearch(masks::terminated(inside), masks::filePathMask(),
                         [&](const MaskOccurrence& occurrence, MaskReply& reply) {
                           ReferenceCandidate nested = prepareCandidate(occurrence, files);
                           if (!acceptCandidate(occurrence, nested, files)) return MaskVerdict::Reject;
                           inner(occurrence);
                           reply.giveBack = separatorGivenBack(occurrence);
                           return MaskVerdict::Accept;
                         });
    }
    return true;
  }
  // What follows the reference in the source (a delimiter the match took
  // included).
  const std::size_t after = std::min(match.source.size(), candidate.start + candidate.text.size());
  std::string_view rest = match.source.substr(after);
  while (!rest.empty() && rest.back() == '\0') rest.remove_suffix(1);
  if (rest.empty()) return true;
  const char next = rest.front();
  if (kFollowingSeparators.find(next) != std::string_view::npos) {
    auto dot = candidate.text.rfind('.');
    if (dot != std::string::npos && dot + 4 == candidate.text.size()) return true;
  }
  if (next == ' ' && (candidate.text.empty() || text.front() != '"')) {
    std::string_view continuation = rest;
    while (!continuation.empty() && continuation.front() == ' ') continuation.remove_prefix(1);
    if (!continuation.empty()) {
      std::string whole(continuation);
      std::string shorter(continuation.substr(0, continuation.size() - 1));
      bool nameGoesOn =
          masks::MaskMatch(masks::terminated(whole), masks::nameContinuationMaskA(), {}, true) == MaskResult::Match;
      bool folderGoesOn = !shorter.empty() && masks::MaskMatch(masks::terminated(shorter),
                                                                masks::nameContinuationMaskB(), {}, true) ==
                                                  MaskResult::Match;
      // The match is only the first words of a long name with blanks.
      if (nameGoesOn || folderGoesOn) return false;
    }
  }
  return true;
}

bool processFilesInString(std::string_view text, const FileAction& action, bool& error, std::string_view parameter,
                          WindowRef owner, bool skipExistence, const FileSystemView& files) {
  std::string expanded = files.environment.expand(text);
  bool foundAny = false;
  auto handle = [&](const std::string& reference) {
    foundAny = true;
    if (!action) {
      messageBox("Missing Function Callback", "Application Error");
      return;
    }
    if (auto resolved = platform::resolveFile(reference, files.environment, files.drives)) {
      if (action(owner, resolved->fullPath, parameter) == -1) error = true;
    } else if (parameter == "reboot move" && hasDriveForm(reference)) {
      if (action(owner, reference, parameter) == -1) error = true;
    }
  };
  MaskResult result = masks::MaskSearch(
      masks::terminated(expanded), masks::quotedPathMask(), [&](const MaskOccurrence& match, MaskReply& reply) {
        ReferenceCandidate candidate = prepareCandidate(match, files);
        bool quotedList = false;
        bool accepted = acceptCandidate(match, candidate, files, [&](const MaskOccurrence& inner) {
          quotedList = true;
          handle(prepareCandidate(inner, files).text);
        });
        if (!accepted) return MaskVerdict::Reject;
        if (!quotedList && !candidate.text.empty()) handle(candidate.text);
        reply.giveBack = separatorGivenBack(match);
        return MaskVerdict::Accept;
      });
  if (result == MaskResult::Aborted) error = true;
  if (foundAny) return true;
  // Nothing the masks know: every token that looks like a file.
  std::string_view rest = expanded;
  while (!rest.empty()) {
    auto cut = rest.find(' ');
    std::string token(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (token.empty()) continue;
    bool take = skipExistence ? platform::resolveFile(token, files.environment, files.drives).has_value()
                              : hasKnownExtension(token);
    if (take && action && action(owner, token, parameter) == -1) error = true;
  }
  return false;
}

}  // namespace talmoor::verify

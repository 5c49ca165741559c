#include "verify/verification.h"

#include <algorithm>

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "base/thread_starter.h"
#include "platform/files/windows_files.h"
#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/format_data.h"
#include "platform/files/directory_walker.h"
#include "search/job_failures.h"
#include "base/masks/builtin_masks.h"
#include "search/replace/search_actions.h"

namespace talmoor::verify {

using namespace talmoor::masks;

using masks::MaskOccurrence;
using masks::MaskReply;
using masks::MaskResult;
using masks::MaskVerdict;
using search::ConfirmationAnswer;
using search::SearchContext;

namespace {

constexpr std::string_view kMatchLeadingSeparators = " ,;|:";

std::size_t commonPrefixIgnoringCase(std::string_view a, std::string_view b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() &&
         std::tolower(static_cast<unsigned char>(a[n])) == std::tolower(static_cast<unsigned char>(b[n])))
    ++n;
  return n;
}

// The prefix preselected in the pattern question: the longest not longer
// than the matched length (plus one), else the last.
std::size_t preselected(const std::vector<std::string>& prefixes, std::int32_t matchedLength) {
  std::size_t choice = prefixes.empty() ? 0 : prefixes.size() - 1;
  bool any = false;
  for (std::size_t i = 0; i < prefixes.size(); ++i)
    if (static_cast<std::int32_t>(prefixes[i].size()) <= matchedLength + 1) {
      choice = i;
      any = true;
    }
  return any ? choice : (prefixes.empty() ? 0 : prefixes.size() - 1);
}

// The question about one missing reference, with the search for other
// copies running meanwhile.
int askAboutReference(SearchContext& context, VerificationState& state, const FileSystemView& files) {
  if (state.currentRule && state.currentRule->autoApply)
    return search::dialogResult(state.currentRule->reject ? ConfirmationAnswer::Reject : ConfirmationAnswer::Accept);
  auto feed = std::make_shared<SuggestionFeed>();
  // Started as every worker is: where no thread can be made, the search runs
  // to its end before the question is asked.
  ThreadHandle searcher = startThread([&files, feed, reference = state.reference, owner = context.owner] {
                            search::runContained([&] { findAlternateLocations(reference, *feed, files); }, owner);
                            feed->finish();
                            return DWORD{0};
                          }).handle;
  MissingReferenceRequest request{context.walk.keyPath, state.itemName, state.dataText, state.reference, feed,
                                  context.owner, state.proposal};
  MissingReferenceReply reply = interaction()->missingFileReference(request);
  feed->stop = true;
  waitForThread(searcher);
  state.remember = reply.remember;
  if (reply.replacement) state.proposal = *reply.replacement;
  return reply.answer;
}

}  // namespace

std::vector<std::string> folderPrefixes(std::string_view path) {
  std::vector<std::string> prefixes;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (path[i] == '\\') prefixes.emplace_back(path.substr(0, i + 1));
  return prefixes;
}

bool ruleApplies(Rule& rule, std::string_view reference, WindowRef owner) {
  if (platform::equalsIgnoringAsciiCase(rule.find, reference)) return true;
  std::size_t common = commonPrefixIgnoringCase(rule.find, reference);
  std::size_t cut = rule.find.rfind('\\', common == 0 ? 0 : common - 1);
  if (common == 0 || cut == std::string::npos) return false;
  rule.matchedLength = static_cast<std::int32_t>(cut + 1);
  if (rule.matchedLength <= rule.minMatch) return false;
  if (rule.type == RuleType::ExactMatch && !rule.prompted) {
    PatternRequest question;
    question.reject = rule.reject;
    question.findPrefixes = folderPrefixes(rule.find);
    question.replacePrefixes = folderPrefixes(rule.replace);
    question.findSelected = preselected(question.findPrefixes, rule.matchedLength);
    question.replaceSelected = preselected(question.replacePrefixes, rule.matchedLength);
    question.owner = owner;
    PatternReply answer = interaction()->patternDetected(question);
    if (answer.answer == IDYES || answer.answer == IDNO) {
      if (answer.findChoice < question.findPrefixes.size()) rule.find = question.findPrefixes[answer.findChoice];
      if (!rule.reject && answer.replaceChoice < question.replacePrefixes.size())
        rule.replace = question.replacePrefixes[answer.replaceChoice];
      if (rule.reject) rule.replace = rule.find;
      if (static_cast<std::int32_t>(rule.find.size()) < rule.minMatch)
        rule.minMatch = std::max<std::int32_t>(static_cast<std::int32_t>(rule.find.size()) - 1, 0);
      rule.type = answer.answer == IDYES ? RuleType::FullMatch : RuleType::PartialMatch;
      rule.matchedLength = static_cast<std::int32_t>(commonPrefixIgnoringCase(rule.find, reference));
    } else {
      rule.minMatch = rule.matchedLength;
    }
    rule.prompted = true;
  }
  if (rule.type == RuleType::PartialMatch) return true;
  return rule.matchedLength >= static_cast<std::int32_t>(rule.find.size()) - 1;
}

std::optional<std::string> proposalOf(const Rule& rule, std::string_view reference) {
  switch (rule.type) {
    case RuleType::ExactMatch: return rule.replace;
    case RuleType::FullMatch: {
      std::string_view find = rule.find;
      std::string_view head = find.substr(0, find.empty() ? 0 : find.size() - 1);
      if (!platform::startsWithIgnoringAsciiCase(reference, head)) return std::nullopt;
      if (rule.find == rule.replace) return std::string(reference);
      if (reference.size() == head.size())
        return rule.replace.substr(0, rule.replace.empty() ? 0 : rule.replace.size() - 1);
      if (!platform::startsWithIgnoringAsciiCase(reference, find)) return std::nullopt;
      return rule.replace + std::string(reference.substr(find.size()));
    }
    case RuleType::PartialMatch: messageBox("Sorry", "Sorry"); return std::nullopt;
    default: messageBox("Currupted Rules Base", "Sorry"); return std::nullopt;
  }
}

namespace {

// The steps of examining one match of the file-path mask, in the order
// they run.

// A quoted command line: the text between the quotes is scanned on its own
// (so the scan cannot meet this quoted match again) and its references are
// repaired one by one. Nothing when the match is not quoted.
std::optional<MaskVerdict> repairQuotedCommandLine(const MaskOccurrence& match, MaskReply& reply,
                                                   SearchContext& context, VerificationState& state,
                                                   const FileSystemView& files) {
  std::string_view text = match.text();
  std::size_t skip = 0;
  if (!text.empty() && kMatchLeadingSeparators.find(text.front()) != std::string_view::npos) skip = 1;
  std::string_view rest = text.substr(skip);
  if (rest.empty() || rest.front() != '"') return std::nullopt;
  auto close = rest.rfind('"');
  if (close == 0 || close == std::string_view::npos) return std::nullopt;
  std::string inside(rest.substr(1, close - 1));
  std::optional<std::string> repaired = repairReferences(inside, context, state, files);
  if (repaired && *repaired != inside) {
    reply.replacement =
        std::string(text.substr(0, skip)) + "\"" + *repaired + "\"" + std::string(rest.substr(close + 1));
    reply.giveBack = rest.size() > close + 1 ? 1 : 0;
  } else {
    reply.giveBack = separatorGivenBack(match);
  }
  return MaskVerdict::Accept;
}

// The missing reference becomes the one asked about. The first rule that
// covers it proposes a replacement; a reference no rule covers gets a rule
// of its own, which the answer then completes.
void takeUpMissingReference(const ReferenceCandidate& candidate, SearchContext& context, VerificationState& state) {
  state.anyMissing = true;
  state.shortName = candidate.text.find(' ') == std::string::npos;
  state.reference = candidate.text;
  state.proposal.reset();
  state.newRule = false;
  state.currentRule = state.rules->find([&](Rule& rule) { return ruleApplies(rule, state.reference, context.owner); });
  // The lookup may have turned a rule into a prefix rule, which sorts earlier.
  state.rules->sort();
  if (state.currentRule) {
    state.proposal = proposalOf(*state.currentRule, state.reference);
    return;
  }
  auto rule = std::make_shared<Rule>();
  rule->find = state.reference;
  state.rules->insert(rule);
  state.currentRule = rule;
  state.newRule = true;
}

// The user's answer, or the one remembered "for this type of query". Only
// Reject and Cancel can stand for every later question.
ConfirmationAnswer answerAbout(SearchContext& context, VerificationState& state, const FileSystemView& files) {
  if (state.dialogSlot.suppressed) return state.dialogSlot.answer;
  search::DialogResult result = search::decodeDialogResult(askAboutReference(context, state, files));
  if (result.doNotShowAgain && result.answer != ConfirmationAnswer::Accept) state.dialogSlot.suppressed = 1;
  state.dialogSlot.answer = result.answer;
  return result.answer;
}

// Cancel ends the run; a rule made for this reference goes, the user's own
// rules stay.
void cancelRun(SearchContext& context, VerificationState& state) {
  if (state.newRule) state.rules->remove(state.currentRule);
  context.abort = true;
}

// Reject "for above file reference": the reference is passed over silently
// from then on.
void rememberRejection(VerificationState& state) {
  if (!state.remember || !state.newRule) return;
  Rule& rule = *state.currentRule;
  rule.replace = rule.find;
  rule.autoApply = rule.reject = true;
  state.rules->sort();
}

// Accept: the replacement, which completes a rule made for the reference. An
// unquoted reference without blanks gets the short form, so that it gains no
// blank; a path without a short form is taken as it is.
std::string acceptedReplacement(VerificationState& state, const FileSystemView& files) {
  Rule& rule = *state.currentRule;
  std::string replacement = state.proposal.value_or("");
  if (state.newRule && state.proposal) {
    rule.replace = replacement;
    rule.autoApply = state.remember;
  }
  if (!rule.reject && rule.find != rule.replace && state.shortName && !replacement.empty()) {
    if (auto shortForm = platform::shortPathName(replacement, files.drives)) replacement = *shortForm;
  }
  if (replacement.empty()) state.reference.clear();
  return replacement;
}

// The match with its reference replaced: what stood before the reference (a
// separator or a quote), the replacement, then what followed it, of which one
// character is given back to the engine.
void spliceReplacement(const MaskOccurrence& match, const ReferenceCandidate& candidate,
                       const std::string& replacement, MaskReply& reply) {
  std::string_view text = match.text();
  const std::size_t referenceAt = candidate.start - match.start;
  const std::size_t referenceEnd = std::min(text.size(), referenceAt + candidate.text.size());
  std::string after(text.substr(referenceEnd));
  reply.replacement = std::string(text.substr(0, referenceAt)) + replacement + after;
  reply.giveBack = after.empty() ? 0 : 1;
}

// One match of the file-path mask during verification.
MaskVerdict replacePath(const MaskOccurrence& match, MaskReply& reply, SearchContext& context,
                        VerificationState& state, const FileSystemView& files) {
  if (context.aborted()) return MaskVerdict::Reject;
  ReferenceCandidate candidate = prepareCandidate(match, files);
  if (!acceptCandidate(match, candidate, files)) return MaskVerdict::Reject;
  if (auto quoted = repairQuotedCommandLine(match, reply, context, state, files)) return *quoted;
  // The separator that ends this reference may begin the next one.
  reply.giveBack = separatorGivenBack(match);
  if (candidate.found) return MaskVerdict::Accept;
  takeUpMissingReference(candidate, context, state);
  switch (answerAbout(context, state, files)) {
    case ConfirmationAnswer::Cancel:
      cancelRun(context, state);
      return MaskVerdict::Reject;
    case ConfirmationAnswer::Reject:
      rememberRejection(state);
      return MaskVerdict::Accept;
    case ConfirmationAnswer::Accept:
      spliceReplacement(match, candidate, acceptedReplacement(state, files), reply);
      return MaskVerdict::Accept;
    default: return MaskVerdict::Reject;
  }
}

}  // namespace

std::optional<std::string> repairReferences(std::string_view text, SearchContext& context, VerificationState& state,
                                            const FileSystemView& files) {
  std::string source(text);
  std::string output;
  MaskResult result = masks::MaskSearch(
      masks::terminated(source), masks::filePathMask(),
      [&](const MaskOccurrence& match, MaskReply& reply) { return replacePath(match, reply, context, state, files); },
      &output);
  if (result != MaskResult::Match || output.empty()) return std::nullopt;
  if (output.back() == '\0') output.pop_back();
  if (output == source) return std::nullopt;
  return output;
}

namespace {

// "22|C:\Windows\..." : a length, a bar and a path of that length.
std::optional<std::string> repairLengthPrefixed(std::string_view text, SearchContext& context,
                                                VerificationState& state, const FileSystemView& files) {
  std::string source(text);
  std::string output;
  bool any = false;
  masks::MaskSearch(
      masks::terminated(source), masks::lengthPrefixedPathMask(),
      [&](const MaskOccurrence& match, MaskReply& reply) {
        std::string_view matched = match.text();
        auto bar = matched.find('|');
        if (bar == std::string_view::npos) return MaskVerdict::Reject;
        any = true;
        std::string path(matched.substr(bar + 1));
        if (auto repaired = repairReferences(path, context, state, files)) {
          reply.replacement = fmt::format("{}|{}", repaired->size(), *repaired);
        }
        return MaskVerdict::Accept;
      },
      &output);
  if (!any) return std::nullopt;
  if (!output.empty() && output.back() == '\0') output.pop_back();
  return output;
}

}  // namespace

bool verifyAction(const search::SearchItem& item, SearchContext& context, VerificationState& state,
                  const FileSystemView& files) {
  state.anyMissing = false;
  state.itemName = std::string(item.name);
  registry::DisplayContext display;
  state.dataText = item.isKey ? std::string() : registry::formatData(item.type, item.data, display);
  const bool namesSearched = item.isKey ? (context.criteria.searchFlags & search::kSearchKeyNames)
                                        : (context.criteria.searchFlags & search::kSearchValueNames);
  if (namesSearched) {
    if (registry::isCypheredName(item.name)) {
      addErrorLogRow(ERROR_CALL_NOT_IMPLEMENTED, context.walk.keyPath, "Will not Verify Cyphered Name",
                     "The Name of the Registry Item has been stored in a cyphered format, this program will not alter "
                     "cyphered names.",
                     kVerbositySilent);
    } else if (auto name = repairReferences(item.name, context, state, files)) {
      auto& modified = context.change.modified.location;
      modified.setComponent(item.isKey ? registry::kKeyName : registry::kValueName, *name);
      context.nameReplaced = 1;
    }
  }
  const bool typeSearched = (context.criteria.typeMask & search::kTypeBitAll) ||
                            (context.criteria.typeMask & search::typeBit(item.type)) != 0;
  if (!item.isKey && !context.aborted() && (context.criteria.searchFlags & search::kSearchValueData) && typeSearched &&
      isStringType(item.type)) {
    // String data as text; each string of a list on its own line of work.
    std::string data(reinterpret_cast<const char*>(item.data.data()), item.data.size());
    while (!data.empty() && data.back() == '\0') data.pop_back();
    auto repairString = [&](const std::string& text) {
      std::optional<std::string> repaired = repairLengthPrefixed(text, context, state, files);
      if (!repaired) repaired = repairReferences(text, context, state, files);
      return repaired;
    };
    std::optional<std::string> repaired;
    if (item.type == REG_MULTI_SZ) {
      std::string joined;
      bool changed = false;
      for (std::size_t start = 0;;) {
        const std::size_t end = data.find('\0', start);
        std::string piece = data.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::optional<std::string> fixed = context.aborted() ? std::nullopt : repairString(piece);
        changed = changed || (fixed && *fixed != piece);
        joined += fixed ? *fixed : piece;
        if (end == std::string::npos) break;
        joined.push_back('\0');
        start = end + 1;
      }
      if (changed) repaired = std::move(joined);
    } else {
      repaired = repairString(data);
    }
    if (repaired && *repaired != data) {
      std::vector<BYTE> bytes(repaired->begin(), repaired->end());
      // Terminated as the data was.
      std::size_t terminators = item.data.size() - std::min(item.data.size(), data.size());
      bytes.insert(bytes.end(), terminators, 0);
      context.change.modified.setData(std::move(bytes));
    }
  }
  return state.anyMissing;
}

void findAlternateLocations(const std::string& reference, SuggestionFeed& feed, const FileSystemView& files) {
  feed.setStatus(reference);
  // A place found both ways is offered once.
  std::vector<std::string> offered;
  auto offer = [&](const std::string& found) {
    for (const auto& known : offered)
      if (platform::equalsIgnoringAsciiCase(known, found)) return;
    offered.push_back(found);
    feed.add(found);
  };
  std::string_view path = reference;
  if (!path.empty() && path.front() == '"') path.remove_prefix(1);
  const char ownDrive = path.size() >= 2 && path[1] == ':'
                            ? static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))
                            : '\0';
  // The same path on the other drives.
  if (ownDrive) {
    for (char letter = 'C'; letter <= 'Z' && !feed.stop; ++letter) {
      if (letter == ownDrive || !files.drives.drive(letter)) continue;
      std::string other = std::string(1, letter) + std::string(path.substr(1));
      LONG error = ERROR_SUCCESS;
      if (platform::fileExists(other, files.drives, nullptr, &error)) offer(other);
    }
  }
  // The same name anywhere, the reference's own drive first. A drive that is
  // the whole host file system (Wine's Z:) is not walked: that would search
  // every file of the machine, /proc included.
  auto slash = path.rfind('\\');
  std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  if (name.empty()) return;
  std::string order;
  if (ownDrive) order.push_back(ownDrive);
  for (char letter = 'C'; letter <= 'Z'; ++letter)
    if (letter != ownDrive) order.push_back(letter);
  for (char letter : order) {
    if (feed.stop) return;
    auto root = files.drives.drive(letter);
    if (!root) continue;
    std::error_code ec;
    if (std::filesystem::equivalent(*root, "/", ec)) continue;
    platform::DirectoryWalker walker;
    LONG error = ERROR_SUCCESS;
    if (!walker.Open(*root, error)) continue;
    platform::DirectoryWalker::Counters counters;
    std::atomic<bool>& stop = feed.stop;
    walker.Walk(
        [&](int, platform::DirectoryWalker& w) {
          const auto* entry = w.entry();
          if (entry && platform::equalsIgnoringAsciiCase(entry->name, name)) {
            if (auto found = platform::windowsPathOf(w.entryPath(), files.drives)) offer(*found);
          }
          return stop ? -1 : 0;
        },
        stop, counters,
        [&](int kind, platform::DirectoryWalker& w) {
          if (kind == platform::kBeforeDescend) feed.setStatus(w.state().directory.string());
          return stop ? -1 : 0;
        });
  }
  if (!feed.stop) feed.setStatus("Search Completed.");
}

void installVerification() {
  search::setVerificationActionFactory([](SearchContext&) -> search::SearchAction {
    return [](const search::SearchItem& item, SearchContext& context) {
      // Made once per run and kept in the context: a Resume installs this
      // action again, and what the run remembered must outlast it.
      if (!context.verification) context.verification = std::make_unique<VerificationState>();
      CurrentFiles files;
      return verifyAction(item, context, *context.verification, files.view());
    };
  });
}

}  // namespace talmoor::verify

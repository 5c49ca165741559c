#include "base/console_interaction.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>

namespace talmoor {

namespace {

const char* choicesOf(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::Ok: return "OK";
    case BoxButtons::OkCancel: return "OK/Cancel";
    case BoxButtons::YesNo: return "Yes/No";
    case BoxButtons::YesNoCancel: return "Yes/No/Cancel";
  }
  return "OK";
}

const char* nameOf(int answer) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "?";
  }
}

std::string lowered(std::string_view text) {
  std::string out;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

ConsoleInteraction::ConsoleInteraction(ConsolePolicy policy)
    : ConsoleInteraction(policy, std::cin, std::cout, std::cerr, ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {}

ConsoleInteraction::ConsoleInteraction(ConsolePolicy policy, std::istream& in, std::ostream& out, std::ostream& err,
                                       bool terminal)
    : policy_(policy), in_(in), out_(out), err_(err), terminal_(terminal) {}

int ConsoleInteraction::policyAnswer(const MessageBoxRequest& request) const {
  bool yes = policy_ == ConsolePolicy::Yes;
  switch (request.buttons) {
    case BoxButtons::Ok: return IDOK;
    case BoxButtons::OkCancel: return yes ? IDOK : IDCANCEL;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel: return yes ? IDYES : IDNO;
  }
  return IDCANCEL;
}

std::optional<int> ConsoleInteraction::parseAnswer(std::string_view reply, BoxButtons buttons) const {
  std::string word = lowered(reply);
  bool hasYes = buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoCancel;
  bool hasCancel = buttons == BoxButtons::OkCancel || buttons == BoxButtons::YesNoCancel;
  if (buttons == BoxButtons::Ok && (word.empty() || word == "ok" || word == "o")) return IDOK;
  if (buttons == BoxButtons::OkCancel && (word == "ok" || word == "o")) return IDOK;
  if (hasYes && (word == "y" || word == "yes")) return IDYES;
  if (hasYes && (word == "n" || word == "no")) return IDNO;
  if (hasCancel && (word == "c" || word == "cancel")) return IDCANCEL;
  return std::nullopt;
}

int ConsoleInteraction::messageBox(const MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  if (policy_ != ConsolePolicy::Ask || !terminal_) {
    // Without anyone to ask, a box that only informs is printed and a
    // question is answered by the policy (No when there is none).
    int answer = policyAnswer(request);
    err_ << request.title << ": " << request.text;
    if (request.buttons != BoxButtons::Ok) err_ << " [" << choicesOf(request.buttons) << "] " << nameOf(answer);
    err_ << "\n";
    return answer;
  }
  out_ << "\n" << request.title << "\n" << request.text << "\n";
  for (;;) {
    out_ << "[" << choicesOf(request.buttons) << "] " << std::flush;
    std::string reply;
    if (!std::getline(in_, reply)) {
      int answer = request.buttons == BoxButtons::Ok ? IDOK : (request.buttons == BoxButtons::YesNo ? IDNO : IDCANCEL);
      out_ << nameOf(answer) << "\n";
      return answer;
    }
    if (auto answer = parseAnswer(reply, request.buttons)) return *answer;
  }
}

ConfirmationReply ConsoleInteraction::confirmChange(const ConfirmationRequest& request) {
  constexpr int kAccept = 6, kReject = 7, kCancel = 2, kDoNotShow = 32;
  std::lock_guard lock(mutex_);
  // The console edits no data: none is handed back, so the writer's stands.
  ConfirmationReply reply{kReject, request.modifiedName, std::nullopt, std::nullopt};
  if (policy_ != ConsolePolicy::Ask || !terminal_) {
    reply.answer = policy_ == ConsolePolicy::Yes ? kAccept : kReject;
    err_ << request.caption << ": " << (request.fromPath ? *request.fromPath : request.toPath.value_or(""));
    if (!request.isKey || request.originalName) err_ << " [" << request.originalName.value_or("") << " -> " << request.modifiedName << "]";
    err_ << " " << (reply.answer == kAccept ? "Accepted" : "Rejected") << "\n";
    return reply;
  }
  out_ << "\n" << request.caption << "\n" << describeConfirmation(request);
  for (;;) {
    out_ << "[Accept/Reject/Cancel, add ! to apply to all of this kind] " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      reply.answer = kCancel;
      out_ << "Cancel\n";
      return reply;
    }
    std::string word = lowered(line);
    bool all = !word.empty() && word.back() == '!';
    if (all) word.pop_back();
    int answer = word == "a" || word == "accept" ? kAccept
                 : word == "r" || word == "reject" ? kReject
                 : word == "c" || word == "cancel" ? kCancel
                                                   : 0;
    if (answer) {
      reply.answer = answer + (all ? kDoNotShow : 0);
      return reply;
    }
  }
}

MissingReferenceReply ConsoleInteraction::missingFileReference(const MissingReferenceRequest& request) {
  constexpr int kAccept = 6, kReject = 7, kCancel = 2, kDoNotShow = 32;
  std::lock_guard lock(mutex_);
  MissingReferenceReply reply;
  if (policy_ != ConsolePolicy::Ask || !terminal_) {
    // Yes takes the first other copy, when the search finds one; otherwise
    // the search runs to its end, and what it found is listed.
    std::vector<std::string> found, listed;
    if (policy_ == ConsolePolicy::Yes && request.suggestions) {
      while (found.empty() && !request.suggestions->finished()) found = request.suggestions->waitForMore(0, 200);
      if (found.empty()) found = request.suggestions->suggestions();
    } else if (request.suggestions) {
      while (!request.suggestions->finished())
        request.suggestions->waitForMore(request.suggestions->suggestions().size(), 200);
      listed = request.suggestions->suggestions();
    }
    if (!found.empty()) {
      reply.answer = kAccept;
      reply.replacement = found.front();
    } else {
      reply.answer = kReject;
      reply.remember = false;
    }
    err_ << "Missing File Reference: " << request.keyPath << " [" << request.itemName << "] " << request.reference
         << (reply.answer == kAccept ? " -> " + *reply.replacement : std::string(" rejected")) << "\n";
    for (const auto& other : listed) err_ << "  other copy: " << other << "\n";
    return reply;
  }
  out_ << "\nMissing File Reference\n  Path:      " << request.keyPath << "\n  Value:     " << request.itemName
       << "\n  Data:      " << request.dataText << "\n  Reference: " << request.reference << "\n";
  std::vector<std::string> shown;
  auto showNew = [&](const std::vector<std::string>& now) {
    for (std::size_t i = shown.size(); i < now.size(); ++i) out_ << "  [" << i + 1 << "] " << now[i] << "\n";
    shown = now;
  };
  if (request.suggestions) {
    // The suggestions found in the first moments; Enter lists the rest.
    for (int waited = 0; waited < 2000 && !request.suggestions->finished(); waited += 200)
      showNew(request.suggestions->waitForMore(shown.size(), 200));
    showNew(request.suggestions->suggestions());
    if (request.suggestions->finished()) out_ << "  (Search Completed.)\n";
  }
  for (;;) {
    out_ << "[number, replacement path, r=Reject, c=Cancel (add ! for all later ones); Enter: more suggestions] "
         << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      reply.answer = kCancel;
      return reply;
    }
    std::string word = lowered(line);
    bool all = !word.empty() && word.back() == '!';
    if (all) word.pop_back();
    if (word.empty()) {
      if (request.suggestions) showNew(request.suggestions->suggestions());
      continue;
    }
    if (word == "r" || word == "reject" || word == "c" || word == "cancel") {
      reply.answer = (word[0] == 'r' ? kReject : kCancel) + (all ? kDoNotShow : 0);
      return reply;
    }
    if (std::all_of(word.begin(), word.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      std::size_t pick = std::stoul(word);
      if (pick >= 1 && pick <= shown.size()) {
        reply.answer = kAccept;
        reply.replacement = shown[pick - 1];
        return reply;
      }
      continue;
    }
    // A path typed in.
    std::string typed = line;
    while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\r')) typed.pop_back();
    reply.answer = kAccept;
    reply.replacement = typed;
    return reply;
  }
}

PatternReply ConsoleInteraction::patternDetected(const PatternRequest& request) {
  std::lock_guard lock(mutex_);
  PatternReply reply{IDCANCEL, request.findSelected, request.replaceSelected};
  auto selected = [](const std::vector<std::string>& list, std::size_t i) { return i < list.size() ? list[i] : std::string(); };
  std::string what = std::string(request.reject ? "Ignore " : "Replace ") + "beggining of all oprhaned file references";
  if (policy_ != ConsolePolicy::Ask || !terminal_) {
    // A folder pattern rewrites every later reference below it, found or
    // not: it is taken only when someone says so.
    err_ << "Pattern Detected: " << what << " starting with " << selected(request.findPrefixes, request.findSelected)
         << (reply.answer == IDYES ? " accepted" : " declined") << "\n";
    return reply;
  }
  out_ << "\nPattern Detected\n" << what << "\n  Starting with : " << selected(request.findPrefixes, request.findSelected)
       << "\n";
  if (!request.reject) out_ << "  Replace with  : " << selected(request.replacePrefixes, request.replaceSelected) << "\n";
  for (;;) {
    out_ << "[y=Yes, r=Yes, recursive, n=No] " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) return reply;
    std::string word = lowered(line);
    if (word == "y" || word == "yes") reply.answer = IDYES;
    else if (word == "r") reply.answer = IDNO;
    else if (word == "n" || word == "no") reply.answer = IDCANCEL;
    else continue;
    return reply;
  }
}

std::optional<std::string> ConsoleInteraction::chooseFolder(std::string_view title, std::string_view start) {
  std::lock_guard lock(mutex_);
  if (policy_ != ConsolePolicy::Ask || !terminal_) return std::nullopt;
  out_ << "\n" << title << " [" << start << "]: " << std::flush;
  std::string line;
  if (!std::getline(in_, line)) return std::nullopt;
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return std::nullopt;
  return line;
}

void ConsoleInteraction::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (terminal_) err_ << text << "\n";
}

}  // namespace talmoor

#include "base/interaction.h"

#include "base/workspace.h"

namespace talmoor {

std::shared_ptr<Interaction> interaction() { return Workspace::current().interaction(); }

std::shared_ptr<Interaction> setInteraction(std::shared_ptr<Interaction> implementation) {
  return Workspace::current().setInteraction(std::move(implementation));
}

int messageBox(std::string_view text, std::string_view title, BoxButtons buttons, BoxIcon icon, WindowRef owner) {
  auto implementation = interaction();
  // Its window has gone: nobody is there to answer.
  if (implementation->windowIsGone(owner)) return IDCANCEL;
  return implementation->messageBox(
      MessageBoxRequest{std::string(title), std::string(text), buttons, icon, owner});
}

std::string describeConfirmation(const ConfirmationRequest& request) {
  std::string text = "The following changes are to be made to the registy.\n";
  if (request.fromPath) text += "  From:     " + *request.fromPath + "\n";
  if (request.toPath) text += std::string(request.fromPath ? "  To:       " : "  Name:     ") + *request.toPath + "\n";
  const char* group = request.isKey ? "Sub Key" : "Value";
  if (request.originalName) text += std::string("  ") + group + " (Original): " + *request.originalName + "\n";
  text += std::string("  ") + group + " (Modified): " + request.modifiedName + "\n";
  if (!request.isKey) {
    if (request.originalData) text += "  Data (Original): " + request.originalDataText + "\n";
    if (request.modifiedData) text += "  Data (Modified): " + request.modifiedDataText + "\n";
  }
  return text;
}

ConfirmationReply Interaction::confirmChange(const ConfirmationRequest& request) {
  int answer = messageBox(MessageBoxRequest{request.caption, describeConfirmation(request), BoxButtons::YesNoCancel,
                                            BoxIcon::Question, request.owner});
  ConfirmationReply reply;
  reply.answer = answer == IDYES ? 6 : answer == IDCANCEL ? 2 : 7;
  reply.modifiedName = request.modifiedName;
  reply.originalData = request.originalData;
  reply.modifiedData = request.modifiedData;
  return reply;
}

void SuggestionFeed::add(std::string path) {
  {
    std::lock_guard lock(mutex_);
    suggestions_.push_back(std::move(path));
  }
  changed_.notify_all();
}

void SuggestionFeed::setStatus(std::string text) {
  std::lock_guard lock(mutex_);
  status_ = std::move(text);
}

void SuggestionFeed::finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

std::vector<std::string> SuggestionFeed::suggestions() const {
  std::lock_guard lock(mutex_);
  return suggestions_;
}

std::string SuggestionFeed::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool SuggestionFeed::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

std::vector<std::string> SuggestionFeed::waitForMore(std::size_t known, int milliseconds) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                    [&] { return finished_ || suggestions_.size() > known; });
  return suggestions_;
}

MissingReferenceReply Interaction::missingFileReference(const MissingReferenceRequest& request) {
  MissingReferenceReply reply;
  std::string text = "The file reference '" + request.reference + "' names no file.\n\nPath:  " + request.keyPath +
                     "\nValue: " + request.itemName + "\nData:  " + request.dataText +
                     "\n\nYes: replace it by the first other copy found.\nNo: leave it as it is.";
  int answer = messageBox(MessageBoxRequest{"Missing File Reference", text, BoxButtons::YesNoCancel,
                                            BoxIcon::Question, request.owner});
  if (answer == IDYES && request.suggestions) {
    while (!request.suggestions->finished() && request.suggestions->suggestions().empty())
      request.suggestions->waitForMore(0, 100);
    auto found = request.suggestions->suggestions();
    if (!found.empty()) {
      reply.answer = 6;
      reply.replacement = found.front();
      return reply;
    }
  }
  reply.answer = answer == IDCANCEL ? 2 : 7;
  return reply;
}

PatternReply Interaction::patternDetected(const PatternRequest& request) {
  PatternReply reply{IDCANCEL, request.findSelected, request.replaceSelected};
  std::string text = std::string(request.reject ? "Ignore " : "Replace ") +
                     "beggining of all oprhaned file references\n\nStarting with : " +
                     (request.findPrefixes.empty() ? "" : request.findPrefixes[request.findSelected]);
  if (!request.reject && !request.replacePrefixes.empty())
    text += "\nReplace with : " + request.replacePrefixes[request.replaceSelected];
  if (messageBox(MessageBoxRequest{"Pattern Detected", text, BoxButtons::YesNo, BoxIcon::Question, request.owner}) ==
      IDYES)
    reply.answer = IDYES;
  return reply;
}

}  // namespace talmoor

#include "support/scripted_interaction.h"

namespace talmoor {

void ScriptedInteraction::answer(std::initializer_list<int> answers) {
  std::lock_guard lock(mutex_);
  answers_.insert(answers_.end(), answers);
}

void ScriptedInteraction::setDefaultAnswer(int answer) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = answer;
}

int ScriptedInteraction::messageBox(const MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  boxes_.push_back(request);
  if (answers_.empty()) return defaultAnswer_;
  int next = answers_.front();
  answers_.pop_front();
  return next;
}

void ScriptedInteraction::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  statuses_.emplace_back(text);
}

std::vector<MessageBoxRequest> ScriptedInteraction::boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<std::string> ScriptedInteraction::statuses() const {
  std::lock_guard lock(mutex_);
  return statuses_;
}

std::vector<std::string> ScriptedInteraction::boxLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& box : boxes_) lines.push_back(box.title + ": " + box.text);
  return lines;
}

void ScriptedInteraction::answerConfirmations(std::initializer_list<int> answers) {
  std::lock_guard lock(mutex_);
  confirmationAnswers_.insert(confirmationAnswers_.end(), answers);
}

void ScriptedInteraction::setDefaultConfirmation(int answer) {
  std::lock_guard lock(mutex_);
  defaultConfirmation_ = answer;
}

void ScriptedInteraction::setConfirmationEditor(ConfirmationEditor editor) {
  std::lock_guard lock(mutex_);
  editor_ = std::move(editor);
}

ConfirmationReply ScriptedInteraction::confirmChange(const ConfirmationRequest& request) {
  std::lock_guard lock(mutex_);
  confirmations_.push_back(request);
  ConfirmationReply reply{defaultConfirmation_, request.modifiedName, request.originalData, request.modifiedData};
  if (!confirmationAnswers_.empty()) {
    reply.answer = confirmationAnswers_.front();
    confirmationAnswers_.pop_front();
  }
  if (editor_) editor_(reply);
  return reply;
}

std::vector<ConfirmationRequest> ScriptedInteraction::confirmations() const {
  std::lock_guard lock(mutex_);
  return confirmations_;
}

void ScriptedInteraction::setMissingReferenceHandler(MissingReferenceHandler handler) {
  std::lock_guard lock(mutex_);
  missingHandler_ = std::move(handler);
}

void ScriptedInteraction::setPatternHandler(PatternHandler handler) {
  std::lock_guard lock(mutex_);
  patternHandler_ = std::move(handler);
}

MissingReferenceReply ScriptedInteraction::missingFileReference(const MissingReferenceRequest& request) {
  MissingReferenceHandler handler;
  {
    std::lock_guard lock(mutex_);
    missingReferences_.push_back(request);
    handler = missingHandler_;
  }
  // The handler may wait for suggestions: it runs without the lock.
  return handler ? handler(request) : MissingReferenceReply{IDNO, false, std::nullopt};
}

PatternReply ScriptedInteraction::patternDetected(const PatternRequest& request) {
  PatternHandler handler;
  {
    std::lock_guard lock(mutex_);
    patterns_.push_back(request);
    handler = patternHandler_;
  }
  return handler ? handler(request) : PatternReply{IDCANCEL, request.findSelected, request.replaceSelected};
}

std::vector<MissingReferenceRequest> ScriptedInteraction::missingReferences() const {
  std::lock_guard lock(mutex_);
  return missingReferences_;
}

std::vector<PatternRequest> ScriptedInteraction::patterns() const {
  std::lock_guard lock(mutex_);
  return patterns_;
}

void ScriptedInteraction::clear() {
  std::lock_guard lock(mutex_);
  confirmations_.clear();
  confirmationAnswers_.clear();
  boxes_.clear();
  statuses_.clear();
  answers_.clear();
}

}  // namespace talmoor

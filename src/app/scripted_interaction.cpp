#include "app/scripted_interaction.h"

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

void ScriptedInteraction::clear() {
  std::lock_guard lock(mutex_);
  boxes_.clear();
  statuses_.clear();
  answers_.clear();
}

}  // namespace talmoor

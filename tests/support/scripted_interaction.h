#pragma once
// An Interaction for tests: records every box in order and answers from a
// queue, so a test can assert the exact texts the user would see.

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "base/interaction.h"

namespace talmoor {

class ScriptedInteraction : public Interaction {
 public:
  // Queues the answers of the next boxes, in order.
  void answer(std::initializer_list<int> answers);
  // The answer given when the queue is empty (IDOK by default; IDNO or
  // IDCANCEL make a test that forgot a box fail safe).
  void setDefaultAnswer(int answer);

  int messageBox(const MessageBoxRequest& request) override;

  // Confirmations are answered from their own queue (Accept when empty,
  // unless another default is set); an editor may change the name and data
  // as the user would in the dialog.
  using ConfirmationEditor = std::function<void(ConfirmationReply&)>;
  void answerConfirmations(std::initializer_list<int> answers);
  void setDefaultConfirmation(int answer);
  void setConfirmationEditor(ConfirmationEditor editor);
  ConfirmationReply confirmChange(const ConfirmationRequest& request) override;
  std::vector<ConfirmationRequest> confirmations() const;

  // The file-reference questions are answered by handlers (Reject and
  // "No" when none is set) and recorded.
  using MissingReferenceHandler = std::function<MissingReferenceReply(const MissingReferenceRequest&)>;
  using PatternHandler = std::function<PatternReply(const PatternRequest&)>;
  void setMissingReferenceHandler(MissingReferenceHandler handler);
  void setPatternHandler(PatternHandler handler);
  MissingReferenceReply missingFileReference(const MissingReferenceRequest& request) override;
  PatternReply patternDetected(const PatternRequest& request) override;
  std::vector<MissingReferenceRequest> missingReferences() const;
  std::vector<PatternRequest> patterns() const;
  void showStatus(std::string_view text) override;

  std::vector<MessageBoxRequest> boxes() const;
  std::vector<std::string> statuses() const;
  // "title: text" of every box, for compact assertions.
  std::vector<std::string> boxLines() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  int defaultAnswer_ = IDOK;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<std::string> statuses_;
  std::deque<int> confirmationAnswers_;
  int defaultConfirmation_ = 6;
  ConfirmationEditor editor_;
  std::vector<ConfirmationRequest> confirmations_;
  MissingReferenceHandler missingHandler_;
  PatternHandler patternHandler_;
  std::vector<MissingReferenceRequest> missingReferences_;
  std::vector<PatternRequest> patterns_;
};

}  // namespace talmoor

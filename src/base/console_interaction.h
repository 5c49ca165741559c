#pragma once
// The Interaction of talmoor-cli: on a terminal it prints the box and reads
// the answer; without one, or under a fixed policy (--yes / --no), it answers
// by the policy and says on stderr what it answered.

#include <iosfwd>
#include <mutex>
#include <optional>

#include "base/interaction.h"

namespace talmoor {

enum class ConsolePolicy { Ask, Yes, No };

class ConsoleInteraction : public Interaction {
 public:
  explicit ConsoleInteraction(ConsolePolicy policy = ConsolePolicy::Ask);
  // For tests: the streams to use and whether they count as a terminal.
  ConsoleInteraction(ConsolePolicy policy, std::istream& in, std::ostream& out, std::ostream& err, bool terminal);

  int messageBox(const MessageBoxRequest& request) override;
  ConsolePolicy policy() const { return policy_; }
  // Whether a question would be answered No only because nobody can be
  // asked: no terminal, and no --yes or --no given.
  bool answersForWantOfTerminal() const { return policy_ == ConsolePolicy::Ask && !terminal_; }
  void showStatus(std::string_view text) override;
  // Accept, Reject or Cancel; a trailing "!" also ticks "do not show again".
  ConfirmationReply confirmChange(const ConfirmationRequest& request) override;
  // The reference, its key, value and data, and the other copies as they are
  // found; a number picks one, a path is taken as typed, r rejects, c
  // cancels (a trailing ! applies Reject or Cancel to every later one).
  MissingReferenceReply missingFileReference(const MissingReferenceRequest& request) override;
  PatternReply patternDetected(const PatternRequest& request) override;
  // A folder typed on the terminal; nothing without one.
  std::optional<std::string> chooseFolder(std::string_view title, std::string_view start) override;

 private:
  int policyAnswer(const MessageBoxRequest& request) const;
  std::optional<int> parseAnswer(std::string_view reply, BoxButtons buttons) const;

  ConsolePolicy policy_;
  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  std::mutex mutex_;
};

}  // namespace talmoor

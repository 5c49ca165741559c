#pragma once
// The one way the core shows boxes and asks the user. The desktop answers
// through Qt, talmoor-cli on the console, tests from a script.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/pending_questions.h"
#include "base/window_ref.h"

namespace talmoor {

// The answers of a message box, with Windows' numbers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxIcon { NoIcon, Information, Question, Exclamation, Stop };


struct MessageBoxRequest {
  std::string title;
  std::string text;
  BoxButtons buttons = BoxButtons::Ok;
  BoxIcon icon = BoxIcon::NoIcon;
  WindowRef owner = 0;
};

// Everything the write confirmation shows: where the change comes from and
// goes to, the names, the data, and which parts the user may edit.
struct ConfirmationRequest {
  std::string caption;
  std::optional<std::string> fromPath;  // the original's full path
  std::optional<std::string> toPath;    // the modified's full path
  bool isKey = false;                   // "Sub Key" instead of "Value", no data
  std::optional<std::string> originalName;
  std::string modifiedName;  // editable
  std::optional<std::vector<unsigned char>> originalData;
  std::optional<std::vector<unsigned char>> modifiedData;
  unsigned long type = 0;
  // The data in display form, for boxes and consoles.
  std::string originalDataText;
  std::string modifiedDataText;
  bool originalDataEditable = false;
  bool modifiedDataEditable = true;
  WindowRef owner = 0;
};

// The confirmation's answers: Accept 6, Reject 7, Cancel 2, plus 32 when
// "do not show again" was ticked; -1 when it could not be shown.
struct ConfirmationReply {
  int answer = 7;
  std::string modifiedName;
  std::optional<std::vector<unsigned char>> originalData;
  std::optional<std::vector<unsigned char>> modifiedData;
};

// What the search for other copies of a missing file finds while the user is
// being asked about it; filled by that search's thread, read by the question.
class SuggestionFeed {
 public:
  void add(std::string path);
  void setStatus(std::string text);
  void finish();
  std::vector<std::string> suggestions() const;
  std::string status() const;
  bool finished() const;
  // Waits until more than `known` suggestions are there, the search has
  // finished, or the time is up; returns the suggestions.
  std::vector<std::string> waitForMore(std::size_t known, int milliseconds) const;
  // Set when the question closes: the search stops.
  std::atomic<bool> stop{false};

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> suggestions_;
  std::string status_;
  bool finished_ = false;
};

// The question about a file reference that names no file.
struct MissingReferenceRequest {
  std::string keyPath;
  std::string itemName;
  std::string dataText;
  std::string reference;
  std::shared_ptr<SuggestionFeed> suggestions;
  WindowRef owner = 0;
  // What a rule already proposes for the reference; the dialog starts with it.
  std::optional<std::string> proposal;
};
// Accept 6 (with a replacement), Reject 7, Cancel 2; 32 added for "this type
// of query"; `remember` is "for above file reference".
struct MissingReferenceReply {
  int answer = 7;
  bool remember = true;
  std::optional<std::string> replacement;
};

// The question whether a folder prefix shared by missing references is a
// pattern: the prefixes of the rule's find and replace texts, preselected.
struct PatternRequest {
  bool reject = false;  // "Ignore" instead of "Replace"; no replace list
  std::vector<std::string> findPrefixes;
  std::vector<std::string> replacePrefixes;
  std::size_t findSelected = 0;
  std::size_t replaceSelected = 0;
  WindowRef owner = 0;
};
// IDYES (or IDNO with "&Recursive" ticked) with the chosen prefixes; IDCANCEL for "&No".
struct PatternReply {
  int answer = 2;
  std::size_t findChoice = 0;
  std::size_t replaceChoice = 0;
};

class Interaction {
 public:
  virtual ~Interaction() = default;
  // Shows the box and returns the answer (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // The status line text of the work under way.
  virtual void showStatus(std::string_view text) { (void)text; }
  // The write confirmation. The default asks with a Yes/No/Cancel box that
  // lists what the dialog would show, and hands the names and data back
  // unchanged.
  virtual ConfirmationReply confirmChange(const ConfirmationRequest& request);
  // The missing file reference. The default asks in a box: Yes takes the
  // first suggestion found, No rejects, Cancel cancels.
  virtual MissingReferenceReply missingFileReference(const MissingReferenceRequest& request);
  // The pattern question. The default asks in a box with the preselected
  // prefixes: Yes or No (No is the dialog's "&No", that is IDCANCEL).
  virtual PatternReply patternDetected(const PatternRequest& request);
  // A folder chosen by the user (a Windows path), or nothing. The default
  // has no one to ask.
  virtual std::optional<std::string> chooseFolder(std::string_view title, std::string_view start) {
    (void)title;
    (void)start;
    return std::nullopt;
  }

  // The window is closing: the questions still waiting for it are answered
  // Cancel, and any asked for it later at once, so that a worker waiting on
  // one cannot keep the window's closing waiting for the worker.
  void windowGone(WindowRef window) { pending_.ownerGone(window); }
  bool windowIsGone(WindowRef window) const { return pending_.gone(window); }

 protected:
  // An implementation whose questions are answered on another thread (the
  // desktop's dialogs) asks through this.
  PendingQuestions& pending() { return pending_; }

 private:
  PendingQuestions pending_;
};

// The text of a confirmation as a plain box or a console shows it.
std::string describeConfirmation(const ConfirmationRequest& request);

// The implementation of the calling thread's workspace (see workspace.h),
// held while it is used.
std::shared_ptr<Interaction> interaction();
// Installs an implementation in that workspace and returns the one it replaces.
std::shared_ptr<Interaction> setInteraction(std::shared_ptr<Interaction> implementation);

// Shorthand in the order of the Win32 call: text, then title.
int messageBox(std::string_view text, std::string_view title, BoxButtons buttons = BoxButtons::Ok,
               BoxIcon icon = BoxIcon::NoIcon, WindowRef owner = 0);

// Installs an implementation for the life of the object.
class ScopedInteraction {
 public:
  explicit ScopedInteraction(std::shared_ptr<Interaction> implementation)
      : previous_(setInteraction(std::move(implementation))) {}
  ~ScopedInteraction() { setInteraction(std::move(previous_)); }
  ScopedInteraction(const ScopedInteraction&) = delete;
  ScopedInteraction& operator=(const ScopedInteraction&) = delete;

 private:
  std::shared_ptr<Interaction> previous_;
};

}  // namespace talmoor

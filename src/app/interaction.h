#pragma once
// The one way the core shows boxes and asks the user. The desktop answers
// through Qt, talmoor-cli on the console, tests from a script.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
enum class BoxIcon { None, Information, Question, Exclamation, Stop };

// A window of the desktop that a box belongs to; 0 for none.
using WindowRef = std::uintptr_t;

struct MessageBoxRequest {
  std::string title;
  std::string text;
  BoxButtons buttons = BoxButtons::Ok;
  BoxIcon icon = BoxIcon::None;
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
};

// The text of a confirmation as a plain box or a console shows it.
std::string describeConfirmation(const ConfirmationRequest& request);

// The installed implementation; the console one until another is installed.
Interaction& interaction();
// Installs an implementation and returns the one it replaces.
std::shared_ptr<Interaction> setInteraction(std::shared_ptr<Interaction> implementation);

// Shorthand in the order of the Win32 call: text, then title.
int messageBox(std::string_view text, std::string_view title, BoxButtons buttons = BoxButtons::Ok,
               BoxIcon icon = BoxIcon::None, WindowRef owner = 0);

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

#pragma once
// The one way the core shows boxes and asks the user. The desktop answers
// through Qt, talmoor-cli on the console, tests from a script.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

class Interaction {
 public:
  virtual ~Interaction() = default;
  // Shows the box and returns the answer (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int messageBox(const MessageBoxRequest& request) = 0;
  // The status line text of the work under way.
  virtual void showStatus(std::string_view text) { (void)text; }
};

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

#pragma once
// Going to a place in the registry: the request the path opener carries out,
// the last location kept in the settings key ("LastKey", "LastValue") and
// restored at start, and the window that shows a location.

#include <optional>
#include <string>

namespace talmoor::frame {

class CommandThread;

// An open-tree-path request: a full key path and, optionally, a value in it.
struct OpenPathRequest {
  std::string keyPath;
  std::optional<std::string> valueName;
  bool rememberedValueOnly = false;  // only select the remembered value
};

// What the path opener drives: the key browser, or the frame until there is
// one. Called on the opener's worker thread; an implementation hands the
// work to its own thread.
class LocationTarget {
 public:
  virtual ~LocationTarget() = default;
  // The data viewer shows registry values (not search results) from now on.
  virtual void showRegistryValues() {}
  // Expands to the key and selects it; false when the path cannot be reached.
  virtual bool selectKeyPath(const std::string& keyPath) = 0;
  // Selects the request's value (through the command thread, 0x8020).
  virtual void selectValue(const OpenPathRequest& request) { (void)request; }
  // Selects the value remembered in the settings (0x8021).
  virtual void selectRememberedValue() {}
  // The key has no value to select: the value list is ready for input.
  virtual void enableValueList() {}
};

// The path opener's work (run on a worker thread). The boxes tell of a
// missing request or path and of a path that can no longer be reached.
// Value selection goes through `commands` when given, else straight to the
// target. Returns 1, the thread's exit code.
int openTreePath(const std::optional<OpenPathRequest>& request, LocationTarget& target,
                 CommandThread* commands = nullptr);

// "LastKey" and "LastValue" as a request; none when nothing was selected.
// An unreadable setting shows "Invalid Format for Starting Path Setting" and
// is taken as none.
std::optional<OpenPathRequest> lastLocation();
// Keeps the selection: written when there is one, deleted when not.
void rememberLocation(const std::optional<std::string>& keyPath, const std::optional<std::string>& valueName);

}  // namespace talmoor::frame

#pragma once
// What the verbs share: failure lines, the overwrite and delete prompts, and
// reading values through the ANSI calls.

#include <string>
#include <string_view>
#include <vector>

#include "cli/key_argument.h"
#include "platform/win32_types.h"

namespace talmoor::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

// Prints "talmoor-cli: <what>: <error text> (<detail>)" on stderr; returns 1.
int reportFailure(std::string_view what, LONG code);
int reportProblem(std::string_view what, std::string_view problem);

// Asks a Yes/No question on the terminal. Without a terminal it answers No
// and says so, so that nothing is overwritten or deleted unasked.
bool confirm(const std::string& question);

// Opens the key (connecting to its machine first when one is named).
LONG openKeyArgument(const KeyArgument& key, REGSAM access, HKEY& handle);

struct ValueRead {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

LONG readValue(HKEY key, const std::string& name, ValueRead& out);
LONG readValueAt(HKEY key, DWORD index, ValueRead& out);

// Closes a key handle when it goes out of scope.
class KeyHandle {
 public:
  KeyHandle() = default;
  explicit KeyHandle(HKEY handle) : handle_(handle) {}
  ~KeyHandle();
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY get() const { return handle_; }
  HKEY* out() { return &handle_; }

 private:
  HKEY handle_ = 0;
};

}  // namespace talmoor::cli

#pragma once
// The registry editor's command line as the program accepts it: the file to
// import, or a flag (/E export, /I, /S, /C, /V import, any other letter asked
// about) with its file and key, each request confirmed by the user first.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor {

// Blanks separate tokens; a token that begins with a double quote runs to the
// next one (a backslash inside protects the next character); each token is
// trimmed of blanks and tabs. The quotes are kept, as typed.
std::vector<std::string> splitCommandLine(std::string_view text);
// Program arguments as the one line the registry editor would be given:
// blanks between them, an argument holding a blank in double quotes.
std::string joinCommandLine(const std::vector<std::string>& arguments);
// A token with its surrounding double quotes removed, as a file name is opened.
std::string unquoted(std::string_view token);

enum class CommandLineAction { NoAction, Export, Import };

struct CommandLineRequest {
  CommandLineAction action = CommandLineAction::NoAction;
  char flag = 0;                    // the upper-cased flag letter; 0 for a bare file
  std::string file;                 // as given (quotes removed)
  std::optional<std::string> key;   // export: none means the whole registry
  std::string prompt;               // the question's text
  std::string title;                // the question's title
};

// What the command line asks for, with the question to put to the user.
CommandLineRequest parseCommandLine(std::string_view text);

// What the answers lead to.
struct CommandLineHandlers {
  std::function<void(const std::string& file, const std::optional<std::string>& key)> exportKey;
  std::function<void(const std::optional<std::string>& key)> openPath;  // export declined
  std::function<void(const std::string& file)> import;
  std::function<void(const std::string& file)> testImport;  // import declined
};

// Asks (Yes/No) and starts what the answer chooses. Returns the request.
CommandLineRequest processCommandLine(std::string_view text, const CommandLineHandlers& handlers);

}  // namespace talmoor

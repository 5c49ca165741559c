#include "platform/files/process_launch.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/error_detail.h"
#include "platform/win32_errors.h"

extern char** environ;

namespace talmoor::platform {

std::vector<std::string> splitWindowsCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        std::size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') ++slashes, ++i;
        if (i < line.size() && line[i] == '"') {
          // 2n backslashes and a quote: n backslashes, the quote toggles;
          // 2n+1: n backslashes and a literal quote.
          word.append(slashes / 2, '\\');
          if (slashes % 2) {
            word.push_back('"');
            ++i;
          }
        } else {
          word.append(slashes, '\\');
        }
        continue;
      }
      if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          word.push_back('"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      word.push_back(line[i++]);
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<std::filesystem::path> findWineLoader() {
  for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine", "/usr/lib/wine/wine"})
    if (::access(candidate, X_OK) == 0) return std::filesystem::path(candidate);
  return std::nullopt;
}

LONG launchInWine(std::string_view commandLine, const std::filesystem::path& prefix) {
  auto loader = findWineLoader();
  if (!loader) {
    setErrorDetail("Wine is not installed");
    return ERROR_FILE_NOT_FOUND;
  }
  std::vector<std::string> words = splitWindowsCommandLine(commandLine);
  if (words.empty()) return ERROR_INVALID_PARAMETER;
  words.insert(words.begin(), loader->string());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // The environment as it is, with the prefix named.
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry)
    if (std::string_view(*entry).rfind("WINEPREFIX=", 0) != 0) environment.emplace_back(*entry);
  environment.push_back("WINEPREFIX=" + prefix.string());
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t child = 0;
  int rc = ::posix_spawn(&child, loader->c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (rc != 0) return win32ErrorFromErrno(rc);
  // Collected when it ends, so that no finished child lingers.
  std::thread([child] { ::waitpid(child, nullptr, 0); }).detach();
  return ERROR_SUCCESS;
}

}  // namespace talmoor::platform

#include "scripts/command_line.h"

#include <cctype>

#include <fmt/format.h>

#include "base/interaction.h"

namespace talmoor {

namespace {

constexpr const char* kExportTitle = "Export Registry Key?";
constexpr const char* kImportTitle = "Import Registry File?";
constexpr const char* kDefaultExportFile = "Untitled.reg";

constexpr const char* kExportTail =
    "\n\nClick 'Yes' to export this key.\nClick 'No' to display what would have been be exported.";
constexpr const char* kImportTail =
    "\n\nClick 'Yes' to import this file.\nClick 'No' to perform a test Import only.\n\n INFORMATION : A Test import "
    "lists the changes to be made in the\nsearch window. The changes will be shown with ticks against the\nelements "
    "which are already present in the registry.";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// What follows the file in a prompt: the tokens nobody asked for, if any.
std::string restOf(const std::vector<std::string>& tokens, std::size_t from) {
  std::string rest;
  for (std::size_t i = from; i < tokens.size(); ++i) rest += (rest.empty() ? "" : " ") + tokens[i];
  return rest;
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    std::size_t start = i;
    if (text[i] == '"') {
      ++i;
      while (i < text.size() && text[i] != '"') i += text[i] == '\\' && i + 1 < text.size() ? 2 : 1;
      if (i < text.size()) ++i;  // the closing quote
      while (i < text.size() && text[i] != ' ') ++i;
    } else {
      while (i < text.size() && text[i] != ' ') ++i;
    }
    std::string token = trimmed(text.substr(start, i - start));
    if (!token.empty()) tokens.push_back(std::move(token));
  }
  return tokens;
}

std::string joinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument.find(' ') != std::string::npos ? "\"" + argument + "\"" : argument;
  }
  return line;
}

std::string unquoted(std::string_view token) {
  if (token.size() >= 2 && token.front() == '"' && token.back() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < token.size(); ++i) {
      if (token[i] == '\\' && i + 2 < token.size() && (token[i + 1] == '"' || token[i + 1] == '\\')) ++i;
      out.push_back(token[i]);
    }
    return out;
  }
  return std::string(token);
}

CommandLineRequest parseCommandLine(std::string_view text) {
  CommandLineRequest request;
  auto tokens = splitCommandLine(text);
  if (tokens.empty()) return request;
  const std::string& first = tokens[0];
  if (first[0] != '-' && first[0] != '/') {
    request.action = CommandLineAction::Import;
    request.file = unquoted(first);
    request.prompt = fmt::format("A request was made to Import the following file into the registry : \n\n'{}' {}",
                                 request.file, restOf(tokens, 1));
    request.prompt += kImportTail;
    request.title = kImportTitle;
    return request;
  }
  request.flag = first.size() > 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(first[1]))) : '\0';
  if (request.flag == 'E') {
    request.action = CommandLineAction::Export;
    request.file = tokens.size() > 1 ? unquoted(tokens[1]) : kDefaultExportFile;
    if (tokens.size() > 2) request.key = unquoted(tokens[2]);
    std::string rest = restOf(tokens, 3);
    request.prompt =
        request.key ? fmt::format("A request has been made to Export the Key : \n\n\t'{}'\n\n To the file : \n\n\t'{}' {}\n\n",
                                  *request.key, request.file, rest)
                    : fmt::format("A request has been made to Export the Entire Registry to the file : \n\n\t'{}' {}\n\n",
                                  request.file, rest);
    request.prompt += kExportTail;
    request.title = kExportTitle;
    return request;
  }
  request.action = CommandLineAction::Import;
  request.file = tokens.size() > 1 ? unquoted(tokens[1]) : std::string();
  const std::string rest = restOf(tokens, 2);
  switch (request.flag) {
    case 'I':
      request.prompt = fmt::format("A request was made to Import the following file into the registry\n\n{} {}",
                                   request.file, rest);
      break;
    case 'S':
      request.prompt = fmt::format(
          "A request was made to silently Import the following file into the registry,\nthis request could be part of "
          "a legitimate installation operation or could\nbe the action of a virus (given its covert nature) : \n\n{} {}",
          request.file, rest);
      break;
    case 'C':
    case 'V':
      request.prompt = fmt::format(
          "A known RegEdit flag was encountered whose exact function is not\nknown, I presume this is an import action, "
          "Import file?\n\n{} {}",
          request.file, rest);
      break;
    default:
      request.prompt = fmt::format(
          "A unknown flag was encountered  that is known to be valid in RegEdit?\n\n{} {}", request.file, rest);
      break;
  }
  request.prompt += kImportTail;
  request.title = kImportTitle;
  return request;
}

CommandLineRequest processCommandLine(std::string_view text, const CommandLineHandlers& handlers) {
  CommandLineRequest request = parseCommandLine(text);
  if (request.action == CommandLineAction::NoAction) return request;
  const bool yes = messageBox(request.prompt, request.title, BoxButtons::YesNo, BoxIcon::Question) == IDYES;
  if (request.action == CommandLineAction::Export) {
    if (yes && handlers.exportKey) handlers.exportKey(request.file, request.key);
    if (!yes && handlers.openPath) handlers.openPath(request.key);
  } else {
    if (yes && handlers.import) handlers.import(request.file);
    if (!yes && handlers.testImport) handlers.testImport(request.file);
  }
  return request;
}

}  // namespace talmoor

#include "app/desktop_arguments.h"

#include "base/interaction.h"

namespace talmoor::app {

namespace {

// "--name=value" or "--name value": the value, advancing past it.
std::optional<std::string> valueOf(const std::vector<std::string>& arguments, std::size_t& index,
                                   std::string_view name, std::string& problem) {
  const std::string& argument = arguments[index];
  if (argument.size() > name.size() && argument.starts_with(name) && argument[name.size()] == '=')
    return argument.substr(name.size() + 1);
  if (argument != name) return std::nullopt;
  if (index + 1 >= arguments.size()) {
    problem = std::string(name) + " needs a value";
    return std::nullopt;
  }
  return arguments[++index];
}

}  // namespace

std::string desktopUsage() {
  return "Usage: talmoor [--prefix DIR | --windows DIR] [--hive FILE=KEY]... [--yes | --no] [REGEDIT ARGUMENTS]\n"
         "\n"
         "The Talmoor desktop: search, update and verify Windows registries.\n"
         "\n"
         "  --prefix DIR      a Wine prefix or Talmoor store (default: $WINEPREFIX, ~/.wine, or Talmoor's own store)\n"
         "  --windows DIR     an offline Windows installation (the folder holding Windows\\)\n"
         "  --hive FILE=KEY   one more hive file mounted at a key below HKLM or HKU (repeatable)\n"
         "  --yes, --no       answer the registry editor line's question without asking\n"
         "  -h, --help        this text\n"
         "  -v, --version     the version\n"
         "\n"
         "Registry editor arguments, as regedit takes them:\n"
         "  /E FILE [KEY]     export KEY (or the whole registry) to FILE, after asking\n"
         "  /S FILE, /I FILE, FILE.reg   import FILE, after asking (No imports as a test)\n"
         "\n"
         "Exit status: 0 normally; 1 when the registry cannot be opened or there is no display; 2 for a command\n"
         "line that cannot be understood.\n";
}

std::optional<DesktopArguments> parseDesktopArguments(const std::vector<std::string>& arguments, std::string& problem) {
  DesktopArguments parsed;
  std::size_t index = 0;
  for (; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "-h" || argument == "--help") {
      parsed.help = true;
    } else if (argument == "-v" || argument == "--version") {
      parsed.version = true;
    } else if (argument == "--yes" || argument == "--no") {
      const int answer = argument == "--yes" ? IDYES : IDNO;
      if (parsed.answer && parsed.answer != answer) {
        problem = "--yes and --no exclude each other";
        return std::nullopt;
      }
      parsed.answer = answer;
    } else if (auto prefix = valueOf(arguments, index, "--prefix", problem)) {
      parsed.profile.prefix = *prefix;
    } else if (auto windows = valueOf(arguments, index, "--windows", problem)) {
      parsed.profile.windowsDir = *windows;
    } else if (auto hive = valueOf(arguments, index, "--hive", problem)) {
      auto mount = platform::parseHiveMount(*hive);
      if (!mount) {
        problem = "--hive takes FILE=KEY, not " + *hive;
        return std::nullopt;
      }
      parsed.profile.hives.push_back(std::move(*mount));
    } else if (!problem.empty()) {
      return std::nullopt;
    } else if (argument.starts_with("--") || (argument.starts_with("-") && argument.size() > 1)) {
      problem = "unknown option " + argument;
      return std::nullopt;
    } else {
      break;  // the registry editor's line starts here
    }
  }
  if (parsed.profile.prefix && parsed.profile.windowsDir) {
    problem = "--prefix and --windows exclude each other";
    return std::nullopt;
  }
  parsed.editorLine.assign(arguments.begin() + static_cast<std::ptrdiff_t>(index), arguments.end());
  return parsed;
}

}  // namespace talmoor::app

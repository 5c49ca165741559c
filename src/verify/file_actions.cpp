#include "verify/file_actions.h"

#include "platform/thread_context.h"

#include <mutex>

#include <fmt/format.h>

#include "base/error_reporting.h"
#include "platform/files/process_launch.h"
#include "platform/files/windows_files.h"
#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/format_data.h"
#include "search/replace/change_class.h"
#include "base/workspace.h"

namespace talmoor::verify {

namespace {

constexpr const char* kSessionManagerKey =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingRenames = "PendingFileRenameOperations";

// Installed per workspace by the front (the desktop opens, the command line prints).
struct OpenerSlot {
  std::mutex mutex;
  ShellOpener opener;
};
OpenerSlot& openerSlot() { return Workspace::current().service<OpenerSlot>(); }

bool showThroughOpener(std::string_view verb, const std::filesystem::path& host) {
  ShellOpener opener;
  {
    OpenerSlot& slot = openerSlot();
    std::lock_guard lock(slot.mutex);
    opener = slot.opener;
  }
  if (!opener) {
    messageBox("Missing Parameter to Shell Command", "Cannot Process Shell Command");
    return false;
  }
  return opener(verb, host);
}

std::string lastComponent(std::string_view path) {
  auto cut = path.rfind('\\');
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string unquotedPath(std::string_view path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  return std::string(path);
}

}  // namespace

void setShellOpener(ShellOpener opener) {
  OpenerSlot& slot = openerSlot();
  std::lock_guard lock(slot.mutex);
  slot.opener = std::move(opener);
}

int fileAction(WindowRef owner, const std::string& path, std::string_view verb, const FileSystemView& files) {
  if (path.empty()) {
    messageBox("Missing Parameter to Shell Command", "Cannot Process Shell Command");
    return 1;
  }
  DWORD attributes = 0;
  const bool exists = platform::fileExists(path, files.drives, &attributes);
  if (verb == kVerbRebootMove) {
    auto folder = interaction()->chooseFolder("Select Destination Folder", path);
    if (!folder) return 0;
    std::string destination = fmt::format("{}\\{}", *folder, lastComponent(unquotedPath(path)));
    if (!scheduleRebootMove(unquotedPath(path), destination, owner)) return 1;
    messageBox("File has been scheduled for moving", "Thank You", BoxButtons::Ok, BoxIcon::Information, owner);
    return 0;
  }
  if (!exists) return 0;  // the other verbs skip what is not there
  std::string target = path;
  if (verb == kVerbExplore && !(attributes & platform::FILE_ATTRIBUTE_DIRECTORY))
    target = target.substr(0, target.rfind('\\'));
  auto host = platform::hostPathOf(target, files.drives);
  if (!host) return 0;
  return showThroughOpener(verb, *host) ? 0 : 1;
}

bool fileActionsOnValue(std::string_view name, DWORD type, std::span<const BYTE> data, std::string_view verb,
                        WindowRef owner, const FileSystemView& files) {
  FileAction action = [&files, verb](WindowRef o, const std::string& path, std::string_view) {
    return fileAction(o, path, verb, files) == 0 ? 0 : -1;
  };
  bool error = false;
  registry::DisplayContext display;
  std::string text = registry::formatData(type, data, display);
  bool found = processFilesInString(text, action, error, verb, owner, false, files);
  std::string shownName = registry::displayString(name, display);
  found = processFilesInString(shownName, action, error, verb, owner, false, files) || found;
  return found && !error;
}

bool scheduleRebootMove(const std::string& source, const std::string& destination, WindowRef owner) {
  // Two strings per move, "\??\" before each path, the list ending in an
  // empty string.
  std::vector<BYTE> current;
  registry::openAndRead(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", kPendingRenames,
                        current);
  while (!current.empty() && current.back() == 0) current.pop_back();
  if (!current.empty()) current.push_back(0);
  for (const std::string& path : {source, destination}) {
    std::string entry = "\\??\\" + path;
    current.insert(current.end(), entry.begin(), entry.end());
    current.push_back(0);
  }
  current.push_back(0);
  search::ChangeClass change;
  change.caption = "Move on Reboot";
  std::string name = kPendingRenames;
  return registry::setValue("", 0, kSessionManagerKey, name, current, REG_MULTI_SZ,
                            registry::ReportTo(defaultErrorHandler, kSessionManagerKey, nullptr, owner),
                            search::writeGate(change, owner));
}

bool executeCommandLine(std::string_view commandLine, WindowRef owner) {
  auto prefix = platform::threadWinePrefix();
  if (!prefix) {
    messageBox("Programs can only be run in a Wine prefix; this registry has none.", "Cannot Execute",
               BoxButtons::Ok, BoxIcon::Stop, owner);
    return false;
  }
  LONG rc = platform::launchInWine(commandLine, *prefix);
  // What only means that the program is not there is said in the box.
  if (rc == ERROR_FILE_NOT_FOUND && !platform::findWineLoader()) {
    messageBox("Wine is not installed, so the command line cannot be run.", "Cannot Execute", BoxButtons::Ok,
               BoxIcon::Stop, owner);
    return false;
  }
  if (rc != ERROR_SUCCESS) {
    reportError(defaultErrorHandler, rc, std::string(commandLine), "", "Execute", nullptr, kVerbosityBox, owner);
    return false;
  }
  return true;
}

bool runExecutable(std::string_view name, std::string_view arguments, const FileSystemView& files) {
  std::string trimmed(name);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  trimmed = unquotedPath(trimmed);
  auto resolved = platform::resolveFile(trimmed, files.environment, files.drives);
  if (!resolved) {
    messageBox(fmt::format("Unable to locate executable '{}'. Cannot continue request.", trimmed), "Sorry");
    return false;
  }
  std::string commandLine = "\"" + resolved->fullPath + "\"";
  if (!arguments.empty()) commandLine += " " + std::string(arguments);
  return executeCommandLine(commandLine);
}

}  // namespace talmoor::verify

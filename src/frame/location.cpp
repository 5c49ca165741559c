#include "frame/location.h"

#include "base/interaction.h"
#include "frame/command_thread.h"
#include "registry/settings_key.h"

namespace talmoor::frame {

namespace {

constexpr const char* kLastKey = "LastKey";
constexpr const char* kLastValue = "LastValue";

void rememberSetting(const char* name, const std::optional<std::string>& text) {
  if (text)
    registry::writeStringSetting(name, *text);
  else
    registry::deleteSetting(name);
}

}  // namespace

int openTreePath(const std::optional<OpenPathRequest>& request, LocationTarget& target, CommandThread* commands) {
  constexpr int kExitCode = 1;
  if (!request) {
    messageBox("Invalid Parameter Passed to Open Tree Path thread", "Application Error");
    return kExitCode;
  }
  if (request->keyPath.empty() && !request->rememberedValueOnly) {
    messageBox("Invalid String Passed to Open Tree Path thread in the RegistryEntry Structure", "Application Error");
    return kExitCode;
  }
  target.showRegistryValues();
  if (request->rememberedValueOnly) {
    if (commands) {
      commands->post(CommandMessage::SelectRequestedValue, 0, *request);
      commands->post(CommandMessage::SelectRememberedValue);
    } else {
      target.selectValue(*request);
      target.selectRememberedValue();
    }
    return kExitCode;
  }
  if (!target.selectKeyPath(request->keyPath)) {
    messageBox("The path has become Invalid or been Secured since your last search.", "Invalid Path");
    return kExitCode;
  }
  if (!request->valueName) {
    target.enableValueList();
  } else if (commands) {
    commands->post(CommandMessage::SelectRequestedValue, 0, *request);
  } else {
    target.selectValue(*request);
  }
  return kExitCode;
}

std::optional<OpenPathRequest> lastLocation() {
  bool unreadable = false;
  std::optional<std::string> key = registry::readStringSetting(kLastKey, unreadable);
  if (unreadable) {
    messageBox("Invalid Format for Starting Path Setting", "Sorry");
    return std::nullopt;
  }
  if (!key || key->empty()) return std::nullopt;
  OpenPathRequest request{*key, std::nullopt, false};
  std::optional<std::string> value = registry::readStringSetting(kLastValue, unreadable);
  if (unreadable) {
    messageBox("Invalid Format for Starting Path Setting", "Sorry");
  } else {
    request.valueName = value;
  }
  return request;
}

void rememberLocation(const std::optional<std::string>& keyPath, const std::optional<std::string>& valueName) {
  rememberSetting(kLastKey, keyPath);
  rememberSetting(kLastValue, keyPath ? valueName : std::nullopt);
}

}  // namespace talmoor::frame

#include "frame/frame_session.h"

#include <charconv>

#include "frame/window_table.h"
#include "platform/registry/registry_constants.h"
#include "registry/settings_key.h"

namespace talmoor::frame {

namespace {

constexpr const char* kOpenWindows = "Open Windows";
constexpr const char* kFrameGeometry = "Frame Geometry";

}  // namespace

bool askChildrenToClose(std::span<ClosingVoter* const> children) {
  bool all = true;
  for (ClosingVoter* child : children)
    if (child && !child->queryClose()) all = false;
  return all;
}

void SharedLocks::drain() {
  for (auto& lock : locks_) {
    lock.lock();
    lock.unlock();
  }
}

std::vector<int> openWindowsSetting() {
  bool unreadable = false;
  auto text = registry::readStringSetting(kOpenWindows, unreadable);
  std::vector<int> commands;
  if (text) {
    std::string_view rest = *text;
    while (!rest.empty()) {
      const auto cut = rest.find(',');
      const std::string_view item = rest.substr(0, cut);
      int command = 0;
      auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), command);
      if (error == std::errc() && end == item.data() + item.size() && findChildWindow(command))
        commands.push_back(command);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    return commands;
  }
  for (WindowCommand command : {WindowCommand::KeyBrowser, WindowCommand::ValueList, WindowCommand::DataViewer})
    commands.push_back(static_cast<int>(command));
  return commands;
}

void keepOpenWindows(std::span<const int> commands) {
  std::string text;
  for (int command : commands) {
    if (!text.empty()) text += ',';
    text += std::to_string(command);
  }
  registry::writeStringSetting(kOpenWindows, text);
}

std::vector<BYTE> frameGeometrySetting() {
  registry::SettingRead read = registry::readSetting(kFrameGeometry);
  if (read.code != ERROR_SUCCESS || read.type != REG_BINARY) return {};
  return read.data;
}

void keepFrameGeometry(std::span<const BYTE> bytes) {
  registry::writeSetting(kFrameGeometry, REG_BINARY, std::vector<BYTE>(bytes.begin(), bytes.end()));
}

}  // namespace talmoor::frame

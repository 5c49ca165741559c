#include "registry/registry_path.h"

#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "registry/root_keys.h"

namespace talmoor::registry {

std::optional<MachineSplit> splitMachine(std::string_view text) {
  if (text.size() < 3 || text[0] != '\\' || text[1] != '\\' || text[2] == '\\') return std::nullopt;
  text.remove_prefix(2);
  auto cut = text.find('\\');
  if (cut == std::string_view::npos) return MachineSplit{std::string(text), {}};
  return MachineSplit{std::string(text.substr(0, cut)), std::string(text.substr(cut + 1))};
}

std::string_view lastComponent(std::string_view text) {
  auto cut = text.rfind('\\');
  return cut == std::string_view::npos ? text : text.substr(cut + 1);
}

std::string_view withoutLastComponent(std::string_view text) {
  auto cut = text.rfind('\\');
  return cut == std::string_view::npos ? std::string_view() : text.substr(0, cut);
}

std::optional<std::string> nativePath(std::string_view pathText) {
  if (auto split = splitMachine(pathText)) pathText = std::string_view(pathText).substr(pathText.size() - split->rest.size());
  while (!pathText.empty() && pathText.front() == '\\') pathText.remove_prefix(1);
  auto cut = pathText.find('\\');
  std::string_view rest = cut == std::string_view::npos ? std::string_view() : pathText.substr(cut + 1);
  std::string native = "\\REGISTRY\\";
  switch (rootFromText(pathText)) {
    case HKEY_CLASSES_ROOT: native += "MACHINE\\SOFTWARE\\CLASSES\\"; break;
    case HKEY_LOCAL_MACHINE: native += "MACHINE\\"; break;
    case HKEY_USERS: native += "USER\\"; break;
    default:
      messageBox("Cannot Convert none static mapped root Key to a System Key", "Sorry");
      return std::nullopt;
  }
  native += rest;
  return native;
}

}  // namespace talmoor::registry

#include "frame/window_table.h"

#include <algorithm>

#include "base/interaction.h"

namespace talmoor::frame {

namespace {

constexpr ChildWindow kWindows[] = {
    {WindowCommand::KeyBrowser, "&Key Browser", "Key Browser",
     "The registry's keys as a tree, with friendly names, for browsing, creating, renaming and deleting keys."},
    {WindowCommand::ValueList, "&Value List", "Value List",
     "The values of the key selected in the Key Browser: names, types and data."},
    {WindowCommand::DataViewer, "&Data Viewer", "Data Viewer",
     "The data of the selected value, byte by byte, for viewing and editing."},
    {WindowCommand::Security, "Se&curity", "Security",
     "The owner, group and access lists of the selected key."},
    {WindowCommand::NamingRules, "&Naming Rules", "Naming Rules",
     "The rules that give keys their friendly names and icons."},
    {WindowCommand::Debug, "&Debug", "Debug", "What the program reports about its own work as it goes."},
    {WindowCommand::ErrorLog, "&Error Log", "Error Log", "Every failure of a registry or file operation."},
    {WindowCommand::Search, "&Search", "Search",
     "Searches, their results, and the rows of imported and loaded scripts."},
    {WindowCommand::About, "&About", "About", "Which program this is and which registry it works on."},
};

}  // namespace

std::span<const ChildWindow> windowTable() { return kWindows; }

const ChildWindow* findChildWindow(int command) {
  auto found = std::find_if(std::begin(kWindows), std::end(kWindows),
                            [command](const ChildWindow& row) { return static_cast<int>(row.command) == command; });
  return found == std::end(kWindows) ? nullptr : &*found;
}

const ChildWindow* lookupChildWindow(int command) {
  const ChildWindow* row = findChildWindow(command);
  if (!row) messageBox("Remember to Add Window to Talmoor_GetMDIClild function", "CORWENT");
  return row;
}

std::string withoutMnemonic(std::string_view menuText) {
  std::string text;
  for (std::size_t i = 0; i < menuText.size(); ++i) {
    if (menuText[i] == '&' && i + 1 < menuText.size()) ++i;
    text += menuText[i];
  }
  return text;
}

}  // namespace talmoor::frame

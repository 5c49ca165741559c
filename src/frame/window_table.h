#pragma once
// The frame's child windows, each opened by its command identifier (the
// "&Window" menu lists them in this order).

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talmoor::frame {

enum class WindowCommand : int {
  Security = 20,
  KeyBrowser = 202,
  ValueList = 203,
  DataViewer = 204,
  ErrorLog = 205,
  Search = 206,
  About = 207,
  Debug = 305,
  NamingRules = 312,
};

struct ChildWindow {
  WindowCommand command;
  std::string_view menuText;  // with its "&" mnemonic
  std::string_view title;     // the subwindow's caption and accessible name
  std::string_view purpose;   // what a window not built yet says it will hold
};

std::span<const ChildWindow> windowTable();

// The row for a command, quietly; none for a command outside the table.
const ChildWindow* findChildWindow(int command);
// The same, and a command outside the table says so in a box: a menu or
// message that names a window nobody put in the table is a programming slip
// the user should be able to report.
const ChildWindow* lookupChildWindow(int command);

// "&Key Browser" -> "Key Browser"; "&&" stays one "&".
std::string withoutMnemonic(std::string_view menuText);

}  // namespace talmoor::frame

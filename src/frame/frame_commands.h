#pragma once
// The frame's command identifiers: the ones the design numbers, and the
// frame's own menu commands above the favourites' range.

#include <span>
#include <string_view>

namespace talmoor::frame {

enum class FrameCommand : int {
  Options = 104,
  Remove = 258,             // take the current rows out of the search results
  AddToResults = 268,       // the browsers' current item into the search results
  OpenWindowMenu = 280,     // Alt+W: the "&Window" menu, as on the design's menu bar
  OpenFavouritesMenu = 281, // Alt+F: the "&Favourites" menu
  AddFavourite = 208,
  OrganiseFavourites = 209,
  FirstFavourite = 501,
  LastFavourite = 1000,
  // The frame's own menus, numbered clear of everything above.
  ImportFile = 1101,
  ExportFile = 1102,
  Exit = 1109,
  GoToPath = 1110,          // Ctrl+L: the Path box, its text selected
  ShowAddressBar = 1111,
  ShowStatusBar = 1112,
  // Copy and move of the browsers' keys and values, to the one active.
  Copy = 1113,
  Cut = 1114,
  Paste = 1115,
  CopyKeyName = 1116,
};

// One key combination and the command it gives.
struct Accelerator {
  std::string_view keys;  // as QKeySequence reads it: "Alt+A", "Ctrl+S", "F3"
  int command;
};

// The frame's accelerator table, in the design's order.
std::span<const Accelerator> acceleratorTable();

}  // namespace talmoor::frame

#pragma once
// The result list's popup menu: its entries and when each is enabled.

#include <vector>

namespace talmoor::search {

struct PopupEntry {
  const char* text;
  int id;
  bool enabled;
};

struct PopupState {
  bool searchRunning = false;
  bool hasRows = false;
  bool hasSelection = false;
  bool browserItemSelected = false;  // an item is selected in the key browser or value list
};

// "&Results" entries first (Refresh, Load, Verify, Reduce, Import, Save,
// Clear), then Add, Remove, Apply, Update, Goto.
std::vector<PopupEntry> resultPopupMenu(const PopupState& state);

}  // namespace talmoor::search

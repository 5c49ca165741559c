#include "search/results/popup_menu.h"

namespace talmoor::search {

std::vector<PopupEntry> resultPopupMenu(const PopupState& s) {
  const bool idle = !s.searchRunning;
  return {
      {"&Refresh", 231, idle && s.hasRows},
      {"&Load", 256, idle},
      {"&Verify", 269, idle},
      {"&Reduce", 275, idle},
      // Import writes to the registry like a search does: not while one runs.
      {"&Import", 253, idle},
      {"&Save", 257, idle && s.hasRows},
      {"&Clear", 228, idle && s.hasRows},
      {"&Add", 268, s.browserItemSelected},
      {"&Remove", 258, s.hasSelection},
      {"A&pply", 278, s.hasSelection},
      {"&Update", 277, s.hasSelection},
      {"&Goto", 267, s.hasSelection},
  };
}

}  // namespace talmoor::search

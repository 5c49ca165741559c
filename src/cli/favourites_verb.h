#pragma once
// talmoor-cli favourites: the desktop's favourites, kept in the settings both
// programs share.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace talmoor::cli {

struct FavouritesRequest {
  std::string action = "list";  // list, add, remove, export, import
  std::vector<std::string> words;  // NAME [KEY] or FILE, by the action
};

CLI::App* addFavouritesVerb(CLI::App& app, FavouritesRequest& request);
int runFavourites(const FavouritesRequest& request);

}  // namespace talmoor::cli

#pragma once
// Favourites: named registry locations the "&Favourites" menu leads to. Each
// is a string value under the settings key's "Favourites" subkey (the name is
// the favourite's, the data the path), shared by both programs.
//
// Every favourite holds a menu command (501 and up; the lowest free one is
// given, so at most 500 exist and the commands stay below 1001) and, when its
// key has values, their names, so that the menu can lead straight to one.
// The model is used from the GUI thread and from the loading worker; it is
// guarded by the favourites lock, and the listener hears of every change
// (on the changing thread) so the menu can be built again.

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/location.h"

namespace talmoor::favourites {

inline constexpr int kAddCommand = 208;
inline constexpr int kOrganiseCommand = 209;
inline constexpr int kFirstFavouriteCommand = 501;
inline constexpr std::size_t kMaxFavourites = 500;
inline constexpr std::string_view kFavouritesSubkey = "Favourites";

struct Favourite {
  std::string name;
  std::string path;
  int command = 0;
  std::vector<std::string> valueNames;  // the key's values, for the submenu
};

// An entry of the "&Favourites" menu.
struct MenuEntry {
  enum class Kind { Command, Separator, Favourite };
  Kind kind = Kind::Command;
  int command = 0;
  std::string text;
  bool enabled = true;
  std::vector<std::string> valueNames;  // a favourite's submenu
};

// "(Default Value)" for the empty name.
std::string shownName(std::string_view name);

class FavouritesModel {
 public:
  // Every favourite kept in the settings; the Favourites key is made when
  // missing. Replaces what the model held.
  void load();

  // Adds a favourite (name "Untitled" when empty), written to the settings
  // when `write`. The 501st is refused with "Sorry, you have too many
  // favourites". Returns its command.
  std::optional<int> add(std::string name, std::string path, bool write = true);
  // Takes a favourite away, its value too.
  bool remove(int command);
  // Takes every favourite away, in the settings too.
  void clear();

  // The request the path opener carries out for a favourite (and one of its
  // values); none, with a box, when the command is no favourite's.
  std::optional<frame::OpenPathRequest> goTo(int command, std::optional<std::string> valueName = std::nullopt) const;

  // The command of the favourite with this name (in any case); none when none.
  std::optional<int> commandNamed(std::string_view name) const;

  std::vector<Favourite> favourites() const;
  std::size_t size() const;
  std::vector<MenuEntry> menu() const;

  // A favourites file (".regfav"): a registry script of key lines
  // "[path] ; name". Saving replaces the file; loading adds each key line as
  // a favourite, written to the settings. False (after the box that says
  // why) when the file could not be written or read to its end.
  bool saveTo(const std::filesystem::path& file) const;
  bool loadFrom(const std::filesystem::path& file);

  void setListener(std::function<void()> listener);

 private:
  int freeCommand() const;
  void changed();

  mutable std::mutex mutex_;  // the favourites lock
  std::vector<Favourite> favourites_;
  std::function<void()> listener_;
};

}  // namespace talmoor::favourites

#include "favourites/favourites.h"

#include <algorithm>

#include "base/error_reporting.h"
#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "registry/settings_key.h"
#include "scripts/script_reader.h"
#include "scripts/script_writer.h"

namespace talmoor::favourites {

namespace {

constexpr const char* kOpeningContext = "Opening Registry Key (Favourites)";

// The names of a key's values; none when the path names no key.
std::vector<std::string> valueNamesOf(const std::string& path) {
  const registry::ReportTo silent([](const ErrorReport&) { return true; }, path);
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess, silent, kOpeningContext));
  if (!key.get()) return {};
  return registry::valueNames(key.get(), silent);
}

// The favourites of a file: every key line, named by its comment.
class FavouriteLines : public scripts::ScriptVisitor {
 public:
  std::vector<std::pair<std::string, std::string>> found;  // name, path
  bool onKey(const scripts::ScriptKey& key) override {
    found.emplace_back(std::string(key.comment.value_or("")), std::string(key.path));
    return true;
  }
  bool onValue(scripts::ScriptValue&) override { return true; }
};

// Value names are compared as the registry compares them: ignoring case.
bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string shownName(std::string_view name) { return name.empty() ? "(Default Value)" : std::string(name); }

void FavouritesModel::load() {
  // The key is made on a first run, so that later additions find it.
  registry::ScopedKey key;
  const std::string path = registry::settingsPath(kFavouritesSubkey);
  HKEY opened = 0;
  if (!registry::openOrCreateKey("", HKEY_LOCAL_MACHINE, path.substr(path.find('\\') + 1), opened)) return;
  key.reset(opened);
  std::vector<std::pair<std::string, std::string>> kept;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    std::vector<BYTE> data(32768);
    DWORD dataLength = static_cast<DWORD>(data.size());
    LONG rc = RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, data.data(), &dataLength);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
    std::string text(reinterpret_cast<const char*>(data.data()), dataLength);
    text.resize(std::min(text.size(), text.find('\0')));
    kept.emplace_back(std::string(name, nameLength), std::move(text));
  }
  {
    std::lock_guard lock(mutex_);
    favourites_.clear();
  }
  if (auto shown = interaction()) shown->showStatus("Loading Favourites");
  for (auto& [name, target] : kept) {
    // Kept names are the user's: an empty one stays empty.
    std::vector<std::string> values = valueNamesOf(target);
    std::lock_guard lock(mutex_);
    if (favourites_.size() >= kMaxFavourites) break;
    favourites_.push_back(Favourite{std::move(name), target, freeCommand(), std::move(values)});
  }
  changed();
}

int FavouritesModel::freeCommand() const {
  int command = kFirstFavouriteCommand;
  std::vector<int> used;
  for (const auto& f : favourites_) used.push_back(f.command);
  std::sort(used.begin(), used.end());
  for (int taken : used) {
    if (taken != command) break;
    ++command;
  }
  return command;
}

std::optional<int> FavouritesModel::add(std::string name, std::string path, bool write) {
  if (name.empty()) name = "Untitled";
  std::vector<std::string> values = valueNamesOf(path);
  int command = 0;
  {
    std::lock_guard lock(mutex_);
    const bool known = std::any_of(favourites_.begin(), favourites_.end(),
                                   [&](const Favourite& f) { return sameName(f.name, name); });
    if (!known && favourites_.size() >= kMaxFavourites) {
      messageBox("Sorry, you have too many favourites", "Sorry");
      return std::nullopt;
    }
    // The settings hold one value per name: a name given again is that
    // favourite, now leading to the new path.
    auto same = std::find_if(favourites_.begin(), favourites_.end(),
                             [&](const Favourite& f) { return sameName(f.name, name); });
    if (same != favourites_.end()) {
      same->path = path;
      same->valueNames = std::move(values);
      command = same->command;
    } else {
      command = freeCommand();
      favourites_.push_back(Favourite{name, path, command, std::move(values)});
    }
  }
  if (write) registry::writeStringSetting(name, path, kFavouritesSubkey);
  changed();
  return command;
}

bool FavouritesModel::remove(int command) {
  std::string name;
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(favourites_.begin(), favourites_.end(),
                              [command](const Favourite& f) { return f.command == command; });
    if (found == favourites_.end()) {
      messageBox("Favourite Cannot be Removed at this Time", "Non-Serious Error Removing Favourite");
      return false;
    }
    name = found->name;
    favourites_.erase(found);
  }
  registry::deleteSetting(name, kFavouritesSubkey);
  changed();
  return true;
}

void FavouritesModel::clear() {
  std::vector<Favourite> gone;
  {
    std::lock_guard lock(mutex_);
    gone.swap(favourites_);
  }
  for (const auto& favourite : gone) registry::deleteSetting(favourite.name, kFavouritesSubkey);
  changed();
}

std::optional<frame::OpenPathRequest> FavouritesModel::goTo(int command, std::optional<std::string> valueName) const {
  std::lock_guard lock(mutex_);
  auto found = std::find_if(favourites_.begin(), favourites_.end(),
                            [command](const Favourite& f) { return f.command == command; });
  if (found == favourites_.end()) {
    messageBox("Unable to Goto Favourite, cannot access Menu Data", "Sorry");
    return std::nullopt;
  }
  return frame::OpenPathRequest{found->path, std::move(valueName), false};
}

std::optional<int> FavouritesModel::commandNamed(std::string_view name) const {
  std::lock_guard lock(mutex_);
  for (const auto& f : favourites_)
    if (sameName(f.name, name)) return f.command;
  return std::nullopt;
}

std::vector<Favourite> FavouritesModel::favourites() const {
  std::lock_guard lock(mutex_);
  return favourites_;
}

std::size_t FavouritesModel::size() const {
  std::lock_guard lock(mutex_);
  return favourites_.size();
}

std::vector<MenuEntry> FavouritesModel::menu() const {
  std::vector<MenuEntry> entries{
      {MenuEntry::Kind::Command, kAddCommand, "&Add            Ctrl-A", true, {}},
      {MenuEntry::Kind::Command, kOrganiseCommand, "&Organise    Ctrl-O", true, {}},
      {MenuEntry::Kind::Separator, 0, "", true, {}},
  };
  std::lock_guard lock(mutex_);
  if (favourites_.empty()) entries.push_back({MenuEntry::Kind::Command, kFirstFavouriteCommand, "<Empty>", false, {}});
  for (const auto& f : favourites_)
    entries.push_back({MenuEntry::Kind::Favourite, f.command, shownName(f.name), true, f.valueNames});
  return entries;
}

bool FavouritesModel::saveTo(const std::filesystem::path& file) const {
  const std::vector<Favourite> all = favourites();
  scripts::ScriptFileOutcome outcome = scripts::writeScriptFile(file, true, [&](scripts::ScriptWriter& writer) {
    for (const auto& favourite : all)
      if (!writer.writeFavouriteKeyLine(favourite.path, favourite.name)) return false;
    return true;
  });
  return outcome.written;
}

bool FavouritesModel::loadFrom(const std::filesystem::path& file) {
  FavouriteLines lines;
  scripts::ReadResult result = scripts::readScriptFile(file, lines);
  for (auto& [name, path] : lines.found)
    if (!add(name, path)) break;
  return result.completed();
}

void FavouritesModel::setListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void FavouritesModel::changed() {
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

}  // namespace talmoor::favourites

#pragma once
// The 'Search Options' dialog without its window: opening takes a working
// copy of the process-wide options, the dialog's controls edit it, and
// closing stores what the dialog changed. A window binds its check boxes and
// trees to the accessors and setters below; nothing here needs a GUI.

#include <string>
#include <string_view>

#include "base/interaction.h"
#include "search/options/option_tree.h"
#include "search/options/options_texts.h"
#include "search/search_options.h"

namespace talmoor::search {

class SearchOptionsModel {
 public:
  // Opens the dialog on the current options and error-box switch.
  // `commandLine` is what Alt+Shift+C shows: the program's command line.
  explicit SearchOptionsModel(std::string commandLine = {});
  // The trees' bindings point into this object.
  SearchOptionsModel(const SearchOptionsModel&) = delete;
  SearchOptionsModel& operator=(const SearchOptionsModel&) = delete;

  // 'Key(s)', 'Value(s)', '     Data' and 'Always match on value name'.
  bool keys() const { return keys_; }
  bool values() const { return values_; }
  bool data() const { return data_; }
  bool alwaysMatch() const { return alwaysMatch_; }
  void setKeys(bool ticked) { keys_ = ticked; }
  void setValues(bool ticked) { values_ = ticked; }
  void setData(bool ticked) { data_ = ticked; }
  void setAlwaysMatch(bool ticked) { alwaysMatch_ = ticked; }

  // 'Search all registry data types'; setting it is the box being clicked.
  bool searchAllTypes() const { return searchAllTypes_; }
  void setSearchAllTypes(bool ticked);

  // 'Display the following confirmation dialogs'; setting it is the click.
  bool displayConfirmations() const { return displayConfirmations_; }
  void setDisplayConfirmations(bool ticked);

  const OptionTree& tree(OptionsTree which) const;
  // Ticks or unticks an item as the user does; false (nothing changes) for
  // an item of a disabled tree, a group node or a path that names nothing.
  bool setItemTicked(OptionsTree which, const ItemPath& path, bool ticked);
  bool toggleItem(OptionsTree which, const ItemPath& path);

  // The '&Modify/View Naming Rules' button is part of the resource but kept hidden.
  bool namingRulesButtonVisible() const { return false; }

  // Alt+Shift+C: the program's command line in a box titled "Command Line".
  // Only while open and only one box at a time; false when none was shown.
  bool showCommandLine(WindowRef owner = 0);

  // The dialog's close command: the type mask, the miscellaneous switches,
  // the confirmation template and the search flags take the controls'
  // state, and the options are stored. Only the first call does anything.
  void close();
  bool isOpen() const { return open_; }

  // The working copy, as the controls have changed it so far.
  const SearchOptions& working() const { return working_; }
  bool workingErrorBoxesSuppressed() const { return errorBoxesSuppressed_ != 0; }

 private:
  OptionTree& treeRef(OptionsTree which);
  void fillTypes();
  void fillMiscellaneous();
  void fillConfirmations(OptionTree& tree, int kind, std::string_view kindName);
  DWORD tickedTypeBits() const;
  void applyConfirmationTrees();
  void store() const;

  SearchOptions working_;
  BYTE errorBoxesSuppressed_ = 0;
  bool keys_ = false, values_ = false, data_ = false, alwaysMatch_ = false;
  bool searchAllTypes_ = false;
  bool displayConfirmations_ = false;
  OptionTree types_, miscellaneous_, keyConfirmations_, valueConfirmations_;

  std::string commandLine_;
  bool showingCommandLine_ = false;
  bool open_ = true;
  // What the dialog wrote, so that closing leaves the rest as it finds it.
  bool confirmationsClicked_ = false;
  bool templateApplied_ = false;
};

}  // namespace talmoor::search

#pragma once
// The contents of a check-box tree of the options dialog: items with their
// tick state, optional bindings to option variables, and children.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/options/option_binding.h"

namespace talmoor::search {

struct OptionTreeItem {
  std::string text;
  std::string tooltip;
  bool checkable = true;  // group nodes carry no check box
  bool ticked = false;
  std::optional<OptionBinding> binding;
  std::vector<OptionTreeItem> children;
};

// Indexes from the top level down: {2} is the third top item, {0, 1} the
// second child of the first.
using ItemPath = std::vector<std::size_t>;

struct OptionTree {
  std::vector<OptionTreeItem> items;
  std::string tooltip;
  bool enabled = true;

  // The top-level group node with that text, added when there is none yet.
  OptionTreeItem& group(std::string_view text);
  // A bound item, ticked from its variable.
  static OptionTreeItem boundItem(std::string_view text, OptionBinding binding, std::string_view tooltip = {});

  OptionTreeItem* find(const ItemPath& path);
  const OptionTreeItem* find(const ItemPath& path) const;

  // Every bound item, children included, writes its state to its variable.
  void apply() const;
  // Every bound item takes its state from its variable.
  void tickFromBindings();
  void untickAll();
};

}  // namespace talmoor::search

#include "search/options/option_tree.h"

#include <algorithm>
#include <utility>

namespace talmoor::search {

namespace {

template <typename Items, typename Visit>
void visitAll(Items& items, const Visit& visit) {
  for (auto& item : items) {
    visit(item);
    visitAll(item.children, visit);
  }
}

}  // namespace

OptionTreeItem& OptionTree::group(std::string_view text) {
  auto found = std::ranges::find(items, text, &OptionTreeItem::text);
  if (found != items.end()) return *found;
  OptionTreeItem& added = items.emplace_back();
  added.text = text;
  added.checkable = false;
  return added;
}

OptionTreeItem OptionTree::boundItem(std::string_view text, OptionBinding binding, std::string_view tooltip) {
  OptionTreeItem item;
  item.text = text;
  item.tooltip = tooltip;
  item.ticked = binding.ticked();
  item.binding = binding;
  return item;
}

const OptionTreeItem* OptionTree::find(const ItemPath& path) const {
  const std::vector<OptionTreeItem>* level = &items;
  const OptionTreeItem* item = nullptr;
  for (std::size_t index : path) {
    if (index >= level->size()) return nullptr;
    item = &(*level)[index];
    level = &item->children;
  }
  return item;
}

OptionTreeItem* OptionTree::find(const ItemPath& path) {
  return const_cast<OptionTreeItem*>(std::as_const(*this).find(path));
}

void OptionTree::apply() const {
  visitAll(items, [](const OptionTreeItem& item) {
    if (item.binding) item.binding->apply(item.ticked);
  });
}

void OptionTree::tickFromBindings() {
  visitAll(items, [](OptionTreeItem& item) {
    if (item.binding) item.ticked = item.binding->ticked();
  });
}

void OptionTree::untickAll() {
  visitAll(items, [](OptionTreeItem& item) { item.ticked = false; });
}

}  // namespace talmoor::search

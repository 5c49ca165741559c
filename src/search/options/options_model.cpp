#include "search/options/options_model.h"

#include <utility>

#include "base/error_reporting.h"
#include "registry/root_keys.h"

namespace talmoor::search {

namespace text = options_text;

namespace {

// Types 0..10 by name, then every type above them.
constexpr std::size_t kTypeItems = kHighestNamedType + 2;

// A one-byte flag as the options hold it, bound to a one-byte check item.
BYTE asByte(bool on) { return on ? 1 : 0; }

}  // namespace

SearchOptionsModel::SearchOptionsModel(std::string commandLine)
    : working_(currentSearchOptions()),
      errorBoxesSuppressed_(asByte(errorBoxesSuppressed())),
      commandLine_(std::move(commandLine)) {
  fillTypes();

  keys_ = (working_.searchFlags & kSearchKeyNames) != 0;
  values_ = (working_.searchFlags & kSearchValueNames) != 0;
  data_ = (working_.searchFlags & kSearchValueData) != 0;
  alwaysMatch_ = working_.alwaysMatchOnName != 0;
  displayConfirmations_ = working_.confirmationsOff == 0;
  searchAllTypes_ = (working_.typeMask & kTypeBitAll) != 0;

  fillMiscellaneous();
  fillConfirmations(keyConfirmations_, kChangeKey, "Key");
  fillConfirmations(valueConfirmations_, kChangeValue, "Value");
}

void SearchOptionsModel::fillTypes() {
  types_.tooltip = std::string(text::kTypesTip);
  const bool all = (working_.typeMask & kTypeBitAll) != 0;
  types_.enabled = !all;
  for (std::size_t index = 0; index < kTypeItems; ++index) {
    const DWORD bit = DWORD{1} << index;
    OptionTreeItem& item = types_.items.emplace_back();
    item.text =
        index <= kHighestNamedType ? registry::typeName(static_cast<int>(index)) : std::string(text::kAllCustomTypes);
    item.ticked = all || (working_.typeMask & bit) != 0;
  }
}

void SearchOptionsModel::fillMiscellaneous() {
  auto add = [this](std::string_view group, std::string_view item, OptionBinding binding, std::string_view tip) {
    miscellaneous_.group(group).children.push_back(OptionTree::boundItem(item, binding, tip));
  };
  add(text::kRecommended, text::kPauseOnError, OptionBinding(errorBoxesSuppressed_, 1, true), text::kPauseOnErrorTip);
  add(text::kAntiVirus, text::kEnable, OptionBinding(working_.tamperCheck, 1), text::kAntiVirusTip);
  add(text::kConversion, text::kEnable, OptionBinding(working_.intelligentConversion, 1), text::kConversionTip);
}

void SearchOptionsModel::fillConfirmations(OptionTree& tree, int kind, std::string_view kindName) {
  tree.tooltip = text::confirmationTreeTip(kindName);
  tree.enabled = displayConfirmations_;
  for (const OperationName& operation : kOperationNames) {
    if (*operation.displayName == '\0') continue;
    // Ticked means "confirm", so the item shows the suppressed flag inverted.
    DWORD& suppressed = working_.confirmationTemplate[kind][operation.value].suppressed;
    tree.items.push_back(OptionTree::boundItem(operation.displayName, OptionBinding(suppressed, 1, true)));
  }
}

const OptionTree& SearchOptionsModel::tree(OptionsTree which) const {
  switch (which) {
    case OptionsTree::Types:
      return types_;
    case OptionsTree::Miscellaneous:
      return miscellaneous_;
    case OptionsTree::KeyConfirmations:
      return keyConfirmations_;
    case OptionsTree::ValueConfirmations:
      break;
  }
  return valueConfirmations_;
}

OptionTree& SearchOptionsModel::treeRef(OptionsTree which) {
  return const_cast<OptionTree&>(std::as_const(*this).tree(which));
}

bool SearchOptionsModel::setItemTicked(OptionsTree which, const ItemPath& path, bool ticked) {
  OptionTree& target = treeRef(which);
  OptionTreeItem* item = target.find(path);
  if (!open_ || !target.enabled || !item || !item->checkable) return false;
  item->ticked = ticked;
  return true;
}

bool SearchOptionsModel::toggleItem(OptionsTree which, const ItemPath& path) {
  const OptionTreeItem* item = tree(which).find(path);
  return item && setItemTicked(which, path, !item->ticked);
}

DWORD SearchOptionsModel::tickedTypeBits() const {
  DWORD bits = 0;
  for (std::size_t index = 0; index < types_.items.size(); ++index)
    if (types_.items[index].ticked) bits |= DWORD{1} << index;
  return bits;
}

void SearchOptionsModel::setSearchAllTypes(bool ticked) {
  if (!open_ || ticked == searchAllTypes_) return;
  searchAllTypes_ = ticked;
  // The ticks made so far go into the mask first, or unticking the box
  // again would bring back the ticks from before the edits.
  if (ticked) working_.typeMask = tickedTypeBits();
  types_.enabled = !ticked;
  for (std::size_t index = 0; index < types_.items.size(); ++index)
    types_.items[index].ticked = ticked || (working_.typeMask & (DWORD{1} << index)) != 0;
  if (ticked)
    working_.typeMask |= kTypeBitAll;
  else
    working_.typeMask &= ~kTypeBitAll;
}

void SearchOptionsModel::applyConfirmationTrees() {
  keyConfirmations_.apply();
  valueConfirmations_.apply();
  templateApplied_ = true;
}

void SearchOptionsModel::setDisplayConfirmations(bool ticked) {
  if (!open_ || ticked == displayConfirmations_) return;
  displayConfirmations_ = ticked;
  confirmationsClicked_ = true;
  if (working_.confirmationsOff == 0) applyConfirmationTrees();  // keep the edits made while on
  working_.confirmationsOff = asByte(!ticked);
  for (OptionTree* confirmations : {&keyConfirmations_, &valueConfirmations_}) {
    confirmations->enabled = ticked;
    if (ticked)
      confirmations->tickFromBindings();
    else
      confirmations->untickAll();
  }
}

bool SearchOptionsModel::showCommandLine(WindowRef owner) {
  if (!open_ || showingCommandLine_) return false;
  showingCommandLine_ = true;
  struct Showing {
    bool& flag;
    ~Showing() { flag = false; }
  } showing{showingCommandLine_};
  messageBox(commandLine_, text::kCommandLineTitle, BoxButtons::Ok, BoxIcon::NoIcon, owner);
  return true;
}

void SearchOptionsModel::close() {
  if (!open_) return;
  if (!searchAllTypes_) working_.typeMask = tickedTypeBits();
  miscellaneous_.apply();
  if (working_.confirmationsOff == 0) applyConfirmationTrees();
  working_.alwaysMatchOnName = asByte(alwaysMatch_);
  working_.searchFlags =
      (keys_ ? kSearchKeyNames : 0) | (values_ ? kSearchValueNames : 0) | (data_ ? kSearchValueData : 0);
  open_ = false;
  store();
}

void SearchOptionsModel::store() const {
  // Start from the options as they are now: a running search may have
  // switched confirmations back on while the dialog was open, and only a
  // click on the box should overrule that.
  SearchOptions stored = currentSearchOptions();
  stored.searchFlags = working_.searchFlags;
  stored.typeMask = working_.typeMask;
  stored.alwaysMatchOnName = working_.alwaysMatchOnName;
  stored.tamperCheck = working_.tamperCheck;
  stored.intelligentConversion = working_.intelligentConversion;
  if (confirmationsClicked_) stored.confirmationsOff = working_.confirmationsOff;
  if (templateApplied_) stored.confirmationTemplate = working_.confirmationTemplate;
  storeSearchOptions(stored);
  setErrorBoxesSuppressed(errorBoxesSuppressed_ != 0);
}

}  // namespace talmoor::search

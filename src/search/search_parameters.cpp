#include "search/search_parameters.h"

#include "registry/settings_key.h"

#include <algorithm>
#include <charconv>

#include "base/interaction.h"
#include "platform/registry/registry_constants.h"
#include "platform/win32_errors.h"
#include "platform/registry/registry_profile.h"
#include "platform/text/code_page.h"
#include "registry/access/registry_access.h"
#include "registry/root_keys.h"
#include "base/masks/builtin_masks.h"
#include "search/replace/search_actions.h"

namespace talmoor::search {

using namespace talmoor::masks;

const char* const kModeHelpText =
    "Select Search Mode:\n\nFind\t:\tFind a basic string.\nModify\t:\tFind and replace a basic string.\nVerify\t:\tScan "
    "the registry from the selected start point searching for\n\t\tand verifying and if nessesary rebuilding file "
    "references.\nSelect\t:\tSelect search results matching the requested string.\nChange\t:\tPerform replace "
    "operation on search results.\nRemove\t:\tRemove all the search results matching \nReduce\t:\tRemove all the "
    "items not containing the specified basic string.\nDelete\t:\tDelete the items listed in the search results from "
    "the registry.";

namespace {

// A text as the search compares it: ANSI bytes, or UTF-16LE with "&Uni-Code".
std::string searchBytes(std::string text, bool unicode) {
  if (text.size() > kMaxSearchTextLength) text.resize(kMaxSearchTextLength);
  if (!unicode) return text;
  auto wide = platform::bytesFromUtf16(platform::ansiToWide(text));
  return std::string(wide.begin(), wide.end());
}

std::optional<DWORD> decimal(std::string text) {
  if (text.size() > kMaxSizeTextLength) text.resize(kMaxSizeTextLength);
  DWORD value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return std::nullopt;
  (void)end;
  return value;
}

}  // namespace

ControlLayout layoutForMode(int mode, bool rangeFirst) {
  ControlLayout layout;
  layout.sizeBoxes = mode == kModeFind || mode == kModeModify || mode == kModeVerify || mode == kModeChange;
  layout.rangeList = layout.sizeBoxes || mode == kModeSelect;
  layout.countBox = layout.rangeList && rangeFirst;
  layout.findBox = mode == kModeFind || mode == kModeSelect || mode == kModeRemove || mode == kModeReduce ||
                   mode == kModeModify || mode == kModeChange;
  layout.replaceBox = mode == kModeModify || mode == kModeChange;
  layout.verificationRules = mode == kModeVerify;
  return layout;
}

void TextHistory::add(const std::string& text) {
  if (text.empty() || std::find(entries_.begin(), entries_.end(), text) != entries_.end()) return;
  if (entries_.size() > kKeptBeforeAdding) entries_.erase(entries_.begin());
  entries_.push_back(text);
}

void TextHistory::load() {
  entries_.clear();
  registry::ScopedKey key(registry::openKeyByPath(registry::kSettingsKeyPath, registry::kReadKeyAccess,
                                                  registry::ReportTo([](const ErrorReport&) { return true; })));
  if (!key.get()) return;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (registry::queryValue(key.get(), settingName_, type, data, registry::ReportTo([](const ErrorReport&) { return true; })) !=
          ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return;
  std::string current;
  for (BYTE b : data) {
    if (b) {
      current.push_back(static_cast<char>(b));
    } else if (!current.empty()) {
      entries_.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) entries_.push_back(std::move(current));
}

bool TextHistory::save() const {
  std::vector<BYTE> data;
  for (const auto& entry : entries_) {
    data.insert(data.end(), entry.begin(), entry.end());
    data.push_back(0);
  }
  data.push_back(0);
  std::string name = settingName_;
  // The program's own settings are not the user's registry: no confirmation.
  return registry::setValue("", 0, registry::kSettingsKeyPath, name, data, REG_MULTI_SZ, registry::ReportTo(defaultErrorHandler),
                            nullptr);
}

void readParameters(const SearchParameters& parameters, SearchContext& context, SearchHistories* histories) {
  if (context.kind != JobKind::Search) return;
  // The Mode list's selection; any other number stays as it is, for the
  // search to refuse.
  context.criteria.mode = static_cast<SearchMode>(parameters.mode);
  // Read again on Resume: a Modify whose find text lost its mask prefix
  // replaces again.
  context.action = context.criteria.mode == kModeModify ? SearchAction(modifyAction) : nullptr;
  ControlLayout layout = layoutForMode(parameters.mode, parameters.rangeFirst);
  const int mode = parameters.mode;
  if (mode == kModeModify || mode == kModeChange) {
    if (histories) histories->replace.add(parameters.replaceText);
    context.criteria.replaceText = searchBytes(parameters.replaceText, parameters.unicode);
    context.criteria.hasReplaceText = true;
  }
  if (mode == kModeFind || mode == kModeModify || mode == kModeSelect || mode == kModeChange || mode == kModeRemove ||
      mode == kModeReduce) {
    if (histories) histories->find.add(parameters.findText);
    context.criteria.findText = searchBytes(parameters.findText, parameters.unicode);
    context.criteria.findIsMask = false;
    context.matcher = searchMatcher;
    if (parameters.findText.rfind(kMaskPrefix, 0) == 0 &&
        messageBox("Interperate Search String as mask?", "Interperate as mask?", BoxButtons::YesNo,
                   BoxIcon::Question) == IDYES) {
      // The mask stays in the ANSI code page; the engine wants its terminator.
      context.criteria.findText = parameters.findText.substr(3);
      context.criteria.findText.push_back('\0');
      context.criteria.findIsMask = true;
      context.criteria.replaceText.clear();
      context.criteria.hasReplaceText = false;
      context.matcher = nullptr;
      context.action = maskAction;
    }
  }
  if (mode == kModeVerify) {
    context.criteria.findText = std::string(filePathMask());
    context.criteria.findIsMask = true;
    context.criteria.replaceText.clear();
    context.criteria.hasReplaceText = false;
    // The verification action is installed by the file-reference checks;
    // without it, Verify lists the references it finds.
    if (verificationActionFactory()) {
      context.matcher = nullptr;
      context.action = verificationActionFactory()(context);
    } else {
      context.matcher = fileReferenceMatcher;
      context.action = nullptr;
    }
  }
  context.criteria.rangeLimit = 0;
  if (layout.rangeList && parameters.rangeFirst)
    context.criteria.rangeLimit = decimal(parameters.countText).value_or(0);
  context.criteria.minimumSize = context.criteria.maximumSize = 0;
  if (layout.sizeBoxes && !parameters.minimumText.empty())
    context.criteria.minimumSize = decimal(parameters.minimumText).value_or(0);
  if (layout.sizeBoxes && !parameters.maximumText.empty())
    context.criteria.maximumSize = decimal(parameters.maximumText).value_or(0);
}

}  // namespace talmoor::search

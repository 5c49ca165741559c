#include "hexedit/hex_editor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>

#include "base/debug_log.h"
#include "base/interaction.h"
#include "platform/text/code_page.h"

namespace talmoor::hexedit {

namespace {

constexpr std::array<RadixInfo, 4> kRadixes{{
    {"Binary", 2, 8, 9},
    {"Octal", 8, 3, 4},
    {"Decimal", 10, 3, 4},
    {"Hexidecimal", 16, 2, 3},
}};

// The sunken frame and a pixel of air inside each pane.
constexpr int kInset = 2;

constexpr std::string_view kShrinkWarning =
    "WARNING : This delete action will not complete because the type of memory is invalid or unrecognised.";

int hexDigits(std::size_t value) {
  int digits = 1;
  while (value >>= 4) ++digits;
  return digits;
}

bool ask(std::string_view text, std::string_view title) {
  return messageBox(text, title, BoxButtons::YesNo, BoxIcon::Question) == IDYES;
}

void tell(std::string_view text, std::string_view title, BoxIcon icon = BoxIcon::Exclamation) {
  messageBox(text, title, BoxButtons::Ok, icon);
}

std::string alterQuestion(std::string_view action, bool larger) {
  std::string text = "Region to ";
  text += action;
  text += " is ";
  text += larger ? "larger" : "smaller";
  text += " that the amount of space in the selected region. Alter the selected region to match (Yes) or ";
  text += action;
  text += " up to the size of the selection (No)?";
  return text;
}

}  // namespace

const RadixInfo& radixInfo(Radix radix) { return kRadixes[static_cast<std::size_t>(radix)]; }

std::string formatByte(BYTE value, Radix radix) {
  char text[16];
  switch (radix) {
    case Radix::Binary:
      for (int bit = 0; bit < 8; ++bit) text[bit] = (value & (0x80 >> bit)) ? '1' : '0';
      text[8] = 0;
      break;
    case Radix::Octal: std::snprintf(text, sizeof text, "%03o", value); break;
    case Radix::Decimal: std::snprintf(text, sizeof text, "%03u", value); break;
    case Radix::Hexadecimal: std::snprintf(text, sizeof text, "%02X", value); break;
  }
  return text;
}

int digitValue(char character, Radix radix) {
  int value = -1;
  if (character >= '0' && character <= '9') value = character - '0';
  else if (character >= 'a' && character <= 'f') value = character - 'a' + 10;
  else if (character >= 'A' && character <= 'F') value = character - 'A' + 10;
  return value < radixInfo(radix).base ? value : -1;
}

std::optional<BYTE> withDigit(BYTE value, Radix radix, int digit, int newDigit) {
  const auto& info = radixInfo(radix);
  if (digit < 0 || digit >= info.digitsPerByte || newDigit < 0 || newDigit >= info.base) return std::nullopt;
  // Digits are numbered from the most significant, as they are drawn.
  unsigned weight = 1;
  for (int i = info.digitsPerByte - 1; i > digit; --i) weight *= static_cast<unsigned>(info.base);
  unsigned old = (value / weight) % static_cast<unsigned>(info.base);
  unsigned result = value - old * weight + static_cast<unsigned>(newDigit) * weight;
  if (result > 255) return std::nullopt;
  return static_cast<BYTE>(result);
}

std::vector<BYTE> ClipboardData::payload() const {
  if (bytes) return *bytes;
  return {text.begin(), text.end()};
}

HexEditor::HexEditor() { relayout(); }

// --- the host's interface ---

void HexEditor::resetForNewData() {
  search_.clear();
  caretPlaced_ = false;
  caret_ = Position{};
  anchor_ = 0;
  first_ = 0;
  relayout();
  notifyData();
}

bool HexEditor::showInPlace(BYTE* data, std::size_t length) {
  if (!data) {
    clear();
    if (length == 0) return true;
    tell(kBadPointer, "Set Data", BoxIcon::Stop);
    return false;
  }
  showInPlace(std::span<BYTE>(data, length));
  return true;
}

void HexEditor::showInPlace(std::span<BYTE> bytes) {
  data_.showInPlace(bytes);
  resetForNewData();
}

void HexEditor::editReference(std::vector<BYTE>& bytes) {
  data_.editReference(bytes);
  resetForNewData();
}

void HexEditor::editShared(std::shared_ptr<std::vector<BYTE>> bytes) {
  data_.editShared(std::move(bytes));
  resetForNewData();
}

bool HexEditor::copyIn(const BYTE* data, std::size_t length) {
  if (!data && length > 0) {
    clear();
    tell(kBadPointer, "Set Data (Copy)", BoxIcon::Stop);
    return false;
  }
  try {
    data_.copyIn(std::span<const BYTE>(data, data ? length : 0));
  } catch (const std::bad_alloc&) {
    data_.clear();
    resetForNewData();
    tell("Fail", "Fail", BoxIcon::Stop);
    return false;
  }
  resetForNewData();
  return true;
}

void HexEditor::clear() {
  data_.clear();
  resetForNewData();
}

std::size_t HexEditor::copyOut(BYTE* buffer, std::size_t size) const {
  if (!buffer) {
    if (size > 0) tell(kBadPointer, "Get Data (Copy)", BoxIcon::Stop);
    return data_.size();
  }
  auto bytes = data_.bytes();
  std::size_t count = std::min(size, bytes.size());
  std::copy_n(bytes.begin(), count, buffer);
  std::fill(buffer + count, buffer + size, BYTE{0});
  return bytes.size();
}

void HexEditor::redraw() {
  const std::size_t size = data_.size();
  caret_.offset = std::min(caret_.offset, size);
  if (caret_.offset == size) caret_.digit = 0;
  anchor_ = std::min(anchor_, size);
  first_ = std::min(first_, size);
  relayout();
  notifyView();
}

void HexEditor::setMemoryKind(MemoryKind kind) {
  data_.setKind(kind);
  notifyView();
}

void HexEditor::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  notifyView();
}

void HexEditor::notifyData() {
  // The offsets may need another digit.
  if (std::max(3, hexDigits(data_.size())) != layout_.indexDigits) relayout();
  if (dataChanged_) dataChanged_();
  notifyView();
}

void HexEditor::notifyView() {
  if (viewChanged_) viewChanged_();
}

// --- view ---

void HexEditor::setRadix(Radix radix) {
  radix_ = radix;
  caret_.digit = 0;
  relayout();
  ensureVisible(caret_.offset);
  notifyView();
}

void HexEditor::setColour(bool colour) {
  colour_ = colour;
  notifyView();
}

void HexEditor::setGeometry(const FontMetrics& metrics, int width, int height) {
  metrics_ = metrics;
  width_ = width;
  height_ = height;
  relayout();
  notifyView();
}

void HexEditor::relayout() {
  const auto& info = radixInfo(radix_);
  Layout l;
  l.lineHeight = std::max(1, metrics_.height + 1);
  // A number cell holds its digits and the separator that the radix table
  // counts; without it the bytes of a row run together into one long number.
  l.numberCellWidth = info.charsPerCell * metrics_.digitWidth + 1;
  l.textCellWidth = (info.charsPerCell - info.digitsPerByte) * metrics_.charWidth + 1;
  // Three digits as a start, more when the data is longer: an offset cut
  // short would name the wrong byte.
  l.indexDigits = std::max(3, hexDigits(data_.size()));
  const int indexWidth = l.indexDigits * metrics_.digitWidth + 3 + 2 * kInset;
  const int paneArea = width_ - indexWidth;
  l.bytesPerRow = std::max(1, (paneArea - 5 - 4 * kInset) / (l.numberCellWidth + l.textCellWidth));
  l.visibleRows = std::max(1, (height_ - 2 * kInset) / l.lineHeight);
  l.index = {0, 0, indexWidth, height_};
  l.number = {indexWidth, 0, l.bytesPerRow * l.numberCellWidth + 2 * kInset, height_};
  l.text = {l.number.x + l.number.width + 5, 0, l.bytesPerRow * l.textCellWidth + 2 * kInset, height_};
  layout_ = l;
}

void HexEditor::scrollTo(std::size_t offset) {
  first_ = std::min(offset, data_.size());
  notifyView();
}

void HexEditor::scrollBy(long long bytes) {
  long long target = static_cast<long long>(first_) + bytes;
  if (target < 0) target = 0;
  // Scrolling stops with the last row of data still shown.
  long long last = static_cast<long long>(data_.size()) - static_cast<long long>(data_.size() % layout_.bytesPerRow);
  if (bytes > 0 && target > last) target = std::max(last, static_cast<long long>(first_));
  scrollTo(static_cast<std::size_t>(target));
}

std::size_t HexEditor::rowCount() const {
  return data_.size() / static_cast<std::size_t>(layout_.bytesPerRow) + 1;
}

std::size_t HexEditor::firstRow() const { return first_ / static_cast<std::size_t>(layout_.bytesPerRow); }

void HexEditor::scrollToRow(std::size_t row) { scrollTo(row * static_cast<std::size_t>(layout_.bytesPerRow)); }

std::optional<Position> HexEditor::positionAt(int x, int y) const {
  if (!data_.isSet()) return std::nullopt;
  const Layout& l = layout_;
  auto rowOf = [&](const PaneRect& pane) { return std::max(0, (y - pane.y - kInset) / l.lineHeight); };
  auto clampOffset = [&](std::size_t offset) { return std::min(offset, data_.size()); };
  const std::size_t bytesPerRow = static_cast<std::size_t>(l.bytesPerRow);
  if (l.index.contains(x, y)) {
    return Position{Pane::Index, clampOffset(first_ + static_cast<std::size_t>(rowOf(l.index)) * bytesPerRow), 0};
  }
  for (Pane pane : {Pane::Number, Pane::Text}) {
    const PaneRect& rect = pane == Pane::Number ? l.number : l.text;
    if (!rect.contains(x, y)) continue;
    const int cellWidth = pane == Pane::Number ? l.numberCellWidth : l.textCellWidth;
    const int inside = std::max(0, x - rect.x - kInset);
    const int column = std::min(l.bytesPerRow - 1, inside / cellWidth);
    int digit = 0;
    if (pane == Pane::Number) {
      digit = std::min(radixInfo(radix_).digitsPerByte - 1, (inside % cellWidth) / std::max(1, metrics_.digitWidth));
    }
    std::size_t offset = first_ + static_cast<std::size_t>(rowOf(rect)) * bytesPerRow + static_cast<std::size_t>(column);
    if (offset >= data_.size()) {
      offset = data_.size();
      digit = 0;
    }
    return Position{pane, offset, digit};
  }
  return std::nullopt;
}

std::optional<PaneRect> HexEditor::cellRect(Pane pane, std::size_t offset) const {
  if (offset < first_ || offset >= first_ + layout_.bytesPerPage() + layout_.bytesPerRow) return std::nullopt;
  const std::size_t relative = offset - first_;
  const int row = static_cast<int>(relative / static_cast<std::size_t>(layout_.bytesPerRow));
  const int column = static_cast<int>(relative % static_cast<std::size_t>(layout_.bytesPerRow));
  const PaneRect& rect = pane == Pane::Text ? layout_.text : pane == Pane::Number ? layout_.number : layout_.index;
  const int cellWidth = pane == Pane::Text ? layout_.textCellWidth : layout_.numberCellWidth;
  if (pane == Pane::Index) return PaneRect{rect.x + kInset, rect.y + kInset + row * layout_.lineHeight, rect.width, layout_.lineHeight};
  return PaneRect{rect.x + kInset + column * cellWidth, rect.y + kInset + row * layout_.lineHeight, cellWidth,
                  layout_.lineHeight};
}

void HexEditor::ensureVisible(std::size_t offset) {
  const std::size_t bytesPerRow = static_cast<std::size_t>(layout_.bytesPerRow);
  const std::size_t page = layout_.bytesPerPage();
  if (offset < first_) {
    std::size_t rows = (first_ - offset + bytesPerRow - 1) / bytesPerRow;
    first_ = rows * bytesPerRow > first_ ? 0 : first_ - rows * bytesPerRow;
  } else if (offset >= first_ + page) {
    std::size_t rows = (offset - (first_ + page)) / bytesPerRow + 1;
    first_ += rows * bytesPerRow;
  }
}

// --- caret and selection ---

void HexEditor::placeCaret(Position position, bool extendSelection) {
  if (!data_.isSet()) return;
  if (position.pane == Pane::Index) position.pane = caret_.pane == Pane::Index ? Pane::Number : caret_.pane;
  position.offset = std::min(position.offset, data_.size());
  position.digit = std::clamp(position.digit, 0, radixInfo(radix_).digitsPerByte - 1);
  if (position.offset == data_.size() || position.pane == Pane::Text) position.digit = 0;
  if (!extendSelection || !caretPlaced_) anchor_ = position.offset;
  caret_ = position;
  caretPlaced_ = true;
  ensureVisible(caret_.offset);
  notifyView();
}

void HexEditor::removeCaret() {
  caretPlaced_ = false;
  notifyView();
}

std::pair<std::size_t, std::size_t> HexEditor::selection() const {
  if (!caretPlaced_) return {0, 0};
  return {std::min(anchor_, caret_.offset), std::max(anchor_, caret_.offset)};
}

bool HexEditor::hasSelection() const {
  auto [begin, end] = selection();
  return begin != end;
}

bool HexEditor::isSelected(std::size_t offset) const {
  auto [begin, end] = selection();
  return offset >= begin && offset < end;
}

void HexEditor::select(std::size_t begin, std::size_t end) {
  if (!data_.isSet()) return;
  begin = std::min(begin, data_.size());
  end = std::min(end, data_.size());
  caretPlaced_ = true;
  anchor_ = begin;
  caret_.offset = end;
  caret_.digit = 0;
  if (caret_.pane == Pane::Index) caret_.pane = Pane::Number;
  notifyView();
}

void HexEditor::setInsertMode(bool insert) {
  insert_ = insert;
  notifyView();
}

void HexEditor::focusIn(bool shift) {
  caret_.pane = shift ? Pane::Text : Pane::Number;
  if (data_.isSet() && !caretPlaced_) placeCaret(Position{caret_.pane, std::min(first_, data_.size()), 0});
  notifyView();
}

// --- editing ---

void HexEditor::beep() {
  if (host_) host_->beep();
}

bool HexEditor::canEditOrBeep() {
  if (editable()) return true;
  beep();
  return false;
}

bool HexEditor::askExpand() { return ask(kExpandQuestion, kExpandTitle); }

// Writes over the data from `at`; past the end asks to grow it. Returns
// false when nothing could be written.
bool HexEditor::writeOver(std::size_t at, std::span<const BYTE> bytes) {
  std::size_t size = data_.size();
  at = std::min(at, size);
  if (at + bytes.size() > size) {
    // A buffer that may not grow takes what fits.
    if (data_.resizable() && askExpand()) data_.resize(at + bytes.size());
  }
  std::size_t fits = std::min(bytes.size(), data_.size() - at);
  data_.write(at, bytes.first(fits));
  return fits > 0;
}

void HexEditor::type(std::string_view text) {
  if (!data_.isSet() || text.empty()) return;
  if (!canEditOrBeep()) return;
  if (!caretPlaced_) {
    placeCaret(Position{caret_.pane == Pane::Text ? Pane::Text : Pane::Number, 0, 0});
    return;
  }
  if (caret_.pane == Pane::Index) caret_.pane = Pane::Number;
  bool changed = false;
  if (caret_.pane == Pane::Text) {
    std::span<const BYTE> bytes(reinterpret_cast<const BYTE*>(text.data()), text.size());
    if (insert_) {
      if (data_.insert(caret_.offset, bytes)) {
        caret_.offset += bytes.size();
        changed = true;
      } else {
        beep();
      }
    } else {
      std::size_t before = data_.size();
      if (writeOver(caret_.offset, bytes)) {
        caret_.offset = std::min(caret_.offset + bytes.size(), data_.size());
        changed = true;
      }
      changed = changed || before != data_.size();
    }
  } else {
    const auto& info = radixInfo(radix_);
    for (char character : text) {
      int value = digitValue(character, radix_);
      if (value < 0) {
        beep();
        continue;
      }
      if (insert_ && caret_.digit == 0) {
        auto byte = withDigit(0, radix_, 0, value);
        if (!byte) {
          beep();
          continue;
        }
        const BYTE inserted = *byte;
        if (!data_.insert(caret_.offset, std::span<const BYTE>(&inserted, 1))) {
          beep();
          break;
        }
      } else {
        if (caret_.offset >= data_.size()) {
          if (!data_.resizable() || !askExpand()) break;
          data_.resize(caret_.offset + 1);
          changed = true;
        }
        auto byte = withDigit(data_.bytes()[caret_.offset], radix_, caret_.digit, value);
        if (!byte) {
          beep();
          continue;
        }
        const BYTE written = *byte;
        data_.write(caret_.offset, std::span<const BYTE>(&written, 1));
      }
      changed = true;
      if (++caret_.digit == info.digitsPerByte) {
        caret_.digit = 0;
        ++caret_.offset;
      }
    }
  }
  anchor_ = caret_.offset;
  ensureVisible(caret_.offset);
  if (changed) notifyData();
  else notifyView();
}

void HexEditor::moveCaret(long long byteDelta, bool shift) {
  long long target = static_cast<long long>(caret_.offset) + byteDelta;
  target = std::clamp<long long>(target, 0, static_cast<long long>(data_.size()));
  placeCaret(Position{caret_.pane, static_cast<std::size_t>(target), 0}, shift);
}

void HexEditor::moveDigit(int delta, bool shift) {
  const int digits = radixInfo(radix_).digitsPerByte;
  long long position = static_cast<long long>(caret_.offset) * digits + caret_.digit + delta;
  position = std::clamp<long long>(position, 0, static_cast<long long>(data_.size()) * digits);
  placeCaret(Position{caret_.pane, static_cast<std::size_t>(position / digits), static_cast<int>(position % digits)},
             shift);
}

KeyOutcome HexEditor::pressKey(Key key, bool shift, bool control) {
  if (key == Key::Tab) {
    if (!shift) {
      if (caret_.pane == Pane::Text) return KeyOutcome::FocusNext;
      caret_.pane = Pane::Text;
    } else {
      if (caret_.pane != Pane::Text) return KeyOutcome::FocusPrevious;
      caret_.pane = Pane::Number;
    }
    caret_.digit = 0;
    notifyView();
    return KeyOutcome::Done;
  }
  if (key == Key::F3) {
    if (shift) tell(kBackwards, "Sorry", BoxIcon::Information);
    else if (search_.empty()) return KeyOutcome::Ignored;  // the window asks for a text
    else findAgain();
    return KeyOutcome::Done;
  }
  if (key == Key::Insert) {
    // Shift+Insert without data says why nothing is pasted.
    if (shift) paste();
    else setInsertMode(!insert_);
    return KeyOutcome::Done;
  }
  if (!data_.isSet()) return KeyOutcome::Ignored;
  const long long row = layout_.bytesPerRow;
  const long long page = static_cast<long long>(layout_.bytesPerPage());
  if (control && !shift) {
    switch (key) {
      case Key::Left: scrollBy(-1); return KeyOutcome::Done;
      case Key::Right: scrollBy(1); return KeyOutcome::Done;
      case Key::Up: scrollBy(-row); return KeyOutcome::Done;
      case Key::Down: scrollBy(row); return KeyOutcome::Done;
      case Key::PageUp: scrollBy(-page); return KeyOutcome::Done;
      case Key::PageDown: scrollBy(page); return KeyOutcome::Done;
      case Key::Home: scrollTo(0); return KeyOutcome::Done;
      case Key::End: {
        std::size_t last = data_.size() / static_cast<std::size_t>(row) * static_cast<std::size_t>(row);
        std::size_t top = last >= static_cast<std::size_t>(page) ? last - static_cast<std::size_t>(page - row) : 0;
        scrollTo(top);
        return KeyOutcome::Done;
      }
      default: break;
    }
  }
  if (!caretPlaced_) {
    placeCaret(Position{caret_.pane == Pane::Index ? Pane::Number : caret_.pane, first_, 0});
    return KeyOutcome::Done;
  }
  switch (key) {
    case Key::Left:
    case Key::Right: {
      const int step = key == Key::Left ? -1 : 1;
      if (caret_.pane == Pane::Number && !shift) moveDigit(step, false);
      else moveCaret(step, shift);
      return KeyOutcome::Done;
    }
    case Key::Up: moveCaret(-row, shift); return KeyOutcome::Done;
    case Key::Down: moveCaret(row, shift); return KeyOutcome::Done;
    case Key::PageUp: moveCaret(-page, shift); return KeyOutcome::Done;
    case Key::PageDown: moveCaret(page, shift); return KeyOutcome::Done;
    case Key::Home: moveCaret(-static_cast<long long>(caret_.offset), shift); return KeyOutcome::Done;
    case Key::End:
      moveCaret(static_cast<long long>(data_.size()) - static_cast<long long>(caret_.offset), shift);
      return KeyOutcome::Done;
    case Key::Delete:
      if (shift) {
        cut();
      } else if (hasSelection()) {
        deleteSelection();
      } else if (canEditOrBeep() && caret_.offset < data_.size()) {
        if (data_.erase(caret_.offset, 1)) notifyData();
        else debugOutput(kShrinkWarning);
      }
      return KeyOutcome::Done;
    case Key::Backspace:
      if (caret_.pane == Pane::Number) {
        moveDigit(-1, false);
      } else if (canEditOrBeep() && caret_.offset > 0) {
        if (insert_) {
          if (data_.erase(caret_.offset - 1, 1)) {
            placeCaret(Position{Pane::Text, caret_.offset - 1, 0});
            notifyData();
          } else {
            debugOutput(kShrinkWarning);
          }
        } else {
          const BYTE space = ' ';
          data_.write(caret_.offset - 1, std::span<const BYTE>(&space, 1));
          placeCaret(Position{Pane::Text, caret_.offset - 1, 0});
          notifyData();
        }
      }
      return KeyOutcome::Done;
    default: return KeyOutcome::Ignored;
  }
}

MenuState HexEditor::menuState(bool clipboardHasText) const {
  MenuState state;
  if (!data_.isSet()) return state;
  state.anyData = true;
  auto [begin, end] = selection();
  const bool selectionInside = caretPlaced_ && end <= data_.size();
  const bool someSelected = selectionInside && begin != end;
  state.cut = editable() && someSelected;
  state.deleteSelection = state.cut;
  state.copy = someSelected;
  state.paste = editable() && caretPlaced_ && selectionInside && clipboardHasText;
  state.compare = state.paste && someSelected;
  state.browse = editable() && caretPlaced_ && selectionInside;
  state.selectAll = data_.size() > 0;
  return state;
}

void HexEditor::runCommand(Command command) {
  switch (command) {
    case Command::Binary: setRadix(Radix::Binary); break;
    case Command::Octal: setRadix(Radix::Octal); break;
    case Command::Decimal: setRadix(Radix::Decimal); break;
    case Command::Hexadecimal: setRadix(Radix::Hexadecimal); break;
    case Command::Colour: setColour(!colour_); break;
    case Command::Cut: cut(); break;
    case Command::Copy: copy(); break;
    case Command::Paste: paste(); break;
    case Command::Compare: compare(); break;
    case Command::Delete: deleteSelection(); break;
    case Command::SelectAll: selectAll(); break;
    case Command::Clear: clearContents(); break;
    default: break;  // fonts, Browse and Undo belong to the window
  }
}

std::optional<ClipboardData> HexEditor::readClipboard() {
  if (host_) return host_->readClipboard();
  return ownClipboard_;
}

bool HexEditor::copy() {
  if (!data_.isSet()) return false;
  auto [begin, end] = selection();
  if (begin == end) {
    tell("Nothing to Copy", "Select a Region Please");
    return false;
  }
  if (end > data_.size()) {
    tell("The Selection extends beyond the end of the Data Region, please adjust the selected region to not select "
         "beyond the end of the data buffer.",
         "Invalid Selection");
    return false;
  }
  auto bytes = data_.bytes().subspan(begin, end - begin);
  ClipboardData clip;
  // The text form ends at the first NUL, as a text clipboard does; the exact
  // bytes ride beside it.
  auto nul = std::find(bytes.begin(), bytes.end(), BYTE{0});
  clip.text.assign(bytes.begin(), nul);
  clip.bytes.emplace(bytes.begin(), bytes.end());
  if (host_) host_->writeClipboard(clip);
  else ownClipboard_ = std::move(clip);
  return true;
}

bool HexEditor::deleteSelection() {
  if (!canEditOrBeep() || !hasSelection()) return false;
  auto [begin, end] = selection();
  if (!data_.erase(begin, end - begin)) {
    debugOutput(kShrinkWarning);
    beep();
    return false;
  }
  placeCaret(Position{caret_.pane, begin, 0});
  notifyData();
  return true;
}

bool HexEditor::cut() {
  if (!canEditOrBeep()) return false;
  if (!data_.resizable()) {
    // Copying and then failing to delete would leave the user believing the
    // bytes were moved.
    debugOutput(kShrinkWarning);
    beep();
    return false;
  }
  return copy() && deleteSelection();
}

bool HexEditor::paste() {
  if (!data_.isSet()) {
    tell(kNoData, kNoDataTitle);
    return false;
  }
  if (!canEditOrBeep()) return false;
  auto clip = readClipboard();
  if (!clip) {
    beep();
    return false;
  }
  auto bytes = clip->payload();
  if (bytes.empty()) {
    beep();
    return false;
  }
  if (!caretPlaced_) placeCaret(Position{caret_.pane, 0, 0});
  return pasteBytes(bytes);
}

bool HexEditor::pasteBytes(const std::vector<BYTE>& bytes) {
  auto [begin, end] = selection();
  std::size_t written = 0;
  if (begin != end) {
    const std::size_t room = end - begin;
    bool whole = true;
    if (bytes.size() != room) whole = ask(alterQuestion("paste", bytes.size() > room), kAlterTitle);
    if (!whole || bytes.size() == room) {
      written = std::min(room, bytes.size());
      data_.write(begin, std::span<const BYTE>(bytes).first(written));
    } else if (insert_ && data_.resizable()) {
      data_.erase(begin, room);
      data_.insert(begin, bytes);
      written = bytes.size();
    } else {
      if (!writeOver(begin, bytes)) return false;
      written = std::min(bytes.size(), data_.size() - begin);
    }
  } else if (insert_) {
    if (!data_.insert(begin, bytes)) {
      beep();
      return false;
    }
    written = bytes.size();
  } else {
    if (!writeOver(begin, bytes)) return false;
    written = std::min(bytes.size(), data_.size() - begin);
  }
  placeCaret(Position{caret_.pane, begin + written, 0});
  notifyData();
  return true;
}

bool HexEditor::compare() {
  if (!data_.isSet()) return false;
  auto clip = readClipboard();
  auto [begin, end] = selection();
  if (!clip || begin == end || end > data_.size()) {
    tell("Comparison Action could not be completed", "Sorry");
    return false;
  }
  auto source = clip->payload();
  std::size_t length = end - begin;
  if (source.size() != length) {
    if (ask(alterQuestion("compare", source.size() > length), kAlterTitle)) {
      if (begin + source.size() > data_.size()) {
        tell("Comparison Action could not be completed", "Sorry");
        return false;
      }
      length = source.size();
      select(begin, begin + length);
    } else if (source.size() < length) {
      tell("Comparison Action could not be completed. Not enough bytes in comparison source.", "Sorry");
      return false;
    }
  }
  auto region = data_.bytes().subspan(begin, length);
  if (std::equal(region.begin(), region.end(), source.begin())) {
    tell("Clipboard Buffer and Selected Region are an Exact Match (for the length of the Selected Region)",
         "Exact Match", BoxIcon::Information);
    return true;
  }
  tell("Clipboard Buffer and Selected Region are an dissimilar on at least one account (for the length of the "
       "Selected Region)",
       "No Match", BoxIcon::Information);
  return false;
}

void HexEditor::selectAll() {
  if (!data_.isSet()) return;
  if (caret_.pane == Pane::Index) caret_.pane = Pane::Number;
  select(0, data_.size());
}

bool HexEditor::clearContents() {
  if (!data_.isSet() || !canEditOrBeep()) return false;
  if (!ask(kClearQuestion, kClearTitle)) return false;
  if (!data_.resize(0)) {
    // A buffer we may not shrink still gets a first byte of 0, so that as a
    // string it reads empty.
    if (data_.size() > 0) {
      const BYTE zero = 0;
      data_.write(0, std::span<const BYTE>(&zero, 1));
    }
    debugOutput(kShrinkWarning);
  }
  caret_ = Position{caret_.pane == Pane::Text ? Pane::Text : Pane::Number, 0, 0};
  anchor_ = 0;
  first_ = 0;
  notifyData();
  return true;
}

bool HexEditor::replaceSelection(std::span<const BYTE> bytes) {
  if (!data_.isSet()) {
    tell(kNoData, kNoDataTitle);
    return false;
  }
  if (!canEditOrBeep() || bytes.empty()) return false;
  auto [begin, end] = selection();
  if (!data_.resizable()) {
    debugOutput(kShrinkWarning);
    beep();
    return false;
  }
  data_.erase(begin, end - begin);
  data_.insert(begin, bytes);
  placeCaret(Position{caret_.pane, begin + bytes.size(), 0});
  notifyData();
  return true;
}

bool HexEditor::insertAt(std::size_t offset, std::span<const BYTE> bytes) {
  if (!data_.isSet()) {
    tell(kNoData, kNoDataTitle);
    return false;
  }
  if (!canEditOrBeep() || bytes.empty()) return false;
  offset = std::min(offset, data_.size());
  if (!data_.insert(offset, bytes)) {
    beep();
    return false;
  }
  placeCaret(Position{caret_.pane == Pane::Index ? Pane::Number : caret_.pane, offset + bytes.size(), 0});
  notifyData();
  return true;
}

// --- find and goto ---

bool HexEditor::find(std::string_view text, bool unicode) {
  if (unicode) search_ = platform::bytesFromUtf16(platform::ansiToWide(text));
  else search_.assign(text.begin(), text.end());
  if (search_.empty() || !data_.isSet()) return false;
  return findBytes();
}

bool HexEditor::findAgain() {
  if (search_.empty() || !data_.isSet()) return false;
  return findBytes();
}

bool HexEditor::findBytes() {
  auto data = data_.bytes();
  auto [begin, end] = selection();
  std::size_t from = 0;
  std::size_t to = data.size();
  const bool lastMatch = begin != end && end - begin == search_.size() &&
                         std::equal(search_.begin(), search_.end(), data.begin() + static_cast<std::ptrdiff_t>(begin));
  if (end - begin > 1 && !lastMatch) {
    // A region the user chose is searched on its own.
    from = begin;
    to = std::min(end, data.size());
  } else if (caretPlaced_) {
    // After the caret, or after the start of the last match, so that F3 moves on.
    from = lastMatch ? begin + 1 : caret_.offset + 1;
  }
  if (from < to && to - from >= search_.size()) {
    auto first = data.begin() + static_cast<std::ptrdiff_t>(from);
    auto last = data.begin() + static_cast<std::ptrdiff_t>(to);
    auto hit = std::search(first, last, search_.begin(), search_.end());
    if (hit != last) {
      std::size_t at = static_cast<std::size_t>(hit - data.begin());
      const bool onPage = at >= first_ && at + search_.size() <= first_ + layout_.bytesPerPage();
      select(at, at + search_.size());
      if (!onPage) ensureVisible(at);
      notifyView();
      return true;
    }
  }
  tell(kNotFound, "Not Found", BoxIcon::Information);
  return false;
}

bool HexEditor::gotoOffset(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (text.size() - at > 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) at += 2;
  std::size_t offset = 0;
  int digits = 0;
  for (; at < text.size(); ++at) {
    int value = digitValue(text[at], Radix::Hexadecimal);
    if (value < 0) break;
    if (offset > (SIZE_MAX >> 4)) return false;
    offset = offset * 16 + static_cast<std::size_t>(value);
    ++digits;
  }
  if (digits == 0 || !data_.isSet()) return false;
  offset = std::min(offset, data_.size());
  first_ = offset;
  // The caret comes along: the next arrow key would otherwise scroll back.
  anchor_ = offset;
  caret_.offset = offset;
  caret_.digit = 0;
  if (caret_.pane == Pane::Index) caret_.pane = Pane::Number;
  caretPlaced_ = true;
  notifyView();
  return true;
}

}  // namespace talmoor::hexedit

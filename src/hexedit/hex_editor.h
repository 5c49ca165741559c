#pragma once
// The hex data editor without a window: the bytes, the three panes (offsets,
// numbers in a radix, characters), caret, selection, typing, the clipboard,
// find and goto, and the questions it asks through the Interaction. The Qt
// widget paints this state and feeds it keys; tests drive it directly.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hexedit/hex_data.h"

namespace talmoor::hexedit {

// The radixes with their menu numbers minus one; hexadecimal is the default.
enum class Radix : int { Binary = 0, Octal = 1, Decimal = 2, Hexadecimal = 3 };

struct RadixInfo {
  const char* menuText;
  int base;
  int digitsPerByte;
  int charsPerCell;  // with the separator
};
const RadixInfo& radixInfo(Radix radix);
// One byte as the number pane shows it ("%03o", "%03u", "%02X", or 8 binary digits).
std::string formatByte(BYTE value, Radix radix);
// The value of one digit character in the radix, or -1.
int digitValue(char character, Radix radix);
// The byte with one digit replaced, or nothing when the result is not a byte
// (a decimal "9" typed over the "2" of 200).
std::optional<BYTE> withDigit(BYTE value, Radix radix, int digit, int digitValue);

enum class Pane : int { Index = 0, Number = 1, Text = 2 };

// The pop-up menu's commands, with their identifiers.
enum class Command : int {
  Binary = 1,
  Octal = 2,
  Decimal = 3,
  Hexadecimal = 4,
  FontOther = 96,
  FontArial = 97,
  FontFixed = 98,
  FontSans = 99,
  Undo = 101,
  Cut = 102,
  Copy = 103,
  Paste = 104,
  SelectAll = 106,
  Browse = 107,
  Colour = 108,
  Compare = 109,
  Clear = 228,
  Delete = 230,
};

// What the clipboard holds for the editor: the text form other programs read
// (ANSI, which is UTF-8 here), and the exact bytes when they came from us.
struct ClipboardData {
  std::string text;
  std::optional<std::vector<BYTE>> bytes;
  // The bytes a paste takes: the exact ones when there, else the text.
  std::vector<BYTE> payload() const;
};

// What the editor needs from the window that shows it.
class HexEditorHost {
 public:
  virtual ~HexEditorHost() = default;
  virtual std::optional<ClipboardData> readClipboard() = 0;
  virtual void writeClipboard(const ClipboardData& data) = 0;
  virtual void beep() {}
};

struct FontMetrics {
  int digitWidth = 8;  // the widest digit
  int charWidth = 8;   // the widest printable character
  int height = 16;
};

struct PaneRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

struct Layout {
  int lineHeight = 17;
  int bytesPerRow = 1;
  int visibleRows = 1;
  int numberCellWidth = 0;
  int textCellWidth = 0;
  int indexDigits = 3;
  PaneRect index;
  PaneRect number;
  PaneRect text;
  std::size_t bytesPerPage() const { return static_cast<std::size_t>(bytesPerRow) * visibleRows; }
};

// A place in the panes: the byte under a point and, in the number pane, the digit.
struct Position {
  Pane pane = Pane::Number;
  std::size_t offset = 0;
  int digit = 0;
};

// Enabling of the pop-up menu's items.
struct MenuState {
  bool anyData = false;  // everything else off when false
  bool cut = false;
  bool copy = false;
  bool paste = false;
  bool compare = false;
  bool deleteSelection = false;
  bool browse = false;
  bool selectAll = false;
  bool undo = false;  // never
};

enum class Key { Left, Right, Up, Down, PageUp, PageDown, Home, End, Insert, Delete, Backspace, F3, Tab };

// What a key asks of the window beyond the editor's own state.
enum class KeyOutcome { Done, Ignored, FocusNext, FocusPrevious };

class HexEditor {
 public:
  HexEditor();
  // The host is not owned; without one the clipboard is kept in the editor.
  void setHost(HexEditorHost* host) { host_ = host; }
  // Called after every change of the bytes, and after every change of what is shown.
  void setDataChanged(std::function<void()> listener) { dataChanged_ = std::move(listener); }
  void setViewChanged(std::function<void()> listener) { viewChanged_ = std::move(listener); }

  // --- the host's interface (each set empties the search, removes the caret
  // and scrolls to the top) ---
  // The host's bytes in place; a null pointer clears; a null pointer with a
  // length says "Invalid Parameter/Bad Pointer".
  bool showInPlace(BYTE* data, std::size_t length);
  void showInPlace(std::span<BYTE> bytes);
  // Edits the host's vector: every reallocation is the host's at once.
  void editReference(std::vector<BYTE>& bytes);
  void editShared(std::shared_ptr<std::vector<BYTE>> bytes);
  // A copy owned by the editor, resizable. False (after the box) for a null
  // source with a length or when memory runs out.
  bool copyIn(const BYTE* data, std::size_t length);
  bool copyIn(std::span<const BYTE> bytes) { return copyIn(bytes.data(), bytes.size()); }
  void clear();
  // Copies out as much as fits and zero-fills the rest; the length of the data.
  std::size_t copyOut(BYTE* buffer, std::size_t size) const;
  std::span<const BYTE> bytes() const { return data_.bytes(); }
  std::size_t length() const { return data_.size(); }
  // Shows the data again; after the host changed the bytes itself, the caret,
  // selection and scroll position are brought back inside them.
  void redraw();
  void setMemoryKind(MemoryKind kind);
  MemoryKind memoryKind() const { return data_.kind(); }
  bool hasData() const { return data_.isSet(); }
  void setReadOnly(bool readOnly);
  bool readOnly() const { return readOnly_; }
  bool editable() const { return !readOnly_ && data_.editable(); }

  // --- view ---
  Radix radix() const { return radix_; }
  void setRadix(Radix radix);
  bool colour() const { return colour_; }
  void setColour(bool colour);
  void setGeometry(const FontMetrics& metrics, int width, int height);
  const Layout& layout() const { return layout_; }
  std::size_t firstOffset() const { return first_; }
  void scrollTo(std::size_t offset);
  void scrollBy(long long bytes);
  // The scroll bar's range in rows and the row of the first byte shown.
  std::size_t rowCount() const;
  std::size_t firstRow() const;
  void scrollToRow(std::size_t row);

  // The place under a point of the panes, or nothing.
  std::optional<Position> positionAt(int x, int y) const;
  // Where a byte's cell is drawn in a pane, when it is on the page.
  std::optional<PaneRect> cellRect(Pane pane, std::size_t offset) const;

  // --- caret and selection ---
  bool caretPlaced() const { return caretPlaced_; }
  const Position& caret() const { return caret_; }
  void placeCaret(Position position, bool extendSelection = false);
  void removeCaret();
  // The selected bytes as [begin, end).
  std::pair<std::size_t, std::size_t> selection() const;
  bool hasSelection() const;
  bool isSelected(std::size_t offset) const;
  void select(std::size_t begin, std::size_t end);
  bool insertMode() const { return insert_; }
  void setInsertMode(bool insert);
  // Focus arrives: Shift puts the caret into the text pane.
  void focusIn(bool shift);

  // --- editing ---
  // Text typed at the caret (in the number pane, digits of the radix).
  void type(std::string_view text);
  KeyOutcome pressKey(Key key, bool shift, bool control);
  MenuState menuState(bool clipboardHasText) const;
  void runCommand(Command command);
  bool copy();
  bool cut();
  bool paste();
  bool compare();
  bool deleteSelection();
  void selectAll();
  // Asks "Clear Contence of this Value?"; Yes empties the data.
  bool clearContents();
  // Replaces the selection (or inserts at the caret) with the bytes: Browse's file name.
  bool replaceSelection(std::span<const BYTE> bytes);
  // Inserts at an offset (a drop).
  bool insertAt(std::size_t offset, std::span<const BYTE> bytes);

  // --- find and goto ---
  // Finds the text (as UTF-16LE when unicode) inside a selection of more
  // than one byte, else after the caret; remembered for findAgain.
  bool find(std::string_view text, bool unicode);
  bool findAgain();
  const std::vector<BYTE>& searchBytes() const { return search_; }
  // A hexadecimal offset that becomes the first byte shown; false when not a number.
  bool gotoOffset(std::string_view text);

 private:
  void resetForNewData();
  void notifyData();
  void notifyView();
  void relayout();
  void ensureVisible(std::size_t offset);
  void moveCaret(long long byteDelta, bool shift);
  void moveDigit(int delta, bool shift);
  bool canEditOrBeep();
  bool askExpand();
  bool writeOver(std::size_t at, std::span<const BYTE> bytes);
  bool pasteBytes(const std::vector<BYTE>& bytes);
  bool findBytes();
  std::optional<ClipboardData> readClipboard();
  void beep();

  HexData data_;
  HexEditorHost* host_ = nullptr;
  std::optional<ClipboardData> ownClipboard_;
  std::function<void()> dataChanged_;
  std::function<void()> viewChanged_;
  bool readOnly_ = false;
  Radix radix_ = Radix::Hexadecimal;
  bool colour_ = false;
  FontMetrics metrics_;
  int width_ = 640;
  int height_ = 480;
  Layout layout_;
  std::size_t first_ = 0;
  Position caret_;
  bool caretPlaced_ = false;
  std::size_t anchor_ = 0;
  bool insert_ = true;
  std::vector<BYTE> search_;
};

// The box texts, for the window and the tests.
inline constexpr std::string_view kExpandQuestion = "Expand Edited Hex Memory/File Size?";
inline constexpr std::string_view kExpandTitle = "Expand File/Memory-block Size";
inline constexpr std::string_view kAlterTitle = "Alter Selection to Match?";
inline constexpr std::string_view kClearQuestion = "Clear Contence of this Value?";
inline constexpr std::string_view kClearTitle = "Clear Data";
inline constexpr std::string_view kNotFound = "Search String not Found";
inline constexpr std::string_view kBackwards = "Searching Backwards Not Implemented";
inline constexpr std::string_view kBadPointer = "Invalid Parameter/Bad Pointer";
inline constexpr std::string_view kNoData = "There is no data set to this Control";
inline constexpr std::string_view kNoDataTitle = "Cannot Insert";

}  // namespace talmoor::hexedit

// The hex editor without its window: who owns the bytes and what may change
// them, typing in both panes, the questions, the clipboard with NUL bytes,
// radixes and layout, find and goto, and the typed forms of the common types.

#include "hexedit/hex_editor.h"

#include <gtest/gtest.h>

#include "hexedit/typed_value.h"
#include "platform/registry/registry_constants.h"
#include "support/scripted_interaction.h"

namespace talmoor::hexedit {
namespace {

std::vector<BYTE> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

class HexEditorTest : public ::testing::Test {
 protected:
  // An editor over a shared vector it may grow and shrink, caret in place.
  void editable(std::vector<BYTE> bytes) {
    shared_ = std::make_shared<std::vector<BYTE>>(std::move(bytes));
    editor_.editShared(shared_);
    editor_.setMemoryKind(MemoryKind::OwnAllocator);
    editor_.focusIn(false);
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (const auto& box : boxes_->boxes()) out.push_back(box.title);
    return out;
  }

  std::shared_ptr<ScriptedInteraction> boxes_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_{boxes_};
  HexEditor editor_;
  std::shared_ptr<std::vector<BYTE>> shared_;
};

TEST_F(HexEditorTest, TheHostsBuffersAndWhatEachAllows) {
  // No data: typing does nothing, every item is off, a paste says why.
  editor_.focusIn(false);
  editor_.type("41");
  EXPECT_FALSE(editor_.hasData());
  EXPECT_FALSE(editor_.menuState(true).anyData);
  EXPECT_FALSE(editor_.menuState(true).paste);
  EXPECT_TRUE(boxes_->boxes().empty());
  editor_.paste();
  EXPECT_EQ(boxes_->boxLines(), std::vector<std::string>{"Cannot Insert: There is no data set to this Control"});

  // A null pointer with a length is refused and leaves nothing set.
  boxes_->clear();
  EXPECT_FALSE(editor_.showInPlace(nullptr, 4));
  EXPECT_FALSE(editor_.copyIn(nullptr, 4));
  EXPECT_EQ(titles(), (std::vector<std::string>{"Set Data", "Set Data (Copy)"}));
  EXPECT_FALSE(editor_.hasData());

  // Shown in place: read-only until the host gives a kind, then edited in
  // place but never resized (the host keeps its own pointer and length).
  std::array<BYTE, 3> lent{1, 2, 3};
  editor_.showInPlace(lent);
  editor_.focusIn(false);
  editor_.type("F");
  EXPECT_EQ(lent[0], 1);
  editor_.setMemoryKind(MemoryKind::OwnAllocator);
  editor_.setInsertMode(false);
  editor_.type("FF");
  EXPECT_EQ(lent[0], 0xFF);
  editor_.setInsertMode(true);
  editor_.type("77");
  editor_.pressKey(Key::Delete, false, false);
  EXPECT_EQ(editor_.length(), 3u);

  // Copied in and out: the rest of the caller's buffer is zero-filled.
  std::vector<BYTE> source{9, 8};
  ASSERT_TRUE(editor_.copyIn(source));
  EXPECT_EQ(editor_.memoryKind(), MemoryKind::OwnAllocator);
  std::array<BYTE, 4> out{7, 7, 7, 7};
  EXPECT_EQ(editor_.copyOut(out.data(), out.size()), 2u);
  EXPECT_EQ(out, (std::array<BYTE, 4>{9, 8, 0, 0}));

  // By reference: the caller's vector follows every growth.
  std::vector<BYTE> mine{0xAA};
  editor_.editReference(mine);
  editor_.setMemoryKind(MemoryKind::OwnAllocator);
  editor_.focusIn(false);
  editor_.type("0102");
  EXPECT_EQ(mine, (std::vector<BYTE>{1, 2, 0xAA}));
}

TEST_F(HexEditorTest, TypingDigitsAndCharactersInInsertAndOverwrite) {
  editable({0x10, 0x20});
  editor_.type("ab");  // insert mode: a new byte at the caret
  EXPECT_EQ(*shared_, (std::vector<BYTE>{0xAB, 0x10, 0x20}));
  editor_.type("g");  // not a hex digit: nothing
  EXPECT_EQ(shared_->size(), 3u);

  // Overwrite at the end asks to expand; No keeps the length, Yes grows.
  editor_.setInsertMode(false);
  editor_.pressKey(Key::End, false, false);
  boxes_->answer({IDNO, IDYES});
  editor_.type("5");
  EXPECT_EQ(shared_->size(), 3u);
  editor_.type("5");
  EXPECT_EQ(*shared_, (std::vector<BYTE>{0xAB, 0x10, 0x20, 0x50}));
  EXPECT_EQ(titles(), (std::vector<std::string>(2, std::string(kExpandTitle))));

  // Decimal: a digit that would make more than 255 is refused.
  editor_.setRadix(Radix::Decimal);
  editor_.placeCaret(Position{Pane::Number, 0, 0});
  editor_.type("3");  // 171 -> 371: no
  EXPECT_EQ((*shared_)[0], 0xAB);
  editor_.type("2");  // 271: no either
  editor_.type("1");
  EXPECT_EQ((*shared_)[0], 171);

  // The text pane: characters, Backspace in both modes.
  editor_.placeCaret(Position{Pane::Text, 1, 0});
  editor_.type("xy");
  EXPECT_EQ((*shared_)[1], 'x');
  EXPECT_EQ((*shared_)[2], 'y');
  editor_.pressKey(Key::Backspace, false, false);
  EXPECT_EQ((*shared_)[2], ' ');
  EXPECT_EQ(shared_->size(), 4u);
  editor_.setInsertMode(true);
  editor_.pressKey(Key::Backspace, false, false);
  EXPECT_EQ(*shared_, (std::vector<BYTE>{171, ' ', 0x50}));
}

TEST_F(HexEditorTest, PasteOverASelectionOfAnotherLength) {
  editable(bytesOf("0123456789"));
  ClipboardData six{"ABCDEF", std::nullopt};
  struct Clip : HexEditorHost {
    std::optional<ClipboardData> held;
    std::optional<ClipboardData> readClipboard() override { return held; }
    void writeClipboard(const ClipboardData& data) override { held = data; }
  } clip;
  clip.held = six;
  editor_.setHost(&clip);
  editor_.select(2, 6);
  boxes_->answer({IDNO});
  ASSERT_TRUE(editor_.paste());
  EXPECT_EQ(std::string(shared_->begin(), shared_->end()), "01ABCD6789");
  ASSERT_EQ(boxes_->boxes().size(), 1u);
  EXPECT_EQ(boxes_->boxes()[0].title, kAlterTitle);
  EXPECT_EQ(boxes_->boxes()[0].text,
            "Region to paste is larger that the amount of space in the selected region. Alter the selected region to "
            "match (Yes) or paste up to the size of the selection (No)?");
  // Yes takes the whole clipboard in place of the selection.
  editor_.select(2, 6);
  boxes_->answer({IDYES});
  ASSERT_TRUE(editor_.paste());
  EXPECT_EQ(std::string(shared_->begin(), shared_->end()), "01ABCDEF6789");

  // Compare: the same question, then the verdict.
  editor_.select(2, 8);
  EXPECT_TRUE(editor_.compare());
  editor_.select(3, 9);
  EXPECT_FALSE(editor_.compare());
  editor_.select(2, 10);
  boxes_->answer({IDNO});
  EXPECT_FALSE(editor_.compare());
  auto lines = boxes_->boxLines();
  EXPECT_EQ(lines.back(), "Sorry: Comparison Action could not be completed. Not enough bytes in comparison source.");
  EXPECT_EQ(lines[lines.size() - 2].rfind(std::string(kAlterTitle) + ": Region to compare is smaller", 0), 0u);
}

TEST_F(HexEditorTest, CutAndPasteCarryNulBytesWhileTheTextFormStopsAtTheFirst) {
  editable({'a', 0, 'b', 0, 0, 'c'});
  editor_.select(0, 5);
  ASSERT_TRUE(editor_.cut());
  EXPECT_EQ(*shared_, (std::vector<BYTE>{'c'}));
  editor_.pressKey(Key::End, false, false);
  ASSERT_TRUE(editor_.paste());
  EXPECT_EQ(*shared_, (std::vector<BYTE>{'c', 'a', 0, 'b', 0, 0}));
  // Read-only data can be copied, not cut.
  editor_.setMemoryKind(MemoryKind::ReadOnly);
  editor_.select(0, 3);
  EXPECT_TRUE(editor_.menuState(true).copy);
  EXPECT_FALSE(editor_.menuState(true).cut);
  EXPECT_FALSE(editor_.menuState(true).paste);
  EXPECT_FALSE(editor_.menuState(true).undo);
  EXPECT_FALSE(editor_.cut());
  EXPECT_EQ(shared_->size(), 6u);
  // An empty selection has nothing to copy.
  editor_.select(1, 1);
  EXPECT_FALSE(editor_.copy());
  EXPECT_EQ(boxes_->boxLines().back(), "Select a Region Please: Nothing to Copy");
  EXPECT_EQ((ClipboardData{"ca", std::vector<BYTE>{'c', 'a', 0}}).payload().size(), 3u);
}

TEST_F(HexEditorTest, RadixesLayoutAndScrolling) {
  EXPECT_EQ(formatByte(0x5A, Radix::Binary), "01011010");
  EXPECT_EQ(formatByte(8, Radix::Octal), "010");
  EXPECT_EQ(formatByte(7, Radix::Decimal), "007");
  EXPECT_EQ(formatByte(0xAB, Radix::Hexadecimal), "AB");
  EXPECT_EQ(editor_.radix(), Radix::Hexadecimal);
  editable(std::vector<BYTE>(1000, 0));
  editor_.setGeometry(FontMetrics{8, 8, 15}, 600, 320);
  const Layout hex = editor_.layout();
  EXPECT_EQ(hex.lineHeight, 16);
  EXPECT_EQ(hex.numberCellWidth, 3 * 8 + 1);  // two digits and a separator
  EXPECT_EQ(hex.textCellWidth, 9);
  editor_.runCommand(Command::Binary);
  const Layout binary = editor_.layout();
  EXPECT_EQ(binary.numberCellWidth, 9 * 8 + 1);
  EXPECT_LT(binary.bytesPerRow, hex.bytesPerRow);
  EXPECT_GE(binary.bytesPerRow, 1);
  // The panes do not overlap and a point maps back to its cell.
  EXPECT_LE(binary.number.x + binary.number.width, binary.text.x);
  auto cell = editor_.cellRect(Pane::Number, static_cast<std::size_t>(binary.bytesPerRow) + 1);
  ASSERT_TRUE(cell);
  auto hit = editor_.positionAt(cell->x + 8 * 3 + 2, cell->y + 2);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->offset, static_cast<std::size_t>(binary.bytesPerRow) + 1);
  EXPECT_EQ(hit->digit, 3);

  // Goto reads hexadecimal and makes the offset the first shown.
  EXPECT_TRUE(editor_.gotoOffset("1f"));
  EXPECT_EQ(editor_.firstOffset(), 0x1Fu);
  EXPECT_FALSE(editor_.gotoOffset("zz"));
  EXPECT_EQ(editor_.firstOffset(), 0x1Fu);
  EXPECT_TRUE(editor_.gotoOffset("ffffff"));
  EXPECT_EQ(editor_.firstOffset(), 1000u);
  editor_.pressKey(Key::Home, false, true);
  EXPECT_EQ(editor_.firstOffset(), 0u);

  // Long data gets enough index digits for its offsets.
  editable(std::vector<BYTE>(0x123456, 0));
  EXPECT_EQ(editor_.layout().indexDigits, 6);
  editor_.pressKey(Key::End, false, false);
  EXPECT_GE(editor_.caret().offset, editor_.firstOffset());
  EXPECT_LT(editor_.caret().offset, editor_.firstOffset() + editor_.layout().bytesPerPage());
}

TEST_F(HexEditorTest, FindInsideASelectionAgainAndAsUnicode) {
  editable(bytesOf("abcXYabcXYabc"));
  // Inside a selection only: the first "abc" lies outside it.
  editor_.select(3, 10);
  EXPECT_TRUE(editor_.find("abc", false));
  EXPECT_EQ(editor_.selection(), (std::pair<std::size_t, std::size_t>{5, 8}));
  // F3 goes on after the match, instead of finding it again.
  EXPECT_EQ(editor_.pressKey(Key::F3, false, false), KeyOutcome::Done);
  EXPECT_EQ(editor_.selection(), (std::pair<std::size_t, std::size_t>{10, 13}));
  EXPECT_FALSE(editor_.findAgain());
  EXPECT_EQ(boxes_->boxLines().back(), "Not Found: Search String not Found");
  editor_.pressKey(Key::F3, true, false);
  EXPECT_EQ(boxes_->boxLines().back(), "Sorry: Searching Backwards Not Implemented");

  std::vector<BYTE> wide{'x', 0, 'h', 0, 0xE9, 0, 'l', 0};
  editable(wide);
  EXPECT_FALSE(editor_.find("hé", false));
  editor_.placeCaret(Position{Pane::Number, 0, 0});
  EXPECT_TRUE(editor_.find("hé", true));
  EXPECT_EQ(editor_.selection(), (std::pair<std::size_t, std::size_t>{2, 6}));
  EXPECT_EQ(editor_.searchBytes(), (std::vector<BYTE>{'h', 0, 0xE9, 0}));
}

TEST_F(HexEditorTest, ClearAndDelete) {
  editable(bytesOf("hello"));
  boxes_->answer({IDNO, IDYES});
  EXPECT_FALSE(editor_.clearContents());
  EXPECT_EQ(shared_->size(), 5u);
  EXPECT_TRUE(editor_.clearContents());
  EXPECT_TRUE(shared_->empty());
  EXPECT_EQ(boxes_->boxLines().back(), "Clear Data: Clear Contence of this Value?");
  // An emptied value can be typed into again.
  editor_.type("41");
  EXPECT_EQ(*shared_, (std::vector<BYTE>{0x41}));
  editor_.pressKey(Key::Home, false, false);
  editor_.pressKey(Key::Delete, false, false);
  EXPECT_TRUE(shared_->empty());
}

TEST_F(HexEditorTest, InsertingIntoEightMillionBytesKeepsEveryOtherByte) {
  std::vector<BYTE> big(8'000'000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  editable(big);
  editor_.placeCaret(Position{Pane::Text, 4'000'000, 0});
  editor_.type("Z");
  ASSERT_EQ(shared_->size(), 8'000'001u);
  EXPECT_EQ((*shared_)[4'000'000], 'Z');
  EXPECT_EQ((*shared_)[4'000'001], big[4'000'000]);
  EXPECT_EQ((*shared_)[7'999'999 + 1], big[7'999'999]);
  EXPECT_LE(editor_.caret().offset - editor_.firstOffset(), editor_.layout().bytesPerPage());
}

TEST(TypedValue, StringsKeepTheirTerminatorsAndWhatFollows) {
  std::vector<BYTE> data{'a', 'b', 0, 'h', 'i', 'd', 0};
  EXPECT_EQ(stringOf(data), "ab");
  EXPECT_EQ(withString(data, "xyz"), (std::vector<BYTE>{'x', 'y', 'z', 0, 'h', 'i', 'd', 0}));
  EXPECT_EQ(withString(std::vector<BYTE>{'a'}, "b"), (std::vector<BYTE>{'b', 0}));
  EXPECT_EQ(withString({}, ""), (std::vector<BYTE>{0}));
  EXPECT_FALSE(textRoundTrips("\xFF\xFE"));

  std::vector<BYTE> list{'a', 0, 'b', 'c', 0, 0, 'z'};
  EXPECT_EQ(stringsOf(list), (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(withStrings(list, {"one", "", "two"}), (std::vector<BYTE>{'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0, 'z'}));
  EXPECT_EQ(stringsOf(std::vector<BYTE>{'a', 0, 'b'}), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(withStrings({}, {}), (std::vector<BYTE>{0}));
}

TEST(TypedValue, NumbersInEachByteOrder) {
  std::vector<BYTE> le{0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(numberOf(REG_DWORD, le), 0x12345678u);
  EXPECT_EQ(numberOf(REG_DWORD_BIG_ENDIAN, le), 0x78563412u);
  EXPECT_FALSE(numberOf(REG_QWORD, le));
  EXPECT_EQ(withNumber(REG_DWORD_BIG_ENDIAN, le, 1), (std::vector<BYTE>{0, 0, 0, 1}));
  EXPECT_EQ(withNumber(REG_QWORD, {}, 0x0102030405060708ull),
            (std::vector<BYTE>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(withNumber(REG_DWORD, std::vector<BYTE>{0, 0, 0, 0, 0xEE}, 2), (std::vector<BYTE>{2, 0, 0, 0, 0xEE}));
  EXPECT_EQ(parseNumber("0x1F", true, REG_DWORD), 31u);
  EXPECT_EQ(parseNumber("4294967295", false, REG_DWORD), 0xFFFFFFFFu);
  EXPECT_FALSE(parseNumber("4294967296", false, REG_DWORD));
  EXPECT_TRUE(parseNumber("4294967296", false, REG_QWORD));
  EXPECT_FALSE(parseNumber("12z", false, REG_DWORD));
  EXPECT_EQ(formatNumber(31, true, REG_DWORD), "0x0000001F");
}

}  // namespace
}  // namespace talmoor::hexedit

// The formatted text editor's model: formats and their use counts, editing, caret and selection rules,
// format commands, keys and the clipboard, including damaged formatted-text clipboard blocks.
#include "imaging/vector/text_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/backend.h"
#include "platform/win32.h"
#include "platform/windows.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

TShiftState Keys(std::initializer_list<TShiftStateItem> Items) {
  TShiftState S;
  for (auto I : Items) S.Include(I);
  return S;
}

void Press(TIETextControl& C, uint16_t Key, TShiftState Shift = {}) { C.HandleKey(Key, Shift); }

void Type(TIETextControl& C, std::string_view Text) {
  for (char Ch : Text) {
    if (Ch == '\n') Press(C, VK_RETURN);
    else C.HandleChar(Ch);
  }
}

TIETextFormat Format(int32_t Height, uint8_t Style = 0, uint8_t Align = 0, std::string_view Face = "DejaVu Sans Mono") {
  TIETextFormat F;
  F.SetFontName(Face);
  F.SetHeight(Height);
  F.SetStyle(Style);
  F.SetAlignment(Align);
  return F;
}

// Puts one block of Format on the clipboard, replacing what was there.
void PutOnClipboard(UINT Fmt, const void* Data, size_t Size) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, Size);
  ASSERT_NE(H, nullptr);
  if (Size > 0) std::memcpy(GlobalLock(H), Data, Size);
  GlobalUnlock(H);
  SetClipboardData(Fmt, H);
  CloseClipboard();
}

std::vector<uint8_t> FromClipboard(UINT Fmt) {
  std::vector<uint8_t> Out;
  if (!OpenClipboard(nullptr)) return Out;
  if (HANDLE H = GetClipboardData(Fmt)) {
    const auto* P = static_cast<const uint8_t*>(GlobalLock(H));
    Out.assign(P, P + GlobalSize(H));
    GlobalUnlock(H);
  }
  CloseClipboard();
  return Out;
}

UINT MemoFormat() { return RegisterClipboardFormat(TextMemoClipboardName); }

TEST(TextControlModel, TypingIntoAnEmptyControlMakesOneFormatUsedOnce) {
  TIETextControl C(nullptr);
  C.DefaultFont()->SetName("DejaVu Sans Mono");
  C.DefaultFont()->SetHeight(-13);
  C.Reset();
  C.HandleChar('x');
  EXPECT_EQ(C.Text(), "x");
  ASSERT_EQ(C.Formats().size(), 1u);
  EXPECT_EQ(C.Formats()[0].UseCount(), 1);
  EXPECT_TRUE(C.Formats()[0].SameFormat(C.CurrentFormat()));
  EXPECT_EQ(C.Formats()[0].FontName(), "DejaVu Sans Mono");
  EXPECT_EQ(C.Formats()[0].Height(), -13);
  EXPECT_EQ(C.Caret(), 1);
  // Control characters and DEL type nothing.
  C.HandleChar('\t');
  C.HandleChar(char(127));
  EXPECT_EQ(C.Text(), "x");
}

TEST(TextControlModel, DeleteKeepsAnUnusedFormatUntilCompaction) {
  TIETextControl C(nullptr);
  C.Reset();
  C.CurrentFormat() = Format(10);
  C.HandleChar('a');
  C.CurrentFormat() = Format(20);
  C.HandleChar('b');
  C.CurrentFormat() = Format(30);
  C.HandleChar('c');
  ASSERT_EQ(C.Formats().size(), 3u);
  C.SetCaret(1);
  Press(C, VK_DELETE);
  EXPECT_EQ(C.Text(), "ac");
  EXPECT_EQ(C.Caret(), 1);
  ASSERT_EQ(C.Formats().size(), 3u);
  EXPECT_EQ(C.Formats()[1].UseCount(), 0);
  C.CompactFormats();
  ASSERT_EQ(C.Formats().size(), 2u);
  EXPECT_EQ(C.CharFormat(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(C.FormatOf(1)->Height(), 30);
  // Deleting past the end does nothing; Backspace at 0 does nothing.
  C.DeleteChar(5);
  C.SetCaret(0);
  Press(C, VK_BACK);
  EXPECT_EQ(C.Text(), "ac");
}

TEST(TextControlModel, EqualFormatsShareOneRecord) {
  TIETextControl C(nullptr);
  C.Reset();
  TIETextFormat A = Format(12);
  A.Bytes[5 + 20] = 'z';  // bytes past the face name's length do not make a format different
  C.CurrentFormat() = A;
  C.HandleChar('a');
  C.CurrentFormat() = Format(12);
  C.HandleChar('b');
  ASSERT_EQ(C.Formats().size(), 1u);
  EXPECT_EQ(C.Formats()[0].UseCount(), 2);
}

TEST(TextControlModel, HandedInIndexesOutsideTheListTakeTheFirstFormat) {
  TIETextControl C(nullptr);
  C.SetContent(std::string("abc"), std::vector<int32_t>{0, 255, -1, 0}, std::vector<TIETextFormat>{Format(1), Format(2)});
  C.Reset();
  EXPECT_EQ(C.CharFormat(), (std::vector<int32_t>{0, 0, 0}));
  // Without formats the text gets one built from the defaults, used by every character.
  TIETextControl D(nullptr);
  D.SetContent(std::string("xy"), std::nullopt, std::nullopt);
  D.Reset();
  ASSERT_EQ(D.Formats().size(), 1u);
  EXPECT_EQ(D.Formats()[0].UseCount(), 2);
  std::optional<std::string> T;
  std::optional<std::vector<int32_t>> I;
  std::optional<std::vector<TIETextFormat>> F;
  D.TakeContent(T, I, F);
  EXPECT_EQ(*T, "xy");
  EXPECT_EQ(I->size(), 3u);  // one per character and the terminator's
  EXPECT_EQ(D.Count(), 0);
}

TEST(TextControlModel, InsertAndOverwrite) {
  struct Case {
    bool Overwrite;
    int32_t Caret, SelStart, SelEnd;
    const char* Want;
  };
  const Case Cases[] = {
      {false, 1, 0, 0, "aXbc"}, {true, 1, 0, 0, "aXc"}, {true, 3, 0, 0, "abcX"},
      {false, 0, 1, 3, "aX"},   {true, 0, 0, 2, "X"},
  };
  for (const Case& K : Cases) {
    TIETextControl C(nullptr);
    C.Reset();
    Type(C, "abc");
    if (K.Overwrite) Press(C, VK_INSERT);
    C.SetCaret(K.Caret);
    C.SetSelection(K.SelStart, K.SelEnd);
    C.HandleChar('X');
    EXPECT_EQ(C.Text(), K.Want) << K.Overwrite << " " << K.Caret << " " << K.SelStart;
  }
}

TEST(TextControlModel, SelectionFollowsShiftedCaretMoves) {
  struct Case {
    int32_t Start, End, Old, New;
    bool Shift;
    int32_t WantStart, WantEnd;
  };
  const Case Cases[] = {
      {0, 0, 2, 3, true, 2, 3},  // no selection: (old, new)
      {2, 3, 3, 4, true, 2, 4},  // right past the end moves the end
      {2, 5, 2, 3, true, 3, 5},  // right inside moves the start
      {2, 5, 2, 1, true, 1, 5},  // left before the start moves the start
      {2, 5, 5, 4, true, 2, 4},  // left inside moves the end
      {2, 3, 3, 1, true, 1, 3},  // left past the start moves the start only
      {2, 5, 5, 6, false, 0, 0}, // without Shift the selection goes
  };
  for (const Case& K : Cases) {
    TIETextControl C(nullptr);
    C.Reset();
    Type(C, "abcdefg");
    C.SetSelection(K.Start, K.End);
    C.ExtendSelection(K.Old, K.New, K.Shift);
    EXPECT_EQ(C.SelStart(), K.WantStart) << K.Start << "-" << K.End << " " << K.Old << "->" << K.New;
    EXPECT_EQ(C.SelEnd(), K.WantEnd) << K.Start << "-" << K.End << " " << K.Old << "->" << K.New;
  }
}

TEST(TextControlModel, WordMoves) {
  struct Case {
    const char* Text;
    int32_t From;
    uint16_t Key;
    int32_t Want;
  };
  const Case Cases[] = {
      {"one two", 5, VK_RIGHT, 6},  // inside the last word: stays on its last character
      {"one two", 7, VK_RIGHT, 6},
      {"one two", 0, VK_RIGHT, 3},
      {"one two", 6, VK_LEFT, 4},
      {"one two", 4, VK_LEFT, 0},
      {"one  two", 5, VK_LEFT, 0},
      {"a", 0, VK_LEFT, 0},
  };
  for (const Case& K : Cases) {
    TIETextControl C(nullptr);
    C.Reset();
    Type(C, K.Text);
    C.SetCaret(K.From);
    Press(C, K.Key, Keys({ssCtrl}));
    EXPECT_EQ(C.Caret(), K.Want) << K.Text << " from " << K.From;
  }
}

TEST(TextControlFormats, BoldToggleTakesTheFirstSelectedCharacter) {
  TIETextControl C(nullptr);
  C.Reset();
  C.CurrentFormat() = Format(12, 1 | 2);
  C.HandleChar('a');
  C.CurrentFormat() = Format(12, 4);
  C.HandleChar('b');
  const TIETextFormat Before = C.CurrentFormat();
  C.SetSelection(0, 2);
  Press(C, 'B', Keys({ssCtrl}));
  EXPECT_EQ(C.FormatOf(0)->Style(), 2);
  EXPECT_EQ(C.FormatOf(1)->Style(), 2);
  EXPECT_TRUE(C.CurrentFormat().SameFormat(Before));
  // Without a selection only the current format changes.
  C.SetSelection(0, 0);
  Press(C, 'U', Keys({ssCtrl}));
  EXPECT_EQ(C.CurrentFormat().Style(), 0);
  EXPECT_EQ(C.FormatOf(1)->Style(), 2);
}

TEST(TextControlFormats, FontSizeStepsNeverGiveZero) {
  struct Case {
    uint16_t Key;
    int32_t Height, Want;
  };
  const Case Cases[] = {
      {VK_F1, 1, 1}, {VK_F1, -1, 1}, {VK_F1, 12, 11}, {VK_F1, -12, -11}, {VK_F1, 0, -1},
      {VK_F2, -1, -2}, {VK_F2, 1, 2}, {VK_F2, 0, 1},
  };
  for (const Case& K : Cases) {
    TIETextControl C(nullptr);
    C.Reset();
    C.CurrentFormat() = Format(K.Height);
    Type(C, "ab");
    C.SetSelection(0, 1);
    Press(C, K.Key, Keys({ssShift}));
    EXPECT_EQ(C.FormatOf(0)->Height(), K.Want) << K.Key << " on " << K.Height;
    EXPECT_EQ(C.FormatOf(1)->Height(), K.Height);
    EXPECT_EQ(C.CurrentFormat().Height(), K.Want);
    // The old record lost its user, the new one has it.
    int32_t Users = 0;
    for (const auto& F : C.Formats()) Users += F.UseCount();
    EXPECT_EQ(Users, 2);
  }
}

TEST(TextControlFormats, AlignmentCoversTheCaretsParagraph) {
  TIETextControl C(nullptr);
  C.Reset();
  Type(C, "ab\ncd\nef");
  C.SetCaret(4);
  Press(C, 'R', Keys({ssCtrl}));
  const uint8_t Want[] = {0, 0, 0, 1, 1, 0, 0, 0};
  for (int32_t i = 0; i < C.Count(); ++i) EXPECT_EQ(C.FormatOf(i)->Alignment(), Want[i]) << i;
  EXPECT_EQ(C.CurrentFormat().Alignment(), 1);
}

TEST(TextControlFormats, DialogsApplyAnswersAndCancelChangesNothing) {
  TIETextControl C(nullptr);
  C.Reset();
  C.CurrentFormat() = Format(12);
  Type(C, "ab");
  C.SetSelection(0, 2);
  bool Answer = false;
  C.FontDialog = [&](TIETextFormat& F) {
    EXPECT_EQ(F.Height(), 12);
    F.SetFontName("DejaVu Serif");
    F.SetHeight(-20);
    F.SetColor(0xFF);
    return Answer;
  };
  C.ColorDialog = [&](int32_t& Color) {
    Color = 0x00FF00;
    return Answer;
  };
  Press(C, 'F', Keys({ssCtrl}));
  Press(C, 'G', Keys({ssCtrl}));
  EXPECT_EQ(C.FormatOf(0)->Height(), 12);
  Answer = true;
  Press(C, 'F', Keys({ssCtrl}));
  Press(C, 'G', Keys({ssCtrl}));
  EXPECT_EQ(C.FormatOf(1)->FontName(), "DejaVu Serif");
  EXPECT_EQ(C.FormatOf(1)->Height(), -20);
  EXPECT_EQ(C.FormatOf(1)->Color(), 0xFF);
  EXPECT_EQ(C.FormatOf(1)->Background(), 0x00FF00);
  EXPECT_EQ(C.CurrentFormat().Background(), 0x00FF00);
  // Single-format mode offers no dialogs.
  C.SingleFormat = true;
  C.ColorDialog = [](int32_t& Color) {
    Color = 1;
    return true;
  };
  Press(C, 'G', Keys({ssCtrl}));
  EXPECT_EQ(C.FormatOf(1)->Background(), 0x00FF00);
}

TEST(TextControlLines, HomeEndUpDownFollowTheLaidOutLines) {
  TIETextControl C(nullptr);
  C.Reset();
  Type(C, "abcd efgh");
  // Two visual lines of 10-pixel cells: "abcd " at y 0, "efgh" at y 20.
  for (int32_t i = 0; i < C.Count(); ++i) {
    const bool Second = i >= 5;
    C.Cells()[size_t(i)] = {(Second ? i - 5 : i) * 10 + 1, Second ? 20 : 0, 10, 20, 0, 0};
  }
  C.Cells()[size_t(C.Count())] = {41, 20, 0, 20, 0, 0};
  struct Case {
    int32_t From;
    uint16_t Key;
    int32_t Want;
  };
  const Case Cases[] = {
      {7, VK_HOME, 5}, {2, VK_HOME, 0}, {1, VK_END, 4}, {6, VK_END, 9}, {7, VK_UP, 2},
      {1, VK_UP, 1},   {1, VK_DOWN, 6}, {8, VK_DOWN, 8},
  };
  for (const Case& K : Cases) {
    C.SetCaret(K.From);
    C.SetSelection(0, 0);
    uint16_t Key = K.Key;
    C.HandleKey(Key, {});
    EXPECT_EQ(C.Caret(), K.Want) << K.Key << " from " << K.From;
  }
  // Mouse: a press puts the caret, a Shift press selects from the anchor, a drag selects too.
  int Moves = 0;
  C.OnCursorMoved = [&](TObject*) { ++Moves; };
  C.HandleMouseDown({}, 22, 25);
  EXPECT_EQ(C.Caret(), 7);
  C.HandleMouseDown(Keys({ssShift}), 3, 5);
  EXPECT_EQ(C.SelStart(), 0);
  EXPECT_EQ(C.SelEnd(), 7);
  C.HandleMouseDrag(31, 5);
  EXPECT_EQ(C.SelStart(), 0);
  EXPECT_EQ(C.SelEnd(), 3);
  EXPECT_EQ(Moves, 3);
  // Double click: the word at the caret.
  C.SetCaret(6);
  C.SelectWordAtCaret();
  EXPECT_EQ(C.SelStart(), 5);
  EXPECT_EQ(C.SelEnd(), 9);
}

TEST(TextControlClipboard, CopyWritesCrLfTextAndTheFormattedBlock) {
  TIETextControl C(nullptr);
  C.Reset();
  C.CurrentFormat() = Format(-13, 1);
  Type(C, "a\nb");
  C.SetSelection(0, 3);
  Press(C, 'C', Keys({ssCtrl}));
  EXPECT_EQ(FromClipboard(CF_TEXT), (std::vector<uint8_t>{'a', 13, 10, 'b', 0}));
  const std::vector<uint8_t> Block = FromClipboard(MemoFormat());
  ASSERT_EQ(Block.size(), 3u * 281 + 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Block.data())), "a\nb");
  TIETextFormat Third;
  std::memcpy(Third.Bytes, Block.data() + 4 + 2 * 280, 280);
  EXPECT_TRUE(Third.SameFormat(Format(-13, 1)));

  // Pasted into another control, the text comes back with its formats.
  TIETextControl D(nullptr);
  D.Reset();
  Type(D, "xy");
  D.SetSelection(1, 2);
  Press(D, 'V', Keys({ssCtrl}));
  EXPECT_EQ(D.Text(), "xa\nb");
  EXPECT_EQ(D.FormatOf(3)->Height(), -13);
  EXPECT_EQ(D.FormatOf(3)->Style(), 1);

  // Cut removes the selection; copy without a selection leaves the clipboard alone.
  C.SetSelection(1, 3);
  Press(C, 'X', Keys({ssCtrl}));
  EXPECT_EQ(C.Text(), "a");
  Press(C, 'C', Keys({ssCtrl}));
  EXPECT_EQ(FromClipboard(CF_TEXT), (std::vector<uint8_t>{13, 10, 'b', 0}));
}

TEST(TextControlClipboard, PlainTextPastesSingleLineBreaksInTheCodePage) {
  struct Case {
    uint8_t Charset;
    const char* Utf8;
    const char* Want;
    const char* Back;
  };
  const Case Cases[] = {
      {0, "x\r\ny\r\n", "x\ny\n", "x\r\ny\r\n"},
      {0, "caf\xC3\xA9", "caf\xE9", "caf\xC3\xA9"},
      {204, "\xD0\x96", "\xC6", "\xD0\x96"},  // Cyrillic Zhe in the Russian page
      {161, "\xCE\xA9", "\xD9", "\xCE\xA9"},  // Greek Omega in the Greek page
      {0, "\xE6\xBC\xA2!", "?!", "?!"},       // not in the page
  };
  for (const Case& K : Cases) {
    PutOnClipboard(CF_TEXT, K.Utf8, std::strlen(K.Utf8) + 1);
    TIETextControl C(nullptr);
    C.SetCharset(K.Charset);
    C.Reset();
    Press(C, 'V', Keys({ssCtrl}));
    EXPECT_EQ(C.Text(), K.Want) << K.Utf8;
    // And back out as UTF-8.
    C.SetSelection(0, C.Count());
    Press(C, 'C', Keys({ssCtrl}));
    const std::vector<uint8_t> Out = FromClipboard(CF_TEXT);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Out.data())), K.Back) << K.Utf8;
  }
}

// Damaged or foreign formatted-text blocks paste nothing and are never read past their end.
TEST(TextControlClipboard, CorruptFormattedBlocks) {
  auto Block = [](std::string_view Text, size_t Size, uint8_t Fill = 0) {
    std::vector<uint8_t> B(Size, Fill);
    std::memcpy(B.data(), Text.data(), std::min(Text.size(), Size));
    return B;
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    const char* Want;
  };
  const Case Cases[] = {
      {"one byte, empty text", Block("", 1), ""},
      {"280 bytes", Block("ab", 280), ""},
      {"281 n bytes without the last", Block("ab", 2 * 281), ""},
      {"281 n + 1 bytes", Block("ab", 2 * 281 + 1), "ab"},
      {"longer than needed", Block("ab", 4000), "ab"},
      {"text without its zero", Block("", 300, 'q'), ""},
      {"text of 300 characters in 300 bytes", Block(std::string(299, 'w'), 300, 'w'), ""},
  };
  for (const Case& K : Cases) {
    PutOnClipboard(MemoFormat(), K.Data.data(), K.Data.size());
    TIETextControl C(nullptr);
    C.Reset();
    Press(C, 'V', Keys({ssCtrl}));
    EXPECT_EQ(C.Text(), K.Want) << K.Name;
    std::string T;
    std::vector<TIETextFormat> F;
    EXPECT_EQ(ReadTextMemoBlock(K.Data.data(), K.Data.size(), T, F), *K.Want != 0) << K.Name;
  }
  std::string T;
  std::vector<TIETextFormat> F;
  EXPECT_FALSE(ReadTextMemoBlock(nullptr, 0, T, F));
  const uint8_t Zero[1] = {0};
  EXPECT_FALSE(ReadTextMemoBlock(Zero, 0, T, F));
  // Values no format has read as the plain ones.
  std::vector<uint8_t> Odd = Block("a", 282);
  Odd[2 + 277] = 200;
  Odd[2 + 276] = 99;
  ASSERT_TRUE(ReadTextMemoBlock(Odd.data(), Odd.size(), T, F));
  EXPECT_EQ(F[0].Alignment(), 0);
  EXPECT_EQ(F[0].BrushStyle(), bsSolid);
}

TEST(TextControlFormats, TheDesktopDialogsStartFromTheCurrentFormat) {
  headless::ClearRecords();
  TIETextControl C(nullptr);
  C.Reset();
  C.CurrentFormat() = Format(-13, 2);
  C.CurrentFormat().SetColor(0x123456);
  C.CurrentFormat().SetBackground(0x00FF00);
  Type(C, "ab");
  C.SetSelection(0, 1);
  headless::AnswerNextFontDialog(true, {"DejaVu Serif", -20, 1 | 8, 0xFF});
  Press(C, 'F', Keys({ssCtrl}));
  headless::AnswerNextColorDialog(false);
  Press(C, 'G', Keys({ssCtrl}));
  const auto Fonts = headless::FontDialogs();
  ASSERT_EQ(Fonts.size(), 1u);
  EXPECT_EQ(Fonts[0].Name, "DejaVu Sans Mono");
  EXPECT_EQ(Fonts[0].Height, -13);
  EXPECT_EQ(Fonts[0].Style, 2);
  EXPECT_EQ(Fonts[0].Color, 0x123456);
  ASSERT_EQ(headless::ColorDialogs().size(), 1u);
  EXPECT_EQ(headless::ColorDialogs()[0], 0x00FF00);
  EXPECT_EQ(C.FormatOf(0)->FontName(), "DejaVu Serif");
  EXPECT_EQ(C.FormatOf(0)->Height(), -20);
  EXPECT_EQ(C.FormatOf(0)->Style(), 9);
  EXPECT_EQ(C.FormatOf(0)->Color(), 0xFF);
  EXPECT_EQ(C.FormatOf(0)->Background(), 0x00FF00);  // cancelled
  EXPECT_EQ(C.FormatOf(1)->FontName(), "DejaVu Sans Mono");
  headless::ClearRecords();
}

}  // namespace
}  // namespace zv

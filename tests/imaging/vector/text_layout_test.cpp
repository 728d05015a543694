// The formatted text editor's layout and painting: margins, line breaking, alignment and justification,
// the caret, scaling, collected text, fixed heights, auto-height and the selection's inverted colours.
// A fixed-pitch font keeps every position exact.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "imaging/core/ie_canvas.h"
#include "imaging/vector/text_control.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

constexpr const char* kMono = "DejaVu Sans Mono";

TIETextFormat Mono(uint8_t Align = 0, int32_t Height = -13) {
  TIETextFormat F;
  F.SetFontName(kMono);
  F.SetHeight(Height);
  F.SetAlignment(Align);
  F.SetBrushStyle(bsClear);
  return F;
}

struct Surface {
  TBitmap Bmp;
  std::unique_ptr<TIECanvas> IC;
  Surface(int32_t W, int32_t H) {
    Bmp.SetPixelFormat(pf24bit);
    Bmp.SetSize(W, H);
    Bmp.Canvas()->Brush()->SetColor(clWhite);
    Bmp.Canvas()->FillRect(TRect(0, 0, W, H));
    IC = std::make_unique<TIECanvas>(Bmp.Canvas(), false);
  }
};

// A control holding Text typed with the format F.
std::unique_ptr<TIETextControl> Make(std::string_view Text, const TIETextFormat& F = Mono()) {
  auto C = std::make_unique<TIETextControl>(nullptr);
  C->DefaultFont()->SetName(kMono);
  C->DefaultFont()->SetHeight(-13);
  C->Reset();
  C->CurrentFormat() = F;
  for (char Ch : Text) C->InsertChar(Ch);
  C->Background()->SetStyle(bsClear);
  return C;
}

int32_t CharWidth() {
  Surface S(10, 10);
  S.Bmp.Canvas()->Font()->SetName(kMono);
  S.Bmp.Canvas()->Font()->SetHeight(-13);
  return S.Bmp.Canvas()->TextWidth("M");
}

TEST(TextLayout, RightAlignedLinesEndLeftOffsetPlusOneBeforeTheAreaEdge) {
  const int32_t W = CharWidth();
  ASSERT_GT(W, 3);
  for (double Margin : {0.0, 10.0, 25.0}) {
    auto C = Make("ab\ncde", Mono(1));
    C->MarginLeft = Margin;
    Surface S(200, 100);
    C->LayoutAndPaint(S.IC.get(), 0, 0, 200, 100);
    const int32_t LeftOff = int32_t(200 * Margin / 100) + 1;
    const int32_t AreaRight = LeftOff + int32_t(200 - 200 * Margin / 100) - 2;
    EXPECT_EQ(C->Cells()[1].X + W, AreaRight - (LeftOff + 1)) << Margin;
    EXPECT_EQ(C->Cells()[5].X + W, AreaRight - (LeftOff + 1)) << Margin;
  }
}

TEST(TextLayout, JustifyStretchesAllLinesButTheParagraphsLast) {
  const int32_t W = CharWidth();
  const int32_t Width = 13 * W + 4;  // "aaa bbb ccc " fits, "ddd" goes to the next line
  auto C = Make("aaa bbb ccc ddd", Mono(3));
  Surface S(400, 200);
  C->LayoutAndPaint(S.IC.get(), 0, 0, Width, 200);
  const auto& Cells = C->Cells();
  ASSERT_GE(Cells[12].Y, 0);
  EXPECT_GT(Cells[12].Y, Cells[0].Y);  // "ddd" on the second line
  // The first line's last counted character moved right of its natural place; the last line did not.
  EXPECT_GT(Cells[10].X, 1 + 10 * W);
  EXPECT_EQ(Cells[13].X, 1 + W);
  EXPECT_EQ(Cells[14].X, 1 + 2 * W);
}

TEST(TextLayout, LongWordsBreakBeforeTheOverflowingCharacter) {
  const int32_t W = CharWidth();
  const int32_t Width = 5 * W + 4;  // area 5W + 2: k characters fit while k W + 2 < 5W + 2
  auto C = Make("abcdefghij");
  Surface S(400, 200);
  C->LayoutAndPaint(S.IC.get(), 0, 0, Width, 200);
  const auto& Cells = C->Cells();
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(Cells[size_t(i)].Y, Cells[0].Y) << i;
  EXPECT_GT(Cells[4].Y, Cells[0].Y);
  EXPECT_EQ(Cells[4].X, 1);

  // A single character wider than the line stops the layout.
  auto D = Make("abc");
  D->LayoutAndPaint(S.IC.get(), 0, 0, W + 3, 200);
  EXPECT_EQ(D->Cells()[0].X, -1);
}

TEST(TextLayout, DegenerateBoxesAndFontsEndAtOnce) {
  struct Case {
    int32_t Width, Height, FontHeight, Fixed;
    double Scale;
  };
  const Case Cases[] = {
      {1, 100, -13, 0, 1.0}, {100, 1, -13, 0, 1.0}, {3, 3, -13, 0, 1.0}, {100, 100, 0, 0, 1.0},
      {100, 100, -13, 0, 1e-9}, {100, 100, -13, 1, 3.0}, {100, 4, -1, 0, 1.0}, {6, 100, -13, 0, 0.5},
  };
  for (const Case& K : Cases) {
    auto C = Make("word word\n\nmore", Mono(3, K.FontHeight));
    C->FixedHeight = K.Fixed;
    C->Scale = K.Scale;
    Surface S(120, 120);
    C->LayoutAndPaint(S.IC.get(), 0, 0, K.Width, K.Height);
    EXPECT_GE(C->CaretX(), 0) << K.Width << "x" << K.Height;
  }
}

TEST(TextLayout, ScaleTwoDoublesPositionsAndTheCaret) {
  const int32_t W = CharWidth();
  auto One = Make("abc\nde");
  auto Two = Make("abc\nde");
  One->SetCaret(2);
  Two->SetCaret(2);
  Two->Scale = 2.0;
  Surface S1(300, 200), S2(600, 400);
  One->LayoutAndPaint(S1.IC.get(), 0, 0, 150, 100);
  Two->LayoutAndPaint(S2.IC.get(), 0, 0, 150, 100);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Two->Cells()[i].X, One->Cells()[i].X * 2) << i;
    EXPECT_EQ(Two->Cells()[i].Y, One->Cells()[i].Y * 2) << i;
  }
  EXPECT_EQ(One->CaretX(), 1 + 2 * W);
  EXPECT_EQ(Two->CaretX(), One->CaretX() * 2);
  EXPECT_EQ(Two->CaretY(), One->CaretY() * 2);
  EXPECT_EQ(Two->CaretHeight(), One->CaretHeight() * 2);
  // The text drawn at scale 2 is twice as high: count dark rows in each.
  auto DarkRows = [](TBitmap& B) {
    int32_t Rows = 0;
    for (int32_t y = 0; y < B.Height(); ++y)
      for (int32_t x = 2; x < B.Width() / 2; ++x)
        if ((ColorToRGB(B.Canvas()->Pixels(x, y)) & 0xFF) < 128 && y > 2 && y < B.Height() - 3) {
          ++Rows;
          break;
        }
    return Rows;
  };
  const int32_t R1 = DarkRows(S1.Bmp), R2 = DarkRows(S2.Bmp);
  EXPECT_GT(R1, 5);
  EXPECT_NEAR(R2, 2 * R1, 4);
}

TEST(TextLayout, CaretPlaces) {
  struct Case {
    const char* Text;
    int32_t Caret;
    int32_t XChars;  // caret x in characters from the left offset
    int32_t Line;    // caret on line 0, 1 ...
  };
  const Case Cases[] = {
      {"", 0, 0, 0}, {"abc", 3, 3, 0}, {"abc", 1, 1, 0}, {"ab\n", 3, 0, 1}, {"\nab", 0, 0, 0}, {"ab\ncd", 4, 1, 1},
  };
  const int32_t W = CharWidth();
  for (const Case& K : Cases) {
    auto C = Make(K.Text);
    C->FixedHeight = 20;
    C->SetCaret(K.Caret);
    Surface S(200, 200);
    C->LayoutAndPaint(S.IC.get(), 0, 0, 200, 200);
    EXPECT_EQ(C->CaretX(), 1 + K.XChars * W) << K.Text << " " << K.Caret;
    EXPECT_EQ(C->CaretY(), 1 + K.Line * 20) << K.Text << " " << K.Caret;
  }
}

TEST(TextLayout, FixedHeightAndLineSpacingSetTheLinePitch) {
  auto C = Make("a\nb\nc");
  C->FixedHeight = 17;
  C->LineSpacing = 3;
  Surface S(100, 100);
  C->LayoutAndPaint(S.IC.get(), 0, 0, 100, 100);
  EXPECT_EQ(C->Cells()[0].Y, 1);
  EXPECT_EQ(C->Cells()[2].Y, 21);
  EXPECT_EQ(C->Cells()[4].Y, 41);
}

TEST(TextLayout, CollectedTextHoldsTheVisibleLines) {
  auto C = Make("one\ntwo\nthree");
  C->FixedHeight = 20;
  C->CollectText = true;
  Surface S(100, 100);
  // Area height 43: the baselines of lines one and two (20 and 40) lie inside it, the third's not.
  C->LayoutAndPaint(S.IC.get(), 0, 0, 100, 45);
  EXPECT_EQ(C->Collected, "one\ntwo\n");
  C->LayoutAndPaint(S.IC.get(), 0, 0, 100, 100);
  EXPECT_EQ(C->Collected, "one\ntwo\nthree\n");
}

TEST(TextLayout, SelectedCharactersAreInverted) {
  TIETextFormat F = Mono();
  F.SetBrushStyle(bsSolid);
  F.SetBackground(int32_t(clWhite));
  F.SetColor(int32_t(clBlack));
  auto C = Make("MMMM", F);
  C->SetSelection(2, 4);
  Surface S(100, 40);
  C->LayoutAndPaint(S.IC.get(), 0, 0, 100, 40);
  const TIETextCell& Plain = C->Cells()[0];
  const TIETextCell& Sel = C->Cells()[2];
  // The top row of a character cell is background: white for plain, black for selected.
  EXPECT_EQ(ColorToRGB(S.Bmp.Canvas()->Pixels(Plain.X + 1, Plain.Y + 1)), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(S.Bmp.Canvas()->Pixels(Sel.X + 1, Sel.Y + 1)), 0x000000);
}

// After each edit the editor draws again only the rows of the lines that changed; its window must show
// what a whole painting shows. Each step is checked against the control painted whole.
TEST(TextLayout, TypingRedrawsWhatAWholePaintingDraws) {
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 420, 360);
  Form.Show();
  headless::Pump();
  auto C = std::make_unique<TIETextControl>(nullptr);
  C->DefaultFont()->SetName("DejaVu Sans");
  C->Reset();
  C->Background()->SetColor(TColor(0xF0F8FF));
  const char* Paragraphs[] = {"Justified words of every length keep wrapping when one more letter comes in here.\n",
                              "Right aligned short line\n", "Centred text that also runs over two lines of the box.\n",
                              "Left again, in a serif face, wrapping a long word: abcdefghijklmnopqrst uv"};
  const uint8_t Aligns[] = {3, 1, 2, 0};
  for (int p = 0; p < 4; ++p) {
    TIETextFormat F = Mono(Aligns[p], -12 - p);
    F.SetFontName(p == 3 ? "DejaVu Serif" : "DejaVu Sans");
    F.SetStyle(uint8_t(p == 1 ? 4 : 0));  // one underlined paragraph
    C->CurrentFormat() = F;
    for (const char* Ch = Paragraphs[p]; *Ch; ++Ch) C->InsertChar(*Ch);
  }
  C->SetParent(&Form);
  C->SetBounds(10, 10, 200, 300);
  C->SetVisible(true);
  headless::Pump();

  auto Key = [&](uint16_t K, TShiftState S = {}) { C->HandleKey(K, S); };
  TShiftState Shift, Ctrl;
  Shift.Include(ssShift);
  Ctrl.Include(ssCtrl);
  const struct {
    const char* Name;
    std::function<void()> Edit;
  } Steps[] = {
      {"a letter inside the justified paragraph", [&] { C->SetCaret(30), C->HandleChar('x'); }},
      {"a letter at the start", [&] { C->SetCaret(0), C->HandleChar('W'); }},
      {"a line break in a line", [&] { C->SetCaret(50), Key(VK_RETURN); }},
      {"backspace joins it again", [&] { Key(VK_BACK); }},
      {"the first word of a wrapped line shrinks onto the line before",
       [&] {
         C->SetCaret(250);
         for (int i = 0; i < 6; ++i) Key(VK_BACK);
       }},
      {"the caret moves only", [&] { Key(VK_LEFT); }},
      {"the selection grows", [&] { Key(VK_RIGHT, Shift), Key(VK_RIGHT, Shift), Key(VK_RIGHT, Shift); }},
      {"bold selection", [&] { Key('B', Ctrl); }},
      {"typing over the selection", [&] { C->HandleChar('y'); }},
      {"a letter in the last line", [&] { C->SetCaret(C->Count()), C->HandleChar('z'); }},
      {"a letter, then the text painted elsewhere before the window",
       [&] {
         C->SetCaret(120), C->HandleChar('w');
         Surface Elsewhere(200, 300);
         C->LayoutAndPaint(Elsewhere.IC.get(), 0, 0, 200, 300);
       }},
      {"scale 2", [&] { C->Scale = 2, C->HandleChar('q'); }},
      {"a letter at scale 2", [&] { C->SetCaret(10), C->HandleChar('k'); }},
  };
  // What the window shows after the edit, then what a new control with the same content, selection and
  // scale paints in its place.
  for (const auto& Step : Steps) {
    Step.Edit();
    C->Repaint();
    headless::Pump();
    const headless::TPixels Typed = headless::WindowPixels(Form.Handle());
    auto D = std::make_unique<TIETextControl>(nullptr);
    D->DefaultFont()->SetName("DejaVu Sans");
    D->SetContent(C->Text(), C->CharFormat(), C->Formats());
    D->Reset();
    D->Background()->SetColor(TColor(0xF0F8FF));
    D->SetSelection(C->SelStart(), C->SelEnd());
    D->SetCaret(C->Caret());
    D->Scale = C->Scale;
    C->SetVisible(false);
    D->SetParent(&Form);
    D->SetBounds(10, 10, 200, 300);
    D->SetVisible(true);
    headless::Pump();
    const headless::TPixels Whole = headless::WindowPixels(Form.Handle());
    D->SetParent(nullptr);
    C->SetVisible(true);
    headless::Pump();
    ASSERT_EQ(Typed.Data.size(), Whole.Data.size());
    size_t Off = 0;
    for (size_t i = 0; i < Typed.Data.size(); ++i) Off += Typed.Data[i] != Whole.Data[i];
    EXPECT_EQ(Off, 0u) << Step.Name;
  }
  C->SetParent(nullptr);
}

TEST(TextLayout, TheEditorGrowsWhenTypingReachesBelowItsArea) {
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 400, 300);
  Form.Show();
  headless::Pump();
  auto C = Make("");
  C->SetParent(&Form);
  C->SetBounds(10, 10, 120, 30);
  C->AutoHeight = true;
  C->FixedHeight = 12;
  C->SetVisible(true);
  headless::Pump();
  const int32_t H0 = C->Height();
  C->HandleChar('a');
  C->Repaint();
  headless::Pump();
  EXPECT_EQ(C->Height(), H0);
  for (char Ch : std::string("\n\n\nb")) {
    if (Ch == '\n') {
      uint16_t K = VK_RETURN;
      C->HandleKey(K, {});
    } else {
      C->HandleChar(Ch);
    }
    C->Repaint();
    headless::Pump();
  }
  EXPECT_GT(C->Height(), H0);
  C->SetParent(nullptr);
}

}  // namespace
}  // namespace zv

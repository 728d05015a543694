// The control buttons: the custom button's pressed look, tracking and ChangeState, its caption passes
// (raised, recessed, shadow, light, disabled, vertical placement); the control button's faces in each
// state, its glyph cells, clicks and the click repeat; and a picture of a form with every control of
// this group saved as PNG.
#include "controls/rz_button.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls/rz_common.h"
#include "controls/rz_edit.h"
#include "controls/rz_frames.h"
#include "controls/rz_spnedt.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/gdi_text.h"
#include "platform/png_dump.h"
#include "platform/std_controls.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

COLORREF Rgb(TColor Color) { return COLORREF(ColorToRGB(Color) & 0xFFFFFF); }

bool Near(COLORREF A, COLORREF B) {
  for (int Shift : {0, 8, 16})
    if (std::abs(int((A >> Shift) & 0xFF) - int((B >> Shift) & 0xFF)) > 0x10) return false;
  return true;
}

// A custom button that counts its completed clicks and paints only its caption.
class TTestButton : public TRzCustomButton {
public:
  using TRzCustomButton::TRzCustomButton;
  int StateChanges = 0;
  std::vector<bool> Looks;
  UINT Flags = DT_CENTER | DT_WORDBREAK;

protected:
  void ChangeState() override { ++StateChanges; }
  void ShowPressedState() override { Looks.push_back(FPressedLook); }
  void Paint() override {
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(ClientRect());
    DrawCaptionText(Canvas(), ClientRect(), Flags);
  }
};

class RzButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 160);
    Form->SetColor(clWhite);
    Custom = new TTestButton(Form);
    Custom->SetParent(Form);
    Custom->SetBounds(10, 10, 115, 30);
    Button = new TRzControlButton(Form);
    Button->SetParent(Form);
    Button->SetBounds(150, 10, 17, 21);
    Button->OnClick = [this](TObject*) { ++Clicks; };
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  COLORREF Pixel(TControl* C, int X, int Y) {
    headless::Pump();
    return headless::ClientPixel(Form->Handle(), C->Left() + X, C->Top() + Y);
  }
  // Counts the custom button's pixels of (nearly: the text is smoothed) one colour, and the rows they
  // lie in.
  int CountColour(COLORREF Colour, int* FirstRow = nullptr, int* LastRow = nullptr) {
    headless::Pump();
    int N = 0;
    if (FirstRow) *FirstRow = -1;
    for (int Y = 0; Y < Custom->Height(); ++Y)
      for (int X = 0; X < Custom->Width(); ++X)
        if (Near(headless::ClientPixel(Custom->Handle(), X, Y), Colour)) {
          ++N;
          if (FirstRow && *FirstRow < 0) *FirstRow = Y;
          if (LastRow) *LastRow = Y;
        }
    return N;
  }
  void PressButton(int X, int Y, TInputButton B = TInputButton::Left) {
    headless::MouseDown(Form->Handle(), Button->Left() + X, Button->Top() + Y, B);
    headless::Pump();
  }
  void ReleaseButton(int X, int Y, TInputButton B = TInputButton::Left) {
    headless::MouseUp(Form->Handle(), Button->Left() + X, Button->Top() + Y, B);
    headless::Pump();
  }

  TForm* Form = nullptr;
  TTestButton* Custom = nullptr;
  TRzControlButton* Button = nullptr;
  int Clicks = 0;
};

// --- the custom button ---

TEST_F(RzButtonTest, ACustomButtonTracksThePressAndChangesStateOnlyOnAReleaseInside) {
  headless::MouseDown(Custom->Handle(), 20, 10);
  headless::Pump();
  EXPECT_TRUE(Custom->Focused());
  EXPECT_TRUE(Custom->PressedLook());
  EXPECT_TRUE(Custom->Tracking());
  headless::MouseMove(Custom->Handle(), 20, 30);  // the row just below the client area
  headless::Pump();
  EXPECT_FALSE(Custom->PressedLook());
  headless::MouseMove(Custom->Handle(), 114, 29);
  headless::Pump();
  EXPECT_TRUE(Custom->PressedLook());
  headless::MouseUp(Custom->Handle(), 20, 30);
  headless::Pump();
  EXPECT_EQ(Custom->StateChanges, 0);
  EXPECT_FALSE(Custom->Tracking());
  // Press, out, in, the release's own move below the area, the release.
  EXPECT_EQ(Custom->Looks, (std::vector<bool>{true, false, true, false, false}));

  headless::Click(Custom->Handle(), 5, 5);
  headless::Pump();
  EXPECT_EQ(Custom->StateChanges, 1);

  // A disabled button does not track, so its release changes nothing.
  Custom->SetEnabled(false);
  headless::Click(Custom->Handle(), 5, 5);
  headless::Pump();
  EXPECT_EQ(Custom->StateChanges, 1);
  EXPECT_FALSE(Custom->Focused());
}

TEST_F(RzButtonTest, CaptionPassesFollowTheTextStyle) {
  Custom->SetCaption("Raised");
  Custom->Font()->SetColor(clBlack);
  Custom->SetTextHighlightColor(clRed);
  Custom->SetTextShadowColor(clBlue);
  const struct {
    const char* Name;
    TTextStyle Style;
    bool Light;
    bool Highlight, Shadow;
  } Cases[] = {
      {"normal", tsNormal, false, false, false},
      {"raised", tsRaised, false, true, true},
      {"raised light", tsRaised, true, true, false},
      {"recessed", tsRecessed, false, true, true},
      {"recessed light", tsRecessed, true, true, false},
      {"shadow", tsShadow, false, false, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Custom->SetTextStyle(C.Style);
    Custom->SetLightTextStyle(C.Light);
    EXPECT_GT(CountColour(0), 0) << "the caption itself";
    EXPECT_EQ(CountColour(Rgb(clRed)) > 0, C.Highlight);
    EXPECT_EQ(CountColour(Rgb(clBlue)) > 0, C.Shadow);
  }
  // The light pass of a raised caption lies up and left of the caption.
  Custom->SetTextStyle(tsRaised);
  Custom->SetLightTextStyle(true);
  int RedFirst = 0, BlackFirst = 0;
  CountColour(Rgb(clRed), &RedFirst);
  CountColour(0, &BlackFirst);
  EXPECT_EQ(RedFirst, BlackFirst - 1);

  Custom->SetEnabled(false);
  EXPECT_EQ(CountColour(0), 0);
  EXPECT_GT(CountColour(Rgb(clBtnShadow)), 0);
  EXPECT_GT(CountColour(Rgb(clBtnHighlight)), 0);
}

TEST_F(RzButtonTest, TheCaptionIsPlacedVertically) {
  Custom->SetCaption("Top");
  Custom->Font()->SetColor(clBlack);
  Custom->SetHeight(60);
  int TopFirst = 0, CenterFirst = 0, CenterLast = 0, BottomLast = 0, Unused = 0;
  Custom->SetAlignmentVertical(avTop);
  CountColour(0, &TopFirst, &Unused);
  Custom->SetAlignmentVertical(avCenter);
  CountColour(0, &CenterFirst, &CenterLast);
  Custom->SetAlignmentVertical(avBottom);
  CountColour(0, &Unused, &BottomLast);
  EXPECT_LT(TopFirst, 10);
  EXPECT_GT(CenterFirst, 15);
  EXPECT_LT(CenterLast, 45);
  EXPECT_GT(BottomLast, 50);
}

// --- the control button ---

TEST_F(RzButtonTest, AControlButtonPaintsItsFaceForEachState) {
  // Frames as the painters draw them on a bitmap of the button's size.
  auto OuterOf = [](TFrameStyle Style) {
    TBitmap B;
    B.SetSize(17, 21);
    PaintFrameStyle(B.Canvas(), Rect(0, 0, 17, 21), Style);
    return Rgb(B.Canvas()->Pixels(0, 0));
  };
  Button->SetColor(clLime);
  EXPECT_EQ(Pixel(Button, 0, 0), OuterOf(fsRaised)) << "up";
  EXPECT_EQ(Pixel(Button, 8, 10), Rgb(clBtnFace));
  PressButton(8, 10);
  EXPECT_TRUE(Button->Pressed());
  EXPECT_EQ(Pixel(Button, 0, 0), Rgb(clBtnShadow)) << "pressed: a box outline";
  ReleaseButton(8, 10);

  Button->SetFlat(true);
  headless::MouseMove(Form->Handle(), 280, 150);
  headless::Pump();
  EXPECT_EQ(Pixel(Button, 0, 0), Rgb(clLime)) << "flat at rest: no border";
  headless::MouseMove(Form->Handle(), Button->Left() + 5, Button->Top() + 5);
  headless::Pump();
  EXPECT_TRUE(Button->MouseOver());
  EXPECT_EQ(Pixel(Button, 0, 0), OuterOf(fsPopup)) << "flat and hot";
  PressButton(5, 5);
  EXPECT_EQ(Pixel(Button, 0, 0), OuterOf(fsStatus)) << "flat and pressed";
  ReleaseButton(5, 5);

  // Arrows and the drop-down arrow draw dark ink in the middle of the face.
  for (TRzControlButtonStyle S : {cbsUp, cbsDown, cbsLeft, cbsRight, cbsDropDown}) {
    Button->SetFlat(false);
    Button->SetStyle(S);
    int Ink = 0;
    for (int Y = 3; Y < 18; ++Y)
      for (int X = 3; X < 14; ++X) Ink += Pixel(Button, X, Y) == 0;
    EXPECT_GT(Ink, 2) << int(S);
  }
}

TEST_F(RzButtonTest, TheGlyphSizeChoosesTheNumberOfCells) {
  const struct {
    int W, H;
    TNumGlyphs Expected;
  } Cases[] = {{32, 16, 2}, {80, 16, 1}, {30, 16, 3}, {64, 16, 4}, {16, 16, 1},
               {0, 16, 1}};  // no width is no cells: one, so that a cell's width stays defined
  for (const auto& C : Cases) {
    Button->SetNumGlyphs(3);
    TBitmap G;
    G.SetSize(C.W, C.H);
    Button->SetGlyph(&G);
    EXPECT_EQ(Button->NumGlyphs(), C.Expected) << C.W << "x" << C.H;
  }
}

TEST_F(RzButtonTest, ADisabledButtonShowsTheSecondGlyphCellWhenThereIsOne) {
  TBitmap G;
  G.SetSize(16, 8);
  G.Canvas()->Brush()->SetColor(clRed);
  G.Canvas()->FillRect(Rect(0, 0, 8, 8));
  G.Canvas()->Brush()->SetColor(clBlue);
  G.Canvas()->FillRect(Rect(8, 0, 16, 8));
  G.Canvas()->SetPixels(0, 7, clFuchsia);  // the transparent colour
  Button->SetGlyph(&G);
  ASSERT_EQ(Button->NumGlyphs(), 2);
  EXPECT_EQ(Pixel(Button, 8, 10), Rgb(clRed));
  // The cell is centred in the face: its transparent bottom-left pixel shows the face, its neighbour not.
  EXPECT_EQ(Pixel(Button, 4, 13), Rgb(clBtnFace)) << "the transparent corner";
  EXPECT_EQ(Pixel(Button, 5, 13), Rgb(clRed));
  Button->SetEnabled(false);
  EXPECT_EQ(Pixel(Button, 8, 10), Rgb(clBlue));
  Button->SetNumGlyphs(1);
  G.SetSize(8, 8);
  Button->SetGlyph(&G);
  EXPECT_EQ(Pixel(Button, 8, 10), Rgb(clRed)) << "a single cell is used when disabled too";
}

TEST_F(RzButtonTest, AClickNeedsALeftPressAndAReleaseInside) {
  PressButton(5, 5);
  ReleaseButton(5, 5);
  EXPECT_EQ(Clicks, 1);
  PressButton(5, 5);
  ReleaseButton(30, 5);
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(Button->Pressed());
  PressButton(5, 5, TInputButton::Right);
  ReleaseButton(5, 5, TInputButton::Right);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Button->RepeatTimer(), nullptr) << "no timer without RepeatClicks";
}

TEST_F(RzButtonTest, AFailingRepeatedClickStopsTheTimerButTheButtonStaysPressed) {
  Button->SetRepeatClicks(true);
  PressButton(5, 5);
  Button->OnClick = [](TObject*) { throw std::runtime_error("boom"); };
  TTimer* T = Button->RepeatTimer();
  ASSERT_NE(T, nullptr);
  EXPECT_ANY_THROW(T->OnTimer(T));
  EXPECT_FALSE(T->Enabled());
  EXPECT_TRUE(Button->Pressed());
  Button->OnClick = nullptr;
  ReleaseButton(5, 5);
  EXPECT_FALSE(Button->Pressed());
}

TEST_F(RzButtonTest, AFormWithEveryControlOfThisGroupIsSavedAsPng) {
  Custom->SetCaption("Custom button");
  Custom->SetTextStyle(tsRaised);
  int X = 150;
  for (TRzControlButtonStyle S : {cbsUp, cbsDown, cbsLeft, cbsRight, cbsDropDown}) {
    auto* B = new TRzControlButton(Form);
    B->SetParent(Form);
    B->SetStyle(S);
    B->SetBounds(X += 20, 10, 17, 21);
  }
  auto* Edit = new TRzCustomEdit(Form);
  Edit->SetParent(Form);
  Edit->SetBounds(10, 50, 120, 22);
  Edit->SetText("Framed edit");
  Edit->SetFrameColor(TColor(0xDCA065));
  Edit->SetFrameVisible(true);
  auto* Spin = new TRzSpinEdit(Form);
  Spin->SetParent(Form);
  Spin->SetBounds(10, 90, 59, 21);
  Spin->SetFlatButtons(true);
  Spin->SetFlatButtonColor(TColor(0xF3D28D));
  Spin->SetFrameColor(TColor(0xDCA065));
  Spin->SetFrameVisible(true);
  Spin->SetMax(10000);
  Spin->SetIntValue(320);
  auto* Plain = new TRzSpinEdit(Form);
  Plain->SetParent(Form);
  Plain->SetBounds(80, 90, 59, 21);
  Plain->SetIntValue(42);
  auto* Disabled = new TRzSpinEdit(Form);
  Disabled->SetParent(Form);
  Disabled->SetBounds(150, 90, 59, 21);
  Disabled->SetFrameVisible(true);
  Disabled->SetEnabled(false);
  Form->SetColor(clBtnFace);
  headless::Pump();
  headless::TPixels Shot = headless::WindowPixels(Form->Handle());
  ASSERT_EQ(Shot.Width, 300);
  // The spin edit's up button lies at its right edge, drawn in the button face colour.
  EXPECT_EQ(headless::ClientPixel(Plain->SpinButtons()->Handle(), 8, 1), Rgb(clBtnFace));
  TBitmap Bmp;
  Bmp.SetSize(Shot.Width, Shot.Height);
  for (int Y = 0; Y < Shot.Height; ++Y)
    for (int X2 = 0; X2 < Shot.Width; ++X2) {
      const uint32_t P = Shot.At(X2, Y);
      Bmp.Canvas()->SetPixels(X2, Y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  EXPECT_TRUE(SaveBitmapToPng(Bmp.Handle(), std::string(ZV_TEST_TMP) + "/controls_edits_and_buttons.png"));
}

}  // namespace
}  // namespace zv

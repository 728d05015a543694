// Panels and group boxes: the client rectangle their frames, bevel and border widths leave, the
// children's enabled states across a disabling, transparent erasing, caption placement, the grid,
// and the room each group-box style reserves for its caption.
#include "controls/rz_panel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "controls/rz_common.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

COLORREF Rgb(TColor Color) { return COLORREF(ColorToRGB(Color) & 0xFFFFFF); }

class RzPanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    Form->SetColor(clWhite);
    Panel = new TRzPanel(Form);
    Panel->SetParent(Form);
    Panel->SetBounds(10, 10, 200, 100);
    Child = new TPanel(Form);
    Child->SetParent(Panel);
    Child->SetAlign(alClient);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void Show() {
    Form->Show();
    headless::Pump();
  }
  // The aligned child's insets from the panel's edges: left, top, right, bottom.
  std::array<int, 4> Insets() {
    Panel->Realign();
    return {Child->Left(), Child->Top(), 200 - Child->Left() - Child->Width(), 100 - Child->Top() - Child->Height()};
  }

  TForm* Form = nullptr;
  TRzPanel* Panel = nullptr;
  TPanel* Child = nullptr;
};

struct FrameCase {
  TFrameStyleEx Outer;
  TFrameStyleEx Inner;
  int32_t BevelWidth;
  int32_t BorderWidth;
  TSides Sides;
  std::array<int, 4> Expected;
};

TEST_F(RzPanelTest, FramesBevelAndBorderWidthsShrinkTheClientRectangle) {
  const FrameCase Cases[] = {
      {fsRaised, fsNone, 1, 0, sdAllSides, {2, 2, 2, 2}},
      {fsStatus, fsNone, 3, 0, sdAllSides, {3, 3, 3, 3}},
      {fsRaised, fsNone, 1, 0, TSides{sdTop}, {0, 2, 0, 0}},
      {fsFlat, fsNone, 1, 0, sdAllSides, {1, 1, 1, 1}},
      {fsFlat, fsLowered, 1, 4, sdAllSides, {7, 7, 7, 7}},
      {fsPopup, fsStatus, 2, 0, TSides{sdLeft, sdBottom}, {4, 0, 0, 4}},
      {fsNone, fsNone, 5, 3, sdAllSides, {3, 3, 3, 3}},
      {fsFlatRounded, fsFlatBold, 1, 0, sdAllSides, {4, 4, 4, 4}},
  };
  for (const auto& C : Cases) {
    Panel->SetBorderOuter(C.Outer);
    Panel->SetBorderInner(C.Inner);
    Panel->SetBevelWidth(C.BevelWidth);
    Panel->SetBorderWidth(C.BorderWidth);
    Panel->SetBorderSides(C.Sides);
    EXPECT_EQ(Insets(), C.Expected) << int(C.Outer) << "/" << int(C.Inner) << " bevel " << C.BevelWidth
                                    << " border " << C.BorderWidth;
  }
}

TEST_F(RzPanelTest, AdjustRectForFramesCountsBorderWidthOnlyWhenAsked) {
  Panel->SetBorderWidth(4);
  TRect R = Rect(0, 0, 100, 50);
  Panel->AdjustRectForFrames(R, true);
  EXPECT_EQ(R, Rect(6, 6, 94, 44));
  R = Rect(0, 0, 100, 50);
  Panel->AdjustRectForFrames(R, false);
  EXPECT_EQ(R, Rect(2, 2, 98, 48));
}

TEST_F(RzPanelTest, DisablingKeepsTheChildrensOwnEnabledStates) {
  auto* A = new TPanel(Form);
  A->SetParent(Panel);
  A->SetEnabled(false);
  Show();
  Panel->SetEnabled(false);
  EXPECT_FALSE(Child->Enabled());
  EXPECT_FALSE(A->Enabled());
  Panel->SetEnabled(true);
  EXPECT_TRUE(Child->Enabled());
  EXPECT_FALSE(A->Enabled());
}

TEST_F(RzPanelTest, PaintsFrameInteriorAndGrid) {
  Panel->SetBorderOuter(fsFlat);
  Panel->SetFlatColorAdjustment(0);
  Panel->SetFlatColor(TColor(0x0000FF));
  Panel->SetColor(TColor(0x00FF00));
  Child->SetVisible(false);
  Panel->SetShowGrid(true);
  Panel->SetGridColor(TColor(0xFF0000));
  Show();
  HWND H = Panel->Handle();
  EXPECT_EQ(headless::ClientPixel(H, 0, 50), Rgb(TColor(0x0000FF)));
  EXPECT_EQ(headless::ClientPixel(H, 199, 50), Rgb(TColor(0x0000FF)));
  EXPECT_EQ(headless::ClientPixel(H, 5, 5), Rgb(TColor(0x00FF00)));
  // Grid dots from the interior's corner (1, 1), every 8 pixels, one pixel in.
  EXPECT_EQ(headless::ClientPixel(H, 1 + 8 - 1, 1 + 8 - 1), Rgb(TColor(0xFF0000)));
  EXPECT_EQ(headless::ClientPixel(H, 1 + 16 - 1, 1 + 24 - 1), Rgb(TColor(0xFF0000)));
  EXPECT_EQ(headless::ClientPixel(H, 1 + 16, 1 + 24 - 1), Rgb(TColor(0x00FF00)));
}

TEST_F(RzPanelTest, BottomAlignedCaptionEndsAPixelAboveTheInset) {
  Child->SetVisible(false);
  Panel->SetBorderOuter(fsNone);
  Panel->SetColor(clWhite);
  Panel->Font()->SetColor(clBlack);
  Panel->SetCaption("first line of text second line of text");
  Panel->SetWidth(120);
  Panel->SetAlignmentVertical(avBottom);
  Show();
  HWND H = Panel->Handle();
  int Lowest = -1, Highest = 1000;
  for (int Y = 0; Y < 100; ++Y)
    for (int X = 0; X < 120; ++X)
      if (headless::ClientPixel(H, X, Y) != Rgb(clWhite)) {
        Lowest = std::max(Lowest, Y);
        Highest = std::min(Highest, Y);
      }
  ASSERT_GE(Lowest, 0);
  EXPECT_GE(Lowest, 80);  // the text sits at the bottom
  EXPECT_LE(Lowest, 98);  // and leaves the last row free
  EXPECT_GT(Lowest - Highest, 14);  // two lines
}

TEST_F(RzPanelTest, TransparentPanelWithoutFullRepaintLeavesTheEraseToItsPaint) {
  Panel->SetTransparent(true);
  Panel->SetFullRepaint(false);
  Show();
  EXPECT_FALSE(Panel->ControlStyle().Contains(csOpaque));
  // The erase is answered without painting anything: the bitmap keeps its colour.
  TBitmap Bmp;
  Bmp.SetSize(4, 4);
  Bmp.Canvas()->SetPixels(1, 1, TColor(0x123456));
  HDC DC = Bmp.Canvas()->Handle();
  EXPECT_EQ(Panel->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0), 1);
  EXPECT_EQ(Bmp.Canvas()->Pixels(1, 1), TColor(0x123456));
  // With FullRepaint the parent's image (the white form) is painted in.
  Panel->SetFullRepaint(true);
  EXPECT_EQ(Panel->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0), 1);
  EXPECT_EQ(Bmp.Canvas()->Pixels(1, 1), TColor(0xFFFFFF));
  Panel->SetTransparent(false);
  EXPECT_TRUE(Panel->ControlStyle().Contains(csOpaque));
}

TEST_F(RzPanelTest, BottomAndRightAlignedPanelsKeepTheirFarEdge) {
  Panel->SetAlign(alNone);
  Panel->SetBounds(10, 10, 200, 100);
  Panel->SetAlign(alBottom);
  int Bottom = Panel->Top() + Panel->Height();
  Panel->SetHeight(60);
  EXPECT_EQ(Panel->Top() + Panel->Height(), Bottom);
}

TEST_F(RzPanelTest, GroupBoxStylesReserveRoomForTheCaption) {
  auto* Box = new TRzGroupBox(Form);
  Box->SetParent(Form);
  Box->SetBounds(10, 10, 200, 105);
  Box->SetCaption("Options");
  auto* Inside = new TPanel(Form);
  Inside->SetParent(Box);
  Inside->SetAlign(alClient);
  int TH = TextExtentInFont(Box->Font(), "Yy").cy;
  struct Case {
    TRzGroupBoxStyle Style;
    int Left, Top;
  } Cases[] = {
      {gsFlat, 1, TH - 0 + 1},
      {gsStandard, 2, TH + 2},
      {gsCustom, 2, TH + 2},
      {gsTopLine, 0, TH},
      {gsBanner, 0, TH + 8},
      {gsUnderline, 0, TH + 4},
  };
  for (const auto& C : Cases) {
    Box->SetGroupStyle(C.Style);
    Box->Realign();
    EXPECT_EQ(Inside->Left(), C.Left) << int(C.Style);
    EXPECT_EQ(Inside->Top(), C.Top) << int(C.Style);
  }
}

TEST_F(RzPanelTest, TopLineGroupBoxDrawsOnlyAGroovedTopLine) {
  Child->SetVisible(false);
  auto* Box = new TRzGroupBox(Form);
  Box->SetParent(Form);
  Box->SetBounds(10, 120, 200, 60);
  Box->SetColor(clWhite);
  Box->SetGroupStyle(gsTopLine);
  Box->SetCaption("Line");
  Show();
  int Y0 = TextExtentInFont(Box->Font(), "Pp").cy / 2 - 1;
  HWND H = Box->Handle();
  EXPECT_EQ(headless::ClientPixel(H, 150, Y0), Rgb(clBtnShadow));
  EXPECT_EQ(headless::ClientPixel(H, 150, Y0 + 1), Rgb(clBtnHighlight));
  EXPECT_EQ(headless::ClientPixel(H, 0, 40), Rgb(clWhite));
  EXPECT_EQ(headless::ClientPixel(H, 150, 59), Rgb(clWhite));
}

}  // namespace
}  // namespace zv

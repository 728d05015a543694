// The framed label in the headless back end: angle and rotation rules, the three-dimensional text
// styles and the disabled look, alignment, layout and word wrap, the frame and text rectangle,
// automatic size, blinking through the shared timer with messages pumped, fly-by colours, caption
// condensing and the frame controller.
#include "controls/rz_label.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kFace = TColor(0xFFFFFF);
constexpr TColor kInk = TColor(0x000000);
constexpr TColor kShadow = TColor(0xFF0000);
constexpr TColor kHigh = TColor(0x0000FF);
constexpr TColor kFormColor = TColor(0x40A040);

class RzLabelTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 320, 200);
    Form->SetColor(kFormColor);
    Label = new TRzLabel(Form);
    Label->SetParent(Form);
    Label->SetAutoSize(false);
    Label->SetBounds(10, 10, 200, 60);
    Label->SetParentColor(false);
    Label->SetColor(kFace);
    Label->Font()->SetName("Tahoma");
    Label->Font()->SetHeight(-28);
    Label->Font()->SetStyle({fsBold});
    Label->Font()->SetColor(kInk);
    Label->SetShadowColor(kShadow);
    Label->SetHighlightColor(kHigh);
    Label->SetCaption("HIH");
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void Show() {
    Form->Show();
    headless::Pump();
    Form->Update();
  }
  // A pixel in the label's coordinates.
  TColor At(int X, int Y) {
    return TColor(headless::ClientPixel(Form->Handle(), Label->Left() + X, Label->Top() + Y));
  }
  // The box (label coordinates) of the pixels of exactly Colour; empty when there are none.
  TRect BoxOf(TColor Colour) {
    TRect B = Rect(10000, 10000, -1, -1);
    for (int Y = 0; Y < Label->Height(); ++Y)
      for (int X = 0; X < Label->Width(); ++X)
        if (At(X, Y) == Colour) {
          B.Left = std::min(B.Left, X);
          B.Top = std::min(B.Top, Y);
          B.Right = std::max(B.Right, X + 1);
          B.Bottom = std::max(B.Bottom, Y + 1);
        }
    return B;
  }
  bool Has(TColor Colour) { return BoxOf(Colour).Right > 0; }
  // The first row holding anything but the face colour.
  int InkTop() {
    for (int Y = 0; Y < Label->Height(); ++Y)
      for (int X = 0; X < Label->Width(); ++X)
        if (At(X, Y) != kFace) return Y;
    return -1;
  }
  // The caption's line height and width in the label's font.
  TSize LineSize(const std::string& Text) {
    HDC DC = GetDC(nullptr);
    HGDIOBJ Old = SelectObject(DC, Label->Font()->Handle());
    SIZE S{};
    GetTextExtentPoint32(DC, std::string_view(Text), &S);
    SelectObject(DC, Old);
    ReleaseDC(nullptr, DC);
    return {S.cx, S.cy};
  }

  TForm* Form = nullptr;
  TRzLabel* Label = nullptr;
};

TEST_F(RzLabelTest, AngleIsNormalisedAndRotationFollows) {
  const std::pair<int, int> Cases[] = {{-30, 330}, {370, 10}, {-400, -40}, {720, 0}, {90, 90}};
  for (auto [In, Stored] : Cases) {
    Label->SetAngle(In);
    EXPECT_EQ(Label->Angle(), Stored) << In;
  }
  Label->SetRotation(roNone);
  EXPECT_EQ(Label->Angle(), 0);
  Label->SetAngle(45);
  EXPECT_EQ(Label->Rotation(), roFlat) << "a turned label on roNone becomes flat-rotated";
  Label->SetRotation(roCurve);
  Label->SetCenterPoint(cpLowerLeft);
  Label->SetAngle(30);
  EXPECT_EQ(Label->Rotation(), roCurve);
  Label->SetRotation(roFlat);
  EXPECT_EQ(Label->Angle(), 0);
  EXPECT_EQ(Label->CenterPoint(), cpCenter);
}

TEST_F(RzLabelTest, TextStylesDrawTheirPassesInTheirColours) {
  struct Case {
    TTextStyle Style;
    bool Light;
    bool Shadow, High;
  } Cases[] = {
      {tsNormal, false, false, false}, {tsRaised, false, true, true},  {tsRaised, true, false, true},
      {tsRecessed, false, true, true}, {tsRecessed, true, false, true}, {tsShadow, false, true, false},
  };
  Show();
  for (const Case& C : Cases) {
    Label->SetTextStyle(C.Style);
    Label->SetLightTextStyle(C.Light);
    Label->Repaint();
    SCOPED_TRACE(testing::Message() << "style " << int(C.Style) << " light " << C.Light);
    EXPECT_TRUE(Has(kInk));
    EXPECT_EQ(Has(kShadow), C.Shadow);
    EXPECT_EQ(Has(kHigh), C.High);
    const TRect Ink = BoxOf(kInk);
    if (C.Style == tsRaised && !C.Light) {
      EXPECT_EQ(BoxOf(kShadow).Right, Ink.Right + 1) << "dark pass one pixel to the lower right";
      EXPECT_EQ(BoxOf(kHigh).Left, Ink.Left - 1) << "light pass one pixel to the upper left";
    }
    if (C.Style == tsRecessed && !C.Light) {
      EXPECT_EQ(BoxOf(kHigh).Right, Ink.Right + 1);
      EXPECT_EQ(BoxOf(kShadow).Left, Ink.Left - 1);
    }
    if (C.Style == tsShadow) {
      EXPECT_EQ(BoxOf(kShadow).Bottom, Ink.Bottom + Label->ShadowDepth());
    }
  }
}

TEST_F(RzLabelTest, DisabledLabelDrawsLightAndGreyWhateverItsStyle) {
  Label->SetTextStyle(tsShadow);
  Label->SetColor(kFormColor);
  Label->SetEnabled(false);
  Show();
  EXPECT_FALSE(Has(kInk));
  EXPECT_FALSE(Has(kShadow));
  const TColor Light = TColor(ColorToRGB(clBtnHighlight)), Grey = TColor(ColorToRGB(clBtnShadow));
  ASSERT_TRUE(Has(Grey));
  ASSERT_TRUE(Has(Light));
  EXPECT_EQ(BoxOf(Light).Right, BoxOf(Grey).Right + 1) << "light pass at (+1, +1) under the grey one";
  EXPECT_EQ(BoxOf(Light).Bottom, BoxOf(Grey).Bottom + 1);
}

TEST_F(RzLabelTest, AlignmentAndLayoutPlaceTheCaption) {
  Show();
  const TSize Line = LineSize("HIH");
  const TRect LeftTop = BoxOf(kInk);
  Label->SetAlignment(taRightJustify);
  Label->SetLayout(tlBottom);
  Label->Repaint();
  const TRect RightBottom = BoxOf(kInk);
  EXPECT_EQ(RightBottom.Right - LeftTop.Right, 200 - Line.cx);
  EXPECT_EQ(RightBottom.Top - LeftTop.Top, 60 - Line.cy);
  Label->SetAlignment(taCenter);
  Label->SetLayout(tlCenter);
  Label->Repaint();
  const TRect Centre = BoxOf(kInk);
  EXPECT_EQ(Centre.Top - LeftTop.Top, (60 - Line.cy) / 2);
  EXPECT_NEAR(Centre.Left - LeftTop.Left, (200 - Line.cx) / 2, 1);

  // The main window's read-outs: 21 pixels high, centred, the free height halved and truncated.
  Label->Font()->SetHeight(-11);
  Label->Font()->SetStyle({});
  Label->SetHeight(21);
  Label->SetLayout(tlTop);
  Label->Repaint();
  const int Top = InkTop();
  Label->SetLayout(tlCenter);
  Label->Repaint();
  EXPECT_EQ(InkTop() - Top, (21 - LineSize("HIH").cy) / 2);
}

TEST_F(RzLabelTest, WordWrapBreaksTheCaptionIntoLines) {
  Label->SetCaption("HIH HIH HIH");
  Label->SetBounds(10, 10, 120, 120);
  Show();
  const TSize Line = LineSize("HIH");
  EXPECT_LT(BoxOf(kInk).Height(), Line.cy);
  Label->SetWordWrap(true);
  Label->Repaint();
  EXPECT_GT(BoxOf(kInk).Height(), 2 * Line.cy) << "three words on three lines";
  EXPECT_LE(BoxOf(kInk).Right, 120);
}

TEST_F(RzLabelTest, FrameBorderAndMarginShrinkTheTextRectangle) {
  const TColor Frame = TColor(0xB99D7F);
  Label->SetBorderOuter(fsFlat);
  Label->SetFlatColor(Frame);
  Label->SetFlatColorAdjustment(0);
  Label->SetBorderWidth(2);
  Label->SetTextMargin(1);
  EXPECT_EQ(Label->TextRect(), Rect(2 + 1 + 1, 4, 200 - 4, 60 - 4));
  Label->SetBorderSides({sdLeft, sdTop});
  EXPECT_EQ(Label->TextRect(), Rect(4, 4, 200 - 3, 60 - 3));
  Label->SetBorderSides(sdAllSides);
  Show();
  EXPECT_EQ(At(0, 30), Frame);
  EXPECT_EQ(At(199, 30), Frame);
  EXPECT_EQ(At(100, 0), Frame);
  EXPECT_EQ(At(100, 30), kFace);

  Label->SetTransparent(true);
  Form->Invalidate();
  Form->Update();
  EXPECT_EQ(At(0, 30), Frame) << "a transparent label still paints its frame";
  EXPECT_EQ(At(100, 30), kFormColor) << "but no background";
}

TEST_F(RzLabelTest, AutoSizeAddsFramesBorderAndShadow) {
  Label->SetBorderOuter(fsFlat);
  Label->SetBorderWidth(2);
  Label->SetTextStyle(tsShadow);
  Label->SetShadowDepth(3);
  Label->SetAutoSize(true);
  const TSize Line = LineSize("HIH");
  EXPECT_EQ(Label->Width(), Line.cx + 2 * (1 + 2) + 3);
  EXPECT_EQ(Label->Height(), Line.cy + 2 * (1 + 2) + 3);
  // A right-aligned label keeps its right edge.
  const int Right = Label->Left() + Label->Width();
  Label->SetAlignment(taRightJustify);
  Label->SetCaption("HIH HIH");
  EXPECT_EQ(Label->Left() + Label->Width(), Right);
  // Condensing turns automatic size off.
  Label->SetCondenseCaption(ccAtEnd);
  EXPECT_FALSE(Label->AutoSize());
}

TEST_F(RzLabelTest, CondensedCaptionStaysInsideTheLabel) {
  Label->SetCaption("A long caption that does not fit at all");
  Label->SetBounds(10, 10, 120, 40);
  Label->SetCondenseCaption(ccAtEnd);
  Show();
  const TRect Ink = BoxOf(kInk);
  ASSERT_GT(Ink.Right, 0);
  EXPECT_LE(Ink.Right, 120);
  EXPECT_NE(Label->DrawTextFlags() & DT_END_ELLIPSIS, 0u);
  Label->SetCondenseCaption(ccWithinPath);
  EXPECT_NE(Label->DrawTextFlags() & DT_PATH_ELLIPSIS, 0u);
}

TEST_F(RzLabelTest, BlinkingAlternatesWithTheSharedTimerWhileMessagesArePumped) {
  const TColor Blink = TColor(0x00C0FF);
  Label->SetBlinkColor(Blink);
  Label->SetBlinkIntervalOn(20);
  Label->SetBlinkIntervalOff(20);
  EXPECT_EQ(BlinkingControlsList->BlinkIntervalOn(), 20) << "the intervals are the shared list's";
  Show();
  EXPECT_EQ(Label->Perform(CM_BLINKQUERY, 0, 0), 0);
  Label->SetBlinking(true);
  EXPECT_EQ(Label->Perform(CM_BLINKQUERY, 0, 0), 1);

  bool SawBlink = false, SawInk = false;
  for (int I = 0; I < 400 && !(SawBlink && SawInk); ++I) {
    Sleep(10);
    headless::Pump();
    Form->Update();
    if (Label->CurrentColor() == Blink) SawBlink = SawBlink || Has(Blink);
    if (SawBlink && Label->CurrentColor() == kInk) SawInk = Has(kInk);
  }
  EXPECT_TRUE(SawBlink);
  EXPECT_TRUE(SawInk) << "and back to the font colour";

  Label->Perform(CM_BLINKSTATE, 1, 0);
  EXPECT_EQ(Label->CurrentColor(), Blink);
  Label->SetBlinking(false);
  EXPECT_EQ(Label->CurrentColor(), kInk) << "the font colour shows at once";
  EXPECT_TRUE(Has(kInk));
  EXPECT_FALSE(Has(Blink));
  Label->Perform(CM_BLINKSTATE, 1, 0);
  EXPECT_EQ(Label->CurrentColor(), kInk) << "a label not blinking ignores the timer";
}

TEST_F(RzLabelTest, SharedBlinkingListComesAndGoesWithTheLabels) {
  ASSERT_NE(BlinkingControlsList, nullptr);
  const int Count = BlinkingControlsList->Count();
  auto* Second = new TRzLabel(nullptr);
  EXPECT_EQ(BlinkingControlsList->Count(), Count + 1);
  delete Second;
  EXPECT_EQ(BlinkingControlsList->Count(), Count);
  delete Form;
  Form = nullptr;
  EXPECT_EQ(BlinkingControlsList, nullptr) << "the last label frees the list";
}

TEST_F(RzLabelTest, FlyByColourWhileTheMouseIsOver) {
  Label->SetFlyByEnabled(true);
  Label->SetFlyByColor(clRed);
  int Entered = 0, Left = 0;
  Label->OnMouseEnter = [&](TObject*) { ++Entered; };
  Label->OnMouseLeave = [&](TObject*) { ++Left; };
  Show();
  Label->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(Label));
  EXPECT_EQ(Label->Font()->Color(), clRed);
  Form->Update();
  EXPECT_TRUE(Has(TColor(0x0000FF)));
  Label->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(Label));
  EXPECT_EQ(Label->Font()->Color(), kInk);
  EXPECT_EQ(Entered, 1);
  EXPECT_EQ(Left, 1);

  // Through the real mouse as well.
  headless::MouseMove(Form->Handle(), Label->Left() + 5, Label->Top() + 5);
  headless::Pump();
  EXPECT_EQ(Label->Font()->Color(), clRed);
  headless::MouseMove(Form->Handle(), 300, 190);
  headless::Pump();
  EXPECT_EQ(Label->Font()->Color(), kInk);

  Label->SetDesigning(true);
  Label->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(Label));
  EXPECT_EQ(Label->Font()->Color(), kInk) << "nothing at design time";
  Label->SetDesigning(false);
}

TEST_F(RzLabelTest, FrameControllerPushesFrameAndColours) {
  auto* Controller = new TRzFrameController(Form);
  Controller->SetFrameStyle(fsGroove);
  Controller->SetFrameColor(clNavy);
  Controller->SetColor(TColor(0x808080));
  Label->SetFrameController(Controller);
  EXPECT_EQ(Label->BorderOuter(), fsNone) << "nothing while the controller's frame is hidden";
  Controller->SetFrameVisible(true);
  EXPECT_EQ(Label->BorderOuter(), fsGroove);
  EXPECT_EQ(Label->FlatColor(), clNavy);
  EXPECT_EQ(Label->FlatColorAdjustment(), 0);
  EXPECT_EQ(Label->BorderHighlight(), LightenColor(Label->Color(), 100));
  EXPECT_EQ(Label->BorderShadow(), DarkenColor(Label->Color(), 50));
  delete Controller;
  EXPECT_EQ(Label->FrameController(), nullptr);
}

TEST_F(RzLabelTest, RotatedAndArcTextDraw) {
  Label->SetBounds(10, 10, 150, 150);
  Label->SetAngle(90);
  Show();
  const TRect Up = BoxOf(kInk);
  ASSERT_GT(Up.Right, 0);
  EXPECT_GT(Up.Height(), Up.Width()) << "text turned to run upwards";
  Label->SetRotation(roCurve);
  Label->SetAngle(0);
  Label->SetCaption("HIHIH");
  Label->Repaint();
  const TRect Arc = BoxOf(kInk);
  ASSERT_GT(Arc.Right, 0);
  EXPECT_LT(Arc.Top, 75) << "the arc starts at the top";
}

}  // namespace
}  // namespace zv

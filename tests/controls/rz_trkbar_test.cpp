// The track bar: its thumb, track, selection and focus drawn in each state at the ends and the middle
// of the range; stepping by keys, paging by a click on the track, dragging the thumb, OnChange once
// per change, vetoes, the value rules of the setters, and a disabled bar that ignores input.
#include "controls/rz_trkbar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "controls/rz_artwork.h"
#include "controls/rz_common.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/resources.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

COLORREF Rgb(TColor Color) { return COLORREF(ColorToRGB(Color) & 0xFFFFFF); }

// A focusable neighbour, so that the bar can be left unfocused.
class TSink : public TCustomControl {
public:
  explicit TSink(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
};

class RzTrackBarTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    RzArtworkStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 120);
    Form->SetColor(clWhite);
    Sink = new TSink(Form);
    Sink->SetParent(Form);
    Sink->SetBounds(250, 80, 20, 20);
    Bar = new TRzTrackBar(Form);
    Bar->SetParent(Form);
    Bar->SetBounds(10, 10, 200, 35);
    Bar->OnChange = [this](TObject* Sender) {
      EXPECT_EQ(Sender, Bar);
      Changes.push_back(Bar->Position());
    };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void Show() {
    Form->Show();
    headless::Pump();
    Sink->SetFocus();
    headless::Pump();
  }
  COLORREF Pixel(int X, int Y) { return headless::ClientPixel(Bar->Handle(), X, Y); }
  // The thumb's left edge for a 200-pixel bar with the 11-pixel pointer thumb.
  int ThumbLeft() const {
    return int((200 - 11 - 8) * int64_t(Bar->Position() - Bar->Min()) / (Bar->Max() - Bar->Min())) + 4;
  }

  TForm* Form = nullptr;
  TSink* Sink = nullptr;
  TRzTrackBar* Bar = nullptr;
  std::vector<int32_t> Changes;
};

// --- painting ---

enum class State { Normal, Hot, Pressed, Disabled, Focused };
struct PaintCase {
  int32_t Position;
  State Look;
};

class RzTrackBarPaintTest : public RzTrackBarTest, public ::testing::WithParamInterface<PaintCase> {};

TEST_P(RzTrackBarPaintTest, ThumbTrackSelectionAndFocusShowTheState) {
  const PaintCase& C = GetParam();
  Bar->SetSelStart(2);
  Bar->SetSelEnd(7);
  Bar->SetPosition(C.Position);
  if (C.Look == State::Disabled) Bar->SetEnabled(false);
  Show();
  const int L = ThumbLeft();
  // The standard pointer sits two pixels above centre on the track: rows 12..32.
  EXPECT_EQ(Bar->ThumbRect(), Rect(L, 12, L + 11, 33));
  if (C.Look == State::Hot || C.Look == State::Pressed) {
    headless::MouseMove(Bar->Handle(), L + 5, 25);
    headless::Pump();
    EXPECT_TRUE(Bar->Hot());
  }
  if (C.Look == State::Pressed) {
    headless::MouseDown(Bar->Handle(), L + 5, 25);
    headless::Pump();
  }
  if (C.Look == State::Focused) {
    Bar->SetFocus();
    headless::Pump();
  }

  const TColor HotColor = Bar->HotTrackColor();
  const bool HotLook = C.Look == State::Hot || C.Look == State::Pressed;
  const bool Disabled = C.Look == State::Disabled;
  // The shaded outer ring at the thumb's lower right, its face, and the key colour's hole above the
  // pointer's shoulder, where the bar's background shows through the mask.
  const TColor Corner = HotLook ? HotColor : Disabled ? clBtnShadow : cl3DDkShadow;
  const TColor Face = HotLook ? MixColors(clWhite, HotColor, 190) : clBtnFace;
  EXPECT_EQ(Pixel(L + 10, 32), Rgb(Corner));
  EXPECT_EQ(Pixel(L + 5, 25), Rgb(Face));
  EXPECT_EQ(Pixel(L, 12), Rgb(clWhite));
  EXPECT_EQ(Pixel(L + 5, 12), Rgb(Corner));  // the tip: its right side is in shade

  // The track runs 9..191 with the band over 2..7 of 0..10: x 45..136 (rounded), its end lines
  // reaching above the track; a disabled bar shows neither and a plain face-coloured track.
  const int BandX = C.Position == 5 ? 120 : 60;
  EXPECT_EQ(Pixel(BandX, 24), Rgb(Disabled ? clBtnFace : clOlive));
  EXPECT_EQ(Pixel(170, 24), Rgb(Disabled ? clBtnFace : cl3DLight));
  EXPECT_EQ(Pixel(136, 15), Rgb(Disabled ? clWhite : clBtnShadow));
  // A top tick for value 3 (the pointer points up) at x = Trunc(3 * 18.1) + 4 + 5.
  EXPECT_EQ(Pixel(63, 6), Rgb(clBtnShadow));
  EXPECT_EQ(Pixel(63, 32), Rgb(clWhite));  // no bottom ticks for a standard pointer

  // The focus rectangle runs round the client area.
  bool FocusShown = false;
  for (int X = 0; X < 4; ++X) FocusShown = FocusShown || Pixel(X, 0) != Rgb(clWhite);
  EXPECT_EQ(FocusShown, C.Look == State::Focused || C.Look == State::Pressed);  // a press focuses
}

std::vector<PaintCase> PaintCases() {
  std::vector<PaintCase> Cases;
  for (int32_t Position : {0, 5, 10})
    for (State Look : {State::Normal, State::Hot, State::Pressed, State::Disabled, State::Focused})
      Cases.push_back({Position, Look});
  return Cases;
}
INSTANTIATE_TEST_SUITE_P(RzTrackBar, RzTrackBarPaintTest, ::testing::ValuesIn(PaintCases()));

TEST_F(RzTrackBarTest, EveryThumbResourceHasItsSizeAndMaskConvention) {
  struct Case {
    const char* Base;
    int W, H;
  };
  for (Case C : {Case{"RZTRKBAR_H_BOX", 11, 21}, Case{"RZTRKBAR_V_BOX", 21, 11}, Case{"RZTRKBAR_H_MIXER", 21, 16},
                 Case{"RZTRKBAR_V_MIXER", 16, 21}, Case{"RZTRKBAR_H_PTR", 11, 21}, Case{"RZTRKBAR_V_PTR", 21, 11},
                 Case{"RZTRKBAR_WIN95", 11, 21}, Case{"RZTRKBAR_H_FLAT", 10, 20}, Case{"RZTRKBAR_V_FLAT", 20, 10},
                 Case{"RZTRKBAR_H_XPPTR", 11, 21}, Case{"RZTRKBAR_V_XPPTR", 21, 11},
                 Case{"RZTRKBAR_H_XPBOX", 11, 21}, Case{"RZTRKBAR_V_XPBOX", 21, 11}}) {
    SCOPED_TRACE(C.Base);
    for (const char* Suffix : {"", "_HOT", "_DISABLED", "_MASK"}) {
      auto Bmp = LoadBitmapResource(std::string(C.Base) + Suffix);
      ASSERT_TRUE(Bmp);
      EXPECT_EQ(Bmp->Width(), C.W);
      EXPECT_EQ(Bmp->Height(), C.H);
    }
    // Mask black exactly where the images are not black outside the shape.
    auto Mask = LoadBitmapResource(std::string(C.Base) + "_MASK");
    auto Image = LoadBitmapResource(C.Base);
    for (int Y = 0; Y < C.H; ++Y)
      for (int X = 0; X < C.W; ++X) {
        const bool Opaque = (ColorToRGB(Mask->Canvas()->Pixels(X, Y)) & 0xFFFFFF) == 0;
        if (!Opaque) {
          EXPECT_EQ(ColorToRGB(Image->Canvas()->Pixels(X, Y)) & 0xFFFFFF, 0) << X << "," << Y;
        }
      }
  }
  EXPECT_NE(LoadCursor(nullptr, "RZTRKBAR_H_CURSOR"), nullptr);
  EXPECT_NE(LoadCursor(nullptr, "RZTRKBAR_V_CURSOR"), nullptr);
  TBitmap Loaded;
  Loaded.LoadFromResourceName(0, "rztrkbar_h_box");  // names compare without case
  EXPECT_EQ(Loaded.Width(), 11);
  EXPECT_THROW(Loaded.LoadFromResourceName(0, "NO_SUCH_BITMAP"), EInvalidGraphic);
}

// --- keyboard ---

struct KeyCase {
  int Key;
  int32_t From;
  int32_t To;
};
class RzTrackBarKeyTest : public RzTrackBarTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(RzTrackBarKeyTest, KeysStepPageAndJumpWithOneChangeEach) {
  const KeyCase& C = GetParam();
  Bar->SetMax(100);
  Bar->SetPageSize(10);
  Bar->SetPosition(C.From);
  Show();
  Bar->SetFocus();
  headless::Pump();
  Changes.clear();
  headless::PressKey(C.Key);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), C.To);
  EXPECT_EQ(Changes, C.From == C.To ? std::vector<int32_t>{} : std::vector<int32_t>{C.To});
}

INSTANTIATE_TEST_SUITE_P(
    RzTrackBar, RzTrackBarKeyTest,
    ::testing::Values(KeyCase{VK_RIGHT, 50, 51}, KeyCase{VK_UP, 50, 51}, KeyCase{VK_ADD, 50, 51},
                      KeyCase{VK_LEFT, 50, 49}, KeyCase{VK_DOWN, 50, 49}, KeyCase{VK_SUBTRACT, 50, 49},
                      KeyCase{VK_PRIOR, 50, 60}, KeyCase{VK_NEXT, 50, 40}, KeyCase{VK_HOME, 50, 0},
                      KeyCase{VK_END, 50, 100}, KeyCase{VK_RIGHT, 100, 100}, KeyCase{VK_LEFT, 0, 0},
                      KeyCase{VK_PRIOR, 95, 100}, KeyCase{VK_NEXT, 5, 0}, KeyCase{'A', 50, 50}));

TEST_F(RzTrackBarTest, SizingDecidesOrientationAndAVerticalBarTurnsHomeAndEnd) {
  Bar->SetMax(100);
  Bar->SetPosition(50);
  Show();
  Bar->SetBounds(10, 10, 35, 100);
  headless::Pump();
  EXPECT_EQ(Bar->Orientation(), orVertical);
  Bar->SetFocus();
  headless::Pump();
  headless::PressKey(VK_HOME);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 100);
  headless::PressKey(VK_END);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 0);
  Bar->SetBounds(10, 10, 60, 60);
  headless::Pump();
  EXPECT_EQ(Bar->Orientation(), orHorizontal);  // a square bar lies flat
}

TEST_F(RzTrackBarTest, AKeyDownHandlerThatSwallowsTheKeyStopsTheStep) {
  Bar->SetPosition(5);
  Bar->OnKeyDown = [](TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_RIGHT) Key = 0;
  };
  Show();
  Bar->SetFocus();
  headless::Pump();
  headless::PressKey(VK_RIGHT);
  headless::PressKey(VK_LEFT);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 4);
}

// --- mouse ---

TEST_F(RzTrackBarTest, AClickOnTheTrackPagesTowardThePressOnce) {
  Bar->SetMax(10);
  Bar->SetPageSize(3);
  Show();
  headless::Click(Bar->Handle(), 150, 24);  // right of the thumb
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 3);
  EXPECT_TRUE(Bar->Focused());
  headless::Click(Bar->Handle(), 150, 24);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 6);
  headless::Click(Bar->Handle(), 20, 24);  // left of it
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 3);
  headless::Click(Bar->Handle(), 150, 5);  // above the track: nothing
  headless::Pump();
  EXPECT_EQ(Changes, (std::vector<int32_t>{3, 6, 3}));
}

TEST_F(RzTrackBarTest, DraggingTheThumbFollowsTheMouseWithOneChangePerValue) {
  Bar->SetMax(100);
  Show();
  // Grab the thumb at its centre (9, 22): the value is Round((X - 9) / 182 * 100).
  headless::MouseMove(Bar->Handle(), 9, 22);
  headless::MouseDown(Bar->Handle(), 9, 22);
  headless::Pump();
  for (int X : {100, 100, 101, 1000, -50}) headless::MouseMove(Bar->Handle(), X, 22);
  headless::Pump();
  EXPECT_EQ(Changes, (std::vector<int32_t>{50, 51, 100, 0}));
  headless::MouseMove(Bar->Handle(), 100, 60);  // dragging is not bound to the track's rows
  headless::MouseUp(Bar->Handle(), 100, 60);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 50);
  EXPECT_FALSE(Bar->Hot());
  EXPECT_EQ(GetCapture(), nullptr);
  headless::MouseMove(Bar->Handle(), 150, 22);  // released: moving no longer drags
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 50);
}

TEST_F(RzTrackBarTest, AVetoKeepsTheThumbForKeysPagingDraggingAndProgram) {
  Bar->SetMax(100);
  Bar->SetPosition(10);
  int Asked = 0;
  Bar->OnChanging = [&](TObject*, int32_t, bool& Allow) {
    ++Asked;
    Allow = false;
  };
  Show();
  Bar->SetFocus();
  headless::Pump();
  Changes.clear();
  headless::PressKey(VK_RIGHT);
  headless::Click(Bar->Handle(), 150, 24);
  const int Centre = ThumbLeft() + 5;
  headless::MouseMove(Bar->Handle(), Centre, 22);
  headless::MouseDown(Bar->Handle(), Centre, 22);
  headless::MouseMove(Bar->Handle(), Centre + 40, 22);
  headless::MouseUp(Bar->Handle(), Centre + 40, 22);
  headless::Pump();
  Bar->SetPosition(70);
  EXPECT_GE(Asked, 4);  // a key, a page, at least one drag step, the program
  EXPECT_EQ(Bar->Position(), 10);
  EXPECT_TRUE(Changes.empty());
}

TEST_F(RzTrackBarTest, ADisabledBarIgnoresKeysClicksAndDrags) {
  Bar->SetMax(100);
  Bar->SetEnabled(false);
  Show();
  EXPECT_FALSE(Bar->CanFocus());
  headless::PressKey(VK_END);
  headless::Click(Bar->Handle(), 150, 24);
  headless::MouseDown(Bar->Handle(), 9, 22);
  headless::MouseMove(Bar->Handle(), 120, 22);
  headless::MouseUp(Bar->Handle(), 120, 22);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 0);
  EXPECT_TRUE(Changes.empty());
}

// --- value rules ---

TEST_F(RzTrackBarTest, RangeAndSelectionSettersKeepTheInvariants) {
  Bar->SetMax(0);  // meets Min
  EXPECT_EQ(Bar->Max(), 1);
  Bar->SetMax(100);
  Bar->SetMin(105);
  EXPECT_EQ(Bar->Min(), 99);
  Bar->SetMin(0);
  EXPECT_EQ(Bar->SelStart(), 99);  // raised with Min, and not lowered again
  Bar->SetSelStart(0);
  Bar->SetSelEnd(0);

  Bar->SetSelEnd(30);
  Bar->SetSelStart(50);
  EXPECT_EQ(Bar->SelStart(), 30);
  Bar->SetSelStart(0);
  Bar->SetSelEnd(0);
  Bar->SetSelStart(50);  // no end yet: the start is not held back
  EXPECT_EQ(Bar->SelStart(), 50);
  Bar->SetSelEnd(20);
  EXPECT_EQ(Bar->SelEnd(), 50);
  Bar->SetSelStart(-5);
  EXPECT_EQ(Bar->SelStart(), 0);

  Bar->SetSelEnd(80);
  Bar->SetPosition(60);
  Changes.clear();
  Bar->SetMax(70);  // cuts the selection silently, moves the thumb with an event
  EXPECT_EQ(Bar->SelEnd(), 70);
  EXPECT_EQ(Changes, (std::vector<int32_t>{}));
  Bar->SetMax(40);
  EXPECT_EQ(Bar->Position(), 40);
  EXPECT_EQ(Changes, (std::vector<int32_t>{40}));
  EXPECT_EQ(Bar->SelEnd(), 40);

  int Asked = 0;
  Bar->OnChanging = [&](TObject*, int32_t NewPos, bool&) {
    EXPECT_EQ(NewPos, 40);
    ++Asked;
  };
  Bar->SetPosition(45);  // beyond Max while at Max: clamps to the same value and still reports
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(Changes, (std::vector<int32_t>{40, 40}));
}

TEST_F(RzTrackBarTest, ThumbStyleResetsTheTrackWidthAndACustomThumbTakesOver) {
  Bar->SetThumbStyle(tsMixer);
  EXPECT_EQ(Bar->TrackWidth(), 6);
  Bar->SetTrackWidth(2);
  EXPECT_EQ(Bar->TrackWidth(), 4);
  Bar->SetThumbStyle(tsBox);
  EXPECT_EQ(Bar->TrackWidth(), 8);

  TBitmap Custom;
  Custom.SetSize(30, 14);  // three 10 x 14 cells
  Custom.Canvas()->Brush()->SetColor(clRed);
  Custom.Canvas()->FillRect(Rect(0, 0, 10, 14));
  Custom.Canvas()->Brush()->SetColor(clBlack);
  Custom.Canvas()->FillRect(Rect(10, 0, 20, 14));
  Bar->SetCustomThumb(&Custom);
  EXPECT_EQ(Bar->ThumbStyle(), tsCustom);
  Show();
  const TRect T = Bar->ThumbRect();
  EXPECT_EQ(T.Width(), 10);
  EXPECT_EQ(T.Height(), 14);
  EXPECT_EQ(Pixel(T.Left + 5, T.Top + 7), Rgb(clRed));
}

// --- ticks ---

// The bar with its tick painter in reach.
class TTickedBar : public TRzTrackBar {
public:
  using TRzTrackBar::TRzTrackBar;
  using TRzTrackBar::DrawTicks;
};

TEST_F(RzTrackBarTest, TicksStandAtTheirValuesOncePerPixel) {
  struct Case {
    const char* What;
    int32_t Min, Max, Step;
    bool Vertical;
  } Cases[] = {
      {"every value", 0, 10, 1, false},
      {"every third, from below 0", -7, 20, 3, false},
      {"every value, vertical", 0, 10, 1, true},
      {"ten values to a pixel", 0, 1810, 1, false},
      {"a wide range", 0, 2000000, 1, false},
      {"a wide range, every seventh, vertical", -1000000, 1000000, 7, true},
      {"a step past the range", 0, 100, 1000, false},
  };
  for (const Case& c : Cases) {
    auto* Ticked = new TTickedBar(Form);
    Ticked->SetParent(Form);
    Ticked->SetBounds(0, 0, c.Vertical ? 35 : 200, c.Vertical ? 200 : 35);
    Ticked->SetOrientation(c.Vertical ? orVertical : orHorizontal);
    Ticked->SetMax(c.Max);
    Ticked->SetMin(c.Min);
    Ticked->SetTickStep(c.Step);
    Ticked->SetTickStyle(tkOwnerDraw);
    std::vector<std::pair<TPoint, int32_t>> Drawn;
    Ticked->OnDrawTick = [&](TObject*, TCanvas*, TPoint Location, int32_t Index) { Drawn.push_back({Location, Index}); };
    TBitmap Surface;
    Surface.SetSize(200, 200);
    Ticked->DrawTicks(Surface.Canvas());

    // Every value divisible by the step stands at Trunc((value - Min) x scale) along the 181 pixels of
    // travel (200 less the 11-pixel thumb and two 4-pixel margins); where several share a pixel, the
    // first of them is drawn there.
    const double Scale = 181.0 / (int64_t(c.Max) - c.Min);
    std::vector<std::pair<TPoint, int32_t>> Expected;
    int64_t LastOffset = -1;
    for (int64_t v = c.Min; v <= c.Max; ++v) {
      if (v % c.Step != 0) continue;
      const int64_t Offset = int64_t(std::trunc(double(v - c.Min) * Scale));
      if (Offset == LastOffset) continue;
      LastOffset = Offset;
      const TPoint At = c.Vertical ? TPoint(0, int32_t(200 - 11 - Offset - 4 + 5)) : TPoint(int32_t(Offset + 4 + 5), 0);
      Expected.push_back({At, int32_t(v)});
    }
    ASSERT_EQ(Drawn.size(), Expected.size()) << c.What;
    for (size_t i = 0; i < Drawn.size(); ++i) {
      EXPECT_EQ(Drawn[i].first, Expected[i].first) << c.What << ", tick " << i;
      EXPECT_EQ(Drawn[i].second, Expected[i].second) << c.What << ", tick " << i;
    }
    EXPECT_LE(Drawn.size(), 182u) << c.What;
    delete Ticked;
  }
}

TEST_F(RzTrackBarTest, StandardTicksAreLinesAboveThePointer) {
  Bar->SetTickColor(clRed);
  Show();
  // Max 10: a tick at 9 + Trunc(18.1 i), nothing between two of them.
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(Pixel(9 + int(i * 18.1), 6), Rgb(clRed)) << "tick " << i;
  EXPECT_NE(Pixel(9 + 9, 6), Rgb(clRed));
  // Max 20,000,000: every pixel of the travel is a tick.
  Bar->SetMax(20000000);
  headless::Pump();
  for (int x = 9; x <= 190; ++x) ASSERT_EQ(Pixel(x, 6), Rgb(clRed)) << "column " << x;
  EXPECT_NE(Pixel(8, 6), Rgb(clRed));
  EXPECT_NE(Pixel(191, 6), Rgb(clRed));
}

TEST_F(RzTrackBarTest, PublishedPropertiesReachTheSetters) {
  const TPropList& Props = Bar->PublishedProps();
  Props.Find("Max")->SetOrd(*Bar, 50);
  Props.Find("ThumbStyle")->SetOrd(*Bar, tsFlat);
  EXPECT_EQ(Bar->Max(), 50);
  EXPECT_EQ(Bar->ThumbStyle(), tsFlat);
  EXPECT_EQ(Bar->TrackWidth(), 6);
  EXPECT_NE(Props.Find("About"), nullptr);
}

}  // namespace
}  // namespace zv

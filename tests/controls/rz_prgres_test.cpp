// The progress bar in the headless back end: the solid, segmented and gradient styles at 0, 37, 100
// and more percent with their text, both orientations, the parts arithmetic with its rounding, the
// style and shape rules, and a screenshot of a form holding one of each control.
#include "controls/rz_prgres.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "controls/rz_separator.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kBar = TColor(0xC56A31);
constexpr TColor kBack = TColor(0xFFFFFF);
constexpr TColor kFormColor = TColor(0x336699);

// The largest difference of one channel.
int Distance(TColor A, TColor B) {
  int D = 0;
  for (int Shift : {0, 8, 16}) D = std::max(D, std::abs(int((A >> Shift) & 0xFF) - int((B >> Shift) & 0xFF)));
  return D;
}

class RzProgressBarTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 320, 260);
    Form->SetColor(kFormColor);
    Bar = new TRzProgressBar(Form);
    Bar->SetParent(Form);
    Bar->SetBounds(10, 10, 200, 24);
    Bar->SetBorderOuter(fsNone);
    Bar->SetBarColor(kBar);
    Bar->SetBackColor(kBack);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void ShowForm() {
    Form->Show();
    headless::Pump();
    Form->Update();
  }
  // A pixel of the bar, in the bar's own coordinates.
  TColor At(int X, int Y) {
    return TColor(headless::ClientPixel(Form->Handle(), Bar->Left() + X, Bar->Top() + Y));
  }
  // How many pixels of Colour lie in the bar's columns [X1, X2) and rows [Y1, Y2).
  int Count(TColor Colour, int X1, int Y1, int X2, int Y2) {
    int N = 0;
    for (int Y = Y1; Y < Y2; ++Y)
      for (int X = X1; X < X2; ++X) N += At(X, Y) == Colour;
    return N;
  }
  // Whether columns [X1, X2) hold text in TextColour over Ground: some pixels differ from Ground, and
  // the one farthest from it is nearer TextColour (text edges are smoothed into the ground).
  bool HasTextOver(TColor Ground, TColor TextColour, int X1, int X2) {
    TColor Farthest = Ground;
    for (int Y = 0; Y < Bar->Height(); ++Y)
      for (int X = X1; X < X2; ++X)
        if (Distance(At(X, Y), Ground) > Distance(Farthest, Ground)) Farthest = At(X, Y);
    return Farthest != Ground && Distance(Farthest, TextColour) < Distance(Farthest, Ground);
  }
  // The runs of Colour along row Y: their lengths, left to right.
  std::vector<int> Runs(TColor Colour, int Y) {
    std::vector<int> Result;
    int Length = 0;
    for (int X = 0; X < Bar->Width(); ++X) {
      if (At(X, Y) == Colour) {
        ++Length;
      } else if (Length) {
        Result.push_back(Length);
        Length = 0;
      }
    }
    if (Length) Result.push_back(Length);
    return Result;
  }

  TForm* Form = nullptr;
  TRzProgressBar* Bar = nullptr;
};

// --- solid bar ---

struct SolidCase {
  uint16_t Percent;
  int BarEnd;         // first column of the empty part
  bool TextOverBar;   // digits in the back colour over the filled part
  bool TextOverBack;  // digits in the bar colour over the empty part
};

TEST_F(RzProgressBarTest, SolidBarFillsToThePercentAndSplitsItsTextAtTheEdge) {
  // 200 pixels wide, no frame: the bar ends at round(Percent * 200 / 100); the text is centred on x 100.
  const SolidCase Cases[] = {
      {0, 0, false, true},
      {37, 74, false, true},
      {50, 100, true, true},  // the text straddles the edge: each half takes the other part's colour
      {100, 200, true, false},
      {250, 200, true, false},  // above 100 the bar is full
  };
  ShowForm();
  for (const SolidCase& C : Cases) {
    Bar->SetPercent(C.Percent);
    SCOPED_TRACE(C.Percent);
    // Rows 0..1 and 22..23 lie above and below the text.
    for (int Y : {0, 1, 22, 23}) {
      if (C.BarEnd > 0) {
        EXPECT_EQ(At(0, Y), kBar);
        EXPECT_EQ(At(C.BarEnd - 1, Y), kBar);
      }
      if (C.BarEnd < 200) {
        EXPECT_EQ(At(C.BarEnd, Y), kBack);
        EXPECT_EQ(At(199, Y), kBack);
      }
    }
    EXPECT_EQ(HasTextOver(kBar, kBack, 0, C.BarEnd), C.TextOverBar);
    EXPECT_EQ(HasTextOver(kBack, kBar, C.BarEnd, 200), C.TextOverBack);
  }
}

TEST_F(RzProgressBarTest, SolidBarWithoutTextStillFillsBothParts) {
  Bar->SetShowPercent(false);
  Bar->SetPercent(37);
  ShowForm();
  EXPECT_EQ(Count(kBar, 0, 0, 74, 24), 74 * 24);
  EXPECT_EQ(Count(kBack, 74, 0, 200, 24), 126 * 24);
}

TEST_F(RzProgressBarTest, TextReadsThePercent) {
  // The same percent always draws the same digits; different percents different ones.
  ShowForm();
  auto Picture = [&](uint16_t Percent) {
    Bar->SetPercent(Percent);
    std::vector<TColor> Pixels;
    for (int Y = 0; Y < 24; ++Y)
      for (int X = 80; X < 130; ++X) Pixels.push_back(At(X, Y));
    return Pixels;
  };
  const auto Seven = Picture(7);
  const auto Eight = Picture(8);
  EXPECT_NE(Seven, Eight);
  EXPECT_EQ(Picture(7), Seven);
  Bar->SetShowPercent(false);
  EXPECT_EQ(Count(kBack, 80, 0, 130, 24), 50 * 24);
}

TEST_F(RzProgressBarTest, VerticalBarFillsFromTheBottom) {
  Bar->SetBounds(10, 10, 24, 120);
  ASSERT_EQ(Bar->Orientation(), orVertical);
  Bar->SetShowPercent(false);
  ShowForm();
  // round(37 * 120 / 100) = round(44.4) = 44 rows from the bottom.
  Bar->SetPercent(37);
  EXPECT_EQ(At(5, 119), kBar);
  EXPECT_EQ(At(5, 76), kBar);
  EXPECT_EQ(At(5, 75), kBack);
  EXPECT_EQ(At(5, 0), kBack);
  Bar->SetPercent(100);
  EXPECT_EQ(Count(kBar, 0, 0, 24, 120), 24 * 120);
  Bar->SetPercent(0);
  EXPECT_EQ(Count(kBack, 0, 0, 24, 120), 24 * 120);
}

TEST_F(RzProgressBarTest, DefaultFrameIsLoweredAroundTheBar) {
  Bar->SetBorderOuter(fsLowered);
  Bar->SetPercent(100);
  Bar->SetShowPercent(false);
  ShowForm();
  // Two rings: shadow over dark shadow on the top and left, highlight over light on the bottom and
  // right; the bar inside them.
  EXPECT_EQ(At(5, 0), TColor(0x808080));
  EXPECT_EQ(At(0, 5), TColor(0x808080));
  EXPECT_EQ(At(5, 1), TColor(0x000000));
  EXPECT_EQ(At(5, 23), TColor(0xFFFFFF));
  EXPECT_EQ(At(199, 5), TColor(0xFFFFFF));
  EXPECT_EQ(At(198, 5), TColor(0xC0C0C0));
  EXPECT_EQ(At(2, 2), kBar);
  EXPECT_EQ(At(197, 21), kBar);
}

// --- segments ---

struct SegmentGeometryCase {
  int Width;  // the bar's length is Width - 2 (no frame, one pixel of interior gap)
  int NumSegments;
  int Count;     // segments drawn
  int Interior;  // lit pixels of one segment (its length less the two outline pixels)
};

TEST_F(RzProgressBarTest, SegmentsFitTheLengthWhole) {
  const SegmentGeometryCase Cases[] = {
      {62, 20, 10, 4},    // 60 long: at most ten segments of 6
      {103, 20, 20, 3},   // 101 long: 20 of 5, the spare pixel gives no margin
      {202, 20, 20, 8},   // 200 long: 20 of 10
      {80, 20, 11, 5},    // 78 long: ten of 7, then one more fits into the 8 left over
      {50, 5, 5, 7},      // 48 long: 5 of 9, margins of 1
      {200, 20, 22, 7},   // 198 long: 20 of 9, then two more
  };
  Bar->SetBarStyle(bsLED);
  Bar->SetPercent(100);
  ShowForm();
  for (const SegmentGeometryCase& C : Cases) {
    SCOPED_TRACE(C.Width);
    Bar->SetBounds(10, 10, C.Width, 24);
    Bar->SetNumSegments(C.NumSegments);
    Form->Update();
    const std::vector<int> Lit = Runs(kBar, 12);
    EXPECT_EQ(int(Lit.size()), C.Count);
    for (int Length : Lit) EXPECT_EQ(Length, C.Interior);
    // The interior gap around the segments is the back colour.
    EXPECT_EQ(At(0, 12), kBack);
    EXPECT_EQ(At(C.Width - 1, 12), kBack);
    EXPECT_EQ(At(5, 0), kBack);
  }
}

struct SegmentPercentCase {
  uint16_t Percent;
  int Lit;
};

TEST_F(RzProgressBarTest, SegmentsLightTheWholeOnesReached) {
  // 200 wide: 22 segments of 9 from x 1.
  const SegmentPercentCase Cases[] = {{0, 0}, {37, 8}, {50, 11}, {100, 22}, {250, 22}};
  Bar->SetBarStyle(bsLED);
  ShowForm();
  for (const SegmentPercentCase& C : Cases) {
    SCOPED_TRACE(C.Percent);
    Bar->SetPercent(C.Percent);
    EXPECT_EQ(int(Runs(kBar, 12).size()), C.Lit);
    if (C.Lit > 0) {
      EXPECT_EQ(At(1 + 9 * (C.Lit - 1) + 4, 12), kBar);
    }
    if (C.Lit < 22) {
      EXPECT_EQ(At(1 + 9 * C.Lit + 4, 12), kBack);
    }
    // No text in this style.
    EXPECT_EQ(Count(kBar, 0, 0, 200, 2), 0);
  }
}

TEST_F(RzProgressBarTest, SegmentsBeyondTheCountAreNeverDrawn) {
  // 48 long with 5 segments of 9 leaves a margin of one pixel at each end; a percent above 100 must
  // not light a sixth segment in the right margin.
  Bar->SetBounds(10, 10, 50, 24);
  Bar->SetBarStyle(bsLED);
  Bar->SetNumSegments(5);
  Bar->SetPercent(250);
  ShowForm();
  EXPECT_EQ(int(Runs(kBar, 12).size()), 5);
  EXPECT_EQ(At(48, 12), kBack);
}

TEST_F(RzProgressBarTest, VerticalSegmentsFillFromTheBottom) {
  Bar->SetBounds(10, 10, 24, 202);
  Bar->SetBarStyle(bsLED);
  Bar->SetPercent(50);
  ShowForm();
  // 200 long: 20 segments of 10; the lower ten are lit.
  EXPECT_EQ(At(12, 195), kBar);
  EXPECT_EQ(At(12, 105), kBar);
  EXPECT_EQ(At(12, 95), kBack);
  EXPECT_EQ(At(12, 5), kBack);
}

// --- gradient ---

struct GradientCase {
  uint16_t Percent;
  int BarEnd;
};

TEST_F(RzProgressBarTest, GradientBarShadesBothParts) {
  // The default shape puts the start colour at the top and bottom edges and the stop colour in the middle.
  constexpr TColor kBarStop = TColor(0x00FF00);
  constexpr TColor kBackStop = TColor(0x0000FF);
  Bar->SetBarStyle(bsGradient);
  Bar->SetBarColorStop(kBarStop);
  Bar->SetBackColorStop(kBackStop);
  Bar->SetShowPercent(false);
  ShowForm();
  auto NearerTo = [](TColor Pixel, TColor A, TColor B) { return Distance(Pixel, A) < Distance(Pixel, B); };
  const GradientCase Cases[] = {{0, 0}, {37, 74}, {100, 200}};
  for (const GradientCase& C : Cases) {
    SCOPED_TRACE(C.Percent);
    Bar->SetPercent(C.Percent);
    if (C.BarEnd > 0) {
      EXPECT_TRUE(NearerTo(At(0, 0), kBar, kBarStop));
      EXPECT_TRUE(NearerTo(At(C.BarEnd - 1, 23), kBar, kBarStop));
      EXPECT_TRUE(NearerTo(At(C.BarEnd / 2, 12), kBarStop, kBar));
      EXPECT_TRUE(NearerTo(At(C.BarEnd - 1, 12), kBarStop, kBack));
    }
    if (C.BarEnd < 200) {
      EXPECT_TRUE(NearerTo(At(C.BarEnd, 0), kBack, kBackStop));
      EXPECT_TRUE(NearerTo(At(199, 23), kBack, kBackStop));
      EXPECT_TRUE(NearerTo(At(C.BarEnd, 12), kBackStop, kBack));
      EXPECT_TRUE(NearerTo(At(199, 12), kBackStop, kBarStop));
    }
  }
}

TEST_F(RzProgressBarTest, GradientBarTextTakesTheOtherPartsColour) {
  // Even gradients, so that the only other colour is the text's.
  Bar->SetBarStyle(bsGradient);
  Bar->SetBarColorStop(kBar);
  Bar->SetBackColorStop(kBack);
  ShowForm();
  Bar->SetPercent(50);
  EXPECT_TRUE(HasTextOver(kBar, kBack, 0, 100));
  EXPECT_TRUE(HasTextOver(kBack, kBar, 100, 200));
  Bar->SetPercent(37);
  EXPECT_FALSE(HasTextOver(kBar, kBack, 0, 74));
  EXPECT_TRUE(HasTextOver(kBack, kBar, 74, 200));
  EXPECT_EQ(Count(kBar, 0, 0, 74, 24), 74 * 24);
}

// --- behaviour ---

struct PartsCase {
  int32_t Total;
  int32_t Parts;
  int32_t StoredParts;
  uint16_t Percent;
};

TEST_F(RzProgressBarTest, PartsGiveRoundedPercents) {
  const PartsCase Cases[] = {
      {8, 1, 1, 12},    // 12.5 rounds to even
      {8, 3, 3, 38},    // 37.5 rounds to even
      {3, 1, 1, 33},
      {3, 2, 2, 67},
      {10, 20, 10, 100},  // never more than the total
      {8, -1, 8, 100},    // a negative count compares as a huge unsigned one
  };
  for (const PartsCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Total) + "/" + std::to_string(C.Parts));
    Bar->SetTotalParts(C.Total);
    EXPECT_EQ(Bar->Percent(), 0);
    Bar->SetPartsComplete(C.Parts);
    EXPECT_EQ(Bar->PartsComplete(), C.StoredParts);
    EXPECT_EQ(Bar->Percent(), C.Percent);
  }
}

TEST_F(RzProgressBarTest, OnChangeFollowsThePercentOnly) {
  std::vector<int> Changes;
  Bar->OnChange = [&](TObject* Sender, int32_t Percent) {
    EXPECT_EQ(Sender, Bar);
    Changes.push_back(Percent);
  };
  Bar->SetTotalParts(1000);
  Bar->SetPartsComplete(1);  // 0.1 rounds to 0: no change
  Bar->SetPartsComplete(5);  // 0.5 rounds to even 0
  Bar->SetPartsComplete(6);  // 1
  Bar->SetPartsComplete(7);  // still 1
  Bar->SetPercent(1);
  Bar->SetTotalParts(0);     // back to 0
  Bar->SetPartsComplete(3);  // no total: the percent stays
  EXPECT_EQ(Changes, (std::vector<int>{1, 0}));
  EXPECT_EQ(Bar->PartsComplete(), 0);  // nothing exceeds a total of 0
}

TEST_F(RzProgressBarTest, LoadingKeepsTheStoredPercentUntilTheConversionSetsParts) {
  // As the main window's description stores it: Percent 30, TotalParts 10, PartsComplete 0.
  int Changes = 0;
  Bar->OnChange = [&](TObject*, int32_t) { ++Changes; };
  Bar->Loading();
  Bar->SetPercent(30);
  Bar->SetTotalParts(10);
  Bar->SetPartsComplete(0);
  Bar->Loaded();
  EXPECT_EQ(Bar->Percent(), 30);
  EXPECT_EQ(Changes, 1);  // the percent from the description is announced even while loading
  Bar->SetPartsComplete(0);  // its current value: nothing happens
  EXPECT_EQ(Bar->Percent(), 30);
  Bar->SetTotalParts(10);
  EXPECT_EQ(Bar->Percent(), 0);
  Bar->SetPartsComplete(4);
  EXPECT_EQ(Bar->Percent(), 40);
}

TEST_F(RzProgressBarTest, StyleAndShapeRules) {
  Bar->SetBarStyle(bsLED);
  EXPECT_FALSE(Bar->ShowPercent());
  EXPECT_EQ(Bar->InteriorOffset(), 1);
  Bar->SetBarStyle(bsGradient);
  EXPECT_TRUE(Bar->ShowPercent());
  EXPECT_EQ(Bar->InteriorOffset(), 0);
  Bar->SetBarStyle(bsTraditional);
  EXPECT_TRUE(Bar->ShowPercent());

  Bar->SetBounds(0, 0, 20, 100);
  EXPECT_EQ(Bar->Orientation(), orVertical);
  Bar->SetBounds(0, 0, 50, 50);
  EXPECT_EQ(Bar->Orientation(), orHorizontal);

  TRzProgressBar Fresh(nullptr);
  EXPECT_EQ(Fresh.Width(), 200);
  EXPECT_EQ(Fresh.Height(), 24);
  EXPECT_EQ(Fresh.Font()->Color(), clHighlight);
  Fresh.SetBarColor(kBar);
  EXPECT_EQ(Fresh.Font()->Color(), kBar);
}

TEST_F(RzProgressBarTest, FormDescriptionSetsPublishedProperties) {
  SetPropertyByName(Bar, "BarStyle", "bsLED");
  SetPropertyByName(Bar, "NumSegments", "12");
  SetPropertyByName(Bar, "BorderOuter", "fsFlat");
  SetPropertyByName(Bar, "FrameControllerNotifications", "[fcpColor,fcpFrameStyle]");
  EXPECT_EQ(Bar->BarStyle(), bsLED);
  EXPECT_EQ(Bar->NumSegments(), 12);
  EXPECT_EQ(Bar->BorderOuter(), fsFlat);
  EXPECT_EQ(Bar->FrameControllerNotifications(), (TRzFrameControllerNotifications{fcpColor, fcpFrameStyle}));
  EXPECT_EQ(GetPropertyByName(Bar, "Percent"), "0");
}

// --- one of each, as a picture ---

TEST_F(RzProgressBarTest, ScreenshotOfOneOfEach) {
  Bar->SetBorderOuter(fsLowered);
  Bar->SetPercent(37);
  auto* Led = new TRzProgressBar(Form);
  Led->SetParent(Form);
  Led->SetBounds(10, 44, 200, 24);
  Led->SetBarStyle(bsLED);
  Led->SetPercent(37);
  auto* Gradient = new TRzProgressBar(Form);
  Gradient->SetParent(Form);
  Gradient->SetBounds(10, 78, 200, 24);
  Gradient->SetBarStyle(bsGradient);
  Gradient->SetBorderOuter(fsFlat);
  Gradient->SetPercent(37);
  auto* Upright = new TRzProgressBar(Form);
  Upright->SetParent(Form);
  Upright->SetBounds(230, 10, 24, 200);
  Upright->SetPercent(63);
  auto* Line = new TRzSeparator(Form);
  Line->SetParent(Form);
  Line->SetBounds(10, 120, 200, 2);
  Line->SetHighlightLocation(hlUpperLeft);
  Line->SetHighlightColor(TColor(0xC56A31));
  Line->SetColor(TColor(0xF1E8E0));
  auto* Upright2 = new TRzSeparator(Form);
  Upright2->SetParent(Form);
  Upright2->SetBounds(270, 10, 200, 2);
  Upright2->SetOrientation(orVertical);
  ShowForm();

  std::filesystem::create_directories(ZV_TEST_TMP);
  const std::string Path = std::string(ZV_TEST_TMP) + "/rz_progress_one_of_each.png";
  HDC DC = GetDC(Form->Handle());
  ASSERT_TRUE(SaveBitmapToPng(DC, Path));
  ReleaseDC(Form->Handle(), DC);
  EXPECT_GT(std::filesystem::file_size(Path), 100u);
  EXPECT_EQ(At(5, 5), kBar);
}

}  // namespace
}  // namespace zv

// The transition engine under a fake clock, without a view, and the built-in effects read back pixel by
// pixel from the frame picture.
#include "imaging/proc/transitions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

struct Px {
  uint8_t b, g, r;
  bool operator==(const Px&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Px& p) {
  return os << "(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << ")";
}

Px PixelOf(TBitmap* B, int32_t X, int32_t Y) {
  const uint8_t* p = static_cast<uint8_t*>(B->ScanLine(Y)) + X * 3;
  return Px{p[0], p[1], p[2]};
}

// Every pixel different from its neighbours; Salt tells source and target apart.
Px Pattern(int32_t X, int32_t Y, int32_t Salt) {
  return Px{uint8_t(X * 7 + Y + Salt), uint8_t(Y * 11 + 3 + Salt * 3), uint8_t(X * 3 + Y * 5 + 1 + Salt * 5)};
}

std::unique_ptr<TBitmap> MakePicture(int32_t W, int32_t H, int32_t Salt, int Uniform = -1) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t y = 0; y < H; ++y) {
    auto* row = static_cast<uint8_t*>(B->ScanLine(y));
    for (int32_t x = 0; x < W; ++x) {
      const Px p = Uniform >= 0 ? Px{uint8_t(Uniform), uint8_t(Uniform), uint8_t(Uniform)} : Pattern(x, y, Salt);
      row[x * 3] = p.b;
      row[x * 3 + 1] = p.g;
      row[x * 3 + 2] = p.r;
    }
  }
  return B;
}

bool SamePictures(TBitmap* A, TBitmap* B, int32_t W, int32_t H) {
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (!(PixelOf(A, x, y) == PixelOf(B, x, y))) return false;
  return true;
}

// Which of source (S), target (T) or neither (.) each pixel of a frame row shows.
std::string RowOrigins(TBitmap* Frame, TBitmap* Source, TBitmap* Target, int32_t Y) {
  std::string s;
  for (int32_t x = 0; x < Frame->Width(); ++x) {
    const Px p = PixelOf(Frame, x, Y);
    s += p == PixelOf(Source, x, Y) ? 'S' : p == PixelOf(Target, x, Y) ? 'T' : '.';
  }
  return s;
}

// An engine with a fake clock and counted paint locks, and the events it raised.
class TransitionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TIETransitionViewLinks links;
    links.LockPaint = [this] { ++Locks; };
    links.UnlockPaintNoUpdate = [this] { --Locks; };
    links.DrawBackgroundTo = [this](TCanvas* C) {
      ++BackgroundPaints;
      C->Brush()->SetColor(TColor(0x123456));
      C->FillRect(TRect(0, 0, 100000, 100000));
    };
    E = std::make_unique<TIETransitionEffects>(nullptr, links);
    E->TickSource = [this] { return Now; };
    E->OnTransitionStop = [this](TObject*) { ++Stops; };
    E->OnTransitionStep = [this](TObject*, int32_t s) { StepEvents.push_back(s); };
    E->SetOnPaint([this](TObject*, TBitmap* B, TIETransitionEffects* T, int32_t s) {
      Paints.push_back({B == T->TargetPicture() ? 'T' : B == T->FramePicture() ? 'F' : '?', s});
    });
  }

  void StartPictures(int32_t W, int32_t H, uint8_t Type, int32_t Duration = 1000, uint8_t Timing = 0,
                     bool UpdateAtEnd = false) {
    Source = MakePicture(W, H, 0);
    Target = MakePicture(W, H, 101);
    ASSERT_TRUE(E->Start(Source.get(), Target.get(), Type, Duration, Timing, UpdateAtEnd));
  }
  void TickAt(uint32_t T) {
    Now = T;
    E->Step();
  }
  TBitmap* Frame() { return E->FramePicture(); }

  uint32_t Now = 5000;
  int Locks = 0, Stops = 0, BackgroundPaints = 0;
  std::vector<int32_t> StepEvents;
  std::vector<std::pair<char, int32_t>> Paints;
  std::unique_ptr<TIETransitionEffects> E;
  std::unique_ptr<TBitmap> Source, Target;
};

TEST(TransitionTiming, StepsFollowTheCurves) {
  struct Case {
    uint32_t Elapsed;
    int32_t Duration;
    uint8_t Timing;
    int32_t Expected;
  } cases[] = {
      {0, 1000, IETimingLinear, 0},         {500, 1000, IETimingLinear, 512},
      {1000, 1000, IETimingLinear, 1024},   {4000, 1000, IETimingLinear, 1024},
      {0xFFFFFFFFu, 1000, IETimingLinear, 1024},
      {0, 1000, IETimingExponential, 6},    {1000, 1000, IETimingExponential, 1003},
      {9000, 1000, IETimingExponential, 1024},
      {0, 1000, IETimingLogarithmic, 0},    {1, 1000, IETimingLogarithmic, 0},
      {500, 1000, IETimingLogarithmic, 886}, {980, 1000, IETimingLogarithmic, 1024},
      {300, 1000, 7, 333},  // an unknown curve keeps the step
  };
  for (const Case& c : cases)
    EXPECT_EQ(TransitionStepFor(c.Elapsed, c.Duration, c.Timing, 333), c.Expected)
        << c.Elapsed << "/" << c.Duration << " timing " << int(c.Timing);
}

TEST_F(TransitionsTest, ARunDrawsFromTheClockAndEndsWithTheTarget) {
  Now = 0xFFFFFF00u;  // the tick count wraps during the run
  StartPictures(10, 4, 1, 1000, IETimingLinear, true);
  EXPECT_EQ(Locks, 1);
  TickAt(0xFFFFFF00u);
  TickAt(0xFFFFFF00u + 500);
  EXPECT_EQ(E->CurrentStep(), 512);
  TickAt(0xFFFFFF00u + 600);
  EXPECT_EQ(StepEvents, (std::vector<int32_t>{0, 0, 512}));
  TickAt(0xFFFFFF00u + 1000);
  // The last frame, then the target at 1024; the engine is idle with nothing left over.
  const std::vector<std::pair<char, int32_t>> paints = {{'F', 0}, {'F', 0}, {'F', 512}, {'F', 614}, {'T', 1024}};
  EXPECT_EQ(Paints, paints);
  EXPECT_EQ(Stops, 1);
  EXPECT_EQ(Locks, 0);
  EXPECT_FALSE(E->Running());
  EXPECT_FALSE(E->Timer()->Enabled());
  EXPECT_FALSE(E->HasRowArrays());
  EXPECT_EQ(Frame()->Width(), 1);
  EXPECT_EQ(E->SourcePicture()->Height(), 1);
  E->Stop();
  TickAt(0xFFFFFF00u + 1100);
  EXPECT_EQ(Stops, 1);
  EXPECT_EQ(Paints.size(), paints.size());
}

TEST_F(TransitionsTest, TheTargetIsPaintedAtTheEndOnlyWhenAskedAndNeverForPanZoom) {
  struct Case {
    uint8_t Type;
    bool UpdateAtEnd;
    size_t PaintsAtEnd;
  } cases[] = {{1, true, 2}, {1, false, 1}, {IEPanZoomTransition, true, 1}};
  auto P = std::make_unique<TIEBitmap>();
  P->SetLocation(ieInMemory);
  P->Allocate(20, 20, ie24RGB);
  for (const Case& c : cases) {
    Paints.clear();
    E->SetPanZoom(P.get(), TRect(0, 0, 10, 10), TRect(0, 0, 10, 10));
    Now = 0;
    StartPictures(8, 8, c.Type, 100, IETimingLinear, c.UpdateAtEnd);
    TickAt(100);
    EXPECT_EQ(Paints.size(), c.PaintsAtEnd) << int(c.Type);
    EXPECT_FALSE(E->Running());
  }
}

TEST_F(TransitionsTest, ExponentialTimingStopsShortOfTheWholeTarget) {
  Now = 0;
  StartPictures(8, 2, 1, 1000, IETimingExponential, true);
  TickAt(0);
  EXPECT_EQ(E->CurrentStep(), 6);
  TickAt(1000);
  EXPECT_EQ(E->CurrentStep(), 1003);
  ASSERT_EQ(Paints.back().first, 'T');
  EXPECT_EQ(Paints.back().second, 1024);
}

TEST_F(TransitionsTest, TableEffectsGetWholePercentsAndARowWithoutProcedureRepaintsTheFrame) {
  static std::vector<int32_t> percents;
  percents.clear();
  E->EffectProcs.assign(214, nullptr);
  E->EffectProcs[40] = [](TCanvas*, TBitmap*, TBitmap*, const TRect& R, int32_t Size, int32_t Percent) {
    EXPECT_EQ(R, TRect(0, 0, 6, 3));
    EXPECT_EQ(Size, 1);
    percents.push_back(Percent);
  };
  // Duration 1024 ms with linear timing: the step is the elapsed time.
  Now = 0;
  StartPictures(6, 3, 41, 1024);
  for (uint32_t t : {0u, 1u, 2u, 5u, 6u, 512u, 1023u}) TickAt(t);
  EXPECT_EQ(percents, (std::vector<int32_t>{0, 0, 0, 1, 50}));

  Now = 0;
  StartPictures(6, 3, 40, 1024);
  for (uint32_t t : {0u, 300u, 600u}) {
    TickAt(t);
    EXPECT_TRUE(SamePictures(Frame(), Source.get(), 6, 3));
  }
  EXPECT_EQ(Paints.back(), (std::pair<char, int32_t>{'F', 300}));
}

TEST_F(TransitionsTest, BuiltInEffectsStartOnTheSourceAndEndOnTheTarget) {
  for (uint8_t type = 1; type <= 30; ++type) {
    if (type == 25 || type == 26) continue;  // random
    SCOPED_TRACE(int(type));
    StartPictures(13, 9, type);
    E->DrawBuiltIn(type, 0);
    // Fade In starts on the background; the red line sits on the first column or row.
    if (type != 3 && type != 6 && type != 10) {
      EXPECT_TRUE(SamePictures(Frame(), Source.get(), 13, 9));
    }
    E->DrawBuiltIn(type, 1024);
    if (type != 2 && type != 8 && type != 12) {
      EXPECT_TRUE(SamePictures(Frame(), Target.get(), 13, 9));
    }
  }
}

TEST_F(TransitionsTest, CrossFadeBlendsEachChannel) {
  Source = MakePicture(3, 2, 0, 200);
  Target = MakePicture(3, 2, 0, 100);
  ASSERT_TRUE(E->Start(Source.get(), Target.get(), 1, 1000));
  for (auto [s, v] : {std::pair{0, 200}, {512, 150}, {1024, 100}, {256, 175}}) {
    E->DrawBuiltIn(1, s);
    EXPECT_EQ(PixelOf(Frame(), 2, 1), (Px{uint8_t(v), uint8_t(v), uint8_t(v)})) << s;
  }
}

TEST_F(TransitionsTest, WipesPushesAndSlidesPartwayThrough) {
  struct Case {
    uint8_t Type;
    int32_t Step;
    std::string Row;
  } cases[] = {
      // 100 000 shr 10 = 97 of 100 columns uncovered.
      {5, 1000, std::string(97, 'T') + "SSS"},
      {7, 512, std::string(5, 'S') + std::string(5, 'T')},
      // Push left to right: the target's right half comes in at the left, the source moves right.
      {17, 512, "....." + std::string(5, '.')},
      {18, 512, std::string(5, 'T') + "....."},
      // Slide out right to left: the target stays still.
      {20, 512, "....." + std::string(5, 'T')},
      {27, 512, "SSS" + std::string(5, 'T') + "SS"},
  };
  for (const Case& c : cases) {
    const int32_t W = int32_t(c.Row.size());
    StartPictures(W, 4, c.Type);
    E->DrawBuiltIn(c.Type, 0);
    E->DrawBuiltIn(c.Type, c.Step);
    EXPECT_EQ(RowOrigins(Frame(), Source.get(), Target.get(), 1).substr(0, size_t(W)), c.Row)
        << int(c.Type) << " at " << c.Step;
  }
  // The moved columns come from the unchanged pictures, at their offsets.
  StartPictures(10, 3, 17);
  E->DrawBuiltIn(17, 0);
  E->DrawBuiltIn(17, 300);
  E->DrawBuiltIn(17, 512);
  for (int32_t x = 0; x < 10; ++x)
    EXPECT_EQ(PixelOf(Frame(), x, 1), x < 5 ? PixelOf(Target.get(), x + 5, 1) : PixelOf(Source.get(), x - 5, 1));
  StartPictures(10, 3, 19);
  E->DrawBuiltIn(19, 512);
  for (int32_t x = 0; x < 10; ++x)
    EXPECT_EQ(PixelOf(Frame(), x, 1), x < 5 ? PixelOf(Source.get(), x + 5, 1) : PixelOf(Target.get(), x - 5, 1));
  StartPictures(3, 10, 21);
  E->DrawBuiltIn(21, 512);
  for (int32_t y = 0; y < 10; ++y)
    EXPECT_EQ(PixelOf(Frame(), 1, y), y < 5 ? PixelOf(Target.get(), 1, y + 5) : PixelOf(Source.get(), 1, y - 5));
}

TEST_F(TransitionsTest, RandomEffectsCountTheirPoints) {
  StartPictures(7, 7, 26);
  E->DrawBuiltIn(26, 0);
  E->DrawBuiltIn(26, 1024);
  EXPECT_EQ(E->PointsDrawn(), 0);
  EXPECT_TRUE(SamePictures(Frame(), Source.get(), 7, 7));

  SetRandSeed(7);
  StartPictures(64, 64, 26);
  E->DrawBuiltIn(26, 0);
  E->DrawBuiltIn(26, 512);
  EXPECT_EQ(E->PointsDrawn(), 91);  // Round(64 x 512 x (512 / 180) / 1024)
  E->DrawBuiltIn(26, 1024);
  EXPECT_EQ(E->PointsDrawn(), 364);
  int32_t fromTarget = 0;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) fromTarget += PixelOf(Frame(), x, y) == PixelOf(Target.get(), x, y);
  EXPECT_GT(fromTarget, 64 * 64 * 9 / 10);

  StartPictures(50, 3, 25);
  E->DrawBuiltIn(25, 0);
  E->DrawBuiltIn(25, 1024);
  EXPECT_EQ(E->PointsDrawn(), 284);  // Round(1024 x 50 x (1024 / 180) / 1024)
}

TEST_F(TransitionsTest, PanZoomStretchesItsRectangleAndCentresAClippedOne) {
  auto P = std::make_unique<TIEBitmap>();
  P->SetLocation(ieInMemory);
  P->Allocate(200, 100, ie24RGB);
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 200; ++x) P->SetRGB(x, y, TIERGB24{uint8_t(x), uint8_t(y), uint8_t(x + y)});
  const auto fromP = [&](int32_t fx, int32_t fy, int32_t px, int32_t py) {
    const TIERGB24 c = P->GetRGB(px, py);
    return PixelOf(Frame(), fx, fy) == Px{c.b, c.g, c.r};
  };
  const Px background{0x12, 0x34, 0x56};

  // Equal rectangles inside P: the same part at every step, 1:1 here, no background.
  E->SetPanZoom(P.get(), TRect(50, 25, 150, 75), TRect(50, 25, 150, 75));
  StartPictures(100, 50, IEPanZoomTransition);
  for (int32_t s : {0, 512, 1024}) {
    E->DrawPanZoom(s);
    EXPECT_TRUE(fromP(0, 0, 50, 25) && fromP(99, 49, 149, 74) && fromP(37, 11, 87, 36)) << s;
  }
  EXPECT_EQ(BackgroundPaints, 0);

  struct Case {
    TRect Rect;
    int32_t FirstColumn, LastColumn, PFirst;  // frame columns showing P from its column PFirst
  } cases[] = {
      {TRect(-50, 0, 50, 100), 25, 74, 0},      // past the left edge
      {TRect(150, 0, 250, 100), 25, 74, 150},   // past the right edge
      {TRect(300, 0, 400, 100), -1, -1, 0},     // outside P: only the background
      {TRect(10, 10, 10, 90), -1, -1, 0},       // no area
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.PFirst);
    E->SetPanZoom(P.get(), c.Rect, c.Rect);
    StartPictures(100, 100, IEPanZoomTransition);
    const int before = BackgroundPaints;
    E->DrawPanZoom(512);
    EXPECT_EQ(BackgroundPaints, before + 1);
    for (int32_t x = 0; x < 100; ++x) {
      const bool inside = x >= c.FirstColumn && x <= c.LastColumn;
      if (inside)
        EXPECT_TRUE(fromP(x, 60, c.PFirst + x - c.FirstColumn, 60)) << x;
      else
        EXPECT_EQ(PixelOf(Frame(), x, 60), background) << x;
    }
  }
}

TEST(FitPanZoomRectTest, LargestCentredRectangleOfTheSameProportions) {
  struct Case {
    int32_t w, h, W, H, ExpW, ExpH, ExpX, ExpY;
  } cases[] = {
      {50, 100, 100, 100, 50, 100, 25, 0},  {200, 100, 100, 100, 100, 50, 0, 25},
      {10, 10, 300, 100, 100, 100, 100, 0}, {0, 0, 100, 100, 0, 0, 0, 0},
      {50, 50, 0, 0, 0, 0, 0, 0},           {0, 10, 100, 100, 0, 100, 50, 0},
  };
  for (const Case& c : cases) {
    int32_t W = -1, H = -1, X = -1, Y = -1;
    FitPanZoomRect(c.w, c.h, c.W, c.H, W, H, X, Y);
    EXPECT_EQ((std::vector<int32_t>{W, H, X, Y}), (std::vector<int32_t>{c.ExpW, c.ExpH, c.ExpX, c.ExpY}))
        << c.w << "x" << c.h << " in " << c.W << "x" << c.H;
  }
}

// Odd sizes, every effect, every kind of step: all drawing stays inside the pictures (the sanitizers
// watch), and a start without area starts nothing.
TEST_F(TransitionsTest, BadSizesDrawWithinTheFrameOrNothing) {
  EXPECT_FALSE(E->Start(MakePicture(0, 0, 0).get(), MakePicture(5, 5, 0).get(), 1, 1000));
  EXPECT_FALSE(E->Start(MakePicture(5, 5, 0).get(), MakePicture(5, 5, 0).get(), 0, 1000));
  EXPECT_FALSE(E->Start(MakePicture(5, 5, 0).get(), MakePicture(5, 5, 0).get(), 1, 0));
  EXPECT_EQ(Locks, 0);
  auto P = std::make_unique<TIEBitmap>();
  P->SetLocation(ieInMemory);
  P->Allocate(3, 3, ie24RGB);
  E->EffectProcs.clear();
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {7, 7}, {1, 1000}, {1000, 1}, {2, 3}};
  for (auto [W, H] : sizes) {
    for (int type = 1; type <= 214; type += (type < 31 ? 1 : 91)) {
      E->SetPanZoom(P.get(), TRect(-5, -5, 9, 2), TRect(2, 2, 2, 2));
      StartPictures(W, H, uint8_t(type));
      for (int32_t s : {0, 1, 511, 512, 1023, 1024, -7, 5000}) {
        if (type == IEPanZoomTransition)
          E->DrawPanZoom(s);
        else if (type <= 30)
          E->DrawBuiltIn(uint8_t(type), s);
        else
          E->DrawExtraEffect(uint8_t(type), s);
      }
      E->Stop();
      // Once stopped, nothing matches the pictures: the effects draw nothing.
      E->DrawBuiltIn(uint8_t(type <= 30 ? type : 1), 512);
      E->DrawPanZoom(512);
    }
  }
  EXPECT_EQ(Locks, 0);
}

}  // namespace
}  // namespace zv

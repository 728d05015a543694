// Rotation: the sizes of every route, exact quarter turns, the angle reduction of the shear route,
// the alpha channel and the 1-bit background, and the pixels of the smooth and nearest routes against
// an inverse mapping worked out here in double.
#include "imaging/proc/rotate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/proc_startup.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// Pixel (x, y) has red 2x, green 2y and blue 200 (the background used below is black).
std::unique_ptr<TIEBitmap> Coded(int32_t W, int32_t H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) b->SetRGB(x, y, TIERGB24{200, uint8_t(2 * y), uint8_t(2 * x)});
  return b;
}

std::unique_ptr<TIEBitmap> Noise(int32_t W, int32_t H, uint32_t Seed) {
  std::mt19937 Gen(Seed);
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) b->SetRGB(x, y, TIERGB24{uint8_t(Gen()), uint8_t(Gen()), uint8_t(Gen())});
  return b;
}

bool Bit(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) != 0; }

class RotateTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ProcessingStartup(); }
  static void TearDownTestSuite() { ProcessingShutdown(); }

  // Rotates B through the component; returns the progress values and counts the finish events.
  std::vector<int> Run(TIEBitmap* B, double Angle, bool AntiAlias, uint8_t Quality, TColor Background = 0) {
    Finished = 0;
    TImagingProc Proc(nullptr);
    Proc.SetAutoUndo(true);
    Proc.SetUndoLocation(ieInMemory);
    Proc.AttachIEBitmap(B);
    std::vector<int> Progress;
    Proc.OnProgress = [&](TObject*, int Per) { Progress.push_back(Per); };
    Proc.OnFinishWork = [&](TObject*) { ++Finished; };
    Proc.Rotate(Angle, AntiAlias, Quality, Background);
    Undos = Proc.UndoCount();
    if (Undos > 0) Proc.UndoCaption(0, LastCaption);
    return Progress;
  }
  int Finished = 0;
  int Undos = 0;
  std::string LastCaption;
};

TEST_F(RotateTest, SizesOfEveryRoute) {
  struct Case {
    TIEPixelFormat Format;
    bool AntiAlias;
    uint8_t Quality;
    double Angle;
    int32_t W, H;
  } Cases[] = {
      {ie24RGB, true, 0, 30, 138, 137}, {ie24RGB, true, 1, 30, 137, 137}, {ie24RGB, true, 2, 30, 137, 137},
      {ie24RGB, false, 0, 30, 137, 137}, {ie1g, true, 0, 30, 136, 136},  {ie24RGB, true, 0, 1, 104, 103},
      {ie24RGB, true, 1, 1, 101, 101},   {ie24RGB, true, 2, 1, 101, 101}, {ie24RGB, false, 0, 1, 102, 102},
      {ie1g, true, 0, 1, 101, 101},      {ie8g, true, 0, 30, 137, 137},   {ie24RGB, true, 7, 30, 137, 137},
  };
  for (const Case& c : Cases) {
    TIEBitmap B(100, 100, c.Format);
    B.Fill(0);
    Run(&B, c.Angle, c.AntiAlias, c.Quality);
    EXPECT_EQ(B.GetWidth(), c.W) << c.Angle << " q" << int(c.Quality) << " aa" << c.AntiAlias << " f" << int(c.Format);
    EXPECT_EQ(B.GetHeight(), c.H) << c.Angle << " q" << int(c.Quality) << " aa" << c.AntiAlias << " f" << int(c.Format);
    EXPECT_EQ(B.GetPixelFormat(), c.Format);
  }
  // A single pixel by a hair: the smooth result keeps at least one pixel and loses its padding.
  for (double Angle : {0.001, 30.0}) {
    TIEBitmap One(1, 1, ie24RGB);
    One.Fill(double(clWhite));
    RotateSmooth24(&One, 0, 1, nullptr, {}, Angle);
    EXPECT_GE(One.GetWidth(), 1);
    EXPECT_LE(One.GetWidth(), 2);
    EXPECT_LE(One.GetHeight(), 2);
  }
}

TEST_F(RotateTest, RightAnglesAreExactOnTheShearRoute) {
  struct Case {
    double Angle;
    int32_t Turn;  // 1 counter-clockwise quarter, -1 clockwise, 2 half, 0 none
  } Cases[] = {{90, 1}, {-90, -1}, {270, -1}, {-270, 1}, {180, 2}, {360, 0}, {-360, 0}};
  for (const Case& c : Cases) {
    auto Source = Coded(5, 3);
    auto B = Coded(5, 3);
    auto P = Run(B.get(), c.Angle, true, 0);
    EXPECT_EQ(Undos, 1) << c.Angle;
    EXPECT_EQ(Finished, 1);
    const bool Quarter = c.Turn == 1 || c.Turn == -1;
    ASSERT_EQ(B->GetWidth(), Quarter ? 3 : 5) << c.Angle;
    ASSERT_EQ(B->GetHeight(), Quarter ? 5 : 3) << c.Angle;
    for (int32_t y = 0; y < B->GetHeight(); ++y)
      for (int32_t x = 0; x < B->GetWidth(); ++x) {
        int32_t sx = x, sy = y;
        if (c.Turn == 1) sx = 4 - y, sy = x;           // the top-right corner comes to the top-left
        else if (c.Turn == -1) sx = y, sy = 2 - x;
        else if (c.Turn == 2) sx = 4 - x, sy = 2 - y;
        TIERGB24 a = B->GetRGB(x, y), e = Source->GetRGB(sx, sy);
        EXPECT_TRUE(a.r == e.r && a.g == e.g && a.b == e.b) << c.Angle << " at " << x << "," << y;
      }
  }
}

TEST_F(RotateTest, ZeroDoesNothingAndATinyAngleRunsButKeepsThePixels) {
  auto B = Coded(7, 4);
  auto P = Run(B.get(), 0, true, 0);
  EXPECT_EQ(Undos, 0);
  EXPECT_EQ(Finished, 0);
  EXPECT_TRUE(P.empty());

  auto Source = Coded(7, 4);
  P = Run(B.get(), 0.0004, true, 0);
  EXPECT_EQ(Undos, 1);
  EXPECT_EQ(LastCaption, "Rotate 0.000400");
  EXPECT_EQ(Finished, 1);
  ASSERT_FALSE(P.empty());
  EXPECT_EQ(P.back(), 100);
  EXPECT_TRUE(SameBitmap(B.get(), Source.get()));
}

TEST_F(RotateTest, FortyFiveIsShearedAndFortySixTurnsAQuarterFirst) {
  TIEBitmap B(100, 60, ie24RGB);
  B.Fill(0);
  RotateRGB24(&B, true, nullptr, {}, TIERGB24{0, 0, 0}, 45);
  EXPECT_EQ(B.GetWidth(), 114);
  EXPECT_EQ(B.GetHeight(), 114);  // a quarter turn and -45 would give 114 x 113

  auto A = Noise(50, 30, 7);
  auto Expected = std::make_unique<TIEBitmap>();
  RotateQuarterCCW24(A.get(), Expected.get());
  RotateRGB24(Expected.get(), true, nullptr, {}, TIERGB24{0, 0, 0}, -44);
  RotateRGB24(A.get(), true, nullptr, {}, TIERGB24{0, 0, 0}, 46);
  EXPECT_TRUE(SameBitmap(A.get(), Expected.get()));
}

TEST_F(RotateTest, ShearTurnsCounterClockwiseAboutTheCentre) {
  // Red and green grow by 2 per pixel, so a blended pixel still tells where it came from. The three
  // rounded shears leave the picture up to about two pixels off the exact centre.
  for (double Angle : {30.0, -20.0, 120.0}) {
    auto B = Coded(80, 60);
    RotateRGB24(B.get(), true, nullptr, {}, TIERGB24{0, 0, 0}, Angle);
    const double r = Angle * M_PI / 180, c = std::cos(r), s = std::sin(r);
    const double ncx = (B->GetWidth() - 1) / 2.0, ncy = (B->GetHeight() - 1) / 2.0;
    int Checked = 0;
    for (int32_t y = 0; y < B->GetHeight(); ++y)
      for (int32_t x = 0; x < B->GetWidth(); ++x) {
        double sx = (x - ncx) * c - (y - ncy) * s + 39.5, sy = (x - ncx) * s + (y - ncy) * c + 29.5;
        if (sx < 3 || sy < 3 || sx > 76 || sy > 56) continue;
        TIERGB24 p = B->GetRGB(x, y);
        EXPECT_NEAR(p.r / 2.0, sx, 3.5) << Angle << " at " << x << "," << y;
        EXPECT_NEAR(p.g / 2.0, sy, 3.5) << Angle << " at " << x << "," << y;
        ++Checked;
      }
    EXPECT_GT(Checked, 2000);
  }
}

// The smooth rotator's value at result pixel (x, y), worked out in double: the centres of the result and
// of the source meet, and the source has a border of background.
int Reference(TIEBitmap* S, int Channel, int32_t FW, int32_t FH, int32_t x, int32_t y, double Angle, int Quality,
              bool& Inside) {
  const int32_t W = S->GetWidth(), H = S->GetHeight();
  const double r = Angle * M_PI / 180, c = std::cos(r), s = std::sin(r);
  const double sx = (x - (FW - 1) / 2.0) * c - (y - (FH - 1) / 2.0) * s + (W - 1) / 2.0;
  const double sy = (x - (FW - 1) / 2.0) * s + (y - (FH - 1) / 2.0) * c + (H - 1) / 2.0;
  Inside = sx >= -2 && sy >= -2 && sx <= W + 1 && sy <= H + 1;
  auto At = [&](int64_t px, int64_t py) -> double {
    if (px < 0 || py < 0 || px >= W || py >= H) return 0;
    TIERGB24 p = S->GetRGB(int32_t(px), int32_t(py));
    return Channel == 0 ? p.b : Channel == 1 ? p.g : p.r;
  };
  const double fx0 = std::floor(sx), fy0 = std::floor(sy);
  const double u = sx - fx0, v = sy - fy0;
  const int64_t x0 = int64_t(fx0), y0 = int64_t(fy0);
  double Value;
  if (Quality == 1) {
    double Top = At(x0, y0) + (At(x0 + 1, y0) - At(x0, y0)) * u;
    double Bottom = At(x0, y0 + 1) + (At(x0 + 1, y0 + 1) - At(x0, y0 + 1)) * u;
    Value = Top + (Bottom - Top) * v;
  } else {
    auto K = [](double q, int i) {
      switch (i) {
        case 0: return -q * (1 - q) * (1 - q);
        case 1: return 1 - 2 * q * q + q * q * q;
        case 2: return q * (1 + q - q * q);
        default: return -q * q * (1 - q);
      }
    };
    Value = 0;
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) Value += K(v, j) * K(u, i) * At(x0 - 1 + i, y0 - 1 + j);
  }
  return int(std::clamp(std::trunc(Value), 0.0, 255.0));
}

TEST_F(RotateTest, SmoothRoutesMatchAnInverseMappingAndClampUndershoot) {
  for (int Quality : {1, 2}) {
    for (double Angle : {30.0, -17.5, 133.0}) {
      auto Source = Noise(40, 30, 11);
      auto B = Noise(40, 30, 11);
      RotateSmooth24(B.get(), 0, Quality, nullptr, {}, Angle);
      const int32_t FW = B->GetWidth(), FH = B->GetHeight();
      int Far = 0, Undershoots = 0;
      for (int32_t y = 0; y < FH; ++y)
        for (int32_t x = 0; x < FW; ++x) {
          TIERGB24 p = B->GetRGB(x, y);
          const int Got[3] = {p.b, p.g, p.r};
          for (int ch = 0; ch < 3; ++ch) {
            bool Inside;
            int e = Reference(Source.get(), ch, FW, FH, x, y, Angle, Quality, Inside);
            if (!Inside) continue;
            if (std::abs(Got[ch] - e) > 1) ++Far;
            if (e == 0 && Got[ch] == 0) ++Undershoots;
          }
        }
      EXPECT_EQ(Far, 0) << "quality " << Quality << " angle " << Angle;
      EXPECT_GT(Undershoots, 0);
    }
  }
}

TEST_F(RotateTest, NearestRouteTakesTheNearestSourcePixel) {
  for (double Angle : {30.0, -75.5, 200.0}) {
    auto B = Coded(60, 40);
    TIEBitmap D;
    RotateAnyFormat(B.get(), &D, 0, nullptr, {}, Angle);
    const double r = Angle * M_PI / 180, c = std::cos(r), s = std::sin(r);
    const double ncx = (D.GetWidth() - 1) / 2.0, ncy = (D.GetHeight() - 1) / 2.0;
    int Checked = 0;
    for (int32_t y = 0; y < D.GetHeight(); ++y)
      for (int32_t x = 0; x < D.GetWidth(); ++x) {
        double sx = (x - ncx) * c - (y - ncy) * s + 29.5, sy = (x - ncx) * s + (y - ncy) * c + 19.5;
        TIERGB24 p = D.GetRGB(x, y);
        if (p.b == 0) {  // background: the mapped point must be (about) outside
          EXPECT_TRUE(sx < 0.5 || sy < 0.5 || sx > 58.5 || sy > 38.5) << Angle << " at " << x << "," << y;
          continue;
        }
        EXPECT_LE(std::fabs(p.r / 2 - sx), 1.0) << Angle << " at " << x << "," << y;
        EXPECT_LE(std::fabs(p.g / 2 - sy), 1.0) << Angle << " at " << x << "," << y;
        ++Checked;
      }
    EXPECT_GT(Checked, 2000);
  }
}

TEST_F(RotateTest, AlphaFollowsTheImageWithTransparentCorners) {
  struct Case {
    TIEPixelFormat Format;
    bool AntiAlias;
    uint8_t Quality;
  } Cases[] = {{ie24RGB, true, 0}, {ie24RGB, true, 1}, {ie24RGB, true, 2}, {ie24RGB, false, 0},
               {ie1g, true, 0},    {ie8g, true, 0}};
  for (const Case& c : Cases) {
    TIEBitmap B(40, 30, c.Format);
    B.Fill(double(clWhite));
    B.GetAlphaChannel()->Fill(255);
    std::vector<int> P = Run(&B, 30, c.AntiAlias, c.Quality);
    TIEBitmap* A = B.GetAlphaChannel();
    ASSERT_EQ(A->GetWidth(), B.GetWidth()) << int(c.Format) << " q" << int(c.Quality);
    ASSERT_EQ(A->GetHeight(), B.GetHeight());
    EXPECT_EQ(A->GetByte(0, 0), 0);
    EXPECT_EQ(A->GetByte(A->GetWidth() - 1, A->GetHeight() - 1), 0);
    EXPECT_GE(A->GetByte(A->GetWidth() / 2, A->GetHeight() / 2), 254);
    if (c.Format == ie24RGB && c.AntiAlias && c.Quality == 0) {
      // The alpha channel and then the image each count up from 0.
      int Restarts = 0;
      for (size_t i = 1; i < P.size(); ++i) Restarts += P[i] < P[i - 1];
      EXPECT_EQ(Restarts, 1);
      EXPECT_EQ(P.back(), 100);
    }
  }
}

TEST_F(RotateTest, OneBitCornersTakeTheBackgroundOnlyOnTheAntiAliasedRoute) {
  for (bool AntiAlias : {true, false}) {
    TIEBitmap B(40, 40, ie1g);
    B.Fill(0);
    Run(&B, 30, AntiAlias, 0, clWhite);
    ASSERT_EQ(B.GetPixelFormat(), ie1g);
    EXPECT_EQ(Bit(&B, 0, 0), AntiAlias);
    EXPECT_EQ(Bit(&B, B.GetWidth() - 1, B.GetHeight() - 1), AntiAlias);
    EXPECT_FALSE(Bit(&B, B.GetWidth() / 2, B.GetHeight() / 2));
  }
  // The 1-bit rotator's exact turns.
  TIEBitmap B(11, 3, ie1g);
  B.Fill(0);
  B.GetScanline(0)[1] = 0x20;  // pixel (10, 0): the top-right corner
  RotateBW(&B, false, nullptr, {}, 90);
  ASSERT_EQ(B.GetWidth(), 3);
  ASSERT_EQ(B.GetHeight(), 11);
  EXPECT_TRUE(Bit(&B, 0, 0));
  RotateBW(&B, false, nullptr, {}, 180);
  EXPECT_TRUE(Bit(&B, 2, 10));
}

TEST_F(RotateTest, HookAdaptsTheBackgroundColour) {
  auto B = Coded(6, 4);
  ASSERT_TRUE(RunHook(ProcessingHooks.RotateRGB24, B.get(), false, nullptr, TIEProgressEvent(), TColor(clRed), 10.0));
  EXPECT_NE(B->GetWidth(), 6);
  TIERGB24 Corner = B->GetRGB(0, 0);
  EXPECT_EQ(Corner.r, 255);
  EXPECT_EQ(Corner.g, 0);
}

}  // namespace
}  // namespace zv

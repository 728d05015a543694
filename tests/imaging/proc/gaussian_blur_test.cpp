// The Gaussian blur against a direct two-dimensional convolution with the same weights, its kernel
// widths and edge rules, and the soft shadow's margin, intensity and compositing.
#include "imaging/proc/gaussian_blur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/proc_startup.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

std::unique_ptr<TIEBitmap> NoiseGray(int32_t W, int32_t H, uint32_t Seed) {
  std::mt19937 Gen(Seed);
  auto b = std::make_unique<TIEBitmap>(W, H, ie8g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) b->SetByte(x, y, uint8_t(Gen()));
  return b;
}

TEST(GaussianKernel, HalfWidthsAndWeightSum) {
  struct Case {
    double Radius;
    int HalfWidth;
  } Cases[] = {{0.1, 1}, {0.5, 2}, {2, 9}, {2.5, 11}, {10, 41}, {27, 100}, {100, 100}};
  for (const Case& c : Cases) {
    TGaussianKernel K;
    BuildGaussianKernel(K, c.Radius);
    EXPECT_EQ(K.HalfWidth, c.HalfWidth) << c.Radius;
    int64_t Sum = 0;
    for (int i = 0; i <= 200; ++i) Sum += K.Weights[i];
    EXPECT_NEAR(double(Sum), 65536.0, 101.0) << c.Radius;
    EXPECT_EQ(K.Weights[100 - c.HalfWidth], K.Weights[100 + c.HalfWidth]);
  }
  TGaussianKernel Wide;
  BuildGaussianKernel(Wide, 100);
  EXPECT_GT(Wide.Weights[0], 0) << "all 201 taps are kept";
}

TEST(GaussianBlur, MatchesADirectConvolutionWithTheSameWeights) {
  for (double Radius : {0.1, 2.0, 10.0, 100.0}) {
    auto Source = NoiseGray(48, 36, 5);
    auto B = NoiseGray(48, 36, 5);
    const int32_t X1 = 5, Y1 = 3, X2 = 40, Y2 = 30;
    GaussianBlurGray8(B.get(), X1, Y1, X2, Y2, Radius);
    TGaussianKernel K;
    BuildGaussianKernel(K, Radius);
    const int h = K.HalfWidth;
    int Far = 0;
    for (int32_t y = 0; y < 36; ++y)
      for (int32_t x = 0; x < 48; ++x) {
        if (x < X1 || x > X2 || y < Y1 || y > Y2) {
          ASSERT_EQ(B->GetByte(x, y), Source->GetByte(x, y)) << "outside the rectangle";
          continue;
        }
        double Sum = 0;
        for (int j = -h; j <= h; ++j)
          for (int i = -h; i <= h; ++i) {
            const int32_t sx = std::clamp(x + i, X1, X2), sy = std::clamp(y + j, Y1, Y2);
            Sum += double(K.Weights[100 + i]) * K.Weights[100 + j] * Source->GetByte(sx, sy);
          }
        const double Expected = Sum / 65536.0 / 65536.0;
        if (std::fabs(B->GetByte(x, y) - Expected) > 1.0) ++Far;
      }
    EXPECT_EQ(Far, 0) << "radius " << Radius;
  }
}

TEST(GaussianBlur, UniformStaysUniformAndEdgeCases) {
  for (double Radius : {0.1, 2.0, 10.0, 100.0})
    for (int Level : {0, 77, 255}) {
      TIEBitmap B(30, 20, ie8g);
      B.Fill(Level);
      GaussianBlurGray8(&B, 0, 0, 29, 19, Radius);
      for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_NEAR(B.GetByte(x, y), Level, 1) << Radius << " " << Level;
    }
  // A one-pixel span, a radius that is not positive, an empty or clamped rectangle, another format.
  auto Source = NoiseGray(10, 10, 3);
  auto B = NoiseGray(10, 10, 3);
  GaussianBlurGray8(B.get(), 4, 4, 4, 4, 5);
  EXPECT_TRUE(SameBitmap(B.get(), Source.get()));
  GaussianBlurGray8(B.get(), 0, 0, 9, 9, 0);
  GaussianBlurGray8(B.get(), 0, 0, 9, 9, -1);
  GaussianBlurGray8(B.get(), 0, 0, 9, 9, std::nan(""));
  GaussianBlurGray8(B.get(), 6, 0, 5, 9, 3);
  EXPECT_TRUE(SameBitmap(B.get(), Source.get()));
  GaussianBlurGray8(B.get(), -100, -100, 1000, 1000, 3);
  EXPECT_FALSE(SameBitmap(B.get(), Source.get()));
  TIEBitmap Colour(5, 5, ie24RGB);
  Colour.Fill(0);
  Colour.SetRGB(2, 2, TIERGB24{255, 255, 255});
  GaussianBlurGray8(&Colour, 0, 0, 4, 4, 2);
  EXPECT_EQ(Colour.GetRGB(1, 2).r, 0);
}

TEST(GaussianBlur, CoreHookTakesItsOwnArgumentOrder) {
  ProcessingStartup();
  auto A = NoiseGray(40, 30, 9);
  auto B = NoiseGray(40, 30, 9);
  GaussianBlurGray8(A.get(), 3, 5, 20, 25, 2.5);
  ASSERT_TRUE(RunHook(ProcessingHooks.GaussianBlurGray8, B.get(), 3, 5, 2.5, 25, 20));
  EXPECT_TRUE(SameBitmap(A.get(), B.get()));
  ProcessingShutdown();
}

// An ie24RGB image of grey 200 whose alpha channel holds a fully opaque 11 x 11 square at (30, 30).
std::unique_ptr<TIEBitmap> Scene(TIEPixelFormat Format = ie24RGB) {
  auto b = std::make_unique<TIEBitmap>(80, 80, Format);
  b->Fill(Format == ie24RGB ? double(RGB24ToColor(TIERGB24{200, 200, 200})) : Format == ie1g ? 1.0 : 200.0);
  TIEBitmap* a = b->GetAlphaChannel();
  a->Fill(0);
  a->FillRect(30, 30, 40, 40, 255);
  return b;
}

TEST(SoftShadow, MarginAndReach) {
  for (double Radius : {2.0, 0.0}) {
    auto b = Scene();
    const int32_t M = AddSoftShadow(b.get(), 5, 3, Radius, 100, TIERGB24{0, 0, 255}, 30, 30, 40, 40);
    EXPECT_EQ(M, 20) << Radius;
    TIEBitmap* a = b->GetAlphaChannel();
    EXPECT_FALSE(a->Full());
    // The coverage was blurred within 10 pixels of the square, then moved by (5, 3).
    for (int32_t y = 0; y < 80; ++y)
      for (int32_t x = 0; x < 80; ++x) {
        const bool Reach = x >= 20 + 5 && x <= 50 + 5 && y >= 20 + 3 && y <= 50 + 3;
        if (!Reach) {
          ASSERT_EQ(a->GetByte(x, y), 0) << Radius << " at " << x << "," << y;
        }
      }
    EXPECT_GT(a->GetByte(43, 42), 0);
    EXPECT_EQ(a->GetByte(35, 35), 255) << "the object stays opaque";
    EXPECT_EQ(b->GetRGB(35, 35).r, 200) << "and keeps its colour";
    // The box blur reaches one pixel past the moved edge, the Gaussian further.
    EXPECT_EQ(a->GetByte(48, 35) > 0, Radius != 0) << Radius;
    EXPECT_GT(a->GetByte(46, 35), 0);
    TIERGB24 Shadow = b->GetRGB(46, 35);
    EXPECT_EQ(Shadow.r, 255);
    EXPECT_EQ(Shadow.g, 0);
  }
  EXPECT_EQ(AddSoftShadow(Scene().get(), 0, 0, -3, 100, TIERGB24{}, 30, 30, 40, 40), 1);
}

TEST(SoftShadow, IntensityDividesTheCoverage) {
  auto Full = Scene();
  AddSoftShadow(Full.get(), 6, 6, 2, 100, TIERGB24{0, 0, 0}, 30, 30, 40, 40);
  struct Case {
    int32_t Intensity;
    double Divisor;
  } Cases[] = {{100, 1}, {50, 2}, {0, 3}, {-20, 3}, {300, 1}};
  for (const Case& c : Cases) {
    auto b = Scene();
    AddSoftShadow(b.get(), 6, 6, 2, c.Intensity, TIERGB24{0, 0, 0}, 30, 30, 40, 40);
    int Checked = 0;
    for (int32_t y = 0; y < 80; ++y)
      for (int32_t x = 0; x < 80; ++x) {
        const int A = Full->GetAlphaChannel()->GetByte(x, y);
        const bool ShadowOnly = !(x >= 30 && x <= 40 && y >= 30 && y <= 40) && A != 0;
        if (!ShadowOnly) continue;
        ASSERT_EQ(b->GetAlphaChannel()->GetByte(x, y), int(std::trunc(A / c.Divisor))) << c.Intensity;
        ++Checked;
      }
    EXPECT_GT(Checked, 100);
  }
}

TEST(SoftShadow, PartlyCoveredPixelsAndOtherFormats) {
  auto b = Scene();
  b->GetAlphaChannel()->SetByte(41, 35, 128);  // an anti-aliased edge pixel of the object
  b->SetRGB(41, 35, TIERGB24{100, 100, 100});
  auto Probe = Scene();
  Probe->GetAlphaChannel()->SetByte(41, 35, 128);
  AddSoftShadow(Probe.get(), 2, 0, 2, 100, TIERGB24{0, 0, 0}, 30, 30, 41, 40);
  AddSoftShadow(b.get(), 2, 0, 2, 100, TIERGB24{0, 0, 0}, 30, 30, 41, 40);
  // The shadow coverage under the pixel, read back from the probe's alpha via its own formula.
  const double r = 128 / 255.0;
  const double A = (Probe->GetAlphaChannel()->GetByte(41, 35) / 255.0 - r) / (1 - r);
  const double s = std::trunc((1 - A) * 100);
  EXPECT_NEAR(b->GetRGB(41, 35).r, std::trunc(r * 100 + (1 - r) * s), 1);
  EXPECT_LT(b->GetRGB(41, 35).r, 100);
  EXPECT_GT(b->GetAlphaChannel()->GetByte(41, 35), 128);

  // ie8g takes the colour's grey level; ie1g goes black; other formats keep only the coverage.
  auto g = Scene(ie8g);
  AddSoftShadow(g.get(), 4, 4, 2, 100, TIERGB24{0, 0, 255}, 30, 30, 40, 40);
  EXPECT_EQ(g->GetByte(43, 43), RGB24ToGray(TIERGB24{0, 0, 255}));
  EXPECT_EQ(g->GetByte(35, 35), 200);
  auto w = Scene(ie1g);
  AddSoftShadow(w.get(), 4, 4, 2, 100, TIERGB24{255, 255, 255}, 30, 30, 40, 40);
  EXPECT_EQ(w->GetScanline(43)[43 >> 3] & (0x80 >> (43 & 7)), 0);
  EXPECT_NE(w->GetScanline(35)[35 >> 3] & (0x80 >> (35 & 7)), 0);
  EXPECT_NE(w->GetScanline(10)[10 >> 3] & (0x80 >> (10 & 7)), 0);
  auto f = Scene(ieRGB48);
  AddSoftShadow(f.get(), 4, 4, 2, 50, TIERGB24{0, 0, 255}, 30, 30, 40, 40);
  EXPECT_GT(f->GetAlphaChannel()->GetByte(43, 43), 100) << "the coverage is kept whole";
  EXPECT_EQ(f->GetAlphaChannel()->GetByte(10, 10), 0);
}

}  // namespace
}  // namespace zv

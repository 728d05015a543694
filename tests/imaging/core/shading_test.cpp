#include "imaging/core/shading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/gdiplus_canvas.h"
#include "imaging/proc/proc_startup.h"
#include "platform/graphics.h"

namespace zv {
namespace {

uint8_t* At(TBitmap& B, int32_t X, int32_t Y) { return static_cast<uint8_t*>(B.ScanLine(Y)) + 3 * X; }

TEST(ShadingTest, GaussianRampAndStripes) {
  std::vector<double> v;
  GaussianRamp(4, 130, 255, 0.5, v);
  ASSERT_EQ(v.size(), 4u);
  const double Want[] = {240.3, 251.2, 255, 251.2};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(v[size_t(i)], Want[i], 0.05) << i;
  GaussianRamp(0, 130, 255, 0.5, v);
  EXPECT_TRUE(v.empty());

  TBitmap S;
  PaintStripeTexture(&S, 7, 9);
  ASSERT_EQ(S.PixelFormat(), pf24bit);
  const uint8_t Rows[] = {240, 251, 255, 251};
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(At(S, x, y)[1], Rows[y % 4]) << x << "," << y;
}

TEST(ShadingTest, NoiseTextureStaysWithinItsProfile) {
  TBitmap N;
  PaintNoiseTexture(&N, 300, 20);
  std::vector<double> v;
  GaussianRamp(300, 160, 208, 3, v);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 300; ++x) {
      int g = At(N, x, y)[0], base = int(v[size_t(x)]);
      ASSERT_GE(g, base);
      ASSERT_LE(g, base + 10);
      ASSERT_EQ(At(N, x, y)[2], g);
    }
}

TEST(ShadingTest, SoftShadowDarkensTheBandOnly) {
  InstallResampleHooks();
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(60, 50);
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 60; ++x) At(B, x, y)[0] = At(B, x, y)[1] = At(B, x, y)[2] = 200;
  DrawSoftShadow(&B, 10, 10, 39, 29);
  for (int32_t y = 10; y <= 29; ++y)
    for (int32_t x = 10; x <= 39; ++x) ASSERT_EQ(At(B, x, y)[1], 200) << "inside " << x << "," << y;
  // Outside the 5-pixel band nothing changes.
  EXPECT_EQ(At(B, 45, 20)[0], 200);
  EXPECT_EQ(At(B, 20, 35)[0], 200);
  EXPECT_EQ(At(B, 4, 4)[0], 200);
  // Darkest just right of and below the rectangle, lighter on the far sides.
  EXPECT_LT(At(B, 40, 20)[1], 120);
  EXPECT_LT(At(B, 25, 30)[1], 120);
  EXPECT_LT(At(B, 40, 20)[1], At(B, 9, 20)[1]);
  EXPECT_LT(At(B, 25, 30)[1], At(B, 25, 9)[1]);
  EXPECT_LT(At(B, 40, 20)[1], At(B, 44, 20)[1]);

  // A rectangle over the bitmap's corner or wholly outside it stays inside the bitmap.
  DrawSoftShadow(&B, -20, -20, 2, 2);
  DrawSoftShadow(&B, 58, 48, 90, 90);
  DrawSoftShadow(&B, 500, 500, 510, 510);
  DrawSoftShadow(&B, 10, 10, 5, 5);  // reversed: nothing
  RemoveResampleHooks();
}


std::unique_ptr<TBitmap> Grey200(int32_t W, int32_t H) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t y = 0; y < H; ++y) std::memset(B->ScanLine(y), 200, size_t(W) * 3);
  return B;
}

TEST(ShadingTest, RightShadowStripByKind) {
  // Strip columns 40..44 (w = 5) beside rows 10..30.
  struct TCase {
    int32_t Kind;
    int32_t X, Y;
    int Want;
  };
  const TCase Cases[] = {
      {1, 40, 15, 0},   {1, 44, 30, 0},   {1, 40, 14, 200}, {1, 45, 20, 200}, {1, 42, 31, 200},
      // Next to the image the factor is exp(-1.6); the outer column exp(-0.16). The lower end is cut
      // diagonally: column 40 stops at row 28, column 44 at row 32.
      {2, 40, 15, 40},  {2, 40, 28, 40},  {2, 40, 29, 200}, {2, 40, 14, 200}, {2, 44, 32, 170},
      {2, 44, 33, 200}, {2, 45, 20, 200},
      // The grey ramp: 255 e^t / e^2 with t = 1 next to the image.
      {3, 40, 20, 93},  {3, 45, 20, 200},
      {99, 40, 20, 200},
  };
  for (bool ThroughBitmap : {true, false})
    for (const TCase& Case : Cases) {
      SCOPED_TRACE("kind " + std::to_string(Case.Kind) + " at " + std::to_string(Case.X) + "," +
                   std::to_string(Case.Y) + (ThroughBitmap ? " in the bitmap" : " on the canvas"));
      auto B = Grey200(60, 50);
      B->Canvas()->Brush()->SetColor(clBlack);
      DrawShadowRight(B->Canvas(), ThroughBitmap ? B.get() : nullptr, 40, 10, 44, 30, Case.Kind);
      EXPECT_EQ(At(*B, Case.X, Case.Y)[1], Case.Want);
    }
  auto B = Grey200(60, 50);
  DrawShadowRight(B->Canvas(), B.get(), 40, 10, 44, 30, 3);
  for (int32_t x = 40; x < 44; ++x) EXPECT_GE(At(*B, x, 25)[0], At(*B, x + 1, 25)[0]) << x;
  EXPECT_GE(At(*B, 44, 25)[0], 4);
}

TEST(ShadingTest, BottomStripIsTheRightStripTurned) {
  for (int32_t Kind : {1, 2, 3}) {
    SCOPED_TRACE(Kind);
    auto R = Grey200(60, 60), D = Grey200(60, 60);
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 60; ++x) At(*R, x, y)[0] = At(*D, y, x)[0] = uint8_t(x * 3 + y);
    R->Canvas()->Brush()->SetColor(clBlack);
    D->Canvas()->Brush()->SetColor(clBlack);
    DrawShadowRight(R->Canvas(), R.get(), 40, 10, 44, 30, Kind);
    DrawShadowBottom(D->Canvas(), D.get(), 10, 40, 30, 44, Kind);
    int Diff = 0;
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 60; ++x) Diff += std::memcmp(At(*R, x, y), At(*D, y, x), 3) != 0;
    EXPECT_EQ(Diff, 0);
  }
}

TEST(ShadingTest, ShadowStripsOutsideOrReversedStayInside) {
  for (int32_t Kind : {1, 2, 3}) {
    auto B = Grey200(20, 20);
    DrawShadowRight(B->Canvas(), B.get(), 30, -50, 34, 90, Kind);
    DrawShadowBottom(B->Canvas(), B.get(), -5, 18, 40, 30, Kind);
    DrawShadowRight(B->Canvas(), B.get(), 10, 5, 4, 15, Kind);  // reversed: nothing
    DrawShadowRight(nullptr, nullptr, 1, 1, 5, 9, Kind);
    EXPECT_EQ(At(*B, 5, 5)[0], 200);
  }
}

TEST(ShadingTest, ShadeOutsideRectDimsEachPixelAroundTheInnerRectangleOnce) {
  GdiPlusStartupStep();
  for (bool Layer : {true, false}) {
    SCOPED_TRACE(Layer ? "layer" : "plain");
    if (Layer) GdiPlusLoad();
    auto B = std::make_unique<TBitmap>();
    B->SetPixelFormat(pf24bit);
    B->SetSize(40, 30);
    for (int32_t y = 0; y < 30; ++y) std::memset(B->ScanLine(y), 255, 120);
    ShadeOutsideRect(B->Canvas(), 2, 3, 30, 20, 10, 8, 20, 15);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const bool Area = x >= 2 && x < 32 && y >= 3 && y < 23;
        const bool Hole = x >= 11 && x <= 19 && y >= 9 && y <= 15;
        // Black at transparency 150 over white on the layer; the plain fill is black.
        const int Want = Area && !Hole ? (Layer ? 105 : 0) : 255;
        ASSERT_EQ(At(*B, x, y)[1], Want) << x << "," << y;
      }
    ShadeOutsideRect(B->Canvas(), 0, 0, 40, 30, 20, 8, 20, 15);  // empty inner rectangle: nothing
    EXPECT_EQ(At(*B, 0, 0)[0], 255);
    if (Layer) GdiPlusUnload();
  }
}

}  // namespace
}  // namespace zv

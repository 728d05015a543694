#include "imaging/core/shading.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace zv

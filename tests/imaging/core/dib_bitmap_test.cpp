#include "imaging/core/dib_bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/bitmap.h"

namespace zv {
namespace {

TEST(DibBitmap, NewHeaderDescribesABottomUpRgbSection) {
  TIEDibbitmap d;
  EXPECT_EQ(d.Header().biSize, 40u);
  EXPECT_EQ(d.Header().biPlanes, 1);
  EXPECT_EQ(d.Header().biCompression, BI_RGB);
  EXPECT_EQ(d.GetPixelFormat(), ieNone);
  EXPECT_EQ(d.GetScanline(0), nullptr);
  ASSERT_TRUE(d.Allocate(33, 2, ie1g));
  EXPECT_EQ(d.Header().biHeight, 2);
  EXPECT_EQ(d.Header().biBitCount, 1);
  EXPECT_EQ(d.Header().biSizeImage, 16u);
}

TEST(DibBitmap, OnlyOneAndTwentyFourBitsAllocate) {
  struct Case {
    TIEPixelFormat Format;
    int32_t Width;
    bool Ok;
    int32_t RowLen;
  } cases[] = {{ie1g, 33, true, 8},     {ie1g, 1, true, 4},   {ie24RGB, 3, true, 12},
               {ie24RGB, 10, true, 32}, {ie8g, 4, false, 0},  {ie8p, 4, false, 0},
               {ieRGBX32, 4, false, 0}, {ie1g, 0, false, 0}};
  for (const auto& c : cases) {
    TIEDibbitmap d;
    EXPECT_EQ(d.Allocate(c.Width, 3, c.Format), c.Ok) << int(c.Format) << " " << c.Width;
    EXPECT_EQ(d.GetRowLen(), c.RowLen);
    EXPECT_EQ(d.GetPixelFormat(), c.Ok ? c.Format : ieNone);
    EXPECT_EQ(d.Bits() != nullptr, c.Ok);
  }
}

TEST(DibBitmap, RowsAreBottomUpAndGdiDrawsIntoThem) {
  TIEDibbitmap d;
  ASSERT_TRUE(d.Allocate(4, 3, ie24RGB));
  EXPECT_EQ(d.GetScanline(0), d.Bits() + 2 * d.GetRowLen());
  EXPECT_EQ(d.GetScanline(2), d.Bits());
  ASSERT_NE(d.DC(), nullptr);
  SetPixel(d.DC(), 1, 0, RGB(200, 100, 50));
  const uint8_t* p = d.GetScanline(0) + 3;
  EXPECT_EQ(p[0], 50);
  EXPECT_EQ(p[1], 100);
  EXPECT_EQ(p[2], 200);
  // And GDI sees what is written into the rows.
  d.GetScanline(2)[0] = 10;
  d.GetScanline(2)[1] = 20;
  d.GetScanline(2)[2] = 30;
  EXPECT_EQ(GetPixel(d.DC(), 0, 2), RGB(30, 20, 10));
}

TEST(DibBitmap, OneBitSetBitsAreWhite) {
  TIEDibbitmap d;
  ASSERT_TRUE(d.Allocate(9, 2, ie1g));
  std::memset(d.Bits(), 0, d.GetRowLen() * 2);
  d.GetScanline(1)[0] = 0x80;
  EXPECT_EQ(GetPixel(d.DC(), 0, 1), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(d.DC(), 1, 1), RGB(0, 0, 0));
}

TEST(DibBitmap, AssignCopiesFromAnotherDibOnly) {
  TIEDibbitmap a;
  ASSERT_TRUE(a.Allocate(5, 4, ie24RGB));
  for (int r = 0; r < 4; ++r) std::memset(a.GetScanline(r), 0x40 + r, a.GetRowLen());
  TIEDibbitmap b;
  b.Assign(&a);
  ASSERT_EQ(b.GetWidth(), 5);
  ASSERT_EQ(b.GetHeight(), 4);
  ASSERT_NE(b.Bits(), a.Bits());
  for (int r = 0; r < 4; ++r) EXPECT_EQ(b.GetScanline(r)[b.GetRowLen() - 1], 0x40 + r);

  TIEBitmap other(2, 2, ie24RGB);
  b.Assign(&other);
  EXPECT_EQ(b.GetWidth(), 5);
}

TEST(DibBitmap, HasNoPaletteAndFreesOnReallocation) {
  TIEDibbitmap d;
  ASSERT_TRUE(d.Allocate(2, 2, ie24RGB));
  EXPECT_EQ(d.GetPalette(), nullptr);
  EXPECT_EQ(d.GetPaletteLength(), 0);
  d.SetPaletteColor(0, TIERGB24{1, 2, 3});
  EXPECT_EQ(d.GetPaletteColor(0), (TIERGB24{0, 0, 0}));
  ASSERT_TRUE(d.Allocate(6, 1, ie1g));
  EXPECT_EQ(d.GetBitCount(), 1);
  d.FreeBits();
  EXPECT_EQ(d.GetWidth(), 0);
  EXPECT_EQ(d.Bits(), nullptr);
}

}  // namespace
}  // namespace zv

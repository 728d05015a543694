#include "imaging/core/mask.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/graphics.h"

namespace zv {
namespace {

int32_t CountSet(const TIEMask& M) {
  int32_t N = 0;
  for (int32_t y = 0; y < M.Height(); ++y)
    for (int32_t x = 0; x < M.Width(); ++x) N += M.GetPixel(x, y) != 0;
  return N;
}

void ExpectBox(const TIEMask& M, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  EXPECT_EQ(M.X1, X1);
  EXPECT_EQ(M.Y1, Y1);
  EXPECT_EQ(M.X2, X2);
  EXPECT_EQ(M.Y2, Y2);
}

std::vector<TPoint> Rect(int32_t L, int32_t T, int32_t R, int32_t B) { return {{L, T}, {R, T}, {R, B}, {L, B}}; }

// ---- Pixels, box and the Full flag ----------------------------------------------------------------------

TEST(MaskPixelsTest, NewAndClearedMasksAreEmptyAndOnePixelMakesTheBox) {
  TIEMask M;
  EXPECT_TRUE(M.IsEmpty());
  EXPECT_EQ(M.GetPixel(0, 0), 0);
  M.Allocate(30, 20, 1);
  EXPECT_TRUE(M.IsEmpty());
  EXPECT_EQ(M.RowLength(), 4);
  M.SetPixel(7, 11, 1);
  ExpectBox(M, 7, 11, 7, 11);
  M.SetPixel(0, 3, 1);
  EXPECT_EQ(M.GetPixel(0, 3), 128);
  EXPECT_EQ(M.GetPixel(7, 11), 1);  // the bit's weight in its byte
  EXPECT_TRUE(M.IsPointInside(7, 11));
  M.SetPixel(40, 3, 1);  // outside: ignored
  ExpectBox(M, 0, 3, 7, 11);
  M.Clear();
  EXPECT_TRUE(M.IsEmpty());
  EXPECT_EQ(CountSet(M), 0);
}

TEST(MaskPixelsTest, FullFollowsWritesAndCheckFullAgrees) {
  for (int32_t Bits : {1, 8}) {
    TIEMask M;
    M.Allocate(13, 5, Bits);
    M.Fill(255);
    EXPECT_TRUE(M.Full()) << Bits;
    M.CheckFull();
    EXPECT_TRUE(M.Full()) << Bits;
    M.SetPixel(12, 4, Bits == 8 ? 254 : 0);
    EXPECT_FALSE(M.Full()) << Bits;
    M.CheckFull();
    EXPECT_FALSE(M.Full()) << Bits;
    M.SetPixel(12, 4, Bits == 8 ? 255 : 1);
    M.CheckFull();
    EXPECT_TRUE(M.Full()) << Bits;
  }
}

TEST(MaskPixelsTest, RecalcBoundingBoxFindsTheSetPixels) {
  TIEMask M;
  M.Allocate(50, 50, 8);
  M.FillRowSpan(9, 10, 20, 30);
  M.FillRowSpan(9, 15, 16, 41);
  EXPECT_TRUE(M.IsEmpty());  // spans leave the box to the caller
  M.RecalcBoundingBox();
  ExpectBox(M, 10, 30, 20, 41);
}

// ---- Rectangle and polygon selections -------------------------------------------------------------------

TEST(MaskFillTest, RowSpansAreClampedAndCounted) {
  TIEMask M;
  M.Allocate(20, 10, 1);
  EXPECT_EQ(M.FillRowSpan(1, -5, 3, 2), 4);
  EXPECT_EQ(M.FillRowSpan(1, 17, 99, 2), 3);
  EXPECT_EQ(M.FillRowSpan(1, 8, 5, 2), 0);
  EXPECT_EQ(CountSet(M), 7);
  EXPECT_EQ(M.FillRowSpan(0, 0, 19, 2), 20);  // clears
  EXPECT_EQ(CountSet(M), 0);
}

TEST(MaskFillTest, RectanglePolygonSelectsItsInteriorInBothDepths) {
  for (int32_t Bits : {1, 8}) {
    TIEMask M;
    M.Allocate(40, 30, Bits);
    auto P = Rect(5, 3, 15, 9);
    int32_t V = Bits == 1 ? 1 : 200;
    M.FillPolygons(V, P.data(), int32_t(P.size()));
    ExpectBox(M, 5, 3, 14, 8);
    EXPECT_EQ(CountSet(M), 10 * 6);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        bool In = x >= 5 && x < 15 && y >= 3 && y < 9;
        ASSERT_EQ(M.GetPixel(x, y) != 0, In) << x << "," << y;
      }
    if (Bits == 8) {
      EXPECT_EQ(M.GetPixel(6, 4), 200);
    }
    EXPECT_FALSE(M.Full());
  }
}

TEST(MaskFillTest, TrianglePolygonRowsFollowTheSlantedEdge) {
  TIEMask M;
  M.Allocate(20, 20, 1);
  std::vector<TPoint> P = {{0, 0}, {10, 0}, {0, 10}};
  M.FillPolygon(1, P.data(), 3);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 12; ++x) ASSERT_EQ(M.GetPixel(x, y) != 0, y < 10 && x < 10 - y) << x << "," << y;
  EXPECT_EQ(CountSet(M), 55);
}

TEST(MaskFillTest, PolygonsAfterASeparatorAreFilledIndependently) {
  TIEMask M;
  M.Allocate(40, 40, 1);
  // Two overlapping squares: each is filled on its own, so the overlap stays selected.
  std::vector<TPoint> P = Rect(0, 0, 10, 10);
  P.push_back({IEPolygonSeparator, 0});
  for (TPoint Q : Rect(5, 5, 20, 15)) P.push_back(Q);
  M.FillPolygons(1, P.data(), int32_t(P.size()));
  EXPECT_TRUE(M.IsPointInside(7, 7));
  EXPECT_TRUE(M.IsPointInside(2, 2));
  EXPECT_TRUE(M.IsPointInside(19, 14));
  EXPECT_FALSE(M.IsPointInside(12, 2));
  EXPECT_EQ(CountSet(M), 100 + 150 - 25);
  ExpectBox(M, 0, 0, 19, 14);
}

TEST(MaskFillTest, PolygonCoveringNoPixelLeavesTheBoxAsItWas) {
  TIEMask M;
  M.Allocate(20, 20, 1);
  std::vector<TPoint> Line = {{5, 2}, {5, 12}, {5, 7}};
  M.FillPolygon(1, Line.data(), 3);
  EXPECT_TRUE(M.IsEmpty());
  M.SetPixel(1, 1, 1);
  M.FillPolygon(1, Line.data(), 3);
  ExpectBox(M, 1, 1, 1, 1);
}

TEST(MaskFillTest, PolygonPartlyOutsideFillsOnlyItsOwnRows) {
  TIEMask M;
  M.Allocate(30, 10, 1);
  // At row y the right edge is at 10 - y; the rows above the mask are wider and must not land on row 0.
  std::vector<TPoint> P = {{0, -10}, {20, -10}, {0, 10}};
  M.FillPolygon(1, P.data(), 3);
  for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(M.IsPointInside(x, 0), x < 10) << x;
  EXPECT_EQ(CountSet(M), 55);
  ExpectBox(M, 0, 0, 19, 9);
}

TEST(MaskFillTest, EdgesFromFarAboveArriveWhereRowByRowWalkingPutsThem) {
  // Each triangle starts Above rows over a 12-row mask; the same triangle moved down into a mask tall
  // enough to hold it is walked row by row from its top. The 12 rows must match.
  struct Case {
    const char* What;
    int32_t Above, TopX, BottomX;
  } Cases[] = {{"7 across per 3 down", 300, 0, 700},    {"leaning left", 300, 700, 0},
               {"nearly upright", 999, 10, 11},          {"nearly upright, left", 999, 11, 10},
               {"flat", 7, 0, 1000},                      {"one row above", 1, 3, 40}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    const int32_t H = 12, W = 60, Bottom = 12;
    auto Triangle = [&](int32_t Shift) {
      return std::vector<TPoint>{{C.TopX, Shift - C.Above}, {C.BottomX, Shift + Bottom}, {W, Shift + Bottom}};
    };
    TIEMask Clipped;
    Clipped.Allocate(W, H, 8);
    auto P = Triangle(0);
    Clipped.FillPolygon(255, P.data(), 3);
    TIEMask Tall;
    Tall.Allocate(W, H + C.Above, 8);
    auto Q = Triangle(C.Above);
    Tall.FillPolygon(255, Q.data(), 3);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) ASSERT_EQ(Clipped.GetPixel(x, y), Tall.GetPixel(x, y + C.Above)) << x << "," << y;
  }
}

TEST(MaskFillTest, PointsAtTheEndsOfTheCoordinateRangeFillOnlyTheMasksRows) {
  // Such points come from selection records; the rows between them and the mask are not walked.
  constexpr int32_t Lo = INT32_MIN, Hi = INT32_MAX;
  struct Case {
    const char* What;
    std::vector<TPoint> P;
    int32_t X1, Y1, X2, Y2;  // the rectangle expected set
  } Cases[] = {{"down to the last row", Rect(2, 3, 6, Hi), 2, 3, 5, 9},
               {"up from the first row", Rect(2, Lo, 6, 4), 2, 0, 5, 3},
               {"both ways", Rect(1, Lo, 4, Hi), 1, 0, 3, 9},
               {"wide both ways", Rect(Lo, 2, Hi, 5), 0, 2, 19, 4},
               {"all of it", Rect(Lo, Lo, Hi, Hi), 0, 0, 19, 9}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEMask M;
    M.Allocate(20, 10, 1);
    M.FillPolygon(1, C.P.data(), int32_t(C.P.size()));
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 20; ++x)
        ASSERT_EQ(M.GetPixel(x, y) != 0, x >= C.X1 && x <= C.X2 && y >= C.Y1 && y <= C.Y2) << x << "," << y;
  }
}

// ---- Moving, resizing ------------------------------------------------------------------------------------------

class MaskTranslateTest : public testing::TestWithParam<int32_t> {};

TEST_P(MaskTranslateTest, MovingPastTheEdgeClipsTheBoxOrTheOffset) {
  const int32_t Bits = GetParam();
  const int32_t V = Bits == 1 ? 1 : 255;
  auto Selection = [&](TIEMask& M) {
    M.Allocate(40, 40, Bits);
    auto P = Rect(20, 20, 30, 30);
    M.FillPolygon(V, P.data(), 4);
    ExpectBox(M, 20, 20, 29, 29);
  };
  {
    TIEMask M;
    Selection(M);
    int32_t DX = 15, DY = -3;  // columns 40..44 would leave the mask
    M.Translate(DX, DY, true);
    EXPECT_EQ(DX, 15);
    ExpectBox(M, 35, 17, 39, 26);
    EXPECT_EQ(CountSet(M), 5 * 10);
    for (int32_t y = 17; y <= 26; ++y) EXPECT_TRUE(M.IsPointInside(35, y) && M.IsPointInside(39, y));
  }
  {
    TIEMask M;
    Selection(M);
    int32_t DX = 15, DY = -3;
    M.Translate(DX, DY, false);
    EXPECT_EQ(DX, 10);
    EXPECT_EQ(DY, -3);
    ExpectBox(M, 30, 17, 39, 26);
    EXPECT_EQ(CountSet(M), 100);
    EXPECT_TRUE(M.IsPointInside(30, 17));
    EXPECT_FALSE(M.IsPointInside(29, 17));
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, MaskTranslateTest, testing::Values(1, 8));

TEST(MaskResizeTest, ResizingKeepsTheTopLeftPart) {
  TIEMask M;
  M.Allocate(40, 30, 1);
  auto P = Rect(2, 2, 36, 25);
  M.FillPolygon(1, P.data(), 4);
  M.Resize(20, 10);
  EXPECT_EQ(M.Width(), 20);
  EXPECT_EQ(M.Height(), 10);
  EXPECT_TRUE(M.IsPointInside(2, 2));
  EXPECT_TRUE(M.IsPointInside(19, 9));
  EXPECT_FALSE(M.IsPointInside(1, 1));
  ExpectBox(M, 2, 2, 19, 9);
  M.Resize(64, 64);
  EXPECT_TRUE(M.IsPointInside(2, 2));
  EXPECT_TRUE(M.IsPointInside(19, 9));
  EXPECT_FALSE(M.IsPointInside(2, 10));
}

// Sizes whose row length or whole block does not fit are refused before anything is allocated: a row
// length that wrapped to 0 once let SetPixel write outside the block.
TEST(MaskResizeTest, SizesThatDoNotFitAreRefusedAndLeaveNothingToWriteInto) {
  struct Case {
    int32_t W, H, Bits;
  } cases[] = {
      {INT32_MAX, 1, 8},             // a row length past 2 GiB
      {INT32_MAX, INT32_MAX, 1},     // rows of 256 MiB, 2^31 of them
      {0x40000000, 0x7FFFFFFF, 1},   // rows of 128 MiB: far more than any machine's memory
      {0x40000000, 0x40000000, 8},   // rows of 1 GiB, 2^30 of them
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H << " x " << c.Bits);
    TIEMask M;
    M.Allocate(4, 4, 8);
    M.SetPixel(1, 1, 200);
    EXPECT_FALSE(M.Allocate(c.W, c.H, c.Bits));
    EXPECT_EQ(M.Width(), 0);
    EXPECT_EQ(M.Height(), 0);
    EXPECT_EQ(M.RowLength(), 0);
    EXPECT_EQ(M.Bits(), nullptr);
    EXPECT_TRUE(M.IsEmpty());
    M.SetPixel(c.W - 1, 0, 7);  // ignored: nothing to write into
    EXPECT_EQ(M.GetPixel(c.W - 1, 0), 0);
    M.Fill(255);
    M.RecalcBoundingBox();

    TIEMask R;
    R.Allocate(4, 4, c.Bits);
    R.SetPixel(3, 3, 1);
    EXPECT_FALSE(R.Resize(c.W, c.H));
    EXPECT_EQ(R.Width(), 4);
    EXPECT_NE(R.GetPixel(3, 3), 0);
  }
}

// ---- Copies through the mask -------------------------------------------------------------------------------------

TEST(MaskCopyTest, OneBitSelectionCopiesOnlySelectedPixels) {
  TIEBitmap Source(20, 20, ie24RGB), Dest(20, 20, ie24RGB);
  Source.Fill(0x0000FF);  // red
  Dest.Fill(0xFF0000);    // blue
  TIEMask M;
  M.Allocate(20, 20, 1);
  std::vector<TPoint> P = {{2, 2}, {12, 2}, {2, 12}};
  M.FillPolygon(1, P.data(), 3);
  M.CopyMaskedPixels(&Dest, &Source, false, false, true);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      TIERGB24 C = Dest.GetRGB(x, y);
      if (M.IsPointInside(x, y)) {
        ASSERT_EQ(C, (TIERGB24{0, 0, 255}));
        ASSERT_EQ(Dest.GetAlpha(x, y), 255);
      } else {
        ASSERT_EQ(C, (TIERGB24{255, 0, 0}));
        if (x >= M.X1 && x <= M.X2 && y >= M.Y1 && y <= M.Y2) {
          ASSERT_EQ(Dest.GetAlpha(x, y), 0);
        }
      }
    }
}

TEST(MaskCopyTest, EightBitMaskBlendsByItsValueAndLimitsAlpha) {
  TIEBitmap Source(8, 8, ie24RGB), Dest(8, 8, ie24RGB);
  Source.Fill(0xC86400);  // r 0, g 100, b 200
  Dest.Fill(0x32C8FF);    // r 255, g 200, b 50
  TIEMask M;
  M.Allocate(8, 8, 8);
  auto P = Rect(0, 0, 4, 4);
  M.FillPolygon(128, P.data(), 4);
  M.CopyMaskedPixels(&Dest, &Source, false, false, true);
  // d + floor((s - d) x 128 / 256)
  EXPECT_EQ(Dest.GetRGB(1, 1), (TIERGB24{125, 150, 127}));
  EXPECT_EQ(Dest.GetRGB(5, 5), (TIERGB24{50, 200, 255}));
  EXPECT_EQ(Dest.GetAlpha(1, 1), 128);
  EXPECT_FALSE(Dest.GetAlphaChannel()->Full());
}

TEST(MaskCopyTest, SourceAtBoxReadsTheBoxFromTheOrigin) {
  TIEBitmap Source(4, 4, ie8g), Dest(20, 20, ie8g);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) Source.SetByte(x, y, uint8_t(10 * y + x + 1));
  Dest.Fill(0);
  TIEMask M;
  M.Allocate(20, 20, 1);
  auto P = Rect(10, 5, 14, 9);
  M.FillPolygon(1, P.data(), 4);
  M.CopyMaskedPixels(&Dest, &Source, false, true, false);
  EXPECT_EQ(Dest.GetByte(10, 5), 1);
  EXPECT_EQ(Dest.GetByte(13, 8), 34);
  EXPECT_EQ(Dest.GetByte(9, 5), 0);
}

// ---- Drawing --------------------------------------------------------------------------------------------------

std::unique_ptr<TBitmap> Canvas24(int32_t W, int32_t H, uint8_t Level) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t y = 0; y < H; ++y) {
    auto* Row = static_cast<uint8_t*>(B->ScanLine(y));
    for (int32_t x = 0; x < W * 3; ++x) Row[x] = Level;
  }
  return B;
}

TIERGB24 PixelOf(TBitmap* B, int32_t x, int32_t y) {
  auto* Row = static_cast<uint8_t*>(B->ScanLine(y));
  return TIERGB24{Row[x * 3], Row[x * 3 + 1], Row[x * 3 + 2]};
}

TEST(MaskDrawTest, OverlayShadesOnlyTheUnselectedPart) {
  TIEMask M;
  M.Allocate(10, 10, 1);
  auto P = Rect(2, 2, 8, 8);
  M.FillPolygon(1, P.data(), 4);
  auto B = Canvas24(10, 10, 100);
  M.DrawOverlay(B.get(), 0, 0, 10, 10, 0, 0, 10, 10, 51, TColor(0x0000FF));
  EXPECT_EQ(PixelOf(B.get(), 5, 5), (TIERGB24{100, 100, 100}));
  // trunc(0.2 x colour + 0.8 x 100)
  EXPECT_EQ(PixelOf(B.get(), 0, 0), (TIERGB24{80, 80, 131}));
  auto C = Canvas24(10, 10, 100);
  M.DrawOverlay(C.get(), 0, 0, 10, 10, 0, 0, 10, 10, -1, TColor(0x000000));
  EXPECT_EQ(PixelOf(C.get(), 0, 0), (TIERGB24{0, 0, 0}));
  EXPECT_EQ(PixelOf(C.get(), 1, 0), (TIERGB24{100, 100, 100}));
  EXPECT_EQ(PixelOf(C.get(), 1, 1), (TIERGB24{0, 0, 0}));
  EXPECT_EQ(PixelOf(C.get(), 4, 4), (TIERGB24{100, 100, 100}));
}

TEST(MaskDrawTest, OutlinePaintsTheBorderOfARectangleSelection) {
  TIEMask M;
  M.Allocate(12, 12, 1);
  auto P = Rect(2, 2, 9, 9);
  M.FillPolygon(1, P.data(), 4);
  auto B = Canvas24(12, 12, 100);
  TRect Covered;
  M.DrawOutline(B->Canvas(), 0, 0, 12, 12, 0, 0, 12, 12, 0, TColor(0x0000FF), TColor(0xFF0000), &Covered);
  EXPECT_EQ(Covered, TRect(3, 3, 8, 8));
  const TIERGB24 Grey{100, 100, 100};
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 12; ++x) {
      TIERGB24 C = PixelOf(B.get(), x, y);
      bool Border = M.IsPointInside(x, y) && (x == 2 || x == 8 || y == 2 || y == 8);
      if (!Border) {
        ASSERT_EQ(C, Grey) << x << "," << y;
        continue;
      }
      // Dashes of 4: Color2 (blue) where (x + y) mod 8 is 0..3, Color1 (red) otherwise.
      TIERGB24 Want = (x + y) % 8 < 4 ? TIERGB24{255, 0, 0} : TIERGB24{0, 0, 255};
      ASSERT_EQ(C, Want) << x << "," << y;
    }
}

}  // namespace
}  // namespace zv

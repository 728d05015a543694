// Regions of the transition effects read back as pixel masks and compared with shapes built here from
// plain rectangles, or with the same figure in another box.
#include "imaging/proc/transition_regions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// Which pixels of the W x H area the region covers, row after row ('#' covered).
std::string Mask(HRGN R, int32_t W, int32_t H) {
  std::string m;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) m += R && PtInRegion(R, x, y) ? '#' : '.';
  return m;
}

struct TRectList {
  std::vector<TRect> Rects;
  bool Covers(int32_t X, int32_t Y) const {
    for (const TRect& r : Rects)
      if (X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom) return true;
    return false;
  }
  std::string Mask(int32_t W, int32_t H) const {
    std::string m;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) m += Covers(x, y) ? '#' : '.';
    return m;
  }
};

struct RegionHolder {
  HRGN R;
  explicit RegionHolder(HRGN Region) : R(Region) {}
  ~RegionHolder() {
    if (R) DeleteObject(R);
  }
};

TRect BoxOf(HRGN R) {
  TRect box;
  GetRgnBox(R, &box);
  return box;
}

TEST(ComplexRegionTest, GrowsByFiveHundredAndCoversEveryRectangle) {
  TComplexRegion list;
  EXPECT_EQ(list.CreateRegion(), nullptr);
  for (int32_t i = 0; i < 500; ++i) list.AddRect(i % 50, i / 50, i % 50 + 2, i / 50 + 1);
  EXPECT_EQ(list.Capacity(), 500);
  list.AddRect(60, 0, 70, 30);
  EXPECT_EQ(list.Capacity(), 1000);
  EXPECT_EQ(list.Count(), 501);
  EXPECT_EQ(list.Bounds(), TRect(0, 0, 70, 30));
  RegionHolder r(list.CreateRegion());
  TRectList expected{{TRect(0, 0, 51, 10), TRect(60, 0, 70, 30)}};
  EXPECT_EQ(Mask(r.R, 80, 35), expected.Mask(80, 35));
  list.Clear();
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_EQ(list.CreateRegion(), nullptr);
}

TEST(ShapeRegionTest, FiguresSitInTheirBoxes) {
  RegionHolder star(CreateShapeRegion(0, 0, 0, 100, 100));
  RegionHolder star128(CreateShapeRegion(128, 0, 0, 100, 100));
  EXPECT_TRUE(EqualRgn(star.R, star128.R));
  EXPECT_EQ(CreateShapeRegion(16, 0, 0, 100, 100), nullptr);
  EXPECT_EQ(CreateShapeRegion(127, 0, 0, 100, 100), nullptr);

  // A wide box: the star is drawn in the square from x = Left + 50.
  RegionHolder wideStar(CreateShapeRegion(0, 10, 20, 200, 100));
  OffsetRgn(star.R, 60, 20);
  EXPECT_TRUE(EqualRgn(star.R, wideStar.R));
  EXPECT_TRUE(PtInRegion(wideStar.R, 110, 70));   // the middle
  EXPECT_FALSE(PtInRegion(wideStar.R, 62, 22));   // a corner of the square

  // Lightning keeps a tall box and narrows a wide one to its height.
  RegionHolder tall(CreateShapeRegion(6, 0, 0, 100, 200));
  RegionHolder wide(CreateShapeRegion(6, 0, 0, 200, 100));
  RegionHolder square(CreateShapeRegion(6, 0, 0, 100, 100));
  EXPECT_EQ(BoxOf(tall.R).Right - BoxOf(tall.R).Left, BoxOf(square.R).Right - BoxOf(square.R).Left);
  EXPECT_GT(BoxOf(tall.R).Bottom, 150);
  OffsetRgn(square.R, 50, 0);
  EXPECT_TRUE(EqualRgn(square.R, wide.R));
  // Mirrored left to right, the bolt's top-right tip moves to the left.
  RegionHolder mirrored(CreateShapeRegion(7, 0, 0, 100, 100));
  EXPECT_TRUE(PtInRegion(CreateShapeRegion(6, 0, 0, 100, 100), 95, 20));
  EXPECT_TRUE(PtInRegion(mirrored.R, 4, 20));
  EXPECT_FALSE(PtInRegion(mirrored.R, 95, 20));

  // The cross: width 75 from x = 12, thickness 15, the upright from x = 42, the crossbar from y = 28.
  RegionHolder cross(CreateShapeRegion(10, 0, 0, 100, 100));
  TRectList expected{{TRect(42, 0, 57, 100), TRect(12, 28, 87, 43)}};
  EXPECT_EQ(Mask(cross.R, 100, 100), expected.Mask(100, 100));

  // The heart: two lobes and a point at the bottom middle.
  RegionHolder heart(CreateShapeRegion(15, 0, 0, 100, 100));
  EXPECT_TRUE(PtInRegion(heart.R, 25, 25) && PtInRegion(heart.R, 75, 25) && PtInRegion(heart.R, 50, 90));
  EXPECT_FALSE(PtInRegion(heart.R, 50, 2) || PtInRegion(heart.R, 5, 90));
}

TEST(RegionBuildersTest, BarsFillAlternateRowsFromTheirSide) {
  RegionHolder bars(BarsRegion(50, 0, 100, 100, 2, 0));
  TRectList expected;
  for (int32_t y = 0; y <= 102; y += 6) expected.Rects.push_back(TRect(0, y, 50, y + 3));
  EXPECT_EQ(Mask(bars.R, 100, 100), expected.Mask(100, 100));
  // Past the whole width every bar is full.
  RegionHolder full(BarsRegion(200, 0, 100, 100, 1, 0));
  EXPECT_EQ(Mask(full.R, 100, 100), std::string(100 * 100, '#'));
  // Down the columns, kind 1 from the bottom.
  RegionHolder columns(BarsRegion(0, 30, 100, 100, 0, 1));
  TRectList cols;
  for (int32_t x = 0; x <= 102; x += 6) cols.Rects.push_back(TRect(x, 70, x + 3, 100));
  EXPECT_EQ(Mask(columns.R, 100, 100), cols.Mask(100, 100));
}

TEST(RegionBuildersTest, SectorsEndOnTheirLastAngle) {
  // Count 4 from 0 to a right angle: the arc points at 0, pi/8, pi/4, 3 pi/8 and pi/2.
  RegionHolder quarter(SectorRegion(0, 0, 100, 0, std::numbers::pi / 2, 4));
  EXPECT_TRUE(PtInRegion(quarter.R, 3, 90));  // next to the end ray
  EXPECT_TRUE(PtInRegion(quarter.R, 90, 3));
  EXPECT_FALSE(PtInRegion(quarter.R, 80, 80));
  // A whole turn covers the disc, the wedge before the start ray included.
  RegionHolder sweep(SectorRegion(100, 100, 90, 0, 2 * std::numbers::pi, 64));
  for (double a = 0; a < 2 * std::numbers::pi; a += 0.01)
    EXPECT_TRUE(PtInRegion(sweep.R, 100 + int(std::lround(60 * std::cos(a))), 100 + int(std::lround(60 * std::sin(a)))))
        << a;
  EXPECT_EQ(SectorRegion(0, 0, 10, 0, 1, 0), nullptr);
}

TEST(RegionGeometryTest, PercentSizeScalesTheLongerSide) {
  struct Case {
    TRect Rect;
    int32_t Percent, W, H, SW, SH;
  } cases[] = {
      {TRect(0, 0, 200, 100), 50, 200, 100, 100, 50}, {TRect(0, 0, 100, 200), 50, 100, 200, 50, 100},
      {TRect(10, 10, 13, 12), 100, 3, 2, 3, 2},       {TRect(0, 0, 0, 0), 50, 0, 0, 0, 0},
      {TRect(0, 0, 200, 100), -5, 200, 100, -10, -5}, {TRect(0, 0, 200, 100), 150, 200, 100, 300, 150},
  };
  for (const Case& c : cases) {
    int32_t W, H, SW, SH;
    PercentSize(c.Rect, c.Percent, W, H, SW, SH);
    EXPECT_EQ((std::vector<int32_t>{W, H, SW, SH}), (std::vector<int32_t>{c.W, c.H, c.SW, c.SH})) << c.Percent;
  }
}

TEST(RegionGeometryTest, RotatePolygonTurnsClockwiseOnScreen) {
  std::vector<TPoint> points = {TPoint(110, 50), TPoint(100, 60), TPoint(100, 50)};
  RotatePolygon(points, 100, 50, std::numbers::pi / 2);
  EXPECT_EQ(points, (std::vector<TPoint>{TPoint(100, 60), TPoint(90, 50), TPoint(100, 50)}));
}

TEST(RegionGeometryTest, StretchDrawFlippedMirrorsIntoExactlyTheDestination) {
  auto Source = std::make_unique<TBitmap>();
  Source->SetPixelFormat(pf24bit);
  Source->SetSize(4, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) Source->Canvas()->SetPixels(x, y, TColor(0x010000 * (x + 1) + 0x000100 * (y + 1)));
  struct Case {
    bool H, V;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    auto Dest = std::make_unique<TBitmap>();
    Dest->SetPixelFormat(pf24bit);
    Dest->SetSize(20, 20);
    Dest->Canvas()->Brush()->SetColor(clWhite);
    Dest->Canvas()->FillRect(TRect(0, 0, 20, 20));
    StretchDrawFlipped(Dest->Canvas(), TRect(10, 10, 14, 13), Source.get(), TRect(0, 0, 9, 9), c.H, c.V);
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 20; ++x) {
        const bool inside = x >= 10 && x < 14 && y >= 10 && y < 13;
        TColor expected = clWhite;
        if (inside) {
          const int32_t sx = c.H ? 13 - x : x - 10, sy = c.V ? 12 - y : y - 10;
          expected = TColor(0x010000 * (sx + 1) + 0x000100 * (sy + 1));
        }
        EXPECT_EQ(Dest->Canvas()->Pixels(x, y), expected) << x << "," << y << " flip " << c.H << c.V;
      }
  }
}

// Odd boxes, odd sizes and odd arguments: every region lies within its box or the frame, or is empty.
TEST(RegionBuildersTest, BadInputStaysInsideTheFrame) {
  const std::pair<int32_t, int32_t> sizes[] = {{0, 0}, {1, 1}, {7, 7}, {1, 1000}, {1000, 1}, {-5, 10}};
  for (auto [W, H] : sizes) {
    for (uint8_t shape = 0; shape < 16; ++shape) {
      RegionHolder r(CreateShapeRegion(shape, 3, 4, W, H));
      ASSERT_NE(r.R, nullptr);
      const TRect box = BoxOf(r.R);
      if (box.Right > box.Left) {
        EXPECT_GE(box.Left, 3) << int(shape) << " " << W << "x" << H;
        EXPECT_GE(box.Top, 4);
        EXPECT_LE(box.Right, 3 + W);
        EXPECT_LE(box.Bottom, 4 + H);
      }
    }
    for (int32_t kind = 0; kind <= 6; ++kind)
      for (int32_t reach : {-7, 0, W / 2, W, 2 * W, 1 << 30}) {
        for (auto* builder : {&BarsRegion, &ShreddedRegion, &SpeckledRegion}) {
          RegionHolder r(builder(reach, reach, W, H, kind, kind));
          if (W <= 0 || H <= 0) {
            EXPECT_EQ(r.R, nullptr);
          }
        }
      }
  }
  const int32_t two[] = {0, 0, 10, 10};
  RegionHolder line(PolygonRegion(two));
  EXPECT_EQ(Mask(line.R, 12, 12), std::string(144, '.'));
  EXPECT_EQ(PolygonRegion(std::span<const int32_t>(two, 1)), nullptr);
  const int32_t odd[] = {0, 0, 10, 0, 0, 10, 99};  // the lone last coordinate is no point
  RegionHolder triangle(PolygonRegion(odd));
  RegionHolder same(TriangleRegion(0, 0, 10, 0, 0, 10));
  EXPECT_TRUE(EqualRgn(triangle.R, same.R));
}

}  // namespace
}  // namespace zv

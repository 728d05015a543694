#include "imaging/core/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace zv;

namespace {
constexpr double kPi = std::numbers::pi;
}

// ---- Tests ------------------------------------------------------------------------------------------

TEST(Geometry, RectangleTests) {
  EXPECT_TRUE(PointInRect(0, 0, 0, 0, 10, 10));
  EXPECT_TRUE(PointInRect(10, 10, 0, 0, 10, 10));
  EXPECT_FALSE(PointInRect(11, 5, 0, 0, 10, 10));
  EXPECT_FALSE(PointInRect(5, 5, 10, 10, 0, 0));  // unordered corners hold nothing
  EXPECT_TRUE(PointInRectUnordered(5, 5, 10, 10, 0, 0));
  EXPECT_TRUE(PointInRectUnordered(10, 0, 10, 10, 0, 0));

  struct Case {
    int ax1, ay1, ax2, ay2;
    bool overlap;
  };
  const Case cases[] = {
      {20, 20, 30, 30, false},  // below and right
      {10, 10, 30, 30, true},   // touching corner
      {30, 30, 5, 5, true},     // corners in any order
      {-5, 0, -1, 10, false},   // left
      {0, -9, 10, -1, false},   // above
      {2, 2, 3, 3, true},       // inside
  };
  for (const Case& c : cases)
    EXPECT_EQ(RectsOverlap(c.ax1, c.ay1, c.ax2, c.ay2, 0, 0, 10, 10), c.overlap) << c.ax1 << "," << c.ay1;
}

TEST(Geometry, PointInPolygonFollowsTheEvenOddRule) {
  const TPoint square[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_TRUE(PointInPolygon(0, 0, square, 3));
  EXPECT_FALSE(PointInPolygon(1, 1, square, 3));
  EXPECT_FALSE(PointInPolygon(1, 0, square, 3));  // right edge
  EXPECT_FALSE(PointInPolygon(0, 1, square, 3));  // lower edge

  // A bow-tie made of two triangles: the crossing in the middle counts for both.
  const TPoint star[] = {{0, 0}, {20, 0}, {0, 20}, {20, 20}};
  EXPECT_TRUE(PointInPolygon(10, 2, star, 3));
  EXPECT_TRUE(PointInPolygon(10, 18, star, 3));
  EXPECT_FALSE(PointInPolygon(2, 10, star, 3));
  EXPECT_FALSE(PointInPolygon(5, 5, star, -1));

  // Vertices (10, 10)-(14, 14) at scale 2.5 about offset 10 and origin 100 cover 100..110.
  const TPoint small[] = {{10, 10}, {14, 10}, {14, 14}, {10, 14}};
  EXPECT_TRUE(PointInScaledPolygon(105, 109, small, 4, 10, 10, 100, 100, 2.5, 2.5));
  EXPECT_FALSE(PointInScaledPolygon(111, 105, small, 4, 10, 10, 100, 100, 2.5, 2.5));
  EXPECT_FALSE(PointInScaledPolygon(99, 105, small, 4, 10, 10, 100, 100, 2.5, 2.5));
}

// ---- Distances --------------------------------------------------------------------------------------

TEST(Geometry, SegmentAndLineDistances) {
  struct Case {
    int x, y, x1, y1, x2, y2;
    double want;
  };
  const Case cases[] = {
      {3, 4, 0, 0, 0, 0, 5},                   // degenerate segment
      {5, 3, 0, 0, 10, 0, 3},                  // beside the segment
      {13, 4, 0, 0, 10, 0, 5},                 // beyond the end
      {-3, -4, 0, 0, 10, 0, 5},                // before the start
      {0, 0, 0, 45001, 0, 50000, 1000000},     // nearer end too far in y
      {0, 0, 0, 45000, 0, 50000, 45000},       // just near enough
      {0, 0, 45001, 0, 50000, 0, 1000000},     // too far in x
      {50000, 0, 0, 0, 4000, 0, 1000000},      // beyond the far end
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(DistanceToSegment(c.x, c.y, c.x1, c.y1, c.x2, c.y2), c.want) << c.x << "," << c.y;

  EXPECT_DOUBLE_EQ(DistanceToLine(13, 4, 0, 0, 10, 0), 4);  // the line goes on
  EXPECT_NEAR(DistanceToLine(0, 10, 0, 0, 10, 10), std::sqrt(50.0), 1e-12);
  EXPECT_DOUBLE_EQ(PointDistance(0, 0, -6, 8), 10);
}

TEST(Geometry, PolylineDistanceUsesScaledRoundedVertices) {
  const TPoint line[] = {{0, 0}, {10, 0}, {10, 10}};
  EXPECT_DOUBLE_EQ(DistanceToPolyline(5, 3, line, 3, 0, 0, 0, 0, 1, 1, 1, false), 3);
  // Open: the way back from the last vertex to the first is not part of it.
  EXPECT_DOUBLE_EQ(DistanceToPolyline(4, 6, line, 3, 0, 0, 0, 0, 1, 1, 1, false), 6);
  EXPECT_NEAR(DistanceToPolyline(4, 6, line, 3, 0, 0, 0, 0, 1, 1, 1, true), std::sqrt(2.0), 1e-9);
  // Scale 0.25 maps x 10 to 2.5, rounded to the even 2.
  EXPECT_DOUBLE_EQ(DistanceToPolyline(2, 1, line, 2, 0, 0, 0, 0, 0.25, 0.25, 1, false), 1);
  EXPECT_DOUBLE_EQ(DistanceToPolyline(3, 1, line, 2, 0, 0, 0, 0, 0.25, 0.25, 1, false), std::sqrt(2.0));
  // A wide pen also tries copies shifted 2..width/2 down.
  EXPECT_DOUBLE_EQ(DistanceToPolyline(5, 4, line, 2, 0, 0, 0, 0, 1, 1, 8, false), 0);
  EXPECT_DOUBLE_EQ(DistanceToPolyline(5, 4, line, 2, 0, 0, 0, 0, 1, 1, 2, false), 4);
  EXPECT_DOUBLE_EQ(DistanceToPolyline(5, 4, line, 0, 0, 0, 0, 0, 1, 1, 1, false), 1000000);
}

TEST(Geometry, RectangleAndEllipseDistances) {
  EXPECT_DOUBLE_EQ(DistanceToRectangle(5, 5, 0, 0, 10, 10, false, 1), 5);
  EXPECT_DOUBLE_EQ(DistanceToRectangle(5, 5, 0, 0, 10, 10, true, 1), 0);
  EXPECT_DOUBLE_EQ(DistanceToRectangle(15, 5, 0, 0, 10, 10, true, 1), 5);
  EXPECT_DOUBLE_EQ(DistanceToRectangle(13, 5, 0, 0, 10, 10, false, 4), 1);  // copy shifted by +2
  EXPECT_DOUBLE_EQ(DistanceToRectangle(13, 5, 0, 0, 10, 10, false, -2), 2147483647.0);

  // A circle of radius 50 centred at (50, 50).
  const double onOutline = DistanceToEllipse(100, 50, 0, 0, 100, 100, false, 1);
  EXPECT_LT(onOutline, 1.0);
  const double outside = DistanceToEllipse(120, 50, 0, 0, 100, 100, false, 1);
  EXPECT_NEAR(outside, 20, 1.0);
  EXPECT_DOUBLE_EQ(DistanceToEllipse(60, 50, 0, 0, 100, 100, true, 1), 0);  // on a spoke
  // Spokes start at the second outline point, (49, 0) here.
  EXPECT_DOUBLE_EQ(DistanceToEllipse(120, 50, 0, 0, 100, 100, true, 1), 21);
  // A pen wider than the box does not make the point count run away.
  EXPECT_LT(DistanceToEllipse(5, 5, 0, 0, 4, 4, false, 20), 10);
  EXPECT_DOUBLE_EQ(DistanceToEllipse(5, 5, 0, 0, 4, 4, false, -3), 2147483647.0);
}

// ---- Angles -----------------------------------------------------------------------------------------

TEST(Geometry, AnglesTable) {
  EXPECT_DOUBLE_EQ(ArcCosOrZero(1), 0);
  EXPECT_DOUBLE_EQ(ArcCosOrZero(-1), 0);
  EXPECT_DOUBLE_EQ(ArcCosOrZero(0), kPi / 2);
  EXPECT_NEAR(ArcCosOrZero(0.5), kPi / 3, 1e-12);

  struct LineCase {
    int x2, y2;
    double want;
  };
  const LineCase lines[] = {{10, 0, 0},          {0, -10, kPi / 2}, {-10, 0, kPi},
                            {0, 10, 3 * kPi / 2}, {0, 0, 0},         {10, -10, kPi / 4},
                            {10, 10, 7 * kPi / 4}, {-10, -10, 3 * kPi / 4}};
  for (const LineCase& c : lines) EXPECT_NEAR(LineAngle(0, 0, c.x2, c.y2), c.want, 1e-12) << c.x2 << "," << c.y2;
  EXPECT_DOUBLE_EQ(LineAngle(0, 0, 0, 10), 3 * kPi / 2);

  EXPECT_NEAR(VectorAngle(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);
  EXPECT_DOUBLE_EQ(VectorAngle(0, 0, 10, 0, 20, 0), 0);
  EXPECT_DOUBLE_EQ(VectorAngle(0, 0, 0, 0, 20, 0), 0);

  struct TurnCase {
    int x1, y1, x2, y2, want;
  };
  const TurnCase turns[] = {
      {10, 0, 10, 10, 1}, {10, 0, 10, -10, -1}, {10, 0, 20, 0, 1},
      {20, 0, 10, 0, 0},  {10, 0, -5, 0, -1},   {0, 10, 0, -3, -1},
  };
  for (const TurnCase& c : turns)
    EXPECT_EQ(TurnDirection(0, 0, c.x1, c.y1, c.x2, c.y2), c.want) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;

  EXPECT_DOUBLE_EQ(VertexAngle(0, 0, 10, 0, 20, 0), 0);  // straight: arccos(-1) counts as 0
  EXPECT_DOUBLE_EQ(VertexAngle(0, 0, 7, 7, 14, 14), 0);  // rounding must not give NaN
  EXPECT_NEAR(VertexAngle(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);
  EXPECT_NEAR(VertexAngle(0, 0, 10, 0, 10, -10), 3 * kPi / 2, 1e-12);
}

// ---- Transformations --------------------------------------------------------------------------------

TEST(Geometry, RotateExtendFitAndSnap) {
  std::vector<TPoint> pts = {{110, 100}, {100, 90}, {100, 100}};
  RotatePoints(pts.data(), 2, 100, 90, 100);
  EXPECT_EQ(pts[0], TPoint(100, 90));  // right turns up: counter-clockwise on screen
  EXPECT_EQ(pts[1], TPoint(90, 100));
  EXPECT_EQ(pts[2], TPoint(100, 100));

  TRect r(5, 5, 5, 5);
  ExtendBoundsRect(r, 10, 2);
  ExtendBoundsRect(r, -1, 7);
  EXPECT_EQ(r, TRect(-1, 2, 10, 7));

  struct FitCase {
    int w, h, mw, mh, nw, nh;
  };
  const FitCase fits[] = {{100, 50, 400, 400, 400, 200}, {400, 300, 100, 100, 100, 75},
                          {1000, 1, 10, 10, 10, 1},      {4, 4, 10, 20, 10, 10}};
  for (const FitCase& c : fits) {
    int nw = -1, nh = -1;
    FitSizeInto(c.w, c.h, c.mw, c.mh, nw, nh);
    EXPECT_EQ(nw, c.nw) << c.w << "x" << c.h;
    EXPECT_EQ(nh, c.nh) << c.w << "x" << c.h;
  }
  int nw = -7, nh = -7;
  FitSizeInto(0, 10, 100, 100, nw, nh);
  EXPECT_EQ(nw, -7);
  EXPECT_EQ(nh, -7);

  struct SnapCase {
    int x, y, wx, wy;
  };
  const SnapCase snaps[] = {
      {100, 10, 100, 0},    {10, 100, 0, 100},     {100, 90, 100, 100},  {90, 100, 100, 100},
      {-100, -90, -90, -90}, {-90, -100, -90, -90}, {-100, 90, -100, 100}, {-90, 100, -100, 100},
      {100, -90, 100, -100}, {90, -100, 100, -100}, {0, 20, 0, 20},       {20, 0, 20, 0},
  };
  for (const SnapCase& c : snaps) {
    int x = c.x, y = c.y;
    SnapTo45Degrees(0, 0, x, y);
    EXPECT_EQ(TPoint(x, y), TPoint(c.wx, c.wy)) << c.x << "," << c.y;
  }
}

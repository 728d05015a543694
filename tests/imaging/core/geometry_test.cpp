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

// The ellipse distance as plainly stated: every pen offset, every outline point, no shortcut. Costs
// grow with the ellipse, so it is asked only of sizes a screen shows.
double PlainEllipseDistance(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                            bool Filled, int32_t PenWidth) {
  const int32_t a0 = (Right - Left) / 2, b0 = (Bottom - Top) / 2;
  const int32_t px = X - (Left + a0), py = Y - (Top + b0);
  double best = 2147483647.0;
  for (int32_t k = -(PenWidth / 2); k <= PenWidth / 2; ++k) {
    const double a = a0 + k, b = b0 + k;
    int64_t v = int64_t(std::trunc(2 * kPi * std::min(a, b)));
    if (!Filled) v >>= 3;
    if (v < 2) v = 2;
    std::vector<TPoint> p(size_t(v), TPoint(0, 0));
    for (int64_t i = 0; i < v; ++i) {
      const double t = 2 * kPi * double(i) / double(v);
      p[size_t(i)] = TPoint(int32_t(std::trunc(a * std::cos(t))), int32_t(std::trunc(b * std::sin(t))));
    }
    for (int64_t i = 0; i + 1 < v; ++i) {
      best = std::min(best, Filled ? std::trunc(DistanceToSegment(px, py, 0, 0, p[size_t(i + 1)].X, p[size_t(i + 1)].Y))
                                   : DistanceToSegment(px, py, p[size_t(i)].X, p[size_t(i)].Y, p[size_t(i + 1)].X,
                                                       p[size_t(i + 1)].Y));
    }
  }
  return best;
}

// Ellipses a screen shows, pens a user picks, points in and around them: the same answer as the plain
// rule, exactly while the outline has a few thousand points and within a pixel beyond that.
TEST(Geometry, EllipseDistanceAgreesWithThePlainRuleOnScreenSizes) {
  struct Case {
    int32_t Left, Top, Right, Bottom, Pen;
    bool Filled;
    double Tolerance;
  } cases[] = {
      {0, 0, 100, 100, 1, false, 0},       {-40, 10, 260, 90, 5, false, 0},   {0, 0, 60, 20, 9, true, 0},
      {0, 0, 4, 4, 20, false, 0},          {0, 0, 1200, 1000, 1, true, 0},    {0, 0, 9000, 7000, 3, false, 0},
      {0, 0, 3000, 2400, 1, true, 1},      {0, 0, 12000, 11000, 1, false, 1}, {0, 0, 20000, 60, 1, false, 1},
      {-4000, -2000, 4000, 2000, 1, true, 1}, {0, 0, 200, 100, 100, false, 1}, {0, 0, 300, 300, 81, true, 1},
      {0, 0, 40, 10, 64, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Left << "," << c.Top << "," << c.Right << "," << c.Bottom << " pen "
                                    << c.Pen << (c.Filled ? " filled" : ""));
    const int32_t w = c.Right - c.Left, h = c.Bottom - c.Top;
    // A grid over the box and a margin around it, and points on the outline.
    std::vector<TPoint> points;
    for (int i = -1; i <= 7; ++i)
      for (int j = -1; j <= 7; ++j) points.emplace_back(c.Left + w * i / 6 + i, c.Top + h * j / 6 - j);
    for (int i = 0; i < 24; ++i) {
      const double t = 2 * kPi * i / 24 + 0.013;
      points.emplace_back(int32_t(c.Left + w / 2 + (w / 2) * std::cos(t)), int32_t(c.Top + h / 2 + (h / 2) * std::sin(t)));
    }
    for (const TPoint& p : points) {
      const double want = PlainEllipseDistance(p.X, p.Y, c.Left, c.Top, c.Right, c.Bottom, c.Filled, c.Pen);
      const double got = DistanceToEllipse(p.X, p.Y, c.Left, c.Top, c.Right, c.Bottom, c.Filled, c.Pen);
      if (c.Tolerance == 0) {
        EXPECT_EQ(got, want) << p.X << "," << p.Y;
      } else {
        EXPECT_NEAR(got, want, c.Tolerance) << p.X << "," << p.Y;
      }
    }
  }
}

// Ellipses and pens read from a file may be of any size: the cost stays bounded (half-axes of 10^7 took
// seconds a call, 10^9 asked for 50 GB, a pen of 2 * 10^9 looped as often), and the answer stays sound.
TEST(Geometry, EllipseDistanceOfAnySizeStaysCheapAndSound) {
  constexpr int32_t Big = 1000000000;
  // On the outline of a circle of radius 10^7 centred at 0, and well inside and outside it.
  // (Outline points are truncated towards the centre: a point on the true outline may be a pixel off.)
  EXPECT_LE(DistanceToEllipse(10000000, 0, -10000000, -10000000, 10000000, 10000000, false, 1), 1.0);
  EXPECT_LE(DistanceToEllipse(0, -10000000, -10000000, -10000000, 10000000, 10000000, false, 1), 1.0);
  EXPECT_NEAR(DistanceToEllipse(7071068 + 300, 7071068, -10000000, -10000000, 10000000, 10000000, false, 1),
              212.0, 1.0);
  EXPECT_EQ(DistanceToEllipse(100, 200, -10000000, -10000000, 10000000, 10000000, true, 1), 0);
  // Half-axes of 10^9: a point far from the outline is far.
  EXPECT_EQ(DistanceToEllipse(0, 0, -Big, -Big, Big, Big, false, 1), 1000000.0);
  EXPECT_LE(DistanceToEllipse(Big, 0, -Big, -Big, Big, Big, false, 1), 1.0);
  EXPECT_EQ(DistanceToEllipse(5, 5, -Big, -Big, Big, Big, true, 3), 0);
  // A pen of 2 * 10^9: some offset puts the outline through the point.
  EXPECT_LT(DistanceToEllipse(3000, 0, -100, -50, 100, 50, false, 2000000000), 2.0);
  EXPECT_LT(DistanceToEllipse(-Big, 777, -100, -50, 100, 50, false, 2000000000), 2.0);
  // Inside the smallest of all the pen's outlines, the smallest is the nearest.
  EXPECT_EQ(DistanceToEllipse(0, 0, -5000, -5000, 5000, 5000, false, 200),
            PlainEllipseDistance(0, 0, -5000, -5000, 5000, 5000, false, 200));
  EXPECT_EQ(DistanceToEllipse(0, 0, -Big, -Big, Big, Big, false, 2000000000), 0);
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

  // Differences of 2^32 and their products: no overflow, the same answers.
  EXPECT_EQ(TurnDirection(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX), 1);
  EXPECT_EQ(TurnDirection(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN), -1);
  EXPECT_EQ(TurnDirection(INT32_MIN, INT32_MIN, 0, 0, INT32_MAX, INT32_MAX), 1);
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

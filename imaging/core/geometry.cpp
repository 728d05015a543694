#include "imaging/core/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "imaging/core/color_utils.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr double kPi = std::numbers::pi;

// A vertex of a vector object on the screen, rounded halves to even.
int32_t ScaledCoord(int32_t V, int32_t Offset, int32_t Origin, double Scale) {
  const double s = Scale * (double(V) - double(Offset)) + double(Origin);
  if (!(s > -2147483648.0)) return INT32_MIN;
  if (!(s < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(Round(s));
}

double ScaledCoordExact(int32_t V, int32_t Offset, int32_t Origin, double Scale) {
  return Scale * (double(V) - double(Offset)) + double(Origin);
}

// The even-odd crossing test over one edge from (xj, yj) to (xi, yi).
bool Crosses(double X, double Y, double xi, double yi, double xj, double yj) {
  if (!((yi <= Y && Y < yj) || (yj <= Y && Y < yi))) return false;
  return X < xi + (xj - xi) * (Y - yi) / (yj - yi);
}

int64_t AbsDiff(int32_t A, int32_t B) { return std::llabs(int64_t(A) - int64_t(B)); }

}  // namespace

// ---- Tests ------------------------------------------------------------------------------------------

bool PointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

bool PointInRectUnordered(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  OrderCorners(X1, Y1, X2, Y2);
  return PointInRect(X, Y, X1, Y1, X2, Y2);
}

bool RectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                  int32_t BY2) {
  OrderCorners(AX1, AY1, AX2, AY2);
  return !(AX2 < BX1 || AX1 > BX2 || AY2 < BY1 || AY1 > BY2);
}

bool PointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High) {
  if (Points == nullptr || High < 0) return false;
  bool inside = false;
  int32_t j = High;
  for (int32_t i = 0; i <= High; ++i) {
    if (Crosses(X, Y, Points[i].X, Points[i].Y, Points[j].X, Points[j].Y)) inside = !inside;
    j = i;
  }
  return inside;
}

bool PointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OffsetX,
                          int32_t OffsetY, int32_t OriginX, int32_t OriginY, double ScaleX, double ScaleY) {
  if (Points == nullptr || Count < 1) return false;
  bool inside = false;
  int32_t j = Count - 1;
  for (int32_t i = 0; i < Count; ++i) {
    const double xi = ScaledCoordExact(Points[i].X, OffsetX, OriginX, ScaleX);
    const double yi = ScaledCoordExact(Points[i].Y, OffsetY, OriginY, ScaleY);
    const double xj = ScaledCoordExact(Points[j].X, OffsetX, OriginX, ScaleX);
    const double yj = ScaledCoordExact(Points[j].Y, OffsetY, OriginY, ScaleY);
    if (Crosses(X, Y, xi, yi, xj, yj)) inside = !inside;
    j = i;
  }
  return inside;
}

// ---- Distances --------------------------------------------------------------------------------------

double PointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return std::hypot(double(X2) - double(X1), double(Y2) - double(Y1));
}

double DistanceToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double length = PointDistance(X1, Y1, X2, Y2);
  if (length == 0) return PointDistance(X, Y, X1, Y1);
  const double cross = (double(Y2) - Y1) * X - (double(X2) - X1) * Y + double(X2) * Y1 - double(Y2) * X1;
  return std::fabs(cross) / length;
}

double DistanceToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (X1 == X2 && Y1 == Y2) return PointDistance(X, Y, X1, Y1);
  const double dx = double(X2) - X1;
  const double dy = double(Y2) - Y1;
  const double t = ((double(X) - X1) * dx + (double(Y) - Y1) * dy) / (dx * dx + dy * dy);
  if (t > 1) {
    if (AbsDiff(X, X2) >= 45001 || AbsDiff(Y, Y2) >= 45001) return IEFarDistance;
    return PointDistance(X, Y, X2, Y2);
  }
  if (t < 0) {
    if (AbsDiff(X, X1) >= 45001 || AbsDiff(Y, Y1) >= 45001) return IEFarDistance;
    return PointDistance(X, Y, X1, Y1);
  }
  const double d = DistanceToLine(X, Y, X1, Y1, X2, Y2);
  return std::isfinite(d) ? d : IEFarDistance;
}

double DistanceToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OffsetX,
                          int32_t OffsetY, int32_t OriginX, int32_t OriginY, double ScaleX, double ScaleY,
                          int32_t PenWidth, bool Closed) {
  if (Points == nullptr || Count < 1) return IEFarDistance;
  std::vector<TPoint> screen(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i)
    screen[size_t(i)] = TPoint(ScaledCoord(Points[i].X, OffsetX, OriginX, ScaleX),
                               ScaledCoord(Points[i].Y, OffsetY, OriginY, ScaleY));
  const int32_t half = PenWidth / 2;
  double best = IENoDistance;
  for (int32_t i = 0; i < Count; ++i) {
    int32_t next = i + 1;
    if (next == Count) {
      if (!Closed) break;
      next = 0;
    }
    const TPoint a = screen[size_t(i)];
    const TPoint b = screen[size_t(next)];
    best = std::min(best, DistanceToSegment(X, Y, a.X, a.Y, b.X, b.Y));
    if (PenWidth >= 4) {
      for (int32_t dx = -half; dx <= half; ++dx)
        for (int32_t dy = 2; dy <= half; ++dy)
          best = std::min(best, DistanceToSegment(X, Y, a.X + dx, a.Y + dy, b.X + dx, b.Y + dy));
    }
  }
  return best;
}

double DistanceToRectangle(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                           bool Filled, int32_t PenWidth) {
  const int32_t half = PenWidth / 2;
  double best = IENoDistance;
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t l = Left + k, t = Top + k, r = Right + k, b = Bottom + k;
    if (Filled && PointInRectUnordered(X, Y, l, t, r, b)) return 0;
    best = std::min(best, DistanceToSegment(X, Y, l, t, r, t));
    best = std::min(best, DistanceToSegment(X, Y, r, t, r, b));
    best = std::min(best, DistanceToSegment(X, Y, r, b, l, b));
    best = std::min(best, DistanceToSegment(X, Y, l, b, l, t));
  }
  return best;
}

namespace {

// Up to this many outline points an ellipse is measured point by point; larger ones only near the point.
constexpr int64_t EllipseExactPoints = 4096;
// Up to this many pen offsets every one is measured; more only where the nearest can be.
constexpr int64_t EllipseExactOffsets = 64;
// Segments (or spokes) measured on each side of the ones nearest the point.
constexpr int64_t EllipseWindow = 8;
// Up to this smaller semi-axis an outline has too few points to follow its ellipse closely.
constexpr int64_t EllipseCoarseAxis = 64;

int32_t TruncToInt32(double V) {
  if (!(V > -2147483648.0)) return INT32_MIN;
  if (!(V < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(std::trunc(V));
}

int32_t SaturateToInt32(int64_t V) {
  return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

// The outline of one pen offset: semi-axes a and b, Count points at equal steps of the angle.
struct TEllipseOutline {
  double A = 0;
  double B = 0;
  int64_t Count = 2;
  bool Filled = false;

  TPoint Point(int64_t i) const {
    const double theta = 2 * kPi * double(i) / double(Count);
    return TPoint(TruncToInt32(A * std::cos(theta)), TruncToInt32(B * std::sin(theta)));
  }
  // Outline: the segment from point i to point i + 1 (none from the last point back to the first).
  // Filled: the spoke from the centre to point i, truncated (none to point 0).
  double Distance(int32_t X, int32_t Y, int64_t i) const {
    if (Filled) {
      if (i == 0) return IENoDistance;
      const TPoint p = Point(i);
      return std::trunc(DistanceToSegment(X, Y, 0, 0, p.X, p.Y));
    }
    if (i == Count - 1) return IENoDistance;
    const TPoint p = Point(i), q = Point(i + 1);
    return DistanceToSegment(X, Y, p.X, p.Y, q.X, q.Y);
  }
};

TEllipseOutline EllipseOutline(int64_t HalfW, int64_t HalfH, int64_t k, bool Filled) {
  TEllipseOutline e;
  e.A = double(HalfW + k);
  e.B = double(HalfH + k);
  e.Filled = Filled;
  int64_t v = static_cast<int64_t>(std::trunc(2 * kPi * std::min(e.A, e.B)));
  // An arithmetic shift: a negative count (pen offset larger than the box) must not become huge.
  if (!Filled) v >>= 3;
  e.Count = std::max<int64_t>(v, 2);
  return e;
}

// The bisection root of the distance equation of a point (z0, z1) in units of the semi-axes, first
// quadrant, e0 >= e1 (r0 = (e0 / e1)^2).
double EllipseDistanceRoot(double r0, double z0, double z1, double g) {
  const double n0 = r0 * z0;
  double s0 = z1 - 1;
  double s1 = g < 0 ? 0 : std::hypot(n0, z1) - 1;
  double s = 0;
  // Halving a double interval ends on one of its ends after at most this many steps.
  for (int i = 0; i < 1100; ++i) {
    s = (s0 + s1) / 2;
    if (s == s0 || s == s1) break;
    const double ratio0 = n0 / (s + r0), ratio1 = z1 / (s + 1);
    const double gs = ratio0 * ratio0 + ratio1 * ratio1 - 1;
    if (gs > 0) s0 = s;
    else if (gs < 0) s1 = s;
    else break;
  }
  return s;
}

// The angle t of the point (A cos t, B sin t) of the ellipse nearest to (X, Y); A and B above 0.
double NearestEllipseAngle(double X, double Y, double A, double B) {
  const bool swap = A < B;
  const double e0 = swap ? B : A, e1 = swap ? A : B;
  const double q0 = std::fabs(swap ? Y : X), q1 = std::fabs(swap ? X : Y);
  double x0 = 0, x1 = 0;
  if (q1 > 0) {
    if (q0 > 0) {
      const double z0 = q0 / e0, z1 = q1 / e1, g = z0 * z0 + z1 * z1 - 1;
      if (g != 0) {
        const double r0 = (e0 / e1) * (e0 / e1);
        const double s = EllipseDistanceRoot(r0, z0, z1, g);
        x0 = r0 * q0 / (s + r0);
        x1 = q1 / (s + 1);
      } else {
        x0 = q0;
        x1 = q1;
      }
    } else {
      x1 = e1;
    }
  } else {
    const double numer0 = e0 * q0, denom0 = e0 * e0 - e1 * e1;
    if (numer0 < denom0) {
      const double xde0 = numer0 / denom0;
      x0 = e0 * xde0;
      x1 = e1 * std::sqrt(std::max(0.0, 1 - xde0 * xde0));
    } else {
      x0 = e0;
    }
  }
  const double ux = swap ? x1 : x0, uy = swap ? x0 : x1;
  double t = std::atan2(uy / B, ux / A);
  if (X < 0) t = kPi - t;
  if (Y < 0) t = -t;
  return t;
}

// The index of the outline point at or just before the angle t.
int64_t EllipseIndexAt(double t, int64_t Count) {
  double turns = t / (2 * kPi);
  turns -= std::floor(turns);
  return std::min<int64_t>(static_cast<int64_t>(turns * double(Count)), Count - 1);
}

// The outline's distance: every segment (spoke) when there are few, else those around the nearest point
// of the true ellipse and around the point's own direction, which hold the nearest one.
double EllipseOutlineDistance(int32_t X, int32_t Y, const TEllipseOutline& e) {
  double best = IENoDistance;
  if (e.Count <= EllipseExactPoints || !(e.A > 0 && e.B > 0)) {
    for (int64_t i = 0; i < e.Count; ++i) best = std::min(best, e.Distance(X, Y, i));
    return best;
  }
  const int64_t centres[2] = {EllipseIndexAt(NearestEllipseAngle(X, Y, e.A, e.B), e.Count),
                              EllipseIndexAt(std::atan2(e.A * Y, e.B * X), e.Count)};
  for (int64_t c : centres) {
    for (int64_t d = -EllipseWindow; d <= EllipseWindow; ++d) {
      const int64_t i = ((c + d) % e.Count + e.Count) % e.Count;
      best = std::min(best, e.Distance(X, Y, i));
    }
  }
  return best;
}

// The pen offsets worth measuring when there are too many to measure all: the ends, where an axis
// passes 0 or the outline stops being a bare segment, every small outline, and where the point crosses
// the ellipse (the ellipses are nested, so the distance falls towards that offset and rises after it).
std::vector<int64_t> EllipseOffsets(int64_t X, int64_t Y, int64_t HalfW, int64_t HalfH, int64_t Low,
                                    int64_t High) {
  std::vector<int64_t> ks;
  auto around = [&](int64_t k, int64_t before, int64_t after) {
    for (int64_t d = -before; d <= after; ++d) ks.push_back(std::clamp(k + d, Low, High));
  };
  around(Low, 0, 1);
  around(High, 1, 0);
  around(-HalfW, 2, 3);
  around(-HalfH, 2, 3);
  const int64_t smaller = std::min(HalfW, HalfH);
  around(-smaller, 2, 3);
  // Small outlines are coarse polygons, far from the ellipse they stand for: all of them.
  for (int64_t k = std::max(Low, 1 - smaller); k <= std::min(High, EllipseCoarseAxis - smaller); ++k)
    ks.push_back(k);
  // The first offset whose ellipse holds the point: (X / a)^2 + (Y / b)^2 falls as k grows.
  auto holds = [&](int64_t k) {
    const double a = double(HalfW + k), b = double(HalfH + k);
    return (double(X) / a) * (double(X) / a) + (double(Y) / b) * (double(Y) / b) <= 1;
  };
  int64_t lo = std::max(Low, 1 - smaller), hi = High;
  if (lo <= hi) {
    if (holds(lo)) {
      hi = lo;
    } else if (!holds(hi)) {
      lo = hi;
    } else {
      while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        (holds(mid) ? hi : lo) = mid;
      }
    }
    around(hi, 8, 8);
  }
  std::sort(ks.begin(), ks.end());
  ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
  return ks;
}

}  // namespace

double DistanceToEllipse(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                         bool Filled, int32_t PenWidth) {
  const int64_t halfW = (int64_t(Right) - Left) / 2;
  const int64_t halfH = (int64_t(Bottom) - Top) / 2;
  const int64_t dx = int64_t(X) - (Left + halfW);
  const int64_t dy = int64_t(Y) - (Top + halfH);
  const int32_t px = SaturateToInt32(dx);
  const int32_t py = SaturateToInt32(dy);
  const int64_t half = PenWidth / 2;
  double best = IENoDistance;
  if (half < 0) return best;
  if (2 * half + 1 <= EllipseExactOffsets) {
    for (int64_t k = -half; k <= half; ++k)
      best = std::min(best, EllipseOutlineDistance(px, py, EllipseOutline(halfW, halfH, k, Filled)));
    return best;
  }
  for (int64_t k : EllipseOffsets(dx, dy, halfW, halfH, -half, half))
    best = std::min(best, EllipseOutlineDistance(px, py, EllipseOutline(halfW, halfH, k, Filled)));
  return best;
}

// ---- Angles -----------------------------------------------------------------------------------------

double ArcCosOrZero(double C) {
  if (C == 1 || C == -1) return 0;
  return std::atan2(std::sqrt(1 - C * C), C);
}

double VectorAngle(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double ax = double(X1) - X0, ay = double(Y1) - Y0;
  const double bx = double(X2) - X1, by = double(Y2) - Y1;
  const double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
  if (la == 0 || lb == 0) return 0;
  const double c = (ax * bx + ay * by) / (la * lb);
  if (c < -1 || c > 1) return 0;
  return ArcCosOrZero(c);
}

double LineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double dx = double(X2) - X1;
  const double dy = double(Y1) - Y2;  // screen y grows downwards
  if (dy == 0) return dx < 0 ? kPi : 0;
  if (dx == 0) return dy > 0 ? kPi / 2 : 3 * kPi / 2;
  double a = std::atan2(dy, dx);
  if (a < 0) a += 2 * kPi;
  return a;
}

int32_t TurnDirection(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  // Differences reach 2^32, so their products and sums are taken in 128 bits.
  using Wide = __int128;
  const Wide d1x = Wide(X1) - X0, d1y = Wide(Y1) - Y0;
  const Wide d2x = Wide(X2) - X0, d2y = Wide(Y2) - Y0;
  if (d1y * d2x < d1x * d2y) return 1;
  if (d1y * d2x > d1x * d2y) return -1;
  if (d1x * d2x < 0 || d1y * d2y < 0) return -1;
  return d1x * d1x + d1y * d1y < d2x * d2x + d2y * d2y ? 1 : 0;
}

double VertexAngle(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  auto side = [](int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    const double d = PointDistance(ax, ay, bx, by);
    return d == 0 ? 1.0 : d;
  };
  const double a = side(X1, Y1, X0, Y0);
  const double b = side(X1, Y1, X2, Y2);
  const double c = side(X0, Y0, X2, Y2);
  // Rounding can push the cosine of a straight angle just past -1, where arccos has no value.
  const double cosine = std::clamp((a * a + b * b - c * c) / (2 * a * b), -1.0, 1.0);
  const double angle = ArcCosOrZero(cosine);
  return TurnDirection(X0, Y0, X1, Y1, X2, Y2) == -1 ? 2 * kPi - angle : angle;
}

// ---- Transformations --------------------------------------------------------------------------------

void RotatePoints(TPoint* Points, int32_t High, int32_t CX, double AngleDeg, int32_t CY) {
  if (Points == nullptr) return;
  const double a = -AngleDeg * kPi / 180;
  const double c = std::cos(a), s = std::sin(a);
  for (int32_t i = 0; i <= High; ++i) {
    const double rx = double(Points[i].X) - CX;
    const double ry = double(Points[i].Y) - CY;
    Points[i].X = CX + static_cast<int32_t>(std::trunc(c * rx - s * ry));
    Points[i].Y = CY + static_cast<int32_t>(std::trunc(rx * s + ry * c));
  }
}

void ExtendBoundsRect(TRect& Rect, int32_t X, int32_t Y) {
  Rect.Left = std::min(Rect.Left, X);
  Rect.Top = std::min(Rect.Top, Y);
  Rect.Right = std::max(Rect.Right, X);
  Rect.Bottom = std::max(Rect.Bottom, Y);
}

void FitSizeInto(int32_t W, int32_t H, int32_t MaxW, int32_t MaxH, int32_t& NewW, int32_t& NewH) {
  if (W == 0 || H == 0) return;
  const double factor = std::min(double(MaxW) / W, double(MaxH) / H);
  NewW = std::max<int32_t>(1, static_cast<int32_t>(std::trunc(W * factor)));
  NewH = std::max<int32_t>(1, static_cast<int32_t>(std::trunc(H * factor)));
}

void SnapTo45Degrees(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y) {
  const int32_t dx = std::abs(X - X0);
  const int32_t dy = std::abs(Y - Y0);
  const int32_t k = std::abs(dx - dy);
  if (dy > dx + 30) {
    X = X0;
  } else if (dx > dy + 30) {
    Y = Y0;
  } else if (X > X0 && Y > Y0) {
    if (dx >= dy) Y += k;
    else X += k;
  } else if (X < X0 && Y < Y0) {
    if (dx >= dy) X += k;
    else Y += k;
  } else if (X < X0 && Y >= Y0) {
    if (dx >= dy) Y += k;
    else X -= k;
  } else if (X >= X0 && Y < Y0) {
    if (dx >= dy) Y -= k;
    else X += k;
  }
}

}  // namespace zv

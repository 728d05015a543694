#include "imaging/proc/transition_regions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr int32_t kGrowBy = 500;
constexpr size_t kHeaderBytes = sizeof(RGNDATAHEADER);
static_assert(kHeaderBytes == 32 && sizeof(RECT) == 16);

struct TFigurePoint {
  double X, Y;
};

constexpr TFigurePoint kStar5[] = {{0.5, 0},    {0.62, 0.36}, {1, 0.36},   {0.7, 0.59}, {0.81, 0.95}, {0.5, 0.73},
                                   {0.19, 0.95}, {0.31, 0.59}, {0, 0.36}, {0.39, 0.36}, {0.5, 0}};
constexpr TFigurePoint kStar6[] = {{0.5, 0},   {0.625, 0.25}, {0.9, 0.25},   {0.75, 0.5},  {0.9, 0.75},
                                   {0.625, 0.75}, {0.5, 1},  {0.375, 0.75}, {0.1, 0.75}, {0.25, 0.5},
                                   {0.1, 0.25},  {0.375, 0.25}, {0.5, 0}};
constexpr TFigurePoint kArrow[] = {{0, 0}, {0.4, 0}, {0.3, 0.1}, {1, 0.8}, {0.8, 1}, {0.1, 0.3}, {0, 0.4}, {0, 0}};
constexpr TFigurePoint kFeatheredArrow[] = {
    {0.85, 1},    {0.8, 0.95},   {0.8, 0.85},   {0.775, 0.825}, {0.775, 0.925}, {0.725, 0.875}, {0.725, 0.775},
    {0.7, 0.75},  {0.7, 0.85},   {0.65, 0.8},   {0.65, 0.7},    {0.15, 0.2},    {0.15, 0.3},    {0, 0.15},
    {0, 0},       {0.15, 0},     {0.3, 0.15},   {0.2, 0.15},    {0.7, 0.65},    {0.8, 0.65},    {0.85, 0.7},
    {0.75, 0.7},  {0.775, 0.725}, {0.875, 0.725}, {0.925, 0.775}, {0.825, 0.775}, {0.85, 0.8},   {0.95, 0.8},
    {1, 0.85},    {0.85, 0.85},  {0.85, 1}};
constexpr TFigurePoint kLightning[] = {{1, 0.19},   {0.61, 0.01}, {0.41, 0.29}, {0.49, 0.31}, {0.23, 0.55}, {0.33, 0.6},
                                       {0, 1},      {0.51, 0.69}, {0.46, 0.65}, {0.78, 0.45}, {0.66, 0.39}, {1, 0.19}};
constexpr TFigurePoint kExplosion[] = {
    {0.33, 0},    {0.5, 0.26},  {0.62, 0.11}, {0.67, 0.28}, {0.99, 0.1},  {0.78, 0.35}, {1, 0.39},
    {0.84, 0.54}, {0.99, 0.66}, {0.75, 0.64}, {0.78, 0.81}, {0.65, 0.71}, {0.61, 1},    {0.51, 0.69},
    {0.38, 0.89}, {0.35, 0.66}, {0.17, 0.83}, {0.22, 0.59}, {0, 0.61},    {0.19, 0.48}, {0.04, 0.37},
    {0.22, 0.34}, {0.16, 0.2},  {0.35, 0.25}, {0.33, 0.01}};

int32_t RoundTo32(long double V) {
  if (!(V == V)) return 0;
  return static_cast<int32_t>(std::clamp<long double>(Round(std::clamp<long double>(V, -2147483648.0L, 2147483647.0L)),
                                                      -2147483648.0L, 2147483647.0L));
}

HRGN FigureRegion(std::span<const TFigurePoint> Figure, int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                  bool MirrorX, bool MirrorY) {
  std::vector<POINT> points;
  points.reserve(Figure.size());
  const long double w = static_cast<long double>(Width) - 1, h = static_cast<long double>(Height) - 1;
  for (const TFigurePoint& p : Figure) {
    const double x = MirrorX ? 1 - p.X : p.X, y = MirrorY ? 1 - p.Y : p.Y;
    points.push_back(POINT{RoundTo32(Left + RoundTo32(w * x)), RoundTo32(Top + RoundTo32(h * y))});
  }
  return CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING);
}

void Square(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height) {
  const int32_t side = std::min(Width, Height);
  Left += static_cast<int32_t>((int64_t(Width) - side) / 2);
  Top += static_cast<int32_t>((int64_t(Height) - side) / 2);
  Width = Height = side;
}

HRGN Union(HRGN A, HRGN B) {
  if (A && B) CombineRgn(A, A, B, RGN_OR);
  if (B) DeleteObject(B);
  return A;
}

HRGN CrossRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  const int32_t narrow = RoundTo32(Height * 0.75L);
  if (Width > narrow) {
    Left += static_cast<int32_t>((int64_t(Width) - narrow) / 2);
    Width = narrow;
  }
  const int32_t t = std::min(RoundTo32(Height * 0.22L), RoundTo32(Width * 0.2L));
  const int64_t ux = Left + (int64_t(Width) - t) / 2;
  const int64_t by = Top + Round((static_cast<long double>(Height) - t) * 0.33L);
  HRGN upright = CreateRectRgn(int(ux), Top, int(ux + t), int(int64_t(Top) + Height));
  return Union(upright, CreateRectRgn(Left, int(by), int(int64_t(Left) + Width), int(by + t)));
}

POINT OnCircle(double Degrees, int32_t R, int32_t CX, int32_t CY) {
  const double a = (Degrees - 90) * std::numbers::pi / 180;
  return POINT{RoundTo32(std::cos(a) * R + CX), RoundTo32(std::sin(a) * R + CY)};
}

HRGN HeartRegion(int32_t Left, int32_t Top, int32_t s) {
  const int32_t h = s / 2, q = s / 4, D = h + 2, r = D / 2;
  HRGN heart = CreateEllipticRgn(Left, Top, Left + D, Top + D);
  heart = Union(heart, CreateEllipticRgn(Left + s - D, Top, Left + s, Top + D));
  const POINT p1 = OnCircle(233.14, r - 1, q, q), p2 = OnCircle(126.86, r - 1, s - q, q);
  heart = Union(heart, TriangleRegion(Left + p1.X, Top + p1.Y, Left + p2.X, Top + p2.Y, Left + h, Top + s));
  heart = Union(heart, CreateRectRgn(Left + r, Top + r, Left + s - r, Top + D));
  // The lobes are two pixels wider than half the side: in a square of a few pixels they would spill out.
  HRGN box = CreateRectRgn(Left, Top, Left + s, Top + s);
  if (heart && box) CombineRgn(heart, heart, box, RGN_AND);
  if (box) DeleteObject(box);
  return heart;
}

// Sizes beyond this make no sense for a frame and would overflow the builders' sums.
constexpr int32_t kMaxSide = 1 << 16;

bool SaneSize(int32_t W, int32_t H) { return W > 0 && H > 0 && W <= kMaxSide && H <= kMaxSide; }

// A reach beyond four sides draws what four sides draw, and keeps the builders' sums in range.
int32_t Reach(int32_t R, int32_t Side) { return std::clamp(R, -4 * Side, 4 * Side); }

}  // namespace

// ---- TComplexRegion -------------------------------------------------------------------------------------

void TComplexRegion::Clear() {
  std::vector<uint8_t>().swap(FData);
  FCapacity = 0;
  FCount = 0;
  FBounds = TRect(2147483647, 2147483647, -2147483647, -2147483647);
}

void TComplexRegion::AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (FCount == FCapacity) {
    FCapacity += kGrowBy;
    FData.resize(size_t(FCapacity) * sizeof(RECT) + kHeaderBytes + 4);
  }
  const RECT r{Left, Top, Right, Bottom};
  std::memcpy(FData.data() + kHeaderBytes + size_t(FCount) * sizeof(RECT), &r, sizeof(RECT));
  ++FCount;
  FBounds.Left = std::min(FBounds.Left, Left);
  FBounds.Top = std::min(FBounds.Top, Top);
  FBounds.Right = std::max(FBounds.Right, Right);
  FBounds.Bottom = std::max(FBounds.Bottom, Bottom);
}

HRGN TComplexRegion::CreateRegion() {
  if (FData.empty()) return nullptr;
  RGNDATAHEADER header;
  header.dwSize = kHeaderBytes;
  header.iType = 1;
  header.nCount = DWORD(FCount);
  header.nRgnSize = sizeof(RECT);
  header.rcBound = FBounds;
  std::memcpy(FData.data(), &header, sizeof(header));
  return ExtCreateRegion(nullptr, DWORD(size_t(FCount) * sizeof(RECT) + kHeaderBytes + 4),
                         reinterpret_cast<const RGNDATA*>(FData.data()));
}

// ---- Figures --------------------------------------------------------------------------------------------

HRGN CreateShapeRegion(uint8_t Shape, int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  Shape &= 0x7F;
  if (Shape > 15) return nullptr;
  if (Width <= 0 || Height <= 0) return CreateRectRgn(0, 0, 0, 0);
  switch (Shape) {
    case 0:
    case 1:
      Square(Left, Top, Width, Height);
      return Shape == 0 ? FigureRegion(kStar5, Left, Top, Width, Height, false, false)
                        : FigureRegion(kStar6, Left, Top, Width, Height, false, false);
    case 2:
    case 3:
    case 4:
    case 5:
      Square(Left, Top, Width, Height);
      return FigureRegion(kArrow, Left, Top, Width, Height, Shape == 3 || Shape == 5, Shape == 4 || Shape == 5);
    case 6:
    case 7:
      if (Height < Width) {
        Left += (Width - Height) / 2;
        Width = Height;
      }
      return FigureRegion(kLightning, Left, Top, Width, Height, Shape == 7, false);
    case 8:
    case 9:
      return FigureRegion(kExplosion, Left, Top, Width, Height, Shape == 9, Shape == 9);
    case 10:
      return CrossRegion(Left, Top, Width, Height);
    case 15:
      Square(Left, Top, Width, Height);
      return HeartRegion(Left, Top, Width);
    default:  // 11..14
      Square(Left, Top, Width, Height);
      return FigureRegion(kFeatheredArrow, Left, Top, Width, Height, Shape == 12 || Shape == 14,
                          Shape == 13 || Shape == 14);
  }
}

HRGN ShapeRegionInRect(uint8_t Shape, const TRect& Rect) {
  return CreateShapeRegion(Shape, Rect.Left, Rect.Top, int32_t(int64_t(Rect.Right) - Rect.Left),
                           int32_t(int64_t(Rect.Bottom) - Rect.Top));
}

// ---- Builders -------------------------------------------------------------------------------------------

HRGN BarsRegion(int32_t a, int32_t b, int32_t W, int32_t H, int32_t kh, int32_t kv) {
  if (!SaneSize(W, H)) return nullptr;
  a = Reach(a, W);
  b = Reach(b, H);
  TComplexRegion region;
  const int32_t bar = std::min(W, H) / 50 + 1;
  if (kh != 0) {
    for (int32_t y = a > W ? bar : 0; y < H + bar; y += 2 * bar) {
      if (a <= W) {
        if (kh == 1 || kh == 5) region.AddRect(W - a, y, W, y + bar);
        if (kh == 2 || kh == 4) region.AddRect(0, y, a, y + bar);
        if (kh == 3) {
          region.AddRect(0, y + bar, a, y + 2 * bar);
          region.AddRect(W - a, y, W, y + bar);
        }
      } else {
        if (kh == 1 || kh == 4) region.AddRect(2 * W - a, y, W, y + bar);
        if (kh == 2 || kh == 5) region.AddRect(0, y, a - W, y + bar);
        region.AddRect(0, y - bar, W, y);
      }
    }
  }
  if (kv != 0) {
    for (int32_t x = b > H ? bar : 0; x < W + bar; x += 2 * bar) {
      if (b <= H) {
        if (kv == 1 || kv == 5) region.AddRect(x, H - b, x + bar, H);
        if (kv == 2 || kv == 4) region.AddRect(x, 0, x + bar, b);
        if (kv == 3) {
          region.AddRect(x, H - b, x + bar, H);
          region.AddRect(x + bar, 0, x + 2 * bar, b);
        }
      } else {
        if (kv == 1 || kv == 4) region.AddRect(x, 2 * H - b, x + bar, H);
        if (kv == 2 || kv == 5) region.AddRect(x, 0, x + bar, b - H);
        region.AddRect(x - bar, 0, x, H);
      }
    }
  }
  return region.CreateRegion();
}

HRGN ShreddedRegion(int32_t a, int32_t b, int32_t W, int32_t H, int32_t kh, int32_t kv) {
  if (!SaneSize(W, H)) return nullptr;
  a = Reach(a, W);
  b = Reach(b, H);
  TComplexRegion region;
  const int32_t strip = std::min(W, H) / 200 + 1;
  if (kh != 0) {
    const int32_t j = a < W ? W / 10 : 0;
    for (int32_t y = 0; y < H; y += strip) {
      const int32_t len = Random(2 * j) - j + a, half = len / 2;
      const int32_t bottom = y + strip + H % strip;
      if (kh == 1) {
        region.AddRect(W - len, y, W, bottom);
      } else if (kh == 2) {
        region.AddRect(0, y, len, bottom);
      } else if (kh == 3) {
        region.AddRect(W / 2 - half, y, W / 2, bottom);
        region.AddRect(W / 2, y, W / 2 + (len - half), bottom);
      } else {
        region.AddRect(W - (len - half), y, W, bottom);
        region.AddRect(0, y, half, bottom);
      }
    }
  }
  if (kv != 0) {
    const int32_t j = b < H ? H / 10 : 0;
    for (int32_t x = 0; x < W; x += strip) {
      const int32_t len = Random(2 * j) + b - j, half = len / 2;
      const int32_t right = x + strip + W % strip;
      if (kv == 1) {
        region.AddRect(x, H - len, right, H);
      } else if (kv == 2) {
        region.AddRect(x, 0, right, len);
      } else if (kv == 3) {
        region.AddRect(x, H / 2 - half, right, H / 2);
        region.AddRect(x, H / 2, right, H / 2 + (len - half));
      } else {
        region.AddRect(x, H - (len - half), right, H);
        region.AddRect(x, 0, right, half);
      }
    }
  }
  return region.CreateRegion();
}

HRGN SpeckledRegion(int32_t a, int32_t b, int32_t W, int32_t H, int32_t kh, int32_t kv) {
  if (!SaneSize(W, H)) return nullptr;
  a = Reach(a, W);
  b = Reach(b, H);
  TComplexRegion region;
  const auto near = [](int32_t i, int32_t limit) { return Random(i) <= (i <= limit ? 1 : 0); };
  if (kh != 0) {
    const int32_t zone = a < W ? W / 10 : 0;
    const int32_t cell = std::max(zone / 20, 2), count = zone / cell, limit = (zone * 3) / (cell * 4);
    for (int32_t y = 0; y < H; y += cell / 2) {
      if (kh == 1) {
        region.AddRect(W - a, y, W, y + cell);
        for (int32_t i = count; i >= 1; --i)
          if (near(i, limit)) region.AddRect(W - a - i * cell, y, W - a - i * cell + cell, y + cell);
      } else {
        region.AddRect(0, y, a, y + cell);
        for (int32_t i = count; i >= 1; --i)
          if (near(i, limit)) region.AddRect(a + i * cell - cell, y, a + i * cell, y + cell);
      }
    }
  }
  if (kv != 0) {
    const int32_t zone = b < H ? H / 10 : 0;
    const int32_t cell = std::max(zone / 20, 2), count = zone / cell, limit = (zone * 3) / (cell * 4);
    for (int32_t x = 0; x < W; x += cell / 2) {
      if (kv == 1) {
        region.AddRect(x, H - b, x + cell, H);
        for (int32_t i = count; i >= 1; --i)
          if (near(i, limit)) region.AddRect(x, H - b - i * cell, x + cell, H - b - i * cell + cell);
      } else {
        region.AddRect(x, 0, x + cell, b);
        for (int32_t i = count; i >= 1; --i)
          if (near(i, limit)) region.AddRect(x, b + i * cell - cell, x + cell, b + i * cell);
      }
    }
  }
  return region.CreateRegion();
}

HRGN SectorRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                  int32_t Count) {
  if (Count < 1 || !std::isfinite(StartAngle) || !std::isfinite(EndAngle)) return nullptr;
  Count = std::min(Count, 1 << 16);
  // The centre and Count + 1 arc points: the arc ends on EndAngle, so a full sweep leaves no gap.
  std::vector<POINT> points;
  points.reserve(size_t(Count) + 2);
  points.push_back(POINT{CX, CY});
  for (int32_t k = 0; k <= Count; ++k) {
    const long double theta = StartAngle + k * (EndAngle - StartAngle) / Count;
    points.push_back(POINT{RoundTo32(CX + Radius * std::cos(theta)), RoundTo32(CY + Radius * std::sin(theta))});
  }
  return CreatePolygonRgn(points.data(), int(points.size()), WINDING);
}

HRGN PolygonRegion(std::span<const int32_t> Coords) {
  const size_t n = Coords.size() / 2;
  if (n == 0) return nullptr;
  std::vector<POINT> points(n);
  for (size_t i = 0; i < n; ++i) points[i] = POINT{Coords[2 * i], Coords[2 * i + 1]};
  return CreatePolygonRgn(points.data(), int(n), WINDING);
}

HRGN TriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  const POINT points[3] = {{X1, Y1}, {X2, Y2}, {X3, Y3}};
  return CreatePolygonRgn(points, 3, WINDING);
}

// ---- Geometry -------------------------------------------------------------------------------------------

void PercentSize(const TRect& Rect, int32_t Percent, int32_t& Width, int32_t& Height, int32_t& ScaledWidth,
                 int32_t& ScaledHeight) {
  Width = Rect.Right - Rect.Left;
  Height = Rect.Bottom - Rect.Top;
  // MulDiv by 0 answers -1: a side of no length scales to 0.
  if (Width >= Height) {
    ScaledWidth = MulDiv(Width, Percent, 100);
    ScaledHeight = Width != 0 ? MulDiv(ScaledWidth, Height, Width) : 0;
  } else {
    ScaledHeight = MulDiv(Height, Percent, 100);
    ScaledWidth = Height != 0 ? MulDiv(ScaledHeight, Width, Height) : 0;
  }
}

void RotatePolygon(std::span<TPoint> Points, int32_t CX, int32_t CY, long double Angle) {
  const long double c = std::cos(Angle), s = std::sin(Angle);
  for (TPoint& p : Points) {
    const long double dx = static_cast<long double>(p.X) - CX, dy = static_cast<long double>(p.Y) - CY;
    p = TPoint{RoundTo32(CX + (dx * c - dy * s)), RoundTo32(CY + (dx * s + dy * c))};
  }
}

void StretchDrawFlipped(TCanvas* Canvas, TRect DestRect, TBitmap* Bitmap, TRect SourceRect, bool FlipHorizontal,
                        bool FlipVertical) {
  if (!Canvas || !Bitmap) return;
  TRect source;
  if (!IntersectRect(source, SourceRect, TRect(0, 0, Bitmap->Width(), Bitmap->Height()))) return;
  const int64_t w = int64_t(DestRect.Right) - DestRect.Left, h = int64_t(DestRect.Bottom) - DestRect.Top;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return;
  // A mirrored copy starts on the far edge's last pixel and runs back over exactly the rectangle.
  int64_t x = DestRect.Left, y = DestRect.Top, dw = w, dh = h;
  if (FlipHorizontal) {
    x = int64_t(DestRect.Right) - 1;
    dw = -w;
  }
  if (FlipVertical) {
    y = int64_t(DestRect.Bottom) - 1;
    dh = -h;
  }
  HDC dc = Canvas->Handle();
  SetStretchBltMode(dc, HALFTONE);
  StretchBlt(dc, int(x), int(y), int(dw), int(dh), Bitmap->Canvas()->Handle(), source.Left, source.Top,
             source.Right - source.Left, source.Bottom - source.Top, SRCCOPY);
}

}  // namespace zv

#include "imaging/proc/transition_reveals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "imaging/proc/transition_regions.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr double kPi = std::numbers::pi;

// Region helpers: each takes ownership of its arguments and gives back the result (nullptr for none).
HRGN Combine(HRGN A, HRGN B, int Mode) {
  if (!A) return Mode == RGN_OR ? B : (B ? (DeleteObject(B), nullptr) : nullptr);
  if (!B) return Mode == RGN_AND ? (DeleteObject(A), nullptr) : A;
  CombineRgn(A, A, B, Mode);
  DeleteObject(B);
  return A;
}
HRGN Or(HRGN A, HRGN B) { return Combine(A, B, RGN_OR); }

// Joins many regions pairwise, so each union works on regions of similar size instead of growing one
// region a piece at a time.
class TUnion {
public:
  void Add(HRGN R) {
    if (R) FParts.push_back(R);
  }
  HRGN Take() {
    if (FParts.empty()) return nullptr;
    while (FParts.size() > 1) {
      std::vector<HRGN> next;
      for (size_t i = 0; i + 1 < FParts.size(); i += 2) next.push_back(Or(FParts[i], FParts[i + 1]));
      if (FParts.size() % 2) next.push_back(FParts.back());
      FParts.swap(next);
    }
    HRGN r = FParts.front();
    FParts.clear();
    return r;
  }
  ~TUnion() {
    for (HRGN r : FParts) DeleteObject(r);
  }

private:
  std::vector<HRGN> FParts;
};
HRGN Xor(HRGN A, HRGN B) { return Combine(A, B, RGN_XOR); }

HRGN Tri(int64_t X1, int64_t Y1, int64_t X2, int64_t Y2, int64_t X3, int64_t Y3) {
  return TriangleRegion(int32_t(X1), int32_t(Y1), int32_t(X2), int32_t(Y2), int32_t(X3), int32_t(Y3));
}
HRGN Quad(std::initializer_list<int64_t> C) {
  std::vector<int32_t> coords;
  for (int64_t v : C) coords.push_back(int32_t(std::clamp<int64_t>(v, INT32_MIN / 4, INT32_MAX / 4)));
  return PolygonRegion(coords);
}

struct TGeom {
  int32_t W, H, sW, sH, mx, my, Percent;
};

// Grid points at p, 3p, 5p ... while the previous point plus p is below Side.
template <typename F>
void GridAlong(int32_t P, int32_t Side, F Each) {
  if (P <= 0) return;
  for (int64_t v = P; v - 2 * P + P < Side; v += 2 * P) Each(int32_t(v));
}

HRGN FigureIn(int32_t Figure, int64_t L, int64_t T, int64_t R, int64_t B) {
  if (Figure < 0) return CreateEllipticRgn(int(L), int(T), int(R), int(B));
  return ShapeRegionInRect(uint8_t(Figure), TRect(int32_t(L), int32_t(T), int32_t(R), int32_t(B)));
}

HRGN ZigzagBand(int32_t Along, int32_t Across, int32_t Mid, int32_t Percent, int32_t ScaledAcross, bool Vertical) {
  const int32_t xs = Along / 10, n = Across / 10;
  const int32_t b = MulDiv(n, Percent, 100) + ScaledAcross / 2;
  std::vector<int32_t> coords;
  const auto add = [&](int32_t u, int32_t v) {
    coords.push_back(Vertical ? v : u);
    coords.push_back(Vertical ? u : v);
  };
  for (int32_t i = 0; i < 12; ++i) add(i * xs, i % 2 == 0 ? Mid + n - b : Mid - n - b);
  for (int32_t i = 11; i >= 0; --i) add(i * xs, i % 2 == 0 ? Mid + n + b : Mid - n + b);
  return PolygonRegion(coords);
}

HRGN RotatedRegion(std::vector<TPoint> Points, int32_t CX, int32_t CY, double Angle) {
  RotatePolygon(Points, CX, CY, Angle);
  std::vector<int32_t> coords;
  for (const TPoint& p : Points) {
    coords.push_back(p.X);
    coords.push_back(p.Y);
  }
  return PolygonRegion(coords);
}

HRGN BarsFor(int32_t Row, const TGeom& g) {
  struct Bars {
    int32_t Row;
    bool DoubleReach;
    int32_t Kh, Kv;
    bool Horizontal, Vertical;
  };
  static constexpr Bars kBars[] = {
      {84, true, 2, 0, true, false},   {85, true, 1, 0, true, false},   {86, true, 0, 2, false, true},
      {87, true, 0, 1, false, true},   {88, true, 4, 0, true, false},   {89, true, 5, 0, true, false},
      {90, true, 0, 4, false, true},   {91, true, 0, 5, false, true},   {92, false, 3, 0, true, false},
      {93, false, 0, 3, false, true},  {118, true, 2, 2, true, true},   {119, true, 1, 2, true, true},
      {120, true, 2, 1, true, true},   {121, true, 1, 1, true, true},   {122, true, 4, 4, true, true},
      {123, true, 5, 4, true, true},   {124, true, 4, 5, true, true},   {125, true, 5, 5, true, true},
      {126, false, 3, 2, true, true},  {127, false, 3, 1, true, true},  {128, false, 2, 3, true, true},
      {129, false, 3, 3, true, true},  {130, false, 1, 3, true, true},
  };
  if (Row == 131)
    return Combine(BarsRegion(2 * g.sW, 2 * g.sH, g.W, g.H, 1, 1), BarsRegion(2 * g.sW, 2 * g.sH, g.W, g.H, 2, 2),
                   RGN_AND);
  for (const Bars& b : kBars)
    if (b.Row == Row) {
      const int32_t k = b.DoubleReach ? 2 : 1;
      return BarsRegion(b.Horizontal ? k * g.sW : 0, b.Vertical ? k * g.sH : 0, g.W, g.H, b.Kh, b.Kv);
    }
  return nullptr;
}

HRGN ShredsFor(int32_t Row, const TGeom& g) {
  static constexpr int8_t kKinds[18][2] = {{2, 0}, {1, 0}, {0, 2}, {0, 1}, {2, 2}, {1, 2}, {2, 1}, {1, 1}, {2, 3},
                                           {1, 3}, {3, 2}, {3, 1}, {3, 3}, {4, 4}, {0, 4}, {4, 0}, {0, 3}, {3, 0}};
  const auto& k = kKinds[Row - 94];
  return ShreddedRegion(g.sW, g.sH, g.W, g.H, k[0], k[1]);
}

// Figure wipes from or to the centre: (row, scale, figure; -1 the circle).
struct TFigureWipe {
  int32_t Row;
  double Scale;
  int32_t Figure;
  bool ToCenter;
};
constexpr TFigureWipe kFigureWipes[] = {
    {116, 1, -1, false}, {117, 1, -1, true},  {200, 1.3, 15, false}, {201, 1.3, 15, true}, {202, 1.6, 0, false},
    {203, 1.6, 0, true}, {204, 1.3, 1, false}, {205, 1.3, 1, true},  {206, 1, 8, false},   {207, 1, 8, true},
    {208, 3.6, 10, false}, {209, 3.5, 10, true},
};

HRGN FigureWipe(const TFigureWipe& f, const TGeom& g) {
  const bool unit = f.Scale == 1;
  if (!f.ToCenter) {
    if (f.Figure < 0)
      return CreateRoundRectRgn(g.mx - g.sW, g.my - g.sH, g.mx + g.sW, g.my + g.sH, g.sW * 9 / 5, g.sH * 9 / 5);
    const int64_t ax = unit ? g.sW : Round(g.sW * f.Scale), ay = unit ? g.sH : Round(g.sH * f.Scale);
    return FigureIn(f.Figure, g.mx - ax, g.my - ay, g.mx + ax, g.my + ay);
  }
  int64_t dx = 0, dy = 0;
  if (!unit) {
    dx = Round((g.W - g.sW) * f.Scale) / 2;
    dy = Round((g.H - g.sH) * f.Scale) / 2;
  }
  const int64_t l = int64_t(g.sW) - g.mx - dx, t = int64_t(g.sH) - g.my - dy;
  const int64_t r = 3 * int64_t(g.mx) - g.sW + dx, b = 3 * int64_t(g.my) - g.sH + dy;
  HRGN figure = f.Figure < 0 ? CreateRoundRectRgn(int(l), int(t), int(r), int(b), (g.W - g.sW) * 9 / 5,
                                                  (g.H - g.sH) * 9 / 5)
                             : FigureIn(f.Figure, l, t, r, b);
  return Xor(CreateRectRgn(0, 0, g.W, g.H), figure);
}

HRGN InAndOut(int32_t Row, const TGeom& g) {
  const int32_t f = g.sW / 2, d = g.sH / 2;
  if (Row == 182) {
    HRGN outer = Quad({-f, g.my, g.mx, -d, 2 * g.mx + f, g.my, g.mx, 2 * g.my + d});
    return Xor(outer, Quad({f, g.my, g.mx, d, 2 * g.mx - f, g.my, g.mx, 2 * g.my - d}));
  }
  static constexpr std::pair<double, int32_t> kFigures[] = {{1.6, 15}, {2.4, 0}, {1.6, 1}, {1.1, 8}};
  const auto [scale, figure] = kFigures[Row - 210];
  const int64_t sf = Round(scale * f), sd = Round(scale * d);
  HRGN outer = FigureIn(figure, -sf, -sd, 2 * int64_t(g.mx) + sf, 2 * int64_t(g.my) + sd);
  return Xor(outer, FigureIn(figure, f, d, 2 * g.mx - f, 2 * g.my - d));
}

HRGN Blinds(int32_t Row, const TGeom& g) {
  TComplexRegion list;
  const int32_t W = g.W, H = g.H, P = g.Percent;
  switch (Row) {
    case 158: {
      const int32_t n = H / 40 + 1, a = MulDiv(n, P, 100);
      GridAlong(n, H, [&](int32_t y) { list.AddRect(0, y - a, W, y + a); });
      break;
    }
    case 159: {
      const int32_t n = W / 40 + 1, a = MulDiv(n, P, 100);
      GridAlong(n, W, [&](int32_t x) { list.AddRect(x - a, 0, x + a, H); });
      break;
    }
    case 160:
    case 161: {
      const int32_t n = g.sW, a = MulDiv(n, P, 100);
      if (n <= 0) return nullptr;
      if (Row == 160)
        for (int64_t x = 0; x < W; x += n) list.AddRect(int32_t(x), 0, int32_t(x + a), H);
      else
        for (int64_t x = W; x > 0; x -= n) list.AddRect(int32_t(x - a), 0, int32_t(x), H);
      break;
    }
    default: {  // 162, 163
      const int32_t n = g.sH, a = MulDiv(n, P, 100);
      if (n <= 0) return nullptr;
      if (Row == 162)
        for (int64_t y = 0; y < H; y += n) list.AddRect(0, int32_t(y), W, int32_t(y + a));
      else
        for (int64_t y = H; y > 0; y -= n) list.AddRect(0, int32_t(y - a), W, int32_t(y));
      break;
    }
  }
  return list.CreateRegion();
}

HRGN RectanglesFromSide(int32_t Row, const TGeom& g) {
  TComplexRegion list;
  const int32_t W = g.W, H = g.H, P = g.Percent;
  const bool across = Row == 164 || Row == 165;
  const int32_t n = across ? g.sW : g.sH, m = across ? H / 20 : W / 20;
  if (n <= 0 || m <= 0) return nullptr;
  const int32_t a = MulDiv(m, P, 100), b = MulDiv(n, P, 100);
  for (int64_t v = -m; v < (across ? H : W); v += 3 * int64_t(m)) {
    if (across)
      list.AddRect(0, int32_t(v - a), W, int32_t(v + a));
    else
      list.AddRect(int32_t(v - a), 0, int32_t(v + a), H);
  }
  switch (Row) {
    case 164:
      for (int64_t x = 0; x < W; x += n) list.AddRect(int32_t(x), 0, int32_t(x + b), H);
      break;
    case 165:
      for (int64_t x = W; x > 0; x -= n) list.AddRect(int32_t(x - b), 0, int32_t(x), H);
      break;
    case 166:
      for (int64_t y = 0; y < H; y += n) list.AddRect(0, int32_t(y), W, int32_t(y + b));
      break;
    default:
      for (int64_t y = H; y > 0; y -= n) list.AddRect(0, int32_t(y - b), W, int32_t(y));
      break;
  }
  return list.CreateRegion();
}

HRGN ExpandingGrid(int32_t Row, const TGeom& g) {
  const int32_t W = g.W, H = g.H, P = g.Percent;
  if (Row == 112) {
    const int32_t n = std::min(W, H) / 10 + 1, a = MulDiv(n, P, 100);
    TComplexRegion list;
    GridAlong(n, W, [&](int32_t x) { GridAlong(n, H, [&](int32_t y) { list.AddRect(x - a, y - a, x + a, y + a); }); });
    return list.CreateRegion();
  }
  TUnion all;
  if (Row == 113) {
    const int32_t cw = W / 10 + 1, ch = H / 10 + 1, tx = MulDiv(cw, P, 50), ty = MulDiv(ch, P, 50);
    GridAlong(cw, W, [&](int32_t x) {
      GridAlong(ch, H, [&](int32_t y) { all.Add(Tri(x - tx, y - ty, x, y + ty, x + tx, y - ty)); });
    });
    return all.Take();
  }
  const int32_t n = std::min(W, H) / 10 + 1;
  if (Row == 115) {
    const int32_t a = MulDiv(n, P, 50);
    GridAlong(n, W, [&](int32_t x) {
      GridAlong(n, H, [&](int32_t y) { all.Add(Quad({x - a, y, x, y - a, x + a, y, x, y + a})); });
    });
    return all.Take();
  }
  // Circles and figures: (row, scale, figure; -1 the circle).
  static constexpr std::pair<int32_t, std::pair<int32_t, int32_t>> kFigures[] = {
      {114, {3, -1}}, {195, {3, 15}}, {196, {4, 0}}, {197, {4, 1}}, {198, {4, 8}}, {199, {6, 6}}};
  for (const auto& [row, sf] : kFigures)
    if (row == Row) {
      const int32_t c = MulDiv(int32_t(n * sf.first), P, 200);
      const int32_t Figure = sf.second;  // clang 14 does not capture structured bindings
      GridAlong(n, W, [&](int32_t x) {
        GridAlong(n, H, [&](int32_t y) { all.Add(FigureIn(Figure, x - c, y - c, x + c, y + c)); });
      });
    }
  return all.Take();
}

// Random boxes and figures draw the same numbers at every step: the generator is seeded with the
// target's identity and put back afterwards.
class TSeedScope {
public:
  explicit TSeedScope(TBitmap* Target) : FSaved(RandSeed()) {
    SetRandSeed(int32_t(uint32_t(reinterpret_cast<uintptr_t>(Target->Handle()))));
  }
  ~TSeedScope() { SetRandSeed(FSaved); }

private:
  int32_t FSaved;
};

HRGN RandomFigures(int32_t Row, const TGeom& g, TBitmap* Target) {
  TSeedScope seed(Target);
  const int32_t W = g.W, H = g.H, P = g.Percent;
  if (Row == 184) {
    const int32_t c = std::min(W, H) / 20 + 1;
    TComplexRegion list;
    GridAlong(c, W, [&](int32_t x) {
      GridAlong(c, H, [&](int32_t y) {
        if (Random(100) < P) list.AddRect(x - c, y - c, x + c, y + c);
      });
    });
    return list.CreateRegion();
  }
  struct Kind {
    double Scale;
    int32_t Divisor, Figure;
  };
  static constexpr Kind kKinds[] = {{0.6, 12, 15}, {0.4, 14, 0}, {0.4, 14, 1}, {0.5, 18, 8}};
  const Kind& k = kKinds[Row - 191];
  const int32_t figure = Row == 194 && P % 2 != 0 ? 9 : k.Figure;
  const int32_t a = std::min(W, H) / k.Divisor + 1, d = int32_t(std::trunc(a * k.Scale));
  TUnion all;
  GridAlong(d, W, [&](int32_t x) {
    GridAlong(d, H, [&](int32_t y) {
      if (Random(100) < P) all.Add(FigureIn(figure, x - a, y - a, x + a, y + a));
    });
  });
  return all.Take();
}

HRGN TriangularWipe(const TGeom& g, int32_t Param) {
  int32_t k = MulDiv(std::max(g.W, g.H), Param, 90);
  k = k < 1 ? 1 : (k > 1 ? k / 2 : k);
  k = std::min(k, 64);  // a grid of a few thousand triangles at most
  const int64_t W = g.W / k, H = g.H / k, sW = g.sW / k, sH = g.sH / k;
  TUnion all;
  for (int64_t i = k; i >= 0; --i)
    for (int64_t j = k; j >= 0; --j) all.Add(Tri(j * W - sW, i * H - sH, j * W + sW, i * H - sH, j * W - sW, i * H + sH));
  return all.Take();
}

HRGN BuildRegion(int32_t Row, const TGeom& g, TBitmap* Target, int32_t Param) {
  const int32_t W = g.W, H = g.H, sW = g.sW, sH = g.sH, mx = g.mx, my = g.my, P = g.Percent;
  if (Row >= 76 && Row <= 83) {
    switch (Row) {
      case 76: return CreateRoundRectRgn(-2 * W, 0, 2 * sW, H + 1, 2 * W, 2 * W);
      case 77: return CreateRoundRectRgn(W - 2 * sW, 0, 3 * W, H + 1, 2 * W, 2 * W);
      case 78: return CreateRoundRectRgn(0, -2 * H, W + 1, 2 * sH, 2 * H, 2 * H);
      case 79: return CreateRoundRectRgn(0, H - 2 * sH, W + 1, 3 * H, 2 * H, 2 * H);
      case 80: return CreateRoundRectRgn(-W, -H, 3 * sW / 2, 3 * sH / 2, 2 * W, 2 * H);
      case 81: return CreateRoundRectRgn(W - 3 * sW / 2, -H, 2 * W, 3 * sH / 2, 2 * W, 2 * H);
      case 82: return CreateRoundRectRgn(-W, H - 3 * sH / 2, 3 * sW / 2, 2 * H, 2 * W, 2 * H);
      default: return CreateRoundRectRgn(W - 3 * sW / 2, H - 3 * sH / 2, 2 * W, 2 * H, 2 * W, 2 * H);
    }
  }
  if ((Row >= 84 && Row <= 93) || (Row >= 118 && Row <= 131)) return BarsFor(Row, g);
  if (Row >= 94 && Row <= 111) return ShredsFor(Row, g);
  if (Row >= 146 && Row <= 149) {
    static constexpr int8_t kKinds[4][2] = {{2, 0}, {1, 0}, {0, 2}, {0, 1}};
    return SpeckledRegion(sW, sH, W, H, kKinds[Row - 146][0], kKinds[Row - 146][1]);
  }
  if (Row >= 112 && Row <= 115) return ExpandingGrid(Row, g);
  if (Row >= 195 && Row <= 199) return ExpandingGrid(Row, g);
  if (Row >= 158 && Row <= 163) return Blinds(Row, g);
  if (Row >= 164 && Row <= 167) return RectanglesFromSide(Row, g);
  if (Row == 184 || (Row >= 191 && Row <= 194)) return RandomFigures(Row, g, Target);
  if (Row >= 210) return InAndOut(Row, g);
  for (const TFigureWipe& f : kFigureWipes)
    if (f.Row == Row) return FigureWipe(f, g);
  const double turn = P * kPi / 50;
  const int32_t hw = sW / 2, hh = sH / 2;
  const std::vector<TPoint> rectangle = {TPoint(mx - hw, my - hh), TPoint(mx + hw, my - hh), TPoint(mx + hw, my + hh),
                                         TPoint(mx - hw, my + hh)};
  const int32_t d = (W - sW) / 2, e = (H - sH) / 2, d2 = sW / 2, e2 = sH / 2;
  switch (Row) {
    case 132: return Tri(0, 0, 2 * int64_t(sW), 0, 0, 2 * int64_t(sH));
    case 133: return Tri(W, 0, W - 2 * int64_t(sW), 0, W, 2 * int64_t(sH));
    case 134: return Tri(0, H, 2 * int64_t(sW), H, 0, H - 2 * int64_t(sH));
    case 135: return Tri(W, H, W - 2 * int64_t(sW), H, W, H - 2 * int64_t(sH));
    case 136: return Or(Tri(W, 0, 0, 0, W, sH), Tri(W, H, 0, H, 0, H - sH));
    case 137: return Or(Tri(0, H, 0, 0, sW, H), Tri(W, H, W, 0, W - sW, 0));
    case 138:
    case 139: {
      const int32_t radius = int32_t(std::ceil(std::sqrt(double(mx) * mx + double(my) * my)));
      const long double end = Row == 138 ? -kPi / 2 + turn : -kPi / 2 - turn;
      return SectorRegion(mx, my, radius, -kPi / 2, end, P);
    }
    case 140:
      return Or(Or(Tri(mx, my, 0, 0, sW, 0), Tri(mx, my, 0, H, 0, H - sH)),
                Or(Tri(mx, my, W, H, W - sW, H), Tri(mx, my, W, 0, W, sH)));
    case 141:
      return Or(Or(Tri(mx, my, 0, 0, 0, sH), Tri(mx, my, 0, H, sW, H)),
                Or(Tri(mx, my, W, H, W, H - sH), Tri(mx, my, W, 0, W - sW, 0)));
    case 142: return RotatedRegion(rectangle, mx, my, turn);
    case 143: return RotatedRegion(rectangle, mx, my, -turn);
    case 144:
    case 145: {
      const std::vector<TPoint> star = {TPoint(mx - 2 * sW, my), TPoint(mx - hw, my - hh), TPoint(mx, my - 2 * sH),
                                        TPoint(mx + hw, my - hh), TPoint(mx + 2 * sW, my), TPoint(mx + hw, my + hh),
                                        TPoint(mx, my + 2 * sH), TPoint(mx - hw, my + hh)};
      return RotatedRegion(star, mx, my, Row == 144 ? turn : -turn);
    }
    case 168: return RotatedRegion(rectangle, sW, sH, turn);
    case 169: return RotatedRegion(rectangle, sW, sH, -turn);
    case 170: return Tri(0, my - sH, 2 * int64_t(sW), my, 0, my + sH);
    case 171: return Tri(W, my - sH, W - 2 * int64_t(sW), my, W, my + sH);
    case 172: return Tri(mx - sW, 0, mx, 2 * int64_t(sH), mx + sW, 0);
    case 173: return Tri(mx - sW, H, mx, H - 2 * int64_t(sH), mx + sW, H);
    case 174: return Or(Tri(0, my - sH, sW, my, 0, my + sH), Tri(W, my - sH, W - sW, my, W, my + sH));
    case 175:
      return Or(Tri(mx - sW, 0, mx, 2 * int64_t(sH), mx + sW, 0), Tri(mx - sW, H, mx, H - 2 * int64_t(sH), mx + sW, H));
    case 176:
      return Xor(Xor(Xor(Xor(CreateRectRgn(0, 0, W, H), Tri(0, my - e, d, my, 0, my + e)),
                         Tri(W, my - e, W - d, my, W, my + e)),
                     Tri(mx - d, 0, mx, e, mx + d, 0)),
                 Tri(mx - d, H, mx, H - e, mx + d, H));
    case 177:
      return Or(Or(Tri(0, my - e2, d2, my, 0, my + e2), Tri(W, my - e2, W - d2, my, W, my + e2)),
                Or(Tri(mx - d2, 0, mx, e2, mx + d2, 0), Tri(mx - d2, H, mx, H - e2, mx + d2, H)));
    case 178: return ZigzagBand(W, H, my, P, sH, false);
    case 179: return ZigzagBand(H, W, mx, P, sW, true);
    case 180: return Quad({mx - sW, my, mx, my - sH, mx + sW, my, mx, my + sH});
    case 181:
      return Xor(CreateRectRgn(0, 0, W, H),
                 Quad({sW - mx, my, mx, sH - my, 3 * int64_t(mx) - sW, my, mx, 3 * int64_t(my) - sH}));
    case 182: return InAndOut(Row, g);
    case 183: return TriangularWipe(g, Param);
    default: return nullptr;
  }
}

// Draws all of Picture onto the frame through R (nothing for no region or an empty one).
void DrawThrough(TCanvas* Canvas, HRGN R, TBitmap* Picture, int32_t W, int32_t H) {
  if (!R) return;
  TRect box;
  if (GetRgnBox(R, &box) != NULLREGION && box.Right > box.Left && box.Bottom > box.Top) {
    HDC dc = Canvas->Handle();
    SelectClipRgn(dc, R);
    BitBlt(dc, 0, 0, W, H, Picture->Canvas()->Handle(), 0, 0, SRCCOPY);
    SelectClipRgn(dc, nullptr);
  }
  DeleteObject(R);
}

}  // namespace

bool IsRevealRow(int32_t Row) {
  return (Row >= 76 && Row <= 149) || (Row >= 158 && Row <= 184) || (Row >= 189 && Row <= 213);
}

void RevealEffectRow(int32_t Row, TCanvas* Canvas, TBitmap* Source, TBitmap* Target, const TRect& Rect,
                     int32_t Param, int32_t Percent) {
  if (!Canvas || !Source || !Target || !IsRevealRow(Row)) return;
  TGeom g;
  Percent = std::clamp(Percent, 0, 100);
  const bool toLine = Row == 189 || Row == 190;  // the source band narrows to the centre line
  PercentSize(Rect, toLine ? 100 - Percent : Percent, g.W, g.H, g.sW, g.sH);
  if (g.W <= 0 || g.H <= 0 || g.W > (1 << 16) || g.H > (1 << 16)) return;
  g.mx = g.W / 2;
  g.my = g.H / 2;
  g.Percent = Percent;
  if (toLine) {
    g.Percent = 100 - Percent;
    HRGN band = Row == 189 ? ZigzagBand(g.W, g.H, g.my, g.Percent, g.sH, false)
                           : ZigzagBand(g.H, g.W, g.mx, g.Percent, g.sW, true);
    BitBlt(Canvas->Handle(), 0, 0, g.W, g.H, Target->Canvas()->Handle(), 0, 0, SRCCOPY);
    DrawThrough(Canvas, band, Source, g.W, g.H);
    return;
  }
  if (Row == 208 || Row == 209) BitBlt(Canvas->Handle(), 0, 0, g.W, g.H, Source->Canvas()->Handle(), 0, 0, SRCCOPY);
  DrawThrough(Canvas, BuildRegion(Row, g, Target, Param), Target, g.W, g.H);
}

}  // namespace zv

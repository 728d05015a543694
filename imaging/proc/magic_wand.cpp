#include "imaging/proc/magic_wand.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "imaging/core/mask.h"
#include "imaging/proc/dib_import.h"

namespace zv {

namespace {

bool Similar(TIERGB24 a, TIERGB24 s, int32_t Tolerance) {
  return std::abs(a.b - s.b) <= Tolerance && std::abs(a.g - s.g) <= Tolerance && std::abs(a.r - s.r) <= Tolerance;
}

// The 4-connected region around a seed: one visited bit per image pixel and the region's bounding box.
struct TRegion {
  int32_t Width = 0, Height = 0, RowBytes = 0;
  std::vector<uint8_t> Visited;
  int32_t MinX = INT32_MAX, MinY = INT32_MAX, MaxX = 0, MaxY = 0;
  bool Has(int32_t x, int32_t y) const { return GetRowBit(&Visited[size_t(y) * size_t(RowBytes)], uint32_t(x)) != 0; }
};

// The scanline seed fill. False (nothing found) for a seed outside the image or a negative tolerance.
bool FindRegion(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TRegion& R) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || Tolerance < 0) return false;
  R.Width = Bitmap->GetWidth();
  R.Height = Bitmap->GetHeight();
  if (X < 0 || Y < 0 || X >= R.Width || Y >= R.Height) return false;
  R.RowBytes = R.Width / 8 + 1;
  R.Visited.assign(size_t(R.RowBytes) * size_t(R.Height), 0);
  const TIERGB24 Seed = Bitmap->GetPixelAsRGB(X, Y);
  const int32_t W = R.Width, H = R.Height;
  auto Inside = [&](int32_t x, int32_t y) { return !R.Has(x, y) && Similar(Bitmap->GetPixelAsRGB(x, y), Seed, Tolerance); };
  auto Mark = [&](int32_t x, int32_t y) {
    SetRowBit(&R.Visited[size_t(y) * size_t(R.RowBytes)], x, 1);
    R.MinX = std::min(R.MinX, x);
    R.MaxX = std::max(R.MaxX, x);
    R.MinY = std::min(R.MinY, y);
    R.MaxY = std::max(R.MaxY, y);
  };
  struct TSegment {
    int32_t Row, Left, Right, Direction;
  };
  std::vector<TSegment> Stack;
  Stack.reserve(size_t(2) * size_t(W));
  Stack.push_back({Y, X, X, 1});
  Stack.push_back({Y + 1, X, X, -1});
  while (!Stack.empty()) {
    const TSegment s = Stack.back();
    Stack.pop_back();
    const int64_t y64 = int64_t(s.Row) + s.Direction;
    if (y64 < 0 || y64 >= H) continue;
    const int32_t y = int32_t(y64);
    int32_t x = s.Left;
    while (x >= 0 && Inside(x, y)) Mark(x--, y);
    int32_t l;
    bool InRun = x < s.Left;
    if (InRun) {
      l = x + 1;
      if (l < s.Left) Stack.push_back({y, l, s.Left - 1, -s.Direction});
      x = s.Left + 1;
    }
    for (;;) {
      if (InRun) {
        while (x < W && Inside(x, y)) Mark(x++, y);
        Stack.push_back({y, l, x - 1, s.Direction});
        if (x > s.Right + 1) Stack.push_back({y, s.Right + 1, x - 1, -s.Direction});
      }
      for (++x; x <= s.Right && !Inside(x, y); ++x) {
      }
      if (x > s.Right) break;
      l = x;
      InRun = true;
    }
  }
  Bitmap->ReleaseMappedRows();
  return true;
}

struct TDirection {
  int32_t DX, DY;
  uint8_t Code;
};
// The trace's search order.
constexpr TDirection Directions[8] = {{1, 0, 0},  {0, -1, 2}, {-1, 0, 4}, {0, 1, 6},
                                      {1, -1, 1}, {-1, -1, 3}, {-1, 1, 5}, {1, 1, 7}};
// How each chain code moves the walk.
constexpr int32_t CodeDX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t CodeDY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// The outline grid, four cells to a pixel with two empty cells around, worked out from the box mask
// where it is asked for: only the visited border cells are stored.
class TOutlineGrid {
public:
  TOutlineGrid(const std::vector<uint8_t>& Box, int32_t BW, int32_t BH)
      : FBox(Box), FBW(BW), FBH(BH), FCols(4 * int64_t(BW) + 4), FRows(4 * int64_t(BH) + 4) {}
  int64_t Cols() const { return FCols; }
  int64_t Rows() const { return FRows; }
  bool One(int64_t c, int64_t r) const {
    if (c < 2 || r < 2 || c > 4 * int64_t(FBW) + 1 || r > 4 * int64_t(FBH) + 1) return false;
    return FBox[size_t((r - 2) >> 2) * size_t(FBW) + size_t((c - 2) >> 2)] != 0;
  }
  // A cell next to (not diagonal to) a pixel of the region, not yet traced.
  bool Border(int64_t c, int64_t r) const {
    if (c < 0 || r < 0 || c >= FCols || r >= FRows || One(c, r)) return false;
    if (!(One(c - 1, r) || One(c + 1, r) || One(c, r - 1) || One(c, r + 1))) return false;
    return FTraced.find(Key(c, r)) == FTraced.end();
  }
  void Trace(int64_t c, int64_t r) { FTraced.insert(Key(c, r)); }

private:
  uint64_t Key(int64_t c, int64_t r) const { return uint64_t(r) * uint64_t(FCols) + uint64_t(c); }
  const std::vector<uint8_t>& FBox;
  int32_t FBW, FBH;
  int64_t FCols, FRows;
  std::unordered_set<uint64_t> FTraced;
};

}  // namespace

std::unique_ptr<TPoint[]> MagicWandOutline(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool Grow,
                                           int32_t& PointCount) {
  PointCount = 0;
  TRegion R;
  if (!FindRegion(Bitmap, X, Y, Tolerance, R)) return nullptr;
  const int32_t BW = R.MaxX - R.MinX + 1, BH = R.MaxY - R.MinY + 1;
  // The box mask, one byte per pixel of the region's bounding box.
  std::vector<uint8_t> Box(size_t(BW) * size_t(BH), 0);
  for (int32_t y = 0; y < BH; ++y)
    for (int32_t x = 0; x < BW; ++x) {
      if (!R.Has(R.MinX + x, R.MinY + y)) continue;
      if (!Grow) {
        Box[size_t(y) * size_t(BW) + size_t(x)] = 1;
        continue;
      }
      for (int32_t j = std::max(y - 1, 0); j <= std::min(y + 1, BH - 1); ++j)
        for (int32_t i = std::max(x - 1, 0); i <= std::min(x + 1, BW - 1); ++i) Box[size_t(j) * size_t(BW) + size_t(i)] = 1;
    }
  std::vector<uint8_t>().swap(R.Visited);
  TOutlineGrid Grid(Box, BW, BH);

  // The start: the border cell nearest the top-left corner (1, 1) of all border cells, the first in row
  // order on ties. A row further down than the best distance found cannot hold a nearer one.
  int64_t StartC = -1, StartR = -1, Best = INT64_MAX;
  for (int64_t r = 1; r < Grid.Rows() && (r - 1) * (r - 1) <= Best; ++r)
    for (int64_t c = 0; c < Grid.Cols(); ++c) {
      if (!Grid.Border(c, r)) continue;
      const int64_t d = (c - 1) * (c - 1) + (r - 1) * (r - 1);
      if (d < Best) Best = d, StartC = c, StartR = r;
      break;
    }
  if (StartC < 0) return nullptr;

  std::vector<uint8_t> Codes;
  int64_t c = StartC, r = StartR;
  Grid.Trace(c, r);
  int Current = 4;
  for (;;) {
    const TDirection& a = Directions[Current];
    if (Grid.Border(c + a.DX, r + a.DY)) {
      c += a.DX;
      r += a.DY;
      Grid.Trace(c, r);
      Codes.push_back(a.Code);
    }
    int Found = -1;
    for (int i = 0; i < 8 && Found < 0; ++i)
      if (Grid.Border(c + Directions[i].DX, r + Directions[i].DY)) Found = i;
    if (Found < 0) break;
    c += Directions[Found].DX;
    r += Directions[Found].DY;
    Grid.Trace(c, r);
    Codes.push_back(Directions[Found].Code);
    Current = Found;
  }
  for (const TDirection& d : Directions)
    if (c + d.DX == StartC && r + d.DY == StartR) {
      Codes.push_back(d.Code);
      break;
    }

  std::vector<TPoint> Points;
  int64_t px = StartC + 4 * int64_t(R.MinX) - 1, py = StartR + 4 * int64_t(R.MinY) - 1;
  auto Vertex = [&]() { Points.emplace_back(int32_t(px >> 2), int32_t(py >> 2)); };
  Vertex();
  uint8_t Previous = Codes.empty() ? 0 : Codes.front();
  for (uint8_t Code : Codes) {
    if (Code != Previous) Vertex();
    px += CodeDX[Code];
    py += CodeDY[Code];
    Previous = Code;
  }
  PointCount = int32_t(Points.size());
  auto Result = std::make_unique<TPoint[]>(Points.size());
  std::copy(Points.begin(), Points.end(), Result.get());
  return Result;
}

void MagicWandFloodFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool Grow, TIEMask* Mask,
                        int32_t Value) {
  if (Mask == nullptr) return;
  TRegion R;
  if (!FindRegion(Bitmap, X, Y, Tolerance, R)) return;
  for (int32_t y = R.MinY; y <= R.MaxY; ++y)
    for (int32_t x = R.MinX; x <= R.MaxX; ++x) {
      if (!R.Has(x, y)) continue;
      if (!Grow) {
        Mask->SetPixel(x, y, Value);
        continue;
      }
      for (int32_t j = std::max(y - 1, 0); j <= std::min(y + 1, R.Height - 1); ++j)
        for (int32_t i = std::max(x - 1, 0); i <= std::min(x + 1, R.Width - 1); ++i) Mask->SetPixel(i, j, Value);
    }
}

void MagicWandSelectSimilar(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask,
                            int32_t Value) {
  if (Bitmap == nullptr || Mask == nullptr || Bitmap->IsEmpty() || Tolerance < 0) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  // A seed outside the image has no colour to compare with.
  if (X < 0 || Y < 0 || X >= W || Y >= H) return;
  const TIERGB24 Seed = Bitmap->GetPixelAsRGB(X, Y);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (Similar(Bitmap->GetPixelAsRGB(x, y), Seed, Tolerance)) Mask->SetPixel(x, y, Value);
  Bitmap->ReleaseMappedRows();
}

}  // namespace zv

// The magic wand against a breadth-first fill and against the outline worked on the full four-times
// grid, both written here; the small outlines, holes, borders, corners and seeds outside.
#include "imaging/proc/magic_wand.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"

namespace zv {
namespace {

std::unique_ptr<TIEBitmap> Random(int32_t W, int32_t H, uint32_t Seed) {
  static const uint8_t Levels[] = {0, 6, 12, 200};
  std::mt19937 Gen(Seed);
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t v = Levels[Gen() % 4];
      b->SetRGB(x, y, TIERGB24{v, uint8_t(Gen() % 3 == 0 ? 200 - v : v), v});
    }
  return b;
}

bool Close(TIERGB24 a, TIERGB24 b, int T) {
  return std::abs(a.r - b.r) <= T && std::abs(a.g - b.g) <= T && std::abs(a.b - b.b) <= T;
}

// The region by breadth-first search, grown (clipped to the image) when asked: one byte per pixel.
std::vector<uint8_t> Bfs(TIEBitmap* B, int32_t X, int32_t Y, int T, bool Grow) {
  const int32_t W = B->GetWidth(), H = B->GetHeight();
  std::vector<uint8_t> In(size_t(W * H), 0);
  const TIERGB24 Seed = B->GetRGB(X, Y);
  std::deque<std::pair<int32_t, int32_t>> Queue{{X, Y}};
  In[size_t(Y * W + X)] = 1;
  while (!Queue.empty()) {
    auto [x, y] = Queue.front();
    Queue.pop_front();
    const int32_t N[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    for (auto& n : N)
      if (n[0] >= 0 && n[1] >= 0 && n[0] < W && n[1] < H && !In[size_t(n[1] * W + n[0])] &&
          Close(B->GetRGB(n[0], n[1]), Seed, T)) {
        In[size_t(n[1] * W + n[0])] = 1;
        Queue.push_back({n[0], n[1]});
      }
  }
  if (!Grow) return In;
  std::vector<uint8_t> Out(In.size(), 0);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (In[size_t(y * W + x)])
        for (int32_t j = std::max(0, y - 1); j <= std::min(H - 1, y + 1); ++j)
          for (int32_t i = std::max(0, x - 1); i <= std::min(W - 1, x + 1); ++i) Out[size_t(j * W + i)] = 1;
  return Out;
}

// The outline exactly as the four-times grid gives it: every pixel a 4 x 4 block, border cells marked by
// four sweeps, the start nearest the border cells' top-left corner, the chain-code trace and the vertices.
std::vector<TPoint> GridOutline(TIEBitmap* B, int32_t X, int32_t Y, int T, bool Grow) {
  const int32_t W = B->GetWidth(), H = B->GetHeight();
  std::vector<uint8_t> In = Bfs(B, X, Y, T, false);
  int32_t MinX = W, MinY = H, MaxX = -1, MaxY = -1;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if (In[size_t(y * W + x)]) MinX = std::min(MinX, x), MaxX = std::max(MaxX, x), MinY = std::min(MinY, y), MaxY = std::max(MaxY, y);
  const int32_t BW = MaxX - MinX + 1, BH = MaxY - MinY + 1;
  std::vector<uint8_t> Box(size_t(BW * BH), 0);
  for (int32_t y = 0; y < BH; ++y)
    for (int32_t x = 0; x < BW; ++x)
      if (In[size_t((y + MinY) * W + x + MinX)])
        for (int32_t j = y - (Grow ? 1 : 0); j <= y + (Grow ? 1 : 0); ++j)
          for (int32_t i = x - (Grow ? 1 : 0); i <= x + (Grow ? 1 : 0); ++i)
            if (i >= 0 && j >= 0 && i < BW && j < BH) Box[size_t(j * BW + i)] = 1;
  const int32_t GW = 4 * BW + 4, GH = 4 * BH + 4;
  std::vector<uint8_t> G(size_t(GW * GH), 0);
  auto At = [&](int32_t c, int32_t r) -> uint8_t& { return G[size_t(r * GW + c)]; };
  for (int32_t y = 0; y < BH; ++y)
    for (int32_t x = 0; x < BW; ++x)
      if (Box[size_t(y * BW + x)])
        for (int32_t r = 4 * y + 2; r <= 4 * y + 5; ++r)
          for (int32_t c = 4 * x + 2; c <= 4 * x + 5; ++c) At(c, r) = 1;
  for (int32_t r = 0; r < GH; ++r) {
    for (int32_t c = 0; c + 1 < GW; ++c)
      if (At(c, r) != 1 && At(c + 1, r) == 1) At(c, r) = 3;
    for (int32_t c = GW - 1; c > 0; --c)
      if (At(c, r) != 1 && At(c - 1, r) == 1) At(c, r) = 3;
  }
  for (int32_t c = 0; c < GW; ++c) {
    for (int32_t r = 0; r + 1 < GH; ++r)
      if (At(c, r) != 1 && At(c, r + 1) == 1) At(c, r) = 3;
    for (int32_t r = GH - 1; r > 0; --r)
      if (At(c, r) != 1 && At(c, r - 1) == 1) At(c, r) = 3;
  }
  int32_t L = GW, Tp = GH;
  for (int32_t r = 0; r < GH; ++r)
    for (int32_t c = 0; c < GW; ++c)
      if (At(c, r) == 3) L = std::min(L, c), Tp = std::min(Tp, r);
  int32_t SC = -1, SR = -1, Best = INT32_MAX;
  for (int32_t r = 0; r < GH; ++r)
    for (int32_t c = 0; c < GW; ++c)
      if (At(c, r) == 3 && (c - L) * (c - L) + (r - Tp) * (r - Tp) < Best)
        Best = (c - L) * (c - L) + (r - Tp) * (r - Tp), SC = c, SR = r;
  const int DX[8] = {1, 0, -1, 0, 1, -1, -1, 1}, DY[8] = {0, -1, 0, 1, -1, -1, 1, 1}, Code[8] = {0, 2, 4, 6, 1, 3, 5, 7};
  auto Is = [&](int32_t c, int32_t r) { return c >= 0 && r >= 0 && c < GW && r < GH && At(c, r) == 3; };
  std::vector<int> Codes;
  int32_t c = SC, r = SR;
  At(c, r) = 2;
  int Cur = 4;
  for (;;) {
    if (Is(c + DX[Cur], r + DY[Cur])) {
      c += DX[Cur], r += DY[Cur];
      At(c, r) = 2;
      Codes.push_back(Code[Cur]);
    }
    int F = -1;
    for (int i = 0; i < 8 && F < 0; ++i)
      if (Is(c + DX[i], r + DY[i])) F = i;
    if (F < 0) break;
    c += DX[F], r += DY[F];
    At(c, r) = 2;
    Codes.push_back(Code[F]);
    Cur = F;
  }
  for (int i = 0; i < 8; ++i)
    if (c + DX[i] == SC && r + DY[i] == SR) {
      Codes.push_back(Code[i]);
      break;
    }
  const int MX[8] = {1, 1, 0, -1, -1, -1, 0, 1}, MY[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  int32_t px = SC + 4 * MinX - 1, py = SR + 4 * MinY - 1;
  std::vector<TPoint> P{{px, py}};
  int Prev = Codes.empty() ? 0 : Codes[0];
  for (int k : Codes) {
    if (k != Prev) P.push_back({px, py});
    px += MX[k], py += MY[k];
    Prev = k;
  }
  for (TPoint& p : P) p = TPoint(p.X >> 2, p.Y >> 2);
  return P;
}

std::vector<TPoint> Outline(TIEBitmap* B, int32_t X, int32_t Y, int T, bool Grow) {
  int32_t Count = -1;
  std::unique_ptr<TPoint[]> P = MagicWandOutline(B, X, Y, T, Grow, Count);
  if (P == nullptr) return {};
  return std::vector<TPoint>(P.get(), P.get() + Count);
}

TEST(MagicWand, FloodFillMatchesABreadthFirstFill) {
  for (uint32_t Seed = 1; Seed <= 6; ++Seed)
    for (int T : {0, 10, 255})
      for (bool Grow : {false, true}) {
        auto B = Random(23, 17, Seed);
        const int32_t X = int32_t(Seed * 7 % 23), Y = int32_t(Seed * 5 % 17);
        TIEMask M;
        ASSERT_TRUE(M.Allocate(23, 17, 1));
        MagicWandFloodFill(B.get(), X, Y, T, Grow, &M, 1);
        std::vector<uint8_t> E = Bfs(B.get(), X, Y, T, Grow);
        int Wrong = 0;
        for (int32_t y = 0; y < 17; ++y)
          for (int32_t x = 0; x < 23; ++x) Wrong += (M.GetPixel(x, y) != 0) != (E[size_t(y * 23 + x)] != 0);
        EXPECT_EQ(Wrong, 0) << "seed " << Seed << " tolerance " << T << " grow " << Grow;
      }
}

TEST(MagicWand, OutlineMatchesTheFourTimesGrid) {
  int Compared = 0;
  for (uint32_t Seed = 1; Seed <= 40; ++Seed)
    for (int T : {0, 10})
      for (bool Grow : {false, true}) {
        auto B = Random(19, 15, Seed);
        const int32_t X = int32_t(Seed * 7 % 19), Y = int32_t(Seed * 3 % 15);
        EXPECT_EQ(Outline(B.get(), X, Y, T, Grow), GridOutline(B.get(), X, Y, T, Grow))
            << "seed " << Seed << " tolerance " << T << " grow " << Grow;
        ++Compared;
      }
  EXPECT_EQ(Compared, 160);
}

TEST(MagicWand, SmallOutlinesHolesBordersAndCorners) {
  auto Square = [](int32_t x, int32_t y, int32_t x2, int32_t y2) {
    return std::vector<TPoint>{{x, y}, {x2, y}, {x2, y}, {x2, y2}, {x2, y2}, {x, y2}, {x, y2}, {x, y}};
  };
  TIEBitmap B(8, 8, ie24RGB);
  B.Fill(0);
  B.SetRGB(5, 3, TIERGB24{9, 9, 9});
  EXPECT_EQ(Outline(&B, 5, 3, 0, false), Square(5, 3, 6, 4)) << "one pixel";
  B.Fill(0);
  for (int32_t y = 2; y < 4; ++y)
    for (int32_t x = 2; x < 4; ++x) B.SetRGB(x, y, TIERGB24{9, 9, 9});
  EXPECT_EQ(Outline(&B, 3, 3, 0, false), Square(2, 2, 4, 4)) << "2 x 2";
  B.Fill(0);
  EXPECT_EQ(Outline(&B, 4, 4, 0, false), Square(0, 0, 8, 8)) << "the whole image";
  // A ring: only its outer border.
  for (int32_t y = 1; y < 7; ++y)
    for (int32_t x = 1; x < 7; ++x) B.SetRGB(x, y, TIERGB24{9, 9, 9});
  B.SetRGB(3, 3, TIERGB24{0, 0, 0});
  B.SetRGB(4, 4, TIERGB24{0, 0, 0});
  EXPECT_EQ(Outline(&B, 1, 1, 0, false), Square(1, 1, 7, 7)) << "a ring";
  // Two pixels meeting at a corner are two regions unless Grow bridges them.
  B.Fill(0);
  B.SetRGB(2, 2, TIERGB24{9, 9, 9});
  B.SetRGB(3, 3, TIERGB24{9, 9, 9});
  EXPECT_EQ(Outline(&B, 2, 2, 0, false), Square(2, 2, 3, 3));
  TIEMask M;
  M.Allocate(8, 8, 1);
  MagicWandFloodFill(&B, 2, 2, 0, false, &M, 1);
  EXPECT_EQ(M.GetPixel(3, 3), 0);
  MagicWandFloodFill(&B, 2, 2, 0, true, &M, 1);
  EXPECT_NE(M.GetPixel(3, 3), 0);
  EXPECT_NE(M.GetPixel(1, 1), 0);
  EXPECT_EQ(M.GetPixel(4, 4), 0) << "grown from the seed's region only";
  M.Clear();
  MagicWandFloodFill(&B, 0, 0, 0, true, &M, 1);
  EXPECT_EQ(M.X1, 0) << "grow stays inside the image";
}

TEST(MagicWand, SeedsOutsideNegativeTolerancesAndSelectSimilar) {
  auto B = Random(12, 9, 3);
  TIEMask M;
  M.Allocate(12, 9, 1);
  int32_t Count = 7;
  for (auto [X, Y] : std::vector<std::pair<int32_t, int32_t>>{{-1, 0}, {12, 0}, {0, 9}, {0, -5}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(MagicWandOutline(B.get(), X, Y, 10, false, Count), nullptr);
    EXPECT_EQ(Count, 0);
    MagicWandFloodFill(B.get(), X, Y, 10, true, &M, 1);
    MagicWandSelectSimilar(B.get(), X, Y, 255, &M, 1);
    EXPECT_TRUE(M.IsEmpty()) << X << "," << Y;
  }
  Count = 7;
  EXPECT_EQ(MagicWandOutline(B.get(), 2, 2, -1, false, Count), nullptr);
  EXPECT_EQ(Count, 0);
  MagicWandFloodFill(B.get(), 2, 2, -1, false, &M, 1);
  MagicWandSelectSimilar(B.get(), 2, 2, -1, &M, 1);
  EXPECT_TRUE(M.IsEmpty());
  // Every similar pixel, connected or not.
  MagicWandSelectSimilar(B.get(), 2, 2, 0, &M, 1);
  const TIERGB24 Seed = B->GetRGB(2, 2);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(M.GetPixel(x, y) != 0, Close(B->GetRGB(x, y), Seed, 0));
}

TEST(MagicWand, LargeRegionOutline) {
  TIEBitmap B(1500, 1200, ie8g);
  B.Fill(50);
  B.FillRect(700, 600, 700, 600, 51);
  int32_t Count = 0;
  auto P = MagicWandOutline(&B, 10, 10, 0, false, Count);
  ASSERT_EQ(Count, 8);
  EXPECT_EQ(P[3], TPoint(1500, 1200));
  P = MagicWandOutline(&B, 700, 600, 2, true, Count);
  ASSERT_EQ(Count, 8);
}

}  // namespace
}  // namespace zv

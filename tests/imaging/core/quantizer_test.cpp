#include "imaging/core/quantizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "imaging/core/bitmap.h"

namespace zv {
namespace {

using ColorAt = std::function<TIERGB24(int32_t x, int32_t y)>;

std::unique_ptr<TIEBitmap> MakeRGB(int32_t W, int32_t H, const ColorAt& F) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* Row = reinterpret_cast<TIERGB24*>(B->GetScanline(y));
    for (int32_t x = 0; x < W; ++x) Row[x] = F(x, y);
  }
  return B;
}

// Colour number k of a set of clearly distinct colours.
TIERGB24 Distinct(int32_t k) {
  return TIERGB24{uint8_t(k * 37 % 256), uint8_t(k * 11 % 256), uint8_t((k * 5 + k / 7 * 3) % 256)};
}

// A frame that uses colours 0..N-1, each several times, in a scattered order.
std::unique_ptr<TIEBitmap> FrameOfColors(int32_t N, int32_t W = 40, int32_t H = 30) {
  return MakeRGB(W, H, [N, W](int32_t x, int32_t y) { return Distinct(((y * W + x) * 7) % N); });
}

TIERGB24 Grey(int v) { return TIERGB24{uint8_t(v), uint8_t(v), uint8_t(v)}; }

constexpr TIERGB24 Sentinel{1, 2, 3};

class Palette {
public:
  Palette() { std::fill(std::begin(Entries), std::end(Entries), Sentinel); }
  TIERGB24 Entries[257];
  TIERGB24& operator[](int i) { return Entries[i]; }
};

// ---- Exact palette --------------------------------------------------------------------------------------

class ExactPaletteTest : public testing::TestWithParam<int32_t> {};

TEST_P(ExactPaletteTest, CountColoursGiveFirstOccurrencePaletteAndCountPlusOneReduce) {
  const int32_t Count = GetParam();
  auto Frame = FrameOfColors(Count);
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, Count);
  ASSERT_TRUE(Q.IsExact());
  EXPECT_FALSE(Q.HasMethodData());
  ASSERT_EQ(Q.ExactCount(), Count);

  // The expected order: colours as they first appear, top row first.
  std::vector<TIERGB24> Order;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y)
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) {
      TIERGB24 C = Frame->GetRGB(x, y);
      if (std::find(Order.begin(), Order.end(), C) == Order.end()) Order.push_back(C);
    }
  ASSERT_EQ(int32_t(Order.size()), Count);
  for (int32_t i = 0; i < Count; ++i) {
    EXPECT_EQ(Pal[i], Order[size_t(i)]) << i;
    EXPECT_EQ(Q.PaletteIndex(Order[size_t(i)]), i);
  }
  EXPECT_EQ(Pal[0], Frame->GetRGB(0, 0));
  EXPECT_EQ(Pal[Count], Sentinel);  // nothing written past the palette

  auto More = FrameOfColors(Count + 1);
  Palette Pal2;
  TIEQuantizer Q2(More.get(), Pal2.Entries, Count);
  EXPECT_FALSE(Q2.IsExact());
  EXPECT_TRUE(Q2.HasMethodData());
  for (int32_t y = 0; y < More->GetHeight(); ++y)
    for (int32_t x = 0; x < More->GetWidth(); ++x) {
      int32_t Index = Q2.PaletteIndex(More->GetRGB(x, y));
      ASSERT_GE(Index, 0);
      ASSERT_LT(Index, Count);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, ExactPaletteTest, testing::Values(2, 16, 127, 128, 256));

TEST(ExactPaletteTest, AbsentColourIsReportedAsAbsentNotAsTheLastIndex) {
  auto Frame = FrameOfColors(256, 64, 32);
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 256);
  ASSERT_TRUE(Q.IsExact());
  TIERGB24 Last = Pal[255];
  EXPECT_EQ(Q.PaletteIndex(Last), 255);
  TIERGB24 Absent{0, 0, 0};
  while (std::find(Pal.Entries, Pal.Entries + 256, Absent) != Pal.Entries + 256) ++Absent.b;
  EXPECT_EQ(Q.PaletteIndex(Absent), -1);
  EXPECT_EQ(FindExactColor(Pal.Entries, 256, 0x00FFFFFFu & ((uint32_t(Absent.r) << 16) | (Absent.g << 8) | Absent.b)),
            -1);
}

// ---- Choice of method -------------------------------------------------------------------------------------

struct MethodCase {
  int32_t Switch;
  int32_t Count;
  int32_t Method;
};

class MethodChoiceTest : public testing::TestWithParam<MethodCase> {
protected:
  void TearDown() override { QuantizerMethod = -1; }
};

TEST_P(MethodChoiceTest, SwitchAndCountPickTheMethod) {
  const MethodCase C = GetParam();
  QuantizerMethod = C.Switch;
  auto Frame = FrameOfColors(300, 40, 40);
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, C.Count);
  ASSERT_TRUE(Q.HasMethodData());
  EXPECT_EQ(Q.Method(), C.Method);
  EXPECT_EQ(Q.NeuQuant() != nullptr, C.Method == 0);
  EXPECT_EQ(Q.MedianCut() != nullptr, C.Method == 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, MethodChoiceTest,
                         testing::Values(MethodCase{-1, 127, 1}, MethodCase{-1, 128, 0}, MethodCase{-1, 16, 1},
                                         MethodCase{-1, 256, 0}, MethodCase{0, 16, 0}, MethodCase{1, 256, 1},
                                         MethodCase{7, 16, 0}));

// ---- Median cut ---------------------------------------------------------------------------------------------

TEST(MedianCutTest, EntriesAreMultiplesOfEightAndShareTheCellsBox) {
  auto Frame = MakeRGB(64, 48, [](int32_t x, int32_t y) {
    return TIERGB24{uint8_t(x * 4), uint8_t(y * 5), uint8_t((x * y) % 256)};
  });
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 64);
  ASSERT_NE(Q.MedianCut(), nullptr);
  ASSERT_EQ(Q.MedianCut()->BoxCount, 64);
  for (int32_t i = 0; i < 64; ++i) {
    EXPECT_EQ(Pal[i].r % 8, 0);
    EXPECT_EQ(Pal[i].g % 8, 0);
    EXPECT_EQ(Pal[i].b % 8, 0);
  }
  for (int32_t y = 0; y < 48; y += 3)
    for (int32_t x = 0; x < 64; x += 3) {
      TIERGB24 C = Frame->GetRGB(x, y);
      int32_t Index = Q.PaletteIndex(C);
      ASSERT_GE(Index, 0);
      ASSERT_LT(Index, 64);
      // The entry sits in the box that holds the pixel's 5-bit cell.
      EXPECT_EQ(Q.PaletteIndex(Pal[Index]), Index);
      EXPECT_LE(std::abs(Pal[Index].r - C.r) + std::abs(Pal[Index].g - C.g) + std::abs(Pal[Index].b - C.b), 150);
    }
}

TEST(MedianCutTest, FewOccupiedCellsMakeFewerBoxesAndKeepTheRestOfThePalette) {
  // 24 distinct colours, but only in three 5-bit cells.
  const TIERGB24 Cells[3] = {{16, 200, 40}, {120, 8, 240}, {64, 64, 64}};
  auto Frame = MakeRGB(24, 10, [&](int32_t x, int32_t) {
    TIERGB24 C = Cells[x % 3];
    C.r = uint8_t(C.r + (x / 3) % 8);
    C.b = uint8_t(C.b + 1);
    return C;
  });
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 16);
  ASSERT_NE(Q.MedianCut(), nullptr);
  EXPECT_EQ(Q.MedianCut()->BoxCount, 3);
  for (int32_t i = 3; i < 16; ++i) EXPECT_EQ(Pal[i], Sentinel);
  std::set<int32_t> Used;
  for (int32_t x = 0; x < 24; ++x) Used.insert(Q.PaletteIndex(Frame->GetRGB(x, 0)));
  EXPECT_EQ(Used, (std::set<int32_t>{0, 1, 2}));
}

// Palettes worked out by hand from the rules, for pixel lists of a few colours (blue, green, red).
struct KnownPalette {
  const char* Name;
  std::vector<TIERGB24> Pixels;  // one row, left to right
  int32_t Count;
  std::vector<TIERGB24> Entries;
  std::vector<int32_t> Indexes;  // of each pixel
};

void ExpectKnownPalette(const KnownPalette& K) {
  SCOPED_TRACE(K.Name);
  auto Frame = MakeRGB(int32_t(K.Pixels.size()), 1, [&K](int32_t x, int32_t) { return K.Pixels[size_t(x)]; });
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, K.Count);
  ASSERT_TRUE(Q.HasMethodData());
  for (size_t i = 0; i < K.Entries.size(); ++i) EXPECT_EQ(Pal[int(i)], K.Entries[i]) << "entry " << i;
  EXPECT_EQ(Pal[int(K.Entries.size())], Sentinel);
  for (size_t x = 0; x < K.Pixels.size(); ++x) EXPECT_EQ(Q.PaletteIndex(K.Pixels[x]), K.Indexes[x]) << "pixel " << x;
}

// Median cut, 5-bit cells.
// Red 0, 1, 10, 10 (two colours, four pixels): box mean red 5.25; the red cut starts at round(2.625) = 3,
// scores 2 / 2 x 5.25^2 there and ends at 10 (every pixel below), so it falls after 3: red 0..3 and 10.
// Green and blue have one bin and cannot be cut. The lower box's mean red 0.5 rounds to the even 0.
// Green 0, 0, 2 with blue 0 / blue 0, 3, 6: the green cut leaves a lower box of score 18 / 4, the blue
// cut (best after bin 3: 3 / 1 x (2.25 - 0.75)^2) one of 8.667 / 4: blue wins. Its box (green 0, 0, 2,
// blue 0, 0, 3) has mean green 2/3 and blue 1: entry (8, 8) in blue and green.
TEST(MedianCutTest, KnownPalettesOfSmallImages) {
  const KnownPalette Cases[] = {
      {"red cut", {{0, 0, 0}, {0, 0, 8}, {0, 0, 80}, {0, 0, 80}}, 2, {{0, 0, 0}, {0, 0, 80}}, {0, 0, 1, 1}},
      {"blue beats green",
       {{0, 0, 0}, {0, 16, 0}, {24, 0, 0}, {48, 0, 0}},
       2,
       {{8, 8, 0}, {48, 0, 0}},
       {0, 0, 0, 1}},
  };
  for (const KnownPalette& K : Cases) ExpectKnownPalette(K);
}

// ---- Neural net -----------------------------------------------------------------------------------------------

TEST(NeuQuantTest, SamplingFactorFollowsThePixelCount) {
  const std::pair<int64_t, int32_t> Cases[] = {{0, 1},       {1999, 1},    {2000, 2},    {150000, 15},
                                               {315000, 29}, {316000, 30}, {10000000, 30}};
  for (auto [Pixels, Factor] : Cases) EXPECT_EQ(NeuQuantSampleFactor(Pixels), Factor) << Pixels;
}

TEST(NeuQuantTest, QualitySetsTheSamplingFactorWithinItsRange) {
  auto Frame = FrameOfColors(300, 40, 40);
  const std::pair<int32_t, int32_t> Cases[] = {{-1, 1}, {100, 1}, {50, 15}, {0, 30}, {150, 1}, {-5, 30}};
  for (auto [Quality, Factor] : Cases) {
    Palette Pal;
    auto Net = NeuQuantBuild(Frame.get(), Pal.Entries, 64, Quality);
    EXPECT_EQ(Net->SampleFac, Factor) << Quality;
  }
}

// Two neurons, three pixels red, green, blue, each sampled once (x 16: 4080), alpha 1024, 990, 957, no
// neighbours. Red: neuron 0 (0, 0, 0) is nearer than neuron 1 (2048 each) and becomes red. Green:
// neuron 1 is nearer (6128 against 8160) and moves by 990 to (68, 4012, 68) in blue, green, red. Blue:
// neuron 1 again (8092 against 8160) moves by 957 to (3817, 263, 5). Unbiased: (0, 0, 255) and
// (239, 16, 0). The look-up by green finds neuron 0 for red and neuron 1 for green and blue.
TEST(NeuQuantTest, KnownPaletteOfASmallImage) {
  QuantizerMethod = 0;
  ExpectKnownPalette({"two neurons",
                      {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}},
                      2,
                      {{0, 0, 255}, {239, 16, 0}},
                      {0, 1, 1}});
  QuantizerMethod = -1;
}

// The network's rules as plainly stated, for a frame of at most 2000 pixels (every pixel sampled):
// contest with the bias, the move by alpha, the neighbour moves, the decay after each hundredth of the
// samples, the unbias. Signed bias, as the quantizer counts it.
std::vector<TIERGB24> PlainNeuQuantPalette(const std::vector<TIERGB24>& Pixels, int32_t n) {
  struct Neuron {
    int32_t v[3];  // b, g, r
  };
  std::vector<Neuron> net(static_cast<size_t>(n));
  std::vector<int32_t> bias(size_t(n), 0), freq(size_t(n), 65536 / n);
  for (int32_t i = 0; i < n; ++i) net[size_t(i)] = {{(i << 12) / n, (i << 12) / n, (i << 12) / n}};
  const int64_t count = int64_t(Pixels.size());
  const int64_t samples = count;
  const int64_t delta = std::max<int64_t>(samples / 100, 1);
  int32_t alpha = 1024, radius = (n >> 3) * 64;
  auto radOf = [](int32_t r) { return (r >> 6) <= 1 ? 0 : r >> 6; };
  int32_t rad = radOf(radius);
  std::vector<int32_t> power(size_t(std::max(n >> 3, 1)), 0);
  auto powers = [&] {
    for (int32_t i = 0; i < rad; ++i) power[size_t(i)] = alpha * (((rad * rad - i * i) * 256) / (rad * rad));
  };
  powers();
  const int64_t len = count * 3;
  int64_t step = len % 499 ? 499 : len % 491 ? 491 : len % 487 ? 487 : 503;
  step %= count;
  auto move = [](Neuron& N, int32_t a, int32_t scale, const int32_t t[3]) {
    for (int c = 0; c < 3; ++c) N.v[c] -= int32_t(int64_t(N.v[c] - t[c]) * a / scale);
  };
  int64_t pos = 0;
  for (int64_t s = 1; s <= samples; ++s) {
    const TIERGB24 p = Pixels[size_t(pos)];
    const int32_t t[3] = {p.b * 16, p.g * 16, p.r * 16};
    int32_t bestD = INT32_MAX, bestBiasD = INT32_MAX, bestPos = -1, bestBiasPos = -1;
    for (int32_t i = 0; i < n; ++i) {
      const Neuron& N = net[size_t(i)];
      const int32_t d = std::abs(N.v[0] - t[0]) + std::abs(N.v[1] - t[1]) + std::abs(N.v[2] - t[2]);
      if (d < bestD) bestD = d, bestPos = i;
      if (d - (bias[size_t(i)] >> 12) < bestBiasD) bestBiasD = d - (bias[size_t(i)] >> 12), bestBiasPos = i;
      const int32_t betaFreq = freq[size_t(i)] >> 10;
      freq[size_t(i)] -= betaFreq;
      bias[size_t(i)] += betaFreq * 1024;
    }
    freq[size_t(bestPos)] += 64;
    bias[size_t(bestPos)] -= 65536;
    const int32_t j = bestBiasPos;
    move(net[size_t(j)], alpha, 1024, t);
    if (rad > 0) {
      const int32_t lo = std::max(j - rad, -1), hi = std::min(j + rad, n);
      int32_t k = j + 1, m = j - 1, q = 1;
      while (k < hi || m > lo) {
        const int32_t a = power[size_t(q++)];
        if (k < hi) move(net[size_t(k++)], a, 262144, t);
        if (m > lo) move(net[size_t(m--)], a, 262144, t);
      }
    }
    pos += step;
    if (pos >= count) pos -= count;
    if (s % delta == 0) {
      alpha -= alpha / 30;
      radius -= radius / 30;
      rad = radOf(radius);
      powers();
    }
  }
  std::vector<TIERGB24> out;
  for (const Neuron& N : net) {
    auto unbias = [](int32_t v) { return uint8_t(std::clamp((v + 8) >> 4, 0, 255)); };
    out.push_back(TIERGB24{unbias(N.v[0]), unbias(N.v[1]), unbias(N.v[2])});
  }
  return out;
}

// Sixteen and thirty-two neurons learn with neighbour moves (radius 2 and 4) from a frame of 300 pixels.
TEST(NeuQuantTest, PaletteFollowsThePlainRulesWithNeighbourMoves) {
  for (int32_t n : {16, 32}) {
    SCOPED_TRACE(n);
    std::vector<TIERGB24> pixels;
    for (int32_t k = 0; k < 300; ++k) pixels.push_back(Distinct((k * 13) % 97));
    auto Frame = MakeRGB(20, 15, [&pixels](int32_t x, int32_t y) { return pixels[size_t(y * 20 + x)]; });
    Palette Pal;
    auto Net = NeuQuantBuild(Frame.get(), Pal.Entries, n, -1);
    const std::vector<TIERGB24> want = PlainNeuQuantPalette(pixels, n);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(Pal[i], want[size_t(i)]) << "entry " << i;
  }
}

TEST(NeuQuantTest, AFormerWinnerDoesNotWinEveryLaterContest) {
  // Neuron 0 has won before (negative bias) and lies far away; neuron 2 sits on the colour.
  NeuQuantNetwork Net;
  Net.NetSize = 4;
  Net.Network = {{0, 0, 0, 0}, {1000, 1000, 1000, 1}, {3200, 1600, 800, 2}, {4000, 4000, 4000, 3}};
  Net.Bias = {-65536, 0, 0, 0};
  Net.Freq = {300, 256, 256, 256};
  EXPECT_EQ(NeuQuantContest(Net, 3200, 1600, 800), 2);
  EXPECT_EQ(Net.Bias[2], -65536);  // the nearest neuron's bias now counts against it
  EXPECT_EQ(Net.Freq[2], 256 + 64);
  // A bias in favour still helps: a neuron slightly farther but with a positive bias wins.
  NeuQuantNetwork Near = Net;
  Near.Bias = {0, 0, 0, 65536 * 8};  // worth 128 in distance
  Near.Network[3] = {3200 + 100, 1600, 800, 3};
  EXPECT_EQ(NeuQuantContest(Near, 3200, 1600, 800), 3);
}

double MappedError(TIEBitmap* Frame, const TIEQuantizer& Q, const TIERGB24* Pal) {
  double Sum = 0;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y)
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) {
      TIERGB24 C = Frame->GetRGB(x, y);
      TIERGB24 P = Pal[Q.PaletteIndex(C)];
      Sum += double(C.r - P.r) * (C.r - P.r) + double(C.g - P.g) * (C.g - P.g) + double(C.b - P.b) * (C.b - P.b);
    }
  return Sum / (3.0 * Frame->GetWidth() * Frame->GetHeight());
}

TEST(NeuQuantTest, EveryDominantColourGetsItsOwnNeuron) {
  // Four saturated quadrants with a little texture: more than 256 colours in all. A network where one
  // neuron takes every contest ends with blends of the quadrants instead.
  const TIERGB24 Base[4] = {{0, 0, 230}, {0, 220, 0}, {210, 0, 0}, {0, 220, 220}};
  auto Frame = MakeRGB(64, 64, [&](int32_t x, int32_t y) {
    TIERGB24 C = Base[(y / 32) * 2 + x / 32];
    C.b = uint8_t(C.b + x % 24);
    C.g = uint8_t(C.g + y % 24);
    C.r = uint8_t(C.r + (x * y) % 24);
    return C;
  });
  for (int32_t Count : {128, 256}) {
    Palette Pal;
    TIEQuantizer Q(Frame.get(), Pal.Entries, Count);
    ASSERT_NE(Q.NeuQuant(), nullptr);
    for (const TIERGB24& B : Base) {
      TIERGB24 P = Pal[Q.PaletteIndex(B)];
      EXPECT_LE(std::abs(P.r - B.r) + std::abs(P.g - B.g) + std::abs(P.b - B.b), 40) << Count;
    }
    EXPECT_LT(MappedError(Frame.get(), Q, Pal.Entries), 20.0) << Count;
  }
}

TEST(NeuQuantTest, SmallFramesAreSampledInsideTheImage) {
  // Frames smaller than the sampling step: every sample must land on a pixel of the frame (the address
  // sanitizer reports any read outside), and the network learns the frame's colours.
  const std::pair<int32_t, int32_t> Sizes[] = {{12, 12}, {140, 1}, {1, 150}, {7, 71}};
  for (auto [W, H] : Sizes) {
    auto Frame = MakeRGB(W, H, [W](int32_t x, int32_t y) {
      int32_t k = y * W + x;
      return TIERGB24{200, uint8_t(k % 140), uint8_t(k % 140 + 50)};
    });
    Palette Pal;
    TIEQuantizer Q(Frame.get(), Pal.Entries, 128);
    ASSERT_NE(Q.NeuQuant(), nullptr) << W << "x" << H;
    EXPECT_EQ(Q.NeuQuant()->SampleFac, 1);
    EXPECT_LT(MappedError(Frame.get(), Q, Pal.Entries), 16.0) << W << "x" << H;
  }
}

TEST(NeuQuantTest, PaletteIndexIsTheNearestNeuron) {
  auto Frame = FrameOfColors(400, 50, 40);
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 200);
  ASSERT_NE(Q.NeuQuant(), nullptr);
  for (int32_t k = 0; k < 400; k += 3) {
    TIERGB24 C = Distinct(k);
    int32_t Index = Q.PaletteIndex(C);
    ASSERT_GE(Index, 0);
    ASSERT_LT(Index, 200);
    auto Dist = [&](TIERGB24 P) { return std::abs(P.r - C.r) + std::abs(P.g - C.g) + std::abs(P.b - C.b); };
    int32_t Best = Dist(Pal[0]);
    for (int32_t i = 1; i < 200; ++i) Best = std::min(Best, Dist(Pal[i]));
    EXPECT_EQ(Dist(Pal[Index]), Best);
  }
}

// A photograph-like frame with many colours: smooth gradients with a pseudo-random grain.
std::unique_ptr<TIEBitmap> GrainyFrame(int32_t W, int32_t H, uint32_t Seed) {
  return MakeRGB(W, H, [Seed](int32_t x, int32_t y) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + Seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    const int Grain = int((h >> 8) & 31) - 16;
    auto C = [Grain](int v) { return uint8_t(std::clamp(v + Grain, 0, 255)); };
    return TIERGB24{C(x * 3 % 256), C((x + 2 * y) % 256), C(255 - y * 2 % 256)};
  });
}

TEST(NeuQuantTest, VectorContestsLearnTheSameNetworkAsPlainOnes) {
  const bool Saved = NeuQuantVectorContest;
  // Network sizes around the vector block of 8, on frames sampled sparsely and densely.
  for (int32_t n : {1, 2, 7, 8, 9, 31, 64, 200, 256})
    for (int32_t Quality : {-1, 100}) {
      auto Frame = GrainyFrame(97, 61, uint32_t(n));
      NeuQuantVectorContest = false;
      Palette Plain;
      auto P = NeuQuantBuild(Frame.get(), Plain.Entries, n, Quality);
      NeuQuantVectorContest = true;
      Palette Vector;
      auto V = NeuQuantBuild(Frame.get(), Vector.Entries, n, Quality);
      for (int32_t i = 0; i < n; ++i) ASSERT_EQ(Plain[i], Vector[i]) << "n " << n << " entry " << i;
      EXPECT_EQ(P->Bias, V->Bias) << "n " << n;
      EXPECT_EQ(P->Freq, V->Freq) << "n " << n;
      EXPECT_EQ(P->NetIndex, V->NetIndex) << "n " << n;
    }
  NeuQuantVectorContest = Saved;
}

// The mapper answers what PaletteIndex answers, for every kind of quantizer, also for colours the frame
// does not hold and once its table has grown.
TEST(ColorMapperTest, GivesPaletteIndexForEveryKind) {
  struct Case {
    const char* Name;
    std::unique_ptr<TIEBitmap> Frame;
    int32_t Count;
  };
  std::vector<Case> Cases;
  Cases.push_back({"neural net", GrainyFrame(300, 200, 1), 256});
  Cases.push_back({"median cut", GrainyFrame(300, 200, 2), 16});
  Cases.push_back({"exact", FrameOfColors(100), 128});
  Cases.push_back({"grey", MakeRGB(64, 64, [](int32_t x, int32_t y) { return Grey((x * 4 + y) % 256); }), 32});
  auto Paletted = std::make_unique<TIEBitmap>(16, 16, ie8p);
  for (int32_t i = 0; i < 256; ++i) Paletted->SetPaletteColor(i, Distinct(i));
  Cases.push_back({"palette bitmap", std::move(Paletted), 256});
  for (Case& K : Cases) {
    Palette Pal;
    TIEQuantizer Q(K.Frame.get(), Pal.Entries, K.Count);
    TIEColorMapper Mapper(Q);
    // Every pixel of the frame, then a sweep of the colour cube, twice (the second time remembered).
    std::vector<TIERGB24> Colors;
    if (K.Frame->GetPixelFormat() == ie24RGB)
      for (int32_t y = 0; y < K.Frame->GetHeight(); ++y)
        for (int32_t x = 0; x < K.Frame->GetWidth(); ++x) Colors.push_back(K.Frame->GetPixelAsRGB(x, y));
    for (int r = 0; r < 256; r += 5)
      for (int g = 0; g < 256; g += 3)
        for (int b = 0; b < 256; b += 7) Colors.push_back(TIERGB24{uint8_t(r), uint8_t(g), uint8_t(b)});
    for (int Pass = 0; Pass < 2; ++Pass)
      for (const TIERGB24& C : Colors) ASSERT_EQ(Mapper.Index(C), Q.PaletteIndex(C)) << K.Name << " pass " << Pass;
  }
}

// ---- Grey frames and palette bitmaps -----------------------------------------------------------------------------

TEST(GreyTest, GreyFrameWithFewLevelsKeepsItsExactLevels) {
  const int Levels[] = {3, 77, 130, 200, 254};
  auto Frame = MakeRGB(20, 20, [&](int32_t x, int32_t y) { return Grey(Levels[(x + y) % 5]); });
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 16);
  EXPECT_TRUE(Q.GrayScale());
  ASSERT_TRUE(Q.IsExact());
  for (int v : Levels) {
    int32_t Index = Q.PaletteIndex(Grey(v));
    ASSERT_GE(Index, 0);
    EXPECT_EQ(Pal[Index], Grey(v));
  }
}

TEST(GreyTest, RampReachesWhiteAndEachEntryLooksUpToItself) {
  for (int32_t Count : {2, 3, 16, 100, 255, 256}) {
    EXPECT_EQ(GrayRampLevel(0, Count), 0);
    EXPECT_EQ(GrayRampLevel(Count - 1, Count), 255) << Count;
    for (int32_t i = 0; i < Count; ++i) EXPECT_EQ(GrayRampLevel(i, Count) * Count / 256, i) << Count << " " << i;
  }
  // A grey frame with more levels than asked gets the ramp.
  auto Frame = MakeRGB(256, 2, [](int32_t x, int32_t) { return Grey(x); });
  Palette Pal;
  TIEQuantizer Q(Frame.get(), Pal.Entries, 16);
  ASSERT_FALSE(Q.IsExact());
  EXPECT_EQ(Pal[0], Grey(0));
  EXPECT_EQ(Pal[15], Grey(255));
  EXPECT_EQ(Pal[16], Sentinel);
  for (int32_t v = 0; v < 256; ++v) EXPECT_EQ(Q.PaletteIndex(Grey(v)), v * 16 / 256);
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(Q.PaletteIndex(Pal[i]), i);
}

TEST(GreyTest, GreyFormatsGetTheRamp) {
  TIEBitmap Frame(8, 8, ie8g);
  Palette Pal;
  TIEQuantizer Q(&Frame, Pal.Entries, 256);
  for (int32_t i = 0; i < 256; ++i) ASSERT_EQ(Pal[i], Grey(i));
  EXPECT_EQ(Q.PaletteIndex(Grey(93)), 93);
}

TEST(PaletteBitmapTest, GreyPaletteInAnyOrderIsSearched) {
  TIEBitmap Frame(4, 4, ie8p);
  for (int32_t i = 0; i < 256; ++i) Frame.SetPaletteColor(i, Grey(255 - i));
  Palette Pal;
  TIEQuantizer Q(&Frame, Pal.Entries, 256);
  EXPECT_TRUE(Q.GrayScale());
  EXPECT_EQ(Pal[0], Grey(255));
  for (int32_t v = 0; v < 256; ++v) EXPECT_EQ(Q.PaletteIndex(Grey(v)), 255 - v);
}

TEST(PaletteBitmapTest, ColourPaletteIsCopiedAndSearched) {
  TIEBitmap Frame(4, 4, ie8p);
  for (int32_t i = 0; i < 256; ++i) Frame.SetPaletteColor(i, Distinct(i % 200));
  Palette Pal;
  TIEQuantizer Q(&Frame, Pal.Entries, 32);
  EXPECT_FALSE(Q.GrayScale());
  for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(Pal[i], Distinct(i));
  EXPECT_EQ(Pal[32], Sentinel);
  EXPECT_EQ(Q.PaletteIndex(Distinct(150)), 150);  // the whole palette is searched, not just Count entries
  EXPECT_EQ(Q.PaletteIndex(Distinct(10)), 10);    // first equal entry
  EXPECT_EQ(Q.PaletteIndex(TIERGB24{1, 2, 250}), 256);
}

TEST(OtherFormatsTest, ColourRGBX32WritesNothingAndMapsToZero) {
  TIEBitmap Frame(4, 4, ieRGBX32);
  for (int32_t y = 0; y < 4; ++y) {
    uint8_t* Row = Frame.GetScanline(y);
    for (int32_t x = 0; x < 16; ++x) Row[x] = uint8_t(x * 17 + y);
  }
  Palette Pal;
  TIEQuantizer Q(&Frame, Pal.Entries, 16);
  EXPECT_FALSE(Q.HasMethodData());
  EXPECT_EQ(Pal[0], Sentinel);
  EXPECT_EQ(Q.PaletteIndex(TIERGB24{9, 9, 200}), 0);
}

}  // namespace
}  // namespace zv

// Resampling: the size rule, the fast linear arithmetic, every filter on every depth, the kernel
// filters' independence from the number of worker threads, and where their progress arrives.
#include "imaging/proc/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "imaging/core/globals.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/proc/resample_kernel.h"
#include "platform/message_queue.h"

namespace zv {
namespace {

using Bitmap = std::unique_ptr<TIEBitmap>;

class ResampleTest : public ::testing::Test {
protected:
  void SetUp() override {
    MainThreadID();  // this thread drains the queue
    ProcessingStartup();
    SavedCores = CoreCount;
    SavedFolder = TempFolder;
    std::filesystem::create_directories(ZV_TEST_TMP);
    TempFolder = ZV_TEST_TMP;
  }
  void TearDown() override {
    CoreCount = SavedCores;
    TempFolder = SavedFolder;
    ProcessingShutdown();
  }

  static Bitmap Make(int32_t W, int32_t H, TIEPixelFormat F) {
    auto B = std::make_unique<TIEBitmap>();
    EXPECT_TRUE(B->Allocate(W, H, F));
    return B;
  }
  // An 8-bit image from rows of values, and the same values as grey 24-bit pixels.
  static Bitmap Grey8(const std::vector<std::vector<int>>& Rows) {
    Bitmap B = Make(int32_t(Rows[0].size()), int32_t(Rows.size()), ie8g);
    for (size_t y = 0; y < Rows.size(); ++y)
      for (size_t x = 0; x < Rows[y].size(); ++x) B->GetScanline(int32_t(y))[x] = uint8_t(Rows[y][x]);
    return B;
  }
  static Bitmap Grey24(const std::vector<std::vector<int>>& Rows) {
    Bitmap B = Make(int32_t(Rows[0].size()), int32_t(Rows.size()), ie24RGB);
    for (size_t y = 0; y < Rows.size(); ++y)
      for (size_t x = 0; x < Rows[y].size(); ++x) {
        const uint8_t v = uint8_t(Rows[y][x]);
        B->SetRGB(int32_t(x), int32_t(y), TIERGB24{v, v, v});
      }
    return B;
  }
  // Pseudo-random 24-bit noise, the hardest case for any rounding difference.
  static Bitmap Noise24(int32_t W, int32_t H, uint32_t Seed) {
    Bitmap B = Make(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* p = B->GetScanline(y);
      for (int32_t i = 0; i < W * 3; ++i) {
        Seed = Seed * 1664525u + 1013904223u;
        p[i] = uint8_t(Seed >> 24);
      }
    }
    return B;
  }
  // The first Bytes bytes of each row (padding left out).
  static std::vector<uint8_t> Pixels(TIEBitmap* B) {
    const int32_t Bytes = (B->GetWidth() * B->GetBitCount() + 7) / 8;
    std::vector<uint8_t> Out;
    for (int32_t y = 0; y < B->GetHeight(); ++y) {
      const uint8_t* p = B->GetScanline(y);
      Out.insert(Out.end(), p, p + Bytes);
    }
    B->ReleaseMappedRows();
    return Out;
  }
  static std::vector<std::vector<int>> GreyRows(TIEBitmap* B) {
    std::vector<std::vector<int>> Rows(size_t(B->GetHeight()));
    for (int32_t y = 0; y < B->GetHeight(); ++y)
      for (int32_t x = 0; x < B->GetWidth(); ++x)
        Rows[size_t(y)].push_back(B->GetPixelFormat() == ie8g ? B->GetScanline(y)[x] : B->GetRGB(x, y).r);
    return Rows;
  }

  int32_t SavedCores = -1;
  std::string SavedFolder;
};

// ---- The size rule -------------------------------------------------------------------------------------

TEST_F(ResampleTest, SizeRuleKeepsAspectWithMinusOneAndRefusesRequestsWithoutASize) {
  struct Case {
    int32_t SW, SH, NewW, NewH;
    bool Ok;
    int32_t W, H;
  } Cases[] = {
      {640, 360, 300, -1, true, 300, 168},   // the application's Fit of a wide frame
      {640, 360, -1, 300, true, 533, 300},   // and its Cut
      {640, 360, 0, 100, true, 640, 100},    // 0 keeps the side
      {640, 360, 100, 0, true, 100, 360},
      {640, 360, -5, 7, true, 5, 7},         // other negatives count by their absolute value
      {10, 1000, -1, 1, true, 1, 1},         // a side that rounds to 0 becomes 1
      {640, 360, -1, -1, false, 0, 0},       // both negative
      {640, 360, -3, -4, false, 0, 0},
      {640, 360, -1, 0, true, 1, 360},       // the width from the height as passed: 0 x 640 div 360
      {640, 360, 0, -1, true, 640, 360},     // the height from the width just resolved
      {100000, 1, -1, 100000, false, 0, 0},  // beyond 32 bits
      {640, 360, INT_MIN, 10, false, 0, 0},
      {0, 0, 10, 10, false, 0, 0},           // empty source
  };
  for (const Case& c : Cases) {
    int32_t W = -99, H = -99;
    EXPECT_EQ(ResampleSize(c.SW, c.SH, c.NewW, c.NewH, W, H), c.Ok) << c.NewW << ", " << c.NewH;
    if (c.Ok) {
      EXPECT_EQ(W, c.W) << c.NewW << ", " << c.NewH;
      EXPECT_EQ(H, c.H) << c.NewW << ", " << c.NewH;
    }
  }
}

TEST_F(ResampleTest, ResampleToSizeLeavesDestAloneWhenTheRequestHasNoSize) {
  Bitmap Source = Noise24(8, 6, 1);
  Bitmap Dest = Make(3, 3, ie8g);
  Dest->Fill(77);
  for (auto [W, H] : {std::pair{-1, -1}, std::pair{-3, -4}, std::pair{INT_MIN, 2}}) {
    EXPECT_FALSE(ResampleToSize(Source.get(), Dest.get(), W, H, rfFastLinear, nullptr, nullptr));
    EXPECT_EQ(Dest->GetWidth(), 3);
    EXPECT_EQ(Dest->GetPixelFormat(), ie8g);
    EXPECT_EQ(Dest->GetScanline(2)[2], 77);
  }
  ASSERT_TRUE(ResampleToSize(Source.get(), Dest.get(), -1, 3, rfFastLinear, nullptr, nullptr));
  EXPECT_EQ(Dest->GetWidth(), 4);
  EXPECT_EQ(Dest->GetHeight(), 3);
  EXPECT_EQ(Dest->GetPixelFormat(), ie24RGB);
}

// ---- Fast linear ---------------------------------------------------------------------------------------

TEST_F(ResampleTest, FastLinearGoldenValuesOnEightAndTwentyFourBits) {
  struct Case {
    const char* Name;
    std::vector<std::vector<int>> Source;
    int32_t W, H;
    std::vector<std::vector<int>> Expected;
  } Cases[] = {
      // Fractions 0, 65536, 0, 65536 of 131072: the half step rounds down.
      {"enlarge two pixels", {{0, 255}}, 4, 1, {{0, 127, 255, 255}}},
      // 200 + floor(-50) and 200 + floor(-49.5).
      {"falling edge", {{200, 100}}, 4, 1, {{200, 150, 100, 100}}},
      {"falling edge, odd step", {{200, 101}}, 4, 1, {{200, 150, 101, 101}}},
      // Equal width: each column is the mean of columns x and x + 1, the last alone.
      {"equal width", {{10, 20, 40}}, 3, 2, {{15, 30, 40}, {15, 30, 40}}},
      // Halved width: columns 2x, 2x + 1 and 2x + 2, the last only its own first column.
      {"halved width", {{0, 10, 20, 30, 40, 50, 60, 70}}, 4, 1, {{10, 30, 50, 60}}},
      // 1.5 times: the fraction of 2/3 is 87381, which leaves 90 x 87381 / 131072 just below 60.
      {"enlarge both ways", {{0, 90}, {180, 255}}, 3, 3, {{0, 59, 90}, {119, 172, 199}, {180, 229, 255}}},
      // Halved height: rows y / 0.5 ... (y + 1) / 0.5 averaged, the last row alone.
      {"halved height", {{0}, {30}, {60}, {90}}, 1, 2, {{30}, {60}}},
  };
  for (const Case& c : Cases) {
    for (bool Wide : {false, true}) {
      Bitmap Source = Wide ? Grey24(c.Source) : Grey8(c.Source);
      Bitmap Dest = Make(c.W, c.H, Source->GetPixelFormat());
      ResampleBitmap(Source.get(), Dest.get(), rfFastLinear, nullptr, nullptr);
      EXPECT_EQ(GreyRows(Dest.get()), c.Expected) << c.Name << (Wide ? " (24-bit)" : " (8-bit)");
    }
  }
}

// The fast linear resampler written out per pixel, in floating point and floor, for comparison.
std::vector<uint8_t> FastLinearReference(TIEBitmap* S, int32_t DW, int32_t DH) {
  const int32_t SW = S->GetWidth(), SH = S->GetHeight();
  const double sx = double(DW) / SW, sy = double(DH) / SH;
  auto At = [&](int32_t x, int32_t y, int c) { return double(S->GetScanline(y)[x * 3 + c]); };
  auto Horizontal = [&](int32_t x, int32_t y, int c) {
    const double f = x / sx;
    const int32_t x0 = int32_t(f);
    if (sx > 1) {
      const double F = std::trunc((f - x0) * 131072);
      const double a = At(x0, y, c), b = At(std::min(x0 + 1, SW - 1), y, c);
      return a + std::floor((b - a) * F / 131072);
    }
    const int32_t x1 = int32_t(std::min(x + 1, DW - 1) / sx + 1e-10);
    double Sum = 0;
    for (int32_t i = x0; i <= x1; ++i) Sum += At(i, y, c);
    return std::floor(Sum / (x1 - x0 + 1));
  };
  std::vector<uint8_t> Out;
  for (int32_t y = 0; y < DH; ++y)
    for (int32_t x = 0; x < DW; ++x)
      for (int c = 0; c < 3; ++c) {
        double v;
        if (sy > 1) {
          const double g = y / sy;
          const int32_t r0 = int32_t(g);
          const double F = std::trunc((g - r0) * 131072);
          const int32_t r1 = r0 + 1 < SH ? r0 + 1 : r0;
          const double a = Horizontal(x, r0, c), b = Horizontal(x, r1, c);
          v = a + std::floor((b - a) * F / 131072);
        } else {
          const int32_t r0 = int32_t(y / sy), r1 = int32_t(std::min(y + 1, DH - 1) / sy);
          double Sum = 0;
          for (int32_t r = r0; r <= r1; ++r) Sum += Horizontal(x, r, c);
          v = std::floor(Sum / (r1 - r0 + 1));
        }
        Out.push_back(uint8_t(v));
      }
  return Out;
}

TEST_F(ResampleTest, FastLinearMatchesAPerPixelComputationOnMixedScales) {
  struct Case {
    int32_t SW, SH, DW, DH;
  } Cases[] = {{7, 5, 16, 3}, {16, 9, 5, 20}, {13, 11, 4, 4}, {5, 7, 23, 31}, {1, 1, 3, 2}, {9, 1, 2, 1}};
  for (const Case& c : Cases) {
    Bitmap Source = Noise24(c.SW, c.SH, uint32_t(c.SW * 100 + c.SH));
    Bitmap Dest = Make(c.DW, c.DH, ie24RGB);
    ResampleFastLinear24(Source.get(), Dest.get(), nullptr, nullptr);
    EXPECT_EQ(Pixels(Dest.get()), FastLinearReference(Source.get(), c.DW, c.DH))
        << c.SW << "x" << c.SH << " -> " << c.DW << "x" << c.DH;
  }
}

TEST_F(ResampleTest, FastLinearLeavesEmptyBitmapsAlone) {
  Bitmap Source = Noise24(4, 4, 3);
  TIEBitmap Empty;
  ResampleFastLinear24(Source.get(), &Empty, nullptr, nullptr);
  ResampleFastLinear24(&Empty, Source.get(), nullptr, nullptr);
  TIEBitmap EmptyGrey;
  Bitmap Grey = Make(4, 4, ie8g);
  Grey->Fill(9);
  ResampleFastLinear8(&EmptyGrey, Grey.get(), nullptr, nullptr);
  ResampleFastLinear8(Grey.get(), &EmptyGrey, nullptr, nullptr);
  EXPECT_TRUE(Empty.IsEmpty());
  EXPECT_EQ(Grey->GetScanline(3)[3], 9);
}

TEST_F(ResampleTest, AlphaFollowsThroughTheGreyRouteAndKeepsItsFullFlag) {
  Bitmap Source = Grey24({{0, 255}});
  TIEBitmap* Alpha = Source->GetAlphaChannel();
  Alpha->GetScanline(0)[0] = 0;
  Alpha->GetScanline(0)[1] = 255;
  Alpha->SetFull(false);
  Bitmap Dest = Make(4, 1, ie24RGB);
  ResampleBitmap(Source.get(), Dest.get(), rfFastLinear, nullptr, nullptr);
  ASSERT_TRUE(Dest->HasAlphaChannel());
  EXPECT_EQ(GreyRows(Dest->GetAlphaChannel()), (std::vector<std::vector<int>>{{0, 127, 255, 255}}));
  EXPECT_FALSE(Dest->GetAlphaChannel()->Full());
}

Bitmap Bits(const std::vector<std::vector<int>>& Rows);

// ---- Every filter on every depth -----------------------------------------------------------------------

const TResampleFilter AllFilters[] = {rfNone,    rfTriangle,   rfHermite,  rfBell,     rfBSpline,
                                      rfLanczos3, rfMitchell,  rfNearest,  rfLinear,   rfFastLinear,
                                      rfBilinear, rfBicubic,   rfProjectBW, rfProjectWB};

bool IsProjection(TResampleFilter F) { return F == rfProjectBW || F == rfProjectWB; }

// The format each route gives, and a flat image of Source's one value converted to it.
TIEPixelFormat ExpectedFormat(TIEPixelFormat Source, TResampleFilter F) {
  if (F == rfNone) return Source;
  if (Source == ie8g) return ie8g;
  if (IsProjection(F)) return ie1g;
  if ((F == rfBilinear || F == rfBicubic) && (Source == ieGray16 || Source == ieRGB48)) return Source;
  return ie24RGB;
}

TEST_F(ResampleTest, EveryFilterOnEveryDepthKeepsAFlatImageFlatInTheRoutesFormat) {
  for (TIEPixelFormat Format : {ie8g, ieGray16, ie24RGB, ieRGB48}) {
    // Dark enough to count as black for the projections.
    Bitmap Source = Make(9, 7, Format);
    Source->Fill(Format == ie24RGB ? 0x203040 : Format == ieRGB48 ? 0x203040 : Format == ieGray16 ? 0x2345 : 0x45);
    for (TResampleFilter F : AllFilters) {
      for (auto [W, H] : {std::pair{20, 15}, std::pair{4, 3}, std::pair{20, 3}}) {
        Bitmap Dest = Make(W, H, Format);
        ResampleBitmap(Source.get(), Dest.get(), F, nullptr, nullptr);
        const TIEPixelFormat To = ExpectedFormat(Format, F);
        ASSERT_EQ(Dest->GetPixelFormat(), To) << "format " << int(Format) << " filter " << int(F);
        ASSERT_EQ(Dest->GetWidth(), W);
        // The expected value: Source's pixel converted to the result's format.
        std::vector<uint8_t> Pixel;
        if (To != ie1g) {
          Bitmap One = Make(9, 7, To);
          if (To == Format)
            One->Assign(Source.get());
          else
            ASSERT_TRUE(One->CopyAndConvertFormat(Source.get()));
          Pixel = Pixels(One.get());
        }
        const int32_t Bytes = std::max(1, IEBitsOf(To) / 8);
        const std::vector<uint8_t> Got = Pixels(Dest.get());
        for (size_t i = 0; i < Got.size(); ++i) {
          if (To == ie1g) {
            // Every pixel black (the trailing bits of a row's last byte aside).
            const int32_t RowBytes = (W + 7) / 8;
            const int32_t Byte = int32_t(i % size_t(RowBytes));
            const int32_t Bits = Byte == RowBytes - 1 && W % 8 ? W % 8 : 8;
            ASSERT_EQ(Got[i] >> (8 - Bits), 0) << "filter " << int(F);
          } else {
            ASSERT_EQ(Got[i], Pixel[i % size_t(Bytes)])
                << "format " << int(Format) << " filter " << int(F) << " to " << W << "x" << H << " byte " << i;
          }
        }
      }
    }
  }
}

TEST_F(ResampleTest, SmoothingFiltersKeepARampRising) {
  // Every filter without overshoot keeps a left-to-right ramp non-decreasing, enlarging and reducing.
  const TResampleFilter Monotone[] = {rfNone, rfTriangle, rfHermite, rfBell,     rfBSpline,
                                      rfNearest, rfLinear, rfFastLinear, rfBilinear};
  for (TIEPixelFormat Format : {ie8g, ie24RGB}) {
    Bitmap Source = Make(32, 4, Format);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 32; ++x) {
        const uint8_t v = uint8_t(x * 8);
        if (Format == ie8g)
          Source->GetScanline(y)[x] = v;
        else
          Source->SetRGB(x, y, TIERGB24{v, v, v});
      }
    for (TResampleFilter F : Monotone)
      for (int32_t W : {77, 9}) {
        Bitmap Dest = Make(W, 5, Format);
        ResampleBitmap(Source.get(), Dest.get(), F, nullptr, nullptr);
        const auto Rows = GreyRows(Dest.get());
        for (const auto& Row : Rows) {
          for (size_t x = 1; x < Row.size(); ++x)
            ASSERT_LE(Row[x - 1], Row[x]) << "filter " << int(F) << " width " << W << " column " << x;
          EXPECT_LE(Row.front(), 16) << "filter " << int(F);
          EXPECT_GE(Row.back(), 200) << "filter " << int(F);
        }
      }
  }
}

TEST_F(ResampleTest, OtherFormatsComeBackAsTwentyFourBit) {
  // A paletted image through bicubic is the triangle kernel on its 24-bit conversion.
  Bitmap Paletted = Make(6, 5, ie8p);
  for (int i = 0; i < 256; ++i) Paletted->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) Paletted->GetScanline(y)[x] = uint8_t(x * 40 + y * 7);
  Bitmap Bicubic = Make(11, 3, ie8p);
  ResampleBitmap(Paletted.get(), Bicubic.get(), rfBicubic, nullptr, nullptr);
  Bitmap Converted = Make(6, 5, ie24RGB);
  ASSERT_TRUE(Converted->CopyAndConvertFormat(Paletted.get()));
  Bitmap Triangle = Make(11, 3, ie24RGB);
  ResampleBitmap(Converted.get(), Triangle.get(), rfTriangle, nullptr, nullptr);
  EXPECT_EQ(Bicubic->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Pixels(Bicubic.get()), Pixels(Triangle.get()));

  // Nearest keeps the palette.
  Bitmap Nearest = Make(3, 2, ie8p);
  ResampleBitmap(Paletted.get(), Nearest.get(), rfNone, nullptr, nullptr);
  EXPECT_EQ(Nearest->GetPixelFormat(), ie8p);
  EXPECT_EQ(Nearest->GetPaletteColor(200), Paletted->GetPaletteColor(200));
  EXPECT_EQ(Nearest->GetScanline(1)[2], Paletted->GetScanline(2)[4]);  // row Trunc(2.5), column Trunc(2 x 2)

  Bitmap Cmyk = Make(5, 5, ieCMYK);
  Cmyk->Fill(0);
  Bitmap Lanczos = Make(8, 8, ieCMYK);
  ResampleBitmap(Cmyk.get(), Lanczos.get(), rfLanczos3, nullptr, nullptr);
  EXPECT_EQ(Lanczos->GetPixelFormat(), ie24RGB);
}

TEST_F(ResampleTest, OnlyNearestAndTheOneBitRoutesResampleAOnePixelSource) {
  // Every other filter reaches the filtered resampler, which leaves the destination as it was.
  for (TIEPixelFormat Format : {ie8g, ie24RGB, ieRGB48}) {
    Bitmap Source = Make(1, 1, Format);
    Source->Fill(Format == ie8g ? 0xC8 : 0xC8B4A0);
    for (TResampleFilter F : AllFilters) {
      Bitmap Dest = Make(5, 4, Format);
      Dest->Fill(Format == ie8g ? 0x11 : 0x112233);
      const std::vector<uint8_t> Before = Pixels(Dest.get());
      ResampleBitmap(Source.get(), Dest.get(), F, nullptr, nullptr);
      ASSERT_EQ(Dest->GetPixelFormat(), Format) << "format " << int(Format) << " filter " << int(F);
      if (F != rfNone) {
        EXPECT_EQ(Pixels(Dest.get()), Before) << "format " << int(Format) << " filter " << int(F);
        continue;
      }
      const std::vector<uint8_t> Pixel = Pixels(Source.get());
      const std::vector<uint8_t> Got = Pixels(Dest.get());
      for (size_t i = 0; i < Got.size(); ++i) ASSERT_EQ(Got[i], Pixel[i % Pixel.size()]) << "format " << int(Format);
    }
  }
  // A single set bit: grey by interpolation, a bit by projection.
  Bitmap Bit = Bits({{1}});
  Bitmap Grey = Make(3, 2, ie24RGB);
  ResampleBitmap(Bit.get(), Grey.get(), rfFastLinear, nullptr, nullptr);
  EXPECT_EQ(GreyRows(Grey.get()), (std::vector<std::vector<int>>{{255, 255, 255}, {255, 255, 255}}));
  Bitmap Projected = Make(3, 2, ie1g);
  ResampleBitmap(Bit.get(), Projected.get(), rfProjectWB, nullptr, nullptr);
  EXPECT_EQ(Projected->GetScanline(0)[0] >> 5, 0b111);
  EXPECT_EQ(Projected->GetScanline(1)[0] >> 5, 0b111);
}

// ---- Kernels ---------------------------------------------------------------------------------------------

TEST_F(ResampleTest, ContributorWeightsOfTheTriangleKernel) {
  // Enlarging 2 to 4: scale 3, centre of column 1 at 1/3.
  const TResampleContributors Up = BuildContributors(2, 4, rfTriangle);
  ASSERT_EQ(Up.Count(1), 2);
  EXPECT_EQ(Up.Of(1)[0].Pixel, 0);
  EXPECT_EQ(Up.Of(1)[0].Weight, 171);
  EXPECT_EQ(Up.Of(1)[1].Pixel, 1);
  EXPECT_EQ(Up.Of(1)[1].Weight, 85);
  // Reducing 10 to 5: scale 4/9, window 2.25, centre of column 1 at 2.25.
  const TResampleContributors Down = BuildContributors(10, 5, rfTriangle);
  ASSERT_EQ(Down.Count(1), 4);
  const int Expected[4][2] = {{1, 51}, {2, 101}, {3, 76}, {4, 25}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(Down.Of(1)[k].Pixel, Expected[k][0]);
    EXPECT_EQ(Down.Of(1)[k].Weight, Expected[k][1]);
  }
  EXPECT_EQ(Down.Total[1], 253);
}

TEST_F(ResampleTest, ContributorsStayInsideTheSourceAtEveryScale) {
  for (int F = rfTriangle; F <= rfLinear; ++F)
    for (auto [S, D] : {std::pair{1, 9}, std::pair{2, 40}, std::pair{3, 1}, std::pair{500, 2}, std::pair{7, 7}}) {
      const TResampleContributors C = BuildContributors(S, D, TResampleFilter(F));
      ASSERT_EQ(int(C.Total.size()), D);
      for (const TResampleContributor& c : C.Items) {
        ASSERT_GE(c.Pixel, 0);
        ASSERT_LT(c.Pixel, S);
      }
    }
}

TEST_F(ResampleTest, CubicInterpolationPassesThroughItsSamplesAndClamps) {
  EXPECT_DOUBLE_EQ(CubicInterpolate(10, 20, 30, 40, 0, 0, 255), 20);
  EXPECT_DOUBLE_EQ(CubicInterpolate(10, 20, 30, 40, 1, 0, 255), 30);
  EXPECT_DOUBLE_EQ(CubicInterpolate(10, 20, 30, 40, 0.5, 0, 255), 25);  // a straight line stays straight
  EXPECT_DOUBLE_EQ(CubicInterpolate(0, 255, 255, 0, 0.5, 0, 255), 255);  // overshoot clamped
}

TEST_F(ResampleTest, AreaCoverageMeanRoundsHalvesToEven) {
  // Halving: the plain area mean (10 + 20) / 2 and (30 + 41) / 2 = 35.5 -> 36, (30 + 39) / 2 = 34.5 -> 34.
  for (TResampleFilter F : {rfBilinear, rfBicubic}) {
    Bitmap Source = Grey8({{10, 20, 30, 41}, {10, 20, 30, 39}});
    Bitmap Dest = Make(2, 2, ie8g);
    ResampleBitmap(Source.get(), Dest.get(), F, nullptr, nullptr);
    EXPECT_EQ(GreyRows(Dest.get()), (std::vector<std::vector<int>>{{15, 36}, {15, 34}}));
  }
}

TEST_F(ResampleTest, KernelFiltersGiveTheSameImageWhateverTheNumberOfWorkers) {
  struct Case {
    int32_t SW, SH, DW, DH;
  } Cases[] = {{37, 23, 61, 17}, {101, 67, 40, 30}, {12, 3, 30, 9}};
  for (const Case& c : Cases) {
    Bitmap Source = Noise24(c.SW, c.SH, uint32_t(c.SW));
    for (int F = rfTriangle; F <= rfLinear; ++F) {
      CoreCount = 1;
      Bitmap One = Make(c.DW, c.DH, ie24RGB);
      ResampleBitmap(Source.get(), One.get(), TResampleFilter(F), nullptr, nullptr);
      const std::vector<uint8_t> Expected = Pixels(One.get());
      for (int32_t Threads : {2, 3, 8, 16}) {
        CoreCount = Threads;
        Bitmap Many = Make(c.DW, c.DH, ie24RGB);
        ResampleBitmap(Source.get(), Many.get(), TResampleFilter(F), nullptr, nullptr);
        ASSERT_EQ(Pixels(Many.get()), Expected) << "filter " << F << " on " << Threads << " threads";
      }
    }
  }
}

TEST_F(ResampleTest, FileKeptSourceGivesTheSameImageAsOneInMemory) {
  Bitmap Source = Noise24(45, 31, 7);
  auto File = std::make_unique<TIEBitmap>();
  File->SetMemoryThreshold(0);
  File->SetLocation(ieTempFile);
  ASSERT_TRUE(File->Allocate(45, 31, ie24RGB));
  ASSERT_EQ(File->Location(), ieTempFile);
  for (int32_t y = 0; y < 31; ++y) std::memcpy(File->GetScanline(y), Source->GetScanline(y), 45 * 3);
  File->ReleaseMappedRows();
  CoreCount = 4;
  for (TResampleFilter F : {rfLanczos3, rfFastLinear, rfBicubic, rfNone, rfProjectBW}) {
    Bitmap FromMemory = Make(20, 50, ie24RGB);
    Bitmap FromFile = Make(20, 50, ie24RGB);
    ResampleBitmap(Source.get(), FromMemory.get(), F, nullptr, nullptr);
    ResampleBitmap(File.get(), FromFile.get(), F, nullptr, nullptr);
    EXPECT_EQ(Pixels(FromFile.get()), Pixels(FromMemory.get())) << "filter " << int(F);
  }
  EXPECT_EQ(Pixels(File.get()), Pixels(Source.get()));  // the source is only read
}

// The kernels as they are written down, and their supports.
double KernelByFormula(TResampleFilter F, double x) {
  const double a = std::fabs(x);
  auto Sinc = [](double v) { return v == 0 ? 1 : std::sin(M_PI * v) / (M_PI * v); };
  switch (F) {
    case rfTriangle: return a < 1 ? 1 - a : 0;
    case rfHermite: return a < 1 ? 2 * a * a * a - 3 * a * a + 1 : 0;
    case rfBell: return a < 0.5 ? 0.75 - a * a : a < 1.5 ? 0.5 * (a - 1.5) * (a - 1.5) : 0;
    case rfBSpline: return a < 1 ? 0.5 * a * a * a - a * a + 2.0 / 3 : a < 2 ? (2 - a) * (2 - a) * (2 - a) / 6 : 0;
    case rfLanczos3: return a < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case rfMitchell:
      return a < 1 ? (7 * a * a * a - 12 * a * a + 16.0 / 3) / 6
                   : a < 2 ? (-7.0 / 3 * a * a * a + 12 * a * a - 20 * a + 32.0 / 3) / 6 : 0;
    case rfNearest: return x > -0.5 && x <= 0.5 ? 1 : 0;
    case rfLinear: return x >= -1 && x < 1 ? 1 - a : 0;
    default: return 0;
  }
}
double SupportByFormula(TResampleFilter F) { return F == rfBell ? 1.5 : F == rfBSpline || F == rfMitchell ? 2 : F == rfLanczos3 ? 3 : 1; }

// One destination pixel's share of the source along one axis: the kernel's value at each source pixel
// (mirrored at the edges), and that value in whole 1/256 (times the scale when reducing), rounded.
struct ReferenceList {
  std::vector<int32_t> Pixel;
  std::vector<double> Value;
  std::vector<int32_t> Weight;
  int32_t Total = 0;
};
std::vector<ReferenceList> ReferenceLists(int32_t Size, int32_t NewSize, TResampleFilter F) {
  const double s = Size == 1 || NewSize == 1 ? double(NewSize) / Size : double(NewSize - 1) / (Size - 1);
  const double Window = s >= 1 ? SupportByFormula(F) : SupportByFormula(F) / s;
  std::vector<ReferenceList> Lists(static_cast<size_t>(NewSize));
  for (int32_t i = 0; i < NewSize; ++i) {
    const double c = i / s;
    ReferenceList& L = Lists[size_t(i)];
    for (int64_t j = int64_t(std::floor(c - Window)); j <= int64_t(std::ceil(c + Window)); ++j) {
      const double v = s >= 1 ? KernelByFormula(F, c - double(j)) : KernelByFormula(F, (c - double(j)) * s);
      if (v == 0) continue;
      const int64_t m = j < 0 ? -j : j >= Size ? 2 * int64_t(Size) - 1 - j : j;
      L.Pixel.push_back(int32_t(std::clamp<int64_t>(m, 0, Size - 1)));
      L.Value.push_back(v);
      L.Weight.push_back(int32_t(std::nearbyint(v * 256 * (s >= 1 ? 1 : s))));
      L.Total += L.Weight.back();
    }
  }
  return Lists;
}

// One pass of the reference: with whole weights that do not cancel out, the weighted sum divided by
// their total, truncated; when they cancel out (a large reduction rounds every weight to 0), the
// average weighted by the kernel's own values. Clamped to bytes.
double ReferencePass(const ReferenceList& L, const std::function<double(int32_t)>& At) {
  double Sum = 0, Total = 0;
  for (size_t k = 0; k < L.Pixel.size(); ++k) {
    const double w = L.Total != 0 ? L.Weight[k] : L.Value[k];
    Sum += w * At(L.Pixel[k]);
    Total += w;
  }
  const double v = L.Total != 0 ? std::trunc(Sum / Total) : Sum / Total;
  return std::clamp(v, 0.0, 255.0);
}

// The 24-bit kernel resampler computed from the kernel formulas: its bytes, and for each byte whether it
// must match exactly (both of its lists have whole weights) or only the kernel's average, within 2.
struct KernelExpectation {
  std::vector<double> Value;
  std::vector<bool> Exact;
};
KernelExpectation KernelReference(TIEBitmap* S, int32_t DW, int32_t DH, TResampleFilter F) {
  const int32_t SW = S->GetWidth(), SH = S->GetHeight();
  const std::vector<ReferenceList> Cols = ReferenceLists(SW, DW, F), Rows = ReferenceLists(SH, DH, F);
  std::vector<double> Work(size_t(DW) * SH * 3);
  for (int32_t r = 0; r < SH; ++r)
    for (int32_t x = 0; x < DW; ++x)
      for (int c = 0; c < 3; ++c)
        Work[(size_t(r) * DW + size_t(x)) * 3 + size_t(c)] =
            ReferencePass(Cols[size_t(x)], [&](int32_t p) { return double(S->GetScanline(r)[p * 3 + c]); });
  KernelExpectation Out;
  for (int32_t y = 0; y < DH; ++y)
    for (int32_t x = 0; x < DW; ++x)
      for (int c = 0; c < 3; ++c) {
        Out.Value.push_back(ReferencePass(Rows[size_t(y)], [&](int32_t r) {
          return Work[(size_t(r) * DW + size_t(x)) * 3 + size_t(c)];
        }));
        Out.Exact.push_back(Cols[size_t(x)].Total != 0 && Rows[size_t(y)].Total != 0);
      }
  return Out;
}

TEST_F(ResampleTest, KernelFiltersMatchAPlainTwoPassComputation) {
  struct Case {
    int32_t SW, SH, DW, DH;
  } Cases[] = {{37, 23, 61, 17}, {101, 67, 40, 30}, {12, 3, 30, 9}, {64, 9, 5, 40}, {2, 2, 7, 3},
               // Reductions by some hundreds to one, where whole 1/256 weights vanish (for the bell
               // and B-spline kernels already at 400 to 2).
               {600, 1, 2, 1}, {1000, 1, 1, 1}, {400, 1, 2, 1}, {1, 600, 1, 2}, {1, 1000, 1, 1}, {2, 400, 2, 2}};
  for (const Case& c : Cases) {
    Bitmap Source = Noise24(c.SW, c.SH, uint32_t(c.DW * 31 + c.SH));
    for (int F = rfTriangle; F <= rfLinear; ++F) {
      const KernelExpectation Expected = KernelReference(Source.get(), c.DW, c.DH, TResampleFilter(F));
      for (int32_t Threads : {1, 4}) {
        CoreCount = Threads;
        Bitmap Dest = Make(c.DW, c.DH, ie24RGB);
        ResampleBitmap(Source.get(), Dest.get(), TResampleFilter(F), nullptr, nullptr);
        const std::vector<uint8_t> Got = Pixels(Dest.get());
        ASSERT_EQ(Got.size(), Expected.Value.size());
        for (size_t i = 0; i < Got.size(); ++i)
          ASSERT_NEAR(Got[i], Expected.Value[i], Expected.Exact[i] ? 0 : 2)
              << "filter " << F << " " << c.SW << "x" << c.SH << " -> " << c.DW << "x" << c.DH << " on " << Threads
              << " byte " << i;
      }
    }
  }
}

TEST_F(ResampleTest, FlatImagesStayFlatUnderEveryKernelAtEveryReduction) {
  CoreCount = 1;  // the arithmetic is what is under test here; the workers are above
  struct Shape {
    const char* What;
    int32_t SW, SH, DW, DH;  // for a reduction by Factor
  };
  for (int32_t Factor : {2, 10, 100, 300, 500, 1000}) {
    const Shape Shapes[] = {{"across", 2 * Factor, 2, 2, 2}, {"down", 2, 2 * Factor, 2, 2}, {"both", Factor, Factor, 1, 1}};
    for (const Shape& Sh : Shapes)
      for (TIEPixelFormat Format : {ie24RGB, ie8g, ie1g})
        for (int Level : {255, 0, 128}) {
          // The one-channel formats share their passes: the two single axes show them.
          if ((Format == ie1g && Level == 128) || (Format != ie24RGB && Sh.DW == 1)) continue;
          Bitmap Source = Make(Sh.SW, Sh.SH, Format);
          if (Format == ie1g)
            for (int32_t y = 0; y < Sh.SH; ++y) std::memset(Source->GetScanline(y), Level, size_t(Source->GetRowLen()));
          else
            Source->Fill(Format == ie8g ? Level : Level * 0x010101);
          for (int F = rfTriangle; F <= rfLinear; ++F) {
            Bitmap Dest = Make(Sh.DW, Sh.DH, Format == ie1g ? ie24RGB : Format);
            Dest->Fill(Format == ie8g ? 77 : 0x4D4D4D);
            ResampleBitmap(Source.get(), Dest.get(), TResampleFilter(F), nullptr, nullptr);
            for (uint8_t Byte : Pixels(Dest.get()))
              ASSERT_EQ(Byte, Level) << "level " << Level << " reduced " << Factor << " " << Sh.What << " format "
                                     << int(Format) << " filter " << F;
          }
        }
  }
}

TEST_F(ResampleTest, KernelFiltersGiveTheSameImageWhicheverPassIsSplit) {
  // A file-kept source keeps the horizontal pass in one band while the vertical one is split, and a
  // file-kept destination the other way round; more bands than rows included.
  struct Case {
    int32_t SW, SH, DW, DH;
  } Cases[] = {{53, 29, 31, 47}, {40, 60, 70, 13}, {33, 20, 25, 3}};
  for (const Case& c : Cases) {
    Bitmap Source = Noise24(c.SW, c.SH, uint32_t(c.SH * 7));
    auto FileSource = std::make_unique<TIEBitmap>();
    FileSource->SetMemoryThreshold(0);
    FileSource->SetLocation(ieTempFile);
    ASSERT_TRUE(FileSource->Allocate(c.SW, c.SH, ie24RGB));
    for (int32_t y = 0; y < c.SH; ++y)
      std::memcpy(FileSource->GetScanline(y), Source->GetScanline(y), size_t(c.SW) * 3);
    FileSource->ReleaseMappedRows();
    for (TResampleFilter F : {rfTriangle, rfBSpline, rfLanczos3, rfMitchell}) {
      CoreCount = 1;
      Bitmap One = Make(c.DW, c.DH, ie24RGB);
      ResampleBitmap(Source.get(), One.get(), F, nullptr, nullptr);
      const std::vector<uint8_t> Expected = Pixels(One.get());
      for (int32_t Threads : {2, 5, 8}) {
        CoreCount = Threads;
        Bitmap SplitVertically = Make(c.DW, c.DH, ie24RGB);
        ResampleBitmap(FileSource.get(), SplitVertically.get(), F, nullptr, nullptr);
        ASSERT_EQ(Pixels(SplitVertically.get()), Expected) << "filter " << int(F) << ", vertical on " << Threads;
        auto FileDest = std::make_unique<TIEBitmap>();
        FileDest->SetMemoryThreshold(0);
        FileDest->SetLocation(ieTempFile);
        ASSERT_TRUE(FileDest->Allocate(c.DW, c.DH, ie24RGB));
        ResampleBitmap(Source.get(), FileDest.get(), F, nullptr, nullptr);
        ASSERT_EQ(FileDest->Location(), ieTempFile);
        ASSERT_EQ(Pixels(FileDest.get()), Expected) << "filter " << int(F) << ", horizontal on " << Threads;
      }
    }
  }
}

// ---- Progress --------------------------------------------------------------------------------------------

// Progress of a 24-bit kernel resample: the first horizontal worker's band (Trunc((n r + 1) P) for its rows
// r), then the first vertical worker's band (Trunc((sh + m y + 1) P) for its rows y, m bands) and, when
// that falls short of it, the value a pass over every row ends with (Trunc((sh + dh) P)); each pass
// without repeats.
std::vector<int> KernelProgress(int32_t n, int32_t BandRows, int32_t m, int32_t VertBandRows, int32_t SH,
                                int32_t DH) {
  const double P = 100.0 / (SH + DH + 0.5);
  std::vector<int> Out;
  int Last = -1;
  for (int32_t r = 0; r < BandRows; ++r) {
    const int v = int((double(n) * r + 1) * P);
    if (v != Last) Out.push_back(v);
    Last = v;
  }
  Last = -1;
  for (int32_t y = 0; y < VertBandRows; ++y) {
    const int v = int((SH + double(m) * y + 1) * P);
    if (v != Last) Out.push_back(v);
    Last = v;
  }
  if (int((SH + DH) * P) != Last) Out.push_back(int((SH + DH) * P));
  return Out;
}

TEST_F(ResampleTest, KernelProgressComesFromTheFirstWorkerOnlyAndArrivesOnTheMainThread) {
  const std::thread::id Main = std::this_thread::get_id();
  Bitmap Source = Noise24(20, 40, 5);
  TObject Sender;
  std::vector<int> Reports;
  bool OffMain = false, WrongSender = false;
  TIEProgressEvent Handler = [&](TObject* S, int Per) {
    Reports.push_back(Per);
    OffMain |= std::this_thread::get_id() != Main;
    WrongSender |= S != &Sender;
  };
  CoreCount = 4;
  Bitmap Dest = Make(10, 30, ie24RGB);
  ResampleFiltered(Source.get(), Dest.get(), rfTriangle, &Sender, Handler);
  EXPECT_EQ(Reports, KernelProgress(4, 10, 4, 7, 40, 30));
  EXPECT_FALSE(OffMain);
  EXPECT_FALSE(WrongSender);
  EXPECT_EQ(Reports.back(), 99);  // the frame's own 100 comes after

  // A file-kept source has one horizontal worker, which reports every row.
  auto File = std::make_unique<TIEBitmap>();
  File->SetMemoryThreshold(0);
  File->SetLocation(ieTempFile);
  ASSERT_TRUE(File->Allocate(20, 40, ie24RGB));
  Reports.clear();
  ResampleFiltered(File.get(), Dest.get(), rfTriangle, &Sender, Handler);
  EXPECT_EQ(Reports, KernelProgress(1, 40, 4, 7, 40, 30));
  EXPECT_FALSE(OffMain);

  // A file-kept destination is written in one band, reporting every row.
  auto FileDest = std::make_unique<TIEBitmap>();
  FileDest->SetMemoryThreshold(0);
  FileDest->SetLocation(ieTempFile);
  ASSERT_TRUE(FileDest->Allocate(10, 30, ie24RGB));
  Reports.clear();
  ResampleFiltered(Source.get(), FileDest.get(), rfTriangle, &Sender, Handler);
  EXPECT_EQ(Reports, KernelProgress(4, 10, 1, 30, 40, 30));
  EXPECT_FALSE(OffMain);

  // Called from another thread, the reports come on that thread: the calling thread is the first worker.
  Reports.clear();
  std::thread::id Caller, Reporter;
  TIEProgressEvent OnCaller = [&](TObject*, int Per) {
    Reports.push_back(Per);
    Reporter = std::this_thread::get_id();
  };
  std::thread Other([&] {
    Caller = std::this_thread::get_id();
    ResampleFiltered(Source.get(), Dest.get(), rfTriangle, &Sender, OnCaller);
  });
  Other.join();
  EXPECT_EQ(Reports, KernelProgress(4, 10, 4, 7, 40, 30));
  EXPECT_EQ(Reporter, Caller);
}

// A handler that raises stops the calling thread's share: the error comes out, the workers still end
// (none waits for the rows the calling thread never finished), and the next resample is whole.
TEST_F(ResampleTest, AProgressHandlerThatRaisesEndsTheResampleWithoutHanging) {
  Bitmap Source = Noise24(64, 120, 9);
  CoreCount = 4;
  Bitmap Expected = Make(40, 70, ie24RGB);
  ResampleFiltered(Source.get(), Expected.get(), rfLanczos3, nullptr, nullptr);
  for (const int RaiseAt : {3, 40}) {  // in the horizontal pass (30 reports), in the vertical pass
    int Calls = 0;
    TIEProgressEvent Handler = [&](TObject*, int Per) {
      if (++Calls == RaiseAt) throw std::runtime_error("stop at " + std::to_string(Per));
    };
    Bitmap Dest = Make(40, 70, ie24RGB);
    EXPECT_THROW(ResampleFiltered(Source.get(), Dest.get(), rfLanczos3, nullptr, Handler), std::runtime_error)
        << "raising at report " << RaiseAt;
    Bitmap Again = Make(40, 70, ie24RGB);
    ResampleFiltered(Source.get(), Again.get(), rfLanczos3, nullptr, nullptr);
    EXPECT_EQ(Pixels(Again.get()), Pixels(Expected.get()));
  }
}

TEST_F(ResampleTest, FastLinearAndNearestReportAsTheyGo) {
  Bitmap Source = Noise24(8, 10, 2);
  std::vector<int> Reports;
  TIEProgressEvent Handler = [&](TObject*, int Per) { Reports.push_back(Per); };
  Bitmap Dest = Make(4, 5, ie24RGB);
  ResampleFastLinear24(Source.get(), Dest.get(), nullptr, Handler);
  // Every row of both passes, with P = 100 / 15.5.
  std::vector<int> Expected;
  for (int r = 0; r < 10; ++r) Expected.push_back(int(r * (100 / 15.5)));
  for (int y = 0; y < 5; ++y) Expected.push_back(int((10 + y) * (100 / 15.5)));
  EXPECT_EQ(Reports, Expected);

  Reports.clear();
  Bitmap Tall = Make(4, 300, ie24RGB);
  ResampleNearest(Source.get(), Tall.get(), nullptr, Handler);
  ASSERT_EQ(Reports.size(), 100u);  // one report per new percent, from 0
  EXPECT_EQ(Reports.front(), 0);
  EXPECT_EQ(Reports.back(), 99);
}

// ---- 1-bit routes ------------------------------------------------------------------------------------------

Bitmap Bits(const std::vector<std::vector<int>>& Rows) {
  auto B = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(B->Allocate(int32_t(Rows[0].size()), int32_t(Rows.size()), ie1g));
  for (size_t y = 0; y < Rows.size(); ++y) {
    uint8_t* p = B->GetScanline(int32_t(y));
    std::fill(p, p + B->GetRowLen(), 0);
    for (size_t x = 0; x < Rows[y].size(); ++x)
      if (Rows[y][x]) p[x / 8] |= uint8_t(0x80 >> (x % 8));
  }
  return B;
}

TEST_F(ResampleTest, ProjectionKeepsThinLinesOfItsOwnColour) {
  // A black line one pixel wide at column 5 of a white 16 x 8 image, reduced 4:1 across.
  std::vector<std::vector<int>> Rows(8, std::vector<int>(16, 1));
  for (auto& Row : Rows) Row[5] = 0;
  Bitmap Source = Bits(Rows);
  Bitmap KeepBlack = Make(4, 8, ie1g);
  ResampleBitmap(Source.get(), KeepBlack.get(), rfProjectBW, nullptr, nullptr);
  Bitmap KeepWhite = Make(4, 8, ie1g);
  ResampleBitmap(Source.get(), KeepWhite.get(), rfProjectWB, nullptr, nullptr);
  for (int32_t y = 0; y < 8; ++y) {
    // Column 2 covers source columns 4 ... 8.
    EXPECT_EQ(KeepBlack->GetScanline(y)[0] >> 4, 0b1101) << "row " << y;
    EXPECT_EQ(KeepWhite->GetScanline(y)[0] >> 4, 0b1111) << "row " << y;
  }
}

TEST_F(ResampleTest, BitsBecomeGreyByInterpolationOrAreaAverage) {
  Bitmap Edge = Bits({{0, 1}});
  Bitmap Wide = Make(4, 1, ie24RGB);
  ResampleBW(Edge.get(), Wide.get(), rfFastLinear);
  EXPECT_EQ(GreyRows(Wide.get()), (std::vector<std::vector<int>>{{0, 127, 255, 255}}));

  // A 4 x 4 checkerboard halved: box (0, 0) is rows and columns 0 ... 1 (2 of 4 set), box (1, 1) rows
  // and columns 1 ... 3 (5 of 9 set).
  Bitmap Checker = Bits({{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}});
  Bitmap Half = Make(2, 2, ie24RGB);
  ResampleBitmap(Checker.get(), Half.get(), rfBilinear, nullptr, nullptr);
  EXPECT_EQ(GreyRows(Half.get()), (std::vector<std::vector<int>>{{127, 127}, {127, 141}}));

  // A kernel filter on bits gives grey; white stays white.
  Bitmap White = Bits({{1, 1, 1}, {1, 1, 1}});
  Bitmap Lanczos = Make(7, 5, ie1g);
  ResampleBitmap(White.get(), Lanczos.get(), rfLanczos3, nullptr, nullptr);
  ASSERT_EQ(Lanczos->GetPixelFormat(), ie24RGB);
  for (const auto& Row : GreyRows(Lanczos.get()))
    for (int v : Row) ASSERT_EQ(v, 255);

  // Nearest keeps bits.
  Bitmap Doubled = Make(8, 2, ie1g);
  ResampleBitmap(Checker.get(), Doubled.get(), rfNone, nullptr, nullptr);
  EXPECT_EQ(Doubled->GetPixelFormat(), ie1g);
  EXPECT_EQ(Doubled->GetScanline(0)[0], 0b11001100);
  EXPECT_EQ(Doubled->GetScanline(1)[0], 0b11001100);  // row Trunc(2 x 1) = 2
}

TEST_F(ResampleTest, AreaAverageOfARectangleReachingOutsideTheSourceStaysInside) {
  Bitmap White = Bits({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
  Bitmap Dest = Make(3, 3, ie24RGB);
  for (auto [X1, Y1, X2, Y2] : {std::tuple{-5, -5, 10, 10}, std::tuple{2, 1, 40, 30}, std::tuple{50, 50, 60, 60},
                                std::tuple{-20, -20, -10, -10}}) {
    Dest->Fill(0);
    ShrinkBWToGray(White.get(), X1, Y1, X2, Y2, Dest.get());
    for (const auto& Row : GreyRows(Dest.get()))
      for (int v : Row) ASSERT_EQ(v, 255) << X1 << "," << Y1 << "," << X2 << "," << Y2;
  }
}

TEST_F(ResampleTest, HooksReachTheResamplers) {
  Bitmap Source = Grey24({{0, 255}});
  Bitmap Dest = Make(4, 1, ie24RGB);
  ASSERT_TRUE(RunHook(ProcessingHooks.ResampleFiltered, Source.get(), Dest.get(), rfFastLinear,
                      TIEProgressEvent(), static_cast<TObject*>(nullptr)));
  EXPECT_EQ(GreyRows(Dest.get()), (std::vector<std::vector<int>>{{0, 127, 255, 255}}));
  ProcessingShutdown();
  EXPECT_FALSE(ProcessingHooks.ResampleBW);
  ProcessingStartup();
  EXPECT_TRUE(ProcessingHooks.ResampleBW && ProcessingHooks.ResampleGray8 && ProcessingHooks.ResampleNearest &&
              ProcessingHooks.ShrinkBWToGray);
}

}  // namespace
}  // namespace zv

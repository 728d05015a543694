// Pixel-format conversion: the pair table, the ordered dither, conversions of class-library bitmaps and
// the copies between bitmaps, masks and DIB sections.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/core/mask.h"
#include "imaging/core/pixel_convert.h"
#include "imaging/core/proc_hooks.h"
#include "platform/graphics.h"

namespace zv {
namespace {

using Values = std::array<double, 4>;

const char* FormatName(TIEPixelFormat F) {
  static const char* Names[] = {"ieNone",  "ie1g",   "ie8p",    "ie8g",     "ieGray16", "ie24RGB",
                                "ie32f",   "ieCMYK", "ieRGB48", "ieCIELab", "ieRGBX32"};
  return Names[F];
}

class PixelConvertTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(ZV_TEST_TMP);
    SavedFolder = TempFolder;
    SavedOverride = MemoryThresholdOverride;
    TempFolder = ZV_TEST_TMP;
  }
  void TearDown() override {
    TempFolder = SavedFolder;
    MemoryThresholdOverride = SavedOverride;
    ProcessingHooks = TProcessingHooks{};
  }

  // An 8 x 8 image of one pixel value per format (the ie1g one white), the values the table expects.
  static std::unique_ptr<TIEBitmap> Uniform(TIEPixelFormat F) {
    auto B = std::make_unique<TIEBitmap>();
    EXPECT_TRUE(B->Allocate(8, 8, F));
    uint8_t Pixel[8] = {};
    int Size = 0;
    switch (F) {
      case ie1g: B->Fill(1); return B;
      case ie8p:
        B->SetPaletteColor(3, MakeRGB24(200, 100, 50));
        Pixel[0] = 3, Size = 1;
        break;
      case ie8g: Pixel[0] = 200, Size = 1; break;
      case ieGray16: {
        uint16_t w = 0xC8AB;
        std::memcpy(Pixel, &w, 2), Size = 2;
        break;
      }
      case ie24RGB: Pixel[0] = 50, Pixel[1] = 100, Pixel[2] = 200, Size = 3; break;
      case ie32f: {
        float f = 0.5f;
        std::memcpy(Pixel, &f, 4), Size = 4;
        break;
      }
      case ieCMYK: Pixel[0] = 255, Pixel[1] = 127, Pixel[2] = 63, Pixel[3] = 200, Size = 4; break;
      case ieRGB48: {
        uint16_t w[3] = {0xC812, 0x6434, 0x3256};
        std::memcpy(Pixel, w, 6), Size = 6;
        break;
      }
      case ieCIELab: Pixel[0] = 255, Size = 3; break;
      case ieRGBX32: Pixel[0] = 50, Pixel[1] = 100, Pixel[2] = 200, Pixel[3] = 7, Size = 4; break;
      default: break;
    }
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x) std::memcpy(B->GetScanline(y) + x * Size, Pixel, size_t(Size));
    return B;
  }

  // Pixel (0, 0) read in its own format; for ie1g the number of white pixels of the 8 x 8 image, for
  // ie8p the palette colour of the index (red, green, blue).
  static Values Read(TIEBitmap& B) {
    const uint8_t* p = B.GetScanline(0);
    uint16_t w[3];
    float f;
    switch (B.GetPixelFormat()) {
      case ie1g: {
        int n = 0;
        for (int32_t y = 0; y < B.GetHeight(); ++y)
          for (int32_t x = 0; x < B.GetWidth(); ++x) n += (B.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1;
        return {double(n), 0, 0, 0};
      }
      case ie8p: {
        TIERGB24 c = B.GetPaletteColor(p[0]);
        return {double(c.r), double(c.g), double(c.b), 0};
      }
      case ie8g: return {double(p[0]), 0, 0, 0};
      case ieGray16: std::memcpy(w, p, 2); return {double(w[0]), 0, 0, 0};
      case ie24RGB: return {double(p[2]), double(p[1]), double(p[0]), 0};
      case ie32f: std::memcpy(&f, p, 4); return {double(f), 0, 0, 0};
      case ieCMYK:
      case ieRGBX32: return {double(p[0]), double(p[1]), double(p[2]), double(p[3])};
      case ieRGB48: std::memcpy(w, p, 6); return {double(w[0]), double(w[1]), double(w[2]), 0};
      case ieCIELab: return {double(p[0]), double(int8_t(p[1])), double(int8_t(p[2])), 0};
      default: return {-1, -1, -1, -1};
    }
  }

  static Values LabOf(uint8_t R, uint8_t G, uint8_t B) {
    TIECIELab l = RGBToLab(MakeRGB24(R, G, B));
    return {double(l.l), double(l.a), double(l.b), 0};
  }

  std::string SavedFolder;
  int64_t SavedOverride = -1;
};

struct PairCase {
  TIEPixelFormat Source;
  TIEPixelFormat Target;
  Values Expected;
};

// Every pair, the identity included: CopyAndConvertFormat and ConvertToFormat give the table's pixel,
// and CopyAndConvertFormat leaves its source as it was (also where the way goes through ie24RGB).
TEST_F(PixelConvertTest, PairTable) {
  ASSERT_TRUE(LabToRGB(TIECIELab{255, 0, 0}) == MakeRGB24(255, 255, 255));
  const Values Lab1 = LabOf(200, 100, 50), Lab2 = LabOf(200, 99, 49), Grey200 = LabOf(200, 200, 200),
               Grey127 = LabOf(127, 127, 127), White = LabOf(255, 255, 255);
  // Source colours: (200, 100, 50) for ie8p, ie24RGB, ieRGB48 and ieRGBX32; grey 200 for ie8g and
  // ieGray16 (0xC8AB); 0.5 for ie32f; (200, 99, 49) for the CMYK bytes; white for ie1g and ieCIELab.
  const std::vector<PairCase> Cases = {
      {ie1g, ie1g, {64}}, {ie1g, ie8p, {255, 255, 255}}, {ie1g, ie8g, {255}}, {ie1g, ieGray16, {65535}},
      {ie1g, ie24RGB, {255, 255, 255}}, {ie1g, ie32f, {1.0}}, {ie1g, ieCMYK, {255, 255, 255, 255}},
      {ie1g, ieRGB48, {65535, 65535, 65535}}, {ie1g, ieCIELab, White}, {ie1g, ieRGBX32, {255, 255, 255, 255}},

      {ie8p, ie1g, {29}}, {ie8p, ie8p, {200, 100, 50}}, {ie8p, ie8g, {117}}, {ie8p, ieGray16, {30184}},
      {ie8p, ie24RGB, {200, 100, 50}}, {ie8p, ie32f, {0.4613725}}, {ie8p, ieCMYK, {255, 127, 63, 200}},
      {ie8p, ieRGB48, {51400, 25700, 12850}}, {ie8p, ieCIELab, Lab1}, {ie8p, ieRGBX32, {50, 100, 200, 255}},

      {ie8g, ie1g, {50}}, {ie8g, ie8p, {200, 200, 200}}, {ie8g, ie8g, {200}}, {ie8g, ieGray16, {51400}},
      {ie8g, ie24RGB, {200, 200, 200}}, {ie8g, ie32f, {0.7843137}}, {ie8g, ieCMYK, {255, 255, 255, 200}},
      {ie8g, ieRGB48, {51400, 51400, 51400}}, {ie8g, ieCIELab, Grey200}, {ie8g, ieRGBX32, {200, 200, 200, 255}},

      {ieGray16, ie1g, {50}}, {ieGray16, ie8p, {200, 200, 200}}, {ieGray16, ie8g, {200}},
      {ieGray16, ieGray16, {51371}}, {ieGray16, ie24RGB, {200, 200, 200}}, {ieGray16, ie32f, {0.7838712}},
      {ieGray16, ieCMYK, {255, 255, 255, 200}}, {ieGray16, ieRGB48, {51371, 51371, 51371}},
      {ieGray16, ieCIELab, Grey200}, {ieGray16, ieRGBX32, {200, 200, 200, 255}},

      {ie24RGB, ie1g, {29}}, {ie24RGB, ie8p, {200, 100, 50}}, {ie24RGB, ie8g, {117}},
      {ie24RGB, ieGray16, {30184}}, {ie24RGB, ie24RGB, {200, 100, 50}}, {ie24RGB, ie32f, {0.4613725}},
      {ie24RGB, ieCMYK, {255, 127, 63, 200}}, {ie24RGB, ieRGB48, {51400, 25700, 12850}},
      {ie24RGB, ieCIELab, Lab1}, {ie24RGB, ieRGBX32, {50, 100, 200, 255}},

      {ie32f, ie1g, {31}}, {ie32f, ie8p, {127, 127, 127}}, {ie32f, ie8g, {127}}, {ie32f, ieGray16, {32767}},
      {ie32f, ie24RGB, {127, 127, 127}}, {ie32f, ie32f, {0.5}}, {ie32f, ieCMYK, {255, 255, 255, 127}},
      {ie32f, ieRGB48, {32767, 32767, 32767}}, {ie32f, ieCIELab, Grey127}, {ie32f, ieRGBX32, {127, 127, 127, 255}},

      {ieCMYK, ie1g, {29}}, {ieCMYK, ie8p, {200, 99, 49}}, {ieCMYK, ie8g, {116}}, {ieCMYK, ieGray16, {29982}},
      {ieCMYK, ie24RGB, {200, 99, 49}}, {ieCMYK, ie32f, {0.4582847}}, {ieCMYK, ieCMYK, {255, 127, 63, 200}},
      {ieCMYK, ieRGB48, {51400, 25443, 12593}}, {ieCMYK, ieCIELab, Lab2}, {ieCMYK, ieRGBX32, {49, 99, 200, 255}},

      {ieRGB48, ie1g, {29}}, {ieRGB48, ie8p, {200, 100, 50}}, {ieRGB48, ie8g, {117}},
      {ieRGB48, ieGray16, {30114}}, {ieRGB48, ie24RGB, {200, 100, 50}}, {ieRGB48, ie32f, {0.4620960}},
      {ieRGB48, ieCMYK, {255, 127, 63, 200}}, {ieRGB48, ieRGB48, {0xC812, 0x6434, 0x3256}},
      {ieRGB48, ieCIELab, Lab1}, {ieRGB48, ieRGBX32, {50, 100, 200, 255}},

      {ieCIELab, ie1g, {63}}, {ieCIELab, ie8p, {255, 255, 255}}, {ieCIELab, ie8g, {255}},
      {ieCIELab, ieGray16, {65535}}, {ieCIELab, ie24RGB, {255, 255, 255}}, {ieCIELab, ie32f, {1.0}},
      {ieCIELab, ieCMYK, {255, 255, 255, 255}}, {ieCIELab, ieRGB48, {65535, 65535, 65535}},
      {ieCIELab, ieCIELab, {255, 0, 0}}, {ieCIELab, ieRGBX32, {255, 255, 255, 255}},

      {ieRGBX32, ie1g, {29}}, {ieRGBX32, ie8p, {200, 100, 50}}, {ieRGBX32, ie8g, {117}},
      {ieRGBX32, ieGray16, {30184}}, {ieRGBX32, ie24RGB, {200, 100, 50}}, {ieRGBX32, ie32f, {0.4613725}},
      {ieRGBX32, ieCMYK, {255, 127, 63, 200}}, {ieRGBX32, ieRGB48, {51400, 25700, 12850}},
      {ieRGBX32, ieCIELab, Lab1}, {ieRGBX32, ieRGBX32, {50, 100, 200, 7}},
  };
  ASSERT_EQ(Cases.size(), 100u);
  auto Check = [](const Values& Got, const Values& Want, TIEPixelFormat Target) {
    double Tolerance = Target == ie32f ? 1e-6 : 0;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(Got[i], Want[i], Tolerance) << "value " << i;
  };
  for (const PairCase& c : Cases) {
    SCOPED_TRACE(std::string(FormatName(c.Source)) + " -> " + FormatName(c.Target));
    auto Source = Uniform(c.Source);
    const Values Before = Read(*Source);
    TIEBitmap Target(8, 8, c.Target);
    Target.SetBWConversion(0);
    ASSERT_TRUE(Target.CopyAndConvertFormat(Source.get()));
    Check(Read(Target), c.Expected, c.Target);
    EXPECT_EQ(Source->GetPixelFormat(), c.Source);
    EXPECT_EQ(Read(*Source), Before);

    auto Converted = Uniform(c.Source);
    Converted->SetBWConversion(0);
    ASSERT_TRUE(Converted->ConvertToFormat(c.Target));
    EXPECT_EQ(Converted->GetPixelFormat(), c.Target);
    Check(Read(*Converted), c.Expected, c.Target);
  }
}

TEST_F(PixelConvertTest, RoutesCoverEveryPair) {
  for (int s = 1; s < IEPixelFormatCount; ++s)
    for (int t = 1; t < IEPixelFormatCount; ++t)
      EXPECT_NE(ConversionRoute(TIEPixelFormat(s), TIEPixelFormat(t)), iecNothing) << s << " -> " << t;
  EXPECT_EQ(ConversionRoute(ieNone, ie24RGB), iecNothing);
  EXPECT_EQ(ConversionRoute(ie8p, ieCMYK), iecVia24);
  EXPECT_EQ(ConversionRoute(ieRGB48, ie8p), iecVia24);
  EXPECT_EQ(ConversionRoute(ieCMYK, ieRGBX32), iecDirect);
}

// What CopyAndConvertFormat refuses: another size, a target in a TBitmap, no source.
TEST_F(PixelConvertTest, CopyAndConvertFormatRefusals) {
  auto Source = Uniform(ie24RGB);
  TIEBitmap Smaller(7, 8, ie8g);
  EXPECT_FALSE(Smaller.CopyAndConvertFormat(Source.get()));
  TIEBitmap InTBitmap;
  InTBitmap.SetLocation(ieTBitmap);
  ASSERT_TRUE(InTBitmap.Allocate(8, 8, ie8g));
  ASSERT_EQ(InTBitmap.Location(), ieTBitmap);
  InTBitmap.Fill(9);
  EXPECT_FALSE(InTBitmap.CopyAndConvertFormat(Source.get()));
  EXPECT_EQ(InTBitmap.GetScanline(0)[0], 9);
  TIEBitmap Target(8, 8, ie8g);
  EXPECT_FALSE(Target.CopyAndConvertFormat(nullptr));
  TIEBitmap Empty;
  EXPECT_FALSE(Target.CopyAndConvertFormat(&Empty));
}

// The conversion of a palette image through ie24RGB used to leave the caller's source converted.
TEST_F(PixelConvertTest, ConversionsThroughRGB24LeaveTheSourceAlone) {
  auto Source = Uniform(ie8p);
  TIEBitmap Cmyk(8, 8, ieCMYK);
  ASSERT_TRUE(Cmyk.CopyAndConvertFormat(Source.get()));
  EXPECT_EQ(Source->GetPixelFormat(), ie8p);
  EXPECT_EQ(Source->GetScanline(7)[7], 3);
  EXPECT_TRUE(Source->GetPaletteColor(3) == MakeRGB24(200, 100, 50));

  // The quantizer needs a whole ie24RGB image: it gets a copy.
  auto X32 = Uniform(ieRGBX32);
  TIEBitmap Palette(8, 8, ie8p);
  ASSERT_TRUE(Palette.CopyAndConvertFormat(X32.get()));
  EXPECT_EQ(X32->GetPixelFormat(), ieRGBX32);
  EXPECT_EQ(X32->GetScanline(0)[3], 7);
}

// The threshold runs on an ie24RGB image for ieRGB48 (a copy, never the caller's source), on the source
// itself for the formats it reads; without the processing routine nothing is converted.
TEST_F(PixelConvertTest, ThresholdToOneBit) {
  std::vector<TIEPixelFormat> Seen;
  ProcessingHooks.ThresholdToBW = [&Seen](TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold,
                                          TIEProgressRecord&) {
    EXPECT_EQ(Threshold, -1);
    Seen.push_back(Source->GetPixelFormat());
    Dest->Allocate(Source->GetWidth(), Source->GetHeight(), ie1g);
    Dest->Fill(1);
  };
  auto Rgb48 = Uniform(ieRGB48);
  TIEBitmap Bw(8, 8, ie1g);  // BWConversion 1 by default
  ASSERT_TRUE(Bw.CopyAndConvertFormat(Rgb48.get()));
  EXPECT_EQ(Rgb48->GetPixelFormat(), ieRGB48);
  auto Grey = Uniform(ie8g);
  ASSERT_TRUE(Bw.CopyAndConvertFormat(Grey.get()));
  EXPECT_EQ(Seen, (std::vector<TIEPixelFormat>{ie24RGB, ie8g}));
  EXPECT_EQ(Read(Bw)[0], 64);

  ProcessingHooks.ThresholdToBW = nullptr;
  EXPECT_FALSE(Bw.CopyAndConvertFormat(Grey.get()));
  // ConvertToFormat keeps the image as it was, also for a source that goes through ie24RGB first.
  for (TIEPixelFormat F : {ie8g, ieRGB48, ieCMYK}) {
    auto B = Uniform(F);
    const Values Before = Read(*B);
    EXPECT_FALSE(B->ConvertToFormat(ie1g)) << FormatName(F);
    EXPECT_EQ(B->GetPixelFormat(), F);
    EXPECT_EQ(Read(*B), Before);
  }
}

// Grey 128 is level 32 of 64: exactly the pixels whose matrix value is below 32, half of every block;
// the matrix is indexed by column times 8 plus row.
TEST_F(PixelConvertTest, BayerDitherOfGrey128SetsHalfOfEachBlock) {
  TIEBitmap Source(16, 16, ie24RGB);
  Source.Fill(double(RGB24ToColor(MakeRGB24(128, 128, 128))));
  TIEBitmap Bw(16, 16, ie1g);
  Bw.SetBWConversion(0);
  ASSERT_TRUE(Bw.CopyAndConvertFormat(&Source));
  auto Bit = [&Bw](int32_t x, int32_t y) { return (Bw.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1; };
  for (int32_t by = 0; by < 16; by += 8)
    for (int32_t bx = 0; bx < 16; bx += 8) {
      int n = 0;
      for (int32_t y = by; y < by + 8; ++y)
        for (int32_t x = bx; x < bx + 8; ++x) n += Bit(x, y);
      EXPECT_EQ(n, 32) << "block " << bx << "," << by;
    }
  EXPECT_EQ(Bit(0, 0), 1);   // matrix 0
  EXPECT_EQ(Bit(0, 1), 0);   // matrix 32: not below
  EXPECT_EQ(Bit(1, 1), 1);   // matrix 16
  EXPECT_EQ(Bit(9, 9), 1);   // the pattern repeats every 8 pixels
  EXPECT_EQ(Bit(8, 9), 0);

  // Grey 132 is level 33: matrix value 32 sits at column 0, row 1, not at column 1, row 0.
  Source.Fill(double(RGB24ToColor(MakeRGB24(132, 132, 132))));
  ASSERT_TRUE(Bw.CopyAndConvertFormat(&Source));
  EXPECT_EQ(Bit(0, 1), 1);
  EXPECT_EQ(Bit(1, 0), 0);
}

TEST_F(PixelConvertTest, EdgeValues) {
  // A 16-bit grey stretched over the target's display range.
  TIEBitmap Words(3, 1, ieGray16);
  uint16_t w[3] = {1500, 500, 3000};
  std::memcpy(Words.GetScanline(0), w, 6);
  TIEBitmap Rgb(3, 1, ie24RGB);
  Rgb.SetRangeMin(1000);
  Rgb.SetRangeMax(2000);
  ASSERT_TRUE(Rgb.CopyAndConvertFormat(&Words));
  EXPECT_EQ(Rgb.GetScanline(0)[0], 127);
  EXPECT_EQ(Rgb.GetScanline(0)[3], 0);
  EXPECT_EQ(Rgb.GetScanline(0)[6], 255);

  // The leftmost 1-bit pixel is the top bit.
  TIEBitmap Bits(10, 1, ie1g);
  Bits.GetScanline(0)[0] = 0xA0;
  Bits.GetScanline(0)[1] = 0x40;
  ASSERT_TRUE(Bits.ConvertToFormat(ie8g));
  const uint8_t Want[10] = {255, 0, 255, 0, 0, 0, 0, 0, 0, 255};
  EXPECT_EQ(std::memcmp(Bits.GetScanline(0), Want, 10), 0);
}

// A float sample reads the same everywhere: as a colour, and converted to every format with bytes or
// words, clamped to black and white (a sample of 1.5 once read 255 as a colour and 126 converted).
TEST_F(PixelConvertTest, FloatSamplesReadOneWayEverywhere) {
  const float Samples[] = {-1.0f, -0.25f, 0.0f, 0.5f, 1.0f, 1.5f, 3.0f, 1e30f, -1e30f, NAN, INFINITY};
  const uint8_t Bytes[] = {0, 0, 0, 127, 255, 255, 255, 255, 0, 0, 255};
  const uint16_t Words[] = {0, 0, 0, 32767, 65535, 65535, 65535, 65535, 0, 0, 65535};
  constexpr int32_t N = int32_t(std::size(Samples));
  auto Floats = [&] {
    auto F = std::make_unique<TIEBitmap>(N, 1, ie32f);
    for (int32_t x = 0; x < N; ++x) F->SetFloat(x, 0, Samples[x]);
    return F;
  };
  auto Source = Floats();
  for (TIEPixelFormat Target : {ie24RGB, ie8g, ie8p, ieRGBX32, ieGray16, ieRGB48}) {
    SCOPED_TRACE(FormatName(Target));
    auto F = Floats();
    ASSERT_TRUE(F->ConvertToFormat(Target));
    for (int32_t x = 0; x < N; ++x) {
      SCOPED_TRACE(Samples[x]);
      EXPECT_EQ(Source->GetPixelAsRGB(x, 0), (TIERGB24{Bytes[x], Bytes[x], Bytes[x]}));
      if (Target == ieGray16) {
        EXPECT_EQ(F->GetWord(x, 0), Words[x]);
      } else if (Target == ieRGB48) {
        EXPECT_EQ(F->GetRGB48(x, 0).g, Words[x]);
      } else {
        EXPECT_EQ(F->GetPixelAsRGB(x, 0), Source->GetPixelAsRGB(x, 0));
      }
    }
  }
  // The ordered dither sees the same levels: above 1.0 the white level (63, so every bit whose matrix
  // value is below 63), below 0 the black one (no bit).
  auto F = Floats();
  F->SetBWConversion(0);
  TIEBitmap Bw(N, 1, ie1g);
  Bw.SetBWConversion(0);
  ASSERT_TRUE(Bw.CopyAndConvertFormat(F.get()));
  for (int32_t x : {0, 1, 8, 9}) EXPECT_EQ(Bw.GetPixelAsRGB(x, 0).r, 0) << x;
  for (int32_t x : {4, 5, 6, 10}) EXPECT_EQ(Bw.GetPixelAsRGB(x, 0).r, 255) << x;
}

TEST_F(PixelConvertTest, SetPixelFormatAndEmptyBitmaps) {
  auto B = Uniform(ie24RGB);
  uint8_t* Row = B->GetScanline(0);
  EXPECT_TRUE(B->SetPixelFormat(ie24RGB));
  EXPECT_EQ(B->GetScanline(0), Row);  // nothing was reallocated
  TIEBitmap Empty;
  EXPECT_TRUE(Empty.ConvertToFormat(ieRGB48));
  EXPECT_EQ(Empty.GetPixelFormat(), ieRGB48);
  EXPECT_TRUE(Empty.IsEmpty());
  // No target format: the image stays.
  EXPECT_FALSE(B->ConvertToFormat(ieNone));
  EXPECT_EQ(B->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Read(*B), (Values{200, 100, 50, 0}));
}

TEST_F(PixelConvertTest, AlphaChannelTravels) {
  auto Source = Uniform(ie24RGB);
  Source->SetAlpha(2, 3, 77);
  TIEBitmap Target(8, 8, ie8g);
  ASSERT_TRUE(Target.CopyAndConvertFormat(Source.get()));
  ASSERT_TRUE(Target.HasAlphaChannel());
  EXPECT_EQ(Target.GetAlpha(2, 3), 77);
  ASSERT_TRUE(Source->ConvertToFormat(ieRGB48));
  EXPECT_EQ(Source->GetAlpha(2, 3), 77);
  EXPECT_EQ(Source->GetAlpha(0, 0), 255);
}

// Source and target kept in temporary files, one row of each at a time.
TEST_F(PixelConvertTest, TemporaryFileBitmaps) {
  MemoryThresholdOverride = 0;
  auto Source = Uniform(ie8p);
  ASSERT_EQ(Source->Location(), ieTempFile);
  TIEBitmap Target(8, 8, ieRGBX32);
  ASSERT_EQ(Target.Location(), ieTempFile);
  ASSERT_TRUE(Target.CopyAndConvertFormat(Source.get()));
  EXPECT_EQ(Read(Target), (Values{50, 100, 200, 255}));
  TRGBA Last;
  std::memcpy(&Last, Target.GetScanline(7) + 28, 4);
  EXPECT_EQ(Last.r, 200);
  ASSERT_TRUE(Source->ConvertToFormat(ieCIELab));
  EXPECT_EQ(Source->Location(), ieTempFile);
  EXPECT_EQ(Read(*Source), LabOf(200, 100, 50));
}

// ---- Class-library bitmaps ----------------------------------------------------------------------------

class TBitmapConvertTest : public PixelConvertTest {
protected:
  void SetUp() override {
    PixelConvertTest::SetUp();
    ProcessingHooks.CloneTBitmap = [](TBitmap* Source) {
      auto* B = new TBitmap();
      B->Assign(Source);
      return B;
    };
    ProcessingHooks.ExpandBWTBitmapTo24 = [](TBitmap* Source, TBitmap* Dest, TIEProgressRecord&) {
      Dest->Assign(Source);
      Dest->SetPixelFormat(pf24bit);
    };
    ProcessingHooks.ConvertToBWOrdered = [](TIEBitmap* Bitmap, TIEProgressRecord&) {
      Bitmap->VclBitmap()->SetPixelFormat(pf1bit);
    };
    ProcessingHooks.ConvertToBWThreshold = [](TIEBitmap* Bitmap, int32_t, TIEProgressRecord&) {
      Bitmap->VclBitmap()->SetPixelFormat(pf1bit);
    };
  }

  // A bitmap whose pixels live in a TBitmap, filled with Value.
  static std::unique_ptr<TIEBitmap> InTBitmap(TIEPixelFormat F, double Value) {
    auto B = std::make_unique<TIEBitmap>();
    B->SetLocation(ieTBitmap);
    EXPECT_TRUE(B->Allocate(4, 4, F));
    EXPECT_EQ(B->Location(), ieTBitmap);
    B->Fill(Value);
    return B;
  }
};

// Which pairs a TBitmap converts; every other pair fails and leaves format and pixels as they were.
TEST_F(TBitmapConvertTest, PairTable) {
  const double White = double(clWhite), Grey = double(RGB24ToColor(MakeRGB24(200, 200, 200)));
  struct Case {
    TIEPixelFormat From;
    double Fill;
    TIEPixelFormat To;
    bool Converted;
    TIERGB24 Pixel;  // pixel (0, 0) as a colour afterwards
  };
  const Case Cases[] = {
      {ie1g, 1, ie24RGB, true, MakeRGB24(255, 255, 255)},
      {ie24RGB, White, ie1g, true, MakeRGB24(255, 255, 255)},
      {ie24RGB, Grey, ie8g, true, MakeRGB24(200, 200, 200)},
      {ie24RGB, Grey, ie24RGB, true, MakeRGB24(200, 200, 200)},
      {ie24RGB, Grey, ie8p, false, MakeRGB24(200, 200, 200)},
      {ie24RGB, Grey, ieRGBX32, false, MakeRGB24(200, 200, 200)},
      {ie24RGB, Grey, ieGray16, false, MakeRGB24(200, 200, 200)},
      {ie24RGB, Grey, ie32f, false, MakeRGB24(200, 200, 200)},
      {ie1g, 1, ie8g, false, MakeRGB24(255, 255, 255)},
      {ie8g, 200, ie24RGB, false, MakeRGB24(200, 200, 200)},
      {ie8g, 200, ie1g, false, MakeRGB24(200, 200, 200)},
      {ieRGBX32, Grey, ie24RGB, false, MakeRGB24(200, 200, 200)},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(std::string(FormatName(c.From)) + " -> " + FormatName(c.To));
    auto B = InTBitmap(c.From, c.Fill);
    EXPECT_EQ(B->SetPixelFormat(c.To), c.Converted);
    TIEPixelFormat Want = c.Converted ? c.To : c.From;
    EXPECT_EQ(B->GetPixelFormat(), Want);
    EXPECT_EQ(B->GetRowLen(), int32_t(RowLength64(4, IEBitsOf(Want), 32)));
    EXPECT_EQ(B->GetWidth(), 4);
    EXPECT_TRUE(B->GetPixelAsRGB(0, 0) == c.Pixel);
    EXPECT_TRUE(B->GetPixelAsRGB(3, 3) == c.Pixel);
  }
}

TEST_F(TBitmapConvertTest, MissingRoutinesAndEmptyBitmaps) {
  ProcessingHooks = TProcessingHooks{};
  auto Bw = InTBitmap(ie1g, 1);
  EXPECT_FALSE(Bw->SetPixelFormat(ie24RGB));
  EXPECT_EQ(Bw->GetPixelFormat(), ie1g);
  auto Rgb = InTBitmap(ie24RGB, double(clWhite));
  EXPECT_FALSE(Rgb->SetPixelFormat(ie1g));
  EXPECT_EQ(Rgb->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Rgb->VclBitmap()->PixelFormat(), pf24bit);

  auto* Empty = new TBitmap();
  TIEBitmap Wrapper;
  Wrapper.WrapTBitmap(Empty, false);
  EXPECT_TRUE(ConvertTBitmapFormat(Empty, ie1g, 0));
  EXPECT_EQ(Empty->PixelFormat(), pf1bit);
  EXPECT_TRUE(ConvertTBitmapFormat(Empty, ie24RGB, 0));
  EXPECT_EQ(Empty->PixelFormat(), pf24bit);
  EXPECT_FALSE(ConvertTBitmapFormat(Empty, ie8g, 0));
  Wrapper.FreeImage(true);
  delete Empty;
}

// A caller's 8-bit TBitmap copied into a bitmap kept in a TBitmap: only the copy becomes 24-bit.
TEST_F(TBitmapConvertTest, CopyFromTBitmapLeavesTheCallersBitmap) {
  TBitmap Caller;
  Caller.SetPixelFormat(pf8bit);
  Caller.SetSize(2, 2);
  std::vector<RGBQUAD> Table(256, RGBQUAD{0, 0, 0, 0});
  Table[5] = RGBQUAD{50, 100, 200, 0};
  Caller.SetColorTable(Table);
  for (int32_t y = 0; y < 2; ++y) std::memset(Caller.ScanLine(y), 5, 2);
  TIEBitmap B;
  B.SetLocation(ieTBitmap);
  B.CopyFromTBitmap(&Caller);
  EXPECT_EQ(Caller.PixelFormat(), pf8bit);
  EXPECT_EQ(static_cast<uint8_t*>(Caller.ScanLine(1))[1], 5);
  EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
  EXPECT_TRUE(B.GetPixelAsRGB(1, 1) == MakeRGB24(200, 100, 50));
}

// ---- Masks and DIB sections -----------------------------------------------------------------------------

TEST_F(PixelConvertTest, MaskCopies) {
  TIEBitmap Alpha(5, 3, ie8g);
  Alpha.Fill(40);
  Alpha.SetByte(4, 2, 250);
  TIEMask Mask;
  CopyToTIEMask(&Alpha, &Mask);
  EXPECT_EQ(Mask.BitsPerPixel(), 8);
  EXPECT_EQ(Mask.GetPixel(4, 2), 250);
  EXPECT_EQ(Mask.GetPixel(0, 0), 40);
  TIEBitmap Back;
  Back.CopyFromTIEMask(&Mask);
  EXPECT_EQ(Back.GetPixelFormat(), ie8g);
  EXPECT_EQ(Back.GetByte(4, 2), 250);

  TIEBitmap Rgb(5, 3, ie24RGB);
  CopyToTIEMask(&Rgb, &Mask);  // not a mask format: unchanged
  EXPECT_EQ(Mask.GetPixel(4, 2), 250);
  Back.CopyFromTIEMask(nullptr);
  EXPECT_EQ(Back.GetByte(0, 0), 255);
  EXPECT_TRUE(Back.Full());
}

TEST_F(PixelConvertTest, DibCopies) {
  TIEDibbitmap Dib;
  ASSERT_TRUE(Dib.AllocateBits(3, 2, 24));
  Dib.GetScanline(1)[6] = 11;  // blue of pixel (2, 1)
  TIEBitmap Mem;
  Mem.CopyFromTIEDibbitmap(&Dib);
  EXPECT_EQ(Mem.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Mem.GetRGB(2, 1).b, 11);
  TIEBitmap InTBitmap;
  InTBitmap.SetLocation(ieTBitmap);
  InTBitmap.CopyFromTIEDibbitmap(&Dib);
  EXPECT_EQ(InTBitmap.VclBitmap()->PixelFormat(), pf24bit);
  EXPECT_EQ(InTBitmap.GetWidth(), 3);
  EXPECT_EQ(InTBitmap.GetRGB(2, 1).b, 11);
}

}  // namespace
}  // namespace zv

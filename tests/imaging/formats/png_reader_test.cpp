// The PNG reader against files libpng writes on its own: every colour type and depth with and without
// the native pixel formats and interlacing, the ancillary chunks it takes, parameters-only reads, the
// signature test and damaged files.
#include "imaging/formats/png_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "imaging/core/bitmap.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/png_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::LoggedProgress;
using formattest::StreamOf;
using pngtest::PngFile;

struct ReadOutcome {
  uint8_t Abort = 0;
  std::vector<int> Reports;
  int64_t Position = 0;
};

ReadOutcome ReadPng(const Bytes& File, TIEBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly = false) {
  auto S = StreamOf(File);
  LoggedProgress Progress;
  EXPECT_NO_THROW(PngReadImage(S.get(), &Bitmap, Params, ParamsOnly, Progress.Record));
  return ReadOutcome{Progress.Abort, Progress.Reports, S->Position()};
}

// A small image of the colour type and depth whose samples cover the depth's range.
PngFile Sampled(int ColorType, int Depth, uint32_t Width = 5, uint32_t Height = 4) {
  PngFile F;
  F.Width = Width;
  F.Height = Height;
  F.ColorType = ColorType;
  F.Depth = Depth;
  const uint32_t Levels = 1u << Depth;
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    for (uint32_t i = 0; i < Levels; ++i) F.Palette.push_back(png_color{uint8_t(i * 7 + 3), uint8_t(255 - i), uint8_t(i * 13)});
  }
  for (uint32_t y = 0; y < Height; ++y)
    for (uint32_t x = 0; x < Width; ++x)
      for (int c = 0; c < F.Channels(); ++c) {
        const uint32_t Spread = Depth == 16 ? x * 12345u + y * 4321u + uint32_t(c) * 999u + 77u
                                            : x * 37u + y * 91u + uint32_t(c) * 53u + 11u;
        F.Samples.push_back(uint16_t(Spread % Levels));
      }
  return F;
}

uint8_t To8(uint16_t v, int Depth) {
  switch (Depth) {
    case 16: return uint8_t(v >> 8);
    case 8: return uint8_t(v);
    case 4: return uint8_t(v * 0x11);
    case 2: return uint8_t(v * 0x55);
    default: return v ? 255 : 0;
  }
}

// What the reader must make of pixel (x, y): the colour (blue, green, red) and the alpha.
struct Expected {
  TIERGB24 Color{0, 0, 0};
  uint8_t Alpha = 255;
};

Expected ExpectedPixel(const PngFile& F, uint32_t x, uint32_t y) {
  const size_t At = (size_t(y) * F.Width + x) * size_t(F.Channels());
  const uint16_t* s = F.Samples.data() + At;
  Expected E;
  auto Grey = [&](uint8_t v) { E.Color = TIERGB24{v, v, v}; };
  switch (F.ColorType) {
    case PNG_COLOR_TYPE_GRAY:
      Grey(To8(s[0], F.Depth));
      if (F.Transparent && F.Depth > 1 && s[0] == F.Transparent->gray) E.Alpha = 0;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      Grey(To8(s[0], F.Depth));
      E.Alpha = To8(s[1], F.Depth);
      break;
    case PNG_COLOR_TYPE_PALETTE: {
      const png_color& P = F.Palette[s[0]];
      E.Color = TIERGB24{P.blue, P.green, P.red};
      if (F.Depth > 1 && s[0] < F.PaletteAlpha.size()) E.Alpha = F.PaletteAlpha[s[0]];
      break;
    }
    case PNG_COLOR_TYPE_RGB:
      E.Color = TIERGB24{To8(s[2], F.Depth), To8(s[1], F.Depth), To8(s[0], F.Depth)};
      if (F.Transparent && s[0] == F.Transparent->red && s[1] == F.Transparent->green && s[2] == F.Transparent->blue)
        E.Alpha = 0;
      break;
    default:
      E.Color = TIERGB24{To8(s[2], F.Depth), To8(s[1], F.Depth), To8(s[0], F.Depth)};
      E.Alpha = To8(s[3], F.Depth);
      break;
  }
  return E;
}

bool HasTransparency(const PngFile& F) {
  if (F.Depth == 1) return false;
  return F.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA || F.ColorType == PNG_COLOR_TYPE_RGB_ALPHA ||
         !F.PaletteAlpha.empty() || F.Transparent.has_value();
}

class PngReaderTest : public formattest::FormatsLibraryTest {};

// ---- Colour types, depths and pixel formats ------------------------------------------------------------

TEST_F(PngReaderTest, EveryColourTypeAndDepthGivesItsPixelFormatAndSamplesPlainOrInterlaced) {
  struct Case {
    const char* What;
    int ColorType;
    int Depth;
    int Transparency;  // 0 none, 1 a tRNS chunk
    TIEPixelFormat Plain;
    TIEPixelFormat Native;
    int32_t Samples;
  };
  const Case Cases[] = {
      {"grey 1", PNG_COLOR_TYPE_GRAY, 1, 0, ie1g, ie1g, 1},
      {"grey 1 with tRNS", PNG_COLOR_TYPE_GRAY, 1, 1, ie1g, ie1g, 1},
      {"grey 2", PNG_COLOR_TYPE_GRAY, 2, 0, ie24RGB, ie24RGB, 1},
      {"grey 2 with tRNS", PNG_COLOR_TYPE_GRAY, 2, 1, ie24RGB, ie24RGB, 1},
      {"grey 4", PNG_COLOR_TYPE_GRAY, 4, 0, ie24RGB, ie24RGB, 1},
      {"grey 8", PNG_COLOR_TYPE_GRAY, 8, 0, ie24RGB, ie8g, 1},
      {"grey 8 with tRNS", PNG_COLOR_TYPE_GRAY, 8, 1, ie24RGB, ie8g, 1},
      {"grey 16", PNG_COLOR_TYPE_GRAY, 16, 0, ie24RGB, ieGray16, 1},
      {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, 0, ie24RGB, ie24RGB, 1},
      {"palette 1 with tRNS", PNG_COLOR_TYPE_PALETTE, 1, 1, ie24RGB, ie24RGB, 1},
      {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, 0, ie24RGB, ie24RGB, 1},
      {"palette 4 with tRNS", PNG_COLOR_TYPE_PALETTE, 4, 1, ie24RGB, ie24RGB, 1},
      {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, 0, ie24RGB, ie8p, 1},
      {"palette 8 with tRNS", PNG_COLOR_TYPE_PALETTE, 8, 1, ie24RGB, ie8p, 1},
      {"RGB 8", PNG_COLOR_TYPE_RGB, 8, 0, ie24RGB, ie24RGB, 3},
      {"RGB 16", PNG_COLOR_TYPE_RGB, 16, 0, ie24RGB, ie24RGB, 3},
      {"RGB 16 with tRNS", PNG_COLOR_TYPE_RGB, 16, 1, ie24RGB, ie24RGB, 3},
      {"grey and alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 0, ie24RGB, ie24RGB, 2},
      {"grey and alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 0, ie24RGB, ie24RGB, 2},
      {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 0, ie24RGB, ie24RGB, 4},
      {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, 0, ie24RGB, ie24RGB, 4},
  };
  for (const Case& C : Cases) {
    PngFile F = Sampled(C.ColorType, C.Depth);
    if (C.Transparency) {
      if (C.ColorType == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < F.Palette.size() && i < 5; ++i) F.PaletteAlpha.push_back(uint8_t(i * 60));
      } else {
        // The colour of pixel (1, 0), so that the file has a transparent pixel.
        const uint16_t* s = F.Samples.data() + F.Channels();
        png_color_16 T{};
        T.gray = s[0];
        if (F.ColorType == PNG_COLOR_TYPE_RGB) {
          T.red = s[0];
          T.green = s[1];
          T.blue = s[2];
        }
        F.Transparent = T;
      }
    }
    for (bool Interlaced : {false, true}) {
      F.Interlaced = Interlaced;
      const Bytes File = pngtest::EncodeWithLibpng(F);
      ASSERT_FALSE(File.empty()) << C.What;
      for (uint8_t Native : {0, 1}) {
        SCOPED_TRACE(std::string(C.What) + (Interlaced ? " interlaced" : "") + (Native ? " native" : ""));
        TIEBitmap B;
        TIOParamsVals P(nullptr);
        P.NativePixelFormat = Native;
        const ReadOutcome R = ReadPng(File, B, P);
        ASSERT_EQ(R.Abort, 0);
        EXPECT_EQ(R.Position, int64_t(File.size()));
        const TIEPixelFormat Want = Native ? C.Native : C.Plain;
        ASSERT_EQ(B.GetPixelFormat(), Want);
        ASSERT_EQ(B.GetWidth(), int32_t(F.Width));
        ASSERT_EQ(B.GetHeight(), int32_t(F.Height));
        EXPECT_EQ(P.BitsPerSample, C.Depth);
        EXPECT_EQ(P.SamplesPerPixel, C.Samples);
        EXPECT_EQ(P.PngInterlaced, Interlaced ? 1 : 0);
        const bool Alpha = Want == ie24RGB && HasTransparency(F);
        EXPECT_EQ(B.HasAlphaChannel(), Alpha);
        if (Alpha) {
          EXPECT_FALSE(B.GetAlphaChannel()->Full());
        }
        for (uint32_t y = 0; y < F.Height; ++y)
          for (uint32_t x = 0; x < F.Width; ++x) {
            SCOPED_TRACE("pixel " + std::to_string(x) + "," + std::to_string(y));
            const uint16_t Sample = F.Samples[(size_t(y) * F.Width + x) * size_t(F.Channels())];
            const int32_t X = int32_t(x), Y = int32_t(y);
            switch (Want) {
              case ie1g: EXPECT_EQ((B.GetScanline(Y)[x / 8] >> (7 - x % 8)) & 1, Sample); break;
              case ie8g: EXPECT_EQ(B.GetByte(X, Y), Sample); break;
              case ieGray16: EXPECT_EQ(B.GetWord(X, Y), Sample); break;
              case ie8p: {
                EXPECT_EQ(B.GetByte(X, Y), Sample);
                const png_color& Entry = F.Palette[Sample];
                EXPECT_EQ(B.GetPaletteColor(Sample), (TIERGB24{Entry.blue, Entry.green, Entry.red}));
                break;
              }
              default: {
                const Expected E = ExpectedPixel(F, x, y);
                EXPECT_EQ(B.GetRGB(X, Y), E.Color);
                if (Alpha) {
                  EXPECT_EQ(B.GetAlphaChannel()->GetByte(X, Y), E.Alpha);
                }
              }
            }
          }
        if (Want == ie8p) {
          EXPECT_EQ(B.GetPaletteLength(), 256);
          EXPECT_EQ(P.PaletteCount(), 256);
        }
      }
    }
  }
}

TEST_F(PngReaderTest, InterlacedFilesReportProgressOverSevenPassesUpToOneHundred) {
  PngFile F = Sampled(PNG_COLOR_TYPE_RGB_ALPHA, 8, 9, 21);
  for (bool Interlaced : {false, true}) {
    SCOPED_TRACE(Interlaced ? "interlaced" : "plain");
    F.Interlaced = Interlaced;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadOutcome R = ReadPng(pngtest::EncodeWithLibpng(F), B, P);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_FALSE(R.Reports.empty());
    EXPECT_EQ(R.Reports.back(), 100);
    // One report per new whole percent: 21 rows give 21 values, 147 rows every value from 0.
    EXPECT_EQ(R.Reports.size(), Interlaced ? 101u : 21u);
    for (size_t i = 1; i < R.Reports.size(); ++i) EXPECT_LT(R.Reports[i - 1], R.Reports[i]);
  }
}

TEST_F(PngReaderTest, AnAbortFromTheProgressHandlerEndsTheRowsAfterTheCurrentOne) {
  const Bytes File = pngtest::EncodeWithLibpng(Sampled(PNG_COLOR_TYPE_RGB, 8, 4, 50));
  auto S = StreamOf(File);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  uint8_t Abort = 0;
  int Rows = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  Progress.OnProgress = [&](TObject*, int) {
    if (++Rows == 10) Abort = 1;
  };
  PngReadImage(S.get(), &B, P, false, Progress);
  EXPECT_EQ(Abort, 1);
  EXPECT_EQ(Progress.Counter, 10);
  // The rest of the file is not read.
  EXPECT_LT(S->Position(), int64_t(File.size()));
}

// ---- Ancillary chunks and parameters ------------------------------------------------------------------

TEST_F(PngReaderTest, ResolutionComesFromPhysInMetresElseTheDefault) {
  struct Case {
    const char* What;
    std::optional<std::array<uint32_t, 3>> Phys;
    int32_t DpiX, DpiY;
  };
  const Case Cases[] = {
      {"300 and 72 DPI in metres", std::array<uint32_t, 3>{11811, 2835, 1}, 300, 72},
      {"unknown unit", std::array<uint32_t, 3>{11811, 11811, 0}, 300, 300},
      {"rounds to nothing", std::array<uint32_t, 3>{10, 11811, 1}, 300, 300},
      {"no chunk", std::nullopt, 300, 300},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PngFile F = Sampled(PNG_COLOR_TYPE_RGB, 8);
    F.Phys = C.Phys;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.SetDpiX(1);
    P.SetDpiY(1);
    ASSERT_EQ(ReadPng(pngtest::EncodeWithLibpng(F), B, P).Abort, 0);
    EXPECT_EQ(P.DpiX(), C.DpiX);
    EXPECT_EQ(P.DpiY(), C.DpiY);
  }
  // The default is the library's, whatever it is now.
  DefaultDpiX = 96;
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ReadPng(pngtest::EncodeWithLibpng(Sampled(PNG_COLOR_TYPE_RGB, 8)), B, P);
  DefaultDpiX = 300;
  EXPECT_EQ(P.DpiX(), 96);
}

TEST_F(PngReaderTest, BackgroundChunkInEightBitsOrTheCallersColour) {
  struct Case {
    const char* What;
    PngFile File;
    std::optional<png_color_16> Background;
    TIERGB24 Want;
  };
  png_color_16 Grey16{};
  Grey16.gray = 0xABCD;
  png_color_16 Rgb8{};
  Rgb8.red = 10;
  Rgb8.green = 20;
  Rgb8.blue = 30;
  png_color_16 Index{};
  Index.index = 2;
  const TIERGB24 Callers{1, 2, 3};
  const PngFile PaletteFile = Sampled(PNG_COLOR_TYPE_PALETTE, 4);
  const png_color& Entry = PaletteFile.Palette[2];
  const Case Cases[] = {
      {"16-bit grey by its high byte", Sampled(PNG_COLOR_TYPE_GRAY, 16), Grey16, TIERGB24{0xAB, 0xAB, 0xAB}},
      {"8-bit RGB", Sampled(PNG_COLOR_TYPE_RGB, 8), Rgb8, TIERGB24{30, 20, 10}},
      {"a palette entry", PaletteFile, Index, TIERGB24{Entry.blue, Entry.green, Entry.red}},
      {"no chunk", Sampled(PNG_COLOR_TYPE_RGB, 8), std::nullopt, Callers},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PngFile F = C.File;
    F.Background = C.Background;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.PngBackgroundColor = Callers;
    ASSERT_EQ(ReadPng(pngtest::EncodeWithLibpng(F), B, P).Abort, 0);
    EXPECT_EQ(P.PngBackgroundColor, C.Want);
  }
}

TEST_F(PngReaderTest, PlainAndCompressedTextsInOrderInternationalOnesPassedOver) {
  PngFile F = Sampled(PNG_COLOR_TYPE_RGB, 8);
  F.Texts = {{"Title", "Plain", PNG_TEXT_COMPRESSION_NONE},
             {"Intl", "skipped", PNG_ITXT_COMPRESSION_NONE},
             {"Comment", std::string(300, 'z'), PNG_TEXT_COMPRESSION_zTXt},
             {"Author", "Fran\xE7ois", PNG_TEXT_COMPRESSION_NONE}};
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  P.PngTextKeys.Add("stale");
  P.PngTextValues.Add("stale");
  ASSERT_EQ(ReadPng(pngtest::EncodeWithLibpng(F), B, P).Abort, 0);
  ASSERT_EQ(P.PngTextKeys.Count(), 3);
  ASSERT_EQ(P.PngTextValues.Count(), 3);
  EXPECT_EQ(P.PngTextKeys.Get(0), "Title");
  EXPECT_EQ(P.PngTextValues.Get(0), "Plain");
  EXPECT_EQ(P.PngTextKeys.Get(1), "Comment");
  EXPECT_EQ(P.PngTextValues.Get(1), std::string(300, 'z'));
  EXPECT_EQ(P.PngTextKeys.Get(2), "Author");
  EXPECT_EQ(P.PngTextValues.Get(2), "Fran\xC3\xA7ois");  // Latin-1 in the file, UTF-8 here
}

TEST_F(PngReaderTest, ParamsOnlyFillsTheFieldsFromTheHeaderAndLeavesTheBitmap) {
  PngFile F = Sampled(PNG_COLOR_TYPE_PALETTE, 4, 7, 3);
  F.Interlaced = true;
  F.Phys = std::array<uint32_t, 3>{3937, 3937, 1};
  png_color_16 Index{};
  Index.index = 1;
  F.Background = Index;
  F.Texts = {{"Key", "Value", PNG_TEXT_COMPRESSION_NONE}};
  Bytes File = pngtest::EncodeWithLibpng(F);
  // Damage the image data: a whole read fails there, a parameters-only read never gets there.
  const size_t Idat = std::string(File.begin(), File.end()).find("IDAT");
  ASSERT_NE(Idat, std::string::npos);
  File[Idat + 6] ^= 0xFF;
  TIEBitmap B(2, 2, ie8g);
  B.SetByte(0, 0, 42);
  TIOParamsVals P(nullptr);
  const ReadOutcome R = ReadPng(File, B, P, true);
  EXPECT_EQ(R.Abort, 0);
  EXPECT_EQ(P.Width, 7);
  EXPECT_EQ(P.Height, 3);
  EXPECT_EQ(P.OriginalWidth, 7);
  EXPECT_EQ(P.OriginalHeight, 3);
  EXPECT_EQ(P.BitsPerSample, 4);
  EXPECT_EQ(P.SamplesPerPixel, 1);
  EXPECT_EQ(P.ImageCount, 1);
  EXPECT_EQ(P.DpiX(), 100);
  EXPECT_EQ(P.PaletteCount(), 16);
  EXPECT_EQ(P.Palette[3], (TIERGB24{F.Palette[3].blue, F.Palette[3].green, F.Palette[3].red}));
  EXPECT_EQ(P.PngBackgroundColor, (TIERGB24{F.Palette[1].blue, F.Palette[1].green, F.Palette[1].red}));
  EXPECT_EQ(P.PngTextKeys.Count(), 1);
  EXPECT_EQ(P.PngInterlaced, 1);
  EXPECT_TRUE(R.Reports.empty());
  EXPECT_EQ(B.GetPixelFormat(), ie8g);
  EXPECT_EQ(B.GetWidth(), 2);
  EXPECT_EQ(B.GetByte(0, 0), 42);

  TIEBitmap Whole;
  EXPECT_EQ(ReadPng(File, Whole, P).Abort, 1);
}

TEST_F(PngReaderTest, TwoImagesInOneStreamReadOneAfterTheOther) {
  const Bytes First = pngtest::EncodeWithLibpng(Sampled(PNG_COLOR_TYPE_GRAY, 8, 3, 2));
  const Bytes Second = pngtest::EncodeWithLibpng(Sampled(PNG_COLOR_TYPE_RGB, 8, 2, 5));
  Bytes Both = First;
  Both.insert(Both.end(), Second.begin(), Second.end());
  auto S = StreamOf(Both);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  LoggedProgress Progress;
  PngReadImage(S.get(), &B, P, false, Progress.Record);
  EXPECT_EQ(S->Position(), int64_t(First.size()));
  EXPECT_EQ(B.GetWidth(), 3);
  PngReadImage(S.get(), &B, P, false, Progress.Record);
  EXPECT_EQ(Progress.Abort, 0);
  EXPECT_EQ(B.GetWidth(), 2);
  EXPECT_EQ(B.GetHeight(), 5);
}

// ---- Signature ---------------------------------------------------------------------------------------------

TEST_F(PngReaderTest, SignatureTestLooksAtFourBytesAndPutsThePositionBack) {
  struct Case {
    const char* What;
    Bytes Data;
    bool Png;
  };
  const Case Cases[] = {
      {"whole signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0}, true},
      {"first four only", {0x89, 'P', 'N', 'G', 'x', 'y', 'z', 'w', 0}, true},
      {"four bytes in all", {0x89, 'P', 'N', 'G'}, true},
      {"three bytes", {0x89, 'P', 'N'}, false},
      {"another magic", {0x89, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, false},
      {"empty", {}, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes Data = {'x'};
    Data.insert(Data.end(), C.Data.begin(), C.Data.end());
    auto S = StreamOf(Data);
    S->SetPosition(1);
    EXPECT_EQ(IsPngStream(S.get()), C.Png);
    EXPECT_EQ(S->Position(), 1);
  }
}

// ---- Damaged files ----------------------------------------------------------------------------------------

// A chunk with its length and checksum.
Bytes Chunk(const char* Type, const Bytes& Data) {
  Bytes C = {uint8_t(Data.size() >> 24), uint8_t(Data.size() >> 16), uint8_t(Data.size() >> 8), uint8_t(Data.size()),
             uint8_t(Type[0]), uint8_t(Type[1]), uint8_t(Type[2]), uint8_t(Type[3])};
  C.resize(8 + Data.size());
  std::copy(Data.begin(), Data.end(), C.begin() + 8);
  const uint32_t Crc = uint32_t(crc32(crc32(0, nullptr, 0), C.data() + 4, uInt(C.size() - 4)));
  for (int i = 3; i >= 0; --i) C.push_back(uint8_t(Crc >> (8 * i)));
  return C;
}

Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Bytes Ihdr(uint32_t Width, uint32_t Height, uint8_t Depth, uint8_t ColorType) {
  Bytes D = Be32(Width);
  const Bytes H = Be32(Height);
  D.insert(D.end(), H.begin(), H.end());
  D.insert(D.end(), {Depth, ColorType, 0, 0, 0});
  return Chunk("IHDR", D);
}

Bytes Concat(std::initializer_list<Bytes> Parts) {
  Bytes All;
  for (const Bytes& P : Parts) All.insert(All.end(), P.begin(), P.end());
  return All;
}

const Bytes Signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Image data of Rows rows of RowBytes filtered bytes, all zero.
Bytes ZeroIdat(size_t Rows, size_t RowBytes) {
  const Bytes Raw(Rows * (RowBytes + 1), 0);
  uLongf Size = compressBound(uLong(Raw.size()));
  Bytes Packed(Size);
  compress2(Packed.data(), &Size, Raw.data(), uLong(Raw.size()), 9);
  Packed.resize(Size);
  return Chunk("IDAT", Packed);
}

TEST_F(PngReaderTest, DamagedFilesSetTheAbortByteWithoutAnException) {
  const Bytes Good = pngtest::EncodeWithLibpng(Sampled(PNG_COLOR_TYPE_RGB, 8, 6, 6));
  const std::string Text(Good.begin(), Good.end());
  const size_t IdatAt = Text.find("IDAT") - 4;
  const size_t IendAt = Text.find("IEND") - 4;
  auto Cut = [&](size_t n) { return Bytes(Good.begin(), Good.begin() + long(n)); };
  auto Flipped = [&](size_t At) {
    Bytes B = Good;
    B[At] ^= 0x40;
    return B;
  };
  const Bytes Iend = Chunk("IEND", {});
  const Bytes Palette4x4 = ZeroIdat(4, 4);
  struct Case {
    const char* What;
    Bytes File;
    bool MustAbort;  // else libpng may also pass over the bad chunk and read the image
  };
  const Case Cases[] = {
      {"cut in IHDR", Cut(20), true},
      {"cut in IDAT", Cut(IdatAt + 12), true},
      {"cut before IEND", Cut(IendAt), true},
      {"bad IHDR checksum", Flipped(29), true},
      {"bad IDAT checksum", Flipped(IendAt - 1), true},
      {"0 x 0", Concat({Signature, Ihdr(0, 0, 8, 2), ZeroIdat(1, 3), Iend}), true},
      {"2^31 wide", Concat({Signature, Ihdr(0x80000000u, 1, 8, 2), ZeroIdat(1, 3), Iend}), true},
      {"palette of 300 entries", Concat({Signature, Ihdr(4, 4, 8, 3), Chunk("PLTE", Bytes(900, 7)), Palette4x4, Iend}),
       true},
      {"tRNS longer than PLTE",
       Concat({Signature, Ihdr(4, 4, 8, 3), Chunk("PLTE", Bytes(6, 9)), Chunk("tRNS", Bytes(200, 1)), Palette4x4, Iend}),
       false},
      {"1-bit indexes past a one-entry PLTE",
       Concat({Signature, Ihdr(8, 2, 1, 3), Chunk("PLTE", {1, 2, 3}), Chunk("IDAT", [] {
                 const Bytes Raw = {0, 0xFF, 0, 0xFF};
                 uLongf Size = 64;
                 Bytes Packed(Size);
                 compress2(Packed.data(), &Size, Raw.data(), uLong(Raw.size()), 9);
                 Packed.resize(Size);
                 return Packed;
               }()), Iend}),
       false},
      {"not a PNG", Bytes(64, 'x'), true},
      {"empty", {}, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadOutcome R = ReadPng(C.File, B, P);
    if (C.MustAbort) {
      EXPECT_EQ(R.Abort, 1);
    }
  }
}

TEST_F(PngReaderTest, SizesTheStreamCannotHoldFailBeforeTheBitmapIsAllocated) {
  // 60000 x 60000 RGBA is 14 GB of image data; deflate cannot make that out of what follows.
  const Bytes File =
      Concat({Signature, Ihdr(60000, 60000, 8, 6), Chunk("IDAT", Bytes(100, 0)), Chunk("IEND", {})});
  for (bool ParamsOnly : {false, true}) {
    SCOPED_TRACE(ParamsOnly ? "parameters only" : "whole read");
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    // The header itself is sound: a parameters-only read reports it.
    EXPECT_EQ(ReadPng(File, B, P, ParamsOnly).Abort, ParamsOnly ? 0 : 1);
    EXPECT_EQ(P.Width, 60000);
    EXPECT_TRUE(B.IsEmpty());
  }
}

}  // namespace
}  // namespace zv

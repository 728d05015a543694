// The TIFF reader: hand-made pages for the row decoders and unpacking cases, pages, tiles and parameters,
// files written by libtiff for every compression and colour kind, damaged files and a mutation loop.
#include "imaging/formats/tiff_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/libtiff_oracle.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::LoggedProgress;
using formattest::StreamOf;
using namespace tifffixture;

class TiffReaderTest : public formattest::FormatsLibraryTest {};

struct ReadResult {
  uint8_t Abort = 0;
  int32_t PageCount = 0;
  std::unique_ptr<TIEMask> Mask;
};

ReadResult Read(const Bytes& File, TIEBitmap& B, TIOParamsVals& P, bool ParamsOnly = false, bool IgnoreAlpha = false,
                bool Thumbnail = false) {
  auto S = StreamOf(File);
  LoggedProgress Progress;
  ReadResult R;
  TIEMask* Mask = nullptr;
  TiffReadImage(&B, S.get(), R.PageCount, P, Progress.Record, ParamsOnly, Mask, false, IgnoreAlpha, Thumbnail);
  R.Mask.reset(Mask);
  R.Abort = Progress.Abort;
  return R;
}

// A one-strip page with the given strip and tags besides the basic ones.
Bytes Page(uint32_t W, uint32_t H, uint32_t Bits, uint32_t Samples, uint32_t Photometric, uint32_t Compression,
           const Bytes& Strip, std::vector<Tag> More = {}, bool Big = false) {
  TiffBuilder B(Big);
  const uint32_t At = B.AddData(Strip);
  std::vector<Tag> Tags = {Long(256, {W}),
                           Long(257, {H}),
                           Short(258, std::vector<uint32_t>(Samples, Bits)),
                           Short(259, {Compression}),
                           Short(262, {Photometric}),
                           Long(273, {At}),
                           Short(277, {Samples}),
                           Long(278, {H}),
                           Long(279, {uint32_t(Strip.size())})};
  for (const Tag& T : More) {
    auto Same = std::find_if(Tags.begin(), Tags.end(), [&](const Tag& A) { return A.Number == T.Number; });
    if (Same != Tags.end()) *Same = T;
    else Tags.push_back(T);
  }
  std::sort(Tags.begin(), Tags.end(), [](const Tag& A, const Tag& C) { return A.Number < C.Number; });
  B.AddPage(Tags);
  return B.Data();
}

Bytes Deflate(const Bytes& In) {
  uLongf Size = compressBound(uLong(In.size()));
  Bytes Out(Size);
  compress(Out.data(), &Size, In.data(), uLong(In.size()));
  Out.resize(Size);
  return Out;
}

Bytes Row0(TIEBitmap& B, int32_t Bytes) {
  const uint8_t* R = B.GetScanline(0);
  return zv::formattest::Bytes(R, R + Bytes);
}

Bytes RgbRow(TIEBitmap& B, int32_t y) {
  const uint8_t* R = B.GetScanline(y);
  return zv::formattest::Bytes(R, R + size_t(B.GetWidth()) * 3);
}

// Every byte of the bitmap's rows, padding included.
Bytes AllRows(TIEBitmap& B) {
  Bytes Out;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* R = B.GetScanline(y);
    Out.insert(Out.end(), R, R + B.GetRowLen());
  }
  return Out;
}

TEST_F(TiffReaderTest, RowDecodersAndSampleWidths) {
  struct Case {
    const char* Name;
    uint32_t W, Bits, Compression;
    Bytes Strip;
    std::vector<Tag> More;
    Bytes Expected;  // grey row
  };
  const std::vector<Case> Cases = {
      {"4-bit", 2, 4, 1, {0x1F}, {}, {17, 255}},
      {"2-bit ramp", 4, 2, 1, {0x1B}, {}, {0, 85, 170, 255}},
      {"PackBits", 6, 8, 32773, {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A}, {}, {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A}},
      {"PackBits run past the row", 3, 8, 32773, {0xFB, 0x11}, {}, {0x11, 0x11, 0x11}},
      {"Deflate and predictor", 4, 8, 8, Deflate({10, 1, 1, 1}), {Short(317, {2})}, {10, 11, 12, 13}},
      {"Deflate 32946", 4, 8, 32946, Deflate({1, 2, 3, 4}), {}, {1, 2, 3, 4}},
      {"fill order 2", 8, 1 * 8, 1, {0x01, 2, 3, 4, 5, 6, 7, 8}, {Short(266, {2})},
       {0x80, 0x40, 0xC0, 0x20, 0xA0, 0x60, 0xE0, 0x10}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = 1;
    const ReadResult R = Read(Page(C.W, 1, C.Bits, 1, 1, C.Compression, C.Strip, C.More), B, P);
    ASSERT_EQ(R.Abort, 0);
    // Only 8-bit grey stays grey; narrower samples come as RGB.
    Bytes Got;
    for (uint32_t x = 0; x < C.W; ++x)
      Got.push_back(B.GetPixelFormat() == ie8g ? B.GetScanline(0)[x] : B.GetScanline(0)[3 * x]);
    EXPECT_EQ(Got, C.Expected);
  }
}

// 8-bit RGB PackBits rows decoded straight into the bitmap: 4-pixel rows have no padding, so a run
// written past its row's end would land in a neighbouring row.
TEST_F(TiffReaderTest, PackBitsRgbRowsInTheBitmap) {
  const Bytes Ramp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  auto Literal = [](const Bytes& Run) {
    Bytes Out(Run.size() + 1);
    Out[0] = uint8_t(Run.size() - 1);
    std::copy(Run.begin(), Run.end(), Out.begin() + 1);
    return Out;
  };
  auto Join = [](std::initializer_list<Bytes> Parts) {
    Bytes Out;
    for (const Bytes& P : Parts) Out.insert(Out.end(), P.begin(), P.end());
    return Out;
  };
  Bytes Long16(16);
  for (size_t i = 0; i < Long16.size(); ++i) Long16[i] = uint8_t(100 + i);
  const Bytes Sixes(12, 6), Nines(12, 9), Zeros(12, 0);
  Bytes Mixed = {0x33, 0x33, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  struct Case {
    const char* Name;
    Bytes Strip;
    std::vector<Bytes> Rows;  // RGB as stored
  };
  const std::vector<Case> Cases = {
      {"literal rows", Join({Literal(Ramp), Literal(Ramp), Literal(Ramp)}), {Ramp, Ramp, Ramp}},
      {"repeat runs to the row end", Join({{0xF5, 6}, {0xF5, 9}, {0xF5, 6}}), {Sixes, Nines, Sixes}},
      {"literal run past the row", Join({Literal(Long16), Literal(Ramp), {0xF5, 9}}),
       {Bytes(Long16.begin(), Long16.begin() + 12), Ramp, Nines}},
      {"repeat run of 128", Join({{0x81, 6}, Literal(Ramp), {0x81, 9}}), {Sixes, Ramp, Nines}},
      {"repeat then literal", Join({{0xFF, 0x33}, Literal({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), Literal(Ramp), {0x81, 6}}),
       {Mixed, Ramp, Sixes}},
      {"strip cut after a row", Join({Literal(Ramp), {0x0B, 1, 2}}), {Ramp, {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Zeros}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap B(4, 3, ie24RGB);
    for (int32_t y = 0; y < 3; ++y) std::memset(B.GetScanline(y), 0xA5, size_t(B.GetRowLen()));
    TIOParamsVals P(nullptr);
    Read(Page(4, 3, 8, 3, 2, 32773, C.Strip), B, P);
    ASSERT_EQ(B.GetWidth(), 4);
    ASSERT_EQ(B.GetHeight(), 3);
    for (int32_t y = 0; y < 3; ++y) {
      Bytes Bgr = C.Rows[size_t(y)];
      for (size_t i = 0; i < Bgr.size(); i += 3) std::swap(Bgr[i], Bgr[i + 2]);
      EXPECT_EQ(RgbRow(B, y), Bgr) << "row " << y;
    }
  }
}

TEST_F(TiffReaderTest, ColourKinds) {
  struct Case {
    const char* Name;
    uint32_t W, Bits, Samples, Photometric;
    Bytes Strip;
    std::vector<Tag> More;
    Bytes ExpectedRgb;  // B, G, R of the first pixels
    int Tolerance;
  };
  const std::vector<Case> Cases = {
      {"min-is-white grey", 2, 8, 1, 0, {0, 255}, {}, {255, 255, 255, 0, 0, 0}, 0},
      {"RGB", 1, 8, 3, 2, {10, 20, 30}, {}, {30, 20, 10}, 0},
      {"RGB555", 1, 16, 1, 2, {0x00, 0x7C}, {}, {0, 0, 248}, 0},
      {"premultiplied", 1, 8, 5, 2, {100, 50, 25, 128, 7}, {Short(338, {1, 0})}, {49, 99, 199}, 0},
      {"premultiplied above alpha is clamped", 1, 8, 5, 2, {200, 50, 25, 100, 7}, {Short(338, {1, 0})},
       {63, 127, 255}, 0},
      {"YCbCr 4:2:2", 2, 8, 3, 6, {100, 200, 128, 128}, {Short(530, {2, 1})}, {100, 100, 100, 200, 200, 200}, 1},
      {"palette", 2, 8, 1, 3, {1, 0}, {}, {}, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<Tag> More = C.More;
    Bytes Expected = C.ExpectedRgb;
    if (C.Photometric == 3) {
      std::vector<uint32_t> Map(3 * 256, 0);
      Map[1] = 0xFF00;        // red of entry 1
      Map[256 + 0] = 0x8000;  // green of entry 0
      More.push_back(Short(320, Map));
      Expected = {0, 0, 255, 0, 128, 0};
    }
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = Read(Page(C.W, 1, C.Bits, C.Samples, C.Photometric, 1, C.Strip, More), B, P);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
    const Bytes Got = Row0(B, int32_t(Expected.size()));
    for (size_t i = 0; i < Expected.size(); ++i) EXPECT_NEAR(Got[i], Expected[i], C.Tolerance) << i;
  }
}

TEST_F(TiffReaderTest, AlphaAndNativeFormats) {
  // RGBA: the mask holds the fourth samples; with IgnoreAlpha there is none.
  const Bytes Rgba = Page(2, 1, 8, 4, 2, 1, {1, 2, 3, 40, 4, 5, 6, 255});
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = Read(Rgba, B, P);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_NE(R.Mask, nullptr);
    EXPECT_FALSE(R.Mask->Full());
    EXPECT_EQ(R.Mask->GetScanline(0)[0], 40);
    EXPECT_EQ(R.Mask->GetScanline(0)[1], 255);
    EXPECT_EQ(Row0(B, 6), (Bytes{3, 2, 1, 6, 5, 4}));
  }
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = Read(Rgba, B, P, false, true);
    EXPECT_EQ(R.Mask, nullptr);
  }
  // 16-bit RGB: words kept natively, bytes otherwise; big-endian words come out in host order.
  const Bytes Rgb48 = Page(1, 1, 16, 3, 2, 1, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00}, {}, true);
  for (const bool Native : {true, false}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = Native;
    ASSERT_EQ(Read(Rgb48, B, P).Abort, 0);
    if (Native) {
      ASSERT_EQ(B.GetPixelFormat(), ieRGB48);
      uint16_t W[3];
      std::memcpy(W, B.GetScanline(0), 6);
      EXPECT_EQ(W[0], 0x1234);
      EXPECT_EQ(W[1], 0xABCD);
    } else {
      ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
      EXPECT_EQ(Row0(B, 3), (Bytes{0xFF, 0xAB, 0x12}));
    }
  }
  // "Look@Molli v1.1" 16-bit grey takes bits 4 to 11.
  for (const bool Molli : {true, false}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const Bytes F = Page(1, 1, 16, 1, 1, 1, {0x0A, 0xBC}, {Ascii(305, Molli ? "Look@Molli v1.1 x" : "other")}, true);
    ASSERT_EQ(Read(F, B, P).Abort, 0);
    EXPECT_EQ(B.GetScanline(0)[0], Molli ? 0xAB : 0x0A);
  }
}

TEST_F(TiffReaderTest, PixelFormatChosen) {
  struct Case {
    uint32_t Bits, Samples, Photometric;
    uint8_t Native;
    TIEPixelFormat Expected;
  };
  const Case Cases[] = {
      {1, 1, 1, 0, ie1g},      {1, 1, 3, 1, ie24RGB},  {8, 1, 1, 0, ie24RGB},  {8, 1, 3, 1, ie8p},
      {8, 1, 0, 1, ie8g},      {16, 1, 1, 1, ieGray16}, {8, 4, 5, 1, ieCMYK},  {8, 5, 5, 1, ieCMYK},
      {16, 4, 5, 1, ieCMYK},   {16, 3, 2, 1, ieRGB48},  {8, 3, 2, 1, ie24RGB}, {4, 1, 1, 1, ie24RGB},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Bits << " bits, " << C.Samples << " samples, photometric "
                                    << C.Photometric << (C.Native != 0 ? ", native" : ""));
    std::vector<Tag> More;
    if (C.Photometric == 3) More.push_back(Short(320, std::vector<uint32_t>(3u << C.Bits, 0)));
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = C.Native;
    const Bytes Strip((2 * C.Samples * C.Bits + 7) / 8, 0);
    ASSERT_EQ(Read(Page(2, 1, C.Bits, C.Samples, C.Photometric, 1, Strip, More), B, P).Abort, 0);
    EXPECT_EQ(B.GetPixelFormat(), C.Expected);
  }
}

TEST_F(TiffReaderTest, LoadThroughTheIOComponent) {
  TIEBitmap B;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&B));
  auto S = StreamOf(Page(2, 1, 8, 4, 2, 32773, {0x07, 1, 2, 3, 40, 4, 5, 6, 255}));
  IO->LoadTiffStream(S.get());
  ASSERT_EQ(IO->AbortFlag, 0);
  ASSERT_EQ(B.GetWidth(), 2);
  EXPECT_EQ(Row0(B, 6), (Bytes{3, 2, 1, 6, 5, 4}));
  ASSERT_TRUE(B.HasAlphaChannel());
  EXPECT_EQ(B.GetAlphaChannel()->GetScanline(0)[0], 40);
  EXPECT_EQ(B.GetAlphaChannel()->GetScanline(0)[1], 255);
}

TEST_F(TiffReaderTest, PagesResolutionAndParams) {
  TiffBuilder F(false);
  const uint32_t At = F.AddData({1, 2, 3});
  for (uint32_t i = 0; i < 3; ++i)
    F.AddPage({Long(256, {i + 1}), Long(257, {1}), Short(258, {8}), Short(262, {1}), Long(273, {At}),
               Long(279, {3}), Rational(282, {72, 1}), Rational(283, {0, 1}), Short(296, {3})});
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.TiffImageIndex = 2;
    const ReadResult R = Read(F.Data(), B, P);
    EXPECT_EQ(R.Abort, 0);
    EXPECT_EQ(R.PageCount, 3);
    EXPECT_EQ(B.GetWidth(), 3);
    EXPECT_EQ(P.DpiX(), 182);
    EXPECT_NEAR(P.ExifXResolution, 182.88, 1e-9);
    EXPECT_EQ(P.DpiY(), DefaultDpiY);
    EXPECT_EQ(P.ImageCount, 3);
  }
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.TiffImageIndex = 3;
    const ReadResult R = Read(F.Data(), B, P);
    EXPECT_EQ(R.Abort, 1);
    EXPECT_EQ(R.PageCount, 3);
  }
  // Parameters only: nothing allocated, the fields filled.
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.TiffImageIndex = 1;
    const ReadResult R = Read(F.Data(), B, P, true);
    EXPECT_EQ(R.Abort, 0);
    EXPECT_EQ(P.Width, 2);
    EXPECT_EQ(B.GetWidth(), 0);
  }
  // Bilevel RGB becomes min-is-white; (8, 8, 16) bits abort.
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(Read(Page(8, 1, 1, 1, 2, 1, {0x0F}), B, P).Abort, 0);
    EXPECT_EQ(P.TiffPhotometric, 0);
    EXPECT_EQ(B.GetScanline(0)[0], 0xF0);
  }
  {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(Read(Page(1, 1, 8, 3, 2, 1, {1, 2, 3, 4}, {Short(258, {8, 8, 16})}), B, P).Abort, 1);
  }
}

// A 100 x 70 grey image in 64 x 64 tiles whose pixel (x, y) is x + y.
Bytes TiledGrey() {
  TiffBuilder F(false);
  std::vector<uint32_t> Offsets, Counts;
  for (int ty = 0; ty < 2; ++ty)
    for (int tx = 0; tx < 2; ++tx) {
      Bytes T(64 * 64);
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) T[size_t(y * 64 + x)] = uint8_t(tx * 64 + x + ty * 64 + y);
      Offsets.push_back(F.AddData(T));
      Counts.push_back(uint32_t(T.size()));
    }
  F.AddPage({Long(256, {100}), Long(257, {70}), Short(258, {8}), Short(262, {1}), Long(322, {64}), Long(323, {64}),
             Long(324, Offsets), Long(325, Counts)});
  return F.Data();
}

TEST_F(TiffReaderTest, Tiles) {
  struct Case {
    int32_t Index, W, H, X, Y;
  };
  for (const Case& C : {Case{-1, 100, 70, 0, 0}, Case{0, 64, 64, 0, 0}, Case{3, 64, 64, 64, 64}}) {
    SCOPED_TRACE(C.Index);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = 1;
    P.TiffTileIndex = C.Index;
    ASSERT_EQ(Read(TiledGrey(), B, P).Abort, 0);
    ASSERT_EQ(B.GetWidth(), C.W);
    ASSERT_EQ(B.GetHeight(), C.H);
    for (int y = 0; y < C.H; y += 7)
      for (int x = 0; x < C.W; x += 5) ASSERT_EQ(B.GetScanline(y)[x], uint8_t(C.X + x + C.Y + y)) << x << "," << y;
  }
  // An index past the tiles is refused before the bitmap is made.
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  P.TiffTileIndex = 4;
  EXPECT_EQ(Read(TiledGrey(), B, P).Abort, 1);
  EXPECT_EQ(B.GetWidth(), 0);
}

TEST_F(TiffReaderTest, ThumbnailModeAndAccess) {
  TIEBitmap B;
  B.SetAccess(iedRead);
  TIOParamsVals P(nullptr);
  EXPECT_EQ(Read(Page(500, 300, 8, 1, 1, 1, Bytes(10)), B, P, false, false, true).Abort, 1);
  EXPECT_EQ(B.Access(), iedRead);
  EXPECT_EQ(Read(Page(5, 3, 8, 1, 1, 5, {0xFF, 0xFF, 0xFF}), B, P).Abort, 1);  // broken LZW
  EXPECT_EQ(B.Access(), iedRead);
}

TEST_F(TiffReaderTest, CorruptInput) {
  const Bytes Rows(40 * 10, 7);
  const uint32_t Huge = 0xFFFFFFFFu;
  // Reads: short rows instead of abort are fine. Refused: abort before the bitmap is allocated.
  enum TOutcome { Reads, Aborts, Refused };
  struct Case {
    const char* Name;
    Bytes File;
    TOutcome Outcome;
  };
  std::vector<uint32_t> ShortMap(3 * 8, 0);
  Bytes LongRuns;  // repeat and literal runs of 128 bytes in 40-byte rows
  for (int i = 0; i < 4; ++i) LongRuns.insert(LongRuns.end(), {0x81, 9});
  LongRuns.push_back(0x7F);
  LongRuns.resize(LongRuns.size() + 128, 5);
  TiffBuilder OldJpegPastTheEnd(false);
  OldJpegPastTheEnd.AddPage({Long(256, {8}), Long(257, {8}), Short(258, {8, 8, 8}), Short(259, {6}), Short(262, {6}),
                             Long(273, {8}), Short(277, {3}), Long(513, {1000000})});
  // Empty tables, and a strip whose frame header gives a sample precision of 1.
  const Bytes BadJpegStrip =
      Page(16, 8, 8, 3, 2, 7,
           {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x01, 0x00, 0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x00,
            0x03, 0x11, 0x00, 0xFF, 0xD9},
           {Raw(347, 7, {0xFF, 0xD8, 0xFF, 0xD9})});
  const std::vector<Case> Cases = {
      {"strip offset past the end", Page(40, 10, 8, 1, 1, 1, Rows, {Long(273, {100000})}), Reads},
      {"fewer offsets than strips", Page(40, 10, 8, 1, 1, 1, Rows, {Long(278, {2})}), Reads},
      {"byte count 2^32-1", Page(40, 10, 8, 1, 1, 32773, Rows, {Long(279, {Huge})}), Reads},
      {"width 0", Page(0, 10, 8, 1, 1, 1, Rows), Refused},
      {"height 2^31", Page(40, 0x80000000u, 8, 1, 1, 1, Rows), Refused},
      {"height 0", Page(40, 0, 8, 1, 1, 1, Rows), Refused},
      {"width 2^31", Page(0x80000000u, 10, 8, 1, 1, 1, Rows), Refused},
      {"bits 0", Page(40, 10, 0, 1, 1, 1, Rows), Refused},
      {"bits 33", Page(40, 10, 33, 1, 1, 1, Rows), Refused},
      {"bits (8, 8, 16)", Page(1, 1, 8, 3, 2, 1, {1, 2, 3, 4}, {Short(258, {8, 8, 16})}), Refused},
      {"tiles 0 x 0", Page(40, 10, 8, 1, 1, 1, Rows, {Long(322, {0}), Long(323, {0}), Long(324, {8})}), Refused},
      {"tiles 1 x 1 in a wide image", Page(60000, 10, 8, 1, 1, 1, Rows, {Long(322, {1}), Long(323, {1}), Long(324, {8})}),
       Refused},
      {"fewer tile offsets than tiles",
       Page(40, 10, 8, 1, 1, 1, Rows, {Long(322, {16}), Long(323, {16}), Long(324, {8})}), Refused},
      {"planar tiles", Page(40, 10, 8, 3, 2, 1, Rows, {Short(284, {2}), Long(322, {16}), Long(323, {16}), Long(324, {8})}),
       Refused},
      {"corrupt Deflate", Page(40, 10, 8, 1, 1, 8, {1, 2, 3, 4, 5}), Aborts},
      {"PackBits runs past the row", Page(40, 10, 8, 1, 1, 32773, LongRuns), Reads},
      {"LZW cut mid-strip", Page(40, 10, 8, 1, 1, 5, {0x80, 0x00}), Reads},
      {"palette without a map", Page(4, 1, 8, 1, 3, 1, {0, 1, 2, 3}), Refused},
      {"palette map short", Page(4, 1, 4, 1, 3, 1, {0, 1}, {Short(320, ShortMap)}), Refused},
      {"palette of 17 bits", Page(4, 1, 17, 1, 3, 1, Bytes(12)), Refused},
      {"undecodable combination", Page(4, 1, 8, 3, 8, 1, Bytes(12, 1), {Short(262, {9})}), Aborts},
      {"YCbCr 4:2:0 uncompressed", Page(4, 2, 8, 3, 6, 1, Bytes(24, 1)), Refused},
      {"old JPEG past the end", Page(4, 2, 8, 3, 2, 6, Bytes(24, 1), {Long(513, {1000000})}), Aborts},
      {"old JPEG past the end, no byte counts", OldJpegPastTheEnd.Data(), Refused},
      {"JPEG-tables strip that does not decode", BadJpegStrip, Aborts},
      // Sizes far beyond what the file could code: refused before the bitmap is made.
      {"15,597,576 x 6 in 400 bytes", Page(15597576, 6, 8, 1, 1, 1, Rows), Refused},
      {"2048 x 6 of 65535 samples, Deflate", Page(2048, 6, 8, 65535, 1, 8, Rows), Refused},
      {"tiles 16 x 83,886,096", Page(40, 10, 8, 1, 1, 1, Rows, {Long(322, {16}), Long(323, {83886096}), Long(324, {8})}),
       Refused},
      {"4096 x 4096 grey in 500 bytes", Page(4096, 4096, 8, 1, 1, 1, Rows), Refused},
      {"1,048,581 x 6 grey, Deflate", Page(1048581, 6, 8, 1, 1, 8, Deflate(Bytes(100, 0))), Refused},
      {"4000 x 4000 one-bit palette in 500 bytes",
       Page(4000, 4000, 1, 1, 3, 1, Rows, {Short(320, std::vector<uint32_t>(6, 0))}), Refused},
      {"old JPEG 16384 x 16384 in 500 bytes", Page(16384, 16384, 8, 3, 2, 6, Rows), Refused},
      // Rows: each costs its decoding and writing however narrow, and a fax row takes at least a bit.
      {"1 x 2^27 bilevel in 500 bytes", Page(1, 1u << 27, 1, 1, 1, 1, Rows), Refused},
      {"MH 8 x 14,476,803 in 500 bytes", Page(8, 14476803, 1, 1, 1, 2, Rows), Refused},
      {"G4 8 x 8000 in 500 bytes", Page(8, 8000, 1, 1, 1, 4, Rows), Refused},
      {"G4 row of 2^26 pixels in 4 KB", Page(1u << 26, 1, 1, 1, 1, 4, Bytes(4000)), Refused},
      {"MH of 2^30 + 2 samples", Page(8, 249, 8, 1, 1, 2, Rows, {Long(277, {0x40000002})}), Refused},
      {"MH of 8 bits", Page(8, 10, 8, 1, 1, 2, Rows), Refused},
      {"1024 tiles 2^20 x 16 down a 1 x 16384 image",
       Page(1, 16384, 8, 1, 1, 1, Rows,
            {Long(322, {1u << 20}), Long(323, {16}), Long(324, std::vector<uint32_t>(1024, 8))}),
       Refused},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = Read(C.File, B, P);
    if (C.Outcome != Reads) {
      EXPECT_EQ(R.Abort, 1);
    }
    if (C.Outcome == Refused) {
      EXPECT_EQ(B.GetWidth(), 0) << "allocated";
    }
  }
  // A strip cut short reads what is there and zeros after it.
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  P.NativePixelFormat = 1;
  const Bytes Short3 = Page(4, 3, 8, 1, 1, 32773, {0x03, 1, 2, 3, 4, 0x03, 5, 6});
  Read(Short3, B, P);
  EXPECT_EQ(Row0(B, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(B.GetScanline(1)[0], 5);
  EXPECT_EQ(B.GetScanline(1)[2], 0);
  EXPECT_EQ(B.GetScanline(2)[0], 0);
  // Data inflating far past its strip's rows (16 MB for a row of 16 bytes), under 64 one-row strips:
  // each strip inflates its own row, not the rest.
  Bytes Plain(16 << 20, 0);
  for (size_t i = 0; i < 16; ++i) Plain[i] = uint8_t(i + 1);
  const Bytes Packed = Deflate(Plain);
  TiffBuilder F(false);
  const uint32_t At = F.AddData(Packed);
  F.AddPage({Long(256, {16}), Long(257, {64}), Short(258, {8}), Short(259, {8}), Short(262, {1}),
             Long(273, std::vector<uint32_t>(64, At)), Long(278, {1}),
             Long(279, std::vector<uint32_t>(64, uint32_t(Packed.size())))});
  ASSERT_EQ(Read(F.Data(), B, P).Abort, 0);
  ASSERT_EQ(B.GetHeight(), 64);
  for (const int32_t y : {0, 63})
    EXPECT_EQ(Bytes(B.GetScanline(y), B.GetScanline(y) + 16), Bytes(Plain.begin(), Plain.begin() + 16)) << y;
  // Deflate data cut in their middle, or with a wrong check value: the rows inflated are kept, those
  // after them are zero, and the read aborts.
  Bytes Noise(40 * 10);
  std::mt19937 Rng(29);
  for (uint8_t& v : Noise) v = uint8_t(Rng());
  const Bytes Whole = Deflate(Noise);
  Bytes BadCheck = Whole;
  BadCheck.back() ^= 1;
  const Bytes Cut(Whole.begin(), Whole.begin() + ptrdiff_t(Whole.size() / 2));
  for (const auto& [Strip, RowsKept] : {std::pair{Cut, 4}, std::pair{BadCheck, 10}}) {
    SCOPED_TRACE(RowsKept);
    ASSERT_EQ(Read(Page(40, 10, 8, 1, 1, 8, Strip), B, P).Abort, 1);
    ASSERT_EQ(B.GetHeight(), 10);
    for (int32_t y = 0; y < 10; ++y) {
      const Bytes Row(B.GetScanline(y), B.GetScanline(y) + 40);
      if (y < RowsKept) {
        EXPECT_EQ(Row, Bytes(Noise.begin() + y * 40, Noise.begin() + y * 40 + 40)) << y;
      } else if (y > RowsKept) {
        EXPECT_EQ(Row, Bytes(40, 0)) << y;
      }
    }
  }
  // Pages given up once the bitmap is made leave zeros in it, neither the pixels it held nor rows never
  // decoded.
  struct Given {
    Bytes File;
    int32_t W, H;
  };
  for (const Given& G : {Given{Page(4, 1, 8, 3, 8, 1, Bytes(12, 1), {Short(262, {9})}), 4, 1},
                         Given{BadJpegStrip, 16, 8}}) {
    TIEBitmap D(G.W, G.H, ie24RGB);
    for (int32_t y = 0; y < G.H; ++y) std::memset(D.GetScanline(y), 0xA5, size_t(D.GetRowLen()));
    TIOParamsVals Q(nullptr);
    EXPECT_EQ(Read(G.File, D, Q).Abort, 1);
    ASSERT_EQ(D.GetWidth(), G.W);
    EXPECT_EQ(AllRows(D), Bytes(size_t(D.GetRowLen()) * size_t(G.H), 0)) << G.W;
  }
}

// The bounds on work against file size leave the thinnest honest files alone: a blank fax page (a bit
// or so a row) and a tall one-pixel-wide page.
TEST_F(TiffReaderTest, ThinFilesWithinTheWorkBounds) {
  struct Case {
    uint32_t W, H;
    uint16_t Compression;
  };
  for (const Case& C : {Case{1728, 2200, COMPRESSION_CCITTFAX4}, Case{1728, 2200, COMPRESSION_CCITTFAX3},
                        Case{1, 700000, COMPRESSION_NONE}}) {
    SCOPED_TRACE(C.Compression);
    libtiff::MemoryFile F;
    TIFF* T = libtiff::Open(F, "w");
    const uint16_t Bits = C.Compression == COMPRESSION_NONE ? 8 : 1;
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, C.W);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, C.H);
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, Bits);
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(T, TIFFTAG_COMPRESSION, C.Compression);
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, C.H);
    if (C.Compression == COMPRESSION_CCITTFAX3) TIFFSetField(T, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    Bytes Row((size_t(C.W) * Bits + 7) / 8, 0);
    for (uint32_t y = 0; y < C.H; ++y) TIFFWriteScanline(T, Row.data(), y, 0);
    TIFFClose(T);
    if (C.Compression == COMPRESSION_CCITTFAX4) {
      EXPECT_LT(F.Data.size(), size_t(C.H) / 4);
    }
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = 1;
    ASSERT_EQ(Read(F.Data, B, P).Abort, 0);
    ASSERT_EQ(B.GetWidth(), int32_t(C.W));
    ASSERT_EQ(B.GetHeight(), int32_t(C.H));
    for (uint32_t y = 0; y < C.H; y += 997) EXPECT_EQ(B.GetScanline(int32_t(y))[0], 0xFF) << y;
  }
}

// ---- Files written by libtiff ------------------------------------------------------------------------------

struct LibtiffPage {
  uint32_t W = 37, H = 23;
  uint16_t Bits = 8, Samples = 1, Photometric = PHOTOMETRIC_MINISBLACK, Compression = COMPRESSION_NONE;
  uint16_t Predictor = 1, Planar = PLANARCONFIG_CONTIG, ExtraSample = 0;
  uint32_t RowsPerStrip = 5, Tile = 0;
  uint32_t G3Options = 0;
  bool Palette = false;
};

uint16_t SampleAt(const LibtiffPage& L, uint32_t x, uint32_t y, uint32_t s) {
  const uint32_t V = x * 7 + y * 13 + s * 71;
  if (L.Bits == 1) return uint16_t(((x / 3 + y) % 3) == 0);
  if (L.Bits == 16) return uint16_t(V * 331);
  return uint16_t(V & ((1u << L.Bits) - 1));
}

Bytes WriteWithLibtiff(const LibtiffPage& L) {
  libtiff::MemoryFile F;
  TIFF* T = libtiff::Open(F, "w");
  TIFFSetField(T, TIFFTAG_IMAGEWIDTH, L.W);
  TIFFSetField(T, TIFFTAG_IMAGELENGTH, L.H);
  TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, L.Bits);
  TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, L.Samples);
  TIFFSetField(T, TIFFTAG_COMPRESSION, L.Compression);
  TIFFSetField(T, TIFFTAG_PHOTOMETRIC, L.Photometric);
  TIFFSetField(T, TIFFTAG_PLANARCONFIG, L.Planar);
  if (L.Predictor != 1) TIFFSetField(T, TIFFTAG_PREDICTOR, L.Predictor);
  if (L.Compression == COMPRESSION_CCITTFAX3) TIFFSetField(T, TIFFTAG_GROUP3OPTIONS, L.G3Options);
  if (L.ExtraSample != 0) {
    const uint16_t Extra[1] = {L.ExtraSample};
    TIFFSetField(T, TIFFTAG_EXTRASAMPLES, 1, Extra);
  }
  std::vector<uint16_t> Map(3 * 256);
  if (L.Palette) {
    for (int i = 0; i < 256; ++i) {
      Map[size_t(i)] = uint16_t(i * 257);
      Map[size_t(256 + i)] = uint16_t((255 - i) * 257);
      Map[size_t(512 + i)] = uint16_t((i * 3 % 256) * 257);
    }
    TIFFSetField(T, TIFFTAG_COLORMAP, Map.data(), Map.data() + 256, Map.data() + 512);
  }
  const uint32_t PlaneSamples = L.Planar == PLANARCONFIG_SEPARATE ? 1 : L.Samples;
  auto PackRow = [&](uint32_t y, uint32_t X0, uint32_t Wd, uint32_t Plane) {
    Bytes Row((size_t(Wd) * PlaneSamples * L.Bits + 7) / 8, 0);
    for (uint32_t x = 0; x < Wd; ++x)
      for (uint32_t s = 0; s < PlaneSamples; ++s) {
        const uint32_t Sample = L.Planar == PLANARCONFIG_SEPARATE ? Plane : s;
        const uint16_t V = X0 + x < L.W && y < L.H ? SampleAt(L, X0 + x, y, Sample) : 0;
        const uint64_t Index = uint64_t(x) * PlaneSamples + s;
        if (L.Bits == 16) {
          std::memcpy(&Row[size_t(Index * 2)], &V, 2);
        } else {
          for (int b = 0; b < L.Bits; ++b) {
            const uint64_t Bit = Index * L.Bits + uint64_t(b);
            if ((V >> (L.Bits - 1 - b)) & 1) Row[size_t(Bit / 8)] |= uint8_t(0x80 >> (Bit % 8));
          }
        }
      }
    return Row;
  };
  if (L.Tile != 0) {
    TIFFSetField(T, TIFFTAG_TILEWIDTH, L.Tile);
    TIFFSetField(T, TIFFTAG_TILELENGTH, L.Tile);
    for (uint32_t ty = 0; ty < L.H; ty += L.Tile)
      for (uint32_t tx = 0; tx < L.W; tx += L.Tile) {
        Bytes Tile;
        for (uint32_t y = 0; y < L.Tile; ++y) {
          const Bytes R = PackRow(ty + y, tx, L.Tile, 0);
          Tile.insert(Tile.end(), R.begin(), R.end());
        }
        TIFFWriteTile(T, Tile.data(), tx, ty, 0, 0);
      }
  } else {
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, L.RowsPerStrip);
    const uint32_t Planes = L.Planar == PLANARCONFIG_SEPARATE ? L.Samples : 1;
    for (uint32_t p = 0; p < Planes; ++p)
      for (uint32_t y = 0; y < L.H; ++y) {
        Bytes R = PackRow(y, 0, L.W, p);
        TIFFWriteScanline(T, R.data(), y, uint16_t(p));
      }
  }
  TIFFClose(T);
  return F.Data;
}

TEST_F(TiffReaderTest, FilesWrittenByLibtiff) {
  struct Case {
    const char* Name;
    LibtiffPage L;
    uint8_t Native = 1;
  };
  auto Grey = [](uint16_t Compression, uint16_t Predictor = 1) {
    LibtiffPage L;
    L.Compression = Compression;
    L.Predictor = Predictor;
    return L;
  };
  auto Rgb = [](uint16_t Compression, uint16_t Predictor = 1) {
    LibtiffPage L;
    L.Samples = 3;
    L.Photometric = PHOTOMETRIC_RGB;
    L.Compression = Compression;
    L.Predictor = Predictor;
    return L;
  };
  std::vector<Case> Cases = {
      {"none", Rgb(COMPRESSION_NONE)},
      {"LZW", Rgb(COMPRESSION_LZW)},
      {"LZW predictor", Rgb(COMPRESSION_LZW, 2)},
      {"Deflate predictor", Rgb(COMPRESSION_ADOBE_DEFLATE, 2)},
      {"old Deflate", Grey(COMPRESSION_DEFLATE, 2)},
      {"PackBits", Grey(COMPRESSION_PACKBITS)},
  };
  {
    LibtiffPage L = Rgb(COMPRESSION_LZW);
    L.Tile = 16;
    Cases.push_back({"tiled", L});
    L = Rgb(COMPRESSION_ADOBE_DEFLATE);
    L.Planar = PLANARCONFIG_SEPARATE;
    Cases.push_back({"planar", L});
    L = Rgb(COMPRESSION_LZW, 2);
    L.Bits = 16;
    Cases.push_back({"16-bit RGB", L});
    // Tiles of 6 and 8 bytes a pixel: rows of 96 and 128 bytes.
    L = Rgb(COMPRESSION_NONE);
    L.Bits = 16;
    L.Tile = 16;
    Cases.push_back({"tiled 16-bit RGB", L, 0});  // native: 48-bit tiles are refused
    L = Rgb(COMPRESSION_ADOBE_DEFLATE, 2);
    L.Bits = 16;
    L.Samples = 4;
    L.ExtraSample = EXTRASAMPLE_UNASSALPHA;
    L.Tile = 16;
    Cases.push_back({"tiled 16-bit RGBA", L});
    L = Grey(COMPRESSION_PACKBITS);
    L.Bits = 16;
    Cases.push_back({"16-bit grey", L});
    L = Grey(COMPRESSION_NONE);
    L.Bits = 4;
    Cases.push_back({"4-bit grey", L});
    L = Grey(COMPRESSION_NONE);
    L.Photometric = PHOTOMETRIC_MINISWHITE;
    Cases.push_back({"min-is-white", L});
    L = Grey(COMPRESSION_LZW);
    L.Photometric = PHOTOMETRIC_PALETTE;
    L.Palette = true;
    Cases.push_back({"palette", L});
    L = Rgb(COMPRESSION_LZW);
    L.Samples = 4;
    L.ExtraSample = EXTRASAMPLE_UNASSALPHA;
    Cases.push_back({"alpha", L});
    L = Rgb(COMPRESSION_ADOBE_DEFLATE, 2);
    L.Samples = 4;
    L.ExtraSample = EXTRASAMPLE_UNASSALPHA;
    Cases.push_back({"alpha predictor", L});
    L = Grey(COMPRESSION_ADOBE_DEFLATE, 2);
    L.Samples = 4;
    L.Photometric = PHOTOMETRIC_SEPARATED;
    Cases.push_back({"CMYK predictor", L});
    L = Grey(COMPRESSION_ADOBE_DEFLATE);
    L.Samples = 4;
    L.Photometric = PHOTOMETRIC_SEPARATED;
    Cases.push_back({"CMYK", L});
    for (const uint16_t Photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
      for (const auto& [Name, Compression, Options] :
           {std::tuple{"G3 1-D", COMPRESSION_CCITTFAX3, 0u}, std::tuple{"G3 2-D", COMPRESSION_CCITTFAX3, 1u},
            std::tuple{"G4", COMPRESSION_CCITTFAX4, 0u}, std::tuple{"MH", COMPRESSION_CCITTRLE, 0u},
            std::tuple{"bilevel none", COMPRESSION_NONE, 0u}}) {
        L = Grey(Compression);
        L.Bits = 1;
        L.W = 61;
        L.Photometric = Photometric;
        L.G3Options = Options;
        Cases.push_back({Photometric == PHOTOMETRIC_MINISWHITE ? Name : "black-is-zero", L});
      }
    }
  }
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const LibtiffPage& L = C.L;
    const Bytes File = WriteWithLibtiff(L);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = C.Native;
    const ReadResult R = Read(File, B, P);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_EQ(B.GetWidth(), int32_t(L.W));
    ASSERT_EQ(B.GetHeight(), int32_t(L.H));
    for (uint32_t y = 0; y < L.H; ++y) {
      const uint8_t* Row = B.GetScanline(int32_t(y));
      for (uint32_t x = 0; x < L.W; ++x) {
        const uint8_t* Px = nullptr;
        switch (B.GetPixelFormat()) {
          case ie1g: {
            const bool White = (Row[x / 8] >> (7 - x % 8)) & 1;
            const bool SampleWhite = (SampleAt(L, x, y, 0) != 0) == (L.Photometric == PHOTOMETRIC_MINISBLACK);
            ASSERT_EQ(White, SampleWhite) << x << "," << y;
            break;
          }
          case ie8g: {
            const uint16_t S = SampleAt(L, x, y, 0);
            uint8_t V = L.Bits == 4 ? uint8_t(S * 17) : uint8_t(S);
            if (L.Photometric == PHOTOMETRIC_MINISWHITE) V = uint8_t(255 - V);
            ASSERT_EQ(Row[x], V) << x << "," << y;
            break;
          }
          case ie8p:
            ASSERT_EQ(Row[x], SampleAt(L, x, y, 0));
            break;
          case ieGray16: {
            uint16_t W;
            std::memcpy(&W, Row + 2 * x, 2);
            ASSERT_EQ(W, SampleAt(L, x, y, 0));
            break;
          }
          case ieRGB48: {
            uint16_t W[3];
            std::memcpy(W, Row + 6 * x, 6);
            for (uint32_t s = 0; s < 3; ++s) ASSERT_EQ(W[s], SampleAt(L, x, y, s));
            break;
          }
          case ieCMYK:
            for (uint32_t s = 0; s < 4; ++s) ASSERT_EQ(Row[4 * x + s], uint8_t(255 - SampleAt(L, x, y, s)));
            break;
          case ie24RGB:
            Px = Row + 3 * x;
            for (uint32_t s = 0; s < 3; ++s) {
              uint8_t V = uint8_t(SampleAt(L, x, y, L.Samples == 1 ? 0 : s));
              if (L.Bits == 4) V = uint8_t(V * 17);
              if (L.Bits == 16) V = uint8_t(SampleAt(L, x, y, s) >> 8);
              ASSERT_EQ(Px[2 - s], V) << x << "," << y;
            }
            if (L.ExtraSample != 0 && L.Bits == 8) {  // 16-bit alpha is not taken
              ASSERT_EQ(R.Mask->GetScanline(int32_t(y))[x], uint8_t(SampleAt(L, x, y, 3)));
            }
            break;
          default:
            FAIL() << "format " << int(B.GetPixelFormat());
        }
      }
    }
    if (L.Tile != 0) {
      // Through a stream that is not a block of memory, each tile comes in a buffer of its own size.
      auto Memory = StreamOf(File);
      TIEBufferedReadStream Through(Memory.get(), 4096, false);
      TIEBitmap T;
      TIOParamsVals Q(nullptr);
      Q.NativePixelFormat = C.Native;
      LoggedProgress Progress;
      TIEMask* Mask = nullptr;
      int32_t Pages = 0;
      TiffReadImage(&T, &Through, Pages, Q, Progress.Record, false, Mask, false, false, false);
      delete Mask;
      ASSERT_EQ(Progress.Abort, 0);
      EXPECT_TRUE(AllRows(T) == AllRows(B));
    }
  }
}

// JPEG pages against libtiff's own decoding of the same file, within 2 levels.
TEST_F(TiffReaderTest, JpegPagesMatchLibtiff) {
  for (const uint32_t Tile : {0u, 16u}) {
    for (const uint16_t Photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_RGB}) {
      SCOPED_TRACE(Tile * 10 + Photometric);
      LibtiffPage L;
      L.Compression = COMPRESSION_JPEG;
      L.RowsPerStrip = 8;
      L.Tile = Tile;
      L.Photometric = Photometric;
      L.Samples = Photometric == PHOTOMETRIC_RGB ? 3 : 1;
      const Bytes File = WriteWithLibtiff(L);
      libtiff::MemoryFile M;
      M.Data = File;
      TIFF* T = libtiff::Open(M, "r");
      ASSERT_NE(T, nullptr);
      std::vector<uint32_t> Rgba(size_t(L.W) * L.H);
      ASSERT_EQ(TIFFReadRGBAImageOriented(T, L.W, L.H, Rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
      TIFFClose(T);
      TIEBitmap B;
      TIOParamsVals P(nullptr);
      ASSERT_EQ(Read(File, B, P).Abort, 0);
      ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
      EXPECT_EQ(P.Width, int32_t(L.W));
      for (uint32_t y = 0; y < L.H; ++y)
        for (uint32_t x = 0; x < L.W; ++x) {
          const uint32_t Ref = Rgba[size_t(y) * L.W + x];
          const uint8_t* Px = B.GetScanline(int32_t(y)) + 3 * x;
          ASSERT_NEAR(Px[2], TIFFGetR(Ref), 2) << x << "," << y;
          ASSERT_NEAR(Px[1], TIFFGetG(Ref), 2) << x << "," << y;
          ASSERT_NEAR(Px[0], TIFFGetB(Ref), 2) << x << "," << y;
        }
    }
  }
}

// Four blocks of flat colour (blue, green, red), so that JPEG coding changes them little.
TIEBitmap* FourColours(int32_t W, int32_t H) {
  static const TIERGB24 Colours[4] = {{30, 60, 200}, {200, 180, 20}, {90, 140, 60}, {250, 250, 250}};
  auto* B = new TIEBitmap(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) std::memcpy(B->GetScanline(y) + 3 * x, &Colours[(y * 2 / H) * 2 + x * 2 / W], 3);
  return B;
}

// CMYK pages coded as JPEG: as libtiff writes them (ink values, no Adobe marker) against libtiff's own
// decoding; in the Adobe convention (inverted, with the Adobe marker: CMYK and YCCK streams as the JPEG
// writer makes them, and pages of the TIFF writer) against the colours coded.
TEST_F(TiffReaderTest, CmykAndYcckJpegStrips) {
  {
    LibtiffPage L;
    L.W = 48;
    L.H = 32;
    L.Samples = 4;
    L.Photometric = PHOTOMETRIC_SEPARATED;
    L.Compression = COMPRESSION_JPEG;
    L.RowsPerStrip = 16;
    const Bytes File = WriteWithLibtiff(L);
    // libtiff's decoded ink values, turned into colours by the library's own CMYK conversion.
    libtiff::MemoryFile M;
    M.Data = File;
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    Bytes Ink(size_t(L.W) * L.H * 4);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(T); ++s)
      ASSERT_GT(TIFFReadEncodedStrip(T, s, Ink.data() + size_t(s) * L.W * L.RowsPerStrip * 4, -1), 0);
    TIFFClose(T);
    for (uint8_t& v : Ink) v = uint8_t(255 - v);
    Bytes Want(size_t(L.W) * L.H * 3);
    ConvertColorRow(Ink.data(), 2, Want.data(), 1, int32_t(L.W * L.H), nullptr);
    for (const uint8_t Native : {0, 1}) {
      SCOPED_TRACE(Native != 0 ? "libtiff, native" : "libtiff");
      TIEBitmap B;
      TIOParamsVals P(nullptr);
      P.NativePixelFormat = Native;
      ASSERT_EQ(Read(File, B, P).Abort, 0);
      ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
      for (uint32_t y = 0; y < L.H; ++y)
        for (uint32_t i = 0; i < L.W * 3; ++i)
          ASSERT_NEAR(B.GetScanline(int32_t(y))[i], Want[size_t(y) * L.W * 3 + i], 2) << i / 3 << "," << y;
    }
  }
  const int32_t W = 32, H = 32;
  std::unique_ptr<TIEBitmap> Source(FourColours(W, H));
  struct Case {
    const char* Name;
    Bytes File;
    Bytes Same;  // the rows the JPEG reader gives for the strip as a JPEG file, when known
  };
  std::vector<Case> Cases;
  for (const uint8_t Space : {3, 4}) {
    TIOParamsVals P(nullptr);
    P.JpegQuality = 95;
    P.JpegColorSpace = Space;
    TMemoryStream S;
    LoggedProgress Progress;
    JpegWriteImage(&S, Source.get(), P, Progress.Record);
    const Bytes Strip = formattest::BytesOf(S);
    TiffBuilder F(false);
    const uint32_t At = F.AddData(Strip);
    F.AddPage({Long(256, {W}), Long(257, {H}), Short(258, {8, 8, 8, 8}), Short(259, {7}), Short(262, {5}),
               Long(273, {At}), Short(277, {4}), Long(278, {H}), Long(279, {uint32_t(Strip.size())})});
    TIEBitmap AsFile;
    TIOParamsVals Q(nullptr);
    S.SetPosition(0);
    JpegReadImage(&S, nullptr, &AsFile, false, -1, false, false, false, false, false, false, Progress.Record, Q);
    ASSERT_EQ(AsFile.GetPixelFormat(), ie24RGB);
    Cases.push_back({Space == 3 ? "Adobe CMYK strip" : "YCCK strip", F.Data(), AllRows(AsFile)});
  }
  {
    TIOParamsVals P(nullptr);
    P.TiffCompression = 7;
    P.TiffJpegQuality = 95;
    P.TiffJpegColorSpace = 3;
    TMemoryStream S;
    LoggedProgress Progress;
    TiffWriteImage(&S, false, Source.get(), Progress.Record, P);
    ASSERT_EQ(P.TiffPhotometric, 5);
    Cases.push_back({"TIFF writer's CMYK JPEG", formattest::BytesOf(S), {}});
  }
  for (const Case& C : Cases)
    for (const uint8_t Native : {0, 1}) {
      SCOPED_TRACE(std::string(C.Name) + (Native != 0 ? ", native" : ""));
      TIEBitmap B;
      TIOParamsVals P(nullptr);
      P.NativePixelFormat = Native;
      ASSERT_EQ(Read(C.File, B, P).Abort, 0);
      ASSERT_EQ(B.GetPixelFormat(), ie24RGB);
      if (!C.Same.empty()) {
        EXPECT_TRUE(AllRows(B) == C.Same);
      }
      // Inside the blocks (away from the coding's ringing at their edges): the CMYK conversions both
      // ways, through the CMYK profile, are not exact, but inverted inks would be far off.
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
          for (int32_t c = 0; c < 3 && x % 16 >= 3 && x % 16 < 13 && y % 16 >= 3 && y % 16 < 13; ++c)
            ASSERT_NEAR(B.GetScanline(y)[3 * x + c], Source->GetScanline(y)[3 * x + c], 24) << x << "," << y << "," << c;
    }
}

// A whole JPEG of a W x H page of one colour (blue, green, red).
Bytes FlatJpeg(int32_t W, int32_t H, TIERGB24 Colour) {
  TIEBitmap B;
  B.Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) std::memcpy(B.GetScanline(y) + 3 * x, &Colour, 3);
  TIOParamsVals P(nullptr);
  P.JpegQuality = 95;
  TMemoryStream S;
  LoggedProgress Progress;
  JpegWriteImage(&S, &B, P, Progress.Record);
  return formattest::BytesOf(S);
}

TEST_F(TiffReaderTest, OldStyleJpeg) {
  // One interchange-format stream, no strip byte counts.
  {
    TiffBuilder F(false);
    const Bytes J = FlatJpeg(16, 16, TIERGB24{200, 100, 50});
    const uint32_t At = F.AddData(J);
    F.AddPage({Long(256, {16}), Long(257, {16}), Short(258, {8, 8, 8}), Short(259, {6}), Short(262, {6}),
               Long(273, {At}), Short(277, {3}), Long(513, {At}), Long(514, {uint32_t(J.size())})});
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Read(F.Data(), B, P).Abort, 0);
    ASSERT_EQ(B.GetWidth(), 16);
    const uint8_t* Px = B.GetScanline(15) + 45;
    EXPECT_NEAR(Px[0], 200, 3);
    EXPECT_NEAR(Px[1], 100, 3);
    EXPECT_NEAR(Px[2], 50, 3);
    EXPECT_EQ(P.Width, 16);  // the page's own parameters, not the JPEG reader's
  }
  // Three strips of 8 rows in a 20-row page: each strip decoded alone, the last one cut at the page's end.
  {
    // The tables and frame header of strip 0 stand at JPEGInterchangeFormat; strip 0 starts with its
    // scan header, the later strips hold their coded data only.
    TiffBuilder F(false);
    std::vector<uint32_t> Offsets, Counts;
    const TIERGB24 Colours[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    uint32_t HeaderAt = 0, HeaderSize = 0;
    for (int i = 0; i < 3; ++i) {
      const Bytes J = FlatJpeg(8, 8, Colours[i]);
      size_t Sos = 2;
      while (Sos + 4 < J.size() && !(J[Sos] == 0xFF && J[Sos + 1] == 0xDA)) Sos += 2 + (size_t(J[Sos + 2]) << 8 | J[Sos + 3]);
      const size_t Data = Sos + 2 + (size_t(J[Sos + 2]) << 8 | J[Sos + 3]);
      if (i == 0) {
        HeaderAt = F.AddData(Bytes(J.begin(), J.begin() + long(Sos)));
        HeaderSize = uint32_t(Sos);
      }
      const Bytes Strip(J.begin() + long(i == 0 ? Sos : Data), J.end());
      Offsets.push_back(F.AddData(Strip));
      Counts.push_back(uint32_t(Strip.size()));
    }
    F.AddPage({Long(256, {8}), Long(257, {20}), Short(258, {8, 8, 8}), Short(259, {6}), Short(262, {6}),
               Long(273, Offsets), Short(277, {3}), Long(278, {8}), Long(279, Counts), Long(513, {HeaderAt}),
               Long(514, {HeaderSize})});
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Read(F.Data(), B, P).Abort, 0);
    ASSERT_EQ(B.GetHeight(), 20);
    for (int32_t y : {0, 7, 8, 15, 16, 19}) {
      const int Strip = y / 8;
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(B.GetScanline(y)[3 + c], (&Colours[Strip].b)[c], 4) << y << " " << c;
    }
  }
}

// The page of File (written by libtiff from L) with its strips moved after the directory, so that
// cutting the file cuts the strips and keeps the tags.
Bytes StripsAtTheEnd(const LibtiffPage& L, const Bytes& File) {
  libtiff::MemoryFile F;
  F.Data = File;
  TIFF* T = libtiff::Open(F, "r");
  std::vector<Bytes> Raw(TIFFNumberOfStrips(T));
  for (tstrip_t s = 0; s < Raw.size(); ++s) {
    Raw[s].resize(size_t(TIFFRawStripSize(T, s)));
    Raw[s].resize(size_t(std::max<tmsize_t>(0, TIFFReadRawStrip(T, s, Raw[s].data(), tmsize_t(Raw[s].size())))));
  }
  TIFFClose(T);
  auto Build = [&](uint32_t Base) {
    std::vector<uint32_t> Offsets, Counts;
    for (const Bytes& R : Raw) {
      Offsets.push_back(Base);
      Counts.push_back(uint32_t(R.size()));
      Base += uint32_t(R.size());
    }
    TiffBuilder B(false);
    B.AddPage({Long(256, {L.W}), Long(257, {L.H}), Short(258, std::vector<uint32_t>(L.Samples, L.Bits)),
               Short(259, {L.Compression}), Short(262, {L.Photometric}), Long(273, Offsets), Short(277, {L.Samples}),
               Long(278, {L.RowsPerStrip}), Long(279, Counts), Short(317, {L.Predictor})});
    return B;
  };
  const size_t Head = Build(0).Data().size();
  Bytes Out = Build(uint32_t(Head + Head % 2)).Data();
  Out.resize(Head + Head % 2);
  for (const Bytes& R : Raw) Out.insert(Out.end(), R.begin(), R.end());
  return Out;
}

// Reads File into a bitmap that already has the page's size and format, its old pixels all Fill (so the
// reader allocates nothing new), and gives every byte of its rows, or nothing when the reader did not
// touch it (a refusal before allocation).
std::optional<Bytes> ReadOverOldPixels(const Bytes& File, int32_t W, int32_t H, TIEPixelFormat Format, uint8_t Fill,
                                       uint8_t Native) {
  TIEBitmap B(W, H, Format);
  for (int32_t y = 0; y < H; ++y) std::memset(B.GetScanline(y), Fill, size_t(B.GetRowLen()));
  TIOParamsVals P(nullptr);
  P.NativePixelFormat = Native;
  Read(File, B, P);
  Bytes Rows = AllRows(B);
  if (B.GetWidth() == W && B.GetHeight() == H && B.GetPixelFormat() == Format &&
      std::all_of(Rows.begin(), Rows.end(), [&](uint8_t v) { return v == Fill; }))
    return std::nullopt;
  return Rows;
}

// Whether reading File gives the same bytes whatever the bitmap held before: no row or padding byte is
// left as it was. Pages the reader refuses outright are passed.
void ExpectNoOldPixelsLeft(const Bytes& File, uint8_t Native) {
  TIEBitmap Fresh;
  TIOParamsVals P(nullptr);
  P.NativePixelFormat = Native;
  Read(File, Fresh, P);
  if (Fresh.GetWidth() <= 0 || Fresh.GetHeight() <= 0) return;
  const int32_t W = Fresh.GetWidth(), H = Fresh.GetHeight();
  const TIEPixelFormat F = Fresh.GetPixelFormat();
  const std::optional<Bytes> Zeros = ReadOverOldPixels(File, W, H, F, 0x00, Native);
  const std::optional<Bytes> Marks = ReadOverOldPixels(File, W, H, F, 0xA5, Native);
  if (!Zeros || !Marks) return;
  EXPECT_TRUE(*Zeros == *Marks);
  EXPECT_TRUE(AllRows(Fresh) == *Zeros);
}

// Damaged and odd pages: rows that the data do not reach are zero, not what the bitmap held, and so
// are the bytes after each row's last pixel.
TEST_F(TiffReaderTest, NoOldPixelsLeftInTheBitmap) {
  LibtiffPage L;
  L.W = 19;  // 57-byte RGB rows: three bytes of padding
  L.H = 9;
  L.Samples = 3;
  L.Photometric = PHOTOMETRIC_RGB;
  L.RowsPerStrip = 4;
  struct Case {
    const char* Name;
    Bytes File;
  };
  std::vector<Case> Cases;
  for (const uint16_t Compression :
       {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS}) {
    L.Compression = Compression;
    L.Predictor = Compression == COMPRESSION_ADOBE_DEFLATE ? 2 : 1;
    const Bytes Strips = StripsAtTheEnd(L, WriteWithLibtiff(L));
    Cases.push_back({"whole", Strips});
    for (const size_t Cut : {1u, 40u, 150u, 400u}) {
      if (Cut >= Strips.size()) continue;
      Cases.push_back({"strips cut", Bytes(Strips.begin(), Strips.end() - ptrdiff_t(Cut))});
    }
  }
  const Bytes Rows(40 * 10, 7);
  Cases.push_back({"strip offset past the end", Page(40, 10, 8, 1, 1, 1, Rows, {Long(273, {100000})})});
  Cases.push_back({"fewer offsets than strips", Page(40, 10, 8, 1, 1, 1, Rows, {Long(278, {2})})});
  Cases.push_back({"short PackBits strip", Page(4, 3, 8, 1, 1, 32773, {0x03, 1, 2, 3, 4, 0x03, 5, 6})});
  Cases.push_back({"corrupt Deflate", Page(40, 10, 8, 1, 1, 8, {1, 2, 3, 4, 5})});
  Cases.push_back({"LZW cut mid-strip", Page(40, 10, 8, 3, 2, 5, {0x80, 0x00})});
  Cases.push_back({"undecodable combination", Page(4, 1, 8, 3, 8, 1, Bytes(12, 1), {Short(262, {9})})});
  Cases.push_back({"tiles", TiledGrey()});
  Cases.push_back({"1-bit, 13 wide", Page(13, 2, 1, 1, 1, 1, {0xFF, 0xF8, 0x0F, 0xF0})});
  Cases.push_back({"planar RGB cut", Page(5, 2, 8, 3, 2, 1, Bytes(12, 9), {Short(284, {2})})});
  for (const Case& C : Cases)
    for (const uint8_t Native : {0, 1}) {
      SCOPED_TRACE(std::string(C.Name) + (Native != 0 ? ", native" : ""));
      ExpectNoOldPixelsLeft(C.File, Native);
    }
}

// Rows PackBits-coded by our writer, one after another.
Bytes PackBitsRows(const Bytes& Rows, size_t RowBytes) {
  TMemoryStream S;
  uint8_t Abort = 0;
  for (size_t At = 0; At < Rows.size(); At += RowBytes) TiffPackBitsRow(&S, Rows.data() + At, int32_t(RowBytes), Abort);
  const auto* M = static_cast<const uint8_t*>(S.Memory());
  return Bytes(M, M + S.Size());
}

// Pages large enough to be written past the caches, in strips and in tiles, read from memory and
// through a stream that is not a block of memory, into a bitmap of the same size that held other
// pixels: every pixel as stored, the row padding zero.
TEST_F(TiffReaderTest, LargePagesFromMemoryAndThroughAStream) {
  const uint32_t W = 2309, H = 2450, Rps = 16;  // rows of 6927 bytes: each starts at another alignment
  const size_t RowBytes = size_t(W) * 3;
  Bytes Page(RowBytes * H), Bgr(RowBytes * H);
  // Stretches of one byte among varied ones, so that PackBits has runs of both kinds, of every phase
  // against the pixels.
  for (size_t i = 0; i < Page.size(); ++i) Page[i] = (i / 7) % 53 < 9 ? 0x5C : uint8_t(i * 7 + i / 1000);
  for (size_t i = 0; i < Page.size(); i += 3) {
    Bgr[i] = Page[i + 2];
    Bgr[i + 1] = Page[i + 1];
    Bgr[i + 2] = Page[i];
  }
  // Uncompressed tiles of 304 × 272: their rows start part-way through the bitmap's rows, and the
  // last column and row of tiles are cut by the page's edges.
  const uint32_t TileW = 304, TileH = 272;
  struct Layout {
    const char* Name;
    uint32_t Compression;
    bool Tiled;
  };
  for (const Layout& L : {Layout{"strips, none", 1, false}, Layout{"strips, Deflate", 8, false},
                          Layout{"strips, PackBits", 32773, false}, Layout{"tiles, none", 1, true}}) {
    const uint32_t Compression = L.Compression;
    TiffBuilder F(false);
    std::vector<uint32_t> Offsets, Counts;
    if (L.Tiled) {
      for (uint32_t ty = 0; ty < H; ty += TileH)
        for (uint32_t tx = 0; tx < W; tx += TileW) {
          Bytes Tile(size_t(TileW) * TileH * 3, 0x33);
          const size_t Cols = std::min(W - tx, TileW);
          for (uint32_t y = ty; y < std::min(H, ty + TileH); ++y)
            std::memcpy(Tile.data() + size_t(y - ty) * TileW * 3, Page.data() + y * RowBytes + size_t(tx) * 3, Cols * 3);
          Offsets.push_back(F.AddData(Tile));
          Counts.push_back(uint32_t(Tile.size()));
        }
      F.AddPage({Long(256, {W}), Long(257, {H}), Short(258, {8, 8, 8}), Short(259, {Compression}), Short(262, {2}),
                 Short(277, {3}), Long(322, {TileW}), Long(323, {TileH}), Long(324, Offsets), Long(325, Counts)});
    } else {
      for (uint32_t y0 = 0; y0 < H; y0 += Rps) {
        Bytes Strip(Page.begin() + ptrdiff_t(y0 * RowBytes), Page.begin() + ptrdiff_t(std::min(H, y0 + Rps) * RowBytes));
        if (Compression == 8) Strip = Deflate(Strip);
        if (Compression == 32773) Strip = PackBitsRows(Strip, RowBytes);
        Offsets.push_back(F.AddData(Strip));
        Counts.push_back(uint32_t(Strip.size()));
      }
      F.AddPage({Long(256, {W}), Long(257, {H}), Short(258, {8, 8, 8}), Short(259, {Compression}), Short(262, {2}),
                 Long(273, Offsets), Short(277, {3}), Long(278, {Rps}), Long(279, Counts)});
    }
    for (const bool Buffered : {false, true}) {
      SCOPED_TRACE(std::string(L.Name) + (Buffered ? ", buffered" : ", memory"));
      auto Memory = StreamOf(F.Data());
      TIEBufferedReadStream Through(Memory.get(), 65536, false);
      TStream* S = Buffered ? static_cast<TStream*>(&Through) : Memory.get();
      TIEBitmap B(int32_t(W), int32_t(H), ie24RGB);
      for (int32_t y = 0; y < B.GetHeight(); ++y) std::memset(B.GetScanline(y), 0xA5, size_t(B.GetRowLen()));
      TIOParamsVals P(nullptr);
      LoggedProgress Progress;
      TIEMask* Mask = nullptr;
      int32_t Pages = 0;
      TiffReadImage(&B, S, Pages, P, Progress.Record, false, Mask, false, false, false);
      delete Mask;
      ASSERT_EQ(Progress.Abort, 0);
      ASSERT_EQ(B.GetWidth(), int32_t(W));
      for (uint32_t y = 0; y < H; ++y) {
        const uint8_t* Row = B.GetScanline(int32_t(y));
        ASSERT_EQ(std::memcmp(Row, Bgr.data() + y * RowBytes, RowBytes), 0) << "row " << y;
        ASSERT_EQ(Row[RowBytes], 0) << "padding of row " << y;
      }
    }
  }
}

TEST_F(TiffReaderTest, MutationsNeverCrash) {
  std::vector<Bytes> Seeds;
  for (const uint16_t Compression :
       {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS, COMPRESSION_CCITTFAX4}) {
    LibtiffPage L;
    L.W = 19;
    L.H = 9;
    L.Compression = Compression;
    if (Compression == COMPRESSION_CCITTFAX4) L.Bits = 1;
    else L.Samples = 3, L.Photometric = PHOTOMETRIC_RGB;
    Seeds.push_back(WriteWithLibtiff(L));
  }
  Seeds.push_back(TiledGrey());
  std::mt19937 Rng(29);
  for (int i = 0; i < 3000; ++i) {
    Bytes F = Seeds[size_t(i) % Seeds.size()];
    const int Edits = 1 + int(Rng() % 4);
    for (int e = 0; e < Edits; ++e) {
      const size_t At = Rng() % F.size();
      switch (Rng() % 4) {
        case 0: F[At] = uint8_t(Rng()); break;
        case 1: F[At] ^= uint8_t(1u << (Rng() % 8)); break;
        case 2: F.resize(std::max<size_t>(8, At)); break;
        default: F[At] = 0xFF; break;
      }
    }
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = uint8_t(i & 1);
    Read(F, B, P);
    if (i % 4 == 0) ExpectNoOldPixelsLeft(F, uint8_t(i & 1));
  }
}

}  // namespace
}  // namespace zv

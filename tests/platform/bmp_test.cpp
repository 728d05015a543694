// BMP files through TBitmap: round trips of every pixel format, the decodings a file may use, and
// malformed files that must be refused without reading outside the data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/bmp_format.h"
#include "platform/graphics.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Offsets of header fields in a file with a 40-byte info header.
constexpr size_t kOffBits = 10, kWidth = 18, kHeight = 22, kBitCount = 28, kCompression = 30, kSizeImage = 34,
                 kClrUsed = 46;

// A .bmp file with an info header; pixels are stored as given.
Bytes MakeBmp(int32_t w, int32_t h, uint16_t bpp, uint32_t compression, const std::vector<RGBQUAD>& colors,
              const Bytes& pixels, const std::vector<uint32_t>& masks = {}) {
  Bytes b;
  const uint32_t off = uint32_t(14 + 40 + masks.size() * 4 + colors.size() * 4);
  Put16(b, 0x4D42);
  Put32(b, uint32_t(off + pixels.size()));
  Put32(b, 0);
  Put32(b, off);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, bpp);
  Put32(b, compression);
  Put32(b, uint32_t(pixels.size()));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, uint32_t(colors.size()));
  Put32(b, 0);
  for (uint32_t m : masks) Put32(b, m);
  for (const RGBQUAD& q : colors) b.insert(b.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

void Load(TBitmap& bmp, const Bytes& bytes) {
  TMemoryStream ms;
  if (!bytes.empty()) ms.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  ms.SetPosition(0);
  bmp.LoadFromStream(&ms);
}

Bytes Save(TBitmap& bmp) {
  TMemoryStream ms;
  bmp.SaveToStream(&ms);
  Bytes out(size_t(ms.Size()));
  std::memcpy(out.data(), ms.Memory(), out.size());
  return out;
}

std::vector<RGBQUAD> Ramp(int n) {
  std::vector<RGBQUAD> c;
  for (int i = 0; i < n; ++i) c.push_back(RGBQUAD{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3), 0});
  return c;
}

// ---------------------------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------------------------

struct FormatCase {
  TPixelFormat format;
  TPixelFormat reloaded;
  int bpp;
  uint32_t compression;
};

class BmpRoundTrip : public ::testing::TestWithParam<FormatCase> {};

TEST_P(BmpRoundTrip, PixelsTableAndFormatSurvive) {
  const FormatCase c = GetParam();
  TBitmap bmp;
  bmp.SetPixelFormat(c.format);
  bmp.SetSize(13, 7);  // odd width: rows need padding
  if (c.bpp <= 8) bmp.SetColorTable(Ramp(1 << c.bpp));
  const int used = (13 * c.bpp + 7) / 8;
  for (int y = 0; y < 7; ++y) {
    auto* row = static_cast<uint8_t*>(bmp.ScanLine(y));
    for (int i = 0; i < used; ++i) row[i] = uint8_t(y * 31 + i * 17 + 5);
  }
  const Bytes file = Save(bmp);
  ASSERT_GT(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(int32_t(Get32(file, kHeight)), 7) << "written bottom-up";
  EXPECT_EQ(file[kBitCount], c.bpp);
  EXPECT_EQ(Get32(file, kCompression), c.compression);
  EXPECT_EQ(Get32(file, kOffBits) + Get32(file, kSizeImage), file.size());

  TBitmap back;
  Load(back, file);
  ASSERT_EQ(back.Width(), 13);
  ASSERT_EQ(back.Height(), 7);
  EXPECT_EQ(back.PixelFormat(), c.reloaded);
  EXPECT_EQ(back.RowBytes(), bmp.RowBytes());
  if (c.bpp <= 8) {
    const auto a = bmp.ColorTable(), b = back.ColorTable();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(std::memcmp(&a[i], &b[i], 3), 0) << i;
  }
  // Whole bytes compare directly; the last partial byte only in the bits that hold pixels.
  const int whole = (13 * c.bpp) / 8, spare = (13 * c.bpp) % 8;
  for (int y = 0; y < 7; ++y) {
    const auto* a = static_cast<const uint8_t*>(bmp.ScanLine(y));
    const auto* b = static_cast<const uint8_t*>(back.ScanLine(y));
    EXPECT_EQ(std::memcmp(a, b, size_t(whole)), 0) << "row " << y;
    if (spare) {
      const uint8_t keep = uint8_t(0xFF << (8 - spare));
      EXPECT_EQ(a[whole] & keep, b[whole] & keep) << "row " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BmpRoundTrip,
                         ::testing::Values(FormatCase{pf1bit, pf1bit, 1, BI_RGB}, FormatCase{pf4bit, pf4bit, 4, BI_RGB},
                                           FormatCase{pf8bit, pf8bit, 8, BI_RGB},
                                           FormatCase{pf15bit, pf15bit, 16, BI_RGB},
                                           FormatCase{pf16bit, pf16bit, 16, BI_BITFIELDS},
                                           FormatCase{pf24bit, pf24bit, 24, BI_RGB},
                                           FormatCase{pf32bit, pf32bit, 32, BI_RGB},
                                           FormatCase{pfDevice, pf32bit, 32, BI_RGB}));

TEST(BmpFile, FileRoundTripAndStreamPositionAfterTheImage) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(5, 3);
  bmp.Canvas()->SetPixels(4, 2, clRed);
  const std::string path = std::string(ZV_TEST_TMP) + "/bmp_round_trip.bmp";
  bmp.SaveToFile(path);
  TBitmap back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Canvas()->Pixels(4, 2), clRed);
  EXPECT_EQ(back.Canvas()->Pixels(0, 0), clWhite);

  // Two bitmaps back to back in one stream: each load stops at its own end.
  TMemoryStream ms;
  bmp.SaveToStream(&ms);
  const int64_t first = ms.Position();
  back.SetSize(2, 2);
  back.SaveToStream(&ms);
  ms.SetPosition(0);
  TBitmap a, b;
  a.LoadFromStream(&ms);
  EXPECT_EQ(ms.Position(), first);
  b.LoadFromStream(&ms);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(ms.Position(), ms.Size());
}

TEST(BmpFile, EmptyBitmapWritesAFileThatReadsBackEmpty) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  TBitmap back;
  back.SetSize(3, 3);
  Load(back, Save(bmp));
  EXPECT_TRUE(back.Empty());
}

// ---------------------------------------------------------------------------------------------
// Decodings
// ---------------------------------------------------------------------------------------------

TEST(BmpDecode, TopDownRowsAreStoredTopFirst) {
  // 2 x 2, 24 bits, rows top-down: top row red, green; bottom row blue, white.
  const Bytes px = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
  TBitmap bmp;
  Load(bmp, MakeBmp(2, -2, 24, BI_RGB, {}, px));
  EXPECT_EQ(bmp.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 0), clLime);
  EXPECT_EQ(bmp.Canvas()->Pixels(0, 1), clBlue);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 1), clWhite);
  // Held bottom-up like every other bitmap.
  EXPECT_EQ(static_cast<uint8_t*>(bmp.ScanLine(0)), static_cast<uint8_t*>(bmp.ScanLine(1)) + bmp.RowBytes());
}

std::vector<uint8_t> Row8(TBitmap& bmp, int y) {
  const auto* p = static_cast<const uint8_t*>(bmp.ScanLine(y));
  return std::vector<uint8_t>(p, p + bmp.Width());
}

std::vector<uint8_t> Row4(TBitmap& bmp, int y) {
  const auto* p = static_cast<const uint8_t*>(bmp.ScanLine(y));
  std::vector<uint8_t> out;
  for (int x = 0; x < bmp.Width(); ++x) out.push_back((x & 1) ? (p[x / 2] & 0x0F) : (p[x / 2] >> 4));
  return out;
}

TEST(BmpDecode, Rle8RunsAbsoluteRunsDeltaAndLineEnds) {
  const Bytes rle = {3, 1, 0, 3, 2, 3, 4, 0,  // bottom row: run of 1s, absolute 2 3 4 (padded)
                     0, 0,                    // end of line
                     0, 2, 2, 0, 2, 5, 0, 0,  // delta right 2, run of two 5s, end of line
                     6, 6, 0, 1};             // top row all 6, end of bitmap
  TBitmap bmp;
  Load(bmp, MakeBmp(6, 3, 8, BI_RLE8, Ramp(8), rle));
  EXPECT_EQ(bmp.PixelFormat(), pf8bit);
  EXPECT_EQ(Row8(bmp, 2), (std::vector<uint8_t>{1, 1, 1, 2, 3, 4}));
  EXPECT_EQ(Row8(bmp, 1), (std::vector<uint8_t>{0, 0, 5, 5, 0, 0}));
  EXPECT_EQ(Row8(bmp, 0), (std::vector<uint8_t>{6, 6, 6, 6, 6, 6}));
}

TEST(BmpDecode, Rle4AlternatesNibblesAndMayFillTheSpareNibble) {
  const Bytes rle = {5, 0x12, 0, 0,              // bottom row: 1 2 1 2 1 (odd width)
                     0, 3, 0x34, 0x50, 2, 0x66,  // absolute 3 4 5, then run 6 6
                     0, 1};
  TBitmap bmp;
  Load(bmp, MakeBmp(5, 2, 4, BI_RLE4, Ramp(16), rle));
  EXPECT_EQ(bmp.PixelFormat(), pf4bit);
  EXPECT_EQ(Row4(bmp, 1), (std::vector<uint8_t>{1, 2, 1, 2, 1}));
  EXPECT_EQ(Row4(bmp, 0), (std::vector<uint8_t>{3, 4, 5, 6, 6}));
}

TEST(BmpDecode, BitfieldsKeep565AndConvertOtherLayouts) {
  // 16 bits 5-6-5: white and pure green.
  TBitmap a;
  Load(a, MakeBmp(2, 1, 16, BI_BITFIELDS, {}, {0xFF, 0xFF, 0xE0, 0x07}, {0xF800, 0x07E0, 0x001F}));
  EXPECT_EQ(a.PixelFormat(), pf16bit);
  EXPECT_EQ(static_cast<uint16_t*>(a.ScanLine(0))[1], 0x07E0);
  EXPECT_EQ(a.Canvas()->Pixels(1, 0), clLime);

  // 32 bits with red in the low byte and blue in the high one becomes plain B, G, R.
  TBitmap b;
  Load(b, MakeBmp(1, 1, 32, BI_BITFIELDS, {}, {0x11, 0x22, 0x33, 0x00}, {0x000000FF, 0x0000FF00, 0x00FF0000}));
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), TColor(RGB(0x11, 0x22, 0x33)));
}

TEST(BmpDecode, CoreHeaderWithThreeByteColourTable) {
  Bytes b;
  Put16(b, 0x4D42);
  Put32(b, 14 + 12 + 6 + 4);
  Put32(b, 0);
  Put32(b, 14 + 12 + 6);
  Put32(b, 12);
  Put16(b, 3);  // width
  Put16(b, 1);  // height
  Put16(b, 1);
  Put16(b, 1);                                 // 1 bit
  b.insert(b.end(), {0, 0, 255, 255, 0, 0});   // red, blue
  b.insert(b.end(), {0x40, 0, 0, 0});          // 0 1 0
  TBitmap bmp;
  Load(bmp, b);
  EXPECT_EQ(bmp.PixelFormat(), pf1bit);
  EXPECT_EQ(bmp.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 0), clBlue);
}

TEST(BmpDecode, ShortColourTableUsesClrUsed) {
  TBitmap bmp;
  Load(bmp, MakeBmp(2, 1, 8, BI_RGB, {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}}, {1, 0, 0, 0}));
  EXPECT_EQ(bmp.ColorTable().size(), 2u);
  EXPECT_EQ(bmp.Canvas()->Pixels(0, 0), clBlue);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 0), clRed);
}

// ---------------------------------------------------------------------------------------------
// Malformed files
// ---------------------------------------------------------------------------------------------

Bytes Valid24() { return MakeBmp(3, 2, 24, BI_RGB, {}, Bytes(24, 0x80)); }
Bytes ValidRle8() { return MakeBmp(4, 2, 8, BI_RLE8, Ramp(4), {4, 1, 0, 0, 4, 2, 0, 1}); }

struct BadCase {
  const char* name;
  Bytes bytes;
};

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + ptrdiff_t(n)); }

Bytes With(Bytes b, size_t at, uint32_t v) {
  Set32(b, at, v);
  return b;
}

// 227 bytes that claim 13570 x 32893 pixels: runs on two rows, a delta and an early end of bitmap, all
// well formed. Reading it would mean zeroing some 223 MB for a picture its bytes cannot describe.
Bytes HugeRle4() {
  Bytes rle;
  for (int i = 0; i < 26; ++i) rle.insert(rle.end(), {250, 0x12});
  rle.insert(rle.end(), {0, 0, 0, 2, 10, 100});
  for (int i = 0; i < 24; ++i) rle.insert(rle.end(), {200, 0x56});
  rle.insert(rle.end(), {0, 1, 0});
  Bytes file = MakeBmp(13570, 32893, 4, BI_RLE4, Ramp(16), rle);
  EXPECT_EQ(file.size(), 227u);
  return file;
}

std::vector<BadCase> BadFiles() {
  std::vector<BadCase> c;
  c.push_back({"empty", {}});
  c.push_back({"file header only", Prefix(Valid24(), 14)});
  Bytes sig = Valid24();
  sig[0] = 'X';
  c.push_back({"bad signature", sig});
  c.push_back({"info header cut", Prefix(Valid24(), 40)});
  c.push_back({"pixels cut by a byte", Prefix(Valid24(), Valid24().size() - 1)});
  c.push_back({"header size beyond file", With(Valid24(), 14, 4000)});
  c.push_back({"header size absurd", With(Valid24(), 14, 0x7FFFFFFF)});
  c.push_back({"header size between core and info", With(Valid24(), 14, 20)});
  c.push_back({"negative width", With(Valid24(), kWidth, uint32_t(-3))});
  c.push_back({"height INT32_MIN", With(Valid24(), kHeight, 0x80000000u)});
  c.push_back({"absurd size", With(With(Valid24(), kWidth, 100000), kHeight, 100000)});
  c.push_back({"absurd width", With(Valid24(), kWidth, 0x7FFFFFFF)});
  c.push_back({"offset beyond file", With(Valid24(), kOffBits, 100000)});
  c.push_back({"offset inside headers", With(Valid24(), kOffBits, 20)});
  c.push_back({"offset below file header", With(Valid24(), kOffBits, 5)});
  Bytes bpp = Valid24();
  bpp[kBitCount] = 7;
  c.push_back({"bit count 7", bpp});
  c.push_back({"compression JPEG", With(Valid24(), kCompression, BI_JPEG)});
  c.push_back({"RLE8 on 24 bits", With(Valid24(), kCompression, BI_RLE8)});
  c.push_back({"bit fields on 24 bits", With(Valid24(), kCompression, BI_BITFIELDS)});
  c.push_back({"colour count too big", With(MakeBmp(1, 1, 8, BI_RGB, Ramp(2), {0, 0, 0, 0}), kClrUsed, 257)});
  c.push_back({"colour table beyond file", With(MakeBmp(1, 1, 8, BI_RGB, Ramp(2), {0, 0, 0, 0}), kClrUsed, 200)});
  c.push_back({"bit fields cut", Prefix(MakeBmp(1, 1, 16, BI_BITFIELDS, {}, {}, {0xF800, 0x7E0, 0x1F}), 60)});
  c.push_back({"RLE top-down", With(ValidRle8(), kHeight, uint32_t(-2))});
  c.push_back({"RLE8 run past the row", MakeBmp(4, 1, 8, BI_RLE8, Ramp(4), {5, 1, 0, 1})});
  c.push_back({"RLE8 absolute run past the row", MakeBmp(4, 1, 8, BI_RLE8, Ramp(4), {0, 5, 1, 1, 1, 1, 1, 0, 0, 1})});
  c.push_back({"RLE8 absolute run past the data", MakeBmp(4, 1, 8, BI_RLE8, Ramp(4), {0, 4, 1, 1})});
  c.push_back({"RLE8 delta out of the image", MakeBmp(4, 2, 8, BI_RLE8, Ramp(4), {0, 2, 9, 0, 0, 1})});
  c.push_back({"RLE8 delta below the image", MakeBmp(4, 2, 8, BI_RLE8, Ramp(4), {0, 2, 0, 5, 0, 1})});
  c.push_back({"RLE8 lines past the image", MakeBmp(4, 1, 8, BI_RLE8, Ramp(4), {0, 0, 0, 0, 2, 1, 0, 1})});
  c.push_back({"RLE8 stops mid-image", MakeBmp(4, 2, 8, BI_RLE8, Ramp(4), {4, 1})});
  c.push_back({"RLE8 delta cut", MakeBmp(4, 2, 8, BI_RLE8, Ramp(4), {0, 2, 1})});
  c.push_back({"RLE4 run past the spare nibble", MakeBmp(3, 1, 4, BI_RLE4, Ramp(4), {5, 0x11, 0, 1})});
  c.push_back({"RLE absurd size", With(With(ValidRle8(), kWidth, 60000), kHeight, 60000)});
  c.push_back({"RLE4 far larger than its data can cover", HugeRle4()});
  return c;
}

TEST(BmpMalformed, RefusedWithEInvalidGraphicAndBitmapKept) {
  for (const BadCase& c : BadFiles()) {
    SCOPED_TRACE(c.name);
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(2, 2);
    bmp.Canvas()->SetPixels(1, 1, clRed);
    try {
      Load(bmp, c.bytes);
      ADD_FAILURE() << "accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    EXPECT_EQ(bmp.Width(), 2);
    EXPECT_EQ(bmp.Canvas()->Pixels(1, 1), clRed);
  }
}

TEST(BmpMalformed, ValidBaseFilesOfTheTableLoad) {
  TBitmap bmp;
  EXPECT_NO_THROW(Load(bmp, Valid24()));
  EXPECT_NO_THROW(Load(bmp, ValidRle8()));
}

// Every truncation and a run of seeded byte changes: a file is either read or refused, never read
// past its end (the sanitizers watch the buffer, which is exactly as long as the data).
TEST(BmpMalformed, TruncationsAndMutationsNeverReadOutside) {
  const Bytes rle4 = MakeBmp(5, 2, 4, BI_RLE4, Ramp(16), {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x66, 0, 1});
  const std::vector<Bytes> seeds = {Valid24(), ValidRle8(), rle4,
                                    MakeBmp(3, 3, 1, BI_RGB, Ramp(2), Bytes(12, 0xA5)),
                                    MakeBmp(2, 2, 16, BI_BITFIELDS, {}, Bytes(8, 0x5A), {0xF00, 0xF0, 0xF})};
  std::mt19937 rng(1234);
  for (const Bytes& seed : seeds) {
    for (size_t len = 0; len < seed.size(); ++len) {
      const Bytes cut(seed.begin(), seed.begin() + ptrdiff_t(len));
      TDibImage img;
      try {
        img = ReadBmpFile(cut.data(), cut.size());
      } catch (const EInvalidGraphic&) {
      }
    }
    for (int round = 0; round < 400; ++round) {
      Bytes m = seed;
      const int edits = 1 + int(rng() % 4);
      for (int k = 0; k < edits; ++k) m[rng() % m.size()] = uint8_t(rng());
      try {
        TBitmap bmp;
        Load(bmp, m);
      } catch (const EInvalidGraphic&) {
      } catch (const EOutOfMemory&) {
      }
    }
  }
}

}  // namespace
}  // namespace zv

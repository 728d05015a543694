// The BMP codec: reading every depth and compression, the parameters a read fills, the run-length
// coders, writer round trips and headers, and malformed files that must fail through the abort byte.
#include "imaging/io/bmp_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint32_t Get16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

// Builds a BMP file: file header, an info header of HeaderSize bytes (or a core header), palette,
// bit-field masks and the pixel bytes as given.
struct BmpFile {
  int32_t Width = 2;
  int32_t Height = 2;
  uint16_t Bits = 24;
  uint32_t Compression = 0;
  uint32_t HeaderSize = 40;
  int32_t PpmX = 3780;
  int32_t PpmY = 3780;
  uint32_t ColorsUsed = 0;
  std::vector<TIERGB24> Palette;
  std::vector<uint32_t> Masks;
  Bytes Pixels;
  int64_t OffsetOverride = -1;

  Bytes Build() const {
    Bytes b(14, 0);
    b[0] = 'B';
    b[1] = 'M';
    Bytes h(HeaderSize, 0);
    Put32(h, 0, HeaderSize);
    if (HeaderSize == 12) {
      Put16(h, 4, uint32_t(Width));
      Put16(h, 6, uint32_t(Height));
      Put16(h, 8, 1);
      Put16(h, 10, Bits);
    } else {
      Put32(h, 4, uint32_t(Width));
      Put32(h, 8, uint32_t(Height));
      Put16(h, 12, 1);
      Put16(h, 14, Bits);
      Put32(h, 16, Compression);
      Put32(h, 20, uint32_t(Pixels.size()));
      Put32(h, 24, uint32_t(PpmX));
      Put32(h, 28, uint32_t(PpmY));
      Put32(h, 32, ColorsUsed);
    }
    b.insert(b.end(), h.begin(), h.end());
    for (const TIERGB24& c : Palette) {
      b.push_back(c.b);
      b.push_back(c.g);
      b.push_back(c.r);
      if (HeaderSize != 12) b.push_back(0);
    }
    for (uint32_t m : Masks) {
      size_t at = b.size();
      b.resize(at + 4);
      Put32(b, at, m);
    }
    Put32(b, 10, OffsetOverride >= 0 ? uint32_t(OffsetOverride) : uint32_t(b.size()));
    b.insert(b.end(), Pixels.begin(), Pixels.end());
    Put32(b, 2, uint32_t(b.size()));
    return b;
  }
};

std::vector<TIERGB24> Gray(int n) {
  std::vector<TIERGB24> p;
  for (int i = 0; i < n; ++i) p.push_back(TIERGB24{uint8_t(i * 10), uint8_t(i * 10 + 1), uint8_t(i * 10 + 2)});
  return p;
}

void InvertBits(TIEBitmap* B) {
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    uint8_t* r = B->GetScanline(y);
    for (int32_t i = 0; i < B->GetRowLen(); ++i) r[i] = uint8_t(~r[i]);
  }
}

class BmpCodecTest : public ::testing::Test {
protected:
  void SetUp() override {
    Progress.Abort = &Abort;
    Saved = ProcessingHooks;
  }
  void TearDown() override { ProcessingHooks = Saved; }

  // Reads Data whole; returns the abort byte.
  uint8_t Read(const Bytes& Data, bool IgnoreAlpha = true, bool ParamsOnly = false) {
    TMemoryStream S;
    S.Write(Data.data(), int64_t(Data.size()));
    S.SetPosition(0);
    Abort = 0;
    BmpReadImage(&S, &Bitmap, 0, Params, Progress, ParamsOnly, false, Mask, IgnoreAlpha);
    return Abort;
  }

  // Writes Source with the current Params; returns the bytes.
  Bytes Write(TIEBitmap& Source, bool WriteAlpha = false) {
    TMemoryStream S;
    Abort = 0;
    BmpWriteImage(&S, &Source, Params, Progress, WriteAlpha);
    EXPECT_EQ(S.Position(), S.Size());
    Bytes b(size_t(S.Size()));
    std::memcpy(b.data(), S.Memory(), b.size());
    return b;
  }

  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TIEProgressRecord Progress;
  uint8_t Abort = 0;
  std::unique_ptr<TIEMask> Mask;
  TProcessingHooks Saved;
};

// ---- Reading ---------------------------------------------------------------------------------------------

TEST_F(BmpCodecTest, Reads24BitBottomUpAndTopDown) {
  BmpFile f;
  f.Width = 2;
  f.Height = 2;
  // Stored bottom row first; rows padded to 8 bytes.
  f.Pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Bitmap.GetRGB(0, 1), (TIERGB24{1, 2, 3}));
  EXPECT_EQ(Bitmap.GetRGB(1, 0), (TIERGB24{10, 11, 12}));
  EXPECT_EQ(Params.BitsPerSample, 8);
  EXPECT_EQ(Params.SamplesPerPixel, 3);
  EXPECT_EQ(Params.DpiX(), 96);
  EXPECT_EQ(Params.ImageCount, 1);

  f.Height = -2;
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Params.Height, 2);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), (TIERGB24{1, 2, 3}));
  EXPECT_EQ(Bitmap.GetRGB(1, 1), (TIERGB24{10, 11, 12}));
}

TEST_F(BmpCodecTest, Reads32BitFramesWithoutAlphaUnlessAsked) {
  BmpFile f;
  f.Bits = 32;
  f.Width = 2;
  f.Height = -2;  // top-down
  f.Pixels = {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 0};
  ASSERT_EQ(Read(f.Build(), true), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Bitmap.GetRGB(1, 0), (TIERGB24{4, 5, 6}));
  EXPECT_EQ(Mask, nullptr);
  EXPECT_EQ(Params.SamplesPerPixel, 4);
  EXPECT_EQ(Params.BmpHeaderKind, 1);
  EXPECT_EQ(Params.PaletteCount(), 0);

  ASSERT_EQ(Read(f.Build(), false), 0);
  ASSERT_NE(Mask, nullptr);
  EXPECT_EQ(Mask->GetPixel(0, 0), 0);
  EXPECT_EQ(Mask->GetPixel(1, 0), 128);
  EXPECT_EQ(Mask->GetPixel(0, 1), 255);

  // All fourth bytes 0, or all 255, carry no alpha; bit fields read like plain pixels.
  for (uint8_t a : {uint8_t(0), uint8_t(255)}) {
    for (size_t i = 3; i < f.Pixels.size(); i += 4) f.Pixels[i] = a;
    f.Compression = 3;
    f.Masks = {0xFF0000, 0xFF00, 0xFF};
    ASSERT_EQ(Read(f.Build(), false), 0);
    EXPECT_EQ(Mask, nullptr) << int(a);
    EXPECT_EQ(Bitmap.GetRGB(0, 1), (TIERGB24{7, 8, 9}));
  }
}

TEST_F(BmpCodecTest, ReadsPaletteImagesAsIndexesOrColours) {
  BmpFile f;
  f.Bits = 8;
  f.Width = 3;
  f.Height = 1;
  f.Palette = Gray(256);
  f.Pixels = {0, 7, 255, 0};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Bitmap.GetRGB(1, 0), Gray(256)[7]);
  EXPECT_EQ(Params.PaletteCount(), 256);
  EXPECT_EQ(Params.BitsPerSample, 8);
  EXPECT_EQ(Params.SamplesPerPixel, 1);

  Params.NativePixelFormat = 1;
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(Bitmap.GetScanline(0)[2], 255);
  EXPECT_EQ(Bitmap.GetPaletteColor(7), Gray(256)[7]);

  // 4 bits: high nibble first.
  f.Bits = 4;
  f.Palette = Gray(16);
  f.Pixels = {0x3A, 0x50, 0, 0};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetScanline(0)[0], 3);
  EXPECT_EQ(Bitmap.GetScanline(0)[1], 10);
  EXPECT_EQ(Bitmap.GetScanline(0)[2], 5);
  EXPECT_EQ(Bitmap.PaletteUsed(), 16);
  Params.NativePixelFormat = 0;
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetRGB(1, 0), Gray(16)[10]);
}

TEST_F(BmpCodecTest, ReadsOneBitAndTurnsAWhiteFirstPaletteOver) {
  ProcessingHooks.InvertBitmapBits = InvertBits;
  BmpFile f;
  f.Bits = 1;
  f.Width = 8;
  f.Height = 1;
  f.Palette = {TIERGB24{0, 0, 0}, TIERGB24{255, 255, 255}};
  f.Pixels = {0xA5, 0, 0, 0};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(Bitmap.GetScanline(0)[0], 0xA5);

  f.Palette = {TIERGB24{255, 255, 255}, TIERGB24{0, 0, 0}};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetScanline(0)[0], 0x5A);

  // Without the processing library the inversion cannot happen, and the read says so.
  ProcessingHooks.InvertBitmapBits = nullptr;
  EXPECT_NE(Read(f.Build()), 0);
}

TEST_F(BmpCodecTest, Reads16BitByTheMasks) {
  BmpFile f;
  f.Bits = 16;
  f.Width = 1;
  f.Height = 1;
  f.Pixels = {0xFF, 0x7F, 0, 0};  // 5-5-5 white
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), (TIERGB24{248, 248, 248}));
  EXPECT_EQ(Params.BitsPerSample, 5);

  f.Compression = 3;
  f.Masks = {0xF800, 0x07E0, 0x001F};
  f.Pixels = {0x00, 0xF8, 0, 0};  // 5-6-5 pure red
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), (TIERGB24{0, 0, 248}));

  // Masks that make no sense still read inside the pixel.
  f.Masks = {0, 0, 0};
  EXPECT_EQ(Read(f.Build()), 0);
}

TEST_F(BmpCodecTest, HeaderKindsAndResolution) {
  struct Case {
    uint32_t HeaderSize;
    uint8_t Kind;
  };
  for (Case c : {Case{12, 2}, Case{40, 1}, Case{64, 3}, Case{108, 0}, Case{124, 0}}) {
    BmpFile f;
    f.HeaderSize = c.HeaderSize;
    f.Bits = 8;
    f.Width = 1;
    f.Height = 1;
    f.Palette = Gray(256);
    f.Pixels = {9, 0, 0, 0};
    ASSERT_EQ(Read(f.Build()), 0) << c.HeaderSize;
    EXPECT_EQ(Params.BmpHeaderKind, c.Kind) << c.HeaderSize;
    EXPECT_EQ(Bitmap.GetRGB(0, 0), Gray(256)[9]) << c.HeaderSize;
  }
  BmpFile f;
  f.PpmX = 0;
  f.PpmY = 2835;
  f.Pixels.assign(16, 0);
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Params.DpiX(), 300);
  EXPECT_EQ(Params.DpiY(), 72);
}

TEST_F(BmpCodecTest, ZeroSizeFillsOnlyTheParameters) {
  BmpFile f;
  f.Width = 0;
  f.Height = 5;
  Bitmap.Allocate(4, 4, ie24RGB);
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetWidth(), 4);
  EXPECT_EQ(Params.Height, 5);

  // A bad signature leaves the parameters alone.
  Params.Width = 77;
  Bytes b = f.Build();
  b[0] = 'X';
  EXPECT_NE(Read(b), 0);
  EXPECT_EQ(Params.Width, 77);
}

// ---- Run-length data -------------------------------------------------------------------------------------

TEST_F(BmpCodecTest, Rle8DeltaRunsAndMissingEnd) {
  BmpFile f;
  f.Bits = 8;
  f.Compression = 1;
  f.Width = 4;
  f.Height = 2;
  f.Palette = Gray(256);
  // Bottom row: one pixel 1, delta right by 2, pixel 2; end of line; top row: a run of 6 pixels 3
  // that overflows into the last pixel, then the data end without an end-of-bitmap code.
  f.Pixels = {1, 1, 0, 2, 2, 0, 1, 2, 0, 0, 6, 3};
  Params.NativePixelFormat = 1;
  Bitmap.Allocate(4, 2, ie8p);
  ASSERT_EQ(Read(f.Build()), 0);
  const uint8_t* Bottom = Bitmap.GetScanline(1);
  EXPECT_EQ(Bottom[0], 1);
  EXPECT_EQ(Bottom[3], 2);
  const uint8_t* Top = Bitmap.GetScanline(0);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Top[x], 3);
  EXPECT_EQ(Params.BmpCompression, 1);
}

TEST_F(BmpCodecTest, Rle4DropsPixelsPastTheRow) {
  BmpFile f;
  f.Bits = 4;
  f.Compression = 2;
  f.Width = 3;
  f.Height = 1;
  f.Palette = Gray(16);
  // An absolute run of 3 (1, 2, 3), then a run of 4 alternating 5 and 6 that falls past the row.
  f.Pixels = {0, 3, 0x12, 0x30, 4, 0x56, 0, 1};
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), Gray(16)[1]);
  EXPECT_EQ(Bitmap.GetRGB(2, 0), Gray(16)[3]);
}

TEST_F(BmpCodecTest, EncodersGiveTheKnownCodes) {
  uint8_t Out[64];
  const uint8_t Three[] = {1, 2, 3};
  int32_t n = BmpEncodeRle4(Three, 3, Out);
  EXPECT_EQ(Bytes(Out, Out + n), (Bytes{0x00, 0x03, 0x12, 0x30, 0x00, 0x00}));
  const uint8_t Five[] = {7, 7, 7, 7, 7};
  n = BmpEncodeRle8(Five, 5, Out);
  EXPECT_EQ(Bytes(Out, Out + n), (Bytes{0x05, 0x07, 0x00, 0x00}));
  const uint8_t Two[] = {4, 9};
  n = BmpEncodeRle8(Two, 2, Out);
  EXPECT_EQ(Bytes(Out, Out + n), (Bytes{1, 4, 1, 9, 0, 0}));
  n = BmpEncodeRle4(Two, 2, Out);
  EXPECT_EQ(Bytes(Out, Out + n), (Bytes{2, 0x49, 0, 0}));
}

TEST_F(BmpCodecTest, EncodedRowsDecodeBack) {
  std::mt19937 Rng(7);
  for (bool Rle4 : {false, true}) {
    for (int Pattern = 0; Pattern < 3; ++Pattern) {
      const int32_t W = 700;
      Bytes Row(W);
      for (int32_t x = 0; x < W; ++x) {
        uint32_t r = Rng();
        Row[x] = uint8_t(Pattern == 0 ? r : Pattern == 1 ? (x / 37) * 11 : (r % 4 == 0 ? r : 5));
        if (Rle4) Row[x] &= 0x0F;
      }
      Bytes Out(size_t(W) * 10);
      int32_t n = Rle4 ? BmpEncodeRle4(Row.data(), W, Out.data()) : BmpEncodeRle8(Row.data(), W, Out.data());
      TIEBitmap B(W, 1, ie8p);
      auto Pal = Gray(256);
      ASSERT_TRUE(Rle4 ? BmpDecodeRle4(&B, Out.data(), n, false, Progress, Pal.data(), 256)
                       : BmpDecodeRle8(&B, Out.data(), n, false, Progress, Pal.data(), 256));
      EXPECT_EQ(Bytes(B.GetScanline(0), B.GetScanline(0) + W), Row) << Rle4 << " " << Pattern;
    }
  }
}

// ---- Writing -------------------------------------------------------------------------------------------------

TEST_F(BmpCodecTest, Writes24And32BitWithPatchedHeaders) {
  TIEBitmap Src(3, 2, ie24RGB);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) Src.SetRGB(x, y, TIERGB24{uint8_t(x), uint8_t(y), uint8_t(x + y * 3)});
  Params.SetDpiX(96);
  Params.SetDpiY(300);
  Bytes b = Write(Src);
  ASSERT_EQ(Abort, 0);
  EXPECT_EQ(Get32(b, 2), b.size());
  EXPECT_EQ(Get32(b, 10), 54u);
  EXPECT_EQ(Get16(b, 28), 24u);
  EXPECT_EQ(Get32(b, 34), 24u);  // two rows of 9 bytes padded to 12
  EXPECT_EQ(Get32(b, 38), 3780u);
  EXPECT_EQ(Get32(b, 42), 11811u);
  EXPECT_EQ(Get32(b, 50), 16777216u);

  ASSERT_EQ(Read(b), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Bitmap.GetRGB(x, y), Src.GetRGB(x, y));

  // An alpha channel makes 32 bits; its values go out only with WriteAlpha.
  Src.SetAlpha(1, 0, 77);
  Bytes Opaque = Write(Src, false);
  EXPECT_EQ(Get16(Opaque, 28), 32u);
  EXPECT_EQ(Get32(Opaque, 50), 1u);
  for (size_t i = 54 + 3; i < Opaque.size(); i += 4) EXPECT_EQ(Opaque[i], 255);
  Bytes WithAlpha = Write(Src, true);
  ASSERT_EQ(Read(WithAlpha, false), 0);
  ASSERT_NE(Mask, nullptr);
  EXPECT_EQ(Mask->GetPixel(1, 0), 77);
  EXPECT_EQ(Mask->GetPixel(0, 0), 255);
}

TEST_F(BmpCodecTest, WritesPaletteDepthsThatReadBack) {
  TIEBitmap Src(5, 3, ie8p);
  auto Pal = Gray(16);
  for (int i = 0; i < 16; ++i) Src.SetPaletteColor(i, Pal[i]);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) Src.GetScanline(y)[x] = uint8_t((x * 3 + y) % 16);

  struct Case {
    int32_t Bits;
    uint8_t Rle;
    uint8_t Kind;
    uint32_t Compression;
  };
  for (Case c : {Case{8, 0, 1, 0}, Case{8, 1, 1, 1}, Case{4, 0, 1, 0}, Case{4, 1, 3, 2}, Case{8, 1, 2, 0}}) {
    Params.ResetAll();
    Params.BitsPerSample = c.Bits;
    Params.SamplesPerPixel = 1;
    Params.BmpCompression = c.Rle;
    Params.BmpHeaderKind = c.Kind;
    Bytes b = Write(Src);
    ASSERT_EQ(Abort, 0) << c.Bits << " " << int(c.Rle);
    if (c.Kind != 2) {
      EXPECT_EQ(Get32(b, 30), c.Compression);
      EXPECT_EQ(Get32(b, 46), 1u << c.Bits);
    }
    if (c.Rle && c.Kind != 2) {
      EXPECT_EQ(b[b.size() - 2], 0);
      EXPECT_EQ(b[b.size() - 1], 1);
      EXPECT_EQ(b[b.size() - 3], 0);
      EXPECT_EQ(b[b.size() - 4], 0);
    }
    Params.ResetAll();
    Params.NativePixelFormat = 1;
    ASSERT_EQ(Read(b), 0) << c.Bits;
    EXPECT_EQ(Params.BmpHeaderKind, c.Kind);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Bitmap.GetPaletteColor(Bitmap.GetScanline(y)[x]), Src.GetPaletteColor(Src.GetScanline(y)[x]))
            << c.Bits << " " << x << "," << y;
  }
}

TEST_F(BmpCodecTest, WritesOneBitImages) {
  TIEBitmap Src(10, 2, ie1g);
  Src.GetScanline(0)[0] = 0xF0;
  Src.GetScanline(0)[1] = 0x40;
  Src.GetScanline(1)[0] = 0x81;
  Params.BitsPerSample = 1;
  Bytes b = Write(Src);
  ASSERT_EQ(Abort, 0);
  EXPECT_EQ(Get16(b, 28), 1u);
  EXPECT_EQ(Params.PaletteCount(), 2);
  ASSERT_EQ(Read(b), 0);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(Bitmap.GetScanline(0)[0], 0xF0);
  EXPECT_EQ(Bitmap.GetScanline(0)[1], 0x40);
  EXPECT_EQ(Bitmap.GetScanline(1)[0], 0x81);

  // A colour source with neither the two-colour test nor the threshold available cannot be written.
  TIEBitmap Colour(4, 4, ie24RGB);
  Params.BitsPerSample = 1;
  Write(Colour);
  EXPECT_NE(Abort, 0);
  // Ordered dithering needs no processing routine: a 50% grey sets half of each 8 x 8 block.
  TIEBitmap Grey(8, 8, ie24RGB);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) Grey.SetRGB(x, y, TIERGB24{128, 128, 128});
  Grey.SetBWConversion(0);
  Params.BitsPerSample = 1;
  b = Write(Grey);
  ASSERT_EQ(Abort, 0);
  ASSERT_EQ(Read(b), 0);
  int Set = 0;
  for (int y = 0; y < 8; ++y) Set += __builtin_popcount(Bitmap.GetScanline(y)[0]);
  EXPECT_EQ(Set, 32);
}

TEST_F(BmpCodecTest, ShortWriteAbortsAndLeavesHeadersUnpatched) {
  TIEBitmap Src(16, 16, ie24RGB);
  Bytes Block(200, 0xEE);
  TCustomMemoryStream S;  // a fixed block: writes past it are short
  S.SetPointer(Block.data(), int64_t(Block.size()));
  Abort = 0;
  BmpWriteImage(&S, &Src, Params, Progress, false);
  EXPECT_NE(Abort, 0);
  EXPECT_EQ(Get32(Block, 2), 0u) << "the file size stays unwritten";
}

// ---- Malformed files ------------------------------------------------------------------------------------------

struct BadCase {
  const char* Name;
  std::function<Bytes()> Make;
};

BmpFile Palette8(int32_t W, int32_t H, Bytes Pixels) {
  BmpFile f;
  f.Bits = 8;
  f.Width = W;
  f.Height = H;
  f.Palette = Gray(256);
  f.Pixels = std::move(Pixels);
  return f;
}

TEST_F(BmpCodecTest, MalformedFilesFailThroughTheAbortByte) {
  const std::vector<BadCase> Cases = {
      {"file header cut", [] { return Bytes{'B', 'M', 0, 0}; }},
      {"info header cut", [] { Bytes b = Palette8(2, 2, {}).Build(); b.resize(30); return b; }},
      {"palette cut", [] { Bytes b = Palette8(2, 2, {}).Build(); b.resize(54 + 100); return b; }},
      {"pixels cut", [] { BmpFile f; f.Width = 4; f.Height = 4; f.Pixels.assign(30, 1); return f.Build(); }},
      {"absurd size", [] { BmpFile f; f.Width = 60000; f.Height = 60000; f.Pixels.assign(64, 0); return f.Build(); }},
      {"absurd RLE size",
       [] {
         BmpFile f = Palette8(60000, 60000, {0, 1});
         f.Compression = 1;
         return f.Build();
       }},
      {"negative width", [] { BmpFile f; f.Width = -4; f.Pixels.assign(64, 0); return f.Build(); }},
      {"height INT_MIN", [] { BmpFile f; f.Height = INT32_MIN; return f.Build(); }},
      // 126 bytes whose row length times height is beyond 64 bits, bottom-up and top-down.
      {"row length times height past 64 bits",
       [] {
         BmpFile f;
         f.Width = 0x6DA80005;
         f.Height = 0x7FFFFFF0;
         f.Pixels.assign(72, 0);
         return f.Build();
       }},
      {"row length times height past 64 bits, top-down",
       [] {
         BmpFile f;
         f.Width = 0x6DA80005;
         f.Height = -0x7FFFFFF0;
         f.Pixels.assign(72, 0);
         return f.Build();
       }},
      {"header size past the end", [] { BmpFile f; f.HeaderSize = 40; Bytes b = f.Build(); b[14] = 0xF0; b[15] = 0xFF; return b; }},
      {"pixel offset past the end", [] { BmpFile f; f.Pixels.assign(16, 0); f.OffsetOverride = 100000; return f.Build(); }},
      {"index past the palette",
       [] {
         BmpFile f = Palette8(2, 1, {0, 5, 0, 0});
         f.Palette = Gray(2);
         f.ColorsUsed = 2;
         return f.Build();
       }},
      {"4-bit index past the palette",
       [] {
         BmpFile f = Palette8(2, 1, {0x1E, 0, 0, 0});
         f.Bits = 4;
         f.Palette = Gray(3);
         f.ColorsUsed = 3;
         return f.Build();
       }},
      {"RLE index past the palette",
       [] {
         BmpFile f = Palette8(4, 1, {2, 9, 0, 1});
         f.Compression = 1;
         f.Palette = Gray(4);
         f.ColorsUsed = 4;
         return f.Build();
       }},
      {"RLE absolute run cut", [] { BmpFile f = Palette8(8, 2, {0, 8, 1, 2}); f.Compression = 1; return f.Build(); }},
      {"RLE delta out of the image",
       [] { BmpFile f = Palette8(8, 2, {0, 2, 1, 5, 1, 1}); f.Compression = 1; return f.Build(); }},
      {"RLE code cut", [] { BmpFile f = Palette8(8, 2, {3, 1, 0}); f.Compression = 1; return f.Build(); }},
      {"RLE4 absolute run cut",
       [] {
         BmpFile f = Palette8(8, 1, {0, 9, 0x12});
         f.Bits = 4;
         f.Palette = Gray(16);
         f.Compression = 2;
         return f.Build();
       }},
      {"compression the depth cannot have",
       [] { BmpFile f = Palette8(2, 2, Bytes(8, 0)); f.Compression = 2; return f.Build(); }},
      {"unknown depth", [] { BmpFile f; f.Bits = 2; f.Pixels.assign(8, 0); return f.Build(); }},
  };
  for (const BadCase& c : Cases) {
    Params.ResetAll();
    Mask.reset();
    EXPECT_NE(Read(c.Make(), false), 0) << c.Name;
    Params.ResetAll();
    Params.NativePixelFormat = 1;
    EXPECT_NE(Read(c.Make(), false), 0) << c.Name << " (palette bitmap)";
  }
}

TEST_F(BmpCodecTest, ALastRowWithoutItsPaddingStillReads) {
  BmpFile f;
  f.Width = 1;
  f.Height = 2;
  f.Pixels = {1, 2, 3, 0, 4, 5, 6};  // the final pad byte is missing
  ASSERT_EQ(Read(f.Build()), 0);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), (TIERGB24{4, 5, 6}));
}

TEST_F(BmpCodecTest, AbortFromProgressStopsTheRows) {
  BmpFile f;
  f.Width = 1;
  f.Height = 50;
  f.Pixels.assign(200, 9);
  int Calls = 0;
  Progress.OnProgress = [&](TObject*, int per) {
    ++Calls;
    if (per >= 10) Abort = 1;
  };
  Read(f.Build());
  EXPECT_NE(Abort, 0);
  EXPECT_LT(Calls, 10);
}

}  // namespace
}  // namespace zv

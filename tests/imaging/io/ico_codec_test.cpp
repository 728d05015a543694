// Icons and cursors: entry choice, every depth with its transparency rows, background colours, native
// formats, the BMP and PNG entries, and malformed directories, palettes and sizes.
#include "imaging/io/ico_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// The image data of an entry: info header, palette, colour rows and transparency rows, bottom-up.
// Pixel gives an index (8 bits or fewer) or 0xAARRGGBB.
Bytes Dib(int W, int H, int Bits, const std::vector<uint32_t>& Palette, std::function<uint32_t(int, int)> Pixel,
          std::function<bool(int, int)> Transparent, bool WithAnd = true) {
  Bytes b;
  Put32(b, 40);
  Put32(b, uint32_t(W));
  Put32(b, uint32_t(H * 2));
  Put16(b, 1);
  Put16(b, uint32_t(Bits));
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (uint32_t c : Palette) Put32(b, c);
  const int XorLen = (W * Bits + 31) / 32 * 4, AndLen = (W + 31) / 32 * 4;
  for (int y = H - 1; y >= 0; --y) {
    Bytes Row(size_t(XorLen), 0);
    for (int x = 0; x < W; ++x) {
      const uint32_t v = Pixel(x, y);
      if (Bits == 1) Row[size_t(x / 8)] |= uint8_t((v & 1) << (7 - x % 8));
      if (Bits == 4) Row[size_t(x / 2)] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
      if (Bits == 8) Row[size_t(x)] = uint8_t(v);
      if (Bits >= 24)
        for (int i = 0; i < Bits / 8; ++i) Row[size_t(x * (Bits / 8) + i)] = uint8_t(v >> (8 * i));
    }
    b.insert(b.end(), Row.begin(), Row.end());
  }
  if (WithAnd)
    for (int y = H - 1; y >= 0; --y) {
      Bytes Row(size_t(AndLen), 0);
      for (int x = 0; x < W; ++x)
        if (Transparent(x, y)) Row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
      b.insert(b.end(), Row.begin(), Row.end());
    }
  return b;
}

struct Entry {
  uint8_t W, H, Colors;
  uint16_t Word4, Word6;
  Bytes Data;
  int64_t OffsetOverride = -1;
  int64_t SizeOverride = -1;
};

Bytes IconFile(uint16_t Type, const std::vector<Entry>& Entries) {
  Bytes b;
  Put16(b, 0);
  Put16(b, Type);
  Put16(b, uint32_t(Entries.size()));
  uint32_t Offset = uint32_t(6 + 16 * Entries.size());
  for (const Entry& e : Entries) {
    b.push_back(e.W);
    b.push_back(e.H);
    b.push_back(e.Colors);
    b.push_back(0);
    Put16(b, e.Word4);
    Put16(b, e.Word6);
    Put32(b, e.SizeOverride >= 0 ? uint32_t(e.SizeOverride) : uint32_t(e.Data.size()));
    Put32(b, e.OffsetOverride >= 0 ? uint32_t(e.OffsetOverride) : Offset);
    Offset += uint32_t(e.Data.size());
  }
  for (const Entry& e : Entries) b.insert(b.end(), e.Data.begin(), e.Data.end());
  return b;
}

struct Load {
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  TIOParamsVals Params{nullptr};
  TIEBitmap Bitmap;
  std::unique_ptr<TIEMask> Mask;
  Load() { Progress.Abort = &Abort; }
  bool Ico(const Bytes& b, bool ParamsOnly = false) {
    TMemoryStream S;
    S.WriteBuffer(b.data(), int64_t(b.size()));
    S.SetPosition(0);
    IcoReadImage(&S, &Bitmap, Params, ParamsOnly, Progress, Mask, false);
    return Abort == 0;
  }
  bool Cur(const Bytes& b) {
    TMemoryStream S;
    S.WriteBuffer(b.data(), int64_t(b.size()));
    S.SetPosition(0);
    CurReadImage(&S, &Bitmap, Params, false, Progress, Mask, false);
    return Abort == 0;
  }
  std::vector<int> Rgb(int x, int y) {
    const uint8_t* p = Bitmap.GetScanline(y) + x * 3;
    return {p[2], p[1], p[0]};
  }
  bool White(int x, int y) { return (Bitmap.GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }
};

const std::vector<uint32_t> BlackWhite = {0x000000, 0xFFFFFF};
auto NoneClear = [](int, int) { return false; };

TEST(IcoRead, EntryChoiceFillsTheSizesOfEveryUsableEntry) {
  const Bytes Small = Dib(2, 2, 24, {}, [](int, int) { return 0x112233u; }, NoneClear);
  const Bytes Big = Dib(4, 3, 24, {}, [](int, int) { return 0x445566u; }, NoneClear);
  const Bytes Mid = Dib(3, 3, 8, std::vector<uint32_t>(256, 0x0000FF), [](int, int) { return 1u; }, NoneClear);
  const Bytes File = IconFile(1, {{2, 2, 0, 1, 24, Small}, {0, 3, 0, 1, 24, Big}, {3, 3, 0, 1, 8, Mid}});
  Load l;
  l.Params.IcoImageIndex = 2;
  ASSERT_TRUE(l.Ico(File));
  EXPECT_EQ(l.Params.IcoSizes[0].Width, 2);
  EXPECT_EQ(l.Params.IcoSizes[1].Width, 0);  // a 0 width byte leaves it out
  EXPECT_EQ(l.Params.IcoSizes[2].Height, 3);
  EXPECT_EQ(l.Params.IcoBitCounts[2], 8);
  EXPECT_EQ(l.Bitmap.GetWidth(), 3);
  EXPECT_EQ(l.Rgb(1, 1), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(l.Mask, nullptr);  // fully opaque icon: no mask
  Load Out;
  Out.Params.IcoImageIndex = 3;
  Out.Params.Width = 9;
  EXPECT_TRUE(Out.Ico(File));
  EXPECT_EQ(Out.Params.Width, 9);
}

TEST(IcoRead, DepthsAndTransparency) {
  auto Corner = [](int x, int y) { return x == 0 && y == 0; };
  // 32 bits with all fourth bytes 0: the AND rows decide.
  Load a;
  ASSERT_TRUE(a.Ico(IconFile(1, {{2, 2, 0, 1, 32, Dib(2, 2, 32, {}, [](int, int) { return 0x00102030u; }, Corner)}})));
  ASSERT_NE(a.Mask, nullptr);
  EXPECT_EQ(a.Mask->GetPixel(0, 0), 0);
  EXPECT_EQ(a.Mask->GetPixel(1, 1), 255);
  EXPECT_EQ(a.Rgb(1, 0), (std::vector<int>{0x10, 0x20, 0x30}));
  // 32 bits with alpha: the fourth bytes are the mask.
  Load b;
  ASSERT_TRUE(b.Ico(IconFile(1, {{2, 1, 0, 1, 32, Dib(2, 1, 32, {}, [](int x, int) { return x ? 0x80FFFFFFu : 0xFF000000u; }, NoneClear)}})));
  EXPECT_EQ(b.Mask->GetPixel(1, 0), 0x80);
  // 4 bits: transparent pixels in the background colour, or index bytes with the native format.
  std::vector<uint32_t> Pal16(16, 0);
  Pal16[3] = 0x00FF00;
  const Bytes Four = IconFile(1, {{2, 2, 16, 1, 4, Dib(2, 2, 4, Pal16, [](int, int) { return 3u; }, Corner)}});
  Load c;
  c.Params.IcoBackgroundColor = TIERGB24{10, 20, 30};
  ASSERT_TRUE(c.Ico(Four));
  EXPECT_EQ(c.Rgb(0, 0), (std::vector<int>{30, 20, 10}));
  EXPECT_EQ(c.Rgb(1, 1), (std::vector<int>{0, 255, 0}));
  Load d;
  d.Params.NativePixelFormat = 1;
  ASSERT_TRUE(d.Ico(Four));
  EXPECT_EQ(d.Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(d.Bitmap.GetScanline(1)[1], 3);
  // 1 bit: transparent pixels white on a white background.
  Load e;
  ASSERT_TRUE(e.Ico(IconFile(1, {{2, 1, 2, 1, 1, Dib(2, 1, 1, BlackWhite, [](int, int) { return 0u; }, Corner)}})));
  EXPECT_EQ(e.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_TRUE(e.White(0, 0));
  EXPECT_FALSE(e.White(1, 0));
}

TEST(IcoRead, ABmpStreamLoadsAsABmp) {
  TIEBitmap Src(3, 2, ie24RGB);
  Src.Fill(0x00336699);
  TIOParamsVals P(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  BmpWriteImage(&S, &Src, P, Progress, false);
  const uint8_t* m = static_cast<const uint8_t*>(S.Memory());
  Load l;
  ASSERT_TRUE(l.Ico(Bytes(m, m + S.Size())));
  EXPECT_EQ(l.Bitmap.GetWidth(), 3);
  EXPECT_EQ(l.Params.Height, 2);
}

TEST(CurRead, HotSpotAndAMaskEvenWhenOpaque) {
  Load l;
  ASSERT_TRUE(l.Cur(IconFile(2, {{2, 2, 2, 7, 9, Dib(2, 2, 1, BlackWhite, [](int, int) { return 1u; }, NoneClear)}})));
  EXPECT_EQ(l.Params.CurHotSpotX, 7);
  EXPECT_EQ(l.Params.CurHotSpotY, 9);
  ASSERT_NE(l.Mask, nullptr);
  EXPECT_EQ(l.Mask->GetPixel(1, 1), 255);
  EXPECT_TRUE(l.White(1, 1));
  // An 8-bit cursor of 2 colours: indices past its palette read as entry 0.
  Load p;
  ASSERT_TRUE(p.Cur(IconFile(2, {{2, 1, 4, 0, 0, Dib(2, 1, 8, {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}, [](int x, int) { return x ? 200u : 2u; }, NoneClear)}})));
  EXPECT_EQ(p.Rgb(0, 0), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(p.Rgb(1, 0), (std::vector<int>{0, 0, 255}));
}

TEST(IconRead, MalformedFilesAbort) {
  const Bytes Good = Dib(2, 2, 24, {}, [](int, int) { return 1u; }, NoneClear);
  Bytes NoBits = Good;
  NoBits[14] = 0;  // header bits 0, entry bits 0 and colour count 0
  Bytes Png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Png.resize(60, 0);
  Bytes Huge = Good;  // 60000 x 60000 said by the header, 2 x 2 pixels in the file
  for (int i = 0; i < 4; ++i) {
    Huge[size_t(4 + i)] = uint8_t(60000 >> (8 * i));
    Huge[size_t(8 + i)] = uint8_t(120000 >> (8 * i));
  }
  struct Case {
    const char* Name;
    uint16_t Type;
    Entry E;
  };
  const std::vector<Case> Cases = {
      {"offset inside the directory", 1, {2, 2, 0, 1, 24, Good, 8}},
      {"size 2^31", 2, {2, 2, 0, 0, 0, Good, -1, int64_t(1) << 31}},
      {"no depth anywhere", 2, {2, 2, 0, 0, 0, NoBits}},
      {"no depth in an icon", 1, {2, 2, 0, 0, 0, NoBits}},
      {"a PNG entry without a PNG reader", 1, {2, 2, 0, 1, 32, Png}},
      {"a header size the file holds not a 64th of", 1, {0, 0, 0, 1, 24, Huge}},
  };
  IcoPngReader = nullptr;
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    Load l;
    const Bytes File = IconFile(c.Type, {c.E});
    EXPECT_FALSE(c.Type == 1 ? l.Ico(File) : l.Cur(File));
  }
  Load Short;
  EXPECT_FALSE(Short.Ico(Bytes{0, 0, 1, 0, 1}));
}

// ---- Writing ---------------------------------------------------------------------------------------------

Bytes WriteIcon(TIEBitmap& B, TIOParamsVals& P, const std::vector<TIcoSize2>& Sizes, const std::vector<int32_t>& Bits,
                uint8_t* AbortOut = nullptr, TIEProgressEvent OnProgress = {}) {
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  Progress.OnProgress = OnProgress;
  TMemoryStream S;
  IcoWriteImage(&S, &B, P, Progress, Sizes.data(), Bits.data(), int32_t(Sizes.size()));
  if (AbortOut != nullptr) *AbortOut = Abort;
  const uint8_t* m = static_cast<const uint8_t*>(S.Memory());
  return Bytes(m, m + S.Size());
}

// Four colours in quarters, so that every depth from 4 bits up keeps them exactly.
void Quarters(TIEBitmap& B) {
  const TIERGB24 C[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {40, 80, 120}};
  for (int y = 0; y < B.GetHeight(); ++y)
    for (int x = 0; x < B.GetWidth(); ++x)
      std::memcpy(B.GetScanline(y) + x * 3, &C[(y * 2 / B.GetHeight()) * 2 + x * 2 / B.GetWidth()], 3);
}

TEST(IcoWrite, EveryDepthRoundTrips) {
  TIEBitmap B(16, 16, ie24RGB);
  Quarters(B);
  TIOParamsVals P(nullptr);
  const Bytes File = WriteIcon(B, P, {{16, 16}, {16, 16}, {16, 16}, {16, 16}}, {4, 8, 24, 32});
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    Load l;
    l.Params.IcoImageIndex = i;
    ASSERT_TRUE(l.Ico(File));
    const int Expected[] = {4, 8, 24, 32};
    EXPECT_EQ(l.Params.IcoBitCounts[size_t(i)], Expected[i]);
    for (int y : {0, 5, 12, 15})
      for (int x : {0, 7, 8, 15}) EXPECT_EQ(std::memcmp(l.Bitmap.GetScanline(y) + x * 3, B.GetScanline(y) + x * 3, 3), 0);
  }
  TIEBitmap Bw(10, 3, ie1g);
  Bw.Fill(0);
  Bw.GetScanline(1)[0] = 0xA0;
  const Bytes One = WriteIcon(Bw, P, {{10, 3}}, {1});
  Load l;
  ASSERT_TRUE(l.Ico(One));
  EXPECT_TRUE(l.White(0, 1));
  EXPECT_FALSE(l.White(1, 1));
  EXPECT_TRUE(l.White(2, 1));
  EXPECT_FALSE(l.White(0, 0));
}

TEST(IcoWrite, DefaultEntryFromAnImageWithAlpha) {
  TIEBitmap B(64, 64, ie24RGB);
  Quarters(B);
  B.GetAlphaChannel()->Fill(255);
  B.GetAlphaChannel()->GetScanline(3)[5] = 100;
  TIOParamsVals P(nullptr);
  Bytes File = WriteIcon(B, P, {{64, 64}}, {8});
  ASSERT_GT(File.size(), 22u);
  EXPECT_EQ(File[4], 1);
  EXPECT_EQ(File[6], 64);
  EXPECT_EQ(File[8], 255);  // colour count
  EXPECT_EQ(File[10] | File[12], 0);  // planes and bits 0 for palette depths
  const size_t Pixels = 22 + 40 + 256 * 4;
  EXPECT_EQ(File[Pixels + size_t(63 - 3) * 64 + 5], 0);  // index 0 where alpha is below 255
  EXPECT_NE(File[Pixels + size_t(63 - 3) * 64 + 6], 0);
  const size_t And = Pixels + 64 * 64 + size_t(63 - 3) * 8;
  EXPECT_EQ(File[And], 0x04);  // the AND bit of x = 5
  Load l;
  ASSERT_TRUE(l.Ico(File));
  ASSERT_NE(l.Mask, nullptr);
  EXPECT_EQ(l.Mask->GetPixel(5, 3), 0);
  EXPECT_EQ(l.Mask->GetPixel(6, 3), 255);
}

TEST(IcoWrite, AnAbortBetweenImagesLeavesACountOfTheImagesWritten) {
  TIEBitmap B(8, 8, ie24RGB);
  TIOParamsVals P(nullptr);
  uint8_t Caller = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Caller;
  Progress.OnProgress = [&](TObject*, int Percent) {
    if (Percent >= 60) Caller = 1;
  };
  TMemoryStream S;
  const TIcoSize2 Sizes[3] = {{8, 8}, {8, 8}, {8, 8}};
  const int32_t Bits[3] = {24, 24, 24};
  IcoWriteImage(&S, &B, P, Progress, Sizes, Bits, 3);
  const uint8_t* m = static_cast<const uint8_t*>(S.Memory());
  EXPECT_EQ(Caller, 1);
  EXPECT_EQ(m[4], 2);  // images 0 and 1 (33 %) written, stopped before image 2 (67 %)
  EXPECT_NE(m[6 + 16 + 8], 0);  // the second entry has its size
}

TEST(IcoWrite, AShortWriteSetsTheAbortByte) {
  class TShort : public TMemoryStream {
  public:
    int64_t Write(const void* Buffer, int64_t Count) override {
      const int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, 100 - Position()));
      return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
    }
  } S;
  TIEBitmap B(32, 32, ie24RGB);
  TIOParamsVals P(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  const TIcoSize2 Size{32, 32};
  const int32_t Bits = 24;
  IcoWriteImage(&S, &B, P, Progress, &Size, &Bits, 1);
  EXPECT_EQ(Abort, 1);
}

TEST(IcoWrite, PillowReadsWhatWeWrite) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3-pil is not installed";
  TIEBitmap B(16, 16, ie24RGB);
  Quarters(B);
  TIOParamsVals P(nullptr);
  const Bytes File = WriteIcon(B, P, {{16, 16}}, {32});
  const std::string Path = ::testing::TempDir() + "zv_ico_pillow.ico";
  FILE* f = fopen(Path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(File.data(), 1, File.size(), f);
  fclose(f);
  const std::string Cmd = "/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + Path +
                          "').convert('RGBA'); print(im.size, im.getpixel((0,0)), im.getpixel((15,15)))\"";
  FILE* p = popen(Cmd.c_str(), "r");
  char Out[256] = {};
  fread(Out, 1, sizeof Out - 1, p);
  pclose(p);
  EXPECT_EQ(std::string(Out), "(16, 16) (255, 0, 0, 255) (120, 80, 40, 255)\n");
}

}  // namespace
}  // namespace zv

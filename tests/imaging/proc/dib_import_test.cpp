// DIB import beyond the plain formats: every FourCC frame layout on a small pattern, YUV conversion,
// bit-field masks in any order and width, 1-bit tables, corrupt headers and short buffers (the buffers
// are exactly sized so that a read past them is caught), and the pixel-row routines.
#include "imaging/proc/dib_import.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/proc/bitmap_copy.h"
#include "platform/gdi.h"
#include "platform/win32.h"

namespace zv {
namespace {

bool Same(TIERGB24 a, TIERGB24 b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
TIERGB24 Yuv(int Y, int U, int V) {
  TIERGB24 c;
  YUVToRGB(Y, U, V, c);
  return c;
}

std::vector<uint8_t> Header(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, uint32_t Size = 40,
                            uint32_t ClrUsed = 0) {
  BITMAPINFOHEADER h;
  h.biSize = Size;
  h.biWidth = W;
  h.biHeight = H;
  h.biPlanes = 1;
  h.biBitCount = Bits;
  h.biCompression = Compression;
  h.biClrUsed = ClrUsed;
  std::vector<uint8_t> v(40);
  std::memcpy(v.data(), &h, 40);
  return v;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

uint32_t Code(const char* s) { uint32_t c; std::memcpy(&c, s, 4); return c; }

TEST(YUVToRGB, Table) {
  struct Case {
    int Y, U, V;
    uint8_t B, G, R;
  } Cases[] = {{16, 128, 128, 0, 0, 0},       {235, 128, 128, 255, 255, 255}, {82, 90, 240, 0, 1, 255},
               {128, 128, 128, 130, 130, 130}, {0, 0, 0, 0, 135, 0},          {255, 255, 255, 255, 125, 255},
               {41, 240, 110, 255, 0, 0}};
  for (const Case& c : Cases) {
    TIERGB24 x = Yuv(c.Y, c.U, c.V);
    EXPECT_EQ(x.b, c.B) << c.Y << "," << c.U << "," << c.V;
    EXPECT_EQ(x.g, c.G) << c.Y << "," << c.U << "," << c.V;
    EXPECT_EQ(x.r, c.R) << c.Y << "," << c.U << "," << c.V;
  }
}

TEST(VideoFrames, EveryFourCCOnASmallPattern) {
  // Luma a, b on the first frame row and c, d on the second; chroma (90, 240) on the first row and
  // neutral on the second where a format has chroma per row.
  const uint8_t a = 16, b = 235, c = 126, d = 70;
  struct Pixel {
    int32_t X, Y;
    int L, U, V;
  };
  struct Case {
    const char* FourCC;
    int32_t W, H;
    std::vector<uint8_t> Bytes;
    std::vector<Pixel> Expected;
  };
  const std::vector<Pixel> PerRow = {{0, 0, a, 90, 240}, {1, 0, b, 90, 240}, {0, 1, c, 128, 128}, {1, 1, d, 128, 128}};
  const std::vector<Pixel> Flipped = {{0, 1, a, 90, 240}, {1, 1, b, 90, 240}, {0, 0, c, 128, 128}, {1, 0, d, 128, 128}};
  const std::vector<Pixel> Planar = {{0, 0, a, 90, 240}, {1, 0, b, 90, 240}, {0, 1, c, 90, 240}, {1, 1, d, 90, 240}};
  const uint32_t Cl0 = 60u | 22u << 6 | 2u << 12 | 29u << 17, Cl1 = 32u | 32u << 6 | 15u << 12 | 8u << 17;
  const std::vector<Case> Cases = {
      {"I420", 2, 2, {a, b, c, d, 90, 240}, Planar},
      {"IYUV", 2, 2, {a, b, c, d, 90, 240}, Planar},
      {"YV12", 2, 2, {a, b, c, d, 240, 90}, Planar},
      {"YVU9", 4, 4, {a, 0, 0, b, 0, 0, 0, 0, 0, 0, 0, 0, c, 0, 0, d, 240, 90},
       {{0, 0, a, 90, 240}, {3, 0, b, 90, 240}, {0, 3, c, 90, 240}, {3, 3, d, 90, 240}}},
      {"YUY2", 2, 2, {a, 90, b, 240, c, 128, d, 128}, PerRow},
      {"YUNV", 2, 2, {a, 90, b, 240, c, 128, d, 128}, PerRow},
      {"YVYU", 2, 2, {a, 240, b, 90, c, 128, d, 128}, PerRow},
      {"UYVY", 2, 2, {90, a, 240, b, 128, c, 128, d}, PerRow},
      {"UYNV", 2, 2, {90, a, 240, b, 128, c, 128, d}, PerRow},
      {"cyuv", 2, 2, {90, a, 240, b, 128, c, 128, d}, Flipped},
      {"IYU2", 2, 2, {90, a, 240, 90, b, 240, 128, c, 128, 128, d, 128}, PerRow},
      {"IYU1", 2, 2, {90, a, b, 240, 0, 0, 128, c, d, 128, 0, 0}, PerRow},
      {"Y211", 4, 2, {a, 90, b, 240, c, 128, d, 128},
       {{1, 0, a, 90, 240}, {2, 0, b, 90, 240}, {0, 1, c, 128, 128}, {3, 1, d, 128, 128}}},
      {"Y41P", 2, 2, {90, a, 240, b, 0, 0, 0, 0, 0, 0, 0, 0, 128, c, 128, d, 0, 0, 0, 0, 0, 0, 0, 0}, Flipped},
      {"CLJR", 2, 2,
       {uint8_t(Cl0), uint8_t(Cl0 >> 8), uint8_t(Cl0 >> 16), uint8_t(Cl0 >> 24), uint8_t(Cl1), uint8_t(Cl1 >> 8),
        uint8_t(Cl1 >> 16), uint8_t(Cl1 >> 24)},
       {{0, 0, 16, 89, 243}, {1, 0, 239, 89, 243}, {0, 1, 123, 130, 130}, {1, 1, 66, 130, 130}}},
  };
  for (const Case& k : Cases) {
    for (int Sign : {1, -1}) {
      auto h = Header(k.W, Sign * k.H, 16, Code(k.FourCC));
      std::vector<uint8_t> Bits(k.Bytes);  // exactly the frame: a read past it is caught
      TIEBitmap B;
      EXPECT_EQ(CopyDIBBufferToIEBitmap(h.data(), h.size(), &B, Bits.data(), Bits.size()), 16);
      ASSERT_EQ(B.GetWidth(), k.W) << k.FourCC;
      ASSERT_EQ(B.GetHeight(), k.H) << k.FourCC;
      for (const Pixel& p : k.Expected) {
        const int32_t y = Sign > 0 ? p.Y : k.H - 1 - p.Y;  // a negative height turns the rows over
        EXPECT_TRUE(Same(B.GetRGB(p.X, y), Yuv(p.L, p.U, p.V))) << k.FourCC << " " << Sign << " at " << p.X << "," << p.Y;
      }
      // The frame through the plain entry, as every importer calls it.
      TIEBitmap C;
      CopyDIBToIEBitmap(h.data(), &C, Bits.data(), true);
      EXPECT_TRUE(SameBitmap(&B, &C)) << k.FourCC;
    }
  }
  // The known pair: a black and a white pixel.
  auto h = Header(2, 1, 16, Code("UYVY"));
  std::vector<uint8_t> Bits = {128, 16, 128, 235};
  TIEBitmap B;
  CopyDIBBufferToIEBitmap(h.data(), h.size(), &B, Bits.data(), Bits.size());
  EXPECT_TRUE(Same(B.GetRGB(0, 0), TIERGB24{0, 0, 0}));
  EXPECT_TRUE(Same(B.GetRGB(1, 0), TIERGB24{255, 255, 255}));
}

std::vector<uint8_t> Le32(std::initializer_list<uint32_t> Values) {
  std::vector<uint8_t> v;
  for (uint32_t x : Values)
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
  return v;
}

TEST(DibImport, BitFieldMasksInAnyOrderAndWidth) {
  struct Case {
    uint16_t Bits;
    uint32_t Red, Green, Blue;
    uint32_t Pixel;
    uint8_t R, G, B;
  } Cases[] = {
      {16, 0xF800, 0x07E0, 0x001F, 0xFFFF, 248, 252, 248},
      {16, 0x001F, 0x07E0, 0xF800, 0xF81F, 248, 0, 248},   // blue on top
      {16, 0x001F, 0x07E0, 0xF800, 0x001F, 248, 0, 0},
      {16, 0x0F00, 0x00F0, 0x000F, 0x0A50, 160, 80, 0},     // 4-4-4
      {32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x11223344, 0x11, 0x22, 0x33},
      {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0x3FF00000 | (512u << 10) | 4u, 255, 128, 1},  // 10 bits each
      {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00123456, 0x12, 0x34, 0x56},
      {16, 0, 0, 0, 0xFFFF, 0, 0, 0},
  };
  for (const Case& c : Cases) {
    auto Pixels = c.Bits == 16 ? std::vector<uint8_t>{uint8_t(c.Pixel), uint8_t(c.Pixel >> 8), 0, 0} : Le32({c.Pixel});
    auto Dib = Join(Join(Header(1, 1, c.Bits, 3), Le32({c.Red, c.Green, c.Blue})), Pixels);
    TIEBitmap B;
    EXPECT_EQ(CopyDIBBufferToIEBitmap(Dib.data(), Dib.size(), &B, nullptr, 0), c.Bits);
    TIERGB24 p = B.GetRGB(0, 0);
    EXPECT_EQ(p.r, c.R) << std::hex << c.Red << " " << c.Pixel;
    EXPECT_EQ(p.g, c.G) << std::hex << c.Green << " " << c.Pixel;
    EXPECT_EQ(p.b, c.B) << std::hex << c.Blue << " " << c.Pixel;
  }
}

TEST(DibImport, OneBitTableWithTheLighterColourFirst) {
  for (bool LightFirst : {false, true}) {
    std::vector<uint8_t> Table = LightFirst ? std::vector<uint8_t>{250, 250, 250, 0, 5, 5, 5, 0}
                                            : std::vector<uint8_t>{5, 5, 5, 0, 250, 250, 250, 0};
    // Pixel 0 is index 1, pixel 1 index 0.
    auto Dib = Join(Join(Header(2, 1, 1, 0), Table), {0x80, 0, 0, 0});
    TIEBitmap B;
    EXPECT_EQ(CopyDIBBufferToIEBitmap(Dib.data(), Dib.size(), &B, nullptr, 0), 1);
    ASSERT_EQ(B.GetPixelFormat(), ie1g);
    const bool First = GetRowBit(B.GetScanline(0), 0) != 0, Second = GetRowBit(B.GetScanline(0), 1) != 0;
    EXPECT_EQ(First, !LightFirst) << "a set bit is white";
    EXPECT_EQ(Second, LightFirst);
  }
}

TEST(DibImport, CorruptInputIsRefusedOrReadWithinItsBuffers) {
  struct Case {
    std::string Name;
    std::vector<uint8_t> Dib;
    std::vector<uint8_t> Bits;  // empty: none
    int32_t Result;
    int32_t W, H;  // the Dest left behind
  };
  auto I420 = Header(4, 4, 12, Code("I420"));
  auto Yuy2 = Header(3, 2, 16, Code("YUY2"));
  auto Short = Header(2, 2, 24, 0);
  Short.pop_back();
  const std::vector<Case> Cases = {
      {"header of 39 bytes", Short, {}, 0, 0, 0},
      {"width -5", Join(Header(-5, 2, 24, 0), std::vector<uint8_t>(64, 1)), {}, 24, 0, 0},
      {"height -2^31", Join(Header(2, INT32_MIN, 24, 0), std::vector<uint8_t>(16, 1)), {}, 24, 0, 0},
      {"8-bit index 200, 16 entries", Join(Join(Header(2, 1, 8, 0, 40, 16), std::vector<uint8_t>(64, 77)), {200, 3, 0, 0}), {}, 8, 2, 1},
      {"masks 0/0/0", Join(Join(Header(1, 1, 16, 3), Le32({0, 0, 0})), {0xFF, 0xFF, 0, 0}), {}, 16, 1, 1},
      {"masks cut short", Join(Header(1, 1, 16, 3), {0xFF, 0xFF}), {}, 16, 1, 1},
      {"table count 2^32-1", Join(Header(2, 1, 8, 0, 40, 0xFFFFFFFF), {1, 2, 3, 4}), {}, 8, 2, 1},
      {"header size 2^32-1", Join(Header(2, 1, 24, 0, 0xFFFFFFFF), std::vector<uint8_t>(8, 1)), {}, 24, 2, 1},
      {"24-bit rows cut short", Join(Header(5, 9, 24, 0), std::vector<uint8_t>(30, 9)), {}, 24, 5, 9},
      {"I420 one row short", I420, std::vector<uint8_t>(16 + 8 - 4, 200), 12, 4, 4},
      {"I420 without bits", I420, {}, 12, 4, 4},
      {"YUY2 width 3, whole blocks", Yuy2, std::vector<uint8_t>(16, 200), 16, 3, 2},
      {"YUY2 width 3, half a block short", Yuy2, std::vector<uint8_t>(12, 200), 16, 3, 2},
      {"RLE8", Join(Header(2, 1, 8, 1), std::vector<uint8_t>(1024 + 4, 50)), {}, 8, 2, 1},
      {"YUY2 frame claiming 1 bit", Header(4, 2, 1, Code("YUY2")), std::vector<uint8_t>(16, 200), 1, 4, 2},
      {"unknown FourCC", Header(2, 2, 16, Code("ABCD")), std::vector<uint8_t>(64, 1), 16, 2, 2},
  };
  for (const Case& c : Cases) {
    // Fresh heap copies of exactly their sizes.
    std::unique_ptr<uint8_t[]> Dib(new uint8_t[c.Dib.size()]), Bits;
    std::memcpy(Dib.get(), c.Dib.data(), c.Dib.size());
    if (!c.Bits.empty()) {
      Bits.reset(new uint8_t[c.Bits.size()]);
      std::memcpy(Bits.get(), c.Bits.data(), c.Bits.size());
    }
    TIEBitmap B;
    EXPECT_EQ(CopyDIBBufferToIEBitmap(Dib.get(), c.Dib.size(), &B, Bits.get(), c.Bits.size()), c.Result) << c.Name;
    EXPECT_EQ(B.IsEmpty() ? 0 : B.GetWidth(), c.W) << c.Name;
    EXPECT_EQ(B.IsEmpty() ? 0 : B.GetHeight(), c.H) << c.Name;
    // The same block through a global handle, whose size bounds the reads.
    HGLOBAL Handle = GlobalAlloc(GMEM_MOVEABLE, c.Dib.size());
    std::memcpy(GlobalLock(Handle), c.Dib.data(), c.Dib.size());
    GlobalUnlock(Handle);
    TIEBitmap H;
    if (c.Bits.empty()) {
      EXPECT_EQ(CopyDIBToIEBitmap(Handle, &H, nullptr, false), c.Result) << c.Name;
    }
    GlobalFree(Handle);
  }
  // What the bounded reads gave.
  auto Idx = Join(Join(Header(2, 1, 8, 0, 40, 16), std::vector<uint8_t>(64, 77)), {200, 3, 0, 0});
  TIEBitmap B;
  CopyDIBBufferToIEBitmap(Idx.data(), Idx.size(), &B, nullptr, 0);
  EXPECT_TRUE(Same(B.GetRGB(0, 0), TIERGB24{0, 0, 0})) << "an index past the table is black";
  EXPECT_TRUE(Same(B.GetRGB(1, 0), TIERGB24{77, 77, 77}));
  std::vector<uint8_t> Frame = {235, 128, 235, 128, 16, 128, 16, 128, 16, 128, 16, 128, 16, 128, 16, 128};
  CopyDIBBufferToIEBitmap(Yuy2.data(), Yuy2.size(), &B, Frame.data(), Frame.size());
  EXPECT_TRUE(Same(B.GetRGB(1, 0), TIERGB24{255, 255, 255}));
  EXPECT_TRUE(Same(B.GetRGB(2, 0), TIERGB24{0, 0, 0})) << "the odd pixel takes the first half of the last block";
  EXPECT_TRUE(Same(B.GetRGB(0, 1), TIERGB24{0, 0, 0})) << "rows are whole blocks long";
}

TEST(RowBits, SetGetAndSwap) {
  uint8_t Row[3] = {0, 0, 0xFF};
  SetRowBit(Row, 9, 1);
  EXPECT_EQ(Row[0], 0);
  EXPECT_EQ(Row[1], 0x40);
  EXPECT_EQ(GetRowBit(Row, 9), 64u);
  EXPECT_EQ(GetRowBit(Row, 8), 0u);
  SetRowBit(Row, 23, 0);
  EXPECT_EQ(Row[2], 0xFE);
  SetRowBit(Row, 9, 0);
  EXPECT_EQ(Row[1], 0);
  uint8_t Px[6] = {1, 2, 3, 4, 5, 6};
  SwapRedBlueRow(Px, 12345, 2);
  EXPECT_EQ(Px[0], 3);
  EXPECT_EQ(Px[2], 1);
  EXPECT_EQ(Px[3], 6);
}

TEST(PackRowToBitDepth, Table) {
  const TIERGB24 Palette[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  struct Case {
    uint16_t Src, Dst, Width;
    std::vector<uint8_t> Source, Expected;
    int32_t Result;
  } Cases[] = {
      {24, 24, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, 6},
      {32, 24, 2, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}, 6},
      {8, 8, 3, {7, 8, 9}, {7, 8, 9}, 3},
      {8, 24, 3, {2, 0, 200}, {7, 8, 9, 1, 2, 3, 0, 0, 0}, 9},
      {8, 1, 10, {1, 0, 1, 1, 0, 0, 0, 1, 1, 0}, {0xB1, 0x80}, 2},
      {4, 4, 3, {0x12, 0x30}, {0x12, 0x30}, 2},
      {4, 8, 3, {0x12, 0x30}, {1, 2, 3}, 3},
      {4, 24, 3, {0x21, 0x00}, {7, 8, 9, 4, 5, 6, 1, 2, 3}, 9},
      {1, 1, 9, {0xA5, 0x80}, {0xA5, 0x80}, 2},
      {1, 8, 4, {0xA0}, {1, 0, 1, 0}, 4},
      {1, 4, 3, {0xA0}, {0x10, 0x10}, 2},
      {1, 24, 3, {0x40}, {1, 2, 3, 4, 5, 6, 1, 2, 3}, 9},
      {24, 8, 0, {}, {}, 0},
      {16, 8, 5, {1, 2}, {}, 5},
      {8, 16, 5, {1, 2}, {}, 0},
  };
  for (const Case& c : Cases) {
    std::vector<uint8_t> Source(c.Source), Dest(c.Expected.size() + 4, 0);
    Source.resize(Source.size() + 8, 0);
    EXPECT_EQ(PackRowToBitDepth(Source.data(), Dest.data(), c.Src, c.Dst, c.Width, Palette, 3, nullptr), c.Result)
        << c.Src << "->" << c.Dst;
    EXPECT_EQ(std::vector<uint8_t>(Dest.begin(), Dest.begin() + long(c.Expected.size())), c.Expected)
        << c.Src << "->" << c.Dst;
    for (size_t i = c.Expected.size(); i < Dest.size(); ++i) EXPECT_EQ(Dest[i], 0) << c.Src << "->" << c.Dst;
  }
}

}  // namespace
}  // namespace zv

// Pixel transfers: raster operations, stretching and mirroring, monochrome conversions, DIB calls,
// gradients and blending, checked pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_internal.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

// A memory DC holding a bitmap of the given depth, freed at the end of the test.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  void* bits = nullptr;
  Canvas(int w, int h, int bpp = 32, const std::vector<RGBQUAD>& colors = {}) {
    std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = w;
    bi->bmiHeader.biHeight = -h;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = uint16_t(bpp);
    bi->bmiHeader.biClrUsed = uint32_t(colors.size());
    if (!colors.empty()) std::memcpy(buf.data() + sizeof(BITMAPINFOHEADER), colors.data(), colors.size() * 4);
    dc = CreateCompatibleDC(nullptr);
    bm = CreateDIBSection(dc, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bm);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
  }
  void Fill(COLORREF c) {
    HBRUSH b = MakeSolid(c);
    HGDIOBJ o = SelectObject(dc, b);
    BITMAP info;
    GetObject(bm, sizeof(info), &info);
    PatBlt(dc, 0, 0, info.bmWidth, info.bmHeight, PATCOPY);
    SelectObject(dc, o);
    DeleteObject(b);
  }
  static HBRUSH MakeSolid(COLORREF c) {
    auto* b = new GdiBrush();
    b->color = c;
    return static_cast<HBRUSH>(GdiRegister(b));
  }
};

// Copies between 24- and 32-bit surfaces, both ways, partly outside the source: every pixel shows its
// source colour or is left alone, and a 32-bit pixel's fourth byte is cleared.
TEST(BitBlt, CopyBetween24And32BitsKeepsColoursAndClips) {
  for (auto [SrcBpp, DstBpp] : {std::pair{24, 32}, {32, 24}}) {
    SCOPED_TRACE(testing::Message() << SrcBpp << " -> " << DstBpp);
    Canvas src(7, 5, SrcBpp), dst(9, 6, DstBpp);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) SetPixel(src.dc, x, y, RGB(x * 30, y * 40, 200 - x - y));
    dst.Fill(RGB(1, 2, 3));
    if (DstBpp == 32) std::memset(dst.bits, 0xFF, 4);  // a fourth byte set at (0, 0)
    // Destination (0, 0) takes source (-2, 1): the first two columns lie outside the source.
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 9, 6, src.dc, -2, 1, SRCCOPY));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x) {
        const int sx = x - 2, sy = y + 1;
        const COLORREF Want = sx >= 0 && sx < 7 && sy < 5 ? RGB(sx * 30, sy * 40, 200 - sx - sy) : RGB(1, 2, 3);
        const bool Untouched = !(sx >= 0 && sx < 7 && sy < 5);
        if (Untouched && x == 0 && y == 0) continue;  // keeps its odd fourth byte
        EXPECT_EQ(GetPixel(dst.dc, x, y), Want) << x << "," << y;
      }
    if (DstBpp == 32) {
      EXPECT_EQ(static_cast<uint8_t*>(dst.bits)[4 * 9 * 1 + 4 * 2 + 3], 0);
    }
  }
}

// Every ternary raster operation: with pattern 0xF0, source 0xCC and destination 0xAA in each
// channel, the result channel is the operation's own truth-table byte.
TEST(BitBlt, EveryRasterOperationFollowsItsTruthTable) {
  Canvas src(1, 1), dst(1, 1);
  HBRUSH pat = Canvas::MakeSolid(0xF0F0F0);
  SelectObject(dst.dc, pat);
  for (int code = 0; code < 256; ++code) {
    SetPixel(src.dc, 0, 0, 0xCCCCCC);
    SetPixel(dst.dc, 0, 0, 0xAAAAAA);
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, DWORD(code) << 16));
    const uint8_t c = uint8_t(code);
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(c, c, c)) << "rop " << code;
  }
  SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(pat);
}

TEST(BitBlt, NamedRasterOperations) {
  struct Case {
    DWORD rop;
    uint8_t expected;
  };
  const Case cases[] = {
      {SRCCOPY, 0xCC},   {SRCPAINT, 0xEE},    {SRCAND, 0x88},     {SRCINVERT, 0x66},
      {SRCERASE, 0x44},  {NOTSRCCOPY, 0x33},  {NOTSRCERASE, 0x11}, {MERGECOPY, 0xC0},
      {MERGEPAINT, 0xBB}, {PATCOPY, 0xF0},    {PATPAINT, 0xFB},   {PATINVERT, 0x5A},
      {DSTINVERT, 0x55}, {BLACKNESS, 0x00},   {WHITENESS, 0xFF},
  };
  Canvas src(2, 1), dst(2, 1);
  HBRUSH pat = Canvas::MakeSolid(0xF0F0F0);
  SelectObject(dst.dc, pat);
  for (const Case& c : cases) {
    src.Fill(0xCCCCCC);
    dst.Fill(0xAAAAAA);
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, c.rop));
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(c.expected, c.expected, c.expected)) << std::hex << c.rop;
  }
  SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(pat);
}

TEST(PatBlt, HatchBrushFollowsBrushOrigin) {
  Canvas dst(8, 8);
  dst.Fill(0xFFFFFF);
  auto* b = new GdiBrush();
  b->style = BS_HATCHED;
  b->hatch = HS_HORIZONTAL;
  b->color = 0x0000FF;
  HBRUSH hb = static_cast<HBRUSH>(GdiRegister(b));
  SelectObject(dst.dc, hb);
  SetBkColor(dst.dc, 0x00FF00);
  PatBlt(dst.dc, 0, 0, 8, 8, PATCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 5, 3), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 5, 4), 0x00FF00u);  // gaps in the background colour
  SetBrushOrgEx(dst.dc, 0, 2, nullptr);
  PatBlt(dst.dc, 0, 0, 8, 8, PATCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 5, 5), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 5, 3), 0x00FF00u);
  SelectObject(dst.dc, GetStockObject(WHITE_BRUSH));
  DeleteObject(hb);
}

// Source: a 4 x 1 strip red, green, blue, white.
void FillStrip(Canvas& c) {
  SetPixel(c.dc, 0, 0, 0x0000FF);
  SetPixel(c.dc, 1, 0, 0x00FF00);
  SetPixel(c.dc, 2, 0, 0xFF0000);
  SetPixel(c.dc, 3, 0, 0xFFFFFF);
}

TEST(StretchBlt, EnlargeReplicatesAndMirrorsWithNegativeExtents) {
  Canvas src(4, 1), dst(8, 2);
  FillStrip(src);
  ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 8, 2, src.dc, 0, 0, 4, 1, SRCCOPY));
  const COLORREF row[8] = {0x0000FF, 0x0000FF, 0x00FF00, 0x00FF00, 0xFF0000, 0xFF0000, 0xFFFFFF, 0xFFFFFF};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(GetPixel(dst.dc, x, 0), row[x]) << x;
    EXPECT_EQ(GetPixel(dst.dc, x, 1), row[x]) << x;
  }
  // The usual mirroring idiom: start at the last column with a negative width.
  Canvas m(4, 1);
  ASSERT_TRUE(StretchBlt(m.dc, 3, 0, -4, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(m.dc, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(m.dc, 1, 0), 0xFF0000u);
  EXPECT_EQ(GetPixel(m.dc, 2, 0), 0x00FF00u);
  EXPECT_EQ(GetPixel(m.dc, 3, 0), 0x0000FFu);
  // A negative source extent mirrors too; both negative cancel out.
  Canvas n(4, 1);
  ASSERT_TRUE(StretchBlt(n.dc, 0, 0, 4, 1, src.dc, 3, 0, -4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(n.dc, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(n.dc, 3, 0), 0x0000FFu);
  ASSERT_TRUE(StretchBlt(n.dc, 3, 0, -4, 1, src.dc, 3, 0, -4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(n.dc, 0, 0), 0x0000FFu);
}

TEST(StretchBlt, VerticalMirror) {
  Canvas src(1, 3), dst(1, 3);
  SetPixel(src.dc, 0, 0, 0x000001);
  SetPixel(src.dc, 0, 1, 0x000002);
  SetPixel(src.dc, 0, 2, 0x000003);
  ASSERT_TRUE(StretchBlt(dst.dc, 0, 2, 1, -3, src.dc, 0, 0, 1, 3, SRCCOPY));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), 3u);
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), 2u);
  EXPECT_EQ(GetPixel(dst.dc, 0, 2), 1u);
}

TEST(StretchBlt, ShrinkByStretchMode) {
  struct Case {
    int mode;
    COLORREF left, right;
  };
  // Pairs (red, green) and (blue, white) fall onto one pixel each.
  const Case cases[] = {
      {COLORONCOLOR, 0x0000FF, 0xFF0000},
      {BLACKONWHITE, 0x000000, 0xFF0000},          // AND of the pair
      {WHITEONBLACK, 0x00FFFF, 0xFFFFFF},          // OR of the pair
      {HALFTONE, RGB(128, 128, 0), RGB(128, 128, 255)},  // average
  };
  Canvas src(4, 1);
  FillStrip(src);
  for (const Case& c : cases) {
    Canvas dst(2, 1);
    SetStretchBltMode(dst.dc, c.mode);
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(dst.dc, 0, 0), c.left) << "mode " << c.mode;
    EXPECT_EQ(GetPixel(dst.dc, 1, 0), c.right) << "mode " << c.mode;
  }
}

TEST(BitBlt, MonochromeSourceTakesTextAndBackgroundColours) {
  HDC mono = CreateCompatibleDC(nullptr);
  const uint8_t rows[2][2] = {{0xA0, 0}, {0x50, 0}};  // 1010 / 0101, rows padded to 2 bytes
  HBITMAP mb = CreateBitmap(4, 2, 1, 1, rows);
  HGDIOBJ old = SelectObject(mono, mb);
  Canvas dst(4, 2);
  SetTextColor(dst.dc, 0x0000FF);  // 0 bits
  SetBkColor(dst.dc, 0x00FF00);    // 1 bits
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 2, mono, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), 0x00FF00u);
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 1, 1), 0x00FF00u);

  // The mask idiom: AND with a mask whose 1 bits keep the background.
  dst.Fill(0x123456);
  SetTextColor(dst.dc, 0x000000);
  SetBkColor(dst.dc, 0xFFFFFF);
  BitBlt(dst.dc, 0, 0, 4, 2, mono, 0, 0, SRCAND);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), 0x123456u);
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), 0x000000u);

  // Colour to monochrome: the source's background colour becomes 1 (white).
  Canvas col(2, 1);
  SetPixel(col.dc, 0, 0, 0x00FF00);
  SetPixel(col.dc, 1, 0, 0x0000FF);
  SetBkColor(col.dc, 0x00FF00);
  BitBlt(mono, 0, 0, 2, 1, col.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(mono, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(mono, 1, 0), 0x000000u);
  SelectObject(mono, old);
  DeleteObject(mb);
  DeleteDC(mono);
}

TEST(BitBlt, OverlappingCopyWithinOneSurface) {
  Canvas c(4, 1);
  FillStrip(c);
  ASSERT_TRUE(BitBlt(c.dc, 1, 0, 3, 1, c.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(c.dc, 0, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(c.dc, 1, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(c.dc, 2, 0), 0x00FF00u);
  EXPECT_EQ(GetPixel(c.dc, 3, 0), 0xFF0000u);
}

TEST(BitBlt, HonoursOriginsAndClipAndSourceBounds) {
  Canvas src(2, 2), dst(6, 6);
  src.Fill(0x0000FF);
  dst.Fill(0xFFFFFF);
  SetViewportOrgEx(dst.dc, 2, 2, nullptr);
  IntersectClipRect(dst.dc, 0, 0, 1, 2);  // logical, so device (2,2)-(3,4)
  BitBlt(dst.dc, 0, 0, 2, 2, src.dc, 0, 0, SRCCOPY);
  SetViewportOrgEx(dst.dc, 0, 0, nullptr);
  SelectClipRgn(dst.dc, nullptr);
  EXPECT_EQ(GetPixel(dst.dc, 2, 2), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 2, 3), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 3, 2), 0xFFFFFFu);  // clipped
  // Reading beyond the source changes nothing there.
  BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 2, 0), 0xFFFFFFu);
}

std::vector<uint8_t> Header(int w, int h, int bpp, const std::vector<RGBQUAD>& colors) {
  std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + std::max<size_t>(colors.size(), 3) * 4);
  auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = w;
  bi->bmiHeader.biHeight = h;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = uint16_t(bpp);
  bi->bmiHeader.biClrUsed = uint32_t(colors.size());
  if (!colors.empty()) std::memcpy(buf.data() + sizeof(BITMAPINFOHEADER), colors.data(), colors.size() * 4);
  return buf;
}

TEST(StretchDIBits, MonochromeMaskInvertsWithRowsCountedFromTheBottom) {
  // A bottom-up 8 x 2 mask: the bottom row (first in memory) all set, the top row clear.
  const std::vector<RGBQUAD> bw = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  auto hdr = Header(8, 2, 1, bw);
  const uint8_t bits[8] = {0xFF, 0, 0, 0, 0x00, 0, 0, 0};
  Canvas dst(8, 2);
  dst.Fill(0x102030);
  SetTextColor(dst.dc, 0x0000FF);  // must not matter for a DIB
  // Only the top row of the mask, as the caller computes it: Height - YSrc - HSrc = 2 - 0 - 1.
  ASSERT_GT(StretchDIBits(dst.dc, 0, 0, 8, 1, 0, 1, 8, 1, bits, reinterpret_cast<BITMAPINFO*>(hdr.data()),
                          DIB_RGB_COLORS, SRCINVERT),
            0);
  EXPECT_EQ(GetPixel(dst.dc, 3, 0), 0x102030u);  // clear row: unchanged
  ASSERT_GT(StretchDIBits(dst.dc, 0, 1, 8, 1, 0, 0, 8, 1, bits, reinterpret_cast<BITMAPINFO*>(hdr.data()),
                          DIB_RGB_COLORS, SRCINVERT),
            0);
  EXPECT_EQ(GetPixel(dst.dc, 3, 1), 0xEFDFCFu);  // set row: inverted
}

TEST(DIBits, SetDIBitsToDeviceAndGetDIBitsRoundTrip) {
  // 3 x 2 bottom-up 24-bit: bottom row blue, green, red; top row white, black, grey.
  auto hdr = Header(3, 2, 24, {});
  const uint8_t bits[2 * 12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0,
                                255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0};
  Canvas dst(3, 2);
  ASSERT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 3, 2, 0, 0, 0, 2, bits, reinterpret_cast<BITMAPINFO*>(hdr.data()),
                              DIB_RGB_COLORS),
            2);
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), 0xFF0000u);
  EXPECT_EQ(GetPixel(dst.dc, 2, 1), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(dst.dc, 2, 0), 0x808080u);

  auto out = Header(3, 2, 24, {});
  std::vector<uint8_t> back(24, 0xEE);
  ASSERT_EQ(GetDIBits(dst.dc, dst.bm, 0, 2, back.data(), reinterpret_cast<BITMAPINFO*>(out.data()), DIB_RGB_COLORS),
            2);
  for (int row = 0; row < 2; ++row)
    EXPECT_EQ(std::memcmp(back.data() + row * 12, bits + row * 12, 9), 0) << row;

  // Header-only query.
  auto q = Header(0, 0, 0, {});
  EXPECT_NE(GetDIBits(dst.dc, dst.bm, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(q.data()), DIB_RGB_COLORS), 0);
  auto* qh = reinterpret_cast<BITMAPINFOHEADER*>(q.data());
  EXPECT_EQ(qh->biWidth, 3);
  EXPECT_EQ(qh->biHeight, 2);
  EXPECT_EQ(qh->biBitCount, 32);
}

TEST(GradientFill, EndColoursAndDirection) {
  Canvas dst(256, 4);
  TRIVERTEX v[2];
  v[0].x = 0;
  v[0].y = 0;
  v[0].Red = 0xFF00;
  v[1].x = 256;
  v[1].y = 4;
  v[1].Blue = 0xFF00;
  GRADIENT_RECT r{0, 1};
  ASSERT_TRUE(GradientFill(dst.dc, v, 2, &r, 1, GRADIENT_FILL_RECT_H));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 255, 3), RGB(0, 0, 254));
  EXPECT_EQ(GetPixel(dst.dc, 128, 2), RGB(127, 0, 127));
  ASSERT_TRUE(GradientFill(dst.dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V));
  EXPECT_EQ(GetPixel(dst.dc, 200, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 200, 2), RGB(127, 0, 127));
  GRADIENT_RECT bad{0, 7};  // vertex index out of range
  EXPECT_FALSE(GradientFill(dst.dc, v, 2, &bad, 1, GRADIENT_FILL_RECT_H));
}

TEST(AlphaBlend, ConstantAndPerPixelAlpha) {
  Canvas src(2, 1), dst(2, 1);
  dst.Fill(0x000000);
  src.Fill(0xFFFFFF);
  BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
  ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, half));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(128, 128, 128));
  // Premultiplied source: pixel 0 opaque red, pixel 1 half-transparent (64,0,0) premultiplied.
  auto* px = static_cast<uint32_t*>(src.bits);
  px[0] = 0xFFFF0000;
  px[1] = 0x80400000;
  dst.Fill(0x00FF00);  // green
  BLENDFUNCTION perPixel{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, perPixel));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(64, 127, 0));
  // A source rectangle outside the source fails.
  EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 1, 0, 2, 1, half));
}

TEST(TransparentBlt, SkipsTheKeyColour) {
  Canvas src(4, 1), dst(4, 1);
  FillStrip(src);
  dst.Fill(0x111111);
  ASSERT_TRUE(TransparentBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 4, 1, 0x00FF00));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), 0x0000FFu);
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), 0x111111u);
  EXPECT_EQ(GetPixel(dst.dc, 2, 0), 0xFF0000u);
}

TEST(PngDump, WritesAFile) {
  Canvas c(16, 8);
  c.Fill(0x3366CC);
  std::filesystem::create_directories(ZV_TEST_TMP);
  const std::string path = std::string(ZV_TEST_TMP) + "/gdi_blit_dump.png";
  ASSERT_TRUE(SaveBitmapToPng(c.bm, path));
  ASSERT_TRUE(SaveBitmapToPng(c.dc, path));
  EXPECT_GT(std::filesystem::file_size(path), 8u);
  EXPECT_FALSE(SaveBitmapToPng(HBITMAP(nullptr), path));
}

}  // namespace
}  // namespace zv

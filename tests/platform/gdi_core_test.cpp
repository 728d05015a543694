// Device contexts, GDI objects, DIB sections of every depth, palettes and DC state.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_internal.h"

namespace zv {
namespace {

struct Info {
  std::vector<uint8_t> buf;
  Info(int w, int h, int bpp, const std::vector<RGBQUAD>& colors = {}, DWORD compression = BI_RGB,
       const std::vector<uint32_t>& masks = {})
      : buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)) {
    auto& hd = get()->bmiHeader;
    hd.biSize = sizeof(BITMAPINFOHEADER);
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biPlanes = 1;
    hd.biBitCount = uint16_t(bpp);
    hd.biCompression = compression;
    hd.biClrUsed = uint32_t(colors.size());
    uint8_t* tail = buf.data() + sizeof(BITMAPINFOHEADER);
    if (!colors.empty()) std::memcpy(tail, colors.data(), colors.size() * 4);
    if (!masks.empty()) std::memcpy(tail, masks.data(), masks.size() * 4);
  }
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(buf.data()); }
};

// Each depth: stride, where pixel (x, y) lies in memory, and colours surviving a round trip.
TEST(CreateDIBSection, EveryDepthLaysOutPixelsLikeADib) {
  const std::vector<RGBQUAD> four = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
  struct Case {
    int bpp;
    int stride;
    std::vector<RGBQUAD> colors;
    COLORREF color;       // written at (1, 0) of a bottom-up 5 x 3 DIB
    COLORREF readBack;    // what the surface keeps
  };
  const Case cases[] = {
      {1, 4, {{0, 0, 0, 0}, {255, 255, 255, 0}}, 0xF0F0F0, 0xFFFFFF},
      {4, 4, four, 0x00FF00, 0x00FF00},
      {8, 8, four, 0x0000F0, 0x0000FF},
      {16, 12, {}, 0x0884FF, 0x0884FF},  // 5-5-5 values that survive exactly
      {24, 16, {}, 0x123456, 0x123456},
      {32, 20, {}, 0x123456, 0x123456},
  };
  HDC dc = CreateCompatibleDC(nullptr);
  for (const Case& c : cases) {
    Info info(5, 3, c.bpp, c.colors);
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(dc, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr) << c.bpp;
    ASSERT_NE(bits, nullptr);
    DIBSECTION ds;
    ASSERT_EQ(GetObject(bm, sizeof(ds), &ds), int(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride) << c.bpp;
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bpp);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 1, 0), c.bpp == 1 || c.bpp == 4 || c.bpp == 8 ? c.colors[0].rgbRed : 0u);
    EXPECT_EQ(SetPixel(dc, 1, 0, c.color), c.readBack) << c.bpp;
    EXPECT_EQ(GetPixel(dc, 1, 0), c.readBack) << c.bpp;
    // Bottom-up: the top row is the last in memory; only that row changed.
    const auto* mem = static_cast<const uint8_t*>(bits);
    bool topChanged = false, otherChanged = false;
    for (int i = 0; i < c.stride * 3; ++i) {
      if (!mem[i]) continue;
      (i >= c.stride * 2 ? topChanged : otherChanged) = true;
    }
    EXPECT_TRUE(topChanged) << c.bpp;
    EXPECT_FALSE(otherChanged) << c.bpp;
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(bm));
  }
  DeleteDC(dc);
}

TEST(CreateDIBSection, TopDownBitfieldsAndRefusals) {
  Info info(2, -2, 16, {}, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bm, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  SetPixel(dc, 1, 0, 0x0000FF);  // red in 5-6-5 at the start of memory (top-down)
  EXPECT_EQ(static_cast<uint16_t*>(bits)[1], 0xF800);
  EXPECT_EQ(GetPixel(dc, 1, 0), 0x0000FFu);
  DIBSECTION ds;
  GetObject(bm, sizeof(ds), &ds);
  EXPECT_EQ(ds.dsBmih.biCompression, BI_BITFIELDS);
  EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);

  const Info bad[] = {Info(0, 4, 32), Info(4, 0, 32), Info(4, 4, 7), Info(4, 4, 8, {}, BI_RLE8),
                      Info(4, 4, 24, {}, BI_BITFIELDS), Info(100000, 100000, 32)};
  for (Info b : bad) {
    bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, b.get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
  }
}

TEST(DIBColorTable, SetAndGetThroughTheDC) {
  Info info(4, 4, 8, {{0, 0, 0, 0}, {255, 255, 255, 0}});
  HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  SetPixel(dc, 0, 0, 0xFFFFFF);
  const RGBQUAD red[1] = {{0, 0, 255, 0}};
  EXPECT_EQ(SetDIBColorTable(dc, 1, 1, red), 1u);
  EXPECT_EQ(GetPixel(dc, 0, 0), 0x0000FFu);  // index 1 now shows red
  RGBQUAD back[4];
  EXPECT_EQ(GetDIBColorTable(dc, 0, 4, back), 2u);
  EXPECT_EQ(back[1].rgbRed, 255);
  EXPECT_EQ(back[1].rgbGreen, 0);
  EXPECT_EQ(SetDIBColorTable(dc, 300, 1, red), 0u);
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
}

TEST(Objects, SelectReturnsPreviousAndStockDefaults) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetObjectType(dc), OBJ_MEMDC);
  // A fresh memory DC holds a 1x1 monochrome bitmap, so compatible bitmaps are monochrome.
  HBITMAP mono = CreateCompatibleBitmap(dc, 8, 8);
  BITMAP b;
  ASSERT_EQ(GetObject(mono, sizeof(b), &b), int(sizeof(BITMAP)));
  EXPECT_EQ(b.bmBitsPixel, 1);
  EXPECT_EQ(b.bmWidthBytes, 2);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetObjectType(screen), OBJ_DC);
  HBITMAP colour = CreateCompatibleBitmap(screen, 8, 8);
  GetObject(colour, sizeof(b), &b);
  EXPECT_EQ(b.bmBitsPixel, 32);
  EXPECT_EQ(b.bmBits, nullptr);
  HGDIOBJ first = SelectObject(dc, colour);
  EXPECT_EQ(GetObjectType(first), OBJ_BITMAP);
  // A bitmap lives in one DC at a time.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, colour), nullptr);
  EXPECT_EQ(SelectObject(dc, mono), colour);
  EXPECT_NE(SelectObject(other, colour), nullptr);

  LOGPEN lp;
  EXPECT_EQ(GetObject(GetStockObject(NULL_PEN), sizeof(lp), &lp), int(sizeof(LOGPEN)));
  EXPECT_EQ(lp.lopnStyle, PS_NULL);
  LOGBRUSH lb;
  GetObject(GetStockObject(BLACK_BRUSH), sizeof(lb), &lb);
  EXPECT_EQ(lb.lbStyle, BS_SOLID);
  EXPECT_EQ(lb.lbColor, 0u);
  LOGFONT lf;
  EXPECT_EQ(GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf), int(sizeof(LOGFONT)));
  EXPECT_LT(lf.lfHeight, 0);
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));  // stock objects stay
  EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);

  DeleteDC(other);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(DeleteObject(mono));
  EXPECT_TRUE(DeleteObject(colour));
  EXPECT_FALSE(DeleteObject(colour));  // already gone
}

TEST(Objects, DeletingASelectedObjectWaitsForItsRelease) {
  HDC dc = CreateCompatibleDC(nullptr);
  auto* b = new GdiBrush();
  b->color = 0x0000FF;
  HBRUSH brush = static_cast<HBRUSH>(GdiRegister(b));
  SelectObject(dc, brush);
  SaveDC(dc);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);  // still usable by the DC
  SelectObject(dc, GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(GetObjectType(brush), OBJ_BRUSH);  // the saved state holds it
  EXPECT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
  SelectObject(dc, GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(GetObjectType(brush), 0u);  // freed with the last release
  DeleteDC(dc);
}

TEST(SaveDC, RestoresAttributesByLevel) {
  HDC dc = CreateCompatibleDC(nullptr);
  SetTextColor(dc, 1);
  const int l1 = SaveDC(dc);
  SetTextColor(dc, 2);
  SetBkMode(dc, TRANSPARENT);
  SetViewportOrgEx(dc, 4, 5, nullptr);
  const int l2 = SaveDC(dc);
  SetTextColor(dc, 3);
  EXPECT_EQ(l1, 1);
  EXPECT_EQ(l2, 2);
  EXPECT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetTextColor(dc), 2u);
  EXPECT_TRUE(RestoreDC(dc, l1));
  EXPECT_EQ(GetTextColor(dc), 1u);
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  POINT p;
  GetViewportOrgEx(dc, &p);
  EXPECT_EQ(p, POINT(0, 0));
  EXPECT_FALSE(RestoreDC(dc, 1));  // nothing saved any more
  EXPECT_FALSE(RestoreDC(dc, -1));
  DeleteDC(dc);
}

TEST(DeviceCaps, ScreenFacts) {
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), -1);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1024);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 768);
  EXPECT_TRUE(GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHBLT);
  EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
}

TEST(Palettes, EntriesAndNearestIndex) {
  std::vector<uint8_t> buf(sizeof(LOGPALETTE) + 3 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 3;
  PALETTEENTRY* e = lp->palPalEntry;
  e[0] = {0, 0, 0, 0};
  e[1] = {200, 0, 0, 0};
  e[2] = {0, 0, 200, 0};
  HPALETTE pal = CreatePalette(lp);
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 3u);
  PALETTEENTRY out[3];
  EXPECT_EQ(GetPaletteEntries(pal, 1, 5, out), 2u);
  EXPECT_EQ(out[0].peRed, 200);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(250, 10, 10)), 1u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 0, 255)), 2u);
  const PALETTEENTRY green = {0, 255, 0, 0};
  EXPECT_EQ(SetPaletteEntries(pal, 2, 1, &green), 1u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 250, 0)), 2u);
  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(dc, pal, false);
  EXPECT_NE(old, nullptr);
  EXPECT_NE(RealizePalette(dc), UINT(GDI_ERROR));
  EXPECT_EQ(SelectPalette(dc, old, false), pal);
  uint16_t count = 0;
  EXPECT_EQ(GetObject(pal, sizeof(count), &count), 2);
  EXPECT_EQ(count, 3);
  HPALETTE ht = CreateHalftonePalette(dc);
  EXPECT_EQ(GetPaletteEntries(ht, 0, 0, nullptr), 256u);
  HPALETTE copy = CopyPalette(pal);
  EXPECT_EQ(GetPaletteEntries(copy, 0, 0, nullptr), 3u);
  DeleteDC(dc);
  for (HPALETTE p : {pal, ht, copy}) EXPECT_TRUE(DeleteObject(p));
}

}  // namespace
}  // namespace zv

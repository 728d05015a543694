// Regions: construction, combination, data round trips, and clipping of a DC.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_internal.h"

namespace zv {
namespace {

std::vector<TRect> Rects(HRGN r) { return RegionFromHandle(r)->rgn.rects; }

TEST(CombineRgn, ModesAndResultTypes) {
  struct Case {
    int mode;
    int type;
    std::vector<TRect> rects;
  };
  // a = (0,0)-(10,10), b = (5,5)-(15,15).
  const Case cases[] = {
      {RGN_AND, SIMPLEREGION, {TRect(5, 5, 10, 10)}},
      {RGN_OR, COMPLEXREGION, {TRect(0, 0, 10, 5), TRect(0, 5, 15, 10), TRect(5, 10, 15, 15)}},
      {RGN_XOR, COMPLEXREGION,
       {TRect(0, 0, 10, 5), TRect(0, 5, 5, 10), TRect(10, 5, 15, 10), TRect(5, 10, 15, 15)}},
      {RGN_DIFF, COMPLEXREGION, {TRect(0, 0, 10, 5), TRect(0, 5, 5, 10)}},
      {RGN_COPY, SIMPLEREGION, {TRect(0, 0, 10, 10)}},
  };
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
  for (const Case& c : cases) {
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.type) << c.mode;
    EXPECT_EQ(Rects(d), c.rects) << c.mode;
  }
  HRGN far = CreateRectRgn(20, 20, 30, 30);
  EXPECT_EQ(CombineRgn(d, a, far, RGN_AND), NULLREGION);
  EXPECT_EQ(CombineRgn(d, a, a, RGN_DIFF), NULLREGION);
  // The destination may be a source.
  EXPECT_EQ(CombineRgn(a, a, b, RGN_OR), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetRgnBox(a, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(0, 0, 15, 15));
  EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_OR), ERROR);
  for (HRGN r : {a, b, d, far}) EXPECT_TRUE(DeleteObject(r));
}

TEST(Regions, EqualityIsBySetNotByConstruction) {
  // Two halves joined side by side and on top of each other equal one rectangle.
  HRGN whole = CreateRectRgn(0, 0, 10, 10);
  HRGN l = CreateRectRgn(0, 0, 5, 10), r = CreateRectRgn(5, 0, 10, 10);
  HRGN t = CreateRectRgn(0, 0, 10, 3), btm = CreateRectRgn(0, 3, 10, 10);
  HRGN j1 = CreateRectRgn(0, 0, 0, 0), j2 = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(j1, l, r, RGN_OR), SIMPLEREGION);
  EXPECT_EQ(CombineRgn(j2, t, btm, RGN_OR), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(j1, whole));
  EXPECT_TRUE(EqualRgn(j2, whole));
  OffsetRgn(j2, 1, 0);
  EXPECT_FALSE(EqualRgn(j2, whole));
  for (HRGN x : {whole, l, r, t, btm, j1, j2}) DeleteObject(x);
}

TEST(Regions, PointAndRectangleTests) {
  HRGN r = CreateRectRgn(10, 10, 0, 0);  // normalised
  EXPECT_TRUE(PtInRegion(r, 0, 0));
  EXPECT_TRUE(PtInRegion(r, 9, 9));
  EXPECT_FALSE(PtInRegion(r, 10, 9));
  EXPECT_FALSE(PtInRegion(r, 9, 10));
  const RECT in{9, 9, 20, 20}, out{10, 0, 20, 10};
  EXPECT_TRUE(RectInRegion(r, &in));
  EXPECT_FALSE(RectInRegion(r, &out));
  EXPECT_TRUE(SetRectRgn(r, 100, 100, 101, 101));
  EXPECT_TRUE(PtInRegion(r, 100, 100));
  EXPECT_FALSE(PtInRegion(r, 0, 0));
  DeleteObject(r);
}

TEST(Regions, PolygonFillModes) {
  // A five-pointed star drawn in one stroke: its centre is inside only for WINDING.
  const POINT star[5] = {{50, 0}, {80, 95}, {0, 35}, {100, 35}, {20, 95}};
  HRGN alt = CreatePolygonRgn(star, 5, ALTERNATE);
  HRGN wind = CreatePolygonRgn(star, 5, WINDING);
  ASSERT_NE(alt, nullptr);
  ASSERT_NE(wind, nullptr);
  EXPECT_FALSE(PtInRegion(alt, 50, 50));
  EXPECT_TRUE(PtInRegion(wind, 50, 50));
  EXPECT_TRUE(PtInRegion(alt, 50, 20));  // a point of the star is inside for both
  EXPECT_TRUE(PtInRegion(wind, 50, 20));
  // A square polygon covers its rectangle without right and bottom edges.
  const POINT sq[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  HRGN s = CreatePolygonRgn(sq, 4, ALTERNATE);
  HRGN rect = CreateRectRgn(0, 0, 10, 10);
  EXPECT_TRUE(EqualRgn(s, rect));
  EXPECT_EQ(CreatePolygonRgn(sq, 4, 7), nullptr);
  for (HRGN x : {alt, wind, s, rect}) DeleteObject(x);
}

TEST(Regions, EllipseAndRoundRectStayInsideTheirBox) {
  HRGN e = CreateEllipticRgn(0, 0, 20, 10);
  RECT box;
  EXPECT_EQ(GetRgnBox(e, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(0, 0, 20, 10));
  EXPECT_TRUE(PtInRegion(e, 10, 5));
  EXPECT_FALSE(PtInRegion(e, 0, 0));
  EXPECT_FALSE(PtInRegion(e, 19, 9));
  HRGN rr = CreateRoundRectRgn(0, 0, 20, 20, 6, 6);
  EXPECT_EQ(GetRgnBox(rr, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(0, 0, 20, 20));
  EXPECT_FALSE(PtInRegion(rr, 0, 0));
  EXPECT_TRUE(PtInRegion(rr, 10, 0));
  EXPECT_TRUE(PtInRegion(rr, 0, 10));
  DeleteObject(e);
  DeleteObject(rr);
}

TEST(Regions, DataRoundTripAndLengthChecks) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(20, 0, 30, 5), u = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(u, a, b, RGN_OR);
  const DWORD need = GetRegionData(u, 0, nullptr);
  ASSERT_EQ(need, sizeof(RGNDATAHEADER) + 3 * sizeof(RECT));
  std::vector<uint8_t> buf(need);
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  EXPECT_EQ(GetRegionData(u, need - 1, data), 0u);
  ASSERT_EQ(GetRegionData(u, need, data), need);
  EXPECT_EQ(data->rdh.nCount, 3u);
  EXPECT_EQ(data->rdh.rcBound, TRect(0, 0, 30, 10));
  HRGN back = ExtCreateRegion(nullptr, need, data);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(EqualRgn(back, u));
  // A count that claims more rectangles than the bytes given is refused.
  data->rdh.nCount = 1000;
  EXPECT_EQ(ExtCreateRegion(nullptr, need, data), nullptr);
  // Overlapping input rectangles make a proper region.
  struct {
    RGNDATAHEADER h;
    RECT r[2];
  } raw;
  raw.h.nCount = 2;
  raw.r[0] = TRect(0, 0, 10, 10);
  raw.r[1] = TRect(5, 5, 15, 15);
  HRGN ov = ExtCreateRegion(nullptr, sizeof(raw), reinterpret_cast<RGNDATA*>(&raw));
  HRGN ref = CreateRectRgn(0, 0, 0, 0), b2 = CreateRectRgn(5, 5, 15, 15);
  CombineRgn(ref, a, b2, RGN_OR);
  EXPECT_TRUE(EqualRgn(ov, ref));
  for (HRGN x : {a, b, u, back, ov, ref, b2}) DeleteObject(x);
}

// A 10 x 10 32-bit memory DC filled white.
struct Surface10 {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm;
  HGDIOBJ old;
  Surface10() {
    HDC screen = GetDC(nullptr);
    bm = CreateCompatibleBitmap(screen, 10, 10);
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bm);
    PatBlt(dc, 0, 0, 10, 10, WHITENESS);
  }
  ~Surface10() {
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
  }
  int CountBlack() {
    int n = 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) n += GetPixel(dc, x, y) == 0;
    return n;
  }
};

TEST(Clipping, RegionsAndRectanglesLimitDrawing) {
  Surface10 s;
  HRGN r = CreateRectRgn(2, 2, 6, 6);
  EXPECT_EQ(SelectClipRgn(s.dc, r), SIMPLEREGION);
  DeleteObject(r);  // the DC keeps its own copy
  EXPECT_EQ(ExcludeClipRect(s.dc, 3, 3, 5, 5), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetClipBox(s.dc, &box), COMPLEXREGION);
  EXPECT_EQ(box, TRect(2, 2, 6, 6));
  PatBlt(s.dc, 0, 0, 10, 10, BLACKNESS);
  EXPECT_EQ(GetPixel(s.dc, 3, 3), CLR_INVALID);  // outside the clip: not readable through the DC
  SelectClipRgn(s.dc, nullptr);
  EXPECT_EQ(s.CountBlack(), 16 - 4);
  EXPECT_EQ(GetPixel(s.dc, 2, 2), 0u);
  EXPECT_EQ(GetPixel(s.dc, 3, 3), 0xFFFFFFu);

  HRGN got = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(s.dc, got), 0);
  IntersectClipRect(s.dc, 8, 8, 20, 20);
  EXPECT_EQ(GetClipRgn(s.dc, got), 1);
  RECT gb;
  GetRgnBox(got, &gb);
  EXPECT_EQ(gb, TRect(8, 8, 10, 10));  // limited to the bitmap
  DeleteObject(got);
}

TEST(Clipping, LogicalRectanglesAndSavedStates) {
  Surface10 s;
  SetWindowOrgEx(s.dc, 5, 5, nullptr);  // logical (5,5) is device (0,0)
  const int saved = SaveDC(s.dc);
  IntersectClipRect(s.dc, 5, 5, 7, 7);  // device (0,0)-(2,2)
  RECT box;
  EXPECT_EQ(GetClipBox(s.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box, TRect(5, 5, 7, 7));
  PatBlt(s.dc, 0, 0, 100, 100, BLACKNESS);
  EXPECT_TRUE(RestoreDC(s.dc, saved));
  SetWindowOrgEx(s.dc, 0, 0, nullptr);
  EXPECT_EQ(s.CountBlack(), 4);
  EXPECT_EQ(GetClipBox(s.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box, TRect(0, 0, 10, 10));
  EXPECT_TRUE(PtVisible(s.dc, 9, 9));
  EXPECT_FALSE(PtVisible(s.dc, 10, 9));
  ExcludeClipRect(s.dc, 0, 0, 10, 10);
  EXPECT_EQ(GetClipBox(s.dc, &box), NULLREGION);
}

}  // namespace
}  // namespace zv

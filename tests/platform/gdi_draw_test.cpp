// Pixel-exact checks of the line, shape, fill and frame calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_draw_mask.h"
#include "platform/gdi_internal.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;

// A 32-bit memory DC of w x h, white, with a black 1-pixel pen and a red brush selected.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h) {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bmp_);
    Clear(kWhite);
    pen_ = CreatePen(PS_SOLID, 1, kBlack);
    brush_ = CreateSolidBrush(kRed);
    oldPen_ = SelectObject(dc_, pen_);
    oldBrush_ = SelectObject(dc_, brush_);
  }
  ~Canvas() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    SelectObject(dc_, old_);
    DeleteObject(pen_);
    DeleteObject(brush_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  void Clear(COLORREF c) {
    GdiSurface* s = DCFromHandle(dc_)->Surface();
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) s->SetPixel(x, y, c);
  }
  COLORREF At(int x, int y) const { return DCFromHandle(dc_)->Surface()->GetPixel(x, y) & 0xFFFFFF; }
  // Replaces the selected pen (the canvas owns it).
  void UsePen(HPEN pen) {
    SelectObject(dc_, pen);
    DeleteObject(pen_);
    pen_ = pen;
  }
  void UseBrush(HBRUSH brush) {
    SelectObject(dc_, brush);
    DeleteObject(brush_);
    brush_ = brush;
  }
  // Row y as text: '#' black, 'r' red, '.' white, '?' anything else.
  std::string Row(int y, int x0 = 0, int x1 = -1) const {
    if (x1 < 0) x1 = w_;
    std::string s;
    for (int x = x0; x < x1; ++x) {
      COLORREF c = At(x, y);
      s += c == kBlack ? '#' : c == kRed ? 'r' : c == kWhite ? '.' : '?';
    }
    return s;
  }
  std::vector<std::string> Rows(int y0, int y1, int x0 = 0, int x1 = -1) const {
    std::vector<std::string> out;
    for (int y = y0; y < y1; ++y) out.push_back(Row(y, x0, x1));
    return out;
  }
  int Count(COLORREF c) const {
    int n = 0;
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x) n += At(x, y) == c;
    return n;
  }
  int w() const { return w_; }
  int h() const { return h_; }

 private:
  int w_, h_;
  HDC dc_;
  HBITMAP bmp_;
  HGDIOBJ old_, oldPen_, oldBrush_;
  HPEN pen_;
  HBRUSH brush_;
};

// ---------------------------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------------------------

struct LineCase {
  TPoint to;
  std::vector<TPoint> pixels;  // exactly these, in any order
};

TEST(GdiLines, EightDirectionsLeaveOutTheEndPoint) {
  const TPoint c(10, 10);
  const std::vector<LineCase> cases = {
      {{14, 10}, {{10, 10}, {11, 10}, {12, 10}, {13, 10}}},
      {{14, 14}, {{10, 10}, {11, 11}, {12, 12}, {13, 13}}},
      {{10, 14}, {{10, 10}, {10, 11}, {10, 12}, {10, 13}}},
      {{6, 14}, {{10, 10}, {9, 11}, {8, 12}, {7, 13}}},
      {{6, 10}, {{10, 10}, {9, 10}, {8, 10}, {7, 10}}},
      {{6, 6}, {{10, 10}, {9, 9}, {8, 8}, {7, 7}}},
      {{10, 6}, {{10, 10}, {10, 9}, {10, 8}, {10, 7}}},
      {{14, 6}, {{10, 10}, {11, 9}, {12, 8}, {13, 7}}},
      // Shallow and steep lines: the minor axis takes the nearest position, ties going up/left.
      {{14, 12}, {{10, 10}, {11, 10}, {12, 11}, {13, 11}}},
      {{6, 8}, {{10, 10}, {9, 9}, {8, 9}, {7, 8}}},
      {{12, 14}, {{10, 10}, {10, 11}, {11, 12}, {11, 13}}},
  };
  for (const LineCase& lc : cases) {
    Canvas cv(21, 21);
    MoveToEx(cv.dc(), c.X, c.Y, nullptr);
    ASSERT_TRUE(LineTo(cv.dc(), lc.to.X, lc.to.Y));
    for (TPoint p : lc.pixels) EXPECT_EQ(cv.At(p.X, p.Y), kBlack) << lc.to.X << "," << lc.to.Y << " at " << p.X << "," << p.Y;
    EXPECT_EQ(cv.Count(kBlack), int(lc.pixels.size())) << "to " << lc.to.X << "," << lc.to.Y;
    EXPECT_EQ(cv.At(lc.to.X, lc.to.Y), kWhite);
    POINT pos;
    GetCurrentPositionEx(cv.dc(), &pos);
    EXPECT_EQ(pos, lc.to);
  }
}

TEST(GdiLines, ALineAndItsReverseShareTheirInnerPixels) {
  for (TPoint end : {TPoint(17, 5), TPoint(3, 19), TPoint(19, 12), TPoint(1, 2)}) {
    Canvas a(21, 21), b(21, 21);
    MoveToEx(a.dc(), 9, 9, nullptr);
    LineTo(a.dc(), end.X, end.Y);
    MoveToEx(b.dc(), end.X, end.Y, nullptr);
    LineTo(b.dc(), 9, 9);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 21; ++x) {
        if ((x == 9 && y == 9) || (x == end.X && y == end.Y)) continue;
        EXPECT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
      }
  }
}

TEST(GdiLines, LineDDAReportsThePointsLineToSets) {
  std::vector<TPoint> got;
  LineDDA(0, 0, 4, 2, [](int x, int y, intptr_t d) { reinterpret_cast<std::vector<TPoint>*>(d)->push_back({x, y}); },
          reinterpret_cast<intptr_t>(&got));
  EXPECT_EQ(got, (std::vector<TPoint>{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
}

TEST(GdiLines, PolylineDrawsEveryJointOnce) {
  // With XOR a pixel painted twice would come back white.
  Canvas cv(12, 12);
  SetROP2(cv.dc(), R2_XORPEN);
  cv.UsePen(CreatePen(PS_SOLID, 1, kWhite));
  POINT pts[] = {{1, 1}, {8, 1}, {8, 8}, {1, 8}, {1, 1}};
  Polyline(cv.dc(), pts, 5);
  EXPECT_EQ(cv.Count(kBlack), 28);
}

TEST(GdiLines, HugeCoordinatesOnlyCostTheVisiblePart) {
  Canvas cv(16, 16);
  MoveToEx(cv.dc(), -2000000000, 5, nullptr);
  LineTo(cv.dc(), 2000000000, 5);
  EXPECT_EQ(cv.Row(5), std::string(16, '#'));
  EXPECT_EQ(cv.Count(kBlack), 16);
  Ellipse(cv.dc(), -2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(cv.At(8, 8), kRed);
}

struct DashCase {
  int style;
  int bkMode;
  std::string row;  // 26 pixels from x = 0: '#' pen, 'b' background (blue), '.' untouched
};

TEST(GdiLines, CosmeticDashPatterns) {
  const std::vector<DashCase> cases = {
      {PS_DOT, OPAQUE, "###bbb###bbb###bbb###bbb##"},
      {PS_DOT, TRANSPARENT, "###...###...###...###...##"},
      {PS_DASH, OPAQUE, "##################bbbbbb##"},
      {PS_DASHDOT, TRANSPARENT, "#########......###......##"},
      {PS_DASHDOTDOT, TRANSPARENT, "#########...###...###...##"},
  };
  for (const DashCase& dc : cases) {
    Canvas cv(30, 3);
    cv.UsePen(CreatePen(dc.style, 1, kBlack));
    SetBkColor(cv.dc(), kBlue);
    SetBkMode(cv.dc(), dc.bkMode);
    MoveToEx(cv.dc(), 0, 1, nullptr);
    LineTo(cv.dc(), 26, 1);
    std::string got;
    for (int x = 0; x < 26; ++x) {
      COLORREF c = cv.At(x, 1);
      got += c == kBlack ? '#' : c == kBlue ? 'b' : c == kWhite ? '.' : '?';
    }
    EXPECT_EQ(got, dc.row) << "style " << dc.style;
  }
}

TEST(GdiLines, AlternatePenAndWidePenStyles) {
  Canvas cv(12, 6);
  LOGBRUSH lb{BS_SOLID, kBlack, 0};
  cv.UsePen(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &lb, 0, nullptr));
  SetBkMode(cv.dc(), TRANSPARENT);
  MoveToEx(cv.dc(), 0, 0, nullptr);
  LineTo(cv.dc(), 10, 0);
  EXPECT_EQ(cv.Row(0), "#.#.#.#.#...");
  // A dashed style wider than one pixel draws solid, centred on the path.
  cv.UsePen(CreatePen(PS_DASH, 3, kBlack));
  MoveToEx(cv.dc(), 2, 3, nullptr);
  LineTo(cv.dc(), 8, 3);
  EXPECT_EQ(cv.Rows(1, 6), (std::vector<std::string>{"............", ".#########..", ".#########..", ".#########..",
                                                      "............"}));
  EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_SOLID, 3, &lb, 0, nullptr), nullptr);
}

// ---------------------------------------------------------------------------------------------
// ROP2
// ---------------------------------------------------------------------------------------------

TEST(GdiRop2, EachModeOnLinesAndFills) {
  const COLORREF P = 0x33CC0F, D = 0x5A5AF0;
  const COLORREF M = 0xFFFFFF;
  const COLORREF expect[17] = {0,
                               0,                   // R2_BLACK
                               ~(P | D) & M,        // R2_NOTMERGEPEN
                               ~P & D & M,          // R2_MASKNOTPEN
                               ~P & M,              // R2_NOTCOPYPEN
                               P & ~D & M,          // R2_MASKPENNOT
                               ~D & M,              // R2_NOT
                               (P ^ D) & M,         // R2_XORPEN
                               ~(P & D) & M,        // R2_NOTMASKPEN
                               P & D,               // R2_MASKPEN
                               ~(P ^ D) & M,        // R2_NOTXORPEN
                               D,                   // R2_NOP
                               (~P | D) & M,        // R2_MERGENOTPEN
                               P,                   // R2_COPYPEN
                               (P | ~D) & M,        // R2_MERGEPENNOT
                               P | D,               // R2_MERGEPEN
                               M};                  // R2_WHITE
  for (int rop = R2_BLACK; rop <= R2_WHITE; ++rop) {
    Canvas cv(10, 10);
    cv.Clear(D);
    cv.UsePen(CreatePen(PS_SOLID, 1, P));
    cv.UseBrush(CreateSolidBrush(P));
    SetROP2(cv.dc(), rop);
    MoveToEx(cv.dc(), 0, 0, nullptr);
    LineTo(cv.dc(), 5, 0);
    Rectangle(cv.dc(), 0, 2, 6, 8);  // outline and interior both take the mode
    EXPECT_EQ(cv.At(2, 0), expect[rop]) << "rop2 " << rop;
    EXPECT_EQ(cv.At(0, 2), expect[rop]) << "rop2 " << rop;
    EXPECT_EQ(cv.At(3, 4), expect[rop]) << "rop2 " << rop;
    EXPECT_EQ(cv.At(7, 4), D);
  }
}

// ---------------------------------------------------------------------------------------------
// Closed shapes
// ---------------------------------------------------------------------------------------------

TEST(GdiShapes, RectangleLeavesOutRightAndBottom) {
  Canvas cv(10, 8);
  Rectangle(cv.dc(), 1, 1, 7, 6);
  EXPECT_EQ(cv.Rows(0, 7), (std::vector<std::string>{
                               "..........",
                               ".######...",
                               ".#rrrr#...",
                               ".#rrrr#...",
                               ".#rrrr#...",
                               ".######...",
                               "..........",
                           }));
}

TEST(GdiShapes, NullPenFillsOnePixelLess) {
  Canvas cv(10, 8);
  SelectObject(cv.dc(), GetStockObject(NULL_PEN));
  Rectangle(cv.dc(), 1, 1, 7, 6);
  EXPECT_EQ(cv.Rows(0, 7), (std::vector<std::string>{
                               "..........",
                               ".rrrrr....",
                               ".rrrrr....",
                               ".rrrrr....",
                               ".rrrrr....",
                               "..........",
                               "..........",
                           }));
}

// A rectangle with a one-pixel solid pen or none is drawn without building a shape; it must paint the
// very pixels of a round rectangle without rounding, which goes the general way.
TEST(GdiShapes, PlainRectangleMatchesTheGeneralShape) {
  const struct {
    const char* name;
    int pen;    // PS_SOLID or PS_NULL
    int brush;  // -1 null brush, -2 solid blue, else a hatch style
    int rop2;
    TRect box;
    bool clip;  // a clip region with a hole and a viewport origin
  } cases[] = {
      {"solid on solid", PS_SOLID, -2, R2_COPYPEN, {2, 3, 17, 12}, false},
      {"null pen", PS_NULL, -2, R2_COPYPEN, {2, 3, 17, 12}, false},
      {"null brush", PS_SOLID, -1, R2_COPYPEN, {2, 3, 17, 12}, false},
      {"hatched, xor", PS_SOLID, HS_DIAGCROSS, R2_XORPEN, {1, 1, 19, 15}, false},
      {"null pen, not", PS_NULL, -2, R2_NOT, {1, 1, 19, 15}, false},
      {"reversed corners", PS_SOLID, -2, R2_COPYPEN, {17, 12, 2, 3}, false},
      {"one pixel", PS_SOLID, -2, R2_XORPEN, {4, 4, 5, 5}, false},
      {"one column", PS_SOLID, -2, R2_XORPEN, {4, 2, 5, 9}, false},
      {"one row, null pen", PS_NULL, -2, R2_COPYPEN, {2, 4, 12, 5}, false},
      {"two by two", PS_SOLID, -2, R2_XORPEN, {4, 4, 6, 6}, false},
      {"past the edges", PS_SOLID, HS_CROSS, R2_COPYPEN, {-5, -3, 30, 25}, false},
      {"clipped with a hole", PS_SOLID, -2, R2_XORPEN, {-1, 0, 16, 13}, true},
      {"null pen clipped", PS_NULL, HS_BDIAGONAL, R2_COPYPEN, {0, 0, 16, 13}, true},
  };
  for (const auto& c : cases) {
    Canvas plain(20, 16), general(20, 16);
    for (Canvas* cv : {&plain, &general}) {
      cv->UsePen(CreatePen(c.pen, 1, kBlack));
      if (c.brush == -1) SelectObject(cv->dc(), GetStockObject(NULL_BRUSH));
      else cv->UseBrush(c.brush == -2 ? CreateSolidBrush(kBlue) : CreateHatchBrush(c.brush, kBlue));
      SetROP2(cv->dc(), c.rop2);
      if (c.clip) {
        HRGN outer = CreateRectRgn(0, 0, 18, 14), hole = CreateRectRgn(5, 4, 9, 7);
        CombineRgn(outer, outer, hole, RGN_DIFF);
        SelectClipRgn(cv->dc(), outer);
        DeleteObject(outer);
        DeleteObject(hole);
        SetViewportOrgEx(cv->dc(), 1, 1, nullptr);
      }
    }
    Rectangle(plain.dc(), c.box.Left, c.box.Top, c.box.Right, c.box.Bottom);
    RoundRect(general.dc(), c.box.Left, c.box.Top, c.box.Right, c.box.Bottom, 0, 0);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 20; ++x) ASSERT_EQ(plain.At(x, y), general.At(x, y)) << c.name << " at " << x << "," << y;
  }
}

struct WidePenCase {
  int style;
  int width;
  TRect inked;  // bounds of everything painted
};

TEST(GdiShapes, WidePensAndInsideFrame) {
  const std::vector<WidePenCase> cases = {
      {PS_SOLID, 3, {9, 9, 21, 21}},
      {PS_INSIDEFRAME, 3, {10, 10, 20, 20}},
      {PS_SOLID, 2, {9, 9, 20, 20}},
      {PS_INSIDEFRAME, 4, {10, 10, 20, 20}},
  };
  for (const WidePenCase& c : cases) {
    Canvas cv(30, 30);
    cv.UsePen(CreatePen(c.style, c.width, kBlack));
    Rectangle(cv.dc(), 10, 10, 20, 20);
    TRect ink(100, 100, -1, -1);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 30; ++x)
        if (cv.At(x, y) != kWhite) {
          ink.Left = std::min(ink.Left, x), ink.Top = std::min(ink.Top, y);
          ink.Right = std::max(ink.Right, x + 1), ink.Bottom = std::max(ink.Bottom, y + 1);
        }
    EXPECT_EQ(ink, c.inked) << c.style << " " << c.width;
    // The pen band is `width` pixels thick on the left side.
    int band = 0;
    for (int x = ink.Left; cv.At(x, 15) == kBlack; ++x) ++band;
    EXPECT_EQ(band, c.width);
  }
}

TEST(GdiShapes, EllipseTouchesItsBoundsAndIsSymmetric) {
  Canvas cv(12, 12);
  Ellipse(cv.dc(), 0, 0, 10, 10);
  EXPECT_EQ(cv.Rows(0, 11, 0, 11), (std::vector<std::string>{
                                       "...####....",
                                       ".##rrrr##..",
                                       ".#rrrrrr#..",
                                       "#rrrrrrrr#.",
                                       "#rrrrrrrr#.",
                                       "#rrrrrrrr#.",
                                       "#rrrrrrrr#.",
                                       ".#rrrrrr#..",
                                       ".##rrrr##..",
                                       "...####....",
                                       "...........",
                                   }));
  for (TRect box : {TRect(1, 2, 12, 9), TRect(0, 0, 7, 12), TRect(2, 2, 5, 4)}) {
    Canvas e(14, 14);
    Ellipse(e.dc(), box.Left, box.Top, box.Right, box.Bottom);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 14; ++x) {
        bool inside = PtInRect(box, TPoint(x, y));
        if (!inside) EXPECT_EQ(e.At(x, y), kWhite) << x << "," << y;
        else EXPECT_EQ(e.At(x, y), e.At(box.Left + box.Right - 1 - x, box.Top + box.Bottom - 1 - y));
      }
    bool left = false, right = false, top = false, bottom = false;
    for (int k = 0; k < 14; ++k) {
      left |= e.At(box.Left, k) == kBlack, right |= e.At(box.Right - 1, k) == kBlack;
      top |= e.At(k, box.Top) == kBlack, bottom |= e.At(k, box.Bottom - 1) == kBlack;
    }
    EXPECT_TRUE(left && right && top && bottom);
  }
}

TEST(GdiShapes, ArrowTriangleHasRowsOfSevenFiveThreeOne) {
  Canvas cv(12, 8);
  SelectObject(cv.dc(), GetStockObject(NULL_PEN));
  const int cx = 5, cy = 5;
  POINT tri[] = {{cx, cy}, {cx - 3, cy - 4}, {cx + 4, cy - 4}};
  Polygon(cv.dc(), tri, 3);
  EXPECT_EQ(cv.Rows(0, 6), (std::vector<std::string>{
                               "............",
                               "..rrrrrrr...",
                               "...rrrrr....",
                               "....rrr.....",
                               ".....r......",
                               "............",
                           }));
}

TEST(GdiShapes, StarAlternateVersusWinding) {
  // A five-pointed star drawn in one stroke: its pentagon centre is crossed twice.
  POINT star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  Canvas alt(21, 21), win(21, 21);
  for (Canvas* cv : {&alt, &win}) SelectObject(cv->dc(), GetStockObject(NULL_PEN));
  SetPolyFillMode(win.dc(), WINDING);
  EXPECT_EQ(GetPolyFillMode(alt.dc()), ALTERNATE);
  Polygon(alt.dc(), star, 5);
  Polygon(win.dc(), star, 5);
  EXPECT_EQ(alt.At(10, 10), kWhite);
  EXPECT_EQ(win.At(10, 10), kRed);
  for (TPoint tip : {TPoint(10, 3), TPoint(3, 7), TPoint(16, 8), TPoint(5, 17), TPoint(15, 17)}) {
    EXPECT_EQ(alt.At(tip.X, tip.Y), kRed) << tip.X << "," << tip.Y;
    EXPECT_EQ(win.At(tip.X, tip.Y), kRed);
  }
  // Winding fills a superset; the difference is exactly the centre pentagon.
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x)
      if (alt.At(x, y) == kRed) {
        EXPECT_EQ(win.At(x, y), kRed);
      }
  EXPECT_GT(win.Count(kRed) - alt.Count(kRed), 20);
  // The region of the same polygon covers the same pixels as the fill.
  HRGN rgn = CreatePolygonRgn(star, 5, WINDING);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) EXPECT_EQ(PtInRegion(rgn, x, y), win.At(x, y) == kRed) << x << "," << y;
  DeleteObject(rgn);
}

TEST(GdiShapes, RoundRectArcPieAndChord) {
  Canvas rr(20, 20);
  RoundRect(rr.dc(), 0, 0, 16, 12, 6, 6);
  EXPECT_EQ(rr.At(0, 0), kWhite);           // a rounded corner
  EXPECT_EQ(rr.At(8, 0), kBlack);           // straight top edge
  EXPECT_EQ(rr.At(0, 6), kBlack);           // straight left edge
  EXPECT_EQ(rr.At(15, 6), kBlack);
  EXPECT_EQ(rr.At(16, 6), kWhite);
  EXPECT_EQ(rr.At(8, 6), kRed);

  // The upper half: counter-clockwise from the right to the left.
  Canvas arc(22, 22);
  Arc(arc.dc(), 0, 0, 21, 21, 21, 10, 0, 10);
  int upper = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 22; ++x)
      if (arc.At(x, y) == kBlack) {
        EXPECT_LE(y, 10) << x << "," << y;
        ++upper;
      }
  EXPECT_GT(upper, 25);
  EXPECT_EQ(arc.At(10, 0), kBlack);

  // A quarter pie in the upper right: filled there, untouched in the other quarters.
  Canvas pie(22, 22);
  Pie(pie.dc(), 0, 0, 21, 21, 21, 10, 10, 0);
  EXPECT_EQ(pie.At(14, 5), kRed);
  EXPECT_EQ(pie.At(5, 5), kWhite);
  EXPECT_EQ(pie.At(14, 15), kWhite);
  EXPECT_EQ(pie.At(10, 5), kBlack);   // the radius up
  EXPECT_EQ(pie.At(15, 10), kBlack);  // the radius right
  EXPECT_EQ(pie.At(15, 5), kRed);     // no line joins the arc's ends

  // The chord over the same quarter keeps only the cap beyond the line between the ends.
  Canvas chord(22, 22);
  Chord(chord.dc(), 0, 0, 21, 21, 21, 10, 10, 0);
  EXPECT_EQ(chord.At(16, 4), kRed);
  EXPECT_EQ(chord.At(12, 8), kWhite);
  EXPECT_EQ(chord.At(15, 5), kBlack);  // on the chord
}

// ---------------------------------------------------------------------------------------------
// Brushes and fills
// ---------------------------------------------------------------------------------------------

TEST(GdiBrushes, HatchesCoverTheirShareOfEachCellAndFollowTheBrushOrigin) {
  const int expected[6] = {8, 8, 8, 8, 15, 16};
  for (int hatch = HS_HORIZONTAL; hatch <= HS_DIAGCROSS; ++hatch) {
    Canvas cv(16, 16);
    HBRUSH b = CreateHatchBrush(hatch, kBlue);
    ASSERT_NE(b, nullptr);
    SetBkColor(cv.dc(), kBlack);
    RECT r{0, 0, 16, 16};
    FillRect(cv.dc(), &r, b);
    EXPECT_EQ(cv.Count(kBlue), 4 * expected[hatch]) << "hatch " << hatch;
    EXPECT_EQ(cv.Count(kBlue) + cv.Count(kBlack), 256);
    // Moving the brush origin moves the pattern with it.
    Canvas moved(16, 16);
    SetBrushOrgEx(moved.dc(), 3, 5, nullptr);
    SetBkColor(moved.dc(), kBlack);
    FillRect(moved.dc(), &r, b);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) EXPECT_EQ(moved.At(x + 3, y + 5), cv.At(x, y)) << hatch << " " << x << "," << y;
    // Transparent background leaves the gaps alone.
    Canvas clear(16, 16);
    SetBkMode(clear.dc(), TRANSPARENT);
    clear.UseBrush(b);
    SelectObject(clear.dc(), GetStockObject(NULL_PEN));
    Rectangle(clear.dc(), 0, 0, 17, 17);
    EXPECT_EQ(clear.Count(kBlue), 4 * expected[hatch]);
    EXPECT_EQ(clear.Count(kWhite), 256 - 4 * expected[hatch]);
  }
  EXPECT_EQ(CreateHatchBrush(6, kBlue), nullptr);
}

TEST(GdiBrushes, PatternBrushAndSystemColourBrushes) {
  // A 2 x 2 monochrome pattern: 0 bits take the text colour, 1 bits the background colour.
  const uint8_t rows[4] = {0x40, 0, 0x80, 0};  // row 0: 0 1, row 1: 1 0 (rows padded to 2 bytes)
  HBITMAP bmp = CreateBitmap(2, 2, 1, 1, rows);
  HBRUSH pat = CreatePatternBrush(bmp);
  ASSERT_NE(pat, nullptr);
  DeleteObject(bmp);  // the brush keeps its own copy
  Canvas cv(4, 4);
  SetTextColor(cv.dc(), kRed);
  SetBkColor(cv.dc(), kBlue);
  RECT r{0, 0, 4, 4};
  FillRect(cv.dc(), &r, pat);
  EXPECT_EQ(cv.At(0, 0), kRed);
  EXPECT_EQ(cv.At(1, 0), kBlue);
  EXPECT_EQ(cv.At(0, 1), kBlue);
  EXPECT_EQ(cv.At(3, 3), kRed);
  DeleteObject(pat);

  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  EXPECT_EQ(face, GetSysColorBrush(COLOR_BTNFACE));
  DeleteObject(face);  // shared: still usable
  FillRect(cv.dc(), &r, face);
  EXPECT_EQ(cv.At(1, 1), GetSysColor(COLOR_BTNFACE));
  FillRect(cv.dc(), &r, reinterpret_cast<HBRUSH>(uintptr_t(COLOR_WINDOWTEXT + 1)));
  EXPECT_EQ(cv.At(1, 1), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(GetSysColorBrush(-1), nullptr);
}

// Solid fills of a 24-bit surface (three bytes a pixel, rows padded to four bytes) write the pixels of a
// 32-bit one and leave the padding alone, through a clip region with a hole.
TEST(GdiFills, TwentyFourBitRowsMatchThirtyTwoBitOnes) {
  const int w = 7, h = 6;
  HDC dcs[2];
  HBITMAP bmps[2];
  uint8_t* bits[2];
  for (int i = 0; i < 2; ++i) {
    dcs[i] = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = i == 0 ? 24 : 32;
    void* p = nullptr;
    bmps[i] = CreateDIBSection(dcs[i], &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits[i] = static_cast<uint8_t*>(p);
    std::memset(bits[i], 0xAA, size_t(i == 0 ? 24 : 28) * h);
    SelectObject(dcs[i], bmps[i]);
    HRGN clip = CreateRectRgn(0, 0, 6, 6), hole = CreateRectRgn(2, 2, 4, 3);
    CombineRgn(clip, clip, hole, RGN_DIFF);
    SelectClipRgn(dcs[i], clip);
    DeleteObject(clip);
    DeleteObject(hole);
    HBRUSH b = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
    RECT r{1, 1, 7, 5};
    FillRect(dcs[i], &r, b);
    DeleteObject(b);
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      EXPECT_EQ(GetPixel(dcs[0], x, y), GetPixel(dcs[1], x, y)) << x << "," << y;
    for (int pad = 21; pad < 24; ++pad) EXPECT_EQ(bits[0][y * 24 + pad], 0xAA) << y;
  }
  EXPECT_EQ(GetPixel(dcs[0], 1, 1), RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(bits[0][2 * 24 + 2 * 3], 0xAA);  // in the hole
  EXPECT_EQ(bits[0][1 * 24 + 6 * 3], 0xAA);  // right of the clip
  for (int i = 0; i < 2; ++i) {
    DeleteDC(dcs[i]);
    DeleteObject(bmps[i]);
  }
}

TEST(GdiFills, FrameInvertAndRegions) {
  Canvas cv(8, 6);
  HBRUSH black = CreateSolidBrush(kBlack);
  RECT r{1, 1, 6, 5};
  FrameRect(cv.dc(), &r, black);
  EXPECT_EQ(cv.Rows(0, 6, 0, 8), (std::vector<std::string>{
                                     "........",
                                     ".#####..",
                                     ".#...#..",
                                     ".#...#..",
                                     ".#####..",
                                     "........",
                                 }));
  InvertRect(cv.dc(), &r);
  EXPECT_EQ(cv.Row(2), "..###...");
  InvertRect(cv.dc(), &r);
  EXPECT_EQ(cv.Row(2), ".#...#..");

  Canvas rg(10, 10);
  HRGN rgn = CreateRectRgn(2, 2, 8, 7);
  FrameRgn(rg.dc(), rgn, black, 2, 1);
  EXPECT_EQ(rg.Rows(1, 8, 0, 10), (std::vector<std::string>{
                                      "..........",
                                      "..######..",
                                      "..##..##..",
                                      "..##..##..",
                                      "..##..##..",
                                      "..######..",
                                      "..........",
                                  }));
  InvertRgn(rg.dc(), rgn);
  EXPECT_EQ(rg.At(4, 4), kBlack);
  FillRgn(rg.dc(), rgn, black);
  SetROP2(rg.dc(), R2_NOT);
  PaintRgn(rg.dc(), rgn);
  EXPECT_EQ(rg.At(4, 4), kWhite);
  EXPECT_EQ(rg.Count(kWhite), 100);
  DeleteObject(rgn);
  DeleteObject(black);
}

TEST(GdiFills, FloodFillBorderAndSurface) {
  Canvas cv(20, 20);
  SelectObject(cv.dc(), GetStockObject(NULL_BRUSH));
  Ellipse(cv.dc(), 2, 2, 18, 18);
  HBRUSH blue = CreateSolidBrush(kBlue);
  cv.UseBrush(blue);
  EXPECT_TRUE(FloodFill(cv.dc(), 10, 10, kBlack));
  EXPECT_EQ(cv.At(10, 10), kBlue);
  EXPECT_EQ(cv.At(0, 0), kWhite);  // outside the outline
  EXPECT_EQ(cv.At(3, 10), kBlue);
  EXPECT_FALSE(FloodFill(cv.dc(), 2, 10, kBlack));  // starting on the border
  // Surface mode over the outside, which is one connected white area.
  cv.UseBrush(CreateSolidBrush(kRed));
  EXPECT_TRUE(ExtFloodFill(cv.dc(), 0, 0, kWhite, FLOODFILLSURFACE));
  EXPECT_EQ(cv.Count(kWhite), 0);
  EXPECT_FALSE(ExtFloodFill(cv.dc(), 0, 0, kWhite, FLOODFILLSURFACE));
  // A brush of the very colour being filled over still ends.
  cv.UseBrush(CreateSolidBrush(kRed));
  EXPECT_TRUE(ExtFloodFill(cv.dc(), 0, 0, kRed, FLOODFILLSURFACE));
  EXPECT_FALSE(FloodFill(cv.dc(), 50, 50, kBlack));  // outside the surface
}

TEST(GdiFills, FloodFillOfALargeMazeNeedsNoRecursion) {
  // A serpentine corridor: every row of the walk is its own run.
  Canvas cv(401, 401);
  HBRUSH black = CreateSolidBrush(kBlack);
  for (int y = 1; y < 400; y += 2) {
    RECT wall = y % 4 == 1 ? RECT{0, y, 399, y + 1} : RECT{2, y, 401, y + 1};
    FillRect(cv.dc(), &wall, black);
  }
  DeleteObject(black);
  EXPECT_TRUE(ExtFloodFill(cv.dc(), 0, 0, kWhite, FLOODFILLSURFACE));
  EXPECT_EQ(cv.Count(kWhite), 0);
}

// ---------------------------------------------------------------------------------------------
// Frame painters
// ---------------------------------------------------------------------------------------------

struct EdgeCase {
  UINT edge;
  int outerTL, outerBR, innerTL, innerBR;
};

TEST(GdiFrames, DrawEdgeColoursCornersAndAdjust) {
  const std::vector<EdgeCase> cases = {
      {EDGE_RAISED, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW},
      {EDGE_SUNKEN, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
      {EDGE_ETCHED, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW},
      {EDGE_BUMP, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
  };
  for (const EdgeCase& c : cases) {
    Canvas cv(10, 10);
    cv.Clear(0x123456);
    RECT r{1, 1, 9, 8};
    DrawEdge(cv.dc(), &r, c.edge, BF_RECT | BF_ADJUST | BF_MIDDLE);
    EXPECT_EQ(r, RECT(3, 3, 7, 6));
    EXPECT_EQ(cv.At(1, 1), GetSysColor(c.outerTL));
    EXPECT_EQ(cv.At(1, 6), GetSysColor(c.outerTL));
    EXPECT_EQ(cv.At(8, 1), GetSysColor(c.outerBR));  // lower-right colour owns the corners
    EXPECT_EQ(cv.At(1, 7), GetSysColor(c.outerBR));
    EXPECT_EQ(cv.At(8, 7), GetSysColor(c.outerBR));
    EXPECT_EQ(cv.At(2, 2), GetSysColor(c.innerTL));
    EXPECT_EQ(cv.At(7, 2), GetSysColor(c.innerBR));
    EXPECT_EQ(cv.At(4, 4), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(cv.At(0, 0), 0x123456u);
    EXPECT_EQ(cv.At(9, 8), 0x123456u);
  }
  // Chosen sides only; the rectangle is adjusted on those sides.
  Canvas cv(10, 10);
  RECT r{0, 0, 10, 10};
  DrawEdge(cv.dc(), &r, BDR_SUNKENOUTER, BF_TOP | BF_LEFT | BF_ADJUST);
  EXPECT_EQ(r, RECT(1, 1, 10, 10));
  EXPECT_EQ(cv.At(9, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(cv.At(9, 9), kWhite);
  // Flat and mono edges use one colour per ring.
  RECT f{0, 0, 10, 10};
  DrawEdge(cv.dc(), &f, EDGE_SUNKEN, BF_RECT | BF_FLAT);
  EXPECT_EQ(cv.At(0, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(cv.At(9, 9), GetSysColor(COLOR_BTNSHADOW));
  DrawEdge(cv.dc(), &f, EDGE_RAISED, BF_RECT | BF_MONO);
  EXPECT_EQ(cv.At(9, 0), GetSysColor(COLOR_WINDOWFRAME));
}

TEST(GdiFrames, FocusRectIsADottedXorThatUndoesItself) {
  Canvas cv(8, 8);
  RECT r{1, 1, 7, 6};
  DrawFocusRect(cv.dc(), &r);
  EXPECT_EQ(cv.Rows(0, 7, 0, 8), (std::vector<std::string>{
                                     "........",
                                     ".#.#.#..",
                                     "......#.",
                                     ".#......",
                                     "......#.",
                                     ".#.#.#..",
                                     "........",
                                 }));
  DrawFocusRect(cv.dc(), &r);
  EXPECT_EQ(cv.Count(kWhite), 64);
}

TEST(GdiFrames, FrameControlsStayInTheirRectangle) {
  struct Case {
    UINT type, state;
  };
  const std::vector<Case> cases = {
      {DFC_BUTTON, DFCS_BUTTONPUSH}, {DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED},
      {DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED}, {DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED},
      {DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_INACTIVE | DFCS_FLAT}, {DFC_SCROLL, DFCS_SCROLLUP},
      {DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_PUSHED | DFCS_FLAT}, {DFC_SCROLL, DFCS_SCROLLLEFT | DFCS_INACTIVE},
      {DFC_CAPTION, DFCS_CAPTIONCLOSE}, {DFC_CAPTION, DFCS_CAPTIONRESTORE},
  };
  for (const Case& c : cases) {
    Canvas cv(20, 20);
    cv.Clear(0x010203);
    RECT r{2, 2, 15, 15};
    EXPECT_TRUE(DrawFrameControl(cv.dc(), &r, c.type, c.state));
    int inside = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        if (PtInRect(r, TPoint(x, y))) inside += cv.At(x, y) != 0x010203;
        else EXPECT_EQ(cv.At(x, y), 0x010203u) << c.type << "/" << c.state << " at " << x << "," << y;
      }
    EXPECT_GT(inside, 20);
  }
  // A checked box shows its tick in the window-text colour, centred.
  Canvas cv(13, 13);
  RECT r{0, 0, 13, 13};
  DrawFrameControl(cv.dc(), &r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  EXPECT_EQ(cv.At(6, 7), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(cv.At(3, 3), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(cv.At(0, 0), GetSysColor(COLOR_BTNSHADOW));
  // The combo-box arrow points down: its widest row is on top.
  Canvas sc(17, 17);
  RECT s{0, 0, 17, 17};
  DrawFrameControl(sc.dc(), &s, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  auto width = [&](int y) {
    int n = 0;
    for (int x = 2; x < 15; ++x) n += sc.At(x, y) == GetSysColor(COLOR_BTNTEXT);
    return n;
  };
  EXPECT_EQ(width(6), 7);
  EXPECT_EQ(width(7), 5);
  EXPECT_EQ(width(9), 1);
  EXPECT_FALSE(DrawFrameControl(sc.dc(), &s, 99, 0));
}

TEST(GdiDrawClip, ShapesHonourTheClipAndViewportOrigin) {
  Canvas cv(12, 12);
  IntersectClipRect(cv.dc(), 0, 0, 6, 12);
  SetViewportOrgEx(cv.dc(), 2, 2, nullptr);
  Rectangle(cv.dc(), 0, 0, 8, 8);  // device 2..9
  EXPECT_EQ(cv.At(2, 2), kBlack);
  EXPECT_EQ(cv.At(5, 5), kRed);
  EXPECT_EQ(cv.At(6, 5), kWhite);  // clipped
  EXPECT_EQ(cv.At(9, 9), kWhite);
  EXPECT_EQ(cv.At(2, 9), kBlack);
}


// Draws one of everything into a picture for a person to look at (gdi_draw_gallery.png under the
// test folder, enlarged three times).
TEST(GdiDrawGallery, WritesAPicture) {
  Canvas cv(200, 140);
  cv.Clear(GetSysColor(COLOR_BTNFACE));
  HDC dc = cv.dc();
  for (int i = 0; i < 8; ++i) {
    static const TPoint ends[8] = {{30, 10}, {30, 30}, {10, 30}, {-10, 30}, {-10, 10}, {-10, -10}, {10, -10}, {30, -10}};
    MoveToEx(dc, 20, 20, nullptr);
    LineTo(dc, ends[i].X, ends[i].Y);
  }
  Rectangle(dc, 40, 5, 70, 35);
  Ellipse(dc, 75, 5, 105, 35);
  RoundRect(dc, 110, 5, 150, 35, 12, 12);
  Pie(dc, 155, 5, 195, 45, 195, 25, 175, 5);
  cv.UseBrush(CreateHatchBrush(HS_DIAGCROSS, kBlue));
  POINT star[] = {{30, 40}, {48, 95}, {2, 60}, {58, 60}, {12, 95}};
  SetPolyFillMode(dc, WINDING);
  Polygon(dc, star, 5);
  cv.UsePen(CreatePen(PS_DOT, 1, kBlack));
  Rectangle(dc, 65, 45, 105, 75);
  cv.UsePen(CreatePen(PS_SOLID, 5, kRed));
  Chord(dc, 110, 45, 150, 85, 150, 65, 110, 65);
  RECT e{65, 80, 105, 105};
  DrawEdge(dc, &e, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  RECT f{110, 95, 150, 120};
  DrawEdge(dc, &f, EDGE_SUNKEN, BF_RECT);
  RECT fr{113, 98, 147, 117};
  DrawFocusRect(dc, &fr);
  RECT b1{155, 60, 168, 73}, b2{172, 60, 185, 73}, b3{155, 80, 172, 97}, b4{175, 80, 192, 97};
  DrawFrameControl(dc, &b1, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  DrawFrameControl(dc, &b2, DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED);
  DrawFrameControl(dc, &b3, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  DrawFrameControl(dc, &b4, DFC_CAPTION, DFCS_CAPTIONCLOSE);
  RECT b5{155, 100, 172, 117}, b6{175, 100, 192, 117};
  DrawFrameControl(dc, &b5, DFC_SCROLL, DFCS_SCROLLLEFT | DFCS_INACTIVE);
  DrawFrameControl(dc, &b6, DFC_CAPTION, DFCS_CAPTIONRESTORE);

  Canvas big(600, 420);
  StretchBlt(big.dc(), 0, 0, 600, 420, dc, 0, 0, 200, 140, SRCCOPY);
  EXPECT_TRUE(SaveBitmapToPng(big.dc(), std::string(ZV_TEST_TMP) + "/gdi_draw_gallery.png"));
}

}  // namespace
}  // namespace zv

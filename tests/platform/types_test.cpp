// Colour resolution and the rectangle helpers.
#include "platform/types.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

TEST(ColorToRGB, ResolvesSystemColoursAndKeepsOthers) {
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0);
  EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(clWindowText), 0x000000);
  EXPECT_EQ(ColorToRGB(clBtnShadow), 0x808080);
  EXPECT_EQ(ColorToRGB(clBtnHighlight), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(clHighlight), 0x800000);
  EXPECT_EQ(ColorToRGB(clInfoBk), 0xE1FFFF);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  EXPECT_EQ(ColorToRGB(clNone), clNone);
  EXPECT_EQ(ColorToRGB(clDefault), clDefault);
  EXPECT_EQ(uint32_t(clBtnFace), 0x8000000Fu);
  EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), 0x000000u);
  EXPECT_EQ(GetSysColor(99), 0u);
  EXPECT_EQ(GetRValue(RGB(1, 2, 3)), 1);
  EXPECT_EQ(GetGValue(RGB(1, 2, 3)), 2);
  EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

TEST(Rect, BoundsAndExtents) {
  const TRect r = Bounds(10, 20, 30, 40);
  EXPECT_EQ(r, Rect(10, 20, 40, 60));
  EXPECT_EQ(r.Width(), 30);
  EXPECT_EQ(r.Height(), 40);
  EXPECT_TRUE(PtInRect(r, Point(10, 20)));
  EXPECT_FALSE(PtInRect(r, Point(40, 20)));  // right edge is outside
  EXPECT_FALSE(PtInRect(r, Point(10, 60)));  // bottom edge is outside
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 5, 9)));
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 4, 9)));
  TRect g = r;
  InflateRect(g, 2, -3);
  EXPECT_EQ(g, Rect(8, 23, 42, 57));
  OffsetRect(&g, -8, 1);
  EXPECT_EQ(g, Rect(0, 24, 34, 58));
}

struct TwoRects {
  TRect a, b;
  bool ok;
  TRect expected;
};

TEST(Rect, IntersectTable) {
  const TwoRects cases[] = {
      {Rect(0, 0, 10, 10), Rect(5, 5, 15, 15), true, Rect(5, 5, 10, 10)},
      {Rect(0, 0, 10, 10), Rect(10, 0, 20, 10), false, TRect()},  // touching edges share nothing
      {Rect(0, 0, 10, 10), Rect(2, 2, 3, 3), true, Rect(2, 2, 3, 3)},
      {Rect(0, 0, 0, 10), Rect(0, 0, 10, 10), false, TRect()},
  };
  for (const auto& c : cases) {
    TRect out(9, 9, 9, 9);
    EXPECT_EQ(IntersectRect(out, c.a, c.b), c.ok);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(Rect, UnionTable) {
  const TwoRects cases[] = {
      {Rect(0, 0, 10, 10), Rect(5, 5, 15, 15), true, Rect(0, 0, 15, 15)},
      {TRect(), Rect(5, 5, 15, 15), true, Rect(5, 5, 15, 15)},  // empty inputs do not count
      {Rect(3, 3, 3, 3), Rect(5, 5, 5, 15), false, TRect()},
  };
  for (const auto& c : cases) {
    TRect out;
    EXPECT_EQ(UnionRect(out, c.a, c.b), c.ok);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(Rect, SubtractTable) {
  const TwoRects cases[] = {
      {Rect(0, 0, 10, 10), Rect(0, 0, 10, 4), true, Rect(0, 4, 10, 10)},    // top strip
      {Rect(0, 0, 10, 10), Rect(-5, 6, 15, 20), true, Rect(0, 0, 10, 6)},   // bottom strip
      {Rect(0, 0, 10, 10), Rect(0, -1, 3, 11), true, Rect(3, 0, 10, 10)},   // left strip
      {Rect(0, 0, 10, 10), Rect(7, 0, 10, 10), true, Rect(0, 0, 7, 10)},    // right strip
      {Rect(0, 0, 10, 10), Rect(2, 2, 5, 5), true, Rect(0, 0, 10, 10)},     // hole: unchanged
      {Rect(0, 0, 10, 10), Rect(-1, -1, 11, 11), false, TRect()},            // all gone
      {Rect(0, 0, 10, 10), Rect(20, 20, 30, 30), true, Rect(0, 0, 10, 10)},
  };
  for (const auto& c : cases) {
    TRect out;
    EXPECT_EQ(SubtractRect(out, c.a, c.b), c.ok);
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
}  // namespace zv

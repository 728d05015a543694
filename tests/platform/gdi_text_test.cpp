// Fonts and text of the gdi32 stand-in: metrics, extents, TextOut placement, DrawText layout,
// clipping, anti-aliasing and CJK glyphs, checked on the pixels drawn into a 32-bit DIB section.
#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zv {
namespace {

constexpr int kW = 400;
constexpr int kH = 200;
constexpr uint32_t kWhite = 0xFFFFFF;

class TextDC : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc_, nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = kW;
    bi.bmiHeader.biHeight = -kH;  // top-down, so row y is at bits + y * stride
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp_, nullptr);
    bits_ = static_cast<uint32_t*>(bits);
    oldBmp_ = SelectObject(dc_, bmp_);
    Clear();
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, 0x000000);
    SetBkColor(dc_, kWhite);
  }
  void TearDown() override {
    SelectObject(dc_, oldBmp_);
    if (oldFont_) SelectObject(dc_, oldFont_);
    for (HFONT f : fonts_) DeleteObject(f);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }

  void Clear() {
    for (int i = 0; i < kW * kH; ++i) bits_[i] = kWhite;
  }
  uint32_t Px(int x, int y) const { return bits_[y * kW + x] & 0xFFFFFF; }

  HFONT MakeFont(int height, int weight = FW_NORMAL, const char* face = "Tahoma",
                 uint8_t quality = DEFAULT_QUALITY, int escapement = 0) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfQuality = quality;
    lf.lfEscapement = escapement;
    lf.lfOrientation = escapement;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    HFONT f = CreateFontIndirect(&lf);
    fonts_.push_back(f);
    return f;
  }
  void Use(HFONT f) {
    HGDIOBJ old = SelectObject(dc_, f);
    if (!oldFont_) oldFont_ = old;
  }

  // Bounding box of the pixels that are not white; empty when nothing was drawn.
  TRect Ink() const {
    TRect r(kW, kH, 0, 0);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (Px(x, y) != kWhite) {
          r.Left = std::min(r.Left, x);
          r.Top = std::min(r.Top, y);
          r.Right = std::max(r.Right, x + 1);
          r.Bottom = std::max(r.Bottom, y + 1);
        }
    return r.IsEmpty() ? TRect() : r;
  }
  int InkCount() const {
    int n = 0;
    for (int i = 0; i < kW * kH; ++i) n += (bits_[i] & 0xFFFFFF) != kWhite;
    return n;
  }
  std::vector<uint32_t> Pixels() const { return std::vector<uint32_t>(bits_, bits_ + kW * kH); }
  SIZE Extent(const std::string& s) {
    SIZE sz;
    EXPECT_TRUE(GetTextExtentPoint32(dc_, s, &sz));
    return sz;
  }
  TEXTMETRIC Metrics() {
    TEXTMETRIC tm;
    EXPECT_TRUE(GetTextMetrics(dc_, &tm));
    return tm;
  }
  static bool Inside(const TRect& inner, const TRect& outer) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
  }

  HDC dc_ = nullptr;
  HBITMAP bmp_ = nullptr;
  HGDIOBJ oldBmp_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
  uint32_t* bits_ = nullptr;
  std::vector<HFONT> fonts_;
};

const char kLorem[] =
    "The quick brown fox jumps over the lazy dog while five boxing wizards jump quickly past it";

// ---------------------------------------------------------------------------------------------
// Fonts and metrics
// ---------------------------------------------------------------------------------------------

TEST_F(TextDC, HeightSignRules) {
  struct Case {
    int lfHeight;
  } cases[] = {{-8}, {-11}, {-13}, {-24}, {13}, {16}, {30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lfHeight);
    Use(MakeFont(c.lfHeight));
    TEXTMETRIC tm = Metrics();
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAscent, tm.tmDescent);
    if (c.lfHeight < 0) {
      // Negative: the character height, the cell minus its internal leading.
      EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -c.lfHeight);
    } else {
      // Positive: the cell height.
      EXPECT_LE(tm.tmHeight, c.lfHeight);
      EXPECT_GE(tm.tmHeight, c.lfHeight - 1);
    }
    EXPECT_EQ(Extent("Ag").cy, tm.tmHeight);
  }
  Use(MakeFont(0));
  TEXTMETRIC def = Metrics();
  EXPECT_GT(def.tmHeight, 8);
  EXPECT_LT(def.tmHeight, 24);
}

TEST_F(TextDC, MetricsDescribeTheFont) {
  Use(MakeFont(-11, FW_BOLD, "Arial"));
  TEXTMETRIC tm = Metrics();
  EXPECT_EQ(tm.tmWeight, FW_BOLD);
  EXPECT_EQ(tm.tmItalic, 0);
  EXPECT_GT(tm.tmAveCharWidth, 2);
  EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
  EXPECT_NE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);  // set for a variable-pitch font
  EXPECT_NE(tm.tmPitchAndFamily & TMPF_TRUETYPE, 0);

  Use(MakeFont(-13, FW_NORMAL, "Courier New"));
  tm = Metrics();
  EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
  EXPECT_EQ(Extent("iiii").cx, Extent("MMMM").cx);
  EXPECT_EQ(tm.tmAveCharWidth, tm.tmMaxCharWidth);
}

TEST_F(TextDC, FaceNamesResolveToInstalledFamilies) {
  for (const char* face : {"Tahoma", "Arial", "MS Sans Serif", "Times New Roman", "Verdana", "Courier New",
                           "MS Shell Dlg", "Segoe UI", "No Such Face"}) {
    SCOPED_TRACE(face);
    Use(MakeFont(-12, FW_NORMAL, face));
    char name[LF_FACESIZE];
    int n = GetTextFace(dc_, sizeof(name), name);
    EXPECT_EQ(std::string(name), face);
    EXPECT_EQ(n, int(std::strlen(face)));
    EXPECT_EQ(GetTextFace(dc_, 0, nullptr), int(std::strlen(face)) + 1);
    EXPECT_GT(Extent("Hello").cx, 15);
    Clear();
    EXPECT_TRUE(TextOut(dc_, 5, 5, "Hello"));
    EXPECT_GT(InkCount(), 30);
  }
  // Serif and sans-serif stand-ins are different fonts.
  Use(MakeFont(-20, FW_NORMAL, "Times New Roman"));
  Clear();
  TextOut(dc_, 5, 5, "Illusion");
  std::vector<uint32_t> serif = Pixels();
  Use(MakeFont(-20, FW_NORMAL, "Arial"));
  Clear();
  TextOut(dc_, 5, 5, "Illusion");
  EXPECT_NE(serif, Pixels());
}

TEST_F(TextDC, GetTextFaceCutsToTheBuffer) {
  Use(MakeFont(-12, FW_NORMAL, "Times New Roman"));
  char small[6];
  std::memset(small, 'x', sizeof(small));
  EXPECT_EQ(GetTextFace(dc_, sizeof(small), small), 5);
  EXPECT_STREQ(small, "Times");
}

TEST_F(TextDC, BoldIsWiderThanRegular) {
  Use(MakeFont(-13, FW_NORMAL));
  int regular = Extent("Bold words are wider").cx;
  Use(MakeFont(-13, FW_BOLD));
  int bold = Extent("Bold words are wider").cx;
  EXPECT_GT(bold, regular);
}

// ---------------------------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------------------------

TEST_F(TextDC, ExtentMatchesTheDrawnInk) {
  Use(MakeFont(-16));
  TEXTMETRIC tm = Metrics();
  for (const char* s : {"Hello, World", "iiiii", "WWW", "x"}) {
    SCOPED_TRACE(s);
    Clear();
    SIZE sz = Extent(s);
    EXPECT_EQ(sz.cy, tm.tmHeight);
    TextOut(dc_, 20, 30, s);
    TRect ink = Ink();
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_TRUE(Inside(ink, TRect(19, 30, 20 + sz.cx + 1, 30 + sz.cy))) << ink.Left << "," << ink.Right;
    // The ink spans most of the advance width.
    EXPECT_GE(ink.Width(), sz.cx - 2 * tm.tmAveCharWidth);
  }
  // Longer text is wider; the empty text has no width but the font's height.
  EXPECT_LT(Extent("Hello").cx, Extent("Hello, World").cx);
  EXPECT_EQ(Extent("").cx, 0);
  EXPECT_EQ(Extent("").cy, tm.tmHeight);
  SIZE counted;
  EXPECT_TRUE(GetTextExtentPoint32(dc_, "Hello, World", 5, &counted));
  EXPECT_EQ(counted.cx, Extent("Hello").cx);
}

TEST_F(TextDC, ExtentExFitsWholeCharacters) {
  Use(MakeFont(-14));
  const std::string s = "Hello world";
  int dx[16];
  int fit = -1;
  SIZE sz;
  ASSERT_TRUE(GetTextExtentExPoint(dc_, s.c_str(), int(s.size()), Extent("Hello").cx, &fit, dx, &sz));
  EXPECT_EQ(fit, 5);
  EXPECT_EQ(sz.cx, Extent(s).cx);
  EXPECT_EQ(dx[s.size() - 1], sz.cx);
  for (size_t i = 1; i < s.size(); ++i) EXPECT_GE(dx[i], dx[i - 1]);
  ASSERT_TRUE(GetTextExtentExPoint(dc_, s.c_str(), int(s.size()), 0, &fit, nullptr, &sz));
  EXPECT_EQ(fit, 0);
  ASSERT_TRUE(GetTextExtentExPoint(dc_, s.c_str(), int(s.size()), 100000, &fit, nullptr, &sz));
  EXPECT_EQ(fit, int(s.size()));

  // Multi-byte characters are never cut: every byte of a character has the same extent.
  const std::string cjk = "日本語";  // three characters of three bytes
  int cdx[9];
  ASSERT_TRUE(GetTextExtentExPoint(dc_, cjk.c_str(), int(cjk.size()), 0, nullptr, cdx, &sz));
  EXPECT_EQ(cdx[0], cdx[2]);
  EXPECT_LT(cdx[2], cdx[3]);
  ASSERT_TRUE(GetTextExtentExPoint(dc_, cjk.c_str(), int(cjk.size()), cdx[4], &fit, nullptr, &sz));
  EXPECT_EQ(fit, 6);
  ASSERT_TRUE(GetTextExtentExPoint(dc_, cjk.c_str(), int(cjk.size()), cdx[4] - 1, &fit, nullptr, &sz));
  EXPECT_EQ(fit, 3);
}

TEST_F(TextDC, CharacterExtraWidensEveryCharacter) {
  Use(MakeFont(-12));
  int plain = Extent("abcde").cx;
  EXPECT_EQ(SetTextCharacterExtra(dc_, 3), 0);
  EXPECT_EQ(GetTextCharacterExtra(dc_), 3);
  EXPECT_EQ(Extent("abcde").cx, plain + 15);
  TextOut(dc_, 10, 10, "abcde");
  TRect ink = Ink();
  EXPECT_TRUE(Inside(ink, TRect(9, 10, 10 + plain + 15 + 1, 10 + Metrics().tmHeight)));
  EXPECT_GT(ink.Width(), plain);
  RECT r(0, 0, 1000, 100);
  DrawText(dc_, "abcde", &r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.Right, plain + 15);
}

TEST_F(TextDC, MalformedUtf8IsMeasuredAndDrawnSafely) {
  Use(MakeFont(-12));
  const char bad[] = {'a', char(0xE9), 'b', char(0xE6), char(0x97), 0};  // Latin-1 byte, cut sequence
  SIZE sz;
  EXPECT_TRUE(GetTextExtentPoint32(dc_, bad, -1, &sz));
  EXPECT_GT(sz.cx, 0);
  EXPECT_TRUE(TextOut(dc_, 5, 5, bad, -1));
  int fit = 0;
  int dx[5];
  EXPECT_TRUE(GetTextExtentExPoint(dc_, bad, 5, sz.cx, &fit, dx, &sz));
  EXPECT_EQ(fit, 5);
}

// ---------------------------------------------------------------------------------------------
// TextOut and ExtTextOut
// ---------------------------------------------------------------------------------------------

TEST_F(TextDC, TextAlignPlacesTheCell) {
  Use(MakeFont(-16));
  TEXTMETRIC tm = Metrics();
  const std::string s = "Align";
  SIZE sz = Extent(s);
  const int x = 200, y = 100;
  struct Case {
    UINT align;
    TRect cell;  // where the text cell must lie
  } cases[] = {
      {TA_LEFT | TA_TOP, TRect(x, y, x + sz.cx, y + sz.cy)},
      {TA_RIGHT | TA_TOP, TRect(x - sz.cx, y, x, y + sz.cy)},
      {TA_CENTER | TA_TOP, TRect(x - sz.cx / 2, y, x - sz.cx / 2 + sz.cx, y + sz.cy)},
      {TA_LEFT | TA_BOTTOM, TRect(x, y - sz.cy, x + sz.cx, y)},
      {TA_LEFT | TA_BASELINE, TRect(x, y - tm.tmAscent, x + sz.cx, y + tm.tmDescent)},
      {TA_CENTER | TA_BASELINE, TRect(x - sz.cx / 2, y - tm.tmAscent, x - sz.cx / 2 + sz.cx, y + tm.tmDescent)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.align);
    Clear();
    SetTextAlign(dc_, c.align);
    EXPECT_EQ(GetTextAlign(dc_), c.align);
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, 0x00FF00);
    TextOut(dc_, x, y, s);
    // The opaque background covers exactly the cell.
    EXPECT_EQ(Ink(), c.cell);
    EXPECT_EQ(Px(c.cell.Left, c.cell.Top), 0x00FF00u);
    EXPECT_EQ(Px(c.cell.Right - 1, c.cell.Bottom - 1), 0x00FF00u);
  }
  // A baseline-aligned "x" sits on the baseline.
  Clear();
  SetBkMode(dc_, TRANSPARENT);
  SetTextAlign(dc_, TA_BASELINE);
  TextOut(dc_, x, y, "x");
  EXPECT_EQ(Ink().Bottom, y);
}

TEST_F(TextDC, UpdateCurrentPositionAdvancesAlongTheText) {
  Use(MakeFont(-14));
  SetTextAlign(dc_, TA_UPDATECP);
  int first = Extent("Hello").cx;
  MoveToEx(dc_, 10, 20, nullptr);
  TextOut(dc_, 300, 150, "Hello");  // x and y are ignored
  TRect a = Ink();
  EXPECT_TRUE(Inside(a, TRect(9, 20, 10 + first + 1, 20 + Metrics().tmHeight)));
  POINT cp;
  MoveToEx(dc_, 0, 0, &cp);
  EXPECT_EQ(cp, POINT(10 + first, 20));
  MoveToEx(dc_, cp.X, cp.Y, nullptr);
  Clear();
  TextOut(dc_, 0, 0, "World");
  TRect b = Ink();
  EXPECT_GE(b.Left, 10 + first - 1);
}

TEST_F(TextDC, TextColourAndQuality) {
  // Plain text: only the text colour and the background.
  Use(MakeFont(-20, FW_NORMAL, "Arial", NONANTIALIASED_QUALITY));
  SetTextColor(dc_, 0x0000FF);
  TextOut(dc_, 10, 10, "Hamburg");
  int red = 0, other = 0;
  for (int i = 0; i < kW * kH; ++i) {
    uint32_t p = bits_[i] & 0xFFFFFF;
    if (p == 0xFF0000) ++red;  // the DIB stores B, G, R: text colour RGB(255, 0, 0) reads 0xFF0000
    else if (p != kWhite) ++other;
  }
  EXPECT_GT(red, 50);
  EXPECT_EQ(other, 0);

  // Anti-aliased text: edge pixels between the text colour and the background.
  Clear();
  Use(MakeFont(-20, FW_NORMAL, "Arial", ANTIALIASED_QUALITY));
  SetTextColor(dc_, 0x000000);
  TextOut(dc_, 10, 10, "Hamburg");
  int grey = 0;
  for (int i = 0; i < kW * kH; ++i) {
    uint32_t p = bits_[i] & 0xFFFFFF;
    if (p != kWhite && p != 0) ++grey;
  }
  EXPECT_GT(grey, 10);
}

TEST_F(TextDC, ClipRegionAndClippedRectangleHoldTheText) {
  Use(MakeFont(-24));
  IntersectClipRect(dc_, 40, 0, 90, kH);
  TextOut(dc_, 10, 10, "WWWWWWWW");
  TRect ink = Ink();
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_TRUE(Inside(ink, TRect(40, 0, 90, kH)));
  SelectClipRgn(dc_, nullptr);

  Clear();
  RECT r(30, 12, 80, 25);
  ExtTextOut(dc_, 10, 10, ETO_CLIPPED, &r, "WWWWWWWW", 8, nullptr);
  ink = Ink();
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_TRUE(Inside(ink, r));

  // ETO_OPAQUE fills the rectangle with the background colour even in transparent mode.
  Clear();
  SetBkColor(dc_, 0x123456);
  RECT o(5, 5, 60, 50);
  ExtTextOut(dc_, 200, 100, ETO_OPAQUE, &o, "W", 1, nullptr);
  EXPECT_EQ(Px(5, 5), 0x563412u);  // stored B, G, R
  EXPECT_EQ(Px(59, 49), 0x563412u);
  EXPECT_EQ(Px(60, 50), kWhite);
  EXPECT_GT(InkCount(), 55 * 45);  // the rectangle plus the text
}

// A clip region with a hole (two rectangles a row through the text) keeps every pixel of the unclipped
// text outside the hole, anti-aliased edges included, and nothing inside it.
TEST_F(TextDC, ClipRegionWithAHoleKeepsEveryOtherPixel) {
  Use(MakeFont(-28));
  TextOut(dc_, 10, 10, "WAVE glyph");
  const std::vector<uint32_t> Whole = Pixels();
  const TRect Hole(40, 18, 75, 30);
  Clear();
  HRGN clip = CreateRectRgn(0, 0, kW, kH), hole = CreateRectRgn(Hole.Left, Hole.Top, Hole.Right, Hole.Bottom);
  CombineRgn(clip, clip, hole, RGN_DIFF);
  SelectClipRgn(dc_, clip);
  DeleteObject(clip);
  DeleteObject(hole);
  TextOut(dc_, 10, 10, "WAVE glyph");
  SelectClipRgn(dc_, nullptr);
  int inkInHole = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      if (PtInRect(Hole, TPoint(x, y))) {
        EXPECT_EQ(Px(x, y), kWhite) << x << "," << y;
        inkInHole += (Whole[size_t(y * kW + x)] & 0xFFFFFF) != kWhite;
      } else {
        ASSERT_EQ(Px(x, y), Whole[size_t(y * kW + x)] & 0xFFFFFF) << x << "," << y;
      }
    }
  EXPECT_GT(inkInHole, 20);  // the hole does cut the text
}

TEST_F(TextDC, ExtTextOutAdvances) {
  Use(MakeFont(-14));
  const int dx[] = {20, 20, 20};
  ExtTextOut(dc_, 10, 10, 0, nullptr, "iii", 3, dx);
  // Three narrow glyphs 20 pixels apart: ink spans about 40 pixels, far more than "iii" normally.
  TRect ink = Ink();
  EXPECT_GE(ink.Width(), 40);
  EXPECT_LT(ink.Width(), 60);
}

TEST_F(TextDC, EscapementTurnsTheText) {
  Use(MakeFont(-16, FW_NORMAL, "Tahoma", DEFAULT_QUALITY, 900));
  TEXTMETRIC tm = Metrics();
  SIZE sz = Extent("Turned text");
  TextOut(dc_, 100, 150, "Turned text");
  TRect ink = Ink();
  ASSERT_FALSE(ink.IsEmpty());
  // Upward from the reference point, the cell's top along x = 100.
  EXPECT_GT(ink.Height(), ink.Width());
  EXPECT_TRUE(Inside(ink, TRect(99, 150 - sz.cx - 1, 100 + tm.tmHeight + 1, 152))) << ink.Left << " " << ink.Top
                                                                                    << " " << ink.Right << " "
                                                                                    << ink.Bottom;
  // 180 degrees: leftward and upside down.
  Clear();
  Use(MakeFont(-16, FW_NORMAL, "Tahoma", DEFAULT_QUALITY, 1800));
  TextOut(dc_, 300, 100, "Turned text");
  ink = Ink();
  EXPECT_TRUE(Inside(ink, TRect(300 - sz.cx - 1, 100 - tm.tmHeight - 1, 302, 102)));
}

TEST_F(TextDC, ChineseAndJapaneseShowGlyphs) {
  Use(MakeFont(-20, FW_NORMAL, "Tahoma"));
  for (const char* s : {"中文字体", "日本語のテキスト"}) {
    SCOPED_TRACE(s);
    Clear();
    EXPECT_TRUE(TextOut(dc_, 10, 10, s));
    EXPECT_GT(InkCount(), 150);
    // Ideographs are about as wide as the character height.
    EXPECT_GT(Extent(s).cx, 4 * 15);
  }
  // Different characters give different pictures (not one missing-glyph box for all).
  Clear();
  TextOut(dc_, 10, 10, "中");
  std::vector<uint32_t> zhong = Pixels();
  Clear();
  TextOut(dc_, 10, 10, "語");
  EXPECT_NE(zhong, Pixels());
}

// ---------------------------------------------------------------------------------------------
// DrawText
// ---------------------------------------------------------------------------------------------

TEST_F(TextDC, CalcRectOfOneLineIsTheExtent) {
  Use(MakeFont(-13));
  RECT r(10, 20, 15, 25);
  int h = DrawText(dc_, "Measure me", &r, DT_CALCRECT | DT_SINGLELINE);
  SIZE sz = Extent("Measure me");
  EXPECT_EQ(h, sz.cy);
  EXPECT_EQ(r, RECT(10, 20, 10 + sz.cx, 20 + sz.cy));
  EXPECT_EQ(InkCount(), 0);  // calculating draws nothing
  // Line ends make lines.
  RECT m(0, 0, 300, 0);
  EXPECT_EQ(DrawText(dc_, "one\ntwo\r\nthree", &m, DT_CALCRECT), 3 * sz.cy);
  EXPECT_EQ(m.Right, Extent("three").cx);
  RECT one(0, 0, 300, 0);
  EXPECT_EQ(DrawText(dc_, "one\ntwo", &one, DT_CALCRECT | DT_SINGLELINE), sz.cy);
  EXPECT_EQ(one.Right, Extent("onetwo").cx);
}

TEST_F(TextDC, WordWrapStaysInsideTheCalculatedRect) {
  Use(MakeFont(-13));
  TEXTMETRIC tm = Metrics();
  for (int width : {90, 150, 250}) {
    SCOPED_TRACE(width);
    Clear();
    RECT calc(20, 10, 20 + width, 10);
    int h = DrawText(dc_, kLorem, &calc, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(h, calc.Bottom - calc.Top);
    EXPECT_EQ(h % tm.tmHeight, 0);
    EXPECT_GT(h, tm.tmHeight);  // it wraps
    ASSERT_LE(calc.Bottom, kH);
    EXPECT_LE(calc.Right, 20 + width);
    // Drawn without clipping, every pixel still falls inside the calculated rectangle.
    RECT draw = calc;
    EXPECT_EQ(DrawText(dc_, kLorem, &draw, DT_WORDBREAK | DT_NOCLIP), h);
    TRect ink = Ink();
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_TRUE(Inside(ink, TRect(calc.Left - 1, calc.Top, calc.Right + 1, calc.Bottom)))
        << ink.Left << " " << ink.Top << " " << ink.Right << " " << ink.Bottom;
    EXPECT_GT(ink.Bottom, calc.Bottom - tm.tmHeight);  // the last line is used
  }
  // Narrower boxes need more lines.
  RECT narrow(0, 0, 80, 0), wide(0, 0, 300, 0);
  EXPECT_GT(DrawText(dc_, kLorem, &narrow, DT_CALCRECT | DT_WORDBREAK),
            DrawText(dc_, kLorem, &wide, DT_CALCRECT | DT_WORDBREAK));
}

TEST_F(TextDC, LongWordsOverflowUnlessEditControl) {
  Use(MakeFont(-13));
  const char* word = "Incomprehensibilities";
  int w = Extent(word).cx;
  RECT r(0, 0, w / 3, 0);
  DrawText(dc_, word, &r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(r.Right, w);  // one line, as wide as the word
  EXPECT_EQ(r.Bottom, Metrics().tmHeight);
  RECT e(0, 0, w / 3, 0);
  DrawText(dc_, word, &e, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
  EXPECT_LE(e.Right, w / 3);
  EXPECT_GE(e.Bottom, 3 * Metrics().tmHeight);
}

TEST_F(TextDC, WrapsChineseWithoutSpaces) {
  Use(MakeFont(-16));
  const char* s = "这是一个没有空格的很长的中文句子需要换行";
  RECT r(0, 0, 100, 0);
  int h = DrawText(dc_, s, &r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GT(h, 2 * Metrics().tmHeight);
  EXPECT_LE(r.Right, 100);
}

TEST_F(TextDC, AlignmentFlagsPlaceTheLine) {
  Use(MakeFont(-14));
  TEXTMETRIC tm = Metrics();
  const std::string s = "Place";
  SIZE sz = Extent(s);
  const RECT box(50, 40, 350, 160);
  struct Case {
    UINT format;
    int cellLeft, cellTop;
  } cases[] = {
      {DT_LEFT | DT_TOP | DT_SINGLELINE, box.Left, box.Top},
      {DT_CENTER | DT_TOP | DT_SINGLELINE, box.Left + (box.Width() - sz.cx) / 2, box.Top},
      {DT_RIGHT | DT_TOP | DT_SINGLELINE, box.Right - sz.cx, box.Top},
      {DT_LEFT | DT_VCENTER | DT_SINGLELINE, box.Left, box.Top + (box.Height() - tm.tmHeight) / 2},
      {DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, box.Right - sz.cx, box.Bottom - tm.tmHeight},
      {DT_CENTER | DT_VCENTER | DT_SINGLELINE, box.Left + (box.Width() - sz.cx) / 2,
       box.Top + (box.Height() - tm.tmHeight) / 2},
      // Vertical centring needs a single line.
      {DT_LEFT | DT_VCENTER, box.Left, box.Top},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    Clear();
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, 0x00FF00);
    RECT r = box;
    int h = DrawText(dc_, s, &r, c.format);
    EXPECT_EQ(Ink(), TRect(c.cellLeft, c.cellTop, c.cellLeft + sz.cx, c.cellTop + tm.tmHeight));
    EXPECT_EQ(h, c.cellTop + tm.tmHeight - box.Top);
    EXPECT_EQ(r, box);  // drawing leaves the rectangle alone
  }
}

TEST_F(TextDC, ExpandTabsToEightAverageCharacters) {
  Use(MakeFont(-13));
  TEXTMETRIC tm = Metrics();
  RECT r(0, 0, 400, 0);
  DrawText(dc_, "a\tb", &r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  EXPECT_EQ(r.Right, 8 * tm.tmAveCharWidth + Extent("b").cx);
  RECT two(0, 0, 400, 0);
  DrawText(dc_, "a\t\tb", &two, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  EXPECT_EQ(two.Right, 16 * tm.tmAveCharWidth + Extent("b").cx);
}

TEST_F(TextDC, PrefixCharacters) {
  Use(MakeFont(-16));
  auto width = [&](const char* s, UINT extra) {
    RECT r(0, 0, 400, 0);
    DrawText(dc_, s, &r, DT_CALCRECT | DT_SINGLELINE | extra);
    return r.Right;
  };
  EXPECT_EQ(width("&File", 0), Extent("File").cx);
  EXPECT_EQ(width("Save && Exit", 0), Extent("Save & Exit").cx);
  EXPECT_EQ(width("&File", DT_NOPREFIX), Extent("&File").cx);
  EXPECT_EQ(width("&File", DT_HIDEPREFIX), Extent("File").cx);

  auto drawn = [&](const char* s, UINT extra) {
    Clear();
    RECT r(10, 10, 300, 100);
    DrawText(dc_, s, &r, DT_SINGLELINE | extra);
    return Pixels();
  };
  std::vector<uint32_t> plain = drawn("File", 0);
  std::vector<uint32_t> prefixed = drawn("&File", 0);
  EXPECT_NE(plain, prefixed);  // the F is underlined
  EXPECT_EQ(plain, drawn("&File", DT_HIDEPREFIX));
  // The underline lies under the first letter only.
  int fWidth = Extent("F").cx;
  int diffLeft = kW, diffRight = 0;
  for (int i = 0; i < kW * kH; ++i)
    if (plain[size_t(i)] != prefixed[size_t(i)]) {
      diffLeft = std::min(diffLeft, i % kW);
      diffRight = std::max(diffRight, i % kW + 1);
    }
  EXPECT_GE(diffLeft, 9);
  EXPECT_LE(diffRight, 10 + fWidth + 1);
}

TEST_F(TextDC, Ellipses) {
  Use(MakeFont(-13));
  const int box = 120;
  auto calc = [&](const char* s, UINT format) {
    RECT r(0, 0, box, 0);
    DrawText(dc_, s, &r, DT_CALCRECT | DT_SINGLELINE | format);
    return r.Right;
  };
  EXPECT_GT(calc(kLorem, 0), box);
  int end = calc(kLorem, DT_END_ELLIPSIS);
  EXPECT_LE(end, box);
  EXPECT_GT(end, box - 2 * Metrics().tmMaxCharWidth);
  int word = calc(kLorem, DT_WORD_ELLIPSIS);
  EXPECT_LE(word, end);
  // Text that fits is left alone.
  EXPECT_EQ(calc("Short", DT_END_ELLIPSIS), Extent("Short").cx);

  // A path keeps its last element.
  const char* path = "C:\\Program Files\\Some Vendor\\Some Product\\settings.ini";
  int tail = Extent("...\\settings.ini").cx;
  int p = calc(path, DT_PATH_ELLIPSIS);
  EXPECT_LE(p, box);
  EXPECT_GE(p, tail);

  // What is drawn is the shortened text, inside the box even without clipping.
  Clear();
  RECT r(10, 10, 10 + box, 40);
  DrawText(dc_, kLorem, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
  TRect ink = Ink();
  EXPECT_TRUE(Inside(ink, TRect(9, 10, 10 + box + 1, 40)));
  std::vector<uint32_t> withDots = Pixels();
  Clear();
  RECT cut(10, 10, 10 + box, 40);
  DrawText(dc_, kLorem, &cut, DT_SINGLELINE);  // clipped, no dots
  EXPECT_NE(withDots, Pixels());
}

TEST_F(TextDC, DrawTextClipsToItsRectangle) {
  Use(MakeFont(-20));
  RECT r(30, 30, 90, 40);
  DrawText(dc_, "Clipped text here", &r, DT_SINGLELINE);
  TRect ink = Ink();
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_TRUE(Inside(ink, r));
  Clear();
  DrawText(dc_, "Clipped text here", &r, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_FALSE(Inside(Ink(), r));
}

TEST_F(TextDC, ViewportOriginMovesTheText) {
  Use(MakeFont(-14));
  TextOut(dc_, 10, 10, "Org");
  TRect a = Ink();
  Clear();
  SetViewportOrgEx(dc_, 25, 35, nullptr);
  TextOut(dc_, 10, 10, "Org");
  TRect b = Ink();
  EXPECT_EQ(b, TRect(a.Left + 25, a.Top + 35, a.Right + 25, a.Bottom + 35));
  Clear();
  RECT r(0, 0, 100, 50);
  DrawText(dc_, "Org", &r, DT_SINGLELINE);
  EXPECT_EQ(Ink().Left - 25, TRect(a).Left - 10);
}

TEST_F(TextDC, TextOnIndexedSurfaces) {
  // An 8-bit DIB with a grey ramp: text lands on palette entries.
  HDC mem = CreateCompatibleDC(nullptr);
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = 100;
  bi->bmiHeader.biHeight = -30;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = 8;
  bi->bmiHeader.biClrUsed = 256;
  for (int i = 0; i < 256; ++i)
    bi->bmiColors[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(mem, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(b, nullptr);
  std::memset(bits, 255, 100 * 30);
  HGDIOBJ old = SelectObject(mem, b);
  SelectObject(mem, MakeFont(-16));
  SetBkMode(mem, TRANSPARENT);
  EXPECT_TRUE(TextOut(mem, 2, 2, "Grey"));
  int dark = 0;
  for (int i = 0; i < 100 * 30; ++i) dark += static_cast<uint8_t*>(bits)[i] < 128;
  EXPECT_GT(dark, 20);
  SelectObject(mem, old);
  DeleteObject(b);
  DeleteDC(mem);
}

TEST(GdiTextErrors, InvalidArgumentsFail) {
  SIZE sz;
  TEXTMETRIC tm;
  RECT r(0, 0, 10, 10);
  EXPECT_FALSE(GetTextExtentPoint32(nullptr, "x", 1, &sz));
  EXPECT_FALSE(GetTextMetrics(nullptr, &tm));
  EXPECT_FALSE(TextOut(nullptr, 0, 0, "x"));
  EXPECT_EQ(DrawText(nullptr, "x", -1, &r, 0), 0);
  EXPECT_EQ(GetTextAlign(nullptr), GDI_ERROR_ALIGN);
  EXPECT_EQ(CreateFontIndirect(nullptr), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(DrawText(dc, "x", -1, nullptr, 0), 0);
  // Absurd heights are realised at a bounded size instead of exhausting memory.
  HFONT huge = CreateFont(-2000000000, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  HGDIOBJ old = SelectObject(dc, huge);
  EXPECT_TRUE(GetTextMetrics(dc, &tm));
  EXPECT_LE(tm.tmHeight, 10000);
  EXPECT_TRUE(TextOut(dc, 0, 0, "big"));
  SelectObject(dc, old);
  DeleteObject(huge);
  DeleteDC(dc);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// Glyph metrics: the ink of a glyph, its advance, its turn with the font's escapement, and the calls the
// stand-in does not serve.
TEST_F(TextDC, GlyphMetricsOfUprightAndTurnedFonts) {
  const MAT2 Identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  Use(MakeFont(-40, FW_NORMAL, "Arial"));
  GLYPHMETRICS I{}, W{}, Blank{};
  ASSERT_EQ(GetGlyphOutline(dc_, 'I', GGO_METRICS, &I, 0, nullptr, &Identity), 0u);
  ASSERT_EQ(GetGlyphOutline(dc_, 'W', GGO_METRICS, &W, 0, nullptr, &Identity), 0u);
  EXPECT_GT(W.gmBlackBoxX, 3 * I.gmBlackBoxX);  // a wide glyph and a narrow one
  EXPECT_GT(I.gmBlackBoxY, 20u);
  EXPECT_LT(I.gmBlackBoxY, 45u);
  EXPECT_GT(I.gmptGlyphOrigin.Y, 20);  // the top of the ink lies above the baseline
  EXPECT_EQ(W.gmCellIncX, Extent("W").cx);
  EXPECT_EQ(W.gmCellIncY, 0);
  ASSERT_EQ(GetGlyphOutline(dc_, ' ', GGO_METRICS, &Blank, 0, nullptr, &Identity), 0u);
  EXPECT_EQ(Blank.gmBlackBoxX, 1u);

  HFONT Turned = MakeFont(-40, FW_NORMAL, "Arial", DEFAULT_QUALITY, 900);
  Use(Turned);
  GLYPHMETRICS WT{};
  ASSERT_EQ(GetGlyphOutline(dc_, 'W', GGO_METRICS, &WT, 0, nullptr, &Identity), 0u);
  EXPECT_NEAR(double(WT.gmBlackBoxX), double(W.gmBlackBoxY), 2);  // a quarter turn swaps the sides
  EXPECT_NEAR(double(WT.gmBlackBoxY), double(W.gmBlackBoxX), 2);
  EXPECT_EQ(WT.gmCellIncX, 0);
  EXPECT_EQ(WT.gmCellIncY, W.gmCellIncX);

  EXPECT_EQ(GetGlyphOutline(dc_, 'W', 1, &WT, 0, nullptr, &Identity), GDI_ERROR_DWORD);
  EXPECT_EQ(GetGlyphOutline(dc_, 'W', GGO_METRICS, nullptr, 0, nullptr, &Identity), GDI_ERROR_DWORD);
  EXPECT_EQ(GetGlyphOutline(nullptr, 'W', GGO_METRICS, &WT, 0, nullptr, &Identity), GDI_ERROR_DWORD);
}

}  // namespace
}  // namespace zv

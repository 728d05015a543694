// Basic colour and geometry types of the class library and Win32: TColor, COLORREF, TPoint, TRect, TSize
// and the rectangle helpers, shared by the graphics, windowing and control code.
#pragma once

#include <cstdint>

namespace zv {

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

// A class-library colour: 0x00BBGGRR for an RGB value, 0x80000000 | index for a system colour,
// or one of the special values clNone / clDefault.
using TColor = int32_t;
// A Win32 colour value 0x00BBGGRR (never a system colour).
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c & 0xFF); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t((c >> 16) & 0xFF); }

// Win32 system colour indexes (GetSysColor).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_DESKTOP = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHILIGHT = 20;
constexpr int COLOR_3DHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;

// The RGB value of a system colour index in the fixed classic scheme; 0 for an unknown index.
COLORREF GetSysColor(int index);

// RGB colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A4;

// Special values: "no colour" and "the control's own default".
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours, resolved by ColorToRGB.
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor SysColor(int index) { return TColor(0x80000000u | uint32_t(index)); }
constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

// A system colour becomes its RGB value (GetSysColor of its low byte); any other value is returned
// unchanged (clNone and clDefault included).
int32_t ColorToRGB(TColor color);

// ---------------------------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------------------------

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int32_t x, int32_t y) : X(x), Y(y) {}
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};
using POINT = TPoint;

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  constexpr TSize() = default;
  constexpr TSize(int32_t w, int32_t h) : cx(w), cy(h) {}
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};
using SIZE = TSize;

// A rectangle whose right and bottom edges lie just outside it (Win32 convention).
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int32_t l, int32_t t, int32_t r, int32_t b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr TRect(const TPoint& tl, const TPoint& br) : Left(tl.X), Top(tl.Y), Right(br.X), Bottom(br.Y) {}
  constexpr int32_t Width() const { return Right - Left; }
  constexpr int32_t Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};
using RECT = TRect;

constexpr TPoint Point(int32_t x, int32_t y) { return {x, y}; }
constexpr TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return {left, top, right, bottom};
}
constexpr TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return {left, top, left + width, top + height};
}

// The Win32 rectangle functions. Each has a reference form and the pointer form of the C API;
// the pointer forms return false for a null argument.
bool SetRect(TRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom);
bool SetRectEmpty(TRect& r);
bool CopyRect(TRect& dst, const TRect& src);
bool InflateRect(TRect& r, int32_t dx, int32_t dy);
bool OffsetRect(TRect& r, int32_t dx, int32_t dy);
// True when r has no area (right <= left or bottom <= top).
bool IsRectEmpty(const TRect& r);
bool EqualRect(const TRect& a, const TRect& b);
// True when the point lies inside, the right and bottom edges excluded.
bool PtInRect(const TRect& r, const TPoint& p);
// dst = a ∩ b; an empty intersection gives dst = (0,0,0,0) and false.
bool IntersectRect(TRect& dst, const TRect& a, const TRect& b);
// dst = the smallest rectangle holding both; empty inputs are ignored; false when both are empty.
bool UnionRect(TRect& dst, const TRect& a, const TRect& b);
// dst = a minus b when that is a rectangle (b spans a fully in one direction), otherwise a;
// false when dst is empty.
bool SubtractRect(TRect& dst, const TRect& a, const TRect& b);

bool SetRect(TRect* r, int32_t left, int32_t top, int32_t right, int32_t bottom);
bool SetRectEmpty(TRect* r);
bool CopyRect(TRect* dst, const TRect* src);
bool InflateRect(TRect* r, int32_t dx, int32_t dy);
bool OffsetRect(TRect* r, int32_t dx, int32_t dy);
bool IsRectEmpty(const TRect* r);
bool EqualRect(const TRect* a, const TRect* b);
bool PtInRect(const TRect* r, const TPoint& p);
bool IntersectRect(TRect* dst, const TRect* a, const TRect* b);
bool UnionRect(TRect* dst, const TRect* a, const TRect* b);
bool SubtractRect(TRect* dst, const TRect* a, const TRect* b);

}  // namespace zv

// Colour resolution and the Win32 rectangle helpers.
#include "platform/types.h"

#include <algorithm>
#include <iterator>

namespace zv {

namespace {

// The classic Windows scheme ("Windows Standard"), indexed by COLOR_*; 0x00BBGGRR.
constexpr COLORREF kSysColors[] = {
    0xC0C0C0,  // COLOR_SCROLLBAR
    0x808000,  // COLOR_BACKGROUND
    0x800000,  // COLOR_ACTIVECAPTION
    0x808080,  // COLOR_INACTIVECAPTION
    0xC0C0C0,  // COLOR_MENU
    0xFFFFFF,  // COLOR_WINDOW
    0x000000,  // COLOR_WINDOWFRAME
    0x000000,  // COLOR_MENUTEXT
    0x000000,  // COLOR_WINDOWTEXT
    0xFFFFFF,  // COLOR_CAPTIONTEXT
    0xC0C0C0,  // COLOR_ACTIVEBORDER
    0xC0C0C0,  // COLOR_INACTIVEBORDER
    0x808080,  // COLOR_APPWORKSPACE
    0x800000,  // COLOR_HIGHLIGHT
    0xFFFFFF,  // COLOR_HIGHLIGHTTEXT
    0xC0C0C0,  // COLOR_BTNFACE
    0x808080,  // COLOR_BTNSHADOW
    0x808080,  // COLOR_GRAYTEXT
    0x000000,  // COLOR_BTNTEXT
    0xC0C0C0,  // COLOR_INACTIVECAPTIONTEXT
    0xFFFFFF,  // COLOR_BTNHIGHLIGHT
    0x000000,  // COLOR_3DDKSHADOW
    0xC0C0C0,  // COLOR_3DLIGHT
    0x000000,  // COLOR_INFOTEXT
    0xE1FFFF,  // COLOR_INFOBK
    0xB5B5B5,  // 25, unused
    0x800000,  // COLOR_HOTLIGHT
    0xD08410,  // COLOR_GRADIENTACTIVECAPTION
    0xB5B5B5,  // COLOR_GRADIENTINACTIVECAPTION
    0x800000,  // COLOR_MENUHILIGHT
    0xC0C0C0,  // COLOR_MENUBAR
};

}  // namespace

COLORREF GetSysColor(int index) {
  if (index < 0 || index >= int(std::size(kSysColors))) return 0;
  return kSysColors[index];
}

int32_t ColorToRGB(TColor color) {
  if (color < 0) return int32_t(GetSysColor(color & 0xFF));
  return color;
}

bool SetRect(TRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  r = TRect(left, top, right, bottom);
  return true;
}

bool SetRectEmpty(TRect& r) {
  r = TRect();
  return true;
}

bool CopyRect(TRect& dst, const TRect& src) {
  dst = src;
  return true;
}

bool InflateRect(TRect& r, int32_t dx, int32_t dy) {
  r.Left -= dx;
  r.Top -= dy;
  r.Right += dx;
  r.Bottom += dy;
  return true;
}

bool OffsetRect(TRect& r, int32_t dx, int32_t dy) {
  r.Left += dx;
  r.Top += dy;
  r.Right += dx;
  r.Bottom += dy;
  return true;
}

bool IsRectEmpty(const TRect& r) { return r.IsEmpty(); }

bool EqualRect(const TRect& a, const TRect& b) { return a == b; }

bool PtInRect(const TRect& r, const TPoint& p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

bool IntersectRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom));
  if (r.IsEmpty()) {
    dst = TRect();
    return false;
  }
  dst = r;
  return true;
}

bool UnionRect(TRect& dst, const TRect& a, const TRect& b) {
  const bool ea = a.IsEmpty(), eb = b.IsEmpty();
  if (ea && eb) {
    dst = TRect();
    return false;
  }
  if (ea) {
    dst = b;
  } else if (eb) {
    dst = a;
  } else {
    dst = TRect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                std::max(a.Bottom, b.Bottom));
  }
  return true;
}

bool SubtractRect(TRect& dst, const TRect& a, const TRect& b) {
  TRect r = a;
  TRect i;
  if (IntersectRect(i, a, b)) {
    if (i.Left == a.Left && i.Right == a.Right) {
      // b spans a horizontally: cut from the top or the bottom.
      if (i.Top == a.Top) r.Top = i.Bottom;
      else if (i.Bottom == a.Bottom) r.Bottom = i.Top;
      if (i.Top == a.Top && i.Bottom == a.Bottom) r = TRect();
    } else if (i.Top == a.Top && i.Bottom == a.Bottom) {
      if (i.Left == a.Left) r.Left = i.Right;
      else if (i.Right == a.Right) r.Right = i.Left;
    }
  }
  if (r.IsEmpty()) {
    dst = TRect();
    return false;
  }
  dst = r;
  return true;
}

bool SetRect(TRect* r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return r && SetRect(*r, left, top, right, bottom);
}
bool SetRectEmpty(TRect* r) { return r && SetRectEmpty(*r); }
bool CopyRect(TRect* dst, const TRect* src) { return dst && src && CopyRect(*dst, *src); }
bool InflateRect(TRect* r, int32_t dx, int32_t dy) { return r && InflateRect(*r, dx, dy); }
bool OffsetRect(TRect* r, int32_t dx, int32_t dy) { return r && OffsetRect(*r, dx, dy); }
bool IsRectEmpty(const TRect* r) { return !r || IsRectEmpty(*r); }
bool EqualRect(const TRect* a, const TRect* b) { return a && b && EqualRect(*a, *b); }
bool PtInRect(const TRect* r, const TPoint& p) { return r && PtInRect(*r, p); }
bool IntersectRect(TRect* dst, const TRect* a, const TRect* b) {
  if (!dst) return false;
  if (!a || !b) {
    *dst = TRect();
    return false;
  }
  return IntersectRect(*dst, *a, *b);
}
bool UnionRect(TRect* dst, const TRect* a, const TRect* b) {
  if (!dst) return false;
  if (!a || !b) {
    *dst = TRect();
    return false;
  }
  return UnionRect(*dst, *a, *b);
}
bool SubtractRect(TRect* dst, const TRect* a, const TRect* b) {
  if (!dst) return false;
  if (!a || !b) {
    *dst = TRect();
    return false;
  }
  return SubtractRect(*dst, *a, *b);
}

}  // namespace zv

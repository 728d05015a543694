// The user32 frame painters in the classic look: 3-D edges, the focus rectangle, and the frame
// controls (buttons, check boxes, radio buttons, scroll arrows, caption glyphs).
#include <algorithm>

#include "platform/gdi_draw.h"
#include "platform/gdi_draw_mask.h"
#include "platform/gdi_internal.h"

namespace zv {

namespace {

COLORREF Sys(int index) { return GetSysColor(index); }

void Fill(GdiDC& dc, const TRect& r, COLORREF c) {
  TRect vis;
  if (!IntersectRect(vis, r, dc.Visible().box)) return;
  for (int y = vis.Top; y < vis.Bottom; ++y) FillSpan(dc, y, vis.Left, vis.Right, c, R2_COPYPEN);
}

void Pixel(GdiDC& dc, int x, int y, COLORREF c) { PlotPixel(dc, x, y, c, R2_COPYPEN); }

// One ring of an edge on the chosen sides: the upper-left colour first, so that the lower-right
// colour owns the top-right and bottom-left corners.
void Ring(GdiDC& dc, const TRect& r, COLORREF tl, COLORREF br, UINT sides) {
  if (r.IsEmpty()) return;
  if (sides & BF_LEFT) Fill(dc, TRect(r.Left, r.Top, r.Left + 1, r.Bottom), tl);
  if (sides & BF_TOP) Fill(dc, TRect(r.Left, r.Top, r.Right, r.Top + 1), tl);
  if (sides & BF_RIGHT) Fill(dc, TRect(r.Right - 1, r.Top, r.Right, r.Bottom), br);
  if (sides & BF_BOTTOM) Fill(dc, TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom), br);
}

TRect Shrink(const TRect& r, UINT sides) {
  return TRect(r.Left + ((sides & BF_LEFT) ? 1 : 0), r.Top + ((sides & BF_TOP) ? 1 : 0),
               r.Right - ((sides & BF_RIGHT) ? 1 : 0), r.Bottom - ((sides & BF_BOTTOM) ? 1 : 0));
}

struct EdgeColors {
  COLORREF outerTL, outerBR, innerTL, innerBR, middle;
};

EdgeColors ColorsFor(UINT edge, UINT flags) {
  EdgeColors c{};
  bool soft = flags & BF_SOFT;
  if (edge & BDR_RAISEDOUTER) {
    c.outerTL = Sys(soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT);
    c.outerBR = Sys(COLOR_3DDKSHADOW);
  } else {
    c.outerTL = Sys(soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW);
    c.outerBR = Sys(COLOR_BTNHIGHLIGHT);
  }
  if (edge & BDR_RAISEDINNER) {
    c.innerTL = Sys(soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT);
    c.innerBR = Sys(COLOR_BTNSHADOW);
  } else {
    c.innerTL = Sys(soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW);
    c.innerBR = Sys(COLOR_3DLIGHT);
  }
  c.middle = Sys(COLOR_BTNFACE);
  if (flags & BF_MONO) {
    c.outerTL = c.outerBR = Sys(COLOR_WINDOWFRAME);
    c.innerTL = c.innerBR = Sys(COLOR_WINDOW);
    c.middle = Sys(COLOR_WINDOW);
  } else if (flags & BF_FLAT) {
    c.outerTL = c.outerBR = Sys(COLOR_BTNSHADOW);
    c.innerTL = c.innerBR = Sys(COLOR_BTNFACE);
    c.middle = Sys(COLOR_WINDOW);
  }
  return c;
}

// A diagonal edge: one line per ring from one corner of r to the other, the inner ring's line a
// pixel further in.
void DiagonalEdge(GdiDC& dc, const TRect& r, UINT edge, UINT flags) {
  if (r.Width() < 1 || r.Height() < 1) return;
  EdgeColors c = ColorsFor(edge, flags);
  bool endTop = flags & BF_TOP, endRight = flags & BF_RIGHT;
  TPoint from(endRight ? r.Left : r.Right - 1, endTop ? r.Bottom - 1 : r.Top);
  TPoint to(endRight ? r.Right - 1 : r.Left, endTop ? r.Top : r.Bottom - 1);
  bool lowerRight = endRight;  // lines ending on the right face the light's far side
  auto line = [&](TPoint a, TPoint b, COLORREF col) {
    ForEachLinePoint(a, b, dc.Visible().box, [&](int x, int y, int64_t) { Pixel(dc, x, y, col); });
    Pixel(dc, b.X, b.Y, col);
  };
  if (edge & BDR_OUTER) line(from, to, lowerRight ? c.outerBR : c.outerTL);
  if (edge & BDR_INNER) {
    int dy = lowerRight ? -1 : 1;
    line(TPoint(from.X, from.Y + dy), TPoint(to.X, to.Y + dy), lowerRight ? c.innerBR : c.innerTL);
  }
}

// DrawEdge in device units; returns the interior.
TRect EdgeDevice(GdiDC& dc, const TRect& r, UINT edge, UINT flags) {
  if (flags & BF_DIAGONAL) {
    DiagonalEdge(dc, r, edge, flags);
    return r;
  }
  EdgeColors c = ColorsFor(edge, flags);
  UINT sides = flags & BF_RECT;
  TRect cur = r;
  if (edge & BDR_OUTER) {
    Ring(dc, cur, c.outerTL, c.outerBR, sides);
    cur = Shrink(cur, sides);
  }
  if (edge & BDR_INNER) {
    Ring(dc, cur, c.innerTL, c.innerBR, sides);
    cur = Shrink(cur, sides);
  }
  if ((flags & BF_MIDDLE) && !cur.IsEmpty()) Fill(dc, cur, c.middle);
  return cur;
}

TPoint DeviceOffset(const GdiDC& dc) { return LogicalToDevice(dc, TPoint(0, 0)); }

// The largest square centred in r.
TRect CentredSquare(const TRect& r) {
  int s = std::min(r.Width(), r.Height());
  int l = r.Left + (r.Width() - s) / 2, t = r.Top + (r.Height() - s) / 2;
  return TRect(l, t, l + s, t + s);
}

// The face of a button: raised, sunken when pushed, a one-pixel shadow frame when flat.
TRect ButtonFace(GdiDC& dc, const TRect& r, UINT state, bool fillMiddle) {
  UINT mid = fillMiddle ? BF_MIDDLE : 0;
  if (state & DFCS_FLAT) {
    TRect in = EdgeDevice(dc, r, BDR_SUNKENOUTER, BF_RECT | BF_FLAT);
    if (fillMiddle && !in.IsEmpty()) Fill(dc, in, Sys(COLOR_BTNFACE));
    return in;
  }
  if (state & DFCS_PUSHED) return EdgeDevice(dc, r, EDGE_SUNKEN, BF_RECT | BF_SOFT | mid);
  return EdgeDevice(dc, r, EDGE_RAISED, BF_RECT | BF_SOFT | mid);
}

// A solid glyph drawn twice when inactive: a highlight a pixel down and right, then the shadow.
template <class Draw>
void GlyphInState(GdiDC& dc, UINT state, TPoint shift, Draw draw) {
  if (state & DFCS_INACTIVE) {
    draw(shift.X + 1, shift.Y + 1, Sys(COLOR_BTNHIGHLIGHT));
    draw(shift.X, shift.Y, Sys(COLOR_BTNSHADOW));
  } else {
    draw(shift.X, shift.Y, Sys(COLOR_BTNTEXT));
  }
  (void)dc;
}

void ScrollArrow(GdiDC& dc, const TRect& r, UINT state) {
  bool flat = state & DFCS_FLAT;
  TRect face = ButtonFace(dc, r, (state & DFCS_PUSHED) && !flat ? (state & ~DFCS_PUSHED) | DFCS_FLAT : state,
                          !(state & DFCS_TRANSPARENT));
  (void)face;
  int s = std::min(r.Width(), r.Height());
  int rows = std::max(1, (s + 1) / 4);
  int cx = r.Left + r.Width() / 2, cy = r.Top + r.Height() / 2;
  UINT dir = state & 0xFF;
  TPoint shift = (state & DFCS_PUSHED) ? TPoint(1, 1) : TPoint(0, 0);
  GlyphInState(dc, state, shift, [&](int ox, int oy, COLORREF col) {
    for (int i = 0; i < rows; ++i) {
      int half = (dir == DFCS_SCROLLUP || dir == DFCS_SCROLLLEFT) ? i : rows - 1 - i;
      int pos = i - rows / 2;
      if (dir == DFCS_SCROLLUP || dir == DFCS_SCROLLDOWN || dir == DFCS_SCROLLCOMBOBOX) {
        Fill(dc, TRect(cx - half + ox, cy + pos + oy, cx + half + 1 + ox, cy + pos + 1 + oy), col);
      } else {
        Fill(dc, TRect(cx + pos + ox, cy - half + oy, cx + pos + 1 + ox, cy + half + 1 + oy), col);
      }
    }
  });
}

void CheckBox(GdiDC& dc, const TRect& r, UINT state) {
  TRect sq = CentredSquare(r);
  if (sq.IsEmpty()) return;
  TRect in = (state & DFCS_FLAT) ? EdgeDevice(dc, sq, BDR_SUNKENOUTER, BF_RECT | BF_FLAT)
                                 : EdgeDevice(dc, sq, EDGE_SUNKEN, BF_RECT);
  if (in.IsEmpty()) return;
  bool grey = (state & (DFCS_PUSHED | DFCS_INACTIVE)) || ((state & DFCS_BUTTON3STATE) && (state & DFCS_CHECKED));
  Fill(dc, in, Sys(grey ? COLOR_BTNFACE : COLOR_WINDOW));
  if (!(state & DFCS_CHECKED)) return;
  COLORREF mark = Sys((state & (DFCS_INACTIVE | DFCS_BUTTON3STATE)) ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT);
  // Seven columns of three pixels, their tops falling and then rising: the classic tick.
  static const int kTops[7] = {-1, 0, 1, 0, -1, -2, -3};
  int cx = sq.Left + sq.Width() / 2, cy = sq.Top + sq.Height() / 2;
  for (int i = 0; i < 7; ++i) {
    int x = cx - 3 + i;
    for (int k = 0; k < 3; ++k) {
      int y = cy + kTops[i] + k;
      if (PtInRect(in, TPoint(x, y))) Pixel(dc, x, y, mark);
    }
  }
}

// Paints the pixels of the ellipse in box, choosing the colour by which side of the anti-diagonal
// through its centre a pixel lies.
void EllipseHalves(GdiDC& dc, const TRect& box, COLORREF upperLeft, COLORREF lowerRight) {
  long sum2 = long(box.Left) + box.Right - 1 + long(box.Top) + box.Bottom - 1;
  for (const ScanSpan& s : ScanEllipse(box, {dc.Visible().box.Top, dc.Visible().box.Bottom})) {
    for (int x = s.X0; x < s.X1; ++x) Pixel(dc, x, s.Y, 2L * (x + s.Y) < sum2 ? upperLeft : lowerRight);
  }
}

void RadioButton(GdiDC& dc, const TRect& r, UINT state) {
  TRect sq = CentredSquare(r);
  if (sq.Width() < 4) return;
  if (state & DFCS_BUTTONRADIOMASK) {
    Fill(dc, sq, RGB(255, 255, 255));
    EllipseHalves(dc, sq, 0, 0);
    return;
  }
  COLORREF face = Sys((state & (DFCS_PUSHED | DFCS_INACTIVE)) ? COLOR_BTNFACE : COLOR_WINDOW);
  TRect in1(sq.Left + 1, sq.Top + 1, sq.Right - 1, sq.Bottom - 1);
  TRect in2(sq.Left + 2, sq.Top + 2, sq.Right - 2, sq.Bottom - 2);
  if (state & DFCS_FLAT) {
    EllipseHalves(dc, sq, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNSHADOW));
    EllipseHalves(dc, in1, face, face);
  } else {
    EllipseHalves(dc, sq, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
    EllipseHalves(dc, in1, Sys(COLOR_3DDKSHADOW), Sys(COLOR_3DLIGHT));
    EllipseHalves(dc, in2, face, face);
  }
  if (state & DFCS_CHECKED) {
    int k = sq.Width() / 3;
    COLORREF dot = Sys((state & DFCS_INACTIVE) ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT);
    EllipseHalves(dc, TRect(sq.Left + k, sq.Top + k, sq.Right - k, sq.Bottom - k), dot, dot);
  }
}

void CaptionButton(GdiDC& dc, const TRect& r, UINT state) {
  ButtonFace(dc, r, state, !(state & DFCS_TRANSPARENT));
  int s = std::min(r.Width(), r.Height());
  int g = std::max(3, s / 2);
  int x0 = r.Left + (r.Width() - g) / 2, y0 = r.Top + (r.Height() - g) / 2;
  TPoint shift = (state & DFCS_PUSHED) ? TPoint(1, 1) : TPoint(0, 0);
  UINT kind = state & 0xFF;
  GlyphInState(dc, state, shift, [&](int ox, int oy, COLORREF col) {
    int l = x0 + ox, t = y0 + oy;
    auto box = [&](int bl, int bt, int size) {
      Fill(dc, TRect(bl, bt, bl + size, bt + 2), col);  // a window's title bar: two pixels
      Fill(dc, TRect(bl, bt + size - 1, bl + size, bt + size), col);
      Fill(dc, TRect(bl, bt, bl + 1, bt + size), col);
      Fill(dc, TRect(bl + size - 1, bt, bl + size, bt + size), col);
    };
    switch (kind) {
      case DFCS_CAPTIONCLOSE:
        for (int i = 0; i < g; ++i) {
          Fill(dc, TRect(l + i, t + i, l + std::min(i + 2, g), t + i + 1), col);
          Fill(dc, TRect(l + std::max(g - 2 - i, 0), t + i, l + g - i, t + i + 1), col);
        }
        break;
      case DFCS_CAPTIONMIN:
        Fill(dc, TRect(l, t + g - 2, l + std::max(g - 2, 1), t + g), col);
        break;
      case DFCS_CAPTIONMAX:
        box(l, t, g);
        break;
      case DFCS_CAPTIONRESTORE: {
        int small = std::max(3, g * 2 / 3);
        box(l + g - small, t, small);
        Fill(dc, TRect(l + 1, t + g - small + 2, l + small - 1, t + g - 1), Sys(COLOR_BTNFACE));
        box(l, t + g - small, small);
        break;
      }
      default:
        break;
    }
  });
}

}  // namespace

bool DrawEdge(HDC h, RECT* rect, UINT edge, UINT flags) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return false;
  TPoint d = DeviceOffset(*dc);
  TRect r = *rect;
  OffsetRect(r, d.X, d.Y);
  TRect inner = EdgeDevice(*dc, r, edge, flags);
  if (flags & BF_ADJUST) {
    OffsetRect(inner, -d.X, -d.Y);
    *rect = inner;
  }
  return true;
}

bool DrawFocusRect(HDC h, const RECT* rect) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return false;
  TRect r = LogicalToDevice(*dc, *rect);
  if (r.IsEmpty()) return true;
  // Every other pixel of the ring, on a checkerboard fixed to the device, each visited once.
  auto dot = [&](int x, int y) {
    if (((x + y) & 1) == 0) PlotPixel(*dc, x, y, 0, R2_NOT);
  };
  TRect vis = dc->Visible().box;
  auto row = [&](int y) {
    if (y < vis.Top || y >= vis.Bottom) return;
    for (int x = std::max(r.Left, vis.Left); x < std::min(r.Right, vis.Right); ++x) dot(x, y);
  };
  auto col = [&](int x) {
    if (x < vis.Left || x >= vis.Right) return;
    for (int y = std::max(r.Top + 1, vis.Top); y < std::min(r.Bottom - 1, vis.Bottom); ++y) dot(x, y);
  };
  row(r.Top);
  if (r.Height() > 1) row(r.Bottom - 1);
  col(r.Left);
  if (r.Width() > 1) col(r.Right - 1);
  return true;
}

bool DrawFrameControl(HDC h, RECT* rect, UINT type, UINT state) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return false;
  TPoint d = DeviceOffset(*dc);
  TRect r = *rect;
  OffsetRect(r, d.X, d.Y);
  switch (type) {
    case DFC_BUTTON: {
      UINT kind = state & 0xFF;
      if (kind & DFCS_BUTTONPUSH) {
        TRect in = ButtonFace(*dc, r, state, !(state & DFCS_TRANSPARENT));
        // A checked (latched) push button shows a dithered face.
        if ((state & DFCS_CHECKED) && !(state & DFCS_PUSHED) && !in.IsEmpty() && !(state & DFCS_TRANSPARENT)) {
          for (int y = in.Top; y < in.Bottom; ++y)
            for (int x = in.Left; x < in.Right; ++x)
              if ((x + y) & 1) Pixel(*dc, x, y, Sys(COLOR_BTNHIGHLIGHT));
        }
        if (state & DFCS_ADJUSTRECT) InflateRect(*rect, -2, -2);
      } else if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
        RadioButton(*dc, r, state);
      } else {
        CheckBox(*dc, r, state);
      }
      return true;
    }
    case DFC_SCROLL: {
      UINT kind = state & 0xFF;
      if (kind > DFCS_SCROLLRIGHT && kind != DFCS_SCROLLCOMBOBOX) return false;
      ScrollArrow(*dc, r, state);
      return true;
    }
    case DFC_CAPTION:
      if ((state & 0xFF) > DFCS_CAPTIONHELP) return false;
      CaptionButton(*dc, r, state);
      return true;
    default:
      return false;
  }
}

}  // namespace zv

// Pens, brushes, lines and closed shapes. Every call builds the set of pixels it paints first
// (a mask over the visible part of the DC) and then paints each pixel once, so that XOR and the
// other non-idempotent ROP2 modes see every pixel of a primitive exactly once, and nothing outside
// the visible area is ever visited however large the coordinates are.
#include "platform/gdi_draw.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

#include "platform/gdi_draw_mask.h"
#include "platform/gdi_internal.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Pens and brushes
// ---------------------------------------------------------------------------------------------

namespace {

HPEN RegisterPen(GdiPen* pen) { return reinterpret_cast<HPEN>(GdiRegister(pen)); }
HBRUSH RegisterBrush(GdiBrush* brush) { return reinterpret_cast<HBRUSH>(GdiRegister(brush)); }

bool ValidPenStyle(UINT style) { return (style & PS_STYLE_MASK) <= PS_ALTERNATE; }

}  // namespace

HPEN CreatePen(int style, int width, COLORREF color) {
  UINT s = UINT(style);
  if (!ValidPenStyle(s) || (s & PS_STYLE_MASK) == PS_USERSTYLE || (s & PS_STYLE_MASK) == PS_ALTERNATE)
    s = PS_SOLID;
  auto* pen = new GdiPen;
  pen->style = s & PS_STYLE_MASK;
  pen->width = std::max(width, 0);
  pen->color = color & 0xFFFFFF;
  return RegisterPen(pen);
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
  if (!lp) return nullptr;
  return CreatePen(int(lp->lopnStyle), lp->lopnWidth.X, lp->lopnColor);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount,
                  const DWORD* styles) {
  if (!brush || !ValidPenStyle(style)) return nullptr;
  UINT kind = style & PS_STYLE_MASK;
  bool geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
  // A cosmetic pen is one pixel wide; PS_ALTERNATE exists only for cosmetic pens.
  if (!geometric && width != 1) return nullptr;
  if (geometric && kind == PS_ALTERNATE) return nullptr;
  if (kind == PS_USERSTYLE) {
    if (!styles || styleCount == 0 || styleCount > 16) return nullptr;
    bool any = false;
    for (DWORD i = 0; i < styleCount; ++i) any = any || styles[i] != 0;
    if (!any) return nullptr;
  }
  if (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL && brush->lbStyle != BS_HATCHED)
    return nullptr;
  auto* pen = new GdiPen;
  pen->style = style;
  if (brush->lbStyle == BS_NULL) pen->style = (style & ~PS_STYLE_MASK) | PS_NULL;
  pen->width = int(std::min<DWORD>(width, 0x7FFF));
  pen->color = brush->lbColor & 0xFFFFFF;
  pen->extended = true;
  if (kind == PS_USERSTYLE) pen->userStyle.assign(styles, styles + styleCount);
  return RegisterPen(pen);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new GdiBrush;
  b->style = BS_SOLID;
  b->color = color & 0xFFFFFF;
  return RegisterBrush(b);
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
  if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return nullptr;
  auto* b = new GdiBrush;
  b->style = BS_HATCHED;
  b->hatch = hatch;
  b->color = color & 0xFFFFFF;
  return RegisterBrush(b);
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
  GdiBitmap* bmp = BitmapFromHandle(bitmap);
  if (!bmp || !bmp->surface || bmp->surface->width <= 0 || bmp->surface->height <= 0) return nullptr;
  const GdiSurface& src = *bmp->surface;
  // The brush keeps its own copy: later drawing into the bitmap does not change the brush.
  auto copy = GdiSurface::Create(src.width, src.height, src.bpp, src.topDown,
                                 src.colors.empty() ? nullptr : src.colors.data(), int(src.colors.size()),
                                 src.masks);
  if (!copy) return nullptr;
  for (int y = 0; y < src.height; ++y)
    std::copy_n(src.Row(y), size_t(src.stride), copy->Row(y));
  auto* b = new GdiBrush;
  b->style = BS_PATTERN;
  b->pattern = std::move(copy);
  b->monoPattern = src.bpp == 1;
  return RegisterBrush(b);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
  if (!lb) return nullptr;
  switch (lb->lbStyle) {
    case BS_SOLID:
      return CreateSolidBrush(lb->lbColor);
    case BS_NULL: {
      auto* b = new GdiBrush;
      b->style = BS_NULL;
      return RegisterBrush(b);
    }
    case BS_HATCHED:
      return CreateHatchBrush(int(lb->lbHatch), lb->lbColor);
    case BS_PATTERN:
    case BS_PATTERN8X8:
      return CreatePatternBrush(reinterpret_cast<HBITMAP>(lb->lbHatch));
    default:
      return nullptr;
  }
}

HBRUSH GetSysColorBrush(int index) {
  constexpr int kCount = COLOR_MENUBAR + 1;
  if (index < 0 || index >= kCount) return nullptr;
  static std::mutex lock;
  static HBRUSH brushes[kCount] = {};
  std::lock_guard<std::mutex> guard(lock);
  if (!brushes[index]) {
    auto* b = new GdiBrush;
    b->style = BS_SOLID;
    b->color = GetSysColor(index);
    b->stock = true;
    brushes[index] = RegisterBrush(b);
  }
  return brushes[index];
}

// ---------------------------------------------------------------------------------------------
// Pen geometry
// ---------------------------------------------------------------------------------------------

namespace {

// What a pen draws, resolved once per call.
struct PenInfo {
  bool null = true;
  int width = 1;
  bool insideFrame = false;
  bool geometric = false;  // a wide pen: drawn as an area around the path
  UINT endCap = PS_ENDCAP_ROUND;
  UINT join = PS_JOIN_ROUND;
  COLORREF color = 0;
  std::vector<uint32_t> dashes;  // on, off, on ... lengths; empty for solid
};

PenInfo ResolvePen(const GdiDC& dc) {
  PenInfo info;
  const GdiPen* pen = dc.st.pen;
  if (!pen) return info;
  UINT kind = pen->style & PS_STYLE_MASK;
  if (kind == PS_NULL) return info;
  info.null = false;
  info.color = pen->color;
  info.width = std::max(pen->width, 1);
  info.insideFrame = kind == PS_INSIDEFRAME;
  info.endCap = pen->style & PS_ENDCAP_MASK;
  info.join = pen->style & PS_JOIN_MASK;
  if (!pen->extended) info.endCap = PS_ENDCAP_ROUND, info.join = PS_JOIN_ROUND;
  info.geometric = info.width > 1;
  // Styled lines are one pixel wide; a wider pen of a dashed style draws solid.
  if (info.width == 1) {
    switch (kind) {
      case PS_DASH: info.dashes = {18, 6}; break;
      case PS_DOT: info.dashes = {3, 3}; break;
      case PS_DASHDOT: info.dashes = {9, 6, 3, 6}; break;
      case PS_DASHDOTDOT: info.dashes = {9, 3, 3, 3, 3, 3}; break;
      case PS_ALTERNATE: info.dashes = {1, 1}; break;
      case PS_USERSTYLE:
        info.dashes.assign(pen->userStyle.begin(), pen->userStyle.end());
        if (info.dashes.size() % 2) {  // an odd list repeats with on and off exchanged
          auto copy = info.dashes;
          info.dashes.insert(info.dashes.end(), copy.begin(), copy.end());
        }
        break;
      default: break;
    }
  }
  return info;
}

// The dash pattern's position, carried along a polyline.
struct DashState {
  const std::vector<uint32_t>* dashes = nullptr;
  uint64_t period = 0;
  uint64_t pos = 0;  // pixels drawn since the pattern started

  explicit DashState(const std::vector<uint32_t>& d) {
    if (d.empty()) return;
    dashes = &d;
    for (uint32_t v : d) period += v;
    if (period == 0) dashes = nullptr;
  }
  // Mask value of the pixel `step` pixels after the current position: pen (1) or gap (2).
  uint8_t At(uint64_t step) const {
    if (!dashes) return kMaskPen;
    uint64_t p = (pos + step) % period;
    for (size_t i = 0; i < dashes->size(); ++i) {
      if (p < (*dashes)[i]) return i % 2 == 0 ? kMaskPen : kMaskGap;
      p -= (*dashes)[i];
    }
    return kMaskPen;
  }
};

// Marks a cosmetic line from a to b, the last point left out, in mask (dash values), clipped to
// the mask; advances the dash state by the line's length.
void StrokeThin(PixelMask& mask, TPoint a, TPoint b, DashState& dash) {
  int64_t steps = 0;
  ForEachLinePoint(a, b, mask.Area(), [&](int x, int y, int64_t index) {
    mask.Mark(x, y, dash.At(uint64_t(index)));
  }, &steps);
  dash.pos += uint64_t(steps);
}

// Marks the area of a wide pen along segment a-b (device points), with the caps it asks for.
void StrokeWideSegment(PixelMask& mask, TPoint a, TPoint b, int width, UINT cap) {
  // Even widths put the pen's centre half a pixel up and left, so that a 2-pixel pen covers the
  // path's row and the one above it.
  double off = width % 2 == 0 ? -0.5 : 0.0;
  double ax = a.X + off, ay = a.Y + off, bx = b.X + off, by = b.Y + off;
  double half = width / 2.0 + 1e-9;
  double dx = bx - ax, dy = by - ay;
  double len = std::sqrt(dx * dx + dy * dy);
  double ext = cap == PS_ENDCAP_SQUARE ? width / 2.0 : 0.0;
  TRect box(int(std::floor(std::min(ax, bx) - half - ext)) - 1, int(std::floor(std::min(ay, by) - half - ext)) - 1,
            int(std::ceil(std::max(ax, bx) + half + ext)) + 2, int(std::ceil(std::max(ay, by) + half + ext)) + 2);
  TRect area;
  if (!IntersectRect(area, box, mask.Area())) return;
  for (int y = area.Top; y < area.Bottom; ++y) {
    for (int x = area.Left; x < area.Right; ++x) {
      double px = x - ax, py = y - ay;
      bool in;
      if (len < 1e-12) {
        in = cap == PS_ENDCAP_FLAT ? false
             : cap == PS_ENDCAP_SQUARE ? std::max(std::fabs(px), std::fabs(py)) <= half
                                       : px * px + py * py <= half * half;
      } else {
        double t = (px * dx + py * dy) / len;      // along the segment
        double n = std::fabs(px * dy - py * dx) / len;  // across it
        if (cap == PS_ENDCAP_ROUND) {
          double tc = std::clamp(t, 0.0, len);
          double ex = t - tc;
          in = ex * ex + n * n <= half * half;
        } else {
          in = t >= -ext - 1e-9 && t <= len + ext + 1e-9 && n <= half;
        }
      }
      if (in) mask.Mark(x, y, kMaskPen);
    }
  }
}

// The disc (or square) a wide pen leaves at a joint.
void StrokeWideJoint(PixelMask& mask, TPoint p, int width) {
  StrokeWideSegment(mask, p, p, width, PS_ENDCAP_ROUND);
}

// Marks the pen of a path (device points). closed joins the last point to the first.
void StrokePath(PixelMask& mask, const PenInfo& pen, const TPoint* pts, size_t n, bool closed) {
  if (pen.null || n < 2) return;
  if (!pen.geometric) {
    DashState dash(pen.dashes);
    for (size_t i = 0; i + 1 < n; ++i) StrokeThin(mask, pts[i], pts[i + 1], dash);
    if (closed) StrokeThin(mask, pts[n - 1], pts[0], dash);
    return;
  }
  size_t segs = closed ? n : n - 1;
  for (size_t i = 0; i < segs; ++i) {
    // Inner joints get the pen's join; only the two open ends get its end cap.
    TPoint a = pts[i], b = pts[(i + 1) % n];
    StrokeWideSegment(mask, a, b, pen.width, PS_ENDCAP_FLAT);
  }
  for (size_t i = 0; i < n; ++i) {
    bool end = !closed && (i == 0 || i == n - 1);
    if (end) {
      if (pen.endCap != PS_ENDCAP_FLAT) {
        TPoint a = pts[i], b = i == 0 ? pts[1] : pts[n - 2];
        // A cap is the segment's own area extended past its end; mark just the end part.
        if (pen.endCap == PS_ENDCAP_ROUND) {
          StrokeWideJoint(mask, a, pen.width);
        } else {
          StrokeWideSegment(mask, a, a == b ? a : b, pen.width, PS_ENDCAP_SQUARE);
        }
      }
    } else if (pen.join == PS_JOIN_ROUND) {
      StrokeWideJoint(mask, pts[i], pen.width);
    } else {
      // Bevel (and mitre, drawn as bevel): fill the wedge between the two segments' corners.
      TPoint prev = pts[(i + n - 1) % n], cur = pts[i], next = pts[(i + 1) % n];
      double h = pen.width / 2.0;
      auto corner = [&](TPoint from, TPoint to, double side) {
        double dx = to.X - from.X, dy = to.Y - from.Y, l = std::sqrt(dx * dx + dy * dy);
        if (l < 1e-12) return cur;
        return TPoint(int(std::lround(cur.X - dy / l * h * side)), int(std::lround(cur.Y + dx / l * h * side)));
      };
      for (double side : {1.0, -1.0}) {
        TPoint tri[3] = {cur, corner(prev, cur, side), corner(cur, next, side)};
        int32_t cnt = 3;
        mask.MarkSpans(ScanPolygon(tri, &cnt, 1, ALTERNATE, mask.Rows()), kMaskPen);
      }
    }
  }
}

// Paints a shape: pixels marked pen or gap in pen get the pen or background colour, the rest of
// fill gets the brush; all through the DC's ROP2.
void PaintMasks(GdiDC& dc, const PenInfo& pen, const PixelMask* penMask, const PixelMask* fill) {
  int rop2 = dc.st.rop2;
  if (fill && dc.st.brush) {
    const GdiBrush& brush = *dc.st.brush;
    fill->ForEachRun([&](int y, int x0, int x1, uint8_t v) {
      if (v == 0) return;
      if (!penMask) {
        FillSpan(dc, y, x0, x1, brush, rop2);
        return;
      }
      // Only where the pen leaves the pixel alone.
      int x = x0;
      while (x < x1) {
        bool covered = penMask->Get(x, y) != 0;
        int e = x + 1;
        while (e < x1 && (penMask->Get(e, y) != 0) == covered) ++e;
        if (!covered) FillSpan(dc, y, x, e, brush, rop2);
        x = e;
      }
    });
  }
  if (penMask && !pen.null) {
    bool opaque = dc.st.bkMode == OPAQUE;
    penMask->ForEachRun([&](int y, int x0, int x1, uint8_t v) {
      if (v == kMaskPen) FillSpan(dc, y, x0, x1, pen.color, rop2);
      else if (v == kMaskGap && opaque) FillSpan(dc, y, x0, x1, dc.st.bkColor, rop2);
    });
  }
}

// The area a primitive may touch: the visible part of the DC (device units) within bounds, which
// callers make generous enough for the pen.
bool VisibleArea(GdiDC& dc, const TRect& bounds, TRect* area) {
  return IntersectRect(*area, dc.Visible().box, bounds);
}

// Bounds of device points grown by a pen's reach.
TRect PointBounds(const TPoint* pts, size_t n, int reach) {
  int64_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, b = INT32_MIN;
  for (size_t i = 0; i < n; ++i) {
    l = std::min<int64_t>(l, pts[i].X), t = std::min<int64_t>(t, pts[i].Y);
    r = std::max<int64_t>(r, pts[i].X), b = std::max<int64_t>(b, pts[i].Y);
  }
  if (n == 0) return TRect();
  auto c = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return TRect(c(l - reach), c(t - reach), c(r + reach + 1), c(b + reach + 1));
}

TRect Grow(const TRect& r, int by) {
  auto c = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return TRect(c(int64_t(r.Left) - by), c(int64_t(r.Top) - by), c(int64_t(r.Right) + by), c(int64_t(r.Bottom) + by));
}

std::vector<TPoint> ToDevice(const GdiDC& dc, const POINT* pts, size_t n) {
  std::vector<TPoint> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = LogicalToDevice(dc, pts[i]);
  return out;
}

TRect NormalizedDeviceRect(const GdiDC& dc, int l, int t, int r, int b) {
  TRect d = LogicalToDevice(dc, TRect(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)));
  return d;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------------------------

bool MoveToEx(HDC h, int x, int y, POINT* old) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  if (old) *old = dc->st.curPos;
  dc->st.curPos = TPoint(x, y);
  return true;
}

bool GetCurrentPositionEx(HDC h, POINT* pos) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !pos) return false;
  *pos = dc->st.curPos;
  return true;
}

namespace {

// Draws an open path (device points) with the DC's pen.
void DrawOpenPath(GdiDC& dc, const std::vector<TPoint>& pts) {
  PenInfo pen = ResolvePen(dc);
  TRect area;
  if (pen.null || pts.size() < 2 || !VisibleArea(dc, PointBounds(pts.data(), pts.size(), pen.width + 2), &area))
    return;
  PixelMask mask(area);
  StrokePath(mask, pen, pts.data(), pts.size(), false);
  PaintMasks(dc, pen, &mask, nullptr);
}

}  // namespace

bool LineTo(HDC h, int x, int y) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  std::vector<TPoint> pts = {LogicalToDevice(*dc, dc->st.curPos), LogicalToDevice(*dc, TPoint(x, y))};
  DrawOpenPath(*dc, pts);
  dc->st.curPos = TPoint(x, y);
  return true;
}

bool Polyline(HDC h, const POINT* points, int count) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !points || count < 2) return false;
  DrawOpenPath(*dc, ToDevice(*dc, points, size_t(count)));
  return true;
}

bool PolylineTo(HDC h, const POINT* points, DWORD count) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !points || count == 0) return false;
  std::vector<TPoint> pts;
  pts.reserve(count + 1);
  pts.push_back(LogicalToDevice(*dc, dc->st.curPos));
  for (DWORD i = 0; i < count; ++i) pts.push_back(LogicalToDevice(*dc, points[i]));
  DrawOpenPath(*dc, pts);
  dc->st.curPos = points[count - 1];
  return true;
}

bool PolyPolyline(HDC h, const POINT* points, const DWORD* counts, DWORD polylines) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !points || !counts) return false;
  for (DWORD i = 0; i < polylines; ++i)
    if (counts[i] < 2) return false;
  PenInfo pen = ResolvePen(*dc);
  TRect area;
  DWORD total = 0;
  for (DWORD i = 0; i < polylines; ++i) total += counts[i];
  auto all = ToDevice(*dc, points, total);
  if (pen.null || !VisibleArea(*dc, PointBounds(all.data(), all.size(), pen.width + 2), &area)) return true;
  PixelMask mask(area);
  const POINT* p = points;
  for (DWORD i = 0; i < polylines; ++i) {
    auto pts = ToDevice(*dc, p, counts[i]);
    StrokePath(mask, pen, pts.data(), pts.size(), false);
    p += counts[i];
  }
  PaintMasks(*dc, pen, &mask, nullptr);
  return true;
}

bool LineDDA(int x1, int y1, int x2, int y2, LINEDDAPROC proc, intptr_t data) {
  if (!proc) return false;
  TRect all(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  ForEachLinePoint(TPoint(x1, y1), TPoint(x2, y2), all, [&](int x, int y, int64_t) { proc(x, y, data); });
  return true;
}

// ---------------------------------------------------------------------------------------------
// Closed shapes
// ---------------------------------------------------------------------------------------------

int SetPolyFillMode(HDC h, int mode) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || (mode != ALTERNATE && mode != WINDING)) return 0;
  int old = dc->st.polyFillMode;
  dc->st.polyFillMode = mode;
  return old;
}

int GetPolyFillMode(HDC h) {
  GdiDC* dc = DCFromHandle(h);
  return dc ? dc->st.polyFillMode : 0;
}

int SetArcDirection(HDC h, int direction) {
  // Only the default, counter-clockwise, is drawn; the other is refused.
  GdiDC* dc = DCFromHandle(h);
  if (!dc || direction != AD_COUNTERCLOCKWISE) return 0;
  return AD_COUNTERCLOCKWISE;
}

int GetArcDirection(HDC h) { return DCFromHandle(h) ? AD_COUNTERCLOCKWISE : 0; }

namespace {

bool DrawPolygons(GdiDC& dc, const POINT* points, const int* counts, int polygons) {
  int64_t total = 0;
  for (int i = 0; i < polygons; ++i) {
    if (counts[i] < 2) return false;
    total += counts[i];
  }
  auto pts = ToDevice(dc, points, size_t(total));
  TRect area;
  PenInfo pen = ResolvePen(dc);
  if (!VisibleArea(dc, PointBounds(pts.data(), pts.size(), pen.width + 2), &area)) return true;
  PixelMask fill(area), penMask(area);
  fill.MarkSpans(ScanPolygon(pts.data(), counts, polygons, dc.st.polyFillMode, fill.Rows()), 1);
  size_t at = 0;
  for (int i = 0; i < polygons; ++i) {
    StrokePath(penMask, pen, pts.data() + at, size_t(counts[i]), true);
    at += size_t(counts[i]);
  }
  PaintMasks(dc, pen, pen.null ? nullptr : &penMask, &fill);
  return true;
}

// The pixels of a closed shape in a box (outline included), and how its corners are rounded.
enum class ShapeKind { Rect, Ellipse, RoundRect };

ScanSpans ShapeSpans(ShapeKind kind, const TRect& box, int cw, int ch, ScanRows rows) {
  switch (kind) {
    case ShapeKind::Ellipse: return ScanEllipse(box, rows);
    case ShapeKind::RoundRect: return ScanRoundRect(box, cw, ch, rows);
    default: break;
  }
  ScanSpans out;
  if (box.IsEmpty()) return out;
  for (int y = std::max(box.Top, rows.YMin); y < std::min(box.Bottom, rows.YMax); ++y)
    out.push_back({y, box.Left, box.Right});
  return out;
}

TRect Deflate(const TRect& r, int l, int t, int rr, int b) {
  return TRect(r.Left + l, r.Top + t, r.Right - rr, r.Bottom - b);
}

// Which outline pixels the arc-type shapes keep.
struct ArcFilter {
  bool active = false;
  double cx2 = 0, cy2 = 0;  // doubled centre
  double start = 0, sweep = 0;
  bool Keeps(int x, int y) const {
    if (!active) return true;
    double a = std::atan2(-(2.0 * y - cy2), 2.0 * x - cx2);
    double d = std::fmod(a - start + 4 * std::numbers::pi, 2 * std::numbers::pi);
    return d <= sweep + 1e-9;
  }
};

// The parts of a pen-outlined shape: pen pixels (with dash values) and fill pixels.
struct ShapeMasks {
  PixelMask pen;
  PixelMask fill;
  explicit ShapeMasks(const TRect& area) : pen(area), fill(area) {}
};

// Builds the outline and interior of a rectangle, ellipse or rounded rectangle in box (device
// units, normalised). The outline follows GDI: a one-pixel pen paints the shape's border pixels; a
// wide pen is centred on that border (or kept inside with PS_INSIDEFRAME).
void BuildShape(ShapeMasks& m, const PenInfo& pen, ShapeKind kind, const TRect& box, int cw, int ch,
                const ArcFilter& arc, bool fillInterior) {
  ScanRows rows = m.fill.Rows();
  rows.YMin = rows.YMin == INT32_MIN ? rows.YMin : rows.YMin - 1;
  rows.YMax = rows.YMax == INT32_MAX ? rows.YMax : rows.YMax + 1;
  if (pen.null) {
    if (!fillInterior) return;
    // Without an outline the fill stops where the outline's inside edge would have been.
    TRect inner = Deflate(box, 0, 0, 1, 1);
    int icw = std::max(cw - 1, 0), ich = std::max(ch - 1, 0);
    PixelMask shape(m.fill.Area());
    shape.MarkSpans(ShapeSpans(kind, inner, icw, ich, rows), 1);
    shape.ForEachSet([&](int x, int y) {
      if (arc.Keeps(x, y)) m.fill.Mark(x, y, 1);
    });
    return;
  }
  int w = pen.width;
  if (!pen.geometric) {
    PixelMask shape(Deflate(m.fill.Area(), -1, -1, -1, -1));
    shape.MarkSpans(ShapeSpans(kind, box, cw, ch, rows), 1);
    // Border pixels (a 4-neighbour outside the shape) carry the pen, in order round the centre
    // when the pen is dashed.
    std::vector<TPoint> border;
    shape.ForEachSet([&](int x, int y) {
      if (!PtInRect(m.fill.Area(), TPoint(x, y))) return;
      bool edge = !shape.Get(x - 1, y) || !shape.Get(x + 1, y) || !shape.Get(x, y - 1) || !shape.Get(x, y + 1);
      if (edge) {
        if (arc.Keeps(x, y)) border.push_back(TPoint(x, y));
      } else if (fillInterior && arc.Keeps(x, y)) {
        m.fill.Mark(x, y, 1);
      }
    });
    if (pen.dashes.empty()) {
      for (TPoint p : border) m.pen.Mark(p.X, p.Y, kMaskPen);
    } else {
      double cx2 = double(box.Left) + box.Right - 1, cy2 = double(box.Top) + box.Bottom - 1;
      auto angle = [&](TPoint p) {
        double a = std::atan2(-(2.0 * p.Y - cy2), 2.0 * p.X - cx2);
        return a < 0 ? a + 2 * std::numbers::pi : a;
      };
      std::stable_sort(border.begin(), border.end(), [&](TPoint a, TPoint b) { return angle(a) < angle(b); });
      DashState dash(pen.dashes);
      for (size_t i = 0; i < border.size(); ++i) m.pen.Mark(border[i].X, border[i].Y, dash.At(i));
    }
    return;
  }
  // Wide pen: the ring between the outer shape and the inner one w pixels in.
  TRect outer = pen.insideFrame ? box : Deflate(box, -(w / 2), -(w / 2), -((w - 1) / 2), -((w - 1) / 2));
  int grow = pen.insideFrame ? 0 : w - 1;
  int ocw = cw > 0 ? cw + grow : 0, och = ch > 0 ? ch + grow : 0;
  TRect inner = Deflate(outer, w, w, w, w);
  int icw = std::max(ocw - 2 * w, 0), ich = std::max(och - 2 * w, 0);
  PixelMask outerMask(m.fill.Area()), innerMask(m.fill.Area());
  outerMask.MarkSpans(ShapeSpans(kind, outer, ocw, och, rows), 1);
  if (!inner.IsEmpty()) innerMask.MarkSpans(ShapeSpans(kind, inner, icw, ich, rows), 1);
  outerMask.ForEachSet([&](int x, int y) {
    if (!arc.Keeps(x, y)) return;
    if (innerMask.Get(x, y)) {
      if (fillInterior) m.fill.Mark(x, y, 1);
    } else {
      m.pen.Mark(x, y, kMaskPen);
    }
  });
}

// Where the radial toward (x, y) meets the ellipse's path in box (device units), rounded.
TPoint RadialPoint(const TRect& box, TPoint toward) {
  double cx = (box.Left + box.Right - 1) / 2.0, cy = (box.Top + box.Bottom - 1) / 2.0;
  double a = (box.Right - box.Left - 1) / 2.0, b = (box.Bottom - box.Top - 1) / 2.0;
  double dx = toward.X - cx, dy = toward.Y - cy;
  if (std::fabs(dx) < 1e-12 && std::fabs(dy) < 1e-12) dx = 1;
  if (a <= 0 || b <= 0) return TPoint(int(std::lround(cx)), int(std::lround(cy)));
  double k = 1.0 / std::sqrt(dx * dx / (a * a) + dy * dy / (b * b));
  return TPoint(int(std::lround(cx + k * dx)), int(std::lround(cy + k * dy)));
}

ArcFilter MakeArcFilter(const TRect& box, TPoint s, TPoint e) {
  ArcFilter f;
  f.active = true;
  f.cx2 = double(box.Left) + box.Right - 1;
  f.cy2 = double(box.Top) + box.Bottom - 1;
  auto ang = [&](TPoint p) {
    double dx = 2.0 * p.X - f.cx2, dy = -(2.0 * p.Y - f.cy2);
    if (std::fabs(dx) < 1e-12 && std::fabs(dy) < 1e-12) return 0.0;
    return std::atan2(dy, dx);
  };
  f.start = ang(s);
  double end = ang(e);
  f.sweep = std::fmod(end - f.start + 4 * std::numbers::pi, 2 * std::numbers::pi);
  if (f.sweep < 1e-12) f.sweep = 2 * std::numbers::pi;  // the same radial: all of it
  return f;
}

enum class ArcKind { Arc, Pie, Chord };

bool DrawArcShape(GdiDC& dc, ArcKind kind, int l, int t, int r, int b, int xs, int ys, int xe, int ye,
                  bool lineFromCurrent) {
  TRect box = NormalizedDeviceRect(dc, l, t, r, b);
  TPoint ds = LogicalToDevice(dc, TPoint(xs, ys)), de = LogicalToDevice(dc, TPoint(xe, ye));
  TPoint p0 = RadialPoint(box, ds), p1 = RadialPoint(box, de);
  TRect area;
  PenInfo pen = ResolvePen(dc);
  if (box.Width() < 2 || box.Height() < 2) return true;
  TPoint cur = LogicalToDevice(dc, dc.st.curPos);
  TRect bounds = Grow(box, pen.width + 2);
  if (lineFromCurrent) UnionRect(bounds, bounds, PointBounds(&cur, 1, pen.width + 2));
  if (!VisibleArea(dc, bounds, &area)) return true;
  ShapeMasks m(area);
  ArcFilter f = MakeArcFilter(box, ds, de);
  bool fill = kind != ArcKind::Arc;
  if (kind == ArcKind::Chord) {
    // The chord keeps the part of the ellipse on the arc's side of the line p0-p1.
    ArcFilter whole;
    BuildShape(m, pen, ShapeKind::Ellipse, box, 0, 0, whole, true);
    double mid = f.start + f.sweep / 2;
    double mx = f.cx2 + std::cos(mid) * box.Width(), my = f.cy2 - std::sin(mid) * box.Height();
    auto side = [&](double x2, double y2) {
      return (2.0 * p1.X - 2.0 * p0.X) * (y2 - 2.0 * p0.Y) - (2.0 * p1.Y - 2.0 * p0.Y) * (x2 - 2.0 * p0.X);
    };
    double want = side(mx, my);
    auto keep = [&](int x, int y) {
      double s = side(2.0 * x, 2.0 * y);
      return want >= 0 ? s >= 0 : s <= 0;
    };
    PixelMask pen2(area), fill2(area);
    m.pen.ForEachRun([&](int y, int x0, int x1, uint8_t v) {
      for (int x = x0; x < x1; ++x)
        if (keep(x, y)) pen2.Mark(x, y, v);
    });
    m.fill.ForEachSet([&](int x, int y) {
      if (keep(x, y)) fill2.Mark(x, y, 1);
    });
    TPoint seg[2] = {p0, p1};
    StrokePath(pen2, pen, seg, 2, true);
    PaintMasks(dc, pen, pen.null ? nullptr : &pen2, &fill2);
    return true;
  }
  BuildShape(m, pen, ShapeKind::Ellipse, box, 0, 0, f, fill);
  if (kind == ArcKind::Pie) {
    TPoint c(int(std::lround((box.Left + box.Right - 1) / 2.0)), int(std::lround((box.Top + box.Bottom - 1) / 2.0)));
    // The two radii, from the arc's end to the centre and out to its start.
    TPoint path[3] = {p1, c, p0};
    StrokePath(m.pen, pen, path, 3, false);
    if (!pen.null && !pen.geometric) m.pen.Mark(p0.X, p0.Y, kMaskPen);
  }
  if (lineFromCurrent) {
    TPoint seg[2] = {cur, p0};
    StrokePath(m.pen, pen, seg, 2, false);
  }
  PaintMasks(dc, pen, pen.null ? nullptr : &m.pen, fill ? &m.fill : nullptr);
  return true;
}

// A rectangle with a one-pixel solid pen, or none, painted row by row within area: the pixels
// BuildShape and PaintMasks give it (interior with the brush, then the border with the pen), without a
// mask the size of the box.
void PaintPlainRect(GdiDC& dc, const PenInfo& pen, const TRect& box, const TRect& area) {
  const int rop2 = dc.st.rop2;
  const int top = std::max(box.Top, area.Top), bottom = std::min(box.Bottom, area.Bottom);
  auto span = [&](int y, int x0, int x1, auto&& paint) {
    x0 = std::max(x0, area.Left), x1 = std::min(x1, area.Right);
    if (x0 < x1) paint(y, x0, x1);
  };
  if (dc.st.brush) {
    const GdiBrush& brush = *dc.st.brush;
    auto fill = [&](int y, int x0, int x1) { FillSpan(dc, y, x0, x1, brush, rop2); };
    // Without an outline the fill stops where the outline's inside edge would have been.
    const TRect inner = pen.null ? Deflate(box, 0, 0, 1, 1) : Deflate(box, 1, 1, 1, 1);
    for (int y = std::max(inner.Top, top); y < std::min(inner.Bottom, bottom); ++y) span(y, inner.Left, inner.Right, fill);
  }
  if (pen.null) return;
  auto stroke = [&](int y, int x0, int x1) { FillSpan(dc, y, x0, x1, pen.color, rop2); };
  for (int y = top; y < bottom; ++y) {
    if (y == box.Top || y == box.Bottom - 1) {
      span(y, box.Left, box.Right, stroke);
    } else {
      span(y, box.Left, box.Left + 1, stroke);
      if (box.Right - 1 > box.Left) span(y, box.Right - 1, box.Right, stroke);
    }
  }
}

bool DrawBoxShape(HDC h, ShapeKind kind, int l, int t, int r, int b, int cw, int ch) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  TRect box = NormalizedDeviceRect(*dc, l, t, r, b);
  TRect area;
  PenInfo pen = ResolvePen(*dc);
  if (box.IsEmpty() || !VisibleArea(*dc, Grow(box, pen.width + 2), &area)) return true;
  if (kind == ShapeKind::Rect && (pen.null || (!pen.geometric && pen.dashes.empty()))) {
    PaintPlainRect(*dc, pen, box, area);
    return true;
  }
  ShapeMasks m(area);
  if (kind == ShapeKind::Rect && !pen.null && !pen.geometric && !pen.dashes.empty()) {
    // A styled rectangle runs its dashes along the path, starting at the top-left corner.
    TPoint path[4] = {{box.Left, box.Top}, {box.Right - 1, box.Top}, {box.Right - 1, box.Bottom - 1},
                      {box.Left, box.Bottom - 1}};
    StrokePath(m.pen, pen, path, 4, true);
    m.fill.MarkSpans(ShapeSpans(kind, Deflate(box, 1, 1, 1, 1), 0, 0, m.fill.Rows()), 1);
  } else {
    BuildShape(m, pen, kind, box, std::abs(cw), std::abs(ch), ArcFilter(), true);
  }
  PaintMasks(*dc, pen, pen.null ? nullptr : &m.pen, &m.fill);
  return true;
}

}  // namespace

bool Polygon(HDC h, const POINT* points, int count) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !points || count < 2) return false;
  return DrawPolygons(*dc, points, &count, 1);
}

bool PolyPolygon(HDC h, const POINT* points, const int* counts, int polygons) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !points || !counts || polygons <= 0) return false;
  return DrawPolygons(*dc, points, counts, polygons);
}

bool Rectangle(HDC dc, int left, int top, int right, int bottom) {
  return DrawBoxShape(dc, ShapeKind::Rect, left, top, right, bottom, 0, 0);
}

bool RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  return DrawBoxShape(dc, ShapeKind::RoundRect, left, top, right, bottom, ellipseWidth, ellipseHeight);
}

bool Ellipse(HDC dc, int left, int top, int right, int bottom) {
  return DrawBoxShape(dc, ShapeKind::Ellipse, left, top, right, bottom, 0, 0);
}

bool Arc(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  GdiDC* dc = DCFromHandle(h);
  return dc && DrawArcShape(*dc, ArcKind::Arc, l, t, r, b, xs, ys, xe, ye, false);
}

bool ArcTo(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  DrawArcShape(*dc, ArcKind::Arc, l, t, r, b, xs, ys, xe, ye, true);
  TRect box = NormalizedDeviceRect(*dc, l, t, r, b);
  TPoint end = RadialPoint(box, LogicalToDevice(*dc, TPoint(xe, ye)));
  dc->st.curPos = DeviceToLogical(*dc, end);
  return true;
}

bool Pie(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  GdiDC* dc = DCFromHandle(h);
  return dc && DrawArcShape(*dc, ArcKind::Pie, l, t, r, b, xs, ys, xe, ye, false);
}

bool Chord(HDC h, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
  GdiDC* dc = DCFromHandle(h);
  return dc && DrawArcShape(*dc, ArcKind::Chord, l, t, r, b, xs, ys, xe, ye, false);
}

}  // namespace zv

// Rectangle and region fills, inversion, and flood fill.
#include <algorithm>

#include "platform/gdi_draw.h"
#include "platform/gdi_draw_mask.h"
#include "platform/gdi_internal.h"

namespace zv {

namespace {

// FillRect and friends also take "system colour index + 1" in place of a brush handle.
const GdiBrush* BrushArg(HBRUSH brush) {
  uintptr_t v = reinterpret_cast<uintptr_t>(brush);
  if (v >= 1 && v <= uintptr_t(COLOR_MENUBAR) + 1) brush = GetSysColorBrush(int(v - 1));
  return BrushFromHandle(brush);
}

// The region's rectangles in device units.
std::vector<TRect> DeviceRects(const GdiDC& dc, const RegionData& rgn) {
  TPoint d = LogicalToDevice(dc, TPoint(0, 0));
  std::vector<TRect> out = rgn.rects;
  for (TRect& r : out) OffsetRect(r, d.X, d.Y);
  return out;
}

void InvertDeviceRect(GdiDC& dc, const TRect& r) {
  TRect vis;
  if (!IntersectRect(vis, r, dc.Visible().box)) return;
  for (int y = vis.Top; y < vis.Bottom; ++y) FillSpan(dc, y, vis.Left, vis.Right, COLORREF(0), R2_NOT);
}

}  // namespace

int FillRect(HDC h, const RECT* rect, HBRUSH brush) {
  GdiDC* dc = DCFromHandle(h);
  const GdiBrush* b = BrushArg(brush);
  if (!dc || !rect || !b) return 0;
  FillDeviceRect(*dc, LogicalToDevice(*dc, *rect), *b, R2_COPYPEN);
  return 1;
}

int FrameRect(HDC h, const RECT* rect, HBRUSH brush) {
  GdiDC* dc = DCFromHandle(h);
  const GdiBrush* b = BrushArg(brush);
  if (!dc || !rect || !b) return 0;
  TRect r = LogicalToDevice(*dc, *rect);
  if (r.IsEmpty()) return 1;
  FillDeviceRect(*dc, TRect(r.Left, r.Top, r.Right, r.Top + 1), *b, R2_COPYPEN);
  if (r.Height() > 1) FillDeviceRect(*dc, TRect(r.Left, r.Bottom - 1, r.Right, r.Bottom), *b, R2_COPYPEN);
  if (r.Height() > 2) {
    FillDeviceRect(*dc, TRect(r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1), *b, R2_COPYPEN);
    if (r.Width() > 1) FillDeviceRect(*dc, TRect(r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1), *b, R2_COPYPEN);
  }
  return 1;
}

bool InvertRect(HDC h, const RECT* rect) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return false;
  InvertDeviceRect(*dc, LogicalToDevice(*dc, *rect));
  return true;
}

bool FillRgn(HDC h, HRGN rgn, HBRUSH brush) {
  GdiDC* dc = DCFromHandle(h);
  GdiRegion* r = RegionFromHandle(rgn);
  const GdiBrush* b = BrushArg(brush);
  if (!dc || !r || !b) return false;
  for (const TRect& d : DeviceRects(*dc, r->rgn)) FillDeviceRect(*dc, d, *b, R2_COPYPEN);
  return true;
}

bool PaintRgn(HDC h, HRGN rgn) {
  GdiDC* dc = DCFromHandle(h);
  GdiRegion* r = RegionFromHandle(rgn);
  if (!dc || !r) return false;
  if (!dc->st.brush) return true;
  for (const TRect& d : DeviceRects(*dc, r->rgn)) FillDeviceRect(*dc, d, *dc->st.brush, dc->st.rop2);
  return true;
}

bool InvertRgn(HDC h, HRGN rgn) {
  GdiDC* dc = DCFromHandle(h);
  GdiRegion* r = RegionFromHandle(rgn);
  if (!dc || !r) return false;
  for (const TRect& d : DeviceRects(*dc, r->rgn)) InvertDeviceRect(*dc, d);
  return true;
}

bool FrameRgn(HDC h, HRGN rgn, HBRUSH brush, int width, int height) {
  GdiDC* dc = DCFromHandle(h);
  GdiRegion* r = RegionFromHandle(rgn);
  const GdiBrush* b = BrushArg(brush);
  if (!dc || !r || !b || width < 0 || height < 0) return false;
  // The frame is what is left of the region after taking away the pixels that stay inside it
  // when moved by up to width pixels sideways and height pixels up or down.
  const RegionData& src = r->rgn;
  RegionData inner = src;
  int maxW = std::min(width, src.box.Width()), maxH = std::min(height, src.box.Height());
  for (int k = 1; k <= maxW; ++k) {
    for (int s : {k, -k}) {
      RegionData moved = src;
      moved.Offset(s, 0);
      inner = RegionData::Combine(inner, moved, RGN_AND);
    }
  }
  for (int k = 1; k <= maxH; ++k) {
    for (int s : {k, -k}) {
      RegionData moved = src;
      moved.Offset(0, s);
      inner = RegionData::Combine(inner, moved, RGN_AND);
    }
  }
  RegionData frame = RegionData::Combine(src, inner, RGN_DIFF);
  for (const TRect& d : DeviceRects(*dc, frame)) FillDeviceRect(*dc, d, *b, R2_COPYPEN);
  return true;
}

bool ExtFloodFill(HDC h, int x, int y, COLORREF color, UINT type) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || (type != FLOODFILLBORDER && type != FLOODFILLSURFACE)) return false;
  TPoint start = LogicalToDevice(*dc, TPoint(x, y));
  const TRect area = dc->Visible().box;
  if (!ClipTest(*dc, start.X, start.Y)) return false;
  GdiSurface* surf = dc->Surface();
  // Compare colours as the surface stores them, so that a colour the surface cannot hold exactly
  // matches the pixels it was written as.
  COLORREF target = surf->FromRaw(surf->ToRaw(color & 0xFFFFFF));
  TPoint org = dc->surfaceOrg;
  auto qualifies = [&](int px, int py) {
    if (!ClipTest(*dc, px, py)) return false;
    bool same = surf->GetPixel(px + org.X, py + org.Y) == target;
    return type == FLOODFILLSURFACE ? same : !same;
  };
  if (!qualifies(start.X, start.Y)) return false;

  // Scan-line fill with an explicit stack: the set is collected first and painted afterwards, so a
  // brush of the target colour cannot make the fill run forever.
  PixelMask seen(area);
  std::vector<TPoint> stack = {start};
  while (!stack.empty()) {
    TPoint p = stack.back();
    stack.pop_back();
    if (seen.Get(p.X, p.Y) || !qualifies(p.X, p.Y)) continue;
    int l = p.X, r = p.X + 1;
    while (l - 1 >= area.Left && !seen.Get(l - 1, p.Y) && qualifies(l - 1, p.Y)) --l;
    while (r < area.Right && !seen.Get(r, p.Y) && qualifies(r, p.Y)) ++r;
    seen.MarkSpan(p.Y, l, r, 1);
    for (int ny : {p.Y - 1, p.Y + 1}) {
      if (ny < area.Top || ny >= area.Bottom) continue;
      bool inRun = false;
      for (int nx = l; nx < r; ++nx) {
        bool q = !seen.Get(nx, ny) && qualifies(nx, ny);
        if (q && !inRun) stack.push_back(TPoint(nx, ny));
        inRun = q;
      }
    }
  }
  if (dc->st.brush) {
    const GdiBrush& brush = *dc->st.brush;
    seen.ForEachRun([&](int ry, int x0, int x1, uint8_t) { FillSpan(*dc, ry, x0, x1, brush, R2_COPYPEN); });
  }
  return true;
}

bool FloodFill(HDC dc, int x, int y, COLORREF color) { return ExtFloodFill(dc, x, y, color, FLOODFILLBORDER); }

}  // namespace zv

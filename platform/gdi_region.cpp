// Regions as banded rectangle lists, the region calls and the DC clipping calls.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/gdi_internal.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// RegionData
// ---------------------------------------------------------------------------------------------

namespace {

struct Interval {
  int a, b;
  bool operator==(const Interval&) const = default;
};

// Appends the band [top, bottom) with spans xs, merging it into the previous band when that one
// ends at top with the same spans.
void AppendBand(std::vector<TRect>& out, size_t& lastBandStart, int top, int bottom,
                const std::vector<Interval>& xs) {
  if (xs.empty()) return;
  if (lastBandStart < out.size() && out.back().Bottom == top &&
      out.size() - lastBandStart == xs.size()) {
    bool same = true;
    for (size_t i = 0; i < xs.size(); ++i) {
      const TRect& r = out[lastBandStart + i];
      if (r.Left != xs[i].a || r.Right != xs[i].b) {
        same = false;
        break;
      }
    }
    if (same) {
      for (size_t i = lastBandStart; i < out.size(); ++i) out[i].Bottom = bottom;
      return;
    }
  }
  lastBandStart = out.size();
  for (const Interval& iv : xs) out.emplace_back(iv.a, top, iv.b, bottom);
}

void ComputeBox(RegionData& r) {
  if (r.rects.empty()) {
    r.box = TRect();
    return;
  }
  TRect b = r.rects.front();
  for (const TRect& x : r.rects) {
    b.Left = std::min(b.Left, x.Left);
    b.Right = std::max(b.Right, x.Right);
  }
  b.Top = r.rects.front().Top;
  b.Bottom = r.rects.back().Bottom;
  r.box = b;
}

// Merges sorted, possibly overlapping intervals into disjoint, non-touching ones.
void Normalise(std::vector<Interval>& xs) {
  std::sort(xs.begin(), xs.end(), [](const Interval& l, const Interval& r) { return l.a < r.a; });
  std::vector<Interval> out;
  for (const Interval& iv : xs) {
    if (iv.a >= iv.b) continue;
    if (!out.empty() && iv.a <= out.back().b) out.back().b = std::max(out.back().b, iv.b);
    else out.push_back(iv);
  }
  xs.swap(out);
}

// Boolean combination of two disjoint sorted interval lists.
std::vector<Interval> CombineIntervals(const std::vector<Interval>& a, const std::vector<Interval>& b,
                                       int mode) {
  std::vector<int> xs;
  for (const Interval& i : a) {
    xs.push_back(i.a);
    xs.push_back(i.b);
  }
  for (const Interval& i : b) {
    xs.push_back(i.a);
    xs.push_back(i.b);
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<Interval> out;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < xs.size(); ++k) {
    const int x = xs[k];
    while (ia < a.size() && a[ia].b <= x) ++ia;
    while (ib < b.size() && b[ib].b <= x) ++ib;
    const bool inA = ia < a.size() && a[ia].a <= x;
    const bool inB = ib < b.size() && b[ib].a <= x;
    bool in = false;
    switch (mode) {
      case RGN_AND: in = inA && inB; break;
      case RGN_OR: in = inA || inB; break;
      case RGN_XOR: in = inA != inB; break;
      case RGN_DIFF: in = inA && !inB; break;
      default: in = inA; break;
    }
    if (!in) continue;
    if (!out.empty() && out.back().b == x) out.back().b = xs[k + 1];
    else out.push_back({x, xs[k + 1]});
  }
  return out;
}

std::vector<Interval> BandIntervals(const RegionData& r, int y) {
  std::vector<Interval> v;
  auto [first, last] = r.Band(y);
  for (const TRect* p = first; p != last; ++p) v.push_back({p->Left, p->Right});
  return v;
}

}  // namespace

void RegionData::SetRect(const TRect& r) {
  rects.clear();
  TRect n(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
          std::max(r.Top, r.Bottom));
  if (!n.IsEmpty()) rects.push_back(n);
  ComputeBox(*this);
}

int RegionData::Type() const {
  return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::pair<const TRect*, const TRect*> RegionData::Band(int y) const {
  const TRect* b = rects.data();
  const TRect* e = b + rects.size();
  if (rects.empty() || y < box.Top || y >= box.Bottom) return {e, e};
  // Bottoms never decrease along the list.
  const TRect* first = std::upper_bound(b, e, y, [](int v, const TRect& r) { return v < r.Bottom; });
  if (first == e || first->Top > y) return {e, e};
  const TRect* last = first;
  while (last != e && last->Top == first->Top) ++last;
  return {first, last};
}

bool RegionData::Contains(int x, int y) const {
  auto [first, last] = Band(y);
  for (const TRect* r = first; r != last; ++r) {
    if (x < r->Left) return false;
    if (x < r->Right) return true;
  }
  return false;
}

bool RegionData::Intersects(const TRect& q) const {
  TRect i;
  if (!IntersectRect(i, q, box)) return false;
  for (const TRect& r : rects) {
    if (r.Top >= q.Bottom) break;
    if (IntersectRect(i, r, q)) return true;
  }
  return false;
}

void RegionData::Offset(int dx, int dy) {
  for (TRect& r : rects) OffsetRect(r, dx, dy);
  if (!rects.empty()) OffsetRect(box, dx, dy);
}

RegionData RegionData::Combine(const RegionData& a, const RegionData& b, int mode) {
  if (mode == RGN_COPY) return a;
  if (mode == RGN_AND && (a.Empty() || b.Empty())) return RegionData();
  if (b.Empty() && mode != RGN_AND) return a;
  if (a.Empty() && (mode == RGN_OR || mode == RGN_XOR)) return b;
  if (a.Empty()) return RegionData();
  std::vector<int> ys;
  for (const TRect& r : a.rects) {
    ys.push_back(r.Top);
    ys.push_back(r.Bottom);
  }
  for (const TRect& r : b.rects) {
    ys.push_back(r.Top);
    ys.push_back(r.Bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  RegionData out;
  size_t lastBand = SIZE_MAX;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y = ys[k];
    AppendBand(out.rects, lastBand, y, ys[k + 1],
               CombineIntervals(BandIntervals(a, y), BandIntervals(b, y), mode));
  }
  ComputeBox(out);
  return out;
}

RegionData RegionData::FromRects(const std::vector<TRect>& input) {
  std::vector<TRect> rs;
  for (const TRect& r : input) {
    TRect n(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
            std::max(r.Top, r.Bottom));
    if (!n.IsEmpty()) rs.push_back(n);
  }
  RegionData out;
  if (rs.empty()) return out;
  std::sort(rs.begin(), rs.end(), [](const TRect& l, const TRect& r) { return l.Top < r.Top; });
  std::vector<int> ys;
  for (const TRect& r : rs) {
    ys.push_back(r.Top);
    ys.push_back(r.Bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<TRect> active;
  size_t next = 0;
  size_t lastBand = SIZE_MAX;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y = ys[k];
    active.erase(std::remove_if(active.begin(), active.end(), [y](const TRect& r) { return r.Bottom <= y; }),
                 active.end());
    while (next < rs.size() && rs[next].Top <= y) active.push_back(rs[next++]);
    std::vector<Interval> xs;
    for (const TRect& r : active) xs.push_back({r.Left, r.Right});
    Normalise(xs);
    AppendBand(out.rects, lastBand, y, ys[k + 1], xs);
  }
  ComputeBox(out);
  return out;
}

void RegionBuilder::AddSpan(int y, int x0, int x1) {
  if (x0 < x1) spans_.emplace_back(x0, y, x1, y + 1);
}

RegionData RegionBuilder::Finish() {
  // Rows are one pixel high, so each row is a band of its own before merging.
  std::sort(spans_.begin(), spans_.end(), [](const TRect& l, const TRect& r) {
    return l.Top != r.Top ? l.Top < r.Top : l.Left < r.Left;
  });
  RegionData out;
  size_t lastBand = SIZE_MAX;
  size_t i = 0;
  while (i < spans_.size()) {
    const int y = spans_[i].Top;
    std::vector<Interval> xs;
    for (; i < spans_.size() && spans_[i].Top == y; ++i) xs.push_back({spans_[i].Left, spans_[i].Right});
    Normalise(xs);
    AppendBand(out.rects, lastBand, y, y + 1, xs);
  }
  spans_.clear();
  ComputeBox(out);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Region calls
// ---------------------------------------------------------------------------------------------

namespace {

HRGN NewRegion(RegionData data) {
  auto* r = new GdiRegion();
  r->rgn = std::move(data);
  GdiRegister(r);
  return GdiHandle<HRGN>(r);
}

RegionData FromSpans(const ScanSpans& spans) {
  RegionBuilder b;
  for (const ScanSpan& s : spans) b.AddSpan(s.Y, s.X0, s.X1);
  return b.Finish();
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return NewRegion(RegionData(TRect(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
  return rect ? CreateRectRgn(rect->Left, rect->Top, rect->Right, rect->Bottom) : nullptr;
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
  const TRect box(std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom));
  return NewRegion(FromSpans(ScanEllipse(box)));
}

HRGN CreateEllipticRgnIndirect(const RECT* rect) {
  return rect ? CreateEllipticRgn(rect->Left, rect->Top, rect->Right, rect->Bottom) : nullptr;
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  const TRect box(std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom));
  return NewRegion(FromSpans(ScanRoundRect(box, std::abs(ellipseWidth), std::abs(ellipseHeight))));
}

HRGN CreatePolyPolygonRgn(const POINT* points, const int* counts, int polygons, int fillMode) {
  if (!points || !counts || polygons <= 0 || (fillMode != ALTERNATE && fillMode != WINDING)) return nullptr;
  for (int i = 0; i < polygons; ++i)
    if (counts[i] < 0) return nullptr;
  return NewRegion(FromSpans(ScanPolygon(points, counts, polygons, fillMode)));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
  return CreatePolyPolygonRgn(points, &count, 1, fillMode);
}

HRGN ExtCreateRegion(const void* xform, DWORD count, const RGNDATA* data) {
  if (xform || !data || count < sizeof(RGNDATAHEADER)) return nullptr;
  const RGNDATAHEADER& h = data->rdh;
  if (h.iType != RDH_RECTANGLES || h.dwSize < sizeof(RGNDATAHEADER)) return nullptr;
  // The rectangle count is the caller's claim: it must fit in the bytes given.
  if (uint64_t(h.nCount) * sizeof(RECT) > uint64_t(count) - sizeof(RGNDATAHEADER)) return nullptr;
  std::vector<TRect> rects(h.nCount);
  if (h.nCount) std::memcpy(rects.data(), data->Buffer, size_t(h.nCount) * sizeof(RECT));
  return NewRegion(RegionData::FromRects(rects));
}

DWORD GetRegionData(HRGN rgn, DWORD size, RGNDATA* data) {
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return 0;
  const uint64_t needed = sizeof(RGNDATAHEADER) + uint64_t(r->rgn.rects.size()) * sizeof(RECT);
  if (!data) return DWORD(needed);
  if (size < needed) return 0;
  RGNDATAHEADER h;
  h.dwSize = sizeof(RGNDATAHEADER);
  h.iType = RDH_RECTANGLES;
  h.nCount = DWORD(r->rgn.rects.size());
  h.nRgnSize = DWORD(r->rgn.rects.size() * sizeof(RECT));
  h.rcBound = r->rgn.box;
  std::memcpy(&data->rdh, &h, sizeof(h));
  if (!r->rgn.rects.empty())
    std::memcpy(data->Buffer, r->rgn.rects.data(), r->rgn.rects.size() * sizeof(RECT));
  return size;
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  GdiRegion* d = RegionFromHandle(dst);
  GdiRegion* a = RegionFromHandle(src1);
  if (!d || !a || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  if (mode == RGN_COPY) {
    d->rgn = a->rgn;
    return d->rgn.Type();
  }
  GdiRegion* b = RegionFromHandle(src2);
  if (!b) return ERROR;
  d->rgn = RegionData::Combine(a->rgn, b->rgn, mode);
  return d->rgn.Type();
}

bool SetRectRgn(HRGN rgn, int left, int top, int right, int bottom) {
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return false;
  r->rgn.SetRect(TRect(left, top, right, bottom));
  return true;
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return ERROR;
  r->rgn.Offset(dx, dy);
  return r->rgn.Type();
}

int GetRgnBox(HRGN rgn, RECT* rect) {
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r || !rect) return ERROR;
  *rect = r->rgn.box;
  return r->rgn.Type();
}

bool PtInRegion(HRGN rgn, int x, int y) {
  GdiRegion* r = RegionFromHandle(rgn);
  return r && r->rgn.Contains(x, y);
}

bool RectInRegion(HRGN rgn, const RECT* rect) {
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r || !rect) return false;
  const TRect n(std::min(rect->Left, rect->Right), std::min(rect->Top, rect->Bottom),
                std::max(rect->Left, rect->Right), std::max(rect->Top, rect->Bottom));
  return r->rgn.Intersects(n);
}

bool EqualRgn(HRGN a, HRGN b) {
  GdiRegion* ra = RegionFromHandle(a);
  GdiRegion* rb = RegionFromHandle(b);
  return ra && rb && ra->rgn == rb->rgn;
}

// ---------------------------------------------------------------------------------------------
// Clipping
// ---------------------------------------------------------------------------------------------

namespace {

// The whole drawable area in device units, what a DC without a clip region may draw on.
RegionData DeviceArea(GdiDC& dc) {
  RegionData r;
  if (GdiSurface* s = dc.Surface())
    r.SetRect(TRect(-dc.surfaceOrg.X, -dc.surfaceOrg.Y, s->width - dc.surfaceOrg.X, s->height - dc.surfaceOrg.Y));
  if (dc.visRgn) r = RegionData::Combine(r, *dc.visRgn, RGN_AND);
  return r;
}

int VisibleType(GdiDC& dc) { return dc.Visible().Type(); }

}  // namespace

int ExtSelectClipRgn(HDC h, HRGN rgn, int mode) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) {
    if (mode != RGN_COPY || rgn) return ERROR;
    dc->st.clip.reset();
  } else if (mode == RGN_COPY) {
    dc->st.clip = r->rgn;
  } else {
    const RegionData current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
    dc->st.clip = RegionData::Combine(current, r->rgn, mode);
  }
  dc->InvalidateVisible();
  return VisibleType(*dc);
}

int SelectClipRgn(HDC h, HRGN rgn) { return ExtSelectClipRgn(h, rgn, RGN_COPY); }

int IntersectClipRect(HDC h, int left, int top, int right, int bottom) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return ERROR;
  const RegionData current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
  dc->st.clip = RegionData::Combine(current, RegionData(LogicalToDevice(*dc, TRect(left, top, right, bottom))),
                                    RGN_AND);
  dc->InvalidateVisible();
  return VisibleType(*dc);
}

int ExcludeClipRect(HDC h, int left, int top, int right, int bottom) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return ERROR;
  const RegionData current = dc->st.clip ? *dc->st.clip : DeviceArea(*dc);
  dc->st.clip = RegionData::Combine(current, RegionData(LogicalToDevice(*dc, TRect(left, top, right, bottom))),
                                    RGN_DIFF);
  dc->InvalidateVisible();
  return VisibleType(*dc);
}

int OffsetClipRgn(HDC h, int dx, int dy) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return ERROR;
  if (dc->st.clip) {
    dc->st.clip->Offset(dx, dy);
    dc->InvalidateVisible();
  }
  return VisibleType(*dc);
}

int GetClipBox(HDC h, RECT* rect) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return ERROR;
  const RegionData& v = dc->Visible();
  if (v.Empty()) {
    *rect = TRect();
    return NULLREGION;
  }
  const TPoint tl = DeviceToLogical(*dc, v.box.TopLeft()), br = DeviceToLogical(*dc, v.box.BottomRight());
  *rect = TRect(tl, br);
  return v.Type();
}

int GetClipRgn(HDC h, HRGN rgn) {
  GdiDC* dc = DCFromHandle(h);
  GdiRegion* r = RegionFromHandle(rgn);
  if (!dc || !r) return -1;
  if (!dc->st.clip) return 0;
  r->rgn = *dc->st.clip;
  return 1;
}

bool PtVisible(HDC h, int x, int y) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  const TPoint p = LogicalToDevice(*dc, TPoint(x, y));
  return ClipTest(*dc, p.X, p.Y);
}

bool RectVisible(HDC h, const RECT* rect) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return false;
  TRect d = LogicalToDevice(*dc, *rect);
  d = TRect(std::min(d.Left, d.Right), std::min(d.Top, d.Bottom), std::max(d.Left, d.Right),
            std::max(d.Top, d.Bottom));
  return dc->Visible().Intersects(d);
}

}  // namespace zv

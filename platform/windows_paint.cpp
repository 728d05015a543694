// Invalidation and painting: update regions, WM_PAINT / WM_ERASEBKGND / WM_NCPAINT, window DCs clipped
// to what shows, scrolling a window's pixels, the standard scroll bars and the caret.
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"
#include "platform/message_queue.h"
#include "platform/windows.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

std::map<HWND, TRect> g_present;  // top-level -> changed surface rectangle

RegionData WindowShape(HWND w, TPoint originInTop) {
  RegionData r(Bounds(originInTop.X, originInTop.Y, w->rect.Width(), w->rect.Height()));
  if (w->windowRgn) {
    RegionData shape = *w->windowRgn;
    shape.Offset(originInTop.X, originInTop.Y);
    r = RegionData::Combine(r, shape, RGN_AND);
  }
  return r;
}

RegionData ClientArea(HWND w) {
  TPoint o = WindowOriginInTop(w);
  return RegionData(Bounds(o.X + w->client.Left, o.Y + w->client.Top, w->client.Width(), w->client.Height()));
}

TRect ClientToTopRect(HWND w, const TRect& r) {
  TPoint o = WindowOriginInTop(w);
  TRect t = r;
  OffsetRect(t, o.X + w->client.Left, o.Y + w->client.Top);
  return t;
}

}  // namespace

RegionData VisibleRegion(HWND w, bool clientOnly, bool clipChildren) {
  if (!ReallyVisible(w) || !TopOf(w)->surface) return RegionData();
  TPoint o = WindowOriginInTop(w);
  RegionData vis = WindowShape(w, o);
  if (clientOnly) vis = RegionData::Combine(vis, ClientArea(w), RGN_AND);
  // Ancestors' client areas and shapes, and siblings above each level.
  for (HWND c = w; c->parent; c = c->parent) {
    HWND p = c->parent;
    vis = RegionData::Combine(vis, ClientArea(p), RGN_AND);
    vis = RegionData::Combine(vis, WindowShape(p, WindowOriginInTop(p)), RGN_AND);
    for (HWND s : p->children) {
      if (s == c) break;
      if (!(s->style & WS_VISIBLE)) continue;
      vis = RegionData::Combine(vis, WindowShape(s, WindowOriginInTop(s)), RGN_DIFF);
    }
  }
  if (clipChildren) {
    for (HWND k : w->children) {
      if (!(k->style & WS_VISIBLE)) continue;
      vis = RegionData::Combine(vis, WindowShape(k, WindowOriginInTop(k)), RGN_DIFF);
    }
  }
  TopOf(w);
  vis = RegionData::Combine(vis, RegionData(Rect(0, 0, TopOf(w)->surface->width, TopOf(w)->surface->height)), RGN_AND);
  return vis;
}

void MarkPresent(HWND top, const TRect& r) {
  if (!top || top->parent) return;
  auto it = g_present.find(top);
  if (it == g_present.end())
    g_present[top] = r;
  else
    UnionRect(it->second, it->second, r);
}

void FlushPresents() {
  if (g_present.empty()) return;
  auto list = std::move(g_present);
  g_present.clear();
  for (auto& [top, r] : list)
    if (IsWindow(top)) Backend().WindowPainted(top, r);
}

// ---------------------------------------------------------------------------------------------
// Invalidation
// ---------------------------------------------------------------------------------------------

namespace {

// Adds a region (client coordinates of w) to w's update region and, unless w clips its children, to
// the children it covers.
void AddUpdate(HWND w, const RegionData& rgn, bool erase, bool allChildren, bool noChildren) {
  if (!ReallyVisible(w)) return;
  RegionData clip = RegionData::Combine(rgn, RegionData(Rect(0, 0, w->client.Width(), w->client.Height())), RGN_AND);
  if (clip.Empty()) return;
  w->update = RegionData::Combine(w->update, clip, RGN_OR);
  if (erase) w->erasePending = true;
  if (noChildren) return;
  if (!allChildren && (w->style & WS_CLIPCHILDREN)) return;
  for (HWND c : w->children) {
    if (!(c->style & WS_VISIBLE)) continue;
    RegionData cr = clip;
    cr.Offset(-(c->rect.Left + c->client.Left), -(c->rect.Top + c->client.Top));
    AddUpdate(c, cr, erase, allChildren, false);
    // The child's frame, when the area covers it.
    RegionData frame = clip;
    frame.Offset(-c->rect.Left, -c->rect.Top);
    if (frame.Intersects(Rect(0, 0, c->rect.Width(), c->rect.Height())) && !EqualRect(c->client, Rect(0, 0, c->rect.Width(), c->rect.Height())))
      c->framePending = true;
  }
}

void RemoveUpdate(HWND w, const RegionData& rgn, bool allChildren) {
  w->update = RegionData::Combine(w->update, rgn, RGN_DIFF);
  if (w->update.Empty()) w->erasePending = false;
  if (!allChildren) return;
  for (HWND c : w->children) {
    RegionData cr = rgn;
    cr.Offset(-(c->rect.Left + c->client.Left), -(c->rect.Top + c->client.Top));
    RemoveUpdate(c, cr, true);
  }
}

RegionData ClientRectRegion(HWND w, const TRect* r) {
  return RegionData(r ? *r : Rect(0, 0, w->client.Width(), w->client.Height()));
}

}  // namespace

bool InvalidateRect(HWND w, const TRect* r, bool erase) {
  if (!w) {
    for (HWND t : TopLevels()) RedrawWindow(t, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    return true;
  }
  if (!IsWindow(w)) return false;
  AddUpdate(w, ClientRectRegion(w, r), erase, false, false);
  WakeMainThread();
  return true;
}

bool InvalidateRgn(HWND w, HRGN rgn, bool erase) {
  if (!IsWindow(w)) return false;
  if (!rgn) return InvalidateRect(w, nullptr, erase);
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return false;
  AddUpdate(w, r->rgn, erase, false, false);
  WakeMainThread();
  return true;
}

bool ValidateRect(HWND w, const TRect* r) {
  if (!IsWindow(w)) return false;
  RemoveUpdate(w, ClientRectRegion(w, r), false);
  if (!r) w->internalPaint = false;
  return true;
}

bool ValidateRgn(HWND w, HRGN rgn) {
  if (!IsWindow(w)) return false;
  if (!rgn) return ValidateRect(w, nullptr);
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return false;
  RemoveUpdate(w, r->rgn, false);
  return true;
}

bool GetUpdateRect(HWND w, TRect* r, bool erase) {
  if (!IsWindow(w)) return false;
  if (r) *r = w->update.Empty() ? TRect() : w->update.box;
  if (erase && w->erasePending && !w->update.Empty()) {
    HDC dc = GetDCEx(w, nullptr, DCX_INTERSECTRGN);
    w->erasePending = SendMessage(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    ReleaseDC(w, dc);
  }
  return IsWindow(w) && !w->update.Empty();
}

int GetUpdateRgn(HWND w, HRGN rgn, bool erase) {
  if (!IsWindow(w)) return ERROR;
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return ERROR;
  GetUpdateRect(w, nullptr, erase);
  r->rgn = w->update;
  return r->rgn.Type();
}

bool RedrawWindow(HWND w, const TRect* update, HRGN updateRgn, UINT flags) {
  if (!w) return InvalidateRect(nullptr, nullptr, true);
  if (!IsWindow(w)) return false;
  RegionData area;
  if (updateRgn) {
    GdiRegion* r = RegionFromHandle(updateRgn);
    if (r) area = r->rgn;
  } else {
    area = ClientRectRegion(w, update);
  }
  if (flags & RDW_INVALIDATE) {
    AddUpdate(w, area, (flags & RDW_ERASE) != 0, (flags & RDW_ALLCHILDREN) != 0, (flags & RDW_NOCHILDREN) != 0);
    if (flags & RDW_FRAME) w->framePending = true;
    if (flags & RDW_INTERNALPAINT) w->internalPaint = true;
    if (flags & RDW_NOERASE) w->erasePending = false;
    WakeMainThread();
  }
  if (flags & RDW_VALIDATE) {
    RemoveUpdate(w, area, (flags & RDW_ALLCHILDREN) != 0);
    if (flags & RDW_NOFRAME) w->framePending = false;
    if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
  }
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(w);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

namespace {

HWND FindInTree(HWND w) {
  if (!(w->style & WS_VISIBLE)) return nullptr;
  if (w->framePending || !w->update.Empty() || w->internalPaint) return w;
  for (HWND c : w->children)
    if (HWND f = FindInTree(c)) return f;
  return nullptr;
}

}  // namespace

HWND FindWindowToPaint() {
  for (HWND t : TopLevels())
    if (!t->layered || !t->update.Empty())
      if (HWND f = FindInTree(t)) return f;
  return nullptr;
}

void PaintWindowNow(HWND w) {
  if (!IsWindow(w)) return;
  if (w->framePending) {
    w->framePending = false;
    SendMessage(w, WM_NCPAINT, 1, 0);
    if (!IsWindow(w)) return;
  }
  if (!w->update.Empty() || w->internalPaint) {
    RegionData before = w->update;
    SendMessage(w, WM_PAINT, 0, 0);
    // A procedure that neither painted nor validated would be asked again and again.
    if (IsWindow(w) && w->update == before) {
      w->update.Clear();
      w->erasePending = false;
      w->internalPaint = false;
    }
  }
}

bool UpdateWindow(HWND w) {
  if (!IsWindow(w)) return false;
  PaintWindowNow(w);
  std::vector<HWND> kids = w->children;
  for (HWND c : kids)
    if (IsWindow(c) && (c->style & WS_VISIBLE)) UpdateWindow(c);
  FlushPresents();
  return true;
}

HDC GetDCEx(HWND w, HRGN clip, UINT flags) {
  if (!w) return GetDC(nullptr);
  if (!IsWindow(w)) return nullptr;
  HWND top = TopOf(w);
  if (!top->surface) return nullptr;
  HideCaretForPaint(top);
  bool whole = (flags & DCX_WINDOW) != 0;
  bool clipKids = (w->style & WS_CLIPCHILDREN) || (flags & DCX_CLIPCHILDREN);
  RegionData vis = VisibleRegion(w, !whole, clipKids);
  TPoint o = WindowOriginInTop(w);
  if (!whole) {
    o.X += w->client.Left;
    o.Y += w->client.Top;
  }
  if (clip && (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN))) {
    if (GdiRegion* r = RegionFromHandle(clip)) {
      RegionData c = r->rgn;
      c.Offset(o.X, o.Y);
      vis = RegionData::Combine(vis, c, (flags & DCX_INTERSECTRGN) ? RGN_AND : RGN_DIFF);
    }
  } else if (flags & DCX_INTERSECTRGN) {
    // The update region (used by BeginPaint and the erase in GetUpdateRect).
    RegionData u = w->update;
    u.Offset(o.X, o.Y);
    vis = RegionData::Combine(vis, u, RGN_AND);
  }
  vis.Offset(-o.X, -o.Y);
  HDC dc = CreateSurfaceDC(top->surface, o, &vis);
  if (GdiDC* d = DCFromHandle(dc)) {
    d->wnd = w;
    d->fromGetDC = true;
  }
  TRect box = vis.box;
  OffsetRect(box, o.X, o.Y);
  MarkPresent(top, box);
  return dc;
}

HDC GetWindowDC(HWND w) { return GetDCEx(w, nullptr, DCX_WINDOW); }

HDC BeginPaint(HWND w, PAINTSTRUCT* ps) {
  if (!IsWindow(w) || !ps) return nullptr;
  *ps = PAINTSTRUCT();
  if (w->framePending) {
    w->framePending = false;
    SendMessage(w, WM_NCPAINT, 1, 0);
    if (!IsWindow(w)) return nullptr;
  }
  RegionData upd = w->update;
  bool erase = w->erasePending;
  w->update.Clear();
  w->erasePending = false;
  w->internalPaint = false;
  auto rgn = CreateRectRgn(0, 0, 0, 0);
  if (GdiRegion* r = RegionFromHandle(rgn)) r->rgn = upd;
  HDC dc = GetDCEx(w, rgn, DCX_INTERSECTRGN);
  DeleteObject(rgn);
  ps->hdc = dc;
  ps->rcPaint = upd.Empty() ? TRect() : upd.box;
  ps->fErase = false;
  if (erase && dc) ps->fErase = SendMessage(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
  return dc;
}

bool EndPaint(HWND w, const PAINTSTRUCT* ps) {
  if (!ps) return false;
  if (ps->hdc) ReleaseDC(w, ps->hdc);
  if (IsLiveWindow(w)) MarkPresent(TopOf(w), Rect(0, 0, TopOf(w)->rect.Width(), TopOf(w)->rect.Height()));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Scrolling
// ---------------------------------------------------------------------------------------------

int ScrollWindowEx(HWND w, int dx, int dy, const TRect* scroll, const TRect* clip, HRGN update, TRect* updateRect,
                   UINT flags) {
  if (!IsWindow(w)) return ERROR;
  TRect client = Rect(0, 0, w->client.Width(), w->client.Height());
  TRect area = scroll ? *scroll : client;
  IntersectRect(area, area, client);
  TRect cl = clip ? *clip : client;
  IntersectRect(cl, cl, client);
  HWND top = TopOf(w);
  RegionData uncovered;
  if (top->surface && ReallyVisible(w) && !area.IsEmpty()) {
    HideCaretForPaint(top);
    // Move the visible pixels; what moves in from outside the visible part must be repainted.
    RegionData vis = VisibleRegion(w, true, (w->style & WS_CLIPCHILDREN) != 0);
    TRect src = ClientToTopRect(w, area);
    TRect dstClip = ClientToTopRect(w, cl);
    RegionData srcVis = RegionData::Combine(vis, RegionData(src), RGN_AND);
    RegionData dstArea = srcVis;
    dstArea.Offset(dx, dy);
    dstArea = RegionData::Combine(dstArea, RegionData(dstClip), RGN_AND);
    dstArea = RegionData::Combine(dstArea, vis, RGN_AND);
    GdiSurface* s = top->surface.get();
    auto copy = std::make_unique<uint8_t[]>(s->ByteSize());
    std::memcpy(copy.get(), s->bits, s->ByteSize());
    for (const TRect& r : dstArea.rects)
      for (int y = r.Top; y < r.Bottom; ++y) {
        int sy = y - dy;
        const uint8_t* from = copy.get() + size_t(s->topDown ? sy : s->height - 1 - sy) * size_t(s->stride);
        std::memcpy(s->Row(y) + r.Left * 4, from + (r.Left - dx) * 4, size_t(r.Width()) * 4);
      }
    MarkPresent(top, dstClip);
    RegionData within = RegionData::Combine(RegionData(dstClip), vis, RGN_AND);
    within = RegionData::Combine(within, RegionData(src), RGN_AND);
    uncovered = RegionData::Combine(within, dstArea, RGN_DIFF);
    TPoint o = WindowOriginInTop(w);
    uncovered.Offset(-(o.X + w->client.Left), -(o.Y + w->client.Top));
    // Pending updates move with the pixels.
    if (!w->update.Empty()) {
      RegionData moved = RegionData::Combine(w->update, RegionData(area), RGN_AND);
      moved.Offset(dx, dy);
      w->update = RegionData::Combine(w->update, moved, RGN_OR);
    }
  }
  if (flags & SW_SCROLLCHILDREN) {
    for (HWND c : w->children) {
      TRect r = c->rect;
      if (!scroll || IntersectRect(r, r, area)) {
        c->rect.Left += dx;
        c->rect.Right += dx;
        c->rect.Top += dy;
        c->rect.Bottom += dy;
        SendMessage(c, WM_MOVE, 0, MAKELPARAM(c->rect.Left + c->client.Left, c->rect.Top + c->client.Top));
      }
    }
  }
  if (update)
    if (GdiRegion* r = RegionFromHandle(update)) r->rgn = uncovered;
  if (updateRect) *updateRect = uncovered.Empty() ? TRect() : uncovered.box;
  if ((flags & SW_INVALIDATE) && !uncovered.Empty())
    AddUpdate(w, uncovered, (flags & SW_ERASE) != 0, (flags & SW_SCROLLCHILDREN) != 0, false);
  return uncovered.Type();
}

bool ScrollWindow(HWND w, int dx, int dy, const TRect* scroll, const TRect* clip) {
  return ScrollWindowEx(w, dx, dy, scroll, clip, nullptr, nullptr, SW_INVALIDATE | SW_ERASE | (scroll ? 0 : SW_SCROLLCHILDREN)) != ERROR;
}

// ---------------------------------------------------------------------------------------------
// Scroll bars
// ---------------------------------------------------------------------------------------------

namespace {

TScrollBarState* Bar(HWND w, int bar) {
  if (!IsWindow(w)) return nullptr;
  if (bar == SB_HORZ) return &w->hbar;
  if (bar == SB_VERT) return &w->vbar;
  return nullptr;
}

int MaxPos(const SCROLLINFO& i) {
  int m = i.nMax - std::max<int>(int(i.nPage) - 1, 0);
  return std::max(i.nMin, m);
}

// Window coordinates of a bar's rectangle; empty when the style has none.
TRect BarRect(HWND w, int bar) {
  TRect c = w->client;
  if (bar == SB_VERT && (w->style & WS_VSCROLL))
    return Rect(c.Right, c.Top, c.Right + GetSystemMetrics(SM_CXVSCROLL), c.Bottom);
  if (bar == SB_HORZ && (w->style & WS_HSCROLL))
    return Rect(c.Left, c.Bottom, c.Right, c.Bottom + GetSystemMetrics(SM_CYHSCROLL));
  return TRect();
}

// The thumb's rectangle within a bar rectangle.
TRect ThumbRect(const TScrollBarState& s, const TRect& r, bool vert) {
  int arrow = vert ? r.Width() : r.Height();
  int len = (vert ? r.Height() : r.Width()) - 2 * arrow;
  int range = s.info.nMax - s.info.nMin + 1;
  if (len <= 8 || range <= 0 || s.info.nPage >= UINT(range)) return TRect();
  int thumb = s.info.nPage ? std::max(8, int(int64_t(len) * s.info.nPage / range)) : arrow;
  thumb = std::min(thumb, len);
  int span = MaxPos(s.info) - s.info.nMin;
  int off = span > 0 ? int(int64_t(len - thumb) * (s.info.nPos - s.info.nMin) / span) : 0;
  if (vert) return Rect(r.Left, r.Top + arrow + off, r.Right, r.Top + arrow + off + thumb);
  return Rect(r.Left + arrow + off, r.Top, r.Left + arrow + off + thumb, r.Bottom);
}

void DrawBar(HWND w, HDC dc, int bar) {
  TRect r = BarRect(w, bar);
  if (r.IsEmpty()) return;
  bool vert = bar == SB_VERT;
  const TScrollBarState& s = vert ? w->vbar : w->hbar;
  HBRUSH track = CreateSolidBrush(RGB(0xE0, 0xE0, 0xE0));
  FillRect(dc, &r, track);
  DeleteObject(track);
  int a = vert ? r.Width() : r.Height();
  TRect a1 = vert ? Rect(r.Left, r.Top, r.Right, r.Top + a) : Rect(r.Left, r.Top, r.Left + a, r.Bottom);
  TRect a2 = vert ? Rect(r.Left, r.Bottom - a, r.Right, r.Bottom) : Rect(r.Right - a, r.Top, r.Right, r.Bottom);
  bool disabled = (s.disabledArrows & ESB_DISABLE_BOTH) == ESB_DISABLE_BOTH;
  DrawFrameControl(dc, &a1, DFC_SCROLL, (vert ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | ((s.disabledArrows & 1) ? DFCS_INACTIVE : 0));
  DrawFrameControl(dc, &a2, DFC_SCROLL, (vert ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | ((s.disabledArrows & 2) ? DFCS_INACTIVE : 0));
  TRect t = ThumbRect(s, r, vert);
  if (!t.IsEmpty() && !disabled) {
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &t, face);
    DrawEdge(dc, &t, EDGE_RAISED, BF_RECT);
  }
}

}  // namespace

int SetScrollInfo(HWND w, int bar, const SCROLLINFO* info, bool redraw) {
  TScrollBarState* s = Bar(w, bar);
  if (!s || !info) return 0;
  if (info->fMask & SIF_RANGE) {
    s->info.nMin = info->nMin;
    s->info.nMax = std::max(info->nMin, info->nMax);
  }
  if (info->fMask & SIF_PAGE) s->info.nPage = std::min<UINT>(info->nPage, UINT(s->info.nMax - s->info.nMin + 1));
  if (info->fMask & SIF_POS) s->info.nPos = info->nPos;
  s->info.nPos = std::clamp(s->info.nPos, s->info.nMin, MaxPos(s->info));
  if (redraw && IsWindowVisible(w)) RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN | RDW_NOERASE);
  return s->info.nPos;
}

bool GetScrollInfo(HWND w, int bar, SCROLLINFO* info) {
  TScrollBarState* s = Bar(w, bar);
  if (!s || !info) return false;
  UINT mask = info->fMask;
  if (mask & SIF_RANGE) {
    info->nMin = s->info.nMin;
    info->nMax = s->info.nMax;
  }
  if (mask & SIF_PAGE) info->nPage = s->info.nPage;
  if (mask & SIF_POS) info->nPos = s->info.nPos;
  if (mask & SIF_TRACKPOS) info->nTrackPos = s->info.nTrackPos;
  return true;
}

int SetScrollPos(HWND w, int bar, int pos, bool redraw) {
  TScrollBarState* s = Bar(w, bar);
  if (!s) return 0;
  int old = s->info.nPos;
  SCROLLINFO i;
  i.fMask = SIF_POS;
  i.nPos = pos;
  SetScrollInfo(w, bar, &i, redraw);
  return old;
}

int GetScrollPos(HWND w, int bar) {
  TScrollBarState* s = Bar(w, bar);
  return s ? s->info.nPos : 0;
}

bool SetScrollRange(HWND w, int bar, int minPos, int maxPos, bool redraw) {
  SCROLLINFO i;
  i.fMask = SIF_RANGE;
  i.nMin = minPos;
  i.nMax = maxPos;
  return Bar(w, bar) && (SetScrollInfo(w, bar, &i, redraw), true);
}

bool GetScrollRange(HWND w, int bar, int* minPos, int* maxPos) {
  TScrollBarState* s = Bar(w, bar);
  if (!s) return false;
  if (minPos) *minPos = s->info.nMin;
  if (maxPos) *maxPos = s->info.nMax;
  return true;
}

bool ShowScrollBar(HWND w, int bar, bool show) {
  if (!IsWindow(w)) return false;
  DWORD bits = bar == SB_HORZ ? WS_HSCROLL : bar == SB_VERT ? WS_VSCROLL : bar == SB_BOTH ? (WS_HSCROLL | WS_VSCROLL) : 0;
  if (!bits) return false;
  DWORD style = show ? (w->style | bits) : (w->style & ~bits);
  if (style == w->style) return true;
  w->style = style;
  SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

bool EnableScrollBar(HWND w, UINT bar, UINT arrows) {
  if (!IsWindow(w)) return false;
  if (bar == UINT(SB_HORZ) || bar == UINT(SB_BOTH)) w->hbar.disabledArrows = arrows;
  if (bar == UINT(SB_VERT) || bar == UINT(SB_BOTH)) w->vbar.disabledArrows = arrows;
  if (IsWindowVisible(w)) RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN | RDW_NOERASE);
  return true;
}

bool InitializeFlatSB(HWND w) { return IsWindow(w); }
void UninitializeFlatSB(HWND) {}
int FlatSB_SetScrollInfo(HWND w, int bar, const SCROLLINFO* info, bool redraw) { return SetScrollInfo(w, bar, info, redraw); }
bool FlatSB_GetScrollInfo(HWND w, int bar, SCROLLINFO* info) { return GetScrollInfo(w, bar, info); }
int FlatSB_SetScrollPos(HWND w, int bar, int pos, bool redraw) { return SetScrollPos(w, bar, pos, redraw); }
int FlatSB_GetScrollPos(HWND w, int bar) { return GetScrollPos(w, bar); }
bool FlatSB_ShowScrollBar(HWND w, int bar, bool show) { return ShowScrollBar(w, bar, show); }
bool FlatSB_EnableScrollBar(HWND w, int bar, UINT arrows) { return EnableScrollBar(w, UINT(bar), arrows); }
bool FlatSB_SetScrollProp(HWND w, UINT, intptr_t, bool) { return IsWindow(w); }

// ---------------------------------------------------------------------------------------------
// Default painting messages
// ---------------------------------------------------------------------------------------------

namespace {

void DrawFrame(HWND w) {
  HDC dc = GetWindowDC(w);
  if (!dc) return;
  TRect r = Rect(0, 0, w->rect.Width(), w->rect.Height());
  if (w->style & WS_THICKFRAME || (w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME)) {
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    int extra = (w->style & WS_THICKFRAME) ? GetSystemMetrics(SM_CXFRAME) - 2 : GetSystemMetrics(SM_CXDLGFRAME) - 2;
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    for (int i = 0; i < extra; ++i) {
      FrameRect(dc, &r, face);
      InflateRect(r, -1, -1);
    }
  } else if (w->style & WS_BORDER) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(r, -1, -1);
  }
  if ((w->style & WS_CAPTION) == WS_CAPTION && !(w->style & WS_CHILD)) {
    int h = (w->exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
    TRect cap = Rect(r.Left, r.Top, r.Right, r.Top + h - 1);
    bool active = GetActiveWindow() == w;
    FillRect(dc, &cap, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    TRect tr = cap;
    tr.Left += 4;
    DrawText(dc, w->text.c_str(), int(w->text.size()), &tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    TRect line = Rect(r.Left, cap.Bottom, r.Right, cap.Bottom + 1);
    FillRect(dc, &line, GetSysColorBrush(COLOR_BTNFACE));
    r.Top += h;
  }
  if (w->exStyle & WS_EX_CLIENTEDGE) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  if (w->exStyle & WS_EX_STATICEDGE) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  DrawBar(w, dc, SB_VERT);
  DrawBar(w, dc, SB_HORZ);
  if ((w->style & WS_VSCROLL) && (w->style & WS_HSCROLL)) {
    TRect corner = Rect(w->client.Right, w->client.Bottom, w->client.Right + GetSystemMetrics(SM_CXVSCROLL),
                        w->client.Bottom + GetSystemMetrics(SM_CYHSCROLL));
    FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
  }
  ReleaseDC(w, dc);
}

}  // namespace

LRESULT DefPaintMessage(HWND w, UINT msg, WPARAM wParam, LPARAM, bool& handled) {
  handled = true;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(w, &ps);
      EndPaint(w, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH br = w->cls->wc.hbrBackground;
      if (!br) return 0;
      uintptr_t v = reinterpret_cast<uintptr_t>(br);
      if (v <= 31) br = GetSysColorBrush(int(v) - 1);
      TRect r;
      GetClientRect(w, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, br);
      return 1;
    }
    case WM_NCPAINT: DrawFrame(w); return 0;
    case WM_PRINTCLIENT: return 0;
    default: handled = false; return 0;
  }
}

// Default scroll-bar clicks: line and page steps, thumb clicks as a final position.
LRESULT ScrollBarClick(HWND w, int hit, POINT screen) {
  int bar = hit == HTVSCROLL ? SB_VERT : SB_HORZ;
  TRect r = BarRect(w, bar);
  if (r.IsEmpty()) return 0;
  TPoint o = WindowOriginOnScreen(w);
  int x = screen.X - o.X, y = screen.Y - o.Y;
  bool vert = bar == SB_VERT;
  const TScrollBarState& s = vert ? w->vbar : w->hbar;
  if ((s.disabledArrows & ESB_DISABLE_BOTH) == ESB_DISABLE_BOTH) return 0;
  int a = vert ? r.Width() : r.Height();
  int along = vert ? y - r.Top : x - r.Left;
  int len = vert ? r.Height() : r.Width();
  TRect t = ThumbRect(s, r, vert);
  int code;
  int pos = 0;
  if (along < a)
    code = SB_LINEUP;
  else if (along >= len - a)
    code = SB_LINEDOWN;
  else if (!t.IsEmpty() && PtInRect(t, Point(x, y))) {
    code = SB_THUMBPOSITION;
    pos = s.info.nPos;
  } else if (!t.IsEmpty() && (vert ? y < t.Top : x < t.Left))
    code = SB_PAGEUP;
  else
    code = SB_PAGEDOWN;
  UINT m = vert ? WM_VSCROLL : WM_HSCROLL;
  SendMessage(w, m, MAKEWPARAM(code, pos), 0);
  if (IsWindow(w)) SendMessage(w, m, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Caret
// ---------------------------------------------------------------------------------------------

namespace {

struct TCaret {
  HWND wnd = nullptr;
  int width = 1, height = 1;
  bool grey = false;
  TPoint pos;
  int hideCount = 1;  // created hidden
  bool drawn = false;
  bool blinkOn = true;
  DWORD nextBlink = 0;
  UINT blinkTime = 530;
} g_caret;

void InvertCaret() {
  HWND w = g_caret.wnd;
  if (!IsWindow(w)) return;
  HWND top = TopOf(w);
  if (!top->surface) return;
  RegionData vis = VisibleRegion(w, true, (w->style & WS_CLIPCHILDREN) != 0);
  TPoint o = WindowOriginInTop(w);
  TRect r = Bounds(o.X + w->client.Left + g_caret.pos.X, o.Y + w->client.Top + g_caret.pos.Y, g_caret.width, g_caret.height);
  GdiSurface* s = top->surface.get();
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (vis.Contains(x, y) && s->Contains(x, y)) {
        uint8_t* p = s->Row(y) + x * 4;
        // A grey caret inverts only half the bits, so it shows on any colour.
        uint8_t mask = g_caret.grey ? 0x80 : 0xFF;
        p[0] ^= mask;
        p[1] ^= mask;
        p[2] ^= mask;
      }
  MarkPresent(top, r);
}

void EraseCaret() {
  if (g_caret.drawn) {
    InvertCaret();
    g_caret.drawn = false;
  }
}

}  // namespace

void HideCaretForPaint(HWND top) {
  if (g_caret.drawn && IsWindow(g_caret.wnd) && TopOf(g_caret.wnd) == top) EraseCaret();
}

void CaretIdle(uint32_t now) {
  if (!IsWindow(g_caret.wnd)) return;
  bool want = g_caret.hideCount <= 0 && ReallyVisible(g_caret.wnd);
  if (want && int32_t(now - g_caret.nextBlink) >= 0) {
    g_caret.blinkOn = !g_caret.blinkOn;
    g_caret.nextBlink = now + g_caret.blinkTime;
  }
  bool show = want && g_caret.blinkOn;
  if (show != g_caret.drawn) {
    InvertCaret();
    g_caret.drawn = show;
  }
}

uint32_t NextCaretDeadline(uint32_t now) {
  if (!IsWindow(g_caret.wnd) || g_caret.hideCount > 0) return 0xFFFFFFFF;
  int32_t d = int32_t(g_caret.nextBlink - now);
  return d <= 0 ? 0 : uint32_t(d);
}

void ForgetCaret(HWND w) {
  if (g_caret.wnd == w) {
    g_caret.drawn = false;
    g_caret.wnd = nullptr;
  }
}

bool CreateCaret(HWND w, HBITMAP bitmap, int width, int height) {
  if (!IsWindow(w)) return false;
  DestroyCaret();
  g_caret = TCaret{};
  g_caret.wnd = w;
  g_caret.width = std::max(1, width ? width : GetSystemMetrics(SM_CXBORDER));
  g_caret.height = std::max(1, height ? height : GetSystemMetrics(SM_CYBORDER));
  g_caret.grey = reinterpret_cast<uintptr_t>(bitmap) == 1;
  return true;
}

bool DestroyCaret() {
  if (!g_caret.wnd) return false;
  EraseCaret();
  g_caret.wnd = nullptr;
  return true;
}

bool SetCaretPos(int x, int y) {
  if (!g_caret.wnd) return false;
  EraseCaret();
  g_caret.pos = Point(x, y);
  g_caret.blinkOn = false;  // shows at once on the next idle turn
  g_caret.nextBlink = GetTickCount();
  WakeMainThread();
  return true;
}

bool GetCaretPos(POINT* pt) {
  if (!g_caret.wnd || !pt) return false;
  *pt = g_caret.pos;
  return true;
}

bool ShowCaret(HWND w) {
  if (!g_caret.wnd || (w && w != g_caret.wnd)) return false;
  if (g_caret.hideCount > 0) --g_caret.hideCount;
  g_caret.blinkOn = false;
  g_caret.nextBlink = GetTickCount();
  WakeMainThread();
  return true;
}

bool HideCaret(HWND w) {
  if (!g_caret.wnd || (w && w != g_caret.wnd)) return false;
  ++g_caret.hideCount;
  EraseCaret();
  return true;
}

UINT GetCaretBlinkTime() { return g_caret.blinkTime; }
bool SetCaretBlinkTime(UINT ms) {
  g_caret.blinkTime = std::max<UINT>(ms, 50);
  return true;
}

}  // namespace zv

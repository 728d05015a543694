// Window objects, their classes and geometry, the message loop and timers.
#include "platform/windows.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <unordered_set>

#include "platform/backend.h"
#include "platform/message_queue.h"
#include "platform/sysutils.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

std::string Lower(const char* s) {
  std::string r = s ? s : "";
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::map<std::string, std::shared_ptr<TWindowClass>>& Classes() {
  static std::map<std::string, std::shared_ptr<TWindowClass>> classes;
  return classes;
}

std::mutex g_liveLock;
std::unordered_set<HWND>& Live() {
  static auto* live = new std::unordered_set<HWND>();  // never destroyed: posts may come late
  return *live;
}

struct TTimer {
  HWND wnd = nullptr;
  uintptr_t id = 0;
  TIMERPROC proc = nullptr;
  UINT interval = 0;
  DWORD due = 0;
};
std::vector<TTimer> g_timers;
uintptr_t g_nextTimerId = 0x7FF0;

// Posted messages taken from the shared queue and waiting in order, so that filtered peeks can skip.
std::deque<MSG> g_pending;
MSG g_lastMsg;
int g_inSend = 0;

// Packs a screen point the way GetMessagePos reports it.
DWORD PackPoint(POINT p) { return MAKELONG(uint16_t(p.X), uint16_t(p.Y)); }

bool Before(DWORD a, DWORD b) { return int32_t(a - b) < 0; }

// A destroyed window's handle must not come back as the handle of a window made soon after, or a
// handle kept past DestroyWindow would name a stranger (and IsWindow would say yes). The memory of the
// last few thousand window objects is therefore held back before the allocator may hand it out again.
class TRetiredWindows {
public:
  void Retire(HWND w) {
    w->~HWND__();
    std::lock_guard<std::mutex> lock(FLock);
    FMemory.push_back(w);
    if (FMemory.size() > Slots) {
      ::operator delete(FMemory.front());
      FMemory.pop_front();
    }
  }

private:
  static constexpr size_t Slots = 4096;
  std::mutex FLock;
  std::deque<void*> FMemory;
};

// Never destroyed: windows may still go while the program's statics are torn down.
TRetiredWindows& Retired() {
  static TRetiredWindows* const retired = new TRetiredWindows;
  return *retired;
}

HWND NewWindowObject() { return new (::operator new(sizeof(HWND__))) HWND__; }

void FreeWindowObject(HWND w) {
  UnregisterLiveWindow(w);
  Retired().Retire(w);
}

void SendNcCreate(HWND w, CREATESTRUCT& cs, bool& ok);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Live windows
// ---------------------------------------------------------------------------------------------

void RegisterLiveWindow(HWND w) {
  std::lock_guard<std::mutex> lock(g_liveLock);
  Live().insert(w);
}
void UnregisterLiveWindow(HWND w) {
  std::lock_guard<std::mutex> lock(g_liveLock);
  Live().erase(w);
}
bool IsLiveWindow(HWND w) {
  if (!w) return false;
  std::lock_guard<std::mutex> lock(g_liveLock);
  return Live().count(w) != 0;
}

std::vector<HWND>& TopLevels() {
  static std::vector<HWND> tops;
  return tops;
}

HWND TopOf(HWND w) {
  while (w && w->parent) w = w->parent;
  return w;
}

TPoint WindowOriginInTop(HWND w) {
  TPoint p;
  while (w && w->parent) {
    p.X += w->rect.Left + w->parent->client.Left;
    p.Y += w->rect.Top + w->parent->client.Top;
    w = w->parent;
  }
  return p;
}

TPoint WindowOriginOnScreen(HWND w) {
  TPoint p = WindowOriginInTop(w);
  HWND top = TopOf(w);
  if (top) {
    p.X += top->rect.Left;
    p.Y += top->rect.Top;
  }
  return p;
}

bool ReallyVisible(HWND w) {
  for (; w; w = w->parent)
    if (!(w->style & WS_VISIBLE) || w->dead) return false;
  return true;
}

void ResizeSurface(HWND top) {
  int w = std::max(1, top->rect.Width()), h = std::max(1, top->rect.Height());
  if (top->surface && top->surface->width == w && top->surface->height == h) return;
  auto s = GdiSurface::Create(w, h, 32, true);
  if (!s) return;
  // A new window starts white until painted; the old pixels that fit are kept.
  std::memset(s->bits, 0xFF, s->ByteSize());
  if (top->surface) {
    int cw = std::min(w, top->surface->width), ch = std::min(h, top->surface->height);
    for (int y = 0; y < ch; ++y) std::memcpy(s->Row(y), top->surface->Row(y), size_t(cw) * 4);
  }
  top->surface = s;
}

TRect DefaultClientRect(HWND w, const TRect& windowRect) {
  TRect r = windowRect;
  int b = 0;
  if (w->style & WS_THICKFRAME)
    b = GetSystemMetrics(SM_CXFRAME);
  else if ((w->style & WS_DLGFRAME) || (w->exStyle & WS_EX_DLGMODALFRAME))
    b = GetSystemMetrics(SM_CXDLGFRAME);
  else if (w->style & WS_BORDER)
    b = GetSystemMetrics(SM_CXBORDER);
  if (w->exStyle & WS_EX_CLIENTEDGE) b += GetSystemMetrics(SM_CXEDGE);
  if (w->exStyle & WS_EX_STATICEDGE) b += GetSystemMetrics(SM_CXBORDER);
  InflateRect(r, -b, -b);
  if ((w->style & WS_CAPTION) == WS_CAPTION && !(w->style & WS_CHILD))
    r.Top += (w->exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION);
  if (w->style & WS_VSCROLL) r.Right -= GetSystemMetrics(SM_CXVSCROLL);
  if (w->style & WS_HSCROLL) r.Bottom -= GetSystemMetrics(SM_CYHSCROLL);
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

void RecalcClient(HWND w) {
  NCCALCSIZE_PARAMS p;
  p.rgrc[0] = w->rect;
  SendMessage(w, WM_NCCALCSIZE, 1, reinterpret_cast<LPARAM>(&p));
  if (!IsLiveWindow(w)) return;
  TRect c = p.rgrc[0];
  OffsetRect(c, -w->rect.Left, -w->rect.Top);
  if (c.Right < c.Left) c.Right = c.Left;
  if (c.Bottom < c.Top) c.Bottom = c.Top;
  w->client = c;
}

// ---------------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------------

ATOM RegisterClass(const WNDCLASS* wc) {
  if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !*wc->lpszClassName) return 0;
  std::string key = Lower(wc->lpszClassName);
  auto& classes = Classes();
  if (classes.count(key)) return 0;
  auto c = std::make_shared<TWindowClass>();
  c->wc = *wc;
  c->name = wc->lpszClassName;
  c->wc.lpszClassName = nullptr;  // the caller's string may go away; name holds it
  c->wc.lpszMenuName = nullptr;
  classes[key] = c;
  return ATOM(0xC000 + (classes.size() & 0x3FFF));
}

bool UnregisterClass(const char* className, HINSTANCE) {
  if (!className || IS_INTRESOURCE(className)) return false;
  return Classes().erase(Lower(className)) != 0;
}

bool GetClassInfo(HINSTANCE, const char* className, WNDCLASS* wc) {
  if (!className || IS_INTRESOURCE(className)) return false;
  auto it = Classes().find(Lower(className));
  if (it == Classes().end()) return false;
  if (wc) {
    *wc = it->second->wc;
    wc->lpszClassName = it->second->name.c_str();
  }
  return true;
}

uintptr_t GetClassLongPtr(HWND w, int index) {
  if (!IsLiveWindow(w)) return 0;
  switch (index) {
    case GCL_STYLE: return w->cls->wc.style;
    case GCLP_HCURSOR: return reinterpret_cast<uintptr_t>(w->cls->wc.hCursor);
    case GCLP_HBRBACKGROUND: return reinterpret_cast<uintptr_t>(w->cls->wc.hbrBackground);
    default: return 0;
  }
}

uintptr_t SetClassLongPtr(HWND w, int index, uintptr_t value) {
  if (!IsLiveWindow(w)) return 0;
  uintptr_t old = GetClassLongPtr(w, index);
  switch (index) {
    case GCL_STYLE: w->cls->wc.style = UINT(value); break;
    case GCLP_HCURSOR: w->cls->wc.hCursor = reinterpret_cast<HCURSOR>(value); break;
    case GCLP_HBRBACKGROUND: w->cls->wc.hbrBackground = reinterpret_cast<HBRUSH>(value); break;
    default: return 0;
  }
  return old;
}

int GetClassName(HWND w, char* buffer, int size) {
  if (!IsLiveWindow(w) || !buffer || size <= 0) return 0;
  int n = std::min<int>(size - 1, int(w->cls->name.size()));
  std::memcpy(buffer, w->cls->name.data(), size_t(n));
  buffer[n] = 0;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------------

namespace {

void SendNcCreate(HWND w, CREATESTRUCT& cs, bool& ok) {
  ok = SendMessage(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) != 0;
}

void LinkWindow(HWND w) {
  if (w->parent)
    w->parent->children.insert(w->parent->children.begin(), w);
  else
    TopLevels().insert(TopLevels().begin(), w);
}

void UnlinkWindow(HWND w) {
  auto& list = w->parent ? w->parent->children : TopLevels();
  list.erase(std::remove(list.begin(), list.end(), w), list.end());
}

void DestroyTree(HWND w, std::vector<HWND>& order) {
  // WM_DESTROY goes to the parent first, WM_NCDESTROY to the children first.
  w->destroying = true;
  SendMessage(w, WM_DESTROY, 0, 0);
  std::vector<HWND> kids = w->children;
  for (HWND c : kids)
    if (IsLiveWindow(c) && !c->destroying) DestroyTree(c, order);
  order.push_back(w);
}

}  // namespace

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                    void* param) {
  EnsureWindowing();
  if (!IsMainThread()) throw EThread("windows are created on the main thread");
  if (!className || IS_INTRESOURCE(className)) return nullptr;
  auto it = Classes().find(Lower(className));
  if (it == Classes().end()) return nullptr;
  if (parent == HWND_MESSAGE) parent = nullptr;
  if ((style & WS_CHILD) && !IsLiveWindow(parent)) return nullptr;
  if (parent && !IsLiveWindow(parent)) return nullptr;

  HWND w = NewWindowObject();
  w->cls = it->second;
  w->proc = it->second->wc.lpfnWndProc;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  w->instance = instance;
  w->text = windowName ? windowName : "";
  w->extra.assign(size_t(std::max(0, it->second->wc.cbWndExtra)), 0);
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
  } else {
    w->owner = parent ? TopOf(parent) : nullptr;
  }
  if (!(style & WS_CHILD) && x == CW_USEDEFAULT) x = y = 40;
  if (!(style & WS_CHILD) && width == CW_USEDEFAULT) {
    width = 400;
    height = 300;
  }
  w->rect = Bounds(x, y, std::max(0, width), std::max(0, height));
  RegisterLiveWindow(w);
  LinkWindow(w);
  if (!w->parent) ResizeSurface(w);

  CREATESTRUCT cs;
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.cx = width;
  cs.cy = height;
  cs.x = x;
  cs.y = y;
  cs.style = style;
  cs.lpszName = w->text.c_str();
  cs.lpszClass = w->cls->name.c_str();
  cs.dwExStyle = exStyle;
  bool ok = false;
  SendNcCreate(w, cs, ok);
  if (ok && IsLiveWindow(w)) {
    RecalcClient(w);
    if (IsLiveWindow(w) && !w->parent) Backend().WindowCreated(w);
    ok = IsLiveWindow(w) && SendMessage(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
  }
  if (!ok || !IsLiveWindow(w)) {
    if (IsLiveWindow(w)) DestroyWindow(w);
    return nullptr;
  }
  SendMessage(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->client.Width(), w->client.Height()));
  if (!IsLiveWindow(w)) return nullptr;
  SendMessage(w, WM_MOVE, 0, MAKELPARAM(w->rect.Left + w->client.Left, w->rect.Top + w->client.Top));
  if (!IsLiveWindow(w)) return nullptr;
  if (w->parent && !(exStyle & WS_EX_NOPARENTNOTIFY))
    SendMessage(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, int(w->id)), reinterpret_cast<LPARAM>(w));
  if (!IsLiveWindow(w)) return nullptr;
  if (style & WS_VISIBLE) ShowWindow(w, SW_SHOW);
  if (!IsLiveWindow(w)) return nullptr;
  return w;
}

HWND CreateWindow(const char* className, const char* windowName, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  return CreateWindowEx(0, className, windowName, style, x, y, width, height, parent, menu, instance,
                        param);
}

bool DestroyWindow(HWND w) {
  if (!IsLiveWindow(w) || w->destroying) return false;
  if (!IsMainThread()) throw EThread("windows are destroyed on the main thread");
  // Owned windows go first, as on the desktop.
  std::vector<HWND> owned;
  for (HWND t : TopLevels())
    if (t->owner == w) owned.push_back(t);
  for (HWND o : owned)
    if (IsLiveWindow(o)) DestroyWindow(o);
  if (!IsLiveWindow(w) || w->destroying) return false;

  bool wasVisible = ReallyVisible(w);
  HWND parent = w->parent;
  TRect oldRect = w->rect;
  if (w->style & WS_VISIBLE) {
    w->style &= ~WS_VISIBLE;
    if (!parent) Backend().WindowChanged(w);
  }
  std::vector<HWND> order;
  DestroyTree(w, order);
  for (HWND d : order) {
    if (!IsLiveWindow(d)) continue;
    ForgetWindowInput(d);
    ForgetCaret(d);
    g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(), [d](const TTimer& t) { return t.wnd == d; }),
                   g_timers.end());
    SendMessage(d, WM_NCDESTROY, 0, 0);
  }
  // Unlink children first so nothing points at a freed window.
  for (HWND d : order) {
    if (!IsLiveWindow(d)) continue;
    if (!d->parent) Backend().WindowDestroyed(d);
    for (HWND t : TopLevels())
      if (t->owner == d) t->owner = nullptr;
    UnlinkWindow(d);
    d->dead = true;
    d->children.clear();
  }
  for (HWND d : order) {
    if (!IsLiveWindow(d)) continue;
    if (d->sendDepth == 0) FreeWindowObject(d);
  }
  g_pending.erase(std::remove_if(g_pending.begin(), g_pending.end(),
                                 [](const MSG& m) { return m.hwnd && !IsLiveWindow(m.hwnd); }),
                  g_pending.end());
  if (wasVisible && parent && IsLiveWindow(parent)) {
    TRect r = oldRect;
    InvalidateRect(parent, &r, true);
  }
  return true;
}

bool IsWindow(HWND w) { return IsLiveWindow(w) && !w->dead; }

bool IsChild(HWND parent, HWND w) {
  if (!IsWindow(parent) || !IsWindow(w)) return false;
  for (HWND p = w->parent; p; p = p->parent)
    if (p == parent) return true;
  return false;
}

bool IsWindowVisible(HWND w) { return IsWindow(w) && ReallyVisible(w); }
bool IsWindowEnabled(HWND w) { return IsWindow(w) && !(w->style & WS_DISABLED); }
bool IsIconic(HWND w) { return IsWindow(w) && w->minimized; }
bool IsZoomed(HWND w) { return IsWindow(w) && w->maximized; }
bool IsWindowUnicode(HWND w) { return IsWindow(w); }

// ---------------------------------------------------------------------------------------------
// Showing, enabling, positions
// ---------------------------------------------------------------------------------------------

bool ShowWindow(HWND w, int cmd) {
  if (!IsWindow(w)) return false;
  bool was = (w->style & WS_VISIBLE) != 0;
  switch (cmd) {
    case SW_HIDE:
      if (was) SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      if (!w->minimized && !w->parent) {
        w->minimized = true;
        if (!was) SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessage(w, WM_SIZE, SIZE_MINIMIZED, 0);
        if (IsWindow(w)) Backend().WindowChanged(w);
      }
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (w->minimized || w->maximized) {
        w->minimized = w->maximized = false;
        if (!was) SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
        SendMessage(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->client.Width(), w->client.Height()));
        if (IsWindow(w) && !w->parent) Backend().WindowChanged(w);
        break;
      }
      [[fallthrough]];
    default: {
      UINT flags = SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE;
      if (cmd == SW_SHOWNA || cmd == SW_SHOWNOACTIVATE || w->parent) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
      if (!was) SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, flags);
      else if (!(flags & SWP_NOACTIVATE) && !w->parent && !(w->exStyle & WS_EX_NOACTIVATE)) SetActiveWindow(w);
      break;
    }
  }
  return was;
}

bool EnableWindow(HWND w, bool enable) {
  if (!IsWindow(w)) return false;
  bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled;
  if (enable)
    w->style &= ~WS_DISABLED;
  else {
    w->style |= WS_DISABLED;
    ForgetWindowInput(w);
    HWND f = GetFocus();
    if (f && (f == w || IsChild(w, f))) SetFocus(nullptr);
  }
  SendMessage(w, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

namespace {

void Reorder(HWND w, HWND after) {
  auto& list = w->parent ? w->parent->children : TopLevels();
  auto it = std::find(list.begin(), list.end(), w);
  if (it == list.end()) return;
  list.erase(it);
  if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    list.insert(list.begin(), w);
  } else if (after == HWND_BOTTOM) {
    list.push_back(w);
  } else {
    auto at = std::find(list.begin(), list.end(), after);
    if (at == list.end())
      list.insert(list.begin(), w);
    else
      list.insert(at + 1, w);
  }
  // Topmost windows stay above the others.
  if (!w->parent)
    std::stable_partition(list.begin(), list.end(), [](HWND t) { return (t->exStyle & WS_EX_TOPMOST) != 0; });
}

void InvalidateParentArea(HWND w, const TRect& r) {
  if (w->parent) {
    TRect pr = r;
    RedrawWindow(w->parent, &pr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
}

}  // namespace

bool SetWindowPos(HWND w, HWND after, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(w)) return false;
  WINDOWPOS pos;
  pos.hwnd = w;
  pos.hwndInsertAfter = after;
  pos.x = (flags & SWP_NOMOVE) ? w->rect.Left : x;
  pos.y = (flags & SWP_NOMOVE) ? w->rect.Top : y;
  pos.cx = (flags & SWP_NOSIZE) ? w->rect.Width() : cx;
  pos.cy = (flags & SWP_NOSIZE) ? w->rect.Height() : cy;
  pos.flags = flags;
  if (!(flags & SWP_NOSENDCHANGING)) {
    SendMessage(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!IsWindow(w)) return false;
  }
  flags = pos.flags;
  if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
  if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;

  bool wasVisible = ReallyVisible(w);
  TRect oldRect = w->rect;
  TRect newRect = Bounds(pos.x, pos.y, std::max(0, pos.cx), std::max(0, pos.cy));
  bool moved = newRect.Left != oldRect.Left || newRect.Top != oldRect.Top;
  bool sized = newRect.Width() != oldRect.Width() || newRect.Height() != oldRect.Height();
  TRect oldClient = w->client;
  w->rect = newRect;
  if (!w->parent && sized) ResizeSurface(w);
  if (sized || (flags & SWP_FRAMECHANGED)) {
    RecalcClient(w);
    if (!IsWindow(w)) return false;
  }
  if (!(flags & SWP_NOZORDER)) Reorder(w, pos.hwndInsertAfter);
  bool showing = (flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE);
  bool hiding = (flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE);
  if (showing) {
    SendMessage(w, WM_SHOWWINDOW, 1, 0);
    if (!IsWindow(w)) return false;
    w->style |= WS_VISIBLE;
  }
  if (hiding) {
    SendMessage(w, WM_SHOWWINDOW, 0, 0);
    if (!IsWindow(w)) return false;
    w->style &= ~WS_VISIBLE;
    ForgetWindowInput(w);
    HWND f = GetFocus();
    if (f && (f == w || IsChild(w, f))) SetFocus(w->parent ? w->parent : nullptr);
    if (!IsWindow(w)) return false;
  }
  bool nowVisible = ReallyVisible(w);
  // Repaint what the change uncovered and what it shows.
  if (!(flags & SWP_NOREDRAW)) {
    if (wasVisible && (moved || sized || hiding || !(flags & SWP_NOZORDER))) InvalidateParentArea(w, oldRect);
    if (nowVisible) {
      bool redrawAll = showing || (flags & SWP_FRAMECHANGED) || (moved && w->parent) ||
                       (sized && (w->cls->wc.style & (CS_HREDRAW | CS_VREDRAW))) || !(flags & SWP_NOZORDER);
      if (redrawAll) {
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
      } else if (sized) {
        // Only the newly exposed part of the client area needs painting.
        RegionData fresh(Rect(0, 0, w->client.Width(), w->client.Height()));
        fresh = RegionData::Combine(fresh, RegionData(Rect(0, 0, oldClient.Width(), oldClient.Height())), RGN_DIFF);
        for (const TRect& r : fresh.rects) InvalidateRect(w, &r, true);
        RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
        ValidateRect(w, nullptr);
        for (const TRect& r : fresh.rects) InvalidateRect(w, &r, true);
      }
    }
  }
  if (!w->parent) {
    Backend().WindowChanged(w);
    MarkPresent(w, Rect(0, 0, w->rect.Width(), w->rect.Height()));
  }
  SendMessage(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if (!IsWindow(w)) return true;
  if (showing && !w->parent && !(flags & SWP_NOACTIVATE) && !(w->exStyle & WS_EX_NOACTIVATE)) SetActiveWindow(w);
  return true;
}

bool MoveWindow(HWND w, int x, int y, int width, int height, bool repaint) {
  return SetWindowPos(w, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

bool BringWindowToTop(HWND w) { return SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

bool GetWindowRect(HWND w, TRect* r) {
  if (!IsWindow(w) || !r) return false;
  TPoint o = WindowOriginOnScreen(w);
  *r = Bounds(o.X, o.Y, w->rect.Width(), w->rect.Height());
  return true;
}

bool GetClientRect(HWND w, TRect* r) {
  if (!IsWindow(w) || !r) return false;
  *r = Rect(0, 0, w->client.Width(), w->client.Height());
  return true;
}

bool AdjustWindowRectEx(TRect* rect, DWORD style, bool, DWORD exStyle) {
  if (!rect) return false;
  HWND__ probe;
  probe.style = style;
  probe.exStyle = exStyle;
  TRect big = Rect(0, 0, 1000, 1000);
  TRect c = DefaultClientRect(&probe, big);
  rect->Left -= c.Left;
  rect->Top -= c.Top;
  rect->Right += big.Right - c.Right;
  rect->Bottom += big.Bottom - c.Bottom;
  return true;
}

bool AdjustWindowRect(TRect* rect, DWORD style, bool menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

// ---------------------------------------------------------------------------------------------
// Relations
// ---------------------------------------------------------------------------------------------

HWND GetWindow(HWND w, UINT cmd) {
  if (!IsWindow(w)) return nullptr;
  if (cmd == GW_OWNER) return w->owner;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  auto& list = w->parent ? w->parent->children : TopLevels();
  if (list.empty()) return nullptr;
  auto it = std::find(list.begin(), list.end(), w);
  switch (cmd) {
    case GW_HWNDFIRST: return list.front();
    case GW_HWNDLAST: return list.back();
    case GW_HWNDNEXT: return (it == list.end() || it + 1 == list.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list.begin() || it == list.end()) ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

HWND GetParent(HWND w) {
  if (!IsWindow(w)) return nullptr;
  return w->parent ? w->parent : w->owner;
}

HWND GetAncestor(HWND w, UINT flags) {
  if (!IsWindow(w)) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->parent;
    case GA_ROOT: return TopOf(w);
    case GA_ROOTOWNER: {
      HWND r = TopOf(w);
      while (r->owner) r = r->owner;
      return r;
    }
    default: return nullptr;
  }
}

HWND GetTopWindow(HWND w) {
  if (!w) return TopLevels().empty() ? nullptr : TopLevels().front();
  return GetWindow(w, GW_CHILD);
}

HWND SetParent(HWND w, HWND newParent) {
  if (!IsWindow(w) || (newParent && !IsWindow(newParent))) return nullptr;
  if (newParent == w || (newParent && IsChild(w, newParent))) return nullptr;
  HWND old = w->parent;
  bool vis = ReallyVisible(w);
  TRect oldRect = w->rect;
  if (vis && old) InvalidateRect(old, &oldRect, true);
  if (!old) Backend().WindowDestroyed(w);
  UnlinkWindow(w);
  w->parent = newParent;
  if (newParent) {
    w->surface.reset();
    w->layered.reset();
  } else {
    TPoint o = WindowOriginOnScreen(w);
    (void)o;
  }
  LinkWindow(w);
  if (!newParent) {
    ResizeSurface(w);
    Backend().WindowCreated(w);
  }
  if (ReallyVisible(w)) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  return old;
}

HWND GetDesktopWindow() { return nullptr; }

HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName) {
  if (parent == HWND_MESSAGE) return nullptr;  // no message-only windows of other libraries here
  if (parent && !IsWindow(parent)) return nullptr;
  const auto& list = parent ? parent->children : TopLevels();
  bool started = childAfter == nullptr;
  for (HWND c : list) {
    if (!started) {
      started = c == childAfter;
      continue;
    }
    if (className && !IS_INTRESOURCE(className) && Lower(className) != Lower(c->cls->name.c_str())) continue;
    if (windowName && c->text != windowName) continue;
    return c;
  }
  return nullptr;
}

HWND FindWindow(const char* className, const char* windowName) {
  return FindWindowEx(nullptr, nullptr, className, windowName);
}

DWORD GetWindowThreadProcessId(HWND w, DWORD* processId) {
  if (!IsWindow(w)) return 0;
  if (processId) *processId = DWORD(getpid());
  return MainThreadID();
}

// ---------------------------------------------------------------------------------------------
// Window longs and text
// ---------------------------------------------------------------------------------------------

LONG_PTR GetWindowLong(HWND w, int index) {
  if (!IsWindow(w)) return 0;
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWL_STYLE: return LONG_PTR(w->style);
    case GWL_EXSTYLE: return LONG_PTR(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    case GWL_ID: return w->id;
    default:
      if (index >= 0 && size_t(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
      }
      return 0;
  }
}

LONG_PTR SetWindowLong(HWND w, int index, LONG_PTR value) {
  if (!IsWindow(w)) return 0;
  LONG_PTR old = GetWindowLong(w, index);
  switch (index) {
    case GWL_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); break;
    case GWLP_HINSTANCE: w->instance = reinterpret_cast<HINSTANCE>(value); break;
    case GWLP_HWNDPARENT:
      if (!w->parent) w->owner = reinterpret_cast<HWND>(value);
      break;
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      struct {
        DWORD oldStyle, newStyle;
      } ss{DWORD(old), DWORD(value)};
      SendMessage(w, WM_STYLECHANGING, WPARAM(index), reinterpret_cast<LPARAM>(&ss));
      if (!IsWindow(w)) return old;
      if (index == GWL_STYLE) {
        // Visibility changes only through ShowWindow / SetWindowPos.
        w->style = (ss.newStyle & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
      } else {
        w->exStyle = ss.newStyle;
      }
      SendMessage(w, WM_STYLECHANGED, WPARAM(index), reinterpret_cast<LPARAM>(&ss));
      if (IsWindow(w) && !w->parent) Backend().WindowChanged(w);
      break;
    }
    case GWLP_USERDATA: w->userData = value; break;
    case GWL_ID: w->id = value; break;
    default:
      if (index >= 0 && size_t(index) + sizeof(LONG_PTR) <= w->extra.size())
        std::memcpy(w->extra.data() + index, &value, sizeof value);
      else
        return 0;
  }
  return old;
}

LONG_PTR GetWindowLongPtr(HWND w, int index) { return GetWindowLong(w, index); }
LONG_PTR SetWindowLongPtr(HWND w, int index, LONG_PTR value) { return SetWindowLong(w, index, value); }
int GetDlgCtrlID(HWND w) { return IsWindow(w) ? int(w->id) : 0; }

HWND GetDlgItem(HWND parent, int id) {
  if (!IsWindow(parent)) return nullptr;
  for (HWND c : parent->children)
    if (c->id == id) return c;
  return nullptr;
}

bool SetWindowText(HWND w, const char* text) {
  if (!IsWindow(w)) return false;
  return SendMessage(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) != 0;
}

int GetWindowText(HWND w, char* buffer, int size) {
  if (!IsWindow(w) || !buffer || size <= 0) return 0;
  return int(SendMessage(w, WM_GETTEXT, WPARAM(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND w) { return IsWindow(w) ? int(SendMessage(w, WM_GETTEXTLENGTH, 0, 0)) : 0; }

std::string GetWindowTextString(HWND w) {
  int n = GetWindowTextLength(w);
  if (n <= 0) return std::string();
  std::string s(size_t(n) + 1, '\0');
  int got = GetWindowText(w, s.data(), n + 1);
  s.resize(size_t(std::max(0, got)));
  return s;
}

// ---------------------------------------------------------------------------------------------
// Regions and layering
// ---------------------------------------------------------------------------------------------

int SetWindowRgn(HWND w, HRGN rgn, bool redraw) {
  if (!IsWindow(w)) return 0;
  bool wasVisible = ReallyVisible(w);
  TRect oldRect = w->rect;
  if (rgn) {
    GdiRegion* r = RegionFromHandle(rgn);
    if (!r) return 0;
    w->windowRgn = r->rgn;
    DeleteObject(rgn);  // the window owns it now
  } else {
    w->windowRgn.reset();
  }
  if (!w->parent) {
    Backend().WindowChanged(w);
    MarkPresent(w, Rect(0, 0, w->rect.Width(), w->rect.Height()));
  }
  if (redraw && wasVisible) {
    if (w->parent) InvalidateParentArea(w, oldRect);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  return 1;
}

int GetWindowRgn(HWND w, HRGN rgn) {
  if (!IsWindow(w) || !w->windowRgn) return ERROR;
  GdiRegion* r = RegionFromHandle(rgn);
  if (!r) return ERROR;
  r->rgn = *w->windowRgn;
  return r->rgn.Type();
}

bool UpdateLayeredWindow(HWND w, HDC, const POINT* pos, const SIZE* size, HDC srcDC, const POINT* srcPos,
                         COLORREF key, const BLENDFUNCTION* blend, DWORD flags) {
  if (!IsWindow(w) || w->parent || !(w->exStyle & WS_EX_LAYERED)) return false;
  int cx = size ? size->cx : w->rect.Width();
  int cy = size ? size->cy : w->rect.Height();
  if (cx <= 0 || cy <= 0) return false;
  if (pos || size) {
    SetWindowPos(w, nullptr, pos ? pos->X : 0, pos ? pos->Y : 0, cx, cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | (pos ? 0 : SWP_NOMOVE) | (size ? 0 : SWP_NOSIZE));
    if (!IsWindow(w)) return false;
  }
  if (srcDC) {
    GdiDC* dc = DCFromHandle(srcDC);
    if (!dc) return false;
    GdiSurface* src = dc->Surface();
    auto s = GdiSurface::Create(cx, cy, 32, true);
    if (!s) return false;
    int sx = srcPos ? srcPos->X : 0, sy = srcPos ? srcPos->Y : 0;
    bool perPixel = (flags & ULW_ALPHA) && blend && blend->AlphaFormat == AC_SRC_ALPHA && src->bpp == 32;
    uint8_t constant = (flags & ULW_ALPHA) && blend ? blend->SourceConstantAlpha : 255;
    for (int y = 0; y < cy; ++y) {
      uint8_t* d = s->Row(y);
      for (int x = 0; x < cx; ++x, d += 4) {
        int px = sx + x + dc->surfaceOrg.X, py = sy + y + dc->surfaceOrg.Y;
        if (!src->Contains(px, py)) {
          d[0] = d[1] = d[2] = d[3] = 0;
          continue;
        }
        COLORREF c = src->GetPixel(px, py);
        uint8_t a = 255;
        uint8_t b = GetBValue(c), g = GetGValue(c), r = GetRValue(c);
        if (perPixel) a = src->Row(py)[px * 4 + 3];
        if ((flags & ULW_COLORKEY) && c == key) {
          d[0] = d[1] = d[2] = d[3] = 0;
          continue;
        }
        // Per-pixel sources are premultiplied already; constant alpha scales everything.
        if (!perPixel && constant != 255) {
          b = uint8_t(b * constant / 255);
          g = uint8_t(g * constant / 255);
          r = uint8_t(r * constant / 255);
          a = constant;
        } else if (perPixel && constant != 255) {
          b = uint8_t(b * constant / 255);
          g = uint8_t(g * constant / 255);
          r = uint8_t(r * constant / 255);
          a = uint8_t(a * constant / 255);
        }
        d[0] = b;
        d[1] = g;
        d[2] = r;
        d[3] = a;
      }
    }
    w->layered = s;
  }
  Backend().WindowChanged(w);
  MarkPresent(w, Rect(0, 0, cx, cy));
  return true;
}

bool SetLayeredWindowAttributes(HWND w, COLORREF key, uint8_t alpha, DWORD flags) {
  if (!IsWindow(w) || w->parent || !(w->exStyle & WS_EX_LAYERED)) return false;
  w->layerKey = key;
  w->layerAlpha = (flags & LWA_ALPHA) ? alpha : 255;
  w->layerFlags = flags;
  w->layered.reset();
  Backend().WindowChanged(w);
  MarkPresent(w, Rect(0, 0, w->rect.Width(), w->rect.Height()));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

namespace {

LRESULT CallProc(WNDPROC proc, HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!proc) return DefWindowProc(w, msg, wParam, lParam);
  ++w->sendDepth;
  ++g_inSend;
  struct Leave {
    HWND w;
    ~Leave() {
      --g_inSend;
      if (--w->sendDepth == 0 && w->dead) FreeWindowObject(w);
    }
  } leave{w};
  return proc(w, msg, wParam, lParam);
}

void TakeSharedQueue() {
  TMsg m;
  while (PeekQueuedMessage(m, true)) {
    MSG msg;
    msg.hwnd = static_cast<HWND>(m.hwnd);
    msg.message = m.message;
    msg.wParam = m.wParam;
    msg.lParam = m.lParam;
    msg.time = InputNow();
    POINT p;
    GetCursorPos(&p);
    msg.pt = p;
    g_pending.push_back(msg);
  }
}

bool Qualifies(const MSG& m, HWND w, UINT lo, UINT hi) {
  if (w && m.hwnd != w && !(m.hwnd && IsChild(w, m.hwnd))) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

DWORD NextTimerDue(bool& any) {
  any = !g_timers.empty();
  DWORD best = 0;
  bool first = true;
  for (const TTimer& t : g_timers)
    if (first || Before(t.due, best)) {
      best = t.due;
      first = false;
    }
  return best;
}

}  // namespace

LRESULT SendMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsMainThread()) {
    LRESULT r = 0;
    SynchronizeCall(nullptr, [&] { r = SendMessage(w, msg, wParam, lParam); });
    return r;
  }
  if (!IsLiveWindow(w) || (w->dead && msg != WM_NCDESTROY)) return 0;
  return CallProc(w->proc, w, msg, wParam, lParam);
}

bool PostMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (w && !IsLiveWindow(w)) return false;
  TMsg m;
  m.hwnd = w;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  PostQueuedMessage(m);
  return true;
}

bool PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (threadId != MainThreadID()) return false;
  return PostMessage(nullptr, msg, wParam, lParam);
}

void PostQuitMessage(int exitCode) { PostMessage(nullptr, WM_QUIT, WPARAM(exitCode), 0); }

bool PeekMessage(MSG* out, HWND w, UINT lo, UINT hi, UINT remove) {
  EnsureWindowing();
  if (!IsMainThread()) throw EThread("messages are taken on the main thread");
  CheckSynchronize(0);
  Backend().Pump(0);
  TakeSharedQueue();
  for (auto it = g_pending.begin(); it != g_pending.end(); ++it) {
    if (!Qualifies(*it, w, lo, hi)) continue;
    MSG m = *it;
    if (remove & PM_REMOVE) {
      g_pending.erase(it);
      g_lastMsg = m;
    }
    if (out) *out = m;
    return true;
  }
  // Painting comes after the posted messages.
  if (lo == 0 && hi == 0 ? true : (WM_PAINT >= lo && WM_PAINT <= hi)) {
    if (HWND p = FindWindowToPaint(); p && (!w || p == w || IsChild(w, p))) {
      MSG m;
      m.hwnd = p;
      m.message = WM_PAINT;
      m.time = InputNow();
      if (out) *out = m;
      return true;
    }
  }
  // Timers last: they fire only while someone takes messages.
  DWORD now = TimerNow();
  if (lo == 0 && hi == 0 ? true : (WM_TIMER >= lo && WM_TIMER <= hi)) {
    for (TTimer& t : g_timers) {
      if (Before(now, t.due)) continue;
      if (w && t.wnd != w && !IsChild(w, t.wnd)) continue;
      MSG m;
      m.hwnd = t.wnd;
      m.message = WM_TIMER;
      m.wParam = t.id;
      m.lParam = reinterpret_cast<LPARAM>(t.proc);
      m.time = InputNow();
      if (remove & PM_REMOVE) {
        t.due = now + t.interval;
        g_lastMsg = m;
      }
      if (out) *out = m;
      return true;
    }
  }
  CaretIdle(GetTickCount());
  FlushPresents();
  return false;
}

bool WaitMessage() {
  EnsureWindowing();
  DWORD now = TimerNow();
  bool anyTimer = false;
  DWORD due = NextTimerDue(anyTimer);
  uint32_t timeout = 0xFFFFFFFF;
  if (anyTimer) timeout = Before(now, due) ? due - now : 0;
  uint32_t caretDue = NextCaretDeadline(GetTickCount());
  timeout = std::min(timeout, caretDue);
  if (!g_pending.empty() || PendingMessageCount() || HasPendingSynchronize() || FindWindowToPaint()) return true;
  const DWORD start = GetTickCount();
  const bool woke = Backend().Pump(timeout);
  TimerClockWaited(GetTickCount() - start);
  return woke;
}

bool GetMessage(MSG* out, HWND w, UINT lo, UINT hi) {
  MSG m;
  while (!PeekMessage(&m, w, lo, hi, PM_REMOVE)) WaitMessage();
  if (out) *out = m;
  return m.message != WM_QUIT;
}

bool TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return false;
  std::string text = TakeKeyText(msg->lParam);
  if (text.empty()) return false;
  UINT charMsg = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  // One message per code point, in order, ahead of what was posted later.
  std::vector<MSG> chars;
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = static_cast<unsigned char>(text[i]);
    int len = cp < 0x80 ? 1 : cp < 0xE0 ? 2 : cp < 0xF0 ? 3 : 4;
    if (len > 1) {
      cp &= (0xFF >> (len + 1));
      for (int k = 1; k < len && i + size_t(k) < text.size(); ++k) cp = (cp << 6) | (uint8_t(text[i + size_t(k)]) & 0x3F);
    }
    i += size_t(len);
    MSG c = *msg;
    c.message = charMsg;
    c.wParam = cp;
    chars.push_back(c);
  }
  g_pending.insert(g_pending.begin(), chars.begin(), chars.end());
  return true;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  if (!IsWindow(msg->hwnd)) return 0;
  if (msg->message == WM_PAINT) {
    PaintWindowNow(msg->hwnd);
    return 0;
  }
  return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProc(WNDPROC proc, HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsLiveWindow(w)) return proc ? proc(w, msg, wParam, lParam) : 0;
  return CallProc(proc, w, msg, wParam, lParam);
}

DWORD GetMessagePos() { return PackPoint(g_lastMsg.pt); }
LPARAM GetMessageTime() { return LPARAM(g_lastMsg.time); }
bool InSendMessage() { return g_inSend > 0; }

UINT RegisterWindowMessage(const char* name) {
  static std::map<std::string, UINT> names;
  if (!name || !*name) return 0;
  auto key = Lower(name);
  auto it = names.find(key);
  if (it != names.end()) return it->second;
  UINT id = UINT(0xC000 + 0x200 + names.size());
  if (id > 0xFFFF) return 0;
  names[key] = id;
  return id;
}

LRESULT DefWindowProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsLiveWindow(w)) return 0;
  bool handled = false;
  LRESULT r = DefPaintMessage(w, msg, wParam, lParam, handled);
  if (handled) return r;
  r = DefInputMessage(w, msg, wParam, lParam, handled);
  if (handled) return r;
  switch (msg) {
    case WM_NCCREATE: return 1;
    case WM_NCCALCSIZE: {
      if (wParam) {
        auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
        p->rgrc[0] = DefaultClientRect(w, p->rgrc[0]);
      } else {
        auto* rc = reinterpret_cast<TRect*>(lParam);
        *rc = DefaultClientRect(w, *rc);
      }
      return 0;
    }
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      if (!w->parent) Backend().WindowChanged(w);
      if ((w->style & WS_CAPTION) == WS_CAPTION) RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
      return 1;
    case WM_GETTEXT: {
      if (!lParam || wParam == 0) return 0;
      size_t n = std::min(size_t(wParam) - 1, w->text.size());
      std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: return LRESULT(w->text.size());
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wParam);
      if (lParam) InvalidateRect(w, nullptr, true);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(w->font);
    case WM_CLOSE: DestroyWindow(w); return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 asks the window to close, as the desktop's close does.
      if (wParam == VK_F4 && (lParam & (LPARAM(1) << 29))) PostMessage(TopOf(w), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* p = reinterpret_cast<WINDOWPOS*>(lParam);
      if (!(p->flags & SWP_NOMOVE))
        SendMessage(w, WM_MOVE, 0, MAKELPARAM(w->rect.Left + w->client.Left, w->rect.Top + w->client.Top));
      if (IsWindow(w) && !(p->flags & SWP_NOSIZE))
        SendMessage(w, WM_SIZE, w->minimized ? SIZE_MINIMIZED : w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                    MAKELPARAM(w->client.Width(), w->client.Height()));
      return 0;
    }
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MOVE: Backend().BeginMoveDrag(TopOf(w)); return 0;
        case SC_MINIMIZE: ShowWindow(TopOf(w), SW_MINIMIZE); return 0;
        case SC_RESTORE: ShowWindow(TopOf(w), SW_RESTORE); return 0;
        case SC_CLOSE: PostMessage(TopOf(w), WM_CLOSE, 0, 0); return 0;
        default: return 0;
      }
    case WM_MOUSEACTIVATE:
      if (w->parent) {
        LRESULT pr = SendMessage(w->parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (pr) return pr;
      }
      return (w->exStyle & WS_EX_NOACTIVATE) ? MA_NOACTIVATE : MA_ACTIVATE;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      // Unhandled wheel turns go to the parent.
      if (w->parent) return SendMessage(w->parent, msg, wParam, lParam);
      return 0;
    case WM_GETMINMAXINFO: return 0;
    case WM_GETDLGCODE: return 0;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------------------------

namespace {
int g_timerHolds = 0;
DWORD g_timerHeldAt = 0;  // the timer clock while held
DWORD g_timerLag = 0;     // how far the timer clock is behind the tick count when not held
}  // namespace

DWORD TimerNow() { return g_timerHolds ? g_timerHeldAt : GetTickCount() - g_timerLag; }

void HoldTimerClock(bool hold) {
  if (hold) {
    if (g_timerHolds++ == 0) g_timerHeldAt = GetTickCount() - g_timerLag;
  } else if (g_timerHolds > 0 && --g_timerHolds == 0) {
    g_timerLag = GetTickCount() - g_timerHeldAt;
  }
}

void TimerClockWaited(DWORD ms) {
  if (g_timerHolds) g_timerHeldAt += ms;
}

uintptr_t SetTimer(HWND w, uintptr_t id, UINT elapse, TIMERPROC proc) {
  if (w && !IsWindow(w)) return 0;
  elapse = std::max<UINT>(elapse, 10);
  DWORD now = TimerNow();
  if (w) {
    for (TTimer& t : g_timers)
      if (t.wnd == w && t.id == id) {
        t.interval = elapse;
        t.proc = proc;
        t.due = now + elapse;
        return id;
      }
  } else {
    id = ++g_nextTimerId;
  }
  g_timers.push_back({w, id, proc, elapse, now + elapse});
  WakeMainThread();
  return w ? (id ? id : 1) : id;
}

bool KillTimer(HWND w, uintptr_t id) {
  auto before = g_timers.size();
  g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(),
                                [&](const TTimer& t) { return t.wnd == w && t.id == id; }),
                 g_timers.end());
  // A WM_TIMER taken before the kill but not yet dispatched is fine; none stays queued.
  return g_timers.size() != before;
}

// ---------------------------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------------------------

namespace {
HDC ProvideWindowDC(HWND w) { return GetDCEx(w, nullptr, 0); }
}  // namespace

void EnsureWindowing() {
  static bool done = false;
  if (done) return;
  done = true;
  SetWindowDCProvider(&ProvideWindowDC);
  SetMessageDispatcher([](const TMsg& m) {
    MSG msg;
    msg.hwnd = static_cast<HWND>(m.hwnd);
    msg.message = m.message;
    msg.wParam = m.wParam;
    msg.lParam = m.lParam;
    msg.time = InputNow();
    if (msg.hwnd && !IsWindow(msg.hwnd)) return;
    DispatchMessage(&msg);
  });
}

}  // namespace zv

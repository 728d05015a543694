// Input: the back end's mouse and key events become queued messages (capture, hit testing, double
// clicks by time and distance, set-cursor), focus and activation, key state, cursors, coordinates.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

#include "platform/display_probe.h"
#include "platform/backend.h"
#include "platform/message_queue.h"
#include "platform/windows.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

HWND g_capture = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND g_hover = nullptr;  // the window under the pointer, for WM_MOUSELEAVE
POINT g_cursor{100, 100};
std::array<uint8_t, 256> g_keys{};       // bit 7 down, bit 0 toggled
std::array<uint8_t, 256> g_asyncSeen{};  // pressed since the last GetAsyncKeyState

struct TClickMemory {
  HWND wnd = nullptr;
  UINT downMsg = 0;
  DWORD time = 0;
  POINT pt;
  bool valid = false;
} g_lastClick;
UINT g_doubleClickTime = 500;

std::array<std::string, 256> g_keyTexts;
uint8_t g_keyTextSlot = 0;

HCURSOR g_cursorShape = nullptr;

bool Accepts(HWND w) {
  for (HWND p = w; p; p = p->parent)
    if (p->style & WS_DISABLED) return false;
  return true;
}

WPARAM MouseKeys() {
  WPARAM k = 0;
  if (g_keys[VK_LBUTTON] & 0x80) k |= MK_LBUTTON;
  if (g_keys[VK_RBUTTON] & 0x80) k |= MK_RBUTTON;
  if (g_keys[VK_MBUTTON] & 0x80) k |= MK_MBUTTON;
  if (g_keys[VK_SHIFT] & 0x80) k |= MK_SHIFT;
  if (g_keys[VK_CONTROL] & 0x80) k |= MK_CONTROL;
  return k;
}

void Post(HWND w, UINT msg, WPARAM wp, LPARAM lp) { PostMessage(w, msg, wp, lp); }

// The window that takes the mouse at a screen point, and its hit-test code.
HWND MouseTarget(POINT pt, LRESULT& hit) {
  if (g_capture && IsWindow(g_capture)) {
    hit = HTCLIENT;
    return g_capture;
  }
  HWND w = WindowFromPoint(pt);
  hit = HTNOWHERE;
  if (!w) return nullptr;
  hit = SendMessage(w, WM_NCHITTEST, 0, MAKELPARAM(pt.X, pt.Y));
  if (!IsWindow(w)) return nullptr;
  return w;
}

void SetCursorFor(HWND w, LRESULT hit, UINT mouseMsg) {
  if (!w || !IsWindow(w)) return;
  if (!SendMessage(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(int(hit), int(mouseMsg))) && IsWindow(w))
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

HWND HitDeepest(HWND w, POINT pt) {
  // pt is in w's parent client coordinates (screen for top-level windows).
  if (!(w->style & WS_VISIBLE)) return nullptr;
  if (!PtInRect(w->rect, pt)) return nullptr;
  TPoint local = Point(pt.X - w->rect.Left, pt.Y - w->rect.Top);
  if (w->windowRgn && !w->windowRgn->Contains(local.X, local.Y)) return nullptr;
  if (PtInRect(w->client, local)) {
    TPoint inClient = Point(local.X - w->client.Left, local.Y - w->client.Top);
    for (HWND c : w->children)
      if (HWND h = HitDeepest(c, inClient)) return h;
  }
  return w;
}

}  // namespace

DWORD InputNow() { return Backend().InputTime(); }

void SetKeyDown(int vk, bool down) {
  uint8_t& k = g_keys[size_t(vk & 0xFF)];
  if (down) {
    if (!(k & 0x80)) k ^= 1;
    k |= 0x80;
    g_asyncSeen[size_t(vk & 0xFF)] = 1;
  } else {
    k &= uint8_t(~0x80);
  }
}

std::string TakeKeyText(LPARAM keyData) {
  size_t slot = size_t((keyData >> 16) & 0xFF);
  std::string t = std::move(g_keyTexts[slot]);
  g_keyTexts[slot].clear();
  return t;
}

void ForgetWindowInput(HWND w) {
  auto inside = [w](HWND x) { return x && (x == w || IsChild(w, x)); };
  if (inside(g_capture)) {
    HWND old = g_capture;
    g_capture = nullptr;
    if (IsWindow(old) && !old->destroying) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  }
  if (inside(g_focus)) g_focus = nullptr;
  if (inside(g_hover)) g_hover = nullptr;
  if (g_active == w) g_active = nullptr;
  if (g_lastClick.wnd && inside(g_lastClick.wnd)) g_lastClick.valid = false;
}

// ---------------------------------------------------------------------------------------------
// Back-end input
// ---------------------------------------------------------------------------------------------

void InputMouseMove(int x, int y, DWORD time) {
  (void)time;
  g_cursor = Point(x, y);
  LRESULT hit;
  HWND w = MouseTarget(g_cursor, hit);
  if (g_hover != w) {
    if (g_hover && IsWindow(g_hover)) Post(g_hover, WM_MOUSELEAVE, 0, 0);
    g_hover = w;
  }
  if (!w || hit == HTTRANSPARENT) return;
  if (!g_capture) SetCursorFor(w, hit, WM_MOUSEMOVE);
  if (!IsWindow(w)) return;
  if (hit == HTCLIENT || g_capture == w) {
    POINT p = g_cursor;
    ScreenToClient(w, &p);
    Post(w, WM_MOUSEMOVE, MouseKeys(), MAKELPARAM(p.X, p.Y));
  } else {
    Post(w, WM_NCMOUSEMOVE, WPARAM(hit), MAKELPARAM(x, y));
  }
}

void InputMouseButton(TInputButton button, bool down, int x, int y, DWORD time) {
  if (!time) time = InputNow();
  g_cursor = Point(x, y);
  int vk = button == TInputButton::Left ? VK_LBUTTON : button == TInputButton::Right ? VK_RBUTTON : VK_MBUTTON;
  if (GetSystemMetrics(SM_SWAPBUTTON) && vk != VK_MBUTTON) vk = vk == VK_LBUTTON ? VK_RBUTTON : VK_LBUTTON;
  SetKeyDown(vk, down);
  LRESULT hit;
  HWND w = MouseTarget(g_cursor, hit);
  if (!w || hit == HTTRANSPARENT || hit == HTNOWHERE || hit == HTERROR) return;
  if (!Accepts(w)) {
    if (down) Backend().Beep(0);
    return;
  }
  UINT base = button == TInputButton::Left ? WM_LBUTTONDOWN : button == TInputButton::Right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
  UINT msg = down ? base : base + 1;
  bool client = hit == HTCLIENT || g_capture == w;
  if (down) {
    // Activation of the top-level window on a click.
    HWND top = TopOf(w);
    if (top != g_active && !(top->exStyle & WS_EX_NOACTIVATE)) {
      LRESULT ma = SendMessage(w, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(int(hit), int(msg)));
      if (!IsWindow(w)) return;
      if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) SetActiveWindow(top);
      if (!IsWindow(w)) return;
      if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return;
    }
    // A second press close enough in time and place becomes a double click, if the class wants one.
    int cx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, cy = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    bool dbl = g_lastClick.valid && g_lastClick.wnd == w && g_lastClick.downMsg == base &&
               DWORD(time - g_lastClick.time) <= g_doubleClickTime && std::abs(x - g_lastClick.pt.X) <= cx &&
               std::abs(y - g_lastClick.pt.Y) <= cy && (w->cls->wc.style & CS_DBLCLKS);
    if (dbl) {
      msg = base + 2;
      g_lastClick.valid = false;
    } else {
      g_lastClick = {w, base, time, g_cursor, true};
    }
  }
  if (client) {
    POINT p = g_cursor;
    ScreenToClient(w, &p);
    Post(w, msg, MouseKeys(), MAKELPARAM(p.X, p.Y));
  } else {
    // Non-client messages are numbered like the client ones, WM_NCMOUSEMOVE + 1 ...
    Post(w, msg - WM_MOUSEMOVE + WM_NCMOUSEMOVE, WPARAM(hit), MAKELPARAM(x, y));
  }
}

void InputMouseWheel(int delta, bool horizontal, int x, int y, DWORD) {
  g_cursor = Point(x, y);
  // The wheel goes to the focus window, as the desktop does it.
  HWND w = g_focus && IsWindow(g_focus) ? g_focus : WindowFromPoint(g_cursor);
  if (!w) return;
  Post(w, horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL, MAKEWPARAM(int(MouseKeys()), delta), MAKELPARAM(x, y));
}

void InputKey(int vk, bool down, const std::string& text, DWORD) {
  bool wasDown = (g_keys[size_t(vk & 0xFF)] & 0x80) != 0;
  SetKeyDown(vk, down);
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) SetKeyDown(VK_SHIFT, down);
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) SetKeyDown(VK_CONTROL, down);
  if (vk == VK_LMENU || vk == VK_RMENU) SetKeyDown(VK_MENU, down);
  HWND target = g_focus && IsWindow(g_focus) ? g_focus : g_active;
  if (!target || !IsWindow(target)) return;
  bool alt = (g_keys[VK_MENU] & 0x80) != 0;
  bool ctrl = (g_keys[VK_CONTROL] & 0x80) != 0;
  bool sys = (alt && !ctrl) || vk == VK_F10 || vk == VK_MENU;
  // The characters the key makes: control characters for Ctrl+letter, Tab, Enter, Esc, Backspace.
  std::string chars = text;
  if (down && chars.empty()) {
    char control = 0;
    if (ctrl && vk >= 'A' && vk <= 'Z') control = char(vk - 'A' + 1);
    else if (vk == VK_BACK) control = '\b';
    else if (vk == VK_TAB) control = '\t';
    else if (vk == VK_RETURN) control = '\r';
    else if (vk == VK_ESCAPE) control = '\x1b';
    if (control) chars = std::string(1, control);
  }
  LPARAM data = 1;
  if (alt) data |= LPARAM(1) << 29;
  if (down && wasDown) data |= LPARAM(1) << 30;
  if (!down) data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
  if (down && !chars.empty()) {
    uint8_t slot = ++g_keyTextSlot;
    g_keyTexts[slot] = chars;
    data |= LPARAM(slot) << 16;
  }
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  Post(target, msg, WPARAM(vk), data);
}

void InputText(const std::string& text) {
  HWND target = g_focus && IsWindow(g_focus) ? g_focus : g_active;
  if (!target || text.empty()) return;
  uint8_t slot = ++g_keyTextSlot;
  g_keyTexts[slot] = text;
  // A key message with no key that TranslateMessage turns into the characters; VK_PROCESSKEY-like.
  MSG m;
  m.hwnd = target;
  m.message = WM_KEYDOWN;
  m.wParam = 0xE5;
  m.lParam = 1 | (LPARAM(slot) << 16);
  TranslateMessage(&m);
}

void InputWindowMoved(HWND top, int x, int y) {
  if (!IsWindow(top) || top->parent) return;
  if (top->rect.Left == x && top->rect.Top == y) return;
  SetWindowPos(top, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void InputWindowResized(HWND top, int width, int height) {
  if (!IsWindow(top) || top->parent) return;
  if (top->rect.Width() == width && top->rect.Height() == height) return;
  SetWindowPos(top, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InputWindowMinimized(HWND top, bool minimized) {
  if (!IsWindow(top) || top->minimized == minimized) return;
  top->minimized = minimized;
  SendMessage(top, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED, minimized ? 0 : MAKELPARAM(top->client.Width(), top->client.Height()));
}

void InputWindowActivated(HWND top, bool active) {
  if (!IsWindow(top)) return;
  if (active && g_active != top) SetActiveWindow(top);
  if (!active && g_active == top) SetActiveWindow(nullptr);
}

void InputWindowClose(HWND top) {
  if (IsWindow(top)) Post(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// ---------------------------------------------------------------------------------------------
// Capture, focus, activation
// ---------------------------------------------------------------------------------------------

HWND SetCapture(HWND w) {
  HWND old = g_capture;
  if (w && !IsWindow(w)) return old;
  g_capture = w;
  if (old && old != w && IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(w));
  return old;
}

bool ReleaseCapture() {
  HWND old = g_capture;
  g_capture = nullptr;
  if (old && IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return IsWindow(g_capture) ? g_capture : nullptr; }

HWND SetFocus(HWND w) {
  HWND old = IsWindow(g_focus) ? g_focus : nullptr;
  if (w && (!IsWindow(w) || !ReallyVisible(w) || !Accepts(w))) return nullptr;
  if (w == old) return old;
  if (w) {
    HWND top = TopOf(w);
    if (top != g_active && !(top->exStyle & WS_EX_NOACTIVATE)) {
      // Activation could move the focus itself; ours wins.
      HWND keep = g_focus;
      SetActiveWindow(top);
      if (!IsWindow(w)) return nullptr;
      old = IsWindow(g_focus) ? g_focus : keep && IsWindow(keep) ? keep : nullptr;
      if (w == g_focus) return old;
    }
  }
  g_focus = w;
  if (old) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(w), 0);
  // The focus may have moved again during WM_KILLFOCUS.
  if (w && IsWindow(w) && g_focus == w) SendMessage(w, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() { return IsWindow(g_focus) ? g_focus : nullptr; }
HWND GetActiveWindow() { return IsWindow(g_active) ? g_active : nullptr; }

HWND SetActiveWindow(HWND w) {
  HWND old = IsWindow(g_active) ? g_active : nullptr;
  if (w && !IsWindow(w)) return old;
  if (w) w = TopOf(w);
  if (w == old) return old;
  g_active = w;
  if (old) {
    SendMessage(old, WM_NCACTIVATE, 0, 0);
    if (IsWindow(old)) SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(w));
  }
  if (w && IsWindow(w) && g_active == w) {
    SendMessage(w, WM_NCACTIVATE, 1, 0);
    if (IsWindow(w)) SendMessage(w, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    // Activating a window whose focus lies elsewhere focuses the window itself.
    if (IsWindow(w) && g_active == w && !(g_focus && IsWindow(g_focus) && TopOf(g_focus) == w)) {
      HWND was = g_focus && IsWindow(g_focus) ? g_focus : nullptr;
      g_focus = w;
      if (was) SendMessage(was, WM_KILLFOCUS, reinterpret_cast<WPARAM>(w), 0);
      if (IsWindow(w) && g_focus == w) SendMessage(w, WM_SETFOCUS, reinterpret_cast<WPARAM>(was), 0);
    }
    if (IsWindow(w)) Backend().WindowChanged(w);
  }
  return old;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }
bool SetForegroundWindow(HWND w) { return IsWindow(w) && (SetActiveWindow(w), true); }

int16_t GetKeyState(int vk) {
  uint8_t k = g_keys[size_t(vk & 0xFF)];
  return int16_t(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

int16_t GetAsyncKeyState(int vk) {
  size_t i = size_t(vk & 0xFF);
  int16_t r = int16_t(((g_keys[i] & 0x80) ? 0x8000 : 0) | g_asyncSeen[i]);
  g_asyncSeen[i] = 0;
  return r;
}

bool GetKeyboardState(uint8_t* state) {
  if (!state) return false;
  std::copy(g_keys.begin(), g_keys.end(), state);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Coordinates
// ---------------------------------------------------------------------------------------------

bool GetCursorPos(POINT* pt) {
  if (!pt) return false;
  *pt = g_cursor;
  return true;
}

bool SetCursorPos(int x, int y) {
  g_cursor = Point(x, y);
  Backend().SetPointerPos(x, y);
  return true;
}

bool ScreenToClient(HWND w, POINT* pt) {
  if (!IsWindow(w) || !pt) return false;
  TPoint o = WindowOriginOnScreen(w);
  pt->X -= o.X + w->client.Left;
  pt->Y -= o.Y + w->client.Top;
  return true;
}

bool ClientToScreen(HWND w, POINT* pt) {
  if (!IsWindow(w) || !pt) return false;
  TPoint o = WindowOriginOnScreen(w);
  pt->X += o.X + w->client.Left;
  pt->Y += o.Y + w->client.Top;
  return true;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  TPoint a, b;
  if (from) {
    if (!IsWindow(from)) return 0;
    ClientToScreen(from, &a);
  }
  if (to) {
    if (!IsWindow(to)) return 0;
    ClientToScreen(to, &b);
  }
  int dx = a.X - b.X, dy = a.Y - b.Y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].X += dx;
    points[i].Y += dy;
  }
  return int(MAKELONG(uint16_t(dx), uint16_t(dy)));
}

HWND WindowFromPoint(POINT pt) {
  for (HWND t : TopLevels()) {
    if (t->minimized) continue;
    HWND h = HitDeepest(t, pt);
    // Transparent windows pass the point to what lies below them in their parent, then further.
    while (h) {
      LRESULT hit = SendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(pt.X, pt.Y));
      if (hit != HTTRANSPARENT) return h;
      HWND below = nullptr;
      if (h->parent) {
        auto& sib = h->parent->children;
        auto it = std::find(sib.begin(), sib.end(), h);
        POINT local = pt;
        ScreenToClient(h->parent, &local);
        for (++it; it != sib.end() && !below; ++it) below = HitDeepest(*it, local);
        if (!below) below = h->parent;
        h = below;
      } else {
        break;
      }
    }
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT pt) {
  if (!IsWindow(parent)) return nullptr;
  if (!PtInRect(Rect(0, 0, parent->client.Width(), parent->client.Height()), pt)) return nullptr;
  for (HWND c : parent->children)
    if (PtInRect(c->rect, pt)) return c;
  return parent;
}

// ---------------------------------------------------------------------------------------------
// Cursors
// ---------------------------------------------------------------------------------------------

struct HCURSOR__ {
  int standardId = 0;
  int width = 0, height = 0, hotX = 0, hotY = 0;
  std::vector<uint32_t> pixels;
};

namespace {
// The desktop's own cursors live as long as the program (std::map keeps their addresses stable).
std::map<int, HCURSOR__>& StandardCursors() {
  static std::map<int, HCURSOR__> m;
  return m;
}
std::map<std::string, HCURSOR>& CursorResources() {
  static std::map<std::string, HCURSOR> m;
  return m;
}
std::string ResourceKey(const char* name) {
  if (IS_INTRESOURCE(name)) return '#' + std::to_string(reinterpret_cast<uintptr_t>(name));
  std::string s = name;
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

HCURSOR LoadCursor(HINSTANCE instance, const char* name) {
  if (!name) return nullptr;
  auto it = CursorResources().find(ResourceKey(name));
  if (it != CursorResources().end()) return it->second;
  if (!instance && IS_INTRESOURCE(name)) {
    int id = int(reinterpret_cast<uintptr_t>(name));
    static const int known[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643, 32644, 32645, 32646, 32648, 32649, 32650, 32651};
    if (std::find(std::begin(known), std::end(known), id) == std::end(known)) return nullptr;
    HCURSOR__& c = StandardCursors()[id];
    c.standardId = id;
    return &c;
  }
  return nullptr;
}

HCURSOR CreateCursorFromPixels(int width, int height, const uint32_t* bgra, int hotX, int hotY) {
  if (width <= 0 || height <= 0 || !bgra) return nullptr;
  auto* c = new HCURSOR__;
  c->width = width;
  c->height = height;
  c->hotX = hotX;
  c->hotY = hotY;
  c->pixels.assign(bgra, bgra + size_t(width) * size_t(height));
  return c;
}

void RegisterCursorResource(const char* name, HCURSOR cursor) {
  if (name) CursorResources()[ResourceKey(name)] = cursor;
}

bool DestroyCursor(HCURSOR c) {
  if (!c || c->standardId) return false;
  for (auto& [k, v] : CursorResources())
    if (v == c) return false;  // resources stay loaded
  if (g_cursorShape == c) g_cursorShape = nullptr;
  delete c;
  return true;
}

int CursorStandardId(HCURSOR c) { return c ? c->standardId : 0; }

HCURSOR SetCursor(HCURSOR c) {
  HCURSOR old = g_cursorShape;
  g_cursorShape = c;
  if (old != c) {
    HWND top = nullptr;
    if (g_capture && IsWindow(g_capture)) top = TopOf(g_capture);
    else if (HWND h = WindowFromPoint(g_cursor)) top = TopOf(h);
    Backend().SetCursorShape(top, c);
  }
  return old;
}

HCURSOR GetCursor() { return g_cursorShape; }

int ShowCursor(bool show) {
  static int count = 0;
  return show ? ++count : --count;
}

// ---------------------------------------------------------------------------------------------
// Default input messages
// ---------------------------------------------------------------------------------------------

LRESULT DefInputMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (msg) {
    case WM_NCHITTEST: {
      POINT p = Point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      TPoint o = WindowOriginOnScreen(w);
      TPoint local = Point(p.X - o.X, p.Y - o.Y);
      if (!PtInRect(Rect(0, 0, w->rect.Width(), w->rect.Height()), local)) return HTNOWHERE;
      if (w->windowRgn && !w->windowRgn->Contains(local.X, local.Y)) return HTNOWHERE;
      if (PtInRect(w->client, local)) return HTCLIENT;
      if ((w->style & WS_VSCROLL) && local.X >= w->client.Right && local.Y >= w->client.Top && local.Y < w->client.Bottom &&
          local.X < w->client.Right + GetSystemMetrics(SM_CXVSCROLL))
        return HTVSCROLL;
      if ((w->style & WS_HSCROLL) && local.Y >= w->client.Bottom && local.X >= w->client.Left && local.X < w->client.Right &&
          local.Y < w->client.Bottom + GetSystemMetrics(SM_CYHSCROLL))
        return HTHSCROLL;
      if ((w->style & WS_CAPTION) == WS_CAPTION && !(w->style & WS_CHILD) && local.Y < w->client.Top &&
          local.Y >= GetSystemMetrics(SM_CYFRAME) / 2)
        return HTCAPTION;
      if (w->style & WS_THICKFRAME) {
        int f = GetSystemMetrics(SM_CXFRAME);
        bool l = local.X < f, r = local.X >= w->rect.Width() - f, t = local.Y < f, b = local.Y >= w->rect.Height() - f;
        if (t && l) return HTTOPLEFT;
        if (t && r) return HTTOPRIGHT;
        if (b && l) return HTBOTTOMLEFT;
        if (b && r) return HTBOTTOMRIGHT;
        if (l) return HTLEFT;
        if (r) return HTRIGHT;
        if (t) return HTTOP;
        if (b) return HTBOTTOM;
      }
      return HTBORDER;
    }
    case WM_SETCURSOR: {
      // The parent may decide first; otherwise the class cursor in the client area.
      if (w->parent && SendMessage(w->parent, WM_SETCURSOR, wParam, lParam)) return 1;
      if (!IsWindow(w)) return 1;
      int hit = int16_t(LOWORD(uintptr_t(lParam)));
      if (hit == HTCLIENT) {
        if (HCURSOR c = w->cls->wc.hCursor) {
          SetCursor(c);
          return 1;
        }
        return 0;
      }
      const char* id = IDC_ARROW;
      if (hit == HTLEFT || hit == HTRIGHT) id = IDC_SIZEWE;
      else if (hit == HTTOP || hit == HTBOTTOM) id = IDC_SIZENS;
      else if (hit == HTTOPLEFT || hit == HTBOTTOMRIGHT) id = IDC_SIZENWSE;
      else if (hit == HTTOPRIGHT || hit == HTBOTTOMLEFT) id = IDC_SIZENESW;
      SetCursor(LoadCursor(nullptr, id));
      return 1;
    }
    case WM_NCLBUTTONDOWN: {
      int hit = int(wParam);
      POINT p = Point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      if (hit == HTCAPTION) {
        SetActiveWindow(TopOf(w));
        if (IsWindow(w)) SendMessage(w, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
        return 0;
      }
      if (hit == HTVSCROLL || hit == HTHSCROLL) return ScrollBarClick(w, hit, p);
      return 0;
    }
    case WM_NCLBUTTONDBLCLK: return 0;
    case WM_NCMOUSEMOVE: return 0;
    default: handled = false; return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Message boxes, sounds, documents
// ---------------------------------------------------------------------------------------------

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return ShowMessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}

bool MessageBeep(UINT type) {
  Backend().Beep(type);
  return true;
}

bool ShellExecuteEx(SHELLEXECUTEINFO* info) {
  if (!info || !info->lpFile || !*info->lpFile) return false;
  std::string verb = info->lpVerb ? info->lpVerb : "";
  for (char& c : verb) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (!verb.empty() && verb != "open") {
    info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t(31));  // no association for the verb
    return false;
  }
  bool ok = OpenWithDefaultProgram(info->lpFile);
  info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t(ok ? 42 : 31));
  info->hProcess = nullptr;
  return ok;
}

bool ShellExecuteExA(SHELLEXECUTEINFO* info) { return ShellExecuteEx(info); }

HINSTANCE ShellExecute(HWND wnd, const char* verb, const char* file, const char* parameters, const char* directory,
                       int showCmd) {
  SHELLEXECUTEINFO i;
  i.hwnd = wnd;
  i.lpVerb = verb;
  i.lpFile = file;
  i.lpParameters = parameters;
  i.lpDirectory = directory;
  i.nShow = showCmd;
  ShellExecuteEx(&i);
  return i.hInstApp ? i.hInstApp : reinterpret_cast<HINSTANCE>(uintptr_t(2));
}

// ---------------------------------------------------------------------------------------------
// Metrics
// ---------------------------------------------------------------------------------------------

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXMAXIMIZED: return Backend().ScreenRect().Width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
    case SM_CYMAXIMIZED: return Backend().ScreenRect().Height();
    case SM_CYFULLSCREEN: return Backend().WorkArea().Height() - 19;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYSMCAPTION: return 15;
    case SM_CYMENU: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_SWAPBUTTON: return 0;
    case SM_MOUSEWHEELPRESENT: return 1;
    case SM_CMONITORS: return 1;
    case SM_REMOTESESSION: return ScreenIsRemote() ? 1 : 0;
    default: return 0;
  }
}

UINT GetDoubleClickTime() { return g_doubleClickTime; }
bool SetDoubleClickTime(UINT ms) {
  g_doubleClickTime = ms ? ms : 500;
  return true;
}

bool SystemParametersInfo(UINT action, UINT, void* value, UINT) {
  if (!value) return false;
  switch (action) {
    case SPI_GETWORKAREA: *static_cast<TRect*>(value) = Backend().WorkArea(); return true;
    case SPI_GETWHEELSCROLLLINES:
    case SPI_GETWHEELSCROLLCHARS: *static_cast<UINT*>(value) = 3; return true;
    case SPI_GETFONTSMOOTHING:
    case SPI_GETDRAGFULLWINDOWS: *static_cast<UINT*>(value) = 1; return true;
    case SPI_GETKEYBOARDDELAY: *static_cast<UINT*>(value) = 1; return true;
    case SPI_GETKEYBOARDSPEED: *static_cast<UINT*>(value) = 31; return true;
    default: return false;
  }
}

}  // namespace zv

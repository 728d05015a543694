// Windows and messages in the headless back end, driven by scripted input.
#include "platform/windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/message_queue.h"
#include "platform/win32.h"

namespace zv {
namespace {

struct TLogged {
  HWND wnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<TLogged> g_log;
std::map<HWND, std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)>> g_handlers;

LRESULT CALLBACK_TestProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  g_log.push_back({w, msg, wp, lp});
  auto it = g_handlers.find(w);
  if (it != g_handlers.end()) {
    LRESULT r = 0;
    auto handler = it->second;  // the handler may replace itself
    if (handler(w, msg, wp, lp, r)) return r;
  }
  return DefWindowProc(w, msg, wp, lp);
}

// Fills the client area with a colour on every WM_PAINT.
std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> Painter(COLORREF color) {
  return [color](HWND w, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (msg == WM_ERASEBKGND) {
      r = 1;
      return true;
    }
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    HBRUSH b = CreateSolidBrush(color);
    TRect all;
    GetClientRect(w, &all);
    FillRect(dc, &all, b);  // the whole client area: the clip limits it to the update region
    DeleteObject(b);
    EndPaint(w, &ps);
    return true;
  };
}

class WindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASS wc;
    wc.lpfnWndProc = CALLBACK_TestProc;
    wc.lpszClassName = "TestWnd";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_WINDOW + 1));
    RegisterClass(&wc);
    wc.lpszClassName = "TestDblWnd";
    wc.style = CS_DBLCLKS;
    RegisterClass(&wc);
  }
  void TearDown() override {
    for (HWND w : made_)
      if (IsWindow(w)) DestroyWindow(w);
    headless::Pump();
    g_handlers.clear();
    g_log.clear();
    headless::ClearRecords();
  }
  HWND Top(int x, int y, int w, int h, DWORD style = WS_POPUP | WS_VISIBLE, DWORD ex = 0, const char* cls = "TestWnd") {
    HWND r = CreateWindowEx(ex, cls, "top", style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    made_.push_back(r);
    return r;
  }
  HWND Child(HWND parent, int x, int y, int w, int h, DWORD style = WS_CHILD | WS_VISIBLE, const char* cls = "TestWnd") {
    return CreateWindowEx(0, cls, "child", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
  }
  static std::vector<UINT> MessagesOf(HWND w, std::initializer_list<UINT> only) {
    std::vector<UINT> r;
    for (auto& l : g_log)
      if (l.wnd == w && std::find(only.begin(), only.end(), l.msg) != only.end()) r.push_back(l.msg);
    return r;
  }
  std::vector<HWND> made_;
};

TEST_F(WindowsTest, CreationAndDestructionSendTheirMessagesInOrder) {
  HWND top = Top(10, 10, 100, 80);
  HWND kid = Child(top, 5, 5, 20, 20);
  EXPECT_EQ(MessagesOf(kid, {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
            (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}));
  g_log.clear();
  ASSERT_TRUE(DestroyWindow(top));
  std::vector<std::pair<HWND, UINT>> seq;
  for (auto& l : g_log)
    if (l.msg == WM_DESTROY || l.msg == WM_NCDESTROY) seq.push_back({l.wnd, l.msg});
  // WM_DESTROY parent first, WM_NCDESTROY children first.
  std::vector<std::pair<HWND, UINT>> want = {{top, WM_DESTROY}, {kid, WM_DESTROY}, {kid, WM_NCDESTROY}, {top, WM_NCDESTROY}};
  EXPECT_EQ(seq, want);
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(kid));
  EXPECT_EQ(SendMessage(kid, WM_USER, 0, 0), 0);
}

// A handle kept past DestroyWindow stays dead while many windows come and go, and none of them takes it.
TEST_F(WindowsTest, ADestroyedWindowsHandleIsNotGivenToTheWindowsMadeAfterIt) {
  HWND gone = Top(0, 0, 10, 10);
  ASSERT_TRUE(DestroyWindow(gone));
  for (int i = 0; i < 1000; ++i) {
    HWND w = CreateWindowEx(0, "TestWnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w, gone) << "window " << i;
    DestroyWindow(w);
  }
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_EQ(SendMessage(gone, WM_USER, 0, 0), 0);
}

TEST_F(WindowsTest, CreateFailsWhenWmCreateReturnsMinusOne) {
  WNDCLASS wc;
  wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_CREATE) return -1;
    return DefWindowProc(w, m, wp, lp);
  };
  wc.lpszClassName = "RefusingWnd";
  RegisterClass(&wc);
  EXPECT_EQ(CreateWindowEx(0, "refusingwnd", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WindowsTest, SendMessageIsSynchronousAndNestsInCallOrder) {
  HWND a = Top(0, 0, 50, 50);
  HWND b = Top(60, 0, 50, 50);
  std::vector<std::string> order;
  g_handlers[a] = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m != WM_USER + 1) return false;
    order.push_back("a-in");
    r = SendMessage(b, WM_USER + 2, 0, 0) + 1;
    order.push_back("a-out");
    return true;
  };
  g_handlers[b] = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m != WM_USER + 2) return false;
    order.push_back("b");
    PostMessage(b, WM_USER + 3, 0, 0);  // posted: runs only when the loop takes it
    r = 41;
    return true;
  };
  EXPECT_EQ(SendMessage(a, WM_USER + 1, 0, 0), 42);
  EXPECT_EQ(order, (std::vector<std::string>{"a-in", "b", "a-out"}));
  EXPECT_TRUE(MessagesOf(b, {WM_USER + 3}).empty());
  headless::Pump();
  EXPECT_EQ(MessagesOf(b, {WM_USER + 3}).size(), 1u);
}

TEST_F(WindowsTest, PostMessageFromAWorkerThreadArrivesOnTheMainThread) {
  HWND w = Top(0, 0, 20, 20);
  uint32_t seenOn = 0;
  LPARAM seenParam = 0;
  g_handlers[w] = [&](HWND, UINT m, WPARAM, LPARAM lp, LRESULT&) {
    if (m != WM_APP + 7) return false;
    seenOn = GetCurrentThreadId();
    seenParam = lp;
    return true;
  };
  std::thread worker([w] { PostMessage(w, WM_APP + 7, 0, 1234); });
  MSG m;
  while (GetMessage(&m, nullptr, 0, 0)) {
    DispatchMessage(&m);
    if (m.message == WM_APP + 7) break;
  }
  worker.join();
  EXPECT_EQ(seenOn, GetCurrentThreadId());
  EXPECT_EQ(seenParam, 1234);
  EXPECT_FALSE(PostMessage(reinterpret_cast<HWND>(uintptr_t(0x10)), WM_APP, 0, 0));
}

TEST_F(WindowsTest, SendMessageFromAWorkerRunsOnTheMainThread) {
  HWND w = Top(0, 0, 20, 20);
  uint32_t seenOn = 0;
  g_handlers[w] = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m != WM_APP + 8) return false;
    seenOn = GetCurrentThreadId();
    r = 5;
    return true;
  };
  LRESULT got = 0;
  std::thread worker([&] { got = SendMessage(w, WM_APP + 8, 0, 0); });
  while (!got) CheckSynchronize(10);
  worker.join();
  EXPECT_EQ(got, 5);
  EXPECT_EQ(seenOn, GetCurrentThreadId());
}

TEST_F(WindowsTest, QuitEndsGetMessageWithTheExitCode) {
  PostQuitMessage(3);
  MSG m;
  EXPECT_FALSE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
}

TEST_F(WindowsTest, TimersFireOnlyWhileMessagesArePumped) {
  HWND w = Top(0, 0, 20, 20);
  int fired = 0;
  g_handlers[w] = [&](HWND, UINT m, WPARAM id, LPARAM, LRESULT&) {
    if (m == WM_TIMER && id == 9) ++fired;
    return m == WM_TIMER;
  };
  ASSERT_EQ(SetTimer(w, 9, 200, nullptr), 9u);
  Sleep(450);
  EXPECT_EQ(fired, 0);  // nobody took messages
  headless::Pump();
  // Overdue periods fold into one message.
  EXPECT_EQ(fired, 1);
  headless::Pump();
  EXPECT_EQ(fired, 1);
  Sleep(250);
  headless::Pump();
  EXPECT_EQ(fired, 2);
  EXPECT_TRUE(KillTimer(w, 9));
  Sleep(250);
  headless::Pump();
  EXPECT_EQ(fired, 2);
  EXPECT_FALSE(KillTimer(w, 9));
}

TEST_F(WindowsTest, TimersDieWithTheirWindow) {
  HWND w = Top(0, 0, 20, 20);
  SetTimer(w, 1, 10, nullptr);
  DestroyWindow(w);
  Sleep(20);
  headless::Pump();  // nothing to deliver to a dead window
  EXPECT_FALSE(KillTimer(w, 1));
}

TEST_F(WindowsTest, TimersDoNotCountTheTimeTheScriptsPumpSpendsOnMessages) {
  HWND w = Top(0, 0, 20, 20);
  int fired = 0;
  DWORD slowFor = 0;  // how long a press takes to handle, as on a slow machine
  g_handlers[w] = [&](HWND, UINT m, WPARAM id, LPARAM, LRESULT&) {
    if (m == WM_TIMER && id == 3) {
      ++fired;
      Sleep(slowFor);
    }
    if (m == WM_LBUTTONDOWN) Sleep(slowFor);
    return m == WM_TIMER;
  };
  // A slow press does not make a timer due between the script's steps.
  slowFor = 400;
  SetTimer(w, 3, 300, nullptr);
  headless::Click(w, 5, 5);
  headless::Click(w, 5, 5);
  EXPECT_EQ(fired, 0);
  // Time outside the pumps counts; a handler slower than the period gets one message per pump.
  Sleep(350);
  headless::Pump();
  EXPECT_EQ(fired, 1);
  headless::Pump();
  EXPECT_EQ(fired, 1);
  // A message loop inside a handler waits for the timer and gets it.
  slowFor = 0;
  g_handlers[w] = [&](HWND, UINT m, WPARAM id, LPARAM, LRESULT&) {
    if (m == WM_TIMER && id == 3) ++fired;
    if (m == WM_LBUTTONDOWN) {
      MSG msg;
      const int before = fired;
      while (fired == before && GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
    }
    return m == WM_TIMER;
  };
  headless::Click(w, 5, 5);
  EXPECT_EQ(fired, 2);
  KillTimer(w, 3);
}

TEST_F(WindowsTest, MouseCaptureSendsTheReleaseToTheCapturingWindow) {
  HWND top = Top(100, 100, 200, 100);
  HWND a = Child(top, 0, 0, 100, 100);
  HWND b = Child(top, 100, 0, 100, 100);
  g_handlers[a] = [](HWND w, UINT m, WPARAM, LPARAM, LRESULT&) {
    if (m == WM_LBUTTONDOWN) SetCapture(w);
    if (m == WM_LBUTTONUP) ReleaseCapture();
    return false;
  };
  headless::MouseDown(a, 10, 10);
  headless::Pump();
  EXPECT_EQ(GetCapture(), a);
  headless::MouseMove(b, 50, 50);
  headless::MouseUp(b, 50, 50);
  headless::Pump();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(MessagesOf(b, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}).empty());
  // The release arrives at a, in a's client coordinates (outside it).
  auto it = std::find_if(g_log.begin(), g_log.end(), [&](const TLogged& l) { return l.wnd == a && l.msg == WM_LBUTTONUP; });
  ASSERT_NE(it, g_log.end());
  EXPECT_EQ(GET_X_LPARAM(it->lParam), 150);
  EXPECT_EQ(GET_Y_LPARAM(it->lParam), 50);
  EXPECT_EQ(MessagesOf(a, {WM_CAPTURECHANGED}).size(), 1u);
  // Without capture a press on b goes to b.
  headless::Click(b, 5, 5);
  EXPECT_EQ(MessagesOf(b, {WM_LBUTTONDOWN, WM_LBUTTONUP}), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(WindowsTest, DoubleClicksDependOnClassTimeAndDistance) {
  HWND top = Top(0, 0, 200, 100);
  HWND dbl = Child(top, 0, 0, 100, 100, WS_CHILD | WS_VISIBLE, "TestDblWnd");
  HWND plain = Child(top, 100, 0, 100, 100);
  auto downs = [&](HWND w) { return MessagesOf(w, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}); };
  headless::DoubleClick(dbl, 10, 10);
  EXPECT_EQ(downs(dbl), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}));
  headless::DoubleClick(plain, 10, 10);
  EXPECT_EQ(downs(plain), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
  struct Case {
    const char* name;
    int dx;
    uint32_t wait;
    bool isDouble;
  } cases[] = {{"near and quick", 2, 100, true}, {"too far", 3, 0, false}, {"too late", 0, 501, false}};
  for (const Case& c : cases) {
    g_log.clear();
    headless::AdvanceTime(1000);  // forget earlier clicks
    headless::Click(dbl, 50, 50);
    headless::AdvanceTime(c.wait);
    headless::Click(dbl, 50 + c.dx, 50);
    auto got = downs(dbl);
    ASSERT_EQ(got.size(), 2u) << c.name;
    EXPECT_EQ(got[1] == WM_LBUTTONDBLCLK, c.isDouble) << c.name;
  }
  // A third quick click starts a new pair.
  g_log.clear();
  headless::AdvanceTime(1000);
  headless::Click(dbl, 20, 20);
  headless::Click(dbl, 20, 20);
  headless::Click(dbl, 20, 20);
  EXPECT_EQ(downs(dbl), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}));
}

TEST_F(WindowsTest, ScriptedInputRunsOnTheScriptsClockNotTheWallClock) {
  HWND top = Top(0, 0, 100, 100);
  HWND dbl = Child(top, 0, 0, 100, 100, WS_CHILD | WS_VISIBLE, "TestDblWnd");
  std::vector<std::pair<UINT, LPARAM>> presses;  // message and GetMessageTime
  g_handlers[dbl] = [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) presses.push_back({msg, GetMessageTime()});
    return false;
  };
  // A slow machine between the two clicks of a double click does not part them.
  headless::AdvanceTime(1000);
  headless::Click(dbl, 10, 10);
  Sleep(600);
  headless::Click(dbl, 10, 10);
  ASSERT_EQ(presses.size(), 2u);
  EXPECT_EQ(presses[1].first, UINT(WM_LBUTTONDBLCLK));
  // The press, release and the moves before them are four events between the presses.
  EXPECT_EQ(DWORD(presses[1].second - presses[0].second), 4 * headless::EventStepMs);
  // Only the script moves the clock on: 470 ms and the four events put the next presses too far apart.
  presses.clear();
  headless::AdvanceTime(1000);
  headless::Click(dbl, 10, 10);
  headless::AdvanceTime(470);
  headless::Click(dbl, 10, 10);
  ASSERT_EQ(presses.size(), 2u);
  EXPECT_EQ(presses[1].first, UINT(WM_LBUTTONDOWN));
  EXPECT_EQ(DWORD(presses[1].second - presses[0].second), 470 + 4 * headless::EventStepMs);
}

TEST_F(WindowsTest, FocusMovesWithSetAndKillFocusAndTakesTheKeys) {
  HWND top = Top(0, 0, 200, 100);
  HWND a = Child(top, 0, 0, 100, 100);
  HWND b = Child(top, 100, 0, 100, 100);
  EXPECT_EQ(GetActiveWindow(), top);
  SetFocus(a);
  g_log.clear();
  EXPECT_EQ(SetFocus(b), a);
  ASSERT_EQ(g_log.size(), 2u);
  EXPECT_EQ(g_log[0].wnd, a);
  EXPECT_EQ(g_log[0].msg, WM_KILLFOCUS);
  EXPECT_EQ(reinterpret_cast<HWND>(g_log[0].wParam), b);
  EXPECT_EQ(g_log[1].wnd, b);
  EXPECT_EQ(g_log[1].msg, WM_SETFOCUS);
  EXPECT_EQ(reinterpret_cast<HWND>(g_log[1].wParam), a);
  EXPECT_EQ(GetFocus(), b);

  g_log.clear();
  headless::TypeText("aB");
  std::vector<WPARAM> chars;
  for (auto& l : g_log)
    if (l.wnd == b && l.msg == WM_CHAR) chars.push_back(l.wParam);
  EXPECT_EQ(chars, (std::vector<WPARAM>{'a', 'B'}));
  EXPECT_TRUE(MessagesOf(a, {WM_KEYDOWN, WM_CHAR}).empty());
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);

  // Disabled or hidden windows cannot take the focus; disabling the focus window drops it.
  EnableWindow(a, false);
  EXPECT_EQ(SetFocus(a), nullptr);
  EXPECT_EQ(GetFocus(), b);
  EnableWindow(b, false);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowsTest, KeyStateFollowsScriptedKeys) {
  HWND top = Top(0, 0, 50, 50);
  SetFocus(top);
  headless::KeyDown(VK_CONTROL);
  headless::Pump();
  EXPECT_LT(GetKeyState(VK_CONTROL), 0);
  EXPECT_LT(GetAsyncKeyState(VK_CONTROL), 0);
  g_log.clear();
  headless::KeyDown('C');
  headless::Pump();
  // Ctrl+C types the control character 3.
  auto chars = MessagesOf(top, {WM_CHAR});
  ASSERT_EQ(chars.size(), 1u);
  auto it = std::find_if(g_log.begin(), g_log.end(), [](const TLogged& l) { return l.msg == WM_CHAR; });
  EXPECT_EQ(it->wParam, 3u);
  headless::KeyUp('C');
  headless::KeyUp(VK_CONTROL);
  headless::Pump();
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
}

TEST_F(WindowsTest, PaintingTouchesOnlyTheInvalidatedRegion) {
  HWND w = Top(0, 0, 40, 30);
  g_handlers[w] = Painter(RGB(255, 0, 0));
  headless::Pump();
  EXPECT_EQ(headless::ClientPixel(w, 39, 29), RGB(255, 0, 0));
  g_handlers[w] = Painter(RGB(0, 0, 255));
  TRect r = Rect(10, 5, 20, 15);
  InvalidateRect(w, &r, true);
  headless::Pump();
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      bool inside = x >= 10 && x < 20 && y >= 5 && y < 15;
      ASSERT_EQ(headless::ClientPixel(w, x, y), inside ? RGB(0, 0, 255) : RGB(255, 0, 0)) << x << "," << y;
    }
  // A validated window is not painted.
  InvalidateRect(w, nullptr, false);
  ValidateRect(w, nullptr);
  g_log.clear();
  headless::Pump();
  EXPECT_TRUE(MessagesOf(w, {WM_PAINT}).empty());
  TRect u;
  EXPECT_FALSE(GetUpdateRect(w, &u, false));
}

TEST_F(WindowsTest, ChildrenAreClippedFromAParentWithClipChildren) {
  for (bool clip : {true, false}) {
    HWND top = Top(0, 0, 60, 40, WS_POPUP | WS_VISIBLE | (clip ? WS_CLIPCHILDREN : 0));
    HWND kid = Child(top, 10, 10, 20, 20);
    g_handlers[top] = Painter(RGB(0, 128, 0));
    g_handlers[kid] = Painter(RGB(255, 255, 0));
    headless::Pump();
    EXPECT_EQ(headless::ClientPixel(top, 15, 15), RGB(255, 255, 0));
    EXPECT_EQ(headless::ClientPixel(top, 5, 5), RGB(0, 128, 0));
    // Repainting the parent: with WS_CLIPCHILDREN the child is left alone; without, the child is
    // painted again after the parent.
    g_log.clear();
    InvalidateRect(top, nullptr, true);
    headless::Pump();
    EXPECT_EQ(headless::ClientPixel(top, 15, 15), RGB(255, 255, 0)) << clip;
    EXPECT_EQ(MessagesOf(kid, {WM_PAINT}).size(), clip ? 0u : 1u) << clip;
    // A GetDC drawing of the parent: clipped from the child only with WS_CLIPCHILDREN.
    HDC dc = GetDC(top);
    HBRUSH b = CreateSolidBrush(RGB(0, 0, 0));
    TRect all = Rect(0, 0, 60, 40);
    FillRect(dc, &all, b);
    DeleteObject(b);
    ReleaseDC(top, dc);
    EXPECT_EQ(headless::ClientPixel(top, 15, 15), clip ? RGB(255, 255, 0) : RGB(0, 0, 0)) << clip;
    DestroyWindow(top);
  }
}

TEST_F(WindowsTest, SiblingsAboveClipTheOnesBelow) {
  HWND top = Top(0, 0, 60, 40, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  HWND below = Child(top, 0, 0, 30, 30);
  HWND above = Child(top, 20, 0, 30, 30);  // created later: on top
  g_handlers[below] = Painter(RGB(255, 0, 0));
  g_handlers[above] = Painter(RGB(0, 0, 255));
  headless::Pump();
  InvalidateRect(below, nullptr, true);
  headless::Pump();
  EXPECT_EQ(headless::ClientPixel(top, 25, 5), RGB(0, 0, 255));
  SetWindowPos(below, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  headless::Pump();
  EXPECT_EQ(headless::ClientPixel(top, 25, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetWindow(top, GW_CHILD), below);
}

TEST_F(WindowsTest, FrameStylesShrinkTheClientAreaAndHitTest) {
  HWND top = Top(100, 50, 100, 80, WS_POPUP | WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE);
  TRect c;
  GetClientRect(top, &c);
  EXPECT_EQ(c, Rect(0, 0, 94, 74));  // 1 border + 2 edge on each side
  POINT p{0, 0};
  ClientToScreen(top, &p);
  EXPECT_EQ(p, Point(103, 53));
  EXPECT_EQ(SendMessage(top, WM_NCHITTEST, 0, MAKELPARAM(110, 60)), HTCLIENT);
  EXPECT_EQ(SendMessage(top, WM_NCHITTEST, 0, MAKELPARAM(101, 60)), HTBORDER);
  EXPECT_EQ(SendMessage(top, WM_NCHITTEST, 0, MAKELPARAM(99, 60)), HTNOWHERE);
  // Scroll bars take their width from the client area.
  ShowScrollBar(top, SB_VERT, true);
  GetClientRect(top, &c);
  EXPECT_EQ(c.Right, 94 - GetSystemMetrics(SM_CXVSCROLL));
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 99;
  si.nPage = 10;
  si.nPos = 500;
  EXPECT_EQ(SetScrollInfo(top, SB_VERT, &si, true), 90);  // clamped to max - page + 1
  TRect adj = Rect(0, 0, 94, 74);
  AdjustWindowRectEx(&adj, WS_BORDER, false, WS_EX_CLIENTEDGE);
  EXPECT_EQ(adj, Rect(-3, -3, 97, 77));
}

TEST_F(WindowsTest, WindowRegionsShapeHitTestingAndPainting) {
  HWND below = Top(0, 0, 100, 100);
  HWND shaped = Top(0, 0, 100, 100);
  g_handlers[shaped] = Painter(RGB(0, 255, 0));
  ASSERT_TRUE(SetWindowRgn(shaped, CreateRectRgn(20, 20, 60, 60), true));
  headless::Pump();
  EXPECT_EQ(WindowFromPoint(Point(30, 30)), shaped);
  EXPECT_EQ(WindowFromPoint(Point(5, 5)), below);
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(shaped, r), SIMPLEREGION);
  TRect box;
  GetRgnBox(r, &box);
  EXPECT_EQ(box, Rect(20, 20, 60, 60));
  DeleteObject(r);
  // Painting stays inside the region.
  EXPECT_EQ(headless::ClientPixel(shaped, 30, 30), RGB(0, 255, 0));
  EXPECT_NE(headless::ClientPixel(shaped, 5, 5), RGB(0, 255, 0));
  std::vector<TRect> rects;
  EXPECT_TRUE(TopLevelRegion(shaped, rects));
  SetWindowRgn(shaped, nullptr, true);
  EXPECT_EQ(WindowFromPoint(Point(5, 5)), shaped);
}

TEST_F(WindowsTest, TransparentHitTestPassesTheMouseBelow) {
  HWND top = Top(0, 0, 100, 100);
  HWND under = Child(top, 0, 0, 50, 50);
  HWND glass = Child(top, 0, 0, 50, 50);  // on top of under
  g_handlers[glass] = [](HWND, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m != WM_NCHITTEST) return false;
    r = HTTRANSPARENT;
    return true;
  };
  headless::Click(glass, 10, 10);
  EXPECT_EQ(MessagesOf(under, {WM_LBUTTONDOWN}).size(), 1u);
  EXPECT_TRUE(MessagesOf(glass, {WM_LBUTTONDOWN}).empty());
}

TEST_F(WindowsTest, LayeredWindowsShowPerPixelAlpha) {
  HWND w = Top(0, 0, 4, 4, WS_POPUP | WS_VISIBLE, WS_EX_LAYERED);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 4;
  bi.bmiHeader.biHeight = -4;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(bmp);
  auto* px = static_cast<uint32_t*>(bits);
  for (int i = 0; i < 16; ++i) px[i] = 0x80400000;  // premultiplied half-transparent blue 0x40
  px[0] = 0;                                         // fully transparent corner
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, bmp);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SIZE size{4, 4};
  POINT src{0, 0};
  ASSERT_TRUE(UpdateLayeredWindow(w, nullptr, nullptr, &size, dc, &src, 0, &bf, ULW_ALPHA));
  auto shown = headless::WindowPixels(w);
  ASSERT_EQ(shown.Width, 4);
  EXPECT_EQ(shown.At(0, 0), 0u);
  EXPECT_EQ(shown.At(2, 2), 0x80400000u);
  DeleteDC(dc);
  DeleteObject(bmp);
  // Only layered windows take the call.
  HWND plain = Top(0, 0, 4, 4);
  EXPECT_FALSE(UpdateLayeredWindow(plain, nullptr, nullptr, &size, nullptr, nullptr, 0, &bf, ULW_ALPHA));
}

TEST_F(WindowsTest, DialogsAreAnsweredFromTheScript) {
  headless::AnswerNextMessageBox(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Overwrite?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Again?", "Confirm", MB_YESNO), IDNO);  // unanswered: the "no" button
  auto boxes = headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Text, "Overwrite?");
  EXPECT_EQ(boxes[0].Type, 36u);

  headless::AnswerNextFileDialog(true, "/tmp/clip", 2);
  TFileDialogRequest req;
  req.Save = true;
  req.Filter = "GIF images|*.gif|All Files|*.*";
  req.DefaultExt = "gif";
  TFileDialogResult res;
  ASSERT_TRUE(ExecuteFileDialog(req, res));
  EXPECT_EQ(res.FileName, "/tmp/clip.gif");
  EXPECT_EQ(res.FilterIndex, 2);
  EXPECT_FALSE(ExecuteFileDialog(req, res));  // unanswered: cancelled
  EXPECT_EQ(headless::FileDialogs().size(), 2u);
}

TEST_F(WindowsTest, DialogFiltersMatchCaseInsensitively) {
  auto f = ParseDialogFilter("Video files|*.AVI;*.MP4|All Files|*.*");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].Description, "Video files");
  EXPECT_EQ(f[0].Patterns, (std::vector<std::string>{"*.AVI", "*.MP4"}));
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  } cases[] = {{"clip.avi", "*.AVI", true}, {"CLIP.Mp4", "*.mp4", true}, {"clip.avi.txt", "*.avi", false},
               {"README", "*.*", true},     {"a.b", "?.B", true},       {"ab.b", "?.b", false}};
  for (const Case& c : cases) EXPECT_EQ(MatchesFilePattern(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

TEST_F(WindowsTest, ClipboardConvertsBetweenTextFormats) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));  // already open
  EmptyClipboard();
  const char text[] = "h\xC3\xA9llo";
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  std::memcpy(GlobalLock(h), text, sizeof text);
  GlobalUnlock(h);
  SetClipboardData(CF_TEXT, h);
  auto* u = static_cast<const char16_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(std::u16string(u), u"h\u00e9llo");
  CloseClipboard();
  EXPECT_EQ(GetClipboardText(), text);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  UINT f = RegisterClipboardFormat("Zonvark Selection");
  EXPECT_GE(f, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormat("zonvark selection"), f);
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);  // closed
}

TEST_F(WindowsTest, ScrollWindowMovesPixelsAndInvalidatesTheUncoveredStrip) {
  HWND w = Top(0, 0, 20, 20);
  g_handlers[w] = [](HWND wnd, UINT m, WPARAM, LPARAM, LRESULT& r) {
    if (m == WM_ERASEBKGND) {
      r = 1;
      return true;
    }
    if (m != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) SetPixel(dc, x, y, RGB(uint8_t(x * 10), 0, 0));
    EndPaint(wnd, &ps);
    return true;
  };
  headless::Pump();
  ScrollWindowEx(w, -5, 0, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
  TRect u;
  ASSERT_TRUE(GetUpdateRect(w, &u, false));
  EXPECT_EQ(u, Rect(15, 0, 20, 20));
  EXPECT_EQ(headless::ClientPixel(w, 0, 3), RGB(50, 0, 0));
  EXPECT_EQ(headless::ClientPixel(w, 14, 3), RGB(190, 0, 0));
}

TEST_F(WindowsTest, CaretInvertsPixelsOnlyWhileShown) {
  HWND w = Top(0, 0, 20, 20);
  g_handlers[w] = Painter(RGB(255, 255, 255));
  headless::Pump();
  ASSERT_TRUE(CreateCaret(w, nullptr, 1, 5));
  SetCaretPos(3, 2);
  headless::Pump();
  EXPECT_EQ(headless::ClientPixel(w, 3, 3), RGB(255, 255, 255));  // created hidden
  ShowCaret(w);
  headless::Pump();
  EXPECT_EQ(headless::ClientPixel(w, 3, 3), RGB(0, 0, 0));
  HideCaret(w);
  EXPECT_EQ(headless::ClientPixel(w, 3, 3), RGB(255, 255, 255));
  DestroyCaret();
}

TEST_F(WindowsTest, SetWindowPosSendsPositionMessagesAndMovesChildren) {
  HWND top = Top(0, 0, 100, 100);
  HWND kid = Child(top, 10, 10, 20, 20);
  g_log.clear();
  SetWindowPos(kid, nullptr, 30, 40, 25, 15, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(MessagesOf(kid, {WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  TRect r;
  GetWindowRect(kid, &r);
  EXPECT_EQ(r, Rect(30, 40, 55, 55));
  MoveWindow(top, 200, 100, 100, 100, true);
  GetWindowRect(kid, &r);
  EXPECT_EQ(r, Rect(230, 140, 255, 155));
  // A hidden window gets no mouse.
  ShowWindow(kid, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(kid));
  EXPECT_EQ(WindowFromPoint(Point(235, 145)), top);
}

TEST_F(WindowsTest, SystemMetricsAreTheClassicValues) {
  struct Case {
    int index;
    int value;
  } cases[] = {{SM_CXVSCROLL, 16}, {SM_CYHSCROLL, 16}, {SM_CXBORDER, 1}, {SM_CXEDGE, 2},
               {SM_SWAPBUTTON, 0}, {SM_CXDOUBLECLK, 4}, {SM_REMOTESESSION, 0}, {SM_CXSCREEN, 1024}};
  for (const Case& c : cases) EXPECT_EQ(GetSystemMetrics(c.index), c.value) << c.index;
  UINT lines = 0;
  EXPECT_TRUE(SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  EXPECT_EQ(lines, 3u);
  TRect work;
  EXPECT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_FALSE(work.IsEmpty());
  EXPECT_NE(LoadCursor(nullptr, IDC_HAND), nullptr);
  EXPECT_EQ(LoadCursor(nullptr, IDC_HAND), LoadCursor(nullptr, IDC_HAND));
  EXPECT_EQ(LoadCursor(nullptr, MAKEINTRESOURCE(1786)), nullptr);
}

TEST_F(WindowsTest, OpeningADocumentGoesThroughTheBackEnd) {
  SHELLEXECUTEINFO info;
  info.cbSize = 60;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "Open";
  info.lpFile = "https://example.org/help";
  info.nShow = SW_SHOWNORMAL;
  EXPECT_TRUE(ShellExecuteExA(&info));
  EXPECT_GT(reinterpret_cast<uintptr_t>(info.hInstApp), 32u);
  EXPECT_EQ(headless::OpenedDocuments(), (std::vector<std::string>{"https://example.org/help"}));
}

}  // namespace
}  // namespace zv

// The window objects behind HWND and the state the window layer's sources share (main thread only,
// except the live-window set, which PostMessage consults from any thread).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"
#include "platform/windows.h"

namespace zv {

struct TScrollBarState {
  SCROLLINFO info{sizeof(SCROLLINFO), 0, 0, 100, 0, 0, 0};
  UINT disabledArrows = 0;
};

struct TWindowClass {
  WNDCLASS wc;
  std::string name;
};

struct HWND__ {
  std::shared_ptr<TWindowClass> cls;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;
  LONG_PTR userData = 0;
  HINSTANCE instance = nullptr;
  std::vector<uint8_t> extra;  // the class's window extra bytes
  std::string text;
  HFONT font = nullptr;
  HWND__* parent = nullptr;              // child windows
  HWND__* owner = nullptr;               // top-level windows
  std::vector<HWND__*> children;         // top of the z-order first
  TRect rect;                        // window rectangle: parent's client coordinates / screen
  TRect client;                      // client rectangle in window coordinates
  bool minimized = false;
  bool maximized = false;
  // Painting.
  RegionData update;  // client coordinates
  bool erasePending = false;
  bool framePending = false;
  bool internalPaint = false;
  std::optional<RegionData> windowRgn;  // window coordinates
  // Top-level windows: the pixels everything in the window is drawn into.
  std::shared_ptr<GdiSurface> surface;
  // Layered top-level windows.
  std::shared_ptr<GdiSurface> layered;  // premultiplied B,G,R,A set by UpdateLayeredWindow
  uint8_t layerAlpha = 255;
  COLORREF layerKey = 0;
  DWORD layerFlags = 0;
  std::vector<uint8_t> shownPixels;  // the converted pixels handed to the back end
  void* backendData = nullptr;
  TScrollBarState hbar, vbar;
  int sendDepth = 0;        // calls of its procedure running now
  bool destroying = false;  // WM_DESTROY sent
  bool dead = false;        // WM_NCDESTROY sent; freed once sendDepth is 0
};

// Live-window bookkeeping.
void RegisterLiveWindow(HWND w);
void UnregisterLiveWindow(HWND w);
bool IsLiveWindow(HWND w);  // any thread

// All top-level windows, topmost first.
std::vector<HWND>& TopLevels();
HWND TopOf(HWND w);
// The offset of the window's (0,0) inside its top-level window's surface, and on the screen.
TPoint WindowOriginInTop(HWND w);
TPoint WindowOriginOnScreen(HWND w);
bool ReallyVisible(HWND w);
// The part of the window (client area only or all) that shows in its top-level surface, in surface
// coordinates; children are left out with clipChildren.
RegionData VisibleRegion(HWND w, bool clientOnly, bool clipChildren);
// (Re)creates the top-level's surface at its window size, keeping what fits.
void ResizeSurface(HWND top);
// The window's frame: recomputed client rectangle from WM_NCCALCSIZE.
void RecalcClient(HWND w);
// The default non-client area of a style (client rectangle inside a window rectangle).
TRect DefaultClientRect(HWND w, const TRect& windowRect);
// Marks a top-level window's pixels as changed, handed to the back end when the loop goes idle.
void MarkPresent(HWND top, const TRect& surfaceRect);
void FlushPresents();
// Painting helpers for the message loop.
HWND FindWindowToPaint();
void PaintWindowNow(HWND w);
// Default handling of painting-related messages.
LRESULT DefPaintMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
// Default handling of a click on a standard scroll bar (hit is HTVSCROLL or HTHSCROLL).
LRESULT ScrollBarClick(HWND w, int hit, POINT screen);
// Default handling of input-related messages (hit test, set-cursor, scroll bars, mouse activate).
LRESULT DefInputMessage(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
// Forgets input state that points at a window being destroyed or hidden.
void ForgetWindowInput(HWND w);
// Caret: erased before painting in the top-level window, redrawn when idle.
void HideCaretForPaint(HWND top);
void CaretIdle(uint32_t now);
uint32_t NextCaretDeadline(uint32_t now);
void ForgetCaret(HWND w);
// Key state recorded by the input layer.
void SetKeyDown(int vk, bool down);
// Time base of input messages: the back end's input clock.
DWORD InputNow();
// The clock timers run on: the tick count, except that it stands still while held (headless::Pump
// holds it while it handles the script's messages) but for the time spent waiting for messages. A slow
// machine then does not make timers fire between the steps of a script.
DWORD TimerNow();
void HoldTimerClock(bool hold);
void TimerClockWaited(DWORD ms);
// Stored texts of key messages, for TranslateMessage.
std::string TakeKeyText(LPARAM keyData);
// Clipboard teardown.
void ResetClipboard();
// Window layer set-up (DC provider, dispatcher) done once.
void EnsureWindowing();

}  // namespace zv

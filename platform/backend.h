// The desktop behind the window layer: one small interface with a headless implementation (memory
// surfaces, scripted input and dialog answers; every test uses it) and a GTK 3 one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/windows.h"

namespace zv {

// A file dialog as the class library's TOpenDialog / TSaveDialog asks for it.
struct TFileDialogRequest {
  bool Save = false;
  HWND Owner = nullptr;
  std::string Title;
  // The class library's filter: "Video files|*.AVI;*.MP4|All Files|*.*" (description|patterns pairs).
  std::string Filter;
  int FilterIndex = 1;  // 1-based
  std::string InitialDir;
  std::string FileName;
  std::string DefaultExt;  // without the dot; appended when the chosen name has no extension
  bool OverwritePrompt = false;
  bool FileMustExist = false;
};

struct TFileDialogResult {
  std::string FileName;
  int FilterIndex = 1;
};

// One (description, patterns) entry of a class-library filter; patterns split at ';'.
struct TFilterEntry {
  std::string Description;
  std::vector<std::string> Patterns;
};
std::vector<TFilterEntry> ParseDialogFilter(const std::string& filter);
// Case-insensitive match of a file name (not a path) against a "*.avi"-style pattern ('*', '?').
bool MatchesFilePattern(const std::string& fileName, const std::string& pattern);

// What a font dialog starts from and answers: the face, the height as the class library's font height
// (negative: character height in pixels), style bits (1 bold, 2 italic, 4 underline, 8 strike-out) and
// the colour.
struct TFontDialogData {
  std::string Name;
  int32_t Height = 0;
  uint8_t Style = 0;
  TColor Color = 0;
};

// What the window layer asks of the desktop. Calls come on the main thread except Wake.
class TBackend {
 public:
  virtual ~TBackend() = default;
  virtual const char* Name() const = 0;

  // A top-level window got or lost its native counterpart.
  virtual void WindowCreated(HWND wnd) = 0;
  virtual void WindowDestroyed(HWND wnd) = 0;
  // Bounds, visibility, z-order, region, layering, minimised state or caption changed.
  virtual void WindowChanged(HWND wnd) = 0;
  // Pixels of the window's surface changed within dirty (window coordinates).
  virtual void WindowPainted(HWND wnd, const TRect& dirty) = 0;
  // Handles native events, waiting up to timeoutMs (0: none pending -> return at once) for one or for
  // the main thread's queue to get work. Returns whether anything was handled or arrived.
  virtual bool Pump(uint32_t timeoutMs) = 0;

  // Modal interaction.
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
  virtual bool FileDialog(const TFileDialogRequest& request, TFileDialogResult& result) = 0;
  // The font and colour choosers: true with the choice in the argument, false on Cancel.
  virtual bool FontDialog(HWND /*owner*/, TFontDialogData& /*font*/) { return false; }
  virtual bool ColorDialog(HWND /*owner*/, TColor& /*color*/) { return false; }
  // Opens a URL or file with the desktop's default program.
  virtual bool OpenDocument(const std::string& target) = 0;

  virtual void Beep(UINT /*type*/) {}
  virtual void SetCursorShape(HWND /*top*/, HCURSOR /*cursor*/) {}
  // Starts the desktop's move loop for a top-level window (WM_SYSCOMMAND SC_MOVE).
  virtual void BeginMoveDrag(HWND /*top*/) {}
  virtual void SetPointerPos(int /*x*/, int /*y*/) {}
  // Text exchanged with the desktop's clipboard (headless: none).
  virtual void ExportClipboardText(const std::string& /*utf8*/) {}
  virtual bool ImportClipboardText(std::string& /*utf8*/) { return false; }
  // What the desktop shows in a screen rectangle, as 0x00RRGGBB rows (gtk: read back through GDK);
  // false when the back end has no screen.
  virtual bool CaptureScreen(const TRect& /*screenRect*/, std::vector<uint32_t>& /*pixels*/) { return false; }
  // The screen size and work area.
  virtual TRect ScreenRect() const { return Rect(0, 0, 1024, 768); }
  virtual TRect WorkArea() const { return Rect(0, 0, 1024, 768); }
  // Whether layered windows show their per-pixel alpha over what lies below them (headless: yes).
  virtual bool CompositesAlpha() const { return true; }
  // The clock of input events and message times in ms: the tick count (headless: a clock that moves
  // only with the script, so that double clicks and typing pauses do not depend on the machine's speed).
  virtual DWORD InputTime() const;
};

// The back end in use, chosen on first use: gtk when a display can be opened and ZONVARK_HEADLESS is
// not "1", headless otherwise.
TBackend& Backend();
// Replaces the back end (before any window exists); tests use it to run gtk explicitly.
void SetBackend(std::unique_ptr<TBackend> backend);
bool BackendIsHeadless();
// For the program's start: false after printing to stderr that a desktop is needed, when no display
// can be opened and headless mode was not requested. The caller then exits non-zero.
bool EnsureDesktop();
std::unique_ptr<TBackend> CreateHeadlessBackend();
// nullptr when GTK cannot open the display.
std::unique_ptr<TBackend> CreateGtkBackend();

// Entry points for the class library's dialogs (run on the main thread).
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
bool ExecuteFileDialog(const TFileDialogRequest& request, TFileDialogResult& result);
bool ExecuteFontDialog(HWND owner, TFontDialogData& font);
bool ExecuteColorDialog(HWND owner, TColor& color);
bool OpenWithDefaultProgram(const std::string& target);

// ---------------------------------------------------------------------------------------------
// Input from a back end: native events become our queued input messages
// ---------------------------------------------------------------------------------------------

enum class TInputButton : uint8_t { Left, Right, Middle };

// Positions are screen coordinates. Shift is the MK_SHIFT / MK_CONTROL state; time in ms (0: now).
void InputMouseMove(int x, int y, DWORD time = 0);
void InputMouseButton(TInputButton button, bool down, int x, int y, DWORD time = 0);
void InputMouseWheel(int delta, bool horizontal, int x, int y, DWORD time = 0);
// A key with its virtual-key code; text is what it types (UTF-8, may be empty), turned into WM_CHAR by
// TranslateMessage.
void InputKey(int vk, bool down, const std::string& text, DWORD time = 0);
// Text with no key (an input method): WM_CHAR to the focus window directly.
void InputText(const std::string& text);
// The desktop moved, resized, minimised, restored, activated or closed a top-level window.
void InputWindowMoved(HWND top, int x, int y);
void InputWindowResized(HWND top, int width, int height);
void InputWindowMinimized(HWND top, bool minimized);
void InputWindowActivated(HWND top, bool active);
void InputWindowClose(HWND top);
// The pixels to show for a top-level window (premultiplied B,G,R,A for layered windows, otherwise
// B,G,R,X), its size, and whether alpha is meaningful. nullptr for an unknown window.
const uint8_t* TopLevelPixels(HWND top, int& width, int& height, int& stride, bool& hasAlpha);
// The window region of a top-level window as rectangles (window coordinates); false when it has none.
bool TopLevelRegion(HWND top, std::vector<TRect>& rects);
// Native back-end data attached to a top-level window.
void SetBackendData(HWND top, void* data);
void* GetBackendData(HWND top);
// Top-level windows, topmost first.
std::vector<HWND> TopLevelWindows();

// ---------------------------------------------------------------------------------------------
// The headless back end's script API (main thread; the functions queue input and return; the
// messages arrive when the test pumps, e.g. with headless::Pump())
// ---------------------------------------------------------------------------------------------
namespace headless {

// Client coordinates of wnd.
void MouseMove(HWND wnd, int x, int y);
void MouseDown(HWND wnd, int x, int y, TInputButton button = TInputButton::Left);
void MouseUp(HWND wnd, int x, int y, TInputButton button = TInputButton::Left);
void Click(HWND wnd, int x, int y, TInputButton button = TInputButton::Left);
void DoubleClick(HWND wnd, int x, int y);
void Wheel(HWND wnd, int x, int y, int delta);
// Key down and up (with the text the key types when it types one: letters, digits, space ...).
// Modifier keys stay down between KeyDown and KeyUp.
void KeyDown(int vk);
void KeyUp(int vk);
void PressKey(int vk, bool shift = false, bool ctrl = false, bool alt = false);
// Types text: one key per character (letters and digits by their keys, others as text).
void TypeText(const std::string& utf8);
// The input clock. It moves only with the script: by EventStepMs with each input event the functions
// above inject, and by ms with AdvanceTime (double-click timing without waiting); wall time spent
// between events does not count.
constexpr uint32_t EventStepMs = 10;
void AdvanceTime(uint32_t ms);
// Runs the main thread's messages until none are left (timers due now included). Timers do not count
// the time it spends handling them, only time it waits (a modal loop), so that they fire between the
// script's steps as on a fast machine however slow this one is.
void Pump();

// A copy of a top-level window's pixels (window coordinates, 0x00RRGGBB per pixel; alpha in the top
// byte for layered windows), row by row.
struct TPixels {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Data;
  uint32_t At(int x, int y) const { return Data[size_t(y) * size_t(Width) + size_t(x)]; }
};
TPixels WindowPixels(HWND top);
// The pixel in wnd's client coordinates (through its top-level surface) as a COLORREF.
COLORREF ClientPixel(HWND wnd, int x, int y);

// Script answers: the next message box returns result; the next file dialog returns ok with the name
// and filter index. Unanswered dialogs return IDCANCEL / false (recorded all the same).
void AnswerNextMessageBox(int result);
void AnswerNextFileDialog(bool ok, const std::string& fileName = "", int filterIndex = 1);
// The next font (colour) dialog returns ok with the choice; unanswered ones return false. What each
// dialog started from is recorded.
void AnswerNextFontDialog(bool ok, const TFontDialogData& font = {});
void AnswerNextColorDialog(bool ok, TColor color = 0);
std::vector<TFontDialogData> FontDialogs();
std::vector<TColor> ColorDialogs();
struct TMessageBoxRecord {
  std::string Text;
  std::string Caption;
  UINT Type = 0;
};
std::vector<TMessageBoxRecord> MessageBoxes();
std::vector<TFileDialogRequest> FileDialogs();
std::vector<std::string> OpenedDocuments();
// The desktop has no program to open documents with until ClearRecords: OpenDocument fails (the
// request is still recorded).
void FailDocumentOpening();
int BeepCount();
// The top-level windows a move drag was started for (a caption drag), in order.
std::vector<HWND> MoveDrags();
void ClearRecords();

}  // namespace headless

}  // namespace zv

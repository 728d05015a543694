// Choosing the back end, what every back end shares (pixels to show, dialog filters), and the headless
// back end with its script API.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/backend.h"
#include "platform/message_queue.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

std::unique_ptr<TBackend>& Slot() {
  static std::unique_ptr<TBackend> backend;
  return backend;
}

bool HeadlessRequested() {
  const char* v = std::getenv("ZONVARK_HEADLESS");
  return v && std::strcmp(v, "1") == 0;
}

bool DisplayNamed() {
  const char* d = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (d && *d) || (w && *w);
}

// ---------------------------------------------------------------------------------------------
// The headless back end
// ---------------------------------------------------------------------------------------------

struct TScriptState {
  std::deque<int> boxAnswers;
  struct FileAnswer {
    bool ok;
    std::string name;
    int index;
  };
  std::deque<FileAnswer> fileAnswers;
  std::deque<std::pair<bool, TFontDialogData>> fontAnswers;
  std::deque<std::pair<bool, TColor>> colorAnswers;
  std::vector<TFontDialogData> fonts;
  std::vector<TColor> colors;
  std::vector<headless::TMessageBoxRecord> boxes;
  std::vector<TFileDialogRequest> dialogs;
  std::vector<std::string> documents;
  bool documentsFail = false;
  int beeps = 0;
  std::vector<HWND> moveDrags;
} g_script;

// The headless input clock; it starts at the tick count and then moves only with the script.
DWORD g_inputClock = 0;

class THeadlessBackend : public TBackend {
 public:
  THeadlessBackend() { g_inputClock = GetTickCount(); }
  const char* Name() const override { return "headless"; }
  void WindowCreated(HWND) override {}
  void WindowDestroyed(HWND) override {}
  void WindowChanged(HWND) override {}
  void WindowPainted(HWND, const TRect&) override {}
  bool Pump(uint32_t timeoutMs) override {
    if (timeoutMs == 0) return false;
    return WaitForQueueActivity(timeoutMs);
  }
  int MessageBox(HWND, const std::string& text, const std::string& caption, UINT type) override {
    g_script.boxes.push_back({text, caption, type});
    if (g_script.boxAnswers.empty()) {
      // An unanswered box takes its cancel-like button, as closing it would.
      UINT kind = type & 0xF;
      if (kind == MB_OK) return IDOK;
      if (kind == MB_YESNO) return IDNO;
      return IDCANCEL;
    }
    int r = g_script.boxAnswers.front();
    g_script.boxAnswers.pop_front();
    return r;
  }
  bool FileDialog(const TFileDialogRequest& request, TFileDialogResult& result) override {
    g_script.dialogs.push_back(request);
    if (g_script.fileAnswers.empty()) return false;
    auto a = g_script.fileAnswers.front();
    g_script.fileAnswers.pop_front();
    if (!a.ok) return false;
    result.FileName = a.name;
    result.FilterIndex = a.index;
    return true;
  }
  bool FontDialog(HWND, TFontDialogData& font) override {
    g_script.fonts.push_back(font);
    if (g_script.fontAnswers.empty()) return false;
    auto a = g_script.fontAnswers.front();
    g_script.fontAnswers.pop_front();
    if (a.first) font = a.second;
    return a.first;
  }
  bool ColorDialog(HWND, TColor& color) override {
    g_script.colors.push_back(color);
    if (g_script.colorAnswers.empty()) return false;
    auto a = g_script.colorAnswers.front();
    g_script.colorAnswers.pop_front();
    if (a.first) color = a.second;
    return a.first;
  }
  bool OpenDocument(const std::string& target) override {
    g_script.documents.push_back(target);
    return !g_script.documentsFail;
  }
  void Beep(UINT) override { ++g_script.beeps; }
  void BeginMoveDrag(HWND top) override { g_script.moveDrags.push_back(top); }
  DWORD InputTime() const override { return g_inputClock; }
};

}  // namespace

TBackend& Backend() {
  auto& b = Slot();
  if (!b) {
    if (!HeadlessRequested() && DisplayNamed()) b = CreateGtkBackend();
    if (!b) b = CreateHeadlessBackend();
  }
  return *b;
}

void SetBackend(std::unique_ptr<TBackend> backend) { Slot() = std::move(backend); }

bool BackendIsHeadless() { return std::strcmp(Backend().Name(), "headless") == 0; }

bool EnsureDesktop() {
  if (HeadlessRequested()) return true;
  if (!BackendIsHeadless()) return true;
  std::fprintf(stderr,
               "This program needs a desktop: no display could be opened (set DISPLAY, or "
               "ZONVARK_HEADLESS=1 to run without one).\n");
  return false;
}

DWORD TBackend::InputTime() const { return GetTickCount(); }

std::unique_ptr<TBackend> CreateHeadlessBackend() { return std::make_unique<THeadlessBackend>(); }

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  // The program's windows take no input while the box is up.
  std::vector<HWND> disabled;
  for (HWND t : TopLevels())
    if (IsWindowEnabled(t) && IsWindowVisible(t)) disabled.push_back(t);
  for (HWND t : disabled) EnableWindow(t, false);
  int r = Backend().MessageBox(owner, text, caption, type);
  for (HWND t : disabled)
    if (IsWindow(t)) EnableWindow(t, true);
  return r;
}

bool ExecuteFontDialog(HWND owner, TFontDialogData& font) { return Backend().FontDialog(owner, font); }
bool ExecuteColorDialog(HWND owner, TColor& color) { return Backend().ColorDialog(owner, color); }

bool ExecuteFileDialog(const TFileDialogRequest& request, TFileDialogResult& result) {
  TFileDialogResult r;
  r.FileName = request.FileName;
  r.FilterIndex = request.FilterIndex;
  if (!Backend().FileDialog(request, r)) return false;
  // A name without an extension gets the default one.
  if (!request.DefaultExt.empty() && !r.FileName.empty()) {
    size_t slash = r.FileName.find_last_of('/');
    size_t dot = r.FileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) r.FileName += "." + request.DefaultExt;
  }
  result = r;
  return true;
}

bool OpenWithDefaultProgram(const std::string& target) { return !target.empty() && Backend().OpenDocument(target); }

std::vector<TFilterEntry> ParseDialogFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<TFilterEntry> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    TFilterEntry e;
    e.Description = parts[i];
    size_t s = 0;
    const std::string& p = parts[i + 1];
    while (s <= p.size()) {
      size_t semi = p.find(';', s);
      if (semi == std::string::npos) semi = p.size();
      std::string pat = p.substr(s, semi - s);
      while (!pat.empty() && pat.front() == ' ') pat.erase(pat.begin());
      while (!pat.empty() && pat.back() == ' ') pat.pop_back();
      if (!pat.empty()) e.Patterns.push_back(pat);
      s = semi + 1;
    }
    out.push_back(e);
  }
  return out;
}

bool MatchesFilePattern(const std::string& name, const std::string& pattern) {
  // "*.*" means every file, with or without a dot, as the desktop's dialogs take it.
  if (pattern == "*.*" || pattern == "*") return true;
  auto low = [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); };
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || low(pattern[p]) == low(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// ---------------------------------------------------------------------------------------------
// Pixels and data for the back ends
// ---------------------------------------------------------------------------------------------

const uint8_t* TopLevelPixels(HWND top, int& width, int& height, int& stride, bool& hasAlpha) {
  if (!IsWindow(top) || top->parent) return nullptr;
  if (top->layered) {
    width = top->layered->width;
    height = top->layered->height;
    stride = top->layered->stride;
    hasAlpha = true;
    return top->layered->bits;
  }
  if (!top->surface) return nullptr;
  GdiSurface* s = top->surface.get();
  width = s->width;
  height = s->height;
  stride = s->stride;
  bool keyed = (top->exStyle & WS_EX_LAYERED) && (top->layerFlags & LWA_COLORKEY);
  bool faded = (top->exStyle & WS_EX_LAYERED) && (top->layerFlags & LWA_ALPHA) && top->layerAlpha != 255;
  if (!keyed && !faded) {
    hasAlpha = false;
    return s->bits;
  }
  // Constant alpha and colour key as premultiplied pixels.
  hasAlpha = true;
  top->shownPixels.resize(s->ByteSize());
  for (int y = 0; y < s->height; ++y) {
    const uint8_t* src = s->Row(y);
    uint8_t* d = top->shownPixels.data() + size_t(y) * size_t(s->stride);
    for (int x = 0; x < s->width; ++x, src += 4, d += 4) {
      COLORREF c = RGB(src[2], src[1], src[0]);
      uint8_t a = (keyed && c == top->layerKey) ? 0 : top->layerAlpha;
      d[0] = uint8_t(src[0] * a / 255);
      d[1] = uint8_t(src[1] * a / 255);
      d[2] = uint8_t(src[2] * a / 255);
      d[3] = a;
    }
  }
  return top->shownPixels.data();
}

bool TopLevelRegion(HWND top, std::vector<TRect>& rects) {
  if (!IsWindow(top) || !top->windowRgn) return false;
  rects = top->windowRgn->rects;
  return true;
}

void SetBackendData(HWND top, void* data) {
  if (IsLiveWindow(top)) top->backendData = data;
}
void* GetBackendData(HWND top) { return IsLiveWindow(top) ? top->backendData : nullptr; }

std::vector<HWND> TopLevelWindows() { return TopLevels(); }

// ---------------------------------------------------------------------------------------------
// Script API
// ---------------------------------------------------------------------------------------------

namespace headless {

namespace {
// Each injected event comes a little after the one before.
void NextEvent() { g_inputClock += EventStepMs; }

POINT ScreenOf(HWND w, int x, int y) {
  POINT p = Point(x, y);
  ClientToScreen(w, &p);
  return p;
}

// The text a key types with the shift state, for the keys a test types.
std::string KeyText(int vk, bool shift) {
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return "";
  if (vk >= 'A' && vk <= 'Z') return std::string(1, char(shift ? vk : vk - 'A' + 'a'));
  if (vk >= '0' && vk <= '9' && !shift) return std::string(1, char(vk));
  if (vk == VK_SPACE) return " ";
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return std::string(1, char('0' + vk - VK_NUMPAD0));
  return "";
}
}  // namespace

void MouseMove(HWND w, int x, int y) {
  POINT p = ScreenOf(w, x, y);
  NextEvent();
  InputMouseMove(p.X, p.Y);
}

void MouseDown(HWND w, int x, int y, TInputButton b) {
  POINT p = ScreenOf(w, x, y);
  NextEvent();
  InputMouseMove(p.X, p.Y);
  NextEvent();
  InputMouseButton(b, true, p.X, p.Y);
}

void MouseUp(HWND w, int x, int y, TInputButton b) {
  POINT p = ScreenOf(w, x, y);
  NextEvent();
  InputMouseMove(p.X, p.Y);
  NextEvent();
  InputMouseButton(b, false, p.X, p.Y);
}

// The messages of each step are handled before the next, as a user's clicks would be: a press may
// set the capture that decides where the release goes.
void Click(HWND w, int x, int y, TInputButton b) {
  MouseDown(w, x, y, b);
  Pump();
  if (IsWindow(w)) MouseUp(w, x, y, b);
  Pump();
}

void DoubleClick(HWND w, int x, int y) {
  Click(w, x, y);
  if (IsWindow(w)) Click(w, x, y);
}

void Wheel(HWND w, int x, int y, int delta) {
  POINT p = ScreenOf(w, x, y);
  NextEvent();
  InputMouseWheel(delta, false, p.X, p.Y);
}

void KeyDown(int vk) {
  bool shift = GetKeyState(VK_SHIFT) < 0;
  NextEvent();
  InputKey(vk, true, KeyText(vk, shift));
}

void KeyUp(int vk) {
  NextEvent();
  InputKey(vk, false, "");
}

void PressKey(int vk, bool shift, bool ctrl, bool alt) {
  if (shift) KeyDown(VK_SHIFT);
  if (ctrl) KeyDown(VK_CONTROL);
  if (alt) KeyDown(VK_MENU);
  KeyDown(vk);
  Pump();
  KeyUp(vk);
  if (alt) KeyUp(VK_MENU);
  if (ctrl) KeyUp(VK_CONTROL);
  if (shift) KeyUp(VK_SHIFT);
  Pump();
}

void TypeText(const std::string& utf8) {
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    std::string ch = utf8.substr(i, size_t(len));
    i += size_t(len);
    int vk = 0;
    bool shift = false;
    if (c >= 'a' && c <= 'z') vk = c - 'a' + 'A';
    else if (c >= 'A' && c <= 'Z') {
      vk = c;
      shift = true;
    } else if (c >= '0' && c <= '9') vk = c;
    else if (c == ' ') vk = VK_SPACE;
    if (vk) {
      PressKey(vk, shift);
    } else {
      NextEvent();
      InputText(ch);
      Pump();
    }
  }
}

void AdvanceTime(uint32_t ms) { g_inputClock += ms; }

void Pump() {
  HoldTimerClock(true);
  struct Release {
    ~Release() { HoldTimerClock(false); }
  } release;
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      // Leave the quit for the program's own loop.
      PostQuitMessage(int(m.wParam));
      break;
    }
    TranslateMessage(&m);
    DispatchMessage(&m);
  }
}

TPixels WindowPixels(HWND top) {
  TPixels out;
  int w, h, stride;
  bool alpha;
  const uint8_t* p = TopLevelPixels(TopOf(top), w, h, stride, alpha);
  if (!p) return out;
  out.Width = w;
  out.Height = h;
  out.Data.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* q = p + size_t(y) * size_t(stride) + size_t(x) * 4;
      out.Data[size_t(y) * size_t(w) + size_t(x)] =
          (alpha ? uint32_t(q[3]) << 24 : 0) | (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0];
    }
  return out;
}

COLORREF ClientPixel(HWND w, int x, int y) {
  if (!IsWindow(w)) return 0;
  HWND top = TopOf(w);
  if (!top->surface) return 0;
  TPoint o = WindowOriginInTop(w);
  int sx = o.X + w->client.Left + x, sy = o.Y + w->client.Top + y;
  if (!top->surface->Contains(sx, sy)) return 0;
  return top->surface->GetPixel(sx, sy);
}

void AnswerNextMessageBox(int result) { g_script.boxAnswers.push_back(result); }
void AnswerNextFileDialog(bool ok, const std::string& fileName, int filterIndex) {
  g_script.fileAnswers.push_back({ok, fileName, filterIndex});
}
std::vector<TMessageBoxRecord> MessageBoxes() { return g_script.boxes; }
std::vector<TFileDialogRequest> FileDialogs() { return g_script.dialogs; }
void AnswerNextFontDialog(bool ok, const TFontDialogData& font) { g_script.fontAnswers.push_back({ok, font}); }
void AnswerNextColorDialog(bool ok, TColor color) { g_script.colorAnswers.push_back({ok, color}); }
std::vector<TFontDialogData> FontDialogs() { return g_script.fonts; }
std::vector<TColor> ColorDialogs() { return g_script.colors; }
std::vector<std::string> OpenedDocuments() { return g_script.documents; }
void FailDocumentOpening() { g_script.documentsFail = true; }
int BeepCount() { return g_script.beeps; }
std::vector<HWND> MoveDrags() { return g_script.moveDrags; }
void ClearRecords() {
  g_script = TScriptState{};
}

}  // namespace headless

}  // namespace zv

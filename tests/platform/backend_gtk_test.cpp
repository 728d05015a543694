// The gtk back end on a virtual display: a window appears with the pixels we painted.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/message_queue.h"
#include "platform/win32.h"
#include "platform/windows.h"

extern char** environ;

namespace zv {
namespace {

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= all.size()) {
    size_t colon = all.find(':', start);
    if (colon == std::string::npos) colon = all.size();
    std::string candidate = all.substr(start, colon - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return "";
}

bool Exists(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0;
}

// An Xvfb server on a free display for the test's life.
class VirtualDisplay {
 public:
  bool Start() {
    std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) return false;
    for (int n = 87; n < 140; ++n) {
      std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      socket_ = "/tmp/.X11-unix/X" + std::to_string(n);
      if (Exists(lock) || Exists(socket_)) continue;
      display_ = ':' + std::to_string(n);
      std::string screen = "640x480x24";
      const char* argv[] = {xvfb.c_str(), display_.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
      if (posix_spawn(&pid_, xvfb.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
      // Wait for the server's socket (or its early exit when the display was taken after all).
      for (int i = 0; i < 500; ++i) {
        if (Exists(socket_)) return true;
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = 0;
          break;
        }
        usleep(20000);
      }
      Stop();
    }
    return false;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status;
      waitpid(pid_, &status, 0);
      pid_ = 0;
    }
  }
  ~VirtualDisplay() { Stop(); }
  const std::string& Name() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
  std::string socket_;
};

LRESULT PaintProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    TRect all;
    GetClientRect(w, &all);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, blue);
    TRect square = Rect(10, 10, 30, 30);
    FillRect(dc, &square, red);
    DeleteObject(blue);
    DeleteObject(red);
    EndPaint(w, &ps);
    return 0;
  }
  return DefWindowProc(w, msg, wp, lp);
}

TEST(BackendGtkTest, AWindowShowsItsPaintedPixelsOnTheDisplay) {
  VirtualDisplay display;
  if (!display.Start()) GTEST_SKIP() << "Xvfb is not available";
  setenv("DISPLAY", display.Name().c_str(), 1);
  auto gtk = CreateGtkBackend();
  ASSERT_NE(gtk, nullptr) << "GTK could not open " << display.Name();
  SetBackend(std::move(gtk));
  EXPECT_STREQ(Backend().Name(), "gtk");

  WNDCLASS wc;
  wc.lpfnWndProc = PaintProc;
  wc.lpszClassName = "GtkTestWnd";
  RegisterClass(&wc);
  HWND w = CreateWindowEx(0, "GtkTestWnd", "Zonvark test", WS_POPUP | WS_VISIBLE, 40, 30, 120, 80, nullptr, nullptr,
                          nullptr, nullptr);
  ASSERT_NE(w, nullptr);

  // Pump until the server shows the window (the desktop maps and draws it asynchronously).
  std::vector<uint32_t> px;
  bool shown = false;
  for (int i = 0; i < 300 && !shown; ++i) {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    Backend().Pump(20);
    shown = Backend().CaptureScreen(Rect(40, 30, 160, 110), px) && px[size_t(50 * 120 + 60)] == 0x0000FFu &&
            px[size_t(15 * 120 + 15)] == 0xFF0000u;
  }
  ASSERT_TRUE(shown) << "the window's pixels did not appear on the display";
  EXPECT_EQ(px[size_t(79 * 120 + 119)], 0x0000FFu);
  std::vector<uint32_t> outside;
  ASSERT_TRUE(Backend().CaptureScreen(Rect(0, 0, 10, 10), outside));
  EXPECT_NE(outside[0], 0x0000FFu);

  DestroyWindow(w);
  SetBackend(CreateHeadlessBackend());
}

}  // namespace
}  // namespace zv

#include "imaging/core/gdiplus_canvas.h"

#include "platform/gdiplus.h"

namespace zv {

namespace gdiplus_detail {
bool Allowed = false;
bool Loaded = false;
int32_t Users = 0;
uintptr_t Token = 0;
}  // namespace gdiplus_detail

void GdiPlusStartupStep() {
  gdiplus_detail::Allowed = true;
  gdiplus_detail::Loaded = false;
  gdiplus_detail::Users = 0;
}

void GdiPlusShutdownStep() {}

void GdiPlusLoad() {
  using namespace gdiplus_detail;
  ++Users;
  if (!Allowed || Loaded) return;
  // A start-up that fails leaves the layer unloaded; the next load tries again.
  GdiplusStartupInput Input;
  Loaded = GdiplusStartup(&Token, &Input, nullptr) == Ok;
}

void GdiPlusUnload() {
  using namespace gdiplus_detail;
  if (Users > 0) --Users;
  if (Users == 0 && Loaded) {
    GdiplusShutdown(Token);
    Token = 0;
    Loaded = false;
  }
}

bool GdiPlusLoaded() { return gdiplus_detail::Loaded; }

bool GdiPlusActive() { return gdiplus_detail::Allowed && gdiplus_detail::Loaded; }

int32_t GdiPlusUserCount() { return gdiplus_detail::Users; }

}  // namespace zv

#include "platform/icons.h"

#include <algorithm>
#include <cstdint>

#include "platform/gdi_draw.h"

namespace zv {

namespace {

// The error icon's handle: the address of this object.
char ErrorIcon;

bool IsResourceId(const char* Name, uintptr_t Id) { return reinterpret_cast<uintptr_t>(Name) == Id; }

}  // namespace

HICON LoadImage(HINSTANCE Instance, const char* Name, UINT Type, int /*Width*/, int /*Height*/, UINT /*Flags*/) {
  if (Instance != nullptr || Type != IMAGE_ICON || !IsResourceId(Name, 32513)) return nullptr;
  return reinterpret_cast<HICON>(&ErrorIcon);
}

bool DrawIconEx(HDC Dc, int X, int Y, HICON Icon, int Width, int Height, UINT /*Step*/, HBRUSH /*Background*/,
                UINT Flags) {
  if (Icon != reinterpret_cast<HICON>(&ErrorIcon) || Dc == nullptr) return false;
  if ((Flags & DI_NORMAL) == 0) return true;
  if (Width <= 0) Width = 32;
  if (Height <= 0) Height = 32;
  // A red disc with a dark rim and a white diagonal cross, scaled to the box.
  const int Rim = std::max(1, std::min(Width, Height) / 32);
  HPEN RimPen = CreatePen(PS_SOLID, Rim, RGB(128, 0, 0));
  HBRUSH Fill = CreateSolidBrush(RGB(220, 30, 30));
  HGDIOBJ OldPen = SelectObject(Dc, RimPen);
  HGDIOBJ OldBrush = SelectObject(Dc, Fill);
  Ellipse(Dc, X + Rim, Y + Rim, X + Width - Rim, Y + Height - Rim);
  const int Bar = std::max(1, std::min(Width, Height) / 8);
  HPEN CrossPen = CreatePen(PS_SOLID, Bar, RGB(255, 255, 255));
  SelectObject(Dc, CrossPen);
  const int Ix = Width * 3 / 10, Iy = Height * 3 / 10;
  MoveToEx(Dc, X + Ix, Y + Iy, nullptr);
  LineTo(Dc, X + Width - Ix, Y + Height - Iy);
  MoveToEx(Dc, X + Width - Ix, Y + Iy, nullptr);
  LineTo(Dc, X + Ix, Y + Height - Iy);
  SelectObject(Dc, OldPen);
  SelectObject(Dc, OldBrush);
  DeleteObject(RimPen);
  DeleteObject(CrossPen);
  DeleteObject(Fill);
  return true;
}

}  // namespace zv

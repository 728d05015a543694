// The system's shared icons, loaded by id and drawn on a device context. The error icon (a red disc
// with a white cross) is the one the program uses; it is drawn by our own code at any size.
#pragma once

#include "platform/gdi.h"
#include "platform/win32.h"
#include "platform/windows.h"

namespace zv {

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_SHARED = 0x8000;
constexpr UINT DI_MASK = 1;
constexpr UINT DI_IMAGE = 2;
constexpr UINT DI_NORMAL = 3;

inline const char* const IDI_HAND = MAKEINTRESOURCE(32513);
inline const char* const IDI_ERROR = IDI_HAND;

// A shared system icon (Instance nullptr, Type IMAGE_ICON, an id the system has); nullptr otherwise.
// Shared icons are never destroyed.
HICON LoadImage(HINSTANCE Instance, const char* Name, UINT Type, int Width, int Height, UINT Flags);
// Draws the icon into the Width x Height box at (X, Y) (0 sizes: 32); false for an unknown icon.
bool DrawIconEx(HDC Dc, int X, int Y, HICON Icon, int Width, int Height, UINT Step, HBRUSH Background, UINT Flags);

}  // namespace zv

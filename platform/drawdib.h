// The DIB drawing calls of the video-for-windows library: a drawing handle and a stretched copy of a
// device-independent bitmap's pixels onto a DC. There is no palette work to do on a true-colour screen.
#pragma once

#include <cstdint>

#include "platform/gdi.h"

namespace zv {

struct HDRAWDIB__;
using HDRAWDIB = HDRAWDIB__*;

// A new drawing handle; never null.
HDRAWDIB DrawDibOpen();
// False for a handle that is not open.
bool DrawDibClose(HDRAWDIB Hdd);
// Copies the source rectangle of the DIB (Header, then its pixels at Bits, or right after the header
// and its colour table when Bits is null) into the destination rectangle, stretching when the sizes
// differ. Source coordinates count from the top row. A destination size of -1 takes the source size; a
// source size of -1 the whole bitmap. False for a closed handle, a bad header or nothing drawn.
bool DrawDibDraw(HDRAWDIB Hdd, HDC Dc, int XDst, int YDst, int DxDst, int DyDst, const BITMAPINFOHEADER* Header,
                 const void* Bits, int XSrc, int YSrc, int DxSrc, int DySrc, UINT Flags);
// The number of palette entries realised: always 0.
UINT DrawDibRealize(HDRAWDIB Hdd, HDC Dc, bool Background);

}  // namespace zv

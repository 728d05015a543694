// The video-for-windows DIB drawing calls the view uses on screens of 8 bits per pixel or less.
#pragma once

#include "platform/gdi.h"

namespace zv {

using HDRAWDIB = void*;

HDRAWDIB DrawDibOpen();
bool DrawDibClose(HDRAWDIB hdd);
// Draws the packed rows Bits described by Header (1 or 24 bits, bottom-up unless the height is
// negative), the source rectangle (ySrc counted from the top row) stretched into the destination one.
bool DrawDibDraw(HDRAWDIB hdd, HDC dc, int xDst, int yDst, int dxDst, int dyDst, const BITMAPINFOHEADER* Header,
                 const void* Bits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT Flags);
UINT DrawDibRealize(HDRAWDIB hdd, HDC dc, bool Background);

}  // namespace zv

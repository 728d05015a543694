// Small drawing helpers on a canvas: the hint box and the semi-transparent info box the view shows
// over its image, and the DIB drawing wrappers.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/drawdib.h"
#include "platform/graphics.h"

namespace zv {

// A text box at (X, Y), moved into 0 .. MaxWidth - box width - 1 and 0 .. MaxHeight - box height - 1
// (X and Y are set to where it went). The canvas takes Font and Brush; Save becomes a 24-bit copy of the
// canvas area under the box (made when null), so the caller can restore it. The box is text size + 12:
// filled from (X + 6, Y + 6), framed in 3-D with the two colours, its text at (X + 9, Y + 9).
void IEDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, std::string_view Text, TFont* Font, TBrush* Brush,
                   std::unique_ptr<TBitmap>& Save, int32_t MaxWidth, int32_t MaxHeight, TColor TopLeftColor,
                   TColor BottomRightColor);

// A light yellow, half-transparent box with Text in Arial 9 black at (X, Y) raised to at least 0, as wide
// as the wider of Text and WidthText, framed white above and left and grey below and right.
void IEDrawInfoBox(TCanvas* Canvas, int32_t& X, int32_t& Y, std::string_view Text, std::string_view WidthText);

HDRAWDIB IEDrawDibOpen();
bool IEDrawDibClose(HDRAWDIB Hdd);
bool IEDrawDibDraw(HDRAWDIB Hdd, HDC Dc, int32_t XDst, int32_t YDst, int32_t DxDst, int32_t DyDst,
                   const BITMAPINFOHEADER* Header, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t DxSrc,
                   int32_t DySrc, UINT Flags);
UINT IEDrawDibRealize(HDRAWDIB Hdd, HDC Dc, bool Background);

}  // namespace zv

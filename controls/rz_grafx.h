// Raster routines of the controls: two-colour gradients in ten shapes, bitmaps drawn with one colour
// transparent, row flipping, and painting a control's parent underneath it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdi.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TControl;

// The shape of a gradient: where the start colour lies and where the stop colour gathers.
enum TGradientDirection : uint8_t {
  gdDiagonalUp, gdDiagonalDown, gdHorizontalEnd, gdHorizontalCenter, gdHorizontalBox, gdVerticalEnd,
  gdVerticalCenter, gdVerticalBox, gdSquareBox, gdBigSquareBox
};
template <>
struct TEnumNames<TGradientDirection> {
  static constexpr std::string_view Names[] = {"gdDiagonalUp",     "gdDiagonalDown",   "gdHorizontalEnd",
                                               "gdHorizontalCenter", "gdHorizontalBox", "gdVerticalEnd",
                                               "gdVerticalCenter", "gdVerticalBox",    "gdSquareBox",
                                               "gdBigSquareBox"};
};

// Fills Bounds with a gradient built off screen and drawn in one copy. Step is the smallest band
// length in colour steps (callers pass 1). An empty Bounds draws nothing.
void RenderGradient(TCanvas* Canvas, const TRect& Bounds, TGradientDirection Direction, TColor StartColor,
                    TColor StopColor, uint8_t Step);

// The building blocks of RenderGradient, drawing into DC with 16.16 fixed-point colour steps.
// Colour runs along x (X != 0, rows 0..7) or y (columns 0..7) of an eight-pixel strip: X or Y -1
// runs Start..Stop over Length; a positive one puts Stop there with Start at both ends.
void FillLinearGradient(HDC DC, int32_t X, int32_t Y, int32_t Length, TColor StartColor, TColor StopColor,
                        uint8_t Step);
// Nested L-shaped bands in the upper-left quadrant of Width x Height: Stop in a box around the centre
// grown by the insets, Start at the outer edges.
void FillBoxGradient(HDC DC, int32_t Width, int32_t Height, int32_t InsetX, int32_t InsetY, TColor StartColor,
                     TColor StopColor, uint8_t Step);
// Diagonal bands over |Width| x Height: Width > 0 from Start at the bottom-left to Stop at the top-right;
// Width <= 0 from Stop at the bottom-right to Start at the top-left.
void FillDiagonalGradient(HDC DC, int32_t Width, int32_t Height, TColor StartColor, TColor StopColor,
                          uint8_t Step);
// Grows the filled Width x Height block at (X, Y) to TargetWidth x TargetHeight by doubling copies.
void ReplicateStrip(HDC DC, int32_t X, int32_t Y, int32_t TargetWidth, int32_t TargetHeight, int32_t Width,
                    int32_t Height, DWORD RasterOp);
// Mirrors the upper-left quadrant of the area into the lower-left, then the left half into the right.
void MirrorQuarterBlit(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, DWORD RasterOp);

// SrcRect of Bitmap stretched into DestRect, leaving out the pixels of TransparentColor.
void StretchTransparentBitmap(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, const TRect& SrcRect,
                              TColor TransparentColor);
// The same by an AND mask and an OR image: right on a canvas whose background colour is white and text
// colour black (a fresh work bitmap). Leaves the canvas's copy mode at SRCPAINT.
void DrawMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, const TRect& SrcRect,
                           TColor TransparentColor);
// Tiles Bitmap over Rect transparently; the last row and column of tiles are clipped, not scaled.
void TileMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Rect, TColor TransparentColor);
// The whole of Bitmap stretched into Rect transparently.
void StretchMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Rect, TColor TransparentColor);
// Turns Bitmap upside down.
void FlipBitmapRows(TBitmap* Bitmap);

// The control's parent erases and paints itself into DC (or Canvas) under the control, as if the
// control were not there. With InvalidateParent, a parent that does not paint itself through a canvas
// (neither a TCustomControl nor a form) is invalidated as well. Nothing without a parent.
void PaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent);
void PaintParentBackgroundOnDC(TControl* Control, HDC DC, bool InvalidateParent);

}  // namespace zv

// Frame and border painting of the framed controls: one-pixel lines in a fixed geometry, so that the
// frames of all controls line up; each painter returns the interior left inside what it drew.
#pragma once

#include <cstdint>

#include "controls/rz_common.h"
#include "platform/graphics.h"
#include "platform/types.h"
#include "platform/windows.h"

namespace zv {

class TWinControl;

// One line per chosen side: left and top in ULColor, then right and bottom in LRColor (clNone draws
// nothing). The interior is Bounds inset by 1 on each chosen side, drawn or not.
TRect PaintRectSides(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, TSides Sides);
// Count nested rings of PaintRectSides with a one-pixel pen; Count <= 0 draws nothing.
TRect PaintBevelRings(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, int32_t Count,
                      TSides Sides);
// A frame style in the system's 3-D colours.
TRect PaintFrameStyleSides(TCanvas* Canvas, const TRect& Bounds, TFrameStyle Style, TSides Sides);
TRect PaintFrameStyle(TCanvas* Canvas, const TRect& Bounds, TFrameStyle Style);
// A frame style in darker and lighter shades of FaceColor.
TRect PaintColorFrameStyleSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyle Style,
                                TSides Sides);
TRect PaintColorFrameStyle(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyle Style);
// A raised (or, Down, pressed) button frame in shades of FaceColor.
TRect PaintColorButtonFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TSides Sides);
TRect PaintBoxOutline(TCanvas* Canvas, const TRect& Bounds, TColor LineColor);
// Every second pixel of the edges in black.
TRect PaintFocusOutline(TCanvas* Canvas, const TRect& Bounds);
// A one-pixel frame whose corners are cut diagonally.
TRect PaintRoundedFlatFrame(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides);
// A control's whole frame: the outer style, a border of BorderWidth rings, the inner style.
// Flat styles use FlatColor shifted by FlatColorAdjustment; the rounded style fills its cut corners
// with ParentColor unless Transparent.
TRect PaintInnerOuterFrames(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx BorderOuter,
                            TFrameStyleEx BorderInner, int32_t BorderWidth, TSides Sides, int32_t BevelWidth,
                            TColor BorderColor, TColor BorderHighlight, TColor BorderShadow, TColor FlatColor,
                            int32_t FlatColorAdjustment, TColor Color, TColor ParentColor, bool Transparent,
                            bool CutInnerFlatCorners);
// The frame over a whole Width x Height window (a non-client area), first erasing the old one in
// Color unless NoErase.
void PaintControlFrame(TCanvas* Canvas, int32_t Width, int32_t Height, TFrameStyle Style, TColor Color,
                       TColor FlatColor, TSides Sides, bool NoErase);
// Asks for the window's frame to be repainted when any of the window is visible.
void RedrawNonClientFrame(HWND WindowHandle, const TRect& Bounds);
// Invalidates the children whose published Transparent property is true.
void InvalidateTransparentChildren(TWinControl* Container);

}  // namespace zv

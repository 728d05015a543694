// The magic wand: the 4-connected region of pixels whose colour is within a tolerance of the colour at
// a seed point, as an outline polygon or set into a selection mask, and the selection of every similar
// pixel of an image. Bitmaps of any pixel format are read, never changed.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "platform/types.h"

namespace zv {

class TIEMask;

// The outer border of the region around (X, Y) in pixel-corner coordinates (the left border of column
// x is x, its right border x + 1), one vertex where the border turns; with Grow the region also takes
// the 8 neighbours of its pixels, within its bounding box. nullptr and PointCount 0 for a seed outside
// the image or a negative Tolerance.
std::unique_ptr<TPoint[]> MagicWandOutline(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool Grow,
                                           int32_t& PointCount);
// Sets the region (with Grow also the 8 neighbours of its pixels, within the image) to Value in Mask,
// adding to what Mask holds.
void MagicWandFloodFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, bool Grow, TIEMask* Mask,
                        int32_t Value);
// Sets every pixel of the image similar to the one at (X, Y) to Value in Mask, connected or not.
void MagicWandSelectSimilar(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask,
                            int32_t Value);

}  // namespace zv

// The separable Gaussian blur of 8-bit grey rectangles in 16.16 fixed point (row ends repeated), and
// the soft shadow that blurs an object's alpha channel, shifts it and composites it under the object.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"

namespace zv {

// The weights of one Gaussian: taps -100..100 (index i is offset i - 100), of which -HalfWidth..HalfWidth
// are used; the fixed-point weights sum to about 65536.
struct TGaussianKernel {
  uint8_t HalfWidth = 1;
  double Raw[201] = {};
  int32_t Weights[201] = {};
};

// Fills Kernel for Radius (the standard deviation in pixels), which must be positive.
void BuildGaussianKernel(TGaussianKernel& Kernel, double Radius);
// Convolves N bytes of Source into Dest (which may not overlap it), the end bytes standing for
// everything beyond them. N <= 0 does nothing.
void ConvolveGaussianRow(const TGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t N);
// Blurs the inclusive rectangle of an ie8g bitmap in place, rows first, then columns; the rectangle is
// clamped to the image. Other formats and radii that are not positive change nothing.
void GaussianBlurGray8(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);

// Gives the object drawn in the inclusive rectangle Left..Right, Top..Bottom of Bitmap (its coverage in
// the alpha channel) a shadow: the coverage blurred by Radius (0: a 3 x 3 box), moved by the offset and
// composited in Color at Intensity percent (0..100). ie24RGB and ie8g (which takes Color's grey level)
// get the shadow colour, ie1g black; other formats keep the shadow only in their alpha channel.
// Returns the margin the shadow needs around the rectangle.
int32_t AddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                      TIERGB24 Color, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

}  // namespace zv

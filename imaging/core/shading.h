// Shading routines of the image core: the soft drop shadow the view draws around its image, the
// Gaussian grey ramp and the background textures made from it.
#pragma once

#include <cstdint>
#include <vector>

namespace zv {

class TBitmap;

// Values[i], i = 0..N - 1: exp(-0.5 Sigma^2 t^2) with t = 2i / N - 1, scaled so that the largest becomes
// High and 0 becomes Low. Values is resized to N (empty for N below 1).
void GaussianRamp(int32_t N, double Low, double High, double Sigma, std::vector<double>& Values);

// Makes Bitmap 24-bit W x H in horizontal grey stripes repeating every four rows (240, 251, 255, 251).
void PaintStripeTexture(TBitmap* Bitmap, int32_t W, int32_t H);
// Makes Bitmap 24-bit W x H: a grey column profile from 160 at the sides to 208 in the middle, with a
// small random offset (0..10) that changes every hundred-odd pixels.
void PaintNoiseTexture(TBitmap* Bitmap, int32_t W, int32_t H);

// Darkens a soft shadow, offset 2 pixels right and down, in the 5-pixel band around the inclusive
// rectangle (Left, Top)-(Right, Bottom) of a 24-bit Bitmap. The rectangle itself and pixels outside the
// bitmap are left alone; other pixel formats are not touched.
void DrawSoftShadow(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

}  // namespace zv

// Shading routines of the image core: the soft drop shadow the view draws around its image, the
// Gaussian grey ramp and the background textures made from it.
#pragma once

#include <cstdint>
#include <vector>

namespace zv {

class TBitmap;
class TCanvas;

// Values[i], i = 0..N - 1: exp(-0.5 Sigma^2 t^2) with t = 2i / N - 1, scaled so that the largest becomes
// High and 0 becomes Low. Values is resized to N (empty for N below 1).
void GaussianRamp(int32_t N, double Low, double High, double Sigma, std::vector<double>& Values);

// The background of the library's dialogs: 0 none (after start-up), 1 the stripe texture, 2 the noise
// texture.
extern int32_t IEDialogsBackground;

// Makes Bitmap 24-bit W x H in horizontal grey stripes repeating every four rows (240, 251, 255, 251).
void PaintStripeTexture(TBitmap* Bitmap, int32_t W, int32_t H);
// Makes Bitmap 24-bit W x H: a grey column profile from 160 at the sides to 208 in the middle, with a
// small random offset (0..10) that changes every hundred-odd pixels.
void PaintNoiseTexture(TBitmap* Bitmap, int32_t W, int32_t H);

// Darkens a soft shadow, offset 2 pixels right and down, in the 5-pixel band around the inclusive
// rectangle (Left, Top)-(Right, Bottom) of a 24-bit Bitmap. The rectangle itself and pixels outside the
// bitmap are left alone; other pixel formats are not touched.
void DrawSoftShadow(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

// The shadow strip of columns X1..X2 (its width w = X2 - X1 + 1) and rows Y1..Y2 right of an image
// rectangle, on Canvas and, where a pixel lies inside it, directly in the 24-bit Bitmap (may be null):
// kind 1 fills it with the canvas's brush from w rows below the top; kind 2 darkens what is there, most
// next to the image, its lower end cut diagonally; kind 3 paints a grey fade from the image outwards.
// Other kinds draw nothing.
void DrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                     int32_t Kind);
// The same for the strip below an image rectangle (rows and columns exchanged: w = Y2 - Y1 + 1).
void DrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Kind);

// Dims the Width x Height area at (Left, Top) outside the inner rectangle (InnerLeft + 1 ..
// InnerRight - 1, InnerTop + 1 .. InnerBottom) with black at transparency 150, each pixel once, without
// anti-aliasing. Nothing for an empty inner rectangle.
void ShadeOutsideRect(TCanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t InnerLeft,
                      int32_t InnerTop, int32_t InnerRight, int32_t InnerBottom);

}  // namespace zv

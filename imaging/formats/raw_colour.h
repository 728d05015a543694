// From the loaded sensor image to the bitmap: black level and white balance, the colour matrices,
// bilinear interpolation of the missing colours, conversion to RGB with the luminance histogram, the
// gamma-corrected output, the Foveon chain and the turn of Fuji's 45-degree layout; and the start-up
// step that puts these stages and the identification into the raw reader.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/formats/raw_camera.h"

namespace zv {

// The fixed colour matrices; each sets UseCoeff.
void RawCoeffE950(TRawCameraContext& C);
void RawCoeffF828(TRawCameraContext& C);
void RawCoeffDC20(TRawCameraContext& C, float X);
void RawCoeffFoveon(TRawCameraContext& C);
void RawCoeffFourColor(TRawCameraContext& C);

void RawScaleColors(TRawCameraContext& C);
void RawConvertToRgb(TRawCameraContext& C);
// Writes the working image into Bitmap as 24-bit, or 48-bit when Rgb48; Gamma is the 65536-entry table
// it fills.
void RawWriteBitmap(TRawCameraContext& C, TIEBitmap* Bitmap, bool Rgb48, std::vector<double>& Gamma);
void vng_interpolate(TRawCameraContext& C);
// The Foveon chain in place of colour scaling: colour transform, sharpening, clipping to the neighbours,
// noise reduction, the output transform and shade correction.
void foveon_interpolate(TRawCameraContext& C);
// Its first step: each pixel against the one before it in its row, then the colour transform.
void FoveonColourStep(TRawCameraContext& C);
// Curve Which (0..4 for the curves A..E of the chain) applied to Value.
int64_t FoveonCurve(int32_t Which, int64_t Value);
// Turns a 24- or 48-bit bitmap of a Fuji sensor upright (twice as wide as the turned rows are long).
void RawFujiRotate(TIEBitmap* Bitmap);

// Puts the identification and the stages above into RawCameraStages; the other undoes it.
void InstallRawCameraStages();
void RemoveRawCameraStages();

}  // namespace zv

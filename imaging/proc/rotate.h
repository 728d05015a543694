// Rotation of a bitmap by any angle in degrees, counter-clockwise as shown on screen, the canvas
// growing to the rotated bounds: a three-shear rotator with 12-bit blending, a smooth rotator with
// bilinear or bicubic sampling, a 1-bit rotator and a nearest-pixel rotator for every pixel format.
// Each colour rotator has a one-byte twin for alpha channels.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"

namespace zv {

// Three-shear rotation of an ie24RGB bitmap in place; the angle is taken to thousandths of a degree
// and whole quarter turns are exact. Any other format goes to RotateBW (background bit set only when
// the three bytes of Background are all non-zero).
void RotateRGB24(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
                 TIERGB24 Background, double Angle);
// The same on one byte per pixel (ie8g and ie8p); other formats are left as they are.
void RotateGray8Shear(TIEBitmap* Bitmap, bool AntiAlias, uint8_t Background, TObject* Sender,
                      const TIEProgressEvent& OnProgress, double Angle);
// Rotation of an ie1g bitmap in place (exact for 90, -90, 270, 180 and -180).
void RotateBW(TIEBitmap* Bitmap, bool Background, TObject* Sender, const TIEProgressEvent& OnProgress,
              double Angle);
// RotateBW's mapping on one byte per pixel (ie8g and ie8p), for the alpha of 1-bit images.
void RotateGray8Simple(TIEBitmap* Bitmap, uint8_t Background, double Angle);
// Bilinear (Quality 1) or bicubic (Quality 2; above 2 counts as 2) rotation of an ie24RGB bitmap.
void RotateSmooth24(TIEBitmap* Bitmap, TColor Background, int32_t Quality, TObject* Sender,
                    const TIEProgressEvent& OnProgress, double Angle);
// The same on one byte per pixel (ie8g and ie8p).
void RotateSmooth8(TIEBitmap* Bitmap, uint8_t Background, int32_t Quality, double Angle);
// Nearest-pixel rotation of Bitmap in place, in its own format; the alpha channel is not touched.
void RotateIntoNewBounds(TIEBitmap* Bitmap, TColor Background, TObject* Sender, const TIEProgressEvent& OnProgress,
                         double Angle);
// Nearest-pixel rotation of any format from Source into Dest, reallocated to the rotated bounds.
// Source is not changed.
void RotateAnyFormat(TIEBitmap* Source, TIEBitmap* Dest, TColor Background, TObject* Sender,
                     const TIEProgressEvent& OnProgress, double Angle);

}  // namespace zv

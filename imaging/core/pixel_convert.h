// Pixel-format conversion of the image core: the row conversions behind TIEBitmap's format changes, the
// ordered (Bayer) dither to one bit, and the format changes a class-library bitmap can make itself.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

class TBitmap;
class TIEBitmap;
class TIEMask;

// ---- Ordered dither ------------------------------------------------------------------------------

// The 8 x 8 ordered-dither matrix, row by row; each value 0..63 appears once, so a level L of 0..64
// sets exactly L pixels of every 8 x 8 block.
extern const uint8_t IEBayerMatrix[64];

// Whether pixel (X, Y) of a dithered grey Level (0..63 scale) is white.
inline bool BayerPixelSet(int32_t X, int32_t Y, int64_t Level) {
  return IEBayerMatrix[(X & 7) * 8 + (Y & 7)] < Level;
}

// Writes row Y of a 1-bit image (most significant bit leftmost) from Width levels on the 0..63 scale;
// the bits after the last pixel of the row's last byte are cleared.
void BayerDitherRow(const int64_t* Levels, int32_t Width, int32_t Y, uint8_t* Dest);

// ---- Bitmap conversions ----------------------------------------------------------------------------

// How CopyAndConvertFormat turns one format into another.
enum TIEConversionRoute : uint8_t {
  iecNothing,  // no pixels are copied (a source without pixels, or no target format)
  iecCopy,     // the same format: rows copied as they are
  iecDirect,   // a conversion of its own
  iecVia24,    // as the source's ie24RGB image would convert
};
TIEConversionRoute ConversionRoute(TIEPixelFormat Source, TIEPixelFormat Target);

// Fills Target (allocated in its format, Source's size) with Source's pixels converted to Target's
// format, palette included; no alpha channel. Where the way goes through ie24RGB and a whole ie24RGB
// image is needed (the quantizer, the threshold), Source is converted in place when MayChangeSource,
// else a converted copy is made. False when nothing could be converted.
bool ConvertBitmapPixels(TIEBitmap* Source, TIEBitmap* Target, bool MayChangeSource);

// Converts a class-library bitmap where it can: pf1bit to ie24RGB, pf24bit to ie1g (BWConversion 0
// ordered dither, 1 threshold at the average grey) and to ie8g; an empty bitmap takes pf1bit for ie1g
// and pf24bit for ie24RGB; a bitmap already in the format is left alone. False, with the bitmap as it
// was, for every other pair and when a processing routine is missing.
bool ConvertTBitmapFormat(TBitmap* Bitmap, TIEPixelFormat Format, uint8_t BWConversion);

// An ie1g bitmap becomes a 1-bit mask, an ie8g one an 8-bit mask, with the bitmap's Full; other formats
// leave the mask unchanged.
void CopyToTIEMask(TIEBitmap* Bitmap, TIEMask* Mask);

}  // namespace zv

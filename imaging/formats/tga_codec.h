// Targa images: the 18-byte header, the image id, colour maps, raw and run-length pixel data of 1, 8,
// 16, 24 and 32 bits, and the 2.0 footer with its extension area (author, date, job, key colour, pixel
// aspect ratio, gamma). Reads into ie24RGB or ie1g with an 8-bit alpha mask; writes 1, 4, 8, 24 and 32 bits.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;

constexpr int32_t TgaHeaderSize = 18;
constexpr int32_t TgaFooterSize = 26;
constexpr int32_t TgaExtensionSize = 495;

// A plausible header at the stream's position (type 1-3 or 9-11, colour-map type 0 or 1, depth 1, 4, 8,
// 16, 24 or 32, width and height above 0). The position is restored.
bool IsTgaStream(TStream* Stream);

// Reads one image from the stream's position. ParamsOnly fills Params only. Unless IgnoreAlpha, an image
// with alpha (32-bit pixels or 32-bit map entries, not all 0) comes back with Mask holding it (created
// when empty); otherwise Mask is left alone. A header, colour map or size the reader cannot take, or data
// that end before the image does, set the abort byte; nothing raises for bad data.
void TgaReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                  bool ParamsOnly, std::unique_ptr<TIEMask>& Mask, bool IgnoreAlpha);

// Writes Bitmap (ie24RGB or ie1g; other formats write nothing) at the stream's position, at the depth
// Params.SamplesPerPixel and BitsPerSample ask for; with Mask (8 bits, the bitmap's size) 32 bits.
void TgaWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* Mask,
                   TIEProgressRecord& Progress);

// The registry's routines: the alpha mask becomes the bitmap's alpha channel and back.
void TgaRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);
void TgaRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// The 16-bit numerator and denominator a ratio is stored as: Value x 10000 over 10000, or, from 6.5535
// on, the largest denominator that keeps the rounded numerator within 16 bits. 0 over 0 for values that
// are not above 0.
void TgaRatioFields(double Value, uint16_t& Numerator, uint16_t& Denominator);

}  // namespace zv

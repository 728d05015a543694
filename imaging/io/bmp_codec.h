// The BMP codec: reads a Windows device-independent bitmap from a stream into a TIEBitmap and writes
// one back, with the run-length coders of its 4- and 8-bit compressed variants.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;

// Reads a BMP at the stream's position. DataLength is the BMP's size in the stream (0 or less: not
// known, the file header's size is used). ParamsOnly fills Params and leaves the bitmap alone;
// NoFileHeader means the stream starts at the info header. AlphaMask may hold a mask to reuse; on return
// it holds one only when a 32-bit image carried a meaningful fourth byte (never with IgnoreAlpha).
// A file that is not a BMP, that the stream does not hold whole, or whose sizes, offsets, palette
// indexes or run-length codes do not fit, sets the abort byte.
void BmpReadImage(TStream* Stream, TIEBitmap* Bitmap, int32_t DataLength, TIOParamsVals& Params,
                  TIEProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
                  bool IgnoreAlpha);

// Writes Bitmap as a BMP at the stream's position, which the stream must be able to seek back to. The
// depth, header kind and compression come from Params (BitsPerSample, SamplesPerPixel, BmpHeaderKind,
// BmpCompression); WriteAlpha puts the alpha channel into the fourth byte of 32-bit pixels. A short write
// sets the abort byte and leaves the headers unpatched.
void BmpWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   bool WriteAlpha);

// Decode RLE8 / RLE4 data into Bitmap, from column 0 of the first stored row: palette indexes into an
// ie8p bitmap, or the Palette colour of each index into an ie24RGB one. Rows are stored bottom-up unless
// TopDown. False when the data are broken: an index past PaletteCount, a code cut by the end of the
// data, or a delta that leaves the image. Runs past a row's end stay in the last pixel (RLE8) or are
// dropped (RLE4), as the format's writers expect.
bool BmpDecodeRle8(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Length, bool TopDown, TIEProgressRecord& Progress,
                   const TIERGB24* Palette, int32_t PaletteCount);
bool BmpDecodeRle4(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Length, bool TopDown, TIEProgressRecord& Progress,
                   const TIERGB24* Palette, int32_t PaletteCount);

// Code one row of Count indexes (one per byte), ending with the end-of-line code; Out must hold at least
// 10 x Count bytes. Returns the bytes written.
int32_t BmpEncodeRle8(const uint8_t* Indices, int32_t Count, uint8_t* Out);
int32_t BmpEncodeRle4(const uint8_t* Indices, int32_t Count, uint8_t* Out);

}  // namespace zv

// The TIFF writer: one little-endian page from a bitmap and its params, as a new file or inserted into
// the IFD chain of an existing little-endian file, with the strip coders none, LZW, PackBits and Deflate.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// Writes one page at the stream's position (new file) or appends a page to the file that starts there
// and links it before page Params.TiffImageIndex, or last (Insert). Returns the pages of the file after
// the write; 0 when the insert is refused (not a little-endian TIFF with a sound IFD chain) or the bitmap
// has no pixels, with the abort flag set and nothing written. Without a
// bitmap the page holds only the descriptive tags. BitsPerSample, SamplesPerPixel, TiffPhotometric and
// TiffCompression of Params are set to what was written. The bitmap is not changed.
int32_t TiffWriteImage(TStream* Stream, bool Insert, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
                       TIOParamsVals& Params);

// Codes one row with PackBits into Stream: runs of 4 or more equal bytes as runs, the rest as literals
// of at most 128 bytes. A short write sets Aborting.
void TiffPackBitsRow(TStream* Stream, const uint8_t* Row, int32_t Count, uint8_t& Aborting);

// The registry's TIFF write: a new one-page file at the stream's position.
void TiffRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv

// Headerless pixel data read into an allocated bitmap by a layout the caller describes (header to skip,
// row alignment, planes, channel order, binary or text samples), and the content tests of the Windows
// metafile and the enhanced metafile.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// Fills the bitmap's pixels (its size and format stay) from the stream's position by the RawPixels*
// fields of Params. Short data leave the rest of the bitmap as it was; missing text numbers read as 0.
// Raises Exception "Format unsupported" for ieCIELab and ieRGBX32, and for hexadecimal text into ie32f.
// A bitmap without rows reads nothing. Text for ie1g: one number per pixel, a non-zero one sets the bit.
void RawPixelsRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// Hexadecimal text (trimmed, any case) to its value; each digit weighs 16 to the power of its position
// from the end taken modulo 8, so that longer texts wrap instead of overflowing.
int32_t RawHexToInt(const std::string& Text);

// An enhanced metafile header record at the position; the position is kept.
bool EmfTest(TStream* Stream);
// A Windows metafile header at the position, after a placeable header when there is one; the position
// is kept.
bool WmfTest(TStream* Stream);

// Registry routine of the raw bitmap: reads into the bitmap as it is allocated; nothing with ParamsOnly.
void RawRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);

}  // namespace zv

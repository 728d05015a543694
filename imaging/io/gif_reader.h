// The GIF reader: one image of a GIF87a or GIF89a stream into a TIEBitmap, with its transparency as a
// mask, and the file's GIF fields into the I/O parameters.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;

// Reads image Params.GifImageIndex from the stream's position up to the trailer; ImageCount receives the
// number of images met. ParamsOnly fills only the parameters. Mask (reused when set) comes back holding
// an 8-bit mask (0 transparent, 255 opaque) only when the image is transparent and at least one of its
// pixels is; NoMask never makes one. Failure sets the abort flag.
// Whether Width x Height pixels are worth reserving for an image of DataBytes bytes of GIF data: LZW codes
// reach at most a few thousand pixels per byte, so a larger area than FreePixels that the data could
// not begin to fill is a damaged or hostile size. Frames are held to 2^22 pixels; the composed
// animation's logical screen, which small frames may sit in, to 2^24.
bool GifAreaFits(int64_t Width, int64_t Height, int64_t DataBytes, int64_t FreePixels = int64_t(1) << 24);

void GifReadFrame(TStream* Stream, TIEBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                  TIEProgressRecord& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& Mask, bool NoMask);

}  // namespace zv

// The PNG reader: decodes one PNG image through libpng into a TIEBitmap and fills the PNG fields of the
// I/O parameters; and the PNG signature test of format detection.
#pragma once

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// Reads the PNG image at the stream's position. Colour type and depth decide the pixel format: 1-bit
// grey gives ie1g; with Params.NativePixelFormat an 8-bit palette, 8-bit grey and 16-bit grey keep
// ie8p, ie8g and ieGray16 (words in host order); every other image becomes ie24RGB, with an alpha
// channel when the file carries transparency. With ParamsOnly only Params is filled, from the chunks
// before the image data, and the bitmap is left alone. A libpng error, a stream that ends early, or an
// image larger than the rest of the stream can hold sets the abort byte and nothing raises; the bitmap
// then keeps the rows read so far.
void PngReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress);

// The first four bytes of the PNG signature stand at the stream's position. The position is the same
// afterwards.
bool IsPngStream(TStream* Stream);

}  // namespace zv

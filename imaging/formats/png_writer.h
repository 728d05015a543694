// The PNG writer: encodes a TIEBitmap, with an optional 8-bit transparency mask, as one PNG image
// through libpng, as the PNG fields of the I/O parameters ask.
#pragma once

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;

// Writes the bitmap as a PNG at the stream's position. One sample per pixel gives a 1-bit grey image
// (BitsPerSample 1), a grey image (a grey source, 8 or 16 bits), an 8-bit palette of 256 entries, or,
// with a mask that is not full, an 8-bit palette whose entry 0 (the background colour) is transparent;
// any other sample count gives 8-bit RGB, with alpha from a mask that is not full. With one sample per
// pixel a BitsPerSample other than 1, 8 or 16 is set to 8 in Params first. A stream that takes fewer
// bytes than given sets the abort byte and the rest of the file is left out; a source that cannot be
// converted sets it and writes nothing. A libpng error raises EInvalidGraphic "Error on creating PNG".
void PngWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* Mask,
                   TIEProgressRecord& Progress);

}  // namespace zv

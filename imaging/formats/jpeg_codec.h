// The JPEG reader and writer over the JPEG library, the start-of-image finder of format detection and
// the measure of a JPEG stream by its markers.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// Decodes the JPEG found within 150 bytes of the stream's position into Bitmap and fills the JPEG,
// resolution, colour and metadata fields of Params. TablesStream (or nullptr) holds abbreviated tables
// read ahead of the image. RowLimit -1 decodes every row. Failure, a cut or corrupt file, sets the abort
// byte of Progress and raises nothing; the rows decoded stay in the bitmap. Returns the rows decoded.
int32_t JpegReadImage(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, bool NativeFormat, int32_t RowLimit,
                      bool CollectIcc, bool DropAppliedIcc, bool InvertCmyk, bool ReadMetadata, bool RawYCbCr,
                      bool ParamsOnly, TIEProgressRecord& Progress, TIOParamsVals& Params);

// Encodes Bitmap with Params' quality, colour space, sampling and kept markers. A bitmap without pixels
// or a short write sets the abort byte; a library error raises EIEJpegException after cleaning up.
void JpegWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// With Scan: the absolute position of the first FF D8 FF among the 150 positions from the current one,
// else -1. Without: 0 when it stands at the current position, else -1. The position is restored.
int64_t JpegFindSoi(TStream* Stream, bool Scan);

// The bytes from the position to the end of the first end-of-image marker, or to the end of the
// stream. The position is restored.
int64_t JpegStreamLength(TStream* Stream);

// The registry's routines: the I/O component's JPEG load (and parameters-only read), and its save, which
// stores a changed IPTC list as the APP13 marker before encoding.
void JpegRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly);
void JpegRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv

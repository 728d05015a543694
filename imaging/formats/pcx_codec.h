// PCX images (a 128-byte header, run-length coded plane lines, a 16-colour header palette or a
// 256-colour palette behind the data) and DCX, a table of up to 1024 PCX pages.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

constexpr uint32_t DcxMagic = 0x3ADE68B1;
constexpr int32_t DcxMostPages = 1024;

// Reads the PCX image of DataSize bytes at the stream's position: 1 plane of 1 bit gives ie1g, the other
// kinds (1 plane of 4 or 8 bits, 3 planes of 8 bits, 4 planes of 1 bit) ie24RGB. A header the reader
// cannot take, or data that ends before the image does, sets the abort byte; nothing raises.
void PcxReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, int64_t DataSize);

// Writes Bitmap as one PCX image of Params.BitsPerSample x Params.SamplesPerPixel bits (1, 4, 8 or 24;
// other totals set the abort byte and write nothing), run-length coded when Params.PcxCompression is set.
void PcxWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// The DCX magic and a page table (up to 1024 entries or a 0) whose every offset lies inside the stream.
// The position is restored.
bool IsDcxStream(TStream* Stream);

// Reads the page Params.DcxImageIndex (clamped to the pages there are) of the DCX stream.
void DcxReadPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                 TIEProgressRecord& Progress);

// Inserts Bitmap as a new page before page Params.DcxImageIndex (equal to the page count: appended) and
// rewrites the whole stream. An index beyond the page count, a document of 1024 pages already, or a
// non-empty stream that is not DCX sets the abort byte and leaves the stream as it was.
void DcxInsertPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// The registry's routines of PCX (the data run to the end of the stream) and DCX (a save makes a new
// one-page document).
void PcxRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);
void DcxRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);
void DcxRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv

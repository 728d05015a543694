// A one-page (or, through its three steps, several-page) PostScript Level 2 document of an image: DSC
// header and trailer, the page count patched in place, image data run-length coded and ASCII85 wrapped.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// Positions of an open document: its "%%Pages: " line and where the next page (or the trailer) goes.
struct PsDocument {
  int64_t PagesLine = 0;
  int64_t NextPage = 0;
};

// The local time the header's creation date shows; tests replace it.
extern std::function<std::tm()> PsClock;

std::string PsPadNumber(int32_t Value, int32_t Width);
std::unique_ptr<PsDocument> PsBeginDocument(TStream* Stream, TIOParamsVals& Params);
void PsAddPage(PsDocument* Document, TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
               TIOParamsVals& Params);
// Writes the trailer and frees the document; nothing for nullptr.
void PsEndDocument(std::unique_ptr<PsDocument>& Document, TStream* Stream);
void PsWriteDocument(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
// The registry routine of the format.
void PsRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv

// A PDF 1.4 document of image pages: one image XObject per page scaled to fit the paper at its top-left
// corner, built with the PDF object model and written whole when the document is finished.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>

#include "imaging/core/iedefs.h"
#include "imaging/core/pdf_objects.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// The document being built; it owns every object in Objects.
struct PdfDocument {
  TIEPDFObjectList Objects;
  TIEPDFObjectList Pages;
  TIEPDFObjectList Images;
  TIEPDFObjectList Contents;
  TIEPDFDictionaryObject* Resources = nullptr;
  TIEPDFDictionaryObject* Catalog = nullptr;
  ~PdfDocument();
};

// The local time of the info dictionary's creation date; tests replace it.
extern std::function<std::tm()> PdfClock;

std::unique_ptr<PdfDocument> PdfBeginDocument();
// Adds the image, content and page objects of one page. The fax, LZW and JPEG data are not reachable
// from this library: those compressions set the abort byte and add nothing.
void PdfAddImagePage(PdfDocument* Document, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
// Adds the page tree and the info dictionary, writes the file at the stream's position and frees the
// document; nothing for nullptr.
void PdfEndDocument(std::unique_ptr<PdfDocument>& Document, TStream* Stream, TIOParamsVals& Params);
void PdfWriteDocument(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
void PdfRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv

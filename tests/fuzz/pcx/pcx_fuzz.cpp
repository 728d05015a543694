// A PCX or DCX from outside bytes through the I/O component (PCX load, DCX load of pages 0 and 5, and
// parameters-only reads), and a page inserted into the bytes taken as a DCX document.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/pcx_codec.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadPcxStream(&Stream); });
    if (IO->AbortFlag == 0)
      fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded image without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftPcx); });
  }
  for (int32_t Page : {0, 5}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->DcxImageIndex = Page;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadDcxStream(&Stream); });
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftDcx); });
  }
  TMemoryStream Document;
  if (Size > 0) Document.WriteBuffer(Data, int64_t(Size));
  TIEBitmap Page(3, 2, ie24RGB);
  TIOParamsVals Params(nullptr);
  Params.DcxImageIndex = 1;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  fuzz::AsTheApplication([&] { DcxInsertPage(&Document, &Page, Params, Progress); });
  if (Abort != 0) {
    fuzz::Expect(Document.Size() == int64_t(Size), "a refused insertion changed the document");
  } else {
    Document.SetPosition(0);
    fuzz::Expect(IsDcxStream(&Document), "an insertion left no DCX document");
  }
  return 0;
}

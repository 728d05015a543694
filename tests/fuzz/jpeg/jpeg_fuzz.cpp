// A JPEG from outside bytes through the I/O component (load, native-format load at half size, and a
// parameters-only read), and through the two measures the TIFF reader takes of embedded JPEG data.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/jpeg_glue.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  for (bool Native : {false, true}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->NativePixelFormat = Native ? 1 : 0;
    IO->IOParams()->JpegScale = Native ? 2 : 1;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadJpegStream(&Stream); });
    if (IO->AbortFlag == 0)
      fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded image without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftJpeg); });
  }
  TIEMemStream Stream(Data, int64_t(Size));
  const int64_t Length = JpegStreamLength(&Stream);
  fuzz::Expect(Length >= 0 && Length <= int64_t(Size), "a stream length beyond the data");
  fuzz::Expect(Stream.Position() == 0, "the position moved");
  TIOParamsVals Params(nullptr);
  JpegCollectIccProfile(&Stream, Params);
  fuzz::Expect(Stream.Position() == 0, "the position moved");
  return 0;
}

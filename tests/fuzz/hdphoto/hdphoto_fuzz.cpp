// An HD Photo file from outside bytes through the I/O component: a load with native pixel formats, one
// without, and a parameters-only read.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  for (uint8_t Native : {1, 0}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->NativePixelFormat = Native;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadHdPhotoStream(&Stream); });
    if (IO->AbortFlag == 0)
      fuzz::Expect(Bitmap.GetWidth() == IO->IOParams()->Width, "a frame of another width than the parameters say");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftHdPhoto); });
  }
  return 0;
}

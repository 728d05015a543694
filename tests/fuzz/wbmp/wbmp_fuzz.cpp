// A WBMP from outside bytes: the I/O component's load and its parameters-only read.
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
  for (uint8_t Native : {0, 1}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->NativePixelFormat = Native;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadWbmpStream(&Stream); });
    if (IO->AbortFlag == 0 && !Bitmap.IsEmpty())
      fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded image without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftWbmp); });
  }
  return 0;
}

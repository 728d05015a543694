// A GIF from outside bytes through the I/O component, as a load of frame 0 and of frame 1 (which composes
// the animation up to it) and as a parameters-only read.
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
  for (int32_t Index : {0, 1}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->SetImageIndex(Index);
    TIEMemStream Stream(Data, int64_t(Size));
    int32_t Count = 0;
    fuzz::AsTheApplication([&] { Count = IO->LoadGifStream(&Stream); });
    fuzz::Expect(Count >= 0, "a negative image count");
    if (IO->AbortFlag == 0 && !Bitmap.IsEmpty())
      fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded frame without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftGif); });
  }
  return 0;
}

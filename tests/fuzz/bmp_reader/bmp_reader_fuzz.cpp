// A BMP from outside bytes: the I/O component's load (as each video frame reaches the GIF writer), with
// and without its alpha, the parameters-only read, and the reader on a bare info header (as icons and
// the clipboard hold it).
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  for (uint8_t LoadAlpha : {0, 1}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->BmpLoadAlpha = LoadAlpha;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadBmpStream(&Stream); });
    if (IO->AbortFlag == 0 && !Bitmap.IsEmpty())
      fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded image without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftBmp); });
  }

  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  std::unique_ptr<TIEMask> Alpha;
  TIEMemStream Stream(Data, int64_t(Size));
  fuzz::AsTheApplication([&] {
    BmpReadImage(&Stream, &Bitmap, int32_t(std::min<size_t>(Size, INT32_MAX)), Params, Progress, false, true, Alpha,
                 false);
  });
  return 0;
}

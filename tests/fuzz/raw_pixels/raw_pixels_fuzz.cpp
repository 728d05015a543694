// Headerless pixels from outside bytes, as the I/O component's raw-bitmap load reads them: the first
// bytes choose the bitmap's size, format and the layout fields, the rest are the data.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/io_params.h"
#include "imaging/io/raw_pixels.h"
#include "platform/sysutils.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  if (Size < 6) return 0;
  TIEBitmap Bitmap;
  if (!Bitmap.Allocate(1 + Data[0] % 40, Data[1] % 20, TIEPixelFormat(1 + Data[2] % 10))) return 0;
  TIOParamsVals Params{nullptr};
  Params.RawPixelsDataFormat = Data[3] % 3;
  Params.RawPixelsPlanar = Data[3] / 3 % 3;
  Params.RawPixelsBgr = Data[3] / 9 % 2;
  Params.RawPixelsRowAlign = (Data[4] % 4 + 1) * 8;
  Params.RawPixelsHeaderSize = Data[5] % 16;
  TIEProgressRecord Progress;
  TIEMemStream Stream(Data + 6, int64_t(Size - 6));
  try {
    RawPixelsRead(&Stream, &Bitmap, Params, Progress);
  } catch (const Exception&) {
    // "Format unsupported", as the application reports it
  }
  return 0;
}

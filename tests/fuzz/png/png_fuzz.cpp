// A PNG from outside bytes, read as the I/O component reads it: the content test, then the parameters
// alone and the whole image, each with and without the native pixel formats. The reader reports damage
// through the abort byte only.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  if (!IsPngStream(&Stream)) return 0;
  for (int Pass = 0; Pass < 4; ++Pass) {
    Stream.SetPosition(0);
    TIOParamsVals Params(nullptr);
    Params.NativePixelFormat = (Pass & 1) != 0;
    TIEBitmap Bitmap;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    PngReadImage(&Stream, &Bitmap, Params, Pass < 2, Progress);
  }
  return 0;
}

// A JP2 file or a JPEG 2000 code stream from outside bytes, read as the I/O component reads it: the
// content tests, then the parameters alone and the whole image. The reader reports damage through the
// abort byte only.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/formats/jpeg2000_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Tables = (J2000LibraryInit(), true);
  (void)Tables;
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  if (!IsJp2Stream(&Stream) && !IsJ2kStream(&Stream)) return 0;
  for (bool ParamsOnly : {true, false}) {
    Stream.SetPosition(0);
    TIOParamsVals Params(nullptr);
    TIEBitmap Bitmap;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    J2000ReadImage(&Stream, &Bitmap, Params, ParamsOnly, Progress);
  }
  return 0;
}

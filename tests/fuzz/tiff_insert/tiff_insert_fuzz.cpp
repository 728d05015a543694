// A page inserted into outside bytes taken for a TIFF file: the chain walk of the TIFF writer's insert
// mode. Nothing may raise, hang or read outside the buffer; a refused insert leaves the bytes as they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TIEBitmap Bitmap;
  Bitmap.Allocate(3, 2, ie8g);
  for (const int32_t Index : {0, 1, 1000}) {
    TMemoryStream Stream;
    if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
    Stream.SetPosition(0);
    TIOParamsVals Params(nullptr);
    Params.TiffImageIndex = Index;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    const int32_t Pages = TiffWriteImage(&Stream, true, &Bitmap, Progress, Params);
    if (Pages == 0 && (size_t(Stream.Size()) != Size || (Size > 0 && std::memcmp(Stream.Memory(), Data, Size) != 0)))
      std::abort();
  }
  return 0;
}

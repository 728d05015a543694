// Outside bytes through the TIFF-family content tests and the embedded-header search, at the start of the stream and behind a prefix.
// Nothing may raise, hang or read outside the buffer, and the stream position stays where it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/tiff_detect.h"
#include "platform/streams.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (int64_t Start : {int64_t(0), int64_t(3)}) {
    if (Start > int64_t(Size)) break;
    TIEMemStream Stream(Data, int64_t(Size));
    Stream.SetPosition(Start);
    IsHdPhotoStream(&Stream);
    IsTiffStream(&Stream);
    IsCameraRawTiff(&Stream);
    const int64_t Header = TiffFindHeader(&Stream);
    if (Header < -1 || Start + Header >= int64_t(Size)) std::abort();
    if (Stream.Position() != Start) std::abort();
  }
  return 0;
}

// A lossless JPEG fragment and a PackBits segment from outside bytes, as the DICOM reader hands them over.
// The first two bytes are the buffer's size in samples (little-endian), the rest the fragment; the buffer
// is given in both widths, so the frame's precision picks one.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/lossless_jpeg.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const size_t Samples = size_t(Data[0] | (Data[1] << 8));
  const uint8_t* Fragment = Data + 2;
  const int64_t Length = int64_t(Size - 2);
  std::vector<uint16_t> Out16(Samples);
  std::vector<uint8_t> Out8(Samples);
  TIEMemStream Stream(Fragment, Length);
  LosslessJpegDecode(&Stream, Out16.data(), Out8.data(), Samples, nullptr, nullptr, int32_t(Length));
  fuzz::Expect(Length < 32 || Stream.Position() == Length, "the fragment was not read whole");
  TIEMemStream Segment(Fragment, Length);
  const int32_t Read = PackBitsDecodeStream(&Segment, Out8.data(), int32_t(Samples));
  fuzz::Expect(Read >= 0 && Read <= Length, "PackBits read more than the segment holds");
  return 0;
}

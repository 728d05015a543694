// The GIF LZW decoder on outside image data, and the coder's round trip. Byte 0 gives the width (1 to
// 64), byte 1 the height (1 to 64), byte 2 bit 0 interlacing, bit 1 a round trip instead of a decode;
// the rest is the image data (minimum code size, sub-blocks, terminator), or for a round trip the
// colour indexes to code (bits 2-4 of byte 2 plus 1 give the code size).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/io/gif_lzw.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const int32_t Width = 1 + Data[0] % 64;
  const int32_t Height = 1 + Data[1] % 64;
  const uint8_t Interlaced = Data[2] & 1;
  const uint8_t* Rest = Data + 3;
  const size_t RestSize = Size - 3;
  const size_t Count = size_t(Width) * size_t(Height);

  if ((Data[2] & 2) == 0) {
    std::vector<uint8_t> Pixels(Count, 0xEE);
    TIEMemStream Stream(Rest, int64_t(RestSize));
    fuzz::AsTheApplication([&] { GifLzwDecode(&Stream, Height, Width, Interlaced, Pixels.data()); });
    fuzz::Expect(Stream.Position() >= 0 && Stream.Position() <= int64_t(RestSize), "the stream left its data");
    return 0;
  }

  const int32_t Bits = std::max(2, 1 + ((Data[2] >> 2) & 7));
  std::vector<uint8_t> Pixels(Count);
  for (size_t i = 0; i < Count; ++i)
    Pixels[i] = RestSize == 0 ? 0 : uint8_t(Rest[i % RestSize] & ((1u << Bits) - 1));
  TMemoryStream Coded;
  GifLzwEncode(&Coded, Height, Width, Interlaced, Pixels.data(), Bits);
  Coded.SetPosition(0);
  std::vector<uint8_t> Back(Count, 0xEE);
  GifLzwDecode(&Coded, Height, Width, Interlaced, Back.data());
  fuzz::Expect(Back == Pixels, "coded indexes decode to others");
  fuzz::Expect(Coded.Position() == Coded.Size(), "the decoder stopped before the terminator");
  return 0;
}

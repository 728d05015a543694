// A TIFF LZW strip from outside bytes, decoded row by row as the TIFF reader does: byte 0 holds the fill
// order (bit 0), bytes 1 and 2 the row length; the rest is the strip. The same bytes coded and decoded
// again must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/formats/tiff_lzw.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const int32_t FillOrder = (Data[0] & 1) != 0 ? 2 : 1;
  const int32_t RowLength = 1 + (int32_t(Data[1]) | int32_t(Data[2]) << 8) % 8192;
  const std::vector<uint8_t> Strip(Data + 3, Data + Size);
  const uint8_t* At = Strip.empty() ? Data : Strip.data();

  void* State = nullptr;
  for (int32_t Row = 0; Row < 256; ++Row)
    if (TiffLzwDecode(At, int32_t(Strip.size()), RowLength, State, FillOrder) == nullptr) break;
  TiffLzwDecode(nullptr, 0, 0, State, FillOrder);

  TMemoryStream Coded;
  TiffLzwEncode(Strip.data(), int32_t(Strip.size()), &Coded, State);
  TiffLzwEncode(nullptr, 0, &Coded, State);
  const auto* C = static_cast<const uint8_t*>(Coded.Memory());
  const uint8_t* Back = TiffLzwDecode(C, int32_t(Coded.Size()), int32_t(Strip.size()), State, 1);
  fuzz::Expect(Back != nullptr && (Strip.empty() || std::memcmp(Back, Strip.data(), Strip.size()) == 0),
               "LZW round trip differs");
  TiffLzwDecode(nullptr, 0, 0, State, 1);
  return 0;
}

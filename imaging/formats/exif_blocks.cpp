#include "imaging/formats/exif_blocks.h"

#include <vector>

#include "platform/streams.h"

namespace zv {

namespace exifblocks {

constexpr int64_t HeaderSearchSize = 131072;

}  // namespace exifblocks

int64_t TiffFindHeader(TStream* Stream) {
  const int64_t Start = Stream->Position();
  const int64_t StreamSize = Stream->Size();
  std::vector<uint8_t> Buffer(size_t(exifblocks::HeaderSearchSize));
  int64_t Got = 0;
  try {
    Got = Stream->Read(Buffer.data(), exifblocks::HeaderSearchSize);
  } catch (...) {
    Stream->SetPosition(Start);
    throw;
  }
  Stream->SetPosition(Start);
  for (int64_t i = 0; i + 8 <= Got; ++i) {
    const uint8_t* P = Buffer.data() + i;
    uint32_t Version, Offset;
    if (P[0] == 'I' && P[1] == 'I') {
      Version = uint32_t(P[2]) | uint32_t(P[3]) << 8;
      Offset = uint32_t(P[4]) | uint32_t(P[5]) << 8 | uint32_t(P[6]) << 16 | uint32_t(P[7]) << 24;
    } else if (P[0] == 'M' && P[1] == 'M') {
      Version = uint32_t(P[2]) << 8 | uint32_t(P[3]);
      Offset = uint32_t(P[4]) << 24 | uint32_t(P[5]) << 16 | uint32_t(P[6]) << 8 | uint32_t(P[7]);
    } else {
      continue;
    }
    if (int64_t(Offset) < StreamSize && (Version == 42 || Version == 0x4F52 || Version == 0x5352)) return i;
  }
  return -1;
}

}  // namespace zv

// EXIF and GPS blocks and the TIFF structures that carry them: for now, finding a TIFF header embedded
// in a camera file.
#pragma once

#include <cstdint>

namespace zv {

class TStream;

// Offset, from the stream's current position, of the first TIFF header ("II" or "MM", version 42,
// 0x4F52 or 0x5352, first-IFD offset below the stream size) within the next 128 KiB; -1 when there is
// none. The stream position is put back.
int64_t TiffFindHeader(TStream* Stream);

}  // namespace zv

// The metadata of CIFF raw files: texts, pixel size, a Canon maker note built from the heap's arrays,
// and the smallest embedded JPEG as the EXIF thumbnail.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

class TStream;
class TIOParamsVals;

// Heaps nested deeper than this, and records beyond this many in one file, are not read.
constexpr int32_t CiffMostDepth = 16;
constexpr int32_t CiffMostRecords = 65536;

// Fills Params from the CIFF heap of Stream; a stream that is neither "II"/"MM" nor CIFF is left alone.
void RawReadCiffMetadata(TStream* Stream, TIOParamsVals& Params);

}  // namespace zv

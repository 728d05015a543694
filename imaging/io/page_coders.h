// Coders of the format library that the PostScript and PDF page writers call: the JPEG writer and the
// CCITT fax row coders. The format library installs them at start-up; a page that asks for a coder that
// is not installed sets the abort byte and gets no data.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
struct TIOParamsVals;

// Codes one 1-bit row (nullptr: closes the code stream) against the reference row, which the coder
// keeps; bits short of a byte wait in PendingBits and PendingByte.
using TFaxRowCoder = void (*)(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                              std::vector<uint8_t>& RefRow, int32_t& PendingBits, uint8_t& PendingByte);
using TJpegPageWriter = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                 TIEProgressRecord& Progress);

struct TPageCoders {
  TJpegPageWriter JpegWrite = nullptr;
  TFaxRowCoder CcittT4Row = nullptr;  // two-dimensional group 3
  TFaxRowCoder CcittT6Row = nullptr;  // group 4
};

extern TPageCoders PageCoders;

// The fax data of a whole 1-bit bitmap, rows top-down, first pixel in the most significant bit, closed
// by the coder's final call. Empty, with the abort byte set, when the coder is missing.
std::vector<uint8_t> FaxEncodePage(TFaxRowCoder Coder, TIEBitmap* Bitmap, TIEProgressRecord& Progress);

}  // namespace zv

// The LZW coder of TIFF compression 5 (most significant bit first, clear code 256, end code 257, codes
// of 9 to 12 bits that widen one code earlier than GIF's), installed as the library's TIFF LZW hooks.
#pragma once

#include <cstdint>

namespace zv {

class TStream;

// Hands out the strip's decoded bytes RowLength at a time; State holds the decoder between calls and
// is made by the first. Every call of a strip passes the same Data and DataSize: the decoder reads no
// byte past DataSize, and the end of the data ends the strip as an end code does. The result points to
// RowLength bytes valid until the next call; the bytes of a row the strip ends in are 0 past its end.
// nullptr when the data are broken (an undefined code after a clear, a full table) or RowLength is
// negative. A call with Data nullptr frees State and returns nullptr.
uint8_t* TiffLzwDecode(const uint8_t* Data, int32_t DataSize, int32_t RowLength, void*& State, int32_t FillOrder);

// Codes Count bytes of a strip into Stream; State holds the encoder between calls and is made by the
// first, which writes the clear code. A call with Data nullptr writes the pending code and the end code,
// pads the last byte with zero bits and frees State (a strip given no byte is the clear and end codes).
void TiffLzwEncode(const void* Data, int32_t Count, TStream* Stream, void*& State);

}  // namespace zv

// The variable-length LZW coder of GIF image data: colour indexes to the image-data part of a GIF image
// (minimum code size, data sub-blocks, terminator) and back. Installed as the library's GIF LZW hooks.
#pragma once

#include <cstdint>

namespace zv {

class TStream;

// Writes the minimum code size (Bits, at least 2), the codes in sub-blocks of 254 bytes (the last one
// shorter) and the zero-length terminator. Pixels holds Width x Height indexes, top row first; with
// Interlaced they are coded in GIF's four-pass row order.
void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced, const uint8_t* Pixels,
                  int32_t Bits);

// Reads the image data at the stream's position into Pixels (Width x Height bytes, interlaced rows put
// in place). Data that end early keep what was decoded, and pixels no code reached keep their earlier
// contents; the stream is then after the terminator. Broken data (a minimum code size outside 2..9, a
// code beyond the table) leave the stream at the minimum code size byte, which marks the image as failed.
void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced, uint8_t* Pixels);

}  // namespace zv

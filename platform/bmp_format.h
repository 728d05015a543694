// The Windows .bmp file format: reading every header, depth and encoding a bitmap file may use into
// one bottom-up DIB layout, and writing a DIB back as a file. Every size, offset and run read from a
// file is checked against the bytes at hand before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdi.h"
#include "platform/streams.h"

namespace zv {

// The largest pixel buffer a file may ask for; larger claims are refused before anything is allocated.
constexpr uint64_t kMaxDibBytes = uint64_t(256) << 20;

// The message of EInvalidGraphic for a file that cannot be read as a bitmap.
constexpr const char* kInvalidBitmapMessage = "Bitmap image is not valid";

// A decoded device-independent bitmap. Rows are bottom-up, DibStride(Width, BitCount) bytes each.
// Decoding normalises what it reads: RLE becomes plain 4 or 8 bits, 16-bit images keep the 5-5-5
// or 5-6-5 layout (Masks says which) and any other bit-field layout becomes 32-bit B, G, R, A.
struct TDibImage {
  int32_t Width = 0;
  int32_t Height = 0;
  int BitCount = 0;              // 1, 4, 8, 16, 24 or 32
  std::vector<RGBQUAD> Colors;   // colour table for BitCount <= 8 (at most 1 << BitCount entries)
  uint32_t Masks[3] = {0, 0, 0}; // 16 bits: red, green, blue masks
  std::vector<uint8_t> Bits;
};

// Decodes a .bmp file held in memory (file header, core or info header of any version, colour
// table or bit fields, BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS pixels, top-down or bottom-up).
// Consumed (may be null) receives how many bytes of Data the file takes. A file with a zero width
// or height decodes as an image without pixels. Raises EInvalidGraphic for anything malformed.
TDibImage ReadBmpFile(const uint8_t* Data, size_t Size, size_t* Consumed = nullptr);

// Decodes a packed DIB (an info header, its colour table or masks, then the pixels) as icon files
// hold them: the stored height counts HeightDivisor images stacked (2 for an icon's colour image
// and its AND mask). BitsEnd (may be null) receives the offset just past the colour image's rows.
TDibImage ReadPackedDib(const uint8_t* Data, size_t Size, int HeightDivisor, size_t* BitsEnd);

// What WriteBmpFile writes: a view of a bottom-up DIB owned by the caller.
struct TDibView {
  int32_t Width = 0;
  int32_t Height = 0;
  int BitCount = 0;                // 1, 4, 8, 16, 24 or 32
  std::span<const RGBQUAD> Colors; // BitCount <= 8
  uint32_t Masks[3] = {0, 0, 0};   // 16 bits; 5-6-5 or any non 5-5-5 layout is written as BI_BITFIELDS
  const uint8_t* Bits = nullptr;   // Height rows of DibStride(Width, BitCount) bytes, bottom row first
};

// Writes BITMAPFILEHEADER, BITMAPINFOHEADER, the colour table (or the three masks) and the rows,
// bottom-up. Raises EWriteError when the stream takes less.
void WriteBmpFile(TStream* Stream, const TDibView& Image);

}  // namespace zv

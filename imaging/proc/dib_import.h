// Reading packed device-independent bitmaps and uncompressed YUV video frames (named by a FourCC in
// the header's compression field) into a TIEBitmap, and small routines on pixel rows: bits of packed
// 1-bit rows, channel swaps and the repacking of a row from one bit depth into another.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"

namespace zv {

class TIEQuantizer;

// The byte count of a buffer whose length nobody told us: it is trusted to hold what its header says.
inline constexpr uint64_t IEUnknownSize = UINT64_MAX;

// CopyDIBToIEBitmap with the lengths of the DIB and of Bits known (IEUnknownSize where they are not):
// nothing is read beyond them. A frame that its buffer does not wholly hold is refused (Dest stays as
// allocated); of a packed DIB the rows it holds are read.
int32_t CopyDIBBufferToIEBitmap(const void* DIB, uint64_t DIBSize, TIEBitmap* Dest, const void* Bits,
                                uint64_t BitsSize);

// BT.601 studio-range YUV to a colour, each channel rounded and limited to 0..255.
void YUVToRGB(int32_t Y, int32_t U, int32_t V, TIERGB24& Color);

// Packed 1-bit rows, bit 0 the most significant bit of byte 0. GetRowBit answers the bit's weight in
// its byte (128 for the first) when it is set, else 0.
uint32_t GetRowBit(const void* Row, uint32_t Index);
void SetRowBit(void* Row, int32_t Index, int32_t Value);

// SwapRedBlue24 with an extra argument that is not used.
void SwapRedBlueRow(void* Row, int32_t Unused, int32_t Count);

// Converts one row of Width pixels from SrcBits to DstBits (1, 4, 8, 24; 32 as a source for 24) through
// Palette (PaletteCount entries; entries beyond it read black) or, from 24 bits to 8 or 4, Quantizer.
// 4-bit output is OR-ed into Dest, which must be zero beforehand. Returns the length of the
// destination row, also for a pair of depths that it does not convert (which writes nothing).
int32_t PackRowToBitDepth(const void* Source, void* Dest, uint16_t SrcBits, uint16_t DstBits, uint16_t Width,
                          const TIERGB24* Palette, int32_t PaletteCount, const TIEQuantizer* Quantizer);

}  // namespace zv

// Plain pixel routines of the processing library: copies of class-library bitmaps, packed DIB export
// and import, bit runs, inversion, mirroring and quarter turns, 1-bit expansion, HSL, a 3 x 3 grey
// convolution, channel reordering and bitmap comparison.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/iedefs.h"
#include "platform/graphics.h"
#include "platform/win32.h"

namespace zv {

// A 3 x 3 convolution kernel: nine coefficients row by row from the top-left, then the divisor (0 acts
// as 1). 40 bytes, the record of the preset filter list.
struct TPresetFilter {
  int32_t Values[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  int32_t Divisor = 0;
};
static_assert(sizeof(TPresetFilter) == 40);

// ---- Class-library bitmaps ---------------------------------------------------------------------------

// Dest takes Source's size, pixel format, colour table and pixels; an empty Source leaves Dest 1 x 1 in
// Source's pixel format.
void CopyTBitmap(TBitmap* Source, TBitmap* Dest);
std::unique_ptr<TBitmap> CloneTBitmap(TBitmap* Source);

// Dest (any TBitmap) becomes a 24-bit copy of the 1-bit Source, set bits white and clear bits black,
// whatever Source's colour table says. Nothing when Source is not 1 bit.
void ExpandBWTBitmapTo24(TBitmap* Source, TBitmap* Dest, TIEProgressRecord& Progress);
// Fills the table behind ExpandBWTBitmapTo24 (once; later calls do nothing).
void BuildBitExpansionTable();
// The 24 bytes (eight black or white pixels) of one source byte.
const uint8_t* BitExpansionEntry(uint8_t Value);

// ---- Packed DIBs ---------------------------------------------------------------------------------------

// A movable global block holding a packed DIB of the rectangle X1..X2-1, Y1..Y2-1 of Bitmap (X2 or Y2
// of 0: the width or height); rows bottom-up padded to 4 bytes, 1, 8 or 24 bits (other formats are
// exported from an ie24RGB copy). The rectangle is clipped to the image. nullptr when no block can be
// allocated. The caller frees the block.
HGLOBAL CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                          int32_t DpiY);
// Reads a packed DIB (a pointer to its header when IsPointer, else a global handle) into Dest: ie1g for
// 1 bit, ie24RGB otherwise. Bits, when given, replaces the address of the pixels. Returns the DIB's bit
// count (0 for a nil DIB). Pixels that a handle's block does not hold are not read.
int32_t CopyDIBToIEBitmap(void* DIB, TIEBitmap* Dest, void* Bits, bool IsPointer);
// Draws a packed DIB into Dest (1 bit for a 1-bit DIB, else 24 bits) at its own size; returns its bit
// count.
int32_t DrawDIBToDibbitmap(void* DIB, TIEDibbitmap* Dest, void* Bits, bool IsPointer);

// ---- Bits and bytes ------------------------------------------------------------------------------------

// Copies BitCount bits of packed 1-bit rows (most significant bit first) from bit SourceBit of Source to
// bit DestBit of Dest, keeping the other destination bits; SourceSize is the number of bytes readable at
// Source (bits beyond it read as 0).
void CopyBits(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBit, int32_t BitCount,
              int32_t SourceSize);
// The same one bit at a time.
void CopyBitsSlow(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t BitCount, int32_t SourceBit);
void InvertBytes(uint8_t* Buffer, int32_t Count);
// Complements every row over its whole length: the negative of an ie1g image.
void InvertBitmapBits(TIEBitmap* Bitmap);

// Exchange the first and third byte (word) of Count 3-byte (6-byte) pixels.
void SwapRedBlue24(void* Buffer, int32_t Count);
void CopySwapRedBlue24(void* Dest, const void* Source, int32_t Count);
void SwapRedBlue48(void* Buffer, int32_t Count);

// ---- Geometry ------------------------------------------------------------------------------------------

// Direction 0 mirrors left to right (ie1g, ie8p, ie8g, ie24RGB; other formats are left as they are),
// 1 top to bottom (any format). The alpha channel follows.
void FlipBitmap(TIEBitmap* Bitmap, int32_t Direction);
// Dest becomes Source turned a quarter clockwise or counter-clockwise (ie24RGB or one byte per pixel).
void RotateQuarterCW24(TIEBitmap* Source, TIEBitmap* Dest);
void RotateQuarterCCW24(TIEBitmap* Source, TIEBitmap* Dest);
void RotateQuarterCW8(TIEBitmap* Source, TIEBitmap* Dest);
void RotateQuarterCCW8(TIEBitmap* Source, TIEBitmap* Dest);
// Angle is a whole number of degrees divisible by 90.
bool IsRightAngleMultiple(double Angle);

// ---- Colour --------------------------------------------------------------------------------------------

// Hue, saturation and lightness, each 0..1.
void RGBToHSL(double& H, double& S, double& L, TIERGB24 Color);
// H is wrapped into 0..1 once, S and L clamped to 0..1.
void HSLToRGB(TIERGB24& Dest, double H, double S, double L);

// Convolves the rectangle X1..X2-1, Y1..Y2-1 of an ie8g bitmap with Kernel (absolute value of the sum,
// divided, clamped to 0..255); the neighbourhood is clamped to the image. Other formats: nothing.
void Convolve3x3Gray8(TIEBitmap* Bitmap, const TPresetFilter& Kernel, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2);

// Reorders the channels of an ie24RGB or ieRGB48 bitmap: the first three letters of Order (any case)
// name the channel that goes to the stored blue, green and red positions: B, G, R, or 0 for zero. Other
// formats, and an Order with fewer than three letters or another character, change nothing.
void ReorderChannels(TIEBitmap* Bitmap, const std::string& Order, TObject* Sender, const TIEProgressEvent& OnProgress);

// Equal size, pixel format, presence of an alpha channel, and equal rows and alpha rows.
bool SameBitmap(TIEBitmap* A, TIEBitmap* B);

// ---- Start-up ------------------------------------------------------------------------------------------

// Hands the image core the routines of this library's pixel, copy, threshold and reduction routines
// through its processing hooks, and takes them back.
void InstallPixelRoutineHooks();
void RemovePixelRoutineHooks();

}  // namespace zv

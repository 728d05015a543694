// Canvas resize, fill, grey conversion, crop bounds of the opaque part and colour reduction (ordered
// dither and threshold to one bit, quantization in place, the two-colour test of 1-bit writers), with
// the nearest-palette look-up and the average colour.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "platform/types.h"

namespace zv {

// ---- Canvas --------------------------------------------------------------------------------------------

// Whether ImageResize to NewWidth x NewHeight has work to do: false for a side of 0 or below and for the
// current size (the operation then ends without an undo entry).
bool ImageResizeApplies(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight);
// A target smaller than 2 x 2 is cleared to the background before its canvas grows (the processing
// component runs its own Clear then).
bool ImageResizeNeedsClear(TIEBitmap* Bitmap);
// The canvas work of ImageResize: below FillAlpha 255 the bitmap first gets an (opaque) alpha channel;
// then the canvas becomes NewWidth x NewHeight, the image placed by HAlign/VAlign (0 left or top,
// 1 centre, 2 right or bottom), the new area Background and, in the alpha channel, FillAlpha.
void ImageResizeBitmap(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, uint8_t HAlign, uint8_t VAlign,
                       int32_t FillAlpha, TColor Background);

// ---- Fill and grey -------------------------------------------------------------------------------------

// Fills X1..X2-1, Y1..Y2-1 (clipped to the image) with Color: ie24RGB as the colour, ie8g as its grey
// level, ie1g black when red is 0 and white otherwise, other formats through TIEBitmap::FillRect.
void FillRectRGB24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TObject* Sender,
                   const TIEProgressEvent& OnProgress, TIERGB24 Color);
// Writes the grey level into all three bytes of every pixel of the rectangle of an ie24RGB bitmap.
void ConvertRectToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TObject* Sender,
                         const TIEProgressEvent& OnProgress);

// ---- Colour reduction ----------------------------------------------------------------------------------

// The pixel work of ConvertTo and ConvertToPalette on an ie24RGB bitmap: below 3 colours a 1-bit image
// (by the average-grey threshold or by ordered dither; Palette, when given, gets black and white), from
// 3 to 1024 colours quantized in place (Palette, when given, gets the colours), above that nothing.
void ConvertToColors(TIEBitmap* Bitmap, int32_t NColors, TIERGB24* Palette, bool Threshold, TObject* Sender,
                     const TIEProgressEvent& OnProgress);
// An ie24RGB bitmap becomes ie1g by 8 x 8 ordered dither; other formats: nothing. The alpha channel
// stays.
void ConvertToBWOrdered(TIEBitmap* Bitmap, TIEProgressRecord& Progress);
// An ie24RGB bitmap becomes ie1g through ThresholdToBW; other formats: nothing.
void ConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, TIEProgressRecord& Progress);
// Replaces every pixel of an ie24RGB bitmap by its entry of an NColors palette built for the image;
// the palette goes to Palette (room for NColors entries) when given.
void QuantizeInPlace(TIEBitmap* Bitmap, int32_t NColors, TIERGB24* Palette, TObject* Sender,
                     const TIEProgressEvent& OnProgress);

// An ie1g bitmap of Source when Source holds exactly two colours: bit 0 the darker (Color0), bit 1 the
// lighter (Color1); nullptr for one colour or three and more.
std::unique_ptr<TIEBitmap> MakeTwoColorBitmap(TIEBitmap* Source, TIERGB24& Color0, TIERGB24& Color1);

// The index of the first of Count entries nearest to Color (packed red x 65536 + green x 256 + blue) by
// the sum of the channel differences; 0 when Count is 0.
int32_t NearestPaletteIndex(const TIERGB24* Palette, int32_t Count, uint32_t Color);

// The mean colour of any pixel format (per-row means averaged over the rows); 128 in each channel when
// the bitmap cannot be read.
void AverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);

// The inclusive bounds of the non-zero alpha values: the whole image without an alpha channel, and
// (Width, Height, -1, -1) when every value is 0.
void GetOpaqueBounds(TIEBitmap* Bitmap, TRect& Rect);

}  // namespace zv

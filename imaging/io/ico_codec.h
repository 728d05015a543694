// Windows icon and cursor files: reading one image of a file (device-independent bitmap entries with
// their transparency rows, and PNG entries of icons through the PNG reader the format library installs).
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/iedefs.h"
#include "imaging/io/format_registry.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;

// The PNG reader of icon entries; while it is empty a PNG entry sets the abort byte.
extern TIEReadProc IcoPngReader;

// Read the image IcoImageIndex (CurImageIndex) of an icon (cursor). AlphaMask receives the transparency
// unless IgnoreAlpha; an icon's fully opaque mask is dropped, a cursor's kept. An index out of range
// changes nothing; a depth that cannot be worked out, or an entry, palette or size the stream does not
// hold, sets the abort byte.
void IcoReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
void CurReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);

// Writes an icon of Count images, image i resized to Sizes[i] at the depth BitCounts[i] (1, 4, 8, 24, 32;
// 0 takes it from Params). The working bitmap is converted to the layout of each depth first. An abort
// between images, or a short write, ends the file with a header and directory counting only the
// images written.
struct TIcoSize2 {
  int32_t Width;
  int32_t Height;
};
void IcoWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   const TIcoSize2* Sizes, const int32_t* BitCounts, int32_t Count);

// Registry routines: the transparency becomes the bitmap's alpha channel; the writer takes the leading
// IcoSizes of a width above 0 and as many IcoBitCounts.
void IcoRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);
void IcoRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
void CurRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);

}  // namespace zv
